// Whole runs on the built-in board and on edited copies of it.
#include "tools/boardsim/boardsim_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "sim/board_profile.h"
#include "tools/boardsim/exit_codes.h"
#include "tests/tools/boardsim_test_support.h"

namespace boardsim {
namespace {

using nlohmann::json;

TEST(BoardsimRun, DefaultRunShowsTheNineFormSetsWithNamesAndDriverStrings) {
  json J = RunJson({});
  ASSERT_EQ(J["form_sets"].size(), 9u);
  std::vector<int> Classes;
  for (const json& F : J["form_sets"]) {
    Classes.push_back(F["class"]);
    EXPECT_FALSE(F["name"].get<std::string>().empty());
    EXPECT_TRUE(F["published"]);
  }
  EXPECT_EQ(Classes, (std::vector<int>{0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x30, 0x40, 0x100}));
  // The class-0x20 package list is gone from the database after loading.
  const json& Removed = *FindClass(J["form_sets"], 0x20);
  EXPECT_FALSE(Removed["kept"]);
  EXPECT_FALSE(Removed["strings"].empty());  // texts kept from the moment of removal
  EXPECT_TRUE((*FindClass(J["form_sets"], 0x10))["kept"]);
  // The secure boot page's two counters are set by the driver, in en-US.
  const json* SecureBoot = FindClass(J["form_sets"], 0x40);
  ASSERT_NE(SecureBoot, nullptr);
  std::map<int, std::string> Set;
  for (const json& S : (*SecureBoot)["strings"]) {
    if (!S["set_in"].empty()) {
      Set[S["id"]] = S["text"]["en-US"];
    }
  }
  EXPECT_EQ(Set[0x42], "3");
  EXPECT_EQ(Set[0x44], "8");
  EXPECT_EQ(J["pool"]["leaked"], false);
  EXPECT_EQ(J["exit_code"], 0);
}

TEST(BoardsimRun, DefaultBoardShowsItsHubAndSataDrivesLive) {
  json J = RunJson({"--formset", "0x4"});
  ASSERT_EQ(J["form_sets"].size(), 1u);
  std::map<int, std::string> Set;
  for (const json& S : J["form_sets"][0]["strings"])
    if (!S["set_in"].empty()) Set[S["id"]] = S["text"]["en-US"];
  EXPECT_EQ(Set[0x0205], "Z87");
  EXPECT_EQ(Set[0x0208], "04/C1");
  EXPECT_EQ(Set[0x0202], "9.4.0.16");
  EXPECT_EQ(Set[0x0249], "Q7730 SSD 500GB" + std::string(25, ' ') + " (500.1GB)");
  EXPECT_EQ(Set[0x024B], "Q7730 HDD 2TB 4Kn" + std::string(23, ' ') + " (2000.3GB)");
  EXPECT_EQ(Set[0x0251], "Q7730 DVD-RW" + std::string(28, ' ') + " ATAPI");
  EXPECT_EQ(Set[0x026D], "SUPPORTED");
  EXPECT_EQ(Set[0x026E], "NOT SUPPORTED");
  EXPECT_EQ(Set[0x0271], "  N/A  ");
}

TEST(BoardsimRun, TextPagesNameEachFormSetAndItsClass) {
  RunOutput R = RunBoardSim({"--formset", "secure-boot", "--formset", "0x1"});
  ASSERT_EQ(R.ExitCode, EXIT_OK) << R.Err;
  EXPECT_NE(R.Out.find("== Secure Boot (class 0x40) =="), std::string::npos);
  EXPECT_NE(R.Out.find("== Main (class 0x01) =="), std::string::npos);
  EXPECT_LT(R.Out.find("Secure Boot (class"), R.Out.find("Main (class"));  // in the order asked
  EXPECT_EQ(R.Out.find("Hardware Monitor (class"), std::string::npos);
  EXPECT_NE(R.Out.find("  0x0044  8\n"), std::string::npos);
}

TEST(BoardsimRun, TourCorrectsTheFanCurveAndFindsTheUpdate) {
  json J = RunJson({"--tour"});
  EXPECT_TRUE(J["form_sets"].empty());
  const json& Actions = J["actions"];
  ASSERT_GE(Actions.size(), 4u);
  // The refresh fills sensor strings; the page shown next has them.
  EXPECT_EQ(Actions[0]["key"], 0x48D);
  EXPECT_EQ(Actions[0]["status"]["name"], "EFI_SUCCESS");
  EXPECT_FALSE(Actions[0]["string_changes"].empty());
  ASSERT_EQ(Actions[1]["kind"], "show");
  EXPECT_EQ(Actions[1]["page"]["class"], 0x10);
  // Every string the refresh changed is shown as set (others were set at load).
  std::set<int> SetIds;
  for (const json& S : Actions[1]["page"]["strings"]) {
    if (!S["set_in"].empty()) SetIds.insert(S["id"].get<int>());
  }
  for (const json& Change : Actions[0]["string_changes"]) {
    EXPECT_EQ(SetIds.count(Change["id"].get<int>()), 1u) << Change["id"];
  }
  size_t FanCurve = 0;
  while (FanCurve < Actions.size() && !(Actions[FanCurve]["kind"] == "callback" && Actions[FanCurve]["key"] == 0x490))
    ++FanCurve;
  ASSERT_LT(FanCurve, Actions.size());
  ASSERT_GE(FanCurve, 1u);
  const json& Callback = Actions[FanCurve];
  EXPECT_EQ(Callback["status"]["name"], "EFI_SUCCESS");
  // The third point is raised above the fourth and fifth (60 and 70 on the
  // built-in board); the callback brings both up to it and nothing else.
  const json& Raised = Actions[FanCurve - 1]["store_changes"][0]["bytes"];
  ASSERT_EQ(Raised.size(), 1u);
  EXPECT_EQ(Raised[0]["offset"], 0x430);
  EXPECT_EQ(Raised[0]["after"], 75);
  ASSERT_EQ(Callback["store_changes"].size(), 1u);
  EXPECT_EQ(Callback["store_changes"][0]["store"], "Setup");
  EXPECT_EQ(Callback["store_changes"][0]["bytes"],
            json::parse(R"([{"offset": 1073, "before": 60, "after": 75}, {"offset": 1074, "before": 70, "after": 75}])"));
  ASSERT_TRUE(J["update"].is_object());
  EXPECT_TRUE(J["update"]["found"]);
  EXPECT_FALSE(J["update"]["host"].get<std::string>().empty());
  EXPECT_EQ(J["pool"]["leaked"], false);
}

// The tour's profile round trip: the name typed, profile 1 saved, a setting
// changed, the profile loaded back with its box, and the tools page shown.
TEST(BoardsimRun, TourSavesAProfileChangesASettingAndLoadsItBack) {
  json J = RunJson({"--tour"});
  const json& Actions = J["actions"];
  ASSERT_GE(Actions.size(), 5u);
  const json* Save = nullptr;
  const json* Load = nullptr;
  for (const json& A : Actions) {
    if (A["kind"] == "callback" && A["key"] == 0x532) Save = &A;
    if (A["kind"] == "callback" && A["key"] == 0x533) Load = &A;
  }
  ASSERT_NE(Save, nullptr);
  ASSERT_NE(Load, nullptr);
  ASSERT_EQ((*Save)["text_prompts"].size(), 1u);
  EXPECT_EQ((*Save)["text_prompts"][0]["prompt"], "Profile name");
  EXPECT_EQ((*Save)["text_prompts"][0]["proposed"], "User Default 2");
  EXPECT_EQ((*Save)["text_prompts"][0]["typed"], "Tour profile");
  bool ContentWritten = false;
  for (const json& W : (*Save)["variables_written"]) ContentWritten = ContentWritten || W["name"] == "TWL_USER_DEF01";
  EXPECT_TRUE(ContentWritten);
  // The load puts the changed byte back.
  ASSERT_EQ((*Load)["store_changes"].size(), 1u);
  EXPECT_EQ((*Load)["store_changes"][0]["store"], "Setup");
  ASSERT_EQ((*Load)["store_changes"][0]["bytes"].size(), 1u);
  EXPECT_EQ((*Load)["store_changes"][0]["bytes"][0]["offset"], 0x80);
  ASSERT_EQ((*Load)["message_boxes"].size(), 1u);
  EXPECT_EQ((*Load)["message_boxes"][0]["title"], "Load profile");
  EXPECT_EQ((*Load)["message_boxes"][0]["text"], "Tour profile loaded; save to keep it.");
  const json& Shown = Actions.back();
  ASSERT_EQ(Shown["kind"], "show");
  bool NameShown = false;
  for (const json& S : Shown["page"]["strings"])
    NameShown = NameShown || (S["id"] == 3452 && S["text"]["en-US"] == "Profile 2: Tour profile");
  EXPECT_TRUE(NameShown);
}

// The tour picks row 1 of table A and sends the preset question: the
// action shows the Setup bytes the preset wrote, none of them its index.
TEST(BoardsimRun, TourAppliesAPresetAndShowsWhatItWrote) {
  json J = RunJson({"--tour"});
  const json* Preset = nullptr;
  for (const json& A : J["actions"])
    if (A["kind"] == "callback" && A["key"] == 0x51F) Preset = &A;
  ASSERT_NE(Preset, nullptr);
  EXPECT_EQ((*Preset)["status"]["name"], "EFI_SUCCESS");
  ASSERT_EQ((*Preset)["store_changes"].size(), 1u);
  EXPECT_EQ((*Preset)["store_changes"][0]["store"], "Setup");
  const json& Bytes = (*Preset)["store_changes"][0]["bytes"];
  EXPECT_FALSE(Bytes.empty());
  for (const json& B : Bytes) EXPECT_NE(B["offset"], 0x481);
}

// Across two boots: saved in the first, the setting changed and saved in the
// second, the profile loaded and saved again: Setup is back as it was.
TEST(BoardsimRun, AProfileSurvivesAPowerCycleAndIsSavedBackInTheNextBoot) {
  json J = RunJson({"--no-pages", "--do",
                    "text Before; callback 0x8 0x530 changing; save; reboot; set Setup 0x80 byte 77; save; "
                    "callback 0x8 0x531 changing; save"});
  const json& Actions = J["actions"];
  ASSERT_EQ(Actions.size(), 8u);
  EXPECT_EQ(Actions[3]["kind"], "reboot");
  EXPECT_EQ(Actions[3]["boot"], 2);
  bool Restored = false;
  for (const json& W : Actions[7]["variables_written"])
    Restored = Restored || (W["name"] == "Setup" && W["status"]["name"] == "EFI_SUCCESS");
  EXPECT_TRUE(Restored);
  ASSERT_EQ(Actions[6]["store_changes"].size(), 1u);
  const json& Byte = Actions[6]["store_changes"][0]["bytes"][0];
  EXPECT_EQ(Byte["offset"], 0x80);
  EXPECT_EQ(Byte["before"], 77);
  EXPECT_NE(Byte["after"], 77);
  EXPECT_EQ(Actions[6]["message_boxes"][0]["text"], "Before loaded; save to keep it.");
}

TEST(BoardsimRun, LaterBootsWaitForTheTriggerAndKeepTheLanguageVariables) {
  json J = RunJson({"--boots", "3", "--no-pages"});
  ASSERT_EQ(J["boots"].size(), 3u);
  EXPECT_EQ(J["boots"][0]["load_path"], "immediate");
  EXPECT_FALSE(J["boots"][0]["trigger_installed"]);
  for (int I = 1; I < 3; ++I) {
    EXPECT_EQ(J["boots"][I]["load_path"], "deferred");
    EXPECT_TRUE(J["boots"][I]["trigger_installed"]);
    EXPECT_EQ(J["boots"][I]["form_sets_published"], 9);
  }
  for (const json& Boot : J["boots"]) {
    const json& L = Boot["language_variables"];
    ASSERT_TRUE(L["PlatformLang"].is_object()) << L.dump();
    EXPECT_EQ(L["PlatformLang"]["text"], "en-US");
    EXPECT_EQ(L["PlatformLastLangCodes"]["attributes"], 3);
  }
  // The first boot records the language list; NV variables outlive the reboots.
  bool Recorded = false;
  for (const json& W : J["boots"][0]["variables_written"]) {
    Recorded = Recorded || (W["name"] == "PlatformLastLangCodes" && W["status"]["name"] == "EFI_SUCCESS");
  }
  EXPECT_TRUE(Recorded);
  EXPECT_TRUE(J["form_sets"].empty());

  // The tour keeps a boot to one line, unless several boots were asked for.
  RunOutput Tour = RunBoardSim({"--tour", "--boots", "2"});
  ASSERT_EQ(Tour.ExitCode, EXIT_OK) << Tour.Err;
  const size_t Second = Tour.Out.find("Boot 2:");
  ASSERT_NE(Second, std::string::npos);
  EXPECT_NE(Tour.Out.find("    PlatformLang           NV+BS+RT  \"en-US\"", Second), std::string::npos) << Tour.Out;
}

TEST(BoardsimRun, LanguageOptionRunsTheBoardInThatLanguage) {
  json J = RunJson({"--lang", "de-DE", "--formset", "main"});
  EXPECT_EQ(J["language"], "de-DE");
  EXPECT_EQ(J["boots"][0]["language_variables"]["PlatformLang"]["text"], "de-DE");
  EXPECT_EQ(J["boots"][0]["language_variables"]["Lang"]["text"], "ger");

  json Usage = RunJson({"--boots", "0"}, EXIT_USAGE);
  EXPECT_EQ(Usage["error"]["kind"], "usage");

  RunOutput Unknown = RunBoardSim({"--lang", "xx-YY"});
  EXPECT_EQ(Unknown.ExitCode, EXIT_USAGE);
  EXPECT_NE(Unknown.Err.find("--lang xx-YY: no form set carries this language"), std::string::npos);
  EXPECT_TRUE(Unknown.Out.empty());
}

TEST(BoardsimRun, ActionsShowWhatTheyChanged) {
  json J = RunJson({"--no-pages", "--do", "set Setup 0x42E word 0x1E28; set NetConfigData 105 byte 2"});
  ASSERT_EQ(J["actions"].size(), 2u);
  const json& Word = J["actions"][0]["store_changes"][0];
  EXPECT_EQ(Word["store"], "Setup");
  ASSERT_EQ(Word["bytes"].size(), 2u);
  EXPECT_EQ(Word["bytes"][0]["offset"], 0x42E);
  EXPECT_EQ(Word["bytes"][0]["after"], 0x28);  // little-endian
  EXPECT_EQ(Word["bytes"][1]["after"], 0x1E);
  EXPECT_EQ(J["actions"][1]["store_changes"][0]["store"], "NetConfigData");
  EXPECT_EQ(J["actions"][1]["store_changes"][0]["bytes"][0]["after"], 2);
}

TEST(BoardsimRun, RefreshRedrawsAPageWithoutChangingTheSettings) {
  // An all-core ratio of 60 is beyond the board's ceiling: a change would clamp it.
  json J = RunJson({"--no-pages", "--do", "set Setup 0x7F byte 1; set Setup 0x80 byte 60; callback 0x2 0x41D refresh"});
  ASSERT_EQ(J["actions"].size(), 3u);
  const json& Refresh = J["actions"][2];
  EXPECT_EQ(Refresh["status"]["name"], "EFI_SUCCESS");
  EXPECT_TRUE(Refresh["store_changes"].empty());
  std::set<int> Redrawn;
  for (const json& Change : Refresh["string_changes"]) Redrawn.insert(Change["id"].get<int>());
  EXPECT_EQ(Redrawn, (std::set<int>{0x0115, 0x0118, 0x011B}));
}

TEST(BoardsimRun, SaveWritesTheEditedStoreToItsVariable) {
  json J = RunJson({"--no-pages", "--do", "set Setup 0x42E byte 33; save"});
  ASSERT_EQ(J["actions"].size(), 2u);
  const json& Save = J["actions"][1];
  EXPECT_EQ(Save["kind"], "save");
  EXPECT_EQ(Save["status"]["name"], "EFI_SUCCESS");
  ASSERT_EQ(Save["variables_written"].size(), 1u);
  const json& Written = Save["variables_written"][0];
  EXPECT_EQ(Written["name"], "Setup");
  EXPECT_EQ(Written["attributes"], 7);
  EXPECT_EQ(Written["size"], 1172);
  EXPECT_EQ(Written["data"].get<std::string>().substr(2 * 0x42E, 2), "21");
  EXPECT_TRUE(Save["store_changes"].empty());
}

TEST(BoardsimRun, ScriptFilesRunInOrder) {
  const std::string Path = testing::TempDir() + "boardsim_script.txt";
  std::ofstream(Path) << "# lower the third point\nset Setup 0x42F byte 50\nset Setup 0x430 byte 20\n"
                         "callback hardware-monitor 0x490 changed u8:20\n";
  json J = RunJson({"--no-pages", "--script", Path});
  ASSERT_EQ(J["actions"].size(), 3u);
  EXPECT_EQ(J["actions"][2]["origin"], Path + ":4");
  bool Raised = false;
  for (const json& B : J["actions"][2]["store_changes"][0]["bytes"]) {
    Raised = Raised || (B["offset"] == 0x430 && B["after"] == 50);
  }
  EXPECT_TRUE(Raised) << J["actions"][2].dump(1);
}

TEST(BoardsimRun, BadActionsStopTheRunBeforeAnythingRan) {
  struct Case {
    std::vector<std::string> Args;
    const char* Message;
  } Cases[] = {
      {{"--do", "set Setup 0 byte 1", "--do", "wiggle"}, "--do 2: \"wiggle\": unknown action"},
      {{"--do", "callback 0x77 0x490 changed"}, "unknown form set \"0x77\""},
      {{"--do", "callback hardware-monitor 0x999 changed"}, "key 0x999 has no question callback on Hardware Monitor"},
      {{"--do", "set Sertup 0 byte 1"}, "no store named \"Sertup\""},
      {{"--do", "set Setup 1171 word 1"}, "word at 0x493 lies outside Setup (1172 bytes)"},
      {{"--formset", "nowhere"}, "--formset nowhere: unknown form set"},
  };
  for (const Case& C : Cases) {
    RunOutput R = RunBoardSim(C.Args);
    EXPECT_EQ(R.ExitCode, EXIT_BAD_ACTION) << C.Message;
    EXPECT_NE(R.Err.find(C.Message), std::string::npos) << R.Err;
    EXPECT_TRUE(R.Out.empty()) << C.Message;
  }
  RunOutput Directory = RunBoardSim({"--script", testing::TempDir()});
  EXPECT_EQ(Directory.ExitCode, EXIT_USAGE);
  EXPECT_NE(Directory.Err.find("is a directory"), std::string::npos) << Directory.Err;

  json J = RunJson({"--do", "show 0x99"}, EXIT_BAD_ACTION);
  EXPECT_EQ(J["error"]["kind"], "action");
  EXPECT_EQ(J["exit_code"], EXIT_BAD_ACTION);
}

TEST(BoardsimRun, BadProfilesNameTheFileTheFieldAndWhy) {
  const std::string Unknown = ProfileFile("boardsim_unknown.json", [](json& P) { P["fans"] = 3; });
  RunOutput R = RunBoardSim({"--board", Unknown});
  EXPECT_EQ(R.ExitCode, EXIT_BAD_PROFILE);
  EXPECT_NE(R.Err.find(Unknown), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find("fans"), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find("unknown field"), std::string::npos) << R.Err;

  const std::string WrongType = ProfileFile("boardsim_type.json", [](json& P) { P["update"]["modelName"] = 7; });
  RunOutput T = RunBoardSim({"--board", WrongType});
  EXPECT_EQ(T.ExitCode, EXIT_BAD_PROFILE);
  EXPECT_NE(T.Err.find("modelName"), std::string::npos) << T.Err;

  json Doc = RunJson({"--board", WrongType}, EXIT_BAD_PROFILE);
  EXPECT_EQ(Doc["error"]["kind"], "profile");
  EXPECT_NE(Doc["error"]["message"].get<std::string>().find("modelName"), std::string::npos);

  RunOutput Missing = RunBoardSim({"--board", testing::TempDir() + "no_such_board.json"});
  EXPECT_EQ(Missing.ExitCode, EXIT_BAD_PROFILE);
  EXPECT_NE(Missing.Err.find("no_such_board.json"), std::string::npos);
}

TEST(BoardsimRun, UpdateLookupReportsTheLocationOrTheCode) {
  json Found = RunJson({"update"});
  EXPECT_TRUE(Found["update"]["found"]);
  EXPECT_EQ(Found["update"]["result"], 0);
  EXPECT_NE(Found["update"]["request"].get<std::string>().find("GET /support/"), std::string::npos);
  // URL1 of the built-in reply names an alias of the host that answers.
  EXPECT_EQ(Found["update"]["name_queries"], json::parse(R"(["download.example.com", "mirror1.example.net"])"));
  EXPECT_EQ(Found["update"]["host"], "mirror1.example.net");
  EXPECT_EQ(Found["update"]["path"], "/bios/Q7730PRO/Q7730PRO.F12");
  EXPECT_EQ(Found["update"]["address"], "203.0.113.25");
  EXPECT_TRUE(Found["form_sets"].empty());

  // The server choice is read from the browser, so an action moves the lookup.
  json Second = RunJson({"update", "--do", "set NetConfigData 105 byte 1"});
  EXPECT_EQ(Second["update"]["server_choice"], 1);
  EXPECT_TRUE(Second["update"]["found"]);
  EXPECT_EQ(Second["update"]["host"], "dl2.example.net");
  EXPECT_EQ(Second["update"]["address"], "198.51.100.7");
  json Beyond = RunJson({"update", "--do", "set NetConfigData 105 byte 9"}, EXIT_UPDATE_FAILED);
  EXPECT_EQ(Beyond["update"]["result"], 103);

  const std::string NoDownload = ProfileFile("boardsim_nodownload.json", [](json& P) {
    P["update"]["serverReply"] = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n<Support/>";
  });
  json Lost = RunJson({"update", "--board", NoDownload}, EXIT_UPDATE_FAILED);
  EXPECT_EQ(Lost["update"]["result"], 103);
  EXPECT_EQ(Lost["update"]["result_name"], "103 no location");
  EXPECT_TRUE(Lost["update"]["host"].is_null());
  EXPECT_EQ(Lost["pool"]["leaked"], false);  // the reply buffer was released

  // Without NetConfigData the locator's browser read fails, and no choice is shown.
  const std::string NoNetConfig = ProfileFile("boardsim_nonetconfig.json", [](json& P) {
    json Kept = json::array();
    for (const json& V : P["variables"]) {
      if (V["name"] != "NetConfigData") {
        Kept.push_back(V);
      }
    }
    P["variables"] = Kept;
  });
  json NoChoice = RunJson({"update", "--board", NoNetConfig}, EXIT_UPDATE_FAILED);
  EXPECT_TRUE(NoChoice["update"]["server_choice"].is_null());
  EXPECT_FALSE(NoChoice["update"]["found"]);

  RunOutput Text = RunBoardSim({"update", "--board", NoDownload});
  EXPECT_NE(Text.Out.find("result:  103 no location (no download location could be taken from the reply)"),
            std::string::npos)
      << Text.Out;
}


// A run that stops: its exit code, a message naming the place and why, and
// with --json one document of the same error.
void ExpectRefused(std::vector<std::string> Args, int Code, const std::vector<std::string>& Mentions) {
  RunOutput Text = RunBoardSim(Args);
  EXPECT_EQ(Text.ExitCode, Code) << Text.Err;
  for (const std::string& M : Mentions) {
    EXPECT_NE(Text.Err.find(M), std::string::npos) << "missing '" << M << "' in: " << Text.Err;
  }
  Args.push_back("--json");
  RunOutput Json = RunBoardSim(Args);
  EXPECT_EQ(Json.ExitCode, Code);
  json Doc = json::parse(Json.Out, nullptr, false);
  ASSERT_FALSE(Doc.is_discarded()) << Json.Out;
  EXPECT_EQ(Doc["exit_code"], Code);
  ASSERT_TRUE(Doc.contains("error")) << Json.Out;
  EXPECT_EQ(Doc["error"]["kind"], Code == EXIT_BAD_PROFILE ? "profile" : Code == EXIT_USAGE ? "usage" : "action");
}

std::string TextFile(const std::string& Name, const std::string& Contents) {
  const std::string Path = testing::TempDir() + Name;
  std::ofstream(Path, std::ios::binary) << Contents;
  return Path;
}

TEST(BoardsimRun, ProfileValuesPastTheSimulatorsBoundsAreProfileErrors) {
  // A number too large for a double.
  std::string Text = json::parse(sim::DefaultBoardProfileText()).dump();
  const std::string Revision = "\"revision\":";
  const size_t At = Text.find(Revision);
  ASSERT_NE(At, std::string::npos);
  Text.insert(At + Revision.size(), "1e400,\"uefiRevision\":");
  ExpectRefused({"--no-pages", "--board", TextFile("boardsim_overflow.json", Text)}, EXIT_BAD_PROFILE,
                {"boardsim_overflow.json", "1e400", "out of range"});

  // Model names: the longest the identity protocol holds runs; one more is refused.
  const std::string Longest = ProfileFile("boardsim_model1023.json",
                                          [](json& P) { P["update"]["modelName"] = std::string(1023, 'M'); });
  json Ran = RunJson({"update", "--board", Longest}, EXIT_UPDATE_FAILED);
  EXPECT_EQ(Ran["update"]["result"], 101);  // far past the request's room
  ExpectRefused({"update", "--board", ProfileFile("boardsim_model1024.json", [](json& P) {
                   P["update"]["modelName"] = std::string(1024, 'M');
                 })},
                EXIT_BAD_PROFILE, {"$.update.modelName", "1024 bytes", "at most 1023"});

  // The transport allocates the reply total.
  ExpectRefused({"update", "--board", ProfileFile("boardsim_lengths.json", [](json& P) {
                   P["update"]["replyLengths"] = {0, 4294967295u, 4294967295u};
                 })},
                EXIT_BAD_PROFILE, {"$.update.replyLengths[2]", "out of range (0 to 0x1000000)"});

  // One variable over the store's per-variable limit; many over its room.
  ExpectRefused({"--no-pages", "--board", ProfileFile("boardsim_bigvar.json", [](json& P) {
                   P["variables"].push_back({{"name", "Big"}, {"guid", "8BE4DF61-93CA-11D2-AA0D-00E098032B8C"},
                                             {"attributes", 7}, {"data", {{"size", 32768}}}});
                 })},
                EXIT_BAD_PROFILE, {"$.variables[", ".data", "maxVariableSize 32768"});
  ExpectRefused({"--no-pages", "--board", ProfileFile("boardsim_fullstore.json", [](json& P) {
                   P["variableStore"] = {{"maxVariableSize", 1 << 20}};
                   for (int I = 0; I < 80; ++I) {
                     P["variables"].push_back({{"name", "Big" + std::to_string(I)},
                                               {"guid", "8BE4DF61-93CA-11D2-AA0D-00E098032B8C"},
                                               {"attributes", 7}, {"data", {{"size", 1 << 19}}}});
                   }
                 })},
                EXIT_BAD_PROFILE, {"non-volatile variables take", "nonVolatileSize 262144"});
}

TEST(BoardsimRun, OnlyRegularFilesWithinTheBoundAreRead) {
  ExpectRefused({"--no-pages", "--board", "/dev/zero"}, EXIT_BAD_PROFILE, {"/dev/zero: is not a regular file"});
  ExpectRefused({"--no-pages", "--script", "/dev/zero"}, EXIT_USAGE, {"--script /dev/zero: is not a regular file"});
  const std::string Dir = testing::TempDir();
  ExpectRefused({"--no-pages", "--board", Dir}, EXIT_BAD_PROFILE, {Dir + ": is a directory"});
  ExpectRefused({"--no-pages", "--script", Dir}, EXIT_USAGE, {"is a directory"});

  // 4 MiB is the bound of both; a comment-only script of that size still reads.
  const std::string Fits = TextFile("boardsim_fits.txt", "#" + std::string((4u << 20) - 2, 'x') + "\n");
  EXPECT_EQ(RunBoardSim({"--no-pages", "--script", Fits}).ExitCode, EXIT_OK);
  ExpectRefused({"--no-pages", "--script", TextFile("boardsim_huge.txt", std::string((4u << 20) + 1, '#'))},
                EXIT_USAGE, {"boardsim_huge.txt", "larger than 4 MiB"});
  ExpectRefused({"--no-pages", "--board", TextFile("boardsim_huge.json", std::string((4u << 20) + 1, ' '))},
                EXIT_BAD_PROFILE, {"boardsim_huge.json", "larger than 4 MiB"});
}

TEST(BoardsimRun, BytesThatAreNotUtf8ReachTheDocumentReplaced) {
  ExpectRefused({"--no-pages", "--do", "set Setup\xff 0x430 byte 1"}, EXIT_BAD_ACTION, {"Setup\xff"});
  json Bad = RunJson({"--no-pages", "--do", "set Setup\xff 0x430 byte 1"}, EXIT_BAD_ACTION);
  EXPECT_NE(Bad["error"]["message"].get<std::string>().find("Setup\xEF\xBF\xBD"), std::string::npos);
  ExpectRefused({"--lang", "d\xe9-DE"}, EXIT_USAGE, {"--lang"});

  // A completed run: the script's name reaches each action's origin.
  const std::string Script = TextFile("boardsim_\xfe.txt", "show 0x10\n");
  json Done = RunJson({"--no-pages", "--script", Script});
  ASSERT_EQ(Done["actions"].size(), 1u);
  EXPECT_NE(Done["actions"][0]["origin"].get<std::string>().find("boardsim_\xEF\xBF\xBD.txt:1"), std::string::npos);
}

TEST(BoardsimRun, LanguageBytesThatAreNotUtf8AndAShortSetupForTheTour) {
  const std::string Odd = ProfileFile("boardsim_oddlang.json", [](json& P) {
    P["variables"].push_back({{"name", "PlatformLang"}, {"guid", "8BE4DF61-93CA-11D2-AA0D-00E098032B8C"},
                              {"attributes", 7}, {"data", "C3 28 00"}});
  });
  json Doc = RunJson({"--no-pages", "--board", Odd});
  EXPECT_EQ(Doc["boots"][0]["language_variables"]["PlatformLang"]["text"], "\xEF\xBF\xBD(");

  // The tour edits the first fan curve: a Setup that does not reach it is the profile's fault.
  const std::string Short = ProfileFile("boardsim_shortsetup.json", [](json& P) {
    for (json& V : P["variables"]) {
      if (V["name"] == "Setup") {
        V["data"] = "00 01 02";
      }
    }
  });
  ExpectRefused({"--tour", "--board", Short}, EXIT_BAD_PROFILE, {"boardsim_shortsetup.json", "Setup", "holds 3 bytes"});
}

TEST(BoardsimRun, HobDataUpToTheDocumentedSize) {
  auto WithHob = [](size_t Size) {
    json Profile = json::parse(sim::DefaultBoardProfileText());
    Profile["hobs"].push_back({{"guid", "0D9A1427-E02A-437D-926B-AA521FD722BA"}, {"data", {{"x", 0}}}});
    Profile["hobs"].back()["data"] = std::string(2 * Size, '0');
    return TextFile("boardsim_hob" + std::to_string(Size) + ".json", Profile.dump());
  };
  EXPECT_EQ(RunBoardSim({"--no-pages", "--board", WithHob(65480)}).ExitCode, EXIT_OK);
  ExpectRefused({"--no-pages", "--board", WithHob(65481)}, EXIT_BAD_PROFILE, {".data", "at most 65480 bytes"});
}

}  // namespace
}  // namespace boardsim

