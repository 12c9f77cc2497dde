// The board's network settings variable, read by both drivers: the setup
// driver shows it, the update locator takes the download server choice.
#pragma once

#include "uefi/base.h"

constexpr EFI_GUID NET_CONFIG_DATA_GUID = {0x8F132913, 0x6907, 0x4192, {0xA2, 0x27, 0x6C, 0xBC, 0xD7, 0xA5, 0x0E, 0x6C}};
inline constexpr CHAR16 NET_CONFIG_DATA_NAME[] = u"NetConfigData";
constexpr UINTN NET_CONFIG_DATA_SIZE = 490;
constexpr UINTN NET_CONFIG_SERVER_CHOICE_OFFSET = 105;  // download server choice, 0 to 4
