#include "setupinfo/pages/board/processor_settings.h"

#include "lib/pool_buffer.h"
#include "setupinfo/core/callback_dispatch.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/image_state.h"

namespace {

enum SETTING_RULE : UINT8 {
  RULE_NONE,
  RULE_CLAMP_OR_AUTOMATIC,  // Field within [Low, High], 0 = automatic
  RULE_POWER_LIMIT,         // Field within the package's power range, 0 = automatic
  RULE_RATIO_CHAIN,         // per-active-core limits from ChainStart down to the last
  RULE_ALL_CORE_RATIO,
  RULE_RATIO_MODE_CHANGED,
};

struct SETTING_ROW {
  UINT16 Key;
  SETTING_RULE Rule;
  UINT16 Field;  // byte offset in Setup
  UINT8 Width;   // 1 or 2 bytes
  UINT16 Low;
  UINT16 High;
  UINT8 ChainStart;
  bool RefreshesStrings;
};

template <typename F>
constexpr SETTING_ROW Clamp(UINT16 Key, UINT16 Low, UINT16 High, bool Refresh = false) {
  return {Key, RULE_CLAMP_OR_AUTOMATIC, F::Start, (UINT8)sizeof(typename F::Type), Low, High, 0, Refresh};
}
template <typename F>
constexpr SETTING_ROW Power(UINT16 Key) {
  return {Key, RULE_POWER_LIMIT, F::Start, (UINT8)sizeof(typename F::Type), 0, 0, 0, false};
}
constexpr SETTING_ROW Chain(UINT16 Key, UINT8 Start) { return {Key, RULE_RATIO_CHAIN, 0, 0, 0, 0, Start, true}; }
constexpr SETTING_ROW Plain(UINT16 Key, SETTING_RULE Rule, bool Refresh) { return {Key, Rule, 0, 0, 0, 0, 0, Refresh}; }

constexpr UINT16 OVERRIDE_LOW = 800, OVERRIDE_HIGH = 2000;
constexpr UINT16 RING_RATIO_LOW = 8, RING_RATIO_HIGH = 120;

// In the order of the item callback table's rows.
constexpr SETTING_ROW SettingRows[] = {
    Plain(0x41B, RULE_RATIO_MODE_CHANGED, true),
    Plain(0x41C, RULE_RATIO_MODE_CHANGED, true),
    Plain(0x41D, RULE_ALL_CORE_RATIO, true),
    Chain(0x415, 0),
    Chain(0x416, 1),
    Chain(0x417, 2),
    Chain(0x418, 3),
    Clamp<setup::LimitedValue>(0x419, 0, 1000),
    Power<setup::PackagePowerLimit1>(0x413),
    Power<setup::PackagePowerLimit2>(0x414),
    Clamp<setup::RingRatio>(0x426, RING_RATIO_LOW, RING_RATIO_HIGH, true),
    Plain(0x427, RULE_NONE, false),
    Clamp<setup::OverrideValue085>(0x41E, OVERRIDE_LOW, OVERRIDE_HIGH),
    Plain(0x420, RULE_NONE, false),
    Clamp<setup::OverrideValue083>(0x41F, OVERRIDE_LOW, OVERRIDE_HIGH),
    Clamp<setup::OverrideValue08C>(0x421, OVERRIDE_LOW, OVERRIDE_HIGH),
    Plain(0x423, RULE_NONE, false),
    Clamp<setup::OverrideValue08A>(0x422, OVERRIDE_LOW, OVERRIDE_HIGH),
    Plain(0x425, RULE_NONE, false),
    Plain(0x424, RULE_NONE, false),
};

const SETTING_ROW* FindRow(UINT16 Key) {
  for (const SETTING_ROW& Row : SettingRows)
    if (Row.Key == Key) return &Row;
  return nullptr;
}

UINT16 ReadField(const SETUP_RECORD* Record, const SETTING_ROW& Row) {
  return Row.Width == 2 ? ReadLe16(Record->Bytes + Row.Field) : Record->Bytes[Row.Field];
}
void WriteField(SETUP_RECORD* Record, const SETTING_ROW& Row, UINT16 Value) {
  if (Row.Width == 2)
    WriteLe16(Record->Bytes + Row.Field, Value);
  else
    Record->Bytes[Row.Field] = (UINT8)Value;
}

constexpr UINT8 RATIO_MODE_ALL_CORES = 1;
constexpr UINT8 RATIO_MODE_PER_CORE_COUNT = 2;
constexpr UINT8 HIGH_RATIO = 39;
constexpr UINT8 HIGH_RATIO_DEPENDENT_MODE = 2;
constexpr UINT16 HIGH_RATIO_DEPENDENT_VALUE = 141;

// A core ratio of 39 or more needs the dependent settings switched on.
void ApplyHighRatioRule(SETUP_RECORD* S) {
  const UINT8 Mode = S->Get<setup::RatioMode>();
  const bool High = (Mode == RATIO_MODE_ALL_CORES && S->Get<setup::AllCoreRatio>() >= HIGH_RATIO) ||
                    (Mode == RATIO_MODE_PER_CORE_COUNT && S->Get<setup::ActiveCoreRatioLimits>(0) >= HIGH_RATIO);
  if (!High) return;
  if (S->Get<setup::DependentMode>() == 0) {
    S->Set<setup::DependentMode>(HIGH_RATIO_DEPENDENT_MODE);
    S->Set<setup::DependentValue>(HIGH_RATIO_DEPENDENT_VALUE);
  }
  if (S->Get<setup::DependentSwitchB>() == 0) S->Set<setup::DependentSwitchB>(1);
}

UINT8 ClampRatio(UINT8 Value, UINT8 Low, UINT8 High) {
  if (Value > High) Value = High;
  if (Value < Low) Value = Low;
  return Value;
}

// Each limit for more active cores is at most the one for fewer, and at
// least the processor's floor for that count.
void ApplyRatioChain(UINTN Start, const PROCESSOR_LIMITS& L, SETUP_RECORD* S) {
  using Limits = setup::ActiveCoreRatioLimits;
  for (UINTN i = Start; i < Limits::Elements; ++i) {
    UINT8 Ratio = S->Get<Limits>(i);
    if (i == 0) {
      Ratio = ClampRatio(Ratio, L.CoreRatioFloor[0], L.RatioCeiling);
    } else {
      Ratio = Min(Ratio, S->Get<Limits>(i - 1));
      Ratio = Max(Ratio, L.CoreRatioFloor[i]);
    }
    S->Set<Limits>(Ratio, i);
  }
  ApplyHighRatioRule(S);
}

constexpr UINT8 RESET_TO_TWO = 2;
constexpr UINT8 RESET_3F5 = 0x80;

void ApplyRatioModeChanged(const PROCESSOR_LIMITS& L, SETUP_RECORD* S) {
  const UINT8 Mode = S->Get<setup::RatioMode>();
  if (Mode == RATIO_MODE_ALL_CORES) S->Set<setup::AllCoreRatio>(L.MaxNonTurboRatio);
  if (Mode == RATIO_MODE_PER_CORE_COUNT)
    for (UINTN i = 0; i < setup::ActiveCoreRatioLimits::Elements; ++i)
      S->Set<setup::ActiveCoreRatioLimits>(L.CoreRatioFloor[i], i);
  S->Set<setup::RatioModeChanged>(1);

  // A hand-picked mode leaves the preset of table D behind, and with it the
  // preset's dependent settings.
  constexpr UINTN PRESET_TABLE_D = 3;
  if (Mode == 0 || S->Get<setup::PresetRows>(PRESET_TABLE_D) == 0) return;
  S->Set<setup::PresetRows>(0, PRESET_TABLE_D);
  S->Set<setup::DependentMode>(0);
  S->Set<setup::DependentSwitchA>(1);
  S->Set<setup::ResetOnRatioMode3F5>(RESET_3F5);
  S->Set<setup::ResetOnRatioMode1F5>(0);
  for (UINTN i = 0; i < setup::ResetToTwoGroup::Elements; ++i) S->Set<setup::ResetToTwoGroup>(RESET_TO_TWO, i);
  S->Set<setup::PointListGuard1>(RESET_TO_TWO);
  S->Set<setup::PointListGuard2>(RESET_TO_TWO);
  S->Set<setup::PointListGuard3>(RESET_TO_TWO);
}

// Frequency lines of the class 1 and class 2 form sets.
constexpr UINT16 STR_CORE_FREQUENCY_A = 0x0115;
constexpr UINT16 STR_CORE_FREQUENCY_B = 0x0118;
constexpr UINT16 STR_RING_FREQUENCY = 0x011B;

}  // namespace

