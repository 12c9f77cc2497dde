// Processor page: limits from MSRs and the ratio HOB, the class 4 strings,
// late protocol arrival, and the ratio-setting rules of the class 2 page as
// the browser reaches them.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>

#include "setupinfo/pages/board/processor_facts.h"
#include "setupinfo/pages/board/processor_page.h"
#include "setupinfo/pages/board/processor_settings.h"
#include "setupinfo_fixture.h"
#include "sim/peers/processor_peers.h"

namespace setupinfo_test {
namespace {

// ---- Brand string and cache descriptors --------------------------------------

std::string Parsed(const char* Brand) {
  CHAR8 Template[BRAND_FREQUENCY_TEMPLATE_SIZE];
  std::memcpy(Template, BRAND_FREQUENCY_TEMPLATE, sizeof Template);
  if (!ParseBrandFrequency(Brand, Template)) return "<none>";
  return std::string(Template);
}

TEST(BrandFrequency, ReadsGigahertzAndMegahertzForms) {
  EXPECT_EQ(Parsed("Intel(R) Core(TM) i5-4590 CPU @ 2.40GHz"), "2400 MHz");
  EXPECT_EQ(Parsed("Intel(R) Core(TM) i7 CPU @ 2.20GHz"), "2200 MHz");
  EXPECT_EQ(Parsed("Pentium(R) 1800MHz"), "1800 MHz");
  // The template's first four characters are replaced as written: a leading
  // zero stays, and the GHz figure's fourth place is always '0'.
  EXPECT_EQ(Parsed("CPU @ 0.80GHz"), "0800 MHz");
  EXPECT_EQ(Parsed("CPU @ 0800MHz"), "0800 MHz");
  EXPECT_EQ(Parsed("CPU @ 3.45GHz"), "3450 MHz");
  // At most four characters before the unit make the figure.
  EXPECT_EQ(Parsed("CPU @ 12.40GHz"), "2400 MHz");
  EXPECT_EQ(Parsed("CPU @ 12000MHz"), "2000 MHz");
  // The first unit in the text decides.
  EXPECT_EQ(Parsed("1.60GHz bus 800MHz"), "1600 MHz");
}

TEST(BrandFrequency, RefusesTextWithoutAFigureBeforeTheUnit) {
  EXPECT_EQ(Parsed("Intel(R) Xeon(R) CPU E3-1230 v3"), "<none>");
  EXPECT_EQ(Parsed("CPU @ GHz"), "<none>");
  EXPECT_EQ(Parsed("CPU @ 2.40 GHz"), "<none>");
  EXPECT_EQ(Parsed("CPU @ 3.50ghz"), "<none>");  // exact case only
  EXPECT_EQ(Parsed(""), "<none>");
  EXPECT_EQ(Parsed(nullptr), "<none>");
  // A unit cut by the terminator is not read past it.
  EXPECT_EQ(Parsed("CPU @ 2.40GH"), "<none>");
}

TEST(BrandFrequency, ReadsOnlyTheFirstFortyEightCharacters) {
  std::string Long(48, 'x');
  EXPECT_EQ(Parsed((Long + " 2.40GHz").c_str()), "<none>");
  std::string Fits(40, 'x');
  EXPECT_EQ(Parsed((Fits + " 2.40GHz").c_str()), "2400 MHz");
  CHAR8 Copy[BRAND_STRING_LIMIT + 1];
  CopyBrandString((Long + "tail").c_str(), Copy);
  EXPECT_EQ(std::string(Copy), Long);
}

std::vector<UINT8> Descriptors(std::initializer_list<std::array<UINT32, 5>> Rows) {
  // Each row: length, level, size, type, sharing.
  std::vector<UINT8> Bytes;
  for (auto& R : Rows) {
    UINT32 Fields[6] = {R[0], R[1], R[2], R[3], 0, R[4]};
    size_t At = Bytes.size();
    Bytes.resize(At + std::max<size_t>(sizeof Fields, R[0]));
    std::memcpy(Bytes.data() + At, Fields, sizeof Fields);
  }
  return Bytes;
}

TEST(CacheDescriptors, LaterRecordsWinAndOddTypesOnlySetTheFlag) {
  // A longer record (producer-specific tail) is stepped over by its length.
  auto Bytes = Descriptors({{40, 2, 512, 2, 1}, {24, 2, 256, 2, 1}, {24, 1, 48, 0, 1}, {24, 1, 64, 2, 0},
                            {24, 3, 999, 0, 1}});
  CACHE_SUMMARY S{};
  ScanCacheDescriptors((CACHE_DESCRIPTOR*)Bytes.data(), 5, &S);
  EXPECT_EQ(S.Level2Kb, 256u);
  EXPECT_EQ(S.Level1DataKb, 48u);
  EXPECT_EQ(S.Level1InstructionKb, 0u);
  EXPECT_FALSE(S.PerCore[0]);  // the last level 1 record, of unified type, decides
  EXPECT_EQ(S.Level3Kb, 0u);   // a level 3 data cache has no line
  EXPECT_TRUE(S.PerCore[2]);
}

TEST(CacheDescriptors, ABadLengthEndsTheWalk) {
  for (UINT32 Bad : {0u, 8u, 23u, CACHE_DESCRIPTOR_MAX_LENGTH + 1}) {
    auto Bytes = Descriptors({{24, 2, 256, 2, 1}, {Bad, 3, 8192, 2, 0}, {24, 1, 32, 0, 1}});
    CACHE_SUMMARY S{};
    EXPECT_EQ(ScanCacheDescriptors((CACHE_DESCRIPTOR*)Bytes.data(), 3, &S), 1u) << Bad;
    EXPECT_EQ(S.Level2Kb, 256u);
    EXPECT_EQ(S.Level3Kb, 0u);
    EXPECT_EQ(S.Level1DataKb, 0u);
  }
  // A count larger than any processor has is cut at the walk limit.
  std::vector<UINT8> Many;
  for (UINT32 i = 0; i < CACHE_DESCRIPTOR_WALK_LIMIT + 8; ++i) {
    auto One = Descriptors({{24, 2, 100 + i, 2, 1}});
    Many.insert(Many.end(), One.begin(), One.end());
  }
  CACHE_SUMMARY S{};
  EXPECT_EQ(ScanCacheDescriptors((CACHE_DESCRIPTOR*)Many.data(), 0xFFFFFFFF, &S), CACHE_DESCRIPTOR_WALK_LIMIT);
  EXPECT_EQ(S.Level2Kb, 100 + CACHE_DESCRIPTOR_WALK_LIMIT - 1);
}

// ---- The page on a machine ------------------------------------------------------

class ProcessorPage : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    Peers = std::make_unique<sim::ProcessorPeers>(M().Profile().Processor);
  }

