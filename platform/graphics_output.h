// What the board's graphics stack offers beside the published display
// protocols: per-output level and switch protocols on output handles, the
// marker a driver handle carries to be left out of display-output
// selection, and the variables that keep the chosen output.
#pragma once

#include "uefi/base.h"

// On an output handle. Supported is non-zero when the output has levels.
struct OUTPUT_LEVEL_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x6FF23F1D, 0x877C, 0x4B1B, {0x93, 0xFC, 0xF1, 0x42, 0xB2, 0xEE, 0xA6, 0xA7}};
  using GetMaxLevelFn = EFI_STATUS(EFIAPI*)(OUTPUT_LEVEL_PROTOCOL* This, UINT32* Max);
  using GetLevelFn = EFI_STATUS(EFIAPI*)(OUTPUT_LEVEL_PROTOCOL* This, UINT32* Level);
  using SetLevelFn = EFI_STATUS(EFIAPI*)(OUTPUT_LEVEL_PROTOCOL* This, UINT32 Level);

  UINT32 Supported;
  GetMaxLevelFn GetMaxLevel;
  GetLevelFn GetLevel;
  SetLevelFn SetLevel;
};
static_assert(__builtin_offsetof(OUTPUT_LEVEL_PROTOCOL, GetMaxLevel) == 8);
static_assert(__builtin_offsetof(OUTPUT_LEVEL_PROTOCOL, GetLevel) == 16);
static_assert(__builtin_offsetof(OUTPUT_LEVEL_PROTOCOL, SetLevel) == 24);
static_assert(sizeof(OUTPUT_LEVEL_PROTOCOL) == 32);

// On an output handle. Supported is non-zero when the switch is usable.
struct OUTPUT_SWITCH_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xF51DD33A, 0xE57F, 0x4020, {0xB4, 0x66, 0xF4, 0xC1, 0x71, 0xC6, 0xE4, 0xF7}};
  using SwitchFn = EFI_STATUS(EFIAPI*)(OUTPUT_SWITCH_PROTOCOL* This);

  UINT32 Supported;
  SwitchFn SwitchOn;
  SwitchFn SwitchOff;
};
static_assert(__builtin_offsetof(OUTPUT_SWITCH_PROTOCOL, SwitchOn) == 8);
static_assert(__builtin_offsetof(OUTPUT_SWITCH_PROTOCOL, SwitchOff) == 16);
static_assert(sizeof(OUTPUT_SWITCH_PROTOCOL) == 24);

// Only its presence on a driver's handle counts; it has no interface.
struct EXCLUDED_DRIVER_MARKER_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x2362EA9C, 0x84E5, 0x4DFF, {0x83, 0xBC, 0xB5, 0xAC, 0xEC, 0xB5, 0x7C, 0xBB}};
};

// Vendor of OrvGopOutputDp and ChildHandleDpVar0..f.
constexpr EFI_GUID GOP_OUTPUT_VARIABLE_GUID = {0x01368881, 0xC4AD, 0x4B1D, {0xB6, 0x31, 0xD5, 0x7A, 0x8E, 0xC8, 0xDB, 0x6B}};

// The chosen output's device path, end node included; survives reboots.
inline constexpr CHAR16 GOP_OUTPUT_DP_NAME[] = u"OrvGopOutputDp";
// "ChildHandleDpVar" and one lower-case hexadecimal digit: the output index.
inline constexpr CHAR16 CHILD_HANDLE_DP_NAME_FORMAT[] = u"ChildHandleDpVar%01x";
constexpr UINTN CHILD_HANDLE_DP_NAME_CHARS = 18;  // 17 characters and the NUL
constexpr UINTN CHILD_HANDLE_DP_VARIABLES = 16;

// Under the setup variable GUID, volatile, rebuilt at every page load.
struct GOP_POLICY_SETUP_DATA {
  UINT8 ControllerCount;  // display controllers accepted
  UINT8 OutputCount;      // outputs found
};
static_assert(sizeof(GOP_POLICY_SETUP_DATA) == 2);
inline constexpr CHAR16 GOP_POLICY_SETUP_DATA_NAME[] = u"OrvGopPolicySetupData";

struct NB_GOP_PLATFORM_DATA {
  UINT8 LevelOffered;   // 1: some output offers the output level protocol
  UINT8 SwitchOffered;  // 1: some output offers the output switch protocol
};
static_assert(sizeof(NB_GOP_PLATFORM_DATA) == 2);
inline constexpr CHAR16 NB_GOP_PLATFORM_DATA_NAME[] = u"NBGopPlatformData";

constexpr UINT32 GOP_OUTPUT_DP_ATTRIBUTES = 0x7;
constexpr UINT32 GOP_VOLATILE_ATTRIBUTES = 0x6;
