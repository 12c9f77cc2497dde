// The USB section of the Advanced page: the version, the summary line by
// kind and count, the mass-storage names and how far the driver's answers
// are followed, UsbMassDevNum, and what a missing, failing or hostile USB
// driver cannot make the page do.
#include <memory>
#include <string>
#include <vector>

#include "platform/usb_support.h"
#include "setupinfo/pages/devices/usb_devices.h"
#include "setupinfo_fixture.h"
#include "sim/peers/usb_peers.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 ADVANCED = 0x4;
const std::u16string MARK = u"-";

sim::UsbMassDeviceProfile Device(const std::string& Name, bool Unterminated = false) {
  sim::UsbMassDeviceProfile D;
  D.Name = Name;
  D.Unterminated = Unterminated;
  return D;
}

// Keyboards, mice, points, drives, hubs, smart card readers.
std::array<uint8_t, 6> Counts(uint8_t Keyboards, uint8_t Mice, uint8_t Points, uint8_t Drives, uint8_t Hubs,
                              uint8_t Readers) {
  return {Keyboards, Mice, Points, Drives, Hubs, Readers};
}

class UsbDevices : public SetupInfoTest {
 protected:
  sim::UsbSupportPeer& Install(const sim::UsbProfile& Profile, bool Protocol = true) {
    Peer = std::make_unique<sim::UsbSupportPeer>(Profile);
    EXPECT_EQ(Peer->WriteMassDevNum(RT()), EFI_SUCCESS);
    if (Protocol) EXPECT_EQ(Peer->Install(BS()), EFI_SUCCESS);
    return *Peer;
  }
  void Load() {
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    Handle = FormSetHandle(ADVANCED);
    ASSERT_NE(Handle, nullptr);
  }
  // Marks every string, forgets the peer's calls and runs the page again.
  void Rerun(UINT16 Class = ADVANCED) {
    SetHiiText(Handle, STR_USB_SUPPORT_VERSION, "en-US", MARK);
    SetHiiText(Handle, STR_USB_DEVICE_SUMMARY, "en-US", MARK);
    for (UINT16 n = 0; n < USB_MASS_DEVICE_ROWS; ++n) SetHiiText(Handle, Name(n), "en-US", MARK);
    if (Peer) {
      Peer->CountCalls = 0;
      Peer->NameCalls.clear();
    }
    M().Variables().ClearSetLog();
    InitUsbDevicePage(Handle, Class);
  }
  std::u16string Summary() { return HiiText(Handle, STR_USB_DEVICE_SUMMARY); }
  std::u16string Version() { return HiiText(Handle, STR_USB_SUPPORT_VERSION); }
  std::u16string Row(UINT16 n) { return HiiText(Handle, Name(n)); }
  static UINT16 Name(UINT16 n) { return (UINT16)(STR_USB_MASS_DEVICE_FIRST + n); }
  // How many name rows the last run set.
  size_t RowsSet() {
    size_t Set = 0;
    for (UINT16 n = 0; n < USB_MASS_DEVICE_ROWS; ++n) Set += Row(n) != MARK;
    return Set;
  }
  std::string MassDevNum() { return SetupGuidVariable(USB_MASS_DEV_NUM_NAME); }
  void PutMassDevNum(const std::string& Bytes, UINT32 Attributes = USB_MASS_DEV_NUM_ATTRIBUTES) {
    PutVariable(USB_MASS_DEV_NUM_NAME, SETUP_VARIABLE_GUID, Bytes, Attributes);
  }
  std::u16string SummaryFor(const std::array<uint8_t, 6>& C) {
    Peer->Profile().Counts = C;
    Rerun();
    return Summary();
  }

  std::unique_ptr<sim::UsbSupportPeer> Peer;
  EFI_HII_HANDLE Handle = nullptr;
};

