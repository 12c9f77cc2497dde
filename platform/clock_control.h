// The platform's clock generator driver as the clock page sees it: the clock
// control protocol with its records, the boot-phase information protocol,
// and the variables the page shares with the clock driver.
#pragma once

#include "uefi/base.h"

// Library statuses written by every operation; 0 is success.
constexpr UINT32 ICC_LIB_STATUS_SUCCESS = 0;

struct ICC_LIB_VERSION {
  UINT16 Major;
  UINT16 Minor;
  UINT16 Hotfix;
  UINT16 Build;
};
static_assert(sizeof(ICC_LIB_VERSION) == 8);

// Protocol spread-mode encoding.
constexpr UINT32 ICC_SPREAD_NONE = 0;
constexpr UINT32 ICC_SPREAD_UP = 1;
constexpr UINT32 ICC_SPREAD_CENTER = 2;
constexpr UINT32 ICC_SPREAD_DOWN = 4;

struct ICC_CLOCK_CAPABILITIES {
  UINT32 MinFrequency;  // Hz
  UINT32 MaxFrequency;  // Hz
  UINT8 SpreadChange;
  UINT8 UpAllowed;
  UINT8 CenterAllowed;
  UINT8 DownAllowed;
  UINT8 MaxSpread;  // hundredths of a percent
  UINT8 Reserved;
  UINT16 UsageMask;
};
static_assert(offsetof(ICC_CLOCK_CAPABILITIES, MaxFrequency) == 4);
static_assert(offsetof(ICC_CLOCK_CAPABILITIES, SpreadChange) == 8);
static_assert(offsetof(ICC_CLOCK_CAPABILITIES, DownAllowed) == 11);
static_assert(offsetof(ICC_CLOCK_CAPABILITIES, MaxSpread) == 12);
static_assert(offsetof(ICC_CLOCK_CAPABILITIES, UsageMask) == 14);
static_assert(sizeof(ICC_CLOCK_CAPABILITIES) == 16);

// The spread mode is read as its low byte and written whole.
struct ICC_CLOCK_SETTINGS {
  UINT32 Frequency;  // Hz
  UINT32 SpreadMode;
  UINT8 Spread;  // hundredths of a percent
  UINT8 Reserved[3];
  UINT32 Option;
};
static_assert(offsetof(ICC_CLOCK_SETTINGS, SpreadMode) == 4);
static_assert(offsetof(ICC_CLOCK_SETTINGS, Spread) == 8);
static_assert(offsetof(ICC_CLOCK_SETTINGS, Option) == 12);
static_assert(sizeof(ICC_CLOCK_SETTINGS) == 16);

struct ICC_CLOCK_CONTROL_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x8E8CBC58, 0x834C, 0x41E3, {0xB8, 0xCA, 0xF0, 0x0C, 0xCF, 0x5A, 0x71, 0x7C}};

  using GetIccInfoFn = EFI_STATUS(EFIAPI*)(ICC_LIB_VERSION* Version, VOID* Unused, UINT32* LibStatus);
  using GetClockCapabilitiesFn = EFI_STATUS(EFIAPI*)(UINT8 Clock, ICC_CLOCK_CAPABILITIES* Capabilities,
                                                     UINT32* LibStatus);
  using GetClockSettingsFn = EFI_STATUS(EFIAPI*)(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus);
  using SetClockSettingsFn = EFI_STATUS(EFIAPI*)(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus);
  using FrequencyFn = EFI_STATUS(EFIAPI*)(UINT8 Clock, UINT32 Frequency, UINT32* Result, UINT32* LibStatus);

  GetIccInfoFn GetIccInfo;
  VOID* Reserved2;
  GetClockCapabilitiesFn GetClockCapabilities;
  GetClockSettingsFn GetClockSettings;
  SetClockSettingsFn SetClockSettingsA;
  VOID* Reserved6;
  SetClockSettingsFn SetClockSettingsB;
  VOID* Reserved8[3];
  FrequencyFn NormalizeFrequency;
  FrequencyFn ResolveFrequency;
};
static_assert(offsetof(ICC_CLOCK_CONTROL_PROTOCOL, GetClockCapabilities) == 2 * sizeof(VOID*));
static_assert(offsetof(ICC_CLOCK_CONTROL_PROTOCOL, GetClockSettings) == 3 * sizeof(VOID*));
static_assert(offsetof(ICC_CLOCK_CONTROL_PROTOCOL, SetClockSettingsA) == 4 * sizeof(VOID*));
static_assert(offsetof(ICC_CLOCK_CONTROL_PROTOCOL, SetClockSettingsB) == 6 * sizeof(VOID*));
static_assert(offsetof(ICC_CLOCK_CONTROL_PROTOCOL, NormalizeFrequency) == 10 * sizeof(VOID*));
static_assert(offsetof(ICC_CLOCK_CONTROL_PROTOCOL, ResolveFrequency) == 11 * sizeof(VOID*));

