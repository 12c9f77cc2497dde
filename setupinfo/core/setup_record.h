// The board's main configuration record "Setup": one definition for every
// page. The record is packed and byte-addressed; multi-byte fields are
// little-endian and may sit at odd offsets, so fields are reached through
// typed offsets, never through a C++ layout.
#pragma once

#include "lib/host_check.h"
#include "lib/pool_buffer.h"
#include "lib/util.h"
#include "platform/setup_variable.h"
#include "setupinfo/core/browser_store.h"
#include "uefi/base.h"

inline constexpr CHAR16 SETUP_VARIABLE_NAME[] = u"Setup";
constexpr UINTN SETUP_RECORD_SIZE = 1172;
constexpr UINT32 SETUP_VARIABLE_ATTRIBUTES =
    EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;

// A field of Count elements of type T starting at byte Offset.
template <UINT16 Offset, typename T, UINTN Count = 1>
struct SetupField {
  static_assert(__is_same(T, UINT8) || __is_same(T, UINT16) || __is_same(T, UINT32));
  static_assert(Count >= 1 && Offset + sizeof(T) * Count <= SETUP_RECORD_SIZE, "field lies outside the record");
  using Type = T;
  static constexpr UINT16 Start = Offset;
  static constexpr UINTN Elements = Count;
  static constexpr UINTN End = Offset + sizeof(T) * Count;
};

// Field index. Each page owns the rules of its fields; this is only where they are.
namespace setup {
using NbCopiedByte = SetupField<0x001, UINT8>;
using DependentMode = SetupField<0x02E, UINT8>;  // 0 = automatic
using DependentSwitchA = SetupField<0x02F, UINT8>;
using DependentValue = SetupField<0x030, UINT16>;
using DependentSwitchB = SetupField<0x032, UINT8>;
using ActiveCoreRatioLimits = SetupField<0x03C, UINT8, 4>;  // 1 to 4 active cores
using LimitedValue = SetupField<0x041, UINT16>;             // at most 1000
using RatioModeChanged = SetupField<0x04A, UINT8>;
using PackagePowerLimit1 = SetupField<0x04B, UINT16>;  // watts, 0 = automatic
using PackagePowerLimit2 = SetupField<0x04D, UINT16>;  // watts, 0 = automatic
using ResetToTwoGroup = SetupField<0x053, UINT8, 4>;
using PresetTarget06D = SetupField<0x06D, UINT8>;
using RatioMode = SetupField<0x07F, UINT8>;  // 0 default, 1 all-core ratio, 2 per-core-count limits
using AllCoreRatio = SetupField<0x080, UINT8>;
using PresetTarget082 = SetupField<0x082, UINT8>;
using OverrideValue083 = SetupField<0x083, UINT16>;  // 0 = automatic, else 800 to 2000
using OverrideValue085 = SetupField<0x085, UINT16>;
using PresetTarget089 = SetupField<0x089, UINT8>;
using OverrideValue08A = SetupField<0x08A, UINT16>;
using OverrideValue08C = SetupField<0x08C, UINT16>;
using PresetTarget090 = SetupField<0x090, UINT8>;
using PresetTarget091 = SetupField<0x091, UINT8>;
using RingRatio = SetupField<0x098, UINT8>;  // 0 = follows the cores, else 8 to 120
using PresetDCleared = SetupField<0x09B, UINT8>;
using LinkedSetting = SetupField<0x0AA, UINT8>;  // mirrored with LinkedSettingCopy
using FollowsSource1EF = SetupField<0x0B3, UINT8>;
using Source1EF = SetupField<0x1EF, UINT8>;
using ResetOnRatioMode1F5 = SetupField<0x1F5, UINT8>;
using NbCopiedRuns = SetupField<0x2B8, UINT8, 0x3F5 - 0x2B8>;  // 0x2B8 to 0x3F4
using PresetTarget2C0 = SetupField<0x2C0, UINT8>;
using GraphicsFrequency = SetupField<0x2C1, UINT16>;  // multiple of 50, 0 = automatic
using LinkedSettingCopy = SetupField<0x32E, UINT8>;
using ModuleDisableChannelA = SetupField<0x348, UINT8>;
using ModuleDisableChannelB = SetupField<0x349, UINT8>;
using ResetByKeys34C = SetupField<0x34C, UINT16>;
using FeatureBoundSelection = SetupField<0x354, UINT8>;
using ResetByKeys355 = SetupField<0x355, UINT8>;
// Twelve timing values at the odd offsets 0x3AF, 0x3B1, ... 0x3C5.
using MemoryTimings = SetupField<0x3AF, UINT16, 12>;
using MemoryTiming3C7 = SetupField<0x3C7, UINT16>;
using MinimumSixteen3CF = SetupField<0x3CF, UINT8>;  // 0 = automatic, else at least 16
using MinimumSixteen3D0 = SetupField<0x3D0, UINT8>;
using SetToTwoByKeys3E2 = SetupField<0x3E2, UINT8>;
using PresetTarget3E3 = SetupField<0x3E3, UINT8>;
using PresetTarget3E6 = SetupField<0x3E6, UINT8>;
using OverrideValue3E9 = SetupField<0x3E9, UINT16>;  // 0 = automatic, else 800 to 2000
using OverrideValue3EB = SetupField<0x3EB, UINT16>;
using ResetOnRatioMode3F5 = SetupField<0x3F5, UINT8>;
using MeFirmwareSizeClass = SetupField<0x40A, UINT8>;
using PointListGuard1 = SetupField<0x42D, UINT8>;
using PointListGuard2 = SetupField<0x437, UINT8>;
using PointListGuard3 = SetupField<0x442, UINT8>;
using PointList1A = SetupField<0x42E, UINT8, 5>;
using PointList1B = SetupField<0x433, UINT8, 4>;
using PointList2A = SetupField<0x439, UINT8, 5>;
using PointList2B = SetupField<0x43E, UINT8, 4>;
using PointList3A = SetupField<0x444, UINT8, 5>;
using PointList3B = SetupField<0x449, UINT8, 4>;
using PresetTarget44D = SetupField<0x44D, UINT8>;
using SwitchTestedByKey442 = SetupField<0x45D, UINT8>;
using DisplayOutputIndex = SetupField<0x469, UINT8>;
using OutputLevel = SetupField<0x46A, UINT32>;
using OutputSwitch = SetupField<0x46E, UINT8>;  // 1 = on
using PresetRows = SetupField<0x481, UINT8, 4>;  // chosen rows of preset tables A to D
}  // namespace setup

