#include "setupinfo/core/item_callback_table.h"

#include "setupinfo/pages/board/hardware_monitor.h"
#include "setupinfo/pages/board/memory_settings.h"
#include "setupinfo/pages/board/processor_settings.h"
#include "setupinfo/pages/platform/graphics_output.h"
#include "setupinfo/pages/platform/management_engine.h"
#include "setupinfo/pages/platform/network_page.h"
#include "setupinfo/pages/platform/user_profiles.h"
#include "setupinfo/pages/platform/presets.h"
#include "setupinfo/pages/platform/clock_control.h"
#include "setupinfo/pages/board/main_page.h"
#include "setupinfo/secureboot/secure_boot_page.h"

namespace {

// A run of keys of one class served by one handler: FirstKey, FirstKey + Step,
// ... up to LastKey. SubClass is 0 for every form set.
struct ITEM_CALLBACK_ROWS {
  UINT16 Class;
  UINT16 FirstKey;
  UINT16 LastKey;
  UINT16 Step;
  ITEM_CALLBACK Handler;
};

constexpr ITEM_CALLBACK_ROWS Keys(UINT16 Class, UINT16 FirstKey, UINT16 LastKey, ITEM_CALLBACK Handler,
                                  UINT16 Step = 1) {
  return ITEM_CALLBACK_ROWS{Class, FirstKey, LastKey, Step, Handler};
}
constexpr ITEM_CALLBACK_ROWS Key(UINT16 Class, UINT16 Key, ITEM_CALLBACK Handler) {
  return ITEM_CALLBACK_ROWS{Class, Key, Key, 1, Handler};
}

// In the order of the full table (185 rows once every page is in):
//   hardware monitor page        0x10: 0x48D; 0x48E-0x4A8
//   processor ratio settings     0x2: 0x413-0x419, 0x41B-0x427
//   memory and graphics settings 0x20: 0x42A, 0x441-0x447; 0x4: 0x42B;
//                                0x2: 0x443, 0x448-0x44C, 0x44E-0x459, 0x45B-0x470
//   graphics output selection    0x4: 0x4F3-0x4FA; 0x4FB-0x4FC
//   management engine            0x30: 0x4BA
//   clock control page           0x4: 0x4BC; 0x4C0-0x4C7; 0x4C8+5n; 0x4C9+5n, 0x4CB+5n (n = 0..7)
//   Secure Boot page actions     0x40: 0x506-0x508, 0x50B-0x51A
//   presets and forwarders       0x2: 0x51C; 0x8: 0x51D, 0x51E; 0x2: 0x51F-0x526
//   network configuration page   0x8: 0x529, 0x52A, 0x52D, 0x52E
//   user-default profiles        0x8: 0x530-0x535
//   main page and miscellaneous  0x1: 0x536; 0x8: 0x538, 0x53B, 0x53F, 0x541
// Each page adds its lines here, in that order, and its expected rows to
// tests/setupinfo/wiring_test.cpp.
constexpr ITEM_CALLBACK_ROWS ItemCallbackRows[] = {
    Key(0x10, 0x48D, RefreshHardwareMonitor),
    Keys(0x10, 0x48E, 0x4A8, NormalizePointList),
    Keys(0x2, 0x41B, 0x41D, OnProcessorSettingChanged),
    Keys(0x2, 0x415, 0x419, OnProcessorSettingChanged),
    Keys(0x2, 0x413, 0x414, OnProcessorSettingChanged),
    Keys(0x2, 0x426, 0x427, OnProcessorSettingChanged),
    Key(0x2, 0x41E, OnProcessorSettingChanged),
    Key(0x2, 0x420, OnProcessorSettingChanged),
    Key(0x2, 0x41F, OnProcessorSettingChanged),
    Key(0x2, 0x421, OnProcessorSettingChanged),
    Key(0x2, 0x423, OnProcessorSettingChanged),
    Key(0x2, 0x422, OnProcessorSettingChanged),
    Key(0x2, 0x425, OnProcessorSettingChanged),
    Key(0x2, 0x424, OnProcessorSettingChanged),
    Key(0x20, 0x42A, OnLinkedSettingChanged),
    Key(0x4, 0x42B, OnLinkedSettingChanged),
    Keys(0x20, 0x441, 0x442, OnGraphicsSettingChanged),
    Keys(0x2, 0x448, 0x449, OnGraphicsSettingChanged),
    Key(0x2, 0x45C, OnGraphicsSettingChanged),
    Keys(0x2, 0x45F, 0x46A, OnGraphicsSettingChanged),
    Key(0x2, 0x443, OnGraphicsSettingChanged),
    Keys(0x2, 0x46E, 0x470, OnGraphicsSettingChanged),
    Keys(0x2, 0x46B, 0x46D, OnGraphicsSettingChanged),
    Keys(0x2, 0x44A, 0x44C, OnGraphicsSettingChanged),
    Keys(0x20, 0x444, 0x447, OnMemoryTimingChanged),
    Keys(0x2, 0x44E, 0x456, OnMemoryTimingChanged),
    Key(0x2, 0x458, OnMemoryTimingChanged),
    Key(0x2, 0x457, OnMemoryTimingChanged),
    Key(0x2, 0x459, OnMemoryTimingChanged),
    Key(0x2, 0x45B, OnMemoryTimingChanged),
    Keys(0x2, 0x45D, 0x45E, OnMemoryTimingChanged),
    Keys(0x4, 0x4F3, 0x4FA, OnOutputChosen),
    Keys(0x4, 0x4FB, 0x4FC, OnOutputPropertyChanged),
    Key(0x30, 0x4BA, OnLockedQuestionChanging),
    Key(0x4, 0x4BC, OnClockPageRefresh),
    Keys(0x4, 0x4C0, 0x4C7, OnClockSelected),
    Keys(0x4, 0x4C8, 0x4EB, OnClockFrequencyChanged, 5),
    Keys(0x4, 0x4C9, 0x4EC, OnClockApply, 5),
    Keys(0x4, 0x4CB, 0x4EE, OnClockApply, 5),
    Key(0x40, 0x506, OnSecureBootInstallDefaults),
    Keys(0x40, 0x507, 0x508, OnSecureBootRestoreKeys),
    Key(0x40, 0x50B, OnSecureBootRestoreKeys),
    Key(0x40, 0x50C, OnSecureBootSaveKeys),
    Keys(0x40, 0x50D, 0x51A, OnSecureBootKeyVariable),
    Key(0x2, 0x51C, OnForward51C),
    Key(0x8, 0x51D, OnForward51D),
    Key(0x8, 0x51E, OnForward51E),
    Keys(0x2, 0x51F, 0x526, OnPresetChosen),
    Key(0x8, 0x529, OnNetworkConfigure),
    Key(0x8, 0x52A, OnNetworkAction52A),
    Key(0x8, 0x52D, OnNetworkAction52D),
    Key(0x8, 0x52E, OnNetworkAction52E),
    Key(0x8, 0x530, OnSaveUserProfile),
    Key(0x8, 0x531, OnLoadUserProfile),
    Key(0x8, 0x532, OnSaveUserProfile),
    Key(0x8, 0x533, OnLoadUserProfile),
    Key(0x8, 0x534, OnSaveUserProfile),
    Key(0x8, 0x535, OnLoadUserProfile),
    Key(0x1, 0x536, OnMainPageAction),
    Key(0x8, 0x538, OnNetworkSummaryAction),
    Key(0x8, 0x53B, OnNetworkSummaryAction),
    Key(0x8, 0x53F, OnToolAction1),
    Key(0x8, 0x541, OnToolAction2),
    {},  // end
};


constexpr bool WellFormed(const ITEM_CALLBACK_ROWS& Rows) {
  return Rows.Step != 0 && Rows.FirstKey <= Rows.LastKey && (Rows.LastKey - Rows.FirstKey) % Rows.Step == 0;
}

constexpr UINTN CountEntries() {
  UINTN Count = 0;
  for (const ITEM_CALLBACK_ROWS& Rows : ItemCallbackRows) {
    if (Rows.Handler == nullptr) break;
    if (!WellFormed(Rows)) return ~(UINTN)0;
    Count += (Rows.LastKey - Rows.FirstKey) / Rows.Step + 1;
  }
  return Count;
}

constexpr UINTN ENTRY_COUNT = CountEntries();
static_assert(ENTRY_COUNT != ~(UINTN)0, "a run of keys is malformed");
static_assert(ENTRY_COUNT == 185, "the table holds one row per question key the pages serve");

struct ENTRY_TABLE {
  ITEM_CALLBACK_ENTRY Entries[ENTRY_COUNT + 1];
};

constexpr ENTRY_TABLE Expand() {
  ENTRY_TABLE Table{};
  UINTN Next = 0;
  for (const ITEM_CALLBACK_ROWS& Rows : ItemCallbackRows) {
    if (Rows.Handler == nullptr) break;
    for (UINTN Key = Rows.FirstKey; Key <= Rows.LastKey; Key += Rows.Step)
      Table.Entries[Next++] = ITEM_CALLBACK_ENTRY{Rows.Class, 0, (UINT16)Key, 0, Rows.Handler};
  }
  Table.Entries[Next] = ITEM_CALLBACK_ENTRY{};
  return Table;
}

constexpr ENTRY_TABLE ItemCallbackTable = Expand();

// A key names one question across all form sets.
constexpr bool NoKeyTwice() {
  for (UINTN i = 0; i < ENTRY_COUNT; ++i)
    for (UINTN j = i + 1; j < ENTRY_COUNT; ++j)
      if (ItemCallbackTable.Entries[i].Key == ItemCallbackTable.Entries[j].Key) return false;
  return true;
}
static_assert(NoKeyTwice(), "a key occurs twice in the item callback table");

// The owners in table order: where each one's rows start, the classes and
// handlers they may carry, and the first row, so that a row moved into
// another owner's run, or a run moved, fails to compile. Owners whose page
// lists its rows by rising key are held to that; the others' own orders are
// held row by row in tests/setupinfo/wiring_test.cpp.
struct OWNER_RUN {
  bool RisingKeys;
  UINTN Start;
  UINT16 FirstClass;
  UINT16 FirstKey;
  UINT16 LowKey;
  UINT16 HighKey;
  UINT16 Classes[3];
  ITEM_CALLBACK Handlers[4];
};

constexpr OWNER_RUN OwnerRuns[] = {
    {true, 0, 0x10, 0x48D, 0x48D, 0x4A8, {0x10}, {RefreshHardwareMonitor, NormalizePointList}},
    {false, 28, 0x2, 0x41B, 0x413, 0x427, {0x2}, {OnProcessorSettingChanged}},
    {false, 48, 0x20, 0x42A, 0x42A, 0x470, {0x20, 0x4, 0x2},
     {OnLinkedSettingChanged, OnGraphicsSettingChanged, OnMemoryTimingChanged}},
    {true, 96, 0x4, 0x4F3, 0x4F3, 0x4FC, {0x4}, {OnOutputChosen, OnOutputPropertyChanged}},
    {true, 106, 0x30, 0x4BA, 0x4BA, 0x4BA, {0x30}, {OnLockedQuestionChanging}},
    {false, 107, 0x4, 0x4BC, 0x4BC, 0x4EE, {0x4}, {OnClockPageRefresh, OnClockSelected, OnClockFrequencyChanged, OnClockApply}},
    {true, 140, 0x40, 0x506, 0x506, 0x51A, {0x40},
     {OnSecureBootInstallDefaults, OnSecureBootRestoreKeys, OnSecureBootSaveKeys, OnSecureBootKeyVariable}},
    {true, 159, 0x2, 0x51C, 0x51C, 0x526, {0x2, 0x8}, {OnForward51C, OnForward51D, OnForward51E, OnPresetChosen}},
    {true, 170, 0x8, 0x529, 0x529, 0x52E, {0x8},
     {OnNetworkConfigure, OnNetworkAction52A, OnNetworkAction52D, OnNetworkAction52E}},
    {true, 174, 0x8, 0x530, 0x530, 0x535, {0x8}, {OnSaveUserProfile, OnLoadUserProfile}},
    {true, 180, 0x1, 0x536, 0x536, 0x541, {0x1, 0x8}, {OnMainPageAction, OnNetworkSummaryAction, OnToolAction1, OnToolAction2}},
};

constexpr bool OwnerHolds(const OWNER_RUN& Owner, const ITEM_CALLBACK_ENTRY& Row) {
  bool ClassFits = false, HandlerFits = false;
  for (UINT16 Class : Owner.Classes) ClassFits = ClassFits || (Class != 0 && Class == Row.Class);
  for (ITEM_CALLBACK Handler : Owner.Handlers) HandlerFits = HandlerFits || (Handler != nullptr && Handler == Row.Handler);
  return ClassFits && HandlerFits && Row.SubClass == 0 && Row.Key >= Owner.LowKey && Row.Key <= Owner.HighKey;
}

constexpr bool OwnersInOrder() {
  constexpr UINTN Owners = sizeof(OwnerRuns) / sizeof(OwnerRuns[0]);
  if (OwnerRuns[0].Start != 0) return false;
  for (UINTN O = 0; O < Owners; ++O) {
    const UINTN End = O + 1 < Owners ? OwnerRuns[O + 1].Start : ENTRY_COUNT;
    if (End <= OwnerRuns[O].Start) return false;
    const ITEM_CALLBACK_ENTRY& First = ItemCallbackTable.Entries[OwnerRuns[O].Start];
    if (First.Class != OwnerRuns[O].FirstClass || First.Key != OwnerRuns[O].FirstKey) return false;
    for (UINTN I = OwnerRuns[O].Start; I < End; ++I) {
      if (!OwnerHolds(OwnerRuns[O], ItemCallbackTable.Entries[I])) return false;
      if (OwnerRuns[O].RisingKeys && I > OwnerRuns[O].Start &&
          ItemCallbackTable.Entries[I].Key <= ItemCallbackTable.Entries[I - 1].Key)
        return false;
    }
  }
  return true;
}
static_assert(OwnersInOrder(), "an owner's rows are out of place in the item callback table");

}  // namespace

Span<const ITEM_CALLBACK_ENTRY> StaticItemCallbacks() {
  return Span<const ITEM_CALLBACK_ENTRY>(ItemCallbackTable.Entries, ENTRY_COUNT + 1);
}
