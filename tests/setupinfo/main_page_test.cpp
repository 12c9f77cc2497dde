// The main page summary, the component versions, the board-state texts and
// the five action questions, as the loader fills them and as the browser
// reaches them, on the default board and on boards whose outside parts are
// missing, late or hostile.
#include <memory>
#include <string>
#include <vector>

#include "platform/net_config.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/pages/board/main_page.h"
#include "setupinfo/pages/board/main_page_facts.h"
#include "uefi/graphics.h"
#include "setupinfo/pages/platform/network_page.h"
#include "setupinfo_fixture.h"
#include "sim/peers/main_page_peers.h"
#include "sim/peers/memory_peers.h"
#include "sim/peers/network_peers.h"
#include "sim/peers/processor_peers.h"
#include "sim/peers/south_bridge_peers.h"

namespace setupinfo_test {
namespace {

constexpr UINT8 HOST_BRIDGE = 0, HUB = 31;

// A display output the test owns, so its mode record can be taken away.
struct TestDisplay {
  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION Info{};
  EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE Mode{};
  EFI_GRAPHICS_OUTPUT_PROTOCOL Protocol{};
  TestDisplay(UINT32 Horizontal, UINT32 Vertical) {
    Info.HorizontalResolution = Horizontal;
    Info.VerticalResolution = Vertical;
    Mode.Info = &Info;
    Protocol.Mode = &Mode;
  }
};

class MainPage : public SetupInfoTest {
 protected:
  void Customise(sim::BoardProfile& Profile) override { CustomiseBoard(Profile); }
  virtual void CustomiseBoard(sim::BoardProfile&) {}

  // The platform's drivers, installed as they would be before the setup driver.
  void InstallPeers() {
    const sim::BoardProfile& P = M().Profile();
    Processor_ = std::make_unique<sim::ProcessorPeers>(P.Processor);
    if (WithProcessor_) Processor_->InstallInformation(BS());
    Memory_ = std::make_unique<sim::MemoryPeers>(P.Memory);
    Memory_->InstallPresent(BS());
    SouthBridge_ = std::make_unique<sim::SouthBridgePeer>(P.SouthBridge);
    SouthBridge_->InstallVersion(BS());
    Network_ = std::make_unique<sim::NetworkPeers>(P.Network);
    Network_->InstallPresent(ST());
    Peers_.reset();
    Peers_ = std::make_unique<sim::MainPagePeers>(P.MainPage, P.Update.ModelName);
    Peers_->InstallPresent(BS());
  }
  EFI_STATUS Boot() {
    InstallPeers();
    return LoadDriver();
  }
  // A new machine from Profile, its peers and the driver: for cases that
  // differ in what the board reports at load.
  void BootBoard(const sim::BoardProfile& Profile) {
    ClearPeers();
    if (Machine_) {
      EXPECT_EQ(Machine_->LeakReport(), "");
      Machine_.reset();
    }
    Machine_ = std::make_unique<sim::Machine>(Profile);
    ASSERT_EQ(Boot(), EFI_SUCCESS);
  }
  void ClearPeers() {
    Peers_.reset();
    Network_.reset();
    SouthBridge_.reset();
    Memory_.reset();
    Processor_.reset();
  }
  void TearDown() override {
    SetupInfoTest::TearDown();
    ClearPeers();
  }

  EFI_STATUS InstallDisplay(TestDisplay& Display) {
    EFI_HANDLE Handle = nullptr;
    return BS()->InstallProtocolInterface(&Handle, &EFI_GRAPHICS_OUTPUT_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                          &Display.Protocol);
  }