TEST_F(UsbDevices, DefaultBoardShowsItsDevicesAndClearsByte1) {
  ASSERT_TRUE(sim::DefaultBoardProfile().Usb.has_value());
  Install(*sim::DefaultBoardProfile().Usb);
  Load();
  EXPECT_EQ(Version(), u"8.10.29");
  EXPECT_EQ(Summary(), u"      2 Drives, 1 Keyboard, 1 Mouse");
  EXPECT_EQ(Row(0), u"Flash Drive 32GB");
  EXPECT_EQ(Row(1), u"Portable HDD 1TB");
  EXPECT_EQ(Row(2), u"");  // the package's own text
  // Byte 0 stays the driver's; written back volatile, as long as it was.
  EXPECT_EQ(MassDevNum(), std::string("\x02\x00", 2));
  EXPECT_EQ(M().Variables().Find(USB_MASS_DEV_NUM_NAME, SETUP_VARIABLE_GUID)->Attributes, 0x6u);
  ASSERT_EQ(Peer->NameCalls.size(), 2u);
  EXPECT_EQ(Peer->NameCalls[0].Index, 0);
  EXPECT_EQ(Peer->NameCalls[1].Index, 1);
  EXPECT_EQ(Peer->NameCalls[1].Size, USB_MASS_NAME_BYTES);

  // Other form sets: nothing asked, nothing set, nothing written.
  for (UINT16 Class : {0x1, 0x2, 0x8, 0x10, 0x20, 0x30, 0x40, 0x100}) {
    Rerun(Class);
    EXPECT_EQ(Version(), MARK) << Class;
    EXPECT_EQ(Peer->CountCalls, 0u) << Class;
    EXPECT_TRUE(WrittenNames().empty()) << Class;
  }
}

TEST_F(UsbDevices, SummaryListsKindsInItsOrderWithTheirWords) {
  Install(*sim::DefaultBoardProfile().Usb);
  Load();
  EXPECT_EQ(SummaryFor(Counts(1, 2, 0, 3, 0, 0)), u"      3 Drives, 1 Keyboard, 2 Mice");
  EXPECT_EQ(SummaryFor(Counts(0, 1, 0, 0, 0, 0)), u"      1 Mouse");
  EXPECT_EQ(SummaryFor(Counts(0, 0, 0, 0, 0, 0)), u"      None");
  EXPECT_EQ(SummaryFor(Counts(2, 0, 3, 1, 2, 1)), u"      1 Drive, 2 Keyboards, 3 Points, 2 Hubs, 1 SmartCard Reader");
  // From 127 on a count is not listed, except for smart card readers.
  EXPECT_EQ(SummaryFor(Counts(0, 0, 0, 127, 0, 0)), u"      None");
  EXPECT_EQ(SummaryFor(Counts(200, 255, 127, 126, 128, 0)), u"      126 Drives");
  EXPECT_EQ(SummaryFor(Counts(0, 0, 0, 0, 0, 255)), u"      255 SmartCard Readers");
}

TEST_F(UsbDevices, SummaryIsCutAt79Characters) {
  Install(*sim::DefaultBoardProfile().Usb);
  Load();
  const std::u16string Full =
      u"      126 Drives, 126 Keyboards, 126 Mice, 126 Points, 126 Hubs, 255 SmartCard Readers";
  const std::u16string Line = SummaryFor(Counts(126, 126, 126, 126, 126, 255));
  EXPECT_EQ(Line, Full.substr(0, 79));

  // A line of exactly 79 characters is whole; the builder reports its length.
  CHAR16 Text[USB_SUMMARY_CHARS];
  const USB_DEVICE_COUNTS Exact = {1, 1, 126, 1, 126, 200};
  const std::u16string Expected = u"      1 Drive, 1 Keyboard, 1 Mouse, 126 Points, 126 Hubs, 200 SmartCard Readers";
  ASSERT_EQ(Expected.size(), 79u);
  EXPECT_EQ(BuildUsbSummaryLine(Exact, Text), Expected.size());
  EXPECT_EQ(std::u16string((const char16_t*)Text), Expected);
  const USB_DEVICE_COUNTS Long = {126, 126, 126, 126, 126, 255};
  EXPECT_EQ(BuildUsbSummaryLine(Long, Text), 79u);
  EXPECT_EQ(Text[79], 0);
}

