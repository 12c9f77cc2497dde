// Exit codes of boardsim; scripts rely on them, so values never change.
#pragma once

namespace boardsim {

enum ExitCode : int {
  EXIT_OK = 0,             // the run completed
  EXIT_INTERNAL = 1,       // the simulator could not do what was asked
  EXIT_USAGE = 2,          // bad command line
  EXIT_BAD_PROFILE = 3,    // the board profile could not be read or is invalid
  EXIT_BAD_ACTION = 4,     // an action does not parse or names an unknown form set, key or store
  EXIT_UPDATE_FAILED = 5,  // the update lookup returned a failure code
  EXIT_POOL_LEAK = 6,      // pool memory was still allocated when the run ended
  EXIT_NOT_LIVE = 7,       // --check-live: a driver-filled string the board should fill reads as packaged
};

// One line saying what a code means, for --help and the docs.
const char* ExitCodeMeaning(int Code);

}  // namespace boardsim