  std::u16string Main(UINT16 Id, const char* Language = "en-US") {
    return HiiText(FormSetHandle(FORM_SET_CLASS_MAIN), Id, Language);
  }
  EFI_STATUS Press(UINT16 Class, EFI_BROWSER_ACTION Action, UINT16 Key) {
    EFI_IFR_TYPE_VALUE Value{};
    return Browser().Callback(Class, Action, Key, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  }

  bool WithProcessor_ = true;
  std::unique_ptr<sim::ProcessorPeers> Processor_;
  std::unique_ptr<sim::MemoryPeers> Memory_;
  std::unique_ptr<sim::SouthBridgePeer> SouthBridge_;
  std::unique_ptr<sim::NetworkPeers> Network_;
  std::unique_ptr<sim::MainPagePeers> Peers_;
};

TEST_F(MainPage, DefaultBoardFillsTheSummaryInEveryLanguage) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  EXPECT_EQ(Main(STR_BOARD), u"ID 51773000, revision 110");
  EXPECT_EQ(Main(STR_BOARD, "de-DE"), u"Kennung 51773000, Revision 110");
  EXPECT_EQ(Main(STR_HUB_STEPPING), u"C2");  // revision 5
  EXPECT_EQ(Main(STR_PROCESSOR_BRAND, "ja-JP"), u"Intel(R) Core(TM) i7-4770K CPU @ 3.50GHz");
  EXPECT_EQ(Main(STR_PROCESSOR_VALUE), u"3500");
  EXPECT_EQ(Main(STR_PROCESSOR_ID), u"ID 306C3, microcode 1C");
  EXPECT_EQ(Main(STR_PROCESSOR_RESOURCES), u"8192");  // the two kind-3 descriptors
  EXPECT_EQ(Main(MemorySlotStrings[0]), u"8192MB(DDR3-1600)");
  EXPECT_EQ(Main(MemorySlotStrings[1], "de-DE"), u"Leer");
  EXPECT_EQ(Main(MemorySlotStrings[2]), u"8192MB(DDR3-1600)");
  EXPECT_EQ(Main(MemorySlotStrings[3], "ja-JP"), u"空き");
  // Host bridge register 0x50 = 0x0209: field 1 (32 MB), table size 2.
  EXPECT_EQ(Main(STR_TOTAL_MEMORY), u"16384 MB (graphics 32 MB, table 2)");
  EXPECT_EQ(Main(STR_MEMORY_MODE, "de-DE"), u"Zweikanal");
  EXPECT_EQ(Main(0x0E23), u"Enabled");
  // The chosen text is read in the current language and fills every language.
  EXPECT_EQ(Main(0x0E27, "de-DE"), u"Configuration 1");
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_TUNING), 0x0E27), u"Configuration 1");
}

TEST_F(MainPage, ComponentVersionsShowTheirFourPartsAndLeaveAMissingOrEmptyOneAlone) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  const std::u16string Expected[] = {u"2.5.0.2", u"1.7.0.0", u"9.4.0.16", u"0.1.0.28", u"9.1.10.5", u"9.0.10.30"};
  for (size_t I = 0; I < 6; ++I)
    EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_ADVANCED), ComponentVersionStrings[I]), Expected[I]) << I;

  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  Profile.MainPage.Versions[0].NullInterface = true;   // installed with nothing behind it
  Profile.MainPage.Versions[1].Version = 0xFFFEFDFC;   // every part above 127
  Profile.MainPage.Versions.pop_back();                // graphics code: absent
  Profile.Memory.Version.reset();
  BootBoard(Profile);
  const auto Advanced = [&](size_t I) { return HiiText(FormSetHandle(FORM_SET_CLASS_ADVANCED), ComponentVersionStrings[I]); };
  EXPECT_EQ(Advanced(0), u"Not Installed");
  EXPECT_EQ(Advanced(1), u"Not Installed");
  EXPECT_EQ(Advanced(3), u"255.254.253.252");
  EXPECT_EQ(Advanced(5), u"Not Installed");
  EXPECT_EQ(Advanced(2), u"9.4.0.16");
}

