// Graphics output selection: the display controllers, drivers and outputs
// shown at page load, the variables that keep the chosen output, and the
// output-select, level and switch questions, on the board's graphics stack
// as the driver model leaves it in the handle database.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics_output.h"
#include "setupinfo/pages/platform/graphics_output.h"
#include "setupinfo/pages/platform/graphics_output_facts.h"
#include "setupinfo_fixture.h"
#include "sim/board.h"
#include "sim/peers/graphics_peers.h"

namespace setupinfo_test {
namespace {

using Bytes = std::vector<UINT8>;

std::u16string Wide(const std::string& Text) { return std::u16string(Text.begin(), Text.end()); }

constexpr UINT16 ADVANCED = 0x4;
const Bytes END = {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0};

Bytes AdrNode(UINT32 Adr) {
  return {ACPI_DEVICE_PATH, 3, 8, 0, (UINT8)Adr, (UINT8)(Adr >> 8), (UINT8)(Adr >> 16), (UINT8)(Adr >> 24)};
}

sim::GraphicsOutputProfile PlainOutput(const std::string& Name, UINT32 Adr) {
  sim::GraphicsOutputProfile O;
  O.Name.Names = {{"en-US", Wide(Name)}};
  O.Node = AdrNode(Adr);
  O.Modes = {{1920, 1080}, {1024, 768}};
  return O;
}

class GraphicsOutput : public SetupInfoTest {
 protected:
  // A second display controller's function, 0:3.0, for the tests that add one.
  void Customise(sim::BoardProfile& Profile) override {
    sim::PciFunction F;
    F.Device = 3;
    F.Name = "Second display controller";
    F.Config = {{0x00, {0x86, 0x80}}, {0x02, {0x02, 0x04}}, {0x0A, {0x00, 0x03}}};
    Profile.Pci.push_back(F);
  }

  // The graphics stack's image: loaded before the setup driver at every boot.
  static EFI_STATUS EFIAPI StackEntry(EFI_HANDLE, EFI_SYSTEM_TABLE* SystemTable) {
    Active->Peers = std::make_unique<sim::GraphicsPeers>(Active->Graphics, Active->M().Board());
    return Active->Peers->Install(SystemTable->BootServices);
  }

  void Start() {
    Active = this;
    ASSERT_EQ(M().LoadImage({"graphics-stack", StackEntry, nullptr}), EFI_SUCCESS);
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    OpenBrowser();
  }
  void OpenBrowser() {
    Browser().AddStore(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }
  void Reboot() {
    M().Reboot();
    // A later boot loads the form sets when setup asks for them.
    ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
    OpenBrowser();
  }

  sim::GraphicsPeers::Controller& Display(size_t C = 0) { return *Peers->Controllers()[C]; }
  sim::GraphicsPeers::Output& Out(size_t C, size_t K) { return *Display(C).Outputs[K]; }
  Bytes PathOf(size_t C, size_t K) { return *Display(C).Driver->ChildPath(Out(C, K).Handle); }

  std::u16string Page(UINT16 Id) { return HiiText(FormSetHandle(ADVANCED), Id); }
  std::optional<Bytes> Stored(const std::u16string& Name, const EFI_GUID& Guid) {
    const auto* V = M().Variables().Find(Name, Guid);
    if (V == nullptr) return std::nullopt;
    return V->Data;
  }
  std::optional<Bytes> ChildPath(unsigned K) {
    return Stored(u"ChildHandleDpVar" + std::u16string(1, u"0123456789abcdef"[K]), GOP_OUTPUT_VARIABLE_GUID);
  }
  std::optional<Bytes> Policy() { return Stored(GOP_POLICY_SETUP_DATA_NAME, SETUP_VARIABLE_GUID); }
  void StoreChoice(const Bytes& Path) {
    M().Variables().Put(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID, GOP_OUTPUT_DP_ATTRIBUTES, Path);
  }
  UINT8 StoredIndex() { return Stored(u"Setup", SETUP_VARIABLE_GUID).value().at(0x469); }

  Bytes& BrowserSetup() { return *Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID); }
  Bytes& BrowserFlags() { return *Browser().StoreBytes(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID); }
  UINT32 BrowserLevel() { return ReadLe32(BrowserSetup().data() + 0x46A); }
  void SetBrowserLevel(UINT32 Level) { WriteLe32(BrowserSetup().data() + 0x46A, Level); }

