// Rules shared by the setting callbacks of several pages: numeric questions
// whose 0 means automatic, kept between a maximum and a minimum.
#pragma once

#include "lib/util.h"
#include "setupinfo/core/setup_record.h"

// The minimum rule: a value that is non-zero and below Minimum becomes
// Minimum when it is 1 and 0 otherwise. Stepping up from 0 (automatic) lands
// on 1 and is lifted to the minimum; stepping down from the minimum lands
// below it and falls back to automatic. A Minimum of 0 applies no rule.
constexpr UINT16 ApplyMinimumRule(UINT16 Value, UINT16 Minimum) {
  if (Minimum != 0 && Value != 0 && Value < Minimum) return Value == 1 ? Minimum : 0;
  return Value;
}

// Above Maximum becomes Maximum (a Maximum of 0 applies none), then the
// minimum rule.
constexpr UINT16 ClampWithMinimum(UINT16 Value, UINT16 Maximum, UINT16 Minimum) {
  if (Maximum != 0 && Value > Maximum) Value = Maximum;
  return ApplyMinimumRule(Value, Minimum);
}

// A question whose Setup field is kept by ClampWithMinimum.
struct SETUP_CLAMP_ROW {
  UINT16 Key;
  UINT16 Offset;  // byte offset in Setup
  UINT8 Width;    // 1 or 2 bytes
  UINT16 Maximum;
  UINT16 Minimum;
};

// Row for element Index of a field of the Setup index, e.g.
// ClampRow<setup::RingRatio>(0x426, 120, 8).
template <typename FIELD, UINTN INDEX = 0>
constexpr SETUP_CLAMP_ROW ClampRow(UINT16 Key, UINT16 Maximum, UINT16 Minimum = 0) {
  static_assert(INDEX < FIELD::Elements, "element outside the field");
  static_assert(sizeof(typename FIELD::Type) <= 2, "the rule keeps 8- and 16-bit values");
  return SETUP_CLAMP_ROW{Key, (UINT16)(FIELD::Start + INDEX * sizeof(typename FIELD::Type)),
                         (UINT8)sizeof(typename FIELD::Type), Maximum, Minimum};
}

// The row of Key in Rows, or null.
const SETUP_CLAMP_ROW* FindClampRow(Span<const SETUP_CLAMP_ROW> Rows, UINT16 Key);

// Applies Row to its field of Record.
void ApplyClampRow(const SETUP_CLAMP_ROW& Row, SETUP_RECORD* Record);
