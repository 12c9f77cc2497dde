// Every call of every faultable firmware service in the scenario failed once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "sim/service_faults.h"
#include "tests/sweeps/swept_board.h"

namespace sweeps {
namespace {

FaultKind FailedCall(sim::FaultableService Service) {
  return {
      [Service](sim::Machine& M, std::function<void()> AtPoint) {
        M.Faults().SetCallHook([Service, AtPoint](sim::FaultableService S) {
          if (S == Service) AtPoint();
        });
      },
      [](sim::Machine& M) { M.Faults().SetCallHook(nullptr); },
      [Service](sim::Machine& M, const FaultReached& Reached) {
        M.Faults().FailNth(Service, 1);  // the call being made
        Reached();
      },
  };
}

TEST(ServiceSweep, EveryServiceCallOfTheScenarioFailsCleanly) {
  const auto Start = std::chrono::steady_clock::now();
  const bool Verbose = std::getenv("SWEEP_VERBOSE") != nullptr;
  const std::vector<Stage> Stages = Scenario();
  SweepTally All;
  std::string PerService;
  for (unsigned I = 0; I < (unsigned)sim::FaultableService::Count; ++I) {
    const auto Service = (sim::FaultableService)I;
    const FaultKind Kind = FailedCall(Service);
    const size_t Before = All.Cases;
    for (const Stage& P : Stages) {
      const StageSweep Sweep = SweepStage(DefaultBoard(), P, Kind);
      All.Add(std::string(sim::FaultableServiceName(Service)) + ", " + P.Name, Sweep);
      if (Verbose && !Sweep.Cases.empty())
        std::fprintf(stderr, "  %s, %s: %zu calls\n", sim::FaultableServiceName(Service), P.Name.c_str(),
                     Sweep.Cases.size());
    }
    PerService += std::string(PerService.empty() ? "" : ", ") + sim::FaultableServiceName(Service) + " " +
                  std::to_string(All.Cases - Before);
  }
  const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  std::printf("service sweep: %zu stages per service, %zu calls failed one at a time (%s), %zu findings, %.1f s\n",
              Stages.size(), All.Cases, PerService.c_str(), All.Findings.size(), Seconds);
  EXPECT_GT(All.Cases, 0u);
  for (const std::string& F : All.Findings) ADD_FAILURE() << F;
}

}  // namespace
}  // namespace sweeps
