// Armed failures given on the command line or by an action: a named
// firmware service failing on its n-th call or on every call, or the n-th
// pool allocation failing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/service_faults.h"
#include "uefi/base.h"

namespace boardsim {

struct FaultSpec {
  bool Pool = false;  // the n-th pool allocation (Service is unused)
  sim::FaultableService Service = sim::FaultableService::GetVariable;
  bool Always = false;
  size_t Nth = 1;  // from 1
  EFI_STATUS Status = EFI_DEVICE_ERROR;
  std::string Text() const;  // "GetVariable:2:EFI_NOT_FOUND", "pool:3"
};

// "EFI_NOT_FOUND" (any case, the prefix optional) or a number.
std::optional<EFI_STATUS> ParseStatusWord(std::string_view Word);

// SERVICE N|always [STATUS] as separate words ("pool N" for the pool);
// the error says why it is not one.
std::optional<FaultSpec> ParseFault(std::string_view What, std::string_view When, std::string_view Status,
                                    std::string& Error);

// Arms it on the machine of the current boot.
class BoardSession;
void ArmFault(BoardSession& Session, const FaultSpec& Wanted);

}  // namespace boardsim
