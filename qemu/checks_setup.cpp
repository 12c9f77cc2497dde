// setupinfo inside OVMF: form sets in the firmware's HII database, the
// strings that loading fills in, the language variables, the callback
// registry and a question dispatched through a Config Access instance.
#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "platform/callback_registry.h"
#include "platform/super_io_device.h"
#include "platform/memory_info.h"
#include "platform/page_actions.h"
#include "uefi/graphics.h"
#include "qemu/checks.h"
#include "qemu/current_language.h"
#include "qemu/formutil_control.h"

namespace {

struct EXPECTED_FORM_SET {
  UINT16 Class;
  EFI_GUID PackageList;
  bool Kept;  // still in the HII database once loading is over
};

constexpr EXPECTED_FORM_SET FormSets[] = {
    {0x1, {0x985EEE91, 0xBCAC, 0x4238, {0x87, 0x78, 0x57, 0xEF, 0xDC, 0x93, 0xF2, 0x4E}}, true},
    {0x2, {0xE6BCE822, 0xDCA5, 0x47E5, {0xBB, 0xBB, 0xE2, 0x9E, 0x8E, 0xF1, 0x11, 0x2B}}, true},
    {0x4, {0xE14F04FA, 0x8706, 0x4353, {0x92, 0xF2, 0x9C, 0x24, 0x24, 0x74, 0x6F, 0x9F}}, true},
    {0x8, {0x2C0C4EDF, 0x4A8F, 0x450E, {0xBE, 0x2D, 0xB6, 0x00, 0xCD, 0x86, 0x77, 0xBD}}, true},
    {0x10, {0xA34CBD5E, 0x9FC5, 0x423B, {0x8E, 0x2B, 0x70, 0x93, 0x58, 0x80, 0x00, 0xA0}}, true},
    {0x20, {0xADFE34C8, 0x9AE1, 0x4F8F, {0xBE, 0x13, 0xCF, 0x96, 0xA2, 0xCB, 0x2C, 0x5B}}, false},
    {0x30, {0x8B33FFE0, 0xD71C, 0x4F82, {0x9C, 0xEB, 0xC9, 0x70, 0x58, 0xC1, 0x3F, 0x8E}}, true},
    {0x40, {0x981CEAEE, 0x931C, 0x4A17, {0xB9, 0xC8, 0x66, 0xC7, 0xBC, 0xFD, 0x77, 0xE1}}, true},
    {0x100, {0xA43B03DC, 0xC18A, 0x41B1, {0x91, 0xC8, 0x3F, 0xF9, 0xAA, 0xA2, 0x57, 0x13}}, true},
};
constexpr UINTN FORM_SET_COUNT = ArrayCount(FormSets);
constexpr UINTN MAIN_ROW = 0;
constexpr UINTN MONITOR_ROW = 4;   // class 0x10
constexpr UINTN REMOVED_ROW = 5;   // class 0x20
constexpr UINTN SECURE_ROW = 7;    // class 0x40
constexpr UINTN TUNING_ROW = 1;    // class 0x2
constexpr UINTN ADVANCED_ROW = 2;  // class 0x4

struct SETUP_SERVICES {
  EFI_HII_DATABASE_PROTOCOL* Database;
  EFI_HII_STRING_PROTOCOL* Strings;
  FORMUTIL_CONTROL_PROTOCOL* Control;
  CALLBACK_REGISTRY_PROTOCOL* Registry;
};

bool FindServices(CHECK_REPORT* Report, SETUP_SERVICES* Services) {
  Services->Database = LocateProtocol<EFI_HII_DATABASE_PROTOCOL>();
  Services->Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  Services->Control = LocateProtocol<FORMUTIL_CONTROL_PROTOCOL>();
  Services->Registry = LocateProtocol<CALLBACK_REGISTRY_PROTOCOL>();
  return Check(Report, u"services.present",
               Services->Database && Services->Strings && Services->Control && Services->Registry,
               u"HII database %d, HII string %d, test form utility %d, callback registry %d",
               Services->Database != nullptr, Services->Strings != nullptr, Services->Control != nullptr,
               Services->Registry != nullptr);
}

// ---- The HII database as the firmware holds it ----------------------------

constexpr UINTN PACKAGE_LIST_LIMIT = 256;

struct HII_SNAPSHOT {
  UINTN Count;
  EFI_HII_HANDLE Handles[PACKAGE_LIST_LIMIT];
  EFI_GUID Guids[PACKAGE_LIST_LIMIT];
};

EFI_STATUS TakeSnapshot(EFI_HII_DATABASE_PROTOCOL* Db, HII_SNAPSHOT* Snapshot) {
  Snapshot->Count = 0;
  UINTN Bytes = 0;
  EFI_STATUS Status = Db->ListPackageLists(Db, EFI_HII_PACKAGE_TYPE_ALL, nullptr, &Bytes, nullptr);
  if (Status != EFI_BUFFER_TOO_SMALL) return Status;
  PoolBuffer<EFI_HII_HANDLE> Handles;
  if (!Handles.Allocate(Bytes / sizeof(EFI_HII_HANDLE) + 1)) return EFI_OUT_OF_RESOURCES;
  Status = Db->ListPackageLists(Db, EFI_HII_PACKAGE_TYPE_ALL, nullptr, &Bytes, Handles.Get());
  if (EFI_ERROR(Status)) return Status;
  UINTN Count = Min(Bytes / sizeof(EFI_HII_HANDLE), PACKAGE_LIST_LIMIT);
  for (UINTN i = 0; i < Count; ++i) {
    UINTN Size = 0;
    if (Db->ExportPackageLists(Db, Handles[i], &Size, nullptr) != EFI_BUFFER_TOO_SMALL) continue;
    PoolBuffer<UINT8> Exported;
    if (!Exported.Allocate(Size)) return EFI_OUT_OF_RESOURCES;
    if (EFI_ERROR(Db->ExportPackageLists(Db, Handles[i], &Size, (EFI_HII_PACKAGE_LIST_HEADER*)Exported.Get())))
      continue;
    Snapshot->Handles[Snapshot->Count] = Handles[i];
    MemMove(&Snapshot->Guids[Snapshot->Count], Exported.Get(), sizeof(EFI_GUID));
    Snapshot->Count++;
  }
  return EFI_SUCCESS;
}

UINTN CountGuid(const HII_SNAPSHOT* Snapshot, const EFI_GUID& Guid, EFI_HII_HANDLE* Found) {
  UINTN Matches = 0;
  for (UINTN i = 0; i < Snapshot->Count; ++i) {
    if (!(Snapshot->Guids[i] == Guid)) continue;
    Matches++;
    if (Found != nullptr) *Found = Snapshot->Handles[i];
  }
  return Matches;
}

// ---- What the test form utility saw ----------------------------------------

bool CheckFormSetTable(CHECK_REPORT* Report, const FORMUTIL_LOAD_RECORD& Record) {
  if (Record.EntryCount != FORM_SET_COUNT || Record.Table == nullptr)
    return Check(Report, u"formsets.table", false, u"LoadResources got %ld entries at %lx", Record.EntryCount,
                 (UINT64)(UINTN)Record.Table);
  for (UINTN i = 0; i < FORM_SET_COUNT; ++i) {
    const FORM_SET_INFO& Row = Record.Table[i];
    bool Good = Row.Class == FormSets[i].Class && Row.SubClass == 0 && Row.PackageListGuid != nullptr &&
                *Row.PackageListGuid == FormSets[i].PackageList && Row.ConfigAccess != nullptr &&
                Row.HiiHandle != nullptr;
    if (!Good) {
      constexpr EFI_GUID NoGuid = {};
      return Check(Report, u"formsets.table", false, u"row %ld: class %x subclass %x guid %g access %lx handle %lx", i,
                   Row.Class, Row.SubClass, Row.PackageListGuid != nullptr ? Row.PackageListGuid : &NoGuid,
                   (UINT64)(UINTN)Row.ConfigAccess, (UINT64)(UINTN)Row.HiiHandle);
    }
  }
  return Check(Report, u"formsets.table", true, u"");
}

bool CheckPublished(CHECK_REPORT* Report, const SETUP_SERVICES& Services, const FORMUTIL_LOAD_RECORD& Record) {
  Check(Report, u"formsets.published", Record.Published == FORM_SET_COUNT && Record.CallbacksMade == FORM_SET_COUNT &&
                                           Record.FirstFailure == EFI_SUCCESS,
        u"%ld published, %ld callbacks, first failure %r", Record.Published, Record.CallbacksMade,
        Record.FirstFailure);
  HII_SNAPSHOT* Snapshot = (HII_SNAPSHOT*)AllocateZeroedBootPool(sizeof(HII_SNAPSHOT));
  if (Snapshot == nullptr) return Check(Report, u"hii.package_lists", false, u"no memory");
  PoolBuffer<HII_SNAPSHOT> Owner(Snapshot);
  EFI_STATUS Status = TakeSnapshot(Services.Database, Snapshot);
  if (EFI_ERROR(Status)) return Check(Report, u"hii.package_lists", false, u"listing the database: %r", Status);
  for (UINTN i = 0; i < FORM_SET_COUNT; ++i) {
    EFI_HII_HANDLE Found = nullptr;
    UINTN Matches = CountGuid(Snapshot, FormSets[i].PackageList, &Found);
    UINTN Wanted = FormSets[i].Kept ? 1 : 0;
    if (Matches != Wanted)
      return Check(Report, u"hii.package_lists", false, u"class %x: %ld package lists in the database, expected %ld",
                   FormSets[i].Class, Matches, Wanted);
    if (Wanted == 1 && Record.Table != nullptr && Found != Record.Table[i].HiiHandle)
      return Check(Report, u"hii.package_lists", false, u"class %x: database handle %lx, table handle %lx",
                   FormSets[i].Class, (UINT64)(UINTN)Found, (UINT64)(UINTN)Record.Table[i].HiiHandle);
  }
  return Check(Report, u"hii.package_lists", true, u"");
}

// ---- Strings read back through the firmware's HII String protocol --------

constexpr UINTN STRING_CAPACITY = 256;

EFI_STATUS ReadString(const SETUP_SERVICES& Services, EFI_HII_HANDLE Handle, EFI_STRING_ID Id, CHAR16* Text) {
  CHAR8 Language[LANGUAGE_CODE_CAPACITY];
  CurrentHiiLanguage(Services.Strings, Handle, Language);
  UINTN Size = STRING_CAPACITY * sizeof(CHAR16);
  Text[0] = 0;
  return Services.Strings->GetString(Services.Strings, Language, Handle, Id, Text, &Size, nullptr);
}

bool CheckString(CHECK_REPORT* Report, const CHAR16* Name, const SETUP_SERVICES& Services, EFI_HII_HANDLE Handle,
                 EFI_STRING_ID Id, const CHAR16* Expected) {
  CHAR16 Text[STRING_CAPACITY];
  EFI_STATUS Status = ReadString(Services, Handle, Id, Text);
  return Check(Report, Name, !EFI_ERROR(Status) && SameText(Text, Expected), u"string %x: %r \"%s\", expected \"%s\"",
               Id, Status, Text, Expected);
}

void RevisionText(UINT32 Revision, CHAR16* Text, UINTN Capacity) {
  UINT32 Major = Revision >> 16, Minor = Revision & 0xFFFF;
  if (Minor % 10 != 0)
    FormatWide(Text, Capacity, u"%d.%d.%d", Major, Minor / 10, Minor % 10);
  else
    FormatWide(Text, Capacity, u"%d.%d", Major, Minor / 10);
}

void CheckIdentityStrings(CHECK_REPORT* Report, const SETUP_SERVICES& Services, EFI_HII_HANDLE Main) {
  EFI_SYSTEM_TABLE* St = gST();
  const CHAR16* Vendor = St->FirmwareVendor != nullptr ? St->FirmwareVendor : u"Orvanta";
  CheckString(Report, u"identity.vendor", Services, Main, 0x0D, Vendor);

  CHAR16 Expected[STRING_CAPACITY];
  UINT32 Low = St->FirmwareRevision & 0xFFFF;
  FormatWide(Expected, STRING_CAPACITY, u"%d.%d.%d.%d", St->FirmwareRevision >> 16, Low / 100, (Low % 100) / 10,
             Low % 10);
  CheckString(Report, u"identity.firmware_revision", Services, Main, 0x0F, Expected);
  CheckString(Report, u"identity.project", Services, Main, 0x13, u"Q7730 2.00 x64");
  CheckString(Report, u"identity.build_time", Services, Main, 0x15, u"06/13/2016 22:51:43");

  EFI_DXE_SERVICES* Dxe = nullptr;
  if (EFI_ERROR(GetDxeServicesTable(&Dxe))) {
    Check(Report, u"identity.uefi_pi", false, u"no DXE services table");
    return;
  }
  CHAR16 Uefi[16], Pi[16];
  RevisionText(St->Hdr.Revision, Uefi, ArrayCount(Uefi));
  RevisionText(Dxe->Hdr.Revision, Pi, ArrayCount(Pi));
  FormatWide(Expected, STRING_CAPACITY, u"UEFI %s; PI %s", Uefi, Pi);
  CheckString(Report, u"identity.uefi_pi", Services, Main, 0x11, Expected);
  CHAR16 Shown[STRING_CAPACITY];
  ReadString(Services, Main, 0x0D, Shown);
  Note(u"main page shows vendor \"%s\", firmware revision %x, %s", Shown, St->FirmwareRevision, Expected);
}

// ---- Super I/O lines ---------------------------------------------------------

constexpr EFI_STRING_ID SuperIoLineIds[] = {0x0888, 0x0897, 0x0898, 0x08A3, 0x08AF};

// OVMF has no driver of the Super I/O device protocol: the resource lines keep
// their package text there, while the fixed version line is always set.
void CheckSuperIoStrings(CHECK_REPORT* Report, const SETUP_SERVICES& Services, const FORMUTIL_LOAD_RECORD& Record) {
  CheckString(Report, u"strings.fixed_version", Services, Record.Table[ADVANCED_ROW].HiiHandle, 0x0AB0, u"V 2.05.02");
  UINTN Count = 0;
  EFI_HANDLE* Handles = nullptr;
  EFI_STATUS Status = gBS()->LocateHandleBuffer(ByProtocol, &SUPER_IO_DEVICE_PROTOCOL::Guid, nullptr, &Count, &Handles);
  if (!EFI_ERROR(Status)) FreeBootPool(Handles);
  Note(u"Super I/O device handles: %r, %ld", Status, EFI_ERROR(Status) ? 0 : Count);
  if (!EFI_ERROR(Status) && Count != 0) return;
  for (EFI_STRING_ID Id : SuperIoLineIds)
    CheckString(Report, u"strings.super_io_untouched", Services, Record.Table[MONITOR_ROW].HiiHandle, Id,
                u"Not present");
}

void CheckSecureBootCounts(CHECK_REPORT* Report, const SETUP_SERVICES& Services, EFI_HII_HANDLE Handle) {
  CheckString(Report, u"strings.class40_0x42", Services, Handle, 0x42, u"3");
  CheckString(Report, u"strings.class40_0x44", Services, Handle, 0x44, u"8");
}

// ---- Language variables -----------------------------------------------------

constexpr UINTN VARIABLE_CAPACITY = 256;

struct VARIABLE {
  EFI_STATUS Status;
  UINT32 Attributes;
  UINTN Size;
  UINT8 Data[VARIABLE_CAPACITY];
};

void ReadVariable(const CHAR16* Name, const EFI_GUID& Guid, VARIABLE* Out) {
  Out->Size = sizeof(Out->Data) - 1;
  Out->Attributes = 0;
  MemFill(Out->Data, sizeof(Out->Data), 0);
  Out->Status = gRT()->GetVariable(Name, &Guid, &Out->Attributes, &Out->Size, Out->Data);
  if (EFI_ERROR(Out->Status)) Out->Size = 0;
}

bool SameBytes(const VARIABLE& Var, const VOID* Data, UINTN Size) {
  return !EFI_ERROR(Var.Status) && Var.Size == Size && MemCompare(Var.Data, Data, Size) == 0;
}

struct LANGUAGE_PAIR {
  const CHAR8* Iso;
  const CHAR8* Rfc;
};
constexpr LANGUAGE_PAIR Languages[] = {
    {"eng", "en-US"}, {"zho", "zh-chs"}, {"chi", "zh-cht"}, {"spa", "es-ES"},
    {"ger", "de-DE"}, {"kor", "ko-KR"},  {"rus", "ru-RU"},  {"jpn", "ja-JP"},
};

const CHAR8* IsoOf(const CHAR8* Rfc, UINTN Length) {
  for (const LANGUAGE_PAIR& Pair : Languages)
    if (AsciiLength(Pair.Rfc) == Length && MemCompare(Pair.Rfc, Rfc, Length) == 0) return Pair.Iso;
  return nullptr;
}

const CHAR8* RfcOf(const UINT8* Iso, UINTN Size) {
  if (Size < 3) return nullptr;
  for (const LANGUAGE_PAIR& Pair : Languages)
    if (MemCompare(Pair.Iso, Iso, 3) == 0) return Pair.Rfc;
  return nullptr;
}

bool SameLanguage(const CHAR8* A, const CHAR8* B) { return AsciiEqualIgnoringCase(A, B); }

// Compares a variable with what setupinfo wrote to it. Where the firmware
// refuses writes (the probe rewrites the value it already holds), nothing of
// ours can be seen: that is noted, not counted as a check.
void CheckWrittenOrRefused(CHECK_REPORT* Report, const CHAR16* Check_, const CHAR16* Name, const EFI_GUID& Guid,
                           const VARIABLE& Var, const VOID* Expected, UINTN ExpectedSize) {
  if (SameBytes(Var, Expected, ExpectedSize)) {
    Check(Report, Check_, true, u"");
    return;
  }
  EFI_STATUS Probe = EFI_ERROR(Var.Status) ? Var.Status
                                           : gRT()->SetVariable(Name, &Guid, Var.Attributes, Var.Size, Var.Data);
  if (Probe == EFI_WRITE_PROTECTED) {
    Note(u"%s not checked: OVMF refuses writes to %s (%r); it holds %ld bytes \"%a\"", Check_, Name, Probe, Var.Size,
         (const CHAR8*)Var.Data);
    return;
  }
  Check(Report, Check_, false, u"%s: %r, %ld bytes \"%a\", expected %ld bytes \"%a\" (rewrite: %r)", Name, Var.Status,
        Var.Size, (const CHAR8*)Var.Data, ExpectedSize, (const CHAR8*)Expected, Probe);
}

// The language variables as they stood before setupinfo started; `qemucheck
// before` keeps them in a volatile variable of the checks' own.
struct LANGUAGE_SNAPSHOT {
  VARIABLE Platform;
  VARIABLE Iso;
  VARIABLE Last;
  VARIABLE LastCodes;
};

constexpr EFI_GUID CHECK_VENDOR = {0x3D0F6A52, 0x61C4, 0x4E0B, {0x8A, 0x7E, 0x25, 0x19, 0xC4, 0x0B, 0x6E, 0xD3}};
constexpr CHAR16 SnapshotName[] = u"QemuCheckLanguages";

bool LoadLanguageSnapshot(CHECK_REPORT* Report, LANGUAGE_SNAPSHOT* Snapshot) {
  UINTN Size = sizeof(*Snapshot);
  EFI_STATUS Status = gRT()->GetVariable(SnapshotName, &CHECK_VENDOR, nullptr, &Size, Snapshot);
  return Check(Report, u"lang.snapshot", Status == EFI_SUCCESS && Size == sizeof(*Snapshot),
               u"no record of the language variables before the drivers: %r, %ld bytes", Status, Size);
}

// What the reconciliation leaves, from the variables it started with.
struct EXPECTED_LANGUAGES {
  bool Determined;           // false where the outcome is the implementer's choice
  const CHAR8* PlatformLast;  // PlatformLastLang; null: not written
  UINTN PlatformLastSize;
  const CHAR8* Written;  // the last of PlatformLang and Lang written; null: neither
  UINTN WrittenSize;
  bool WrittenIsLang;
  CHAR8 FirstCode[VARIABLE_CAPACITY];
};

void ExpectReconciliation(const LANGUAGE_SNAPSHOT& Before, const VARIABLE& List, EXPECTED_LANGUAGES* E) {
  MemFill(E, sizeof(*E), 0);
  E->Determined = true;
  const bool HasP = !EFI_ERROR(Before.Platform.Status), HasL = !EFI_ERROR(Before.Iso.Status);
  const CHAR8* P = HasP ? (const CHAR8*)Before.Platform.Data : nullptr;
  UINTN PSize = Before.Platform.Size;
  const CHAR8* LangAsRfc = HasL ? RfcOf(Before.Iso.Data, Before.Iso.Size) : nullptr;
  auto WritePlatform = [&](const CHAR8* Code) {
    P = Code;
    PSize = Code != nullptr ? AsciiLength(Code) + 1 : 0;
    if (Code == nullptr) return;
    E->Written = Code;
    E->WrittenSize = PSize;
    E->WrittenIsLang = false;
  };
  auto WriteLang = [&](const CHAR8* Rfc) {
    const CHAR8* Iso = Rfc != nullptr ? IsoOf(Rfc, AsciiLength(Rfc)) : nullptr;
    if (Iso == nullptr) return;
    E->Written = Iso;
    E->WrittenSize = 3;
    E->WrittenIsLang = true;
  };
  if (!HasP && HasL) {
    WritePlatform(LangAsRfc);
  } else if (!HasP) {
    if (EFI_ERROR(List.Status)) {
      E->Determined = false;
      return;
    }
    UINTN Length = 0;
    while (Length < List.Size && List.Data[Length] != ';' && List.Data[Length] != 0) ++Length;
    MemMove(E->FirstCode, List.Data, Length);
    WritePlatform(E->FirstCode);
    WriteLang(P);
  } else if (!HasL) {
    WriteLang(P);
  } else if (LangAsRfc == nullptr) {
    E->Determined = false;
    return;
  } else if (!SameLanguage(LangAsRfc, P)) {
    if (!EFI_ERROR(Before.Last.Status) && SameLanguage((const CHAR8*)Before.Last.Data, P))
      WritePlatform(LangAsRfc);
    else
      WriteLang(P);
  }
  E->PlatformLast = P;
  E->PlatformLastSize = PSize;
}

bool SameVariable(const VARIABLE& A, const VARIABLE& B) {
  if (EFI_ERROR(A.Status) || EFI_ERROR(B.Status)) return A.Status == B.Status;
  return SameBytes(A, B.Data, B.Size);
}

void CheckLanguageVariables(CHECK_REPORT* Report, const SETUP_SERVICES& Services, EFI_HII_HANDLE Main,
                            const LANGUAGE_SNAPSHOT& Before) {
  VARIABLE* Vars = (VARIABLE*)AllocateZeroedBootPool(6 * sizeof(VARIABLE));
  EXPECTED_LANGUAGES* Expected = (EXPECTED_LANGUAGES*)AllocateZeroedBootPool(sizeof(EXPECTED_LANGUAGES));
  PoolBuffer<VARIABLE> Owner(Vars);
  PoolBuffer<EXPECTED_LANGUAGES> ExpectedOwner(Expected);
  if (Vars == nullptr || Expected == nullptr) {
    Check(Report, u"lang.last_codes", false, u"no memory");
    return;
  }
  VARIABLE& LastCodes = Vars[0];
  VARIABLE& LastLang = Vars[1];
  VARIABLE& PlatformCodes = Vars[2];
  VARIABLE& IsoCodes = Vars[3];
  VARIABLE& Platform = Vars[4];
  VARIABLE& Iso = Vars[5];
  ReadVariable(u"PlatformLastLangCodes", SETUP_VARIABLE_VENDOR, &LastCodes);
  ReadVariable(u"PlatformLastLang", SETUP_VARIABLE_VENDOR, &LastLang);
  ReadVariable(u"PlatformLangCodes", EFI_GLOBAL_VARIABLE_GUID, &PlatformCodes);
  ReadVariable(u"LangCodes", EFI_GLOBAL_VARIABLE_GUID, &IsoCodes);
  ReadVariable(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, &Platform);
  ReadVariable(u"Lang", EFI_GLOBAL_VARIABLE_GUID, &Iso);
  Note(u"PlatformLang \"%a\" (%r), Lang \"%a\" (%r), PlatformLangCodes \"%a\", PlatformLastLangCodes \"%a\"",
       (const CHAR8*)Platform.Data, Platform.Status, (const CHAR8*)Iso.Data, Iso.Status,
       (const CHAR8*)PlatformCodes.Data, (const CHAR8*)LastCodes.Data);

  // The main form set's languages, as the loader records them.
  // The firmware reports the list's size only to a buffer that is too small.
  CHAR8 List[VARIABLE_CAPACITY] = {};
  UINTN ListSize = 0;
  EFI_STATUS Status = Services.Strings->GetLanguages(Services.Strings, Main, nullptr, &ListSize);
  if (Status == EFI_BUFFER_TOO_SMALL && ListSize < sizeof(List))
    Status = Services.Strings->GetLanguages(Services.Strings, Main, List, &ListSize);
  Check(Report, u"lang.last_codes",
        !EFI_ERROR(Status) && LastCodes.Attributes == 3 && SameBytes(LastCodes, List, ListSize),
        u"PlatformLastLangCodes %r attributes %x \"%a\" (%ld bytes); main form set languages %r \"%a\" (%ld bytes)",
        LastCodes.Status, LastCodes.Attributes, (const CHAR8*)LastCodes.Data, LastCodes.Size, Status, List, ListSize);

  // On the deferred path the reconciliation ran on the list of the boot before.
  const VARIABLE& Published = EFI_ERROR(Before.LastCodes.Status) ? LastCodes : Before.LastCodes;
  if (!EFI_ERROR(Published.Status)) {
    CheckWrittenOrRefused(Report, u"lang.platform_lang_codes", u"PlatformLangCodes", EFI_GLOBAL_VARIABLE_GUID,
                          PlatformCodes, Published.Data, Published.Size);

    // LangCodes: the three-letter code of every listed language that has one.
    UINT8 IsoList[VARIABLE_CAPACITY] = {};
    UINTN IsoSize = 0;
    const CHAR8* Codes = (const CHAR8*)Published.Data;
    UINTN Start = 0;
    for (UINTN i = 0; i <= Published.Size && IsoSize + 3 <= sizeof(IsoList); ++i) {
      if (i < Published.Size && Codes[i] != ';' && Codes[i] != '\0') continue;
      const CHAR8* Code = IsoOf(Codes + Start, i - Start);
      if (Code != nullptr) {
        MemMove(IsoList + IsoSize, Code, 3);
        IsoSize += 3;
      }
      if (i == Published.Size || Codes[i] == '\0') break;
      Start = i + 1;
    }
    if (IsoSize > 0)
      CheckWrittenOrRefused(Report, u"lang.lang_codes", u"LangCodes", EFI_GLOBAL_VARIABLE_GUID, IsoCodes, IsoList,
                            IsoSize);
  }

  ExpectReconciliation(Before, Published, Expected);
  Note(u"before the drivers: PlatformLang \"%a\" (%r), Lang \"%a\" (%r), PlatformLastLang \"%a\" (%r)",
       (const CHAR8*)Before.Platform.Data, Before.Platform.Status, (const CHAR8*)Before.Iso.Data, Before.Iso.Status,
       (const CHAR8*)Before.Last.Data, Before.Last.Status);
  if (!Expected->Determined) {
    Note(u"PlatformLang, Lang and PlatformLastLang not checked: these values have no fixed outcome");
    return;
  }
  if (Expected->PlatformLast != nullptr)
    Check(Report, u"lang.last_lang",
          LastLang.Attributes == 3 && SameBytes(LastLang, Expected->PlatformLast, Expected->PlatformLastSize),
          u"PlatformLastLang %r attributes %x \"%a\" (%ld bytes), expected \"%a\" (%ld bytes)", LastLang.Status,
          LastLang.Attributes, (const CHAR8*)LastLang.Data, LastLang.Size, Expected->PlatformLast,
          Expected->PlatformLastSize);
  else
    Check(Report, u"lang.last_lang", SameVariable(LastLang, Before.Last),
          u"PlatformLastLang %r \"%a\", expected it left as it was", LastLang.Status, (const CHAR8*)LastLang.Data);

  if (Expected->Written == nullptr) {
    Check(Report, u"lang.reconciled", SameVariable(Platform, Before.Platform) && SameVariable(Iso, Before.Iso),
          u"PlatformLang \"%a\" and Lang \"%a\", expected both left as they were", (const CHAR8*)Platform.Data,
          (const CHAR8*)Iso.Data);
  } else if (Expected->WrittenIsLang) {
    // The firmware may bring PlatformLang after a written Lang: only Lang is ours.
    CheckWrittenOrRefused(Report, u"lang.reconciled", u"Lang", EFI_GLOBAL_VARIABLE_GUID, Iso, Expected->Written,
                          Expected->WrittenSize);
  } else {
    CheckWrittenOrRefused(Report, u"lang.reconciled", u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, Platform,
                          Expected->Written, Expected->WrittenSize);
  }
}

// ---- Callback registry and question dispatch --------------------------------

struct HANDLER_LOG {
  UINTN Calls;
  EFI_HII_HANDLE HiiHandle;
  UINT16 Class;
  UINT16 SubClass;
  UINT16 Key;
  CALLBACK_PARAMETERS Seen;  // copy of the current parameters during the call
  EFI_STATUS ParametersStatus;
  bool HadParameters;
};

// What the handlers registered by the checks see; the only writable data of these checks.
struct DISPATCH_CHECK_STATE {
  HANDLER_LOG Log;
  CALLBACK_REGISTRY_PROTOCOL* Registry;
};

constinit DISPATCH_CHECK_STATE gDispatch = {};
constexpr EFI_STATUS HANDLER_RESULT = EFI_WARN_STALE_DATA;  // a status no other path returns

EFI_STATUS EFIAPI LoggingHandler(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key) {
  HANDLER_LOG& Log = gDispatch.Log;
  Log.Calls++;
  Log.HiiHandle = HiiHandle;
  Log.Class = Class;
  Log.SubClass = SubClass;
  Log.Key = Key;
  CALLBACK_PARAMETERS* Current = nullptr;
  Log.ParametersStatus = gDispatch.Registry->GetCurrentCallbackParameters(&Current);
  Log.HadParameters = Current != nullptr;
  if (Current != nullptr) Log.Seen = *Current;
  return HANDLER_RESULT;
}

EFI_STATUS EFIAPI DecliningHandler(EFI_HII_HANDLE, UINT16, UINT16, UINT16) { return EFI_UNSUPPORTED; }

constexpr UINT16 FIRST_KEY = 0x7F01;  // keys outside every static row
constexpr UINT16 SECOND_KEY = 0x7F02;
constexpr UINT16 QUESTION_KEY = 0x7F10;

void CheckRegistry(CHECK_REPORT* Report, CALLBACK_REGISTRY_PROTOCOL* Registry) {
  UINTN Size = 0;
  EFI_STATUS Status = Registry->ListItemCallbacks(&Size, nullptr);
  if (!Check(Report, u"registry.empty", Status == EFI_NOT_FOUND && Size == 0, u"list of an empty registry: %r size %ld",
             Status, Size))
    return;
  VOID* First = nullptr;
  VOID* Second = nullptr;
  EFI_STATUS S1 = Registry->RegisterItemCallback(0x10, 0, FIRST_KEY, LoggingHandler, &First);
  EFI_STATUS S2 = Registry->RegisterItemCallback(0x40, 0, SECOND_KEY, DecliningHandler, &Second);
  if (!Check(Report, u"registry.register", !EFI_ERROR(S1) && !EFI_ERROR(S2) && First && Second && First != Second,
             u"register: %r %r tokens %lx %lx", S1, S2, (UINT64)(UINTN)First, (UINT64)(UINTN)Second))
    return;

  ITEM_CALLBACK_ENTRY Entries[3] = {};
  Size = sizeof(ITEM_CALLBACK_ENTRY);
  Status = Registry->ListItemCallbacks(&Size, Entries);
  bool SizeReported = Status == EFI_BUFFER_TOO_SMALL && Size == 2 * sizeof(ITEM_CALLBACK_ENTRY);
  Size = 2 * sizeof(ITEM_CALLBACK_ENTRY);
  EFI_STATUS NullBuffer = Registry->ListItemCallbacks(&Size, nullptr);
  Size = sizeof(Entries);
  EFI_STATUS Listed = Registry->ListItemCallbacks(&Size, Entries);
  bool InOrder = Entries[0].Class == 0x10 && Entries[0].Key == FIRST_KEY && Entries[0].Handler == LoggingHandler &&
                 Entries[1].Class == 0x40 && Entries[1].Key == SECOND_KEY && Entries[1].Handler == DecliningHandler &&
                 Entries[0].SubClass == 0 && Entries[1].SubClass == 0;
  Check(Report, u"registry.list",
        SizeReported && NullBuffer == EFI_INVALID_PARAMETER && Listed == EFI_SUCCESS &&
            Size == 2 * sizeof(ITEM_CALLBACK_ENTRY) && InOrder,
        u"small buffer %r, null buffer %r, listing %r size %ld, first (%x,%x) second (%x,%x)", Status, NullBuffer,
        Listed, Size, Entries[0].Class, Entries[0].Key, Entries[1].Class, Entries[1].Key);

  EFI_STATUS U1 = Registry->UnregisterItemCallback(First);
  Size = sizeof(Entries);
  MemFill(Entries, sizeof(Entries), 0);
  EFI_STATUS AfterOne = Registry->ListItemCallbacks(&Size, Entries);
  bool OneLeft = AfterOne == EFI_SUCCESS && Size == sizeof(ITEM_CALLBACK_ENTRY) && Entries[0].Key == SECOND_KEY;
  EFI_STATUS U2 = Registry->UnregisterItemCallback(Second);
  Size = 0;
  EFI_STATUS AfterBoth = Registry->ListItemCallbacks(&Size, nullptr);
  Check(Report, u"registry.unregister", U1 == EFI_SUCCESS && OneLeft && U2 == EFI_SUCCESS && AfterBoth == EFI_NOT_FOUND,
        u"unregister %r, then list %r size %ld key %x; unregister %r, then list %r", U1, AfterOne, Size,
        Entries[0].Key, U2, AfterBoth);
}

// Calls the instance's Callback as a browser would and checks that the
// registered handler saw the question.
void CheckQuestion(CHECK_REPORT* Report, const CHAR16* Name, EFI_HII_CONFIG_ACCESS_PROTOCOL* Access,
                   EFI_HII_HANDLE ExpectedHandle, UINT16 Class) {
  VOID* Token = nullptr;
  EFI_STATUS Status = gDispatch.Registry->RegisterItemCallback(Class, 0, QUESTION_KEY, LoggingHandler, &Token);
  if (EFI_ERROR(Status)) {
    Check(Report, Name, false, u"register: %r", Status);
    return;
  }
  gDispatch.Log = {};
  EFI_IFR_TYPE_VALUE Value = {};
  Value.u8 = 0x5A;
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_EXIT;
  EFI_STATUS Result = Access->Callback(Access, EFI_BROWSER_ACTION_CHANGED, QUESTION_KEY, EFI_IFR_TYPE_NUM_SIZE_8,
                                       &Value, &Request);
  gDispatch.Registry->UnregisterItemCallback(Token);
  const HANDLER_LOG& Log = gDispatch.Log;
  const CALLBACK_PARAMETERS& P = Log.Seen;
  bool Arguments = Log.Calls == 1 && Log.HiiHandle == ExpectedHandle && Log.Class == Class && Log.SubClass == 0 &&
                   Log.Key == QUESTION_KEY;
  bool Parameters = Log.ParametersStatus == EFI_SUCCESS && Log.HadParameters && P.This == Access &&
                    P.Action == EFI_BROWSER_ACTION_CHANGED && P.QuestionId == QUESTION_KEY &&
                    P.Type == EFI_IFR_TYPE_NUM_SIZE_8 && P.Value == &Value && P.Value->u8 == 0x5A &&
                    P.ActionRequest == &Request;
  Check(Report, Name, Result == HANDLER_RESULT && Arguments && Parameters && Request == EFI_BROWSER_ACTION_REQUEST_NONE,
        u"result %r, %ld calls with handle %lx (expected %lx) class %x key %x; parameters %r present %d action %ld "
        u"question %x type %d; request %ld",
        Result, Log.Calls, (UINT64)(UINTN)Log.HiiHandle, (UINT64)(UINTN)ExpectedHandle, Log.Class, Log.Key,
        Log.ParametersStatus, Log.HadParameters, P.Action, P.QuestionId, P.Type, Request);
}

void CheckDispatch(CHECK_REPORT* Report, const SETUP_SERVICES& Services, const FORMUTIL_LOAD_RECORD& Record) {
  gDispatch.Registry = Services.Registry;
  const FORM_SET_INFO& Monitor = Record.Table[MONITOR_ROW];
  // The browser finds a form set's Config Access on the driver handle of its package list.
  EFI_HANDLE DriverHandle = nullptr;
  EFI_STATUS Status = Services.Database->GetPackageListHandle(Services.Database, Monitor.HiiHandle, &DriverHandle);
  EFI_HII_CONFIG_ACCESS_PROTOCOL* Access =
      EFI_ERROR(Status) ? nullptr : HandleProtocol<EFI_HII_CONFIG_ACCESS_PROTOCOL>(DriverHandle);
  if (!Check(Report, u"dispatch.config_access_installed", Access != nullptr && Access == Monitor.ConfigAccess,
             u"driver handle %r, Config Access %lx, table's %lx", Status, (UINT64)(UINTN)Access,
             (UINT64)(UINTN)Monitor.ConfigAccess))
    return;
  CheckQuestion(Report, u"dispatch.registered_handler", Access, Monitor.HiiHandle, 0x10);

  // The class-0x20 package list is gone, its instance still answers.
  const FORM_SET_INFO& Removed = Record.Table[REMOVED_ROW];
  CheckQuestion(Report, u"dispatch.removed_form_set", Removed.ConfigAccess, Removed.HiiHandle, 0x20);

  CALLBACK_PARAMETERS* Outside = (CALLBACK_PARAMETERS*)1;
  Status = gDispatch.Registry->GetCurrentCallbackParameters(&Outside);
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_SUBMIT;
  EFI_IFR_TYPE_VALUE Value = {};
  EFI_STATUS Unmatched =
      Access->Callback(Access, EFI_BROWSER_ACTION_CHANGING, QUESTION_KEY, EFI_IFR_TYPE_NUM_SIZE_8, &Value, &Request);
  Check(Report, u"dispatch.unmatched",
        Status == EFI_SUCCESS && Outside == nullptr && Unmatched == EFI_NOT_FOUND &&
            Request == EFI_BROWSER_ACTION_REQUEST_NONE,
        u"parameters outside a callback %r %lx; unmatched question %r, request %ld", Status, (UINT64)(UINTN)Outside,
        Unmatched, Request);
}

bool ReadRecord(CHECK_REPORT* Report, const SETUP_SERVICES& Services, FORMUTIL_LOAD_RECORD* Record) {
  EFI_STATUS Status = Services.Control->GetLoadRecord(Record);
  return Status == EFI_SUCCESS || Check(Report, u"formutil.record", false, u"%r", Status);
}

// False when the form-set table itself is wrong, so nothing can be found through it.
// ---- Memory and graphics options ------------------------------------------

// q35 has none of the memory initialisation's outputs: no information
// protocol, no module HOB, no NBPlatformData. The templates that depend on
// them stay as packaged; what depends on the real host bridge follows it.
void CheckMemoryOptions(CHECK_REPORT* Report, const SETUP_SERVICES& Services, EFI_HII_HANDLE Tuning,
                        EFI_HII_HANDLE Advanced) {
  VOID* Info = nullptr;
  const bool HasInformation = !EFI_ERROR(gBS()->LocateProtocol(&MEMORY_INFO_PROTOCOL::Guid, nullptr, &Info));
  VOID* Cursor = FindConfigurationTable(gST(), &EFI_HOB_LIST_GUID);
  const bool HasModuleHob = Cursor != nullptr && !EFI_ERROR(FindGuidHob(&MEMORY_MODULE_HOB_GUID, &Cursor));
  UINTN Size = 0;
  const EFI_STATUS PlatformData = gRT()->GetVariable(NB_PLATFORM_DATA_NAME, &SETUP_VARIABLE_VENDOR, nullptr, &Size, nullptr);
  Note(u"memory: information protocol %a, module HOB %a, NBPlatformData %r", HasInformation ? "present" : "absent",
       HasModuleHob ? "present" : "absent", PlatformData);
  if (!HasInformation) CheckString(Report, u"memory.timing_template_kept", Services, Tuning, 0x0452, u"Current: %d");
  if (!HasModuleHob)
    CheckString(Report, u"memory.module_template_kept", Services, Tuning, 0x056C, u"SPD revision %d.%d");
  if (PlatformData == EFI_NOT_FOUND) CheckString(Report, u"memory.frequency_option_kept", Services, Tuning, 0x073F, u"3600 MHz");
  const UINT32 Capabilities = PciRead32(0, 0, 0, 0xE4);
  Note(u"memory: host bridge register 0xE4 = %08x", Capabilities);
  CheckString(Report, u"memory.capability_line", Services, Advanced, 0x0495,
              (Capabilities & (1u << 23)) == 0 ? u"Supported" : u"Not Supported");
}

// ---- Main page summary -----------------------------------------------------

constinit RESOLUTION_TRIGGER_PROTOCOL gResolutionTrigger{};

// q35 has no memory information protocol: every slot reads empty and the
// mode single. The hub stepping follows the real LPC function's revision.
// The resolution appears only for a trigger installed after loading, and
// then follows OVMF's own Graphics Output.
void CheckMainPageSummary(CHECK_REPORT* Report, const SETUP_SERVICES& Services, EFI_HII_HANDLE Main) {
  const UINT8 Revision = PciRead8(0, 31, 0, 8);
  Note(u"main page: LPC revision %d", Revision);
  CheckString(Report, u"main.hub_stepping", Services, Main, 0x1064, Revision < 5 ? u"C1" : u"C2");
  VOID* Info = nullptr;
  if (EFI_ERROR(gBS()->LocateProtocol(&MEMORY_INFO_PROTOCOL::Guid, nullptr, &Info))) {
    CheckString(Report, u"main.slot_empty", Services, Main, 0x1071, u"Empty");
    CheckString(Report, u"main.memory_mode", Services, Main, 0x106F, u"Single Channel");
  }
  CheckString(Report, u"main.resolution_waits", Services, Main, 0x107A, u"%d x %d");

  EFI_GRAPHICS_OUTPUT_PROTOCOL* Output = nullptr;
  gBS()->LocateProtocol(&EFI_GRAPHICS_OUTPUT_PROTOCOL::Guid, nullptr, (VOID**)&Output);
  EFI_HANDLE Handle = nullptr;
  EFI_STATUS Status = gBS()->InstallProtocolInterface(&Handle, &RESOLUTION_TRIGGER_PROTOCOL::Guid,
                                                      EFI_NATIVE_INTERFACE, &gResolutionTrigger);
  if (!Check(Report, u"main.trigger_installed", !EFI_ERROR(Status), u"InstallProtocolInterface: %r", Status)) return;
  CHAR16 Expected[STRING_CAPACITY];
  const bool HasMode = Output != nullptr && Output->Mode != nullptr && Output->Mode->Info != nullptr;
  Note(u"main page: display %a", HasMode ? "with a mode" : "none");
  if (HasMode)
    FormatWide(Expected, STRING_CAPACITY, u"%d x %d", Output->Mode->Info->HorizontalResolution,
               Output->Mode->Info->VerticalResolution);
  else
    FormatWide(Expected, STRING_CAPACITY, u"%%d x %%d");
  CheckString(Report, u"main.resolution", Services, Main, 0x107A, Expected);
  gBS()->UninstallProtocolInterface(Handle, &RESOLUTION_TRIGGER_PROTOCOL::Guid, &gResolutionTrigger);
}

bool CheckLoadedFormSets(CHECK_REPORT* Report, const SETUP_SERVICES& Services, const FORMUTIL_LOAD_RECORD& Record,
                         const LANGUAGE_SNAPSHOT* Before) {
  if (!CheckFormSetTable(Report, Record)) return false;
  CheckPublished(Report, Services, Record);
  CheckIdentityStrings(Report, Services, Record.Table[MAIN_ROW].HiiHandle);
  CheckSecureBootCounts(Report, Services, Record.Table[SECURE_ROW].HiiHandle);
  CheckSuperIoStrings(Report, Services, Record);
  CheckMemoryOptions(Report, Services, Record.Table[TUNING_ROW].HiiHandle, Record.Table[ADVANCED_ROW].HiiHandle);
  CheckMainPageSummary(Report, Services, Record.Table[MAIN_ROW].HiiHandle);
  if (Before != nullptr) CheckLanguageVariables(Report, Services, Record.Table[MAIN_ROW].HiiHandle, *Before);
  return true;
}

}  // namespace

