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

// The tour's actions for a board whose first fan curve has FourthPoint and
// FifthPoint at 0x431 and 0x432: the hardware monitor page is refreshed and
// shown, the third point is raised above both, then the page's callback is
// told it changed and raises the later points.
std::string TourScript(uint8_t FourthPoint, uint8_t FifthPoint);

// The tour's profile round trip, from the Setup byte at 0x80 as it stands:
// profile 1 (the second) saved under a name, that byte changed, the profile
// loaded back and the tools page shown.
std::string ProfileTourScript(uint8_t AllCoreRatio);

// The tour's preset: row 1 of table A picked in Setup and its question sent,
// so the action shows the Setup bytes the preset wrote.
std::string PresetTourScript();

}  // namespace boardsim
