// Graphics output selection on OVMF's own video driver: the display
// controller, its driver and output names from OVMF's component names, the
// variables of page load, the level and switch questions, and the chosen
// output found again on the next boot.
#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "platform/form_utility.h"
#include "platform/graphics_output.h"
#include "qemu/checks.h"
#include "qemu/current_language.h"
#include "qemu/formutil_control.h"
#include "qemu/graphics_standin.h"
#include "uefi/device_path.h"
#include "uefi/driver_model.h"

namespace {

constexpr UINT16 ADVANCED_CLASS = 0x4;
constexpr UINTN SETUP_SIZE = 1172;
constexpr UINTN CHOSEN_INDEX = 0x469, LEVEL = 0x46A, SWITCH = 0x46E;
// The stand-in's output comes second: children are listed in handle order.
constexpr UINT8 STANDIN_OUTPUT_INDEX = 1;
constexpr UINTN NAME_CAPACITY = 128;

struct GRAPHICS_CHECK {
  CHECK_REPORT* Report;
  GRAPHICS_STANDIN_CONTROL_PROTOCOL* StandIn;
  FORM_UTILITY_PROTOCOL* Forms;
  EFI_HII_STRING_PROTOCOL* Strings;
  EFI_HII_HANDLE Page;
  EFI_HII_CONFIG_ACCESS_PROTOCOL* Access;
};

// A whole variable compared with the bytes expected.
bool VariableIs(const CHAR16* Name, const EFI_GUID& Guid, const VOID* Expected, UINTN ExpectedSize, UINTN* Size) {
  PoolBuffer<UINT8> Bytes;
  *Size = 0;
  if (EFI_ERROR(ReadWholeVariable(Name, &Guid, Bytes, Size))) return false;
  return *Size == ExpectedSize && __builtin_memcmp(Bytes.Get(), Expected, ExpectedSize) == 0;
}

UINTN WholePathSize(const EFI_DEVICE_PATH_PROTOCOL* Path) {
  UINTN Size = 0;
  for (UINTN Nodes = 0; Path != nullptr && Nodes < 64; ++Nodes) {
    auto* Node = (const EFI_DEVICE_PATH_PROTOCOL*)((const UINT8*)Path + Size);
    const UINTN Length = DevicePathNodeLength(Node);
    if (Length < sizeof(EFI_DEVICE_PATH_PROTOCOL)) return 0;
    Size += Length;
    if (Node->Type == END_DEVICE_PATH_TYPE && Node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE) return Size;
  }
  return 0;
}

bool CheckPathVariable(GRAPHICS_CHECK& C, const CHAR16* Check_, const CHAR16* Name, EFI_HANDLE Output) {
  auto* Path = HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Output);
  const UINTN Expected = WholePathSize(Path);
  UINTN Size = 0;
  return Check(C.Report, Check_, Expected > 0 && VariableIs(Name, GOP_OUTPUT_VARIABLE_GUID, Path, Expected, &Size),
               u"%s: %ld bytes, the output's path has %ld", Name, Size, Expected);
}

bool CheckPageString(GRAPHICS_CHECK& C, const CHAR16* Name, EFI_STRING_ID Id, const CHAR16* Expected) {
  CHAR8 Language[LANGUAGE_CODE_CAPACITY];
  CurrentHiiLanguage(C.Strings, C.Page, Language);
  CHAR16 Text[NAME_CAPACITY] = {};
  UINTN Size = sizeof(Text);
  EFI_STATUS Status = C.Strings->GetString(C.Strings, Language, C.Page, Id, Text, &Size, nullptr);
  return Check(C.Report, Name, !EFI_ERROR(Status) && Expected != nullptr && SameText(Text, Expected),
               u"string %x: %r \"%s\", expected \"%s\"", Id, Status, Text, Expected != nullptr ? Expected : u"(none)");
}

