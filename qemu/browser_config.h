// The browser's results strings for a buffer store: OFFSET=<hex>&WIDTH=<hex>&VALUE=<hex>
// runs, each VALUE written as one little-endian number (last byte first).
// Pure text work, shared by the OVMF form utility stand-in and host tests.
#pragma once

#include "uefi/base.h"

// The runs where New differs from Old, '&'-separated, NUL-terminated into
// Out; the length (NUL excluded) is returned, and nothing is written when
// Capacity (characters, NUL included) is too small or Out is null, so a
// first call with no output measures. Bytes equal in both are left out, so
// the browser keeps the values it holds there.
UINTN ChangedRunsToConfigBody(const UINT8* Old, const UINT8* New, UINTN Size, CHAR16* Out, UINTN Capacity);

// Overlays every run of Body (Length characters at most) onto Block. Runs
// that reach past Size, or whose VALUE does not hold exactly WIDTH bytes,
// are skipped; the alternative-configuration sections that may follow the
// current values are not read. Returns the number of runs applied.
UINTN ApplyConfigBody(const CHAR16* Body, UINTN Length, UINT8* Block, UINTN Size);