  void InstallPeers() {
    ASSERT_EQ(Peers->InstallInformation(BS()), EFI_SUCCESS);
    ASSERT_EQ(Peers->InstallTopology(BS()), EFI_SUCCESS);
  }

  std::u16string Page(UINT16 Id, const char* Language = "en-US") { return HiiText(FormSetHandle(0x4), Id, Language); }

  std::unique_ptr<sim::ProcessorPeers> Peers;
};

TEST_F(ProcessorPage, DefaultBoardShowsItsProcessor) {
  InstallPeers();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x00B6), u"Intel(R) Core(TM) i7-4770K CPU @ 3.50GHz");
  EXPECT_EQ(Page(0x00E1), u"306c3");
  EXPECT_EQ(Page(0x00DE), u"1c");
  EXPECT_EQ(Page(0x00B9), u"3500 MHz");
  EXPECT_EQ(Page(0x00BC), u"800 MHz");
  EXPECT_EQ(Page(0x00BE), u"3500 MHz");
  EXPECT_EQ(Page(0x00C2), u"32 kB x 4");
  EXPECT_EQ(Page(0x00C5), u"32 kB x 4");
  EXPECT_EQ(Page(0x00C8), u"256 kB x 4");
  EXPECT_EQ(Page(0x00CB), u"8192 kB");
  EXPECT_EQ(Page(0x00CE), u"4");
  EXPECT_EQ(Page(0x00DB), u"Supported");  // the package text stays for a supported processor
  for (UINT16 Id : {0x0167, 0x015A, 0x015D, 0x0160}) EXPECT_EQ(Page(Id), u"Supported") << std::hex << Id;
  // The copies of 0x00D5 carry each language's own wording.
  for (UINT16 Id : {0x00D1, 0x00D4, 0x00D8}) {
    EXPECT_EQ(Page(Id, "en-US"), u"Supported");
    EXPECT_EQ(Page(Id, "de-DE"), u"Unterstützt");
    EXPECT_EQ(Page(Id, "ja-JP"), u"サポート");
  }
  // Other form sets are not touched.
  EXPECT_EQ(HiiText(FormSetHandle(0x2), 0x0115), u"Auto");
}

