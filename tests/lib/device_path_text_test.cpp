#include "lib/device_path_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/lib/fake_firmware.h"

namespace {

// Builds a device path byte by byte; nodes may carry any Length.
class PathBuilder {
 public:
  PathBuilder& Node(UINT8 Type, UINT8 SubType, std::vector<UINT8> Data = {}) {
    return Raw(Type, SubType, (UINT16)(4 + Data.size()), Data);
  }
  PathBuilder& Raw(UINT8 Type, UINT8 SubType, UINT16 Length, const std::vector<UINT8>& Data = {}) {
    Starts.push_back(Bytes.size());
    Bytes.insert(Bytes.end(), {Type, SubType, (UINT8)Length, (UINT8)(Length >> 8)});
    Bytes.insert(Bytes.end(), Data.begin(), Data.end());
    return *this;
  }
  PathBuilder& Pci(UINT8 Device, UINT8 Function) { return Node(1, 1, {Function, Device}); }
  PathBuilder& Usb(UINT8 Port, UINT8 Interface) { return Node(3, 5, {Port, Interface}); }
  PathBuilder& FilePath(const std::u16string& Path, bool Terminate = true) {
    std::vector<UINT8> Data;
    for (CHAR16 c : Path) Data.insert(Data.end(), {(UINT8)c, (UINT8)(c >> 8)});
    if (Terminate) Data.insert(Data.end(), {0, 0});
    return Node(4, 4, Data);
  }
  PathBuilder& EndInstance() { return Node(0x7F, 0x01); }
  PathBuilder& End() { return Node(0x7F, 0xFF); }

  const EFI_DEVICE_PATH_PROTOCOL* Path() const { return (const EFI_DEVICE_PATH_PROTOCOL*)Bytes.data(); }
  const EFI_DEVICE_PATH_PROTOCOL* At(size_t Index) const {
    return (const EFI_DEVICE_PATH_PROTOCOL*)(Bytes.data() + Starts[Index]);
  }
  std::vector<UINT8> Bytes;
  std::vector<size_t> Starts;
};

std::vector<UINT8> Le16(UINT16 v) { return {(UINT8)v, (UINT8)(v >> 8)}; }
std::vector<UINT8> Le32(UINT32 v) { return {(UINT8)v, (UINT8)(v >> 8), (UINT8)(v >> 16), (UINT8)(v >> 24)}; }
std::vector<UINT8> Cat(std::vector<UINT8> a, const std::vector<UINT8>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const std::vector<UINT8> GUID_BYTES = {0x43, 0xD6, 0x87, 0xEC, 0xA4, 0xEB, 0xB5, 0x4B,
                                       0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9};
const char* GUID_TEXT = "ec87d643-eba4-4bb5-a1e5-3f3e36b20da9";

class DevicePathTextTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(Fw.Live.empty()) << Fw.Live.size() << " pool buffers left";
    EXPECT_EQ(Fw.BadFrees, 0u);
  }

  // Describes the path; the text buffer goes back to the pool at once.
  std::string Describe(const PathBuilder& P, EFI_STATUS Expected = EFI_SUCCESS) {
    CHAR8* Text = nullptr;
    EFI_STATUS Status = DescribeDevicePath(P.Path(), &Text);
    EXPECT_EQ(Status, Expected);
    if (Text == nullptr) return "<none>";
    std::string Out(Text);
    EXPECT_EQ(Fw.Live.at(Text), Out.size() + 1) << "buffer is exactly text plus NUL";
    FreeBootPool(Text);
    return Out;
  }
  FakeFirmware Fw;
};

// ---- Node texts ---------------------------------------------------------

TEST_F(DevicePathTextTest, PciThenEnd) {
  EXPECT_EQ(Describe(PathBuilder().Pci(0x1F, 2).End()), "PCI(1F|2)\\");
}

