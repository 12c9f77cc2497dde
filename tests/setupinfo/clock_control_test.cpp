// Clock control page: the refresh of the clock driver's record, the clock
// choice and its strings, the frequency rule, the two set operations and
// their message boxes, and the restart handshake at ready to boot, as the
// browser and the boot manager reach them.
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock_control.h"
#include "setupinfo/pages/platform/clock_control.h"
#include "setupinfo/pages/platform/clock_info.h"
#include "setupinfo/pages/platform/icc_message.h"
#include "setupinfo_fixture.h"
#include "sim/peers/clock_peers.h"
#include "sim/peers/message_box_peer.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 ADVANCED = 0x4;
constexpr size_t RECORD = sizeof(ICC_ADVANCED_SETUP_DATA);

// Keys of clock n.
UINT16 FrequencyKey(UINT8 N) { return UINT16(0x4C8 + 5 * N); }
UINT16 ApplyAKey(UINT8 N) { return UINT16(0x4C9 + 5 * N); }
UINT16 ApplyBKey(UINT8 N) { return UINT16(0x4CB + 5 * N); }
UINT16 SelectKey(UINT8 N) { return UINT16(0x4C0 + N); }

class ClockPage : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    Clocks = std::make_unique<sim::ClockControlPeer>(M().Profile().Clocks);
    Phase = std::make_unique<sim::BootPhasePeer>(M().Profile().Clocks);
    Boxes = std::make_unique<sim::MessageBoxPeer>(M().Profile().MessageBox);
    if (InstallClocks()) {
      ASSERT_EQ(Clocks->Install(BS()), EFI_SUCCESS);
      ASSERT_EQ(Clocks->WriteSetupData(RT()), EFI_SUCCESS);
    }
    ASSERT_EQ(Phase->Install(BS()), EFI_SUCCESS);
    if (M().Profile().MessageBox.Present) ASSERT_EQ(Boxes->Install(BS()), EFI_SUCCESS);
    BeforeLoad();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    Browser().AddStore(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }

  virtual bool InstallClocks() { return true; }
  virtual void BeforeLoad() {}

  EFI_STATUS Change(UINT16 Key, UINT16 Through = ADVANCED) {
    EFI_IFR_TYPE_VALUE Value{};
    return Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Key, EFI_IFR_TYPE_NUM_SIZE_16, Value);
  }

  std::vector<UINT8>* Store() { return Browser().StoreBytes(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID); }
  UINT16 StoreFrequency(UINT8 Clock) { return UINT16((*Store())[2 * Clock] | (*Store())[2 * Clock + 1] << 8); }
  void SetStoreFrequency(UINT8 Clock, UINT16 Value) {
    (*Store())[2 * Clock] = UINT8(Value);
    (*Store())[2 * Clock + 1] = UINT8(Value >> 8);
  }

  std::u16string Page(UINT16 Id) { return HiiText(FormSetHandle(ADVANCED), Id); }
  void Mark(std::initializer_list<UINT16> Ids) {
    for (UINT16 Id : Ids) SetHiiText(FormSetHandle(ADVANCED), Id, "en-US", u"-");
  }

  std::u16string BoxText(size_t I) { return I < Boxes->Boxes.size() ? Boxes->Boxes[I].Text : u"<no box>"; }

  std::vector<UINT8> Stored(const std::u16string& Name, const EFI_GUID& Guid) {
    const auto* V = M().Variables().Find(Name, Guid);
    return V ? V->Data : std::vector<UINT8>{};
  }
  bool Exists(const std::u16string& Name, const EFI_GUID& Guid) { return M().Variables().Find(Name, Guid) != nullptr; }

  size_t CallsOf(int Operation) {
    size_t N = 0;
    for (auto& C : Clocks->Calls) N += C.Operation == Operation;
    return N;
  }

  std::unique_ptr<sim::ClockControlPeer> Clocks;
  std::unique_ptr<sim::BootPhasePeer> Phase;
  std::unique_ptr<sim::MessageBoxPeer> Boxes;
};

// ---- Refresh ---------------------------------------------------------------

