// Stand-in for the platform's profile storage protocol: the setup browser's
// live store buffers (the buffers themselves, so what the driver writes
// there is what the browser saves), the browser's changed flag, a text
// prompt answered from a script, and an information box that is recorded
// like the message box service's. Every call is recorded. The functions
// take no instance pointer, so one peer at a time is the installed one; it
// reaches the browser of the machine powered now, boot after boot.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile_storage.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

enum class ProfileStoreEntry { Get, Commit };

struct ProfileStoreCall {
  ProfileStoreEntry Entry = ProfileStoreEntry::Get;
  std::u16string Store;
  EFI_GUID Guid{};  // the record's first 16 bytes
  UINT32 RecordLength = 0;  // the record's length field during the call
  EFI_STATUS Status = EFI_SUCCESS;
};

struct TextPromptShown {
  EFI_HII_HANDLE HiiHandle = nullptr;
  EFI_STRING_ID Prompt = 0;
  UINTN MaxLength = 0;
  UINTN Flags = 0;
  std::u16string Proposed;             // the buffer's text on entry, read up to MaxLength characters
  std::optional<std::u16string> Given;  // what the user typed; none: cancelled
};

struct ProfileMessageShown {
  std::u16string Title;
  std::u16string Text;
  UINTN Kind = 0;
  bool AnswerPointer = false;
};

class ProfileStoragePeer {
 public:
  ProfileStoragePeer();
  explicit ProfileStoragePeer(const ProfileStorageProfile& Profile);
  ~ProfileStoragePeer();
  ProfileStoragePeer(const ProfileStoragePeer&) = delete;
  ProfileStoragePeer& operator=(const ProfileStoragePeer&) = delete;

  // The profile's stores, declared to the browser of this boot before it
  // opens: each holds its bytes until its variable exists.
  void DeclareStores();
  // Installs the protocol unless the profile has it late; InstallLate then.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  EFI_STATUS InstallLate(EFI_BOOT_SERVICES* BootServices);
  PROFILE_STORAGE_PROTOCOL* Protocol() { return &Protocol_; }

  UINT8 ChangedFlag = 0;
  // Answers to the prompts, front first: a text, or none for a cancel. With
  // the queue empty the user takes the proposed text.
  std::deque<std::optional<std::u16string>> TextAnswers;
  EFI_STATUS GetStoreStatus = EFI_SUCCESS;
  EFI_STATUS CommitStatus = EFI_SUCCESS;
  bool ReplaceOnCommit = false;
  EFI_STATUS ReadTextStatus = EFI_SUCCESS;
  EFI_STATUS ShowMessageStatus = EFI_SUCCESS;
  // Called before each GetStoreBuffer answers, with the store's name: the
  // rest of the platform changing a store between two calls.
  std::function<void(const std::u16string& Store)> BeforeGetStore;

  std::vector<ProfileStoreCall> StoreCalls;
  std::vector<TextPromptShown> Prompts;
  std::vector<ProfileMessageShown> Messages;

 private:
  static EFI_STATUS EFIAPI GetStoreBufferEntry(const CHAR16* StoreName, PROFILE_STORE_RECORD* StoreRecord,
                                               UINT8** Data, UINTN* Size);
  static EFI_STATUS EFIAPI CommitStoreBufferEntry(const CHAR16* StoreName, PROFILE_STORE_RECORD* StoreRecord,
                                                  UINT8** Data, UINTN* Size);
  static EFI_STATUS EFIAPI ReadTextEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID PromptStringId, UINTN MaxLength,
                                         UINTN Flags, CHAR16* Buffer);
  static EFI_STATUS EFIAPI ShowMessageEntry(const CHAR16* Title, const CHAR16* Text, UINTN Kind, UINT8* Answer);
  EFI_STATUS Store(ProfileStoreEntry Entry, const CHAR16* StoreName, PROFILE_STORE_RECORD* StoreRecord, UINT8** Data,
                   UINTN* Size);

  ProfileStorageProfile Profile_;
  PROFILE_STORAGE_PROTOCOL Protocol_{};
  EFI_HANDLE Handle_ = nullptr;
};

}  // namespace sim
