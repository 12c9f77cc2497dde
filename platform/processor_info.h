// The processor information and processor topology protocols of the
// platform's processor driver, and the two GUID HOBs its early phase leaves.
// Only the members and fields listed here are relied on; the rest of each
// layout is the producer's and is kept opaque.
#pragma once

#include "uefi/base.h"

// What GetInfo hands back; owned by the protocol, read only.
struct PROCESSOR_INFORMATION_RECORD {
  UINT32 Signature;
  UINT32 Reserved04;
  UINT64 FeatureWord;          // bits 37 and 38 are shown on the processor page
  const CHAR8* BrandString;    // 8-bit, zero-terminated
  UINT8 Supported;             // 0 = not supported
  UINT8 CoreCount;
  UINT8 ThreadsPerCore;
  UINT8 Reserved1B[5];
  UINT32 SummaryValue;         // shown on the main page as it stands
  UINT8 Reserved24[8];
  UINT32 MicrocodeRevision;    // 0 = not available
  // List of 8-byte resource descriptors, ended by one whose first byte is 0.
  const struct PROCESSOR_RESOURCE_DESCRIPTOR* Resources;
};
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, FeatureWord) == 0x08);
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, BrandString) == 0x10);
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, Supported) == 0x18);
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, CoreCount) == 0x19);
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, ThreadsPerCore) == 0x1A);
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, SummaryValue) == 0x20);
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, MicrocodeRevision) == 0x2C);
static_assert(offsetof(PROCESSOR_INFORMATION_RECORD, Resources) == 0x30);
static_assert(sizeof(PROCESSOR_INFORMATION_RECORD) == 0x38);

struct PROCESSOR_RESOURCE_DESCRIPTOR {
  UINT8 InUse;  // 0: the end of the list
  UINT8 Kind;
  UINT8 Reserved02[2];
  UINT16 Size;
  UINT8 Reserved06[2];
};
static_assert(offsetof(PROCESSOR_RESOURCE_DESCRIPTOR, Kind) == 1);
static_assert(offsetof(PROCESSOR_RESOURCE_DESCRIPTOR, Size) == 4);
static_assert(sizeof(PROCESSOR_RESOURCE_DESCRIPTOR) == 8);

// The kind whose sizes the main page adds up.
constexpr UINT8 PROCESSOR_RESOURCE_KIND_SUMMED = 3;

constexpr UINT32 PROCESSOR_FEATURE_BIT_37 = 37;
constexpr UINT32 PROCESSOR_FEATURE_BIT_38 = 38;

struct PROCESSOR_INFORMATION_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xF109F361, 0x370C, 0x4D9C, {0xB1, 0xAB, 0x7C, 0xA2, 0xD4, 0xC8, 0xB3, 0xFF}};

  using GetInfoFn = EFI_STATUS(EFIAPI*)(PROCESSOR_INFORMATION_PROTOCOL* This, UINT32 Cpu,
                                        PROCESSOR_INFORMATION_RECORD** Record);

  GetInfoFn GetInfo;
};
static_assert(offsetof(PROCESSOR_INFORMATION_PROTOCOL, GetInfo) == 0);

// One cache descriptor. Records lie end to end, each Length bytes long; a
// producer may append fields, so the walk advances by Length, not by sizeof.
struct CACHE_DESCRIPTOR {
  UINT32 Length;
  UINT32 Level;    // 1 to 4
  UINT32 SizeKb;
  UINT32 Type;     // CACHE_TYPE_*
  UINT32 Reserved;
  UINT32 Sharing;  // CACHE_SHARING_PER_CORE: one cache per core
};
static_assert(offsetof(CACHE_DESCRIPTOR, Level) == 4);
static_assert(offsetof(CACHE_DESCRIPTOR, SizeKb) == 8);
static_assert(offsetof(CACHE_DESCRIPTOR, Type) == 12);
static_assert(offsetof(CACHE_DESCRIPTOR, Sharing) == 20);
static_assert(sizeof(CACHE_DESCRIPTOR) == 24);

constexpr UINT32 CACHE_TYPE_DATA = 0;
constexpr UINT32 CACHE_TYPE_INSTRUCTION = 1;
constexpr UINT32 CACHE_TYPE_UNIFIED = 2;
constexpr UINT32 CACHE_SHARING_PER_CORE = 1;

struct PROCESSOR_TOPOLOGY_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xAC9CF0A8, 0xE551, 0x4BE2, {0xAD, 0x0A, 0xE1, 0xB5, 0x64, 0xEE, 0xA2, 0x73}};

  // First: cores per package. Second and the two trailing pointers are not used here.
  using GetCoreCountsFn = EFI_STATUS(EFIAPI*)(PROCESSOR_TOPOLOGY_PROTOCOL* This, UINT32 Package, UINT32* First,
                                              UINT32* Second, VOID* Reserved1, VOID* Reserved2);
  using GetCacheDescriptorsFn = EFI_STATUS(EFIAPI*)(PROCESSOR_TOPOLOGY_PROTOCOL* This, UINT32 Package, UINT32 Core,
                                                    CACHE_DESCRIPTOR** Descriptors, UINT32* Count);

  VOID* Reserved00[3];
  GetCoreCountsFn GetCoreCounts;
  VOID* Reserved20[5];
  GetCacheDescriptorsFn GetCacheDescriptors;
};
static_assert(offsetof(PROCESSOR_TOPOLOGY_PROTOCOL, GetCoreCounts) == 0x18);
static_assert(offsetof(PROCESSOR_TOPOLOGY_PROTOCOL, GetCacheDescriptors) == 0x48);
static_assert(sizeof(PROCESSOR_TOPOLOGY_PROTOCOL) == 0x50);

// GUID extension HOBs of the early processor phase. The ratio HOB carries the
// ratio ceiling and the per-active-core floors in data bytes 20 to 23.
constexpr EFI_GUID PROCESSOR_RATIO_HOB_GUID = {0x982D8C6F, 0xF6F6, 0x4135, {0xA3, 0x09, 0xA4, 0x59, 0x3E, 0xA5, 0x64, 0x17}};
constexpr EFI_GUID PROCESSOR_PLATFORM_HOB_GUID = {0x2E547CB5, 0x40F8, 0x4F3E, {0x8A, 0xF4, 0x19, 0x52, 0xAA, 0xD5, 0x5A, 0x0C}};
constexpr UINTN PROCESSOR_RATIO_HOB_FIRST_RATIO = 20;  // data offset of the four ratio bytes
constexpr UINTN PROCESSOR_RATIO_HOB_RATIO_COUNT = 4;
