// Platform controller hub page: name, stepping and version on the loaded
// form sets, and the SATA port lines read from the drives' Disk Info, with
// the drives, the hub's variable and the mode register as a board has them.
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "setupinfo/pages/board/south_bridge_facts.h"
#include "setupinfo/pages/board/south_bridge_page.h"
#include "setupinfo_fixture.h"
#include "sim/peers/south_bridge_peers.h"

namespace setupinfo_test {
namespace {

// ---- Facts from outside data -------------------------------------------------

TEST(PchTables, NamesAndSteppingsFollowTheDeviceIdAndSeries) {
  EXPECT_STREQ(PchName(0x8C44), "Z87");
  EXPECT_STREQ(PchName(0x8C42), "DT Full Sku");
  EXPECT_STREQ(PchName(0x8CC4), "Z97");
  EXPECT_STREQ(PchName(0x9CC3), "Premium SKU(BDW-U)");
  EXPECT_STREQ(PchName(0x9CC9), "Base SKU(BDW-Y)");
  EXPECT_EQ(PchName(0x2918), nullptr);
  EXPECT_EQ(PchName(0x9CC8), nullptr);

  EXPECT_TRUE(IsLowPowerPch(0x9C43));
  EXPECT_FALSE(IsLowPowerPch(0x8C44));
  const char* Standard[] = {"00/A0", "01/A1", "02/B0", "03/C0", "04/C1", "05/C2"};
  const char* LowPower[] = {"00/A0", "01/A1", "02/B0", "03/B1", "04/B2", "05/C0"};
  for (UINT8 Revision = 0; Revision < 6; ++Revision) {
    EXPECT_STREQ(PchSteppingText(Revision, false), Standard[Revision]);
    EXPECT_STREQ(PchSteppingText(Revision, true), LowPower[Revision]);
  }
  for (UINT8 Revision : {6, 0x80, 0xFF}) {
    EXPECT_STREQ(PchSteppingText(Revision, false), "Unknown");
    EXPECT_STREQ(PchSteppingText(Revision, true), "Unknown");
  }
}

struct IdentifyBuilder {
  std::array<UINT8, 512> Bytes{};
  IdentifyBuilder& Word(size_t Index, UINT16 Value) {
    Bytes[2 * Index] = (UINT8)Value;
    Bytes[2 * Index + 1] = (UINT8)(Value >> 8);
    return *this;
  }
  IdentifyBuilder& Sectors48(UINT64 Count) {
    Word(83, 0x4400);
    for (size_t I = 0; I < 4; ++I) Word(100 + I, (UINT16)(Count >> (16 * I)));
    return *this;
  }
  IdentifyBuilder& Sectors28(UINT32 Count) { return Word(60, (UINT16)Count).Word(61, (UINT16)(Count >> 16)); }
  IdentifyBuilder& LogicalBytes(UINT64 Bytes) {
    return Word(106, 0x5000).Word(117, (UINT16)(Bytes / 2)).Word(118, (UINT16)(Bytes / 2 >> 16));
  }
  IdentifyBuilder& Model(const char* Text) {
    char Padded[40];
    std::memset(Padded, ' ', 40);
    std::memcpy(Padded, Text, std::strlen(Text));
    for (size_t I = 0; I < 20; ++I) Word(27 + I, (UINT16)(((UINT8)Padded[2 * I] << 8) | (UINT8)Padded[2 * I + 1]));
    return *this;
  }
};

std::string Capacity(const IdentifyBuilder& Id) {
  SATA_CAPACITY C = SataCapacity(Id.Bytes.data());
  return (C.Exceeds ? ">" : "") + std::to_string(C.Whole) + "." + std::to_string(C.Tenths);
}

TEST(SataCapacity, TruncatesToTenthsOfDecimalGigabytes) {
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(976773168)), "500.1");  // 500 107 862 016 bytes
  // 999 999 999 bytes are no whole number of (even-sized) sectors; the
  // nearest count below it shows what truncation gives.
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(1953124)), "0.9");  // 999 999 488 bytes
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(1953125)), "1.0");  // 1 000 000 000 bytes
  EXPECT_EQ(Capacity(IdentifyBuilder()), "0.0");
}

