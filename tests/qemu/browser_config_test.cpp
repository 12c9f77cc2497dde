#include "qemu/browser_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Body(const std::vector<UINT8>& Block) {
  std::u16string Out(ConfigBodyLength(Block.size()) + 1, u'?');
  EXPECT_TRUE(BlockToConfigBody(Block.data(), Block.size(), Out.data(), Out.size()));
  EXPECT_EQ(Out.back(), 0);
  Out.pop_back();
  return Out;
}

TEST(BrowserConfigBody, WritesOneRunWithTheLastByteFirst) {
  EXPECT_EQ(Body({0x01, 0xAB, 0x30}), u"OFFSET=0&WIDTH=3&VALUE=30ab01");
  // Widths take as many digits as they need.
  std::u16string Whole = Body(std::vector<UINT8>(1172, 0x5A));
  EXPECT_EQ(Whole.substr(0, 26), u"OFFSET=0&WIDTH=494&VALUE=5");
  EXPECT_EQ(Whole.size(), ConfigBodyLength(1172));
}

TEST(BrowserConfigBody, RefusesAnOutputOneCharacterShort) {
  const UINT8 Block[2] = {1, 2};
  CHAR16 Out[64];
  EXPECT_FALSE(BlockToConfigBody(Block, 2, Out, ConfigBodyLength(2)));
  EXPECT_TRUE(BlockToConfigBody(Block, 2, Out, ConfigBodyLength(2) + 1));
}

TEST(BrowserConfigBody, RoundTripsThroughApply) {
  std::vector<UINT8> Block(300);
  for (size_t i = 0; i < Block.size(); ++i) Block[i] = (UINT8)(i * 7 + 3);
  const std::u16string Text = Body(Block);
  std::vector<UINT8> Back(300, 0xEE);
  EXPECT_EQ(ApplyConfigBody(Text.c_str(), Text.size(), Back.data(), Back.size()), 1u);
  EXPECT_EQ(Back, Block);
}

struct ApplyCase {
  const char* Name;
  std::u16string Text;
  UINTN Applied;
  std::vector<UINT8> After;  // of a four-byte block that held 11 22 33 44
};

class ApplyConfigBodyTest : public testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyConfigBodyTest, OverlaysTheRunsItCanTrust) {
  const ApplyCase& C = GetParam();
  std::vector<UINT8> Block = {0x11, 0x22, 0x33, 0x44};
  EXPECT_EQ(ApplyConfigBody(C.Text.c_str(), C.Text.size(), Block.data(), Block.size()), C.Applied);
  EXPECT_EQ(Block, C.After);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ApplyConfigBodyTest,
    testing::Values(
        ApplyCase{"one_byte", u"OFFSET=2&WIDTH=1&VALUE=7f", 1, {0x11, 0x22, 0x7F, 0x44}},
        ApplyCase{"word_little_endian", u"OFFSET=0&WIDTH=2&VALUE=beef", 1, {0xEF, 0xBE, 0x33, 0x44}},
        ApplyCase{"several_runs_upper_case",
                  u"OFFSET=0&WIDTH=1&VALUE=0A&OFFSET=3&WIDTH=1&VALUE=FF", 2, {0x0A, 0x22, 0x33, 0xFF}},
        ApplyCase{"header_fields_skipped",
                  u"GUID=0123&NAME=0053&PATH=01&OFFSET=1&WIDTH=1&VALUE=05", 1, {0x11, 0x05, 0x33, 0x44}},
        ApplyCase{"defaults_not_read",
                  u"OFFSET=0&WIDTH=1&VALUE=01&ALTCFG=0000&OFFSET=1&WIDTH=1&VALUE=02", 1, {0x01, 0x22, 0x33, 0x44}},
        // Hostile or broken runs change nothing.
        ApplyCase{"past_the_end", u"OFFSET=3&WIDTH=2&VALUE=0102", 0, {0x11, 0x22, 0x33, 0x44}},
        ApplyCase{"offset_wraps", u"OFFSET=ffffffffffffffff&WIDTH=2&VALUE=0102", 0, {0x11, 0x22, 0x33, 0x44}},
        ApplyCase{"too_few_digits", u"OFFSET=0&WIDTH=2&VALUE=010", 0, {0x11, 0x22, 0x33, 0x44}},
        ApplyCase{"too_many_digits", u"OFFSET=0&WIDTH=1&VALUE=0102", 0, {0x11, 0x22, 0x33, 0x44}},
        ApplyCase{"not_hex", u"OFFSET=0&WIDTH=1&VALUE=0g", 0, {0x11, 0x22, 0x33, 0x44}},
        ApplyCase{"zero_width", u"OFFSET=0&WIDTH=0&VALUE=", 0, {0x11, 0x22, 0x33, 0x44}},
        ApplyCase{"number_too_long", u"OFFSET=00000000000000000&WIDTH=1&VALUE=01", 0, {0x11, 0x22, 0x33, 0x44}},
        ApplyCase{"missing_value", u"OFFSET=0&WIDTH=1&OFFSET=1&WIDTH=1&VALUE=09", 1, {0x11, 0x09, 0x33, 0x44}},
        ApplyCase{"empty", u"", 0, {0x11, 0x22, 0x33, 0x44}}),
    [](const testing::TestParamInfo<ApplyCase>& Info) { return std::string(Info.param.Name); });

TEST(ApplyConfigBody, StopsAtTheGivenLengthAndAtNul) {
  std::vector<UINT8> Block = {0, 0};
  // The length ends the text inside the second run's VALUE: it is cut short and skipped.
  const std::u16string Text = u"OFFSET=0&WIDTH=1&VALUE=01&OFFSET=1&WIDTH=1&VALUE=02";
  EXPECT_EQ(ApplyConfigBody(Text.c_str(), Text.size() - 1, Block.data(), Block.size()), 1u);
  EXPECT_EQ(Block, (std::vector<UINT8>{1, 0}));
  const CHAR16 WithNul[] = u"OFFSET=0&WIDTH=1&VALUE=03\0OFFSET=1&WIDTH=1&VALUE=04";
  EXPECT_EQ(ApplyConfigBody(WithNul, sizeof(WithNul) / sizeof(CHAR16), Block.data(), Block.size()), 1u);
  EXPECT_EQ(Block, (std::vector<UINT8>{3, 0}));
}

}  // namespace
