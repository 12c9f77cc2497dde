// Secure Boot keys on OVMF's own authenticated variables. The check
// application is the removable-media boot file of a Secure Boot build; it
// loads the form utility stand-in and setupinfo itself (signed in user mode,
// so the firmware's image verification lets them in), installs a scripted
// message box and drives the class 0x40 page through its question callbacks,
// with key files on the real FAT volume it was booted from. What OVMF holds
// afterwards is read back here, and dumped for the runner, which compares
// the files the page saved with the dumps.
#include "lib/device_path_text.h"
#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/text_format.h"
#include "lib/util.h"
#include "platform/form_utility.h"
#include "qemu/boot_volume.h"
#include "qemu/checks.h"
#include "qemu/formutil_control.h"
#include "qemu/page_reading.h"
#include "qemu/scripted_message_box.h"
#include "uefi/device_path.h"
#include "uefi/image_authentication.h"

namespace {

constexpr UINT16 SECURE_BOOT_CLASS = 0x40;
constexpr EFI_GUID SECURE_BOOT_FORM_SET = {
    0x981CEAEE, 0x931C, 0x4A17, {0xB9, 0xC8, 0x66, 0xC7, 0xBC, 0xFD, 0x77, 0xE1}};
constexpr EFI_GUID FIRMWARE_SIGNATURE_OWNER = {
    0x26DC4851, 0x195F, 0x4AE1, {0x9A, 0x19, 0xFB, 0xF8, 0x83, 0xBB, 0xB3, 0x5E}};

// The page's rows.
constexpr UINT16 ROW_DELETE_ALL = 0x507, ROW_RESTORE_DEFAULTS = 0x508, ROW_SAVE_ALL = 0x50C, ROW_SET_PK = 0x50E,
                 ROW_SET_KEK = 0x510, ROW_SET_DB = 0x513, ROW_APPEND_DB = 0x514, ROW_APPEND_DBX = 0x51A;
// The page's strings.
constexpr UINT16 STR_DELETE_ALL_TITLE = 2992, STR_DELETE_ALL_TEXT = 3032, STR_DEFAULTS_TITLE = 3033,
                 STR_DEFAULTS_TEXT = 3034, STR_RESTORE_FAILED_TITLE = 3035, STR_RESTORE_FAILED_TEXT = 3036;
constexpr UINT16 STR_VOLUME_LIST = 2999, STR_DIRECTORY_LIST = 3000, STR_SET_TITLE = 3023, STR_APPEND_TITLE = 3024,
                 STR_FORMAT_LIST = 3025, STR_FORMAT_UNCHANGED = 3026, STR_FORMAT_CERTIFICATE = 3027,
                 STR_SOURCE_QUESTION = 3037, STR_FINAL_QUESTION = 3038, STR_FAILED = 3039, STR_DONE = 3040,
                 STR_SAVE_DONE_TITLE = 3042, STR_SAVE_DONE_TEXT = 3043;

constexpr UINTN FORMAT_CERTIFICATE = 0, FORMAT_UNCHANGED = 1;

struct KEY {
  const CHAR16* Name;
  const EFI_GUID* Guid;
};
// Present-byte order of SecureVarPresent.
constexpr KEY Keys[5] = {{u"dbx", &EFI_IMAGE_SECURITY_DATABASE_GUID},
                         {u"dbt", &EFI_IMAGE_SECURITY_DATABASE_GUID},
                         {u"db", &EFI_IMAGE_SECURITY_DATABASE_GUID},
                         {u"KEK", &EFI_GLOBAL_VARIABLE_GUID},
                         {u"PK", &EFI_GLOBAL_VARIABLE_GUID}};
constexpr UINTN DBX = 0, DB = 2, KEK = 3, PK = 4;

constexpr UINTN TEXT_CAPACITY = SHOWN_TEXT_CAPACITY;

struct SB_CHECK {
  CHECK_REPORT* Report;
  EFI_HANDLE ImageHandle;
  bool UserMode;
  EFI_HII_STRING_PROTOCOL* Strings;
  FORM_UTILITY_PROTOCOL* Forms;
  EFI_HII_HANDLE Page;
  EFI_HII_CONFIG_ACCESS_PROTOCOL* Access;
  CHAR16 Volume[PAGE_TEXT_CAPACITY];  // the boot volume as the volume list shows it
};

// One page action as a user goes through it: the source question answered
// "no" (a file), the boot volume, the directory items in turn, the format
// item and the final answer.
struct FILE_ACTION {
  const CHAR16* Check;
  UINT16 Row;
  UINTN Key;
  bool Append;
  const CHAR16* Steps[4];  // directory list items, the last one the file
  const CHAR16* Path;      // the path the final question should name
  UINTN Format;
  bool Confirm;
};

struct ACTION_RESULT {
  EFI_STATUS Status;  // the callback's
  bool Done;          // the last box is the done text
  bool Failed;        // the last box is the failure text
};

void PageText(SB_CHECK& C, UINT16 Id, CHAR16 (&Text)[PAGE_TEXT_CAPACITY]) { ReadPageText(C.Strings, C.Page, Id, Text); }

template <typename... T>
void PageFormat(SB_CHECK& C, CHAR16 (&Out)[TEXT_CAPACITY], UINT16 Id, T... Values) {
  CHAR16 Format[PAGE_TEXT_CAPACITY];
  PageText(C, Id, Format);
  FormatWide(Out, TEXT_CAPACITY, Format, Values...);
}

bool PageTextIs(SB_CHECK& C, const CHAR16* Shown, UINT16 Id) {
  CHAR16 Text[PAGE_TEXT_CAPACITY];
  PageText(C, Id, Text);
  return Text[0] != 0 && SameText(Shown, Text);
}

UINT8 ReadByteVariable(const CHAR16* Name, EFI_STATUS* Status) {
  UINT8 Value = 0xEE;
  UINTN Size = sizeof(Value);
  *Status = gRT()->GetVariable(Name, &EFI_GLOBAL_VARIABLE_GUID, nullptr, &Size, &Value);
  return Value;
}

bool KeyPresent(UINTN Key) {
  UINTN Size = 0;
  return gRT()->GetVariable(Keys[Key].Name, Keys[Key].Guid, nullptr, &Size, nullptr) == EFI_BUFFER_TOO_SMALL;
}

EFI_STATUS ReadKey(UINTN Key, PoolBuffer<UINT8>& Bytes, UINTN* Size, UINT32* Attributes = nullptr) {
  return ReadWholeVariable(Keys[Key].Name, Keys[Key].Guid, Bytes, Size, VARIABLE_AS_BYTES, Attributes);
}

bool SameBytes(const UINT8* A, UINTN ASize, const UINT8* B, UINTN BSize) {
  return ASize == BSize && (ASize == 0 || MemCompare(A, B, ASize) == 0);
}

EFI_STATUS Ask(SB_CHECK& C, UINT16 Row) {
  EFI_IFR_TYPE_VALUE Value = {};
  Value.u8 = 1;
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_NONE;
  return C.Access->Callback(C.Access, EFI_BROWSER_ACTION_CHANGING, Row, EFI_IFR_TYPE_NUM_SIZE_8, &Value, &Request);
}

// ---- Start: the firmware's state, image verification, the drivers ------

bool StartDriver(SB_CHECK& C, const CHAR16* Path, const CHAR16* Name) {
  EFI_HANDLE Image = nullptr;
  EFI_STATUS Status = LoadBootVolumeImage(C.ImageHandle, Path, &Image);
  EFI_STATUS Started = EFI_NOT_STARTED;
  if (!EFI_ERROR(Status)) Started = gBS()->StartImage(Image, nullptr, nullptr);
  Note(u"%s: LoadImage %r, StartImage %r", Path, Status, Started);
  return Check(C.Report, Name, !EFI_ERROR(Status) && Started == EFI_SUCCESS, u"%s: LoadImage %r, StartImage %r", Path,
               Status, Started);
}

void CheckFirmwareStateAtStart(SB_CHECK& C) {
  EFI_STATUS S1, S2;
  const UINT8 SetupMode = ReadByteVariable(u"SetupMode", &S1);
  const UINT8 SecureBoot = ReadByteVariable(u"SecureBoot", &S2);
  CHAR8 Language[32] = {};
  UINTN LanguageSize = sizeof(Language) - 1;
  const EFI_STATUS SL =
      gRT()->GetVariable(u"PlatformLang", &EFI_GLOBAL_VARIABLE_GUID, nullptr, &LanguageSize, Language);
  Note(u"PlatformLang %r \"%a\"", SL, Language);
  Note(u"OVMF at start: SetupMode %r %d, SecureBoot %r %d, PK %d KEK %d db %d dbx %d", S1, SetupMode, S2, SecureBoot,
       KeyPresent(PK), KeyPresent(KEK), KeyPresent(DB), KeyPresent(DBX));
  const UINT8 WantSetupMode = C.UserMode ? 0 : 1, WantSecureBoot = C.UserMode ? 1 : 0;
  Check(C.Report, u"sb.firmware_mode_at_start",
        !EFI_ERROR(S1) && !EFI_ERROR(S2) && SetupMode == WantSetupMode && SecureBoot == WantSecureBoot &&
            KeyPresent(PK) == C.UserMode,
        u"SetupMode %r %d, SecureBoot %r %d, PK present %d", S1, SetupMode, S2, SecureBoot, KeyPresent(PK));
}

// The firmware's image verification: only user mode refuses an unsigned image.
void CheckImageVerification(SB_CHECK& C) {
  EFI_HANDLE Image = nullptr;
  const EFI_STATUS Status = LoadBootVolumeImage(C.ImageHandle, u"\\EFI\\BOOT\\UNSIGNED.EFI", &Image);
  Note(u"LoadImage of an unsigned driver: %r", Status);
  if (Image != nullptr) gBS()->UnloadImage(Image);
  // OVMF refuses before it makes a handle (EFI_ACCESS_DENIED); a firmware that
  // loads and refuses to start says EFI_SECURITY_VIOLATION.
  if (C.UserMode)
    Check(C.Report, u"sb.unsigned_image_refused", Status == EFI_ACCESS_DENIED || Status == EFI_SECURITY_VIOLATION,
          u"LoadImage %r", Status);
  else
    Check(C.Report, u"sb.unsigned_image_loads_in_setup_mode", Status == EFI_SUCCESS, u"LoadImage %r", Status);
}

bool FindSecureBootPage(SB_CHECK& C) {
  auto* Control = LocateProtocol<FORMUTIL_CONTROL_PROTOCOL>();
  C.Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  C.Forms = LocateProtocol<FORM_UTILITY_PROTOCOL>();
  FORMUTIL_LOAD_RECORD Record = {};
  if (Control != nullptr) Control->GetLoadRecord(&Record);
  // A store that already saw setupinfo waits for the trigger.
  if (Control != nullptr && Record.LoadCalls == 0) {
    Control->InstallSetupLoadTrigger();
    Control->GetLoadRecord(&Record);
  }
  for (UINTN i = 0; Record.Table != nullptr && i < Record.EntryCount; ++i)
    if (Record.Table[i].Class == SECURE_BOOT_CLASS) {
      C.Page = Record.Table[i].HiiHandle;
      C.Access = Record.Table[i].ConfigAccess;
    }
  return Check(C.Report, u"sb.page_published",
               C.Strings != nullptr && C.Forms != nullptr && C.Page != nullptr && C.Access != nullptr,
               u"HII strings %d, form utility %d, class 0x40 handle %d access %d", C.Strings != nullptr,
               C.Forms != nullptr, C.Page != nullptr, C.Access != nullptr);
}

// The boot volume's line in the page's volume list: its device-path text.
bool FindVolumeText(SB_CHECK& C) {
  EFI_HANDLE Device = BootVolumeHandle(C.ImageHandle);
  auto* Path = Device != nullptr ? HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Device) : nullptr;
  CHAR8* Text = nullptr;
  if (Path == nullptr || EFI_ERROR(DescribeDevicePath(Path, &Text)) || Text == nullptr) {
    FreeBootPool(Text);
    return Check(C.Report, u"sb.boot_volume", false, u"no device path text for the boot volume");
  }
  UINTN n = 0;
  for (; n + 1 < PAGE_TEXT_CAPACITY && Text[n] != 0; ++n) C.Volume[n] = (UINT8)Text[n];
  C.Volume[n] = 0;
  FreeBootPool(Text);
  Note(u"boot volume: %s", C.Volume);
  return true;
}

