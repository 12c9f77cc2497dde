// Test-only stand-in for the firmware framework's form utility service,
// for OVMF: form sets go into the firmware's own HII database, strings
// through its HII String protocol. Browser data goes to OVMF's own browser
// while one of its SendForm calls runs, and to stores kept here otherwise:
// the checks run with no browser shown.
#include "forms/form_packages.h"
#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "platform/setup_load_trigger.h"
#include "qemu/browser_config.h"
#include "qemu/current_language.h"
#include "qemu/form_browser.h"
#include "qemu/formutil_control.h"
#include "qemu/serial_trace.h"
#include "uefi/device_path.h"
#include "uefi/hii.h"

namespace {

constexpr UINTN STORE_NAME_CAPACITY = 64;
constexpr UINTN STORE_LIMIT = 16;

struct BROWSER_STORE {
  EFI_GUID Guid;
  CHAR16 Name[STORE_NAME_CAPACITY];
  UINTN Size;
  UINT8* Data;  // null while the slot is free
};

#pragma pack(push, 1)
// Every form set gets a driver handle of its own; the HII database wants a
// device path on it, and the package list GUID keeps the paths apart.
struct FORM_SET_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL Vendor;
  EFI_GUID VendorGuid;
  EFI_DEVICE_PATH_PROTOCOL End;
};
#pragma pack(pop)
static_assert(sizeof(FORM_SET_DEVICE_PATH) == 24);

#if FORMUTIL_TRACE_ACTIONS
constexpr UINTN HOOK_LIMIT = 16;  // form sets published with a hook

// Stands between the browser and a form set's Config Access instance to log
// each action on the serial console; the driver sees its own instance as This.
struct ACCESS_HOOK {
  EFI_HII_CONFIG_ACCESS_PROTOCOL Access;  // first: the browser's This is the hook
  EFI_HII_CONFIG_ACCESS_PROTOCOL* Inner;
  UINT16 Class;
};
#endif

struct FORMUTIL_STATE {
  EFI_HII_DATABASE_PROTOCOL* Database;
  EFI_HII_STRING_PROTOCOL* Strings;
  FORMUTIL_LOAD_RECORD Record;
  BROWSER_STORE Stores[STORE_LIMIT];
  SETUP_LOAD_TRIGGER_PROTOCOL Trigger;  // never called: only its installation counts
  EFI_FORM_BROWSER2_PROTOCOL* Browser;
  EFI_FORM_BROWSER2_PROTOCOL::SendFormFn BrowserSendForm;  // the browser's own
  UINTN FormsShown;  // SendForm calls in progress
#if FORMUTIL_TRACE_ACTIONS
  ACCESS_HOOK Hooks[HOOK_LIMIT];
  UINTN HookCount;
#endif
};

constinit FORMUTIL_STATE gState = {};

void NoteFailure(EFI_STATUS Status) {
  if (gState.Record.FirstFailure == EFI_SUCCESS) gState.Record.FirstFailure = Status;
}

bool NamesEqual(const CHAR16* A, const CHAR16* B) { return WideCompare(A, B) == 0; }

BROWSER_STORE* FindStore(const EFI_GUID* Guid, const CHAR16* Name) {
  for (BROWSER_STORE& Store : gState.Stores)
    if (Store.Data != nullptr && Store.Guid == *Guid && NamesEqual(Store.Name, Name)) return &Store;
  return nullptr;
}

// Takes a free slot for (Guid, Name) holding Size bytes; Data is filled by the caller.
EFI_STATUS NewStore(const EFI_GUID* Guid, const CHAR16* Name, UINTN Size, BROWSER_STORE** Out) {
  if (WideLength(Name) >= STORE_NAME_CAPACITY) return EFI_INVALID_PARAMETER;
  for (BROWSER_STORE& Store : gState.Stores) {
    if (Store.Data != nullptr) continue;
    Store.Data = (UINT8*)AllocateBootPool(Size);
    if (Store.Data == nullptr) return EFI_OUT_OF_RESOURCES;
    Store.Guid = *Guid;
    WideCopy(Store.Name, Name);
    Store.Size = Size;
    *Out = &Store;
    return EFI_SUCCESS;
  }
  return EFI_OUT_OF_RESOURCES;
}

