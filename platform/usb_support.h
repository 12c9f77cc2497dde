// What the platform's USB driver offers setup: its support protocol, with
// the attached devices counted by kind and the mass-storage devices named
// one by one, and the UsbMassDevNum variable it keeps beside Setup.
#pragma once

#include "platform/setup_variable.h"
#include "uefi/base.h"

// One byte per kind, in the driver's order.
struct USB_DEVICE_COUNTS {
  UINT8 Keyboards;
  UINT8 Mice;
  UINT8 Points;
  UINT8 Drives;
  UINT8 Hubs;
  UINT8 SmartCardReaders;
};
static_assert(sizeof(USB_DEVICE_COUNTS) == 6);
static_assert(__builtin_offsetof(USB_DEVICE_COUNTS, Drives) == 3);
static_assert(__builtin_offsetof(USB_DEVICE_COUNTS, SmartCardReaders) == 5);

// Room the name call is given, in bytes; the driver may fill all of it
// without a terminator.
constexpr UINT8 USB_MASS_NAME_BYTES = 48;
// Name answers: no such device, and the mark of the last device.
constexpr UINT8 USB_NO_DEVICE = 0xFF;
constexpr UINT8 USB_LAST_DEVICE = 0x80;

// Neither function takes the interface pointer.
struct USB_SUPPORT_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x2AD8E2D2, 0x2E91, 0x4CD1, {0x95, 0xF5, 0xE7, 0x8F, 0xE5, 0xEB, 0xE3, 0x16}};
  using GetDeviceCountsFn = VOID(EFIAPI*)(USB_DEVICE_COUNTS* Counts);
  // Fills Name with device Index's name as 8-bit text; USB_NO_DEVICE, or the
  // index to ask for next with USB_LAST_DEVICE set after the last device.
  using GetMassDeviceNameFn = UINT8(EFIAPI*)(CHAR8* Name, UINT8 NameSize, UINT8 Index);

  VOID* Reserved[2];  // members setup never calls
  GetDeviceCountsFn GetDeviceCounts;
  GetMassDeviceNameFn GetMassDeviceName;
};
static_assert(__builtin_offsetof(USB_SUPPORT_PROTOCOL, GetDeviceCounts) == 0x10);
static_assert(__builtin_offsetof(USB_SUPPORT_PROTOCOL, GetMassDeviceName) == 0x18);

// UsbMassDevNum: 2 bytes under the setup variable GUID, owned by the USB
// driver; setup clears byte 1 each time the page is prepared.
inline constexpr CHAR16 USB_MASS_DEV_NUM_NAME[] = u"UsbMassDevNum";
constexpr UINTN USB_MASS_DEV_NUM_SIZE = 2;
constexpr UINT32 USB_MASS_DEV_NUM_ATTRIBUTES = EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;
