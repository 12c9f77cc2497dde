// The hub page inside OVMF: the SATA port lines that setupinfo set on the
// advanced form set, against the drives' own Disk Info and the disk and
// CD-ROM the runner attached. q35 is not our board: its LPC device ID is in
// no row of the hub table and its configuration window is not at
// 0xF8000000, so the check reads the same address the driver reads and
// states what follows from it: there it reads 0, IDE addressing, and OVMF's
// AHCI drives (device 0xFFFF) all fall past the table, so no line may be
// set. The page's reading of each drive (port, model, capacity, ATAPI) is
// checked on its own over the real Disk Info, as port-number mode takes it.
#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/text_format.h"
#include "lib/util.h"
#include "qemu/checks.h"
#include "qemu/current_language.h"
#include "qemu/formutil_control.h"
#include "qemu/page_reading.h"
#include "qemu/sata_drives.h"
#include "setupinfo/pages/board/south_bridge_facts.h"
#include "uefi/device_path.h"
#include "uefi/disk_info.h"

namespace {

constexpr UINTN TEXT_CAPACITY = PAGE_TEXT_CAPACITY;
constexpr UINT16 DriveTextIds[6] = {0x0249, 0x024B, 0x024D, 0x024F, 0x0251, 0x0253};
constexpr UINT16 StatusTextIds[6] = {0x026D, 0x026E, 0x026F, 0x0270, 0x0271, 0x0272};
constexpr UINT16 STR_PCH_NAME = 0x0205;
constexpr UINT16 STR_PCH_STEPPING = 0x0208;

struct DRIVE_FACTS {
  bool Found;
  EFI_DISK_INFO_PROTOCOL* Info;
  const EFI_DEVICE_PATH_PROTOCOL* Path;
  UINT8 Function;
  UINT32 Channel, Device;
  UINT16 Identify[256];
};

// The function of the first PCI node, or -1; bounded like any outside path.
int PciFunctionOf(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  for (UINTN Walked = 0; Node != nullptr && Walked < 64; ++Walked) {
    const UINT16 Length = DevicePathNodeLength(Node);
    if (Node->Type == END_DEVICE_PATH_TYPE || Node->Type == 0xFF || Length < 4) return -1;
    if (Node->Type == HARDWARE_DEVICE_PATH && Node->SubType == HW_PCI_DP && Length >= 6)
      return ((const UINT8*)Node)[4];
    Node = (const EFI_DEVICE_PATH_PROTOCOL*)((const UINT8*)Node + Length);
  }
  return -1;
}

// Model words 27-46 in ATA byte order against a model name, trailing spaces
// ignored.
bool ModelIs(const UINT16* Identify, const CHAR8* Model) {
  CHAR8 Text[41];
  for (UINTN i = 0; i < 20; ++i) {
    Text[2 * i] = (CHAR8)(Identify[27 + i] >> 8);
    Text[2 * i + 1] = (CHAR8)Identify[27 + i];
  }
  Text[40] = 0;
  UINTN Length = 40;
  while (Length > 0 && (Text[Length - 1] == ' ' || Text[Length - 1] == 0)) Text[--Length] = 0;
  return SameAscii(Text, Model);
}

// Reads every Disk Info handle as the page does, and keeps the two drives
// the runner attached.
void ReadDrives(DRIVE_FACTS* Disk, DRIVE_FACTS* Cdrom) {
  PoolBuffer<EFI_HANDLE> Handles;
  UINTN Count = 0;
  EFI_STATUS Status =
      gBS()->LocateHandleBuffer(ByProtocol, &EFI_DISK_INFO_PROTOCOL::Guid, nullptr, &Count, (EFI_HANDLE**)Handles.OutPtr());
  Note(u"Disk Info handles: %ld (%r)", EFI_ERROR(Status) ? 0 : Count, Status);
  if (EFI_ERROR(Status)) return;
  for (UINTN i = 0; i < Count; ++i) {
    EFI_DISK_INFO_PROTOCOL* Info = HandleProtocol<EFI_DISK_INFO_PROTOCOL>(Handles[i]);
    const EFI_DEVICE_PATH_PROTOCOL* Path = HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Handles[i]);
    const int Function = PciFunctionOf(Path);
    if (Info == nullptr) continue;
    DRIVE_FACTS Facts = {};
    EFI_STATUS Which = Info->WhichIde(Info, &Facts.Channel, &Facts.Device);
    UINT32 Size = sizeof(Facts.Identify);
    EFI_STATUS Identify = Info->Identify(Info, Facts.Identify, &Size);
    Note(u"Disk Info %ld: PCI function %d, WhichIde %r channel %d device 0x%x, Identify %r (%d bytes), word 0 0x%x",
         i, Function, Which, Facts.Channel, Facts.Device, Identify, Size, Facts.Identify[0]);
    if (EFI_ERROR(Which) || EFI_ERROR(Identify) || Size < sizeof(Facts.Identify)) continue;
    Facts.Found = true;
    Facts.Info = Info;
    Facts.Path = Path;
    Facts.Function = (UINT8)Function;
    if (ModelIs(Facts.Identify, ATTACHED_DISK_MODEL)) *Disk = Facts;
    if (ModelIs(Facts.Identify, ATTACHED_CDROM_MODEL)) *Cdrom = Facts;
  }
}

