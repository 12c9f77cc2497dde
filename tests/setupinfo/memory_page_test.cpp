// Memory, memory controller and integrated graphics page: the class 0x20
// facts, the option blanking of classes 4, 2 and 1, the module templates,
// and the bounds kept on what other drivers and the board hand over.
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

#include "platform/form_utility.h"
#include "setupinfo/pages/board/memory_facts.h"
#include "setupinfo/pages/board/memory_page.h"
#include "setupinfo_fixture.h"
#include "sim/peers/memory_peers.h"
#include "uefi/pi.h"

namespace setupinfo_test {
namespace {

// ---- The module HOB's records --------------------------------------------------

// A GUID HOB of DataSize bytes whose records hold the given first bytes.
std::vector<UINT8> ModuleHob(size_t DataSize, std::vector<std::vector<UINT8>> Records) {
  std::vector<UINT8> Hob(sizeof(EFI_HOB_GUID_TYPE) + DataSize, 0);
  WriteLe16(Hob.data(), EFI_HOB_TYPE_GUID_EXTENSION);
  WriteLe16(Hob.data() + 2, (UINT16)Hob.size());
  std::memcpy(Hob.data() + 8, &MEMORY_MODULE_HOB_GUID, sizeof(EFI_GUID));
  for (size_t I = 0; I < Records.size(); ++I) {
    const size_t At = sizeof(EFI_HOB_GUID_TYPE) + MemoryModuleRecordOffsets[I];
    for (size_t K = 0; K < Records[I].size() && At + K < Hob.size(); ++K) Hob[At + K] = Records[I][K];
  }
  return Hob;
}

const std::vector<UINT8> RECORD = {0x13, 150, 0, 0x40, 0x06, 0, 0, 11, 12, 13, 28, 0};

TEST(ModuleRecords, ARecordOutsideTheHobCountsAsAbsent) {
  MEMORY_MODULE_RECORD R;
  // Both records whole, then the second cut by one byte, then the first.
  auto Whole = ModuleHob(MEMORY_MODULE_HOB_DATA_SIZE, {RECORD, RECORD});
  EXPECT_TRUE(ReadMemoryModuleRecord(Whole.data(), 0, &R));
  EXPECT_TRUE(ReadMemoryModuleRecord(Whole.data(), 1, &R));
  EXPECT_EQ((UINT16)R.Frequency, 1600);
  EXPECT_EQ((UINT16)R.Cycles, 28);

  auto Cut = ModuleHob(MEMORY_MODULE_HOB_DATA_SIZE - 1, {RECORD, RECORD});
  EXPECT_TRUE(ReadMemoryModuleRecord(Cut.data(), 0, &R));
  EXPECT_FALSE(ReadMemoryModuleRecord(Cut.data(), 1, &R));
  EXPECT_EQ((UINT16)R.Frequency, 0);  // nothing of the cut record is kept

  auto Short = ModuleHob(0x5CC7 + 11, {RECORD});
  EXPECT_FALSE(ReadMemoryModuleRecord(Short.data(), 0, &R));
  auto Empty = ModuleHob(0, {});
  EXPECT_FALSE(ReadMemoryModuleRecord(Empty.data(), 0, &R));
  EXPECT_FALSE(ReadMemoryModuleRecord(nullptr, 0, &R));
  EXPECT_FALSE(ReadMemoryModuleRecord(Whole.data(), 2, &R));
}

TEST(ModuleRecords, PresenceIsTheWordsAtBytesThreeToSix) {
  MEMORY_MODULE_RECORD R;
  std::vector<UINT8> NoFrequency = RECORD;
  NoFrequency[3] = NoFrequency[4] = 0;
  NoFrequency[5] = 1;  // bytes 5-6 alone make it present
  auto Hob = ModuleHob(MEMORY_MODULE_HOB_DATA_SIZE, {NoFrequency, {0x13, 150, 0, 0, 0, 0, 0, 11, 12, 13, 28, 0}});
  EXPECT_TRUE(ReadMemoryModuleRecord(Hob.data(), 0, &R));
  EXPECT_FALSE(ReadMemoryModuleRecord(Hob.data(), 1, &R));
}

TEST(ModuleRecords, TemplateValuesRaiseOldRevisionsAndShowMarketingFrequencies) {
  MEMORY_MODULE_RECORD R{};
  R.Revision = 0x0B;
  R.Frequency = 1867;
  R.Voltage = 135;
  R.Timing[0] = 9, R.Timing[1] = 10, R.Timing[2] = 11;
  R.Cycles = 300;
  UINT32 V[MODULE_TEMPLATE_VALUES];
  ModuleTemplateValues(R, V);
  EXPECT_EQ(std::vector<UINT32>(V, V + MODULE_TEMPLATE_VALUES), (std::vector<UINT32>{1, 0, 1866, 9, 10, 11, 300, 1, 35}));
  R.Revision = 0x21;
  R.Frequency = 1600;
  R.Voltage = 105;
  ModuleTemplateValues(R, V);
  EXPECT_EQ(V[0], 2u);
  EXPECT_EQ(V[1], 1u);
  EXPECT_EQ(V[2], 1600u);
  EXPECT_EQ(V[8], 5u);
}

TEST(MemoryFacts, SelectorsTakeModulesOutOfTheCount) {
  MEMORY_INFO_PROTOCOL Info{};
  for (UINTN i = 0; i < MEMORY_INFO_MODULES; ++i) Info.ModuleSizeMb[i] = 4096;
  COUNTED_MEMORY C = CountModules(Info, 3, 0);
  EXPECT_EQ(C.TotalMb, 8192u);
  EXPECT_EQ(std::vector<UINT32>(C.SizeMb, C.SizeMb + 4), (std::vector<UINT32>{0, 0, 4096, 4096}));
  C = CountModules(Info, 1, 2);
  EXPECT_EQ(std::vector<UINT32>(C.SizeMb, C.SizeMb + 4), (std::vector<UINT32>{0, 4096, 4096, 0}));
  // Other selector values count both modules.
  EXPECT_EQ(CountModules(Info, 4, 0xFF).TotalMb, 16384u);
  // Four of the largest sizes still add up.
  for (UINTN i = 0; i < MEMORY_INFO_MODULES; ++i) Info.ModuleSizeMb[i] = 0xFFFF;
  EXPECT_EQ(CountModules(Info, 0, 0).TotalMb, 4u * 0xFFFF);
}

// ---- The profile's memory section -------------------------------------------------

TEST(MemoryProfile, ItsHobAndVariableJoinTheBoardsOwnLists) {
  // "hobs" and "variables" come after "memory" in name order and replace their lists.
  const std::string Json = R"({"firmware": {"vendor": "V", "revision": 1},
    "memory": {"moduleHob": {"dataSize": 23800, "modules": [{"revision": 19, "voltage": 135, "frequency": 1867,
                                                           "timings": [9, 10, 11], "cycles": 300}]},
               "platformData": {"size": 18, "featureB": 1, "frequencyLimitA": 2133, "frequencyLimitB": 1600},
               "videoBios": {"fails": true}},
    "hobs": [{"guid": "982D8C6F-F6F6-4135-A309-A4593EA56417", "data": "00"}],
    "variables": [{"name": "X", "guid": "8BE4DF61-93CA-11D2-AA0D-00E098032B8C", "attributes": 3, "data": "00"}]})";
  sim::BoardProfile P;
  std::string Error;
  ASSERT_TRUE(sim::ParseBoardProfile(Json, "test.json", P, Error)) << Error;
  ASSERT_EQ(P.Hobs.size(), 2u);
  const std::vector<UINT8>& Hob = P.Hobs[1].Data;
  EXPECT_TRUE(P.Hobs[1].Guid == MEMORY_MODULE_HOB_GUID);
  ASSERT_EQ(Hob.size(), 23800u);
  EXPECT_EQ(std::vector<UINT8>(Hob.begin() + 0x5CC7, Hob.begin() + 0x5CD3),
            (std::vector<UINT8>{19, 135, 0, 0x4B, 0x07, 0, 0, 9, 10, 11, 0x2C, 0x01}));
  EXPECT_EQ(std::count(Hob.begin() + 0x5CD3, Hob.end(), 0), (long)(Hob.size() - 0x5CD3));
  ASSERT_EQ(P.Variables.size(), 2u);
  EXPECT_EQ(P.Variables[1].Name, u"NBPlatformData");
  EXPECT_EQ(P.Variables[1].Data, (std::vector<UINT8>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x55, 0x08, 0x40, 0x06}));
  EXPECT_FALSE(P.Memory.InformationPresent);
  EXPECT_FALSE(P.Memory.Version.has_value());
  ASSERT_TRUE(P.Memory.VideoBios.has_value());
  EXPECT_TRUE(P.Memory.VideoBios->Fails);

  EXPECT_FALSE(sim::ParseBoardProfile(R"({"firmware": {"vendor": "V", "revision": 1},
    "memory": {"information": {"timings": {"0x60": 1}}}})", "test.json", P, Error));
  EXPECT_EQ(Error, "test.json: $.memory.information.timings.0x60: timing offsets are the odd offsets 0x5F to 0x7B");
  EXPECT_FALSE(sim::ParseBoardProfile(R"({"firmware": {"vendor": "V", "revision": 1},
    "memory": {"moduleHob": {"modules": [{}, {}, {}]}}})", "test.json", P, Error));
  EXPECT_EQ(Error, "test.json: $.memory.moduleHob.modules: the HOB holds at most two module records");
}

