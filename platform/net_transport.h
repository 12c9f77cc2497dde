// The network transport an update application hands to the update locator.
// Only the send function is called; the other members are the transport's
// own and are kept as opaque slots so the offsets stay right.
#pragma once

#include "uefi/base.h"

// Filled by the transport: the reply is accepted only when the two part
// lengths add up to the total, and the total is how many bytes are read.
struct REPLY_LENGTHS {
  UINT32 FirstPart;
  UINT32 SecondPart;
  UINT32 Total;
};
static_assert(sizeof(REPLY_LENGTHS) == 12);

struct NET_TRANSPORT_PROTOCOL {
  // Sends Request (NUL-terminated ASCII) and hands over a pool buffer holding
  // the reply; the receiver frees it. Value1 and Value2 are the caller's.
  using SendFn = EFI_STATUS(EFIAPI*)(UINTN Value1, UINTN Value2, const CHAR8* Request, VOID** Reply,
                                     REPLY_LENGTHS* Lengths, UINTN Reserved);

  VOID* Opaque[10];
  SendFn Send;  // 11th member
};
static_assert(offsetof(NET_TRANSPORT_PROTOCOL, Send) == 0x50);
static_assert(sizeof(NET_TRANSPORT_PROTOCOL) == 11 * 8);
