// Super I/O device protocol of the platform's Super I/O driver, one instance
// per logical device on a handle of its own. Only the fields below are
// relied on; the rest of the interface is the producer's own.
#pragma once

#include "uefi/base.h"

struct SUPER_IO_DEVICE_DESCRIPTION {
  UINT32 Type;
  UINT8 Reserved4;
  UINT8 Instance;
  UINT8 Reserved6[3];
  UINT8 Usable;  // 0: the producer does not offer the device
  UINT8 Reserved10[6];
};
static_assert(offsetof(SUPER_IO_DEVICE_DESCRIPTION, Type) == 0);
static_assert(offsetof(SUPER_IO_DEVICE_DESCRIPTION, Instance) == 5);
static_assert(offsetof(SUPER_IO_DEVICE_DESCRIPTION, Usable) == 9);
static_assert(sizeof(SUPER_IO_DEVICE_DESCRIPTION) == 16);

struct SUPER_IO_DEVICE_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x51E9B4F9, 0x555D, 0x476C, {0x8B, 0xB5, 0xBD, 0x18, 0xD9, 0xA6, 0x88, 0x78}};

  UINT8 ProducerPrivate[0x88];
  SUPER_IO_DEVICE_DESCRIPTION* Description;
  UINT8 Enabled;  // both Enabled and Active must be set for the device to be shown
  UINT8 Reserved91[2];
  UINT8 Active;
  UINT16 IoBase;
  UINT8 Reserved96[2];
  UINT8 Interrupt;  // 0: none
  UINT8 Reserved99;
  UINT8 DmaChannel;  // 0: none
  UINT8 Reserved9B[5];
};
static_assert(offsetof(SUPER_IO_DEVICE_PROTOCOL, Description) == 0x88);
static_assert(offsetof(SUPER_IO_DEVICE_PROTOCOL, Enabled) == 0x90);
static_assert(offsetof(SUPER_IO_DEVICE_PROTOCOL, Active) == 0x93);
static_assert(offsetof(SUPER_IO_DEVICE_PROTOCOL, IoBase) == 0x94);
static_assert(offsetof(SUPER_IO_DEVICE_PROTOCOL, Interrupt) == 0x98);
static_assert(offsetof(SUPER_IO_DEVICE_PROTOCOL, DmaChannel) == 0x9A);
static_assert(sizeof(SUPER_IO_DEVICE_PROTOCOL) == 0xA0);
