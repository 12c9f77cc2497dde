// Reading the facts other drivers hand over about the processor: the
// frequency written in the brand string and the cache descriptor records.
// Both inputs come from outside the image and are walked within bounds.
#pragma once

#include "platform/processor_info.h"
#include "setupinfo/pages/board/processor_page_state.h"

// The brand string is read up to its terminator, but never further than
// this many characters (the processor's own brand string holds at most 47).
constexpr UINTN BRAND_STRING_LIMIT = 48;

// "9999 MHz" and its terminator.
constexpr UINTN BRAND_FREQUENCY_TEMPLATE_SIZE = 9;
inline constexpr CHAR8 BRAND_FREQUENCY_TEMPLATE[BRAND_FREQUENCY_TEMPLATE_SIZE] = "9999 MHz";

// Copies at most BRAND_STRING_LIMIT characters of Brand (null reads as empty)
// and terminates the copy.
void CopyBrandString(const CHAR8* Brand, CHAR8 (&Copy)[BRAND_STRING_LIMIT + 1]);

// Finds the first "GHz" or "MHz" (exact case) and the run of at most four
// digits or points just before it, and writes that run over the start of
// Template: "2.40GHz" gives "2400 MHz", "1800MHz" gives "1800 MHz".
// False, Template untouched, when there is no unit or nothing before it.
bool ParseBrandFrequency(const CHAR8* Brand, CHAR8 (&Template)[BRAND_FREQUENCY_TEMPLATE_SIZE]);

// Walk limits for the descriptor array, whose size only its producer knows.
constexpr UINT32 CACHE_DESCRIPTOR_WALK_LIMIT = 32;
constexpr UINT32 CACHE_DESCRIPTOR_MAX_LENGTH = 256;

// Fills the per-level sizes and per-core flags from Count records starting at
// First. Sizes: level 1 data, level 1 instruction, unified level 2 and 3; a
// later record of the same level and type wins. Per-core flag: the last
// record of the level decides, whatever its type. The walk ends early at a
// record whose length is below the descriptor's size or above
// CACHE_DESCRIPTOR_MAX_LENGTH, and after CACHE_DESCRIPTOR_WALK_LIMIT records.
// Returns the number of records read.
UINT32 ScanCacheDescriptors(const CACHE_DESCRIPTOR* First, UINT32 Count, CACHE_SUMMARY* Summary);
