// Formatter tests. Shared cases run in both widths through a typed fixture
// that formats into a buffer pre-filled with a canary, so a missing
// terminator or any write after it (past the capacity included) fails the case.
#include "lib/text_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr EFI_GUID SetupGuid = {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};
constexpr const char* SetupGuidText = "ec87d643-eba4-4bb5-a1e5-3f3e36b20da9";

template <typename C>
std::basic_string<C> Widen(const char* Text) {
  std::basic_string<C> Out;
  for (; *Text; ++Text) Out.push_back((C)(unsigned char)*Text);
  return Out;
}

template <typename C>
UINTN FormatV(C* Buffer, UINTN Capacity, const C* Format, FORMAT_ARGS Args) {
  if constexpr (sizeof(C) == 1) {
    return FormatAsciiV(Buffer, Capacity, Format, Args);
  } else {
    return FormatWideV(Buffer, Capacity, Format, Args);
  }
}

template <typename C, typename... T>
UINTN FormatN(C* Buffer, UINTN Capacity, const C* Format, T... Values) {
  if constexpr (sizeof(C) == 1) {
    return FormatAscii(Buffer, Capacity, Format, Values...);
  } else {
    return FormatWide(Buffer, Capacity, Format, Values...);
  }
}

struct Result {
  std::string Text;  // output narrowed; a non-ASCII character fails the case
  UINTN Count;
};

template <typename C>
class FormatBoth : public ::testing::Test {
 protected:
  static constexpr C Canary = (C)0x5A;
  static constexpr UINTN CanaryTail = 8;

  // Formats with the given capacity into a buffer with a canary tail.
  template <typename... T>
  Result Run(UINTN Capacity, const char* Format, T... Values) {
    std::basic_string<C> WideFormat = Widen<C>(Format);
    std::vector<C> Buffer((Capacity == 0 ? 512 : Capacity) + CanaryTail, Canary);
    UINTN Count = FormatN<C>(Buffer.data(), Capacity, WideFormat.c_str(), Values...);
    return Check(Buffer, Capacity, Count);
  }

  template <typename... T>
  std::string Text(const char* Format, T... Values) {
    return Run(0, Format, Values...).Text;
  }

  // Nothing may be written after the terminator.
  Result Check(const std::vector<C>& Buffer, UINTN Capacity, UINTN Count) {
    Result Out{{}, Count};
    EXPECT_LT(Count, Buffer.size());
    if (Count >= Buffer.size()) return Out;
    EXPECT_EQ(Buffer[Count], (C)0) << "terminator";
    for (UINTN Index = 0; Index < Count; ++Index) {
      EXPECT_LT((UINT32)Buffer[Index], 0x80u) << "at " << Index;
      Out.Text.push_back((char)Buffer[Index]);
    }
    for (UINTN Index = Count + 1; Index < Buffer.size(); ++Index) {
      EXPECT_EQ(Buffer[Index], Canary) << "at " << Index << ", capacity " << Capacity;
    }
    return Out;
  }

  // A string argument of this width, kept alive for the case.
  const C* Same(const char* Text) { return Keep<C>(Text); }
  // A string argument of the other width (for 'S').
  auto Other(const char* Text) {
    if constexpr (sizeof(C) == 1) {
      return Keep<CHAR16>(Text);
    } else {
      return Keep<CHAR8>(Text);
    }
  }

 private:
  template <typename S>
  const S* Keep(const char* Text) {
    if constexpr (sizeof(S) == 1) {
      return Narrow_.emplace_back(Text).c_str();
    } else {
      return Wide_.emplace_back(Widen<CHAR16>(Text)).c_str();
    }
  }
  std::deque<std::string> Narrow_;
  std::deque<std::u16string> Wide_;
};

using Widths = ::testing::Types<CHAR8, CHAR16>;
class WidthNames {
 public:
  template <typename C>
  static std::string GetName(int) {
    return sizeof(C) == 1 ? "Ascii" : "Wide";
  }
};
TYPED_TEST_SUITE(FormatBoth, Widths, WidthNames);

TYPED_TEST(FormatBoth, PlainTextAndPercent) {
  EXPECT_EQ(this->Text("abc"), "abc");
  EXPECT_EQ(this->Text(""), "");
  EXPECT_EQ(this->Text("%d.%02d%%", 5, 7), "5.07%");
  Result R = this->Run(0, "100%% of %d", 3);
  EXPECT_EQ(R.Text, "100% of 3");
  EXPECT_EQ(R.Count, 9u);
}