// The browser's Setup, changed at one byte or four, as a user's edit.
EFI_STATUS EditBrowserSetup(GRAPHICS_CHECK& C, UINTN Offset, UINT32 Value, UINTN Width, UINT8* Out = nullptr) {
  PoolBuffer<UINT8> Setup;
  if (!Setup.Allocate(SETUP_SIZE)) return EFI_OUT_OF_RESOURCES;
  UINTN Size = SETUP_SIZE;
  EFI_STATUS Status = C.Forms->GetBrowserData(&Size, Setup.Get(), &SETUP_VARIABLE_VENDOR, u"Setup");
  if (EFI_ERROR(Status)) return Status;
  if (Out != nullptr) {
    __builtin_memcpy(Out, Setup.Get(), SETUP_SIZE);
    return EFI_SUCCESS;
  }
  for (UINTN i = 0; i < Width; ++i) Setup[Offset + i] = (UINT8)(Value >> (8 * i));
  return C.Forms->SetBrowserData(SETUP_SIZE, Setup.Get(), &SETUP_VARIABLE_VENDOR, u"Setup");
}

EFI_STATUS Ask(GRAPHICS_CHECK& C, UINT16 Key) {
  EFI_IFR_TYPE_VALUE Value = {};
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_NONE;
  return C.Access->Callback(C.Access, EFI_BROWSER_ACTION_CHANGED, Key, EFI_IFR_TYPE_NUM_SIZE_8, &Value, &Request);
}

bool FindPage(CHECK_REPORT* Report, GRAPHICS_CHECK* C) {
  C->Report = Report;
  C->StandIn = LocateProtocol<GRAPHICS_STANDIN_CONTROL_PROTOCOL>();
  C->Forms = LocateProtocol<FORM_UTILITY_PROTOCOL>();
  C->Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  auto* Control = LocateProtocol<FORMUTIL_CONTROL_PROTOCOL>();
  if (!Check(Report, u"graphics.standin", C->StandIn != nullptr && C->StandIn->SetupStatus == EFI_SUCCESS &&
                                                C->Forms != nullptr && C->Strings != nullptr && Control != nullptr,
             u"stand-in %lx set-up %r, services %lx %lx %lx", (UINT64)(UINTN)C->StandIn,
             C->StandIn != nullptr ? C->StandIn->SetupStatus : EFI_NOT_FOUND, (UINT64)(UINTN)C->Forms,
             (UINT64)(UINTN)C->Strings, (UINT64)(UINTN)Control))
    return false;
  FORMUTIL_LOAD_RECORD Record = {};
  Control->GetLoadRecord(&Record);
  for (UINTN i = 0; Record.Table != nullptr && i < Record.EntryCount; ++i)
    if (Record.Table[i].Class == ADVANCED_CLASS) {
      C->Page = Record.Table[i].HiiHandle;
      C->Access = Record.Table[i].ConfigAccess;
    }
  return Check(Report, u"graphics.page", C->Page != nullptr && C->Access != nullptr, u"class 4: handle %lx access %lx",
               (UINT64)(UINTN)C->Page, (UINT64)(UINTN)C->Access);
}

