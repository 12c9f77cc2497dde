// Device path protocol: the node header that every node starts with.
#pragma once

#include "uefi/base.h"

struct EFI_DEVICE_PATH_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x09576E91, 0x6D3F, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
  UINT8 Type;
  UINT8 SubType;
  UINT8 Length[2];  // whole node, little-endian, may be unaligned
};
static_assert(sizeof(EFI_DEVICE_PATH_PROTOCOL) == 4);

constexpr UINT8 HARDWARE_DEVICE_PATH = 0x01;
constexpr UINT8 ACPI_DEVICE_PATH = 0x02;
constexpr UINT8 MESSAGING_DEVICE_PATH = 0x03;
constexpr UINT8 MEDIA_DEVICE_PATH = 0x04;
constexpr UINT8 BBS_DEVICE_PATH = 0x05;
constexpr UINT8 END_DEVICE_PATH_TYPE = 0x7F;
constexpr UINT8 END_ENTIRE_DEVICE_PATH_SUBTYPE = 0xFF;
constexpr UINT8 END_INSTANCE_DEVICE_PATH_SUBTYPE = 0x01;

constexpr UINT8 HW_PCI_DP = 0x01;
constexpr UINT8 HW_PCCARD_DP = 0x02;
constexpr UINT8 HW_VENDOR_DP = 0x04;
constexpr UINT8 ACPI_DP = 0x01;
constexpr UINT8 MSG_ATAPI_DP = 0x01;
constexpr UINT8 MSG_SCSI_DP = 0x02;
constexpr UINT8 MSG_USB_DP = 0x05;
constexpr UINT8 MSG_VENDOR_DP = 0x0A;
constexpr UINT8 MSG_SATA_DP = 0x12;
constexpr UINT8 MSG_NVME_NAMESPACE_DP = 0x17;
constexpr UINT8 MEDIA_HARDDRIVE_DP = 0x01;
constexpr UINT8 MEDIA_CDROM_DP = 0x02;
constexpr UINT8 MEDIA_VENDOR_DP = 0x03;
constexpr UINT8 MEDIA_FILEPATH_DP = 0x04;

inline UINT16 DevicePathNodeLength(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  return (UINT16)(Node->Length[0] | (Node->Length[1] << 8));
}