TEST(SataCapacity, SectorCountAndSizeComeFromTheirOwnWords) {
  // Without word 83 bit 10 the 28-bit count counts, whatever words 100-103 say.
  IdentifyBuilder Legacy;
  Legacy.Sectors28(0x0FFFFFFF).Word(100, 0xFFFF).Word(103, 0xFFFF);
  EXPECT_EQ(Capacity(Legacy), "137.4");
  // 4 KiB logical sectors: words 117-118 count 16-bit words.
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(488378646).LogicalBytes(4096)), "2000.3");
  // Word 106 is only read when bits 15:14 are 01 and bit 12 is set.
  for (UINT16 Bad : {0x1000, 0x9000, 0xD000, 0x4000}) {
    IdentifyBuilder Id;
    Id.Sectors48(976773168).LogicalBytes(4096).Word(106, Bad);
    EXPECT_EQ(Capacity(Id), "500.1") << std::hex << Bad;
  }
}

TEST(SataCapacity, AProductPastSixtyFourBitsIsShownAsTheLargestFigure) {
  // 2^48 sectors of 2^17 bytes: 2^65 bytes.
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(1ull << 48).LogicalBytes(1u << 17)), ">18446744073.7");
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(~0ull).LogicalBytes(0x1FFFFFFFEull)), ">18446744073.7");
  // Just below the limit the figure is exact, and above 2^31 GB it is not cut.
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(~0ull >> 9)), "18446744073.7");
  EXPECT_EQ(Capacity(IdentifyBuilder().Sectors48(1ull << 54)), "9223372036.8");
}

TEST(SataDriveText, ModelIsSwappedAndPaddedAndNeverAFormat) {
  SATA_DRIVE_TEXT Drive;
  SATA_STATUS_TEXT Status;
  IdentifyBuilder Id;
  Id.Model("%s%n%d ABC").Sectors48(976773168).Word(76, 0x0706).Word(78, 0x0040);
  DescribeSataDrive(Id.Bytes.data(), Drive, Status);
  EXPECT_EQ(std::string(Drive), "%s%n%d ABC" + std::string(30, ' ') + " (500.1GB)");
  EXPECT_EQ(std::string(Status), "SUPPORTED");

  Id.Word(78, 0xFFBF);  // bit 6 clear
  DescribeSataDrive(Id.Bytes.data(), Drive, Status);
  EXPECT_EQ(std::string(Status), "NOT SUPPORTED");
  Id.Word(78, 0x0040).Word(76, 0xFFFF);  // word 76 all ones: no SATA words
  DescribeSataDrive(Id.Bytes.data(), Drive, Status);
  EXPECT_EQ(std::string(Status), "NOT SUPPORTED");

  IdentifyBuilder Atapi;
  Atapi.Word(0, 0x85C0).Model("DVD").Sectors48(1000000);
  DescribeSataDrive(Atapi.Bytes.data(), Drive, Status);
  EXPECT_EQ(std::string(Drive), "DVD" + std::string(37, ' ') + " ATAPI");
  EXPECT_EQ(std::string(Status), "  N/A  ");

  // A zero inside the model ends the text there.
  IdentifyBuilder Short;
  Short.Model("AB").Word(28, 0);
  DescribeSataDrive(Short.Bytes.data(), Drive, Status);
  EXPECT_EQ(std::string(Drive), "AB (0.0GB)");
}