// What the page shows, from OVMF's own names for its controller and output.
void CheckNames(GRAPHICS_CHECK& C) {
  const GRAPHICS_STANDIN_CONTROL_PROTOCOL& S = *C.StandIn;
  auto* Names = HandleProtocol<EFI_COMPONENT_NAME2_PROTOCOL>(S.Driver);
  CHAR16* Controller = nullptr;
  CHAR16* Driver = nullptr;
  CHAR16* Output = nullptr;
  // OVMF's names are in its first supported language; the page falls back to it.
  CHAR8 Language[LANGUAGE_CODE_CAPACITY] = {};
  for (UINTN i = 0; Names->SupportedLanguages != nullptr && i + 1 < LANGUAGE_CODE_CAPACITY &&
                    Names->SupportedLanguages[i] != 0 && Names->SupportedLanguages[i] != ';';
       ++i)
    Language[i] = Names->SupportedLanguages[i];
  EFI_STATUS A = Names->GetControllerName(Names, S.Controller, nullptr, Language, &Controller);
  EFI_STATUS B = Names->GetDriverName(Names, Language, &Driver);
  // Through the stand-in, which gives the output OVMF's controller name when OVMF has none for it.
  EFI_STATUS D = Names->GetControllerName(Names, S.Controller, S.RealOutput, Language, &Output);
  Note(u"OVMF names in \"%a\": controller %r \"%s\", driver %r \"%s\", output %r \"%s\"", Language, A,
       Controller ? Controller : u"", B, Driver ? Driver : u"", D, Output ? Output : u"");
  CheckPageString(C, u"graphics.controller_name", 0x0A91, EFI_ERROR(A) ? nullptr : Controller);
  CheckPageString(C, u"graphics.driver_name", 0x0A95, EFI_ERROR(B) ? nullptr : Driver);
  CheckPageString(C, u"graphics.output_name", 0x0A99, EFI_ERROR(D) ? nullptr : Output);
  Check(C.Report, u"graphics.output_name_is_ovmfs", !EFI_ERROR(A) && !EFI_ERROR(D) && SameText(Output, Controller),
        u"output %r, controller %r", D, A);
  CheckPageString(C, u"graphics.added_output_name", 0x0A9A, STANDIN_ADDED_OUTPUT_NAME);
}

void CheckPageLoad(GRAPHICS_CHECK& C, const CHAR16* Prefix) {
  CHAR16 Name[64];
  const UINT8 Policy[2] = {1, 2};
  UINTN Size = 0;
  FormatWide(Name, 64, u"%s.counts", Prefix);
  Check(C.Report, Name, VariableIs(GOP_POLICY_SETUP_DATA_NAME, SETUP_VARIABLE_VENDOR, Policy, 2, &Size),
        u"OrvGopPolicySetupData is not {1, 2} (%ld bytes)", Size);
  FormatWide(Name, 64, u"%s.child_path0", Prefix);
  CheckPathVariable(C, Name, u"ChildHandleDpVar0", C.StandIn->RealOutput);
  FormatWide(Name, 64, u"%s.child_path1", Prefix);
  CheckPathVariable(C, Name, u"ChildHandleDpVar1", C.StandIn->AddedOutput);
  const UINT8 Flags[2] = {1, 1};
  FormatWide(Name, 64, u"%s.platform_data", Prefix);
  Check(C.Report, Name, VariableIs(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_VENDOR, Flags, 2, &Size),
        u"NBGopPlatformData is not {1, 1} (%ld bytes)", Size);
}

// The level is kept within the stand-in's maximum, the switch follows Setup.
void CheckProperties(GRAPHICS_CHECK& C) {
  GRAPHICS_STANDIN_CONTROL_PROTOCOL& S = *C.StandIn;
  // Setup asked for the switch on; every form set's load applied it.
  Check(C.Report, u"graphics.switch_at_load", S.SwitchOnCalls == 9 && S.SwitchOffCalls == 0,
        u"%ld SwitchOn, %ld SwitchOff calls", S.SwitchOnCalls, S.SwitchOffCalls);
  EFI_STATUS Edit = EditBrowserSetup(C, LEVEL, 50, 4);
  const UINTN SetBefore = S.SetLevelCalls;
  EFI_STATUS Status = Ask(C, 0x4FB);
  UINT8 Setup[SETUP_SIZE];
  EFI_STATUS Read = EditBrowserSetup(C, 0, 0, 0, Setup);
  const UINT32 Kept = ReadLe32(Setup + LEVEL);
  Check(C.Report, u"graphics.level_lowered",
        Edit == EFI_SUCCESS && Status == EFI_SUCCESS && Read == EFI_SUCCESS && Kept == STANDIN_MAX_LEVEL &&
            S.Level == STANDIN_MAX_LEVEL && S.SetLevelCalls == SetBefore + 1,
        u"edit %r, callback %r, read %r: browser level %d, output level %d, %ld SetLevel calls", Edit, Status, Read,
        Kept, S.Level, S.SetLevelCalls - SetBefore);
  Edit = EditBrowserSetup(C, SWITCH, 2, 1);
  Status = Ask(C, 0x4FC);
  Check(C.Report, u"graphics.switch_off", Edit == EFI_SUCCESS && Status == EFI_SUCCESS && S.SwitchOffCalls == 1,
        u"edit %r, callback %r, %ld SwitchOff calls", Edit, Status, S.SwitchOffCalls);
}

