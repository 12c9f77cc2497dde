// The simulator's HII database parses package lists byte by byte; whatever
// it accepts must rebuild into a list that parses to the same strings.
#include <cstddef>
#include <cstdint>

#include "sim/hii/hii_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  sim::HiiPackageList First;
  if (EFI_ERROR(sim::ParsePackageList(Data, Size, First))) return 0;
  std::vector<UINT8> Rebuilt = sim::BuildPackageList(First);
  sim::HiiPackageList Second;
  if (EFI_ERROR(sim::ParsePackageList(Rebuilt.data(), Rebuilt.size(), Second))) __builtin_trap();
  if (Second.StringPackages.size() != First.StringPackages.size()) __builtin_trap();
  for (size_t i = 0; i < First.StringPackages.size(); ++i)
    if (Second.StringPackages[i].Strings != First.StringPackages[i].Strings) __builtin_trap();
  return 0;
}