TEST_F(ProcessorPage, FactsFollowTheRecordAndTheProcessorRegisters) {
  Peers->SetBrandString("Intel(R) Pentium(R) CPU G3258");
  Peers->Record().Supported = 0;
  Peers->Record().MicrocodeRevision = 0;
  Peers->Record().ThreadsPerCore = 1;
  Peers->Record().FeatureWord = 1ull << 38;
  Peers->Record().CoreCount = 2;
  Peers->CoresPerPackage = 2;
  Peers->SetCacheDescriptorBytes(Descriptors({{24, 1, 32, 0, 0}, {24, 1, 32, 1, 0}, {24, 2, 256, 2, 0}}), 3);
  M().Board().SetMsr(0xCE, 0x0000100000002000ull);   // non-turbo 32, efficiency 16
  M().Board().SetMsr(0x198, 0x0000000000001800ull);  // running at 24
  M().Board().SetCpuid(1, std::nullopt, {0x306C3, 0, 0x7FFAFB3F, 0});  // no EST
  M().Board().SetCpuid(5, std::nullopt, {0x40, 0x40, 3, 0x00040120});   // C2 and C4 sub-states only
  InstallPeers();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);

  EXPECT_EQ(Page(0x00B9), u"3200 MHz");  // no frequency in the brand
  EXPECT_EQ(Page(0x00BC), u"1600 MHz");
  EXPECT_EQ(Page(0x00BE), u"2400 MHz");
  EXPECT_EQ(Page(0x00DB), u"Not Supported");
  EXPECT_EQ(Page(0x00DE), u"N/A");
  EXPECT_EQ(Page(0x00CE), u"2");
  EXPECT_EQ(Page(0x00C2), u"32 kB");
  EXPECT_EQ(Page(0x00C8), u"256 kB");
  EXPECT_EQ(Page(0x00CB), u"N/A");  // no level 3 record
  EXPECT_EQ(Page(0x00D1), u"Not Supported");
  EXPECT_EQ(Page(0x00D4), u"Not Supported");
  EXPECT_EQ(Page(0x00D8, "de-DE"), u"Unterstützt");
  EXPECT_EQ(Page(0x0167), u"Not Supported");
  EXPECT_EQ(Page(0x015A), u"Supported");
  EXPECT_EQ(Page(0x015D), u"Not Supported");
  EXPECT_EQ(Page(0x0160), u"Supported");
}

TEST_F(ProcessorPage, FailingServicesLeaveTheirLinesAsPackaged) {
  Peers->GetCacheDescriptorsStatus = EFI_DEVICE_ERROR;
  InstallPeers();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x00C2), u"N/A");
  EXPECT_EQ(Page(0x00CB), u"N/A");
  EXPECT_EQ(Page(0x00CE), u"4");
}

TEST_F(ProcessorPage, FailingGetInfoSetsNothingFromTheRecord) {
  Peers->GetInfoStatus = EFI_DEVICE_ERROR;
  InstallPeers();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x00B6), u"Unknown");
  EXPECT_EQ(Page(0x00CE), u"0");
}

TEST_F(ProcessorPage, ProtocolsArrivingLateRebuildThePageOnceBothAreThere) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x00B6), u"Unknown");
  ASSERT_EQ(Peers->InstallTopology(BS()), EFI_SUCCESS);
  EXPECT_EQ(Page(0x00B6), u"Unknown");
  EXPECT_EQ(Peers->GetInfoCalls, 0u);
  ASSERT_EQ(Peers->InstallInformation(BS()), EFI_SUCCESS);
  EXPECT_EQ(Peers->GetInfoCalls, 1u);
  EXPECT_EQ(Page(0x00B6), u"Intel(R) Core(TM) i7-4770K CPU @ 3.50GHz");
  EXPECT_EQ(Page(0x00C8), u"256 kB x 4");
  EXPECT_EQ(Page(0x00D4, "ja-JP"), u"サポート");
}

