#include "tools/boardsim/action_script.h"

#include <gtest/gtest.h>

#include "platform/form_utility.h"
#include "uefi/hii.h"

namespace boardsim {
namespace {

Action One(const std::string& Text) {
  ActionParse P = ParseAction(Text, "t");
  EXPECT_FALSE(P.Error) << P.Error->Message();
  return P.Actions.empty() ? Action{} : P.Actions.front();
}

std::string ErrorOf(const std::string& Text) {
  ActionParse P = ParseAction(Text, "t");
  EXPECT_TRUE(P.Actions.empty());
  return P.Error ? P.Error->Why : std::string("(no error)");
}

TEST(ActionScript, SetTakesStoreOffsetWidthAndValue) {
  Action A = One("set  Setup 0x430\tword 1000");
  EXPECT_EQ(A.Kind, ActionKind::Set);
  EXPECT_EQ(A.Store, "Setup");
  EXPECT_EQ(A.Offset, 0x430u);
  EXPECT_EQ(A.Width, 2u);
  EXPECT_EQ(A.Value, 1000u);
  EXPECT_EQ(A.Text, "set Setup 0x430 word 1000");
  EXPECT_EQ(One("SET NetConfigData 105 BYTE 4").Width, 1u);
  EXPECT_EQ(One("set Setup 0 dword 0xFFFFFFFF").Value, 0xFFFFFFFFu);
}

TEST(ActionScript, SetRefusesValuesThatDoNotFitTheWidth) {
  EXPECT_NE(ErrorOf("set Setup 0 byte 256").find("does not fit a byte"), std::string::npos);
  EXPECT_NE(ErrorOf("set Setup 0 word 0x10000").find("does not fit a word"), std::string::npos);
  EXPECT_NE(ErrorOf("set Setup 0 dword 0x100000000").find("does not fit a dword"), std::string::npos);
  EXPECT_NE(ErrorOf("set Setup 0 nibble 1").find("unknown width \"nibble\""), std::string::npos);
  EXPECT_NE(ErrorOf("set Setup 0x10000 byte 1").find("offset"), std::string::npos);
  EXPECT_NE(ErrorOf("set Setup 0 byte").find("expected: set STORE"), std::string::npos);
  EXPECT_NE(ErrorOf("set Setup 0 byte 1x").find("not a number"), std::string::npos);
}

TEST(ActionScript, CallbackTakesNamedOrNumberedBrowserActions) {
  Action A = One("callback hardware-monitor 0x490 changed u8:30");
  EXPECT_EQ(A.Kind, ActionKind::Callback);
  EXPECT_EQ(A.FormSet, "hardware-monitor");
  EXPECT_EQ(A.Key, 0x490);
  EXPECT_EQ(A.BrowserAction, EFI_BROWSER_ACTION_CHANGED);
  EXPECT_EQ(A.ValueType, EFI_IFR_TYPE_NUM_SIZE_8);
  EXPECT_EQ(A.CallbackValue, 30u);
  EXPECT_EQ(One("callback 0x40 0x506 changing").BrowserAction, EFI_BROWSER_ACTION_CHANGING);
  EXPECT_EQ(One("callback 0x40 0x506 form-open").BrowserAction, EFI_BROWSER_ACTION_FORM_OPEN);
  EXPECT_EQ(One("callback 0x40 0x506 default-manufacturing").BrowserAction, EFI_BROWSER_ACTION_DEFAULT_MANUFACTURING);
  EXPECT_EQ(One("callback 0x40 0x506 0x1002").BrowserAction, 0x1002u);
  EXPECT_NE(ErrorOf("callback 0x40 0x506 clicked").find("unknown browser action \"clicked\""), std::string::npos);
  EXPECT_NE(ErrorOf("callback 0x40 0x10000 changed").find("key"), std::string::npos);
}

TEST(ActionScript, CallbackValueTypes) {
  Action Default = One("callback 0x10 0x490 retrieve");
  EXPECT_EQ(Default.ValueType, EFI_IFR_TYPE_NUM_SIZE_8);
  EXPECT_EQ(Default.CallbackValue, 0u);
  // A bare number takes the smallest type that holds it.
  EXPECT_EQ(One("callback 0x10 0x490 changed 255").ValueType, EFI_IFR_TYPE_NUM_SIZE_8);
  EXPECT_EQ(One("callback 0x10 0x490 changed 256").ValueType, EFI_IFR_TYPE_NUM_SIZE_16);
  EXPECT_EQ(One("callback 0x10 0x490 changed 0x10000").ValueType, EFI_IFR_TYPE_NUM_SIZE_32);
  EXPECT_EQ(One("callback 0x10 0x490 changed 0x100000000").ValueType, EFI_IFR_TYPE_NUM_SIZE_64);
  Action Bool = One("callback 0x10 0x490 changed bool:1");
  EXPECT_EQ(Bool.ValueType, EFI_IFR_TYPE_BOOLEAN);
  EXPECT_EQ(Bool.CallbackValue, 1u);
  EXPECT_EQ(One("callback 0x10 0x490 changed U16:0xFFFF").CallbackValue, 0xFFFFu);
  EXPECT_NE(ErrorOf("callback 0x10 0x490 changed bool:2").find("does not fit bool"), std::string::npos);
  EXPECT_NE(ErrorOf("callback 0x10 0x490 changed u8:256").find("does not fit u8"), std::string::npos);
  EXPECT_NE(ErrorOf("callback 0x10 0x490 changed s8:1").find("unknown value type \"s8\""), std::string::npos);
}

TEST(ActionScript, UnknownVerbsAndEmptyTextAreRefused) {
  EXPECT_NE(ErrorOf("poke Setup 1").find("unknown action \"poke\""), std::string::npos);
  EXPECT_EQ(ErrorOf("   "), "empty action");
  EXPECT_NE(ErrorOf("show").find("expected: show FORMSET"), std::string::npos);
  EXPECT_EQ(One("Save").Kind, ActionKind::Save);
  EXPECT_EQ(ErrorOf("save Setup"), "expected: save");
}

TEST(ActionScript, FileListsNumberTheirLinesAndSkipComments) {
  const char* Script =
      "# fan curve\n"
      "set Setup 0x430 byte 30   # below the second point\n"
      "\n"
      "callback 0x10 0x490 changed u8:30; show 0x10\r\n";
  ActionParse P = ParseActionList(Script, "fan.txt", true);
  ASSERT_FALSE(P.Error) << P.Error->Message();
  ASSERT_EQ(P.Actions.size(), 3u);
  EXPECT_EQ(P.Actions[0].Origin, "fan.txt:2");
  EXPECT_EQ(P.Actions[1].Origin, "fan.txt:4 #1");
  EXPECT_EQ(P.Actions[2].Origin, "fan.txt:4 #2");
  EXPECT_EQ(P.Actions[2].Kind, ActionKind::Show);
  EXPECT_EQ(P.Actions[2].FormSet, "0x10");
}

TEST(ActionScript, TheFirstBadActionStopsTheListAndNamesItsLine) {
  ActionParse P = ParseActionList("show main\nset Setup 0 byte 300\nshow 0x10\n", "s.txt", true);
  ASSERT_TRUE(P.Error);
  EXPECT_EQ(P.Error->Message(), "s.txt:2: \"set Setup 0 byte 300\": value 300 does not fit a byte (at most 0xFF)");
}

TEST(ActionScript, InlineListsKeepTheOptionAsOrigin) {
  ActionParse P = ParseActionList("show main ; show 0x10", "--do 2", false);
  ASSERT_FALSE(P.Error);
  ASSERT_EQ(P.Actions.size(), 2u);
  EXPECT_EQ(P.Actions[0].Origin, "--do 2 #1");
  EXPECT_EQ(P.Actions[1].Origin, "--do 2 #2");
  EXPECT_EQ(ParseActionList("show main", "--do 1", false).Actions.at(0).Origin, "--do 1");
}

TEST(ActionScript, NamesReadBack) {
  EXPECT_EQ(BrowserActionName(EFI_BROWSER_ACTION_CHANGED), "changed");
  EXPECT_EQ(*ParseBrowserAction("refresh"), BROWSER_ACTION_REFRESH);
  EXPECT_EQ(BrowserActionName(0x7777), "0x7777");
  EXPECT_EQ(*ParseBrowserAction(BrowserActionName(EFI_BROWSER_ACTION_DEFAULT_FIRMWARE)),
            EFI_BROWSER_ACTION_DEFAULT_FIRMWARE);
  EXPECT_EQ(ValueTypeName(EFI_IFR_TYPE_NUM_SIZE_32), "u32");
  EXPECT_EQ(WidthName(4), "dword");
}

}  // namespace
}  // namespace boardsim

