// Three named user-default profiles on the tools page: saving one stores the
// browser's current copies of the covered stores in one variable under a
// name the user gives; loading copies them back into the browser's buffers.
// Each profile's name is shown on the tools page and on the main page.
#pragma once

#include "setupinfo/pages/platform/user_profiles_state.h"
#include "uefi/hii.h"

// Page-string initialiser, slot 17; acts only for class 8.
VOID EFIAPI InitProfileNames(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// ProfileIndex 0, 1 or 2; any other does nothing.
VOID SaveUserProfile(EFI_HII_HANDLE HiiHandle, UINTN ProfileIndex);
VOID LoadUserProfile(EFI_HII_HANDLE HiiHandle, UINTN ProfileIndex);
VOID RefreshProfileStrings(UINTN ProfileIndex);

// Item callbacks, class 8, acting only for EFI_BROWSER_ACTION_CHANGING:
// 0x530, 0x532, 0x534 save profiles 0, 1, 2; 0x531, 0x533, 0x535 load them.
EFI_STATUS EFIAPI OnSaveUserProfile(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
EFI_STATUS EFIAPI OnLoadUserProfile(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

constexpr UINT16 PROFILE_FIRST_KEY = 0x530;
constexpr UINT16 PROFILE_LAST_KEY = 0x535;

// Longest name the prompt takes; the terminator follows within the 40 bytes.
constexpr UINTN PROFILE_NAME_MAX_LENGTH = 19;

struct PROFILE_STRINGS {
  UINT16 Name;         // shown on both pages
  UINT16 WithName;     // template taking the name
  UINT16 WithoutName;  // for a profile saved with an empty name
};
inline constexpr PROFILE_STRINGS ProfileStrings[PROFILE_COUNT] = {
    {3449, 3450, 3451},
    {3452, 3453, 3454},
    {3455, 3456, 3457},
};
constexpr UINT16 STR_PROFILE_NAME_PROMPT = 3460;
constexpr UINT16 STR_PROFILE_LOADED_TITLE = 3461;
constexpr UINT16 STR_PROFILE_LOADED_TEXT = 3462;  // a format taking the name
