// The setup driver's start-up on a first boot (form sets loaded at once) and
// on a later boot (loading deferred), and one question dispatched through
// SetupCallback with a few registered entries, on the simulated machine.
#include <benchmark/benchmark.h>

#include <memory>

#include "platform/callback_registry.h"
#include "setupinfo/core/callback_dispatch.h"
#include "setupinfo/core/language_variables.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/image_state.h"
#include "sim/machine.h"

extern "C" EFI_STATUS EFIAPI SetupInfoEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);

namespace {

const sim::ImageDescriptor IMAGE{"setupinfo", SetupInfoEntry, SetupInfoResetState};

// A fresh machine per iteration, built and torn down outside the timing.
void RunEntry(benchmark::State& State, bool LaterBoot) {
  for (auto _ : State) {
    State.PauseTiming();
    auto Machine = std::make_unique<sim::Machine>();
    if (LaterBoot)
      Machine->Variables().Put(PLATFORM_LAST_LANG_CODES_NAME, SETUP_VARIABLE_GUID, 3,
                               {'e', 'n', '-', 'U', 'S', ';', 'd', 'e', '-', 'D', 'E', 0});
    State.ResumeTiming();
    EFI_STATUS Status = Machine->LoadImage(IMAGE);
    State.PauseTiming();
    if (Status != EFI_SUCCESS) State.SkipWithError("entry point failed");
    Machine.reset();
    State.ResumeTiming();
  }
}

void BM_EntryFirstBoot(benchmark::State& State) { RunEntry(State, false); }
void BM_EntryLaterBoot(benchmark::State& State) { RunEntry(State, true); }

EFI_STATUS EFIAPI Declines(EFI_HII_HANDLE, UINT16, UINT16, UINT16) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI Answers(EFI_HII_HANDLE, UINT16, UINT16, UINT16) { return EFI_SUCCESS; }

// Registered: three entries of other questions, one that declines this one,
// and the one that answers it.
void BM_DispatchWithRegisteredEntries(benchmark::State& State) {
  sim::Machine Machine;
  if (Machine.LoadImage(IMAGE) != EFI_SUCCESS) {
    State.SkipWithError("entry point failed");
    return;
  }
  CALLBACK_REGISTRY_PROTOCOL* Registry = nullptr;
  Machine.BootServices()->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, (VOID**)&Registry);
  VOID* Tokens[5];
  Registry->RegisterItemCallback(0x10, 0, 0x0F01, Answers, &Tokens[0]);
  Registry->RegisterItemCallback(0x2, 0, 0x0F02, Answers, &Tokens[1]);
  Registry->RegisterItemCallback(0x8, 0, 0x0F03, Answers, &Tokens[2]);
  Registry->RegisterItemCallback(0x10, 0, 0x0F00, Declines, &Tokens[3]);
  Registry->RegisterItemCallback(0x10, 0, 0x0F00, Answers, &Tokens[4]);
  const auto* Instance = &CoreState().ConfigAccess[4].Protocol;  // class 0x10

  EFI_IFR_TYPE_VALUE Value{};
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_NONE;
  for (auto _ : State) {
    EFI_STATUS Status =
        SetupCallback(Instance, EFI_BROWSER_ACTION_CHANGED, 0x0F00, EFI_IFR_TYPE_NUM_SIZE_8, &Value, &Request);
    benchmark::DoNotOptimize(Status);
  }
  for (VOID* Token : Tokens) Registry->UnregisterItemCallback(Token);
}

BENCHMARK(BM_EntryFirstBoot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EntryLaterBoot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DispatchWithRegisteredEntries);

}  // namespace