// Frequencies, slot patterns and totals, each on a board of its own.
TEST_F(MainPage, MemoryFiguresFollowTheModulesAndNeverWrap) {
  struct CASE {
    UINT16 Frequency;
    std::array<uint16_t, 4> Sizes;
    std::u16string Slot0, Total, Mode;
  } Cases[] = {
      {1600, {4096, 0, 0, 0}, u"4096MB(DDR3-1600)", u"4096 MB", u"Single Channel"},
      {1867, {2048, 0, 2048, 0}, u"2048MB(DDR3-1866)", u"4096 MB", u"Dual Channel"},
      {1067, {0, 1024, 1024, 0}, u"Empty", u"2048 MB", u"Dual Channel"},
      {2133, {8192, 8192, 0, 0}, u"8192MB(DDR3-2133)", u"16384 MB", u"Single Channel"},
      // Two 32 GiB modules: 65536 MB, one more than a 16-bit sum can hold.
      {1600, {32768, 0, 32768, 0}, u"32768MB(DDR3-1600)", u"65536 MB", u"Dual Channel"},
      {1600, {65535, 65535, 65535, 65535}, u"65535MB(DDR3-1600)", u"262140 MB", u"Dual Channel"},
  };
  for (const CASE& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Frequency << " MHz, slot 0 " << C.Sizes[0]);
    sim::BoardProfile Profile = sim::DefaultBoardProfile();
    Profile.Memory.Frequency = C.Frequency;
    Profile.Memory.ModuleSizesMb = C.Sizes;
    // No graphics memory: the total stands alone.
    Profile.Pci[0].Config.push_back({0x50, {0x00, 0x00}});
    BootBoard(Profile);
    EXPECT_EQ(Main(MemorySlotStrings[0]), C.Slot0);
    EXPECT_EQ(Main(STR_TOTAL_MEMORY), C.Total);
    EXPECT_EQ(Main(STR_MEMORY_MODE), C.Mode);
  }
}

TEST_F(MainPage, WithoutTheMemoryProtocolEverySlotIsEmptyAndTheModeSingle) {
  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  Profile.Memory.InformationPresent = false;
  BootBoard(Profile);
  for (UINT16 Id : MemorySlotStrings) EXPECT_EQ(Main(Id), u"Empty");
  EXPECT_EQ(Main(STR_TOTAL_MEMORY), u"0 MB (graphics 32 MB, table 2)");
  EXPECT_EQ(Main(STR_MEMORY_MODE), u"Single Channel");
}

// Graphics memory by processor signature: the word form reads bits 15:8
// and a table of 1 << bits 7:6; the byte form bits 7:3 and bits 1:0 of 0x51.
TEST_F(MainPage, GraphicsMemoryAndTableFollowTheHostBridgeRegister) {
  struct CASE {
    UINT32 Cpuid1Eax;
    UINT8 Register50, Register51;
    std::u16string Total;
  } Cases[] = {
      {0x000306C3, 0x10 << 3, 0x01, u"16384 MB (graphics 512 MB, table 1)"},
      {0x000306C3, 0x11 << 3, 0x03, u"16384 MB (graphics 1024 MB, table 3)"},
      {0x000306C3, 0x07, 0x03, u"16384 MB"},  // field 0: the total alone
      {0x00040671, 0xC0, 0x10, u"16384 MB (graphics 512 MB, table 8)"},
      {0x00040671, 0x40, 0x11, u"16384 MB (graphics 1024 MB, table 2)"},
      {0x00040671, 0xFF, 0x00, u"16384 MB"},
  };
  for (const CASE& C : Cases) {
    SCOPED_TRACE(testing::Message() << std::hex << C.Cpuid1Eax << " " << int(C.Register50) << " " << int(C.Register51));
    sim::BoardProfile Profile = sim::DefaultBoardProfile();
    Profile.Pci[0].Config.push_back({0x50, {C.Register50, C.Register51}});
    for (sim::CpuidLeaf& Leaf : Profile.Cpuid)
      if (Leaf.Leaf == 1) Leaf.Regs[0] = C.Cpuid1Eax;
    BootBoard(Profile);
    EXPECT_EQ(Main(STR_TOTAL_MEMORY), C.Total);
  }
}

