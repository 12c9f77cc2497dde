// Shows the form sets that the form utility stand-in published in OVMF's own
// browser, for qemu/show_setup.py: `showsetup.efi all` opens all nine in
// table order, `showsetup.efi <class>` (decimal) the one of that class.
// A form set that the driver removed after loading (class 0x20) is shown from
// a copy of its compiled package list, published for the view alone.
// `showsetup.efi prepare` writes the Setup record the scripted walk starts
// from; `showsetup.efi dump` prints the stored record for the runner.
#include "forms/form_packages.h"
#include "lib/firmware_services.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "qemu/check_report.h"
#include "qemu/checks.h"
#include "qemu/form_browser.h"
#include "qemu/formutil_control.h"
#include "qemu/show_setup_walk.h"
#include "uefi/device_path.h"
#include "uefi/loaded_image.h"

namespace {

constexpr UINTN DUMP_ROW_BYTES = 32;
constexpr UINTN WORD_CAPACITY = 12;

// The shell passes the whole command line; the argument is its last word.
void LastWord(EFI_HANDLE ImageHandle, CHAR8 (&Word)[WORD_CAPACITY]) {
  Word[0] = 0;
  EFI_LOADED_IMAGE_PROTOCOL* Image = HandleProtocol<EFI_LOADED_IMAGE_PROTOCOL>(ImageHandle);
  if (Image == nullptr || Image->LoadOptions == nullptr) return;
  const CHAR16* Options = (const CHAR16*)Image->LoadOptions;
  UINTN End = Image->LoadOptionsSize / sizeof(CHAR16);
  while (End > 0 && (Options[End - 1] == 0 || Options[End - 1] == u' ')) --End;
  UINTN Start = End;
  while (Start > 0 && Options[Start - 1] != u' ') --Start;
  if (End - Start >= WORD_CAPACITY) return;
  for (UINTN i = Start; i < End; ++i) Word[i - Start] = Options[i] < 0x80 ? (CHAR8)Options[i] : '?';
  Word[End - Start] = 0;
}

bool Is(const CHAR8* Word, const CHAR8* Expected) { return AsciiCompare(Word, Expected) == 0; }

bool IsNumber(const CHAR8* Word) {
  if (*Word == 0) return false;
  for (; *Word; ++Word)
    if (*Word < '0' || *Word > '9') return false;
  return true;
}

EFI_STATUS Show(EFI_FORM_BROWSER2_PROTOCOL* Browser, EFI_HII_HANDLE Handle, UINT16 Class, UINTN Index) {
  PrintFormatted(u"SHOWSETUP open %ld class=0x%x", (UINT64)Index, Class);
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_NONE;
  EFI_STATUS Status = Browser->SendForm(Browser, &Handle, 1, nullptr, 0, nullptr, &Request);
  PrintFormatted(u"SHOWSETUP closed %ld class=0x%x %r request=%ld", (UINT64)Index, Class, Status,
                 (UINT64)Request);
  return Status;
}

#pragma pack(push, 1)
struct VIEW_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL Vendor;
  EFI_GUID VendorGuid;
  EFI_DEVICE_PATH_PROTOCOL End;
};
#pragma pack(pop)

// The compiled package list under a handle of its own with no Config Access:
// the browser shows the page's prompts and the package's own strings, and
// calls nothing of the driver's.
EFI_STATUS ShowCopy(EFI_FORM_BROWSER2_PROTOCOL* Browser, const FORM_SET_INFO& Row, UINTN Index) {
  EFI_HII_DATABASE_PROTOCOL* Database = LocateProtocol<EFI_HII_DATABASE_PROTOCOL>();
  const FORM_PACKAGE* Form = Row.PackageListGuid != nullptr ? FindFormPackage(Row.PackageListGuid) : nullptr;
  if (Database == nullptr || Form == nullptr) return EFI_NOT_FOUND;
  // A GUID of the view's own keeps this path apart from the stand-in's.
  static VIEW_DEVICE_PATH Path = {
      {HARDWARE_DEVICE_PATH, HW_VENDOR_DP, {sizeof(EFI_DEVICE_PATH_PROTOCOL) + sizeof(EFI_GUID), 0}},
      {0x5D0C1B6E, 0x3A41, 0x4F6B, {0x8E, 0x21, 0x7C, 0x90, 0x4B, 0x33, 0xD2, 0x18}},
      {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, {sizeof(EFI_DEVICE_PATH_PROTOCOL), 0}}};
  EFI_HANDLE Driver = nullptr;
  EFI_STATUS Status =
      gBS()->InstallMultipleProtocolInterfaces(&Driver, &EFI_DEVICE_PATH_PROTOCOL::Guid, &Path, nullptr);
  if (EFI_ERROR(Status)) return Status;
  EFI_HII_HANDLE Copy = nullptr;
  Status = Database->NewPackageList(Database, (const EFI_HII_PACKAGE_LIST_HEADER*)Form->Data, Driver, &Copy);
  if (!EFI_ERROR(Status)) {
    PrintFormatted(u"SHOWSETUP copy %ld class=0x%x: the driver removed this form set", (UINT64)Index, Row.Class);
    Status = Show(Browser, Copy, Row.Class, Index);
    Database->RemovePackageList(Database, Copy);
  }
  gBS()->UninstallMultipleProtocolInterfaces(Driver, &EFI_DEVICE_PATH_PROTOCOL::Guid, &Path, nullptr);
  return Status;
}

