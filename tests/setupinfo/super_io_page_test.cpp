// Super I/O resource strings and the fixed version line, as the loader
// builds them from the Super I/O driver's handles.
#include <memory>
#include <string>

#include "setupinfo/core/form_set_table.h"
#include "setupinfo/pages/board/super_io_page.h"
#include "setupinfo_fixture.h"
#include "sim/peers/super_io_peers.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 STR_TYPE_1 = 0x0888, STR_SERIAL_0 = 0x0897, STR_SERIAL_1 = 0x0898, STR_TYPE_7 = 0x08A3,
                 STR_TYPE_12 = 0x08AF;
const std::u16string NOT_SHOWN = u"Not present";

sim::SuperIoDeviceProfile Device(UINT32 Type, UINT8 Instance, UINT16 Io, UINT8 Irq, UINT8 Dma) {
  sim::SuperIoDeviceProfile D;
  D.Type = Type;
  D.Instance = Instance;
  D.IoBase = Io;
  D.Interrupt = Irq;
  D.DmaChannel = Dma;
  return D;
}

// The board's Super I/O driver is installed before the setup driver loads,
// as the platform's dispatcher orders them.
class SuperIoPage : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    Peers = std::make_unique<sim::SuperIoPeers>(M().Profile().SuperIoDriver);
    ASSERT_EQ(Peers->Install(BS()), EFI_SUCCESS);
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  }
  std::u16string Line(UINT16 Id, const char* Language = "en-US") {
    return HiiText(FormSetHandle(FORM_SET_CLASS_HARDWARE_MONITOR), Id, Language);
  }
  std::unique_ptr<sim::SuperIoPeers> Peers;
};

TEST_F(SuperIoPage, DefaultBoardShowsEachDevicesResourcesInTheCurrentLanguage) {
  EXPECT_EQ(Line(STR_TYPE_1), u"IO=3F0h; IRQ=6; DMA=2;");
  EXPECT_EQ(Line(STR_SERIAL_0), u"IO=3F8h; IRQ=4;");
  EXPECT_EQ(Line(STR_SERIAL_1), u"IO=2F8h; IRQ=3;");
  EXPECT_EQ(Line(STR_TYPE_7), u"IO=378h; IRQ=7;");  // upper-case digits, no leading zeros, no DMA
  EXPECT_EQ(Line(STR_TYPE_12), u"IO=60h; IRQ=1;");
  EXPECT_EQ(Line(STR_SERIAL_0, "de-DE"), u"Nicht vorhanden");
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_ADVANCED), STR_FIXED_VERSION), u"V 2.05.02");
}

TEST_F(SuperIoPage, EachInitialiserActsOnlyForItsOwnClass) {
  EFI_HII_HANDLE Advanced = FormSetHandle(FORM_SET_CLASS_ADVANCED);
  EFI_HII_HANDLE Monitor = FormSetHandle(FORM_SET_CLASS_HARDWARE_MONITOR);
  SetHiiText(Advanced, STR_FIXED_VERSION, "en-US", u"old");
  SetHiiText(Monitor, STR_SERIAL_0, "en-US", u"old");
  const auto Before = Forms().Calls().SetHiiString;
  for (UINT16 Class : {FORM_SET_CLASS_MAIN, FORM_SET_CLASS_TUNING, FORM_SET_CLASS_MEMORY, FORM_SET_CLASS_EXIT}) {
    InitFixedVersionString(Advanced, Class);
    InitSuperIoResourceStrings(Monitor, Class);
  }
  InitFixedVersionString(Advanced, FORM_SET_CLASS_HARDWARE_MONITOR);
  InitSuperIoResourceStrings(Monitor, FORM_SET_CLASS_ADVANCED);
  EXPECT_EQ(Forms().Calls().SetHiiString, Before);
  InitFixedVersionString(Advanced, FORM_SET_CLASS_ADVANCED);
  InitSuperIoResourceStrings(Monitor, FORM_SET_CLASS_HARDWARE_MONITOR);
  EXPECT_EQ(HiiText(Advanced, STR_FIXED_VERSION), u"V 2.05.02");
  EXPECT_EQ(Line(STR_SERIAL_0), u"IO=3F8h; IRQ=4;");
}

TEST_F(SuperIoPage, WithoutPoolMemoryNothingIsShownAndNothingFreed) {
  EFI_HII_HANDLE Monitor = FormSetHandle(FORM_SET_CLASS_HARDWARE_MONITOR);
  SetHiiText(Monitor, STR_SERIAL_0, "en-US", u"old");
  // Count the allocations of one run, then fail each in turn: the handle
  // buffer goes back on every path, and a failed look-up frees nothing.
  const size_t Start = M().Pool().AllocationCount();
  InitSuperIoResourceStrings(Monitor, FORM_SET_CLASS_HARDWARE_MONITOR);
  const size_t Allocations = M().Pool().AllocationCount() - Start;
  ASSERT_GE(Allocations, 1u);
  const size_t Live = M().LiveAllocationCount();
  for (size_t N = 0; N < Allocations; ++N) {
    SCOPED_TRACE(N);
    SetHiiText(Monitor, STR_SERIAL_0, "en-US", u"old");
    M().Pool().FailAllocationAfter(N);
    InitSuperIoResourceStrings(Monitor, FORM_SET_CLASS_HARDWARE_MONITOR);
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    EXPECT_TRUE(M().Misuse().empty());
    if (N == 0) EXPECT_EQ(Line(STR_SERIAL_0), u"old");  // the handle buffer itself
  }
}

