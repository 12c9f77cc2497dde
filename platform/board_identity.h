// Board identity protocol of the board firmware: only the model name is
// relied on; the bytes before it are the providing driver's business.
#pragma once

#include "uefi/base.h"

struct BOARD_IDENTITY_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x3A71B245, 0xDDAF, 0x4E03, {0xA9, 0xFC, 0xD9, 0x8F, 0x6F, 0x83, 0x28, 0x9D}};

  // Readers never go past the first 64 bytes of the name: a name that needs
  // more is refused before its end is reached.
  static constexpr UINTN ModelNameReadLimit = 64;

  UINT8 Opaque[11];
  CHAR8 ModelName[ModelNameReadLimit];  // NUL-terminated ASCII
};
static_assert(offsetof(BOARD_IDENTITY_PROTOCOL, ModelName) == 11);

// The same interface as the main page reads it: two 64-bit values that the
// providing driver keeps after the model name's room.
struct BOARD_IDENTITY_VALUES {
  static constexpr EFI_GUID Guid = BOARD_IDENTITY_PROTOCOL::Guid;

  UINT8 Opaque[0x48];
  UINT64 Values[2];
};
static_assert(offsetof(BOARD_IDENTITY_VALUES, Values) == 0x48);
static_assert(offsetof(BOARD_IDENTITY_VALUES, Values[1]) == 0x50);
static_assert(sizeof(BOARD_IDENTITY_VALUES) == 0x58);
