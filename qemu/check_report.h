// The check application's report on the console: one "PASS name" or
// "FAIL name: why" line per check, notes, and a final count line that the
// runner reads from the serial console.
#pragma once

#include "lib/text_format.h"
#include "uefi/system_table.h"

constexpr UINTN REPORT_LINE_CAPACITY = 512;

struct CHECK_REPORT {
  UINTN Passed;
  UINTN Failed;
};

void PrintLine(const CHAR16* Text);

template <typename... T>
void PrintFormatted(const CHAR16* Format, T... Values) {
  CHAR16 Line[REPORT_LINE_CAPACITY];
  FormatWide(Line, REPORT_LINE_CAPACITY, Format, Values...);
  PrintLine(Line);
}

void RecordResult(CHECK_REPORT* Report, const CHAR16* Name, bool Passed, const CHAR16* Why);

// Why is formatted only for a failure; it says what was seen.
template <typename... T>
bool Check(CHECK_REPORT* Report, const CHAR16* Name, bool Passed, const CHAR16* WhyFormat, T... Values) {
  CHAR16 Why[REPORT_LINE_CAPACITY];
  Why[0] = 0;
  if (!Passed) FormatWide(Why, REPORT_LINE_CAPACITY, WhyFormat, Values...);
  RecordResult(Report, Name, Passed, Why);
  return Passed;
}

template <typename... T>
void Note(const CHAR16* Format, T... Values) {
  CHAR16 Text[REPORT_LINE_CAPACITY];
  FormatWide(Text, REPORT_LINE_CAPACITY, Format, Values...);
  PrintFormatted(u"NOTE %s", Text);
}

void PrintSummary(const CHECK_REPORT* Report);