TEST_F(DevicePathTextTest, UsbNode) { EXPECT_EQ(Describe(PathBuilder().Usb(3, 0).End()), "USB(3,0)\\"); }

TEST_F(DevicePathTextTest, EndOfInstanceAddsNothingAndTheWalkGoesOn) {
  EXPECT_EQ(Describe(PathBuilder().Pci(0x1F, 2).EndInstance().Usb(3, 0).End()), "PCI(1F|2)\\USB(3,0)\\");
}

TEST_F(DevicePathTextTest, UnknownSubtypesAndTypesAreGeneric) {
  EXPECT_EQ(Describe(PathBuilder().Node(3, 11, {0, 0}).End()), "DevicePath(Type 3, SubType 11)");
  EXPECT_EQ(Describe(PathBuilder().Node(1, 3).Node(5, 1, {1, 2, 3}).End()),
            "DevicePath(Type 1, SubType 3)DevicePath(Type 5, SubType 1)");
  EXPECT_EQ(Describe(PathBuilder().Node(0x20, 0x99).End()), "DevicePath(Type 32, SubType 153)");
}

TEST_F(DevicePathTextTest, SpelledOutNodes) {
  struct Case {
    UINT8 Type, SubType;
    std::vector<UINT8> Data;
    std::string Text;
  };
  const Case Cases[] = {
      {1, 2, {7}, "Pccard(Socket 7)\\"},
      {1, 4, GUID_BYTES, "VenHw(" + std::string(GUID_TEXT) + ")\\"},
      {2, 1, Cat(Le32(0x0A0341D0), Le32(0)), "Acpi(a0341d0, 0)\\"},
      {3, 1, Cat({0, 1}, Le16(5)), "ATA(Master, 5)\\"},
      {3, 1, Cat({1, 0}, Le16(0)), "ATA(Slave, 0)\\"},
      {3, 1, Cat({2, 0}, Le16(0)), "DevicePath(Type 3, SubType 1)"},
      {3, 2, Cat(Le16(6), Le16(300)), "SCSI(6, 300)\\"},
      {3, 5, {0x0A, 0x01}, "USB(a,1)\\"},
      {3, 10, GUID_BYTES, "VenMsg(" + std::string(GUID_TEXT) + ")\\"},
      {4, 1, Cat(Le32(2), std::vector<UINT8>(34, 0xEE)), "HD(Part2, Sig ?)\\"},
      {4, 2, Cat(Le32(1), std::vector<UINT8>(16, 0)), "CDROM(Entry1)\\"},
      {4, 3, GUID_BYTES, "VenMedia(" + std::string(GUID_TEXT) + ")\\"},
      {0xFF, 0x01, {}, "|"},
      {0x7F, 0x05, {}, ""},
  };
  for (const Case& c : Cases) {
    EXPECT_EQ(Describe(PathBuilder().Node(c.Type, c.SubType, c.Data).End()), c.Text)
        << "type " << (int)c.Type << " subtype " << (int)c.SubType;
  }
}

TEST_F(DevicePathTextTest, AllOnesEndNodeWritesItsBar) {
  EXPECT_EQ(Describe(PathBuilder().Pci(2, 0).Node(0xFF, 0xFF)), "PCI(2|0)\\|");
}

TEST_F(DevicePathTextTest, GuidNodeAtOddAddressIsRead) {
  // One leading 0xFF/0x01 node of 5 bytes puts the vendor GUID off alignment.
  EXPECT_EQ(Describe(PathBuilder().Node(0xFF, 0x01, {0}).Node(1, 4, GUID_BYTES).End()),
            "|VenHw(" + std::string(GUID_TEXT) + ")\\");
}

