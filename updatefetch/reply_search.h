// Searches over the server's reply text. The reply is outside data: every
// search is bounded by an end position and never relies on a terminator.
#pragma once

#include "uefi/base.h"

// A text position that was not found or is absent.
constexpr UINTN NO_POSITION = ~(UINTN)0;

// Positions of one element; ends are inclusive (they point at the last
// character). Absent parts are NO_POSITION.
struct ELEMENT_RECORD {
  UINTN OpenStart;       // the "<" of the open tag
  UINTN ElementEnd;      // the ">" of the closing tag
  UINTN AttributeStart;
  UINTN AttributeEnd;
  UINTN ContentStart;
  UINTN ContentEnd;
};

// First position p in [From, End) where Needle (NUL-terminated) matches
// Text[p ..] entirely inside [From, End), ASCII letters compared without
// regard to case. With QuoteRule a double quote toggles an inside-quotes
// state before its position is tried, and nothing inside quotes matches.
UINTN PlainSearch(const CHAR8* Text, UINTN From, UINTN End, const CHAR8* Needle, bool QuoteRule);

// Finds the element TagName within [From, End). Tag names match as
// prefixes (the tag of URL1 also matches URL10); the first match wins.
// EFI_OUT_OF_RESOURCES when the tag texts cannot be allocated,
// EFI_INVALID_PARAMETER when the open tag, its ">", the closing tag or the
// closing ">" is missing.
EFI_STATUS FindElement(const CHAR8* Text, UINTN From, UINTN End, const CHAR8* TagName, ELEMENT_RECORD* Record);
