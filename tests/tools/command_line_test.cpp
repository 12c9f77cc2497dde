#include "tools/boardsim/command_line.h"

#include <gtest/gtest.h>

#include "tools/boardsim/exit_codes.h"

namespace boardsim {
namespace {

TEST(CommandLine, DefaultsBootOnceOnTheBuiltInBoardInEnglish) {
  CommandLine L = ParseCommandLine({});
  ASSERT_FALSE(L.Error);
  EXPECT_EQ(L.Parsed.Mode, Command::Pages);
  EXPECT_EQ(L.Parsed.BoardFile, "");
  EXPECT_EQ(L.Parsed.Language, "en-US");
  EXPECT_EQ(L.Parsed.Boots, 1u);
  EXPECT_FALSE(L.Parsed.Json);
  EXPECT_FALSE(L.Parsed.Tour);
}

TEST(CommandLine, OptionsAreTakenWithTheirValues) {
  CommandLine L = ParseCommandLine({"--board", "b.json", "--lang", "de-DE", "--formset", "0x10", "--formset", "main",
                                    "--boots", "3", "--json", "--all-strings", "--no-pages"});
  ASSERT_FALSE(L.Error) << *L.Error;
  EXPECT_EQ(L.Parsed.BoardFile, "b.json");
  EXPECT_EQ(L.Parsed.Language, "de-DE");
  EXPECT_EQ(L.Parsed.FormSets, (std::vector<std::string>{"0x10", "main"}));
  EXPECT_EQ(L.Parsed.Boots, 3u);
  EXPECT_TRUE(L.Parsed.Json);
  EXPECT_TRUE(L.Parsed.AllStrings);
  EXPECT_TRUE(L.Parsed.NoPages);
}

TEST(CommandLine, ActionSourcesKeepTheirOrderAndOrigin) {
  CommandLine L = ParseCommandLine({"--do", "show main", "--script", "fan.txt", "--do", "show 0x10"});
  ASSERT_FALSE(L.Error);
  ASSERT_EQ(L.Parsed.Actions.size(), 3u);
  EXPECT_FALSE(L.Parsed.Actions[0].IsFile);
  EXPECT_EQ(L.Parsed.Actions[0].Origin, "--do 1");
  EXPECT_TRUE(L.Parsed.Actions[1].IsFile);
  EXPECT_EQ(L.Parsed.Actions[1].Text, "fan.txt");
  EXPECT_EQ(L.Parsed.Actions[2].Origin, "--do 2");
  EXPECT_EQ(L.Parsed.Actions[2].Text, "show 0x10");
}

TEST(CommandLine, UpdateIsASubcommandThatComesFirst) {
  CommandLine L = ParseCommandLine({"update", "--json"});
  ASSERT_FALSE(L.Error);
  EXPECT_EQ(L.Parsed.Mode, Command::Update);
  EXPECT_TRUE(L.Parsed.Json);

  CommandLine Late = ParseCommandLine({"--json", "update"});
  ASSERT_TRUE(Late.Error);
  EXPECT_NE(Late.Error->find("must come first"), std::string::npos);

  CommandLine WithBoots = ParseCommandLine({"update", "--boots", "2"});
  ASSERT_TRUE(WithBoots.Error);
  EXPECT_NE(WithBoots.Error->find("only --board"), std::string::npos);
  // Actions run before the lookup: the server choice is a store byte.
  CommandLine WithActions = ParseCommandLine({"update", "--do", "set NetConfigData 105 byte 1"});
  ASSERT_FALSE(WithActions.Error);
  EXPECT_EQ(WithActions.Parsed.Actions.size(), 1u);
}

TEST(CommandLine, BootCountMustBeInRange) {
  for (const char* Bad : {"0", "65", "-1", "two", ""}) {
    CommandLine L = ParseCommandLine({"--boots", Bad});
    ASSERT_TRUE(L.Error) << Bad;
    EXPECT_NE(L.Error->find("from 1 to 64"), std::string::npos) << *L.Error;
  }
  EXPECT_EQ(ParseCommandLine({"--boots", "64"}).Parsed.Boots, 64u);
  EXPECT_EQ(ParseCommandLine({"--boots", "0x2"}).Parsed.Boots, 2u);
}

TEST(CommandLine, MisuseIsNamedInTheError) {
  struct Case {
    std::vector<std::string> Args;
    const char* Expected;
  } Cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"stray"}, "unexpected argument \"stray\""},
      {{"--board"}, "--board needs a profile file"},
      {{"--lang"}, "--lang needs a language code"},
      {{"--do"}, "--do needs an action"},
      {{"--tour", "--do", "show main"}, "--tour runs its own actions"},
  };
  for (const Case& C : Cases) {
    CommandLine L = ParseCommandLine(C.Args);
    ASSERT_TRUE(L.Error) << C.Expected;
    EXPECT_NE(L.Error->find(C.Expected), std::string::npos) << *L.Error;
  }
}

TEST(CommandLine, HelpStopsParsingAndListsEveryExitCode) {
  CommandLine L = ParseCommandLine({"--help", "--bogus"});
  ASSERT_FALSE(L.Error);
  EXPECT_EQ(L.Parsed.Mode, Command::Help);
  const std::string Usage = UsageText();
  for (int Code = EXIT_OK; Code <= EXIT_NOT_LIVE; ++Code) {
    EXPECT_NE(Usage.find("  " + std::to_string(Code) + "  " + ExitCodeMeaning(Code)), std::string::npos) << Code;
  }
}

}  // namespace
}  // namespace boardsim