void CheckChoice(GRAPHICS_CHECK& C) {
  EFI_STATUS Edit = EditBrowserSetup(C, CHOSEN_INDEX, STANDIN_OUTPUT_INDEX, 1);
  const UINTN VendorReads = C.StandIn->VendorReads;
  EFI_STATUS Status = Ask(C, 0x4F5);
  Note(u"output choice: callback %r, %ld vendor reads", Status, C.StandIn->VendorReads - VendorReads);
  Check(C.Report, u"graphics.choice_status", Edit == EFI_SUCCESS && Status == EFI_SUCCESS &&
                                                 C.StandIn->VendorReads > VendorReads,
        u"edit %r, callback %r, %ld vendor reads through PCI I/O", Edit, Status, C.StandIn->VendorReads - VendorReads);
  CheckPathVariable(C, u"graphics.choice_stored", GOP_OUTPUT_DP_NAME, C.StandIn->AddedOutput);
  // What the page's connect got: OVMF's driver already drives the controller.
  auto* Path = HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(C.StandIn->AddedOutput);
  const UINTN Size = WholePathSize(Path);
  if (Size > sizeof(EFI_DEVICE_PATH_PROTOCOL) + 8) {
    auto* Last = (EFI_DEVICE_PATH_PROTOCOL*)((UINT8*)Path + Size - sizeof(EFI_DEVICE_PATH_PROTOCOL) - 8);
    Note(u"connect of the controller with the chosen output's node: %r",
         gBS()->ConnectController(C.StandIn->Controller, nullptr, Last, TRUE));
  }
}

}  // namespace

void PrepareGraphicsOutputChecks() {
  // OVMF has no Setup of this board: the first boot brings one that asks
  // for the switch on; a later boot (Setup already there) makes the chosen
  // index stale, so the page must find it again.
  bool LaterBoot = true;
  UINT8 Setup[SETUP_SIZE] = {};
  UINTN Size = sizeof(Setup);
  EFI_STATUS Status = gRT()->GetVariable(u"Setup", &SETUP_VARIABLE_VENDOR, nullptr, &Size, Setup);
  if (EFI_ERROR(Status) || Size != SETUP_SIZE) {
    __builtin_memset(Setup, 0, sizeof(Setup));
    LaterBoot = false;
    Setup[SWITCH] = 1;
    WriteLe32(Setup + LEVEL, 3);
  }
  if (LaterBoot) Setup[CHOSEN_INDEX] = 7;
  Status = gRT()->SetVariable(u"Setup", &SETUP_VARIABLE_VENDOR, 7, SETUP_SIZE, Setup);
  Note(u"Setup for the graphics output page: %r", Status);
}

void RunGraphicsOutputChecks(CHECK_REPORT* Report, bool LaterBoot) {
  GRAPHICS_CHECK C = {};
  if (!FindPage(Report, &C)) return;
  if (!LaterBoot) {
    CheckPageLoad(C, u"graphics");
    CheckNames(C);
    CheckProperties(C);
    CheckChoice(C);
    return;
  }
  CheckPageLoad(C, u"graphics.boot2");
  UINT8 Setup[SETUP_SIZE] = {};
  UINTN Size = sizeof(Setup);
  EFI_STATUS Status = gRT()->GetVariable(u"Setup", &SETUP_VARIABLE_VENDOR, nullptr, &Size, Setup);
  Check(Report, u"graphics.boot2.choice_found", !EFI_ERROR(Status) && Setup[CHOSEN_INDEX] == STANDIN_OUTPUT_INDEX,
        u"Setup %r, chosen index %d", Status, Setup[CHOSEN_INDEX]);
}
