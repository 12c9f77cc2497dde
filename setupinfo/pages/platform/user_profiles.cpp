#include "setupinfo/pages/platform/user_profiles.h"

#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/page_strings.h"

namespace {

USER_PROFILES_STATE& State() { return UserProfilesState(); }

constexpr UINTN STORE_NAME_CHARACTERS = 44;
constexpr UINTN VARIABLE_NAME_CHARACTERS = 24;
constexpr UINTN RECORD_LENGTH_BYTES = 4;
// The load message: title and format 80 bytes each, the text 160 bytes.
constexpr UINTN MESSAGE_PART_CHARACTERS = 40;
constexpr UINTN MESSAGE_CHARACTERS = 80;
constexpr UINT32 MAX_RECORD_LENGTH = 0xFFFFFFFF;

constexpr UINT16 ProfileNameClasses[] = {FORM_SET_CLASS_TOOLS, FORM_SET_CLASS_MAIN};

// A name as read: 20 characters at most, and one more that stays zero, so
// a stored name of 40 bytes without its NUL still ends.
struct PROFILE_NAME {
  CHAR16 Text[PROFILE_NAME_CHARACTERS + 1];
};

// Every member is called on some path; an interface missing one is unusable.
PROFILE_STORAGE_PROTOCOL* Storage() {
  PROFILE_STORAGE_PROTOCOL* Storage = LocateOnce(State().Storage);
  if (Storage == nullptr || Storage->GetStoreBuffer == nullptr || Storage->CommitStoreBuffer == nullptr ||
      Storage->ReadText == nullptr || Storage->ShowMessage == nullptr)
    return nullptr;
  return Storage;
}

void MarkBrowserDataChanged(PROFILE_STORAGE_PROTOCOL* Storage) {
  if (Storage->ChangedFlag != nullptr) *Storage->ChangedFlag = 1;
}

void NameVariable(CHAR16 (&Out)[VARIABLE_NAME_CHARACTERS], UINTN ProfileIndex) {
  FormatWide(Out, VARIABLE_NAME_CHARACTERS, u"TWL_USER_DEF_NAME%02d", ProfileIndex);
}

void ContentVariable(CHAR16 (&Out)[VARIABLE_NAME_CHARACTERS], UINTN ProfileIndex) {
  FormatWide(Out, VARIABLE_NAME_CHARACTERS, u"TWL_USER_DEF%02d", ProfileIndex);
}

// Name is PROFILE_NAME_CHARACTERS + 1 characters and comes back zeroed past
// the stored bytes. A name variable larger than 40 bytes counts as none.
bool ReadProfileName(UINTN ProfileIndex, CHAR16* Name) {
  MemFill(Name, (PROFILE_NAME_CHARACTERS + 1) * sizeof(CHAR16), 0);
  if (gRT() == nullptr) return false;
  CHAR16 VariableName[VARIABLE_NAME_CHARACTERS];
  NameVariable(VariableName, ProfileIndex);
  UINTN Size = PROFILE_NAME_BYTES;
  if (EFI_ERROR(gRT()->GetVariable(VariableName, &PROFILE_VARIABLE_GUID, nullptr, &Size, Name))) {
    MemFill(Name, (PROFILE_NAME_CHARACTERS + 1) * sizeof(CHAR16), 0);
    return false;
  }
  Name[PROFILE_NAME_CHARACTERS] = 0;
  return true;
}

struct STORE_BUFFER {
  UINT8* Data = nullptr;
  UINTN Size = 0;
};

// The browser's live buffer of a store-table row; false when it holds none
// (or claims bytes without a buffer).
bool GetStore(PROFILE_STORAGE_PROTOCOL* Storage, PROFILE_STORE_RECORD& Row, STORE_BUFFER* Out) {
  CHAR16 StoreName[STORE_NAME_CHARACTERS];
  FormatWide(StoreName, STORE_NAME_CHARACTERS, u"%a", Row.Name);
  *Out = {};
  if (EFI_ERROR(Storage->GetStoreBuffer(StoreName, &Row, &Out->Data, &Out->Size))) return false;
  return Out->Size == 0 || Out->Data != nullptr;
}

void PutLength(UINT8* At, UINT32 Length) {
  for (UINTN i = 0; i < RECORD_LENGTH_BYTES; ++i) At[i] = (UINT8)(Length >> (8 * i));
}

UINT32 GetLength(const UINT8* At) {
  UINT32 Length = 0;
  for (UINTN i = 0; i < RECORD_LENGTH_BYTES; ++i) Length |= (UINT32)At[i] << (8 * i);
  return Length;
}

// Two passes over the store table: the first sizes the content, the second
// copies. A store that grew in between gives only its first remembered
// bytes; one that shrank or went away fails the save, as does a profile
// with no store at all (a 0-byte write would delete it and report success).
bool WriteProfileContent(PROFILE_STORAGE_PROTOCOL* Storage, UINTN ProfileIndex) {
  bool Held[PROFILE_STORE_COUNT] = {};
  UINTN Total = 0;
  for (UINTN i = 0; i < PROFILE_STORE_COUNT; ++i) {
    PROFILE_STORE_RECORD& Row = State().StoreTable[i];
    STORE_BUFFER Store;
    if (!GetStore(Storage, Row, &Store)) continue;
    if (Store.Size > MAX_RECORD_LENGTH || Total > ~(UINTN)0 - RECORD_LENGTH_BYTES - Store.Size) return false;
    Row.Length = (UINT32)Store.Size;
    Held[i] = true;
    Total += RECORD_LENGTH_BYTES + Store.Size;
  }
  if (Total == 0) return false;

  PoolBuffer<UINT8> Content;
  if (!Content.Allocate(Total, false)) return false;
  UINTN Used = 0;
  for (UINTN i = 0; i < PROFILE_STORE_COUNT; ++i) {
    if (!Held[i]) continue;
    PROFILE_STORE_RECORD& Row = State().StoreTable[i];
    STORE_BUFFER Store;
    if (!GetStore(Storage, Row, &Store) || Store.Size < Row.Length) return false;
    PutLength(Content.Get() + Used, Row.Length);
    MemMove(Content.Get() + Used + RECORD_LENGTH_BYTES, Store.Data, Row.Length);
    Used += RECORD_LENGTH_BYTES + Row.Length;
  }

  CHAR16 VariableName[VARIABLE_NAME_CHARACTERS];
  ContentVariable(VariableName, ProfileIndex);
  return !EFI_ERROR(gRT()->SetVariable(VariableName, &PROFILE_VARIABLE_GUID, PROFILE_VARIABLE_ATTRIBUTES, Used,
                                       Content.Get()));
}

bool HoldsByte(const STORE_BUFFER& Store, UINTN Index) { return Store.Data != nullptr && Store.Size > Index; }

// Byte n of the saved-marks store, only where the browser holds that byte.
void MarkProfileSaved(PROFILE_STORAGE_PROTOCOL* Storage, UINTN ProfileIndex) {
  PROFILE_STORE_RECORD Marks = {SETUP_VARIABLE_GUID, "TWL_USER_DEF_QSB", 0, 0};
  STORE_BUFFER Store;
  if (EFI_ERROR(Storage->GetStoreBuffer(PROFILE_SAVED_MARKS_NAME, &Marks, &Store.Data, &Store.Size))) return;
  if (!HoldsByte(Store, ProfileIndex)) return;
  Store.Data[ProfileIndex] = 1;
  MarkBrowserDataChanged(Storage);
  if (EFI_ERROR(Storage->CommitStoreBuffer(PROFILE_SAVED_MARKS_NAME, &Marks, &Store.Data, &Store.Size))) return;
  // The browser may have taken up the change into another buffer.
  if (HoldsByte(Store, ProfileIndex)) Store.Data[ProfileIndex] = 1;
}

// Every record must fit the data that remains, whatever its length says:
// the variable is runtime-writable. The walk stops at the first record that
// does not fit or whose store changed its size; what was copied stays.
bool CopyProfileContent(PROFILE_STORAGE_PROTOCOL* Storage, const UINT8* Content, UINTN ContentSize) {
  UINTN Position = 0;
  for (PROFILE_STORE_RECORD& Row : State().StoreTable) {
    STORE_BUFFER Store;
    if (!GetStore(Storage, Row, &Store)) continue;
    const UINTN Remaining = ContentSize - Position;
    if (Remaining < RECORD_LENGTH_BYTES) return false;
    const UINT32 Length = GetLength(Content + Position);
    if (Length > Remaining - RECORD_LENGTH_BYTES || Length != Store.Size) return false;
    MemMove(Store.Data, Content + Position + RECORD_LENGTH_BYTES, Length);
    MarkBrowserDataChanged(Storage);
    Position += RECORD_LENGTH_BYTES + Length;
  }
  return true;
}

// Title and format come from the page's package list; the name is only an
// argument. A string that cannot be read shows no box.
void ShowLoadedMessage(PROFILE_STORAGE_PROTOCOL* Storage, EFI_HII_HANDLE HiiHandle, const CHAR16* Name) {
  CHAR16 Title[MESSAGE_PART_CHARACTERS] = {};
  CHAR16 Format[MESSAGE_PART_CHARACTERS] = {};
  UINTN Size = sizeof(Title);
  if (EFI_ERROR(GetHiiString(HiiHandle, STR_PROFILE_LOADED_TITLE, &Size, Title))) return;
  Size = sizeof(Format);
  if (EFI_ERROR(GetHiiString(HiiHandle, STR_PROFILE_LOADED_TEXT, &Size, Format))) return;
  Title[MESSAGE_PART_CHARACTERS - 1] = 0;
  Format[MESSAGE_PART_CHARACTERS - 1] = 0;
  CHAR16 Text[MESSAGE_CHARACTERS];
  FormatWide(Text, MESSAGE_CHARACTERS, Format, Name);
  Storage->ShowMessage(Title, Text, PROFILE_INFORMATION_BOX, nullptr);
}

}  // namespace

