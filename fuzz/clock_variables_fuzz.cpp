// The clock page's outside input: IccPersistentData, AfterReadyToBoot and the
// browser's IccAdvancedSetupDataVar of any size and content, and the clock
// driver's capability and settings records with any values. A run refreshes,
// chooses, types and applies in the order the input gives, then signals ready
// to boot; a read past a buffer, pool damage or a leak is a finding of the
// machine.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/clock_control.h"
#include "setupinfo/pages/platform/clock_control.h"
#include "setupinfo_fuzz_machine.h"
#include "sim/peers/clock_peers.h"
#include "sim/peers/message_box_peer.h"

namespace {

std::vector<UINT8> Bytes(FuzzReader& In, size_t Max) {
  const size_t Length = In.U8() % (Max + 1);
  std::vector<UINT8> Out;
  for (size_t I = 0; I < Length; ++I) Out.push_back(In.U8());
  return Out;
}

void PutOrLeave(sim::Machine& M, const CHAR16* Name, const EFI_GUID& Guid, FuzzReader& In, size_t Max) {
  // A first byte with bit 7 set: the variable is absent.
  if (In.U8() & 0x80) return;
  M.Variables().Put(Name, Guid, 7, Bytes(In, Max));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  SetupMachine S;
  PutOrLeave(S.M(), ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID, In, 3);
  PutOrLeave(S.M(), AFTER_READY_TO_BOOT_NAME, ICC_SETUP_DATA_GUID, In, 3);
  PutOrLeave(S.M(), ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID, In, 2 * sizeof(ICC_ADVANCED_SETUP_DATA));

  sim::ClockControlPeer Clocks;
  Clocks.Version = {In.U16(), In.U16(), In.U16(), In.U16()};
  for (sim::ClockOutput& Out : Clocks.Clocks) {
    Out.Capabilities.MinFrequency = In.U32();
    Out.Capabilities.MaxFrequency = In.U32();
    Out.Capabilities.SpreadChange = In.U8();
    Out.Capabilities.UpAllowed = In.U8();
    Out.Capabilities.CenterAllowed = In.U8();
    Out.Capabilities.DownAllowed = In.U8();
    Out.Capabilities.MaxSpread = In.U8();
    Out.Capabilities.UsageMask = In.U16();
    Out.Settings.Frequency = In.U32();
    Out.Settings.SpreadMode = In.U32();
    Out.Settings.Spread = In.U8();
    Out.StepHz = In.U32() | 1;
  }
  const uint8_t Failures = In.U8();
  Clocks.InfoLibStatus = Failures & 1 ? In.U8() : 0;
  Clocks.SettingsLibStatus = Failures & 2 ? In.U8() : 0;
  Clocks.SetLibStatusA = Failures & 4 ? In.U8() : 0;
  Clocks.SetLibStatusB = Failures & 8 ? In.U8() : 0;
  Clocks.ResolveLibStatus = Failures & 16 ? In.U8() : 0;
  sim::MessageBoxPeer Boxes;
  for (int I = 0; I < 4; ++I) Boxes.Answers.push_back(In.U8());

  EFI_BOOT_SERVICES* Bs = S.M().BootServices();
  if (!(Failures & 32)) Clocks.Install(Bs);
  Boxes.Install(Bs);
  sim::BootPhasePeer Phase;
  Phase.SetAfterReadyToBoot(Failures & 64);
  Phase.Install(Bs);
  S.LoadSetupInfo();
  S.Browser().AddStore(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID);
  S.Browser().Open();

  // Up to sixteen user steps: refresh, choose, type a frequency, apply.
  for (int Step = 0; Step < 16 && !In.Done(); ++Step) {
    const uint8_t Op = In.U8();
    const uint8_t Clock = In.U8() % 9;
    UINT16 Key = KEY_CLOCK_PAGE_REFRESH;
    switch (Op % 5) {
      case 0: Key = KEY_CLOCK_PAGE_REFRESH; break;
      case 1: Key = UINT16(KEY_CLOCK_SELECT_FIRST + Clock); break;
      case 2: Key = UINT16(KEY_CLOCK_SETTINGS_FIRST + 5 * (Clock % 8)); break;
      case 3: Key = UINT16(KEY_CLOCK_SETTINGS_FIRST + 5 * (Clock % 8) + 1); break;
      case 4: Key = UINT16(KEY_CLOCK_SETTINGS_FIRST + 5 * (Clock % 8) + 3); break;
    }
    if (std::vector<UINT8>* Store = S.Browser().StoreBytes(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID)) {
      if (!Store->empty()) (*Store)[In.U8() % Store->size()] = In.U8();
    }
    EFI_IFR_TYPE_VALUE Value{};
    S.Browser().Callback(UINT16(0x4), EFI_BROWSER_ACTION_CHANGED, Key, EFI_IFR_TYPE_NUM_SIZE_16, Value);
  }
  S.M().SignalReadyToBoot();
  return 0;
}
