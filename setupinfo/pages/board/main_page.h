// The main page summary (board, hub stepping, processor, memory, display
// resolution), the component versions of the advanced page, the two
// board-state texts decoded from Super I/O registers, and the five action
// questions handed to outside components.
#pragma once

#include "setupinfo/pages/board/main_page_state.h"
#include "uefi/hii.h"

// Page-string initialisers.
VOID EFIAPI InitComponentVersions(EFI_HII_HANDLE HiiHandle, UINT16 Class);  // slot 12, class 4
VOID EFIAPI InitStrapText(EFI_HII_HANDLE HiiHandle, UINT16 Class);          // slot 18, classes 1 and 2
VOID EFIAPI InitConfigurationText(EFI_HII_HANDLE HiiHandle, UINT16 Class);  // slot 19, classes 1 and 2
VOID EFIAPI InitMainPageSummary(EFI_HII_HANDLE HiiHandle, UINT16 Class);    // slot 24, class 1

// Notified on installation of the resolution trigger protocol.
VOID EFIAPI ShowResolution(EFI_EVENT Event, VOID* Context);

// Item callbacks. Each declines (EFI_UNSUPPORTED) for another browser
// action or when there is nothing to call, and answers EFI_SUCCESS once it
// has handed the action on; the called function's status is its own.
EFI_STATUS EFIAPI OnMainPageAction(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);  // 1: 0x536
EFI_STATUS EFIAPI OnNetworkSummaryAction(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass,
                                         UINT16 Key);  // 8: 0x538, 0x53B
EFI_STATUS EFIAPI OnToolAction1(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);  // 8: 0x53F
EFI_STATUS EFIAPI OnToolAction2(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);  // 8: 0x541

constexpr UINT16 MAIN_PAGE_ACTION_KEY = 0x536;

// Main page strings (class 1).
constexpr UINT16 STR_BOARD = 0x1063;
constexpr UINT16 STR_HUB_STEPPING = 0x1064;
constexpr UINT16 STR_PROCESSOR_BRAND = 0x1065;
constexpr UINT16 STR_PROCESSOR_VALUE = 0x1066;
constexpr UINT16 STR_PROCESSOR_ID = 0x1067;
constexpr UINT16 STR_PROCESSOR_RESOURCES = 0x1068;
constexpr UINT16 STR_TOTAL_MEMORY = 0x106C;
constexpr UINT16 STR_TOTAL_WITH_GRAPHICS = 0x106E;
constexpr UINT16 STR_MEMORY_MODE = 0x106F;       // also the single-channel template
constexpr UINT16 STR_MEMORY_MODE_DUAL = 0x1070;
inline constexpr UINT16 MemorySlotStrings[] = {0x1071, 0x1072, 0x1073, 0x1074};
constexpr UINT16 STR_RESOLUTION = 0x107A;
constexpr UINT16 STR_SLOT_EMPTY = 0x1088;

// Board-state texts (classes 1 and 2).
constexpr UINT16 STR_STRAP = 0x0E23;
constexpr UINT16 STR_STRAP_SET = 0x0E25;
constexpr UINT16 STR_STRAP_CLEAR = 0x0E26;
constexpr UINT16 STR_CONFIGURATION = 0x0E27;
constexpr UINT16 STR_CONFIGURATION_FIRST = 0x0E29;  // + index, 0 to 12

// Component versions (class 4), in the order they are shown.
inline constexpr UINT16 ComponentVersionStrings[] = {0x0B58, 0x0B5B, 0x0B5E, 0x0B61, 0x0B64, 0x0B6A};

// The hub's revision below this shows as the first stepping.
constexpr UINT8 HUB_SECOND_STEPPING_REVISION = 5;
