// The text formatter: one engine over an array of 64-bit argument slots, in
// two output widths. The variadic front-ends pack each argument into one
// slot, so a run-time format that asks for more arguments than were given
// reads 0 (or an empty text) instead of walking off the argument list.
// Each slot also records whether it holds a pointer, so that a run-time
// format that reads an integer as a text or GUID prints nothing instead of
// following the integer.
#pragma once

#include "uefi/base.h"

// Result of a formatter call given a null buffer or format.
constexpr UINTN FORMAT_ERROR = ~(UINTN)0;

// Bit I of Pointers is set when slot I holds a pointer; slots past 63 are
// pointers only when every bit is set, as it is for untyped slots.
constexpr UINT64 FORMAT_UNTYPED = ~(UINT64)0;

struct FORMAT_ARGS {
  const UINT64* Slots;
  UINTN Count;
  UINT64 Pointers = FORMAT_UNTYPED;
};

namespace format_detail {
// Freestanding: no <type_traits>. (libstdc++ declares names such as
// __is_pointer itself, which hides clang's builtin of that name once any
// standard header came first, so the pointer test is spelled out here.)
template <typename T>
struct IsPointer {
  static constexpr bool Value = false;
};
template <typename T>
struct IsPointer<T*> {
  static constexpr bool Value = true;
};
template <typename T>
constexpr bool IsPointerLike = IsPointer<T>::Value || __is_same(T, decltype(nullptr));

template <typename... T>
constexpr UINT64 PointerMask() {
  UINT64 Mask = 0;
  UINT64 Bit = 1;
  ((Mask |= IsPointerLike<T> ? Bit : 0, Bit <<= 1), ...);
  return Mask;
}

template <typename T>
constexpr UINT64 ToSlot(T Value) {
  // Integers, characters, enums and pointers only: a record or a floating
  // value has no meaning for any conversion.
  static_assert(__is_integral(T) || __is_enum(T) || IsPointerLike<T>, "a format argument must fit one 64-bit slot");
  if constexpr (IsPointerLike<T>) {
    return (UINT64)(UINTN)Value;
  } else if constexpr (__is_enum(T)) {
    return (UINT64)Value;
  } else if constexpr ((T)-1 < (T)0) {
    return (UINT64)(INT64)Value;  // signed: sign-extended, as a varargs slot would read under %ld
  } else {
    return (UINT64)Value;
  }
}
}  // namespace format_detail

template <typename... T>
struct FormatSlots {
  UINT64 Slots[sizeof...(T) + 1];
  constexpr explicit FormatSlots(T... Values) : Slots{format_detail::ToSlot(Values)..., 0} {}
  static_assert(sizeof...(T) <= 64, "at most 64 format arguments");
  FORMAT_ARGS Args() const { return FORMAT_ARGS{Slots, sizeof...(T), format_detail::PointerMask<T...>()}; }
};

UINTN FormatWideV(CHAR16* Buffer, UINTN Capacity, const CHAR16* Format, FORMAT_ARGS Args);
UINTN FormatAsciiV(CHAR8* Buffer, UINTN Capacity, const CHAR8* Format, FORMAT_ARGS Args);
const CHAR8* StatusCodeName(EFI_STATUS Status);

template <typename... T>
UINTN FormatWide(CHAR16* Buffer, UINTN Capacity, const CHAR16* Format, T... Values) {
  FormatSlots<T...> Slots(Values...);
  return FormatWideV(Buffer, Capacity, Format, Slots.Args());
}

// The "unbounded" forms take the destination array itself: its length is the
// capacity, so a run-time template such as "%99999d" cannot pad past it.
template <UINTN N, typename... T>
UINTN FormatWideUnbounded(CHAR16 (&Buffer)[N], const CHAR16* Format, T... Values) {
  return FormatWide(Buffer, N, Format, Values...);
}

template <typename... T>
UINTN FormatAscii(CHAR8* Buffer, UINTN Capacity, const CHAR8* Format, T... Values) {
  FormatSlots<T...> Slots(Values...);
  return FormatAsciiV(Buffer, Capacity, Format, Slots.Args());
}

template <UINTN N, typename... T>
UINTN FormatAsciiUnbounded(CHAR8 (&Buffer)[N], const CHAR8* Format, T... Values) {
  return FormatAscii(Buffer, N, Format, Values...);
}