// ---- The page on a machine ------------------------------------------------------

// Boots the machine with a platform image first that installs the memory
// peers, applies the test's board changes (the board is rebuilt at every
// boot) and keeps a copy of the class 0x20 package list, which the driver
// removes right after loading.
class MemoryPage : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    Peers = std::make_unique<sim::MemoryPeers>(M().Profile().Memory);
    Active = this;
  }
  void TearDown() override {
    SetupInfoTest::TearDown();
    Active = nullptr;
  }

  void Boot() {
    if (Booted) {
      // Later boots load the form sets when setup asks for them.
      M().Reboot();
      if (Forms().FormSets().empty()) ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
      return;
    }
    Booted = true;
    ASSERT_EQ(M().LoadImage({"memory-platform", PlatformEntry, nullptr}), EFI_SUCCESS);
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  }

  static EFI_STATUS EFIAPI PlatformEntry(EFI_HANDLE, EFI_SYSTEM_TABLE* SystemTable) {
    MemoryPage* Self = Active;
    Self->Kept.clear();
    Self->Peers->Int86Calls.clear();
    EFI_HII_DATABASE_PROTOCOL* Database = Self->Database().DatabaseProtocol();
    OriginalRemove = Database->RemovePackageList;
    Database->RemovePackageList = KeepingRemove;
    if (Self->WithPeers) Self->Peers->InstallPresent(SystemTable->BootServices);
    if (Self->Prepare) Self->Prepare(Self->M().Board());
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI KeepingRemove(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle) {
    if (const sim::HiiPackageList* List = Active->Database().Find(Handle)) Active->Kept[Handle] = *List;
    return OriginalRemove(This, Handle);
  }

  // A string of any form set, the removed class 0x20 one included.
  std::u16string Text(UINT16 Class, UINT16 Id, const char* Language = "en-US") {
    EFI_HII_HANDLE Handle = FormSetHandle(Class);
    auto It = Kept.find(Handle);
    if (It == Kept.end()) return HiiText(Handle, Id, Language);
    const sim::HiiStringPackage* Package = It->second.FindLanguage(Language);
    if (Package == nullptr) return u"<none>";
    auto S = Package->Strings.find(Id);
    return S == Package->Strings.end() ? u"<none>" : S->second;
  }
  std::u16string Info(UINT16 Id, const char* Language = "en-US") { return Text(0x20, Id, Language); }

  void PutPlatformData(std::vector<UINT8> Bytes) {
    M().Variables().Put(u"NBPlatformData", SETUP_VARIABLE_GUID, EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS,
                        std::move(Bytes));
  }
  void PutStoredSetup(UINT16 Offset, UINT8 Value) {
    std::vector<UINT8> Setup = M().Variables().Find(u"Setup", SETUP_VARIABLE_GUID)->Data;
    Setup[Offset] = Value;
    M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, Setup);
  }

  static void WriteMch(sim::Board& B, UINT32 Offset, UINT32 Value) {
    B.PhysicalWrite(MCHBAR_BASE + Offset, &Value, sizeof Value);
  }

  std::unique_ptr<sim::MemoryPeers> Peers;
  bool WithPeers = true;
  std::function<void(sim::Board&)> Prepare;
  std::map<EFI_HII_HANDLE, sim::HiiPackageList> Kept;
  bool Booted = false;

  static inline MemoryPage* Active = nullptr;
  static inline EFI_HII_DATABASE_PROTOCOL::RemovePackageListFn OriginalRemove = nullptr;
};