TEST_F(MainPage, HubSteppingChangesAtRevisionFive) {
  for (UINT8 Revision : {0, 4, 5, 0xFF}) {
    sim::BoardProfile Profile = sim::DefaultBoardProfile();
    for (sim::PciFunction& F : Profile.Pci)
      if (F.Bus == 0 && F.Device == HUB && F.Function == 0) F.Config.push_back({0x08, {Revision}});
    BootBoard(Profile);
    EXPECT_EQ(Main(STR_HUB_STEPPING), Revision < 5 ? u"C1" : u"C2") << int(Revision);
  }
}

// The record comes from another driver: its pointers may be null and its
// list may never end. What cannot be read leaves its string alone and the
// rest of the summary is still filled.
TEST_F(MainPage, ProcessorRecordPointersAreCheckedAndItsListWalkIsBounded) {
  InstallPeers();
  Processor_->Record().BrandString = nullptr;
  // No end descriptor within the bound: exactly sized, so a walk past it is caught.
  std::vector<uint8_t> Endless(PROCESSOR_RESOURCE_LIMIT * sizeof(PROCESSOR_RESOURCE_DESCRIPTOR), 0);
  for (size_t I = 0; I < PROCESSOR_RESOURCE_LIMIT; ++I) {
    Endless[I * 8] = 1;
    Endless[I * 8 + 1] = PROCESSOR_RESOURCE_KIND_SUMMED;
    Endless[I * 8 + 4] = 1;
  }
  Processor_->SetResourceBytes(Endless);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Main(STR_PROCESSOR_BRAND), u"%a");
  EXPECT_EQ(Main(STR_PROCESSOR_RESOURCES), u"%ld");
  EXPECT_EQ(Main(STR_PROCESSOR_ID), u"ID 306C3, microcode 1C");
  EXPECT_EQ(Main(MemorySlotStrings[0]), u"8192MB(DDR3-1600)");
}

TEST_F(MainPage, ProcessorListEndsAtItsFirstZeroByteAndABrandIsCutAtItsBound) {
  InstallPeers();
  std::vector<uint8_t> List = sim::BuildResourceDescriptorBytes(
      {{1, 3, 0xFFFF}, {1, 2, 100}, {7, 3, 0xFFFF}, {0, 3, 500}, {1, 3, 1000}});
  Processor_->SetResourceBytes(List);
  const std::string Long(BRAND_TEXT_LIMIT + 20, 'B');
  std::vector<char> Unterminated(Long.begin(), Long.end());  // no terminator at all
  Processor_->Record().BrandString = Unterminated.data();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Main(STR_PROCESSOR_RESOURCES), u"131070");  // wide: two full sizes, nothing after the end
  EXPECT_EQ(Main(STR_PROCESSOR_BRAND), std::u16string(BRAND_TEXT_LIMIT, u'B'));
}

TEST_F(MainPage, WithoutTheProcessorRecordItsFourStringsStay) {
  for (bool Installed : {false, true}) {
    SCOPED_TRACE(Installed ? "GetInfo fails" : "no protocol");
    WithProcessor_ = Installed;
    ClearPeers();
    EXPECT_EQ(Machine_->LeakReport(), "");
    Machine_.reset();
    Machine_ = std::make_unique<sim::Machine>(sim::DefaultBoardProfile());
    InstallPeers();
    Processor_->GetInfoStatus = EFI_DEVICE_ERROR;
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    EXPECT_EQ(Main(STR_PROCESSOR_BRAND), u"%a");
    EXPECT_EQ(Main(STR_PROCESSOR_VALUE), u"%ld");
    EXPECT_EQ(Main(STR_PROCESSOR_ID), u"ID %X, microcode %X");
    EXPECT_EQ(Main(STR_PROCESSOR_RESOURCES), u"%ld");
    EXPECT_EQ(Main(STR_BOARD), u"ID 51773000, revision 110");
  }
}

