#include "updatefetch/reply_search.h"

#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "updatefetch/ascii_append.h"

namespace {
CHAR8 UpperAscii(CHAR8 c) { return (c >= 'a' && c <= 'z') ? (CHAR8)(c - 'a' + 'A') : c; }

bool MatchesAt(const CHAR8* Text, UINTN Position, const CHAR8* Needle, UINTN NeedleLength) {
  for (UINTN i = 0; i < NeedleLength; ++i) {
    if (UpperAscii(Text[Position + i]) != UpperAscii(Needle[i])) return false;
  }
  return true;
}
}  // namespace

UINTN PlainSearch(const CHAR8* Text, UINTN From, UINTN End, const CHAR8* Needle, bool QuoteRule) {
  if (Text == nullptr || Needle == nullptr) return NO_POSITION;
  UINTN NeedleLength = AsciiLength(Needle);
  if (NeedleLength == 0 || From >= End || End - From < NeedleLength) return NO_POSITION;
  bool InsideQuotes = false;
  for (UINTN p = From; End - p >= NeedleLength; ++p) {
    if (QuoteRule && Text[p] == '"') InsideQuotes = !InsideQuotes;
    if (InsideQuotes) continue;
    if (MatchesAt(Text, p, Needle, NeedleLength)) return p;
  }
  return NO_POSITION;
}

EFI_STATUS FindElement(const CHAR8* Text, UINTN From, UINTN End, const CHAR8* TagName, ELEMENT_RECORD* Record) {
  if (Text == nullptr || TagName == nullptr || Record == nullptr) return EFI_INVALID_PARAMETER;
  *Record = ELEMENT_RECORD{NO_POSITION, NO_POSITION, NO_POSITION, NO_POSITION, NO_POSITION, NO_POSITION};

  // "<" + name and "</" + name, each in a buffer of exactly its size.
  UINTN NameLength = AsciiLength(TagName);
  PoolBuffer<CHAR8> OpenTag;
  PoolBuffer<CHAR8> CloseTag;
  if (!OpenTag.Allocate(NameLength + 2, false) || !CloseTag.Allocate(NameLength + 3, false)) {
    return EFI_OUT_OF_RESOURCES;
  }
  AppendAscii(AppendAscii(OpenTag.Get(), "<"), TagName);
  AppendAscii(AppendAscii(CloseTag.Get(), "</"), TagName);

  UINTN OpenStart = PlainSearch(Text, From, End, OpenTag.Get(), true);
  if (OpenStart == NO_POSITION) return EFI_INVALID_PARAMETER;
  UINTN OpenEnd = PlainSearch(Text, OpenStart, End, ">", true);
  if (OpenEnd == NO_POSITION) return EFI_INVALID_PARAMETER;
  UINTN CloseStart = PlainSearch(Text, OpenEnd + 1, End, CloseTag.Get(), true);
  if (CloseStart == NO_POSITION) return EFI_INVALID_PARAMETER;
  Record->OpenStart = OpenStart;

  // The open tag holds no ">", so its end lies past "<" + name.
  UINTN p = OpenStart + NameLength + 1;
  while (p < OpenEnd && Text[p] == ' ') ++p;
  Record->AttributeStart = p;
  if (p != OpenEnd) Record->AttributeEnd = OpenEnd - 1;

  if (CloseStart - OpenEnd > 1) {
    Record->ContentStart = OpenEnd + 1;
    Record->ContentEnd = CloseStart - 1;
  }

  UINTN ElementEnd = PlainSearch(Text, CloseStart, End, ">", true);
  if (ElementEnd == NO_POSITION) return EFI_INVALID_PARAMETER;
  Record->ElementEnd = ElementEnd;
  return EFI_SUCCESS;
}