// A record of the boot phase; bit 0x10 of byte 1 means the ready-to-boot
// point has passed.
struct BOOT_PHASE_INFO_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xF31C3331, 0xBC1C, 0x4806, {0xBE, 0xF4, 0x4C, 0xAC, 0x87, 0xE7, 0xE0, 0x78}};
  UINT8 Flags[2];
};
constexpr UINT8 BOOT_PHASE_AFTER_READY_TO_BOOT = 0x10;
static_assert(offsetof(BOOT_PHASE_INFO_PROTOCOL, Flags) == 0);

// IccAdvancedSetupDataVar and AfterReadyToBoot share this GUID.
inline constexpr EFI_GUID ICC_SETUP_DATA_GUID = {
    0x7B77FB8B, 0x1E0D, 0x4D7E, {0x95, 0x3F, 0x39, 0x80, 0xA2, 0x61, 0xE0, 0x77}};
inline constexpr EFI_GUID ICC_PERSISTENT_DATA_GUID = {
    0x64192DCA, 0xD034, 0x49D2, {0xA6, 0xDE, 0x65, 0xA8, 0x29, 0xEB, 0x4C, 0x74}};
inline constexpr CHAR16 ICC_ADVANCED_SETUP_DATA_NAME[] = u"IccAdvancedSetupDataVar";
inline constexpr CHAR16 ICC_PERSISTENT_DATA_NAME[] = u"IccPersistentData";
inline constexpr CHAR16 AFTER_READY_TO_BOOT_NAME[] = u"AfterReadyToBoot";

constexpr UINTN ICC_CLOCK_COUNT = 8;

// IccAdvancedSetupDataVar, as the page and the browser exchange it.
#pragma pack(push, 1)
struct ICC_ADVANCED_SETUP_DATA {
  UINT16 Frequency[ICC_CLOCK_COUNT];  // 10 kHz
  UINT8 SpreadMode[ICC_CLOCK_COUNT];  // page index: 0 down, 1 center, 2 up, 3 none
  UINT16 Spread[ICC_CLOCK_COUNT];     // hundredths of a percent
  UINT8 SpreadChange[ICC_CLOCK_COUNT];
  UINT8 FrequencyAdjustable[ICC_CLOCK_COUNT];
  UINT8 Reserved38[8];
  UINT8 Option[ICC_CLOCK_COUNT];
  UINT8 Reserved48;
  UINT8 SettingsOffered;
};
#pragma pack(pop)
static_assert(offsetof(ICC_ADVANCED_SETUP_DATA, SpreadMode) == 0x10);
static_assert(offsetof(ICC_ADVANCED_SETUP_DATA, Spread) == 0x18);
static_assert(offsetof(ICC_ADVANCED_SETUP_DATA, SpreadChange) == 0x28);
static_assert(offsetof(ICC_ADVANCED_SETUP_DATA, FrequencyAdjustable) == 0x30);
static_assert(offsetof(ICC_ADVANCED_SETUP_DATA, Option) == 0x40);
static_assert(offsetof(ICC_ADVANCED_SETUP_DATA, SettingsOffered) == 0x49);
static_assert(sizeof(ICC_ADVANCED_SETUP_DATA) == 74);
