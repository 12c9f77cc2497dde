// Splits a download location into host name and path, and reads a host
// written as dotted decimal.
#pragma once

#include "uefi/base.h"

// Working buffers of the split; a location has at most 511 characters.
constexpr UINTN SPLIT_BUFFER_SIZE = 512;

// Host is the text before the first "/" (quote rule of the plain search),
// path the text from that "/" on, or empty. HostOut and PathOut are
// UPDATE_HOST_BUFFER_SIZE / UPDATE_PATH_BUFFER_SIZE bytes and are written
// only on success. EFI_BAD_BUFFER_SIZE when the location or either part
// does not fit; EFI_OUT_OF_RESOURCES when the working buffers cannot be had.
EFI_STATUS SplitLocation(const CHAR8* Location, CHAR8* HostOut, CHAR8* PathOut);

// True when every character is a decimal digit or "." (an empty text too).
bool IsDottedDecimalText(const CHAR8* Text);

// Fields between dots become the address bytes, first field in the lowest
// byte, each its value's low 8 bits; missing fields stay 0. Refuses (with
// EFI_INVALID_PARAMETER, Address untouched) more than four fields, a field
// of more than three digits and any character other than digits and dots.
EFI_STATUS ParseDottedDecimal(const CHAR8* Text, EFI_IPv4_ADDRESS* Address);