namespace boardsim {
namespace {

std::map<int, std::string> DriverStrings(const json& FormSet) {
  std::map<int, std::string> Set;
  for (const json& S : FormSet["strings"])
    if (!S["set_in"].empty()) Set[S["id"]] = S["text"]["en-US"];
  return Set;
}

// The clock page on the default board: refresh, choose, change a clock with
// its dialog answered from the script.
TEST(BoardsimRun, DefaultBoardChangesAClockWithItsDialog) {
  json J = RunJson({"--formset", "advanced", "--do",
                    "callback advanced 0x4BC changed; callback advanced 0x4C0 changed;"
                    "set IccAdvancedSetupDataVar 0 word 10512; callback advanced 0x4C8 changed;"
                    "answer 0; callback advanced 0x4CB changed; show advanced"});
  const json& Actions = J["actions"];
  ASSERT_EQ(Actions.size(), 7u);
  // The frequency typed is put on the generator's 50 kHz steps.
  const json& Corrected = Actions[3]["store_changes"][0]["bytes"][0];
  EXPECT_EQ(Corrected["after"], 0x0E);  // 10510 = 0x290E
  const json& Boxes = Actions[5]["message_boxes"];
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0]["title"], "Intel ICC");
  EXPECT_EQ(Boxes[0]["text"], "The clock settings are applied and kept (status 0).");
  std::map<int, std::string> Set = DriverStrings(Actions[6]["page"]);
  EXPECT_EQ(Set[0x0A3F], "9.1.4.1102");
  EXPECT_EQ(Set[0x0A54], "Clock1");
  EXPECT_EQ(Set[0x0A73], "105.10 MHz");
  EXPECT_EQ(J["pool"]["leaked"], false);
}