UINT16 ClampOrAutomatic(UINT16 Value, UINT16 Low, UINT16 High) {
  if (High != 0 && Value > High) Value = High;
  if (Low != 0 && Value != 0 && Value < Low) Value = Value == 1 ? Low : 0;
  return Value;
}

void ApplyProcessorSettingRule(UINT16 Key, const PROCESSOR_LIMITS& Limits, SETUP_RECORD* Record) {
  const SETTING_ROW* Row = FindRow(Key);
  if (Row == nullptr) return;
  switch (Row->Rule) {
    case RULE_NONE:
      break;
    case RULE_CLAMP_OR_AUTOMATIC:
      WriteField(Record, *Row, ClampOrAutomatic(ReadField(Record, *Row), Row->Low, Row->High));
      break;
    case RULE_POWER_LIMIT:
      WriteField(Record, *Row,
                 ClampOrAutomatic(ReadField(Record, *Row), Limits.PackageMinPower, Limits.PackageMaxPower));
      break;
    case RULE_RATIO_CHAIN:
      ApplyRatioChain(Row->ChainStart, Limits, Record);
      break;
    case RULE_ALL_CORE_RATIO:
      Record->Set<setup::AllCoreRatio>(
          ClampRatio(Record->Get<setup::AllCoreRatio>(), Limits.MaxEfficiencyRatio, Limits.RatioCeiling));
      ApplyHighRatioRule(Record);
      break;
    case RULE_RATIO_MODE_CHANGED:
      ApplyRatioModeChanged(Limits, Record);
      break;
  }
}

