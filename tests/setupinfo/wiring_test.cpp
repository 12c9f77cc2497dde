// The wiring of the pages into the core: every row of the item callback
// table and every initialiser slot, as the pages own them. A row or slot
// missing, moved or pointing at another handler fails here.
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/item_callback_table.h"
#include "setupinfo/core/page_initialisers.h"
#include "setupinfo/pages/board/hardware_monitor.h"
#include "setupinfo/pages/board/memory_page.h"
#include "setupinfo/pages/board/memory_settings.h"
#include "setupinfo/pages/board/processor_page.h"
#include "setupinfo/pages/board/processor_settings.h"
#include "setupinfo/pages/board/super_io_page.h"
#include "setupinfo/pages/board/south_bridge_page.h"
#include "setupinfo/pages/platform/graphics_output.h"
#include "setupinfo/pages/platform/nvme_devices.h"
#include "setupinfo/pages/devices/usb_devices.h"
#include "setupinfo/pages/devices/sata_port_strings.h"
#include "setupinfo/pages/platform/management_engine.h"
#include "setupinfo/pages/platform/clock_control.h"
#include "setupinfo/pages/platform/network_page.h"
#include "setupinfo/pages/platform/user_profiles.h"
#include "setupinfo/pages/board/main_page.h"
#include "setupinfo/pages/platform/presets.h"
#include "setupinfo/secureboot/secure_boot_page.h"
#include "setupinfo_fixture.h"
#include "sim/peers/clock_peers.h"
#include "sim/peers/message_box_peer.h"
#include "sim/peers/network_peers.h"
#include "sim/peers/profile_peers.h"
#include "sim/peers/main_page_peers.h"
#include "sim/peers/preset_peers.h"