TEST(BoardsimRun, ARestartAskedForAtReadyToBootRebootsTheMachine) {
  const std::string Board =
      ProfileFile("clock_restart.json", [](json& P) { P["clocks"]["restartAfterSet"] = true; });
  json J = RunJson({"--board", Board, "--no-pages", "--do",
                    "callback advanced 0x4BC changed; callback advanced 0x4C0 changed; callback advanced 0x4C9 changed;"
                    "ready-to-boot; ready-to-boot"});
  const json& Actions = J["actions"];
  ASSERT_EQ(Actions.size(), 5u);
  EXPECT_TRUE(Actions[3]["restarted"]);
  EXPECT_EQ(Actions[3]["reset_type"], "cold");
  EXPECT_EQ(Actions[3]["boot"], 2);
  // The new boot saw the request (1 -> 2) and clears it without a restart.
  EXPECT_FALSE(Actions[4]["restarted"]);
  bool Cleared = false;
  for (const json& W : Actions[4]["variables_written"])
    if (W["name"] == "IccPersistentData") Cleared = W["data"] == "00";
  EXPECT_TRUE(Cleared);
}

// A clock driver that comes after the drivers loaded is found on first use;
// an absent one leaves the page with its notice.
TEST(BoardsimRun, ALateClockDriverIsFoundAndAnAbsentOneIsReported) {
  const std::string Late = ProfileFile("clock_late.json", [](json& P) { P["clocks"]["late"] = true; });
  json J = RunJson({"--board", Late, "--no-pages", "--do", "callback advanced 0x4BC changed"});
  ASSERT_EQ(J["actions"].size(), 1u);
  bool Version = false;
  for (const json& S : J["actions"][0]["string_changes"]) Version |= S["id"] == 0x0A3F && S["after"] == "9.1.4.1102";
  EXPECT_TRUE(Version);

  const std::string Absent = ProfileFile("clock_absent.json", [](json& P) {
    P["clocks"]["present"] = false;
    P["clocks"]["writeSetupData"] = false;
  });
  J = RunJson({"--board", Absent, "--no-pages", "--do", "set Setup 0 byte 0"});
  for (const json& W : J["boots"][0]["variables_written"]) EXPECT_NE(W["name"], "IccAdvancedSetupDataVar");
}

