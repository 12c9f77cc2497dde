// Variables the platform's management-engine support leaves for setup.
#pragma once

#include "uefi/base.h"

// MeInfoSetup: state code in the low four bits of byte 0, then the four
// version numbers in display order.
struct ME_INFO_SETUP {
  static constexpr EFI_GUID Guid = {0x78259433, 0x7B6D, 0x4DB3, {0x9A, 0xE8, 0x36, 0xC4, 0xC2, 0xC3, 0xA1, 0x7D}};
  UINT8 State;
  UINT8 Reserved[3];
  UINT32 Version[4];
};
static_assert(sizeof(ME_INFO_SETUP) == 20);
static_assert(__builtin_offsetof(ME_INFO_SETUP, Version) == 4);

// PttInfoVariable: two numbers shown as "a / b".
struct PTT_INFO_VARIABLE {
  static constexpr EFI_GUID Guid = {0x9E6EAE27, 0xC452, 0x49E6, {0x99, 0xD9, 0xB4, 0x5D, 0x1C, 0xF9, 0x1C, 0x5A}};
  UINT8 First;
  UINT8 Second;
};
static_assert(sizeof(PTT_INFO_VARIABLE) == 2);

inline constexpr CHAR16 ME_INFO_SETUP_NAME[] = u"MeInfoSetup";
inline constexpr CHAR16 PTT_INFO_VARIABLE_NAME[] = u"PttInfoVariable";