TEST(SataPortIndex, FollowsTheAddressingMode) {
  EXPECT_EQ(SataPortIndex(false, 0, 0, 2), 0u);
  EXPECT_EQ(SataPortIndex(false, 0, 1, 2), 2u);
  EXPECT_EQ(SataPortIndex(false, 1, 0, 2), 1u);
  EXPECT_EQ(SataPortIndex(false, 1, 1, 2), 3u);
  EXPECT_EQ(SataPortIndex(false, 0, 0, 5), 4u);
  EXPECT_EQ(SataPortIndex(false, 0, 1, 5), 6u);
  EXPECT_EQ(SataPortIndex(true, 3, 0xFFFF, 2), 3u);
  EXPECT_EQ(SataPortIndex(true, 5, 0, 5), 5u);
  // Values from outside do not wrap back into the table.
  EXPECT_EQ(SataPortIndex(false, 0x80000000u, 0, 2), 0x100000000ull);
  EXPECT_EQ(SataPortIndex(false, 0xFFFFFFFFu, 0xFFFFFFFFu, 5), 0x2FFFFFFFDull + 4);
}

std::vector<UINT8> PathOf(std::initializer_list<std::vector<UINT8>> Nodes) {
  std::vector<UINT8> P;
  for (auto& N : Nodes) P.insert(P.end(), N.begin(), N.end());
  return P;
}
const std::vector<UINT8> ACPI = {2, 1, 12, 0, 0xD0, 0x41, 0x03, 0x0A, 0, 0, 0, 0};
const std::vector<UINT8> END = {0x7F, 0xFF, 4, 0};

bool PciNodeOf(const std::vector<UINT8>& Path, PCI_NODE* Node) {
  return FindPciNode((const EFI_DEVICE_PATH_PROTOCOL*)Path.data(), Node);
}

TEST(SataDevicePath, TheFirstPciNodeBeforeTheEndCounts) {
  PCI_NODE Node{};
  ASSERT_TRUE(PciNodeOf(PathOf({ACPI, {1, 1, 6, 0, 2, 0x1F}, {1, 1, 6, 0, 0, 0}, END}), &Node));
  EXPECT_EQ(Node.Function, 2);
  EXPECT_EQ(Node.Device, 0x1F);
  // Ends of either type stop the search; a PCI node after them is not read.
  EXPECT_FALSE(PciNodeOf(PathOf({ACPI, END, {1, 1, 6, 0, 2, 0x1F}}), &Node));
  EXPECT_FALSE(PciNodeOf(PathOf({ACPI, {0xFF, 0x01, 4, 0}, {1, 1, 6, 0, 2, 0x1F}}), &Node));
  // Other hardware subtypes are not PCI nodes.
  EXPECT_FALSE(PciNodeOf(PathOf({{1, 2, 5, 0, 2}, END}), &Node));
  EXPECT_EQ(FindPciNode(nullptr, &Node), false);
}

TEST(SataDevicePath, MalformedNodesEndTheWalkWithoutAPciNode) {
  PCI_NODE Node{};
  // A Length below the header would never move on.
  for (UINT8 Length : {0, 1, 3})
    EXPECT_FALSE(PciNodeOf(PathOf({ACPI, {3, 0x12, Length, 0}, {1, 1, 6, 0, 2, 0x1F}, END}), &Node)) << +Length;
  // A PCI node too short for its function and device.
  EXPECT_FALSE(PciNodeOf(PathOf({{1, 1, 4, 0}, {1, 1, 6, 0, 2, 0x1F}, END}), &Node));
  EXPECT_FALSE(PciNodeOf(PathOf({{1, 1, 5, 0, 2}, {1, 1, 6, 0, 2, 0x1F}, END}), &Node));
  // A path that never ends is walked no further than the node limit.
  std::vector<UINT8> Long;
  for (UINTN I = 0; I < DEVICE_PATH_NODE_LIMIT; ++I) Long.insert(Long.end(), {3, 0x12, 4, 0});
  std::vector<UINT8> Beyond = PathOf({Long, {1, 1, 6, 0, 2, 0x1F}, END});
  EXPECT_FALSE(PciNodeOf(Beyond, &Node));
  Long.resize(Long.size() - 4);
  EXPECT_TRUE(PciNodeOf(PathOf({Long, {1, 1, 6, 0, 2, 0x1F}, END}), &Node));
}