  EFI_STATUS Ask(UINT16 Key, EFI_BROWSER_ACTION Action = EFI_BROWSER_ACTION_CHANGED) {
    EFI_IFR_TYPE_VALUE Value{};
    return Browser().Callback(ADVANCED, Action, Key, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  }
  EFI_STATUS Choose(UINT8 Index, UINT16 Key = KEY_FIRST_OUTPUT_CHOICE) {
    BrowserSetup()[0x469] = Index;
    return Ask(Key);
  }
  std::vector<std::string> CallsSince(size_t From) {
    return std::vector<std::string>(Peers->Calls.begin() + From, Peers->Calls.end());
  }

  // Runs the page initialiser again as a reload of the class 4 form set would.
  void ReloadPage() { InitGraphicsOutputPage(FormSetHandle(ADVANCED), ADVANCED); }

  sim::GraphicsProfile Graphics = sim::DefaultBoardProfile().Graphics;
  std::unique_ptr<sim::GraphicsPeers> Peers;
  static GraphicsOutput* Active;
};

GraphicsOutput* GraphicsOutput::Active = nullptr;

// ---- Page load ---------------------------------------------------------------

TEST_F(GraphicsOutput, DefaultBoardShowsItsControllerDriverAndOutputsInDepthFirstOrder) {
  Start();
  EXPECT_EQ(Page(ControllerNameStrings[0]), u"Integrated Graphics Controller");
  EXPECT_EQ(Page(DriverNameStrings[0]), u"Integrated Graphics Output Driver");
  EXPECT_EQ(Page(ControllerNameStrings[1]), u"Not Present");
  // HDMI sits below a handle without EDID, between the other two children.
  EXPECT_EQ(Page(OutputNameStrings[0]), u"DisplayPort");
  EXPECT_EQ(Page(OutputNameStrings[1]), u"HDMI");
  EXPECT_EQ(Page(OutputNameStrings[2]), u"Embedded panel");
  EXPECT_EQ(Page(OutputNameStrings[3]), u"Output 3");
  for (unsigned K = 0; K < 3; ++K) EXPECT_EQ(ChildPath(K), PathOf(0, K)) << K;
  EXPECT_EQ(ChildPath(3), std::nullopt);
  const auto* Written = M().Variables().Find(u"ChildHandleDpVar0", GOP_OUTPUT_VARIABLE_GUID);
  ASSERT_NE(Written, nullptr);
  EXPECT_EQ(Written->Attributes, GOP_VOLATILE_ATTRIBUTES);
  EXPECT_EQ(Policy(), (Bytes{1, 3}));
  EXPECT_EQ(StoredIndex(), 0);
  // The panel offers both properties; Setup asks for the switch on.
  EXPECT_EQ(Stored(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID), (Bytes{1, 1}));
  EXPECT_TRUE(Out(0, 2).SwitchedOn);
  // Only the class 4 form set carries the page.
  EXPECT_EQ(HiiText(FormSetHandle(0x2), OutputNameStrings[0]), u"<none>");
}

TEST_F(GraphicsOutput, StoredChoiceFindsItsIndexAndAnythingElseGivesZero) {
  Start();
  const Bytes Panel = PathOf(0, 2);
  Bytes Longer = Panel;
  Longer.insert(Longer.end(), {0xAA, 0xBB});
  Bytes Truncated(Panel.begin(), Panel.end() - 1);
  Bytes ZeroLength = Panel;
  ZeroLength[2] = ZeroLength[3] = 0;  // the first node would loop on itself
  Bytes ShortNode = Panel;
  ShortNode[2] = 3;
  Bytes NoEnd(Panel.begin(), Panel.end() - 4);
  Bytes PastEnd = Panel;
  PastEnd[Panel.size() - 2] = 8;  // the end node claims more than is stored
  struct Case {
    const char* What;
    std::optional<Bytes> Path;
    UINT8 Index;
  } Cases[] = {
      {"absent", std::nullopt, 0},  {"exact", Panel, 2},         {"trailing bytes", Longer, 2},
      {"empty", Bytes{}, 0},        {"truncated", Truncated, 0}, {"zero-length node", ZeroLength, 0},
      {"short node", ShortNode, 0}, {"no end node", NoEnd, 0},   {"end node past the data", PastEnd, 0},
      {"only an end node", END, 0}, {"another output", PathOf(0, 1), 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    // A good choice first, so a stale index would show.
    StoreChoice(PathOf(0, 1));
    ReloadPage();
    ASSERT_EQ(StoredIndex(), 1);
    M().Variables().Erase(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID);
    if (C.Path) StoreChoice(*C.Path);
    ReloadPage();
    EXPECT_EQ(StoredIndex(), C.Index);
    EXPECT_EQ(Policy(), (Bytes{1, 3}));
  }
}

TEST_F(GraphicsOutput, UnreadableSetupKeepsTheIndexUnwrittenButTheCountsAreWritten) {
  Start();
  for (size_t Size : {size_t(0), size_t(1171), size_t(1173)}) {
    SCOPED_TRACE(Size);
    Bytes Setup(Size, 0x5A);
    M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, Setup);
    M().Variables().Erase(GOP_POLICY_SETUP_DATA_NAME, SETUP_VARIABLE_GUID);
    StoreChoice(PathOf(0, 2));
    ReloadPage();
    EXPECT_EQ(Stored(u"Setup", SETUP_VARIABLE_GUID), Setup);
    EXPECT_EQ(Policy(), (Bytes{1, 3}));
  }
}

TEST_F(GraphicsOutput, OnlyManagedDisplayClassControllersOfUnmarkedDriversCount) {
  // One good controller and one failing each test in turn, all with outputs.
  auto Controller = [](UINT8 Device, const std::string& Name) {
    sim::DisplayControllerProfile C;
    C.Pci.Device = Device;
    C.Name.Names = {{"en-US", Wide(Name)}};
    C.Driver.Names = {{"en-US", Wide(Name + " driver")}};
    C.Outputs = {PlainOutput(Name + " out", 0x80010100u + Device)};
    return C;
  };
  struct Case {
    const char* What;
    std::function<void(sim::DisplayControllerProfile&)> Spoil;
  } Cases[] = {
      {"excluded driver", [](auto& C) { C.Excluded = true; }},
      {"not a display controller", [](auto& C) { C.Pci.Device = 31; }},  // the LPC bridge's function
      {"configuration read fails", [](auto& C) { C.Pci.ConfigStatus = EFI_DEVICE_ERROR; }},
      {"no managing driver", [](auto& C) { C.Managed = false; }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    sim::DisplayControllerProfile Bad = Controller(3, "Spoilt");
    C.Spoil(Bad);
    Graphics.Controllers = {Bad, Controller(2, "Good")};
    Start();
    EXPECT_EQ(Page(ControllerNameStrings[0]), u"Good");
    EXPECT_EQ(Page(DriverNameStrings[0]), u"Good driver");
    EXPECT_EQ(Page(ControllerNameStrings[1]), u"Not Present");
    EXPECT_EQ(Page(OutputNameStrings[0]), u"Good out");
    EXPECT_EQ(Policy(), (Bytes{1, 1}));
    TearDown();
    SetUp();
  }
}

TEST_F(GraphicsOutput, WithoutPciControllersOnlyEmptyCountsAreWritten) {
  Graphics.Controllers.clear();
  Start();
  M().Variables().ClearSetLog();
  StoreChoice(END);
  ReloadPage();
  EXPECT_EQ(WrittenNames(), (std::vector<std::u16string>{GOP_POLICY_SETUP_DATA_NAME}));
  EXPECT_EQ(Policy(), (Bytes{0, 0}));
  EXPECT_EQ(Stored(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID), std::nullopt);
}

// ---- Names -------------------------------------------------------------------

TEST_F(GraphicsOutput, NamesFallBackToTheFirstSupportedLanguageThenToTheOlderProtocol) {
  auto& Driver = Graphics.Controllers[0].Driver;
  Driver.Languages2 = "de-DE;fr-FR";
  Driver.Names = {{"de-DE", u"Integrated Graphics Output Driver"}};
  Driver.ComponentName = false;
  Graphics.Controllers[0].Name.Names = {{"de-DE", u"Grafiksteuerung"}};
  Start();
  EXPECT_EQ(Page(ControllerNameStrings[0]), u"Grafiksteuerung");
  EXPECT_EQ(Page(DriverNameStrings[0]), u"Integrated Graphics Output Driver");
  // The outputs have names in en-US only, and no older protocol to fall back to.
  EXPECT_EQ(Page(OutputNameStrings[0]), u"Output 0");
  const auto& Calls = Display().Driver->NameCalls;
  ASSERT_GE(Calls.size(), 2u);
  EXPECT_EQ(Calls[0], (std::pair<std::string, bool>{"en-US", false}));
  EXPECT_EQ(Calls[1], (std::pair<std::string, bool>{"de-DE", true}));
  TearDown();
  SetUp();

  Graphics = sim::DefaultBoardProfile().Graphics;
  Graphics.Controllers[0].Driver.ComponentName2 = false;
  Start();
  EXPECT_EQ(Page(ControllerNameStrings[0]), u"Integrated Graphics Controller");
  EXPECT_EQ(Page(OutputNameStrings[2]), u"Embedded panel");
  for (const auto& Call : Display().Driver->NameCalls) EXPECT_EQ(Call.first, "eng");
}

TEST_F(GraphicsOutput, AnOutputWithoutANameHasNoRowAndNoPath) {
  Graphics.Controllers[0].Outputs[1].Name.Names.clear();
  Start();
  EXPECT_EQ(Page(OutputNameStrings[1]), u"Output 1");
  EXPECT_EQ(ChildPath(1), std::nullopt);
  EXPECT_EQ(Page(OutputNameStrings[2]), u"Embedded panel");
  EXPECT_EQ(ChildPath(2), PathOf(0, 2));
  // It still counts: the list holds it.
  EXPECT_EQ(Policy(), (Bytes{1, 3}));
}

TEST_F(GraphicsOutput, FailingNameCallsLeaveThePackagedTexts) {
  Graphics.Controllers[0].Driver.NameStatus = EFI_DEVICE_ERROR;
  Graphics.Controllers[0].Driver.ComponentName = true;
  Start();
  EXPECT_EQ(Page(ControllerNameStrings[0]), u"Not Present");
  EXPECT_EQ(Page(DriverNameStrings[0]), u"Not Present");
  EXPECT_EQ(Page(OutputNameStrings[0]), u"Output 0");
  EXPECT_EQ(ChildPath(0), std::nullopt);
  EXPECT_EQ(Policy(), (Bytes{1, 3}));
}

TEST_F(GraphicsOutput, LongNamesAreCutToSixtyThreeCharacters) {
  Graphics.Controllers[0].Driver.Names = {{"en-US", std::u16string(300, u'N')}};
  Graphics.Controllers[0].Outputs[0].Name.Names = {{"en-US", u"\u00E9\u4E2D" + std::u16string(70, u'o')}};
  Start();
  EXPECT_EQ(Page(DriverNameStrings[0]), std::u16string(63, u'N'));
  // Each character keeps its low byte.
  EXPECT_EQ(Page(OutputNameStrings[0]).size(), 63u);
}

// ---- Output walk ---------------------------------------------------------------

TEST_F(GraphicsOutput, ChainsAreDescendedOnlySoDeep) {
  auto& Outputs = Graphics.Controllers[0].Outputs;
  Outputs[0].Via = 7;   // the deepest an output may lie
  Outputs[1].Via = 8;   // one deeper: not found
  Outputs[2].Edid = false;  // a GOP child without EDID is no output
  Start();
  EXPECT_EQ(Page(OutputNameStrings[0]), u"DisplayPort");
  EXPECT_EQ(Page(OutputNameStrings[1]), u"Output 1");
  EXPECT_EQ(Policy(), (Bytes{1, 1}));
}

TEST_F(GraphicsOutput, ACycleOfChildRecordsEndsAndListsEachOutputOnce) {
  Start();
  // The HDMI output's parent also claims the controller and itself as children.
  auto& C = Display();
  EFI_HANDLE Via = Out(0, 1).Via[0];
  VOID* Interface = nullptr;
  ASSERT_EQ(BS()->OpenProtocol(Via, &EFI_DEVICE_PATH_PROTOCOL::Guid, &Interface, C.Driver->Handle(), C.Pci->Handle(),
                               EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER),
            EFI_SUCCESS);
  ASSERT_EQ(BS()->OpenProtocol(Out(0, 1).Handle, &EFI_DEVICE_PATH_PROTOCOL::Guid, &Interface, C.Driver->Handle(),
                               Via, EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER),
            EFI_SUCCESS);
  ReloadPage();
  EXPECT_EQ(Policy(), (Bytes{1, 3}));
  EXPECT_EQ(ChildPath(3), std::nullopt);
}

TEST_F(GraphicsOutput, TwoControllersNumberTheirOutputsOnAndStayApart) {
  sim::DisplayControllerProfile Second;
  Second.Pci.Device = 3;
  Second.Name.Names = {{"en-US", u"Second Controller"}};
  Second.Driver.Names = {{"en-US", u"Second Driver"}};
  Second.Outputs = {PlainOutput("VGA", 0x80010100), PlainOutput("DVI", 0x80010200)};
  Graphics.Controllers.push_back(Second);
  Start();
  EXPECT_EQ(Page(ControllerNameStrings[1]), u"Second Controller");
  EXPECT_EQ(Page(DriverNameStrings[1]), u"Second Driver");
  EXPECT_EQ(Page(OutputNameStrings[2]), u"Embedded panel");
  EXPECT_EQ(Page(OutputNameStrings[3]), u"VGA");
  EXPECT_EQ(Page(OutputNameStrings[4]), u"DVI");
  EXPECT_EQ(ChildPath(2), PathOf(0, 2));
  EXPECT_EQ(ChildPath(4), PathOf(1, 1));
  // The count is the last controller's, as one controller alone gives it.
  EXPECT_EQ(Policy(), (Bytes{2, 2}));
  StoreChoice(PathOf(1, 0));
  ReloadPage();
  EXPECT_EQ(StoredIndex(), 3);

  // Choosing the second controller's output reaches only its own driver.
  const size_t From = Peers->Calls.size();
  EXPECT_EQ(Choose(4), EFI_SUCCESS);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), PathOf(1, 1));
  EXPECT_TRUE(Display(0).Connects.empty());
  ASSERT_EQ(Display(1).Connects.size(), 1u);
  EXPECT_EQ(Display(1).Connects[0], AdrNode(0x80010200));
  EXPECT_EQ(CallsSince(From), (std::vector<std::string>{"display 1: Start with 02 03 08 00 00 02 01 80"}));
}

TEST_F(GraphicsOutput, OutputsPastTheEighthAreNeitherShownNorKept) {
  auto& Outputs = Graphics.Controllers[0].Outputs;
  for (UINT32 K = 3; K < 10; ++K) Outputs.push_back(PlainOutput("Extra " + std::to_string(K), 0x80020000 + K));
  Start();
  EXPECT_EQ(Page(OutputNameStrings[7]), u"Extra 7");
  EXPECT_EQ(ChildPath(7), PathOf(0, 7));
  EXPECT_EQ(ChildPath(8), std::nullopt);
  EXPECT_EQ(Policy(), (Bytes{1, 10}));
  StoreChoice(PathOf(0, 9));
  ReloadPage();
  EXPECT_EQ(StoredIndex(), 0);
}

// ---- Choosing an output --------------------------------------------------------

TEST_F(GraphicsOutput, ChoosingAnOutputConnectsItAppliesItsPropertiesAndKeepsIt) {
  Start();
  BrowserFlags() = {0, 0};
  const size_t From = Peers->Calls.size();
  EXPECT_EQ(Choose(2), EFI_SUCCESS);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), PathOf(0, 2));
  EXPECT_EQ(M().Variables().Find(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID)->Attributes, GOP_OUTPUT_DP_ATTRIBUTES);
  // Level 7 is within the maximum and already set; the switch is asked on.
  EXPECT_EQ(CallsSince(From), (std::vector<std::string>{"display 0: Start with 02 03 08 00 00 04 01 80",
                                                        "display 0 output 2: GetMaxLevel",
                                                        "display 0 output 2: GetLevel",
                                                        "display 0 output 2: SwitchOn"}));
  EXPECT_EQ(BrowserFlags(), (Bytes{1, 1}));
  EXPECT_EQ(BrowserLevel(), 7u);
}

