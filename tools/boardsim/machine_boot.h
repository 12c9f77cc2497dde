// A simulated machine with both drivers loaded: boots, reboots with the
// variable store kept, the setup-load trigger on the deferred path, and the
// setup browser opened, as a firmware engineer's board would go through them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "sim/hii/hii_database.h"
#include "sim/machine.h"
#include "sim/peers/graphics_peers.h"
#include "sim/peers/memory_peers.h"
#include "sim/peers/nvme_peers.h"
#include "sim/peers/processor_peers.h"
#include "sim/peers/secure_boot_peers.h"
#include "sim/peers/super_io_peers.h"
#include "sim/peers/south_bridge_peers.h"
#include "sim/peers/message_box_peer.h"
#include "sim/peers/clock_peers.h"
#include "sim/peers/usb_peers.h"
#include "sim/peers/file_system_peers.h"
#include "sim/peers/network_peers.h"
#include "sim/peers/profile_peers.h"
#include "sim/peers/main_page_peers.h"
#include "sim/peers/preset_peers.h"
#include "sim/peers/sata_peers.h"
#include "tools/boardsim/page_capture.h"
#include "tools/boardsim/run_report.h"

namespace boardsim {

class BoardSession {
 public:
  explicit BoardSession(const sim::BoardProfile& Profile);
  ~BoardSession();
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  // Before the first boot: the board's language as if the user had picked it
  // in an earlier setup session ("PlatformLang").
  void PresetLanguage(const std::string& Language);

  // The first boot loads the images; each later one power-cycles the machine.
  BootRecord Boot();

  sim::Machine& Machine() { return *Machine_; }
  // The board's message box service of this boot; null before the first.
  sim::MessageBoxPeer* MessageBox() { return MessageBox_.get(); }
  sim::FileSystemPeers* FileSystems() { return FileSystems_.get(); }
  bool HasMessageBox() const { return Machine_->Profile().MessageBox.Present; }
  // The board's profile storage protocol of this boot; null without one.
  sim::ProfileStoragePeer* ProfileStorage() { return ProfileStorage_.get(); }
  bool HasProfileStorage() const { return Machine_->Profile().ProfileStorage.has_value(); }
  // The text of a string as a form set shows it now; empty when it has none.
  std::string FormSetText(EFI_HII_HANDLE HiiHandle, uint16_t StringId);
  sim::SetupBrowser& Browser();
  sim::FormUtilityService& Forms();

  // The page of a form set as it is now; a form set whose package list the
  // driver removed shows the texts it had at removal.
  FormSetPage Page(const PackagedFormSet& Packaged);
  StringSnapshot Strings(const std::vector<PackagedFormSet>& FormSets);

  // The display driver's resolution trigger, installed once more; the
  // driver's status.
  EFI_STATUS InstallResolutionTrigger();

  // Calls into the board's device stand-ins (graphics outputs, ...) this boot, in order.
  std::vector<std::string> DeviceCalls() const;

  // The board's SATA driver calls the SATA port string protocol again; the
  // number of calls made (0: no SATA driver, or no protocol to call).
  size_t CallSataDriver();
  bool HasSataDriver() const { return SataPort_ != nullptr; }

  // ---- Test bench: peers held back, registered callbacks, logs ----
  // A peer the profile neither leaves out nor holds for "install NAME".
  bool AtLoad(const std::string& Peer) const;
  // "install NAME": why it cannot be installed now, or nothing.
  std::optional<std::string> CheckPeerInstall(const std::string& Peer) const;
  EFI_STATUS InstallPeer(const std::string& Peer);
  // The setup-load trigger protocol once more, on a new handle.
  EFI_STATUS ReinstallTrigger() { return InstallTrigger(); }
  size_t FormSetsPublished();
  // An item callback registered through the registry protocol, as another
  // driver would; it returns Returns. EFI_OUT_OF_RESOURCES past the slots.
  static constexpr size_t REGISTRATION_SLOTS = 8;
  EFI_STATUS RegisterCallback(UINT16 Class, UINT16 SubClass, UINT16 Key, EFI_STATUS Returns);
  // The registrations of this boot end, as their driver would end them
  // before boot services end (so the pool sees no leak).
  void UnregisterCallbacks();
  std::vector<RegisteredCall> RegisteredCalls;  // every call of the run, in order
  bool FaultsUsed = false;                      // a fault was armed: report the service counts
  bool LogStrings = false;                      // before the first boot: log every string write
  std::vector<StringWrite> StringLog;
  // Port accesses of every boot so far (and of this one up to now).
  std::vector<PortRecord> PortLog();


