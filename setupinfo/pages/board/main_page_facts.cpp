#include "setupinfo/pages/board/main_page_facts.h"

#include "lib/util.h"

BOOLEAN SumProcessorResources(const PROCESSOR_RESOURCE_DESCRIPTOR* List, UINT64* Sum) {
  if (List == nullptr || Sum == nullptr) return FALSE;
  UINT64 Total = 0;
  for (UINTN i = 0; i < PROCESSOR_RESOURCE_LIMIT; ++i) {
    const PROCESSOR_RESOURCE_DESCRIPTOR& Descriptor = List[i];
    if (Descriptor.InUse == 0) {
      *Sum = Total;
      return TRUE;
    }
    if (Descriptor.Kind == PROCESSOR_RESOURCE_KIND_SUMMED) Total += Descriptor.Size;
  }
  return FALSE;
}

BOOLEAN CopyBrandText(const CHAR8* Brand, CHAR8 (&Text)[BRAND_TEXT_LIMIT + 1]) {
  Text[0] = 0;
  if (Brand == nullptr) return FALSE;
  UINTN Length = 0;
  while (Length < BRAND_TEXT_LIMIT && Brand[Length] != 0) {
    Text[Length] = Brand[Length];
    ++Length;
  }
  Text[Length] = 0;
  return TRUE;
}

MEMORY_FIGURES ReadMemoryFigures(const MEMORY_INFO_PROTOCOL* Information) {
  MEMORY_FIGURES Figures;
  if (Information == nullptr) return Figures;
  // Modules are sold as 1067, 1867, ... MHz parts but shown by their nominal rate.
  Figures.Frequency = Information->Frequency % 10 == 7 ? (UINT16)(Information->Frequency - 1) : Information->Frequency;
  for (UINTN Slot = 0; Slot < MEMORY_SLOTS; ++Slot) {
    const UINT16 Size = Information->ModuleSizeMb[Slot];  // packed record: the compiler reads it unaligned
    Figures.SlotSizeMb[Slot] = Size;
    Figures.TotalMb += Size;
  }
  const UINT32 FirstPair = (UINT32)Figures.SlotSizeMb[0] + Figures.SlotSizeMb[1];
  const UINT32 SecondPair = (UINT32)Figures.SlotSizeMb[2] + Figures.SlotSizeMb[3];
  Figures.Mode = FirstPair != 0 && SecondPair != 0 ? 2 : 1;
  return Figures;
}

GRAPHICS_FIGURES DecodeGraphicsFigures(UINT32 Signature, UINT8 Register50, UINT8 Register51) {
  UINT32 Field;
  UINT32 Table;
  if (Signature == GRAPHICS_WORD_SIGNATURE) {
    Field = Register51;  // bits 15:8 of the word
    Table = 1u << ((Register50 >> 6) & 0x3);
  } else {
    Field = (Register50 >> 3) & 0x1F;
    Table = Register51 & 0x3;
  }
  return GRAPHICS_FIGURES{Field <= 0x10 ? Field * 32 : 1024, Table};
}

namespace {

struct CONFIGURATION_ROW {
  UINT8 X, A, B, C;
};
// Row n gives text index n.
constexpr CONFIGURATION_ROW ConfigurationRows[] = {
    {0, 1, 1, 1}, {0, 0, 1, 1}, {0, 1, 0, 1}, {0, 0, 0, 1}, {0, 1, 1, 0}, {0, 0, 1, 0}, {1, 1, 1, 1},
    {1, 0, 1, 1}, {1, 1, 0, 1}, {1, 0, 0, 1}, {1, 1, 1, 0}, {1, 0, 1, 0}, {1, 1, 0, 0},
};

}  // namespace

INT32 ConfigurationTextIndex(BOOLEAN X, BOOLEAN A, BOOLEAN B, BOOLEAN C) {
  for (UINTN i = 0; i < ArrayCount(ConfigurationRows); ++i) {
    const CONFIGURATION_ROW& Row = ConfigurationRows[i];
    if (Row.X == (X ? 1 : 0) && Row.A == (A ? 1 : 0) && Row.B == (B ? 1 : 0) && Row.C == (C ? 1 : 0)) return (INT32)i;
  }
  return -1;
}
