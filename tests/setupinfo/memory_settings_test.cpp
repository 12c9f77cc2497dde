// Memory and graphics setting callbacks as the browser reaches them: each
// key's rule on the browser's copy of Setup, the fields each key may write,
// the actions each handler answers, and the failures that hand nothing back.
#include <algorithm>
#include <map>
#include <set>

#include "setupinfo/pages/board/memory_page_state.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 MEMORY = 0x20, ADVANCED = 0x4, TUNING = 0x2;

class MemorySettings : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    PutVariable(u"Setup", SETUP_VARIABLE_GUID, std::string(SETUP_RECORD_SIZE, '\0'), SETUP_VARIABLE_ATTRIBUTES);
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }

  std::vector<UINT8>& Store() { return *Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID); }
  UINT16 U16(UINT16 Offset) { return ReadLe16(Store().data() + Offset); }
  void SetU16(UINT16 Offset, UINT16 Value) { WriteLe16(Store().data() + Offset, Value); }

  EFI_STATUS Change(UINT16 Class, UINT16 Key, UINT8 Type = EFI_IFR_TYPE_NUM_SIZE_8, UINT64 Number = 0,
                    EFI_BROWSER_ACTION Action = EFI_BROWSER_ACTION_CHANGED) {
    EFI_IFR_TYPE_VALUE Value{};
    Value.u64 = Number;
    return Browser().Callback(Class, Action, Key, Type, Value);
  }

  // Runs Key on Class for each (in, out) pair of the u16 field at Offset.
  void ExpectU16(UINT16 Class, UINT16 Key, UINT16 Offset, std::initializer_list<std::pair<UINT16, UINT16>> Cases,
                 UINT8 Type = EFI_IFR_TYPE_NUM_SIZE_8) {
    for (auto [In, Out] : Cases) {
      SetU16(Offset, In);
      EXPECT_EQ(Change(Class, Key, Type), EFI_SUCCESS);
      EXPECT_EQ(U16(Offset), Out) << std::hex << "key 0x" << Key << std::dec << " from " << In;
    }
  }
};

TEST_F(MemorySettings, LinkedSettingsFollowTheirSources) {
  Store()[0xAA] = 5;
  EXPECT_EQ(Change(MEMORY, 0x42A), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x32E], 5);

  Store()[0x32E] = 7;
  EXPECT_EQ(Change(MEMORY, 0x441), EFI_SUCCESS);
  EXPECT_EQ(Store()[0xAA], 7);

  for (auto [Source, Target] : {std::pair<UINT8, UINT8>{1, 1}, {0, 0}, {2, 0}, {0xFF, 0}}) {
    Store()[0x1EF] = Source;
    Store()[0xB3] = 0x55;
    EXPECT_EQ(Change(ADVANCED, 0x42B), EFI_SUCCESS);
    EXPECT_EQ(Store()[0xB3], Target) << (int)Source;
  }
}

TEST_F(MemorySettings, GraphicsFrequencyKeepsToFiftyMegahertzStepsAboveTheFloor) {
  // The default board's ratio 18 makes the floor 900.
  ExpectU16(TUNING, 0x443, 0x2C1, {{1000, 1000}, {1025, 1000}, {850, 900}, {0, 0}, {1, 900}, {899, 900}, {900, 900},
                                   {0xFFFF, 65500}});
}

TEST_F(MemorySettings, TimingResetClearsEveryTimingButOne) {
  std::fill(Store().begin() + 0x3AF, Store().begin() + 0x3C7, 0x33);
  Store()[0x355] = 9;
  SetU16(0x34C, 1234);
  Store()[0x3E2] = 7;
  for (UINT16 Key : {0x448, 0x449}) {
    SetU16(0x3C1, 321);
    EXPECT_EQ(Change(TUNING, Key), EFI_SUCCESS);
    for (UINT16 Offset = 0x3AF; Offset < 0x3C7; Offset += 2)
      EXPECT_EQ(U16(Offset), Offset == 0x3C1 ? 321 : 0) << std::hex << Key << " " << Offset;
    EXPECT_EQ(Store()[0x3E2], 2);
    EXPECT_EQ(U16(0x34C), 0);
    EXPECT_EQ(Store()[0x355], 0);
  }
}

