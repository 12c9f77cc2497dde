#include "qemu/browser_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Runs(const std::vector<UINT8>& Old, const std::vector<UINT8>& New) {
  const UINTN Length = ChangedRunsToConfigBody(Old.data(), New.data(), New.size(), nullptr, 0);
  std::u16string Out(Length + 1, u'?');
  EXPECT_EQ(ChangedRunsToConfigBody(Old.data(), New.data(), New.size(), Out.data(), Out.size()), Length);
  EXPECT_EQ(Out.back(), 0);
  Out.pop_back();
  return Out;
}

TEST(ChangedRuns, WriteOnlyTheChangedBytesLastByteFirst) {
  const std::vector<UINT8> Old = {0x14, 0x1E, 0x28, 0x32, 0x3C, 0x00};
  EXPECT_EQ(Runs(Old, Old), u"");
  EXPECT_EQ(Runs(Old, {0x14, 0x1E, 0x46, 0x46, 0x46, 0x00}), u"OFFSET=2&WIDTH=3&VALUE=464646");
  EXPECT_EQ(Runs(Old, {0x01, 0x1E, 0x28, 0x32, 0xAB, 0xCD}), u"OFFSET=0&WIDTH=1&VALUE=01&OFFSET=4&WIDTH=2&VALUE=cdab");
  // Offsets and widths take as many digits as they need.
  std::vector<UINT8> Big(1172, 0), Changed(1172, 0);
  Changed[0x430] = 0x46;
  EXPECT_EQ(Runs(Big, Changed), u"OFFSET=430&WIDTH=1&VALUE=46");
}

TEST(ChangedRuns, WritesNothingIntoAnOutputOneCharacterShort) {
  const UINT8 Old[2] = {1, 2}, New[2] = {3, 4};
  const UINTN Length = ChangedRunsToConfigBody(Old, New, 2, nullptr, 0);
  std::vector<CHAR16> Out(Length + 1, u'?');
  ChangedRunsToConfigBody(Old, New, 2, Out.data(), Length);
  EXPECT_EQ(Out, std::vector<CHAR16>(Length + 1, u'?'));
}

TEST(ChangedRuns, RoundTripThroughApply) {
  std::vector<UINT8> Old(300), New(300);
  for (size_t i = 0; i < New.size(); ++i) {
    Old[i] = (UINT8)(i * 5);
    New[i] = (UINT8)(i % 3 == 0 ? i * 7 + 3 : i * 5);
  }
  const std::u16string Text = Runs(Old, New);
  std::vector<UINT8> Back = Old;
  EXPECT_EQ(ApplyConfigBody(Text.c_str(), Text.size(), Back.data(), Back.size()), 100u);
  EXPECT_EQ(Back, New);
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
