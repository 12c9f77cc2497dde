// Name-resolution service of the board firmware. Four members are called;
// none takes the interface pointer. The others are kept as opaque slots.
#pragma once

#include "uefi/base.h"

// Record type of an answer that names an alias instead of an address.
constexpr UINT8 NAME_RECORD_ALIAS = 5;
// Size of the alias name buffer handed to ParseAnswer.
constexpr UINTN NAME_ALIAS_BUFFER_SIZE = 64;

struct NAME_RESOLUTION_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x56245B22, 0x3D9F, 0x4790, {0xB9, 0xB2, 0xDE, 0x4C, 0x4B, 0xA8, 0x99, 0x6D}};

  // Exchange: on entry *Length is the query length, on return the answer
  // length. EFI_TIMEOUT with a non-null *Answer means an answer was
  // collected; EFI_SUCCESS means none was. The answer belongs to the
  // exchange context and goes away with Close.
  using ExchangeFn = EFI_STATUS(EFIAPI*)(UINTN* ContextA, UINTN* ContextB, UINTN Value1, VOID* Query,
                                         UINT16* Length, VOID** Answer);
  // Returns a pool buffer holding the query; the caller frees it.
  using BuildQueryFn = EFI_STATUS(EFIAPI*)(VOID** Query, const CHAR8* HostName, UINT16* Length);
  // Stores the address, or for an alias record (type 5) the alias name in
  // the buffer *NameBuffer points at (NAME_ALIAS_BUFFER_SIZE bytes).
  using ParseAnswerFn = EFI_STATUS(EFIAPI*)(VOID* Answer, UINT16 QueryLength, UINT16 AnswerLength,
                                            EFI_IPv4_ADDRESS* Address, CHAR8** NameBuffer, UINT8* RecordType);
  using CloseFn = EFI_STATUS(EFIAPI*)(UINTN ContextA, UINTN ContextB);

  VOID* Opaque0[6];
  ExchangeFn Exchange;      // 7th member
  BuildQueryFn BuildQuery;  // 8th
  ParseAnswerFn ParseAnswer;  // 9th
  VOID* Opaque9;
  CloseFn Close;  // 11th
};
static_assert(offsetof(NAME_RESOLUTION_PROTOCOL, Exchange) == 0x30);
static_assert(offsetof(NAME_RESOLUTION_PROTOCOL, BuildQuery) == 0x38);
static_assert(offsetof(NAME_RESOLUTION_PROTOCOL, ParseAnswer) == 0x40);
static_assert(offsetof(NAME_RESOLUTION_PROTOCOL, Close) == 0x50);
static_assert(sizeof(NAME_RESOLUTION_PROTOCOL) == 11 * 8);
