// Reading what the memory initialisation hands over: the module HOB's two
// records, whose place in the HOB is fixed while the HOB's length is the
// producer's, and the figures the memory page derives from the records.
#pragma once

#include "platform/memory_info.h"

// Record Index (0 or 1) of the memory module HOB at GuidHob (its generic
// header first). False when the HOB is too short to hold the whole record,
// or the record's bytes 3 to 6 are all zero (no module); Record is then zeroed.
bool ReadMemoryModuleRecord(const VOID* GuidHob, UINTN Index, MEMORY_MODULE_RECORD* Record);

// The revision byte shown for a record: below 0x10 it reads as 1.0.
UINT8 ModuleRevision(const MEMORY_MODULE_RECORD& Record);

// The nine values of a module's template, in template order: revision high
// and low digit, frequency, the three timing bytes, the cycle count, volts
// and hundredths.
constexpr UINTN MODULE_TEMPLATE_VALUES = 9;
void ModuleTemplateValues(const MEMORY_MODULE_RECORD& Record, UINT32 (&Values)[MODULE_TEMPLATE_VALUES]);

// Frequencies ending in 7 are the marketing figure plus one (1867 is sold as 1866).
constexpr UINT32 ShownFrequency(UINT32 Mhz) { return Mhz % 10 == 7 ? Mhz - 1 : Mhz; }

// Module sizes as counted under the two channels' module disable selectors
// (0: both modules, 1: not module 0, 2: not module 1, 3: neither).
struct COUNTED_MEMORY {
  UINT32 SizeMb[MEMORY_INFO_MODULES];  // A0, A1, B0, B1; 0 = not counted
  UINT32 TotalMb;
};
COUNTED_MEMORY CountModules(const MEMORY_INFO_PROTOCOL& Info, UINT8 SelectorA, UINT8 SelectorB);

// Graphics level (GT1, GT2, GT3) from the integrated graphics device ID;
// 0 for an ID this board's graphics does not use.
UINT8 GraphicsLevel(UINT16 DeviceId);

// The two digits of one video BIOS version register: the low four bits of
// each byte.
constexpr UINT32 VideoBiosDigits(UINT16 Word) { return ((Word >> 8) & 0x0F) * 16 + (Word & 0x0F); }
