// NVMe device rows on the Advanced page: which handles count as namespaces,
// which controllers and drivers name them, the location text, NVMEData, and
// what a hostile driver or device path cannot make the page do.
#include <memory>
#include <string>
#include <vector>

#include "platform/nvme.h"
#include "setupinfo/pages/platform/nvme_devices.h"
#include "setupinfo_fixture.h"
#include "sim/peers/nvme_peers.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 ADVANCED = 0x4;

sim::NvmeNamespaceProfile Namespace(uint32_t Id, const std::u16string& Name) {
  sim::NvmeNamespaceProfile N;
  N.Id = Id;
  N.Name.Names["en-US"] = Name;
  return N;
}

sim::NvmeControllerProfile Controller(uint8_t Bus, uint8_t Device, uint8_t Function,
                                      std::vector<sim::NvmeNamespaceProfile> Namespaces) {
  sim::NvmeControllerProfile C;
  C.Pci.Bus = Bus;
  C.Pci.Device = Device;
  C.Pci.Function = Function;
  // Each bus behind a bridge of its own, so that no two paths are alike.
  C.Pci.Path = {{(uint8_t)(Bus & 0x1F), (uint8_t)(Bus >> 5)}, {Device, Function}};
  C.Namespaces = std::move(Namespaces);
  return C;
}

class NvmeDevices : public SetupInfoTest {
 protected:
  // A driver of its own per profile, as a board with several NVMe drivers has.
  sim::NvmePeers& Install(const sim::NvmeProfile& Profile) {
    Drivers.push_back(std::make_unique<sim::NvmePeers>(M().Board(), Profile));
    EXPECT_EQ(Drivers.back()->Install(BS()), EFI_SUCCESS);
    return *Drivers.back();
  }
  sim::NvmePeers& Install(std::vector<sim::NvmeControllerProfile> Controllers) {
    sim::NvmeProfile P;
    P.Controllers = std::move(Controllers);
    return Install(P);
  }
  void Load() {
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    Handle = FormSetHandle(ADVANCED);
    ASSERT_NE(Handle, nullptr);
  }
  // Marks every row, clears the variable and the log, and runs the page again.
  void Rerun(UINT16 Class = ADVANCED) {
    for (size_t n = 0; n < NVME_DEVICE_ROWS; ++n) {
      SetHiiText(Handle, NvmeNameStrings[n], "en-US", u"-");
      SetHiiText(Handle, NvmeLocationStrings[n], "en-US", u"-");
    }
    M().Variables().Erase(u"NVMEData", SETUP_VARIABLE_GUID);
    M().Variables().ClearSetLog();
    InitNvmeDevicePage(Handle, Class);
  }
  std::u16string Name(size_t n) { return HiiText(Handle, NvmeNameStrings[n]); }
  std::u16string Location(size_t n) { return HiiText(Handle, NvmeLocationStrings[n]); }
  std::string Filled() { return SetupGuidVariable(u"NVMEData"); }
  static std::string Rows(UINT8 A, UINT8 B, UINT8 C, UINT8 D) { return std::string{(char)A, (char)B, (char)C, (char)D}; }

  std::vector<std::unique_ptr<sim::NvmePeers>> Drivers;
  EFI_HII_HANDLE Handle = nullptr;
};

TEST_F(NvmeDevices, DefaultBoardShowsItsSsdAndRecordsTheRow) {
  ASSERT_TRUE(sim::DefaultBoardProfile().Nvme.has_value());
  Install(*sim::DefaultBoardProfile().Nvme);
  Load();
  EXPECT_EQ(Name(0), u"M.2 NVMe SSD 512GB");
  EXPECT_EQ(Location(0), u"Bus:2 Dev:0 Func:0");
  EXPECT_EQ(Name(1), u"Not Present");
  EXPECT_EQ(Location(3), u"N/A");
  EXPECT_EQ(Filled(), Rows(1, 0, 0, 0));
  const auto* V = M().Variables().Find(u"NVMEData", SETUP_VARIABLE_GUID);
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(V->Attributes, EFI_VARIABLE_BOOTSERVICE_ACCESS);

  // Only the Advanced form set is looked at; another class writes nothing.
  Rerun(0x10);
  EXPECT_EQ(Name(0), u"-");
  EXPECT_TRUE(WrittenNames().empty());
}

TEST_F(NvmeDevices, WithoutNvmeDevicesTheVariableStillSaysNoRows) {
  Install({Controller(3, 0, 0, {})});  // a controller with no namespace
  Load();
  EXPECT_EQ(Filled(), Rows(0, 0, 0, 0));
  EXPECT_EQ(Name(0), u"Not Present");
}