TEST_F(MemoryPage, DefaultBoardShowsItsMemoryControllerAndGraphics) {
  Boot();
  EXPECT_EQ(Info(0x0548), u"16384 MB (DDR3)");
  EXPECT_EQ(Info(0x0545), u"1600 Mhz");
  EXPECT_EQ(Info(0x054B), u"1.50v");
  EXPECT_EQ(Info(0x0552), u"8192 MB (DDR3)");
  EXPECT_EQ(Info(0x0553), u"Not Present");
  EXPECT_EQ(Info(0x0554), u"8192 MB (DDR3)");
  EXPECT_EQ(Info(0x0555), u"Not Present");
  EXPECT_EQ(Info(0x049E), u"1.7.0.0");
  EXPECT_EQ(Info(0x0498), u"1.6.2.0");
  EXPECT_EQ(Info(0x0495), u"Supported");
  EXPECT_EQ(Info(0x06EE), u"x16  Gen3");
  EXPECT_EQ(Info(0x06F1), u"Not Present");  // no function 1 on the port
  EXPECT_EQ(Info(0x047F), u"X4  Gen2");
  EXPECT_EQ(Info(0x056F), u"Supported");
  EXPECT_EQ(Info(0x0570), u"Not Supported");
  EXPECT_EQ(MemoryPageState().NbFeatureSelect, 1);
  EXPECT_EQ(Info(0x04A3), u"8521");
  EXPECT_EQ(Info(0x0442), u"1200 MHz");
  EXPECT_EQ(Info(0x051E), u"GT2 (1200 MHz)");
  EXPECT_EQ(Info(0x049B), u"N/A");  // a Haswell device has no series line
  // Module templates, each language with its own wording.
  EXPECT_EQ(Info(0x1089), u"DDR3 SPD 1.3, 1600 MHz, 11-11-11-28, 1.50V");
  EXPECT_EQ(Info(0x108A, "de-DE"), u"DDR3 SPD 1.3, 1600 MHz, 11-11-11-28, 1,50 V");
  EXPECT_EQ(Info(0x056D, "ja-JP"), u"SPDリビジョン 1.3");
  EXPECT_EQ(Text(0x2, 0x1089), u"DDR3 SPD 1.3, 1600 MHz, 11-11-11-28, 1.50V");

  // The video BIOS was asked once, with every register but AX cleared.
  ASSERT_EQ(Peers->Int86Calls.size(), 1u);
  EXPECT_EQ(Peers->Int86Calls[0].Interrupt, 0x15);
  EFI_IA32_REGISTER_SET Expected{};
  Expected.X.AX = 0x5F01;
  EXPECT_EQ(std::memcmp(&Peers->Int86Calls[0].Registers, &Expected, sizeof Expected), 0);
}

