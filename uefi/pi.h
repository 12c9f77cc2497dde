// PI specification items the drivers read: the DXE services table header and
// the HOB list found through the configuration table.
#pragma once

#include "uefi/base.h"

constexpr EFI_GUID EFI_DXE_SERVICES_TABLE_GUID = {0x05AD34BA, 0x6F02, 0x4214, {0x95, 0x2E, 0x4D, 0xA0, 0x39, 0x8E, 0x2B, 0xB9}};
constexpr EFI_GUID EFI_HOB_LIST_GUID = {0x7739F24C, 0x93D7, 0x11D4, {0x9A, 0x3A, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D}};

// Only the header is relied on (its Revision is shown on the main page); the
// service pointers that follow it are not called by these drivers.
struct EFI_DXE_SERVICES {
  static constexpr UINT64 Signature = 0x565245535f455844ull;  // "DXE_SERV"
  EFI_TABLE_HEADER Hdr;
};
static_assert(sizeof(EFI_DXE_SERVICES) == 24);

// HOB types.
constexpr UINT16 EFI_HOB_TYPE_HANDOFF = 0x0001;
constexpr UINT16 EFI_HOB_TYPE_MEMORY_ALLOCATION = 0x0002;
constexpr UINT16 EFI_HOB_TYPE_RESOURCE_DESCRIPTOR = 0x0003;
constexpr UINT16 EFI_HOB_TYPE_GUID_EXTENSION = 0x0004;
constexpr UINT16 EFI_HOB_TYPE_FV = 0x0005;
constexpr UINT16 EFI_HOB_TYPE_CPU = 0x0006;
constexpr UINT16 EFI_HOB_TYPE_UNUSED = 0xFFFE;
constexpr UINT16 EFI_HOB_TYPE_END_OF_HOB_LIST = 0xFFFF;

struct EFI_HOB_GENERIC_HEADER {
  UINT16 HobType;
  UINT16 HobLength;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_HOB_GENERIC_HEADER) == 8);

struct EFI_HOB_GUID_TYPE {
  EFI_HOB_GENERIC_HEADER Header;
  EFI_GUID Name;
  // Data follows.
};
static_assert(sizeof(EFI_HOB_GUID_TYPE) == 24);
static_assert(offsetof(EFI_HOB_GUID_TYPE, Name) == 8);

struct EFI_HOB_HANDOFF_INFO_TABLE {
  EFI_HOB_GENERIC_HEADER Header;
  UINT32 Version;
  UINT32 BootMode;
  EFI_PHYSICAL_ADDRESS EfiMemoryTop;
  EFI_PHYSICAL_ADDRESS EfiMemoryBottom;
  EFI_PHYSICAL_ADDRESS EfiFreeMemoryTop;
  EFI_PHYSICAL_ADDRESS EfiFreeMemoryBottom;
  EFI_PHYSICAL_ADDRESS EfiEndOfHobList;
};
static_assert(sizeof(EFI_HOB_HANDOFF_INFO_TABLE) == 56);
