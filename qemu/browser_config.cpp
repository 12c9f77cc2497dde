#include "qemu/browser_config.h"

namespace {

constexpr CHAR16 HEX_DIGITS[] = u"0123456789abcdef";
constexpr UINTN MAX_NUMBER_DIGITS = 16;  // a UINT64

int HexValue(CHAR16 C) {
  if (C >= u'0' && C <= u'9') return C - u'0';
  if (C >= u'a' && C <= u'f') return C - u'a' + 10;
  if (C >= u'A' && C <= u'F') return C - u'A' + 10;
  return -1;
}

UINTN HexDigitCount(UINTN Value) {
  UINTN Count = 1;
  while (Value >>= 4) ++Count;
  return Count;
}

CHAR16* PutText(CHAR16* Out, const CHAR16* Text) {
  while (*Text) *Out++ = *Text++;
  return Out;
}

CHAR16* PutHex(CHAR16* Out, UINTN Value) {
  for (UINTN i = HexDigitCount(Value); i > 0; --i) *Out++ = HEX_DIGITS[(Value >> ((i - 1) * 4)) & 0xF];
  return Out;
}

// The text is read through a cursor that never passes End.
struct CURSOR {
  const CHAR16* At;
  const CHAR16* End;

  bool Take(const CHAR16* Word, bool Consume = true) {
    const CHAR16* P = At;
    for (; *Word; ++Word, ++P)
      if (P == End || *P != *Word) return false;
    if (Consume) At = P;
    return true;
  }
  // The span up to the next '&' or the end.
  const CHAR16* SpanEnd() const {
    const CHAR16* P = At;
    while (P != End && *P != u'&' && *P != 0) ++P;
    return P;
  }
  void SkipField() {
    At = SpanEnd();
    if (At != End && *At == u'&') ++At;
  }
  bool TakeNumber(UINTN* Value) {
    const CHAR16* Stop = SpanEnd();
    if (Stop == At || (UINTN)(Stop - At) > MAX_NUMBER_DIGITS) return false;
    UINTN N = 0;
    for (const CHAR16* P = At; P != Stop; ++P) {
      const int Digit = HexValue(*P);
      if (Digit < 0) return false;
      N = (N << 4) | (UINTN)Digit;
    }
    *Value = N;
    At = Stop;
    if (At != End && *At == u'&') ++At;
    return true;
  }
};

}  // namespace

UINTN ChangedRunsToConfigBody(const UINT8* Old, const UINT8* New, UINTN Size, CHAR16* Out, UINTN Capacity) {
  UINTN Length = 0;
  for (UINTN Pass = 0; Pass < 2; ++Pass) {
    const bool Write = Pass == 1;
    if (Write && (Out == nullptr || Capacity < Length + 1)) return Length;
    CHAR16* P = Out;
    UINTN Count = 0;
    for (UINTN Start = 0; Start < Size;) {
      if (Old[Start] == New[Start]) {
        ++Start;
        continue;
      }
      UINTN End = Start;
      while (End < Size && Old[End] != New[End]) ++End;
      const UINTN Width = End - Start;
      Count += (Count ? 1 : 0) + 7 + HexDigitCount(Start) + 7 + HexDigitCount(Width) + 7 + 2 * Width;
      if (Write) {
        if (P != Out) *P++ = u'&';
        P = PutHex(PutText(P, u"OFFSET="), Start);
        P = PutHex(PutText(P, u"&WIDTH="), Width);
        P = PutText(P, u"&VALUE=");
        for (UINTN i = End; i > Start; --i) {
          *P++ = HEX_DIGITS[New[i - 1] >> 4];
          *P++ = HEX_DIGITS[New[i - 1] & 0xF];
        }
      }
      Start = End;
    }
    if (Write) *P = 0;
    Length = Count;
  }
  return Length;
}

UINTN ApplyConfigBody(const CHAR16* Body, UINTN Length, UINT8* Block, UINTN Size) {
  if (Body == nullptr || Block == nullptr) return 0;
  UINTN Stop = 0;
  while (Stop < Length && Body[Stop] != 0) ++Stop;
  CURSOR C = {Body, Body + Stop};
  UINTN Applied = 0;
  while (C.At != C.End) {
    // Defaults follow the current values; they are not the browser's copy.
    if (C.Take(u"ALTCFG=")) break;
    UINTN Offset = 0, Width = 0;
    if (!C.Take(u"OFFSET=")) {
      C.SkipField();  // a header field (GUID, NAME, PATH) or one not known here
      continue;
    }
    if (!C.TakeNumber(&Offset) || !C.Take(u"WIDTH=") || !C.TakeNumber(&Width) || !C.Take(u"VALUE=")) {
      // A run cut short: the next one may start right here.
      if (!C.Take(u"OFFSET=", false)) C.SkipField();
      continue;
    }
    const CHAR16* Digits = C.At;
    const CHAR16* DigitsEnd = C.SpanEnd();
    C.SkipField();
    const UINTN Count = (UINTN)(DigitsEnd - Digits);
    if (Width == 0 || Offset > Size || Width > Size - Offset || Count != 2 * Width) continue;
    bool Valid = true;
    for (const CHAR16* P = Digits; P != DigitsEnd; ++P) Valid = Valid && HexValue(*P) >= 0;
    if (!Valid) continue;
    // Last byte first: byte i sits at digits 2 * (Width - 1 - i).
    for (UINTN i = 0; i < Width; ++i) {
      const CHAR16* Pair = Digits + 2 * (Width - 1 - i);
      Block[Offset + i] = (UINT8)((HexValue(Pair[0]) << 4) | HexValue(Pair[1]));
    }
    ++Applied;
  }
  return Applied;
}
