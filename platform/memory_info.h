// What the platform's memory initialisation hands over: the memory
// information and memory version protocols, the NBPlatformData variable and
// the memory module HOB. Only the fields named here are relied on; the rest
// of each layout is the producer's and is kept opaque.
#pragma once

#include "uefi/base.h"

#pragma pack(push, 1)

// The memory information protocol's interface is the record itself, packed.
// Timing values sit at 0x5F, 0x61, ... 0x7B; the words at 0x69, 0x6D and 0x73
// are not read.
struct MEMORY_INFO_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x6F20F7C8, 0xE5EF, 0x4F21, {0x8D, 0x19, 0xED, 0xC5, 0xF0, 0xC4, 0x96, 0xAE}};

  UINT32 MemorySizeMb;
  UINT16 Frequency;  // MHz
  UINT8 Reserved06[5];
  UINT16 ModuleSizeMb[4];  // channel A module 0, A 1, B 0, B 1
  UINT8 Reserved13[0x40];
  UINT16 VoltageMv;
  UINT8 Reserved55[0x0A];
  UINT16 Timing[15];  // the word at 0x5F + 2 * i
};
static_assert(offsetof(MEMORY_INFO_PROTOCOL, Frequency) == 0x04);
static_assert(offsetof(MEMORY_INFO_PROTOCOL, ModuleSizeMb) == 0x0B);
static_assert(offsetof(MEMORY_INFO_PROTOCOL, VoltageMv) == 0x53);
static_assert(offsetof(MEMORY_INFO_PROTOCOL, Timing) == 0x5F);
static_assert(sizeof(MEMORY_INFO_PROTOCOL) == 0x7D);

constexpr UINTN MEMORY_INFO_MODULES = 4;

// Index into MEMORY_INFO_PROTOCOL::Timing of the word at record offset Offset.
constexpr UINTN MemoryTimingIndex(UINTN Offset) { return (Offset - offsetof(MEMORY_INFO_PROTOCOL, Timing)) / 2; }

// Bytes 4 to 7 hold the memory initialisation code's version, byte 7 most significant.
struct MEMORY_VERSION_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x493B5BAC, 0xBB9E, 0x4BF5, {0x83, 0x79, 0x20, 0xE2, 0xAC, 0xA9, 0x85, 0x41}};

  UINT32 Reserved00;
  UINT8 Version[4];
};
static_assert(offsetof(MEMORY_VERSION_PROTOCOL, Version) == 4);
static_assert(sizeof(MEMORY_VERSION_PROTOCOL) == 8);

// "NBPlatformData" under the setup variable GUID, read into 20 bytes.
struct NB_PLATFORM_DATA {
  UINT8 Reserved00[4];
  UINT8 GraphicsOption;  // 0: the graphics option is blanked
  UINT8 Reserved05[6];
  UINT8 FeatureA;
  UINT8 FeatureB;
  UINT8 Reserved0D;
  UINT16 FrequencyLimitA;
  UINT16 FrequencyLimitB;
  UINT8 Reserved12[2];
};
static_assert(offsetof(NB_PLATFORM_DATA, GraphicsOption) == 4);
static_assert(offsetof(NB_PLATFORM_DATA, FeatureA) == 11);
static_assert(offsetof(NB_PLATFORM_DATA, FeatureB) == 12);
static_assert(offsetof(NB_PLATFORM_DATA, FrequencyLimitA) == 14);
static_assert(offsetof(NB_PLATFORM_DATA, FrequencyLimitB) == 16);
static_assert(sizeof(NB_PLATFORM_DATA) == 20);

inline constexpr CHAR16 NB_PLATFORM_DATA_NAME[] = u"NBPlatformData";
// The last byte read of the record: a shorter variable does not hold the limits.
constexpr UINTN NB_PLATFORM_DATA_USED = offsetof(NB_PLATFORM_DATA, FrequencyLimitB) + 2;

// One 12-byte module record of the memory module HOB.
struct MEMORY_MODULE_RECORD {
  UINT8 Revision;   // two digits, high and low nibble
  UINT16 Voltage;   // hundredths of a volt
  UINT16 Frequency; // MHz
  UINT8 Reserved05[2];
  UINT8 Timing[3];  // bytes 7, 8, 9
  UINT16 Cycles;    // u16 at 10
};
static_assert(offsetof(MEMORY_MODULE_RECORD, Voltage) == 1);
static_assert(offsetof(MEMORY_MODULE_RECORD, Frequency) == 3);
static_assert(offsetof(MEMORY_MODULE_RECORD, Timing) == 7);
static_assert(offsetof(MEMORY_MODULE_RECORD, Cycles) == 10);
static_assert(sizeof(MEMORY_MODULE_RECORD) == 12);

#pragma pack(pop)

constexpr EFI_GUID MEMORY_MODULE_HOB_GUID = {0x87F22DCB, 0x7304, 0x4105, {0xBB, 0x7C, 0x31, 0x71, 0x43, 0xCC, 0xC2, 0x3B}};
// Data offsets (after the 24-byte GUID HOB header) of the two module records.
constexpr UINTN MEMORY_MODULE_RECORD_COUNT = 2;
inline constexpr UINTN MemoryModuleRecordOffsets[MEMORY_MODULE_RECORD_COUNT] = {0x5CC7, 0x5CD3};
// A producer's HOB holds at least this much data to carry both records.
constexpr UINTN MEMORY_MODULE_HOB_DATA_SIZE = 0x5CD3 + sizeof(MEMORY_MODULE_RECORD);
