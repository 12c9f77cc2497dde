#include "sim/service_faults.h"

#include <cctype>

namespace sim {

namespace {
constexpr const char* NAMES[] = {
    "GetVariable",  "SetVariable",  "LocateProtocol", "LocateHandleBuffer", "HandleProtocol",          "OpenProtocol",
    "HiiNewString", "HiiGetString", "HiiSetString",   "HiiGetLanguages",    "HiiGetSecondaryLanguages"};
static_assert(sizeof NAMES / sizeof NAMES[0] == (size_t)FaultableService::Count);

bool SameIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (std::tolower((unsigned char)A[I]) != std::tolower((unsigned char)B[I])) return false;
  return true;
}
}  // namespace

const char* FaultableServiceName(FaultableService S) {
  return (size_t)S < (size_t)FaultableService::Count ? NAMES[(size_t)S] : "";
}

std::optional<FaultableService> FaultableServiceByName(std::string_view Name) {
  for (size_t I = 0; I < (size_t)FaultableService::Count; ++I)
    if (SameIgnoringCase(Name, NAMES[I])) return (FaultableService)I;
  return std::nullopt;
}

void ServiceFaults::FailNth(FaultableService S, size_t N, EFI_STATUS Status) {
  if ((size_t)S >= COUNT || N == 0) return;
  auto& P = Services_[(size_t)S];
  P.Nth.push_back(Pending{P.Calls + N, Status});
}

void ServiceFaults::FailAlways(FaultableService S, EFI_STATUS Status) {
  if ((size_t)S < COUNT) Services_[(size_t)S].Always = Status;
}

void ServiceFaults::Clear() {
  for (auto& P : Services_) {
    P.Always.reset();
    P.Nth.clear();
  }
}

size_t ServiceFaults::Calls(FaultableService S) const { return (size_t)S < COUNT ? Services_[(size_t)S].Calls : 0; }

size_t ServiceFaults::Failures(FaultableService S) const {
  return (size_t)S < COUNT ? Services_[(size_t)S].Failures : 0;
}

std::optional<EFI_STATUS> ServiceFaults::Enter(FaultableService S) {
  if ((size_t)S >= COUNT) return std::nullopt;
  if (CallHook_) CallHook_(S);
  auto& P = Services_[(size_t)S];
  ++P.Calls;
  std::optional<EFI_STATUS> Fail;
  // A one-shot fault due now is used up and its status wins over an always-fault's.
  for (size_t I = 0; I < P.Nth.size();)
    if (P.Nth[I].Call == P.Calls) {
      if (!Fail) Fail = P.Nth[I].Status;
      P.Nth.erase(P.Nth.begin() + I);
    } else {
      ++I;
    }
  if (!Fail && P.Always) Fail = P.Always;
  if (Fail) ++P.Failures;
  return Fail;
}

}  // namespace sim
