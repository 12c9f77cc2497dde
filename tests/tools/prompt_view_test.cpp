// Pages as the browser shows them: prompts from the forms, question values
// from the browser's working copies, string IDs and keys beside them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tools/boardsim/boardsim_run.h"
#include "tools/boardsim/command_line.h"
#include "tools/boardsim/exit_codes.h"

namespace boardsim {
namespace {

using nlohmann::json;

// The line of Out that starts (after its indent) with Prompt, or "".
std::string LineOf(const std::string& Out, const std::string& Prompt) {
  size_t At = Out.find("    " + Prompt + " ");
  if (At == std::string::npos) return "";
  return Out.substr(At, Out.find('\n', At) - At);
}

struct PromptCase {
  const char* Name;
  std::vector<std::string> Args;
  const char* Prompt;
  const char* Value;  // the value column, as shown
  const char* Ids;    // the bracketed IDs
};

class PromptView : public testing::TestWithParam<PromptCase> {};

TEST_P(PromptView, ShowsThePromptWithItsValueAndIds) {
  const PromptCase& C = GetParam();
  std::vector<std::string> Args{"--prompts"};
  Args.insert(Args.end(), C.Args.begin(), C.Args.end());
  RunOutput R = RunBoardSim(Args);
  ASSERT_EQ(R.ExitCode, EXIT_OK) << R.Err;
  const std::string Line = LineOf(R.Out, C.Prompt);
  ASSERT_FALSE(Line.empty()) << R.Out;
  EXPECT_NE(Line.find(C.Value), std::string::npos) << Line;
  EXPECT_NE(Line.find(C.Ids), std::string::npos) << Line;
}

INSTANTIATE_TEST_SUITE_P(
    Questions, PromptView,
    testing::Values(
        // The third point raised: the callback lifts the later ones, the page shows them.
        PromptCase{"CorrectedPoint",
                   {"--no-pages", "--do", "set Setup 0x430 byte 90; callback 0x10 0x490 changed; show 0x10"},
                   "Temperature Point 5",
                   "= 90",
                   "[key 0x0492, Setup 0x432 u8"},
        PromptCase{"OneOfOption", {"--no-pages", "--do", "set Setup 0x7F byte 2; show 0x2"}, "Ratio Mode",
                   "= Per-Core-Count Limits (2)", "[key 0x041B, Setup 0x07F u8"},
        PromptCase{"OneOfWithoutOption", {"--no-pages", "--do", "set Setup 0x7F byte 7; show 0x2"}, "Ratio Mode",
                   "= 7 (no such option)", "key 0x041B"},
        PromptCase{"WordValue", {"--no-pages", "--do", "set Setup 0x4B word 0x1234; show 0x2"},
                   "Package Power Limit 1 (W, 0 = Auto)", "= 4660", "Setup 0x04B u16"},
        PromptCase{"DwordValue", {"--no-pages", "--do", "set Setup 0x46A dword 70000; show 0x4"}, "Output Level",
                   "= 70000", "[key 0x04FB, Setup 0x46A u32"},
        PromptCase{"CheckboxOn", {"--no-pages", "--do", "set Setup 0x46E byte 1; show 0x4"}, "Output Switch", "= on",
                   "key 0x04FC"},
        PromptCase{"OtherStore", {"--no-pages", "--do", "set NetConfigData 105 byte 2; show 0x8"}, "Download Server",
                   "= Mirror 3 (2)", "NetConfigData 0x069 u8"},
        PromptCase{"Action", {"--formset", "0x8"}, "Save Profile 2", "> action", "[key 0x0532"},
        PromptCase{"TextItem", {"--formset", "0x1"}, "Firmware Vendor", ": ", "[0x000C 0x000D]"},
        PromptCase{"OwnSeparator", {"--formset", "0x10"}, "System Temperature", ": N/A", "0x08B6]"},
        PromptCase{"Language", {"--formset", "0x1", "--lang", "de-DE"}, "Firmware-Hersteller", ": ", "0x000C"}),
    [](const testing::TestParamInfo<PromptCase>& Info) { return Info.param.Name; });

TEST(PromptViewOption, IsAPageOptionThatTheLookupRefuses) {
  EXPECT_TRUE(ParseCommandLine({"--prompts"}).Parsed.Prompts);
  EXPECT_FALSE(ParseCommandLine({}).Parsed.Prompts);
  CommandLine Update = ParseCommandLine({"update", "--prompts"});
  ASSERT_TRUE(Update.Error);
  EXPECT_NE(Update.Error->find("only --board"), std::string::npos);
}

TEST(PromptViewDefault, TheStringListStaysTheDefaultWithoutFormPrompts) {
  RunOutput R = RunBoardSim({"--formset", "0x10", "--all-strings"});
  ASSERT_EQ(R.ExitCode, EXIT_OK) << R.Err;
  EXPECT_EQ(R.Out.find("Temperature Point"), std::string::npos);
  EXPECT_NE(R.Out.find("* 0x0888  IO=3F0h; IRQ=6; DMA=2;\n"), std::string::npos);
}

TEST(PromptViewJson, PagesCarryTheirItemsBesideTheUnchangedStrings) {
  RunOutput R = RunBoardSim({"--formset", "0x2", "--json", "--do", "set Setup 0x7F byte 1; show 0x2"});
  ASSERT_EQ(R.ExitCode, EXIT_OK) << R.Err;
  json J = json::parse(R.Out);
  const json& Page = J["form_sets"][0];
  for (const json& S : Page["strings"]) {
    // The form's own prompts are not among the strings the drivers know.
    EXPECT_TRUE(S["id"] < 0x0641 || S["id"] > 0x06ED) << S["id"];
  }
  const json* Mode = nullptr;
  for (const json& I : J["actions"][1]["page"]["items"])
    if (I.value("key", 0) == 0x41B) Mode = &I;
  ASSERT_NE(Mode, nullptr);
  EXPECT_EQ((*Mode)["kind"], "oneof");
  EXPECT_EQ((*Mode)["store"], "Setup");
  EXPECT_EQ((*Mode)["offset"], 0x7F);
  EXPECT_EQ((*Mode)["width"], 1);
  EXPECT_EQ((*Mode)["current"], 1);
  EXPECT_EQ((*Mode)["prompt"]["ja-JP"], "倍率モード");
  ASSERT_EQ((*Mode)["options"].size(), 3u);
  EXPECT_EQ((*Mode)["options"][1]["text"]["en-US"], "All-Core Ratio");
  // The page before the action still held the stored value.
  for (const json& I : Page["items"])
    if (I.value("key", 0) == 0x41B) EXPECT_EQ(I["current"], 0);
}

}  // namespace
}  // namespace boardsim