EFI_STATUS ShowFormSets(const CHAR8* Word) {
  FORMUTIL_CONTROL_PROTOCOL* Control = LocateProtocol<FORMUTIL_CONTROL_PROTOCOL>();
  EFI_FORM_BROWSER2_PROTOCOL* Browser = LocateProtocol<EFI_FORM_BROWSER2_PROTOCOL>();
  FORMUTIL_LOAD_RECORD Record = {};
  if (Control == nullptr || Browser == nullptr || EFI_ERROR(Control->GetLoadRecord(&Record)) ||
      Record.Table == nullptr) {
    PrintLine(u"SHOWSETUP no form sets: load formutil_ovmf.efi and setupinfo.efi first");
    return EFI_NOT_READY;
  }
  const bool All = Is(Word, "all");
  const UINT32 Class = All ? 0 : ParseDecimal(Word);
  UINTN Shown = 0;
  for (UINTN i = 0; i < Record.EntryCount; ++i) {
    const FORM_SET_INFO& Row = Record.Table[i];
    if (Row.HiiHandle == nullptr || (!All && Row.Class != Class)) continue;
    if (Show(Browser, Row.HiiHandle, Row.Class, i) == EFI_NOT_FOUND) ShowCopy(Browser, Row, i);
    Shown++;
  }
  PrintFormatted(u"SHOWSETUP done %ld", (UINT64)Shown);
  return Shown == 0 ? EFI_NOT_FOUND : EFI_SUCCESS;
}

// The walk's starting values over whatever record the store holds.
EFI_STATUS Prepare() {
  UINT8 Setup[SETUP_RECORD_SIZE] = {};
  UINTN Size = sizeof(Setup);
  EFI_STATUS Status = gRT()->GetVariable(u"Setup", &SETUP_VARIABLE_VENDOR, nullptr, &Size, Setup);
  if (EFI_ERROR(Status) || Size != SETUP_RECORD_SIZE) MemFill(Setup, sizeof(Setup), 0);
  PrepareWalkRecord(Setup);
  Status = gRT()->SetVariable(u"Setup", &SETUP_VARIABLE_VENDOR, 7, sizeof(Setup), Setup);
  PrintFormatted(u"SHOWSETUP prepared %r", Status);
  return Status;
}

EFI_STATUS Dump() {
  UINT8 Setup[SETUP_RECORD_SIZE] = {};
  UINTN Size = sizeof(Setup);
  EFI_STATUS Status = gRT()->GetVariable(u"Setup", &SETUP_VARIABLE_VENDOR, nullptr, &Size, Setup);
  PrintFormatted(u"SETUPSIZE %ld %r", (UINT64)(EFI_ERROR(Status) ? 0 : Size), Status);
  if (EFI_ERROR(Status)) return Status;
  for (UINTN Row = 0; Row < Size; Row += DUMP_ROW_BYTES) {
    CHAR16 Line[16 + 2 * DUMP_ROW_BYTES];
    UINTN At = FormatWide(Line, ArrayCount(Line), u"SETUPHEX %04x ", (UINT32)Row);
    for (UINTN i = Row; i < Min(Size, Row + DUMP_ROW_BYTES); ++i)
      At += FormatWide(Line + At, ArrayCount(Line) - At, u"%02x", Setup[i]);
    PrintLine(Line);
  }
  return EFI_SUCCESS;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI ShowSetupMain(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  CHAR8 Word[WORD_CAPACITY];
  LastWord(ImageHandle, Word);
  if (Is(Word, "prepare")) return Prepare();
  if (Is(Word, "dump")) return Dump();
  if (Is(Word, "all") || IsNumber(Word)) return ShowFormSets(Word);
  PrintLine(u"usage: showsetup.efi all|<class>|prepare|dump");
  return EFI_INVALID_PARAMETER;
}