// Every combination of the four register bits: the thirteen with a text
// select it in order, the other three show an empty text.
TEST_F(MainPage, ConfigurationTextFollowsTheRegisterTableAndStrapBitZero) {
  const int Expected[2][8] = {
      // index by (a, b, c) as c * 4 + b * 2 + a, for x = 0 and x = 1
      {-1, -1, 5, 4, 3, 2, 1, 0},
      {-1, 12, 11, 10, 9, 8, 7, 6},
  };
  for (int X = 0; X < 2; ++X)
    for (int Abc = 0; Abc < 8; ++Abc) {
      const int A = Abc & 1, B = (Abc >> 1) & 1, C = (Abc >> 2) & 1;
      SCOPED_TRACE(testing::Message() << "x " << X << " a " << A << " b " << B << " c " << C);
      sim::BoardProfile Profile = sim::DefaultBoardProfile();
      for (sim::SuperIoDevice& D : Profile.SuperIo.Devices) {
        if (D.Ldn == 7) D.Registers[0xF4] = UINT8(0xFE | X);
        // Bit 2 is not one of the three and must not count.
        if (D.Ldn == 8) {
          D.Registers[0xF0] = UINT8(0xF4 | A | (B << 1) | (C << 3));
          D.Registers[0xE0] = UINT8(0xF2 | (Abc & 1));
        }
      }
      BootBoard(Profile);
      const int Index = Expected[X][Abc];
      for (UINT16 Class : {FORM_SET_CLASS_MAIN, FORM_SET_CLASS_TUNING}) {
        const std::string Number = std::to_string(Index + 1);
        EXPECT_EQ(HiiText(FormSetHandle(Class), 0x0E27),
                  Index < 0 ? u"" : u"Configuration " + std::u16string(Number.begin(), Number.end()));
        EXPECT_EQ(HiiText(FormSetHandle(Class), 0x0E23, "ja-JP"), (Abc & 1) ? u"Enabled" : u"Disabled");
      }
    }
}

// The chosen text is read in full, however long, and one that cannot be read
// shows nothing rather than a stale or bare template.
TEST_F(MainPage, StrapTextOfAnyLengthIsShownWholeAndAnUnreadableOneShowsNothing) {
  InstallPeers();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const std::u16string Long = u"Strap pins set to the second board layout (long text)";
  ASSERT_GT(Long.size() * 2, 32u);
  // A second run of the initialiser with the form set's text replaced, as
  // another language's package would give it.
  SetHiiText(FormSetHandle(FORM_SET_CLASS_TUNING), STR_STRAP_SET, "en-US", Long);
  SetHiiText(FormSetHandle(FORM_SET_CLASS_TUNING), STR_STRAP, "en-US", u"[%s]");
  InitStrapText(FormSetHandle(FORM_SET_CLASS_TUNING), FORM_SET_CLASS_TUNING);
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_TUNING), STR_STRAP), u"[" + Long + u"]");

  SetHiiText(FormSetHandle(FORM_SET_CLASS_TUNING), STR_STRAP_SET, "en-US", std::u16string(PAGE_STRING_CAPACITY, u'x'));
  SetHiiText(FormSetHandle(FORM_SET_CLASS_TUNING), STR_STRAP, "en-US", u"[%s]");
  InitStrapText(FormSetHandle(FORM_SET_CLASS_TUNING), FORM_SET_CLASS_TUNING);
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_TUNING), STR_STRAP), u"[]");
}