TEST_F(GraphicsOutput, EveryOutputKeyActsTheSameAndOnlyOnChanged) {
  Start();
  for (UINT16 Key = KEY_FIRST_OUTPUT_CHOICE; Key <= KEY_LAST_OUTPUT_CHOICE; ++Key) {
    SCOPED_TRACE(Key);
    M().Variables().Erase(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID);
    const UINT8 Index = (UINT8)((Key - KEY_FIRST_OUTPUT_CHOICE) % 3);
    EXPECT_EQ(Choose(Index, Key), EFI_SUCCESS);
    EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), PathOf(0, Index));
  }
  M().Variables().Erase(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID);
  const size_t From = Peers->Calls.size();
  const auto Before = Forms().Calls();
  BrowserSetup()[0x469] = 1;
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGING, EFI_BROWSER_ACTION_RETRIEVE, EFI_BROWSER_ACTION_FORM_OPEN})
    EXPECT_EQ(Ask(KEY_FIRST_OUTPUT_CHOICE, Action), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Before.GetBrowserData);
  EXPECT_TRUE(CallsSince(From).empty());
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), std::nullopt);
}

TEST_F(GraphicsOutput, AChoiceTheControllerCannotTakeLeavesTheStoredOneAlone) {
  struct Case {
    const char* What;
    std::function<void()> Spoil;
    EFI_STATUS Status;
    bool Started;
  } Cases[] = {
      {"another vendor",
       [this] {
         const UINT16 Vendor = 0x1002;
         M().Board().PciWrite(0, 2, 0, 0, &Vendor, 2);
       },
       EFI_UNSUPPORTED, false},
      // Then it is no display controller at all: nothing is tried.
      {"configuration unreadable", [this] { Display().Pci->ConfigStatus = EFI_DEVICE_ERROR; }, EFI_SUCCESS, false},
      {"no path for the index",
       [this] { M().Variables().Erase(u"ChildHandleDpVar2", GOP_OUTPUT_VARIABLE_GUID); },
       EFI_NOT_FOUND, false},
      {"stored path loops",
       [this] {
         Bytes Path = PathOf(0, 2);
         Path[12 + 2] = 0;  // the PCI node's length
         M().Variables().Put(u"ChildHandleDpVar2", GOP_OUTPUT_VARIABLE_GUID, 6, Path);
       },
       EFI_COMPROMISED_DATA, false},
      {"stored path cut short",
       [this] {
         Bytes Path = PathOf(0, 2);
         Path.resize(Path.size() - 2);
         M().Variables().Put(u"ChildHandleDpVar2", GOP_OUTPUT_VARIABLE_GUID, 6, Path);
       },
       EFI_COMPROMISED_DATA, false},
      {"path of no output of this controller",
       [this] {
         Bytes Path = sim::AppendDevicePathNode(sim::PciDevicePath(5, 0), AdrNode(1));
         M().Variables().Put(u"ChildHandleDpVar2", GOP_OUTPUT_VARIABLE_GUID, 6, Path);
       },
       EFI_NOT_FOUND, false},
      {"driver refuses an output that is gone",
       [this] {
         Display().Profile.StartStatus = EFI_DEVICE_ERROR;
         auto& Panel = Out(0, 2);
         VOID* Path = nullptr;
         ASSERT_EQ(BS()->HandleProtocol(Panel.Handle, &EFI_DEVICE_PATH_PROTOCOL::Guid, &Path), EFI_SUCCESS);
         ASSERT_EQ(BS()->UninstallProtocolInterface(Panel.Handle, &EFI_DEVICE_PATH_PROTOCOL::Guid, Path), EFI_SUCCESS);
       },
       EFI_NOT_FOUND, true},
      {"index past the rows", [this] { BrowserSetup()[0x469] = 8; }, EFI_NOT_FOUND, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Start();
    StoreChoice(PathOf(0, 0));
    BrowserSetup()[0x469] = 2;
    BrowserFlags() = {1, 1};
    C.Spoil();
    EXPECT_EQ(Ask(KEY_FIRST_OUTPUT_CHOICE), C.Status);
    EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), PathOf(0, 0));
    EXPECT_EQ(Display().Connects.size(), C.Started ? 1u : 0u);
    // A refused output has no properties to offer.
    EXPECT_EQ(BrowserFlags(), (C.Started ? Bytes{0, 0} : Bytes{1, 1}));
    TearDown();
    SetUp();
  }
}