// ---- Page actions -------------------------------------------------------

const SHOWN_BOX* LastShown() { return ShownCount() > 0 ? ShownBox(ShownCount() - 1) : nullptr; }

// What the page showed, for the log of a failed check.
void NoteShownBoxes() {
  for (UINTN b = 0; b < ShownCount(); ++b) {
    const SHOWN_BOX* Box = ShownBox(b);
    if (Box == nullptr) break;
    Note(u"  box %ld: list %d kind %d scripted %d \"%s\" / \"%s\", %ld items", b, Box->IsList, Box->Kind, Box->Scripted,
         Box->Title, Box->Text, Box->ItemCount);
    for (UINTN i = 0; i < Box->ItemCount && i < SHOWN_ITEM_LIMIT; ++i) Note(u"    item %ld \"%s\"", i, Box->Items[i]);
  }
}

// Runs one file action and checks the dialogue the page held on the way.
ACTION_RESULT RunFileAction(SB_CHECK& C, const FILE_ACTION& A) {
  ResetScriptedMessageBox();
  QueueAnswer(SCRIPTED_ANSWER::No);
  QueueChoice(C.Volume);
  UINTN Steps = 0;
  for (; Steps < ArrayCount(A.Steps) && A.Steps[Steps] != nullptr; ++Steps) QueueChoice(A.Steps[Steps]);
  QueueAnswer(SCRIPTED_ANSWER::Index, A.Format);
  QueueAnswer(A.Confirm ? SCRIPTED_ANSWER::Yes : SCRIPTED_ANSWER::No);

  ACTION_RESULT R = {};
  R.Status = Ask(C, A.Row);

  const UINT16 TitleId = A.Append ? STR_APPEND_TITLE : STR_SET_TITLE;
  CHAR16 Title[PAGE_TEXT_CAPACITY], Question[TEXT_CAPACITY], Final[TEXT_CAPACITY];
  PageText(C, TitleId, Title);
  PageFormat(C, Question, STR_SOURCE_QUESTION, Keys[A.Key].Name);
  PageFormat(C, Final, STR_FINAL_QUESTION, Keys[A.Key].Name, A.Path);

  // Question, volume list, the directory lists, format list, final question, result.
  const UINTN Expected = 2 + Steps + 2 + (A.Confirm ? 1 : 0);
  const SHOWN_BOX* First = ShownBox(0);
  const SHOWN_BOX* Volumes = ShownBox(1);
  const SHOWN_BOX* Formats = ShownBox(2 + Steps);
  const SHOWN_BOX* Last = ShownBox(3 + Steps);
  // An empty expectation would match an empty box: the package must have the texts.
  bool Dialogue = Title[0] != 0 && Question[0] != 0 && Final[0] != 0 && ShownCount() == Expected &&
                  UnscriptedCount() == 0 && AnswersLeft() == 0 && First != nullptr && !First->IsList &&
                  First->Kind == MESSAGE_BOX_YES_NO && SameText(First->Title, Title) &&
                  SameText(First->Text, Question) && Volumes != nullptr && Volumes->IsList &&
                  PageTextIs(C, Volumes->Title, STR_VOLUME_LIST);
  for (UINTN s = 0; Dialogue && s < Steps; ++s) {
    const SHOWN_BOX* List = ShownBox(2 + s);
    Dialogue = List != nullptr && List->IsList && PageTextIs(C, List->Title, STR_DIRECTORY_LIST);
  }
  Dialogue = Dialogue && Formats != nullptr && Formats->IsList && Formats->ItemCount == 2 &&
             PageTextIs(C, Formats->Title, STR_FORMAT_LIST) &&
             PageTextIs(C, Formats->Items[0], STR_FORMAT_CERTIFICATE) &&
             PageTextIs(C, Formats->Items[1], STR_FORMAT_UNCHANGED) && Last != nullptr && !Last->IsList &&
             Last->Kind == MESSAGE_BOX_YES_NO && SameText(Last->Text, Final) && SameText(Last->Title, Title);
  const SHOWN_BOX* Result = A.Confirm ? LastShown() : nullptr;
  if (Result != nullptr && !Result->IsList && Result->Kind == MESSAGE_BOX_NOTICE && SameText(Result->Title, Title)) {
    R.Done = PageTextIs(C, Result->Text, STR_DONE);
    R.Failed = PageTextIs(C, Result->Text, STR_FAILED);
  }
  if (A.Confirm) Dialogue = Dialogue && (R.Done || R.Failed);
  CHAR16 Name[64];
  FormatWide(Name, ArrayCount(Name), u"%s.dialogue", A.Check);
  if (!Dialogue) NoteShownBoxes();
  Check(C.Report, Name, R.Status == EFI_SUCCESS && Dialogue,
        u"callback %r; %ld boxes (expected %ld), %ld unscripted, %ld answers left; first \"%s\"; final \"%s\" "
        u"(expected \"%s\"); last \"%s\"",
        R.Status, ShownCount(), Expected, UnscriptedCount(), AnswersLeft(), First != nullptr ? First->Text : u"",
        Last != nullptr ? Last->Text : u"", Final, LastShown() != nullptr ? LastShown()->Text : u"");
  return R;
}

