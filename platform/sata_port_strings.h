// The door between the setup driver and the platform's SATA driver: the
// setup driver installs the port string protocol; the SATA driver calls its
// one function with its own device-lookup interface, which the function
// asks, port by port, for the attached device and its texts.
#pragma once

#include "uefi/base.h"

struct SATA_DEVICE_INTERFACE;

// Installed by the setup driver; the result of the call is not used.
struct SATA_PORT_STRING_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xB8FB0557, 0x5F3F, 0x4972, {0x84, 0xD0, 0x2D, 0x48, 0xCB, 0x46, 0x13, 0xFB}};
  using UpdateSataPortStringsFn = VOID(EFIAPI*)(SATA_DEVICE_INTERFACE* SataInterface);
  UpdateSataPortStringsFn UpdateSataPortStrings;
};
static_assert(sizeof(SATA_PORT_STRING_PROTOCOL) == 8);

// The platform's bus table protocol: resolves a bus designator other than
// 0. Every port row of this board sits on designator 0 (bus 0), so it is
// never located.
constexpr EFI_GUID SATA_BUS_TABLE_PROTOCOL_GUID = {0x0273146C, 0x96C4, 0x45A1,
                                                    {0xA7, 0xAF, 0x78, 0xE0, 0x52, 0x4A, 0x0A, 0xE2}};

// The SATA driver's record behind a device handle. Only one field is read:
// non-zero when the device's third text is not shown.
struct SATA_DEVICE_RECORD {
  UINT8 DriverOwned[524];
  UINT32 Text3Hidden;
};
static_assert(__builtin_offsetof(SATA_DEVICE_RECORD, Text3Hidden) == 524);

// Each text is a pool buffer that the caller frees. It ends at a NUL within
// SATA_DEVICE_TEXT_BYTES bytes or, like a fixed ATA field, fills all of
// them; nothing past that many bytes is read.
constexpr UINTN SATA_DEVICE_TEXT_BYTES = 64;

struct SATA_DEVICE_INTERFACE {
  using FindDeviceFn = EFI_STATUS(EFIAPI*)(SATA_DEVICE_INTERFACE* This, UINT8 Bus, UINT8 Device, UINT8 Function,
                                           UINT8 ByteA, UINT8 ByteB, SATA_DEVICE_RECORD** DeviceHandle);
  using GetTextFn = EFI_STATUS(EFIAPI*)(SATA_DEVICE_RECORD* DeviceHandle, CHAR8** Text);

  VOID* DriverOwned0;
  VOID* DriverOwned1;
  FindDeviceFn FindDevice;
  GetTextFn GetText1;  // model name
  GetTextFn GetText2;
  GetTextFn GetText3;  // not shown when the record says so
  GetTextFn GetText4;  // Ultra DMA mode
  VOID* DriverOwned7;
  GetTextFn GetText5;  // support state, "Not Supported" or another text
};
static_assert(__builtin_offsetof(SATA_DEVICE_INTERFACE, FindDevice) == 0x10);
static_assert(__builtin_offsetof(SATA_DEVICE_INTERFACE, GetText1) == 0x18);
static_assert(__builtin_offsetof(SATA_DEVICE_INTERFACE, GetText2) == 0x20);
static_assert(__builtin_offsetof(SATA_DEVICE_INTERFACE, GetText3) == 0x28);
static_assert(__builtin_offsetof(SATA_DEVICE_INTERFACE, GetText4) == 0x30);
static_assert(__builtin_offsetof(SATA_DEVICE_INTERFACE, GetText5) == 0x40);