TEST_F(ClockPage, RefreshFillsEveryClockOnceAndStoresTheRecord) {
  Store()->assign(RECORD, 0xEE);
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  EXPECT_EQ(Page(STR_ICC_VERSION), u"9.1.4.1102");
  EXPECT_TRUE(Boxes->Boxes.empty());

  const auto* D = (const ICC_ADVANCED_SETUP_DATA*)Store()->data();
  EXPECT_EQ(D->Frequency[0], 10000);
  EXPECT_EQ(D->SpreadMode[0], 0);  // protocol 4 = "Down"
  EXPECT_EQ(D->Spread[0], 50);
  EXPECT_EQ(D->SpreadChange[0], 1);
  EXPECT_EQ(D->FrequencyAdjustable[0], 1);
  EXPECT_EQ(D->FrequencyAdjustable[1], 0);  // fixed 100 MHz
  EXPECT_EQ(D->Frequency[2], 3333);
  EXPECT_EQ(D->SpreadMode[2], 3);  // "None"
  // Clock 7 has no usage: not adjustable whatever else it says.
  EXPECT_EQ(D->SpreadChange[6], 0);
  EXPECT_EQ(D->FrequencyAdjustable[6], 0);
  EXPECT_EQ(D->SettingsOffered, 1);
  // Bytes the page does not own pass through.
  EXPECT_EQ(D->Reserved38[0], 0xEE);
  EXPECT_EQ(D->Option[0], 0xEE);
  EXPECT_EQ(D->Reserved48, 0xEE);

  // The same bytes went to the variable store, with attributes 7.
  const auto* V = M().Variables().Find(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID);
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(V->Attributes, 7u);
  EXPECT_EQ(V->Data, *Store());

  // Once per boot.
  const auto Reads = Forms().Calls().GetBrowserData;
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Reads);
}

TEST_F(ClockPage, RefreshActsOnlyForChanged) {
  EFI_IFR_TYPE_VALUE Value{};
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGING, EFI_BROWSER_ACTION_RETRIEVE}) {
    EXPECT_EQ(Browser().Callback(ADVANCED, Action, KEY_CLOCK_PAGE_REFRESH, EFI_IFR_TYPE_NUM_SIZE_8, Value),
              EFI_SUCCESS);
  }
  EXPECT_EQ(Forms().Calls().GetBrowserData, 0u);
  EXPECT_TRUE(Clocks->Calls.empty());
}

// A clock that cannot be read keeps the browser's values and is not
// offered as adjustable.
TEST_F(ClockPage, AnUnreadableClockKeepsItsValuesAndIsOfferedFixed) {
  Store()->assign(RECORD, 0x33);
  Clocks->CapabilitiesLibStatus = 4;
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  const auto* D = (const ICC_ADVANCED_SETUP_DATA*)Store()->data();
  for (UINT8 Clock = 0; Clock < ICC_CLOCK_COUNT; ++Clock) {
    SCOPED_TRACE(int(Clock));
    EXPECT_EQ(D->Frequency[Clock], 0x3333);
    EXPECT_EQ(D->SpreadMode[Clock], 0x33);
    EXPECT_EQ(D->SpreadChange[Clock], 0);
    EXPECT_EQ(D->FrequencyAdjustable[Clock], 0);
  }
  EXPECT_EQ(D->SettingsOffered, 1);
  EXPECT_TRUE(Boxes->Boxes.empty());
}

TEST_F(ClockPage, LibraryFailureOfTheInfoShowsTwoNoticesAndOffersNothing) {
  Clocks->InfoLibStatus = 9;
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  ASSERT_EQ(Boxes->Boxes.size(), 2u);
  EXPECT_EQ(Boxes->Boxes[0].Title, u"Intel ICC");
  EXPECT_EQ(Boxes->Boxes[0].Kind, MESSAGE_BOX_NOTICE);
  EXPECT_EQ(BoxText(0), u"The clock generator could not be read (status 0x9).");
  EXPECT_EQ(BoxText(1), u"The clock generator could not be read (status 0x8000000000000007).");
  EXPECT_EQ((*Store())[0x49], 0);
  EXPECT_EQ(Stored(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID), *Store());
}

// Setup gates the refresh: missing, or of any size but its own, it fails.
TEST_F(ClockPage, WithoutAWholeSetupTheRefreshFailsAndLeavesTheOfferAsItWas) {
  struct Case {
    int Size;
    const char16_t* Text;
  } Cases[] = {{-1, u"The clock generator could not be read (status 0x800000000000000e)."},
               {1171, u"The clock generator could not be read (status 0x8000000000000004)."},
               {1173, u"The clock generator could not be read (status 0x8000000000000005)."}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Size);
    ClockControlState().RefreshPending = 1;
    Boxes->Boxes.clear();
    M().Variables().Erase(u"Setup", SETUP_VARIABLE_GUID);
    if (C.Size >= 0) M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, 7, std::vector<UINT8>(C.Size, 0));
    (*Store())[0x49] = 1;
    ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
    ASSERT_EQ(Boxes->Boxes.size(), 1u);
    EXPECT_EQ(BoxText(0), C.Text);
    EXPECT_EQ((*Store())[0x49], 1);
    EXPECT_TRUE(Clocks->Calls.empty());
  }
}

// The browser's record must be whole: a missing, short or long copy is
// never written to the store nor handed back, and the refresh stays pending.
class ClockPageStoreSizes : public ClockPage, public testing::WithParamInterface<int> {};