// Only a trigger installed after load is seen, and only a display with a
// mode record gives the resolution; until then the template stays.
TEST_F(MainPage, ResolutionFollowsTriggersAfterLoadOnceADisplayHasAMode) {
  InstallPeers();
  ASSERT_EQ(Peers_->InstallResolutionTrigger(BS()), EFI_SUCCESS);  // before load: not seen
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  ASSERT_EQ(Peers_->InstallResolutionTrigger(BS()), EFI_SUCCESS);  // no display at all
  EXPECT_EQ(Main(STR_RESOLUTION), u"%d x %d");
  TestDisplay Display(2560, 1440);
  Display.Mode.Info = nullptr;
  ASSERT_EQ(InstallDisplay(Display), EFI_SUCCESS);
  ASSERT_EQ(Peers_->InstallResolutionTrigger(BS()), EFI_SUCCESS);
  EXPECT_EQ(Main(STR_RESOLUTION), u"%d x %d");
  Display.Mode.Info = &Display.Info;
  ASSERT_EQ(Peers_->InstallResolutionTrigger(BS()), EFI_SUCCESS);
  EXPECT_EQ(Main(STR_RESOLUTION), u"2560 x 1440");
  EXPECT_EQ(Main(STR_RESOLUTION, "ja-JP"), u"2560 x 1440");
}

// Every allocation the resolution's all-language fill makes, refused in
// turn: nothing leaks, and a refusal leaves the template to a later trigger.
TEST_F(MainPage, ResolutionSurvivesEachRefusedAllocation) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  TestDisplay Display(1280, 1024);
  ASSERT_EQ(InstallDisplay(Display), EFI_SUCCESS);
  const size_t Live = M().LiveAllocationCount();
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(testing::Message() << "allocation " << N << " fails");
    M().Pool().FailAllocationAfter(N);
    ASSERT_EQ(Peers_->InstallResolutionTrigger(BS()), EFI_SUCCESS);
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    if (!Failed) {
      EXPECT_GT(N, 0u);
      EXPECT_EQ(Main(STR_RESOLUTION), u"1280 x 1024");
      break;
    }
    ASSERT_LT(N, 32u);
  }
}

// Marks where in a load the summary starts: its processor read is the
// first one of the main form set's pass.
size_t gAllocationsAtGetInfo = 0;
sim::Pool* gPool = nullptr;
PROCESSOR_INFORMATION_PROTOCOL::GetInfoFn gGetInfo = nullptr;
EFI_STATUS EFIAPI MarkedGetInfo(PROCESSOR_INFORMATION_PROTOCOL* This, UINT32 Cpu, PROCESSOR_INFORMATION_RECORD** Record) {
  if (gAllocationsAtGetInfo == 0 && gPool != nullptr) gAllocationsAtGetInfo = gPool->AllocationCount();
  return gGetInfo(This, Cpu, Record);
}

