// The boardsim command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/boardsim/fault_spec.h"

namespace boardsim {

enum class Command { Pages, Update, Help };

// Where scripted actions come from, in the order given.
struct ActionSource {
  bool IsFile = false;
  std::string Text;  // the --do text, or the script's path
  std::string Origin;
  unsigned AtBoot = 0;  // --at-boot K: once boot K is up; 0: after the last boot
};

struct Options {
  Command Mode = Command::Pages;
  std::string BoardFile;  // empty: the built-in default board
  std::string Language = "en-US";
  std::vector<std::string> FormSets;  // page filter, as typed; empty: all nine
  bool AllStrings = false;
  bool Prompts = false;
  bool NoPages = false;
  std::vector<ActionSource> Actions;
  unsigned Boots = 1;
  bool Json = false;
  bool Tour = false;
  // --check-live: report the driver-filled strings still as packaged.
  bool CheckLive = false;
  std::string LiveAllowFile;  // the board's strings allowed to stay, and why
  // Test bench: faults armed before the first boot, and the logs.
  std::vector<FaultSpec> Faults;
  bool LogStrings = false;
  bool LogPorts = false;
};

constexpr unsigned MAX_BOOTS = 64;

struct CommandLine {
  Options Parsed;
  std::optional<std::string> Error;  // set when the command line is unusable
};

// Arguments without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& Args);

std::string UsageText();

}  // namespace boardsim
