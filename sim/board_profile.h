// Board profile: everything a simulated machine is built from, read from JSON.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "uefi/base.h"

namespace sim {

// Bytes written at an offset of a register space (PCI configuration space,
// the memory-controller registers, the legacy area, a variable's data).
struct RegisterWrite {
  uint32_t Offset = 0;
  std::vector<uint8_t> Bytes;  // little-endian for word/dword/qword forms
};

struct CpuidLeaf {
  uint32_t Leaf = 0;
  std::optional<uint32_t> Subleaf;  // absent: answers every subleaf
  std::array<uint32_t, 4> Regs{};   // EAX, EBX, ECX, EDX
};

struct PciFunction {
  uint8_t Bus = 0, Device = 0, Function = 0;
  std::string Name;
  std::vector<RegisterWrite> Config;
};

struct SuperIoDevice {
  uint8_t Ldn = 0;
  std::string Name;
  std::map<uint8_t, uint8_t> Registers;  // 0x30..0xFF
};

struct SuperIoProfile {
  bool Present = true;
  std::map<uint8_t, uint8_t> Globals;  // 0x00..0x2F
  std::vector<SuperIoDevice> Devices;
};

struct HwmonBank {
  uint8_t Bank = 0;
  std::map<uint8_t, uint8_t> Registers;
};

struct HwmonProfile {
  uint8_t BankMask = 0x07;  // bits of register 0x4E that select the bank
  std::vector<HwmonBank> Banks;
};

struct GuidHobProfile {
  EFI_GUID Guid{};
  std::vector<uint8_t> Data;
};

struct VariableProfile {
  std::u16string Name;
  EFI_GUID Guid{};
  uint32_t Attributes = 0;
  std::vector<uint8_t> Data;
};

struct FirmwareProfile {
  std::u16string Vendor = u"Simulated Firmware";
  uint32_t Revision = 0x00010000;
  uint32_t UefiRevision = (2u << 16) | 70;
  uint32_t DxeServicesRevision = (1u << 16) | 50;
  bool NullVendor = false;          // the system table's FirmwareVendor is null
  bool DxeServicesTable = true;     // false: no DXE services table in the configuration table
};

struct VariableStoreProfile {
  uint32_t MaxVariableSize = 32 * 1024;
  uint32_t NonVolatileSize = 256 * 1024;
  uint32_t VolatileSize = 256 * 1024;
};

// What the update locator's outside world answers on this board.
struct UpdateProfile {
  std::string ModelName;
  std::string ServerReply;
  std::optional<std::array<uint32_t, 3>> ReplyLengths;  // first, second, total; absent: derived from the reply
  EFI_STATUS TransportStatus = EFI_SUCCESS;
  struct Name {
    std::string Name, Alias;
    std::array<uint8_t, 4> Address{};
  };
  std::vector<Name> NameTable;
  // Name-service faults: a status returned instead of building the query or
  // of the exchange, an exchange that reports an answer without a buffer, a
  // parse that fails (leaving ParseName in the caller's name buffer).
  std::optional<EFI_STATUS> QueryStatus, ExchangeStatus, ParseStatus;
  bool AnswerWithoutBuffer = false;
  std::string ParseName;
  // A transport that fails still hands over its reply buffer.
  bool ReplyOnTransportError = false;
};

// What the platform's processor driver reports through the processor
// information and topology protocols (sim/peers/processor_peers.h).
struct CacheDescriptorProfile {
  uint32_t Level = 0, Type = 0, SizeKb = 0, Sharing = 0;
  uint32_t Length = 24;  // record length as reported; the next record starts there
};

// One 8-byte resource descriptor of the processor record's list; the peer
// ends the list with a descriptor whose first byte is 0.
struct ProcessorResourceProfile {
  uint8_t InUse = 1;  // 0 ends the list early
  uint8_t Kind = 0;
  uint16_t Size = 0;
};

struct ProcessorProfile {
  uint32_t Signature = 0;
  uint64_t FeatureWord = 0;
  std::string BrandString;
  uint8_t Supported = 1;
  uint8_t CoreCount = 0;
  uint8_t ThreadsPerCore = 1;
  uint32_t MicrocodeRevision = 0;
  uint32_t CoresPerPackage = 0;
  std::vector<CacheDescriptorProfile> Caches;
  uint32_t SummaryValue = 0;  // record u32 at 0x20
  // Record pointer at 0x30; absent: the pointer is null.
  std::optional<std::vector<ProcessorResourceProfile>> Resources;
};

// The platform's Super I/O driver: one handle per device with the Super I/O
// device protocol (sim/peers/super_io_peers.h). The fields are the
// interface's and its description record's as the driver fills them.
struct SuperIoDeviceProfile {
  std::string Name;
  uint32_t Type = 0;
  uint8_t Instance = 0;
  uint16_t IoBase = 0;
  uint8_t Interrupt = 0;   // 0: none
  uint8_t DmaChannel = 0;  // 0: none
  uint8_t Usable = 1;      // description record byte 9
  uint8_t Enabled = 1;     // interface byte 0x90
  uint8_t Active = 1;      // interface byte 0x93
  bool Description = true;  // false: the interface's record pointer is null
};

struct SuperIoDriverProfile {
  bool Present = true;  // false: the driver did not run, no handle carries the protocol
  std::vector<SuperIoDeviceProfile> Devices;
};

// The early boot phase as a module built for it would see it: its services
// table and the read-only variable service over the machine's store
// (sim/peers/early_phase_peer.h).
struct EarlyPhaseProfile {
  bool ReadOnlyVariable = true;               // false: the service is not installed
  EFI_STATUS GetVariableStatus = EFI_SUCCESS;  // not success: every read fails with it
};

// What the platform's chipset driver publishes about the hub
// (sim/peers/south_bridge_peers.h).
struct SouthBridgeProfile {
  std::optional<std::array<uint8_t, 4>> Version;     // most significant part first; absent: no protocol
  std::optional<std::vector<uint8_t>> PlatformData;  // SbPlatformData; absent: not written
  uint32_t PlatformDataAttributes = 0x6;
};

// The platform's message box service (sim/peers/message_box_peer.h): the
// user's answers, in the order the boxes come.
struct MessageBoxProfile {
  bool Present = true;                        // false: the service is not installed
  std::vector<uint8_t> Answers;               // for boxes that ask (kinds 2 and 3)
  uint8_t EmptyAnswer = 0;                    // once the answers run out
  std::vector<uint64_t> ListChoices;          // list box indices; none left: the user leaves the list
  EFI_STATUS MessageBoxStatus = EFI_SUCCESS;  // not success: every box fails with it
  bool EmptyAnswerGiven = false;              // emptyAnswer was given: boxes past the queue take it
};

// One protocol of the network drivers (sim/peers/network_peers.h).
struct NetworkProtocolProfile {
  bool Present = false;               // false: not installed
  bool Late = false;                  // installed only once the drivers have loaded
  EFI_STATUS Status = EFI_SUCCESS;    // what its called function returns
};

// The network configuration driver's shared protocol and the three action
// protocols behind the network page's questions.
struct NetworkProfile {
  NetworkProtocolProfile Configuration;
  // The configuration function stands for the driver's own settings page:
  // once it returns, the driver asks the setup driver to refresh the summary
  // from the browser, as it does after every change.
  bool RefreshAfterConfigure = true;
  NetworkProtocolProfile Action52A;
  NetworkProtocolProfile Action52D;
  NetworkProtocolProfile Action52E;
};

// One output of the clock generator (sim/peers/clock_peers.h), in the
// clock control protocol's own units.
struct ClockOutputProfile {
  uint32_t MinFrequency = 0;  // Hz
  uint32_t MaxFrequency = 0;  // Hz
  uint32_t StepHz = 1;        // producible frequencies are multiples of this
  uint8_t SpreadChange = 0;
  uint8_t UpAllowed = 0;
  uint8_t CenterAllowed = 0;
  uint8_t DownAllowed = 0;
  uint8_t MaxSpread = 0;      // hundredths of a percent
  uint16_t UsageMask = 0;
  uint32_t Frequency = 0;     // Hz, as set now
  uint32_t SpreadMode = 0;    // protocol encoding: 0 none, 1 up, 2 center, 4 down
  uint8_t Spread = 0;         // hundredths of a percent
  uint32_t Option = 0;
};

// The platform's clock generator driver: the clock control protocol, the
// boot-phase information record and the clock driver's setup variable.
struct ClockControlProfile {
  bool Present = false;                  // false: no clock control protocol
  bool Late = false;                     // installed only once the drivers have loaded
  std::array<uint16_t, 4> Version{};     // GetIccInfo
  std::vector<ClockOutputProfile> Outputs;  // at most eight; missing ones read as zero
  // Library statuses the operations give (0 = success).
  uint32_t InfoLibStatus = 0;
  uint32_t CapabilitiesLibStatus = 0;
  uint32_t SettingsLibStatus = 0;
  uint32_t SetLibStatusA = 0;
  uint32_t SetLibStatusB = 0;
  uint32_t ResolveLibStatus = 0;
  bool WriteSetupData = true;            // IccAdvancedSetupDataVar written at boot when missing
  bool RestartAfterSet = false;          // an accepted set asks for a restart (IccPersistentData = 1)
  bool BootPhasePresent = true;          // the boot-phase information record is installed
  bool BootPhaseAfterReadyToBoot = false;
};

// One drive as the platform's SATA driver publishes it: Disk Info and a
// device path on one handle, IDENTIFY data built from these fields.
struct SataDriveProfile {
  std::string Model;
  bool Atapi = false;
  uint32_t Sectors28 = 0;              // words 60-61
  std::optional<uint64_t> Sectors48;   // words 100-103; present: word 83 bit 10 set
  uint64_t LogicalSectorBytes = 512;   // other sizes: word 106 bits 14 and 12, words 117-118
  uint16_t Word76 = 0x0706;            // SATA capabilities
  uint16_t Word78 = 0x0040;            // SATA features supported (bit 6: settings preservation)
  uint8_t PciDevice = 31, PciFunction = 2;
  uint32_t Channel = 0, Device = 0;    // what WhichIde answers
  bool IdeInterface = false;           // IDE Disk Info and an ATAPI node instead of AHCI and a SATA node
  EFI_STATUS WhichIdeStatus = EFI_SUCCESS;
  EFI_STATUS IdentifyStatus = EFI_SUCCESS;
  std::optional<std::vector<uint8_t>> DevicePath;  // raw path bytes instead of the built one
};

// What the platform's memory initialisation hands over. The information
// and version protocols and the video BIOS are stand-ins installed by
// sim/peers/memory_peers.h; each is absent until its part is given.
struct VideoBiosProfile {
  uint16_t Bx = 0, Dx = 0;  // the version registers of INT 15h AX=5F01h
  bool Fails = false;        // the call comes back with the carry flag set
};

// The memory module HOB and the NBPlatformData variable become ordinary
// board data when the profile is read (appended to Hobs and Variables). A
// test that changes them afterwards edits those lists with the builders below.
struct MemoryModuleProfile {
  uint8_t Revision = 0;
  uint16_t Voltage = 0;  // hundredths of a volt
  uint16_t Frequency = 0;
  uint16_t Reserved = 0;  // bytes 5-6
  std::array<uint8_t, 3> Timings{};
  uint16_t Cycles = 0;
};

struct MemoryModuleHobProfile {
  uint32_t DataSize = 0x5CDF;  // both records fit; smaller cuts them off
  std::vector<MemoryModuleProfile> Modules;  // at most two
};

struct NbPlatformDataProfile {
  uint32_t Size = 20;
  uint8_t GraphicsOption = 0, FeatureA = 0, FeatureB = 0;
  uint16_t FrequencyLimitA = 0, FrequencyLimitB = 0;
};

std::vector<uint8_t> MemoryModuleHobData(const MemoryModuleHobProfile& Hob);
std::vector<uint8_t> NbPlatformDataBytes(const NbPlatformDataProfile& Data);

struct MemoryProfile {
  bool InformationPresent = false;
  uint32_t SizeMb = 0;
  uint16_t Frequency = 0;
  uint16_t VoltageMv = 0;
  std::array<uint16_t, 4> ModuleSizesMb{};  // A0, A1, B0, B1
  std::map<uint8_t, uint16_t> Timings;      // record offset (odd, 0x5F to 0x7B) -> value
  std::optional<uint32_t> Version;          // memory version protocol bytes 4-7, little-endian
  std::optional<VideoBiosProfile> VideoBios;
  std::optional<MemoryModuleHobProfile> ModuleHob;
  std::optional<NbPlatformDataProfile> PlatformData;
};


// A device driver as sim/peers/driver_model_peers.h installs it.
struct DriverProfile {
  bool Binding = true;
  bool ComponentName2 = true;
  bool ComponentName = false;
  std::string Languages2 = "en-US";  // Component Name 2's list, ";"-separated
  std::string Languages = "eng";     // Component Name's three-letter codes
  std::map<std::string, std::u16string> Names;  // the driver's own name, by language
  uint64_t NameStatus = 0;                      // non-zero: every name call fails with it
};

// Names of a controller or child, by language. Unterminated ones are handed
// out exactly as long as they are, with no terminator.
struct ComponentNamesProfile {
  std::map<std::string, std::u16string> Names;
  bool Unterminated = false;
};

// A PCI function as its bus driver presents it through PCI I/O.
struct PciControllerProfile {
  uint16_t Segment = 0;
  uint8_t Bus = 0, Device = 0, Function = 0;
  // Pci(device, function) hops from the root bridge; empty: the function's own.
  std::vector<std::pair<uint8_t, uint8_t>> Path;
  uint64_t ConfigStatus = 0;    // non-zero: configuration reads and writes fail with it
  uint64_t LocationStatus = 0;  // non-zero: GetLocation fails with it
};

// True when a walk that stops at an end-type node or at a node Length below
// 4 stays inside Bytes: what a handle's device path must be, since its
// readers have no size to check against.
bool DevicePathEndsInside(const std::vector<uint8_t>& Bytes);

struct NvmeNamespaceProfile {
  uint32_t Id = 1;
  uint64_t Eui64 = 0;
  ComponentNamesProfile Name;
  std::optional<std::vector<uint8_t>> DevicePath;  // raw path bytes instead of controller path + namespace node
};

struct NvmeControllerProfile {
  PciControllerProfile Pci;
  bool ControllerProtocol = true;  // the NVMe controller marker on the PCI I/O handle
  ComponentNamesProfile Name;      // the controller's own name
  std::vector<NvmeNamespaceProfile> Namespaces;
};

// The platform's NVMe driver and the controllers it manages. Absent: no
// driver and no controller.
struct NvmeProfile {
  DriverProfile Driver;
  std::vector<NvmeControllerProfile> Controllers;
};

// The board's display controllers as its graphics stack leaves them in the
// handle database (sim/peers/graphics_peers.h): a PCI function (configuration
// space from the "pci" list), the driver that manages it, and one child
// handle per output, with Graphics Output, EDID Discovered and the
// platform's output level and switch protocols as given.
struct GraphicsModeProfile {
  uint32_t Horizontal = 0, Vertical = 0;
};

struct OutputLevelProfile {
  uint32_t Supported = 1;
  uint32_t Max = 0, Level = 0;
  EFI_STATUS GetMaxStatus = EFI_SUCCESS, GetLevelStatus = EFI_SUCCESS, SetLevelStatus = EFI_SUCCESS;
};

struct OutputSwitchProfile {
  uint32_t Supported = 1;
  bool On = false;
  EFI_STATUS Status = EFI_SUCCESS;  // of SwitchOn and SwitchOff
};

struct GraphicsOutputProfile {
  ComponentNamesProfile Name;             // what the driver names this child
  std::vector<uint8_t> Node;              // device path node after the parent's path; empty: no path
  uint32_t Via = 0;                       // handles without EDID between the controller and the output
  bool Edid = true;
  bool GraphicsOutput = true;
  std::vector<GraphicsModeProfile> Modes;
  uint32_t Mode = 0;                      // current mode number
  std::optional<uint32_t> StartMode;      // the mode a Start of the driver leaves it in
  EFI_STATUS QueryModeStatus = EFI_SUCCESS, SetModeStatus = EFI_SUCCESS;
  std::optional<OutputLevelProfile> Level;
  std::optional<OutputSwitchProfile> Switch;
};

struct DisplayControllerProfile {
  PciControllerProfile Pci;
  ComponentNamesProfile Name;  // the controller's own name
  DriverProfile Driver;        // the driver that manages it
  bool Managed = true;         // the driver holds PCI I/O BY_DRIVER
  bool Excluded = false;       // the driver's handle carries the excluded-driver marker
  EFI_STATUS StartStatus = EFI_SUCCESS;  // Start's answer to a connect with a chosen output
  std::vector<GraphicsOutputProfile> Outputs;
};

struct GraphicsProfile {
  std::vector<DisplayControllerProfile> Controllers;
};

// Secure Boot: the key variables, the signers the variable service trusts
// and the default key files of the firmware volume.
struct SecureBootProfile {
  struct Signer {
    std::string Marker;     // bytes that a certificate signed by it contains
    std::string Authority;  // "PK" (may sign PK and KEK) or "KEK" (db, dbt, dbx)
  };
  // Stored signature lists of each key variable at first power-on ("PK",
  // "KEK", "db", "dbt", "dbx"); a board with a PK starts in user mode.
  std::map<std::string, std::vector<uint8_t>> Keys;
  // SecureBoot reads 1 in user mode only when enabled.
  bool SecureBootEnabled = true;
  // Physical presence: a plain delete of a key is taken in user mode too.
  bool SetupMayDelete = true;
  std::vector<Signer> TrustedSigners;
  // Default key files by variable name (authenticated images); a missing
  // name is a file the volume does not hold.
  std::map<std::string, std::vector<uint8_t>> DefaultKeyFiles;
  bool FirmwareVolumePresent = true;
  // ReadSection fails with this status when set.
  std::optional<EFI_STATUS> ReadSectionFailure;
};

// The platform's USB driver as setup reaches it (sim/peers/usb_peers.h):
// the USB support protocol with its device counts and mass-storage names,
// and the UsbMassDevNum variable it keeps.
struct UsbMassDeviceProfile {
  std::string Name;                // 8-bit text of any length; at most the caller's room is written
  bool Unterminated = false;       // no terminator even when the name is shorter than the room
  std::optional<uint8_t> Answer;   // what the call returns instead of the next index
};

struct UsbProfile {
  bool Late = false;         // installed only once the drivers have loaded
  bool CountsFail = false;   // the counts call fills nothing
  bool NamesFail = false;    // every name call answers 0xFF
  // Keyboards, mice, pointing devices, drives, hubs, smart card readers.
  std::array<uint8_t, 6> Counts{};
  std::vector<UsbMassDeviceProfile> MassDevices;  // at most 127
  std::optional<std::vector<uint8_t>> MassDevNum;  // UsbMassDevNum; absent: not written
  uint32_t MassDevNumAttributes = 0x6;
};

// The platform's profile storage protocol over the setup browser's live
// store buffers (sim/peers/profile_peers.h), with the user's answers to its
// text prompts, and the stores the board's form sets declare for profiles.
struct ProfileStoreProfile {
  std::u16string Name;
  EFI_GUID Guid{};
  std::vector<uint8_t> Bytes;  // the store's content while its variable does not exist
};

struct ProfileStorageProfile {
  bool Late = false;                           // installed only once the drivers have loaded
  EFI_STATUS GetStoreStatus = EFI_SUCCESS;     // not success: every GetStoreBuffer fails with it
  EFI_STATUS CommitStatus = EFI_SUCCESS;       // not success: every CommitStoreBuffer fails with it
  bool ReplaceOnCommit = false;                // a commit moves the store into a new buffer
  EFI_STATUS ReadTextStatus = EFI_SUCCESS;     // not success: every prompt fails with it, asking nothing
  EFI_STATUS ShowMessageStatus = EFI_SUCCESS;  // not success: every box fails with it
  // The user's answers to the text prompts, in order; none: the user cancels.
  // Once they run out, the user takes the proposed text.
  std::vector<std::optional<std::string>> TextAnswers;
  std::vector<ProfileStoreProfile> Stores;
};

// The main page's outside components (sim/peers/main_page_peers.h): the
// board identity's two values, the component version protocols without a
// peer of their own, the three action protocols and the resolution trigger.
struct BoardIdentityProfile {
  bool Present = false;
  bool Late = false;                  // installed only once the drivers have loaded
  std::array<uint64_t, 2> Values{};   // interface bytes 0x48 and 0x50
};

struct ComponentVersionProfile {
  std::string Component;   // "platform", "processorCode", "engineCode" or "graphicsCode"
  uint32_t Version = 0;    // u32 at interface byte 4
  bool Late = false;
  bool NullInterface = false;  // installed with no interface behind it
};

struct PageActionProfile {
  bool Present = false;
  bool Late = false;
  bool NullFunction = false;         // the interface's first function is null
  EFI_STATUS Status = EFI_SUCCESS;   // what the function returns
};

struct MainPageProfile {
  BoardIdentityProfile Identity;
  std::vector<ComponentVersionProfile> Versions;
  PageActionProfile MainAction, ToolAction1, ToolAction2;
  bool ResolutionTriggerLate = false;  // the trigger installed once the drivers have loaded
};

// The platform's SATA driver as it calls the setup driver's SATA port
// string protocol (sim/peers/sata_peers.h): its devices, each found by one
// lookup tuple, with its five texts and the record field at byte 524.
struct SataPortDeviceProfile {
  uint8_t Bus = 0, Device = 0x1F, Function = 2, ByteA = 0, ByteB = 0;  // the lookup tuple that finds it
  std::array<std::string, 5> Texts;  // model, text 2, text 3, Ultra DMA mode, support state
  bool Unterminated = false;         // texts fill a fixed field with blanks and no terminator
  uint32_t Text3Hidden = 0;          // the record's field at byte 524
};

struct SataPortDriverProfile {
  bool Late = false;                   // not called at boot; only by boardsim's "sata" action
  EFI_STATUS FindStatus = EFI_SUCCESS; // not success: every lookup fails with it
  EFI_STATUS TextStatus = EFI_SUCCESS; // not success: every text call fails with it
  std::vector<SataPortDeviceProfile> Devices;
};

// The preset provider's four tables and the three forwarding protocols
// (sim/peers/preset_peers.h).
struct PresetForwardProfile {
  bool Present = false;             // false: not installed
  bool Late = false;                // installed only once the drivers have loaded
  EFI_STATUS Status = EFI_SUCCESS;  // what its called function returns (0x51D, 0x51E)
};

struct PresetProfile {
  bool ProviderPresent = false;
  bool ProviderLate = false;
  // Tables A to D as rows of 30, 8, 44 and 12 bytes; absent: a null pointer.
  std::array<std::optional<std::vector<std::vector<uint8_t>>>, 4> Tables;
  // The row counts the provider states; absent: the rows given.
  std::array<std::optional<uint32_t>, 4> RowCounts;
  PresetForwardProfile Forward51C, Forward51D, Forward51E;
};

// Simple-file-system volumes (sim/peers/file_system_peers.h): removable
// media and disks with a directory tree, each with a device path or none.
struct FileNodeProfile {
  std::string Name;
  bool Directory = false;
  std::vector<uint8_t> Data;               // a file's bytes
  std::vector<FileNodeProfile> Children;   // a directory's entries, in reading order
};

// How a volume's directories misbehave when read (hostile media).
enum class DirectoryFault {
  None,
  RecordBelowHeader,      // each record's Size field is below the 80-byte header
  UnterminatedName,       // names fill the record with no terminator
  SizeChangesAfterProbe,  // the probe reports fewer bytes than the read then needs
  ReadsMoreThanAsked,     // Read reports more bytes than the buffer it was given
  HugeFileSize,           // every file claims 0xFFFFFFF0 bytes
};

struct FileVolumeProfile {
  std::string Label;                                // names the volume in reports
  std::optional<std::vector<uint8_t>> DevicePath;   // absent: no device path on the handle
  std::vector<FileNodeProfile> Files;               // the root directory's entries
  bool ReadOnly = false;                            // opens for writing fail (EFI_WRITE_PROTECTED)
  std::optional<EFI_STATUS> OpenVolumeFailure;      // OpenVolume fails with it
  std::optional<EFI_STATUS> WriteFailure;           // every Write fails with it, writing nothing
  bool ShortRead = false;                           // a file Read gives one byte fewer than asked
  bool NoTruncate = false;                          // SetInfo refuses to change a file's size
  DirectoryFault Fault = DirectoryFault::None;      // applied to every directory of the volume
  std::optional<uint64_t> ClaimedFileSize;          // every file's record claims this size
};

// Acpi/Pci(Device,0)/USB(Port,0)/HD(1)/End: a stick's first partition
// behind the board's USB controller.
std::vector<uint8_t> UsbStickDevicePathBytes(uint8_t Device, uint8_t Port);

// Outside drivers the board leaves out, or whose protocols wait for
// boardsim's "install NAME" action (names: BoardPeerNames()).
struct PeerPresenceProfile {
  std::vector<std::string> Absent;
  std::vector<std::string> OnAction;
  bool IsAbsent(const std::string& Peer) const;
  bool WaitsForAction(const std::string& Peer) const;
};
const std::vector<std::string>& BoardPeerNames();

struct BoardProfile {
  std::string Name;
  FirmwareProfile Firmware;
  std::vector<CpuidLeaf> Cpuid;
  std::map<uint32_t, uint64_t> Msrs;
  std::vector<PciFunction> Pci;
  SuperIoProfile SuperIo;
  HwmonProfile Hwmon;
  std::vector<RegisterWrite> Mmio;        // offsets from 0xFED10000
  std::vector<RegisterWrite> LegacyArea;  // offsets from 0xF0000
  std::vector<GuidHobProfile> Hobs;
  std::vector<VariableProfile> Variables;
  VariableStoreProfile VariableStore;
  UpdateProfile Update;
  ProcessorProfile Processor;
  SuperIoDriverProfile SuperIoDriver;
  EarlyPhaseProfile EarlyPhase;
  SouthBridgeProfile SouthBridge;
  MessageBoxProfile MessageBox;
  ClockControlProfile Clocks;
  std::vector<SataDriveProfile> SataDrives;
  MemoryProfile Memory;
  GraphicsProfile Graphics;
  std::optional<NvmeProfile> Nvme;
  NetworkProfile Network;
  // Absent: no key rules, no firmware volume (a board without Secure Boot).
  std::optional<SecureBootProfile> SecureBoot;
  std::optional<UsbProfile> Usb;  // absent: no USB driver
  std::optional<ProfileStorageProfile> ProfileStorage;  // absent: no profile storage protocol
  MainPageProfile MainPage;
  std::optional<SataPortDriverProfile> SataPortDriver;  // absent: no SATA driver calls the protocol
  PresetProfile Presets;
  std::vector<FileVolumeProfile> FileVolumes;  // simple-file-system volumes
  PeerPresenceProfile Peers;
};

// The board built into the simulator (boards/default.json).
const BoardProfile& DefaultBoardProfile();
const char* DefaultBoardProfileText();

// Reads and checks a profile. On failure Error is "<file>: <JSON path>: <why>"
// and Profile is left unchanged.
bool LoadBoardProfile(const std::string& Path, BoardProfile& Profile, std::string& Error);
bool ParseBoardProfile(const std::string& Text, const std::string& SourceName, BoardProfile& Profile,
                       std::string& Error);

// "8F132913-6907-4192-A227-6CBCD7A50E6C" <-> EFI_GUID.
bool ParseGuid(const std::string& Text, EFI_GUID& Guid);
std::string GuidText(const EFI_GUID& Guid);

}  // namespace sim