void DropStores() {
  for (BROWSER_STORE& Store : gState.Stores) {
    if (Store.Data != nullptr) FreeBootPool(Store.Data);
    Store.Data = nullptr;
  }
}

// Every browser session starts from the stored variables and leaves nothing
// behind, so a session that was discarded cannot leak into the next reads.
EFI_STATUS EFIAPI TrackedSendForm(const EFI_FORM_BROWSER2_PROTOCOL* This, EFI_HII_HANDLE* Handles,
                                  UINTN HandleCount, EFI_GUID* FormSetGuid, EFI_FORM_ID FormId,
                                  const EFI_SCREEN_DESCRIPTOR* ScreenDimensions,
                                  EFI_BROWSER_ACTION_REQUEST* ActionRequest) {
  if (gState.FormsShown == 0) DropStores();
  gState.FormsShown++;
  TraceAscii("FORMUTIL sendform begin");
  EFI_STATUS Status =
      gState.BrowserSendForm(This, Handles, HandleCount, FormSetGuid, FormId, ScreenDimensions, ActionRequest);
  gState.FormsShown--;
  if (gState.FormsShown == 0) DropStores();
  TraceFormatted("FORMUTIL sendform end %r", Status);
  return Status;
}

// OVMF's browser driver is up before this one; its callers read SendForm
// from the interface at each call, so replacing the slot catches them all.
void TrackBrowser() {
  EFI_FORM_BROWSER2_PROTOCOL* Browser = LocateProtocol<EFI_FORM_BROWSER2_PROTOCOL>();
  if (Browser == nullptr || Browser->SendForm == TrackedSendForm) return;
  gState.Browser = Browser;
  gState.BrowserSendForm = Browser->SendForm;
  Browser->SendForm = TrackedSendForm;
}

bool BrowserShown() { return gState.FormsShown > 0 && gState.Browser != nullptr; }

// The browser's copy of the questions' bytes over Block; EFI_NOT_FOUND when
// the shown form sets have no such store.
EFI_STATUS ReadFromBrowser(const EFI_GUID* Guid, const CHAR16* Name, UINT8* Block, UINTN Size) {
  CHAR16 Probe = 0;
  UINTN Bytes = 0;
  EFI_STATUS Status = gState.Browser->BrowserCallback(gState.Browser, &Bytes, &Probe, TRUE, Guid, Name);
  if (Status != EFI_BUFFER_TOO_SMALL) {
    TraceFormatted("FORMUTIL getbrowserdata browser %r", Status);
    return EFI_ERROR(Status) ? Status : EFI_SUCCESS;
  }
  PoolBuffer<CHAR16> Results;
  const UINTN Chars = Bytes / sizeof(CHAR16) + 1;
  if (!Results.Allocate(Chars)) return EFI_OUT_OF_RESOURCES;
  Status = gState.Browser->BrowserCallback(gState.Browser, &Bytes, Results.Get(), TRUE, Guid, Name);
  if (EFI_ERROR(Status)) return Status;
  const UINTN Runs = ApplyConfigBody(Results.Get(), Chars, Block, Size);
  TraceFormatted("FORMUTIL getbrowserdata browser %ld runs", (UINT64)Runs);
  return EFI_SUCCESS;
}

// Only the bytes the caller changed since the store last held them: a read
// the browser could not answer must not turn into old values written over
// the user's edit.
EFI_STATUS WriteToBrowser(const EFI_GUID* Guid, const CHAR16* Name, const UINT8* Old, const UINT8* New,
                          UINTN Size) {
  const UINTN Length = ChangedRunsToConfigBody(Old, New, Size, nullptr, 0);
  if (Length == 0) return EFI_SUCCESS;
  PoolBuffer<CHAR16> Body;
  if (!Body.Allocate(Length + 1) || ChangedRunsToConfigBody(Old, New, Size, Body.Get(), Length + 1) != Length)
    return EFI_OUT_OF_RESOURCES;
  UINTN Bytes = (Length + 1) * sizeof(CHAR16);
  EFI_STATUS Status = gState.Browser->BrowserCallback(gState.Browser, &Bytes, Body.Get(), FALSE, Guid, Name);
  TraceFormatted("FORMUTIL setbrowserdata browser %r %ld chars", Status, (UINT64)Length);
  return Status;
}