TEST_P(ClockPageStoreSizes, OnlyAWholeRecordIsRefreshed) {
  const int Size = GetParam();
  M().Variables().Erase(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID);
  Browser().Close();
  if (Size >= 0)
    M().Variables().Put(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID, 7, std::vector<UINT8>(Size, 0x5A));
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  const size_t Logged = M().Variables().SetLog().size();
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  EXPECT_EQ(M().Variables().SetLog().size(), Logged);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 0u);
  EXPECT_TRUE(Boxes->Boxes.empty());

  // The next visit with a whole record does the refresh.
  Browser().Close();
  M().Variables().Put(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID, 7, std::vector<UINT8>(RECORD, 0));
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  EXPECT_EQ((*Store())[0x49], 1);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 1u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ClockPageStoreSizes, testing::Values(-1, 0, 1, int(RECORD) - 1, int(RECORD) + 1));

TEST_F(ClockPage, AfterTheBootPhaseSaysReadyToBootTheNoticeComesOnceAndNothingIsOffered) {
  Phase->SetAfterReadyToBoot(true);
  (*Store())[0x49] = 1;
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  ASSERT_EQ(Boxes->Boxes.size(), 1u);
  EXPECT_EQ(BoxText(0), u"Clock settings are not offered once the system is ready to boot.");
  EXPECT_EQ((*Store())[0x49], 0);
  EXPECT_EQ(Stored(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID)[0x49], 0);
  EXPECT_TRUE(Clocks->Calls.empty());
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  EXPECT_EQ(Boxes->Boxes.size(), 1u);
}

// AfterReadyToBoot: one byte; missing, empty or longer is not read.
TEST_F(ClockPage, AfterReadyToBootVariableStopsTheOfferOnlyWhenItReadsAsOneByte) {
  struct Case {
    std::vector<UINT8> Bytes;
    UINT8 Offered;
  } Cases[] = {{{}, 1}, {{1, 0}, 1}, {{0}, 1}, {{1}, 0}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << "size " << C.Bytes.size());
    ClockControlState() = CLOCK_CONTROL_STATE{};
    M().Variables().Put(AFTER_READY_TO_BOOT_NAME, ICC_SETUP_DATA_GUID, 6, C.Bytes);
    Clocks->Calls.clear();
    ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
    EXPECT_EQ((*Store())[0x49], C.Offered);
    // Not offered: the clocks are not read.
    EXPECT_EQ(CallsOf(3), C.Offered ? ICC_CLOCK_COUNT : 0u);
  }
}

class ClockPageWithoutProtocol : public ClockPage {
 protected:
  bool InstallClocks() override { return false; }
};

TEST_F(ClockPageWithoutProtocol, RefreshShowsTheLocateFailureAndKeepsTheOffer) {
  Browser().CreateStore(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID, std::vector<UINT8>(RECORD, 0), 7);
  (*Store())[0x49] = 1;
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  ASSERT_EQ(Boxes->Boxes.size(), 1u);
  EXPECT_EQ(BoxText(0), u"The clock generator could not be read (status 0x800000000000000e).");
  EXPECT_EQ((*Store())[0x49], 1);
}

// A selection kept from before, with no protocol to ask: nothing is called
// through, fetched or handed back.
TEST_F(ClockPageWithoutProtocol, HandlersWithAChosenClockButNoProtocolDoNothing) {
  Browser().CreateStore(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID, std::vector<UINT8>(RECORD, 0), 7);
  ClockControlState().SelectedClock = 2;
  ClockControlState().Selected.MaxFrequency = 20000;
  ClockControlState().Selected.MinFrequency = 100;
  for (UINT16 Key : {FrequencyKey(2), ApplyAKey(2), ApplyBKey(2), SelectKey(3)}) {
    SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Key);
    EXPECT_EQ(Change(Key), EFI_SUCCESS);
  }
  EXPECT_EQ(Forms().Calls().GetBrowserData, 0u);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 0u);
  EXPECT_TRUE(Boxes->Boxes.empty());
  // The choice was not taken without the protocol; once it comes, it is.
  EXPECT_EQ(ClockControlState().SelectedClock, 2);
  ASSERT_EQ(Clocks->Install(BS()), EFI_SUCCESS);
  EXPECT_EQ(Change(SelectKey(3)), EFI_SUCCESS);
  EXPECT_EQ(ClockControlState().SelectedClock, 3);
  EXPECT_EQ(Page(STR_CLOCK_NAME), u"Clock4");
}

// ---- Selection --------------------------------------------------------------