TEST_F(MemoryPage, DefaultBoardTuningPageShowsTimingsAndBlanksFrequenciesAboveItsLimits) {
  Boot();
  EXPECT_EQ(Text(0x2, 0x057C), u"Current: 1600 MHz (1:12)");
  EXPECT_EQ(Text(0x2, 0x0738, "de-DE"), u"Aktuell: 1600 MHz (1:12)");
  EXPECT_EQ(Text(0x2, 0x0452), u"Current: 11");   // record word 0x61
  EXPECT_EQ(Text(0x2, 0x0454), u"Current: 208");  // 0x6B
  EXPECT_EQ(Text(0x2, 0x0598), u"Current: 1");
  EXPECT_EQ(Text(0x2, 0x046A, "ja-JP"), u"現在: 6240");  // low half of 0x4298
  EXPECT_EQ(Text(0x2, 0x075C), u"Current: 28");          // 0x4008 bits 5:0
  EXPECT_EQ(Text(0x2, 0x076A), u"Current: 24");          // 0x400C bits 23:19
  EXPECT_EQ(Text(0x2, 0x074E), u"Current: D0: 11, D1: 11");
  EXPECT_EQ(Text(0x2, 0x0754), u"Current: D0: 2, D1: 2");
  // Limits 2400 / 2400: only what lies above them goes.
  for (UINT16 Id : {0x073F, 0x073E, 0x073D, 0x073C, 0x073A, 0x058A, 0x073B, 0x0739, 0x0589})
    EXPECT_EQ(Text(0x2, Id), u"") << std::hex << Id;
  for (UINT16 Id : {0x0588, 0x0587, 0x0586, 0x0580}) EXPECT_NE(Text(0x2, Id), u"") << std::hex << Id;
  // The main form set runs the class 4 and class 2 steps both.
  EXPECT_EQ(Text(0x1, 0x0495, "de-DE"), u"Unterstützt");
  EXPECT_EQ(Text(0x1, 0x073F), u"");
  EXPECT_EQ(Text(0x1, 0x0452), u"Current: 11");
  EXPECT_EQ(Text(0x4, 0x0495, "ja-JP"), u"サポート");
  EXPECT_EQ(Text(0x4, 0x0732), u"1024M");  // 16 GB installed
}

