// Small freestanding utilities: min/max, array length, a bounded view.
#pragma once

#include "uefi/base.h"

template <typename T>
constexpr T Min(T a, T b) { return b < a ? b : a; }
template <typename T>
constexpr T Max(T a, T b) { return a < b ? b : a; }

template <typename T, UINTN N>
constexpr UINTN ArrayCount(const T (&)[N]) { return N; }

// A pointer and an element count; nothing is owned.
template <typename T>
struct Span {
  T* Data = nullptr;
  UINTN Count = 0;

  constexpr Span() = default;
  constexpr Span(T* data, UINTN count) : Data(data), Count(count) {}
  template <UINTN N>
  constexpr Span(T (&array)[N]) : Data(array), Count(N) {}

  constexpr T& operator[](UINTN i) const { return Data[i]; }
  constexpr T* begin() const { return Data; }
  constexpr T* end() const { return Data + Count; }
  constexpr bool Empty() const { return Count == 0; }
};

// Unaligned little-endian reads of outside data.
inline UINT16 ReadLe16(const void* p) {
  const UINT8* b = (const UINT8*)p;
  return (UINT16)(b[0] | (b[1] << 8));
}
inline UINT32 ReadLe32(const void* p) {
  const UINT8* b = (const UINT8*)p;
  return (UINT32)b[0] | ((UINT32)b[1] << 8) | ((UINT32)b[2] << 16) | ((UINT32)b[3] << 24);
}
inline void WriteLe16(void* p, UINT16 v) {
  UINT8* b = (UINT8*)p;
  b[0] = (UINT8)v;
  b[1] = (UINT8)(v >> 8);
}
inline void WriteLe32(void* p, UINT32 v) {
  UINT8* b = (UINT8*)p;
  for (int i = 0; i < 4; ++i) b[i] = (UINT8)(v >> (8 * i));
}