TEST_F(ClockPage, ChoosingAClockShowsItsFactsAndWrapsTheUsageAfterTheSeparator) {
  ASSERT_EQ(Change(SelectKey(0)), EFI_SUCCESS);
  EXPECT_EQ(Page(STR_CLOCK_NAME), u"Clock1");
  EXPECT_EQ(Page(STR_CLOCK_USAGE_FIRST), u"BCLK, DMI, PEG, PCIe, ");
  EXPECT_EQ(Page(STR_CLOCK_USAGE_SECOND), u"SATA, USB3");
  EXPECT_EQ(Page(STR_CLOCK_MAX_FREQUENCY), u"110.00 MHz");
  EXPECT_EQ(Page(STR_CLOCK_MIN_FREQUENCY), u"90.00 MHz");
  EXPECT_EQ(Page(STR_CLOCK_CURRENT_FREQUENCY), u"100.00 MHz");
  EXPECT_EQ(Page(STR_CLOCK_SPREAD_MODES), u"Down Center  ");
  EXPECT_EQ(Page(STR_CLOCK_SPREAD_MODE), u"Down");
  EXPECT_EQ(Page(STR_CLOCK_MAX_SPREAD), u"0.50%");
  EXPECT_EQ(Page(STR_CLOCK_CURRENT_SPREAD), u"0.50%");

  // A short usage fits one line and clears the second.
  ASSERT_EQ(Change(SelectKey(2)), EFI_SUCCESS);
  EXPECT_EQ(Page(STR_CLOCK_USAGE_FIRST), u"PCI33");
  EXPECT_EQ(Page(STR_CLOCK_USAGE_SECOND), u"");
  EXPECT_EQ(Page(STR_CLOCK_CURRENT_FREQUENCY), u"33.33 MHz");
  EXPECT_EQ(Page(STR_CLOCK_SPREAD_MODES), u"   ");
  EXPECT_EQ(Page(STR_CLOCK_SPREAD_MODE), u"None");

  ASSERT_EQ(Change(SelectKey(3)), EFI_SUCCESS);
  EXPECT_EQ(Page(STR_CLOCK_USAGE_FIRST), u"IGD, IGD Bending");
  EXPECT_EQ(Page(STR_CLOCK_SPREAD_MODES), u"Down Center Up ");
  EXPECT_EQ(Page(STR_CLOCK_MAX_SPREAD), u"1.00%");
}

TEST_F(ClockPage, UsageMaskZeroIsNotUsedWhileOnlyUnnamedBitsShowNothing) {
  ASSERT_EQ(Change(SelectKey(6)), EFI_SUCCESS);
  EXPECT_EQ(Page(STR_CLOCK_USAGE_FIRST), u"Not used");
  Clocks->Clocks[7].Capabilities.UsageMask = 0xC000;
  ASSERT_EQ(Change(SelectKey(7)), EFI_SUCCESS);
  EXPECT_EQ(Page(STR_CLOCK_USAGE_FIRST), u"");
  EXPECT_EQ(Page(STR_CLOCK_USAGE_SECOND), u"");
}

TEST_F(ClockPage, ChoosingTheChosenClockAgainChangesNothing) {
  ASSERT_EQ(Change(SelectKey(1)), EFI_SUCCESS);
  Clocks->Calls.clear();
  const auto Sets = Forms().Calls().SetHiiString;
  ASSERT_EQ(Change(SelectKey(1), FORM_SET_CLASS_MAIN), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().SetHiiString, Sets);
  EXPECT_TRUE(Clocks->Calls.empty());
}

TEST_F(ClockPage, AnUnreadableClockIsNotChosenAndTheOneBeforeIsLetGo) {
  ASSERT_EQ(Change(SelectKey(0)), EFI_SUCCESS);
  Clocks->SettingsLibStatus = 4;
  Mark({STR_CLOCK_NAME});
  ASSERT_EQ(Change(SelectKey(1)), EFI_SUCCESS);
  EXPECT_EQ(ClockControlState().SelectedClock, CLOCK_NONE_SELECTED);
  EXPECT_EQ(Page(STR_CLOCK_NAME), u"-");
  // With no clock chosen the settings keys are ignored.
  Clocks->SettingsLibStatus = 0;
  Clocks->Calls.clear();
  const auto Reads = Forms().Calls().GetBrowserData;
  for (UINT16 Key : {FrequencyKey(0), ApplyAKey(0), ApplyBKey(1)}) EXPECT_EQ(Change(Key), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Reads);
  EXPECT_TRUE(Clocks->Calls.empty());
}