// ---- The page on a machine ----------------------------------------------------

std::u16string Wide(const std::string& Text) { return std::u16string(Text.begin(), Text.end()); }
std::u16string DriveLine(const std::string& Model, const std::string& Tail) {
  return Wide(Model + std::string(40 - Model.size(), ' ') + Tail);
}

constexpr UINT16 DRIVE_TEXT[6] = {0x0249, 0x024B, 0x024D, 0x024F, 0x0251, 0x0253};
constexpr UINT16 STATUS_TEXT[6] = {0x026D, 0x026E, 0x026F, 0x0270, 0x0271, 0x0272};

sim::SataDriveProfile Drive(const std::string& Model, UINT32 Channel, UINT32 Device = 0, UINT8 Function = 2) {
  sim::SataDriveProfile D;
  D.Model = Model;
  D.Sectors28 = 0x0FFFFFFF;
  D.Sectors48 = 976773168;
  D.Channel = Channel;
  D.Device = Device;
  D.PciFunction = Function;
  return D;
}

class SouthBridgePage : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    Hub = std::make_unique<sim::SouthBridgePeer>(M().Profile().SouthBridge);
  }

  void InstallHub() {
    ASSERT_EQ(Hub->InstallVersion(BS()), EFI_SUCCESS);
    ASSERT_EQ(Hub->WritePlatformData(RT()), EFI_SUCCESS);
  }
  void InstallBoardDrives() {
    for (const auto& D : M().Profile().SataDrives) AddDrive(D);
  }
  sim::SataDrivePeer& AddDrive(const sim::SataDriveProfile& Profile, bool Install = true) {
    Drives.push_back(std::make_unique<sim::SataDrivePeer>(Profile));
    if (Install) EXPECT_EQ(Drives.back()->Install(BS()), EFI_SUCCESS);
    return *Drives.back();
  }
  void SetSataMode(UINT8 Function, UINT16 Value) { M().Board().PciWrite(0, 31, Function, 0x90, &Value, 2); }
  void SetDeviceId(UINT16 Id) { M().Board().PciWrite(0, 31, 0, 0x02, &Id, 2); }
  void PutPlatformData(std::vector<UINT8> Bytes) {
    M().Variables().Put(u"SbPlatformData", SETUP_VARIABLE_GUID, 0x6, std::move(Bytes));
  }

  std::u16string Page(UINT16 Id, const char* Language = "en-US") {
    return HiiText(FormSetHandle(0x4), Id, Language);
  }
  std::vector<std::u16string> DriveTexts() {
    std::vector<std::u16string> Out;
    for (UINT16 Id : DRIVE_TEXT) Out.push_back(Page(Id));
    return Out;
  }
  // Marks every port line so that a later run shows which it set.
  void MarkPortLines() {
    for (int I = 0; I < 6; ++I) {
      SetHiiText(FormSetHandle(0x4), DRIVE_TEXT[I], "en-US", u"-");
      SetHiiText(FormSetHandle(0x4), STATUS_TEXT[I], "en-US", u"-");
    }
  }
  size_t LinesSet() {
    size_t N = 0;
    for (int I = 0; I < 6; ++I) N += Page(DRIVE_TEXT[I]) != u"-";
    return N;
  }

  std::unique_ptr<sim::SouthBridgePeer> Hub;
  std::vector<std::unique_ptr<sim::SataDrivePeer>> Drives;
};