TEST(BoardsimRun, AnswersNeedTheMessageBoxService) {
  const std::string Board = ProfileFile("no_boxes.json", [](json& P) { P["messageBox"]["present"] = false; });
  RunOutput R = RunBoardSim({"--board", Board, "--do", "answer 0"});
  EXPECT_EQ(R.ExitCode, EXIT_BAD_ACTION);
  EXPECT_NE(R.Err.find("no message box service"), std::string::npos) << R.Err;
}


// The Secure Boot page on the default board: clear, restore the defaults,
// append the stick's signed lists to db; every box and list in the report,
// the state bytes and the stick's files after it.
TEST(BoardsimRun, DefaultBoardEnrollsFromTheStickWithItsDialogs) {
  json J = RunJson({"--no-pages", "--do", "answer 0; callback 0x40 0x507 changing", "--do",
                    "answer 0; callback 0x40 0x508 changing", "--do",
                    "answer 1 0; choose 0 3 3 1; callback 0x40 0x514 changing", "--do",
                    "choose 0; callback 0x40 0x50C changing"});
  const json& Actions = J["actions"];
  ASSERT_EQ(Actions.size(), 9u);
  const json& Append = Actions[6];
  ASSERT_EQ(Append["message_boxes"].size(), 3u);
  EXPECT_EQ(Append["message_boxes"][1]["text"], "Write db from the file KEYS\\DB-APPEND.AUTH?");
  EXPECT_EQ(Append["message_boxes"][2]["text"], "The operation is complete.");
  ASSERT_EQ(Append["list_boxes"].size(), 4u);
  EXPECT_EQ(Append["list_boxes"][1]["items"],
            json::array({"DB2026.CER", "HASH.BIN", "README.TXT", "<KEYS>"}));
  EXPECT_EQ(Append["list_boxes"][2]["items"], json::array({"<.>", "<..>", "DB-LISTS.ESL", "DB-APPEND.AUTH"}));
  EXPECT_EQ(Append["list_boxes"][3]["title"], "Select the File Format");
  bool Appended = false;
  for (const json& W : Append["variables_written"]) Appended |= W["name"] == "db" && W["attributes"] == 0x67;
  EXPECT_TRUE(Appended);
  EXPECT_EQ(J["secure_boot"]["setup_mode"], 0);
  EXPECT_EQ(J["secure_boot"]["secure_boot"], 1);
  EXPECT_EQ(J["secure_boot"]["secure_var_present"], json::array({1, 1, 1, 1, 1}));
  std::map<std::string, size_t> Saved;
  for (const json& F : J["volumes"][0]["files"])
    if (!F["directory"]) Saved[F["path"]] = F["size"];
  for (const char* Name : {"dbx", "dbt", "db", "KEK", "PK"}) EXPECT_EQ(Saved.count(Name), 1u) << Name;
  EXPECT_EQ(Actions[8]["message_boxes"][0]["text"], "5 key files written.");
  EXPECT_TRUE(J["stopped"].is_null());
}