// A driver already driving every output starts nothing on the connect: the
// choice names a live output and is kept, but no property is applied.
TEST_F(GraphicsOutput, AChoiceOfALiveOutputIsKeptWhenTheConnectStartsNothing) {
  Graphics.Controllers[0].StartStatus = EFI_ALREADY_STARTED;
  Start();
  BrowserFlags() = {1, 1};
  const size_t From = Peers->Calls.size();
  EXPECT_EQ(Choose(2), EFI_SUCCESS);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), PathOf(0, 2));
  EXPECT_EQ(CallsSince(From), (std::vector<std::string>{"display 0: Start with 02 03 08 00 00 04 01 80"}));
  EXPECT_EQ(BrowserFlags(), (Bytes{0, 0}));
}

TEST_F(GraphicsOutput, ADriverWithoutBindingOrASetupTheBrowserCannotGiveChangesNothing) {
  Graphics.Controllers[0].Driver.Binding = false;
  Start();
  EXPECT_EQ(Choose(2), EFI_UNSUPPORTED);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), std::nullopt);
  TearDown();
  SetUp();

  Start();
  const Bytes Setup = BrowserSetup();
  Browser().Close();
  const auto Before = Forms().Calls();
  EXPECT_NE(Ask(KEY_FIRST_OUTPUT_CHOICE), EFI_SUCCESS);
  EXPECT_NE(Ask(KEY_OUTPUT_LEVEL), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().SetBrowserData, Before.SetBrowserData);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), std::nullopt);
}

