#include "setupinfo/pages/board/processor_settings.h"

#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/core/setting_rules.h"

namespace {

enum SETTING_RULE : UINT8 {
  RULE_NONE,
  RULE_CLAMP,         // the key's row of ClampRows
  RULE_POWER_LIMIT,   // Field within the package's power range, 0 = automatic
  RULE_RATIO_CHAIN,   // per-active-core limits from ChainStart down to the last
  RULE_ALL_CORE_RATIO,
  RULE_RATIO_MODE_CHANGED,
};

struct SETTING_ROW {
  UINT16 Key;
  SETTING_RULE Rule;
  UINT16 PowerField;  // RULE_POWER_LIMIT: byte offset of the u16 limit in Setup
  UINT8 ChainStart;   // RULE_RATIO_CHAIN
  bool RefreshesStrings;
};

constexpr SETTING_ROW Row(UINT16 Key, SETTING_RULE Rule, bool Refresh = false) { return {Key, Rule, 0, 0, Refresh}; }
template <typename F>
constexpr SETTING_ROW Power(UINT16 Key) {
  static_assert(sizeof(typename F::Type) == 2);
  return {Key, RULE_POWER_LIMIT, F::Start, 0, false};
}
constexpr SETTING_ROW Chain(UINT16 Key, UINT8 Start) { return {Key, RULE_RATIO_CHAIN, 0, Start, true}; }

constexpr UINT16 OVERRIDE_LOW = 800, OVERRIDE_HIGH = 2000;
constexpr UINT16 RING_RATIO_LOW = 8, RING_RATIO_HIGH = 120;

// In the order of the item callback table's rows.
constexpr SETTING_ROW SettingRows[] = {
    Row(0x41B, RULE_RATIO_MODE_CHANGED, true),
    Row(0x41C, RULE_RATIO_MODE_CHANGED, true),
    Row(0x41D, RULE_ALL_CORE_RATIO, true),
    Chain(0x415, 0),
    Chain(0x416, 1),
    Chain(0x417, 2),
    Chain(0x418, 3),
    Row(0x419, RULE_CLAMP),
    Power<setup::PackagePowerLimit1>(0x413),
    Power<setup::PackagePowerLimit2>(0x414),
    Row(0x426, RULE_CLAMP, true),
    Row(0x427, RULE_NONE),
    Row(0x41E, RULE_CLAMP),
    Row(0x420, RULE_NONE),
    Row(0x41F, RULE_CLAMP),
    Row(0x421, RULE_CLAMP),
    Row(0x423, RULE_NONE),
    Row(0x422, RULE_CLAMP),
    Row(0x425, RULE_NONE),
    Row(0x424, RULE_NONE),
};

constexpr SETUP_CLAMP_ROW ClampRows[] = {
    ClampRow<setup::LimitedValue>(0x419, 1000),
    ClampRow<setup::RingRatio>(0x426, RING_RATIO_HIGH, RING_RATIO_LOW),
    ClampRow<setup::OverrideValue085>(0x41E, OVERRIDE_HIGH, OVERRIDE_LOW),
    ClampRow<setup::OverrideValue083>(0x41F, OVERRIDE_HIGH, OVERRIDE_LOW),
    ClampRow<setup::OverrideValue08C>(0x421, OVERRIDE_HIGH, OVERRIDE_LOW),
    ClampRow<setup::OverrideValue08A>(0x422, OVERRIDE_HIGH, OVERRIDE_LOW),
};

const SETTING_ROW* FindRow(UINT16 Key) {
  for (const SETTING_ROW& Row : SettingRows)
    if (Row.Key == Key) return &Row;
  return nullptr;
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


bool RefreshesStrings(UINT16 Key) {
  const SETTING_ROW* Row = FindRow(Key);
  return Row != nullptr && Row->RefreshesStrings;
}

void ApplySettingRule(UINT16 Key, const PROCESSOR_LIMITS& Limits, SETUP_RECORD* Record) {
  const SETTING_ROW* Row = FindRow(Key);
  if (Row == nullptr) return;
  switch (Row->Rule) {
    case RULE_NONE:
      break;
    case RULE_CLAMP:
      if (const SETUP_CLAMP_ROW* Clamp = FindClampRow(ClampRows, Key)) ApplyClampRow(*Clamp, Record);
      break;
    case RULE_POWER_LIMIT: {
      UINT8* Field = Record->Bytes + Row->PowerField;
      WriteLe16(Field, ClampWithMinimum(ReadLe16(Field), Limits.PackageMaxPower, Limits.PackageMinPower));
      break;
    }
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

}  // namespace

void RefreshRatioStrings(EFI_HII_HANDLE, UINT16 Key, const SETUP_RECORD* Record) {
  if (!RefreshesStrings(Key)) return;
  const UINT8 Mode = Record->Get<setup::RatioMode>();
  UINT32 Core = ProcessorPageState().Limits.MaxNonTurboRatio;
  if (Mode == RATIO_MODE_ALL_CORES) Core = Record->Get<setup::AllCoreRatio>();
  if (Mode == RATIO_MODE_PER_CORE_COUNT) Core = Record->Get<setup::ActiveCoreRatioLimits>(0);
  const UINT32 CoreMhz = Core * 100;
  const UINT32 Ring = Record->Get<setup::RingRatio>();
  const UINT32 RingMhz = Ring != 0 ? Ring * 100 : CoreMhz;

  ForEachFormSet({FORM_SET_CLASS_MAIN, FORM_SET_CLASS_TUNING}, [&](const FORM_SET_INFO& Row) {
    SetPageString(Row.HiiHandle, STR_CORE_FREQUENCY_A, u"%dMHz", CoreMhz);
    SetPageString(Row.HiiHandle, STR_CORE_FREQUENCY_B, u"%dMHz", CoreMhz);
    SetPageString(Row.HiiHandle, STR_RING_FREQUENCY, u"%dMHz", RingMhz);
  });
}

EFI_STATUS EFIAPI OnProcessorSettingChanged(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16 Key) {
  const bool Changed = CurrentActionIs(EFI_BROWSER_ACTION_CHANGED);
  if (!Changed && !CurrentActionIs(BROWSER_ACTION_REFRESH)) return EFI_SUCCESS;

  SetupEdit Edit;
  // Without the browser's copy there is nothing to correct or to show.
  if (EFI_ERROR(Edit.Fetch())) return EFI_SUCCESS;

  if (Changed) ApplySettingRule(Key, ProcessorPageState().Limits, Edit.Record());
  RefreshRatioStrings(HiiHandle, Key, Edit.Record());
  if (Changed) Edit.HandBack();
  return EFI_SUCCESS;
}