bool ProcessorSettingRefreshesStrings(UINT16 Key) {
  const SETTING_ROW* Row = FindRow(Key);
  return Row != nullptr && Row->RefreshesStrings;
}

void RefreshRatioStrings(EFI_HII_HANDLE, UINT16 Key, const SETUP_RECORD* Record) {
  if (!ProcessorSettingRefreshesStrings(Key)) return;
  const UINT8 Mode = Record->Get<setup::RatioMode>();
  UINT32 Core = gSetupInfo.Processor.Limits.MaxNonTurboRatio;
  if (Mode == RATIO_MODE_ALL_CORES) Core = Record->Get<setup::AllCoreRatio>();
  if (Mode == RATIO_MODE_PER_CORE_COUNT) Core = Record->Get<setup::ActiveCoreRatioLimits>(0);
  const UINT32 CoreMhz = Core * 100;
  const UINT32 Ring = Record->Get<setup::RingRatio>();
  const UINT32 RingMhz = Ring != 0 ? Ring * 100 : CoreMhz;

  for (const FORM_SET_INFO& Row : gSetupInfo.Core.FormSets) {
    if (Row.HiiHandle == nullptr || (Row.Class != 0x1 && Row.Class != 0x2)) continue;
    SetPageString(Row.HiiHandle, STR_CORE_FREQUENCY_A, u"%dMHz", CoreMhz);
    SetPageString(Row.HiiHandle, STR_CORE_FREQUENCY_B, u"%dMHz", CoreMhz);
    SetPageString(Row.HiiHandle, STR_RING_FREQUENCY, u"%dMHz", RingMhz);
  }
}

EFI_STATUS EFIAPI OnProcessorSettingChanged(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16 Key) {
  const CALLBACK_PARAMETERS* Parameters = GetCurrentCallbackParameters();
  if (Parameters == nullptr) return EFI_SUCCESS;
  const bool Changed = Parameters->Action == EFI_BROWSER_ACTION_CHANGED;
  if (!Changed && Parameters->Action != PROCESSOR_BROWSER_ACTION_REFRESH) return EFI_SUCCESS;

  PoolBuffer<SETUP_RECORD> Record;
  // Without the browser's copy there is nothing to correct, and handing back
  // a blank record would overwrite every setting on the page.
  if (EFI_ERROR(FetchBrowserSetup(Record))) return EFI_SUCCESS;

  if (Changed) ApplyProcessorSettingRule(Key, gSetupInfo.Processor.Limits, Record.Get());
  RefreshRatioStrings(HiiHandle, Key, Record.Get());
  if (Changed) HandBackBrowserSetup(Record.Get());
  return EFI_SUCCESS;
}