VOID EFIAPI InitProfileNames(EFI_HII_HANDLE, UINT16 Class) {
  if (Class != FORM_SET_CLASS_TOOLS) return;
  State().Storage = LocateProtocol<PROFILE_STORAGE_PROTOCOL>();
  for (UINTN n = 0; n < PROFILE_COUNT; ++n) RefreshProfileStrings(n);
}

VOID RefreshProfileStrings(UINTN ProfileIndex) {
  if (ProfileIndex >= PROFILE_COUNT) return;
  PROFILE_NAME Name;
  if (!ReadProfileName(ProfileIndex, Name.Text)) return;
  const PROFILE_STRINGS& Strings = ProfileStrings[ProfileIndex];
  ForEachFormSet(ProfileNameClasses, [&](const FORM_SET_INFO& Row) {
    if (Name.Text[0] != 0) {
      SetPageStringAllLanguages(Row.HiiHandle, Strings.Name, Strings.WithName, TRUE, nullptr, (const CHAR16*)Name.Text);
    } else {
      SetPageStringAllLanguages(Row.HiiHandle, Strings.Name, Strings.WithoutName, TRUE, nullptr);
    }
  });
}

VOID SaveUserProfile(EFI_HII_HANDLE HiiHandle, UINTN ProfileIndex) {
  PROFILE_STORAGE_PROTOCOL* Profiles = Storage();
  if (Profiles == nullptr || ProfileIndex >= PROFILE_COUNT || gRT() == nullptr) return;
  {
    PoolBuffer<CHAR16> Name;
    if (!Name.Allocate(PROFILE_NAME_CHARACTERS + 1)) return;
    if (!ReadProfileName(ProfileIndex, Name.Get()))
      FormatWide(Name.Get(), PROFILE_NAME_CHARACTERS, u"User Default %d", ProfileIndex + 1);
    // The prompt takes 19 characters; a stored 20-character name is cut.
    Name[PROFILE_NAME_MAX_LENGTH] = 0;
    if (EFI_ERROR(Profiles->ReadText(HiiHandle, STR_PROFILE_NAME_PROMPT, PROFILE_NAME_MAX_LENGTH, 0, Name.Get())))
      return;
    Name[PROFILE_NAME_MAX_LENGTH] = 0;
    CHAR16 VariableName[VARIABLE_NAME_CHARACTERS];
    NameVariable(VariableName, ProfileIndex);
    gRT()->SetVariable(VariableName, &PROFILE_VARIABLE_GUID, PROFILE_VARIABLE_ATTRIBUTES, PROFILE_NAME_BYTES,
                       Name.Get());
  }
  if (WriteProfileContent(Profiles, ProfileIndex)) MarkProfileSaved(Profiles, ProfileIndex);
  RefreshProfileStrings(ProfileIndex);
}

