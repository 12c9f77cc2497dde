// What the platform's chipset driver publishes about the hub: the south
// bridge version protocol and the SbPlatformData variable. Only the bytes
// listed here are relied on; the rest of each is the producer's.
#pragma once

#include "uefi/base.h"

// The protocol is a plain record; bytes 4 to 7 hold a four-part version,
// byte 7 the most significant part.
struct SOUTH_BRIDGE_VERSION_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x984EB4E9, 0x5A95, 0x41DE, {0xAA, 0xD0, 0x53, 0x66, 0x8C, 0xA5, 0x13, 0xC0}};
  UINT8 Reserved[4];
  UINT8 Version[4];  // least significant part first
};
static_assert(offsetof(SOUTH_BRIDGE_VERSION_PROTOCOL, Version) == 4);
static_assert(sizeof(SOUTH_BRIDGE_VERSION_PROTOCOL) == 8);

// "SbPlatformData" under the setup variable GUID: read into a buffer of this
// size; byte 3 is the hub's revision.
inline constexpr CHAR16 SB_PLATFORM_DATA_NAME[] = u"SbPlatformData";
constexpr UINTN SB_PLATFORM_DATA_SIZE = 8;
constexpr UINTN SB_PLATFORM_DATA_REVISION = 3;