TEST(UsageText, EachBreakStartsTheTextAgainAndTheLastTwoLinesAreShown) {
  USAGE_TEXT Text;
  // Lines: "BCLK, DMI, PEG, PCIe, " / "PCI33, RESERVED, SATA, " / "USB3, IGD, IGD Bending, " /
  // "RESERVED, GFX, USB Legacy, " (a name ending exactly at the limit stays) / "PCH Legacy".
  BuildUsageText(0xFFFF, &Text);
  EXPECT_TRUE(Text.Wrapped);
  EXPECT_EQ(std::u16string(Text.First), u"RESERVED, GFX, USB Legacy, ");
  EXPECT_EQ(std::u16string(Text.Second), u"PCH Legacy");
  BuildUsageText(0x00FF, &Text);
  EXPECT_EQ(std::u16string(Text.First), u"PCI33, RESERVED, SATA, ");
  EXPECT_EQ(std::u16string(Text.Second), u"USB3");
  // Exactly at the limit still fits the first line.
  BuildUsageText(0x0001 | 0x0020 | 0x0004 | 0x0002, &Text);  // "BCLK, DMI, PEG, RESERVED" = 24
  EXPECT_FALSE(Text.Wrapped);
  BuildUsageText(0x0200 | 0x1000, &Text);  // "IGD Bending, " + "USB Legacy" = 23
  EXPECT_FALSE(Text.Wrapped);
  BuildUsageText(0x0200 | 0x1000 | 0x0008, &Text);
  EXPECT_EQ(std::u16string(Text.First), u"PCIe, IGD Bending, ");
  EXPECT_EQ(std::u16string(Text.Second), u"USB Legacy");
}

TEST(SpreadModes, ConvertBothWaysAndRefuseUnknownIndices) {
  const std::pair<UINT8, UINT32> Pairs[] = {{0, 4}, {1, 2}, {2, 1}, {3, 0}};
  for (auto [Index, Protocol] : Pairs) {
    UINT32 Out = 0xAA;
    ASSERT_TRUE(SpreadProtocolFromIndex(Index, &Out));
    EXPECT_EQ(Out, Protocol);
    EXPECT_EQ(SpreadIndexFromProtocol(UINT8(Protocol)), Index);
  }
  for (UINT8 Index : {4, 5, 0x80, 0xFF}) {
    UINT32 Out = 0xAA;
    EXPECT_FALSE(SpreadProtocolFromIndex(Index, &Out));
    EXPECT_EQ(Out, 0xAAu);
  }
  for (UINT8 Protocol : {3, 5, 8, 0xFF}) EXPECT_EQ(SpreadIndexFromProtocol(Protocol), SPREAD_INDEX_NONE);
}

// ---- Frequency ------------------------------------------------------------

TEST_F(ClockPage, TypedFrequencyIsKeptInRangeAndOnAProducibleValue) {
  ASSERT_EQ(Change(SelectKey(0)), EFI_SUCCESS);  // 90.00 to 110.00 MHz, 50 kHz steps
  struct Case {
    UINT16 Typed;
    UINT16 Kept;
    bool AsksTheProtocol;
  } Cases[] = {{11000, 11000, false}, {11001, 11000, false}, {65535, 11000, false}, {9000, 9000, false},
               {8999, 9000, false},   {0, 9000, false},      {10012, 10010, true},  {9001, 9000, true},
               {10999, 10995, true}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Typed);
    SetStoreFrequency(0, C.Typed);
    Clocks->Calls.clear();
    ASSERT_EQ(Change(FrequencyKey(0)), EFI_SUCCESS);
    EXPECT_EQ(StoreFrequency(0), C.Kept);
    EXPECT_EQ(CallsOf(11) + CallsOf(12), C.AsksTheProtocol ? 2u : 0u);
  }
  // The frequency key of another clock still acts on the chosen one.
  SetStoreFrequency(0, 12000);
  SetStoreFrequency(3, 12000);
  ASSERT_EQ(Change(FrequencyKey(3)), EFI_SUCCESS);
  EXPECT_EQ(StoreFrequency(0), 11000);
  EXPECT_EQ(StoreFrequency(3), 12000);
}

TEST_F(ClockPage, AFailedResolveKeepsTheTypedValueAndASuccessfulOneIsTakenAsItStands) {
  ASSERT_EQ(Change(SelectKey(0)), EFI_SUCCESS);
  Clocks->ResolveLibStatus = 3;
  SetStoreFrequency(0, 10012);
  ASSERT_EQ(Change(FrequencyKey(0)), EFI_SUCCESS);
  EXPECT_EQ(StoreFrequency(0), 10012);

  // What the producer resolves is stored, truncated to 10 kHz units.
  Clocks->ResolveLibStatus = 0;
  Clocks->Clocks[0].StepHz = 200000000;  // rounds every request down to 0 Hz
  SetStoreFrequency(0, 10012);
  ASSERT_EQ(Change(FrequencyKey(0)), EFI_SUCCESS);
  EXPECT_EQ(StoreFrequency(0), 0);
}

// ---- Apply ----------------------------------------------------------------

class ClockApply : public ClockPage {
 protected:
  void SetUp() override {
    ClockPage::SetUp();
    ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
    ASSERT_EQ(Change(SelectKey(0)), EFI_SUCCESS);
    Boxes->Boxes.clear();
    Clocks->Calls.clear();
  }
  ICC_ADVANCED_SETUP_DATA* Data() { return (ICC_ADVANCED_SETUP_DATA*)Store()->data(); }
};

