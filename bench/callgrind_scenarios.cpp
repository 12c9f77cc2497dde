// Runs each scenario once on the default board and, under callgrind, dumps
// its counts under the scenario's name. Collection is meant to be toggled
// by the driver's entry points (bench/callgrind.sh), so the board's own
// set-up between scenarios is never counted. Without valgrind the client
// requests do nothing and the program checks only that every scenario
// still behaves. --callbacks adds every static row, changing and changed.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/scenarios.h"

namespace {

int Failures = 0;

void Measured(const char* Name, bool Ok) {
  CALLGRIND_DUMP_STATS_AT(Name);
  if (!Ok) {
    std::fprintf(stderr, "callgrind_scenarios: %s did not behave as the default board expects\n", Name);
    ++Failures;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool Callbacks = argc > 1 && std::strcmp(argv[1], "--callbacks") == 0;
  bench::ScenarioBoard Board;

  CALLGRIND_ZERO_STATS;
  Measured("first-boot", Board.Boot(false));
  CALLGRIND_ZERO_STATS;
  Measured("deferred-boot", Board.Boot(true));

  const bool Registered = Board.RegisterFive();
  // The first callback locates the registry protocol; later ones do not.
  Board.Dispatch(bench::DISPATCH_CLASS, bench::UNSERVED_KEY, EFI_BROWSER_ACTION_CHANGED);
  CALLGRIND_ZERO_STATS;
  EFI_STATUS Hit = Board.Dispatch(bench::DISPATCH_CLASS, Board.HitKey(), EFI_BROWSER_ACTION_CHANGED);
  Measured("dispatch-hit", Registered && Hit == EFI_SUCCESS);
  CALLGRIND_ZERO_STATS;
  EFI_STATUS Miss = Board.Dispatch(bench::DISPATCH_CLASS, bench::UNSERVED_KEY, EFI_BROWSER_ACTION_CHANGED);
  // Registered entries exist, so a key nobody serves ends with success.
  Measured("dispatch-miss", Registered && Miss == EFI_SUCCESS);
  Board.UnregisterAll();

  const bool Prepared = Board.PrepareEnroll();
  CALLGRIND_ZERO_STATS;
  Measured("secure-boot-enroll", Prepared && Board.Enroll());

  if (Callbacks) {
    for (const std::string& Target : bench::StaticRowTargets()) {
      for (const char* Action : {"changing", "changed"}) {
        const std::string Name = "callback " + Target + " " + Action;
        CALLGRIND_ZERO_STATS;
        // A box left unanswered ends the action early; it is still counted.
        Board.Run("callback " + Name.substr(9));
        CALLGRIND_DUMP_STATS_AT(Name.c_str());
      }
    }
  }
  return Failures == 0 ? 0 : 1;
}