TEST_F(MemoryPage, ModuleSelectorsAndInformationRecordFigures) {
  PutStoredSetup(0x348, 3);
  PutStoredSetup(0x349, 0);
  for (UINTN i = 0; i < MEMORY_INFO_MODULES; ++i) Peers->Information().ModuleSizeMb[i] = 4096;
  struct {
    UINT16 Mv;
    const char16_t* Shown;
  } Voltages[] = {{1350, u"1.35v"}, {1500, u"1.50v"}, {1035, u"1.03v"}, {999, u"0.99v"}, {0, u"0.00v"}};
  for (auto& V : Voltages) {
    Peers->Information().VoltageMv = V.Mv;
    Peers->Information().Frequency = 1867;
    Boot();
    EXPECT_EQ(Info(0x054B), V.Shown);
    EXPECT_EQ(Info(0x0548), u"8192 MB (DDR3)");
    EXPECT_EQ(Info(0x0552), u"Not Present");
    EXPECT_EQ(Info(0x0553), u"Not Present");
    EXPECT_EQ(Info(0x0554), u"4096 MB (DDR3)");
    EXPECT_EQ(Info(0x0555), u"4096 MB (DDR3)");
    EXPECT_EQ(Info(0x0545), u"1867 Mhz");  // the information line shows the raw figure
    EXPECT_EQ(Text(0x2, 0x0737), u"Current: 1866 MHz (1:12)");
  }
}

TEST_F(MemoryPage, WithoutTheOutsideDriversTheirLinesStayAsPackaged) {
  WithPeers = false;
  Boot();
  for (UINT16 Id : {0x0548, 0x0545, 0x054B, 0x049E, 0x04A3}) EXPECT_EQ(Info(Id), u"Unknown") << std::hex << Id;
  EXPECT_EQ(Info(0x0552), u"Not Present");
  EXPECT_EQ(Text(0x2, 0x0452), u"Current: %d");
  EXPECT_EQ(Text(0x2, 0x074E), u"Current: %a");
  // What the board itself holds is still shown.
  EXPECT_EQ(Info(0x0498), u"1.6.2.0");
  EXPECT_EQ(Info(0x0442), u"1200 MHz");
  EXPECT_EQ(Text(0x4, 0x0732), u"1024M");
}

