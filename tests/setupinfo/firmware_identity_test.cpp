// The firmware identity lines of the main page.
#include "setupinfo/core/firmware_identity.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

class Identity : public SetupInfoTest {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    Profile.Firmware.Vendor = u"Board Maker";
    Profile.Firmware.Revision = 0x0005000B;
    Profile.Firmware.UefiRevision = 0x0002001F;
    Profile.Firmware.DxeServicesRevision = 0x00010014;
  }
  std::u16string Line(EFI_STRING_ID Id) { return HiiText(FormSetHandle(0x1), Id); }

  // The revision lines again, after the firmware's numbers changed.
  std::u16string Revisions(UINT32 Uefi) {
    ST()->Hdr.Revision = Uefi;
    SetFirmwareIdentityStrings(FormSetHandle(0x1));
    return Line(0x11);
  }
};

TEST_F(Identity, MainPageShowsTheFirmwareAndTheBuild) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Line(0x0D), u"Board Maker");
  EXPECT_EQ(Line(0x0F), u"5.0.1.1");
  EXPECT_EQ(Line(0x13), u"Q7730 2.00 x64");
  EXPECT_EQ(Line(0x15), u"06/13/2016 22:51:43");
  EXPECT_EQ(Line(0x11), u"UEFI 2.3.1; PI 1.2");
}

TEST_F(Identity, FirmwareRevisionDigits) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  ST()->FirmwareRevision = 0x00010064;
  SetFirmwareIdentityStrings(FormSetHandle(0x1));
  EXPECT_EQ(Line(0x0F), u"1.1.0.0");
  ST()->FirmwareRevision = 0;
  SetFirmwareIdentityStrings(FormSetHandle(0x1));
  EXPECT_EQ(Line(0x0F), u"0.0.0.0");
}

TEST_F(Identity, RevisionTextShowsTheErrataDigitOnlyWhenSet) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Revisions(0x00020028), u"UEFI 2.4; PI 1.2");
  EXPECT_EQ(Revisions(0x00020000), u"UEFI 2.0; PI 1.2");
  EXPECT_EQ(Revisions(0x00020001), u"UEFI 2.0.1; PI 1.2");
  // Too long for the room of a revision text: cut, not written past it.
  EXPECT_EQ(Revisions(0xFFFFFFFF), u"UEFI 65535.6553.; PI 1.2");
}

TEST_F(Identity, MissingVendorShowsTheFallback) {
  ST()->FirmwareVendor = nullptr;
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Line(0x0D), u"Orvanta");
}

TEST_F(Identity, WithoutTheDxeServicesTableOnlyTheUefiRevisionShows) {
  // Only the DXE services table is left out of the configuration table.
  std::vector<EFI_CONFIGURATION_TABLE> Others;
  for (UINTN i = 0; i < ST()->NumberOfTableEntries; ++i)
    if (!(ST()->ConfigurationTable[i].VendorGuid == EFI_DXE_SERVICES_TABLE_GUID))
      Others.push_back(ST()->ConfigurationTable[i]);
  ST()->ConfigurationTable = Others.data();
  ST()->NumberOfTableEntries = Others.size();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Line(0x11), u"UEFI 2.3.1");
  EXPECT_EQ(Line(0x0F), u"5.0.1.1");
}

}  // namespace
}  // namespace setupinfo_test
