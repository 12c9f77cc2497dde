// Version records that the board's component drivers publish, one protocol
// per component. Every one is a plain record whose u32 at byte 4 is a
// four-part version, most significant part in the top byte. Two of them are
// the memory and south bridge version protocols (platform/memory_info.h,
// platform/south_bridge.h); the other four are only known by their GUIDs.
#pragma once

#include "uefi/base.h"

struct COMPONENT_VERSION_RECORD {
  UINT32 Reserved00;
  UINT32 Version;
};
static_assert(offsetof(COMPONENT_VERSION_RECORD, Version) == 4);
static_assert(sizeof(COMPONENT_VERSION_RECORD) == 8);

// Each component's protocol is this record under its own GUID.
template <UINT32 D1, UINT16 D2, UINT16 D3, UINT8 D40, UINT8 D41, UINT8 D42, UINT8 D43, UINT8 D44, UINT8 D45,
          UINT8 D46, UINT8 D47>
struct COMPONENT_VERSION_PROTOCOL : COMPONENT_VERSION_RECORD {
  static constexpr EFI_GUID Guid = {D1, D2, D3, {D40, D41, D42, D43, D44, D45, D46, D47}};
};

using PLATFORM_VERSION_PROTOCOL =
    COMPONENT_VERSION_PROTOCOL<0xE223CF65, 0xF6CE, 0x4122, 0xB3, 0xAF, 0x4B, 0xD1, 0x8A, 0xFF, 0x40, 0xA1>;
using PROCESSOR_CODE_VERSION_PROTOCOL =
    COMPONENT_VERSION_PROTOCOL<0xFCDC1AA3, 0x1F1E, 0x4D47, 0xBF, 0x61, 0x3C, 0x3B, 0xD2, 0x65, 0x5D, 0x1E>;
using ENGINE_CODE_VERSION_PROTOCOL =
    COMPONENT_VERSION_PROTOCOL<0x11FBFDFB, 0x10D2, 0x43E6, 0xB5, 0xB1, 0xB4, 0x38, 0x6E, 0xDC, 0xCB, 0x9A>;
using GRAPHICS_CODE_VERSION_PROTOCOL =
    COMPONENT_VERSION_PROTOCOL<0xD231DB5B, 0x4A9C, 0x4092, 0xA8, 0xC5, 0x9C, 0xA0, 0xBC, 0x7D, 0x6A, 0xA6>;
