#include "sim/peers/profile_peers.h"

#include <cstring>

#include "sim/hii/setup_browser.h"
#include "sim/machine.h"

namespace sim {

namespace {

ProfileStoragePeer* Active = nullptr;

// Texts from the driver are copied up to a bound: a missing terminator shows
// as a cut text, not a walk through memory.
constexpr size_t MAX_TEXT = 64 * 1024;

std::u16string Copy(const CHAR16* Text, size_t Max = MAX_TEXT) {
  std::u16string Out;
  if (!Text) return Out;
  for (size_t I = 0; I < Max && Text[I]; ++I) Out.push_back(Text[I]);
  return Out;
}

SetupBrowser* CurrentBrowser() {
  Machine* M = Machine::Current();
  return M == nullptr ? nullptr : M->Hii().Browser.get();
}

}  // namespace

ProfileStoragePeer::ProfileStoragePeer() {
  Protocol_.ChangedFlag = &ChangedFlag;
  Protocol_.GetStoreBuffer = GetStoreBufferEntry;
  Protocol_.CommitStoreBuffer = CommitStoreBufferEntry;
  Protocol_.ReadText = ReadTextEntry;
  Protocol_.ShowMessage = ShowMessageEntry;
  Active = this;
}

ProfileStoragePeer::ProfileStoragePeer(const ProfileStorageProfile& Profile) : ProfileStoragePeer() {
  Profile_ = Profile;
  GetStoreStatus = Profile.GetStoreStatus;
  CommitStatus = Profile.CommitStatus;
  ReplaceOnCommit = Profile.ReplaceOnCommit;
  ReadTextStatus = Profile.ReadTextStatus;
  ShowMessageStatus = Profile.ShowMessageStatus;
  for (const auto& Answer : Profile.TextAnswers)
    TextAnswers.push_back(Answer ? std::optional<std::u16string>(ToUtf16(*Answer)) : std::nullopt);
}

ProfileStoragePeer::~ProfileStoragePeer() {
  if (Active == this) Active = nullptr;
}

void ProfileStoragePeer::DeclareStores() {
  SetupBrowser* Browser = CurrentBrowser();
  if (Browser == nullptr) return;
  for (const ProfileStoreProfile& S : Profile_.Stores)
    Browser->CreateStore(S.Name, S.Guid, S.Bytes, EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS |
                                                      EFI_VARIABLE_RUNTIME_ACCESS);
}

EFI_STATUS ProfileStoragePeer::Install(EFI_BOOT_SERVICES* BootServices) {
  if (Profile_.Late) return EFI_NOT_READY;
  Active = this;
  Handle_ = nullptr;
  return BootServices->InstallProtocolInterface(&Handle_, &PROFILE_STORAGE_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Protocol_);
}

EFI_STATUS ProfileStoragePeer::InstallLate(EFI_BOOT_SERVICES* BootServices) {
  if (!Profile_.Late) return EFI_ALREADY_STARTED;
  Active = this;
  Handle_ = nullptr;
  return BootServices->InstallProtocolInterface(&Handle_, &PROFILE_STORAGE_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Protocol_);
}

// The store is named by its 16-bit name and the record's vendor GUID; the
// browser must be open and hold it.
EFI_STATUS ProfileStoragePeer::Store(ProfileStoreEntry Entry, const CHAR16* StoreName,
                                     PROFILE_STORE_RECORD* StoreRecord, UINT8** Data, UINTN* Size) {
  ProfileStoreCall Call;
  Call.Entry = Entry;
  Call.Store = Copy(StoreName, 256);
  if (StoreRecord != nullptr) {
    Call.Guid = StoreRecord->VendorGuid;
    Call.RecordLength = StoreRecord->Length;
  }
  if (Entry == ProfileStoreEntry::Get && BeforeGetStore) BeforeGetStore(Call.Store);
  SetupBrowser* Browser = CurrentBrowser();
  std::vector<UINT8>* Bytes = nullptr;
  if (StoreName == nullptr || StoreRecord == nullptr || Data == nullptr || Size == nullptr) {
    Call.Status = EFI_INVALID_PARAMETER;
  } else if (Entry == ProfileStoreEntry::Get && GetStoreStatus != EFI_SUCCESS) {
    Call.Status = GetStoreStatus;
  } else if (Entry == ProfileStoreEntry::Commit && CommitStatus != EFI_SUCCESS) {
    Call.Status = CommitStatus;
  } else if (Browser == nullptr || !Browser->IsOpen() ||
             (Bytes = Browser->StoreBytes(Call.Store, StoreRecord->VendorGuid)) == nullptr) {
    Call.Status = EFI_NOT_FOUND;
  } else {
    if (Entry == ProfileStoreEntry::Commit && ReplaceOnCommit) {
      // A new buffer with the same bytes; the old one is freed, so a write
      // through the old pointer is a use after free.
      std::vector<UINT8> Fresh(Bytes->begin(), Bytes->end());
      Bytes->swap(Fresh);
    }
    *Data = Bytes->data();
    *Size = Bytes->size();
    Call.Status = EFI_SUCCESS;
  }
  StoreCalls.push_back(Call);
  return Call.Status;
}

EFI_STATUS EFIAPI ProfileStoragePeer::GetStoreBufferEntry(const CHAR16* StoreName, PROFILE_STORE_RECORD* StoreRecord,
                                                          UINT8** Data, UINTN* Size) {
  ProfileStoragePeer* Self = Active;
  if (!Self) return EFI_NOT_READY;
  return Self->Store(ProfileStoreEntry::Get, StoreName, StoreRecord, Data, Size);
}

EFI_STATUS EFIAPI ProfileStoragePeer::CommitStoreBufferEntry(const CHAR16* StoreName,
                                                             PROFILE_STORE_RECORD* StoreRecord, UINT8** Data,
                                                             UINTN* Size) {
  ProfileStoragePeer* Self = Active;
  if (!Self) return EFI_NOT_READY;
  return Self->Store(ProfileStoreEntry::Commit, StoreName, StoreRecord, Data, Size);
}

// The user edits the proposed text; what comes back is at most MaxLength
// characters and a NUL, as a prompt of that length allows.
EFI_STATUS EFIAPI ProfileStoragePeer::ReadTextEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID PromptStringId,
                                                    UINTN MaxLength, UINTN Flags, CHAR16* Buffer) {
  ProfileStoragePeer* Self = Active;
  if (!Self) return EFI_NOT_READY;
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  TextPromptShown Shown{HiiHandle, PromptStringId, MaxLength, Flags, Copy(Buffer, MaxLength), std::nullopt};
  if (Self->ReadTextStatus != EFI_SUCCESS) {
    Self->Prompts.push_back(Shown);
    return Self->ReadTextStatus;
  }
  std::optional<std::u16string> Answer = Shown.Proposed;
  if (!Self->TextAnswers.empty()) {
    Answer = Self->TextAnswers.front();
    Self->TextAnswers.pop_front();
  }
  if (!Answer) {
    Self->Prompts.push_back(Shown);
    return EFI_ABORTED;
  }
  if (Answer->size() > MaxLength) Answer->resize(MaxLength);
  std::memcpy(Buffer, Answer->data(), Answer->size() * sizeof(CHAR16));
  Buffer[Answer->size()] = 0;
  Shown.Given = *Answer;
  Self->Prompts.push_back(Shown);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ProfileStoragePeer::ShowMessageEntry(const CHAR16* Title, const CHAR16* Text, UINTN Kind,
                                                       UINT8* Answer) {
  ProfileStoragePeer* Self = Active;
  if (!Self) return EFI_NOT_READY;
  Self->Messages.push_back({Copy(Title), Copy(Text), Kind, Answer != nullptr});
  return Self->ShowMessageStatus;
}

}  // namespace sim
