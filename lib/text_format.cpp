// The formatter engine, written once over the output character type. Format
// strings are run-time text (page templates come from string packages), so
// the engine bounds everything it reads and writes: arguments by the slot
// count, output by the capacity.
#include "lib/text_format.h"

namespace {

constexpr EFI_STATUS STATUS_BIT_ERROR = 0x8000000000000000ull;
constexpr EFI_STATUS STATUS_BIT_OEM = 0x4000000000000000ull;
constexpr EFI_STATUS STATUS_BIT_PI = 0x2000000000000000ull;
constexpr EFI_STATUS STATUS_RANGE_BITS = STATUS_BIT_ERROR | STATUS_BIT_OEM | STATUS_BIT_PI;

constexpr const CHAR8* WarningNames[] = {
    nullptr,
    "EFI_WARN_UNKNOWN_GLYPH",
    "EFI_WARN_DELETE_FAILURE",
    "EFI_WARN_WRITE_FAILURE",
    "EFI_WARN_BUFFER_TOO_SMALL",
};

constexpr const CHAR8* PiWarningNames[] = {
    "EFI_WARN_INTERRUPT_SOURCE_PENDING",
    "EFI_WARN_INTERRUPT_SOURCE_QUIESCED",
};

constexpr const CHAR8* PiErrorNames[] = {
    "EFI_INTERRUPT_PENDING",
    "EFI_REQUEST_UNLOAD_IMAGE",
    "EFI_NOT_AVAILABLE_YET",
};

constexpr const CHAR8* DbeErrorNames[] = {
    nullptr,
    "EFI_DBE_EOF",
    "EFI_DBE_BOF",
};

constexpr const CHAR8* ErrorNames[] = {
    nullptr,
    "EFI_LOAD_ERROR",
    "EFI_INVALID_PARAMETER",
    "EFI_UNSUPPORTED",
    "EFI_BAD_BUFFER_SIZE",
    "EFI_BUFFER_TOO_SMALL",
    "EFI_NOT_READY",
    "EFI_DEVICE_ERROR",
    "EFI_WRITE_PROTECTED",
    "EFI_OUT_OF_RESOURCES",
    "EFI_VOLUME_CORRUPTED",
    "EFI_VOLUME_FULL",
    "EFI_NO_MEDIA",
    "EFI_MEDIA_CHANGED",
    "EFI_NOT_FOUND",
    "EFI_ACCESS_DENIED",
    "EFI_NO_RESPONSE",
    "EFI_NO_MAPPING",
    "EFI_TIMEOUT",
    "EFI_NOT_STARTED",
    "EFI_ALREADY_STARTED",
    "EFI_ABORTED",
    "EFI_ICMP_ERROR",
    "EFI_TFTP_ERROR",
    "EFI_PROTOCOL_ERROR",
    "EFI_INCOMPATIBLE_VERSION",
    "EFI_SECURITY_VIOLATION",
    "EFI_CRC_ERROR",
    "EFI_END_OF_MEDIA",
    "EFI_UNDEFINED_29",
    "EFI_UNDEFINED_30",
};

template <UINTN N>
const CHAR8* NameAt(const CHAR8* const (&Table)[N], UINT64 Index) {
  return Index < N ? Table[Index] : nullptr;
}

// Enough for 20 decimal digits and a sign, or 16 hexadecimal digits.
constexpr UINTN NUMBER_SCRATCH = 24;

// Characters are read unsigned, so a byte above 0x7F widens to U+0080..U+00FF
// rather than sign-extending.
template <typename CharT>
constexpr UINT32 CodeOf(CharT Ch) {
  if constexpr (sizeof(CharT) == 1) {
    return (UINT8)Ch;
  } else {
    return (UINT16)Ch;
  }
}

template <typename CharT>
struct OtherWidth {
  using Type = CHAR8;
};
template <>
struct OtherWidth<CHAR8> {
  using Type = CHAR16;
};

template <typename CharT>
class Output {
 public:
  Output(CharT* Buffer, UINTN Capacity)
      : Buffer_(Buffer), Limit_(Capacity == 0 ? ~(UINTN)0 : Capacity - 1) {}

  // False once only the terminator's room is left; everything after that is dropped.
  bool Put(UINT32 Ch) {
    if (Count_ >= Limit_) {
      Full_ = true;
      return false;
    }
    Buffer_[Count_++] = (CharT)Ch;
    return true;
  }