TEST_F(ProcessorPage, OnlyTheMissingProtocolIsWaitedFor) {
  ASSERT_EQ(Peers->InstallInformation(BS()), EFI_SUCCESS);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  // The main page's summary reads the record once at load; the processor
  // page itself waits.
  const size_t AtLoad = Peers->GetInfoCalls;
  EXPECT_EQ(AtLoad, 1u);
  ASSERT_EQ(Peers->InstallTopology(BS()), EFI_SUCCESS);
  EXPECT_EQ(Peers->GetInfoCalls, AtLoad + 1);
  EXPECT_EQ(Page(0x00CE), u"4");

  // A second information protocol arriving now is not waited for.
  sim::ProcessorPeers Second(M().Profile().Processor);
  ASSERT_EQ(Second.InstallInformation(BS()), EFI_SUCCESS);
  EXPECT_EQ(Second.GetInfoCalls + Peers->GetInfoCalls, AtLoad + 1);
}

class ProcessorPageWithoutPlatformHob : public ProcessorPage {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    std::erase_if(Profile.Hobs, [](const sim::GuidHobProfile& H) { return H.Guid == PROCESSOR_PLATFORM_HOB_GUID; });
  }
};

TEST_F(ProcessorPageWithoutPlatformHob, PageStaysAsPackagedAndNothingWaits) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  InstallPeers();
  EXPECT_EQ(Peers->GetInfoCalls, 0u);
  EXPECT_EQ(Page(0x00B6), u"Unknown");
  // The limits are still there for the settings page.
  EXPECT_EQ(ProcessorPageState().Limits.MaxNonTurboRatio, 35);
  EXPECT_EQ(ProcessorPageState().Limits.RatioCeiling, 39);
}

TEST_F(ProcessorPage, LimitsComeFromTheRegistersAndTheRatioHob) {
  InstallPeers();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const PROCESSOR_LIMITS& L = ProcessorPageState().Limits;
  EXPECT_EQ(L.MaxNonTurboRatio, 35);
  EXPECT_EQ(L.MaxEfficiencyRatio, 8);
  EXPECT_EQ(L.RatioCeiling, 39);
  EXPECT_EQ(std::vector<UINT8>(L.CoreRatioFloor, L.CoreRatioFloor + 4), (std::vector<UINT8>{39, 39, 38, 37}));
  // Unit 3 (1/8 W); no minimum in the register, so half of the 85 W TDP.
  EXPECT_EQ(L.PackageMaxPower, 0);
  EXPECT_EQ(L.PackageMinPower, 42);
}

TEST(ProcessorLimitsPower, UnitsScaleTheRegisterAndTheHalfTdpFallback) {
  struct FakeBoard : BoardModel {
    std::map<UINT32, UINT64> Msrs;
    UINT32 PortRead(UINT16, UINT8) override { return 0xFF; }
    void PortWrite(UINT16, UINT8, UINT32) override {}
    void Cpuid(UINT32, UINT32, UINT32 Regs[4]) override { Regs[0] = Regs[1] = Regs[2] = Regs[3] = 0; }
    UINT64 ReadMsr(UINT32 Index) override { return Msrs[Index]; }
    UINT32 PhysicalRead(UINT64, UINT8) override { return 0xFFFFFFFF; }
  } Board;
  AttachBoardModel(&Board);
  Board.Msrs[0xCE] = 0x2200;
  struct Case {
    UINT64 Unit, PowerInfo;
    UINT16 Max, Min;
  } Cases[] = {
      {3, (0x480ull << 32) | (0x100ull << 16) | 0x2A0, 144, 32},
      {0, 0x54, 0, 42},            // unit 0: factor 1
      {8, 0x2A00, 0, 21},          // 10752 / 512: the factor no longer fits a byte
      {15, (0xFFFFull << 32) | 0x7FFF, 0, 0},
  };
  for (auto& C : Cases) {
    Board.Msrs[0x606] = C.Unit;
    Board.Msrs[0x614] = C.PowerInfo;
    PROCESSOR_LIMITS L{};
    ComputeProcessorLimits(nullptr, &L);
    EXPECT_EQ(L.PackageMaxPower, C.Max) << C.Unit;
    EXPECT_EQ(L.PackageMinPower, C.Min) << C.Unit;
    EXPECT_EQ(L.RatioCeiling, 0x22);  // no HOB list: the non-turbo ratio
    EXPECT_EQ(L.CoreRatioFloor[3], 0x22);
  }
  AttachBoardModel(nullptr);
}

class ProcessorPageShortRatioHob : public ProcessorPage {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    for (auto& H : Profile.Hobs)
      if (H.Guid == PROCESSOR_RATIO_HOB_GUID) H.Data.resize(16);  // ends before the ratio bytes
  }
};

