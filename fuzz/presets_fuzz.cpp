// Preset requests against the provider's tables: any row counts (as far as
// the rows go), any index bytes in the browser's Setup, any preset key and
// browser action, a missing table. A row read past its table, a Setup byte
// written outside the preset's fields and companion values, or a request
// beyond the table that changes anything is a finding.
//
// Input: a byte of absent-table bits (bit n: table n has a null pointer),
// four row counts (0 to 7), then requests to the end: key (0x51F + 0 to 7),
// action bit, and the four index bytes to put in Setup first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "platform/presets.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/platform/presets.h"
#include "setupinfo_fuzz_machine.h"
#include "sim/peers/preset_peers.h"

namespace {

constexpr size_t RowBytes[4] = {PRESET_ROW_BYTES_A, PRESET_ROW_BYTES_B, PRESET_ROW_BYTES_C, PRESET_ROW_BYTES_D};
constexpr size_t MAX_REQUESTS = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  sim::PresetProfile Profile;
  Profile.ProviderPresent = true;
  const UINT8 Absent = In.U8();
  for (size_t T = 0; T < 4; ++T) {
    const size_t Rows = In.U8() % 8;
    if (Absent & (1u << T)) continue;
    std::vector<std::vector<uint8_t>> Table;
    for (size_t R = 0; R < Rows; ++R) Table.push_back(std::vector<uint8_t>(RowBytes[T], (uint8_t)(0x80 + 16 * T + R)));
    Profile.Tables[T] = std::move(Table);
  }

  SetupMachine S;
  sim::PresetPeers Peers(Profile);
  Peers.InstallPresent(S.M().SystemTable());
  if (EFI_ERROR(S.LoadSetupInfo()) || EFI_ERROR(S.Browser().Open())) return 0;
  std::vector<UINT8>* Setup = S.Browser().StoreBytes(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID);
  if (Setup == nullptr || Setup->size() != SETUP_RECORD_SIZE) std::abort();

  for (size_t N = 0; N < MAX_REQUESTS && !In.Done(); ++N) {
    const UINT16 Key = (UINT16)(0x51F + In.U8() % 8);
    const bool Changed = In.U8() & 1;
    for (size_t T = 0; T < 4; ++T) (*Setup)[0x481 + T] = In.U8();
    const std::vector<UINT8> Before = *Setup;
    const size_t HandedBack = S.Forms().Calls().SetBrowserData;
    EFI_IFR_TYPE_VALUE Value{};
    S.Browser().Callback(0x2, Changed ? EFI_BROWSER_ACTION_CHANGED : EFI_BROWSER_ACTION_CHANGING, Key,
                         EFI_IFR_TYPE_NUM_SIZE_8, Value);

    const PRESET_TABLE* Preset = PresetForKey(Key);
    if (Preset == nullptr) std::abort();
    const bool Offered = Profile.Tables[Preset->Table].has_value();
    const UINT8 Row = Before[Preset->IndexOffset];
    const bool Applies = Changed && Offered && Row < Profile.Tables[Preset->Table]->size();
    if (!Applies) {
      if (*Setup != Before || S.Forms().Calls().SetBrowserData != HandedBack) std::abort();
      continue;
    }
    std::set<size_t> Allowed;
    for (size_t i = 0; i < Preset->FieldCount; ++i)
      for (size_t b = 0; b < Preset->Fields[i].Width; ++b) Allowed.insert(Preset->Fields[i].SetupOffset + b);
    for (size_t i = 0; i < Preset->ValueCount; ++i) Allowed.insert(Preset->Values[i].SetupOffset);
    for (size_t I = 0; I < SETUP_RECORD_SIZE; ++I)
      if (!Allowed.count(I) && (*Setup)[I] != Before[I]) std::abort();
    // Every field holds the chosen row's bytes.
    for (size_t i = 0; i < Preset->FieldCount; ++i)
      if ((*Setup)[Preset->Fields[i].SetupOffset] != (uint8_t)(0x80 + 16 * Preset->Table + Row)) std::abort();
  }
  return 0;
}
