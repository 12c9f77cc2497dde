// Reading one clock of the clock control protocol into the page's units,
// the two spread-mode encodings, and the clock's usage text.
#pragma once

#include "setupinfo/pages/platform/clock_control_state.h"

constexpr UINT8 SPREAD_INDEX_DOWN = 0;
constexpr UINT8 SPREAD_INDEX_CENTER = 1;
constexpr UINT8 SPREAD_INDEX_UP = 2;
constexpr UINT8 SPREAD_INDEX_NONE = 3;
constexpr UINT8 SPREAD_INDEX_COUNT = 4;

// Written into every library status before a call: a producer that returns
// without writing one has not reported success.
constexpr UINT32 ICC_LIB_STATUS_NOT_WRITTEN = 0xFFFFFFFF;

// Protocol value -> page index. A value the page has no name for reads as
// "None".
UINT8 SpreadIndexFromProtocol(UINT8 ProtocolMode);
// Page index -> protocol value; false for an index past the four modes.
bool SpreadProtocolFromIndex(UINT8 Index, UINT32* ProtocolMode);

// Capabilities then settings of Clock. On any failure the record is zero and
// the library status that failed (or ICC_LIB_STATUS_NOT_WRITTEN) is in
// *LibStatus when given.
EFI_STATUS GetClockInfo(ICC_CLOCK_CONTROL_PROTOCOL* ClockControl, UINT8 Clock, CLOCK_INFO* Info,
                        UINT32* LibStatus = nullptr);

// The usage mask as text (names joined by ", "), in lines of at most
// USAGE_LINE_LIMIT characters plus the separator: a line ends where the next
// name would pass the limit. First holds the line before the last break and
// Second the last line; without a break First holds the whole text. Bits 14
// and 15 have no name. Lines are USAGE_TEXT_CAPACITY characters with
// terminator.
constexpr UINTN USAGE_LINE_LIMIT = 25;
constexpr UINTN USAGE_TEXT_CAPACITY = 160;
struct USAGE_TEXT {
  CHAR16 First[USAGE_TEXT_CAPACITY];
  CHAR16 Second[USAGE_TEXT_CAPACITY];
  bool Wrapped;
};
void BuildUsageText(UINT16 UsageMask, USAGE_TEXT* Text);

extern const CHAR16* const ClockNames[ICC_CLOCK_COUNT];
extern const CHAR16* const SpreadModeNames[SPREAD_INDEX_COUNT];
