#include "setupinfo/pages/board/memory_settings.h"

#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/setting_rules.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/board/memory_page.h"

namespace {

using Timings = setup::MemoryTimings;  // 0x3AF, 0x3B1, ... 0x3C5

constexpr UINTN TIMING_3C1 = 9;  // the one timing a reset keeps, and the one without a minimum rule
constexpr UINTN TIMING_3B7 = 4;  // the one that skips odd values from 9 up

constexpr UINT16 OVERRIDE_LOW = 800, OVERRIDE_HIGH = 2000;
constexpr SETUP_CLAMP_ROW GraphicsClampRows[] = {
    ClampRow<setup::OverrideValue3EB>(0x46B, OVERRIDE_HIGH, OVERRIDE_LOW),
    ClampRow<setup::OverrideValue3E9>(0x46C, OVERRIDE_HIGH, OVERRIDE_LOW),
};

constexpr SETUP_CLAMP_ROW TimingClampRows[] = {
    ClampRow<Timings, 0>(0x44E, 15, 4),
    ClampRow<Timings, 1>(0x44F, 20, 3),
    ClampRow<Timings, 2>(0x450, 15, 4),
    ClampRow<Timings, 3>(0x451, 63, 9),
    ClampRow<Timings, TIMING_3B7>(0x452, 16, 5),
    ClampRow<Timings, 5>(0x453, 511, 15),
    ClampRow<Timings, 6>(0x454, 15, 4),
    ClampRow<Timings, 7>(0x455, 15, 4),
    ClampRow<Timings, 8>(0x456, 15, 4),
    ClampRow<Timings, TIMING_3C1>(0x457, 4095),
    ClampRow<Timings, 10>(0x458, 63, 10),
    ClampRow<Timings, 11>(0x459, 15, 5),
    ClampRow<setup::MinimumSixteen3CF>(0x45D, 0, 16),
    ClampRow<setup::MinimumSixteen3D0>(0x45E, 0, 16),
};

void ApplyClamp(Span<const SETUP_CLAMP_ROW> Rows, UINT16 Key, SETUP_RECORD* S) {
  if (const SETUP_CLAMP_ROW* Row = FindClampRow(Rows, Key)) ApplyClampRow(*Row, S);
}

// The callback's value at its own width. Reading only the first byte would
// let a 16-bit 256 pass as 0.
UINT64 CurrentNumber() {
  const EFI_IFR_TYPE_VALUE* Value = CurrentValue();
  if (Value == nullptr) return 0;
  switch (CurrentValueType()) {
    case EFI_IFR_TYPE_NUM_SIZE_16: return Value->u16;
    case EFI_IFR_TYPE_NUM_SIZE_32: return Value->u32;
    case EFI_IFR_TYPE_NUM_SIZE_64: return Value->u64;
    default: return Value->u8;
  }
}

// The graphics frequency request in steps of 50 MHz, at least the
// processor's own floor; 0 stays automatic.
void ApplyGraphicsFrequency(SETUP_RECORD* S) {
  constexpr UINT16 STEP_MHZ = 50;
  const UINT16 Request = S->Get<setup::GraphicsFrequency>();
  if (Request == 0) return;
  const UINT16 Floor = (UINT16)((ReadMchBar32(MCHBAR_GRAPHICS_RATIOS) & 0xFF) * STEP_MHZ);
  S->Set<setup::GraphicsFrequency>(Request < Floor ? Floor : (UINT16)(Request / STEP_MHZ * STEP_MHZ));
}

void ResetMemoryTimings(SETUP_RECORD* S) {
  constexpr UINT8 RESET_3E2 = 2;
  S->Set<setup::SetToTwoByKeys3E2>(RESET_3E2);
  S->Set<setup::ResetByKeys34C>(0);
  S->Set<setup::ResetByKeys355>(0);
  for (UINTN i = 0; i < Timings::Elements; ++i)
    if (i != TIMING_3C1) S->Set<Timings>(0, i);
}

// Values 9, 11, 13 and 15 are not settable: the step carries on past them,
// down when the browser's value type is 2, up otherwise.
void SkipOddTiming(SETUP_RECORD* S) {
  const UINT16 Value = S->Get<Timings>(TIMING_3B7);
  if (Value < 9 || Value > 15 || Value % 2 == 0) return;
  constexpr UINT8 STEP_DOWN_TYPE = 2;
  S->Set<Timings>(CurrentValueType() == STEP_DOWN_TYPE ? Value - 1 : Value + 1, TIMING_3B7);
}

void ApplyMemoryTimingRule(UINT16 Key, SETUP_RECORD* S) {
  if (Key >= 0x444 && Key <= 0x447) {
    constexpr UINT8 UNBOUNDED_SELECTION = 3;
    const UINT8 Bound = MemoryPageState().NbFeatureSelect;
    const UINT8 Selection = S->Get<setup::FeatureBoundSelection>();
    if (Selection >= Bound && Selection != UNBOUNDED_SELECTION) S->Set<setup::FeatureBoundSelection>(Bound);
    return;
  }
  ApplyClamp(TimingClampRows, Key, S);
  if (Key == 0x452) SkipOddTiming(S);
  if (Key == 0x457 && S->Get<Timings>(TIMING_3C1) == 0) S->Set<Timings>(1, TIMING_3C1);
}

// Fetches the browser's Setup into Edit; false without pool memory. A fetch
// the browser refused leaves a zeroed record that is never handed back.
bool FetchSetup(SetupEdit& Edit) {
  Edit.Fetch();
  return Edit.Bytes() != nullptr;
}

}  // namespace

EFI_STATUS EFIAPI OnLinkedSettingChanged(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  SetupEdit Edit;
  if (!FetchSetup(Edit)) return EFI_OUT_OF_RESOURCES;
  SETUP_RECORD* S = Edit.Record();
  if (Key == 0x42A) S->Set<setup::LinkedSettingCopy>(S->Get<setup::LinkedSetting>());
  if (Key == 0x42B) S->Set<setup::FollowsSource1EF>(S->Get<setup::Source1EF>() == 1 ? 1 : 0);
  Edit.HandBack();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnGraphicsSettingChanged(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED) && !CurrentActionIs(BROWSER_ACTION_REFRESH)) return EFI_SUCCESS;
  SetupEdit Edit;
  if (!FetchSetup(Edit)) return EFI_OUT_OF_RESOURCES;
  const VOID* Hob = nullptr;
  const EFI_STATUS HobStatus = FindMemoryModuleHob(&Hob);
  if (EFI_ERROR(HobStatus)) return HobStatus;

  SETUP_RECORD* S = Edit.Record();
  constexpr UINT64 REFUSED_FROM = 15;
  switch (Key) {
    case 0x441:
      S->Set<setup::LinkedSetting>(S->Get<setup::LinkedSettingCopy>());
      break;
    case 0x442:
      if (CurrentNumber() >= REFUSED_FROM && S->Get<setup::SwitchTestedByKey442>() == 1) return EFI_NOT_FOUND;
      break;
    case 0x443:
      ApplyGraphicsFrequency(S);
      break;
    case 0x448:
    case 0x449:
      ResetMemoryTimings(S);
      break;
    default:
      ApplyClamp(GraphicsClampRows, Key, S);  // 0x46B and 0x46C; the other keys change nothing
      break;
  }
  Edit.HandBack();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnMemoryTimingChanged(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  SetupEdit Edit;
  if (!FetchSetup(Edit)) return EFI_OUT_OF_RESOURCES;
  ApplyMemoryTimingRule(Key, Edit.Record());
  Edit.HandBack();
  return EFI_SUCCESS;
}