TEST_F(SouthBridgePage, DefaultBoardShowsItsHubAndDrives) {
  InstallHub();
  InstallBoardDrives();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0205), u"Z87");
  EXPECT_EQ(Page(0x0208), u"04/C1");
  EXPECT_EQ(Page(0x0202), u"9.4.0.16");

  EXPECT_EQ(Page(0x0249), DriveLine("Q7730 SSD 500GB", " (500.1GB)"));
  EXPECT_EQ(Page(0x026D), u"SUPPORTED");
  EXPECT_EQ(Page(0x024B), DriveLine("Q7730 HDD 2TB 4Kn", " (2000.3GB)"));
  EXPECT_EQ(Page(0x026E), u"NOT SUPPORTED");
  EXPECT_EQ(Page(0x0251), DriveLine("Q7730 DVD-RW", " ATAPI"));
  EXPECT_EQ(Page(0x0271), u"  N/A  ");
  for (UINT16 Id : {0x024D, 0x024F, 0x0253}) EXPECT_EQ(Page(Id), u"Not Present") << std::hex << Id;
  for (UINT16 Id : {0x026F, 0x0270, 0x0272}) EXPECT_EQ(Page(Id), u"N/A") << std::hex << Id;
  // Set in the current language only.
  EXPECT_EQ(Page(0x0205, "de-DE"), u"Unbekannt");
  EXPECT_EQ(Page(0x0249, "de-DE"), u"Nicht vorhanden");
}

TEST_F(SouthBridgePage, LowPowerSeriesHasItsOwnSteppings) {
  SetDeviceId(0x9CC3);
  InstallHub();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0205), u"Premium SKU(BDW-U)");
  EXPECT_EQ(Page(0x0208), u"04/B2");
}

TEST_F(SouthBridgePage, WithoutTheHubsDataThePackageTextsStay) {
  SetDeviceId(0x2918);  // not in the table
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0205), u"Unknown");
  EXPECT_EQ(Page(0x0202), u"N/A");
  EXPECT_EQ(Page(0x0208), u"Unknown");
  for (UINT16 Id : DRIVE_TEXT) EXPECT_EQ(Page(Id), u"Not Present");
}

TEST_F(SouthBridgePage, PlatformDataSizeDecidesWhetherTheRevisionIsRead) {
  InstallHub();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  struct Case {
    std::optional<size_t> Size;
    const char16_t* Stepping;
  } Cases[] = {
      {std::nullopt, u"Unknown"}, {0, u"Unknown"},  {1, u"Unknown"},     {3, u"Unknown"},
      {4, u"05/C2"},              {8, u"05/C2"},    {9, u"Unknown"},     {65536, u"Unknown"},
  };
  for (const Case& C : Cases) {
    M().Variables().Erase(u"SbPlatformData", SETUP_VARIABLE_GUID);
    // Every byte is 5: wherever byte 3 is read, the stepping shows it.
    if (C.Size) {
      std::vector<UINT8> Bytes(*C.Size, 5);
      PutPlatformData(Bytes);
    }
    SetHiiText(FormSetHandle(0x4), 0x0208, "en-US", u"-");
    InitSouthBridgePage(FormSetHandle(0x4), 0x4);
    EXPECT_EQ(Page(0x0208), C.Stepping) << (C.Size ? std::to_string(*C.Size) : "absent");
  }
}

TEST_F(SouthBridgePage, EveryFormSetGetsTheHubStringsOnlyClassFourTheDrives) {
  InstallHub();
  InstallBoardDrives();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  // Nine form sets, one Disk Info walk.
  for (auto& D : Drives) EXPECT_EQ(D->IdentifyCalls, 1u);
  for (UINT16 Class : {0x1, 0x2, 0x8, 0x10, 0x30, 0x40, 0x100}) {
    EXPECT_EQ(HiiText(FormSetHandle(Class), 0x0205), u"Z87") << std::hex << Class;
    EXPECT_EQ(HiiText(FormSetHandle(Class), 0x0208), u"04/C1") << std::hex << Class;
    EXPECT_EQ(HiiText(FormSetHandle(Class), 0x0202), u"9.4.0.16") << std::hex << Class;
    EXPECT_EQ(HiiText(FormSetHandle(Class), 0x0249), u"<none>") << std::hex << Class;
  }
}