TEST(BoardsimRun, ABoxWithNoAnswerQueuedStopsTheRunNamingTheAction) {
  RunOutput R = RunBoardSim({"--no-pages", "--do", "callback 0x40 0x507 changing; callback 0x40 0x508 changing"});
  EXPECT_EQ(R.ExitCode, EXIT_BAD_ACTION);
  EXPECT_NE(R.Err.find("callback 0x40 0x507 changing"), std::string::npos) << R.Err;
  EXPECT_NE(R.Err.find("Delete All Secure Boot Variables"), std::string::npos) << R.Err;
  EXPECT_NE(R.Out.find("Stopped:"), std::string::npos);
  EXPECT_EQ(R.Out.find("0x508"), std::string::npos);  // the run stopped before it
  // A list left unanswered says so too; escape leaves it.
  R = RunBoardSim({"--no-pages", "--do", "answer 1; callback 0x40 0x513 changing"});
  EXPECT_EQ(R.ExitCode, EXIT_BAD_ACTION);
  EXPECT_NE(R.Err.find("the list \"Select a File System\""), std::string::npos) << R.Err;
  R = RunBoardSim({"--no-pages", "--do", "answer 1; choose escape; callback 0x40 0x513 changing"});
  EXPECT_EQ(R.ExitCode, EXIT_OK) << R.Err;
}

}  // namespace
}  // namespace boardsim