UINT64 SectorCount(const UINT16* Id) {
  if ((Id[83] & (1u << 10)) != 0)
    return (UINT64)Id[100] | ((UINT64)Id[101] << 16) | ((UINT64)Id[102] << 32) | ((UINT64)Id[103] << 48);
  return (UINT64)Id[60] | ((UINT64)Id[61] << 16);
}

// Where a drive's line goes: by port number when the mode bits read
// non-zero; otherwise by IDE channel and device, which for OVMF's AHCI
// drives (device 0xFFFF, no port multiplier) lies past the table.
UINT64 ExpectedIndex(bool PortNumberMode, const DRIVE_FACTS& D) {
  if (PortNumberMode) return D.Channel;
  UINT64 Index = (UINT64)D.Device + 2 * (UINT64)D.Channel;
  if (Index == 1 || Index == 2) Index = 3 - Index;
  return D.Function == 5 ? Index + 4 : Index;
}

void ModelLine(const CHAR8* Model, const CHAR8* Tail, CHAR16 (&Line)[TEXT_CAPACITY]) {
  CHAR8 Padded[41];
  for (UINTN i = 0; i < 40; ++i) Padded[i] = ' ';
  Padded[40] = 0;
  MemMove(Padded, Model, AsciiLength(Model));
  FormatWide(Line, TEXT_CAPACITY, u"%a%a", Padded, Tail);
}

// The page's own reading of one drive, over OVMF's Disk Info and device
// path, as a board in port-number mode would take it: the port and both
// texts, whatever q35's window address made of the mode.
void CheckDriveReading(CHECK_REPORT* Report, const CHAR16* Name, const DRIVE_FACTS& D, UINT32 Port,
                       const CHAR16* Drive, const CHAR16* Status) {
  SATA_DRIVE_TEXT DriveText;
  SATA_STATUS_TEXT StatusText;
  DriveText[0] = StatusText[0] = 0;
  UINTN Index = ~(UINTN)0;
  EFI_STATUS S = ReadSataDrive(D.Info, D.Path, true, &Index, DriveText, StatusText);
  CHAR16 Wide[TEXT_CAPACITY], WideStatus[TEXT_CAPACITY];
  FormatWide(Wide, TEXT_CAPACITY, u"%a", DriveText);
  FormatWide(WideStatus, TEXT_CAPACITY, u"%a", StatusText);
  Note(u"%s: %r, port %ld, \"%s\" / \"%s\"", Name, S, Index, Wide, WideStatus);
  Check(Report, Name, S == EFI_SUCCESS && Index == Port && SameText(Wide, Drive) && SameText(WideStatus, Status),
        u"%r, port %ld: \"%s\" / \"%s\", expected port %d: \"%s\" / \"%s\"", S, Index, Wide, WideStatus, Port, Drive,
        Status);
}

void CheckLine(CHECK_REPORT* Report, const CHAR16* Name, EFI_HII_STRING_PROTOCOL* Strings, EFI_HII_HANDLE Page,
               UINT64 Index, const CHAR16* Drive, const CHAR16* Status) {
  if (!Check(Report, Name, Index < 6, u"port index %ld has no line", Index)) return;
  CHAR16 Text[TEXT_CAPACITY], StatusText[TEXT_CAPACITY];
  EFI_STATUS S1 = ReadPageText(Strings, Page, DriveTextIds[Index], Text);
  EFI_STATUS S2 = ReadPageText(Strings, Page, StatusTextIds[Index], StatusText);
  Check(Report, Name, !EFI_ERROR(S1) && !EFI_ERROR(S2) && SameText(Text, Drive) && SameText(StatusText, Status),
        u"port %ld: \"%s\" / \"%s\" (%r %r), expected \"%s\" / \"%s\"", Index, Text, StatusText, S1, S2, Drive,
        Status);
}

}  // namespace