void SaveLanguageSnapshot() {
  LANGUAGE_SNAPSHOT* Snapshot = (LANGUAGE_SNAPSHOT*)AllocateZeroedBootPool(sizeof(LANGUAGE_SNAPSHOT));
  if (Snapshot == nullptr) {
    Note(u"no memory to record the language variables");
    return;
  }
  PoolBuffer<LANGUAGE_SNAPSHOT> Owner(Snapshot);
  ReadVariable(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, &Snapshot->Platform);
  ReadVariable(u"Lang", EFI_GLOBAL_VARIABLE_GUID, &Snapshot->Iso);
  ReadVariable(u"PlatformLastLang", SETUP_VARIABLE_VENDOR, &Snapshot->Last);
  ReadVariable(u"PlatformLastLangCodes", SETUP_VARIABLE_VENDOR, &Snapshot->LastCodes);
  EFI_STATUS Status = gRT()->SetVariable(SnapshotName, &CHECK_VENDOR, EFI_VARIABLE_BOOTSERVICE_ACCESS,
                                         sizeof(*Snapshot), Snapshot);
  Note(u"language variables recorded before the drivers: %r", Status);
}

void RunFirstBootSetupChecks(CHECK_REPORT* Report) {
  SETUP_SERVICES Services = {};
  if (!FindServices(Report, &Services)) return;
  PoolBuffer<LANGUAGE_SNAPSHOT> Before;
  if (!Before.Allocate(1) || !LoadLanguageSnapshot(Report, Before.Get())) Before.Reset();
  FORMUTIL_LOAD_RECORD Record = {};
  if (!ReadRecord(Report, Services, &Record)) return;
  // The store was fresh, so the entry point itself loaded the form sets.
  if (!Check(Report, u"boot1.loaded_at_entry", Record.LoadCalls == 1 && Record.TriggersInstalled == 0,
             u"%ld LoadResources calls, %ld triggers", Record.LoadCalls, Record.TriggersInstalled))
    return;
  bool TableGood = CheckLoadedFormSets(Report, Services, Record, Before.Get());
  CheckRegistry(Report, Services.Registry);
  if (TableGood) CheckDispatch(Report, Services, Record);
}

