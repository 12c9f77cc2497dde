// Armed failures of the simulated firmware's services: a test (or boardsim)
// makes a chosen service fail on its n-th call, or on every call, with a
// chosen status. A failed call returns that status and does nothing else.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "uefi/base.h"

namespace sim {

enum class FaultableService : unsigned {
  GetVariable,
  SetVariable,
  LocateProtocol,
  LocateHandleBuffer,
  HandleProtocol,
  OpenProtocol,
  HiiNewString,
  HiiGetString,
  HiiSetString,
  HiiGetLanguages,
  HiiGetSecondaryLanguages,
  Count
};

// The service's name as written above ("GetVariable", "HiiGetString"...).
const char* FaultableServiceName(FaultableService S);
// Exact names, any case.
std::optional<FaultableService> FaultableServiceByName(std::string_view Name);

class ServiceFaults {
 public:
  // N >= 1: the N-th call from now fails once (N == 0 arms nothing).
  void FailNth(FaultableService S, size_t N, EFI_STATUS Status = EFI_DEVICE_ERROR);
  void FailAlways(FaultableService S, EFI_STATUS Status = EFI_DEVICE_ERROR);
  // All armed faults off; the call counts stay.
  void Clear();
  // Calls made so far in this machine's life (failed ones included).
  size_t Calls(FaultableService S) const;
  // Failures returned so far.
  size_t Failures(FaultableService S) const;
  // The service calls this first: counts the call, returns the status to fail with.
  std::optional<EFI_STATUS> Enter(FaultableService S);
  // Called at every call before it is counted, so that FailNth(S, 1) from
  // the hook fails the call being made.
  void SetCallHook(std::function<void(FaultableService)> Hook) { CallHook_ = std::move(Hook); }

 private:
  struct Pending {
    size_t Call;  // absolute call number that fails
    EFI_STATUS Status;
  };
  struct PerService {
    size_t Calls = 0;
    size_t Failures = 0;
    std::optional<EFI_STATUS> Always;
    std::vector<Pending> Nth;
  };
  static constexpr size_t COUNT = (size_t)FaultableService::Count;
  std::array<PerService, COUNT> Services_{};
  std::function<void(FaultableService)> CallHook_;
};

}  // namespace sim