TEST_F(ProcessorPageShortRatioHob, CountsAsAbsent) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const PROCESSOR_LIMITS& L = ProcessorPageState().Limits;
  EXPECT_EQ(L.RatioCeiling, 35);
  EXPECT_EQ(std::vector<UINT8>(L.CoreRatioFloor, L.CoreRatioFloor + 4), (std::vector<UINT8>{35, 35, 35, 35}));
}

// ---- Ratio settings through the browser -------------------------------------------

class RatioSettings : public ProcessorPage {
 protected:
  void SetUp() override {
    ProcessorPage::SetUp();
    PutVariable(u"Setup", SETUP_VARIABLE_GUID, std::string(SETUP_RECORD_SIZE, '\0'), SETUP_VARIABLE_ATTRIBUTES);
    InstallPeers();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }

  std::vector<UINT8>& Store() { return *Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID); }

  EFI_STATUS Change(UINT16 Key, EFI_BROWSER_ACTION Action = EFI_BROWSER_ACTION_CHANGED) {
    EFI_IFR_TYPE_VALUE Value{};
    return Browser().Callback(0x2, Action, Key, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  }

  std::u16string Frequency(UINT16 Class, UINT16 Id) { return HiiText(FormSetHandle(Class), Id); }

  UINT16 U16(UINT16 Offset) { return ReadLe16(Store().data() + Offset); }
  void SetU16(UINT16 Offset, UINT16 Value) { WriteLe16(Store().data() + Offset, Value); }
  std::vector<UINT8> Ratios() { return std::vector<UINT8>(Store().begin() + 0x3C, Store().begin() + 0x40); }
  void SetRatios(std::array<UINT8, 4> R) { std::copy(R.begin(), R.end(), Store().begin() + 0x3C); }
};

// The default board's limits: non-turbo ratio 35, efficiency ratio 8,
// ceiling 39, per-core floors 39, 39, 38, 37, no package maximum and a
// package minimum of 42 W (half the TDP).
TEST_F(RatioSettings, OverridesRingRatioAndLimitedValueKeepTheirRange) {
  struct {
    UINT16 Key;
    UINT16 Offset;
  } Overrides[] = {{0x41E, 0x85}, {0x41F, 0x83}, {0x421, 0x8C}, {0x422, 0x8A}};
  for (auto& O : Overrides) {
    for (auto [In, Out] : {std::pair<UINT16, UINT16>{1, 800}, {799, 0}, {2001, 2000}, {0, 0}, {800, 800}, {1500, 1500}}) {
      SetU16(O.Offset, In);
      EXPECT_EQ(Change(O.Key), EFI_SUCCESS);
      EXPECT_EQ(U16(O.Offset), Out) << std::hex << O.Key << " " << std::dec << In;
    }
  }
  for (auto [In, Out] : {std::pair<UINT8, UINT8>{1, 8}, {7, 0}, {121, 120}, {0, 0}, {50, 50}}) {
    Store()[0x98] = In;
    EXPECT_EQ(Change(0x426), EFI_SUCCESS);
    EXPECT_EQ(Store()[0x98], Out) << (int)In;
  }
  for (auto [In, Out] : {std::pair<UINT16, UINT16>{1001, 1000}, {1, 1}, {1000, 1000}}) {
    SetU16(0x41, In);
    EXPECT_EQ(Change(0x419), EFI_SUCCESS);
    EXPECT_EQ(U16(0x41), Out) << In;
  }
}

TEST_F(RatioSettings, PowerLimitsWithoutAPackageMaximumOnlyKeepTheMinimum) {
  for (auto [Key, Offset] : {std::pair<UINT16, UINT16>{0x413, 0x4B}, {0x414, 0x4D}}) {
    for (auto [In, Out] : {std::pair<UINT16, UINT16>{0, 0}, {1, 42}, {2, 0}, {41, 0}, {42, 42}, {500, 500}}) {
      SetU16(Offset, In);
      EXPECT_EQ(Change(Key), EFI_SUCCESS);
      EXPECT_EQ(U16(Offset), Out) << std::hex << Key << " " << std::dec << In;
    }
  }
}

// Package power register with a maximum of 84 W and a minimum of 42 W (unit 1/8 W).
class RatioSettingsWithPackageMaximum : public RatioSettings {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    Profile.Msrs[0x614] = (0x2A0ull << 32) | (0x150ull << 16) | 0x2A8;
  }
};