void RunLaterBootSetupChecks(CHECK_REPORT* Report) {
  SETUP_SERVICES Services = {};
  if (!FindServices(Report, &Services)) return;
  PoolBuffer<LANGUAGE_SNAPSHOT> Before;
  if (!Before.Allocate(1) || !LoadLanguageSnapshot(Report, Before.Get())) Before.Reset();
  // What made setupinfo wait for the trigger: the list the first boot left.
  if (Before)
    Check(Report, u"boot2.last_codes_kept", !EFI_ERROR(Before->LastCodes.Status) && Before->LastCodes.Size > 0,
          u"PlatformLastLangCodes before the drivers: %r", Before->LastCodes.Status);

  FORMUTIL_LOAD_RECORD Record = {};
  if (!ReadRecord(Report, Services, &Record)) return;
  HII_SNAPSHOT* Snapshot = (HII_SNAPSHOT*)AllocateZeroedBootPool(sizeof(HII_SNAPSHOT));
  if (Snapshot == nullptr) return;
  PoolBuffer<HII_SNAPSHOT> SnapshotOwner(Snapshot);
  TakeSnapshot(Services.Database, Snapshot);
  UINTN Present = 0;
  for (const EXPECTED_FORM_SET& Row : FormSets) Present += CountGuid(Snapshot, Row.PackageList, nullptr);
  if (!Check(Report, u"boot2.nothing_at_entry", Record.LoadCalls == 0 && Present == 0,
             u"%ld LoadResources calls, %ld of our package lists in the database", Record.LoadCalls, Present))
    return;

  EFI_STATUS Status = Services.Control->InstallSetupLoadTrigger();
  ReadRecord(Report, Services, &Record);
  if (!Check(Report, u"boot2.trigger_loads", Status == EFI_SUCCESS && Record.LoadCalls == 1,
             u"trigger %r, %ld LoadResources calls", Status, Record.LoadCalls))
    return;
  CheckLoadedFormSets(Report, Services, Record, Before.Get());

  Status = Services.Control->InstallSetupLoadTrigger();
  FORMUTIL_LOAD_RECORD Again = {};
  ReadRecord(Report, Services, &Again);
  TakeSnapshot(Services.Database, Snapshot);
  Present = 0;
  for (const EXPECTED_FORM_SET& Row : FormSets) Present += CountGuid(Snapshot, Row.PackageList, nullptr);
  Check(Report, u"boot2.second_trigger_ignored",
        Status == EFI_SUCCESS && Again.LoadCalls == 1 && Again.TriggersInstalled == 2 && Present == FORM_SET_COUNT - 1,
        u"trigger %r, %ld LoadResources calls, %ld triggers, %ld of our package lists", Status, Again.LoadCalls,
        Again.TriggersInstalled, Present);
}
