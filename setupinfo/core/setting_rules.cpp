#include "setupinfo/core/setting_rules.h"

const SETUP_CLAMP_ROW* FindClampRow(Span<const SETUP_CLAMP_ROW> Rows, UINT16 Key) {
  for (const SETUP_CLAMP_ROW& Row : Rows)
    if (Row.Key == Key) return &Row;
  return nullptr;
}

void ApplyClampRow(const SETUP_CLAMP_ROW& Row, SETUP_RECORD* Record) {
  UINT8* Field = Record->Bytes + Row.Offset;
  if (Row.Width == 2)
    WriteLe16(Field, ClampWithMinimum(ReadLe16(Field), Row.Maximum, Row.Minimum));
  else
    *Field = (UINT8)ClampWithMinimum(*Field, Row.Maximum, Row.Minimum);
}
