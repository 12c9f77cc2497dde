// The browser's results strings for a buffer store: OFFSET=<hex>&WIDTH=<hex>&VALUE=<hex>
// runs, each VALUE written as one little-endian number (last byte first).
// Pure text work, shared by the OVMF form utility stand-in and host tests.
#pragma once

#include "uefi/base.h"

// Characters (NUL excluded) of the string that BlockToConfigBody writes for Size bytes.
UINTN ConfigBodyLength(UINTN Size);

// One run covering the whole block, NUL-terminated; false when Capacity
// (in characters, NUL included) is too small.
bool BlockToConfigBody(const UINT8* Block, UINTN Size, CHAR16* Out, UINTN Capacity);

// Overlays every run of Body (Length characters at most) onto Block. Runs
// that reach past Size, or whose VALUE does not hold exactly WIDTH bytes,
// are skipped; the alternative-configuration sections that may follow the
// current values are not read. Returns the number of runs applied.
UINTN ApplyConfigBody(const CHAR16* Body, UINTN Length, UINT8* Block, UINTN Size);
