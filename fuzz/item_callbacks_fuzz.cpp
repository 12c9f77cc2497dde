// Question callbacks read the browser's copies of Setup and NetConfigData
// and the value the browser passes. The input gives both variables' bytes
// (any size, or absent), then browser edits and callbacks, each sent through
// the form set's Config Access instance as the browser does.
//
// Input: [Setup: flags, size u16][NetConfigData: flags, size u16][bytes of both ...]
//   then operations of 14 bytes: [op][class][action][key u16][type][value u64][spare]
//   op % 8: 0 edit a store byte (key = offset, value = byte), 1 save, 2 reopen, else callback
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/setupinfo_fuzz_machine.h"
#include "uefi/hii.h"

namespace {

constexpr size_t MAX_OPS = 48;
constexpr size_t MAX_STORE = 4096;

constexpr EFI_BROWSER_ACTION Actions[] = {
    EFI_BROWSER_ACTION_CHANGING,         EFI_BROWSER_ACTION_CHANGED,          EFI_BROWSER_ACTION_RETRIEVE,
    EFI_BROWSER_ACTION_FORM_OPEN,        EFI_BROWSER_ACTION_FORM_CLOSE,       EFI_BROWSER_ACTION_SUBMITTED,
    EFI_BROWSER_ACTION_DEFAULT_STANDARD, EFI_BROWSER_ACTION_DEFAULT_MANUFACTURING};

// Keys near the ones the pages answer, or anything.
uint16_t PickKey(uint16_t Raw) { return Raw & 0x8000 ? Raw : (uint16_t)(0x400 + Raw % 0x180); }

void SetVariableBytes(sim::BoardProfile& Profile, const char16_t* Name, const EFI_GUID& Guid, uint8_t Flags,
                      std::vector<UINT8> Bytes) {
  std::erase_if(Profile.Variables, [&](const sim::VariableProfile& V) { return V.Name == Name; });
  if (Flags & 1) return;  // absent
  sim::VariableProfile V;
  V.Name = Name;
  V.Guid = Guid;
  V.Attributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;
  V.Data = Bytes.empty() ? std::vector<UINT8>(1, 0) : std::move(Bytes);
  Profile.Variables.push_back(std::move(V));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  const uint8_t SetupFlags = In.U8();
  const size_t SetupSize = In.U16() % MAX_STORE;
  const uint8_t NetFlags = In.U8();
  const size_t NetSize = In.U16() % MAX_STORE;
  std::vector<UINT8> Setup, Net;
  for (size_t I = 0; I < SetupSize; ++I) Setup.push_back(In.U8());
  for (size_t I = 0; I < NetSize; ++I) Net.push_back(In.U8());

  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  SetVariableBytes(Profile, u"Setup", sim::SetupBrowser::SetupVariableGuid, SetupFlags, std::move(Setup));
  SetVariableBytes(Profile, u"NetConfigData", sim::SetupBrowser::NetConfigDataGuid, NetFlags, std::move(Net));

  SetupMachine S(Profile);
  S.LoadSetupInfo();
  S.Browser().Open();
  for (size_t Op = 0; Op < MAX_OPS && !In.Done(); ++Op) {
    const uint8_t Kind = In.U8() % 8;
    const uint16_t Class = FormSetClasses[In.U8() % 9];
    const uint8_t ActionByte = In.U8();
    const uint16_t Key = In.U16();
    const uint8_t Type = In.U8();
    EFI_IFR_TYPE_VALUE Value{};
    Value.u64 = In.U64();
    In.U8();
    if (Kind == 0) {
      std::vector<UINT8>* Store = S.Browser().StoreBytes(
          ActionByte & 1 ? u"NetConfigData" : u"Setup",
          ActionByte & 1 ? sim::SetupBrowser::NetConfigDataGuid : sim::SetupBrowser::SetupVariableGuid);
      if (Store != nullptr && !Store->empty()) (*Store)[Key % Store->size()] = (UINT8)Value.u8;
    } else if (Kind == 1) {
      S.Browser().Save();
    } else if (Kind == 2) {
      S.Browser().Close();
      S.Browser().Open();
    } else {
      if (!S.Browser().IsOpen()) S.Browser().Open();
      const EFI_BROWSER_ACTION Action = ActionByte < 0xF0 ? Actions[ActionByte % 8] : ActionByte;
      S.Browser().Callback(Class, Action, PickKey(Key), Type % 16, Value);
    }
  }
  return 0;
}