TEST_F(ClockApply, ModeASubmitsTheBrowserSettingsAndReportsSuccess) {
  Data()->Frequency[0] = 10250;
  Data()->SpreadMode[0] = 1;  // "Center"
  Data()->Spread[0] = 0x0119;  // only the low byte is submitted
  Data()->Option[0] = 0x5C;
  Clocks->Clocks[0].Capabilities.MaxSpread = 0x30;
  const std::vector<UINT8> Before = *Store();
  const auto Writes = Forms().Calls().SetBrowserData;
  ASSERT_EQ(Change(ApplyAKey(0)), EFI_SUCCESS);

  const ICC_CLOCK_SETTINGS& S = Clocks->Clocks[0].Settings;
  EXPECT_EQ(S.Frequency, 102500000u);
  EXPECT_EQ(S.SpreadMode, ICC_SPREAD_CENTER);
  EXPECT_EQ(S.Spread, 0x19);
  EXPECT_EQ(S.Option, 0x5Cu);
  EXPECT_EQ(CallsOf(5), 1u);
  EXPECT_EQ(CallsOf(7), 0u);
  ASSERT_EQ(Boxes->Boxes.size(), 1u);
  EXPECT_EQ(Boxes->Boxes[0].Kind, MESSAGE_BOX_NOTICE);
  EXPECT_EQ(BoxText(0), u"The clock settings are applied (status 0).");
  // The page shows the clock as it now runs; the browser's data is left.
  EXPECT_EQ(Page(STR_CLOCK_CURRENT_FREQUENCY), u"102.50 MHz");
  EXPECT_EQ(Page(STR_CLOCK_SPREAD_MODE), u"Center");
  EXPECT_EQ(Page(STR_CLOCK_CURRENT_SPREAD), u"0.25%");
  EXPECT_EQ(*Store(), Before);
  EXPECT_EQ(Forms().Calls().SetBrowserData, Writes);
}

TEST_F(ClockApply, ModeBUsesTheSecondOperationAndItsOwnNotice) {
  Data()->Frequency[0] = 9500;
  ASSERT_EQ(Change(ApplyBKey(5)), EFI_SUCCESS);  // any clock's key: the chosen clock
  EXPECT_EQ(CallsOf(7), 1u);
  EXPECT_EQ(Clocks->Clocks[0].Settings.Frequency, 95000000u);
  EXPECT_EQ(Clocks->Clocks[5].Settings.Frequency, 48000000u);
  EXPECT_EQ(BoxText(0), u"The clock settings are applied and kept (status 0).");
}

TEST_F(ClockApply, AModeByteBeyondTheFourModesKeepsTheClocksOwnMode) {
  for (UINT8 Mode : {4, 0x7F, 0xFF}) {
    SCOPED_TRACE(int(Mode));
    Data()->SpreadMode[0] = Mode;
    Data()->Frequency[0] = 10100;
    ASSERT_EQ(Change(ApplyAKey(0)), EFI_SUCCESS);
    EXPECT_EQ(Clocks->Clocks[0].Settings.SpreadMode, ICC_SPREAD_DOWN);
    EXPECT_EQ(Clocks->Clocks[0].Settings.Frequency, 101000000u);
  }
}

TEST_F(ClockApply, ModeAFailureIsSilentWhileModeBAsksFirst) {
  Clocks->SetLibStatusA = 6;
  ASSERT_EQ(Change(ApplyAKey(0)), EFI_SUCCESS);
  EXPECT_TRUE(Boxes->Boxes.empty());

  // Mode B: the question, then (answer 0 = go on) the reason.
  Clocks->SetLibStatusB = 6;
  Boxes->Answers = {0};
  ASSERT_EQ(Change(ApplyBKey(0)), EFI_SUCCESS);
  ASSERT_EQ(Boxes->Boxes.size(), 2u);
  EXPECT_EQ(Boxes->Boxes[0].Kind, MESSAGE_BOX_CONFIRM);
  EXPECT_EQ(BoxText(0), u"The clock settings were not accepted (status 6). Show the reason?");
  EXPECT_EQ(BoxText(1), u"Clock1: the frequency is out of range.");

  // Any other answer ends it there.
  Boxes->Boxes.clear();
  Boxes->Answers = {1};
  ASSERT_EQ(Change(ApplyBKey(0)), EFI_SUCCESS);
  EXPECT_EQ(Boxes->Boxes.size(), 1u);
}