namespace setupinfo_test {
namespace {

struct EXPECTED_ROW {
  UINT16 Class;
  UINT16 Key;
  ITEM_CALLBACK Handler;
};

std::vector<EXPECTED_ROW> HardwareMonitorRows() {
  std::vector<EXPECTED_ROW> Rows{{FORM_SET_CLASS_HARDWARE_MONITOR, 0x48D, RefreshHardwareMonitor}};
  for (UINT16 Key = 0x48E; Key <= 0x4A8; ++Key) Rows.push_back({FORM_SET_CLASS_HARDWARE_MONITOR, Key, NormalizePointList});
  return Rows;
}

std::vector<EXPECTED_ROW> ProcessorSettingRows() {
  std::vector<EXPECTED_ROW> Rows;
  for (UINT16 Key : {0x41B, 0x41C, 0x41D, 0x415, 0x416, 0x417, 0x418, 0x419, 0x413, 0x414,
                     0x426, 0x427, 0x41E, 0x420, 0x41F, 0x421, 0x423, 0x422, 0x425, 0x424})
    Rows.push_back({FORM_SET_CLASS_TUNING, Key, OnProcessorSettingChanged});
  return Rows;
}

std::vector<EXPECTED_ROW> MemorySettingRows() {
  std::vector<EXPECTED_ROW> Rows{{FORM_SET_CLASS_MEMORY, 0x42A, OnLinkedSettingChanged},
                                 {FORM_SET_CLASS_ADVANCED, 0x42B, OnLinkedSettingChanged},
                                 {FORM_SET_CLASS_MEMORY, 0x441, OnGraphicsSettingChanged},
                                 {FORM_SET_CLASS_MEMORY, 0x442, OnGraphicsSettingChanged}};
  for (UINT16 Key : {0x448, 0x449, 0x45C, 0x45F, 0x460, 0x461, 0x462, 0x463, 0x464, 0x465, 0x466, 0x467, 0x468,
                     0x469, 0x46A, 0x443, 0x46E, 0x46F, 0x470, 0x46B, 0x46C, 0x46D, 0x44A, 0x44B, 0x44C})
    Rows.push_back({FORM_SET_CLASS_TUNING, Key, OnGraphicsSettingChanged});
  for (UINT16 Key = 0x444; Key <= 0x447; ++Key) Rows.push_back({FORM_SET_CLASS_MEMORY, Key, OnMemoryTimingChanged});
  for (UINT16 Key : {0x44E, 0x44F, 0x450, 0x451, 0x452, 0x453, 0x454, 0x455, 0x456, 0x458, 0x457, 0x459, 0x45B, 0x45D,
                     0x45E})
    Rows.push_back({FORM_SET_CLASS_TUNING, Key, OnMemoryTimingChanged});
  return Rows;
}

std::vector<EXPECTED_ROW> GraphicsOutputRows() {
  std::vector<EXPECTED_ROW> Rows;
  for (UINT16 Key = 0x4F3; Key <= 0x4FA; ++Key) Rows.push_back({FORM_SET_CLASS_ADVANCED, Key, OnOutputChosen});
  for (UINT16 Key : {0x4FB, 0x4FC}) Rows.push_back({FORM_SET_CLASS_ADVANCED, Key, OnOutputPropertyChanged});
  return Rows;
}

std::vector<EXPECTED_ROW> ManagementEngineRows() {
  return {{FORM_SET_CLASS_MANAGEMENT_ENGINE, 0x4BA, OnLockedQuestionChanging}};
}

std::vector<EXPECTED_ROW> ClockControlRows() {
  std::vector<EXPECTED_ROW> Rows{{FORM_SET_CLASS_ADVANCED, 0x4BC, OnClockPageRefresh}};
  for (UINT16 Key = 0x4C0; Key <= 0x4C7; ++Key) Rows.push_back({FORM_SET_CLASS_ADVANCED, Key, OnClockSelected});
  for (UINT16 N = 0; N < 8; ++N) Rows.push_back({FORM_SET_CLASS_ADVANCED, UINT16(0x4C8 + 5 * N), OnClockFrequencyChanged});
  for (UINT16 N = 0; N < 8; ++N) Rows.push_back({FORM_SET_CLASS_ADVANCED, UINT16(0x4C9 + 5 * N), OnClockApply});
  for (UINT16 N = 0; N < 8; ++N) Rows.push_back({FORM_SET_CLASS_ADVANCED, UINT16(0x4CB + 5 * N), OnClockApply});
  return Rows;
}

std::vector<EXPECTED_ROW> SecureBootRows() {
  std::vector<EXPECTED_ROW> Rows{{FORM_SET_CLASS_SECURE_BOOT, 0x506, OnSecureBootInstallDefaults},
                                 {FORM_SET_CLASS_SECURE_BOOT, 0x507, OnSecureBootRestoreKeys},
                                 {FORM_SET_CLASS_SECURE_BOOT, 0x508, OnSecureBootRestoreKeys},
                                 {FORM_SET_CLASS_SECURE_BOOT, 0x50B, OnSecureBootRestoreKeys},
                                 {FORM_SET_CLASS_SECURE_BOOT, 0x50C, OnSecureBootSaveKeys}};
  for (UINT16 Key = 0x50D; Key <= 0x51A; ++Key) Rows.push_back({FORM_SET_CLASS_SECURE_BOOT, Key, OnSecureBootKeyVariable});
  return Rows;
}

std::vector<EXPECTED_ROW> NetworkPageRows() {
  return {{FORM_SET_CLASS_TOOLS, 0x529, OnNetworkConfigure},
          {FORM_SET_CLASS_TOOLS, 0x52A, OnNetworkAction52A},
          {FORM_SET_CLASS_TOOLS, 0x52D, OnNetworkAction52D},
          {FORM_SET_CLASS_TOOLS, 0x52E, OnNetworkAction52E}};
}

std::vector<EXPECTED_ROW> UserProfileRows() {
  std::vector<EXPECTED_ROW> Rows;
  for (UINT16 Key = 0x530; Key <= 0x535; ++Key)
    Rows.push_back({FORM_SET_CLASS_TOOLS, Key, Key % 2 == 0 ? OnSaveUserProfile : OnLoadUserProfile});
  return Rows;
}

std::vector<EXPECTED_ROW> MainPageRows() {
  return {{FORM_SET_CLASS_MAIN, 0x536, OnMainPageAction},
          {FORM_SET_CLASS_TOOLS, 0x538, OnNetworkSummaryAction},
          {FORM_SET_CLASS_TOOLS, 0x53B, OnNetworkSummaryAction},
          {FORM_SET_CLASS_TOOLS, 0x53F, OnToolAction1},
          {FORM_SET_CLASS_TOOLS, 0x541, OnToolAction2}};
}

std::vector<EXPECTED_ROW> PresetRows() {
  std::vector<EXPECTED_ROW> Rows{{FORM_SET_CLASS_TUNING, 0x51C, OnForward51C},
                                 {FORM_SET_CLASS_TOOLS, 0x51D, OnForward51D},
                                 {FORM_SET_CLASS_TOOLS, 0x51E, OnForward51E}};
  for (UINT16 Key = 0x51F; Key <= 0x526; ++Key) Rows.push_back({FORM_SET_CLASS_TUNING, Key, OnPresetChosen});
  return Rows;
}

// Every page's rows, in the table's order of pages.
std::vector<EXPECTED_ROW> AllRows() {
  std::vector<EXPECTED_ROW> Rows;
  for (auto Page : {HardwareMonitorRows, ProcessorSettingRows, MemorySettingRows, GraphicsOutputRows,
                    ManagementEngineRows, ClockControlRows, SecureBootRows, PresetRows, NetworkPageRows,
                    UserProfileRows, MainPageRows}) {
    auto More = Page();
    Rows.insert(Rows.end(), More.begin(), More.end());
  }
  return Rows;
}

TEST(ItemCallbackTable, HoldsEveryPagesRowsInOrderAndEndsWithAnEmptyRow) {
  const Span<const ITEM_CALLBACK_ENTRY> Table = StaticItemCallbacks();
  const std::vector<EXPECTED_ROW> Expected = AllRows();
  ASSERT_EQ(Expected.size(), 185u);
  ASSERT_EQ(Table.Count, Expected.size() + 1);
  for (size_t i = 0; i < Expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i << ", key 0x" << std::hex << Expected[i].Key);
    EXPECT_EQ(Table[i].Class, Expected[i].Class);
    EXPECT_EQ(Table[i].SubClass, 0);
    EXPECT_EQ(Table[i].Key, Expected[i].Key);
    EXPECT_EQ(Table[i].Reserved, 0);
    EXPECT_EQ(Table[i].Handler, Expected[i].Handler);
  }
  const ITEM_CALLBACK_ENTRY& End = Table[Table.Count - 1];
  EXPECT_EQ(End.Class | End.SubClass | End.Key | End.Reserved, 0);
  EXPECT_EQ(End.Handler, nullptr);
}

TEST(PageInitialisers, EachSlotHoldsItsPagesInitialiser) {
  std::vector<PAGE_STRING_INITIALISER> Expected(PAGE_STRING_INITIALISER_SLOTS, EmptyPageInitialiser);
  Expected[0] = InitFixedVersionString;
  Expected[1] = InitSuperIoResourceStrings;
  Expected[2] = InitProcessorPage;
  Expected[3] = InitSouthBridgePage;
  Expected[4] = InitNorthBridgePage;
  Expected[5] = InitGraphicsOutputPage;
  Expected[6] = InitOutputPlatformData;
  Expected[7] = InitLegacyAreaVersion;
  Expected[9] = InitManagementEngineStrings;
  Expected[11] = InitNvmeDevicePage;
  Expected[10] = InitClockControl;
  Expected[13] = InitUsbDevicePage;
  Expected[14] = InitSataPortStrings;
  Expected[15] = InitNetworkPage;
  Expected[17] = InitProfileNames;
  Expected[12] = InitComponentVersions;
  Expected[18] = InitStrapText;
  Expected[19] = InitConfigurationText;
  Expected[24] = InitMainPageSummary;
  Expected.push_back(nullptr);
  const Span<const PAGE_STRING_INITIALISER> Table = PageStringInitialisers();
  ASSERT_EQ(Table.Count, Expected.size());
  for (size_t Slot = 0; Slot < Expected.size(); ++Slot) EXPECT_EQ(Table[Slot], Expected[Slot]) << "slot " << Slot;
}

// What a handler visibly does for CHANGED on the default board: how many
// browser reads and writes of Setup, and whether it sets page strings.
struct HANDLER_TRACE {
  UINTN Reads;
  UINTN Writes;
  bool SetsStrings;
};

bool MovesFrequencyLines(UINT16 Key) {
  return (Key >= 0x415 && Key <= 0x418) || (Key >= 0x41B && Key <= 0x41D) || Key == 0x426;
}

HANDLER_TRACE ExpectedTrace(const EXPECTED_ROW& Row) {
  if (Row.Handler == RefreshHardwareMonitor) return {0, 0, true};
  if (Row.Handler == OnProcessorSettingChanged) return {1, 1, MovesFrequencyLines(Row.Key)};
  return {1, 1, false};  // the point lists edit Setup and set no string
}

// Every row through the browser, as a user reaches it: through its own form
// set's Config Access instance and through the main form set's, which
// answers for every class.
class Wiring : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }

  void ExpectRowsReachTheirHandlers(const std::vector<EXPECTED_ROW>& Rows) {
    for (const EXPECTED_ROW& Row : Rows) {
      for (UINT16 Through : {Row.Class, FORM_SET_CLASS_MAIN}) {
        SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Row.Key << " through class 0x" << Through);
        const auto Before = Forms().Calls();
        EFI_IFR_TYPE_VALUE Value{};
        EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                  EFI_SUCCESS);
        const auto After = Forms().Calls();
        const HANDLER_TRACE Expected = ExpectedTrace(Row);
        EXPECT_EQ(After.GetBrowserData - Before.GetBrowserData, Expected.Reads);
        EXPECT_EQ(After.SetBrowserData - Before.SetBrowserData, Expected.Writes);
        EXPECT_EQ(After.SetHiiString > Before.SetHiiString, Expected.SetsStrings);
      }
    }
  }
};

