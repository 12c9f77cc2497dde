// Disk Info protocol: raw identification data of a drive, its format named
// by the Interface GUID.
#pragma once

#include "uefi/base.h"

struct EFI_DISK_INFO_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xD432A67F, 0x14DC, 0x484B, {0xB3, 0xBB, 0x3F, 0x02, 0x91, 0x84, 0x93, 0x27}};

  // Values of Interface.
  static constexpr EFI_GUID IdeInterfaceGuid = {0x5E948FE3, 0x26D3, 0x42B5, {0xAF, 0x17, 0x61, 0x02, 0x87, 0x18, 0x8D, 0xEC}};
  static constexpr EFI_GUID ScsiInterfaceGuid = {0x08F74BAA, 0xEA36, 0x41D9, {0x95, 0x21, 0x21, 0xA7, 0x0F, 0x87, 0x80, 0xBC}};
  static constexpr EFI_GUID UsbInterfaceGuid = {0xCB871572, 0xC11A, 0x47B5, {0xB4, 0x92, 0x67, 0x5E, 0xAF, 0xA7, 0x77, 0x27}};
  static constexpr EFI_GUID AhciInterfaceGuid = {0x9E498932, 0x4ABC, 0x45AF, {0xA3, 0x4D, 0x02, 0x47, 0x78, 0x7B, 0xE7, 0xC6}};
  static constexpr EFI_GUID NvmeInterfaceGuid = {0x3AB14680, 0x5D3F, 0x4A4D, {0xBC, 0xDC, 0xCC, 0x38, 0x00, 0x18, 0xC7, 0xF7}};

  // The sizes are in/out: buffer size on entry, bytes returned on exit.
  using InquiryFn = EFI_STATUS(EFIAPI*)(EFI_DISK_INFO_PROTOCOL* This, VOID* InquiryData, UINT32* InquiryDataSize);
  using IdentifyFn = EFI_STATUS(EFIAPI*)(EFI_DISK_INFO_PROTOCOL* This, VOID* IdentifyData,
                                         UINT32* IdentifyDataSize);
  using SenseDataFn = EFI_STATUS(EFIAPI*)(EFI_DISK_INFO_PROTOCOL* This, VOID* SenseData, UINT32* SenseDataSize,
                                          UINT8* SenseDataNumber);
  using WhichIdeFn = EFI_STATUS(EFIAPI*)(EFI_DISK_INFO_PROTOCOL* This, UINT32* IdeChannel, UINT32* IdeDevice);

  EFI_GUID Interface;
  InquiryFn Inquiry;
  IdentifyFn Identify;
  SenseDataFn SenseData;
  WhichIdeFn WhichIde;
};
static_assert(offsetof(EFI_DISK_INFO_PROTOCOL, Inquiry) == 16);
static_assert(offsetof(EFI_DISK_INFO_PROTOCOL, Identify) == 24);
static_assert(offsetof(EFI_DISK_INFO_PROTOCOL, SenseData) == 32);
static_assert(offsetof(EFI_DISK_INFO_PROTOCOL, WhichIde) == 40);
static_assert(sizeof(EFI_DISK_INFO_PROTOCOL) == 48);

// ATA IDENTIFY data is 256 words.
constexpr UINT32 ATA_IDENTIFY_DATA_SIZE = 512;