TEST_F(ClockApply, EveryLibraryStatusGetsItsMessage) {
  struct Case {
    UINT32 Status;
    const char16_t* Text;
    UINT8 Kind;
  } Cases[] = {
      {5, u"Clock1: no such clock.", 1},
      {6, u"Clock1: the frequency is out of range.", 1},
      {7, u"Clock1: this spread mode is not allowed.", 1},
      {8, u"Clock1: this frequency is not allowed.", 1},
      {10, u"Clock1: the clock is busy.", 1},
      {11, u"Clock1: the spread is out of range.", 1},
      {12, u"Clock1: the spread is out of range.", 1},
      {13, u"Clock1: the clock is disabled.", 1},
      {15, u"Clock1: the new settings take effect after a restart.", 2},
      {17, u"The clock settings are locked (status 17).", 1},
      {18, u"The clock generator is not available (status 18).", 1},
      {19, u"The clock generator is not available (status 19).", 1},
      {1, u"The clock settings failed (status 1).", 1},
      {9, u"The clock settings failed (status 9).", 1},
      {14, u"The clock settings failed (status 14).", 1},
      {0xFFFFFFFF, u"The clock settings failed (status -1).", 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Status);
    Clocks->SetLibStatusB = C.Status;
    Boxes->Boxes.clear();
    Boxes->Answers = {0, 0};
    ASSERT_EQ(Change(ApplyBKey(0)), EFI_SUCCESS);
    ASSERT_EQ(Boxes->Boxes.size(), 2u);
    EXPECT_EQ(BoxText(1), C.Text);
    EXPECT_EQ(Boxes->Boxes[1].Kind, C.Kind);
  }
}

TEST_F(ClockApply, AnUnreadableClockIsReportedAndNothingIsSubmitted) {
  Clocks->SettingsLibStatus = 13;
  ASSERT_EQ(Change(ApplyAKey(0)), EFI_SUCCESS);
  EXPECT_EQ(CallsOf(5), 0u);
  ASSERT_EQ(Boxes->Boxes.size(), 1u);
  EXPECT_EQ(BoxText(0), u"Clock1: the clock is disabled.");
}

TEST_F(ClockApply, ALongMessageGrowsItsBufferAndAHugeOneIsCut) {
  SetHiiText(FormSetHandle(ADVANCED), MSG_ICC_APPLIED_A, "en-US", u"%0120d!");
  ASSERT_EQ(Change(ApplyAKey(0)), EFI_SUCCESS);
  EXPECT_EQ(BoxText(0), std::u16string(120, u'0') + u"!");

  SetHiiText(FormSetHandle(ADVANCED), MSG_ICC_APPLIED_A, "en-US", u"%999999d");
  ASSERT_EQ(Change(ApplyAKey(0)), EFI_SUCCESS);
  EXPECT_EQ(BoxText(1).size(), ICC_MESSAGE_BUFFER_LIMIT / 2 - 1);
}

class ClockApplyWithoutBoxes : public ClockApply {
 protected:
  void Customise(sim::BoardProfile& Profile) override { Profile.MessageBox.Present = false; }
};

TEST_F(ClockApplyWithoutBoxes, SettingsAreStillSubmittedAndAnUnansweredQuestionGoesNoFurther) {
  Data()->Frequency[0] = 10300;
  ASSERT_EQ(Change(ApplyAKey(0)), EFI_SUCCESS);
  EXPECT_EQ(Clocks->Clocks[0].Settings.Frequency, 103000000u);
  Clocks->SetLibStatusB = 6;
  ASSERT_EQ(Change(ApplyBKey(0)), EFI_SUCCESS);
  EXPECT_TRUE(Boxes->Boxes.empty());
}

// ---- Allocation failure -----------------------------------------------------

// Each pool allocation of each handler fails in turn: nothing is half
// done (no record handed back, no variable written) and nothing leaks.
TEST_F(ClockPage, EveryAllocationFailureLeavesTheBrowserAndTheStoreAlone) {
  struct Step {
    UINT16 Key;
    bool Writes;
  } Steps[] = {{KEY_CLOCK_PAGE_REFRESH, true}, {FrequencyKey(0), true}, {ApplyAKey(0), false}};
  ASSERT_EQ(Change(SelectKey(0)), EFI_SUCCESS);
  for (const Step& S : Steps) {
    for (size_t N = 0;; ++N) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << S.Key << " allocation " << std::dec << N);
      ClockControlState().RefreshPending = 1;
      SetStoreFrequency(0, 12345);
      const size_t Logged = M().Variables().SetLog().size();
      const auto Writes = Forms().Calls().SetBrowserData;
      const size_t Boxes0 = Boxes->Boxes.size();
      const size_t Live = M().LiveAllocationCount();
      M().Pool().FailAllocationAfter(N);
      ASSERT_EQ(Change(S.Key), EFI_SUCCESS);
      const bool Failed = !M().Pool().FailurePending();
      M().Pool().ClearFailure();
      EXPECT_EQ(M().LiveAllocationCount(), Live);
      if (!Failed) break;
      if (N == 0) {
        // The browser's copy is the first allocation: nothing at all happens.
        EXPECT_EQ(Forms().Calls().SetBrowserData, Writes);
        EXPECT_EQ(M().Variables().SetLog().size(), Logged);
        EXPECT_EQ(Boxes->Boxes.size(), Boxes0);
        EXPECT_EQ(StoreFrequency(0), 12345);
      } else {
        // Later ones are the message's: the work is whole, only its box is missing.
        EXPECT_EQ(Forms().Calls().SetBrowserData - Writes, S.Writes ? 1u : 0u);
      }
    }
  }
}