TYPED_TEST(FormatBoth, Decimal) {
  EXPECT_EQ(this->Text("%d", 0), "0");
  EXPECT_EQ(this->Text("%d|%i", -42, 1234567890), "-42|1234567890");
  EXPECT_EQ(this->Text("%d", 0x80000000u), "-2147483648");
  // Without 'l' only the low 32 bits count, read signed.
  EXPECT_EQ(this->Text("%d", 0x1FFFFFFFFull), "-1");
  EXPECT_EQ(this->Text("%ld", 0x1FFFFFFFFull), "8589934591");
  EXPECT_EQ(this->Text("%ld", (UINT32)0xFFFFFFFF), "4294967295");
  EXPECT_EQ(this->Text("%ld|%li", INT64_MIN, INT64_MAX), "-9223372036854775808|9223372036854775807");
  EXPECT_EQ(this->Text("%ld", ~0ull), "-1");
}

TYPED_TEST(FormatBoth, Hexadecimal) {
  EXPECT_EQ(this->Text("%x|%X", 0xBEEFu, 0xbeefu), "beef|BEEF");
  EXPECT_EQ(this->Text("%x", 0), "0");
  EXPECT_EQ(this->Text("%X", -1), "FFFFFFFF");
  EXPECT_EQ(this->Text("%lX", -1), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(this->Text("%lx", -2LL), "fffffffffffffffe");
  EXPECT_EQ(this->Text("%x", 0x1234567890ull), "34567890");
  EXPECT_EQ(this->Text("%lx", 0x1234567890ull), "1234567890");
}

TYPED_TEST(FormatBoth, WidthAndZeroPadding) {
  EXPECT_EQ(this->Text("%02x", 0x1AB), "1ab");  // a width never cuts
  EXPECT_EQ(this->Text("[%5d]", 42), "[   42]");
  EXPECT_EQ(this->Text("%05d", -42), "00-42");
  EXPECT_EQ(this->Text("%5d", -42), "  -42");
  EXPECT_EQ(this->Text("%08X", 0xbeef), "0000BEEF");
  EXPECT_EQ(this->Text("%016lx", 0xABCull), "0000000000000abc");
  EXPECT_EQ(this->Text("% \t 4d|% d", 7, 8), "   7|8");
  EXPECT_EQ(this->Text("%0 3d", 7), "007");
  EXPECT_EQ(this->Text("%0d|%00d", 7, 8), "7|8");
  EXPECT_EQ(this->Text("%12i", 1), std::string(11, ' ') + "1");
}

TYPED_TEST(FormatBoth, StarWidthTakesLow32BitsOfItsSlot) {
  EXPECT_EQ(this->Text("%*d", 6, 42), "    42");
  EXPECT_EQ(this->Text("%0*x", 4, 0xA), "000a");
  EXPECT_EQ(this->Text("%*d", 0x100000003ull, 5), "  5");
  // The width slot is consumed even where the width has no effect.
  EXPECT_EQ(this->Text("%*s|%d", 10, this->Same("ab"), 5), "ab|5");
  EXPECT_EQ(this->Text("%*c%d", 3, 'z', 9), "z9");
  // Blanks belong to a written width: after them a '*' is an unknown conversion.
  EXPECT_EQ(this->Text("% *d|%d", 5, 6), "*d|5");
}

TYPED_TEST(FormatBoth, SignedWidthIsRightAlignedAndKeepsArgumentsInStep) {
  EXPECT_EQ(this->Text("[%-5d][%+3d]", 42, 7), "[   42][  7]");
  EXPECT_EQ(this->Text("%0-4x", 0xA), "000a");
  EXPECT_EQ(this->Text("%-*d|%d", 4, 1, 2), "   1|2");
  EXPECT_EQ(this->Text("%*d", -4, 1), "   1");
}

TYPED_TEST(FormatBoth, WidthHasNoEffectOnTextConversions) {
  EXPECT_EQ(this->Text("%5s|%5a|%5c", this->Same("ab"), "cd", 'e'), "ab|cd|e");
  EXPECT_EQ(this->Text("%40g", &SetupGuid), SetupGuidText);
  EXPECT_EQ(this->Text("%020r", EFI_NOT_FOUND), "EFI_NOT_FOUND");
  EXPECT_EQ(this->Text("%ls", this->Same("long")), "long");
}

TYPED_TEST(FormatBoth, StringConversions) {
  EXPECT_EQ(this->Text("<%s>", this->Same("same")), "<same>");
  EXPECT_EQ(this->Text("<%S>", this->Other("other")), "<other>");
  EXPECT_EQ(this->Text("<%a>", "ascii"), "<ascii>");
  EXPECT_EQ(this->Text("%s (%d.%dGB)", this->Same("DDR3"), 8, 5), "DDR3 (8.5GB)");
  EXPECT_EQ(this->Text("%c%c%c", 'o', 'k', '!'), "ok!");
}

TYPED_TEST(FormatBoth, NullTextPointersPrintNothing) {
  EXPECT_EQ(this->Text("[%s][%S][%a][%g][%G]", nullptr, nullptr, nullptr, nullptr, nullptr), "[][][][][]");
}

// A run-time format may ask for a text where the caller gave a number: the
// number is never followed as an address, and the arguments stay in step.
TYPED_TEST(FormatBoth, AnIntegerReadAsATextOrGuidPrintsNothing) {
  EXPECT_EQ(this->Text("[%s][%S][%a][%g][%d]", 1, 0x1000, 7ull, 2, 9), "[][][][][9]");
  EXPECT_EQ(this->Text("%s|%d|%a", 5, 6, "xyz"), "|6|xyz");
  // Untyped slots (a caller's own array) keep their old meaning.
  const char Text[] = "raw";
  const UINT64 Slots[] = {(UINT64)(UINTN)Text};
  std::basic_string<TypeParam> Format = Widen<TypeParam>("%a");
  std::vector<TypeParam> Buffer(16, this->Canary);
  UINTN Count = FormatV<TypeParam>(Buffer.data(), 16, Format.c_str(), FORMAT_ARGS{Slots, 1});
  EXPECT_EQ(this->Check(Buffer, 16, Count).Text, "raw");
  std::vector<TypeParam> Typed(16, this->Canary);
  Count = FormatV<TypeParam>(Typed.data(), 16, Format.c_str(), FORMAT_ARGS{Slots, 1, 0});
  EXPECT_EQ(this->Check(Typed, 16, Count).Text, "");
}

TYPED_TEST(FormatBoth, Guids) {
  EXPECT_EQ(this->Text("%g", &SetupGuid), SetupGuidText);
  EXPECT_EQ(this->Text("%G", &SetupGuid), "EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9");
  constexpr EFI_GUID Small = {0x1, 0x2, 0x3, {0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7}};
  EXPECT_EQ(this->Text("{%g}", &Small), "{00000001-0002-0003-0001-020304050607}");
}

TYPED_TEST(FormatBoth, StatusNamesAndFallback) {
  EXPECT_EQ(this->Text("%r", EFI_NOT_FOUND), "EFI_NOT_FOUND");
  EXPECT_EQ(this->Text("%r", 3), "EFI_WARN_WRITE_FAILURE");
  EXPECT_EQ(this->Text("%r", EFI_SUCCESS), "EFI_SUCCESS");
  EXPECT_EQ(this->Text("%r", 0x8000000000000000ull), "Status Code(0)");
  EXPECT_EQ(this->Text("%r", 0x800000000000001Full), "Status Code(1F)");
  EXPECT_EQ(this->Text("%r", EFI_WARN_STALE_DATA), "Status Code(5)");
  // The fallback shows only the low 32 bits.
  EXPECT_EQ(this->Text("%r", 0x80000001ABCDEF02ull), "Status Code(ABCDEF02)");
  EXPECT_EQ(this->Text("[%r] %d", EFI_DBE_BOF, 4), "[EFI_DBE_BOF] 4");
}

TYPED_TEST(FormatBoth, UnknownConversionIsTextAndTakesNoArgument) {
  EXPECT_EQ(this->Text("%u", 1), "u");
  EXPECT_EQ(this->Text("%u %d", 1, 2), "u 1");
  EXPECT_EQ(this->Text("%p%d", 9), "p9");
  EXPECT_EQ(this->Text("%05lu|%d", 3), "u|3");
  EXPECT_EQ(this->Text("%lld", 5), "ld");
  EXPECT_EQ(this->Text("%0%"), "%");
}

TYPED_TEST(FormatBoth, SpecificationCutShortByEndOfFormat) {
  EXPECT_EQ(this->Run(0, "ab%", 1).Count, 2u);
  EXPECT_EQ(this->Text("ab%05l", 1), "ab");
  EXPECT_EQ(this->Text("ab%*", 1), "ab");
}

TYPED_TEST(FormatBoth, MissingArgumentsReadAsZero) {
  EXPECT_EQ(this->Text("%d|%x|%s|%S|%a|%g|%r|%5d", 7), "7|0|||||EFI_SUCCESS|    0");
  EXPECT_EQ(this->Text("%*d|", 5), "    0|");
  Result R = this->Run(0, "%c");
  EXPECT_EQ(R.Count, 1u);  // one character, the NUL of slot value 0
}

TYPED_TEST(FormatBoth, ArgumentListIsReadOnlyUpToItsCount) {
  const UINT64 Slots[] = {1, 2, 3};
  std::basic_string<TypeParam> Format = Widen<TypeParam>("%d %d %d");
  std::vector<TypeParam> Buffer(16, this->Canary);
  UINTN Count = FormatV<TypeParam>(Buffer.data(), 16, Format.c_str(), FORMAT_ARGS{Slots, 1});
  EXPECT_EQ(this->Check(Buffer, 16, Count).Text, "1 0 0");
  std::vector<TypeParam> Second(16, this->Canary);
  Count = FormatV<TypeParam>(Second.data(), 16, Format.c_str(), FORMAT_ARGS{nullptr, 3});
  EXPECT_EQ(this->Check(Second, 16, Count).Text, "0 0 0");
}

TYPED_TEST(FormatBoth, NullBufferOrFormatFails) {
  std::basic_string<TypeParam> Format = Widen<TypeParam>("x");
  TypeParam Buffer[4] = {this->Canary, this->Canary, this->Canary, this->Canary};
  EXPECT_EQ(FormatN<TypeParam>(nullptr, 4, Format.c_str()), FORMAT_ERROR);
  EXPECT_EQ(FormatN<TypeParam>(Buffer, 4, (const TypeParam*)nullptr), FORMAT_ERROR);
  EXPECT_EQ(FormatN<TypeParam>(Buffer, 1, (const TypeParam*)nullptr), FORMAT_ERROR);
  for (TypeParam Ch : Buffer) EXPECT_EQ(Ch, this->Canary);
  EXPECT_EQ((INTN)FORMAT_ERROR, -1);
}

TYPED_TEST(FormatBoth, CapacityCountsCharactersWithTerminator) {
  Result R = this->Run(4, "abcdef");
  EXPECT_EQ(R.Text, "abc");
  EXPECT_EQ(R.Count, 3u);
  R = this->Run(1, "abcdef");
  EXPECT_EQ(R.Text, "");
  EXPECT_EQ(R.Count, 0u);
  R = this->Run(7, "abcdef");
  EXPECT_EQ(R.Text, "abcdef");
  R = this->Run(0, "abcdef");
  EXPECT_EQ(R.Count, 6u);
}

TYPED_TEST(FormatBoth, CutInTheMiddleOfAConversion) {
  EXPECT_EQ(this->Run(4, "%d", 123456).Text, "123");
  EXPECT_EQ(this->Run(3, "%d", -123).Text, "-1");
  EXPECT_EQ(this->Run(4, "%08d", 5).Text, "000");
  EXPECT_EQ(this->Run(6, "%lX", ~0ull).Text, "FFFFF");
  EXPECT_EQ(this->Run(10, "%g", &SetupGuid).Text, "ec87d643-");
  EXPECT_EQ(this->Run(22, "%G", &SetupGuid).Text, "EC87D643-EBA4-4BB5-A1");
  EXPECT_EQ(this->Run(8, "%r", EFI_NOT_FOUND).Text, "EFI_NOT");
  EXPECT_EQ(this->Run(15, "%r", 0x800000000000001Full).Text, "Status Code(1F");
  EXPECT_EQ(this->Run(4, "%s", this->Same("long text")).Text, "lon");
  EXPECT_EQ(this->Run(4, "%S", this->Other("long text")).Text, "lon");
  EXPECT_EQ(this->Run(3, "ab%c", 'z').Text, "ab");
  EXPECT_EQ(this->Run(4, "ab%c", 'z').Text, "abz");
}

TYPED_TEST(FormatBoth, RestOfFormatIsDroppedAfterACut) {
  // Whatever the capacity, the output is the start of the unlimited text and
  // nothing lands past the capacity (the fixture checks the canary tail).
  const char* Format = "%a:%05d|%s %r %G %c%X%%!";
  auto Args = [&](UINTN Capacity) {
    return this->Run(Capacity, Format, "id", -7, this->Same("txt"), EFI_ABORTED, &SetupGuid, 'q', 0xABCu);
  };
  const std::string Full = Args(0).Text;
  ASSERT_EQ(Full, "id:000-7|txt EFI_ABORTED EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9 qABC%!");
  for (UINTN Capacity = 1; Capacity <= Full.size() + 2; ++Capacity) {
    Result R = Args(Capacity);
    UINTN Expected = std::min<UINTN>(Capacity - 1, Full.size());
    EXPECT_EQ(R.Count, Expected) << "capacity " << Capacity;
    EXPECT_EQ(R.Text, Full.substr(0, Expected)) << "capacity " << Capacity;
  }
}

TYPED_TEST(FormatBoth, ArrayFrontEndsStopAtTheEndOfTheArray) {
  // The array is followed by a guard that a run-time padding format must not reach.
  struct {
    TypeParam Text[12];
    TypeParam Guard[4];
  } Area;
  std::fill(std::begin(Area.Guard), std::end(Area.Guard), this->Canary);
  const std::basic_string<TypeParam> Short = Widen<TypeParam>("%d.%02d MHz");
  const std::basic_string<TypeParam> Padded = Widen<TypeParam>("%99999d");
  UINTN Count, Cut;
  if constexpr (sizeof(TypeParam) == 1) {
    Count = FormatAsciiUnbounded(Area.Text, Short.c_str(), 3, 5);
  } else {
    Count = FormatWideUnbounded(Area.Text, Short.c_str(), 3, 5);
  }
  EXPECT_EQ(Count, 8u);
  EXPECT_EQ(std::string(Area.Text, Area.Text + Count), "3.05 MHz");
  if constexpr (sizeof(TypeParam) == 1) {
    Cut = FormatAsciiUnbounded(Area.Text, Padded.c_str(), 7);
  } else {
    Cut = FormatWideUnbounded(Area.Text, Padded.c_str(), 7);
  }
  EXPECT_EQ(Cut, 11u);
  EXPECT_EQ(Area.Text[11], 0);
  for (TypeParam G : Area.Guard) EXPECT_EQ(G, this->Canary);
}

// ---- Width-specific conversions --------------------------------------------

TEST(FormatWide, WidensBytesUnsignedAndKeepsWideCharacters) {
  CHAR16 Buffer[16];
  EXPECT_EQ(FormatWide(Buffer, 16, u"%S|%a", "\xE9", "\xFF"), 3u);
  EXPECT_EQ(std::u16string(Buffer), u"\u00E9|\u00FF");
  EXPECT_EQ(FormatWide(Buffer, 16, u"%s\u4E2D%c%c", u"\u00E9\u263A", 0x263B, 0x1263C), 5u);
  EXPECT_EQ(std::u16string(Buffer), u"\u00E9\u263A\u4E2D\u263B\u263C");
}

TEST(FormatAscii, NarrowsWideTextToLowBytes) {
  CHAR8 Buffer[16];
  EXPECT_EQ(FormatAscii(Buffer, 16, "%S", u"A\u0142C"), 3u);
  EXPECT_EQ(std::string(Buffer), "ABC");
  EXPECT_EQ(FormatAscii(Buffer, 16, "%c%c|%s", 0x141, 0x7A, "\xE9"), 4u);
  EXPECT_EQ(std::string(Buffer), "Az|\xE9");
}

// ---- Status names ----------------------------------------------------------

std::string NameOf(EFI_STATUS Status) {
  const CHAR8* Name = StatusCodeName(Status);
  return Name ? Name : "(none)";
}

TEST(StatusCodeName, StandardErrors) {
  const char* Expected[] = {
      "EFI_LOAD_ERROR",       "EFI_INVALID_PARAMETER", "EFI_UNSUPPORTED",     "EFI_BAD_BUFFER_SIZE",
      "EFI_BUFFER_TOO_SMALL", "EFI_NOT_READY",         "EFI_DEVICE_ERROR",    "EFI_WRITE_PROTECTED",
      "EFI_OUT_OF_RESOURCES", "EFI_VOLUME_CORRUPTED",  "EFI_VOLUME_FULL",     "EFI_NO_MEDIA",
      "EFI_MEDIA_CHANGED",    "EFI_NOT_FOUND",         "EFI_ACCESS_DENIED",   "EFI_NO_RESPONSE",
      "EFI_NO_MAPPING",       "EFI_TIMEOUT",           "EFI_NOT_STARTED",     "EFI_ALREADY_STARTED",
      "EFI_ABORTED",          "EFI_ICMP_ERROR",        "EFI_TFTP_ERROR",      "EFI_PROTOCOL_ERROR",
      "EFI_INCOMPATIBLE_VERSION", "EFI_SECURITY_VIOLATION", "EFI_CRC_ERROR", "EFI_END_OF_MEDIA",
      "EFI_UNDEFINED_29",     "EFI_UNDEFINED_30",
  };
  for (UINTN Code = 1; Code <= 30; ++Code) EXPECT_EQ(NameOf(EfiError(Code)), Expected[Code - 1]) << Code;
  EXPECT_EQ(NameOf(EFI_ERROR_BIT), "(none)");
  EXPECT_EQ(NameOf(EFI_END_OF_FILE), "(none)");
  EXPECT_EQ(NameOf(EFI_COMPROMISED_DATA), "(none)");
  // Bits between 32 and 60 make the code unknown, not an alias of its low part.
  EXPECT_EQ(NameOf(0x8000000100000002ull), "(none)");
}

TEST(StatusCodeName, SuccessAndWarnings) {
  EXPECT_EQ(NameOf(0), "EFI_SUCCESS");
  EXPECT_EQ(NameOf(1), "EFI_WARN_UNKNOWN_GLYPH");
  EXPECT_EQ(NameOf(2), "EFI_WARN_DELETE_FAILURE");
  EXPECT_EQ(NameOf(3), "EFI_WARN_WRITE_FAILURE");
  EXPECT_EQ(NameOf(4), "EFI_WARN_BUFFER_TOO_SMALL");
  EXPECT_EQ(NameOf(5), "(none)");
  EXPECT_EQ(NameOf(0x4000000000000001ull), "(none)");
  EXPECT_EQ(NameOf(0x100000001ull), "(none)");
}

TEST(StatusCodeName, PlatformInitRanges) {
  EXPECT_EQ(NameOf(0x2000000000000000ull), "EFI_WARN_INTERRUPT_SOURCE_PENDING");
  EXPECT_EQ(NameOf(0x2000000000000001ull), "EFI_WARN_INTERRUPT_SOURCE_QUIESCED");
  EXPECT_EQ(NameOf(0x2000000000000002ull), "(none)");
  EXPECT_EQ(NameOf(0xA000000000000000ull), "EFI_INTERRUPT_PENDING");
  EXPECT_EQ(NameOf(0xA000000000000001ull), "EFI_REQUEST_UNLOAD_IMAGE");
  EXPECT_EQ(NameOf(0xA000000000000002ull), "EFI_NOT_AVAILABLE_YET");
  EXPECT_EQ(NameOf(0xA000000000000003ull), "(none)");
  // With bits 62 and 61 both set, the range of bit 61 decides.
  EXPECT_EQ(NameOf(0xE000000000000001ull), "EFI_REQUEST_UNLOAD_IMAGE");
}

TEST(StatusCodeName, DatabaseRange) {
  EXPECT_EQ(NameOf(0xC000000000000001ull), "EFI_DBE_EOF");
  EXPECT_EQ(NameOf(0xC000000000000002ull), "EFI_DBE_BOF");
  EXPECT_EQ(NameOf(0xC000000000000000ull), "(none)");
  EXPECT_EQ(NameOf(0xC000000000000003ull), "(none)");  // no fall-through to the standard names
}

}  // namespace
