// Wall-clock times of the callgrind scenarios on the default board with all
// its peers; each board is built and torn down outside the timing.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/scenarios.h"

namespace {

// One fresh board per iteration, booted Boots times before the timed step.
template <typename Prepare, typename Step>
void PerBoard(benchmark::State& State, Prepare&& Before, Step&& Timed) {
  for (auto _ : State) {
    State.PauseTiming();
    auto Board = std::make_unique<bench::ScenarioBoard>();
    const bool Ready = Before(*Board);
    State.ResumeTiming();
    const bool Ok = Ready && Timed(*Board);
    State.PauseTiming();
    if (!Ok) State.SkipWithError("the scenario did not behave as the default board expects");
    Board.reset();
    State.ResumeTiming();
    if (!Ok) break;
  }
}

void BM_FirstBoot(benchmark::State& State) {
  PerBoard(State, [](bench::ScenarioBoard&) { return true; },
           [](bench::ScenarioBoard& B) { return B.Boot(false); });
}

void BM_DeferredBoot(benchmark::State& State) {
  PerBoard(State, [](bench::ScenarioBoard& B) { return B.Boot(false); },
           [](bench::ScenarioBoard& B) { return B.Boot(true); });
}

void BM_SecureBootEnroll(benchmark::State& State) {
  PerBoard(State, [](bench::ScenarioBoard& B) { return B.Boot(false) && B.PrepareEnroll(); },
           [](bench::ScenarioBoard& B) { return B.Enroll(); });
}

// Dispatch leaves the board as it was, so one board serves every iteration.
void Dispatch(benchmark::State& State, bool Hit) {
  bench::ScenarioBoard Board;
  if (!Board.Boot(false) || !Board.RegisterFive()) {
    State.SkipWithError("the default board did not boot");
    return;
  }
  const uint16_t Key = Hit ? Board.HitKey() : bench::UNSERVED_KEY;
  for (auto _ : State) {
    EFI_STATUS Status = Board.Dispatch(bench::DISPATCH_CLASS, Key, EFI_BROWSER_ACTION_CHANGED);
    benchmark::DoNotOptimize(Status);
  }
}
void BM_DispatchHit(benchmark::State& State) { Dispatch(State, true); }
void BM_DispatchMiss(benchmark::State& State) { Dispatch(State, false); }

BENCHMARK(BM_FirstBoot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeferredBoot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DispatchHit);
BENCHMARK(BM_DispatchMiss);
BENCHMARK(BM_SecureBootEnroll)->Unit(benchmark::kMicrosecond);

}  // namespace
