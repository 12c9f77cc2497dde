// Outside protocols behind the main page's and the tools page's action
// questions, and the trigger that says the display resolution is settled.
// Only the first function of each action interface is called; what it does
// is its driver's business.
#pragma once

#include "uefi/base.h"
#include "uefi/hii.h"

// Main page, key 0x536: called without arguments.
struct MAIN_PAGE_ACTION_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x43E049CA, 0xD249, 0x44F0, {0x9E, 0x7D, 0x72, 0x47, 0xDA, 0xD4, 0x69, 0xB1}};
  using RunFn = EFI_STATUS(EFIAPI*)();
  RunFn Run;
};
static_assert(offsetof(MAIN_PAGE_ACTION_PROTOCOL, Run) == 0);

// Tools page, keys 0x53F and 0x541: called with the form set's HII handle.
struct TOOL_ACTION_1_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xF06171D7, 0x0940, 0x4243, {0x8B, 0x8F, 0xD1, 0xFD, 0x98, 0xE5, 0xB0, 0x4A}};
  using RunFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle);
  RunFn Run;
};
static_assert(offsetof(TOOL_ACTION_1_PROTOCOL, Run) == 0);

struct TOOL_ACTION_2_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x4A8131A0, 0x253B, 0x41F7, {0xBC, 0x89, 0x0C, 0x74, 0xDB, 0x74, 0xF6, 0xD2}};
  using RunFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle);
  RunFn Run;
};
static_assert(offsetof(TOOL_ACTION_2_PROTOCOL, Run) == 0);

// Installed once the display's mode is set; only its installation matters.
struct RESOLUTION_TRIGGER_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xF504F8FE, 0x7527, 0x4B85, {0xAE, 0x0B, 0xEB, 0xBF, 0xB5, 0xBF, 0x07, 0x16}};
};
