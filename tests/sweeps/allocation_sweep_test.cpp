// Every pool allocation of the scenario failed in turn.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "sim/pool.h"
#include "tests/sweeps/swept_board.h"

namespace sweeps {
namespace {

const FaultKind PoolAllocation = {
    [](sim::Machine& M, std::function<void()> AtPoint) { M.Pool().SetAttemptHook(std::move(AtPoint)); },
    [](sim::Machine& M) { M.Pool().SetAttemptHook(nullptr); },
    [](sim::Machine& M, const FaultReached& Reached) {
      M.Pool().SetFailureObserver(Reached);
      M.Pool().FailAllocationAfter(0);
    },
};

TEST(AllocationSweep, EveryAllocationOfTheScenarioFailsCleanly) {
  const auto Start = std::chrono::steady_clock::now();
  const bool Verbose = std::getenv("SWEEP_VERBOSE") != nullptr;
  SweepTally Tally;
  for (const Stage& P : Scenario()) {
    const auto StageStart = std::chrono::steady_clock::now();
    const StageSweep Sweep = SweepStage(DefaultBoard(), P, PoolAllocation);
    Tally.Add(P.Name, Sweep);
    if (Verbose)
      std::fprintf(stderr, "  %s: %zu allocations, %.2f s\n", P.Name.c_str(), Sweep.Cases.size(),
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - StageStart).count());
  }
  const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  std::printf("allocation sweep: %zu stages, %zu allocations failed one at a time, %zu findings, %.1f s\n", Tally.Stages,
              Tally.Cases, Tally.Findings.size(), Seconds);
  EXPECT_GT(Tally.Cases, 0u);
  for (const std::string& F : Tally.Findings) ADD_FAILURE() << F;
}

}  // namespace
}  // namespace sweeps