TEST_F(Wiring, HardwareMonitorRowsReachTheirHandlers) { ExpectRowsReachTheirHandlers(HardwareMonitorRows()); }

TEST_F(Wiring, ProcessorSettingRowsReachTheirHandlers) { ExpectRowsReachTheirHandlers(ProcessorSettingRows()); }

TEST_F(Wiring, MemorySettingRowsReachTheirHandlers) { ExpectRowsReachTheirHandlers(MemorySettingRows()); }

// The locked question answers only CHANGING, where its value becomes 0.
TEST_F(Wiring, ManagementEngineRowReachesItsHandler) {
  for (UINT16 Through : {FORM_SET_CLASS_MANAGEMENT_ENGINE, FORM_SET_CLASS_MAIN}) {
    SCOPED_TRACE(testing::Message() << "through class 0x" << std::hex << Through);
    EFI_IFR_TYPE_VALUE Value{};
    Value.u64 = 0x1122334455667788ull;
    EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGING, 0x4BA, EFI_IFR_TYPE_NUM_SIZE_8, Value),
              EFI_SUCCESS);
    ASSERT_FALSE(Browser().Log().empty());
    EXPECT_EQ(UINT64(Browser().Log().back().ValueOut.u64), 0u);
    Value.u64 = 7;
    EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, 0x4BA, EFI_IFR_TYPE_NUM_SIZE_8, Value),
              EFI_UNSUPPORTED);
    EXPECT_EQ(UINT64(Browser().Log().back().ValueOut.u64), 7u);
  }
}