// Layout checks that the pages rely on: the two lists of a pair are back to
// back, each pair comes after its guard byte and ends before the next guard,
// and the timing run ends where the rule-less value starts.
static_assert(setup::PointListGuard1::Start < setup::PointList1A::Start);
static_assert(setup::PointList1A::End == setup::PointList1B::Start && setup::PointList1B::End == setup::PointListGuard2::Start);
static_assert(setup::PointListGuard2::Start < setup::PointList2A::Start);
static_assert(setup::PointList2A::End == setup::PointList2B::Start && setup::PointList2B::End == setup::PointListGuard3::Start);
static_assert(setup::PointListGuard3::Start < setup::PointList3A::Start);
static_assert(setup::PointList3A::End == setup::PointList3B::Start && setup::PointList3B::End == setup::PresetTarget44D::Start);
static_assert(setup::MemoryTimings::End == setup::MemoryTiming3C7::Start);
static_assert(setup::NbCopiedRuns::End == setup::ResetOnRatioMode3F5::Start);
static_assert(setup::PresetRows::End <= SETUP_RECORD_SIZE);

// The record as bytes, with typed little-endian access by field.
struct SETUP_RECORD {
  UINT8 Bytes[SETUP_RECORD_SIZE];

  template <typename Field>
  typename Field::Type Get(UINTN Index = 0) const {
    const UINT8* p = At<Field>(Index);
    if constexpr (sizeof(typename Field::Type) == 1) return *p;
    else if constexpr (sizeof(typename Field::Type) == 2) return ReadLe16(p);
    else return ReadLe32(p);
  }

  template <typename Field>
  void Set(typename Field::Type Value, UINTN Index = 0) {
    UINT8* p = const_cast<UINT8*>(At<Field>(Index));
    if constexpr (sizeof(typename Field::Type) == 1) *p = Value;
    else if constexpr (sizeof(typename Field::Type) == 2) WriteLe16(p, Value);
    else WriteLe32(p, Value);
  }

 private:
  // An index past the field stops a host run; the firmware clamps it to the
  // field's last element, so a slip in a page stays inside the field instead
  // of landing in a neighbour.
  template <typename Field>
  const UINT8* At(UINTN Index) const {
    HOST_CHECK(Index < Field::Elements, "Setup field index out of range");
    if (Index >= Field::Elements) Index = Field::Elements - 1;
    return Bytes + Field::Start + Index * sizeof(typename Field::Type);
  }
};
static_assert(sizeof(SETUP_RECORD) == SETUP_RECORD_SIZE);

// The browser's working copy (item callbacks): see browser_store.h for the
// rule every page follows.
inline constexpr BROWSER_STORE SETUP_STORE = {SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID, SETUP_RECORD_SIZE};

class SetupEdit : public BrowserStoreEdit {
 public:
  SetupEdit() : BrowserStoreEdit(SETUP_STORE) {}
  // The record (zeroed past what the browser gave); null without pool memory.
  SETUP_RECORD* Record() const { return (SETUP_RECORD*)Bytes(); }
};

// The stored variable (page-string initialisers and page-load work). A stored
// record of any other size counts as unreadable.
EFI_STATUS ReadStoredSetup(SETUP_RECORD* Record);
EFI_STATUS WriteStoredSetup(const SETUP_RECORD* Record);
