// boardsim as a test bench: faults, peers held back or left out, the
// firmware tables, registered callbacks, board registers, actions between
// boots, the logs and the update lookup's name-service faults; each seen
// through what the drivers did.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/tools/boardsim_test_support.h"

namespace boardsim {
namespace {

using nlohmann::json;

// Strings the drivers set, over every printed page.
size_t SetStringCount(const json& Run) {
  size_t Count = 0;
  for (const json& F : Run["form_sets"])
    for (const json& S : F["strings"]) Count += S["set_in"].empty() ? 0 : 1;
  return Count;
}

// en-US texts an action changed, by string ID.
std::map<int, std::string> Changed(const json& Action) {
  std::map<int, std::string> Out;
  for (const json& C : Action["string_changes"])
    if (C["language"] == "en-US") Out[C["id"]] = C["after"];
  return Out;
}

const json& Service(const json& Run, const std::string& Name) {
  for (const json& S : Run["service_calls"])
    if (S["service"] == Name) return S;
  static const json None;
  return None;
}

constexpr int FAN1 = 0x08BC, CORE_VOLTAGE = 0x08D2;
const char* const Refresh = "callback hardware-monitor 0x48D retrieve";

TEST(BenchFaults, ArmedFromTheCommandLineTheyReachTheDrivers) {
  const json Plain = RunJson({});
  ASSERT_GT(SetStringCount(Plain), 100u);
  EXPECT_FALSE(Plain.contains("service_calls"));  // only once a fault is armed

  // No packaged string changes; only those added with NewString differ.
  const json NoStrings = RunJson({"--fail", "HiiSetString:always"});
  for (const json& F : NoStrings["form_sets"])
    for (const json& S : F["strings"])
      if (!S["set_in"].empty()) EXPECT_TRUE(S["package_text"].empty()) << F["class"] << " " << S["id"];
  EXPECT_LT(SetStringCount(NoStrings), 10u);
  const json& Set = Service(NoStrings, "HiiSetString");
  EXPECT_GT(Set["calls"].get<size_t>(), 100u);
  EXPECT_EQ(Set["failures"], Set["calls"]);
  EXPECT_EQ(Service(NoStrings, "GetVariable")["failures"], 0);

  // One failed call, at the n-th: exactly one failure counted.
  const json Once = RunJson({"--no-pages", "--fail", "hiigetlanguages:3:EFI_NOT_FOUND"});
  EXPECT_EQ(Service(Once, "HiiGetLanguages")["failures"], 1);
  EXPECT_FALSE(Once["pool"]["leaked"]);
}

TEST(BenchFaults, ChosenStatusIsWhatTheCallerSees) {
  const json J = RunJson({"--no-pages", "--do", "fail SetVariable always EFI_WRITE_PROTECTED; set Setup 0x80 byte 77; save"});
  const json& Save = J["actions"][2];
  EXPECT_EQ(Save["status"]["name"], "EFI_WRITE_PROTECTED");
  EXPECT_TRUE(Save["variables_written"].empty());
  EXPECT_EQ(J["actions"][0]["kind"], "fail");
}

// Boot 2 finds no HII protocol (every LocateProtocol fails), so its loader
// waits; with the fault cleared, the trigger installed again loads the pages.
TEST(BenchFaults, ActionsOfAnEarlierBootArmWhatTheNextBootMeets) {
  const json J = RunJson({"--no-pages", "--boots", "2", "--at-boot", "1", "fail LocateProtocol always", "--do",
                          "fail-clear; trigger; trigger"});
  ASSERT_EQ(J["boots"].size(), 2u);
  EXPECT_EQ(J["boots"][0]["form_sets_published"], 9);
  EXPECT_EQ(J["boots"][1]["load_path"], "deferred");
  EXPECT_EQ(J["boots"][1]["form_sets_published"], 0);
  ASSERT_EQ(J["actions"].size(), 4u);
  EXPECT_EQ(J["actions"][0]["origin"], "--at-boot 1");
  EXPECT_EQ(J["actions"][2]["form_sets_published"], 9);
  EXPECT_FALSE(J["actions"][2]["string_changes"].empty());
  // A second trigger loads nothing more.
  EXPECT_EQ(J["actions"][3]["form_sets_published"], 9);
  EXPECT_TRUE(J["actions"][3]["string_changes"].empty());
  EXPECT_EQ(Service(J, "LocateProtocol")["failures"].get<int>(), 1);
}

// Some allocation of the first boot fails and leaves a string unset, and
// none of them leaks.
TEST(BenchFaults, PoolFailureAtBootLeavesStringsUnsetWithoutLeaks) {
  const size_t Plain = SetStringCount(RunJson({}));
  size_t Fewer = 0;
  for (int N = 10; N <= 40; N += 10) {
    const json J = RunJson({"--fail", "pool:" + std::to_string(N)});
    EXPECT_FALSE(J["pool"]["leaked"]) << N;
    Fewer += SetStringCount(J) < Plain ? 1 : 0;
  }
  EXPECT_GT(Fewer, 0u);
}

TEST(BenchFaults, MalformedFaultsAreRefused) {
  struct Case {
    std::vector<std::string> Args;
    int Exit;
  };
  const Case Cases[] = {
      {{"--fail", "GetVariables:1"}, EXIT_USAGE},
      {{"--fail", "GetVariable:0"}, EXIT_USAGE},
      {{"--fail", "GetVariable"}, EXIT_USAGE},
      {{"--fail", "GetVariable:1:EFI_NO_SUCH"}, EXIT_USAGE},
      {{"--fail", "pool:always"}, EXIT_USAGE},
      {{"--fail", "pool:2:EFI_NOT_FOUND"}, EXIT_USAGE},
      {{"--fail", "GetVariable:1:2:3"}, EXIT_USAGE},
      {{"--at-boot", "3", "save"}, EXIT_USAGE},  // one boot only
      {{"--do", "fail GetVariable"}, EXIT_BAD_ACTION},
      {{"--do", "fail pool always"}, EXIT_BAD_ACTION},
      {{"--do", "mem 0x1000 byte 1"}, EXIT_BAD_ACTION},  // memory the board does not model
      {{"--do", "mem 0xFED17FFE dword 1"}, EXIT_BAD_ACTION},  // runs past the MCH BAR
      {{"--do", "hwmon 6 0x100 1"}, EXIT_BAD_ACTION},
      {{"--do", "register 0x10 0 0x48D EFI_BOGUS"}, EXIT_BAD_ACTION},
  };
  for (const Case& C : Cases) {
    RunOutput R = RunBoardSim(C.Args);
    EXPECT_EQ(R.ExitCode, C.Exit) << C.Args.back();
    EXPECT_EQ(R.Err.rfind("boardsim: ", 0), 0u) << C.Args.back();
  }
}

// ---- peers ----------------------------------------------------------------

TEST(BenchPeers, HeldPeerArrivesLateAndReachesTheArrivalNotification) {
  const std::string Held = ProfileFile("bench_held_processor.json", [](json& P) {
    P["peers"]["onAction"] = {"processor", "main-page"};
  });
  const json J = RunJson({"--no-pages", "--board", Held, "--do",
                          "install processor; install main-page; install processor; reboot; install processor"});
  EXPECT_EQ(J["actions"][0]["status"]["name"], "EFI_SUCCESS");
  EXPECT_GT(J["actions"][0]["string_changes"].size(), 5u);
  EXPECT_FALSE(J["actions"][1]["string_changes"].empty());
  EXPECT_EQ(J["actions"][2]["status"]["name"], "EFI_ALREADY_STARTED");
  // Held again in the next boot, and installed again by the action.
  EXPECT_EQ(J["actions"][4]["status"]["name"], "EFI_SUCCESS");
  EXPECT_GT(J["actions"][4]["string_changes"].size(), 5u);

  const std::string Absent = ProfileFile("bench_absent_processor.json", [](json& P) {
    P["peers"]["absent"] = {"processor"};
  });
  EXPECT_LT(SetStringCount(RunJson({"--board", Absent})), SetStringCount(RunJson({})));
  EXPECT_EQ(RunBoardSim({"--board", Absent, "--do", "install processor"}).ExitCode, EXIT_BAD_ACTION);
}

// Every peer can be held back and installed by the action; all held at
// once, the drivers boot with none of them and meet each as it comes.
TEST(BenchPeers, EveryPeerCanWaitForTheAction) {
  const std::vector<std::string>& Peers = sim::BoardPeerNames();
  const std::string File = ProfileFile("bench_held_all.json", [&](json& P) { P["peers"]["onAction"] = Peers; });
  std::string Script;
  for (const std::string& Peer : Peers) Script += "install " + Peer + "; ";
  const json J = RunJson({"--no-pages", "--board", File, "--do", Script});
  ASSERT_EQ(J["actions"].size(), Peers.size());
  for (size_t I = 0; I < Peers.size(); ++I)
    EXPECT_EQ(J["actions"][I]["status"]["name"], "EFI_SUCCESS") << Peers[I];
  EXPECT_FALSE(J["pool"]["leaked"]);
  EXPECT_TRUE(J["pool"]["misuse"].empty());
  // None of them at all: the tour still runs through, and nothing leaks.
  const std::string None = ProfileFile("bench_absent_all.json", [&](json& P) { P["peers"]["absent"] = Peers; });
  const json Bare = RunJson({"--tour", "--board", None});
  EXPECT_FALSE(Bare["pool"]["leaked"]);
  EXPECT_TRUE(Bare["pool"]["misuse"].empty());
  EXPECT_EQ(RunBoardSim({"--do", "install usb"}).ExitCode, EXIT_BAD_ACTION);  // not held
  EXPECT_EQ(RunBoardSim({"--do", "install gpu"}).ExitCode, EXIT_BAD_ACTION);
  const std::string Twice = ProfileFile("bench_peer_twice.json", [](json& P) {
    P["peers"] = {{"absent", {"usb"}}, {"onAction", {"usb"}}};
  });
  EXPECT_EQ(RunBoardSim({"--board", Twice}).ExitCode, EXIT_BAD_PROFILE);
  const std::string Unknown = ProfileFile("bench_peer_unknown.json", [](json& P) { P["peers"]["absent"] = {"gpu"}; });
  EXPECT_EQ(RunBoardSim({"--board", Unknown}).ExitCode, EXIT_BAD_PROFILE);
}

// ---- firmware tables -------------------------------------------------------

TEST(BenchFirmware, NullVendorAndNoDxeTableShowOnTheMainPage) {
  auto Texts = [](const json& Run) {
    std::map<int, std::string> Out;
    for (const json& S : FindClass(Run["form_sets"], 1)->at("strings"))
      if (!S["set_in"].empty()) Out[S["id"]] = S["text"]["en-US"];
    return Out;
  };
  const auto Plain = Texts(RunJson({"--formset", "main"}));
  int Vendor = 0, Revisions = 0;
  for (const auto& [Id, Text] : Plain) {
    if (Text == "Board Firmware") Vendor = Id;
    if (Text.rfind("UEFI ", 0) == 0) Revisions = Id;
  }
  ASSERT_NE(Vendor, 0);
  ASSERT_NE(Revisions, 0);
  ASSERT_NE(Plain.at(Revisions).find("PI"), std::string::npos);

  const std::string Bare = ProfileFile("bench_bare_tables.json", [](json& P) {
    P["firmware"]["nullVendor"] = true;
    P["firmware"]["dxeServicesTable"] = false;
  });
  const auto Changed = Texts(RunJson({"--formset", "main", "--board", Bare}));
  EXPECT_NE(Changed.at(Vendor), "Board Firmware");
  EXPECT_FALSE(Changed.at(Vendor).empty());
  EXPECT_EQ(Changed.at(Revisions).find("PI"), std::string::npos);
}

// ---- callbacks -------------------------------------------------------------

// A registered callback is called before the static one; the static one
// runs only when the registered one declines.
TEST(BenchCallbacks, RegisteredCallbackComesFirstAndDeclinesWithUnsupported) {
  const struct {
    const char* Returns;
    bool StaticRuns;
  } Cases[] = {{"EFI_UNSUPPORTED", true}, {"EFI_SUCCESS", false}, {"EFI_DEVICE_ERROR", false}};
  for (const auto& C : Cases) {
    const json J = RunJson({"--no-pages", "--do", std::string("register 0x10 0 0x48D ") + C.Returns + "; " + Refresh});
    EXPECT_EQ(J["actions"][0]["status"]["name"], "EFI_SUCCESS");
    const json& Callback = J["actions"][1];
    ASSERT_EQ(Callback["registered_calls"].size(), 1u) << C.Returns;
    EXPECT_EQ(Callback["registered_calls"][0]["key"], 0x48D);
    EXPECT_EQ(Callback["registered_calls"][0]["returned"]["name"], C.Returns);
    EXPECT_EQ(Changed(Callback).count(FAN1) == 1, C.StaticRuns) << C.Returns;
  }
  // Registered for another key: not called.
  const json Other = RunJson({"--no-pages", "--do", std::string("register 0x10 0 0x48E EFI_SUCCESS; ") + Refresh});
  EXPECT_FALSE(Other["actions"][1].contains("registered_calls"));
  EXPECT_EQ(Changed(Other["actions"][1]).count(FAN1), 1u);
}

TEST(BenchCallbacks, UnservedKeySentAnywayShowsTheDispatchersStatus) {
  EXPECT_EQ(RunBoardSim({"--do", "callback hardware-monitor 0x999 changed"}).ExitCode, EXIT_BAD_ACTION);
  const json J = RunJson({"--no-pages", "--do", "callback-any hardware-monitor 0x999 changed"});
  EXPECT_EQ(J["actions"][0]["kind"], "callback");
  EXPECT_EQ(J["actions"][0]["unchecked"], true);
  EXPECT_EQ(J["actions"][0]["status"]["name"], "EFI_NOT_FOUND");
  // A registration makes the key served.
  const json Served = RunJson({"--no-pages", "--do", "register 0x10 0 0x999 EFI_SUCCESS; callback-any 0x10 0x999 changed"});
  EXPECT_EQ(Served["actions"][1]["status"]["name"], "EFI_SUCCESS");
  EXPECT_EQ(Served["actions"][1]["registered_calls"].size(), 1u);
}

// ---- board registers -------------------------------------------------------

TEST(BenchRegisters, ChangedRegistersShowAtTheNextRefresh) {
  const std::map<int, std::string> Plain = Changed(RunJson({"--no-pages", "--do", Refresh})["actions"][0]);
  const struct {
    const char* Writes;
    int Id;
    const char* Text;
  } Cases[] = {
      {"hwmon 6 0x56 0x12; hwmon 6 0x57 0x34", FAN1, ": 4660 RPM"},
      // The same fan through the monitor's index and data ports: bank 6, register 0x56.
      {"port 0x295 byte 0x4E; port 0x296 byte 6; port 0x295 byte 0x56; port 0x296 byte 0x22", FAN1, ""},
      {"msr 0x198 0x0000200000000000", CORE_VOLTAGE, ": +1.000 V"},
  };
  for (const auto& C : Cases) {
    const json J = RunJson({"--no-pages", "--do", std::string(C.Writes) + "; " + Refresh});
    const auto Now = Changed(J["actions"].back());
    ASSERT_EQ(Now.count(C.Id), 1u) << C.Writes;
    EXPECT_NE(Now.at(C.Id), Plain.at(C.Id)) << C.Writes;
    if (*C.Text) EXPECT_EQ(Now.at(C.Id), C.Text) << C.Writes;
  }
}

// ---- logs ------------------------------------------------------------------

TEST(BenchLogs, EveryStringWriteAndPortAccessIsListedOnlyWhenAsked) {
  const json Plain = RunJson({"--no-pages"});
  EXPECT_FALSE(Plain.contains("string_writes"));
  EXPECT_FALSE(Plain.contains("port_accesses"));

  // Refreshing twice writes the same texts again: logged though nothing changes.
  const json J = RunJson({"--no-pages", "--log-strings", "--log-ports", "--boots", "2", "--do", std::string(Refresh) + "; " + Refresh});
  EXPECT_TRUE(J["actions"][1]["string_changes"].empty());
  size_t Fan = 0, Boot2 = 0;
  for (const json& W : J["string_writes"]) {
    if (W["call"] == "SetString" && W["class"] == 0x10 && W["id"] == FAN1 && W["boot"] == 2) ++Fan;
    Boot2 += W["boot"] == 2 ? 1 : 0;
  }
  EXPECT_GE(Fan, 2u);
  EXPECT_GT(Boot2, 0u);
  EXPECT_GT(J["string_writes"].size(), Boot2);  // boot 1 too
  size_t MonitorIndex = 0, FirstBoot = 0;
  for (const json& P : J["port_accesses"]) {
    MonitorIndex += P["port"] == 0x295 && P["write"] == true ? 1 : 0;
    FirstBoot += P["boot"] == 1 ? 1 : 0;
  }
  EXPECT_GT(MonitorIndex, 0u);
  EXPECT_GT(FirstBoot, 0u);
}

// ---- update lookup ---------------------------------------------------------

TEST(BenchUpdate, NameServiceAndTransportFaultsGiveTheirResults) {
  const struct {
    const char* What;
    json Fields;
    uint64_t Result;
  } Cases[] = {
      {"query not built", {{"queryStatus", "0x8000000000000007"}}, 105},
      {"exchange failed", {{"exchangeStatus", "0x8000000000000007"}}, 106},
      {"exchange collected nothing", {{"exchangeStatus", 0}}, 109},
      {"answer without a buffer", {{"answerWithoutBuffer", true}}, 106},
      {"parse failed, name left", {{"parseStatus", "0x800000000000000E"}, {"parseName", "half"}}, 107},
      {"parse failed, no name", {{"parseStatus", "0x800000000000000E"}}, 108},
      {"parse warning", {{"parseStatus", 4}}, 4},
      {"reply handed over on error", {{"transportStatus", "0x8000000000000007"}, {"replyOnTransportError", true}}, 101},
  };
  for (const auto& C : Cases) {
    const std::string File = ProfileFile("bench_update.json", [&](json& P) { P["update"].update(C.Fields); });
    const json J = RunJson({"update", "--board", File}, C.Result == 4 ? EXIT_OK : EXIT_UPDATE_FAILED);
    EXPECT_EQ(J["update"]["result"], C.Result) << C.What;
    EXPECT_FALSE(J["pool"]["leaked"]) << C.What;
  }
  const std::string Long = ProfileFile("bench_update_long.json", [](json& P) {
    P["update"]["parseName"] = std::string(64, 'a');
  });
  EXPECT_EQ(RunBoardSim({"update", "--board", Long}).ExitCode, EXIT_BAD_PROFILE);
}

}  // namespace
}  // namespace boardsim
