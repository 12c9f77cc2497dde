// The clock control page of the class 4 form set: the clock generator's
// eight outputs, their frequency and spread settings, and the restart
// handshake at the ready-to-boot point.
#pragma once

#include "setupinfo/pages/platform/clock_control_state.h"
#include "uefi/hii.h"

// Page-string initialiser, slot 10: class 4 only, once.
VOID EFIAPI InitClockControl(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// Ready-to-boot notification, registered by the initialiser.
VOID EFIAPI OnIccReadyToBoot(EFI_EVENT Event, VOID* Context);

// Item callbacks, class 4; each acts for EFI_BROWSER_ACTION_CHANGED only.
EFI_STATUS EFIAPI OnClockPageRefresh(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
EFI_STATUS EFIAPI OnClockSelected(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
EFI_STATUS EFIAPI OnClockFrequencyChanged(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
// Mode A (SetClockSettingsA) for keys 0x4C9 + 5n, mode B (SetClockSettingsB)
// for 0x4CB + 5n.
EFI_STATUS EFIAPI OnClockApply(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

constexpr UINT16 KEY_CLOCK_PAGE_REFRESH = 0x4BC;
constexpr UINT16 KEY_CLOCK_SELECT_FIRST = 0x4C0;
// Five keys per clock from here: frequency, apply A, -, apply B, -.
constexpr UINT16 KEY_CLOCK_SETTINGS_FIRST = 0x4C8;
constexpr UINT16 KEY_CLOCK_SETTINGS_STEP = 5;
constexpr UINT16 KEY_CLOCK_SETTINGS_LAST = KEY_CLOCK_SETTINGS_FIRST + KEY_CLOCK_SETTINGS_STEP * 7;
constexpr UINTN KEY_PLACE_APPLY_A = 1;
constexpr UINTN KEY_PLACE_APPLY_B = 3;

constexpr UINT16 STR_ICC_VERSION = 0x0A3F;
constexpr UINT16 STR_CLOCK_NAME = 0x0A54;
constexpr UINT16 STR_CLOCK_USAGE_FIRST = 0x0A55;
constexpr UINT16 STR_CLOCK_USAGE_SECOND = 0x0A56;
constexpr UINT16 STR_CLOCK_MAX_FREQUENCY = 0x0A71;
constexpr UINT16 STR_CLOCK_MIN_FREQUENCY = 0x0A72;
constexpr UINT16 STR_CLOCK_CURRENT_FREQUENCY = 0x0A73;
constexpr UINT16 STR_CLOCK_SPREAD_MODES = 0x0A74;
constexpr UINT16 STR_CLOCK_SPREAD_MODE = 0x0A75;
constexpr UINT16 STR_CLOCK_MAX_SPREAD = 0x0A76;
constexpr UINT16 STR_CLOCK_CURRENT_SPREAD = 0x0A77;

// Message texts of the class 4 package list.
constexpr UINT16 MSG_ICC_NOT_OFFERED = 0x0A78;
constexpr UINT16 MSG_ICC_REFRESH_FAILED = 0x0A79;
constexpr UINT16 MSG_ICC_SET_FAILED_CONTINUE = 0x0A7B;
constexpr UINT16 MSG_ICC_RESTART_NEEDED = 0x0A7C;
constexpr UINT16 MSG_ICC_LOCKED = 0x0A7D;
constexpr UINT16 MSG_ICC_FREQUENCY_OUT_OF_RANGE = 0x0A7E;
constexpr UINT16 MSG_ICC_INVALID_CLOCK = 0x0A7F;
constexpr UINT16 MSG_ICC_SPREAD_OUT_OF_RANGE = 0x0A80;
constexpr UINT16 MSG_ICC_CLOCK_DISABLED = 0x0A81;
constexpr UINT16 MSG_ICC_CLOCK_BUSY = 0x0A82;
constexpr UINT16 MSG_ICC_SPREAD_NOT_ALLOWED = 0x0A83;
constexpr UINT16 MSG_ICC_FREQUENCY_NOT_ALLOWED = 0x0A84;
constexpr UINT16 MSG_ICC_NOT_AVAILABLE = 0x0A85;
constexpr UINT16 MSG_ICC_APPLIED_A = 0x0A86;
constexpr UINT16 MSG_ICC_FAILED = 0x0A87;
constexpr UINT16 MSG_ICC_APPLIED_B = 0x0A88;

// IccPersistentData values.
constexpr UINT8 ICC_PERSISTENT_NOTHING = 0;
constexpr UINT8 ICC_PERSISTENT_RESTART_REQUESTED = 1;
constexpr UINT8 ICC_PERSISTENT_REQUEST_SEEN = 2;
constexpr UINT32 ICC_VARIABLE_ATTRIBUTES = 0x7;

// Apply modes.
enum CLOCK_APPLY_MODE : UINT8 { CLOCK_APPLY_A, CLOCK_APPLY_B };