  // Copies up to the terminator (or, with StopAtPercent, the next '%') and
  // returns where it stopped. Put's bookkeeping, kept in locals: most of what
  // the pages print is such runs.
  // Narrowing (16-bit source into 8-bit output) keeps the low byte.
  template <bool StopAtPercent, typename SourceT>
  const SourceT* PutRun(const SourceT* Text) {
    UINTN Count = Count_;
    for (;; ++Text) {
      const UINT32 Ch = CodeOf(*Text);
      // NUL and '%' sort below every letter and digit: one compare for most characters.
      if (Ch <= '%' && (Ch == 0 || (StopAtPercent && Ch == '%'))) break;
      if (Count >= Limit_) {
        Full_ = true;
        break;
      }
      Buffer_[Count++] = (CharT)Ch;
    }
    Count_ = Count;
    return Text;
  }

  template <typename SourceT>
  void PutString(const SourceT* Text) {
    if (Text != nullptr) PutRun<false>(Text);
  }

  // Digits least significant first, then the sign, then read back reversed.
  // Padding goes before the whole text, sign included.
  void PutNumber(UINT64 Magnitude, bool Negative, UINT32 Base, bool Upper, UINT32 Width, CHAR8 Pad) {
    CHAR8 Scratch[NUMBER_SCRATCH];
    UINTN Length = 0;
    do {
      UINT32 Digit = (UINT32)(Magnitude % Base);
      Magnitude /= Base;
      Scratch[Length++] = (CHAR8)(Digit < 10 ? '0' + Digit : (Upper ? 'A' : 'a') + Digit - 10);
    } while (Magnitude != 0);
    if (Negative) Scratch[Length++] = '-';
    for (UINT32 Padding = Width > Length ? Width - (UINT32)Length : 0; Padding != 0; --Padding) {
      if (!Put((UINT8)Pad)) return;
    }
    while (Length != 0) {
      if (!Put((UINT8)Scratch[--Length])) return;
    }
  }

  void PutHex(UINT64 Value, UINT32 Digits, bool Upper) { PutNumber(Value, false, 16, Upper, Digits, '0'); }

  void PutGuid(const EFI_GUID* Guid, bool Upper) {
    if (Guid == nullptr) return;
    PutHex(Guid->Data1, 8, Upper);
    Put('-');
    PutHex(Guid->Data2, 4, Upper);
    Put('-');
    PutHex(Guid->Data3, 4, Upper);
    Put('-');
    for (UINTN Index = 0; Index < 8; ++Index) {
      if (Index == 2) Put('-');
      PutHex(Guid->Data4[Index], 2, Upper);
    }
  }

  void PutStatus(EFI_STATUS Status) {
    const CHAR8* Name = StatusCodeName(Status);
    if (Name != nullptr) {
      PutString(Name);
      return;
    }
    PutString("Status Code(");
    PutHex((UINT32)Status, 0, true);
    Put(')');
  }

  UINTN Finish() {
    Buffer_[Count_] = 0;
    return Count_;
  }

  bool Full() const { return Full_; }

 private:
  CharT* Buffer_;
  UINTN Limit_;
  UINTN Count_ = 0;
  bool Full_ = false;
};

// Arguments past the given slots read as 0, which every conversion turns into
// "0", an empty text or a null pointer that prints nothing.
class ArgumentReader {
 public:
  explicit ArgumentReader(FORMAT_ARGS Args) : Args_(Args) {
    if (Args_.Slots == nullptr) Args_.Count = 0;
  }
  UINT64 Next() { return Next_ < Args_.Count ? Args_.Slots[Next_++] : 0; }
  // A text or GUID conversion: a slot that holds an integer reads as null.
  UINTN NextPointer() {
    const UINTN Index = Next_;
    const UINT64 Slot = Next();
    const bool Pointer = Index < 64 ? ((Args_.Pointers >> Index) & 1) != 0 : Args_.Pointers == FORMAT_UNTYPED;
    return Pointer ? (UINTN)Slot : 0;
  }

