// Test-only log lines on the first serial port, written to the UART
// directly: the text console belongs to the browser while a form is shown,
// and these lines must not land on its screen.
#pragma once

#include "lib/text_format.h"

constexpr UINTN TRACE_LINE_CAPACITY = 192;

void TraceAscii(const CHAR8* Line);

template <typename... T>
void TraceFormatted(const CHAR8* Format, T... Values) {
  CHAR8 Line[TRACE_LINE_CAPACITY];
  FormatAscii(Line, TRACE_LINE_CAPACITY, Format, Values...);
  TraceAscii(Line);
}