// ---- Ready to boot ------------------------------------------------------------

class ClockHandshake : public ClockPage {
 protected:
  void BeforeLoad() override {
    if (Initial) M().Variables().Put(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID, 7, *Initial);
  }
  std::optional<std::vector<UINT8>> Initial;
  std::vector<UINT8> Persistent() { return Stored(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID); }
};

class ClockHandshakeSeen : public ClockHandshake {
 protected:
  void SetUp() override {
    Initial = std::vector<UINT8>{1};
    ClockHandshake::SetUp();
  }
};

TEST_F(ClockHandshakeSeen, ARequestSeenAtLoadIsClearedAtReadyToBootWithoutARestart) {
  EXPECT_EQ(Persistent(), std::vector<UINT8>{2});
  EXPECT_EQ(M().Variables().Find(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID)->Attributes, 7u);
  M().SignalReadyToBoot();
  EXPECT_EQ(Persistent(), std::vector<UINT8>{0});
  EXPECT_FALSE(M().ResetRequest().has_value());
  // The point has passed: the page offers nothing.
  ASSERT_EQ(Change(KEY_CLOCK_PAGE_REFRESH), EFI_SUCCESS);
  EXPECT_EQ((*Store())[0x49], 0);
  EXPECT_EQ(BoxText(0), u"Clock settings are not offered once the system is ready to boot.");
}

TEST_F(ClockHandshakeSeen, ARequestMadeAfterLoadRestartsColdAtReadyToBoot) {
  M().Variables().Put(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID, 7, {1});
  M().SignalReadyToBoot();
  ASSERT_TRUE(M().ResetRequest().has_value());
  EXPECT_EQ(M().ResetRequest()->Type, EfiResetCold);
  EXPECT_EQ(M().ResetRequest()->Status, EFI_SUCCESS);
  EXPECT_TRUE(M().ResetRequest()->Data.empty());
  // The event is closed: a second signal does nothing more.
  M().Variables().Put(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID, 7, {2});
  M().SignalReadyToBoot();
  EXPECT_EQ(Persistent(), std::vector<UINT8>{2});
}

// Only one byte of value 1 restarts; only one byte of value 2 is cleared.
TEST_F(ClockHandshake, OnlyAOneByteValueOfOneRestartsAndOnlyTwoIsCleared) {
  struct Case {
    std::vector<UINT8> Bytes;
    bool Restarts;
    std::vector<UINT8> After;
  } Cases[] = {{{0}, false, {0}},       {{3}, false, {3}},       {{0xFF}, false, {0xFF}},
               {{1, 0}, false, {1, 0}}, {{2, 0}, false, {2, 0}}, {{}, false, {}}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << "size " << C.Bytes.size());
    M().Variables().Put(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID, 7, C.Bytes);
    OnIccReadyToBoot(nullptr, nullptr);
    EXPECT_EQ(M().ResetRequest().has_value(), C.Restarts);
    EXPECT_EQ(Persistent(), C.After);
  }
  // And a missing one is nothing pending.
  M().Variables().Erase(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID);
  OnIccReadyToBoot(nullptr, nullptr);
  EXPECT_FALSE(M().ResetRequest().has_value());
  EXPECT_FALSE(Exists(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID));
}

TEST_F(ClockHandshake, TheInitialiserActsOnceAndForTheClockFormSetOnly) {
  M().Variables().Put(ICC_PERSISTENT_DATA_NAME, ICC_PERSISTENT_DATA_GUID, 7, {1});
  // Already initialised at load: a second call leaves the request.
  InitClockControl(FormSetHandle(ADVANCED), ADVANCED);
  EXPECT_EQ(Persistent(), std::vector<UINT8>{1});
  ClockControlState() = CLOCK_CONTROL_STATE{};
  InitClockControl(FormSetHandle(FORM_SET_CLASS_MAIN), FORM_SET_CLASS_MAIN);
  EXPECT_EQ(Persistent(), std::vector<UINT8>{1});
  InitClockControl(FormSetHandle(ADVANCED), ADVANCED);
  EXPECT_EQ(Persistent(), std::vector<UINT8>{2});
  // Each run registered its own notification; the second closes itself too.
  M().SignalReadyToBoot();
  EXPECT_EQ(Persistent(), std::vector<UINT8>{0});
}

}  // namespace
}  // namespace setupinfo_test