void RunSataPortChecks(CHECK_REPORT* Report) {
  FORMUTIL_CONTROL_PROTOCOL* Control = LocateProtocol<FORMUTIL_CONTROL_PROTOCOL>();
  EFI_HII_STRING_PROTOCOL* Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  FORMUTIL_LOAD_RECORD Record = {};
  if (!Check(Report, u"hub.services", Control != nullptr && Strings != nullptr &&
                                          !EFI_ERROR(Control->GetLoadRecord(&Record)) && Record.Table != nullptr,
             u"test form utility %d, HII string %d", Control != nullptr, Strings != nullptr))
    return;
  EFI_HII_HANDLE Page = nullptr;
  for (UINTN i = 0; i < Record.EntryCount; ++i)
    if (Record.Table[i].Class == 0x4) Page = Record.Table[i].HiiHandle;
  if (!Check(Report, u"hub.advanced_form_set", Page != nullptr, u"no class 4 form set was published")) return;

  // What the driver reads: the LPC device ID through the ports, the mode
  // register at the address our board's window would give it.
  const UINT16 DeviceId = PciRead16(0, 31, 0, 2);
  const UINT16 Mode2 = PhysicalRead16(0xF8000000ull + (31u << 15) + (2u << 12) + 0x90);
  UINT16 Mode = Mode2;
  if ((DeviceId >> 8) != 0x9C && Mode == 0xFFFF) Mode = PhysicalRead16(0xF8000000ull + (31u << 15) + (5u << 12) + 0x90);
  const bool PortNumberMode = ((Mode >> 6) & 3) != 0;
  Note(u"hub: LPC device ID 0x%x; word at 0xF80FA090 0x%x, mode word 0x%x: %s addressing; the AHCI function's own "
       u"register 0x90 (through the ports) 0x%x",
       DeviceId, Mode2, Mode, PortNumberMode ? u"port-number" : u"IDE channel/device", PciRead16(0, 31, 2, 0x90));

  // q35's ICH9 LPC bridge is in no row of the table, and OVMF keeps no
  // SbPlatformData: both lines keep their package text.
  CHAR16 Text[TEXT_CAPACITY];
  UINT8 Platform[8];
  UINTN PlatformSize = sizeof(Platform);
  const EFI_STATUS PlatformStatus =
      gRT()->GetVariable(u"SbPlatformData", &SETUP_VARIABLE_VENDOR, nullptr, &PlatformSize, Platform);
  Note(u"hub: SbPlatformData %r", PlatformStatus);
  if (DeviceId == 0x2918) {
    EFI_STATUS S = ReadPageText(Strings, Page, STR_PCH_NAME, Text);
    Check(Report, u"hub.name_not_in_table", !EFI_ERROR(S) && SameText(Text, u"Unknown"), u"string 0x205: %r \"%s\"",
          S, Text);
  }
  if (PlatformStatus == EFI_NOT_FOUND) {
    EFI_STATUS S = ReadPageText(Strings, Page, STR_PCH_STEPPING, Text);
    Check(Report, u"hub.stepping_unknown", !EFI_ERROR(S) && SameText(Text, u"Unknown"), u"string 0x208: %r \"%s\"",
          S, Text);
  }

  DRIVE_FACTS Disk = {}, Cdrom = {};
  ReadDrives(&Disk, &Cdrom);
  if (!Check(Report, u"sata.attached_drives", Disk.Found && Cdrom.Found,
             u"Disk Info of the attached disk %d, of the attached CD-ROM %d", Disk.Found, Cdrom.Found))
    return;
  // The real Disk Info: QEMU's model, the port it was put on, the image's size.
  Check(Report, u"sata.disk_info", Disk.Channel == ATTACHED_DISK_PORT && Cdrom.Channel == ATTACHED_CDROM_PORT &&
                                        SectorCount(Disk.Identify) * 512 == ATTACHED_DISK_BYTES &&
                                        (Cdrom.Identify[0] & 0x8000) != 0,
        u"disk channel %d, %ld sectors; CD-ROM channel %d, word 0 0x%x", Disk.Channel, SectorCount(Disk.Identify),
        Cdrom.Channel, Cdrom.Identify[0]);

  CHAR16 DiskLine[TEXT_CAPACITY], CdromLine[TEXT_CAPACITY];
  ModelLine(ATTACHED_DISK_MODEL, " (3.2GB)", DiskLine);
  ModelLine(ATTACHED_CDROM_MODEL, " ATAPI", CdromLine);
  const bool Supported = Disk.Identify[76] != 0xFFFF && (Disk.Identify[78] & (1u << 6)) != 0;
  const CHAR16* DiskStatus = Supported ? u"SUPPORTED" : u"NOT SUPPORTED";
  CheckDriveReading(Report, u"sata.disk_reading", Disk, ATTACHED_DISK_PORT, DiskLine, DiskStatus);
  CheckDriveReading(Report, u"sata.cdrom_reading", Cdrom, ATTACHED_CDROM_PORT, CdromLine, u"  N/A  ");

  const UINT64 DiskIndex = ExpectedIndex(PortNumberMode, Disk);
  const UINT64 CdromIndex = ExpectedIndex(PortNumberMode, Cdrom);
  if (!PortNumberMode) {
    // Every index lies past the table: the lines keep their package text.
    for (UINTN i = 0; i < 6; ++i) {
      EFI_STATUS S = ReadPageText(Strings, Page, DriveTextIds[i], Text);
      Check(Report, u"sata.ide_addressing_sets_nothing", !EFI_ERROR(S) && SameText(Text, u"Not Present"),
            u"port %ld: %r \"%s\" (disk index %ld, CD-ROM index %ld)", i, S, Text, DiskIndex, CdromIndex);
    }
    return;
  }
  CheckLine(Report, u"sata.disk_line", Strings, Page, DiskIndex, DiskLine, DiskStatus);
  CheckLine(Report, u"sata.cdrom_line", Strings, Page, CdromIndex, CdromLine, u"  N/A  ");
}