 private:
  void BeginBenchBoot();
  void ObserveStringWrites();
  template <size_t Slot>
  static EFI_STATUS EFIAPI RegisteredHandler(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
  static EFI_STATUS EFIAPI SetStringObserved(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                             EFI_STRING_ID StringId, const CHAR8* Language, const CHAR16* String,
                                             const EFI_FONT_INFO* StringFontInfo);
  static EFI_STATUS EFIAPI NewStringObserved(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                             EFI_STRING_ID* StringId, const CHAR8* Language,
                                             const CHAR16* LanguageName, const CHAR16* String,
                                             const EFI_FONT_INFO* StringFontInfo);
  void LogStringWrite(const char* Call, EFI_HII_HANDLE PackageList, EFI_STRING_ID Id, const CHAR8* Language,
                      const CHAR16* String, EFI_STATUS Status);
  struct Registration {
    UINT16 Class, SubClass, Key;
    EFI_STATUS Returns;
    VOID* Token;
  };
  std::vector<Registration> Registrations_;
  std::vector<std::string> InstalledByAction_;
  std::vector<PortRecord> EarlierPorts_;
  EFI_HII_STRING_PROTOCOL::SetStringFn OriginalSetString_ = nullptr;
  EFI_HII_STRING_PROTOCOL::NewStringFn OriginalNewString_ = nullptr;

  static EFI_STATUS EFIAPI PlatformEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
  static EFI_STATUS EFIAPI SetupInfoImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
  static EFI_STATUS EFIAPI UpdateFetchImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
  static EFI_STATUS EFIAPI RemovePackageListObserved(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle);
  static BoardSession* Active;

  std::vector<LanguageVariable> LanguageVariables();
  EFI_STATUS InstallTrigger();

  std::unique_ptr<sim::Machine> Machine_;
  unsigned Boots_ = 0;
  EFI_STATUS SetupInfoStatus_ = EFI_SUCCESS;
  EFI_STATUS UpdateFetchStatus_ = EFI_SUCCESS;
  EFI_HII_DATABASE_PROTOCOL::RemovePackageListFn OriginalRemove_ = nullptr;
  // Package lists as they were when the driver removed them, this boot.
  std::map<EFI_HII_HANDLE, sim::HiiPackageList> Removed_;
  // The platform's processor driver, installed anew at every boot.
  std::unique_ptr<sim::ProcessorPeers> Processor_;
  std::unique_ptr<sim::SuperIoPeers> SuperIo_;
  // The platform's chipset and SATA drivers, likewise.
  std::unique_ptr<sim::SouthBridgePeer> SouthBridge_;
  std::unique_ptr<sim::MessageBoxPeer> MessageBox_;
  std::unique_ptr<sim::ProfileStoragePeer> ProfileStorage_;
  std::unique_ptr<sim::ClockControlPeer> Clocks_;
  // At load, or for a late driver once the drivers have loaded.
  void InstallClocks();
  std::unique_ptr<sim::BootPhasePeer> BootPhase_;
  std::unique_ptr<sim::SataDrivePeers> SataDrives_;
  std::unique_ptr<sim::MemoryPeers> Memory_;
  // The graphics stack: display controllers, their driver and outputs.
  std::unique_ptr<sim::GraphicsPeers> Graphics_;
  std::unique_ptr<sim::NvmePeers> Nvme_;
  std::unique_ptr<sim::NetworkPeers> Network_;
  std::unique_ptr<sim::MainPagePeers> MainPage_;
  // The key rules live as long as the store they guard (across reboots);
  // the volume of default key files is made again at every boot.
  std::unique_ptr<sim::SecureBootVariablePeer> KeyRules_;
  std::unique_ptr<sim::FirmwareVolumePeer> KeyVolume_;
  // The USB driver: at load, or for a late driver once the drivers have loaded.
  std::unique_ptr<sim::UsbSupportPeer> Usb_;
  // The SATA driver: calls the SATA port string protocol once the form sets are loaded.
  std::unique_ptr<sim::SataPortDriverPeer> SataPort_;
  // The preset provider and the forwarding protocols: at load, or once loaded.
  std::unique_ptr<sim::PresetPeers> Presets_;
  // Simple-file-system volumes keep their files across reboots, as media do.
  std::unique_ptr<sim::FileSystemPeers> FileSystems_;
  UINT8 TriggerInterface_ = 0;
};

}  // namespace boardsim