 private:
  FORMAT_ARGS Args_;
  UINTN Next_ = 0;
};

template <typename CharT>
constexpr bool IsDigit(CharT Ch) {
  return Ch >= '0' && Ch <= '9';
}

template <typename CharT>
UINTN FormatEngine(CharT* Buffer, UINTN Capacity, const CharT* Format, FORMAT_ARGS Args) {
  if (Buffer == nullptr || Format == nullptr) return FORMAT_ERROR;
  using OtherT = typename OtherWidth<CharT>::Type;  // for 'S'

  Output<CharT> Out(Buffer, Capacity);
  ArgumentReader Arguments(Args);

  while (*Format != 0 && !Out.Full()) {
    if (*Format != '%') {
      Format = Out.template PutRun<true>(Format);
      continue;
    }
    ++Format;

    CHAR8 Pad = ' ';
    UINT32 Width = 0;
    // Every flag and width character sorts at or below '9': a bare conversion
    // such as %s or %d skips the lot.
    if (*Format <= '9') {
      if (*Format == '0') {
        Pad = '0';
        ++Format;
      }
      // A sign before the width is not part of the grammar: it is skipped and
      // the number stays right-aligned, so the conversion still takes its own
      // argument and later ones stay in step.
      if (*Format == '-' || *Format == '+') ++Format;
      if (*Format == '*') {
        INT32 Given = (INT32)(UINT32)Arguments.Next();
        Width = Given < 0 ? 0u - (UINT32)Given : (UINT32)Given;
        ++Format;
      } else {
        // Blanks may precede a written width only: in "% *d" the '*' is the
        // conversion character.
        while (*Format == ' ' || *Format == '\t') ++Format;
        while (IsDigit(*Format)) Width = Width * 10 + (UINT32)(*Format++ - '0');
      }
    }
    bool Long = false;
    if (*Format == 'l') {
      Long = true;
      ++Format;
    }

    CharT Conversion = *Format;
    if (Conversion == 0) break;  // a conversion cut short by the end of the format
    ++Format;

    switch (Conversion) {
      case '%':
        Out.Put('%');
        break;
      case 's':
        Out.PutString((const CharT*)Arguments.NextPointer());
        break;
      case 'S':
        Out.PutString((const OtherT*)Arguments.NextPointer());
        break;
      case 'a':
        Out.PutString((const CHAR8*)Arguments.NextPointer());
        break;
      case 'c':
        Out.Put(CodeOf((CharT)Arguments.Next()));
        break;
      case 'g':
      case 'G':
        Out.PutGuid((const EFI_GUID*)Arguments.NextPointer(), Conversion == 'G');
        break;
      case 'r':
        Out.PutStatus(Arguments.Next());
        break;
      case 'd':
      case 'i': {
        UINT64 Slot = Arguments.Next();
        INT64 Value = Long ? (INT64)Slot : (INT64)(INT32)(UINT32)Slot;
        bool Negative = Value < 0;
        UINT64 Magnitude = Negative ? 0ull - (UINT64)Value : (UINT64)Value;
        Out.PutNumber(Magnitude, Negative, 10, false, Width, Pad);
        break;
      }
      case 'x':
      case 'X': {
        UINT64 Slot = Arguments.Next();
        Out.PutNumber(Long ? Slot : (UINT32)Slot, false, 16, Conversion == 'X', Width, Pad);
        break;
      }
      default:
        // Unknown: the conversion character is plain text and takes no argument.
        Out.Put(CodeOf(Conversion));
        break;
    }
  }
  return Out.Finish();
}

}  // namespace

UINTN FormatWideV(CHAR16* Buffer, UINTN Capacity, const CHAR16* Format, FORMAT_ARGS Args) {
  return FormatEngine(Buffer, Capacity, Format, Args);
}

UINTN FormatAsciiV(CHAR8* Buffer, UINTN Capacity, const CHAR8* Format, FORMAT_ARGS Args) {
  return FormatEngine(Buffer, Capacity, Format, Args);
}

const CHAR8* StatusCodeName(EFI_STATUS Status) {
  if (Status == EFI_SUCCESS) return "EFI_SUCCESS";
  UINT64 Code = Status & ~STATUS_RANGE_BITS;
  if ((Status & STATUS_BIT_ERROR) == 0) {
    if ((Status & STATUS_BIT_PI) != 0) return NameAt(PiWarningNames, Code);
    // Other warning ranges carry no names: only the plain values 1 to 4 do.
    return NameAt(WarningNames, Status);
  }
  if ((Status & STATUS_BIT_PI) != 0) return NameAt(PiErrorNames, Code);
  if ((Status & STATUS_BIT_OEM) != 0) return NameAt(DbeErrorNames, Code);
  return NameAt(ErrorNames, Code);
}
