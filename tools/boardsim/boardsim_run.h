// One boardsim run from parsed options to exit code; main() only passes
// the arguments in and the texts out, so tests run it in-process.
#pragma once

#include <string>
#include <vector>

#include "tools/boardsim/command_line.h"

namespace boardsim {

struct RunOutput {
  std::string Out;  // stdout: the report (text or JSON)
  std::string Err;  // stderr: error messages
  int ExitCode = 0;
};

RunOutput RunBoardSim(const std::vector<std::string>& Args);

// The tour's actions for a board whose Setup store holds SecondPoint at
// 0x42F: the hardware monitor page is refreshed and shown, the third point
// of the first fan curve is put below the second, then the page's callback
// is told it changed.
std::string TourScript(uint8_t SecondPoint);

}  // namespace boardsim
