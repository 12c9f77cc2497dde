// Name resolution of one host name through the board's name-resolution
// service, following at most five aliases.
#pragma once

#include "uefi/base.h"

// Aliases followed before an answer is refused.
constexpr UINTN ALIAS_LIMIT = 5;
// Longest host name accepted for resolution (a caller's 128-byte buffer).
constexpr UINTN HOST_NAME_LIMIT = 127;

// HostName: NUL-terminated, in a buffer of at least 64 bytes; it is
// overwritten with each alias followed. Returns the parse status on success
// (the address in AddressOut) or one of the codes 105 to 109.
EFI_STATUS EFIAPI ResolveHostName(CHAR8* HostName, EFI_IPv4_ADDRESS* AddressOut, UINTN Value1);
