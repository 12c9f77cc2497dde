#include "tools/boardsim/text_util.h"

#include <gtest/gtest.h>

namespace boardsim {
namespace {

TEST(TextUtil, UnsignedNumbersInDecimalAndHex) {
  EXPECT_EQ(ParseUnsigned("0"), 0u);
  EXPECT_EQ(ParseUnsigned("1172"), 1172u);
  EXPECT_EQ(ParseUnsigned("0x42f"), 0x42Fu);
  EXPECT_EQ(ParseUnsigned("0XFFFFFFFFFFFFFFFF"), UINT64_MAX);
  EXPECT_EQ(ParseUnsigned("18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(ParseUnsigned("18446744073709551616"));
  EXPECT_FALSE(ParseUnsigned("0x10000000000000000"));
  EXPECT_FALSE(ParseUnsigned("0x"));
  EXPECT_FALSE(ParseUnsigned(""));
  EXPECT_FALSE(ParseUnsigned("12a"));
  EXPECT_FALSE(ParseUnsigned("-1"));
  EXPECT_FALSE(ParseUnsigned(" 1"));
}

TEST(TextUtil, FormSetNamesMatchWhateverSeparatorIsTyped) {
  EXPECT_EQ(NameKey("Hardware Monitor"), "hardware monitor");
  EXPECT_EQ(NameKey("hardware-monitor"), NameKey("Hardware Monitor"));
  EXPECT_EQ(NameKey("  Save__&-Exit "), "save & exit");
  EXPECT_NE(NameKey("hardwaremonitor"), NameKey("hardware monitor"));
}

TEST(TextUtil, Ucs2AndUtf8RoundTrip) {
  const std::u16string Text = u"Hardware-\u00dcberwachung \u30e2\u30cb\u30bf\u30fc";
  EXPECT_EQ(Ucs2FromUtf8(Utf8FromUcs2(Text)), Text);
  EXPECT_EQ(Utf8FromUcs2(u"\u00b0C"), "\xc2\xb0" "C");
  // A lone surrogate is not a character.
  EXPECT_EQ(Utf8FromUcs2(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
  // Truncated sequences do not swallow what follows.
  EXPECT_EQ(Ucs2FromUtf8("\xc3" "A"), u"\uFFFD" u"A");
}

TEST(TextUtil, GuidsAndBytes) {
  const EFI_GUID Setup = {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};
  EXPECT_EQ(GuidText(Setup), "EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9");
  EXPECT_EQ(HexBytes({0x00, 0x0A, 0xFF}), "000aff");
  EXPECT_EQ(Hex(0x10, 2), "0x10");
  EXPECT_EQ(Hex(0x5, 4), "0x0005");
  EXPECT_EQ(SplitWords(" a\t b  c "), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace boardsim