// A key as OVMF keeps it after a write of a file wrapped by the page: one
// signature list of the type for the file's size, owned by the firmware,
// holding the file.
bool HoldsWrappedFile(UINTN Key, const EFI_GUID& Type, const UINT8* File, UINTN FileSize, UINTN* Size) {
  PoolBuffer<UINT8> Bytes;
  UINT32 Attributes = 0;
  *Size = 0;
  if (EFI_ERROR(ReadKey(Key, Bytes, Size, &Attributes))) return false;
  const UINTN Header = sizeof(EFI_SIGNATURE_LIST) + sizeof(EFI_SIGNATURE_DATA);
  if (*Size != Header + FileSize || Attributes != 0x27) return false;
  const auto* List = (const EFI_SIGNATURE_LIST*)Bytes.Get();
  const auto* Owner = (const EFI_GUID*)(Bytes.Get() + sizeof(EFI_SIGNATURE_LIST));
  return List->SignatureType == Type && List->SignatureListSize == *Size && List->SignatureHeaderSize == 0 &&
         List->SignatureSize == FileSize + sizeof(EFI_SIGNATURE_DATA) && *Owner == FIRMWARE_SIGNATURE_OWNER &&
         MemCompare(Bytes.Get() + Header, File, FileSize) == 0;
}