TEST_F(MemorySettings, OverrideValuesAreAutomaticOrBetween800And2000) {
  for (auto [Key, Offset] : {std::pair<UINT16, UINT16>{0x46B, 0x3EB}, {0x46C, 0x3E9}})
    ExpectU16(TUNING, Key, Offset, {{1, 800}, {799, 0}, {2, 0}, {2001, 2000}, {0, 0}, {800, 800}, {1500, 1500}});
}

TEST_F(MemorySettings, TimingValuesKeepTheirRangeAndMinimum) {
  struct {
    UINT16 Key, Offset, Max, Min;
  } Rows[] = {
      {0x44E, 0x3AF, 15, 4}, {0x44F, 0x3B1, 20, 3},  {0x450, 0x3B3, 15, 4}, {0x451, 0x3B5, 63, 9},
      {0x453, 0x3B9, 511, 15}, {0x454, 0x3BB, 15, 4}, {0x455, 0x3BD, 15, 4}, {0x456, 0x3BF, 15, 4},
      {0x458, 0x3C3, 63, 10}, {0x459, 0x3C5, 15, 5},
  };
  for (auto& R : Rows) {
    ExpectU16(TUNING, R.Key, R.Offset,
              {{0, 0}, {1, R.Min}, {2, 0}, {(UINT16)(R.Min - 1), 0}, {R.Min, R.Min}, {R.Max, R.Max},
               {(UINT16)(R.Max + 1), R.Max}, {0xFFFF, R.Max}});
  }
  ExpectU16(TUNING, 0x457, 0x3C1, {{0, 1}, {5000, 4095}, {4095, 4095}, {1, 1}, {2, 2}});
  // The 8-bit pair with a minimum of 16 and no maximum.
  for (auto [Key, Offset] : {std::pair<UINT16, UINT16>{0x45D, 0x3CF}, {0x45E, 0x3D0}}) {
    for (auto [In, Out] : {std::pair<UINT8, UINT8>{1, 16}, {15, 0}, {2, 0}, {0, 0}, {16, 16}, {255, 255}}) {
      Store()[Offset] = In;
      EXPECT_EQ(Change(TUNING, Key), EFI_SUCCESS);
      EXPECT_EQ(Store()[Offset], Out) << std::hex << Key << std::dec << " " << (int)In;
    }
  }
  // No rule for 0x45B.
  ExpectU16(TUNING, 0x45B, 0x3C7, {{0xFFFF, 0xFFFF}, {1, 1}});
}

TEST_F(MemorySettings, OddTimingStepsOnInTheDirectionOfTheValueType) {
  ExpectU16(TUNING, 0x452, 0x3B7, {{9, 8}, {11, 10}, {15, 14}, {17, 16}, {3, 0}, {1, 5}, {10, 10}}, EFI_IFR_TYPE_NUM_SIZE_32);
  ExpectU16(TUNING, 0x452, 0x3B7, {{9, 10}, {13, 14}, {15, 16}, {17, 16}, {16, 16}, {1, 5}}, EFI_IFR_TYPE_NUM_SIZE_8);
  ExpectU16(TUNING, 0x452, 0x3B7, {{11, 12}}, EFI_IFR_TYPE_NUM_SIZE_16);
}

TEST_F(MemorySettings, FeatureBoundSelectionFollowsThePlatformFeature) {
  struct {
    UINT8 Bound, In, Out;
  } Cases[] = {{0, 2, 0}, {0, 3, 3}, {0, 0, 0}, {1, 2, 1}, {1, 1, 1}, {1, 0, 0}, {1, 4, 1}, {2, 1, 1}, {2, 3, 3}};
  for (UINT16 Key = 0x444; Key <= 0x447; ++Key) {
    for (auto& C : Cases) {
      MemoryPageState().NbFeatureSelect = C.Bound;
      Store()[0x354] = C.In;
      EXPECT_EQ(Change(MEMORY, Key), EFI_SUCCESS);
      EXPECT_EQ(Store()[0x354], C.Out) << std::hex << Key << std::dec << " " << (int)C.Bound << " " << (int)C.In;
    }
  }
}