TEST_F(GraphicsOutput, TheRememberedResolutionComesBackAfterTheSwitch) {
  auto& DisplayPort = Graphics.Controllers[0].Outputs[0];
  DisplayPort.Modes = {{1024, 768}, {1920, 1080}, {800, 600}, {1920, 1080}};
  DisplayPort.Mode = 1;
  DisplayPort.StartMode = 2;  // a restarted driver falls back to 800 x 600
  Start();
  size_t From = Peers->Calls.size();
  EXPECT_EQ(Choose(0), EFI_SUCCESS);
  std::vector<std::string> Calls = CallsSince(From);
  EXPECT_EQ(std::vector<std::string>(Calls.begin() + 1, Calls.end()),
            (std::vector<std::string>{"display 0 output 0: QueryMode 0", "display 0 output 0: QueryMode 1",
                                      "display 0 output 0: SetMode 1"}));
  EXPECT_EQ(Out(0, 0).Mode.Mode, 1u);

  // A mode that will not set is passed for the next of the same resolution.
  Display().Profile.Outputs[0].StartMode = 2;
  Out(0, 0).Profile.SetModeStatus = EFI_DEVICE_ERROR;
  From = Peers->Calls.size();
  EXPECT_EQ(Choose(0), EFI_DEVICE_ERROR);
  Calls = CallsSince(From);
  EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "display 0 output 0: SetMode 1"), 1);
  EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "display 0 output 0: SetMode 3"), 1);
  // HDMI already shows the resolution, which ends it before the panel.
  EXPECT_EQ(std::find(Calls.begin(), Calls.end(), "display 0 output 2: QueryMode 0"), Calls.end());
}

