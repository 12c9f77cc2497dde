#include <gtest/gtest.h>

#include "tools/boardsim/action_runner.h"
#include "tools/boardsim/boardsim_run.h"
#include "tools/boardsim/json_report.h"
#include "tools/boardsim/run_report.h"
#include "tools/boardsim/text_report.h"
#include "tools/boardsim/update_lookup.h"

namespace boardsim {
namespace {

FormSetPage MonitorPage() {
  FormSetPage Page;
  Page.Class = 0x10;
  Page.Name = "Hardware Monitor";
  Page.Guid = "A34CBD5E-9FC5-423B-8E2B-7093588000A0";
  Page.Published = true;
  Page.Languages = {"en-US", "de-DE"};
  PageString Title;
  Title.Id = 1;
  Title.PackageText = {{"en-US", "Hardware Monitor"}, {"de-DE", "Hardware-Monitor"}};
  Title.Text = Title.PackageText;
  PageString Temperature;
  Temperature.Id = 0x8B6;
  Temperature.PackageText = {{"en-US", ": N/A"}, {"de-DE", ": N/A"}};
  Temperature.Text = {{"en-US", ": 25.5 C"}, {"de-DE", ": N/A"}};
  Page.Strings = {Title, Temperature};
  return Page;
}

TEST(Report, ByteDiffListsEveryChangedOffset) {
  auto D = DiffBytes({1, 2, 3, 4}, {1, 9, 3, 8});
  ASSERT_EQ(D.size(), 2u);
  EXPECT_EQ(D[0].Offset, 1u);
  EXPECT_EQ(D[0].Before, 2);
  EXPECT_EQ(D[0].After, 9);
  EXPECT_EQ(D[1].Offset, 3u);
  EXPECT_TRUE(DiffBytes({5, 6}, {5, 6}).empty());
  // A store that appears, or grows, shows its new bytes, zeros included.
  auto Grown = DiffBytes({1}, {1, 0, 7});
  ASSERT_EQ(Grown.size(), 2u);
  EXPECT_EQ(Grown[0].Offset, 1u);
  EXPECT_EQ(Grown[0].After, 0);
  EXPECT_EQ(Grown[1].After, 7);
}

TEST(Report, AStringCountsAsSetOnlyWhereItDiffersFromThePackage) {
  FormSetPage Page = MonitorPage();
  EXPECT_FALSE(Page.Strings[0].SetInAny());
  EXPECT_TRUE(Page.Strings[1].SetIn("en-US"));
  EXPECT_FALSE(Page.Strings[1].SetIn("de-DE"));
  EXPECT_FALSE(Page.Strings[1].SetIn("ja-JP"));
  PageString Added;
  Added.Id = 9;
  Added.Text = {{"en-US", "new"}};
  EXPECT_TRUE(Added.SetIn("en-US"));  // a string the package did not have
}

TEST(Report, PagesShowSetStringsOrEverythingWithMarks) {
  const FormSetPage Page = MonitorPage();
  const std::string Set = RenderPage(Page, "en-US", false);
  EXPECT_NE(Set.find("== Hardware Monitor (class 0x10) =="), std::string::npos);
  EXPECT_NE(Set.find("1 of 2 strings set by the drivers"), std::string::npos);
  EXPECT_NE(Set.find("  0x08B6  : 25.5 C\n"), std::string::npos);
  EXPECT_EQ(Set.find("0x0001"), std::string::npos);

  const std::string All = RenderPage(Page, "en-US", true);
  EXPECT_NE(All.find("* 0x08B6  : 25.5 C\n"), std::string::npos);
  EXPECT_NE(All.find("  0x0001  Hardware Monitor\n"), std::string::npos);

  const std::string German = RenderPage(Page, "de-DE", false);
  EXPECT_NE(German.find("0 of 2 strings"), std::string::npos);
  EXPECT_NE(RenderPage(Page, "ja-JP", false).find("no ja-JP strings"), std::string::npos);

  FormSetPage Removed = Page;
  Removed.Kept = false;
  EXPECT_NE(RenderPage(Removed, "en-US", false).find("removed from the HII database"), std::string::npos);
}

TEST(Report, JsonCarriesEveryLanguageAndTheSetMarks) {
  Json J = PageJson(MonitorPage());
  EXPECT_EQ(J["class"], 0x10);
  EXPECT_EQ(J["name"], "Hardware Monitor");
  ASSERT_EQ(J["strings"].size(), 2u);
  const Json& S = J["strings"][1];
  EXPECT_EQ(S["id"], 0x8B6);
  EXPECT_EQ(S["set_in"], Json::array({"en-US"}));
  EXPECT_EQ(S["text"]["en-US"], ": 25.5 C");
  EXPECT_EQ(S["text"]["de-DE"], ": N/A");
  EXPECT_EQ(S["package_text"]["en-US"], ": N/A");
}

TEST(Report, JsonActionsCarryStatusesDiffsAndVariables) {
  RunReport R;
  R.BoardName = "b";
  R.Language = "en-US";
  ActionResult A;
  A.Source = ParseAction("callback 0x10 0x490 changed u8:30", "--do 1").Actions.at(0);
  A.Class = 0x10;
  A.FormSetName = "Hardware Monitor";
  A.Status = EFI_UNSUPPORTED;
  A.StoreChanges.push_back(StoreDiff{"Setup", "EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9", {{0x430, 30, 40}}});
  A.StringChanges.push_back(StringChange{0x10, 0x8B6, "en-US", ": N/A", ": 25.5 C"});
  A.VariablesWritten.push_back(VariableWrite{"Lang", "8BE4DF61-93CA-11D2-AA0D-00E098032B8C", 7, {'e', 'n', 'g'}});
  R.Actions.push_back(A);
  R.Pool.LeakReport = "1 buffer";
  R.ExitCode = 6;
  Json J = ReportJson(R);
  EXPECT_EQ(J["format"], "boardsim/1");
  EXPECT_TRUE(J["board"]["file"].is_null());
  const Json& Action = J["actions"][0];
  EXPECT_EQ(Action["index"], 1);
  EXPECT_EQ(Action["kind"], "callback");
  EXPECT_EQ(Action["browser_action_name"], "changed");
  EXPECT_EQ(Action["status"]["name"], "EFI_UNSUPPORTED");
  EXPECT_EQ(Action["status"]["code"], uint64_t(EFI_UNSUPPORTED));
  EXPECT_EQ(Action["store_changes"][0]["bytes"][0], (Json{{"offset", 0x430}, {"before", 30}, {"after", 40}}));
  EXPECT_EQ(Action["string_changes"][0]["after"], ": 25.5 C");
  EXPECT_EQ(Action["variables_written"][0]["data"], "656e67");
  EXPECT_EQ(Action["variables_written"][0]["attributes"], 7);
  EXPECT_TRUE(J["update"].is_null());
  EXPECT_EQ(J["pool"]["leaked"], true);
  EXPECT_EQ(J["exit_code"], 6);
}

TEST(Report, TextActionsShowTheDiffByOffset) {
  RunReport R;
  ActionResult A;
  A.Source = ParseAction("set Setup 0x430 byte 30", "tour").Actions.at(0);
  A.StoreChanges.push_back(StoreDiff{"Setup", "G", {{0x430, 40, 30}}});
  R.Actions.push_back(A);
  const std::string Text = RenderText(R);
  EXPECT_NE(Text.find("Action 1 (tour): set Setup 0x430 byte 30"), std::string::npos);
  EXPECT_NE(Text.find("Setup          0x0430: 0x28 -> 0x1E  (40 -> 30)"), std::string::npos);
  EXPECT_NE(Text.find("Pool: nothing leaked"), std::string::npos);
}

TEST(Report, TextStringChangesComeInEveryLanguageTheRunsFirst) {
  RunReport R;
  ActionResult A;
  A.Source = ParseAction("callback 0x8 0x529 changed", "--do 1").Actions.at(0);
  A.StringChanges.push_back(StringChange{0x8, 0x20, "en-US", "a", "b"});
  A.StringChanges.push_back(StringChange{0x8, 0x20, "de-DE", "c", "d"});
  A.StringChanges.push_back(StringChange{0x8, 0x21, "en-US", "e", "f"});
  R.Actions.push_back(A);
  R.Language = "de-DE";
  const std::string Text = RenderText(R);
  const size_t German = Text.find("  strings (de-DE):\n    class 0x08 0x0020: \"c\" -> \"d\"\n");
  const size_t English = Text.find(
      "  strings (en-US):\n    class 0x08 0x0020: \"a\" -> \"b\"\n    class 0x08 0x0021: \"e\" -> \"f\"\n");
  ASSERT_NE(German, std::string::npos) << Text;
  ASSERT_NE(English, std::string::npos) << Text;
  EXPECT_LT(German, English);
  EXPECT_EQ(Text.find("strings: no change"), std::string::npos);
}

TEST(Report, UpdateLookupNamesTheServerChoice) {
  RunReport R;
  R.Update = UpdateRecord{};
  R.Update->ResultName = "EFI_NOT_FOUND";
  EXPECT_NE(RenderText(R).find("Update lookup (no server choice: the browser holds no NetConfigData"),
            std::string::npos);
  EXPECT_TRUE(ReportJson(R)["update"]["server_choice"].is_null());
  R.Update->ServerChoice = 2;
  EXPECT_NE(RenderText(R).find("Update lookup (server choice 2, mirror URL3):"), std::string::npos);
  EXPECT_EQ(ReportJson(R)["update"]["server_choice"], 2);
  R.Update->ServerChoice = 4;
  EXPECT_NE(RenderText(R).find("Update lookup (server choice 4, as the server says):"), std::string::npos);
  R.Update->ServerChoice = 9;
  EXPECT_NE(RenderText(R).find("Update lookup (server choice 9, not a mirror (0 to 4)):"), std::string::npos);
}

TEST(Report, BriefBootsKeepOneLineEach) {
  RunReport R;
  BootRecord B;
  B.LanguageVariables.push_back(LanguageVariable{"PlatformLang", "G", true, 7, "en-US"});
  R.Boots = {B, B};
  R.Boots[1].Number = 2;
  R.Boots[1].Deferred = true;
  const std::string Full = RenderText(R);
  EXPECT_NE(Full.find("PlatformLang           NV+BS+RT  \"en-US\""), std::string::npos) << Full;
  EXPECT_NE(Full.find("Boot 2: setupinfo EFI_SUCCESS, updatefetch EFI_SUCCESS; form sets loaded when the trigger"),
            std::string::npos);
  R.BriefBoots = true;
  const std::string Brief = RenderText(R);
  EXPECT_EQ(Brief.find("PlatformLang"), std::string::npos);
  EXPECT_NE(Brief.find("Boot 2:"), std::string::npos);
}

TEST(Report, VariableAttributesByName) {
  EXPECT_EQ(AttributeNames(7), "NV+BS+RT");
  EXPECT_EQ(AttributeNames(0x27), "NV+BS+RT+TA");
  EXPECT_EQ(AttributeNames(0), "none");
  EXPECT_EQ(AttributeNames(0x102), "BS+0x100");
}

TEST(Report, LocatorResultsAreExplained) {
  EXPECT_TRUE(UpdateResultFound(EFI_SUCCESS));
  EXPECT_TRUE(UpdateResultFound(EFI_WARN_UNKNOWN_GLYPH));  // a success status from the name service
  for (EFI_STATUS Code = 100; Code <= 109; ++Code) {
    EXPECT_FALSE(UpdateResultFound(Code)) << Code;
    EXPECT_EQ(UpdateResultName(Code).substr(0, 4), std::to_string(Code) + " ");
  }
  EXPECT_FALSE(UpdateResultFound(EFI_NOT_FOUND));
  EXPECT_EQ(UpdateResultName(103), "103 no location");
  EXPECT_NE(UpdateResultMeaning(101).find("part lengths"), std::string::npos);
  EXPECT_EQ(UpdateResultName(EFI_NOT_FOUND), "EFI_NOT_FOUND");
  EXPECT_EQ(DottedAddress(EFI_IPv4_ADDRESS{{10, 1, 0, 0}}), "10.1.0.0");
}

TEST(Report, KeyRangesCompressRuns) {
  EXPECT_EQ(KeyRanges({0x48D, 0x48E, 0x48F, 0x4BA, 0x4BC, 0x4BD}), "0x48D-0x48F, 0x4BA, 0x4BC-0x4BD");
  EXPECT_EQ(KeyRanges({}), "");
}

TEST(Report, TourRaisesTheThirdPointAboveTheLaterOnes) {
  const std::string Page = "callback 0x10 0x48D retrieve\nshow 0x10\n";
  EXPECT_EQ(TourScript(60, 70), Page + "set Setup 0x430 byte 75\ncallback 0x10 0x490 changed u8:75\n");
  EXPECT_EQ(TourScript(80, 40), Page + "set Setup 0x430 byte 85\ncallback 0x10 0x490 changed u8:85\n");
  EXPECT_EQ(TourScript(252, 254), Page + "set Setup 0x430 byte 255\ncallback 0x10 0x490 changed u8:255\n");
  // With the fourth point at 255 nothing lies above it: it is brought down first.
  EXPECT_EQ(TourScript(255, 255),
            Page + "set Setup 0x431 byte 200\nset Setup 0x430 byte 255\ncallback 0x10 0x490 changed u8:255\n");
}

}  // namespace
}  // namespace boardsim