TEST_F(MemorySettings, ASwitchedOnValueOf15OrMoreIsRefused) {
  Store()[0x45D] = 1;
  Store()[0x10] = 0x42;  // anything; a refusal hands nothing back
  const std::vector<UINT8> Before = Store();
  const auto Calls = Forms().Calls();
  EXPECT_EQ(Change(MEMORY, 0x442, EFI_IFR_TYPE_NUM_SIZE_8, 15), EFI_NOT_FOUND);
  EXPECT_EQ(Change(MEMORY, 0x442, EFI_IFR_TYPE_NUM_SIZE_8, 200), EFI_NOT_FOUND);
  // The value is read at its own width: a 16-bit 256 is not 0.
  EXPECT_EQ(Change(MEMORY, 0x442, EFI_IFR_TYPE_NUM_SIZE_16, 256), EFI_NOT_FOUND);
  EXPECT_EQ(Change(MEMORY, 0x442, EFI_IFR_TYPE_NUM_SIZE_32, 0x10000), EFI_NOT_FOUND);
  EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData);
  EXPECT_EQ(Store(), Before);

  EXPECT_EQ(Change(MEMORY, 0x442, EFI_IFR_TYPE_NUM_SIZE_8, 14), EFI_SUCCESS);
  EXPECT_EQ(Change(MEMORY, 0x442, EFI_IFR_TYPE_NUM_SIZE_16, 14), EFI_SUCCESS);
  Store()[0x45D] = 2;
  EXPECT_EQ(Change(MEMORY, 0x442, EFI_IFR_TYPE_NUM_SIZE_8, 15), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData + 3);
}

// Every key, with every other byte of the record set: only the fields its
// rule names may change.
TEST_F(MemorySettings, EachKeyWritesOnlyItsOwnFields) {
  auto Range = [](UINT16 Start, UINT16 Bytes) {
    std::set<UINT16> S;
    for (UINT16 i = 0; i < Bytes; ++i) S.insert(Start + i);
    return S;
  };
  std::set<UINT16> ResetFields = {0x3E2, 0x34C, 0x34D, 0x355};
  for (UINT16 Offset = 0x3AF; Offset < 0x3C7; ++Offset)
    if (Offset != 0x3C1 && Offset != 0x3C2) ResetFields.insert(Offset);
  std::map<UINT16, std::set<UINT16>> Allowed = {
      {0x42A, {0x32E}}, {0x42B, {0xB3}}, {0x441, {0xAA}}, {0x443, Range(0x2C1, 2)},
      {0x448, ResetFields}, {0x449, ResetFields}, {0x46B, Range(0x3EB, 2)}, {0x46C, Range(0x3E9, 2)},
      {0x45D, {0x3CF}}, {0x45E, {0x3D0}},
  };
  for (UINT16 Key = 0x444; Key <= 0x447; ++Key) Allowed[Key] = {0x354};
  const UINT16 TimingKeys[] = {0x44E, 0x44F, 0x450, 0x451, 0x452, 0x453, 0x454, 0x455, 0x456, 0x457, 0x458, 0x459};
  for (UINT16 i = 0; i < 12; ++i) Allowed[TimingKeys[i]] = Range(0x3AF + 2 * i, 2);

  struct {
    UINT16 Class;
    std::vector<UINT16> Keys;
  } Rows[] = {
      {MEMORY, {0x42A, 0x441, 0x442, 0x444, 0x445, 0x446, 0x447}},
      {ADVANCED, {0x42B}},
      {TUNING, {0x448, 0x449, 0x45C, 0x45F, 0x460, 0x461, 0x462, 0x463, 0x464, 0x465, 0x466, 0x467, 0x468, 0x469,
                0x46A, 0x443, 0x46E, 0x46F, 0x470, 0x46B, 0x46C, 0x46D, 0x44A, 0x44B, 0x44C, 0x44E, 0x44F, 0x450,
                0x451, 0x452, 0x453, 0x454, 0x455, 0x456, 0x458, 0x457, 0x459, 0x45B, 0x45D, 0x45E}},
  };
  MemoryPageState().NbFeatureSelect = 1;
  for (auto& Row : Rows) {
    for (UINT16 Key : Row.Keys) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Key);
      // Every byte differs from its neighbours and from what any rule writes.
      for (size_t i = 0; i < Store().size(); ++i) Store()[i] = (UINT8)(0x81 + i * 7);
      Store()[0x45D] = 0;  // keeps 0x442 from refusing
      Store()[0x1EF] = 1;
      Store()[0x3CF] = Store()[0x3D0] = 1;  // below their minimum
      const std::vector<UINT8> Before = Store();
      EXPECT_EQ(Change(Row.Class, Key), EFI_SUCCESS);
      const std::set<UINT16>& May = Allowed[Key];
      for (UINT16 i = 0; i < Store().size(); ++i)
        if (Store()[i] != Before[i]) EXPECT_TRUE(May.count(i)) << "byte 0x" << i << " changed";
      // Each rule that has fields does change one from this pattern.
      if (!May.empty()) EXPECT_NE(Store(), Before);
    }
  }
}

