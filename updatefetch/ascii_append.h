// Joining the driver's few fixed texts: a copy loop instead of the
// formatter, which would bring its GUID and status-name code into the image.
#pragma once

#include "uefi/base.h"

// Copies Text with its NUL to Out and returns where the NUL went, so the next
// piece overwrites it. The caller sizes Out for the whole text.
inline CHAR8* AppendAscii(CHAR8* Out, const CHAR8* Text) {
  while ((*Out = *Text++) != 0) ++Out;
  return Out;
}
