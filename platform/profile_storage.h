// The profile storage protocol: the setup browser's live store buffers, a
// text prompt and an information box, as the platform offers them to the
// user-default profile page. Also the stores a profile covers.
#pragma once

#include "platform/net_config.h"
#include "uefi/hii.h"

// A store as the protocol is told about it: the vendor GUID first, the
// 8-bit name, and the length the last save found for it.
struct PROFILE_STORE_RECORD {
  EFI_GUID VendorGuid;
  CHAR8 Name[44];
  UINT32 Length;
  UINT32 Reserved;
};
static_assert(offsetof(PROFILE_STORE_RECORD, VendorGuid) == 0);
static_assert(offsetof(PROFILE_STORE_RECORD, Name) == 16);
static_assert(offsetof(PROFILE_STORE_RECORD, Length) == 60);
static_assert(offsetof(PROFILE_STORE_RECORD, Reserved) == 64);
static_assert(sizeof(PROFILE_STORE_RECORD) == 68);

struct PROFILE_STORAGE_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xED3A6B78, 0x28A0, 0x40C9, {0x97, 0x81, 0x24, 0xA0, 0xB9, 0xA8, 0x41, 0x04}};

  // The browser's buffer of a store it holds; it stays the browser's.
  using GetStoreBufferFn = EFI_STATUS(EFIAPI*)(const CHAR16* StoreName, PROFILE_STORE_RECORD* StoreRecord,
                                               UINT8** Data, UINTN* Size);
  // The browser takes up a change of the store's buffer; it may hand back
  // another buffer in *Data and *Size.
  using CommitStoreBufferFn = EFI_STATUS(EFIAPI*)(const CHAR16* StoreName, PROFILE_STORE_RECORD* StoreRecord,
                                                  UINT8** Data, UINTN* Size);
  // Buffer holds the proposed text on entry and the user's text (at most
  // MaxLength characters and a NUL) on success; fails when the user cancels.
  using ReadTextFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID PromptStringId, UINTN MaxLength,
                                         UINTN Flags, CHAR16* Buffer);
  // Kind 1: an information box; Answer is null for it.
  using ShowMessageFn = EFI_STATUS(EFIAPI*)(const CHAR16* Title, const CHAR16* Text, UINTN Kind, UINT8* Answer);

  UINT8* ChangedFlag;  // set to 1 once browser data was modified
  GetStoreBufferFn GetStoreBuffer;
  CommitStoreBufferFn CommitStoreBuffer;
  ReadTextFn ReadText;
  ShowMessageFn ShowMessage;
};
static_assert(offsetof(PROFILE_STORAGE_PROTOCOL, ChangedFlag) == 0);
static_assert(offsetof(PROFILE_STORAGE_PROTOCOL, GetStoreBuffer) == 8);
static_assert(offsetof(PROFILE_STORAGE_PROTOCOL, CommitStoreBuffer) == 16);
static_assert(offsetof(PROFILE_STORAGE_PROTOCOL, ReadText) == 24);
static_assert(offsetof(PROFILE_STORAGE_PROTOCOL, ShowMessage) == 32);
static_assert(sizeof(PROFILE_STORAGE_PROTOCOL) == 40);

constexpr UINTN PROFILE_INFORMATION_BOX = 1;

// The profile variables share the board variable GUID with NetConfigData.
inline constexpr const EFI_GUID& PROFILE_VARIABLE_GUID = NET_CONFIG_DATA_GUID;
constexpr UINT32 PROFILE_VARIABLE_ATTRIBUTES = 0x7;
constexpr UINTN PROFILE_COUNT = 3;
// The name variable's size: 20 characters, the last one the terminator.
constexpr UINTN PROFILE_NAME_BYTES = 40;
constexpr UINTN PROFILE_NAME_CHARACTERS = PROFILE_NAME_BYTES / sizeof(CHAR16);

// Vendors of the covered stores other than the setup variable GUID's.
constexpr EFI_GUID QUICK_SETUP_STORE_GUID = {0xC811FA38, 0x42C8, 0x4579, {0xA9, 0xBB, 0x60, 0xE9, 0x4E, 0xDD, 0xFB, 0x34}};
constexpr EFI_GUID SUPER_IO_STORE_GUID = {0x560BF58A, 0x1E0D, 0x4D7E, {0x95, 0x3F, 0x29, 0x80, 0xA2, 0x61, 0xE0, 0x31}};

// The browser store whose byte n marks profile n as saved.
inline constexpr CHAR16 PROFILE_SAVED_MARKS_NAME[] = u"TWL_USER_DEF_QSB";