// A board without display controllers: each handler fetches the browser's
// Setup (the property keys also the output flags, which this browser does
// not keep), finds no PCI controller and hands nothing back.
TEST_F(Wiring, GraphicsOutputRowsReachTheirHandlers) {
  for (const EXPECTED_ROW& Row : GraphicsOutputRows()) {
    for (UINT16 Through : {Row.Class, FORM_SET_CLASS_MAIN}) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Row.Key << " through class 0x" << Through);
      const auto Before = Forms().Calls();
      EFI_IFR_TYPE_VALUE Value{};
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_NOT_FOUND);
      const auto After = Forms().Calls();
      EXPECT_EQ(After.GetBrowserData - Before.GetBrowserData, Row.Handler == OnOutputChosen ? 1u : 2u);
      EXPECT_EQ(After.SetBrowserData, Before.SetBrowserData);
      // Any other action is answered without a look at the browser.
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGING, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_SUCCESS);
      EXPECT_EQ(Forms().Calls().GetBrowserData, After.GetBrowserData);
    }
  }
}

// The clock rows with the board's clock driver and message box service:
// the refresh edits and stores the clock record, a choice sets strings only,
// a frequency is corrected in the browser, an apply submits and reports.
TEST_F(Wiring, ClockControlRowsReachTheirHandlers) {
  sim::ClockControlPeer Clocks(M().Profile().Clocks);
  sim::MessageBoxPeer Boxes(M().Profile().MessageBox);
  ASSERT_EQ(Clocks.Install(BS()), EFI_SUCCESS);
  ASSERT_EQ(Boxes.Install(BS()), EFI_SUCCESS);
  ASSERT_EQ(Clocks.WriteSetupData(RT()), EFI_SUCCESS);
  Browser().AddStore(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID);
  for (const EXPECTED_ROW& Row : ClockControlRows()) {
    for (UINT16 Through : {Row.Class, FORM_SET_CLASS_MAIN}) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Row.Key << " through class 0x" << Through);
      ClockControlState().RefreshPending = 1;
      ClockControlState().SelectedClock = CLOCK_NONE_SELECTED;
      EFI_IFR_TYPE_VALUE Value{};
      if (Row.Handler != OnClockSelected)
        ASSERT_EQ(Browser().Callback(FORM_SET_CLASS_ADVANCED, EFI_BROWSER_ACTION_CHANGED, 0x4C0,
                                     EFI_IFR_TYPE_NUM_SIZE_8, Value),
                  EFI_SUCCESS);
      const auto Before = Forms().Calls();
      const size_t Shown = Boxes.Boxes.size();
      const size_t Submitted = Clocks.Calls.size();
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Row.Key, EFI_IFR_TYPE_NUM_SIZE_16, Value),
                EFI_SUCCESS);
      const auto After = Forms().Calls();
      const bool Edits = Row.Handler == OnClockPageRefresh || Row.Handler == OnClockFrequencyChanged;
      EXPECT_EQ(After.GetBrowserData - Before.GetBrowserData, Row.Handler == OnClockSelected ? 0u : 1u);
      EXPECT_EQ(After.SetBrowserData - Before.SetBrowserData, Edits ? 1u : 0u);
      EXPECT_EQ(After.SetHiiString > Before.SetHiiString, Row.Handler != OnClockFrequencyChanged);
      EXPECT_EQ(Boxes.Boxes.size() - Shown, Row.Handler == OnClockApply ? 1u : 0u);
      EXPECT_GT(Clocks.Calls.size(), Submitted);
    }
  }
}