TEST_F(RatioSettingsWithPackageMaximum, PowerLimitsStayInThePackageRange) {
  for (auto [Key, Offset] : {std::pair<UINT16, UINT16>{0x413, 0x4B}, {0x414, 0x4D}}) {
    for (auto [In, Out] : {std::pair<UINT16, UINT16>{0, 0}, {1, 42}, {2, 0}, {41, 0}, {42, 42}, {84, 84}, {85, 84}}) {
      SetU16(Offset, In);
      EXPECT_EQ(Change(Key), EFI_SUCCESS);
      EXPECT_EQ(U16(Offset), Out) << std::hex << Key << " " << std::dec << In;
    }
  }
}

TEST_F(RatioSettings, RatioChainRunsDownFromTheChangedCoreCount) {
  SetRatios({20, 45, 44, 50});
  EXPECT_EQ(Change(0x415), EFI_SUCCESS);
  // Ceiling and lowest limit are the same byte: the one-core limit ends at it.
  EXPECT_EQ(Ratios(), (std::vector<UINT8>{39, 39, 39, 39}));

  SetRatios({40, 45, 30, 45});
  EXPECT_EQ(Change(0x416), EFI_SUCCESS);
  // 0x3C is not touched from 0x416 on; 0x3D is at most the one-core limit;
  // 0x3E is raised to its floor; 0x3F is at most the three-core limit.
  EXPECT_EQ(Ratios(), (std::vector<UINT8>{40, 40, 38, 38}));

  SetRatios({0, 0, 0, 10});
  EXPECT_EQ(Change(0x418), EFI_SUCCESS);
  EXPECT_EQ(Ratios(), (std::vector<UINT8>{0, 0, 0, 37}));

  // From 0x417 on: 0x3D stays below its floor, 0x3E follows it down and is
  // raised to its own floor.
  SetRatios({39, 30, 50, 50});
  EXPECT_EQ(Change(0x417), EFI_SUCCESS);
  EXPECT_EQ(Ratios(), (std::vector<UINT8>{39, 30, 38, 38}));
}

TEST_F(RatioSettings, HighRatioSwitchesTheDependentSettingsOn) {
  Store()[0x7F] = 2;
  EXPECT_EQ(Change(0x415), EFI_SUCCESS);  // lands on 39
  EXPECT_EQ(Store()[0x2E], 2);
  EXPECT_EQ(U16(0x30), 141);
  EXPECT_EQ(Store()[0x32], 1);

  // Settings the user already made stay.
  Store()[0x7F] = 1;
  Store()[0x80] = 39;
  Store()[0x2E] = 3;
  SetU16(0x30, 99);
  Store()[0x32] = 5;
  EXPECT_EQ(Change(0x41D), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x2E], 3);
  EXPECT_EQ(U16(0x30), 99);
  EXPECT_EQ(Store()[0x32], 5);

  // Below 39, or a ratio of the mode not in use, changes nothing.
  Store()[0x80] = 38;
  Store()[0x3C] = 45;
  Store()[0x2E] = 0;
  Store()[0x32] = 0;
  EXPECT_EQ(Change(0x41D), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x2E], 0);
  EXPECT_EQ(Store()[0x32], 0);
}

TEST_F(RatioSettings, AllCoreRatioIsKeptBetweenEfficiencyAndCeiling) {
  for (auto [In, Out] : {std::pair<UINT8, UINT8>{0, 8}, {7, 8}, {30, 30}, {40, 39}}) {
    Store()[0x80] = In;
    EXPECT_EQ(Change(0x41D), EFI_SUCCESS);
    EXPECT_EQ(Store()[0x80], Out) << (int)In;
  }
}

TEST_F(RatioSettings, RatioModeChangeLoadsDefaultsAndLeavesThePreset) {
  for (UINT16 Key : {0x41B, 0x41C}) {
    std::fill(Store().begin(), Store().end(), 0);
    Store()[0x7F] = 2;
    Store()[0x484] = 3;
    Store()[0x1F5] = 9;
    EXPECT_EQ(Change(Key), EFI_SUCCESS);
    EXPECT_EQ(Ratios(), (std::vector<UINT8>{39, 39, 38, 37}));
    EXPECT_EQ(Store()[0x4A], 1);
    EXPECT_EQ(Store()[0x484], 0);
    EXPECT_EQ(Store()[0x2E], 0);
    EXPECT_EQ(Store()[0x2F], 1);
    EXPECT_EQ(Store()[0x3F5], 0x80);
    EXPECT_EQ(Store()[0x1F5], 0);
    for (UINT16 At : {0x53, 0x54, 0x55, 0x56, 0x42D, 0x437, 0x442}) EXPECT_EQ(Store()[At], 2) << std::hex << At;
  }

  std::fill(Store().begin(), Store().end(), 0);
  Store()[0x7F] = 1;
  EXPECT_EQ(Change(0x41B), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x80], 35);
  EXPECT_EQ(Store()[0x3F5], 0);  // no preset chosen: nothing reset

  // Back to the default mode keeps the preset.
  std::fill(Store().begin(), Store().end(), 0);
  Store()[0x484] = 3;
  EXPECT_EQ(Change(0x41C), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x4A], 1);
  EXPECT_EQ(Store()[0x484], 3);
  EXPECT_EQ(Store()[0x2F], 0);
}