VOID LoadUserProfile(EFI_HII_HANDLE HiiHandle, UINTN ProfileIndex) {
  PROFILE_STORAGE_PROTOCOL* Profiles = Storage();
  if (Profiles == nullptr || ProfileIndex >= PROFILE_COUNT) return;
  PROFILE_NAME Name;
  if (!ReadProfileName(ProfileIndex, Name.Text)) return;
  CHAR16 VariableName[VARIABLE_NAME_CHARACTERS];
  ContentVariable(VariableName, ProfileIndex);
  PoolBuffer<UINT8> Content;
  UINTN Size = 0;
  if (EFI_ERROR(ReadWholeVariable(VariableName, &PROFILE_VARIABLE_GUID, Content, &Size))) return;
  const bool Whole = CopyProfileContent(Profiles, Content.Get(), Size);
  Content.Reset();
  if (Whole) ShowLoadedMessage(Profiles, HiiHandle, Name.Text);
}

EFI_STATUS EFIAPI OnSaveUserProfile(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  if (Key < PROFILE_FIRST_KEY || Key > PROFILE_LAST_KEY || Storage() == nullptr) return EFI_UNSUPPORTED;
  SaveUserProfile(HiiHandle, (UINTN)(Key - PROFILE_FIRST_KEY) / 2);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnLoadUserProfile(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  if (Key < PROFILE_FIRST_KEY || Key > PROFILE_LAST_KEY || Storage() == nullptr) return EFI_UNSUPPORTED;
  LoadUserProfile(HiiHandle, (UINTN)(Key - PROFILE_FIRST_KEY) / 2);
  return EFI_SUCCESS;
}