// Each network row calls its own outside protocol once, for CHANGING only,
// and declines while its protocol is missing.
TEST_F(Wiring, NetworkPageRowsReachTheirProtocols) {
  sim::NetworkProfile Profile;
  for (sim::NetworkProtocolProfile* P : {&Profile.Configuration, &Profile.Action52A, &Profile.Action52D, &Profile.Action52E})
    P->Present = true;
  const sim::NetworkEntry Entries[] = {sim::NetworkEntry::Configure, sim::NetworkEntry::Action52A,
                                       sim::NetworkEntry::Action52D, sim::NetworkEntry::Action52E};
  EFI_IFR_TYPE_VALUE Value{};
  for (const EXPECTED_ROW& Row : NetworkPageRows())
    EXPECT_EQ(Browser().Callback(Row.Class, EFI_BROWSER_ACTION_CHANGING, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
              EFI_UNSUPPORTED);
  sim::NetworkPeers Network(Profile);
  Network.InstallPresent(ST());
  const std::vector<EXPECTED_ROW> Rows = NetworkPageRows();
  for (size_t I = 0; I < Rows.size(); ++I) {
    for (UINT16 Through : {Rows[I].Class, FORM_SET_CLASS_MAIN}) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Rows[I].Key << " through class 0x" << Through);
      const size_t Calls = Network.Calls.size();
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Rows[I].Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_UNSUPPORTED);
      EXPECT_EQ(Network.Calls.size(), Calls);
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGING, Rows[I].Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_SUCCESS);
      ASSERT_EQ(Network.Calls.size(), Calls + 1);
      EXPECT_EQ(Network.Calls.back().Entry, Entries[I]);
    }
  }
}

