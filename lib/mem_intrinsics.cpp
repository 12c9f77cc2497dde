// Firmware build: the memory routines the compiler emits calls to.
#include "uefi/base.h"

extern "C" {

__attribute__((no_builtin)) void* memcpy(void* Destination, const void* Source, size_t Length) {
  UINT8* d = (UINT8*)Destination;
  const UINT8* s = (const UINT8*)Source;
  while (Length--) *d++ = *s++;
  return Destination;
}

__attribute__((no_builtin)) void* memmove(void* Destination, const void* Source, size_t Length) {
  UINT8* d = (UINT8*)Destination;
  const UINT8* s = (const UINT8*)Source;
  if (d > s && d < s + Length) {
    while (Length--) d[Length] = s[Length];
  } else {
    while (Length--) *d++ = *s++;
  }
  return Destination;
}

__attribute__((no_builtin)) void* memset(void* Buffer, int Value, size_t Length) {
  UINT8* d = (UINT8*)Buffer;
  while (Length--) *d++ = (UINT8)Value;
  return Buffer;
}

__attribute__((no_builtin)) int memcmp(const void* A, const void* B, size_t Length) {
  const UINT8* a = (const UINT8*)A;
  const UINT8* b = (const UINT8*)B;
  for (size_t i = 0; i < Length; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

}  // extern "C"
