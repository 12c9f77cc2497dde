// boardsim: the setup drivers on a simulated board.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/boardsim/boardsim_run.h"
#include "tools/boardsim/exit_codes.h"

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  try {
    boardsim::RunOutput Output = boardsim::RunBoardSim(Args);
    std::fwrite(Output.Out.data(), 1, Output.Out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(Output.Err.data(), 1, Output.Err.size(), stderr);
    return Output.ExitCode;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "boardsim: internal error: %s\n", E.what());
    return boardsim::EXIT_INTERNAL;
  }
}
