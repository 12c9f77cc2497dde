// String, memory and 64-bit arithmetic routines; none of them allocates
// except the pointer list.
#pragma once

#include "uefi/base.h"

UINTN AsciiLength(const CHAR8* String);
UINTN WideLength(const CHAR16* String);
CHAR8* AsciiCopy(CHAR8* Destination, const CHAR8* Source);
CHAR16* WideCopy(CHAR16* Destination, const CHAR16* Source);
INTN AsciiCompare(const CHAR8* A, const CHAR8* B);
INTN WideCompare(const CHAR16* A, const CHAR16* B);
bool AsciiEqualIgnoringCase(const CHAR8* A, const CHAR8* B);
CHAR8* AsciiToUpper(CHAR8* String);
CHAR16* WideToUpper(CHAR16* String);
const CHAR8* AsciiFind(const CHAR8* Haystack, const CHAR8* Needle);
INTN MemCompare(const VOID* A, const VOID* B, UINTN Length);
VOID MemMove(VOID* Destination, const VOID* Source, UINTN Length);
VOID MemFill(VOID* Buffer, UINTN Length, UINT8 Value);
UINT32 ParseDecimal(const CHAR8* String);
UINT64 ShiftRight64(UINT64 Value, UINTN Count);
UINT64 ShiftLeft64(UINT64 Value, UINTN Count);
UINT64 Divide64(UINT64 Dividend, UINT64 Divisor, UINT64* Remainder);
UINT64 Multiply64(UINT64 A, UINT64 B);

// Pointer list: grows by 10 entries at a time.
struct POINTER_LIST {
  UINTN Capacity;
  UINTN Count;
  VOID** Items;
};

EFI_STATUS PointerListAppend(POINTER_LIST* List, VOID* Item);
// Frees the item array (not the items) and empties the list.
void PointerListFree(POINTER_LIST* List);
