// The Secure Boot page's key actions: clear, restore the defaults, save all
// keys to files, and delete, set or append one key variable from its default
// file or a file the user chooses. Each asks first through the message box
// service and refreshes the page's Secure Boot state afterwards.
#pragma once

#include "uefi/hii.h"

// Item callbacks, class 0x40, acting only for EFI_BROWSER_ACTION_CHANGING;
// each returns EFI_SUCCESS.
EFI_STATUS EFIAPI OnSecureBootInstallDefaults(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass,
                                              UINT16 Key);  // 0x506
EFI_STATUS EFIAPI OnSecureBootRestoreKeys(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass,
                                          UINT16 Key);  // 0x507, 0x508, 0x50B
EFI_STATUS EFIAPI OnSecureBootSaveKeys(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass,
                                       UINT16 Key);  // 0x50C
EFI_STATUS EFIAPI OnSecureBootKeyVariable(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass,
                                          UINT16 Key);  // 0x50D-0x51A

constexpr UINT16 KEY_INSTALL_DEFAULTS_SILENTLY = 0x506;
constexpr UINT16 KEY_DELETE_ALL_KEYS = 0x507;
constexpr UINT16 KEY_RESTORE_DEFAULT_KEYS = 0x508;
constexpr UINT16 KEY_RESTORE_DEFAULT_KEYS_IF_SET = 0x50B;
constexpr UINT16 KEY_SAVE_ALL_KEYS = 0x50C;

// One key-variable question: which entry of the key table, and what to do.
enum KEY_VARIABLE_OPERATION : UINT8 { KEY_OPERATION_DELETE, KEY_OPERATION_SET, KEY_OPERATION_APPEND };
struct KEY_VARIABLE_QUESTION {
  UINT16 Key;
  UINT8 Index;
  KEY_VARIABLE_OPERATION Operation;
};
inline constexpr KEY_VARIABLE_QUESTION KeyVariableQuestions[] = {
    {0x50D, 4, KEY_OPERATION_DELETE}, {0x50E, 4, KEY_OPERATION_SET},
    {0x50F, 3, KEY_OPERATION_DELETE}, {0x510, 3, KEY_OPERATION_SET}, {0x511, 3, KEY_OPERATION_APPEND},
    {0x512, 2, KEY_OPERATION_DELETE}, {0x513, 2, KEY_OPERATION_SET}, {0x514, 2, KEY_OPERATION_APPEND},
    {0x515, 1, KEY_OPERATION_DELETE}, {0x516, 1, KEY_OPERATION_SET}, {0x517, 1, KEY_OPERATION_APPEND},
    {0x518, 0, KEY_OPERATION_DELETE}, {0x519, 0, KEY_OPERATION_SET}, {0x51A, 0, KEY_OPERATION_APPEND},
};

// Strings of the page's boxes and lists.
constexpr EFI_STRING_ID STR_DELETE_ALL_TITLE = 2992;
constexpr EFI_STRING_ID STR_DELETE_ALL_TEXT = 3032;
constexpr EFI_STRING_ID STR_RESTORE_TITLE = 3033;
constexpr EFI_STRING_ID STR_RESTORE_TEXT = 3034;
constexpr EFI_STRING_ID STR_RESTORE_FAILED_TITLE = 3035;
constexpr EFI_STRING_ID STR_RESTORE_FAILED_TEXT = 3036;
constexpr EFI_STRING_ID STR_SET_TITLE = 3023;
constexpr EFI_STRING_ID STR_APPEND_TITLE = 3024;
constexpr EFI_STRING_ID STR_FILE_FORMAT_TITLE = 3025;
constexpr EFI_STRING_ID STR_FORMAT_UNCHANGED = 3026;  // list index 1
constexpr EFI_STRING_ID STR_FORMAT_WRAPPED = 3027;    // list index 0
constexpr EFI_STRING_ID STR_FROM_DEFAULT_QUESTION = 3037;
constexpr EFI_STRING_ID STR_FROM_FILE_QUESTION = 3038;
constexpr EFI_STRING_ID STR_OPERATION_FAILED = 3039;
constexpr EFI_STRING_ID STR_OPERATION_DONE = 3040;
constexpr EFI_STRING_ID STR_SAVE_FAILED_TITLE = 3041;
constexpr EFI_STRING_ID STR_SAVE_DONE_TITLE = 3042;
constexpr EFI_STRING_ID STR_SAVE_DONE_TEXT = 3043;
constexpr EFI_STRING_ID STR_DELETE_ONE_TITLE = 3044;
constexpr EFI_STRING_ID STR_DELETE_ONE_QUESTION = 3045;

// The file-format list's items.
constexpr UINTN FORMAT_ITEM_WRAP = 0;
constexpr UINTN FORMAT_ITEM_UNCHANGED = 1;

// What is written for a key file: the file behind the 40-byte header when it
// is already a signature-list chain, else behind the 84-byte list image
// (FORMAT_ITEM_WRAP) or unchanged (FORMAT_ITEM_UNCHANGED). *Content is pool
// memory the caller frees. EFI_INVALID_PARAMETER for an empty file, a size
// without a signature type or one whose content would not fit 32 bits.
EFI_STATUS BuildKeyFileContent(const VOID* File, UINTN FileSize, UINTN FormatItem, VOID** Content,
                               UINTN* ContentSize);