sim::SataDriveProfile IdeDrive(const std::string& Model, UINT32 Channel, UINT32 Device, UINT8 Function = 2) {
  sim::SataDriveProfile D = Drive(Model, Channel, Device, Function);
  D.IdeInterface = true;
  return D;
}

TEST_F(SouthBridgePage, IdeModeMapsChannelAndDevice) {
  SetSataMode(2, 0x0000);
  AddDrive(IdeDrive("A", 0, 1));     // index 2
  AddDrive(IdeDrive("B", 1, 0));     // index 1
  AddDrive(IdeDrive("C", 1, 1));     // index 3
  AddDrive(IdeDrive("D", 0, 0, 5));  // index 4
  AddDrive(IdeDrive("E", 0, 1, 5));  // index 6: no string
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const std::u16string Tail = Wide(std::string(39, ' ') + " (500.1GB)");
  EXPECT_EQ(DriveTexts(), (std::vector<std::u16string>{u"Not Present", u"B" + Tail, u"A" + Tail, u"C" + Tail,
                                                       u"D" + Tail, u"Not Present"}));
}

TEST_F(SouthBridgePage, ModeRegisterOfFunctionFiveStandsInForAMissingFunctionTwo) {
  M().Board().RemovePciFunction(0, 31, 2);
  M().Board().AddPciFunction(0, 31, 5);
  SetSataMode(5, 0x0000);
  AddDrive(Drive("A", 0, 1));  // IDE mode: index 2, port-number mode: index 0
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x024D), DriveLine("A", " (500.1GB)"));
  EXPECT_EQ(Page(0x0249), u"Not Present");
}

TEST_F(SouthBridgePage, LowPowerSeriesReadsOnlyFunctionTwo) {
  SetDeviceId(0x9C43);
  M().Board().RemovePciFunction(0, 31, 2);
  M().Board().AddPciFunction(0, 31, 5);
  SetSataMode(5, 0x0000);
  AddDrive(Drive("A", 0, 1));  // all ones from function 2: port-number mode
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0249), DriveLine("A", " (500.1GB)"));
  EXPECT_EQ(Page(0x024D), u"Not Present");
}

TEST_F(SouthBridgePage, TwoDrivesKeepTheirOwnSectorSizes) {
  sim::SataDriveProfile Big = Drive("4K", 0);
  Big.Sectors48 = 488378646;
  Big.LogicalSectorBytes = 4096;
  AddDrive(Big);
  AddDrive(Drive("512", 1));
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0249), DriveLine("4K", " (2000.3GB)"));
  EXPECT_EQ(Page(0x024B), DriveLine("512", " (500.1GB)"));
}

TEST_F(SouthBridgePage, DrivesWhoseDiskInfoFailsAreSkipped) {
  sim::SataDrivePeer& NoPort = AddDrive(Drive("NoPort", 0));
  NoPort.WhichIdeStatus = EFI_DEVICE_ERROR;
  sim::SataDrivePeer& NoIdentify = AddDrive(Drive("NoIdentify", 1));
  NoIdentify.IdentifyStatus = EFI_DEVICE_ERROR;
  sim::SataDrivePeer& Short = AddDrive(Drive("Short", 2));
  Short.IdentifyAnswerSize = 256;
  AddDrive(Drive("Good", 3));
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(DriveTexts(), (std::vector<std::u16string>{u"Not Present", u"Not Present", u"Not Present",
                                                       DriveLine("Good", " (500.1GB)"), u"Not Present",
                                                       u"Not Present"}));
  EXPECT_EQ(Page(0x026D), u"N/A");
  // Without a port there is nothing to identify.
  EXPECT_EQ(NoPort.IdentifyCalls, 0u);
  EXPECT_EQ(NoIdentify.WhichIdeCalls, 1u);
}

