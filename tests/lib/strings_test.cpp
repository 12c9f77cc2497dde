#include "lib/strings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(StringLength, CountsUpToTheTerminator) {
  EXPECT_EQ(AsciiLength(""), 0u);
  EXPECT_EQ(AsciiLength("en-US"), 5u);
  EXPECT_EQ(WideLength(u""), 0u);
  EXPECT_EQ(WideLength(u"Setup"), 5u);
}

TEST(StringCopy, CopiesTheTerminatorAndNothingAfterIt) {
  char a[8];
  std::memset(a, 'x', sizeof(a));
  EXPECT_EQ(AsciiCopy(a, "abc"), a);
  EXPECT_EQ(std::memcmp(a, "abc\0xxxx", 8), 0);

  CHAR16 w[6] = {u'x', u'x', u'x', u'x', u'x', u'x'};
  EXPECT_EQ(WideCopy(w, u"ab"), w);
  EXPECT_EQ(w[0], u'a');
  EXPECT_EQ(w[1], u'b');
  EXPECT_EQ(w[2], 0);
  EXPECT_EQ(w[3], u'x');
}

TEST(StringCompare, ReturnsDifferenceOfFirstUnequalPair) {
  EXPECT_EQ(AsciiCompare("abc", "abc"), 0);
  EXPECT_EQ(AsciiCompare("abd", "abc"), 1);
  EXPECT_EQ(AsciiCompare("ab", "abc"), -'c');
  // Bytes are signed: 0x80 sorts below 'a'.
  EXPECT_EQ(AsciiCompare("\x80", "a"), -128 - 'a');

  EXPECT_EQ(WideCompare(u"Lang", u"Lang"), 0);
  EXPECT_EQ(WideCompare(u"La", u"Lang"), -(INTN)u'n');
  // Wide characters are unsigned.
  EXPECT_EQ(WideCompare(u"\xFFFF", u"a"), 0xFFFF - (INTN)u'a');
}

TEST(StringCompare, EqualIgnoringCaseFoldsOnlyLetters) {
  EXPECT_TRUE(AsciiEqualIgnoringCase("en-us", "EN-US"));
  EXPECT_FALSE(AsciiEqualIgnoringCase("en_US", "en-US"));
  EXPECT_FALSE(AsciiEqualIgnoringCase("en", "en-US"));
  EXPECT_FALSE(AsciiEqualIgnoringCase("en-US", "en"));
  // '@' and '`' differ from 'A'/'a' by 0x20 too, but are not letters.
  EXPECT_FALSE(AsciiEqualIgnoringCase("@", "`"));
  EXPECT_FALSE(AsciiEqualIgnoringCase("[", "{"));
  EXPECT_TRUE(AsciiEqualIgnoringCase("", ""));
}

TEST(StringCase, UpperCasesInPlace) {
  char a[] = "en-us 9z";
  EXPECT_EQ(AsciiToUpper(a), a);
  EXPECT_STREQ(a, "EN-US 9Z");

  CHAR16 w[] = u"abz{\x00E9";
  EXPECT_EQ(WideToUpper(w), w);
  EXPECT_EQ(std::u16string(w), std::u16string(u"ABZ{\x00E9"));
}

TEST(StringFind, FindsFirstOccurrenceOrPointsAtTheEnd) {
  const char* h = "abcabc";
  EXPECT_EQ(AsciiFind(h, "ca"), h + 2);
  EXPECT_EQ(AsciiFind(h, "bc"), h + 1);
  const char* abc = "abc";
  EXPECT_EQ(AsciiFind(abc, "x"), abc + 3);
  EXPECT_EQ(*AsciiFind(abc, "x"), 0);
  EXPECT_EQ(AsciiFind(abc, ""), abc);
  const char* empty = "";
  EXPECT_EQ(AsciiFind(empty, "x"), empty);
  // A needle running past the haystack's end is no match.
  EXPECT_EQ(AsciiFind(abc, "bcd"), abc + 3);
}

TEST(Memory, CompareUsesSignedBytes) {
  const UINT8 a[] = {1, 2, 0x80};
  const UINT8 b[] = {1, 2, 0x01};
  EXPECT_EQ(MemCompare(a, b, 2), 0);
  EXPECT_EQ(MemCompare(a, b, 0), 0);
  EXPECT_EQ(MemCompare(a, b, 3), -128 - 1);
  EXPECT_EQ(MemCompare(b, a, 3), 1 + 128);
}

TEST(Memory, MoveHandlesOverlapInBothDirections) {
  UINT8 up[] = {1, 2, 3, 4, 5, 6};
  MemMove(up + 1, up, 4);
  EXPECT_EQ(std::memcmp(up, "\x01\x01\x02\x03\x04\x06", 6), 0);

  UINT8 down[] = {1, 2, 3, 4, 5, 6};
  MemMove(down, down + 1, 4);
  EXPECT_EQ(std::memcmp(down, "\x02\x03\x04\x05\x05\x06", 6), 0);

  UINT8 apart[4] = {};
  MemMove(apart, "\x09\x08\x07", 3);
  EXPECT_EQ(std::memcmp(apart, "\x09\x08\x07\x00", 4), 0);
}

TEST(Memory, FillWritesExactlyLengthBytes) {
  UINT8 b[5] = {0, 0, 0, 0, 0};
  MemFill(b + 1, 3, 0xEE);
  EXPECT_EQ(std::memcmp(b, "\x00\xEE\xEE\xEE\x00", 5), 0);
}

TEST(ParseDecimal, ReadsLeadingDigitsOnly) {
  EXPECT_EQ(ParseDecimal("123abc"), 123u);
  EXPECT_EQ(ParseDecimal("-5"), 0u);
  EXPECT_EQ(ParseDecimal(" 5"), 0u);
  EXPECT_EQ(ParseDecimal(""), 0u);
  EXPECT_EQ(ParseDecimal("4294967295"), 4294967295u);
  // Wraps at 32 bits.
  EXPECT_EQ(ParseDecimal("4294967296"), 0u);
  EXPECT_EQ(ParseDecimal("4294967306"), 10u);
}

TEST(Arithmetic, ShiftsTakeCountModulo64) {
  EXPECT_EQ(ShiftLeft64(1, 63), 0x8000000000000000ull);
  EXPECT_EQ(ShiftLeft64(1, 64), 1ull);
  EXPECT_EQ(ShiftLeft64(3, 65), 6ull);
  EXPECT_EQ(ShiftRight64(0x8000000000000000ull, 63), 1ull);  // logical, not arithmetic
  EXPECT_EQ(ShiftRight64(0xF0, 68), 0x0Full);
}

TEST(Arithmetic, DivideAndMultiply) {
  UINT64 Remainder = 99;
  EXPECT_EQ(Divide64(0xFFFFFFFFFFFFFFFFull, 10, &Remainder), 1844674407370955161ull);
  EXPECT_EQ(Remainder, 5u);
  EXPECT_EQ(Divide64(7, 8, nullptr), 0u);
  EXPECT_EQ(Multiply64(0x100000000ull, 0x100000001ull), 0x100000000ull);  // low 64 bits
  EXPECT_EQ(Multiply64(12345, 1000), 12345000u);
}

}  // namespace