// Each save row asks for the name of its own profile, each load row loads
// it, for CHANGING only, through the tools and the main form set alike.
TEST_F(Wiring, UserProfileRowsSaveAndLoadTheirOwnProfile) {
  sim::ProfileStoragePeer Profiles;
  ASSERT_EQ(Profiles.Install(BS()), EFI_SUCCESS);
  const std::vector<EXPECTED_ROW> Rows = UserProfileRows();
  EFI_IFR_TYPE_VALUE Value{};
  for (size_t I = 0; I < Rows.size(); I += 2) {
    const UINTN N = I / 2;
    const std::u16string NameVariable = u"TWL_USER_DEF_NAME0" + std::u16string(1, char16_t(u'0' + N));
    for (UINT16 Through : {FORM_SET_CLASS_TOOLS, FORM_SET_CLASS_MAIN}) {
      SCOPED_TRACE(testing::Message() << "profile " << N << " through class 0x" << std::hex << Through);
      const size_t Prompts = Profiles.Prompts.size(), Messages = Profiles.Messages.size();
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Rows[I].Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_UNSUPPORTED);
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Rows[I + 1].Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_UNSUPPORTED);
      EXPECT_EQ(Profiles.Prompts.size(), Prompts);
      M().Variables().Erase(NameVariable, PROFILE_VARIABLE_GUID);
      Profiles.TextAnswers.push_back(u"Row " + std::u16string(1, char16_t(u'0' + N)));
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGING, Rows[I].Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_SUCCESS);
      ASSERT_EQ(Profiles.Prompts.size(), Prompts + 1);
      EXPECT_EQ(Profiles.Prompts.back().HiiHandle, FormSetHandle(Through));
      EXPECT_NE(M().Variables().Find(NameVariable, PROFILE_VARIABLE_GUID), nullptr);
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGING, Rows[I + 1].Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_SUCCESS);
      ASSERT_EQ(Profiles.Messages.size(), Messages + 1);
      EXPECT_EQ(Profiles.Messages.back().Title, u"Load profile");
      EXPECT_EQ(Profiles.Messages.back().Text, u"Row " + std::u16string(1, char16_t(u'0' + N)) + u" loaded; save to keep it.");
    }
  }
}

UINTN gNetworkRefreshes = 0;
VOID EFIAPI CountedRefresh(BOOLEAN ViaBrowser) { gNetworkRefreshes += ViaBrowser ? 1 : 100; }

