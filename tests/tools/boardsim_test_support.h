// Whole boardsim runs for tests: the JSON document of a run, and edited
// copies of the built-in profile as files.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/board_profile.h"
#include "tools/boardsim/boardsim_run.h"
#include "tools/boardsim/exit_codes.h"

namespace boardsim {

inline nlohmann::json RunJson(std::vector<std::string> Args, int ExpectedExit = EXIT_OK) {
  Args.push_back("--json");
  RunOutput R = RunBoardSim(Args);
  EXPECT_EQ(R.ExitCode, ExpectedExit) << R.Err;
  return nlohmann::json::parse(R.Out);
}

// A copy of the built-in profile with Edit applied, as a file.
inline std::string ProfileFile(const std::string& Name, const std::function<void(nlohmann::json&)>& Edit) {
  nlohmann::json Profile = nlohmann::json::parse(sim::DefaultBoardProfileText());
  Edit(Profile);
  const std::string Path = testing::TempDir() + Name;
  std::ofstream(Path) << Profile.dump(2);
  return Path;
}

inline const nlohmann::json* FindClass(const nlohmann::json& FormSets, int Class) {
  for (const nlohmann::json& F : FormSets) {
    if (F["class"] == Class) {
      return &F;
    }
  }
  return nullptr;
}

}  // namespace boardsim