TEST_F(SouthBridgePage, PortsPastTheTableShowNothing) {
  for (UINT32 Channel : {6u, 7u, 8u, 0x10000u, 0xFFFFFFFFu}) AddDrive(Drive("Far", Channel));
  AddDrive(Drive("Near", 5));
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0253), DriveLine("Near", " (500.1GB)"));
  for (int I = 0; I < 5; ++I) EXPECT_EQ(Page(DRIVE_TEXT[I]), u"Not Present");
  for (int I = 2; I < 5; ++I) EXPECT_EQ(Drives[I]->IdentifyCalls, 0u) << I;
}

TEST_F(SouthBridgePage, DrivesWithoutAUsablePciNodeAreSkipped) {
  sim::SataDriveProfile NoPci = Drive("NoPci", 0);
  NoPci.DevicePath = PathOf({ACPI, {3, 0x12, 10, 0, 0, 0, 0xFF, 0xFF, 0, 0}, END});
  sim::SataDriveProfile Stalled = Drive("Stalled", 1);
  Stalled.DevicePath = PathOf({ACPI, {3, 0x12, 0, 0}, {1, 1, 6, 0, 2, 0x1F}, END});
  sim::SataDriveProfile Cut = Drive("Cut", 2);
  Cut.DevicePath = PathOf({ACPI, {1, 1, 5, 0, 2}, END});
  sim::SataDriveProfile Other = Drive("Other", 3);
  Other.PciFunction = 0;  // another controller's drive
  for (auto* P : {&NoPci, &Stalled, &Cut, &Other}) AddDrive(*P);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  for (UINT16 Id : DRIVE_TEXT) EXPECT_EQ(Page(Id), u"Not Present");
  for (auto& D : Drives) EXPECT_EQ(D->WhichIdeCalls, 0u);
}

TEST_F(SouthBridgePage, ADiskInfoHandleWithoutADevicePathIsSkipped) {
  sim::SataDrivePeer& Lone = AddDrive(Drive("Lone", 0), false);
  EFI_HANDLE Handle = nullptr;
  ASSERT_EQ(BS()->InstallProtocolInterface(&Handle, &EFI_DISK_INFO_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                           Lone.DiskInfo()),
            EFI_SUCCESS);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0249), u"Not Present");
  EXPECT_EQ(Lone.WhichIdeCalls, 0u);
}

TEST_F(SouthBridgePage, ProtocolArrivingLateIsFoundOnTheNextRun) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(0x0202), u"N/A");
  InstallHub();
  InitSouthBridgePage(FormSetHandle(0x4), 0x4);
  EXPECT_EQ(Page(0x0202), u"9.4.0.16");
}

TEST_F(SouthBridgePage, EachAllocationMayFailWithoutLeaksOrPartialLines) {
  InstallBoardDrives();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const size_t Before = M().Pool().AllocationCount();
  MarkPortLines();
  InitSouthBridgePage(FormSetHandle(0x4), 0x4);
  const size_t Attempts = M().Pool().AllocationCount() - Before;
  // Two text buffers, the handle buffer and one IDENTIFY buffer per drive.
  ASSERT_EQ(Attempts, 3 + Drives.size());
  ASSERT_EQ(LinesSet(), Drives.size());

  for (size_t N = 0; N < Attempts; ++N) {
    MarkPortLines();
    const size_t Live = M().Pool().LiveAllocationCount();
    M().Pool().FailAllocationAfter(N);
    InitSouthBridgePage(FormSetHandle(0x4), 0x4);
    M().Pool().ClearFailure();
    EXPECT_EQ(M().Pool().LiveAllocationCount(), Live) << N;
    // Before the walk nothing can be shown; in it, only the failed drive is missing.
    EXPECT_EQ(LinesSet(), N < 3 ? 0 : Drives.size() - 1) << N;
    for (int I = 0; I < 6; ++I)
      EXPECT_EQ(Page(DRIVE_TEXT[I]) == u"-", Page(STATUS_TEXT[I]) == u"-") << "port " << I << " after " << N;
  }
}

}  // namespace
}  // namespace setupinfo_test
