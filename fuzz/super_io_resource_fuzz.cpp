// The Super I/O driver's interface and description record, of any content:
// the first byte says whether the record pointer is null, then come the
// interface bytes and the record bytes, zero-padded to their sizes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "setupinfo/pages/board/super_io_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  const bool NullRecord = (Data[0] & 1) != 0;
  ++Data;
  --Size;
  SUPER_IO_DEVICE_PROTOCOL Interface;
  SUPER_IO_DEVICE_DESCRIPTION Record;
  memset(&Interface, 0, sizeof Interface);
  memset(&Record, 0, sizeof Record);
  const size_t InterfaceBytes = Size < sizeof Interface ? Size : sizeof Interface;
  memcpy(&Interface, Data, InterfaceBytes);
  const size_t RecordBytes = Size - InterfaceBytes < sizeof Record ? Size - InterfaceBytes : sizeof Record;
  memcpy(&Record, Data + InterfaceBytes, RecordBytes);
  Interface.Description = NullRecord ? nullptr : &Record;

  UINT16 StringId = 0;
  CHAR16 Text[SUPER_IO_LINE_CAPACITY];
  memset(Text, 0xFF, sizeof Text);
  if (!SuperIoResourceLine(&Interface, &StringId, Text)) return 0;
  if (NullRecord || Record.Usable == 0 || Interface.Enabled == 0 || Interface.Active == 0) __builtin_trap();
  if (StringId != 0x0888 && StringId != 0x0897 && StringId != 0x0898 && StringId != 0x08A3 && StringId != 0x08AF)
    __builtin_trap();
  // The whole line, never cut: it fits its buffer with the terminator.
  size_t Length = 0;
  while (Length < SUPER_IO_LINE_CAPACITY && Text[Length] != 0) ++Length;
  if (Length == SUPER_IO_LINE_CAPACITY || Text[Length - 1] != u';' || Text[0] != u'I') __builtin_trap();
  return 0;
}