// Each main page and tools row reaches its own outside function once, for
// its own browser action, through its form set and through the main one.
TEST_F(Wiring, MainPageRowsReachTheirComponents) {
  sim::MainPageProfile Profile;
  Profile.MainAction.Present = Profile.ToolAction1.Present = Profile.ToolAction2.Present = true;
  sim::MainPagePeers Peers(Profile, "Board");
  Peers.InstallPresent(BS());
  sim::NetworkProfile NetworkProfile;
  NetworkProfile.Configuration.Present = true;
  sim::NetworkPeers Network(NetworkProfile);
  Network.InstallPresent(ST());
  // The network driver arrived after load: the refresh in it is its own.
  Network.Configuration()->Refresh = CountedRefresh;
  gNetworkRefreshes = 0;
  const sim::PageActionEntry Entries[] = {sim::PageActionEntry::MainAction, sim::PageActionEntry::ToolAction1,
                                          sim::PageActionEntry::ToolAction2};
  EFI_IFR_TYPE_VALUE Value{};
  for (const EXPECTED_ROW& Row : MainPageRows()) {
    const bool IsNetwork = Row.Handler == OnNetworkSummaryAction;
    const EFI_BROWSER_ACTION Acts = IsNetwork ? EFI_BROWSER_ACTION_CHANGED : EFI_BROWSER_ACTION_CHANGING;
    const EFI_BROWSER_ACTION Declines = IsNetwork ? EFI_BROWSER_ACTION_CHANGING : EFI_BROWSER_ACTION_CHANGED;
    for (UINT16 Through : {Row.Class, FORM_SET_CLASS_MAIN}) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Row.Key << " through class 0x" << Through);
      const size_t Calls = Peers.Calls.size();
      const UINTN Refreshes = gNetworkRefreshes;
      EXPECT_EQ(Browser().Callback(Through, Declines, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_UNSUPPORTED);
      EXPECT_EQ(Browser().Callback(Through, Acts, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
      if (IsNetwork) {
        EXPECT_EQ(gNetworkRefreshes, Refreshes + 1);  // once, from the browser's values
        EXPECT_EQ(Peers.Calls.size(), Calls);
      } else {
        ASSERT_EQ(Peers.Calls.size(), Calls + 1);
        EXPECT_EQ(Peers.Calls.back().Entry, Entries[Row.Handler == OnMainPageAction ? 0
                                                    : Row.Handler == OnToolAction1 ? 1
                                                                                   : 2]);
        EXPECT_EQ(gNetworkRefreshes, Refreshes);
      }
    }
  }
}

// Each preset row changes the browser's Setup for CHANGED only, and each
// forwarder calls its own protocol for CHANGING only, also through the main
// form set; without their drivers they do nothing.
TEST_F(Wiring, PresetRowsReachTheirTablesAndProtocols) {
  EFI_IFR_TYPE_VALUE Value{};
  for (const EXPECTED_ROW& Row : PresetRows()) {
    const EFI_BROWSER_ACTION Action =
        Row.Handler == OnPresetChosen ? EFI_BROWSER_ACTION_CHANGED : EFI_BROWSER_ACTION_CHANGING;
    EXPECT_EQ(Browser().Callback(Row.Class, Action, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_NOT_FOUND);
  }
  sim::PresetProfile Profile;
  Profile.ProviderPresent = true;
  const size_t RowBytes[4] = {30, 8, 44, 12};
  for (size_t T = 0; T < 4; ++T)
    Profile.Tables[T] = std::vector<std::vector<uint8_t>>(1, std::vector<uint8_t>(RowBytes[T], 0xEE));
  Profile.Forward51C.Present = Profile.Forward51D.Present = Profile.Forward51E.Present = true;
  sim::PresetPeers Peers(Profile);
  Peers.InstallPresent(ST());
  std::vector<UINT8>& Setup = *Browser().StoreBytes(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID);
  for (const EXPECTED_ROW& Row : PresetRows()) {
    for (UINT16 Through : {Row.Class, FORM_SET_CLASS_MAIN}) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Row.Key << " through class 0x" << Through);
      const bool Preset = Row.Handler == OnPresetChosen;
      const EFI_BROWSER_ACTION Wrong = Preset ? EFI_BROWSER_ACTION_CHANGING : EFI_BROWSER_ACTION_CHANGED;
      const EFI_BROWSER_ACTION Right = Preset ? EFI_BROWSER_ACTION_CHANGED : EFI_BROWSER_ACTION_CHANGING;
      std::fill(Setup.begin(), Setup.end(), 0x11);
      for (size_t T = 0; T < 4; ++T) Setup[0x481 + T] = 0;
      const std::vector<UINT8> Before = Setup;
      const size_t Calls = Peers.Calls.size();
      EXPECT_EQ(Browser().Callback(Through, Wrong, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_UNSUPPORTED);
      EXPECT_EQ(Setup, Before);
      EXPECT_EQ(Browser().Callback(Through, Right, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
      EXPECT_EQ(Peers.Calls.size(), Calls + (Preset ? 0 : 1));
      // A preset writes row bytes (0xEE) into the record.
      EXPECT_EQ(Setup != Before, Preset);
      if (Preset) EXPECT_NE(std::find(Setup.begin(), Setup.end(), 0xEE), Setup.end());
    }
  }
}

// Each Secure Boot row asks its own first question, for CHANGING only: the
// box's title names the action and its text the key variable. Every
// question is answered "no" and no volume is there, so nothing is changed.
TEST_F(Wiring, SecureBootRowsAskTheirOwnQuestion) {
  sim::MessageBoxPeer Boxes;
  Boxes.EmptyAnswer = 1;
  ASSERT_EQ(Boxes.Install(BS()), EFI_SUCCESS);
  M().Variables().Put(u"SetupMode", EFI_GLOBAL_VARIABLE_GUID, 6, {1});
  const EFI_HII_HANDLE Page = FormSetHandle(FORM_SET_CLASS_SECURE_BOOT);
  auto Title = [&](EFI_STRING_ID Id) { return HiiText(Page, Id); };
  struct EXPECTED_BOXES {
    std::vector<std::u16string> Titles;
    UINTN Writes;  // SetBrowserData calls: the state refresh writes three stores
  };
  auto Expected = [&](UINT16 Key) -> EXPECTED_BOXES {
    if (Key == 0x506) return {{}, 3};  // setup mode: the defaults go in silently
    if (Key == 0x507) return {{Title(2992)}, 3};
    if (Key == 0x508 || Key == 0x50B) return {{Title(3033)}, 3};
    if (Key == 0x50C) return {{Title(3046)}, 0};
    for (const KEY_VARIABLE_QUESTION& Q : KeyVariableQuestions) {
      if (Q.Key != Key) continue;
      if (Q.Operation == KEY_OPERATION_DELETE) return {{Title(3044)}, 0};
      return {{Title(Q.Operation == KEY_OPERATION_SET ? 3023 : 3024), Title(3046)}, 0};
    }
    return {{u"?"}, 0};
  };
  const char16_t* Names[] = {u"dbx", u"dbt", u"db", u"KEK", u"PK"};
  for (const EXPECTED_ROW& Row : SecureBootRows()) {
    for (UINT16 Through : {Row.Class, FORM_SET_CLASS_MAIN}) {
      SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << Row.Key << " through class 0x" << Through);
      EFI_IFR_TYPE_VALUE Value{};
      Value.u8 = 1;
      const size_t Shown = Boxes.Boxes.size();
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGED, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_SUCCESS);
      EXPECT_EQ(Boxes.Boxes.size(), Shown);
      const auto Before = Forms().Calls();
      EXPECT_EQ(Browser().Callback(Through, EFI_BROWSER_ACTION_CHANGING, Row.Key, EFI_IFR_TYPE_NUM_SIZE_8, Value),
                EFI_SUCCESS);
      const EXPECTED_BOXES Want = Expected(Row.Key);
      std::vector<std::u16string> Titles;
      for (size_t I = Shown; I < Boxes.Boxes.size(); ++I) Titles.push_back(Boxes.Boxes[I].Title);
      EXPECT_EQ(Titles, Want.Titles);
      EXPECT_EQ(Forms().Calls().SetBrowserData - Before.SetBrowserData, Want.Writes);
      for (const KEY_VARIABLE_QUESTION& Q : KeyVariableQuestions)
        if (Q.Key == Row.Key && Boxes.Boxes.size() > Shown)
          EXPECT_EQ(Boxes.Boxes[Shown].Text,
                    Q.Operation == KEY_OPERATION_DELETE
                        ? u"Delete " + std::u16string(Names[Q.Index]) + u"?"
                        : u"Load " + std::u16string(Names[Q.Index]) +
                              u" from the factory default key file? Choose No to load it from a file.");
    }
  }
}

TEST_F(Wiring, AKeyOfAnotherClassDoesNotReachThroughAnotherFormSet) {
  EFI_IFR_TYPE_VALUE Value{};
  const auto Before = Forms().Calls();
  EXPECT_EQ(Browser().Callback(FORM_SET_CLASS_TUNING, EFI_BROWSER_ACTION_CHANGED, 0x490, EFI_IFR_TYPE_NUM_SIZE_8, Value),
            EFI_NOT_FOUND);
  EXPECT_EQ(Browser().Callback(FORM_SET_CLASS_HARDWARE_MONITOR, EFI_BROWSER_ACTION_CHANGED, 0x415,
                               EFI_IFR_TYPE_NUM_SIZE_8, Value),
            EFI_NOT_FOUND);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Before.GetBrowserData);
}

}  // namespace
}  // namespace setupinfo_test