TEST_F(RatioSettings, AKeyOutsideTheSettingsReachesNothing) {
  for (size_t i = 0; i < SETUP_RECORD_SIZE; ++i) Store()[i] = (UINT8)(i * 7);
  const std::vector<UINT8> Before = Store();
  EXPECT_EQ(Change(0x41A), EFI_NOT_FOUND);
  EXPECT_EQ(Store(), Before);
  EXPECT_EQ(Forms().Calls().GetBrowserData, 0u);
}

// No ratio HOB: every ratio limit falls back to the non-turbo ratio.
class RatioSettingsWithoutRatioHob : public RatioSettings {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    std::erase_if(Profile.Hobs, [](const sim::GuidHobProfile& H) { return H.Guid == PROCESSOR_RATIO_HOB_GUID; });
  }
};

TEST_F(RatioSettingsWithoutRatioHob, PerCoreLimitsFallToTheNonTurboRatio) {
  Store()[0x7F] = 2;
  SetRatios({42, 20, 45, 0});
  EXPECT_EQ(Change(0x415), EFI_SUCCESS);
  EXPECT_EQ(Ratios(), (std::vector<UINT8>{35, 35, 35, 35}));
  for (UINT16 Class : {0x1, 0x2}) {
    EXPECT_EQ(Frequency(Class, 0x0115), u"3500MHz");
    EXPECT_EQ(Frequency(Class, 0x0118), u"3500MHz");
    EXPECT_EQ(Frequency(Class, 0x011B), u"3500MHz");
  }
  EXPECT_EQ(HiiText(FormSetHandle(0x4), 0x0115), u"<none>");
}

TEST_F(RatioSettings, FrequencyLinesFollowTheModeAndTheRingRatio) {
  Store()[0x7F] = 1;
  Store()[0x80] = 38;
  Store()[0x98] = 40;
  EXPECT_EQ(Change(0x41D), EFI_SUCCESS);
  EXPECT_EQ(Frequency(0x2, 0x0115), u"3800MHz");
  EXPECT_EQ(Frequency(0x1, 0x0118), u"3800MHz");
  EXPECT_EQ(Frequency(0x1, 0x011B), u"4000MHz");

  Store()[0x7F] = 0;
  Store()[0x98] = 0;
  EXPECT_EQ(Change(0x426), EFI_SUCCESS);
  EXPECT_EQ(Frequency(0x2, 0x0115), u"3500MHz");
  EXPECT_EQ(Frequency(0x2, 0x011B), u"3500MHz");

  // Per-core-count mode: the one-core limit, which key 0x417 leaves alone.
  Store()[0x7F] = 2;
  Store()[0x3C] = 38;
  Store()[0x3D] = 38;
  EXPECT_EQ(Change(0x417), EFI_SUCCESS);
  EXPECT_EQ(Frequency(0x1, 0x0115), u"3800MHz");
  EXPECT_EQ(Frequency(0x2, 0x011B), u"3800MHz");

  // A key that does not move the lines leaves them.
  Store()[0x7F] = 1;
  Store()[0x80] = 30;
  EXPECT_EQ(Change(0x419), EFI_SUCCESS);
  EXPECT_EQ(Frequency(0x2, 0x0115), u"3800MHz");
}

TEST_F(RatioSettings, RefreshActionRedrawsWithoutWritingBack) {
  Store()[0x7F] = 1;
  Store()[0x80] = 60;  // beyond the ceiling: a change would clamp it
  const UINTN Writes = Forms().Calls().SetBrowserData;
  EXPECT_EQ(Change(0x41D, BROWSER_ACTION_REFRESH), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x80], 60);
  EXPECT_EQ(Forms().Calls().SetBrowserData, Writes);
  EXPECT_EQ(Frequency(0x2, 0x0115), u"6000MHz");
}

