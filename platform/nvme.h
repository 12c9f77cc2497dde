// What the platform's NVMe driver leaves for setup: its controller protocol,
// whose presence on a PCI I/O handle marks an NVMe controller, and the
// variable saying which device rows the page filled.
#pragma once

#include "uefi/base.h"

// Only its presence is relied upon; nothing of it is called.
struct NVME_CONTROLLER_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xAFA4CF3F, 0xAF71, 0x4C30, {0xA4, 0xFB, 0x29, 0x10, 0xE7, 0x71, 0xF9, 0xB0}};
};

// NVMEData: byte n is 1 when device row n was filled. Boot-services access only.
inline constexpr CHAR16 NVME_DATA_NAME[] = u"NVMEData";
constexpr UINTN NVME_DEVICE_ROWS = 4;
constexpr UINT32 NVME_DATA_ATTRIBUTES = EFI_VARIABLE_BOOTSERVICE_ACCESS;
