// The live check over whole runs, and the board profiles it was built for.
#include "tools/boardsim/live_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "sim/board_profile.h"
#include "tools/boardsim/boardsim_run.h"
#include "tools/boardsim/exit_codes.h"

namespace boardsim {
namespace {

using nlohmann::json;

const std::string Boards = BOARDS_DIR;

json LiveJson(std::vector<std::string> Args, int ExpectedExit) {
  Args.insert(Args.begin(), "--check-live");
  Args.push_back("--json");
  RunOutput R = RunBoardSim(Args);
  EXPECT_EQ(R.ExitCode, ExpectedExit) << R.Err;
  return json::parse(R.Out);
}

std::string WriteFile(const std::string& Name, const std::string& Text) {
  const std::string Path = testing::TempDir() + Name;
  std::ofstream(Path) << Text;
  return Path;
}

// (class, id) of every entry of one kind: not allowed, or stale.
std::set<std::pair<int, int>> Listed(const json& Doc, bool Stale) {
  std::set<std::pair<int, int>> Out;
  for (const json& F : Doc["form_sets"]) {
    if (Stale) {
      for (const json& Id : F["stale_allowances"]) Out.insert({F["class"].get<int>(), Id.get<int>()});
    } else {
      for (const json& E : F["at_package_text"])
        if (!E["allowed"]) Out.insert({F["class"].get<int>(), E["id"].get<int>()});
    }
  }
  return Out;
}

// A board that lost the data behind a string fails the check by that
// string, on every form set the string is filled on.
TEST(LiveCheck, FailsOnAStringTheBoardShouldHaveFilled) {
  json Profile = json::parse(sim::DefaultBoardProfileText());
  Profile["southBridge"].erase("version");
  Profile["memory"].erase("version");
  const std::string Board = WriteFile("live_no_versions.json", Profile.dump());
  json Doc = LiveJson({"--board", Board, "--live-allow", Boards + "/default.live.json"}, EXIT_NOT_LIVE);
  std::set<std::pair<int, int>> Expected{{0x20, 0x049E}};  // the memory code's version
  for (int Class : {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x30, 0x40, 0x100}) Expected.insert({Class, 0x0202});
  Expected.insert({0x4, 0x0B5B});  // component versions of both, on the advanced page
  Expected.insert({0x4, 0x0B5E});
  EXPECT_EQ(Listed(Doc, false), Expected);
  EXPECT_EQ(Doc["not_set"], Expected.size());
  EXPECT_EQ(Doc["exit_code"], EXIT_NOT_LIVE);
}

// A reason "set by a callback" holds only if the callback sets it: after
// the refresh and a clock choice those allowances are stale, and the check
// says so rather than passing.
TEST(LiveCheck, AnAllowanceGoesStaleOnceItsCallbackRuns) {
  json Doc = LiveJson({"--live-allow", Boards + "/default.live.json", "--do", "callback 0x10 0x48D retrieve", "--do",
                       "callback 0x04 0x4C0 changed"},
                      EXIT_NOT_LIVE);
  std::set<std::pair<int, int>> Expected;
  for (int Id : {0x08B6, 0x08B8, 0x08BC, 0x08BE, 0x08C2, 0x08C8, 0x08CC, 0x08D1, 0x08D2, 0x08D4})
    Expected.insert({0x10, Id});
  for (int Id = 0x0A54; Id <= 0x0A56; ++Id) Expected.insert({0x4, Id});
  for (int Id = 0x0A71; Id <= 0x0A77; ++Id) Expected.insert({0x4, Id});
  EXPECT_EQ(Listed(Doc, true), Expected);
  EXPECT_EQ(Listed(Doc, false), (std::set<std::pair<int, int>>{}));
}

// Without allowances every string left as packaged counts; one board's
// reasons do not fit the other.
TEST(LiveCheck, ReasonsBelongToTheirBoard) {
  json Bare = LiveJson({"--board", Boards + "/mobile.json"}, EXIT_NOT_LIVE);
  EXPECT_EQ(Bare["allowed"], 0);
  EXPECT_GT(Bare["not_set"].get<int>(), 0);
  json Crossed = LiveJson({"--board", Boards + "/mobile.json", "--live-allow", Boards + "/default.live.json"},
                          EXIT_NOT_LIVE);
  // The mobile board blanks the graphics memory option and names its hub's
  // graphics, both allowed to stay on the default board.
  const auto Stale = Listed(Crossed, true);
  EXPECT_TRUE(Stale.count({0x4, 0x0725}) && Stale.count({0x20, 0x049B}));
  // Its empty module slots and missing NVMe rows are not allowed there.
  const auto NotSet = Listed(Crossed, false);
  EXPECT_TRUE(NotSet.count({0x20, 0x0554}) && NotSet.count({0x4, 0x0B4C}));
}

struct BadAllowance {
  const char* Name;
  const char* Text;
  const char* Error;
};

class LiveAllowanceFile : public testing::TestWithParam<BadAllowance> {};

TEST_P(LiveAllowanceFile, IsRefusedWithWhereAndWhy) {
  const std::string Path = WriteFile(std::string("allow_") + GetParam().Name + ".json", GetParam().Text);
  RunOutput R = RunBoardSim({"--check-live", "--live-allow", Path});
  EXPECT_EQ(R.ExitCode, EXIT_BAD_PROFILE);
  EXPECT_NE(R.Err.find(GetParam().Error), std::string::npos) << R.Err;
  EXPECT_TRUE(R.Out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiveAllowanceFile,
    testing::Values(
        BadAllowance{"array", "[]", "not a JSON object"},
        BadAllowance{"unknown_key", R"({"mayStay": [], "extra": 1})", "$.extra: unknown key"},
        BadAllowance{"no_reason", R"({"mayStay": [{"formSet": "0x10", "ids": ["0x08B6"]}]})",
                     "$.mayStay[0].reason: every allowance needs its reason"},
        BadAllowance{"blank_reason", R"({"mayStay": [{"formSet": "0x10", "ids": ["0x08B6"], "reason": "  "}]})",
                     "$.mayStay[0].reason"},
        BadAllowance{"unknown_form_set", R"({"mayStay": [{"formSet": "0x77", "ids": ["1"], "reason": "r"}]})",
                     "$.mayStay[0].formSet: unknown form set"},
        BadAllowance{"package_string", R"({"mayStay": [{"formSet": "main", "ids": ["0x0001"], "reason": "r"}]})",
                     "$.mayStay[0].ids[0]: 0x0001: no driver fills this string on Main"},
        BadAllowance{"other_form_set", R"({"mayStay": [{"formSet": "0x10", "ids": ["0x0AB0"], "reason": "r"}]})",
                     "0x0AB0: no driver fills this string on Hardware Monitor"},
        BadAllowance{"reversed_range", R"({"mayStay": [{"formSet": "0x04", "ids": ["0x0A77-0x0A71"], "reason": "r"}]})",
                     "\"0x0A77-0x0A71\" is not an ID or range"},
        BadAllowance{"number_id", R"({"mayStay": [{"formSet": "0x04", "ids": [2673], "reason": "r"}]})",
                     "$.mayStay[0].ids[0]: an ID is a string"},
        BadAllowance{"range_past_ids", R"({"mayStay": [{"formSet": "0x04", "ids": ["0x0A91-0x10000"], "reason": "r"}]})",
                     "is not an ID or range"}),
    [](const testing::TestParamInfo<BadAllowance>& Info) { return std::string(Info.param.Name); });

TEST(LiveCheck, CommandLineKeepsTheCheckApartFromOtherRuns) {
  EXPECT_EQ(RunBoardSim({"--live-allow", Boards + "/default.live.json"}).ExitCode, EXIT_USAGE);
  EXPECT_EQ(RunBoardSim({"update", "--check-live"}).ExitCode, EXIT_USAGE);
  EXPECT_EQ(RunBoardSim({"--check-live", "--tour"}).ExitCode, EXIT_USAGE);
  EXPECT_EQ(RunBoardSim({"--check-live", "--live-allow", testing::TempDir()}).ExitCode, EXIT_USAGE);
}

const json& StringOf(const json& Run, int Class, int Id) {
  for (const json& F : Run["form_sets"])
    if (F["class"] == Class)
      for (const json& S : F["strings"])
        if (S["id"] == Id) return S;
  static const json None;
  ADD_FAILURE() << "no string " << Id << " on class " << Class;
  return None;
}

std::string TextOf(const json& Run, int Class, int Id, const char* Field = "text") {
  const json& S = StringOf(Run, Class, Id);
  return S.is_null() ? "?" : S[Field]["en-US"].get<std::string>();
}

// The pages after boot, then the monitor page refreshed and shown.
json PageRun(const std::string& Board) {
  std::vector<std::string> Args{"--json", "--do", "callback 0x10 0x48D retrieve; show 0x10"};
  if (!Board.empty()) Args.insert(Args.end(), {"--board", Board});
  RunOutput R = RunBoardSim(Args);
  EXPECT_EQ(R.ExitCode, EXIT_OK) << R.Err;
  return json::parse(R.Out);
}

// The branches the mobile board takes where the default board takes the
// other: its hub's name and stepping table, the Broadwell U graphics, the
// blanked graphics memory option, the second platform feature, the empty
// module slot and the tachometers at 0.
TEST(MobileBoard, TakesTheOtherBranchesOfThePages) {
  const json Mobile = PageRun(Boards + "/mobile.json");
  const json Default = PageRun("");
  struct Row {
    int Class, Id;
    std::string OnMobile, OnDefault;
  };
  const Row Rows[] = {
      {0x4, 0x0205, "Premium SKU(BDW-U)", "Z87"},
      {0x4, 0x0208, "03/B1", "04/C1"},  // revision 3 reads B1 on a low-power hub, C0 on a standard one
      {0x20, 0x049B, "Broadwell U-series", "N/A"},
      {0x4, 0x0725, "", "Graphics Memory Option"},
      {0x20, 0x0570, "Supported", "Not Supported"},
      {0x20, 0x056F, "Not Supported", "Supported"},
      {0x4, 0x00DB, "Not Supported", "Supported"},
      {0x4, 0x00B9, "2300 MHz", "3500 MHz"},
      {0x1, 0x1073, TextOf(Mobile, 0x1, 0x1088, "package_text"), "8192MB(DDR3-1600)"},
      {0x1, 0x1071, "8192MB(DDR3-1866)", "8192MB(DDR3-1600)"},  // 1867 is shown as 1866
      {0x4, 0x0B4D, "Not Present", "M.2 NVMe SSD 512GB"},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(testing::Message() << "class 0x" << std::hex << R.Class << " string 0x" << R.Id);
    EXPECT_EQ(TextOf(Mobile, R.Class, R.Id), R.OnMobile);
    EXPECT_EQ(TextOf(Default, R.Class, R.Id), R.OnDefault);
  }
  // A refresh reads every tachometer at 0 on the mobile board: each fan
  // string keeps its text, where the default board's first fans show speeds.
  auto Refreshed = [](const json& Run) {
    json Page;
    Page["form_sets"] = json::array({Run["actions"].back()["page"]});
    return Page;
  };
  const json MobileMonitor = Refreshed(Mobile), DefaultMonitor = Refreshed(Default);
  for (int Fan : {0x08BC, 0x08BE, 0x08C2}) {
    EXPECT_EQ(TextOf(MobileMonitor, 0x10, Fan), TextOf(MobileMonitor, 0x10, Fan, "package_text")) << Fan;
    EXPECT_NE(TextOf(DefaultMonitor, 0x10, Fan), TextOf(DefaultMonitor, 0x10, Fan, "package_text")) << Fan;
  }
  // The temperatures are read on both.
  EXPECT_NE(TextOf(MobileMonitor, 0x10, 0x08B6), TextOf(MobileMonitor, 0x10, 0x08B6, "package_text"));
}

}  // namespace
}  // namespace boardsim