TEST_F(MemorySettings, HandlersAnswerOnlyTheirActions) {
  Store()[0xAA] = 5;
  SetU16(0x3AF, 99);
  SetU16(0x2C1, 1025);
  const auto Calls = Forms().Calls();
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGING, BROWSER_ACTION_REFRESH, (EFI_BROWSER_ACTION)2}) {
    EXPECT_EQ(Change(MEMORY, 0x42A, EFI_IFR_TYPE_NUM_SIZE_8, 0, Action), EFI_SUCCESS);
    EXPECT_EQ(Change(TUNING, 0x44E, EFI_IFR_TYPE_NUM_SIZE_8, 0, Action), EFI_SUCCESS);
  }
  EXPECT_EQ(Forms().Calls().GetBrowserData, Calls.GetBrowserData);
  EXPECT_EQ(Store()[0x32E], 0);
  EXPECT_EQ(U16(0x3AF), 99);
  // The graphics handler takes the refresh action as a change.
  EXPECT_EQ(Change(TUNING, 0x443, EFI_IFR_TYPE_NUM_SIZE_8, 0, EFI_BROWSER_ACTION_CHANGING), EFI_SUCCESS);
  EXPECT_EQ(U16(0x2C1), 1025);
  EXPECT_EQ(Change(TUNING, 0x443, EFI_IFR_TYPE_NUM_SIZE_8, 0, BROWSER_ACTION_REFRESH), EFI_SUCCESS);
  EXPECT_EQ(U16(0x2C1), 1000);
}

TEST_F(MemorySettings, AllocationFailureLeavesTheBrowserDataAlone) {
  Store()[0xAA] = 5;
  SetU16(0x3AF, 99);
  SetU16(0x2C1, 1025);
  const std::vector<UINT8> Before = Store();
  for (auto [Class, Key] : {std::pair<UINT16, UINT16>{MEMORY, 0x42A}, {TUNING, 0x443}, {TUNING, 0x44E}}) {
    M().Pool().FailAllocationAfter(0);
    EXPECT_EQ(Change(Class, Key), EFI_OUT_OF_RESOURCES) << std::hex << Key;
    M().Pool().ClearFailure();
  }
  EXPECT_EQ(Store(), Before);
}

class MemorySettingsWithoutModuleHob : public MemorySettings {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    std::erase_if(Profile.Hobs, [](const sim::GuidHobProfile& H) {
      return H.Guid == EFI_GUID{0x87F22DCB, 0x7304, 0x4105, {0xBB, 0x7C, 0x31, 0x71, 0x43, 0xCC, 0xC2, 0x3B}};
    });
  }
};

TEST_F(MemorySettingsWithoutModuleHob, GraphicsKeysHandNothingBack) {
  SetU16(0x2C1, 1025);
  Store()[0x32E] = 3;
  SetU16(0x3AF, 1);
  const auto Calls = Forms().Calls();
  EXPECT_EQ(Change(TUNING, 0x443), EFI_NOT_FOUND);
  EXPECT_EQ(Change(MEMORY, 0x441), EFI_NOT_FOUND);
  EXPECT_EQ(Change(TUNING, 0x448), EFI_NOT_FOUND);
  EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData);
  EXPECT_EQ(U16(0x2C1), 1025);
  EXPECT_EQ(Store()[0xAA], 0);
  // The timing handler does not need the HOB.
  EXPECT_EQ(Change(TUNING, 0x44E), EFI_SUCCESS);
  EXPECT_EQ(U16(0x3AF), 4);
}

}  // namespace
}  // namespace setupinfo_test