TEST_F(MemoryPage, AFailingVideoBiosCallLeavesItsLineAsPackaged) {
  Peers->VideoBios.Fails = true;
  Boot();
  ASSERT_EQ(Peers->Int86Calls.size(), 1u);
  EXPECT_EQ(Info(0x04A3), u"Unknown");
  EXPECT_EQ(Info(0x0442), u"1200 MHz");
}

TEST_F(MemoryPage, WithoutIntegratedGraphicsNoGraphicsLineIsSet) {
  Prepare = [](sim::Board& B) {
    UINT8 Enables = 0x09;  // bit 4 clear
    B.PciWrite(0, 0, 0, 0x54, &Enables, 1);
  };
  Boot();
  EXPECT_TRUE(Peers->Int86Calls.empty());
  for (UINT16 Id : {0x04A3, 0x0442, 0x051E}) EXPECT_EQ(Info(Id), u"Unknown") << std::hex << Id;
  EXPECT_EQ(Info(0x1089), u"DDR3 SPD 1.3, 1600 MHz, 11-11-11-28, 1.50V");
}

TEST_F(MemoryPage, GraphicsDeviceIdGivesLevelAndSeries) {
  struct {
    UINT16 Id;
    const char16_t* Level;
    const char16_t* Series;
  } Cases[] = {
      {0x1616, u"GT2 (1200 MHz)", u"Broadwell U-series"},
      {0x161E, u"GT2 (1200 MHz)", u"Broadwell Y-series"},
      {0x1626, u"GT3 (1200 MHz)", u"Broadwell U-series"},
      {0x0402, u"GT1 (1200 MHz)", u"N/A"},
      {0x0432, u"Unknown", u"N/A"},  // a level this board's graphics does not have
      {0x1612, u"GT2 (1200 MHz)", u"N/A"},
  };
  for (auto& C : Cases) {
    Prepare = [&](sim::Board& B) { B.PciWrite(0, 2, 0, 2, &C.Id, 2); };
    Boot();
    EXPECT_EQ(Info(0x051E), C.Level) << std::hex << C.Id;
    EXPECT_EQ(Info(0x049B), C.Series) << std::hex << C.Id;
  }
}

TEST_F(MemoryPage, HubLinkIsReadOnlyThroughAnEnabledWindow) {
  struct {
    UINT32 Window;
    const char16_t* Shown;
  } Cases[] = {
      {0xFED17001, u"X4  Gen2"},
      {0xFED17000, u"Unknown"},  // not enabled
      {0x00000001, u"Unknown"},  // enabled at zero: low memory
      {0x00000000, u"Unknown"},
  };
  for (auto& C : Cases) {
    Prepare = [&](sim::Board& B) { B.PciWrite(0, 0, 0, 0x68, &C.Window, 4); };
    Boot();
    EXPECT_EQ(Info(0x047F), C.Shown) << std::hex << C.Window;
  }
}

TEST_F(MemoryPage, EmptyChannelZeroShowsChannelOne) {
  Prepare = [](sim::Board& B) {
    WriteMch(B, 0x5004, 0);
    WriteMch(B, 0x4404, 9 | (7u << 12));  // channel 1's own values
    WriteMch(B, 0x4698, 7800);
    WriteMch(B, 0x4424, 13 | (14u << 16));
  };
  Boot();
  EXPECT_EQ(Text(0x2, 0x074C), u"Current: 9");
  EXPECT_EQ(Text(0x2, 0x0756), u"Current: 7");
  EXPECT_EQ(Text(0x2, 0x046A), u"Current: 7800");
  EXPECT_EQ(Text(0x2, 0x074E), u"Current: N/A");
  EXPECT_EQ(Text(0x2, 0x0752), u"Current: N/A");
  EXPECT_EQ(Text(0x2, 0x0750), u"Current: D0: 13, D1: 14");
  EXPECT_EQ(Text(0x2, 0x0750, "de-DE"), u"Aktuell: %a");  // the pairs are built in the current language
}