TEST_F(RatioSettings, OtherActionsAreIgnored) {
  Store()[0x7F] = 1;
  Store()[0x80] = 60;
  const UINTN Reads = Forms().Calls().GetBrowserData;
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGING, EFI_BROWSER_ACTION_RETRIEVE,
                                    EFI_BROWSER_ACTION_FORM_OPEN, EFI_BROWSER_ACTION_DEFAULT_STANDARD})
    EXPECT_EQ(Change(0x41D, Action), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x80], 60);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Reads);
  EXPECT_EQ(Frequency(0x2, 0x0115), u"Auto");
}

UINTN gHandedBackSize = 0;
FORM_UTILITY_PROTOCOL::SetBrowserDataFn gRealSetBrowserData = nullptr;
EFI_STATUS EFIAPI RecordingSetBrowserData(UINTN Size, VOID* Buffer, const EFI_GUID* Guid, const CHAR16* Name) {
  gHandedBackSize = Size;
  return gRealSetBrowserData(Size, Buffer, Guid, Name);
}

TEST_F(RatioSettings, EveryChangeHandsBackTheWholeRecord) {
  for (size_t i = 0; i < SETUP_RECORD_SIZE; ++i) Store()[i] = (UINT8)(0x5A ^ i);
  Store()[0x7F] = 0;
  std::vector<UINT8> Before = Store();
  gRealSetBrowserData = Forms().Protocol()->SetBrowserData;
  Forms().Protocol()->SetBrowserData = RecordingSetBrowserData;
  for (UINT16 Key : {0x420, 0x423, 0x424, 0x425, 0x427}) {
    gHandedBackSize = 0;
    const UINTN Writes = Forms().Calls().SetBrowserData;
    EXPECT_EQ(Change(Key), EFI_SUCCESS);
    EXPECT_EQ(gHandedBackSize, SETUP_RECORD_SIZE) << std::hex << Key;
    EXPECT_EQ(Forms().Calls().SetBrowserData, Writes + 1);
    EXPECT_EQ(Store(), Before);
  }
  Forms().Protocol()->SetBrowserData = gRealSetBrowserData;
}

TEST_F(RatioSettings, WithoutPoolMemoryTheBrowserDataIsLeftAlone) {
  Store()[0x7F] = 1;
  Store()[0x80] = 60;
  M().Pool().FailAllocationAfter(0);
  EXPECT_EQ(Change(0x41D), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x80], 60);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 0u);
}

// No Setup variable: the browser holds no copy to correct.
class RatioSettingsWithoutSetup : public ProcessorPage {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    std::erase_if(Profile.Variables, [](const sim::VariableProfile& V) { return V.Name == u"Setup"; });
  }
};

TEST_F(RatioSettingsWithoutSetup, NothingIsHandedBack) {
  InstallPeers();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  ASSERT_EQ(Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID), nullptr);
  EFI_IFR_TYPE_VALUE Value{};
  const UINTN Reads = Forms().Calls().GetBrowserData;
  EXPECT_EQ(Browser().Callback(0x2, EFI_BROWSER_ACTION_CHANGED, 0x415, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Reads + 1);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 0u);
  // Outside a browser callback the handler has nothing to act on.
  EXPECT_EQ(OnProcessorSettingChanged(FormSetHandle(0x2), 0x2, 0, 0x415), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Reads + 1);
}

// 39 is the first high ratio: at exactly 39 the page's callback switches the
// dependent settings on, just below it leaves them off.
TEST_F(RatioSettings, AllCoreRatioOfExactlyThirtyNineSwitchesTheDependentsOn) {
  Store()[0x7F] = 1;
  Store()[0x80] = 38;
  EXPECT_EQ(Change(0x41D), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x2E], 0);
  EXPECT_EQ(U16(0x30), 0);
  EXPECT_EQ(Store()[0x32], 0);

  Store()[0x80] = 39;
  EXPECT_EQ(Change(0x41D), EFI_SUCCESS);
  EXPECT_EQ(Store()[0x80], 39);
  EXPECT_EQ(Store()[0x2E], 2);
  EXPECT_EQ(U16(0x30), 141);
  EXPECT_EQ(Store()[0x32], 1);
}

}  // namespace
}  // namespace setupinfo_test
