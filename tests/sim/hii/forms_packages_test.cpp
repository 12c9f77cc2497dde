#include "forms/form_packages.h"
#include "tests/sim/hii/hii_test_support.h"

using namespace hiitest;

namespace {

struct Expected {
  UINT16 Class;
  EFI_GUID Guid;
};

const Expected FormSets[] = {
    {0x1, {0x985EEE91, 0xBCAC, 0x4238, {0x87, 0x78, 0x57, 0xEF, 0xDC, 0x93, 0xF2, 0x4E}}},
    {0x2, {0xE6BCE822, 0xDCA5, 0x47E5, {0xBB, 0xBB, 0xE2, 0x9E, 0x8E, 0xF1, 0x11, 0x2B}}},
    {0x4, {0xE14F04FA, 0x8706, 0x4353, {0x92, 0xF2, 0x9C, 0x24, 0x24, 0x74, 0x6F, 0x9F}}},
    {0x8, {0x2C0C4EDF, 0x4A8F, 0x450E, {0xBE, 0x2D, 0xB6, 0x00, 0xCD, 0x86, 0x77, 0xBD}}},
    {0x10, {0xA34CBD5E, 0x9FC5, 0x423B, {0x8E, 0x2B, 0x70, 0x93, 0x58, 0x80, 0x00, 0xA0}}},
    {0x20, {0xADFE34C8, 0x9AE1, 0x4F8F, {0xBE, 0x13, 0xCF, 0x96, 0xA2, 0xCB, 0x2C, 0x5B}}},
    {0x30, {0x8B33FFE0, 0xD71C, 0x4F82, {0x9C, 0xEB, 0xC9, 0x70, 0x58, 0xC1, 0x3F, 0x8E}}},
    {0x40, {0x981CEAEE, 0x931C, 0x4A17, {0xB9, 0xC8, 0x66, 0xC7, 0xBC, 0xFD, 0x77, 0xE1}}},
    {0x100, {0xA43B03DC, 0xC18A, 0x41B1, {0x91, 0xC8, 0x3F, 0xF9, 0xAA, 0xA2, 0x57, 0x13}}},
};

class FormsPackagesTest : public HiiTest {};

TEST_F(FormsPackagesTest, NineFormSetsAreFoundByTheirGuids) {
  ASSERT_EQ(gFormPackageCount, 9u);
  for (const auto& e : FormSets) {
    const FORM_PACKAGE* p = FindFormPackage(&e.Guid);
    ASSERT_NE(p, nullptr) << std::hex << e.Class;
    EXPECT_EQ(p->Class, e.Class);
    EXPECT_EQ(*p->Guid, e.Guid);
    EXPECT_GT(std::strlen(p->Name), 0u);
    const auto* header = (const EFI_HII_PACKAGE_LIST_HEADER*)p->Data;
    EXPECT_EQ(header->PackageListGuid, e.Guid);
    EXPECT_EQ(header->PackageLength, p->Size);
  }
  EFI_GUID unknown = FormSets[0].Guid;
  unknown.Data4[7] ^= 1;
  EXPECT_EQ(FindFormPackage(&unknown), nullptr);
  EXPECT_EQ(FindFormPackage(nullptr), nullptr);
}

// Every compiled list goes through the database's checks, carries the three
// languages in order, and each language has its own title text.
TEST_F(FormsPackagesTest, EveryListParsesWithThreeTranslatedLanguages) {
  for (UINTN i = 0; i < gFormPackageCount; ++i) {
    const FORM_PACKAGE& p = gFormPackages[i];
    EFI_HII_HANDLE h = nullptr;
    ASSERT_EQ(Db().AddPackageList(p.Data, p.Size, nullptr, &h), EFI_SUCCESS) << p.Name;
    char languages[64];
    UINTN size = sizeof(languages);
    ASSERT_EQ(StringProtocol()->GetLanguages(StringProtocol(), h, languages, &size), EFI_SUCCESS);
    EXPECT_STREQ(languages, "en-US;de-DE;ja-JP") << p.Name;

    std::u16string en = Text(h, "en-US", 1), de = Text(h, "de-DE", 1), ja = Text(h, "ja-JP", 1);
    EXPECT_FALSE(en.empty() || en[0] == u'!') << p.Name;
    EXPECT_NE(en, de) << p.Name;
    EXPECT_NE(en, ja) << p.Name;
    EXPECT_NE(de, ja) << p.Name;
  }
}

TEST_F(FormsPackagesTest, PlaceholdersStandWhereTheDriversWriteLater) {
  const FORM_PACKAGE* main = FindFormPackage(&FormSets[0].Guid);
  EFI_HII_HANDLE h = nullptr;
  ASSERT_EQ(Db().AddPackageList(main->Data, main->Size, nullptr, &h), EFI_SUCCESS);
  for (EFI_STRING_ID id : {0x0D, 0x0F, 0x11, 0x13, 0x15}) {
    EXPECT_EQ(Text(h, "en-US", id), u"Unknown") << id;
    EXPECT_EQ(Text(h, "de-DE", id), u"Unbekannt") << id;
    EXPECT_EQ(Text(h, "ja-JP", id), u"不明") << id;
  }
  // IDs between the defined ones are skipped, not empty strings.
  EXPECT_EQ(Text(h, "en-US", 0x03), u"!e");
  EXPECT_EQ(Text(h, "en-US", 0x16), u"!e");

  const FORM_PACKAGE* secure = FindFormPackage(&FormSets[7].Guid);
  EFI_HII_HANDLE s = nullptr;
  ASSERT_EQ(Db().AddPackageList(secure->Data, secure->Size, nullptr, &s), EFI_SUCCESS);
  EXPECT_FALSE(Text(s, "en-US", 0x42).empty());
  EXPECT_NE(Text(s, "en-US", 0x42)[0], u'!');
  EXPECT_NE(Text(s, "ja-JP", 0x44)[0], u'!');
  EXPECT_EQ(Text(s, "en-US", 0x43), u"!e");
}

}  // namespace