// Refusing each allocation the summary makes during the load: the driver
// still loads, nothing leaks, and each string is either filled or left to
// its template, never half-built.
TEST_F(MainPage, LoadSurvivesEachRefusedAllocationOfTheSummary) {
  InstallPeers();
  gPool = &M().Pool();
  gGetInfo = Processor_->Information()->GetInfo;
  Processor_->Information()->GetInfo = MarkedGetInfo;
  gAllocationsAtGetInfo = 0;
  const size_t Start = M().Pool().AllocationCount();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  ASSERT_GT(gAllocationsAtGetInfo, Start);
  const size_t Mark = gAllocationsAtGetInfo - Start;
  gPool = nullptr;
  // The board and stepping strings come just before the processor read, the
  // processor, memory and notification after it.
  bool SawEveryString = false, SawRefusal = false;
  for (size_t N = Mark >= 12 ? Mark - 12 : 0; N < Mark + 60; ++N) {
    SCOPED_TRACE(testing::Message() << "allocation " << N << " fails");
    ClearPeers();
    EXPECT_EQ(Machine_->LeakReport(), "");
    Machine_.reset();
    Machine_ = std::make_unique<sim::Machine>(sim::DefaultBoardProfile());
    InstallPeers();
    M().Pool().FailAllocationAfter(N);
    EXPECT_EQ(LoadDriver(), EFI_SUCCESS);
    M().Pool().ClearFailure();
    const std::pair<UINT16, std::u16string> Strings[] = {
        {STR_BOARD, u"ID 51773000, revision 110"}, {STR_HUB_STEPPING, u"C2"},
        {STR_PROCESSOR_ID, u"ID 306C3, microcode 1C"}, {MemorySlotStrings[0], u"8192MB(DDR3-1600)"},
        {MemorySlotStrings[1], u"Empty"}, {STR_TOTAL_MEMORY, u"16384 MB (graphics 32 MB, table 2)"}};
    const std::u16string Templates[] = {u"ID %lX, revision %lX", u"%s", u"ID %X, microcode %X", u"%s", u"%s",
                                        u"%ld MB"};
    bool All = true;
    for (size_t I = 0; I < 6; ++I) {
      const std::u16string Text = Main(Strings[I].first);
      EXPECT_TRUE(Text == Strings[I].second || Text == Templates[I]) << I << ": " << std::string(Text.begin(), Text.end());
      All = All && Text == Strings[I].second;
    }
    SawEveryString = SawEveryString || All;
    SawRefusal = SawRefusal || !All;
  }
  // The window holds the summary: some refusals land in it, and past them it is whole.
  EXPECT_TRUE(SawEveryString);
  EXPECT_TRUE(SawRefusal);
}

// Nothing to call, a null function included, declines; a protocol that came
// late is found on the next press and gets the tools page's handle.
TEST_F(MainPage, ActionQuestionsDeclineAMissingProtocolOrANullFunction) {
  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  Profile.MainPage.MainAction.NullFunction = true;
  Profile.MainPage.ToolAction1.Present = false;
  Profile.MainPage.ToolAction2.Late = true;
  Profile.MainPage.ToolAction2.Status = EFI_DEVICE_ERROR;
  BootBoard(Profile);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  EXPECT_EQ(Press(FORM_SET_CLASS_MAIN, EFI_BROWSER_ACTION_CHANGING, 0x536), EFI_UNSUPPORTED);
  EXPECT_EQ(Press(FORM_SET_CLASS_TOOLS, EFI_BROWSER_ACTION_CHANGING, 0x53F), EFI_UNSUPPORTED);
  EXPECT_EQ(Press(FORM_SET_CLASS_TOOLS, EFI_BROWSER_ACTION_CHANGING, 0x541), EFI_UNSUPPORTED);
  EXPECT_TRUE(Peers_->Calls.empty());
  // Located again on the next press; the component's own failure is not ours.
  Peers_->InstallLate(BS());
  EXPECT_EQ(Press(FORM_SET_CLASS_TOOLS, EFI_BROWSER_ACTION_CHANGING, 0x541), EFI_SUCCESS);
  ASSERT_EQ(Peers_->Calls.size(), 1u);
  EXPECT_EQ(Peers_->Calls[0].HiiHandle, FormSetHandle(FORM_SET_CLASS_TOOLS));
}

// The network summary keys ask the network page's refresh to read the
// browser's pending values, for CHANGED and for REFRESH.
TEST_F(MainPage, NetworkSummaryKeysRefreshFromTheBrowserForChangedAndRefresh) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  std::vector<UINT8>& NetConfig = *Browser().StoreBytes(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID);
  const std::u16string Before = HiiText(FormSetHandle(FORM_SET_CLASS_TOOLS), STR_NETWORK_SUMMARY);
  UINT8 Choice = 0;
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGED, (EFI_BROWSER_ACTION)BROWSER_ACTION_REFRESH}) {
    for (UINT16 Key : {0x538, 0x53B}) {
      SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << Key << " action " << Action);
      NetConfig[NET_CONFIG_SERVER_CHOICE_OFFSET] = Choice = UINT8((Choice + 1) % 4);
      EXPECT_EQ(Press(FORM_SET_CLASS_TOOLS, Action, Key), EFI_SUCCESS);
      EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_TOOLS), STR_NETWORK_SUMMARY).back(), u'1' + Choice)
          << "mirror number follows the browser's choice";
    }
  }
  // The loop ended on choice 0 again; a CHANGING press must not pick up choice 2.
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_TOOLS), STR_NETWORK_SUMMARY), Before);
  NetConfig[NET_CONFIG_SERVER_CHOICE_OFFSET] = 2;
  EXPECT_EQ(Press(FORM_SET_CLASS_TOOLS, EFI_BROWSER_ACTION_CHANGING, 0x538), EFI_UNSUPPORTED);
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_TOOLS), STR_NETWORK_SUMMARY), Before);
}

