// The language variables are read from the store at every start-up; a user,
// an OS or another driver may have left any bytes in them. The input gives
// each variable's presence, attributes and bytes, a read failure, and the
// number of boots; each boot of the setup driver runs on them.
//
// Input: [boots][failing variable][failure][4 x ([attributes][length][bytes ...])]
// Whatever was stored, Lang and LangCodes are only ever written with codes
// of the language table, and PlatformLang only with one terminated code.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/setupinfo_fuzz_machine.h"
#include "uefi/system_table.h"

namespace {

const char* const IsoCodes[] = {"eng", "zho", "chi", "spa", "ger", "kor", "rus", "jpn"};

bool IsIsoCode(const UINT8* Bytes) {
  for (const char* Code : IsoCodes)
    if (std::memcmp(Bytes, Code, 3) == 0) return true;
  return false;
}

struct Stored {
  const char16_t* Name;
  bool Global;
};
constexpr Stored LanguageVariables[] = {
    {u"PlatformLastLangCodes", false}, {u"PlatformLang", true}, {u"Lang", true}, {u"PlatformLastLang", false}};

constexpr EFI_STATUS Failures[] = {EFI_DEVICE_ERROR, EFI_NOT_FOUND, EFI_BUFFER_TOO_SMALL, EFI_SECURITY_VIOLATION};

void CheckWrites(sim::Machine& M) {
  for (const auto& Entry : M.Variables().SetLog()) {
    if (EFI_ERROR(Entry.Status)) continue;
    const std::vector<UINT8>& D = Entry.Data;
    if (Entry.Name == u"Lang") {
      if (D.size() != 3 || !IsIsoCode(D.data())) std::abort();
    } else if (Entry.Name == u"LangCodes") {
      if (D.empty() || D.size() % 3 != 0) std::abort();
      for (size_t I = 0; I < D.size(); I += 3)
        if (!IsIsoCode(D.data() + I)) std::abort();
    } else if (Entry.Name == u"PlatformLang") {
      if (D.empty() || D.back() != 0) std::abort();
      for (size_t I = 0; I + 1 < D.size(); ++I)
        if (D[I] == 0 || D[I] == ';') std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  const unsigned Boots = 1 + In.U8() % 3;
  const uint8_t Failing = In.U8();
  const EFI_STATUS Failure = Failures[In.U8() % 4];

  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  for (const Stored& V : LanguageVariables) {
    const uint8_t Attributes = In.U8();
    const size_t Length = In.U8() % 96;
    std::vector<UINT8> Bytes;
    for (size_t I = 0; I < Length; ++I) Bytes.push_back(In.U8());
    // Bit 7 clear: absent; the store only holds variables with some access.
    if (!(Attributes & 0x80) || Bytes.empty()) continue;
    sim::VariableProfile P;
    P.Name = V.Name;
    P.Guid = V.Global ? EFI_GLOBAL_VARIABLE_GUID : sim::SetupBrowser::SetupVariableGuid;
    P.Attributes = (Attributes & 1 ? EFI_VARIABLE_NON_VOLATILE : 0) | EFI_VARIABLE_BOOTSERVICE_ACCESS |
                   (Attributes & 4 ? EFI_VARIABLE_RUNTIME_ACCESS : 0);
    P.Data = std::move(Bytes);
    Profile.Variables.push_back(std::move(P));
  }

  SetupMachine S(Profile);
  if (Failing < 4) S.M().Variables().FailGet(LanguageVariables[Failing].Name, Failure);
  S.LoadSetupInfo();
  CheckWrites(S.M());
  for (unsigned Boot = 1; Boot < Boots; ++Boot) {
    S.M().Variables().ClearSetLog();
    S.M().Reboot();
    S.InstallTrigger();
    CheckWrites(S.M());
  }
  S.M().Variables().ClearFailures();
  return 0;
}
