#include "lib/strings.h"

UINTN AsciiLength(const CHAR8* String) {
  UINTN n = 0;
  while (String[n] != 0) ++n;
  return n;
}

UINTN WideLength(const CHAR16* String) {
  UINTN n = 0;
  while (String[n] != 0) ++n;
  return n;
}

CHAR8* AsciiCopy(CHAR8* Destination, const CHAR8* Source) {
  UINTN i = 0;
  do {
    Destination[i] = Source[i];
  } while (Source[i++] != 0);
  return Destination;
}

CHAR16* WideCopy(CHAR16* Destination, const CHAR16* Source) {
  UINTN i = 0;
  do {
    Destination[i] = Source[i];
  } while (Source[i++] != 0);
  return Destination;
}

INTN AsciiCompare(const CHAR8* A, const CHAR8* B) {
  while (*A != 0 && *A == *B) {
    ++A;
    ++B;
  }
  return (INTN)(INT8)*A - (INTN)(INT8)*B;
}

INTN WideCompare(const CHAR16* A, const CHAR16* B) {
  while (*A != 0 && *A == *B) {
    ++A;
    ++B;
  }
  return (INTN)*A - (INTN)*B;
}

namespace {
CHAR8 FoldAscii(CHAR8 c) { return (c >= 'a' && c <= 'z') ? (CHAR8)(c - 'a' + 'A') : c; }
}  // namespace

bool AsciiEqualIgnoringCase(const CHAR8* A, const CHAR8* B) {
  for (;; ++A, ++B) {
    if (FoldAscii(*A) != FoldAscii(*B)) return false;
    if (*A == 0) return true;
  }
}

CHAR8* AsciiToUpper(CHAR8* String) {
  for (CHAR8* p = String; *p != 0; ++p) *p = FoldAscii(*p);
  return String;
}

CHAR16* WideToUpper(CHAR16* String) {
  for (CHAR16* p = String; *p != 0; ++p)
    if (*p >= u'a' && *p <= u'z') *p = (CHAR16)(*p - u'a' + u'A');
  return String;
}

const CHAR8* AsciiFind(const CHAR8* Haystack, const CHAR8* Needle) {
  if (*Needle == 0 || *Haystack == 0) return Haystack;
  for (const CHAR8* p = Haystack; *p != 0; ++p) {
    UINTN i = 0;
    while (Needle[i] != 0 && p[i] == Needle[i]) ++i;
    if (Needle[i] == 0) return p;
  }
  return Haystack + AsciiLength(Haystack);
}

INTN MemCompare(const VOID* A, const VOID* B, UINTN Length) {
  const INT8* a = (const INT8*)A;
  const INT8* b = (const INT8*)B;
  for (UINTN i = 0; i < Length; ++i)
    if (a[i] != b[i]) return (INTN)a[i] - (INTN)b[i];
  return 0;
}

VOID MemMove(VOID* Destination, const VOID* Source, UINTN Length) {
  UINT8* d = (UINT8*)Destination;
  const UINT8* s = (const UINT8*)Source;
  if (d > s && d < s + Length) {
    while (Length-- != 0) d[Length] = s[Length];
  } else {
    for (UINTN i = 0; i < Length; ++i) d[i] = s[i];
  }
}

VOID MemFill(VOID* Buffer, UINTN Length, UINT8 Value) {
  UINT8* d = (UINT8*)Buffer;
  for (UINTN i = 0; i < Length; ++i) d[i] = Value;
}

UINT32 ParseDecimal(const CHAR8* String) {
  UINT32 Value = 0;
  for (; *String >= '0' && *String <= '9'; ++String) Value = Value * 10u + (UINT32)(*String - '0');
  return Value;
}

UINT64 ShiftRight64(UINT64 Value, UINTN Count) { return Value >> (Count & 63); }
UINT64 ShiftLeft64(UINT64 Value, UINTN Count) { return Value << (Count & 63); }

UINT64 Divide64(UINT64 Dividend, UINT64 Divisor, UINT64* Remainder) {
  UINT64 Quotient = Dividend / Divisor;
  if (Remainder != nullptr) *Remainder = Dividend % Divisor;
  return Quotient;
}

UINT64 Multiply64(UINT64 A, UINT64 B) { return A * B; }