// A network protocol that came only after load never had the refresh
// written into it: the keys decline instead of calling a null member.
TEST_F(MainPage, NetworkSummaryKeysDeclineWhenTheRefreshWasNeverWritten) {
  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  Profile.Network.Configuration.Late = true;
  BootBoard(Profile);
  Network_->InstallLate(ST());
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  ASSERT_EQ(Network_->Configuration()->Refresh, nullptr);
  EXPECT_EQ(Press(FORM_SET_CLASS_TOOLS, EFI_BROWSER_ACTION_CHANGED, 0x538), EFI_UNSUPPORTED);
  EXPECT_EQ(Press(FORM_SET_CLASS_TOOLS, BROWSER_ACTION_REFRESH, 0x53B), EFI_UNSUPPORTED);
}

TEST(MainPageProfile, ReadsTheSectionAndRefusesWhatCannotBe) {
  auto Parse = [](const std::string& Section, sim::BoardProfile& B, std::string& Error) {
    return sim::ParseBoardProfile("{\"firmware\": {\"vendor\": \"V\", \"revision\": 1}, \"mainPage\": " + Section + "}",
                                  "t.json", B, Error);
  };
  sim::BoardProfile B;
  std::string Error;
  ASSERT_TRUE(Parse(R"({"identity": {"late": true, "values": ["0x10", 32]},
                        "versions": [{"component": "engineCode", "version": "0x01020304", "nullInterface": true}],
                        "toolAction2": {"nullFunction": true, "status": "0x8000000000000007"},
                        "resolutionTriggerLate": true})", B, Error)) << Error;
  EXPECT_TRUE(B.MainPage.Identity.Present);
  EXPECT_TRUE(B.MainPage.Identity.Late);
  EXPECT_EQ(B.MainPage.Identity.Values[0], 0x10u);
  EXPECT_EQ(B.MainPage.Identity.Values[1], 32u);
  ASSERT_EQ(B.MainPage.Versions.size(), 1u);
  EXPECT_EQ(B.MainPage.Versions[0].Version, 0x01020304u);
  EXPECT_TRUE(B.MainPage.Versions[0].NullInterface);
  EXPECT_FALSE(B.MainPage.MainAction.Present);
  EXPECT_TRUE(B.MainPage.ToolAction2.Present);
  EXPECT_TRUE(B.MainPage.ToolAction2.NullFunction);
  EXPECT_EQ(B.MainPage.ToolAction2.Status, EFI_DEVICE_ERROR);
  EXPECT_TRUE(B.MainPage.ResolutionTriggerLate);

  EXPECT_FALSE(Parse(R"({"versions": [{"component": "bootCode", "version": 1}]})", B, Error));
  EXPECT_NE(Error.find("mainPage.versions[0].component"), std::string::npos) << Error;
  EXPECT_FALSE(Parse(R"({"identity": {"values": [1]}})", B, Error));
  EXPECT_NE(Error.find("mainPage.identity.values"), std::string::npos) << Error;
  EXPECT_FALSE(Parse(R"({"mainAction": {"colour": 1}})", B, Error));
  EXPECT_NE(Error.find("unknown field"), std::string::npos) << Error;
}

}  // namespace
}  // namespace setupinfo_test