TEST_F(GraphicsOutput, NoModeIsSetWhenTheResolutionDidNotChange) {
  Start();
  const size_t From = Peers->Calls.size();
  EXPECT_EQ(Choose(1), EFI_SUCCESS);
  for (const std::string& Call : CallsSince(From)) {
    EXPECT_EQ(Call.find("SetMode"), std::string::npos) << Call;
    EXPECT_EQ(Call.find("QueryMode"), std::string::npos) << Call;
  }
}

TEST_F(GraphicsOutput, TheChoiceSurvivesARebootAndIsFoundAgain) {
  Start();
  EXPECT_EQ(Choose(2), EFI_SUCCESS);
  ASSERT_EQ(Browser().Save(), EFI_SUCCESS);
  Reboot();
  EXPECT_EQ(StoredIndex(), 2);
  EXPECT_EQ(BrowserSetup()[0x469], 2);
  EXPECT_EQ(Policy(), (Bytes{1, 3}));
  // The volatile variables were rebuilt by this boot's page load.
  EXPECT_EQ(ChildPath(2), PathOf(0, 2));
}

TEST_F(GraphicsOutput, TheChosenPathVariableIsReadWholeAndBoundedBySize) {
  Start();
  const Bytes Panel = PathOf(0, 2);
  Bytes Trailing = Panel;
  Trailing.resize(Panel.size() + 3000, 0xEE);
  Bytes Long = sim::PciDevicePath(2, 0);
  Long.resize(Long.size() - 4);
  while (Long.size() < MAX_OUTPUT_DEVICE_PATH_BYTES) Long.insert(Long.end(), {HARDWARE_DEVICE_PATH, 5, 8, 0, 0, 0, 0, 0});
  Long.insert(Long.end(), END.begin(), END.end());
  struct Case {
    const char* What;
    std::optional<Bytes> Stored;
    std::optional<Bytes> Kept;  // what OrvGopOutputDp holds afterwards; nullopt: untouched
  } Cases[] = {
      {"absent", std::nullopt, std::nullopt},
      {"three bytes", Bytes{2, 1, 12}, std::nullopt},
      {"only an end node", END, std::nullopt},
      {"exact", Panel, Panel},
      {"trailing bytes are not kept", Trailing, Panel},
      {"longer than any output path", Long, std::nullopt},
      {"zero bytes", Bytes{}, std::nullopt},
      {"an end node of six bytes", Bytes{END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 6, 0, 0, 0}, std::nullopt},
      // An instance end is walked over; what is left is no output's path.
      {"an instance end first", Bytes{END_DEVICE_PATH_TYPE, 0x01, 4, 0, END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0},
       std::nullopt},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    M().Variables().Erase(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID);
    M().Variables().Erase(u"ChildHandleDpVar2", GOP_OUTPUT_VARIABLE_GUID);
    if (C.Stored) M().Variables().Put(u"ChildHandleDpVar2", GOP_OUTPUT_VARIABLE_GUID, 6, *C.Stored);
    const size_t Starts = Display().Connects.size();
    const EFI_STATUS Status = Choose(2);
    EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), C.Kept);
    EXPECT_EQ(Display().Connects.size(), Starts + (C.Kept ? 1 : 0));
    EXPECT_EQ(EFI_ERROR(Status), !C.Kept.has_value());
  }
}