bool ReadVolumeFile(SB_CHECK& C, const CHAR16* Path, PoolBuffer<UINT8>& Data, UINTN* Size) {
  const EFI_STATUS Status = ReadBootVolumeFile(C.ImageHandle, Path, Data, Size);
  CHAR16 Name[64];
  FormatWide(Name, ArrayCount(Name), u"sb.volume_file %s", Path);
  return Check(C.Report, Name, !EFI_ERROR(Status) && *Size > 0, u"%r, %ld bytes", Status, *Size);
}

// The three state variables as the page hands them to the browser and the
// store, against OVMF's own.
void CheckPageState(SB_CHECK& C, const CHAR16* Name, const UINT8 (&Present)[5]) {
  UINT8 Stored[5] = {}, Browser[5] = {};
  UINTN StoredSize = sizeof(Stored), BrowserSize = sizeof(Browser);
  const EFI_STATUS S1 = gRT()->GetVariable(u"SecureVarPresent", &SECURE_BOOT_FORM_SET, nullptr, &StoredSize, Stored);
  const EFI_STATUS S2 = C.Forms->GetBrowserData(&BrowserSize, Browser, &SECURE_BOOT_FORM_SET, u"SecureVarPresent");
  bool Same = !EFI_ERROR(S1) && !EFI_ERROR(S2) && StoredSize == 5 && BrowserSize == 5;
  for (UINTN i = 0; i < 5; ++i) Same = Same && Stored[i] == Present[i] && Browser[i] == Present[i];
  CHAR16 Check_[64];
  FormatWide(Check_, ArrayCount(Check_), u"%s.secure_var_present", Name);
  Check(C.Report, Check_, Same, u"variable %r %ld: %d%d%d%d%d, browser %r %ld: %d%d%d%d%d, expected %d%d%d%d%d", S1,
        StoredSize, Stored[0], Stored[1], Stored[2], Stored[3], Stored[4], S2, BrowserSize, Browser[0], Browser[1],
        Browser[2], Browser[3], Browser[4], Present[0], Present[1], Present[2], Present[3], Present[4]);

  const CHAR16* StateNames[2] = {u"SetupMode", u"SecureBoot"};
  for (const CHAR16* State : StateNames) {
    EFI_STATUS S = EFI_SUCCESS;
    const UINT8 Firmware = ReadByteVariable(State, &S);
    UINT8 Shown = 0xEE;
    UINTN Size = sizeof(Shown);
    const EFI_STATUS SB = C.Forms->GetBrowserData(&Size, &Shown, &EFI_GLOBAL_VARIABLE_GUID, State);
    FormatWide(Check_, ArrayCount(Check_), u"%s.browser_%s", Name, State);
    Check(C.Report, Check_, !EFI_ERROR(S) && !EFI_ERROR(SB) && Size == 1 && Shown == Firmware,
          u"OVMF %r %d, browser %r %ld bytes %d", S, Firmware, SB, Size, Shown);
  }
}