TEST_F(MemoryPage, SmallMemoryAndAGraphicsFlagOfZeroBlankTheirOptions) {
  struct {
    UINT32 SizeMb;
    std::vector<UINT16> Blank, Kept;
  } Cases[] = {
      {1025, {}, {0x0732, 0x0731, 0x0730, 0x072F}},
      {1024, {0x0732}, {0x0731, 0x0730, 0x072F}},
      {513, {0x0732}, {0x0731}},
      {512, {0x0732, 0x0731, 0x0730, 0x072F}, {}},
  };
  sim::NbPlatformDataProfile Data = *M().Profile().Memory.PlatformData;
  Data.GraphicsOption = 0;
  PutPlatformData(sim::NbPlatformDataBytes(Data));
  for (auto& C : Cases) {
    Peers->Information().MemorySizeMb = C.SizeMb;
    Boot();
    for (UINT16 Class : {0x4, 0x1}) {
      for (UINT16 Id : C.Blank) EXPECT_EQ(Text(Class, Id), u"") << C.SizeMb << " " << std::hex << Id;
      for (UINT16 Id : C.Kept) EXPECT_NE(Text(Class, Id), u"") << C.SizeMb << " " << std::hex << Id;
      EXPECT_EQ(Text(Class, 0x0725), u"");
    }
  }
}

TEST_F(MemoryPage, FrequencyLimitsBlankTheOptionsAboveThem) {
  sim::NbPlatformDataProfile Data = *M().Profile().Memory.PlatformData;
  Data.FrequencyLimitA = 1600;
  Data.FrequencyLimitB = 2000;
  PutPlatformData(sim::NbPlatformDataBytes(Data));
  Boot();
  const std::vector<UINT16> Blanked = {0x073F, 0x073E, 0x073D, 0x073C, 0x073A, 0x058A, 0x0586, 0x0584,
                                       0x0588, 0x073B, 0x0739, 0x0589, 0x0587};
  const std::vector<UINT16> Kept = {0x0582, 0x0580, 0x0585, 0x0583, 0x0581};
  for (UINT16 Class : {0x2, 0x1}) {
    for (UINT16 Id : Blanked) EXPECT_EQ(Text(Class, Id), u"") << std::hex << Class << " " << Id;
    for (UINT16 Id : Kept) EXPECT_NE(Text(Class, Id), u"") << std::hex << Class << " " << Id;
  }
  // Not on the class 4 page.
  EXPECT_EQ(Text(0x4, 0x0725), u"Graphics Memory Option");
}

// The platform record read into its 20 bytes: only a record that holds
// every field used counts as read.
class MemoryPageWithoutPlatformData : public MemoryPage {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    std::erase_if(Profile.Variables, [](const sim::VariableProfile& V) { return V.Name == u"NBPlatformData"; });
  }
};

TEST_F(MemoryPageWithoutPlatformData, OnlyARecordOfTheReadSizeCounts) {
  sim::NbPlatformDataProfile Data;
  Data.GraphicsOption = 0;
  Data.FeatureA = 1;
  Data.FeatureB = 1;
  Data.FrequencyLimitA = Data.FrequencyLimitB = 1000;
  struct {
    std::optional<UINT32> Size;
    bool Read;
  } Cases[] = {{std::nullopt, false}, {0, false}, {17, false}, {18, true}, {20, true}, {21, false}, {65536, false}};
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Size ? std::to_string(*C.Size) : "absent");
    M().Variables().Erase(u"NBPlatformData", SETUP_VARIABLE_GUID);
    if (C.Size) {
      Data.Size = *C.Size;
      PutPlatformData(sim::NbPlatformDataBytes(Data));
    }
    MemoryPageState().NbFeatureSelect = 0;
    Boot();
    EXPECT_EQ(Info(0x056F), C.Read ? u"Supported" : u"Not Supported");
    EXPECT_EQ(Info(0x0570), C.Read ? u"Supported" : u"Not Supported");
    EXPECT_EQ(MemoryPageState().NbFeatureSelect, C.Read ? 2 : 0);
    EXPECT_EQ(Text(0x4, 0x0725) == u"", C.Read);
    EXPECT_EQ(Text(0x2, 0x0580) == u"", C.Read);
    EXPECT_EQ(Text(0x1, 0x0581) == u"", C.Read);
  }
}