TEST_F(GraphicsOutput, BrowserStoresOfOtherSizesAreNeitherOverrunNorOverwritten) {
  Start();
  // A Setup too short for the level: the handler reads zeros past it and hands back only what it got.
  Browser().Close();
  Bytes Short(0x46A, 0);
  Short[0x469] = 2;
  M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, Short);
  OpenBrowser();
  EXPECT_EQ(Ask(KEY_OUTPUT_LEVEL), EFI_SUCCESS);
  EXPECT_EQ(BrowserSetup().size(), Short.size());
  EXPECT_EQ(Out(0, 2).CurrentLevel, 0u);  // the missing level reads 0, within the maximum
  EXPECT_EQ(Ask(KEY_FIRST_OUTPUT_CHOICE), EFI_SUCCESS);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), PathOf(0, 2));

  // Larger than the record: not taken, nothing handed back or written.
  Browser().Close();
  M().Variables().Erase(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID);
  M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, Bytes(1173, 2));
  OpenBrowser();
  auto Before = Forms().Calls();
  EXPECT_TRUE(EFI_ERROR(Ask(KEY_FIRST_OUTPUT_CHOICE)));
  EXPECT_TRUE(EFI_ERROR(Ask(KEY_OUTPUT_SWITCH)));
  EXPECT_EQ(Forms().Calls().SetBrowserData, Before.SetBrowserData);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), std::nullopt);

  // The flags store: one byte is handed back as one byte; three are not taken.
  Browser().Close();
  M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, Bytes(1172, 0));
  for (size_t Size : {size_t(1), size_t(3)}) {
    SCOPED_TRACE(Size);
    M().Variables().Put(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID, 6, Bytes(Size, 0));
    OpenBrowser();
    EXPECT_EQ(Ask(KEY_OUTPUT_SWITCH), EFI_SUCCESS);
    EXPECT_EQ(BrowserFlags(), Size == 1 ? Bytes{0} : Bytes(3, 0));
    EXPECT_EQ(Ask(KEY_OUTPUT_LEVEL), EFI_SUCCESS);
    EXPECT_EQ(BrowserFlags(), Size == 1 ? Bytes{1} : Bytes(3, 0));
    Browser().Close();
  }
}

// ---- Output level and switch ---------------------------------------------------

