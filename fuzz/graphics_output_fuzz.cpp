// The stored choice of display output and the graphics driver's names as
// the graphics output page meets them: OrvGopOutputDp and the chosen
// output's ChildHandleDpVar of any size and content (truncated, looping,
// without an end node), and component names and supported-language lists of
// any length. The page loads with them and the output-select question runs;
// a read past a buffer, pool damage or a leak is a finding of the machine.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics_output.h"
#include "platform/setup_variable.h"
#include "setupinfo_fuzz_machine.h"
#include "sim/peers/graphics_peers.h"

namespace {

struct STACK {
  sim::GraphicsProfile Profile;
  sim::Board* Board = nullptr;
  std::unique_ptr<sim::GraphicsPeers> Peers;
};
STACK* Stack = nullptr;

EFI_STATUS EFIAPI StackEntry(EFI_HANDLE, EFI_SYSTEM_TABLE* SystemTable) {
  Stack->Peers = std::make_unique<sim::GraphicsPeers>(Stack->Profile, *Stack->Board);
  return Stack->Peers->Install(SystemTable->BootServices);
}

std::vector<UINT8> Take(FuzzReader& In, size_t Length) {
  std::vector<UINT8> Bytes;
  for (size_t I = 0; I < Length && !In.Done(); ++I) Bytes.push_back(In.U8());
  return Bytes;
}

std::u16string Wide(const std::string& Text) { return std::u16string(Text.begin(), Text.end()); }

// Any 8-bit text without NULs; its length reaches far past the page's name buffer.
std::string Text(FuzzReader& In) {
  std::string S;
  for (UINT8 B : Take(In, In.U16() & 0x3FF)) S += B == 0 ? '?' : (char)B;
  return S;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  STACK Local;
  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  Local.Profile = Profile.Graphics;
  auto& Controller = Local.Profile.Controllers.at(0);
  Controller.Driver.Languages2 = Text(In);
  Controller.Driver.Names = {{"en-US", Wide(Text(In))}};
  Controller.Outputs.at(0).Name.Names = {{"en-US", Wide(Text(In))}};
  Controller.Outputs.at(1).Via = In.U8() % 12;

  struct STORED {
    std::u16string Name;
    std::vector<UINT8> Bytes;
    bool Present;
  };
  const UINT8 Index = In.U8();
  std::vector<STORED> Stored;
  for (const char16_t* Name : {u"OrvGopOutputDp", u"ChildHandleDpVar0"}) {
    const UINT16 Length = In.U16();
    Stored.push_back({Name, Take(In, Length & 0x7FF), (Length & 0x8000) == 0});
  }

  {
    SetupMachine S(Profile);
    Local.Board = &S.M().Board();
    Stack = &Local;
    S.M().LoadImage({"graphics-stack", StackEntry, nullptr});
    for (const STORED& V : Stored)
      if (V.Present && !V.Bytes.empty())
        S.M().Variables().Put(V.Name, GOP_OUTPUT_VARIABLE_GUID, GOP_OUTPUT_DP_ATTRIBUTES, V.Bytes);
    S.LoadSetupInfo();
    // The page load rewrote ChildHandleDpVar0; the fuzzed one comes back for the question.
    if (Stored[1].Present && !Stored[1].Bytes.empty())
      S.M().Variables().Put(Stored[1].Name, GOP_OUTPUT_VARIABLE_GUID, GOP_VOLATILE_ATTRIBUTES, Stored[1].Bytes);
    S.Browser().AddStore(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID);
    if (S.Browser().Open() == EFI_SUCCESS) {
      if (std::vector<UINT8>* Setup = S.Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID))
        if (Setup->size() > 0x469) (*Setup)[0x469] = Index;
      EFI_IFR_TYPE_VALUE Value{};
      S.Browser().Callback(0x4, EFI_BROWSER_ACTION_CHANGED, 0x4F3, EFI_IFR_TYPE_NUM_SIZE_8, Value);
    }
  }
  Stack = nullptr;
  return 0;
}
