// The main page's readings of outside data: the processor record's resource
// list and brand text, the memory figures and the board-state registers.
// Each takes what it reads as plain values, so it can be checked alone.
#pragma once

#include "platform/memory_info.h"
#include "platform/processor_info.h"

// A resource list longer than this is taken as one with no end.
constexpr UINTN PROCESSOR_RESOURCE_LIMIT = 256;

// Sum of the sizes of the descriptors of the summed kind, up to the ending
// descriptor. FALSE (and *Sum untouched) for a null list or one that does
// not end within PROCESSOR_RESOURCE_LIMIT descriptors.
BOOLEAN SumProcessorResources(const PROCESSOR_RESOURCE_DESCRIPTOR* List, UINT64* Sum);

// Brand texts are at most 48 characters; the copy keeps at most this many.
constexpr UINTN BRAND_TEXT_LIMIT = 64;

// Copies the brand text into Text, stopping at its terminator or after
// BRAND_TEXT_LIMIT characters, and always terminates it. FALSE for a null text.
BOOLEAN CopyBrandText(const CHAR8* Brand, CHAR8 (&Text)[BRAND_TEXT_LIMIT + 1]);

constexpr UINTN MEMORY_SLOTS = 4;
constexpr UINT16 FALLBACK_MEMORY_FREQUENCY = 1333;

struct MEMORY_FIGURES {
  UINT16 Frequency = FALLBACK_MEMORY_FREQUENCY;  // MHz, as shown
  UINT16 SlotSizeMb[MEMORY_SLOTS] = {};
  UINT64 TotalMb = 0;  // wide: four full slots do not wrap
  UINT8 Mode = 1;      // 2 when both slot pairs hold memory
};

// From the memory information protocol, or the fallbacks when it is null.
MEMORY_FIGURES ReadMemoryFigures(const MEMORY_INFO_PROTOCOL* Information);

// Integrated graphics memory and translation table size from the host
// bridge's register bytes 0x50 and 0x51, by processor signature.
constexpr UINT32 GRAPHICS_WORD_SIGNATURE = 0x40670;
struct GRAPHICS_FIGURES {
  UINT32 MemoryMb;
  UINT32 TranslationTable;
};
GRAPHICS_FIGURES DecodeGraphicsFigures(UINT32 Signature, UINT8 Register50, UINT8 Register51);

// Index of the configuration text from the four register bits, or -1 for a
// combination that has no text.
INT32 ConfigurationTextIndex(BOOLEAN X, BOOLEAN A, BOOLEAN B, BOOLEAN C);
