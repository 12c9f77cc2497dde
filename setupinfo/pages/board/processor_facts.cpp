#include "setupinfo/pages/board/processor_facts.h"

#include "lib/strings.h"
#include "lib/util.h"

namespace {

bool IsFrequencyCharacter(CHAR8 Ch) { return (Ch >= '0' && Ch <= '9') || Ch == '.'; }

// Position of the first "GHz" or "MHz" inside Text[0..Length), or Length.
UINTN FindFrequencyUnit(const CHAR8* Text, UINTN Length, bool* Giga) {
  for (UINTN i = 0; i + 3 <= Length; ++i) {
    if ((Text[i] == 'G' || Text[i] == 'M') && Text[i + 1] == 'H' && Text[i + 2] == 'z') {
      *Giga = Text[i] == 'G';
      return i;
    }
  }
  return Length;
}

// The figure before the unit is read from at most this many characters
// ("2.40", "1800").
constexpr UINTN FREQUENCY_RUN_LIMIT = 4;

}  // namespace

void CopyBrandString(const CHAR8* Brand, CHAR8 (&Copy)[BRAND_STRING_LIMIT + 1]) {
  UINTN Length = 0;
  if (Brand != nullptr) {
    while (Length < BRAND_STRING_LIMIT && Brand[Length] != 0) {
      Copy[Length] = Brand[Length];
      ++Length;
    }
  }
  Copy[Length] = 0;
}

bool ParseBrandFrequency(const CHAR8* Brand, CHAR8 (&Template)[BRAND_FREQUENCY_TEMPLATE_SIZE]) {
  CHAR8 Text[BRAND_STRING_LIMIT + 1];
  CopyBrandString(Brand, Text);
  const UINTN Length = AsciiLength(Text);

  bool Giga = false;
  const UINTN Unit = FindFrequencyUnit(Text, Length, &Giga);
  if (Unit == Length) return false;

  UINTN Start = Unit;
  while (Start > 0 && Unit - Start < FREQUENCY_RUN_LIMIT && IsFrequencyCharacter(Text[Start - 1])) --Start;
  const UINTN RunLength = Unit - Start;
  if (RunLength == 0) return false;

  // The figure's characters replace the template's first ones. A GHz figure
  // drops its point, so "2.40" copies "240" and one character of the unit,
  // and that fourth place becomes the '0' that turns gigahertz into
  // megahertz. Points only occur inside the run, so the copy never reads
  // beyond the unit.
  UINTN From = Start;
  for (UINTN i = 0; i < RunLength; ++i) {
    if (Giga && Text[From] == '.') ++From;
    Template[i] = Text[From++];
  }
  if (Giga) Template[3] = '0';
  return true;
}

UINT32 ScanCacheDescriptors(const CACHE_DESCRIPTOR* First, UINT32 Count, CACHE_SUMMARY* Summary) {
  if (First == nullptr || Summary == nullptr) return 0;
  const UINT8* Cursor = (const UINT8*)First;
  UINT32 Read = 0;
  for (; Read < Count && Read < CACHE_DESCRIPTOR_WALK_LIMIT; ++Read) {
    // A length that cannot hold a descriptor would stall the walk or make it
    // read a record's fields out of the next one; it ends the array.
    const UINT32 Length = ReadLe32(Cursor + offsetof(CACHE_DESCRIPTOR, Length));
    if (Length < sizeof(CACHE_DESCRIPTOR) || Length > CACHE_DESCRIPTOR_MAX_LENGTH) break;

    const UINT32 Level = ReadLe32(Cursor + offsetof(CACHE_DESCRIPTOR, Level));
    const UINT32 SizeKb = ReadLe32(Cursor + offsetof(CACHE_DESCRIPTOR, SizeKb));
    const UINT32 Type = ReadLe32(Cursor + offsetof(CACHE_DESCRIPTOR, Type));
    const UINT32 Sharing = ReadLe32(Cursor + offsetof(CACHE_DESCRIPTOR, Sharing));

    if (Level >= 1 && Level <= 3) {
      if (Level == 1 && Type == CACHE_TYPE_DATA) Summary->Level1DataKb = SizeKb;
      if (Level == 1 && Type == CACHE_TYPE_INSTRUCTION) Summary->Level1InstructionKb = SizeKb;
      if (Level == 2 && Type == CACHE_TYPE_UNIFIED) Summary->Level2Kb = SizeKb;
      if (Level == 3 && Type == CACHE_TYPE_UNIFIED) Summary->Level3Kb = SizeKb;
      Summary->PerCore[Level - 1] = Sharing == CACHE_SHARING_PER_CORE;
    }
    Cursor += Length;
  }
  return Read;
}