TEST_F(UsbDevices, NamesFollowTheAnswersUpToSixteen) {
  sim::UsbProfile P = *sim::DefaultBoardProfile().Usb;
  P.MassDevices = {Device("one"), Device("two"), Device("three"), Device("four"), Device("five")};
  P.MassDevices[2].Answer = 0x83;  // the last, though the driver knows more
  Install(P);
  Load();
  EXPECT_EQ(Row(0), u"one");
  EXPECT_EQ(Row(2), u"three");
  EXPECT_EQ(Row(3), u"");
  EXPECT_EQ(Peer->NameCalls.size(), 3u);

  // An index the answer gives is the one asked for next.
  Peer->Profile().MassDevices[0].Answer = 4;
  Peer->Profile().MassDevices[4].Answer = 2;
  Rerun();
  EXPECT_EQ(Row(0), u"one");
  EXPECT_EQ(Row(1), u"five");
  EXPECT_EQ(Row(2), u"three");
  EXPECT_EQ(RowsSet(), 3u);

  // No device at the first index: no row is touched.
  Peer->Profile().NamesFail = true;
  Rerun();
  EXPECT_EQ(RowsSet(), 0u);
  EXPECT_EQ(Peer->NameCalls.size(), 1u);

  // Twenty devices: sixteen rows, sixteen calls.
  Peer->Profile().NamesFail = false;
  Peer->Profile().MassDevices.clear();
  for (int i = 0; i < 20; ++i) Peer->Profile().MassDevices.push_back(Device("disk " + std::to_string(i)));
  Rerun();
  EXPECT_EQ(RowsSet(), 16u);
  EXPECT_EQ(Row(15), u"disk 15");
  EXPECT_EQ(Peer->NameCalls.size(), 16u);

  // A driver that keeps answering with the same index is asked sixteen times.
  Peer->Profile().MassDevices[0].Answer = 0;
  Rerun();
  EXPECT_EQ(Peer->NameCalls.size(), 16u);
  EXPECT_EQ(Row(15), u"disk 0");
}

TEST_F(UsbDevices, UnterminatedNamesAreBoundedToTheirBuffer) {
  sim::UsbProfile P = *sim::DefaultBoardProfile().Usb;
  const std::string Full(USB_MASS_NAME_BYTES, 'F');
  P.MassDevices = {Device(Full), Device(std::string(200, 'L')), Device("a much longer first name"),
                   Device("ab", true), Device("%s%s%n%x"), Device("\xB5sb")};
  Install(P);
  Load();
  // 48 bytes and no terminator: read no further (ASan sees a read past).
  EXPECT_EQ(Row(0), std::u16string(USB_MASS_NAME_BYTES, u'F'));
  EXPECT_EQ(Row(1), std::u16string(USB_MASS_NAME_BYTES, u'L'));
  EXPECT_EQ(Row(2), u"a much longer first name");
  // Short and unterminated: the zeroed buffer ends it, not the last name's tail.
  EXPECT_EQ(Row(3), u"ab");
  // Shown as it stands, never read as a format; bytes widen one by one.
  EXPECT_EQ(Row(4), u"%s%s%n%x");
  EXPECT_EQ(Row(5), u"\u00B5sb");
}

TEST_F(UsbDevices, UsbMassDevNumGatesThePageAndOnlyByte1Changes) {
  sim::UsbProfile P = *sim::DefaultBoardProfile().Usb;
  P.MassDevNum.reset();
  Install(P);
  Load();
  // Without the variable only the version is set.
  EXPECT_EQ(Version(), u"8.10.29");
  EXPECT_EQ(Summary(), u"      None");
  EXPECT_EQ(Peer->CountCalls, 0u);

  PutMassDevNum(std::string("\x07\xAA", 2));
  Rerun();
  EXPECT_EQ(MassDevNum(), std::string("\x07\x00", 2));
  EXPECT_EQ(M().Variables().Find(USB_MASS_DEV_NUM_NAME, SETUP_VARIABLE_GUID)->Attributes, 0x6u);
  EXPECT_EQ(Row(0), u"Flash Drive 32GB");

  // One byte: there is no byte 1; the byte read is written back unchanged.
  M().Variables().Erase(USB_MASS_DEV_NUM_NAME, SETUP_VARIABLE_GUID);
  PutMassDevNum(std::string("\x05", 1));
  Rerun();
  EXPECT_EQ(MassDevNum(), std::string("\x05", 1));
  EXPECT_EQ(Summary(), u"      2 Drives, 1 Keyboard, 1 Mouse");

  // Longer than two bytes: it cannot be read into two, so the page stops.
  M().Variables().Erase(USB_MASS_DEV_NUM_NAME, SETUP_VARIABLE_GUID);
  PutMassDevNum(std::string("\x03\x01\x09", 3));
  Rerun();
  EXPECT_EQ(MassDevNum(), std::string("\x03\x01\x09", 3));
  EXPECT_TRUE(WrittenNames().empty());
  EXPECT_EQ(Summary(), MARK);
  EXPECT_EQ(Version(), u"8.10.29");
}

