#include "tools/boardsim/fault_spec.h"

#include "tools/boardsim/status_name.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {

namespace {
// Errors and warnings with a name; their numbers are small.
constexpr UINT64 LARGEST_NAMED_CODE = 0x40;

std::string ServiceList() {
  std::string List = "pool";
  for (unsigned S = 0; S < (unsigned)sim::FaultableService::Count; ++S)
    List += std::string(", ") + sim::FaultableServiceName((sim::FaultableService)S);
  return List;
}
}  // namespace

std::string FaultSpec::Text() const {
  std::string Out = Pool ? "pool" : sim::FaultableServiceName(Service);
  Out += ":" + (Always ? std::string("always") : std::to_string(Nth));
  if (!Pool) Out += ":" + StatusName(Status);
  return Out;
}

std::optional<EFI_STATUS> ParseStatusWord(std::string_view Word) {
  if (auto N = ParseUnsigned(Word)) return EFI_STATUS(*N);
  std::string Want = Lower(Word);
  if (Want.rfind("efi_", 0) != 0) Want = "efi_" + Want;
  for (UINT64 Code = 0; Code <= LARGEST_NAMED_CODE; ++Code)
    for (EFI_STATUS S : {EFI_STATUS(Code), EFI_STATUS(Code | EFI_ERROR_BIT)})
      if (Lower(StatusName(S)) == Want) return S;
  return std::nullopt;
}

std::optional<FaultSpec> ParseFault(std::string_view What, std::string_view When, std::string_view Status,
                                    std::string& Error) {
  FaultSpec Wanted;
  if (Lower(What) == "pool") {
    Wanted.Pool = true;
  } else if (auto S = sim::FaultableServiceByName(What)) {
    Wanted.Service = *S;
  } else {
    Error = "unknown service \"" + std::string(What) + "\" (services: " + ServiceList() + ")";
    return std::nullopt;
  }
  if (Lower(When) == "always" && !Wanted.Pool) {
    Wanted.Always = true;
  } else {
    auto N = ParseUnsigned(When);
    // A count past any run's calls would arm nothing that can happen.
    if (!N || *N < 1 || *N > 0xFFFFFFFF) {
      Error = "\"" + std::string(When) + "\": expected the call number (1 to 0xFFFFFFFF)" +
              (Wanted.Pool ? std::string() : std::string(" or always"));
      return std::nullopt;
    }
    Wanted.Nth = size_t(*N);
  }
  if (!Status.empty()) {
    if (Wanted.Pool) {
      Error = "a failed pool allocation returns EFI_OUT_OF_RESOURCES; no status is given";
      return std::nullopt;
    }
    auto S = ParseStatusWord(Status);
    if (!S) {
      Error = "unknown status \"" + std::string(Status) + "\" (a name such as EFI_NOT_FOUND, or a number)";
      return std::nullopt;
    }
    Wanted.Status = *S;
  }
  return Wanted;
}

}  // namespace boardsim
