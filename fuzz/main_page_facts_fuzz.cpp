// The processor driver's record hands over a brand text and a resource list
// that only end where a zero byte says; the memory driver a packed record of
// any content. The input becomes an unterminated brand, a resource list with
// no end marker inside the walk's bound and a memory record, each in a buffer
// exactly as long as the reader may ever go, so any read beyond is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "setupinfo/pages/board/main_page_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1 + sizeof(MEMORY_INFO_PROTOCOL)) return 0;
  const uint8_t Control = Data[0];
  MEMORY_INFO_PROTOCOL Memory;
  std::memcpy(&Memory, Data + 1, sizeof(Memory));
  const uint8_t* Rest = Data + 1 + sizeof(Memory);
  const size_t RestSize = Size - 1 - sizeof(Memory);

  // Brand: the first bytes, padded with non-zero bytes to the copy's bound and no further.
  const size_t BrandBytes = RestSize < BRAND_TEXT_LIMIT ? RestSize : BRAND_TEXT_LIMIT;
  std::vector<CHAR8> Brand(BRAND_TEXT_LIMIT, 'x');
  std::memcpy(Brand.data(), Rest, BrandBytes);
  CHAR8 Text[BRAND_TEXT_LIMIT + 1];
  if (!CopyBrandText(Brand.data(), Text) || std::strlen(Text) > BRAND_TEXT_LIMIT) __builtin_trap();

  // Resource list: the remaining bytes, then descriptors that never end, up to the bound.
  const size_t ListBytes = PROCESSOR_RESOURCE_LIMIT * sizeof(PROCESSOR_RESOURCE_DESCRIPTOR);
  std::vector<uint8_t> List(ListBytes, 0xFF);
  const size_t Given = RestSize - BrandBytes < ListBytes ? RestSize - BrandBytes : ListBytes;
  std::memcpy(List.data(), Rest + BrandBytes, Given);
  UINT64 Sum = ~0ull;
  const bool Ended = SumProcessorResources((const PROCESSOR_RESOURCE_DESCRIPTOR*)List.data(), &Sum);
  if (Ended && Sum > (UINT64)PROCESSOR_RESOURCE_LIMIT * 0xFFFF) __builtin_trap();
  if (!Ended && Sum != ~0ull) __builtin_trap();

  const MEMORY_FIGURES Figures = ReadMemoryFigures((Control & 1) ? &Memory : nullptr);
  UINT64 Total = 0;
  for (UINT16 S : Figures.SlotSizeMb) Total += S;
  if (Figures.TotalMb != Total || (Figures.Mode != 1 && Figures.Mode != 2) || Figures.Frequency % 10 == 7)
    __builtin_trap();

  const GRAPHICS_FIGURES Graphics =
      DecodeGraphicsFigures((Control & 2) ? GRAPHICS_WORD_SIGNATURE : 0x306C0, Data[1], Data[2]);
  if (Graphics.MemoryMb > 1024 || Graphics.TranslationTable > 8) __builtin_trap();
  const INT32 Index = ConfigurationTextIndex(Control & 4, Control & 8, Control & 16, Control & 32);
  if (Index < -1 || Index > 12) __builtin_trap();
  return 0;
}