// The browser's copies start out wrong, so that only the page's refresh
// can make them agree with the firmware.
void PrimeBrowserState(SB_CHECK& C) {
  UINT8 Wrong[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  C.Forms->SetBrowserData(sizeof(Wrong), Wrong, &SECURE_BOOT_FORM_SET, u"SecureVarPresent");
  C.Forms->SetBrowserData(1, Wrong, &EFI_GLOBAL_VARIABLE_GUID, u"SetupMode");
  C.Forms->SetBrowserData(1, Wrong, &EFI_GLOBAL_VARIABLE_GUID, u"SecureBoot");
}

// ---- Setup mode: enroll db, KEK and PK from certificate files -----------

void EnrollFromCertificates(SB_CHECK& C) {
  struct ENROLL {
    const CHAR16* Check;
    UINT16 Row;
    UINTN Key;
    const CHAR16* File;
    const CHAR16* Path;
  };
  const ENROLL Enrolls[2] = {{u"sb.enroll_db", ROW_SET_DB, DB, u"DB.CER", u"\\DB.CER"},
                             {u"sb.enroll_kek", ROW_SET_KEK, KEK, u"KEK.CER", u"\\KEK.CER"}};
  PrimeBrowserState(C);
  for (const ENROLL& E : Enrolls) {
    PoolBuffer<UINT8> File;
    UINTN FileSize = 0;
    if (!ReadVolumeFile(C, E.Path, File, &FileSize)) continue;
    const FILE_ACTION A = {E.Check, E.Row, E.Key, false, {E.File}, E.File, FORMAT_CERTIFICATE, true};
    const ACTION_RESULT R = RunFileAction(C, A);
    UINTN Size = 0;
    const bool Held = HoldsWrappedFile(E.Key, EFI_CERT_X509_GUID, File.Get(), FileSize, &Size);
    CHAR16 Name[64];
    FormatWide(Name, ArrayCount(Name), u"%s.accepted", E.Check);
    Check(C.Report, Name, R.Done && !R.Failed && Held,
          u"done text %d, failure text %d; %s holds %ld bytes, a wrapped %ld-byte certificate expected", R.Done,
          R.Failed, Keys[E.Key].Name, Size, FileSize);
  }

  // A bare SHA-256 hash from the browsed directory, appended to dbx.
  PoolBuffer<UINT8> Hash;
  UINTN HashSize = 0;
  if (ReadVolumeFile(C, u"\\KEYS\\Y.BIN", Hash, &HashSize)) {
    const FILE_ACTION A = {u"sb.append_dbx_hash", ROW_APPEND_DBX,     DBX, true, {u"<KEYS>", u"Y.BIN"},
                           u"KEYS\\Y.BIN",        FORMAT_CERTIFICATE, true};
    const ACTION_RESULT R = RunFileAction(C, A);
    UINTN Size = 0;
    const bool Held = HoldsWrappedFile(DBX, EFI_CERT_SHA256_GUID, Hash.Get(), HashSize, &Size);
    Check(C.Report, u"sb.append_dbx_hash.accepted", R.Done && !R.Failed && Held,
          u"done text %d, failure text %d; dbx holds %ld bytes, a %ld-byte hash in a SHA-256 list expected", R.Done,
          R.Failed, Size, HashSize);
  }

  // OVMF takes PK even in setup mode only when it is signed by its own key:
  // the wrapped certificate, with its header-only signature, is refused, and
  // the page must say so and leave the platform in setup mode.
  const FILE_ACTION Wrapped = {u"sb.enroll_pk_wrapped", ROW_SET_PK, PK, false, {u"PK.CER"}, u"PK.CER",
                               FORMAT_CERTIFICATE,      true};
  ACTION_RESULT R = RunFileAction(C, Wrapped);
  EFI_STATUS S1;
  UINT8 SetupMode = ReadByteVariable(u"SetupMode", &S1);
  Check(C.Report, u"sb.enroll_pk_wrapped.refused", R.Failed && !R.Done && !KeyPresent(PK) && SetupMode == 1,
        u"failure text %d, done text %d, PK present %d, SetupMode %r %d", R.Failed, R.Done, KeyPresent(PK), S1,
        SetupMode);

  // The same certificate as a self-signed list, used unchanged.
  PoolBuffer<UINT8> List;
  UINTN ListSize = 0;
  if (ReadVolumeFile(C, u"\\PK.ESL", List, &ListSize)) {
    const FILE_ACTION Signed = {u"sb.enroll_pk_signed", ROW_SET_PK, PK, false, {u"PK.AUT"}, u"PK.AUT",
                                FORMAT_UNCHANGED,       true};
    R = RunFileAction(C, Signed);
    PoolBuffer<UINT8> Pk;
    UINTN PkSize = 0;
    const EFI_STATUS Read = ReadKey(PK, Pk, &PkSize);
    Check(C.Report, u"sb.enroll_pk_signed.accepted",
          R.Done && !R.Failed && !EFI_ERROR(Read) && SameBytes(Pk.Get(), PkSize, List.Get(), ListSize),
          u"done text %d, failure text %d; PK %r: %ld bytes, the %ld-byte list expected", R.Done, R.Failed, Read,
          PkSize, ListSize);
  }
  EFI_STATUS S2;
  SetupMode = ReadByteVariable(u"SetupMode", &S1);
  const UINT8 SecureBoot = ReadByteVariable(u"SecureBoot", &S2);
  Note(u"OVMF after the enrolment: SetupMode %r %d, SecureBoot %r %d", S1, SetupMode, S2, SecureBoot);
  // The platform leaves setup mode as soon as PK is in.
  Check(C.Report, u"sb.setup_mode_left", !EFI_ERROR(S1) && SetupMode == 0, u"SetupMode %r %d", S1, SetupMode);
  const UINT8 Present[5] = {1, 0, 1, 1, 1};
  CheckPageState(C, u"sb.after_enrolment", Present);
}

// ---- Browsing a real FAT directory ----------------------------------------

// KEYS holds, in the order they were written: directory A, files X.BIN and
// Y.BIN, directory B. The page lists directories first in reading order
// and the files after them in reverse.
void CheckBrowsing(SB_CHECK& C) {
  PoolBuffer<UINT8> Before;
  UINTN BeforeSize = 0;
  const bool HadDb = !EFI_ERROR(ReadKey(DB, Before, &BeforeSize));

  // Into KEYS, out again with "..", into KEYS, then escape.
  ResetScriptedMessageBox();
  QueueAnswer(SCRIPTED_ANSWER::No);
  QueueChoice(C.Volume);
  QueueChoice(u"<KEYS>");
  QueueChoice(u"<..>");
  QueueChoice(u"<KEYS>");
  QueueAnswer(SCRIPTED_ANSWER::Escape);
  const EFI_STATUS Status = Ask(C, ROW_APPEND_DB);

  const SHOWN_BOX* Root = ShownBox(2);
  const SHOWN_BOX* Keys1 = ShownBox(3);
  const SHOWN_BOX* Root2 = ShownBox(4);
  const SHOWN_BOX* Keys2 = ShownBox(5);
  const CHAR16* Order[6] = {u"<.>", u"<..>", u"<A>", u"<B>", u"Y.BIN", u"X.BIN"};
  bool Ordered = Keys1 != nullptr && Keys1->IsList && Keys1->ItemCount == 6;
  for (UINTN i = 0; Ordered && i < 6; ++i) Ordered = SameText(Keys1->Items[i], Order[i]);
  Check(C.Report, u"sb.browse.order", Ordered, u"KEYS listed as %ld items: %s %s %s %s %s %s",
        Keys1 != nullptr ? Keys1->ItemCount : 0, Keys1 != nullptr ? Keys1->Items[0] : u"",
        Keys1 != nullptr ? Keys1->Items[1] : u"", Keys1 != nullptr ? Keys1->Items[2] : u"",
        Keys1 != nullptr ? Keys1->Items[3] : u"", Keys1 != nullptr ? Keys1->Items[4] : u"",
        Keys1 != nullptr ? Keys1->Items[5] : u"");
  // ".." leads back to the very listing of the root.
  bool Back = Root != nullptr && Root2 != nullptr && Root2->IsList && Root2->ItemCount == Root->ItemCount;
  for (UINTN i = 0; Back && i < Root->ItemCount && i < SHOWN_ITEM_LIMIT; ++i)
    Back = SameText(Root->Items[i], Root2->Items[i]);
  Check(C.Report, u"sb.browse.dot_dot_to_root", Back && Keys2 != nullptr && Keys2->IsList,
        u"root listed with %ld items, after \"..\" %ld", Root != nullptr ? Root->ItemCount : 0,
        Root2 != nullptr ? Root2->ItemCount : 0);
  // Escape ends the action: no format list, no question, nothing written.
  PoolBuffer<UINT8> After;
  UINTN AfterSize = 0;
  const bool HasDb = !EFI_ERROR(ReadKey(DB, After, &AfterSize));
  Check(C.Report, u"sb.browse.escape_writes_nothing",
        Status == EFI_SUCCESS && ShownCount() == 6 && UnscriptedCount() == 0 && AnswersLeft() == 0 && HadDb == HasDb &&
            SameBytes(Before.Get(), BeforeSize, After.Get(), AfterSize),
        u"callback %r, %ld boxes (6 expected), %ld unscripted, db %ld bytes before, %ld after", Status, ShownCount(),
        UnscriptedCount(), BeforeSize, AfterSize);

  // ".." in a subdirectory stands second, after "."; it still removes the
  // last component, so the path names only the file's real place.
  const FILE_ACTION A = {u"sb.browse.path_after_dot_dot",
                         ROW_APPEND_DB,
                         DB,
                         true,
                         {u"<KEYS>", u"<..>", u"<KEYS>", u"X.BIN"},
                         u"KEYS\\X.BIN",
                         FORMAT_CERTIFICATE,
                         false};
  RunFileAction(C, A);
}

// ---- User mode: appends against the test key ----------------------------

// A set deletes first; OVMF refuses a plain delete of a key, and the signed
// replace that follows is what changes db.
void CheckUserModeSignedSet(SB_CHECK& C) {
  PoolBuffer<UINT8> List;
  UINTN ListSize = 0;
  if (!ReadVolumeFile(C, u"\\DBSET.ESL", List, &ListSize)) return;
  const FILE_ACTION A = {u"sb.user.signed_db_set", ROW_SET_DB, DB, false, {u"DBSET.AUT"}, u"DBSET.AUT",
                         FORMAT_UNCHANGED,         true};
  const ACTION_RESULT R = RunFileAction(C, A);
  PoolBuffer<UINT8> After;
  UINTN AfterSize = 0;
  const EFI_STATUS Read = ReadKey(DB, After, &AfterSize);
  Check(C.Report, u"sb.user.signed_db_set.replaced",
        R.Done && !R.Failed && !EFI_ERROR(Read) && SameBytes(After.Get(), AfterSize, List.Get(), ListSize),
        u"done text %d, failure text %d; db %r: %ld bytes, the signed %ld-byte list expected", R.Done, R.Failed, Read,
        AfterSize, ListSize);
}

void CheckUserModeAppends(SB_CHECK& C) {
  PrimeBrowserState(C);
  PoolBuffer<UINT8> DbBefore;
  UINTN DbBeforeSize = 0;
  ReadKey(DB, DbBefore, &DbBeforeSize);

  // A bare certificate, wrapped with the header-only certificate: OVMF wants a signature.
  const FILE_ACTION Unsigned = {
      u"sb.user.unsigned_db_append", ROW_APPEND_DB, DB, true, {u"DB2.CER"}, u"DB2.CER", FORMAT_CERTIFICATE, true};
  ACTION_RESULT R = RunFileAction(C, Unsigned);
  PoolBuffer<UINT8> DbAfter;
  UINTN DbAfterSize = 0;
  ReadKey(DB, DbAfter, &DbAfterSize);
  Check(C.Report, u"sb.user.unsigned_db_append.refused",
        R.Failed && !R.Done && SameBytes(DbBefore.Get(), DbBeforeSize, DbAfter.Get(), DbAfterSize),
        u"failure text %d, done text %d, db %ld bytes before, %ld after", R.Failed, R.Done, DbBeforeSize, DbAfterSize);

  struct SIGNED_APPEND {
    const CHAR16* Check;
    UINT16 Row;
    UINTN Key;
    const CHAR16* Auth;
    const CHAR16* List;  // the signature list inside the .auth file
  };
  const SIGNED_APPEND Appends[2] = {{u"sb.user.signed_db_append", ROW_APPEND_DB, DB, u"DB.AUT", u"\\DB.ESL"},
                                    {u"sb.user.signed_dbx_append", ROW_APPEND_DBX, DBX, u"DBX.AUT", u"\\DBX.ESL"}};
  for (const SIGNED_APPEND& S : Appends) {
    PoolBuffer<UINT8> Before, List;
    UINTN BeforeSize = 0, ListSize = 0;
    ReadKey(S.Key, Before, &BeforeSize);
    if (!ReadVolumeFile(C, S.List, List, &ListSize)) continue;
    const FILE_ACTION A = {S.Check, S.Row, S.Key, true, {S.Auth}, S.Auth, FORMAT_UNCHANGED, true};
    R = RunFileAction(C, A);
    PoolBuffer<UINT8> After;
    UINTN AfterSize = 0;
    UINT32 Attributes = 0;
    const EFI_STATUS Read = ReadKey(S.Key, After, &AfterSize, &Attributes);
    // Appended: what was there stays at the head, the signed list follows.
    const bool Appended = !EFI_ERROR(Read) && AfterSize == BeforeSize + ListSize &&
                          SameBytes(After.Get(), BeforeSize, Before.Get(), BeforeSize) &&
                          MemCompare(After.Get() + BeforeSize, List.Get(), ListSize) == 0;
    CHAR16 Name[64];
    FormatWide(Name, ArrayCount(Name), u"%s.accepted", S.Check);
    Check(C.Report, Name, R.Done && !R.Failed && Appended,
          u"done text %d, failure text %d; %s %r: %ld bytes, %ld before plus a %ld-byte list expected", R.Done,
          R.Failed, Keys[S.Key].Name, Read, AfterSize, BeforeSize, ListSize);
  }
  const UINT8 Present[5] = {1, 0, 1, 1, 1};
  CheckPageState(C, u"sb.user.after_appends", Present);
}

// ---- Delete all and restore defaults, refused --------------------------

struct KEY_SNAPSHOT {
  PoolBuffer<UINT8> Bytes[5];
  UINTN Sizes[5];
  bool Present[5];
};

void TakeSnapshot(KEY_SNAPSHOT* S) {
  for (UINTN i = 0; i < 5; ++i) {
    S->Present[i] = !EFI_ERROR(ReadKey(i, S->Bytes[i], &S->Sizes[i]));
    if (!S->Present[i]) S->Sizes[i] = 0;
  }
}

bool SameKeys(const KEY_SNAPSHOT& A, const KEY_SNAPSHOT& B) {
  for (UINTN i = 0; i < 5; ++i)
    if (A.Present[i] != B.Present[i] || !SameBytes(A.Bytes[i].Get(), A.Sizes[i], B.Bytes[i].Get(), B.Sizes[i]))
      return false;
  return true;
}

// OVMF keeps its keys against a plain delete, and its firmware volumes hold
// no default key files: both actions must end in the failure box with every
// key as it was.
void CheckRestoreRefusals(SB_CHECK& C) {
  struct RESTORE {
    const CHAR16* Check;
    UINT16 Row;
    UINT16 Title;
    UINT16 Text;
  };
  const RESTORE Restores[2] = {
      {u"sb.user.delete_all_refused", ROW_DELETE_ALL, STR_DELETE_ALL_TITLE, STR_DELETE_ALL_TEXT},
      {u"sb.user.restore_defaults_without_files", ROW_RESTORE_DEFAULTS, STR_DEFAULTS_TITLE, STR_DEFAULTS_TEXT}};
  for (const RESTORE& R : Restores) {
    KEY_SNAPSHOT Before{}, After{};
    TakeSnapshot(&Before);
    ResetScriptedMessageBox();
    QueueAnswer(SCRIPTED_ANSWER::Yes);
    const EFI_STATUS Status = Ask(C, R.Row);
    TakeSnapshot(&After);
    const SHOWN_BOX* Question = ShownBox(0);
    const SHOWN_BOX* Result = ShownBox(1);
    const bool Dialogue =
        ShownCount() == 2 && UnscriptedCount() == 0 && Question != nullptr && Question->Kind == MESSAGE_BOX_YES_NO &&
        PageTextIs(C, Question->Title, R.Title) && PageTextIs(C, Question->Text, R.Text) && Result != nullptr &&
        Result->Kind == MESSAGE_BOX_NOTICE && PageTextIs(C, Result->Title, STR_RESTORE_FAILED_TITLE) &&
        PageTextIs(C, Result->Text, STR_RESTORE_FAILED_TEXT);
    Check(C.Report, R.Check, Status == EFI_SUCCESS && Dialogue && SameKeys(Before, After),
          u"callback %r, %ld boxes, %ld unscripted, last \"%s\"; keys unchanged %d", Status, ShownCount(),
          UnscriptedCount(), Result != nullptr ? Result->Text : u"", SameKeys(Before, After));
  }
}

// ---- Save all keys ----------------------------------------------------------

// Every key's bytes on the console for the runner, which compares them with
// the files the page saved: "KEYHEX name offset hex" lines, then "KEYEND name size".
void DumpKeys() {
  for (const KEY& K : Keys) {
    PoolBuffer<UINT8> Bytes;
    UINTN Size = 0;
    if (EFI_ERROR(ReadWholeVariable(K.Name, K.Guid, Bytes, &Size))) {
      PrintFormatted(u"KEYNONE %s", K.Name);
      continue;
    }
    constexpr UINTN PER_LINE = 64;
    for (UINTN Offset = 0; Offset < Size; Offset += PER_LINE) {
      CHAR16 Hex[2 * PER_LINE + 1];
      const UINTN Count = Min<UINTN>(PER_LINE, Size - Offset);
      for (UINTN i = 0; i < Count; ++i) {
        const CHAR16 Digits[] = u"0123456789abcdef";
        Hex[2 * i] = Digits[Bytes[Offset + i] >> 4];
        Hex[2 * i + 1] = Digits[Bytes[Offset + i] & 0xF];
      }
      Hex[2 * Count] = 0;
      PrintFormatted(u"KEYHEX %s %ld %s", K.Name, Offset, Hex);
    }
    PrintFormatted(u"KEYEND %s %ld", K.Name, Size);
  }
}

void CheckSaveAll(SB_CHECK& C) {
  UINTN Present = 0;
  for (UINTN i = 0; i < 5; ++i) Present += KeyPresent(i) ? 1 : 0;
  ResetScriptedMessageBox();
  QueueChoice(C.Volume);
  const EFI_STATUS Status = Ask(C, ROW_SAVE_ALL);
  CHAR16 Text[TEXT_CAPACITY];
  PageFormat(C, Text, STR_SAVE_DONE_TEXT, Present);
  const SHOWN_BOX* Result = LastShown();
  Check(C.Report, u"sb.save_all.done",
        Text[0] != 0 && Status == EFI_SUCCESS && ShownCount() == 2 && UnscriptedCount() == 0 && Result != nullptr &&
            !Result->IsList && Result->Kind == MESSAGE_BOX_NOTICE &&
            PageTextIs(C, Result->Title, STR_SAVE_DONE_TITLE) && SameText(Result->Text, Text),
        u"callback %r, %ld boxes, %ld unscripted; last \"%s\" / \"%s\", expected \"%s\"", Status, ShownCount(),
        UnscriptedCount(), Result != nullptr ? Result->Title : u"", Result != nullptr ? Result->Text : u"", Text);
  DumpKeys();
}

// OVMF's own answers to the writes the page makes, for the log: a plain
// delete of each key and a header-only append. Run last, after the saved
// files were dumped, since OVMF could take one.
void NoteFirmwareAnswers() {
  for (UINTN i = 0; i < 5; ++i)
    Note(u"OVMF: delete of %s (attributes 0, no data): %r", Keys[i].Name,
         gRT()->SetVariable(Keys[i].Name, Keys[i].Guid, 0, 0, nullptr));
  UINT8 HeaderOnly[40] = {};
  const EFI_TIME Stamp = {2016, 6, 13, 22, 51, 43, 0, 0, 0, 0, 0};
  MemMove(HeaderOnly, &Stamp, sizeof(Stamp));
  WriteLe32(HeaderOnly + 16, 24);
  WriteLe16(HeaderOnly + 20, 0x0200);
  WriteLe16(HeaderOnly + 22, 0x0EF1);
  MemMove(HeaderOnly + 24, &EFI_CERT_TYPE_PKCS7_GUID, sizeof(EFI_GUID));
  Note(u"OVMF: append to db of a header-only certificate and no list: %r",
       gRT()->SetVariable(u"db", &EFI_IMAGE_SECURITY_DATABASE_GUID, 0x67, sizeof(HeaderOnly), HeaderOnly));
}

}  // namespace

void RunSecureBootChecks(CHECK_REPORT* Report, EFI_HANDLE ImageHandle, bool UserMode) {
  SB_CHECK C = {};
  C.Report = Report;
  C.ImageHandle = ImageHandle;
  C.UserMode = UserMode;
  CheckFirmwareStateAtStart(C);
  CheckImageVerification(C);
  if (!Check(Report, u"sb.message_box_installed", !EFI_ERROR(InstallScriptedMessageBox()), u"install failed")) return;
  const bool Loaded = StartDriver(C, u"\\EFI\\BOOT\\FORMUTIL.EFI", u"sb.load_form_utility") &&
                      StartDriver(C, u"\\EFI\\BOOT\\SETUPINFO.EFI", u"sb.load_setupinfo");
  if (Loaded && FindSecureBootPage(C) && FindVolumeText(C)) {
    if (UserMode) {
      CheckUserModeSignedSet(C);
      CheckUserModeAppends(C);
      CheckRestoreRefusals(C);
      CheckSaveAll(C);
      NoteFirmwareAnswers();
    } else {
      EnrollFromCertificates(C);
      CheckBrowsing(C);
    }
  }
  UninstallScriptedMessageBox();
}