TEST_F(DevicePathTextTest, FilePathShowsThePath) {
  EXPECT_EQ(Describe(PathBuilder().Pci(0x1F, 2).FilePath(u"\\EFI\\Keys\\db.auth").End()),
            "PCI(1F|2)\\\\EFI\\Keys\\db.auth\\");
  // Characters outside printable ASCII are shown as '?'.
  EXPECT_EQ(Describe(PathBuilder().FilePath(u"a\u00E9\u4E2D\tb").End()), "a???b\\");
  // An empty path has nothing to show.
  EXPECT_EQ(Describe(PathBuilder().FilePath(u"").End()), "DevicePath(Type 4, SubType 4)");
  EXPECT_EQ(Describe(PathBuilder().Node(4, 4).End()), "DevicePath(Type 4, SubType 4)");
}

TEST_F(DevicePathTextTest, FilePathWithoutNulStopsAtNodeEnd) {
  // Odd data length: the half character is not read.
  PathBuilder P;
  P.FilePath(u"abc", false);
  P.Bytes.push_back('X');
  P.Bytes[2] = 4 + 6 + 1;
  P.End();
  EXPECT_EQ(Describe(P), "abc\\");
}

// ---- Hostile paths ------------------------------------------------------

TEST_F(DevicePathTextTest, NodesTooShortForTheirFieldsAreGeneric) {
  // Each node claims only its header; its fields would lie in the next node.
  const std::pair<int, int> SpelledOut[] = {{1, 1}, {1, 2}, {1, 4}, {2, 1}, {3, 1}, {3, 2},
                                             {3, 5}, {3, 10}, {4, 1}, {4, 2}, {4, 3}};
  for (auto [Type, SubType] : SpelledOut) {
    std::string Expected =
        "DevicePath(Type " + std::to_string(Type) + ", SubType " + std::to_string(SubType) + ")";
    EXPECT_EQ(Describe(PathBuilder().Raw(Type, SubType, 4).Node(0x7F, 0xFF, std::vector<UINT8>(16, 1))), Expected);
  }
  // One byte short of the fields: still generic.
  EXPECT_EQ(Describe(PathBuilder().Raw(1, 1, 5, {2}).End()), "DevicePath(Type 1, SubType 1)");
  EXPECT_EQ(Describe(PathBuilder().Raw(1, 4, 19, std::vector<UINT8>(15, 0)).End()), "DevicePath(Type 1, SubType 4)");
}

TEST_F(DevicePathTextTest, LengthBelowHeaderIsRefusedWithoutAllocating) {
  for (UINT16 Length : {0, 1, 3}) {
    PathBuilder P;
    P.Pci(1, 0).Raw(3, 5, Length).Usb(1, 1).End();
    CHAR8 Sentinel = 0;
    CHAR8* Text = &Sentinel;
    EXPECT_EQ(DescribeDevicePath(P.Path(), &Text), EFI_INVALID_PARAMETER) << Length;
    EXPECT_EQ(Text, &Sentinel);
  }
  EXPECT_EQ(Fw.Allocations, 0u);
}

TEST_F(DevicePathTextTest, EndNodeNeedNotCarryAValidLength) {
  EXPECT_EQ(Describe(PathBuilder().Usb(1, 2).Raw(0x7F, 0xFF, 0)), "USB(1,2)\\");
}

TEST_F(DevicePathTextTest, LongTextIsCutAt511Characters) {
  PathBuilder P;
  std::string Full;
  for (int i = 0; i < 60; ++i) {
    P.Pci(0x1F, 2);
    Full += "PCI(1F|2)\\";
  }
  P.End();
  std::string Text = Describe(P);
  EXPECT_EQ(Text.size(), 511u);
  EXPECT_EQ(Text, Full.substr(0, 511));
}

TEST_F(DevicePathTextTest, TextOfExactly511CharactersIsWhole) {
  // 51 nodes of 10 characters and one bar: 511.
  PathBuilder P;
  std::string Full;
  for (int i = 0; i < 51; ++i) {
    P.Pci(0x1F, 2);
    Full += "PCI(1F|2)\\";
  }
  P.Node(0xFF, 0xFF);
  Full += "|";
  EXPECT_EQ(Describe(P), Full);
}