TEST_F(NvmeDevices, LocationIsUpperCaseBusAndLowerCaseDeviceAndFunctionWithoutLeadingZeros) {
  Install({Controller(0x3A, 0, 0, {Namespace(1, u"A")}), Controller(0xFF, 0x1F, 7, {Namespace(1, u"B")}),
           Controller(0x0B, 0x0C, 1, {Namespace(1, u"C")})});
  Load();
  EXPECT_EQ(Location(0), u"Bus:3A Dev:0 Func:0");
  EXPECT_EQ(Location(1), u"Bus:FF Dev:1f Func:7");
  EXPECT_EQ(Location(2), u"Bus:B Dev:c Func:1");
  EXPECT_EQ(Name(2), u"C");
  EXPECT_EQ(Filled(), Rows(1, 1, 1, 0));
}

TEST_F(NvmeDevices, RowsFollowNamespaceOrderAndAFifthNamespaceHasNoRow) {
  sim::NvmePeers& Peers = Install({Controller(1, 0, 0, {Namespace(1, u"one"), Namespace(2, u"two")}),
                                   Controller(4, 0, 0, {Namespace(1, u"three"), Namespace(2, u"four"),
                                                        Namespace(3, u"five")})});
  Load();
  EXPECT_EQ(Name(0), u"one");
  EXPECT_EQ(Name(1), u"two");
  EXPECT_EQ(Name(2), u"three");
  EXPECT_EQ(Name(3), u"four");
  EXPECT_EQ(Location(3), u"Bus:4 Dev:0 Func:0");
  EXPECT_EQ(Filled(), Rows(1, 1, 1, 1));
  // The fifth namespace is never asked for its name.
  for (auto& Call : Peers.Driver().NameCalls) EXPECT_EQ(Call.first, "en-US");
  EXPECT_EQ(Peers.Driver().NameCalls.size(), 4u);
}

TEST_F(NvmeDevices, UnnamedOrUnmarkedDevicesGiveNoRowAndLaterOnesMoveUp) {
  sim::NvmeControllerProfile Unmarked = Controller(1, 0, 0, {Namespace(1, u"unmarked")});
  Unmarked.ControllerProtocol = false;
  sim::NvmeControllerProfile Nameless = Controller(2, 0, 0, {Namespace(1, u"")});
  Nameless.Namespaces[0].Name.Names.clear();
  sim::NvmeControllerProfile French = Controller(3, 0, 0, {Namespace(1, u"")});
  French.Namespaces[0].Name.Names = {{"fr-FR", u"disque"}};
  Install({Unmarked, Nameless, French});

  sim::NvmeProfile NoComponentName;
  NoComponentName.Driver.ComponentName2 = false;
  NoComponentName.Driver.ComponentName = true;  // the older protocol is not asked
  NoComponentName.Controllers = {Controller(5, 0, 0, {Namespace(1, u"old")})};
  NoComponentName.Controllers[0].Namespaces[0].Name.Names["eng"] = u"old";
  Install(NoComponentName);

  sim::NvmeProfile Failing;
  Failing.Driver.NameStatus = EFI_DEVICE_ERROR;
  Failing.Controllers = {Controller(6, 0, 0, {Namespace(1, u"failing")})};
  Install(Failing);

  Install({Controller(7, 0, 0, {Namespace(1, u"last")})});
  Load();
  EXPECT_EQ(Name(0), u"last");
  EXPECT_EQ(Location(0), u"Bus:7 Dev:0 Func:0");
  EXPECT_EQ(Name(1), u"Not Present");
  EXPECT_EQ(Filled(), Rows(1, 0, 0, 0));
}

TEST_F(NvmeDevices, TheNameIsAskedInEnglishWhateverThePlatformLanguage) {
  sim::NvmeProfile P;
  P.Driver.Languages2 = "de-DE;en-US";
  P.Controllers = {Controller(1, 0, 0, {Namespace(1, u"SSD")})};
  P.Controllers[0].Namespaces[0].Name.Names["de-DE"] = u"Festplatte";
  sim::NvmePeers& Peers = Install(P);
  PutVariable(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, std::string("de-DE", 6), 0x7);
  Load();
  ASSERT_FALSE(Peers.Driver().NameCalls.empty());
  for (auto& Call : Peers.Driver().NameCalls) EXPECT_EQ(Call.first, "en-US");
  EXPECT_EQ(Filled(), Rows(1, 0, 0, 0));
}