bool LocateHii() {
  return LocateOnce(gState.Database) != nullptr && LocateOnce(gState.Strings) != nullptr;
}

#if FORMUTIL_TRACE_ACTIONS
const ACCESS_HOOK* HookOf(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This) { return (const ACCESS_HOOK*)This; }

// The driver's instances leave both null: their stores are EFI variables,
// which the browser reads and writes itself; it must not call through null.
EFI_STATUS EFIAPI HookExtractConfig(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, const CHAR16* Request,
                                    EFI_STRING* Progress, EFI_STRING* Results) {
  EFI_HII_CONFIG_ACCESS_PROTOCOL* Inner = HookOf(This)->Inner;
  if (Inner->ExtractConfig != nullptr) return Inner->ExtractConfig(Inner, Request, Progress, Results);
  if (Progress != nullptr) *Progress = (EFI_STRING)Request;
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI HookRouteConfig(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, const CHAR16* Configuration,
                                  EFI_STRING* Progress) {
  EFI_HII_CONFIG_ACCESS_PROTOCOL* Inner = HookOf(This)->Inner;
  if (Inner->RouteConfig != nullptr) return Inner->RouteConfig(Inner, Configuration, Progress);
  if (Progress != nullptr) *Progress = (EFI_STRING)Configuration;
  return EFI_NOT_FOUND;
}

// One line per action: the value as it came in, the status as it went out.
EFI_STATUS EFIAPI HookCallback(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                               EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                               EFI_BROWSER_ACTION_REQUEST* ActionRequest) {
  const ACCESS_HOOK* Hook = HookOf(This);
  UINT64 In = 0;
  if (Value != nullptr && Type <= EFI_IFR_TYPE_BOOLEAN) {
    const UINTN Width = Type == EFI_IFR_TYPE_BOOLEAN ? 1 : (UINTN)1 << Type;
    MemMove(&In, Value, Width);
  }
  EFI_STATUS Status = Hook->Inner->Callback(Hook->Inner, Action, QuestionId, Type, Value, ActionRequest);
  TraceFormatted("ACTION class=0x%x action=%ld question=0x%x type=%d value=%ld status=%r", Hook->Class,
                 (UINT64)Action, QuestionId, Type, In, Status);
  if (ActionRequest != nullptr && *ActionRequest != EFI_BROWSER_ACTION_REQUEST_NONE)
    TraceFormatted("ACTION-REQUEST class=0x%x question=0x%x request=%ld", Hook->Class, QuestionId,
                   (UINT64)*ActionRequest);
  return Status;
}

EFI_HII_CONFIG_ACCESS_PROTOCOL* InstalledAccess(FORM_SET_INFO* Entry) {
  if (gState.HookCount == HOOK_LIMIT) return Entry->ConfigAccess;
  ACCESS_HOOK& Hook = gState.Hooks[gState.HookCount++];
  Hook.Access = {HookExtractConfig, HookRouteConfig, HookCallback};
  Hook.Inner = Entry->ConfigAccess;
  Hook.Class = Entry->Class;
  return &Hook.Access;
}
#else
EFI_HII_CONFIG_ACCESS_PROTOCOL* InstalledAccess(FORM_SET_INFO* Entry) { return Entry->ConfigAccess; }
#endif

EFI_STATUS PublishFormSet(FORM_SET_INFO* Entry) {
  if (Entry->PackageListGuid == nullptr) return EFI_INVALID_PARAMETER;
  const FORM_PACKAGE* Form = FindFormPackage(Entry->PackageListGuid);
  if (Form == nullptr) return EFI_NOT_FOUND;
  const auto* Package = (const EFI_HII_PACKAGE_LIST_HEADER*)Form->Data;
  if (Form->Size < sizeof(EFI_HII_PACKAGE_LIST_HEADER) || Package->PackageLength != Form->Size)
    return EFI_VOLUME_CORRUPTED;

  auto* Path = (FORM_SET_DEVICE_PATH*)AllocateZeroedBootPool(sizeof(FORM_SET_DEVICE_PATH));
  if (Path == nullptr) return EFI_OUT_OF_RESOURCES;
  Path->Vendor.Type = HARDWARE_DEVICE_PATH;
  Path->Vendor.SubType = HW_VENDOR_DP;
  Path->Vendor.Length[0] = sizeof(EFI_DEVICE_PATH_PROTOCOL) + sizeof(EFI_GUID);
  Path->VendorGuid = *Entry->PackageListGuid;
  Path->End.Type = END_DEVICE_PATH_TYPE;
  Path->End.SubType = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  Path->End.Length[0] = sizeof(EFI_DEVICE_PATH_PROTOCOL);

  EFI_HANDLE DriverHandle = nullptr;
  EFI_STATUS Status = gBS()->InstallMultipleProtocolInterfaces(&DriverHandle, &EFI_DEVICE_PATH_PROTOCOL::Guid,
                                                               Path, nullptr);
  if (EFI_ERROR(Status)) {
    FreeBootPool(Path);
    return Status;
  }
  EFI_HII_HANDLE HiiHandle = nullptr;
  Status = gState.Database->NewPackageList(gState.Database, Package, DriverHandle, &HiiHandle);
  if (EFI_ERROR(Status)) {
    gBS()->UninstallMultipleProtocolInterfaces(DriverHandle, &EFI_DEVICE_PATH_PROTOCOL::Guid, Path, nullptr);
    FreeBootPool(Path);
    return Status;
  }
  Entry->HiiHandle = HiiHandle;
  if (Entry->ConfigAccess != nullptr) {
    Status = gBS()->InstallProtocolInterface(&DriverHandle, &EFI_HII_CONFIG_ACCESS_PROTOCOL::Guid,
                                             EFI_NATIVE_INTERFACE, InstalledAccess(Entry));
    if (EFI_ERROR(Status)) return Status;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI LoadResources(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table,
                                FORM_SET_LOADED_CALLBACK Callback) {
  FORMUTIL_LOAD_RECORD& Record = gState.Record;
  Record.LoadCalls++;
  Record.EntryCount = Count;
  Record.Table = Table;
  Record.Published = 0;
  Record.CallbacksMade = 0;
  Record.FirstFailure = EFI_SUCCESS;
  if (Table == nullptr || Count == 0) {
    NoteFailure(EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }
  if (!LocateHii()) {
    NoteFailure(EFI_NOT_READY);
    return EFI_NOT_READY;
  }
  for (UINTN i = 0; i < Count; ++i) {
    EFI_STATUS Status = PublishFormSet(&Table[i]);
    if (EFI_ERROR(Status)) {
      NoteFailure(Status);
      if (Table[i].HiiHandle == nullptr) continue;  // nothing published: no callback
    } else {
      Record.Published++;
    }
    if (Callback != nullptr) {
      Callback(Table[i].HiiHandle, &Table[i]);
      Record.CallbacksMade++;
    }
  }
  return Record.FirstFailure;
}

EFI_STATUS EFIAPI GetBrowserData(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid, const CHAR16* VariableName) {
  if (Size == nullptr || VariableGuid == nullptr || VariableName == nullptr) return EFI_INVALID_PARAMETER;
  BROWSER_STORE* Store = FindStore(VariableGuid, VariableName);
  if (Store == nullptr) {
    // First use: the store starts as the stored variable, as a browser's would.
    UINTN StoredSize = 0;
    VOID* Stored = nullptr;
    EFI_STATUS Status = ReadVariableWithRetry(VariableName, VariableGuid, nullptr, &StoredSize, &Stored);
    if (EFI_ERROR(Status)) return Status;
    Status = NewStore(VariableGuid, VariableName, StoredSize, &Store);
    if (EFI_ERROR(Status)) {
      FreeBootPool(Stored);
      return Status;
    }
    MemMove(Store->Data, Stored, StoredSize);
    FreeBootPool(Stored);
  }
  if (*Size < Store->Size) {
    *Size = Store->Size;
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  // The browser answers only for the bytes its questions cover; the store
  // keeps the rest as the last write left them.
  if (BrowserShown()) ReadFromBrowser(VariableGuid, VariableName, Store->Data, Store->Size);
  MemMove(Buffer, Store->Data, Store->Size);
  *Size = Store->Size;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetBrowserData(UINTN Size, VOID* Buffer, const EFI_GUID* VariableGuid, const CHAR16* VariableName) {
  if (Size == 0 || Buffer == nullptr || VariableGuid == nullptr || VariableName == nullptr)
    return EFI_INVALID_PARAMETER;
  BROWSER_STORE* Store = FindStore(VariableGuid, VariableName);
  if (Store != nullptr && Store->Size != Size) {
    FreeBootPool(Store->Data);
    Store->Data = nullptr;
    Store = nullptr;
  }
  const bool Fresh = Store == nullptr;
  if (Fresh) {
    EFI_STATUS Status = NewStore(VariableGuid, VariableName, Size, &Store);
    if (EFI_ERROR(Status)) return Status;
  }
  // A store the shown form sets lack stays here alone, as with no browser.
  if (BrowserShown()) {
    // A fresh store has no earlier contents: every byte counts as changed.
    if (Fresh)
      for (UINTN i = 0; i < Size; ++i) Store->Data[i] = (UINT8)~((const UINT8*)Buffer)[i];
    WriteToBrowser(VariableGuid, VariableName, Store->Data, (const UINT8*)Buffer, Size);
  }
  MemMove(Store->Data, Buffer, Size);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size, CHAR16* Buffer) {
  if (HiiHandle == nullptr || Size == nullptr) return EFI_INVALID_PARAMETER;
  if (!LocateHii()) return EFI_NOT_READY;
  CHAR8 Language[LANGUAGE_CODE_CAPACITY];
  CurrentHiiLanguage(gState.Strings, HiiHandle, Language);
  return gState.Strings->GetString(gState.Strings, Language, HiiHandle, StringId, Buffer, Size, nullptr);
}

EFI_STATUS EFIAPI SetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, const CHAR16* Text) {
  if (HiiHandle == nullptr || Text == nullptr) return EFI_INVALID_PARAMETER;
  if (!LocateHii()) return EFI_NOT_READY;
  CHAR8 Language[LANGUAGE_CODE_CAPACITY];
  CurrentHiiLanguage(gState.Strings, HiiHandle, Language);
  return gState.Strings->SetString(gState.Strings, HiiHandle, StringId, Language, Text, nullptr);
}

EFI_STATUS EFIAPI GetLoadRecord(FORMUTIL_LOAD_RECORD* Record) {
  if (Record == nullptr) return EFI_INVALID_PARAMETER;
  *Record = gState.Record;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI InstallSetupLoadTrigger() {
  EFI_HANDLE Handle = nullptr;
  EFI_STATUS Status = gBS()->InstallMultipleProtocolInterfaces(&Handle, &SETUP_LOAD_TRIGGER_PROTOCOL::Guid,
                                                               &gState.Trigger, nullptr);
  if (!EFI_ERROR(Status)) gState.Record.TriggersInstalled++;
  return Status;
}

constinit FORM_UTILITY_PROTOCOL gFormUtility = {
    LoadResources, nullptr, nullptr, GetBrowserData, SetBrowserData, GetHiiString, SetHiiString,
};
constinit FORMUTIL_CONTROL_PROTOCOL gControl = {GetLoadRecord, InstallSetupLoadTrigger};

}  // namespace

extern "C" EFI_STATUS EFIAPI FormUtilEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  TrackBrowser();
  EFI_HANDLE Handle = nullptr;
  return gBS()->InstallMultipleProtocolInterfaces(&Handle, &FORM_UTILITY_PROTOCOL::Guid, &gFormUtility,
                                                  &FORMUTIL_CONTROL_PROTOCOL::Guid, &gControl, nullptr);
}