TEST_F(UsbDevices, AMissingFailingOrLateDriverLeavesTheStrings) {
  sim::UsbProfile P = *sim::DefaultBoardProfile().Usb;
  Install(P, false);  // the variable is there, the protocol is not yet
  Load();
  EXPECT_EQ(Version(), u"8.10.29");
  EXPECT_EQ(MassDevNum(), std::string("\x02\x00", 2));
  EXPECT_EQ(Summary(), u"      None");
  EXPECT_EQ(Row(0), u"");

  // Installed late: the next run finds it.
  ASSERT_EQ(Peer->Install(BS()), EFI_SUCCESS);
  Rerun();
  EXPECT_EQ(Summary(), u"      2 Drives, 1 Keyboard, 1 Mouse");
  EXPECT_EQ(Row(1), u"Portable HDD 1TB");

  // Counts that are never filled read as none, not as what was on the stack.
  Peer->Profile().CountsFail = true;
  Rerun();
  EXPECT_EQ(Peer->CountCalls, 1u);
  EXPECT_EQ(Summary(), u"      None");
  EXPECT_EQ(Row(0), u"Flash Drive 32GB");
}

TEST_F(UsbDevices, WorksInFixedBuffersSoARefusingPoolChangesNothing) {
  Install(*sim::DefaultBoardProfile().Usb);
  Load();
  const size_t Live = M().Pool().LiveAllocationCount();
  const size_t Before = M().Pool().AllocationCount();
  Rerun();
  // The line and the name are the page's own fixed buffers: no pool buffer
  // is asked for, so none can be refused or left behind.
  EXPECT_EQ(M().Pool().AllocationCount(), Before);
  M().Pool().FailAllocationAfter(0);
  Rerun();
  M().Pool().ClearFailure();
  EXPECT_EQ(M().Pool().LiveAllocationCount(), Live);
  EXPECT_EQ(Summary(), u"      2 Drives, 1 Keyboard, 1 Mouse");
  EXPECT_EQ(Row(1), u"Portable HDD 1TB");
  EXPECT_EQ(MassDevNum(), std::string("\x02\x00", 2));
}

TEST(UsbProfile, ReadsTheSectionAndRefusesWhatCannotBe) {
  auto Parse = [](const std::string& Usb, sim::BoardProfile& B, std::string& Error) {
    return sim::ParseBoardProfile("{\"firmware\": {\"vendor\": \"V\", \"revision\": 1}, \"usb\": " + Usb + "}", "t.json", B, Error);
  };
  sim::BoardProfile B;
  std::string Error;
  ASSERT_TRUE(Parse(R"({"keyboards": 1, "mice": 2, "points": 3, "drives": 4, "hubs": 5, "smartCardReaders": 6,
                        "late": true, "countsFail": true, "namesFail": true, "massDevNum": "0201",
                        "massDevNumAttributes": 7,
                        "massDevices": [{"name": "a", "unterminated": true, "answer": "0x83"}]})",
                    B, Error))
      << Error;
  ASSERT_TRUE(B.Usb.has_value());
  EXPECT_EQ(B.Usb->Counts, Counts(1, 2, 3, 4, 5, 6));
  EXPECT_TRUE(B.Usb->Late && B.Usb->CountsFail && B.Usb->NamesFail);
  EXPECT_EQ(*B.Usb->MassDevNum, (std::vector<uint8_t>{2, 1}));
  EXPECT_EQ(B.Usb->MassDevNumAttributes, 7u);
  ASSERT_EQ(B.Usb->MassDevices.size(), 1u);
  EXPECT_TRUE(B.Usb->MassDevices[0].Unterminated);
  EXPECT_EQ(B.Usb->MassDevices[0].Answer, 0x83);

  sim::BoardProfile Other;
  EXPECT_FALSE(Parse(R"({"drives": 256})", Other, Error));
  EXPECT_FALSE(Parse(R"({"massDevNumAttributes": 4, "massDevNum": [1]})", Other, Error));
  std::string Many = "[";
  for (int i = 0; i < 128; ++i) Many += std::string(i ? "," : "") + "{\"name\": \"d\"}";
  EXPECT_FALSE(Parse("{\"massDevices\": " + Many + "]}", Other, Error));
  EXPECT_NE(Error.find("more than 127"), std::string::npos) << Error;
  EXPECT_FALSE(Other.Usb.has_value());
}

}  // namespace
}  // namespace setupinfo_test
