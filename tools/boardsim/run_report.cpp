#include "tools/boardsim/run_report.h"

#include <cstdio>

namespace boardsim {

bool PageString::SetIn(const std::string& Language) const {
  auto Now = Text.find(Language);
  if (Now == Text.end()) {
    return false;
  }
  auto Was = PackageText.find(Language);
  return Was == PackageText.end() || Was->second != Now->second;
}

bool PageString::SetInAny() const {
  for (const auto& [Language, Value] : Text) {
    if (SetIn(Language)) {
      return true;
    }
  }
  return false;
}

std::vector<ByteChange> DiffBytes(const std::vector<uint8_t>& Before, const std::vector<uint8_t>& After) {
  std::vector<ByteChange> Changes;
  const size_t Length = Before.size() > After.size() ? Before.size() : After.size();
  for (size_t I = 0; I < Length; ++I) {
    const uint8_t Old = I < Before.size() ? Before[I] : 0;
    const uint8_t New = I < After.size() ? After[I] : 0;
    if (Old != New || (I < Before.size()) != (I < After.size())) {
      Changes.push_back(ByteChange{uint32_t(I), Old, New});
    }
  }
  return Changes;
}

const char* LoadPathName(bool Deferred) { return Deferred ? "deferred" : "immediate"; }

std::string AttributeNames(uint32_t Attributes) {
  static const struct {
    uint32_t Bit;
    const char* Name;
  } Bits[] = {{EFI_VARIABLE_NON_VOLATILE, "NV"},
              {EFI_VARIABLE_BOOTSERVICE_ACCESS, "BS"},
              {EFI_VARIABLE_RUNTIME_ACCESS, "RT"},
              {EFI_VARIABLE_HARDWARE_ERROR_RECORD, "HR"},
              {EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS, "AW"},
              {EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS, "TA"},
              {EFI_VARIABLE_APPEND_WRITE, "AP"}};
  std::string Out;
  uint32_t Rest = Attributes;
  for (const auto& B : Bits) {
    if (Attributes & B.Bit) {
      Out += Out.empty() ? "" : "+";
      Out += B.Name;
      Rest &= ~B.Bit;
    }
  }
  if (Rest != 0) {
    char Buffer[16];
    std::snprintf(Buffer, sizeof(Buffer), "0x%X", Rest);
    Out += Out.empty() ? "" : "+";
    Out += Buffer;
  }
  return Out.empty() ? "none" : Out;
}

}  // namespace boardsim