// A module HOB that ends inside its second record (the HOB list pads each
// HOB to 8 bytes, so the cut lies beyond the padding).
class MemoryPageWithShortModuleHob : public MemoryPage {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    sim::MemoryModuleHobProfile Hob = *Profile.Memory.ModuleHob;
    Hob.DataSize = MemoryModuleRecordOffsets[1] + 4;
    Hob.Modules[0].Revision = 0x0B;
    Hob.Modules[0].Frequency = 1867;
    for (auto& H : Profile.Hobs)
      if (H.Guid == MEMORY_MODULE_HOB_GUID) H.Data = sim::MemoryModuleHobData(Hob);
  }
};

TEST_F(MemoryPageWithShortModuleHob, TheCutRecordIsNotShown) {
  Boot();
  EXPECT_EQ(Info(0x1089), u"DDR3 SPD 1.0, 1866 MHz, 11-11-11-28, 1.50V");
  EXPECT_EQ(Info(0x056C), u"SPD revision 1.0");
  EXPECT_EQ(Info(0x108A), u"DDR3 SPD %d.%d, %d MHz, %d-%d-%d-%d, %d.%02dV");
  EXPECT_EQ(Info(0x056D), u"SPD revision %d.%d");
}

// Records what the page sets through the form utility service, also for
// the class 0x20 form set once its package list is gone.
std::map<EFI_STRING_ID, std::u16string> SetTexts;
FORM_UTILITY_PROTOCOL::SetHiiStringFn ServiceSetHiiString = nullptr;
EFI_STATUS EFIAPI RecordingSetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, const CHAR16* Text) {
  SetTexts[StringId] = Text != nullptr ? std::u16string(Text) : u"";
  return ServiceSetHiiString(HiiHandle, StringId, Text);
}

TEST_F(MemoryPage, AllocationFailureAtEachStepOfThePageLeaksNothing) {
  // The selectors come from the north-bridge setup data, built on the stack:
  // whichever allocation fails, module A0 stays uncounted.
  PutStoredSetup(0x348, 1);
  Boot();
  VOID* Interface = nullptr;
  ASSERT_EQ(BS()->LocateProtocol(&FORM_UTILITY_PROTOCOL::Guid, nullptr, &Interface), EFI_SUCCESS);
  auto* Service = (FORM_UTILITY_PROTOCOL*)Interface;
  ServiceSetHiiString = Service->SetHiiString;
  Service->SetHiiString = RecordingSetHiiString;

  const EFI_HII_HANDLE Page = FormSetHandle(0x20);
  const size_t Before = M().Pool().AllocationCount();
  InitNorthBridgePage(Page, 0x20);
  const size_t Allocations = M().Pool().AllocationCount() - Before;
  ASSERT_GT(Allocations, 0u);
  EXPECT_EQ(SetTexts[0x0548], u"8192 MB (DDR3)");

  for (size_t N = 0; N < Allocations; ++N) {
    SetTexts.clear();
    M().Pool().FailAllocationAfter(N);
    InitNorthBridgePage(Page, 0x20);
    M().Pool().ClearFailure();
    EXPECT_EQ(SetTexts[0x0548], u"8192 MB (DDR3)") << N;
  }
  Service->SetHiiString = ServiceSetHiiString;
}

}  // namespace
}  // namespace setupinfo_test