// Devices that are not to be shown, and a type 6 device past instance 1.
class SuperIoHiddenDevices : public SuperIoPage {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    auto& List = Profile.SuperIoDriver.Devices;
    List.clear();
    List.push_back(Device(6, 0, 0x3F8, 4, 0));
    List.push_back(Device(6, 1, 0x2F8, 3, 0));
    List.push_back(Device(6, 2, 0x3E8, 5, 0));  // no string of its own
    auto NoRecord = Device(1, 0, 0x3F0, 6, 2);
    NoRecord.Description = false;  // null description pointer
    List.push_back(NoRecord);
    auto Unusable = Device(7, 0, 0x378, 7, 3);
    Unusable.Usable = 0;
    List.push_back(Unusable);
    auto NotEnabled = Device(12, 0, 0x60, 1, 0);
    NotEnabled.Enabled = 0;
    List.push_back(NotEnabled);
    auto Inactive = Device(12, 0, 0x64, 1, 0);
    Inactive.Active = 0;  // has resources, yet not active
    List.push_back(Inactive);
    List.push_back(Device(2, 0, 0x3BC, 7, 0));  // a type without a line
  }
};

TEST_F(SuperIoHiddenDevices, OnlyDevicesWithEveryFlagAndALineAreShown) {
  EXPECT_EQ(Line(STR_SERIAL_0), u"IO=3F8h; IRQ=4;");
  EXPECT_EQ(Line(STR_SERIAL_1), u"IO=2F8h; IRQ=3;");
  for (UINT16 Id : {STR_TYPE_1, STR_TYPE_7, STR_TYPE_12}) EXPECT_EQ(Line(Id), NOT_SHOWN) << std::hex << Id;
}

class SuperIoWithoutDriver : public SuperIoPage {
 protected:
  void Customise(sim::BoardProfile& Profile) override { Profile.SuperIoDriver.Present = false; }
};

TEST_F(SuperIoWithoutDriver, EveryLineKeepsItsPackageText) {
  for (UINT16 Id : {STR_TYPE_1, STR_SERIAL_0, STR_SERIAL_1, STR_TYPE_7, STR_TYPE_12})
    EXPECT_EQ(Line(Id), NOT_SHOWN) << std::hex << Id;
  // The fixed line does not depend on the driver.
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_ADVANCED), STR_FIXED_VERSION), u"V 2.05.02");
}

// The line a device's own interface asks for, by type and resources.
std::string LineFor(const sim::SuperIoDeviceProfile& Profile, UINT16* Id = nullptr) {
  SUPER_IO_DEVICE_DESCRIPTION Record{};
  Record.Type = Profile.Type;
  Record.Instance = Profile.Instance;
  Record.Usable = Profile.Usable;
  SUPER_IO_DEVICE_PROTOCOL Interface = sim::SuperIoInterfaceFor(Profile);
  Interface.Description = &Record;
  UINT16 StringId = 0;
  CHAR16 Text[SUPER_IO_LINE_CAPACITY];
  if (!SuperIoResourceLine(&Interface, &StringId, Text)) return "<none>";
  if (Id != nullptr) *Id = StringId;
  return std::string(Text, Text + std::char_traits<char16_t>::length(Text));
}

TEST(SuperIoResourceLine, TypeSevenNamesOnlyTheResourcesItHas) {
  UINT16 Id = 0;
  EXPECT_EQ(LineFor(Device(7, 3, 0x378, 7, 3), &Id), "IO=378h; IRQ=7; DMA=3;");
  EXPECT_EQ(Id, STR_TYPE_7);
  EXPECT_EQ(LineFor(Device(7, 0, 0x378, 0, 3)), "IO=378h; DMA=3;");
  EXPECT_EQ(LineFor(Device(7, 0, 0x278, 5, 0)), "IO=278h; IRQ=5;");
  EXPECT_EQ(LineFor(Device(7, 0, 0x3BC, 0, 0)), "IO=3BCh;");
}

TEST(SuperIoResourceLine, OtherTypesShowTheirFixedFieldsWhateverIsZero) {
  UINT16 Id = 0;
  EXPECT_EQ(LineFor(Device(1, 9, 0x3F0, 0, 0), &Id), "IO=3F0h; IRQ=0; DMA=0;");
  EXPECT_EQ(Id, STR_TYPE_1);
  EXPECT_EQ(LineFor(Device(12, 4, 0xFFFF, 255, 255), &Id), "IO=FFFFh; IRQ=255;");
  EXPECT_EQ(Id, STR_TYPE_12);
  EXPECT_EQ(LineFor(Device(6, 1, 0x2F8, 3, 2), &Id), "IO=2F8h; IRQ=3;");
  EXPECT_EQ(Id, STR_SERIAL_1);
  EXPECT_EQ(LineFor(Device(6, 255, 0x2F8, 3, 0)), "<none>");
  EXPECT_EQ(LineFor(Device(0x106, 0, 0x2F8, 3, 0)), "<none>");  // only the whole type word counts
  // The longest line fits its buffer.
  EXPECT_EQ(LineFor(Device(1, 0, 0xFFFF, 255, 255)), "IO=FFFFh; IRQ=255; DMA=255;");
}

}  // namespace
}  // namespace setupinfo_test