namespace boardsim {
namespace {

TEST(ActionScript, AnswersChoicesAndReadyToBoot) {
  ActionParse P = ParseAction("answer 0 1 255", "t");
  ASSERT_FALSE(P.Error);
  EXPECT_EQ(P.Actions[0].Kind, ActionKind::Answer);
  EXPECT_EQ(P.Actions[0].Numbers, (std::vector<uint64_t>{0, 1, 255}));
  P = ParseAction("choose 3", "t");
  ASSERT_FALSE(P.Error);
  EXPECT_EQ(P.Actions[0].Kind, ActionKind::Choose);
  EXPECT_EQ(P.Actions[0].Numbers, (std::vector<uint64_t>{3}));
  // An answer is one byte; a list index is any number.
  EXPECT_TRUE(ParseAction("answer 256", "t").Error);
  EXPECT_FALSE(ParseAction("choose 256", "t").Error);
  EXPECT_TRUE(ParseAction("answer", "t").Error);
  EXPECT_TRUE(ParseAction("answer yes", "t").Error);
  EXPECT_EQ(ParseAction("ready-to-boot", "t").Actions.at(0).Kind, ActionKind::ReadyToBoot);
  EXPECT_TRUE(ParseAction("ready-to-boot now", "t").Error);
}

TEST(ActionScript, TextAnswersCancelsAndReboots) {
  ActionParse P = ParseAction("text  My   Fast  profile", "t");
  ASSERT_FALSE(P.Error);
  EXPECT_EQ(P.Actions[0].Kind, ActionKind::Text);
  EXPECT_EQ(P.Actions[0].TypedText, std::optional<std::string>("My Fast profile"));
  P = ParseAction("text-cancel", "t");
  ASSERT_FALSE(P.Error);
  EXPECT_EQ(P.Actions[0].Kind, ActionKind::Text);
  EXPECT_FALSE(P.Actions[0].TypedText);
  EXPECT_EQ(ParseAction("reboot", "t").Actions.at(0).Kind, ActionKind::Reboot);
  EXPECT_TRUE(ParseAction("text", "t").Error);
  EXPECT_TRUE(ParseAction("text-cancel now", "t").Error);
  EXPECT_TRUE(ParseAction("reboot twice", "t").Error);
}

// The test bench's verbs: what each parses to, and the words each refuses.
TEST(ActionScript, BenchVerbsParseTheirNumbersStatusesAndNames) {
  Action F = One("fail HIIGETSTRING 4 not_found");
  ASSERT_EQ(F.Kind, ActionKind::Bench);
  EXPECT_EQ(F.Bench.Verb, BenchVerb::Fail);
  EXPECT_EQ(F.Bench.Fault.Service, sim::FaultableService::HiiGetString);
  EXPECT_EQ(F.Bench.Fault.Nth, 4u);
  EXPECT_EQ(F.Bench.Fault.Status, EFI_NOT_FOUND);
  EXPECT_EQ(F.Bench.Fault.Text(), "HiiGetString:4:EFI_NOT_FOUND");
  Action Always = One("fail SetVariable always 0x8000000000000008");
  EXPECT_TRUE(Always.Bench.Fault.Always);
  EXPECT_EQ(Always.Bench.Fault.Status, EFI_WRITE_PROTECTED);
  EXPECT_EQ(One("fail OpenProtocol 1").Bench.Fault.Status, EFI_DEVICE_ERROR);
  Action Pool = One("fail pool 12");
  EXPECT_TRUE(Pool.Bench.Fault.Pool);
  EXPECT_EQ(Pool.Bench.Fault.Text(), "pool:12");

  Action R = One("register 0x10 2 0x48D EFI_UNSUPPORTED");
  EXPECT_EQ(R.Bench.Verb, BenchVerb::Register);
  EXPECT_EQ(R.Bench.Class, 0x10);
  EXPECT_EQ(R.Bench.SubClass, 2);
  EXPECT_EQ(R.Bench.Key, 0x48D);
  EXPECT_EQ(R.Bench.Returns, EFI_UNSUPPORTED);
  Action P = One("port 0xCF8 dword 0x80000000");
  EXPECT_EQ(P.Bench.Address, 0xCF8u);
  EXPECT_EQ(P.Bench.Width, 4u);
  EXPECT_EQ(P.Bench.Value, 0x80000000u);
  Action H = One("hwmon 6 0x56 0x12");
  EXPECT_EQ(H.Bench.Unit, 6);
  EXPECT_EQ(H.Bench.Register, 0x56);
  EXPECT_EQ(One("msr 0x198 0xFFFFFFFFFFFFFFFF").Bench.Value, ~0ull);
  EXPECT_EQ(One("install Main-Page").Bench.Peer, "main-page");
  Action Any = One("callback-any 0x10 0x999 changed");
  EXPECT_EQ(Any.Kind, ActionKind::Callback);
  EXPECT_TRUE(Any.Unchecked);
  EXPECT_FALSE(One("callback 0x10 0x48D changed").Unchecked);

  const struct {
    const char* Text;
    const char* Why;
  } Refused[] = {
      {"fail", "expected: fail SERVICE"},
      {"fail GetVariable 0", "expected the call number"},
      {"fail GetVariable 0x100000000", "expected the call number"},
      {"fail Stall 1", "unknown service \"Stall\""},
      {"fail GetVariable 1 EFI_MAYBE", "unknown status"},
      {"fail pool always", "expected the call number"},
      {"fail pool 1 EFI_NOT_FOUND", "no status is given"},
      {"fail-clear now", "expected: fail-clear"},
      {"trigger 2", "expected: trigger"},
      {"install", "expected: install PEER"},
      {"register 0x10 0 0x10000 EFI_SUCCESS", "0x10000"},
      {"register 0x10 0 0x48D", "expected: register"},
      {"port 0x10000 byte 1", "0x10000"},
      {"port 0x80 byte 0x100", "0x100"},
      {"port 0x80 nibble 1", "unknown width"},
      {"mem 0xF0000 word 0x10000", "0x10000"},
      {"hwmon 6 0x56 0x100", "0x100"},
      {"sio 0x0B 0xF0", "expected: sio LDN"},
      {"msr 0x100000000 1", "0x100000000"},
  };
  for (const auto& C : Refused) EXPECT_NE(ErrorOf(C.Text).find(C.Why), std::string::npos) << C.Text << ": " << ErrorOf(C.Text);
}

}  // namespace
}  // namespace boardsim