TEST_F(DevicePathTextTest, WalkStopsOnceTheAreaIsFull) {
  // A malformed node after the cut is never reached.
  PathBuilder P;
  for (int i = 0; i < 60; ++i) P.Pci(0x1F, 2);
  P.Raw(1, 1, 0);
  EXPECT_EQ(Describe(P).size(), 511u);
}

TEST_F(DevicePathTextTest, AllocationFailureIsOutOfResources) {
  PathBuilder P;
  P.Pci(0x1F, 2).End();
  CHAR8 Sentinel = 0;
  CHAR8* Text = &Sentinel;
  Fw.FailNthAllocationFromNow(1);
  EXPECT_EQ(DescribeDevicePath(P.Path(), &Text), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Text, &Sentinel);
}

TEST_F(DevicePathTextTest, NullArgumentsAreInvalid) {
  PathBuilder P;
  P.End();
  CHAR8* Text = nullptr;
  EXPECT_EQ(DescribeDevicePath(nullptr, &Text), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DescribeDevicePath(P.Path(), nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Text, nullptr);
}

TEST_F(DevicePathTextTest, OnlyAnEndNodeGivesAnEmptyText) {
  EXPECT_EQ(Describe(PathBuilder().End()), "");
}

// ---- Walkers ------------------------------------------------------------

TEST(DevicePathLength, SumsNodesAndEndNode) {
  EXPECT_EQ(DevicePathLength(nullptr), 0u);
  EXPECT_EQ(DevicePathLength(PathBuilder().End().Path()), 4u);
  EXPECT_EQ(DevicePathLength(PathBuilder().Pci(1, 0).Usb(2, 0).End().Path()), 16u);
  // Instances after an end-of-instance node count too.
  EXPECT_EQ(DevicePathLength(PathBuilder().Pci(1, 0).EndInstance().Usb(2, 0).End().Path()), 20u);
  // The end node counts as 4 whatever its Length says.
  EXPECT_EQ(DevicePathLength(PathBuilder().Pci(1, 0).Raw(0x7F, 0xFF, 40).Path()), 10u);
}

TEST(DevicePathLength, TypeZeroOrShortNodeEndsTheSumEarly) {
  EXPECT_EQ(DevicePathLength(PathBuilder().Pci(1, 0).Node(0, 1, {1, 2}).End().Path()), 6u);
  for (UINT16 Length : {0, 2, 3}) {
    EXPECT_EQ(DevicePathLength(PathBuilder().Pci(1, 0).Usb(2, 0).Raw(3, 5, Length).End().Path()), 12u) << Length;
  }
}

TEST(LastDevicePathNode, ReturnsTheNodeBeforeTheEnd) {
  PathBuilder P;
  P.Pci(1, 0).Usb(2, 0).FilePath(u"x").End();
  EXPECT_EQ(LastDevicePathNode(P.Path()), P.At(2));

  PathBuilder Q;
  Q.Pci(1, 0).EndInstance().Usb(2, 0).End();
  EXPECT_EQ(LastDevicePathNode(Q.Path()), Q.At(0)) << "stops at any end-type node";

  PathBuilder R;
  R.Pci(1, 0).Node(0xFF, 0x01).Usb(2, 0).End();
  EXPECT_EQ(LastDevicePathNode(R.Path()), R.At(0));
}

TEST(LastDevicePathNode, NullForEmptyNullOrMalformedPath) {
  EXPECT_EQ(LastDevicePathNode(nullptr), nullptr);
  EXPECT_EQ(LastDevicePathNode(PathBuilder().End().Path()), nullptr);
  EXPECT_EQ(LastDevicePathNode(PathBuilder().Pci(1, 0).Raw(3, 5, 0).End().Path()), nullptr);
  EXPECT_EQ(LastDevicePathNode(PathBuilder().Raw(1, 1, 2).End().Path()), nullptr);
}

}  // namespace