TEST_F(NvmeDevices, AFailedLocationShowsZeros) {
  sim::NvmeControllerProfile C = Controller(0x12, 3, 4, {Namespace(1, u"SSD")});
  C.Pci.LocationStatus = EFI_DEVICE_ERROR;
  Install({C});
  Load();
  EXPECT_EQ(Name(0), u"SSD");
  EXPECT_EQ(Location(0), u"Bus:0 Dev:0 Func:0");
  EXPECT_EQ(Filled(), Rows(1, 0, 0, 0));
}

TEST_F(NvmeDevices, NamesKeepTheLowByteOfEachCharacterAndStopAt255) {
  // U+0141 keeps 0x41; U+0100 keeps 0x00, which ends the text there.
  std::u16string Long(300, u'x');
  sim::NvmeControllerProfile C = Controller(1, 0, 0, {Namespace(1, u"SSD \u0141\u00E9"), Namespace(2, Long),
                                                       Namespace(3, u"ab\u0100cd")});
  C.Namespaces[1].Name.Unterminated = true;  // read past its end would be caught
  Install({C});
  Load();
  EXPECT_EQ(Name(0), u"SSD A\u00E9");
  EXPECT_EQ(Name(1), std::u16string(255, u'x'));
  EXPECT_EQ(Name(2), u"ab");

  // An unterminated name exactly 255 characters long is read no further.
  sim::NvmeControllerProfile Exact = Controller(2, 0, 0, {Namespace(1, std::u16string(255, u'y'))});
  Exact.Namespaces[0].Name.Unterminated = true;
  Install({Exact});
  Rerun();
  EXPECT_EQ(Name(3), std::u16string(255, u'y'));
}

TEST_F(NvmeDevices, OnlyAPathReachingANamespaceNodeCounts) {
  auto Raw = [](std::vector<uint8_t> Bytes) {
    sim::NvmeNamespaceProfile N = Namespace(1, u"raw");
    N.DevicePath = std::move(Bytes);
    return N;
  };
  const std::vector<uint8_t> Pci = {2, 1, 12, 0, 0xD0, 0x41, 0x03, 0x0A, 0, 0, 0, 0, 1, 1, 6, 0, 0, 28};
  const std::vector<uint8_t> Nvme = {3, 0x17, 16, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  auto Join = [](std::vector<std::vector<uint8_t>> Parts) {
    std::vector<uint8_t> Out;
    for (auto& P : Parts) Out.insert(Out.end(), P.begin(), P.end());
    return Out;
  };
  const std::vector<uint8_t> End = {0x7F, 0xFF, 4, 0};
  Install({Controller(1, 0, 0,
                      {
                          Raw(End),                                                // only an end node
                          Raw(Join({Pci, End})),                                   // no namespace node
                          Raw(Join({Pci, {0x7F, 0x01, 4, 0}, Nvme, End})),         // ends an instance first
                          Raw(Join({Pci, {0xFF, 0xFF, 4, 0}, Nvme, End})),         // end type 0xFF
                          Raw(Join({{1, 1, 2, 0, 0, 0}, Nvme, End})),              // a Length below the header
                          Raw(Join({{1, 1, 0, 0}})),                               // Length 0, nothing after it
                          Raw(Join({Pci, {3, 0x17, 4, 0}})),                       // a bare namespace node counts
                      })});
  Load();
  EXPECT_EQ(Name(0), u"raw");
  EXPECT_EQ(Filled(), Rows(1, 0, 0, 0));
}

TEST_F(NvmeDevices, EveryAllocationFailureLeavesNoBufferAndAConsistentRow) {
  Install(*sim::DefaultBoardProfile().Nvme);
  Load();
  const size_t Live = M().Pool().LiveAllocationCount();
  const size_t Before = M().Pool().AllocationCount();
  Rerun();
  const size_t Attempts = M().Pool().AllocationCount() - Before;
  ASSERT_GE(Attempts, 4u);  // device-path handles, PCI I/O handles, open records, the row text
  for (size_t n = 0; n < Attempts; ++n) {
    M().Pool().FailAllocationAfter(n);
    Rerun();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().Pool().LiveAllocationCount(), Live) << n;
    const std::string Data = Filled();
    if (Data == "<none>") continue;  // the first handle list was refused: nothing written
    ASSERT_EQ(Data.size(), 4u) << n;
    // A name shown is a row counted.
    if (Name(0) == u"M.2 NVMe SSD 512GB") EXPECT_EQ(Data[0], 1) << n;
  }
}

}  // namespace
}  // namespace setupinfo_test