TEST_F(GraphicsOutput, ALevelAboveTheMaximumIsLoweredAndOthersApplyUnchanged) {
  Start();
  struct Case {
    UINT32 Asked, Kept;
    bool HandedBack;
    std::vector<std::string> Calls;
  } Cases[] = {
      {12, 10, true, {"GetMaxLevel", "GetLevel", "SetLevel 10"}},
      {0xFFFFFFFF, 10, true, {"GetMaxLevel", "GetLevel"}},  // the level is 10 already
      {10, 10, false, {"GetMaxLevel", "GetLevel"}},
      {3, 3, false, {"GetMaxLevel", "GetLevel", "SetLevel 3"}},
      {0, 0, false, {"GetMaxLevel", "GetLevel", "SetLevel 0"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Asked);
    SetBrowserLevel(C.Asked);
    BrowserFlags() = {0, 0};
    const auto Before = Forms().Calls();
    const size_t From = Peers->Calls.size();
    EXPECT_EQ(Ask(KEY_OUTPUT_LEVEL), EFI_SUCCESS);
    EXPECT_EQ(BrowserLevel(), C.Kept);
    EXPECT_EQ(Out(0, 2).CurrentLevel, C.Kept);
    // Setup only when it was lowered, and the flags always.
    EXPECT_EQ(Forms().Calls().SetBrowserData - Before.SetBrowserData, C.HandedBack ? 2u : 1u);
    std::vector<std::string> Expected;
    for (auto& Call : C.Calls) Expected.push_back("display 0 output 2: " + Call);
    EXPECT_EQ(CallsSince(From), Expected);
    EXPECT_EQ(BrowserFlags(), (Bytes{1, 0}));
  }
}

TEST_F(GraphicsOutput, AFailedMaximumLeavesTheLevelAloneAndAFailedReadStillApplies) {
  Graphics.Controllers[0].Outputs[2].Level->GetMaxStatus = EFI_DEVICE_ERROR;
  Start();
  SetBrowserLevel(50);
  size_t From = Peers->Calls.size();
  EXPECT_EQ(Ask(KEY_OUTPUT_LEVEL), EFI_DEVICE_ERROR);
  EXPECT_EQ(BrowserLevel(), 50u);
  EXPECT_EQ(CallsSince(From), (std::vector<std::string>{"display 0 output 2: GetMaxLevel"}));
  EXPECT_EQ(Out(0, 2).CurrentLevel, 7u);

  Out(0, 2).Profile.Level->GetMaxStatus = EFI_SUCCESS;
  Out(0, 2).Profile.Level->GetLevelStatus = EFI_DEVICE_ERROR;
  SetBrowserLevel(7);
  From = Peers->Calls.size();
  EXPECT_EQ(Ask(KEY_OUTPUT_LEVEL), EFI_SUCCESS);
  EXPECT_EQ(CallsSince(From).back(), "display 0 output 2: SetLevel 7");
}

TEST_F(GraphicsOutput, OnlySwitchValueOneMeansOn) {
  Start();
  for (UINT8 Value : {0, 1, 2, 0xFF}) {
    SCOPED_TRACE(int(Value));
    BrowserSetup()[0x46E] = Value;
    const size_t From = Peers->Calls.size();
    EXPECT_EQ(Ask(KEY_OUTPUT_SWITCH), EFI_SUCCESS);
    EXPECT_EQ(CallsSince(From),
              (std::vector<std::string>{Value == 1 ? "display 0 output 2: SwitchOn" : "display 0 output 2: SwitchOff"}));
    EXPECT_EQ(Out(0, 2).SwitchedOn, Value == 1);
  }
}

TEST_F(GraphicsOutput, PropertiesAnOutputDoesNotSupportAreNotTouched) {
  Graphics.Controllers[0].Outputs[2].Level->Supported = 0;
  Graphics.Controllers[0].Outputs[2].Switch->Supported = 0;
  Start();
  EXPECT_EQ(Stored(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID), (Bytes{0, 0}));
  BrowserFlags() = {0, 1};
  const size_t From = Peers->Calls.size();
  EXPECT_EQ(Ask(KEY_OUTPUT_LEVEL), EFI_SUCCESS);
  EXPECT_EQ(Ask(KEY_OUTPUT_SWITCH), EFI_SUCCESS);
  EXPECT_TRUE(CallsSince(From).empty());
  // The browser's flags are handed back as they were.
  EXPECT_EQ(BrowserFlags(), (Bytes{0, 1}));
}

TEST_F(GraphicsOutput, WithoutTheBrowsersFlagsNothingIsHandedBackForThem) {
  Start();
  Browser().Close();
  M().Variables().Erase(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  ASSERT_EQ(Browser().StoreBytes(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID), nullptr);
  SetBrowserLevel(20);
  const auto Before = Forms().Calls();
  EXPECT_EQ(Ask(KEY_OUTPUT_LEVEL), EFI_SUCCESS);
  EXPECT_EQ(BrowserLevel(), 10u);
  EXPECT_EQ(Forms().Calls().SetBrowserData - Before.SetBrowserData, 1u);  // Setup alone
}

TEST_F(GraphicsOutput, SwitchAtLoadFollowsTheStoredSetup) {
  struct Case {
    size_t Size;
    UINT8 Value;
  } Cases[] = {{1172, 0}, {1172, 1}, {1172, 2}, {1171, 1}, {1173, 1}, {0, 1}};
  for (const Case& C : Cases) {
    const UINT8 Value = C.Size == 1172 ? C.Value : 0;  // an unreadable Setup asks for off
    SCOPED_TRACE(testing::Message() << C.Size << " bytes, switch " << int(C.Value));
    Bytes Setup(C.Size, 0);
    if (C.Size > 0x46E) Setup[0x46E] = C.Value;
    M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, Setup);
    Start();
    EXPECT_EQ(Out(0, 2).SwitchedOn, Value == 1);
    // Once per form set: every one asks.
    EXPECT_EQ(std::count(Peers->Calls.begin(), Peers->Calls.end(),
                         Value == 1 ? "display 0 output 2: SwitchOn" : "display 0 output 2: SwitchOff"),
              9);
    TearDown();
    SetUp();
  }
}

// ---- Pool failures -------------------------------------------------------------

TEST_F(GraphicsOutput, EveryAllocationMayFailWithoutLeaksOrHalfWrittenState) {
  Start();
  StoreChoice(PathOf(0, 2));
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(N);
    M().Pool().FailAllocationAfter(N);
    ReloadPage();
    if (M().Pool().FailurePending()) break;
    // The counts are always written, whole or as zeros.
    const auto P = Policy();
    ASSERT_TRUE(P.has_value());
    EXPECT_TRUE(*P == (Bytes{1, 3}) || *P == (Bytes{0, 0}) || *P == (Bytes{1, 0})) << int((*P)[0]) << int((*P)[1]);
  }
  M().Pool().ClearFailure();
  for (UINT16 Key : {KEY_FIRST_OUTPUT_CHOICE, KEY_OUTPUT_LEVEL, KEY_OUTPUT_SWITCH}) {
    for (size_t N = 0;; ++N) {
      SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << Key << " allocation " << std::dec << N);
      M().Pool().FailAllocationAfter(N);
      BrowserSetup()[0x469] = 2;
      Ask(Key);
      if (M().Pool().FailurePending()) break;
    }
    M().Pool().ClearFailure();
  }
  EXPECT_EQ(Choose(2), EFI_SUCCESS);
  EXPECT_EQ(Stored(GOP_OUTPUT_DP_NAME, GOP_OUTPUT_VARIABLE_GUID), PathOf(0, 2));
}

}  // namespace
}  // namespace setupinfo_test
