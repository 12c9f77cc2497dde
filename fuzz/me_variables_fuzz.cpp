// The management engine's variables and Setup as the page reads them: any
// size and content, each one present or absent. The driver loads on the
// default board with them; a read past a buffer, pool damage or a leak is a
// finding of the machine.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/management_engine.h"
#include "platform/setup_variable.h"
#include "setupinfo_fuzz_machine.h"

namespace {

struct STORED {
  const char16_t* Name;
  const EFI_GUID* Guid;
};
const STORED MeVariables[] = {
    {u"MeInfoSetup", &ME_INFO_SETUP::Guid},
    {u"PttInfoVariable", &PTT_INFO_VARIABLE::Guid},
    {u"Setup", &SETUP_VARIABLE_GUID},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  for (const STORED& V : MeVariables) {
    const uint16_t Length = In.U16();
    // Bit 15 set: absent. Lengths reach past every read size.
    std::erase_if(Profile.Variables, [&](const sim::VariableProfile& P) { return P.Name == V.Name && P.Guid == *V.Guid; });
    if (Length & 0x8000) continue;
    std::vector<UINT8> Bytes;
    for (size_t I = 0; I < (Length & 0x7FF); ++I) Bytes.push_back(In.U8());
    if (Bytes.empty()) continue;
    sim::VariableProfile P;
    P.Name = V.Name;
    P.Guid = *V.Guid;
    P.Attributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;
    P.Data = std::move(Bytes);
    Profile.Variables.push_back(std::move(P));
  }
  SetupMachine S(Profile);
  S.LoadSetupInfo();
  return 0;
}
