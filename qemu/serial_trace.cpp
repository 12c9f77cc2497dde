#include "qemu/serial_trace.h"

#include "lib/hw/hw.h"

namespace {

constexpr UINT16 COM1_DATA = 0x3F8;
constexpr UINT16 COM1_LINE_STATUS = 0x3FD;
constexpr UINT8 TRANSMIT_EMPTY = 0x20;
constexpr UINTN TRANSMIT_POLLS = 100000;  // a missing UART must not hang the firmware

void PutByte(UINT8 Byte) {
  for (UINTN i = 0; i < TRANSMIT_POLLS && (PortRead8(COM1_LINE_STATUS) & TRANSMIT_EMPTY) == 0; ++i) {
  }
  PortWrite8(COM1_DATA, Byte);
}

}  // namespace

// Each line starts on a line of its own, whatever the terminal was drawing.
void TraceAscii(const CHAR8* Line) {
  PutByte('\r');
  PutByte('\n');
  for (const CHAR8* P = Line; *P; ++P) PutByte((UINT8)*P);
  PutByte('\r');
  PutByte('\n');
}
