// Choosing a key file: a list of the simple-file-system volumes, then a walk
// through the chosen volume's directories in list boxes until a file is
// chosen, which is read whole. List items are HII strings created on the fly
// in the Secure Boot package list.
#pragma once

#include "platform/message_box.h"
#include "uefi/file.h"
#include "uefi/hii.h"

constexpr EFI_STRING_ID STR_VOLUME_LIST_TITLE = 2999;
constexpr EFI_STRING_ID STR_DIRECTORY_LIST_TITLE = 3000;
constexpr EFI_STRING_ID STR_NO_VOLUME_TITLE = 3046;
constexpr EFI_STRING_ID STR_NO_VOLUME_TEXT = 3047;
constexpr EFI_STRING_ID STR_EMPTY_DIRECTORY_TITLE = 3048;
constexpr EFI_STRING_ID STR_EMPTY_DIRECTORY_TEXT = 3049;

// Volume list item: byte 32 holds the state; a volume without a device path
// is listed with no text.
constexpr UINTN VOLUME_ITEM_STATE_OFFSET = 32;
constexpr UINT8 VOLUME_ITEM_HAS_PATH = 0;
constexpr UINT8 VOLUME_ITEM_NO_DEVICE_PATH = 2;

// The path of the selection below the volume root, terminator included.
constexpr UINTN KEY_FILE_PATH_CHARS = 120;

// Bounds on what removable media may claim. A key file larger than this is
// larger than any key variable a variable store would take.
constexpr UINT64 KEY_FILE_SIZE_LIMIT = 1024 * 1024;
// One file information record: the header and a name of 1024 characters.
constexpr UINTN FILE_INFO_SIZE_LIMIT = SIZE_OF_EFI_FILE_INFO + 1025 * sizeof(CHAR16);
// Entries read from one directory; the rest is not shown. Each costs a
// string in the package list, which lives until the driver ends.
constexpr UINTN DIRECTORY_ENTRY_LIMIT = 1024;

// One directory entry, kept in display order.
struct KEY_FILE_ENTRY {
  UINT64 Kind;      // EFI_FILE_DIRECTORY or 0
  UINT64 FileSize;  // as the file information record gives it
  CHAR16* Name;     // pool text owned by the entry
  UINT64 StringId;  // the list item's string
};
static_assert(sizeof(KEY_FILE_ENTRY) == 32);

// With Browse false only a volume is chosen. With Browse true the chosen
// file's content (*FileData, pool memory the caller frees; null for an
// empty file) and size come back with its path (*PathText, pool memory the
// caller frees). EFI_ABORTED when the user left a list.
EFI_STATUS SelectKeyFile(BOOLEAN Browse, EFI_HANDLE* VolumeHandle, CHAR16** PathText, VOID** FileData,
                         UINTN* FileSize);

// One HII string holding Text in every language of the Secure Boot package
// list; 0 when it could not be created.
EFI_STRING_ID NewListString(const CHAR16* Text);

// Every entry of an open directory in display order (*Entries is pool memory
// freed with FreeKeyFileEntries). EFI_NOT_FOUND for an empty directory;
// EFI_VOLUME_CORRUPTED for a record that does not hold together.
EFI_STATUS ReadKeyFileDirectory(EFI_FILE_PROTOCOL* Directory, KEY_FILE_ENTRY** Entries, UINTN* Count);
void FreeKeyFileEntries(KEY_FILE_ENTRY* Entries, UINTN Count);

// The path after choosing Name: ".." removes the last component, "." leaves
// the path alone, anything else is appended. EFI_BUFFER_TOO_SMALL, and the
// path unchanged, when the result would not fit.
EFI_STATUS UpdateKeyFilePath(CHAR16* Path, const CHAR16* Name);
