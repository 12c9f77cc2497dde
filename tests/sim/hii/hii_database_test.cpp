#include "tests/sim/hii/hii_test_support.h"

using namespace hiitest;

namespace {

// en-US: 1 "One", 2 "Two", (3-4 skipped), 5 "Five"; de-DE: 1 "Eins", 2 "Zwei", 5 "Fuenf".
std::vector<UINT8> TwoLanguageList() {
  return PackageListBuilder(TestListGuid)
      .Strings("en-US", Cat({Ucs2Block(u"One"), Ucs2Block(u"Two"), Skip1(2), Ucs2Block(u"Five"), {EndBlock}}))
      .Strings("de-DE", Cat({Ucs2Block(u"Eins"), Ucs2Block(u"Zwei"), Skip2(2), Ucs2Block(u"Fuenf"), {EndBlock}}))
      .Build();
}

class HiiStringTest : public HiiTest {};
class HiiPackageListTest : public HiiTest {};

TEST_F(HiiStringTest, EachLanguageKeepsItsOwnTextsAndSkippedIdsStayEmpty) {
  EFI_HII_HANDLE h = Add(TwoLanguageList());
  EXPECT_EQ(Text(h, "en-US", 1), u"One");
  EXPECT_EQ(Text(h, "en-US", 5), u"Five");
  EXPECT_EQ(Text(h, "de-DE", 2), u"Zwei");
  EXPECT_EQ(Text(h, "de-DE", 5), u"Fuenf");

  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  CHAR16 buffer[16];
  {
    // Codes are matched byte for byte, as the firmware's database does.
    UINTN size = sizeof(buffer);
    EXPECT_EQ(s->GetString(s, "DE-de", h, 1, buffer, &size, nullptr), EFI_INVALID_LANGUAGE);
    EXPECT_EQ(s->SetString(s, h, 1, "EN-us", u"x", nullptr), EFI_NOT_FOUND);
    EXPECT_EQ(Text(h, "en-US", 1), u"One");
  }
  for (EFI_STRING_ID skipped : {3, 4, 6}) {
    UINTN size = sizeof(buffer);
    EXPECT_EQ(s->GetString(s, "en-US", h, skipped, buffer, &size, nullptr), EFI_NOT_FOUND) << skipped;
  }
  UINTN size = sizeof(buffer);
  EXPECT_EQ(s->GetString(s, "ja-JP", h, 1, buffer, &size, nullptr), EFI_INVALID_LANGUAGE);
}

TEST_F(HiiStringTest, GetStringReportsTheSizeItNeedsIncludingTheTerminator) {
  EFI_HII_HANDLE h = Add(TwoLanguageList());
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  UINTN size = 0;
  EXPECT_EQ(s->GetString(s, "en-US", h, 5, nullptr, &size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 10u);  // "Five" and NUL

  CHAR16 buffer[5];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  size = 9;
  EXPECT_EQ(s->GetString(s, "en-US", h, 5, buffer, &size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(buffer[0], u'#');  // nothing written on failure

  EXPECT_EQ(s->GetString(s, "en-US", h, 5, buffer, &size, nullptr), EFI_SUCCESS);
  EXPECT_EQ(std::u16string(buffer), u"Five");

  size = 4;
  EXPECT_EQ(s->GetString(s, "en-US", h, 5, nullptr, &size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(s->GetString(s, nullptr, h, 5, buffer, &size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(s->GetString(s, "en-US", (EFI_HII_HANDLE)0x1234, 5, buffer, &size, nullptr), EFI_NOT_FOUND);
}

TEST_F(HiiStringTest, SetStringChangesOneLanguageOnly) {
  EFI_HII_HANDLE h = Add(TwoLanguageList());
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  EXPECT_EQ(s->SetString(s, h, 2, "de-DE", u"Zwei Komma Null", nullptr), EFI_SUCCESS);
  EXPECT_EQ(Text(h, "de-DE", 2), u"Zwei Komma Null");
  EXPECT_EQ(Text(h, "en-US", 2), u"Two");

  EXPECT_EQ(s->SetString(s, h, 3, "en-US", u"x", nullptr), EFI_NOT_FOUND);  // skipped ID
  EXPECT_EQ(s->SetString(s, h, 1, "fr-FR", u"x", nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(s->SetString(s, h, 1, "en-US", nullptr, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(s->SetString(s, (EFI_HII_HANDLE)0x99, 1, "en-US", u"x", nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(Text(h, "en-US", 1), u"One");
}

TEST_F(HiiStringTest, GetLanguagesListsPrimaryLanguagesInPackageOrder) {
  EFI_HII_HANDLE h = Add(TwoLanguageList());
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  UINTN size = 0;
  EXPECT_EQ(s->GetLanguages(s, h, nullptr, &size), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, sizeof("en-US;de-DE"));
  char text[32];
  size = sizeof("en-US;de-DE") - 1;
  EXPECT_EQ(s->GetLanguages(s, h, text, &size), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, sizeof("en-US;de-DE"));
  size = sizeof(text);
  EXPECT_EQ(s->GetLanguages(s, h, text, &size), EFI_SUCCESS);
  EXPECT_STREQ(text, "en-US;de-DE");
  EXPECT_EQ(size, sizeof("en-US;de-DE"));

  EXPECT_EQ(s->GetLanguages(s, h, nullptr, nullptr), EFI_INVALID_PARAMETER);
  size = 4;
  EXPECT_EQ(s->GetLanguages(s, h, nullptr, &size), EFI_INVALID_PARAMETER);
  size = 0;
  EXPECT_EQ(s->GetLanguages(s, (EFI_HII_HANDLE)0x55, nullptr, &size), EFI_NOT_FOUND);

  // A list without string packages has no languages at all.
  EFI_GUID other = TestListGuid;
  other.Data1 = 2;
  EFI_HII_HANDLE bare = Add(PackageListBuilder(other).Raw(EFI_HII_PACKAGE_FORMS, {1, 2, 3, 4}).Build());
  size = 0;
  EXPECT_EQ(s->GetLanguages(s, bare, nullptr, &size), EFI_NOT_FOUND);
}

TEST_F(HiiStringTest, SecondaryLanguagesFollowThePrimaryInTheLanguageField) {
  EFI_HII_HANDLE h = Add(PackageListBuilder(TestListGuid)
                             .Strings("en-US;en-GB;en-AU", Cat({Ucs2Block(u"Colour"), {EndBlock}}))
                             .Strings("fr-FR", Cat({Ucs2Block(u"Couleur"), {EndBlock}}))
                             .Build());
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  char text[32];
  UINTN size = 0;
  EXPECT_EQ(s->GetSecondaryLanguages(s, h, "en-US", nullptr, &size), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, sizeof("en-GB;en-AU"));
  size = sizeof(text);
  EXPECT_EQ(s->GetSecondaryLanguages(s, h, "en-US", text, &size), EFI_SUCCESS);
  EXPECT_STREQ(text, "en-GB;en-AU");
  size = sizeof(text);
  EXPECT_EQ(s->GetSecondaryLanguages(s, h, "fr-FR", text, &size), EFI_SUCCESS);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(s->GetSecondaryLanguages(s, h, "de-DE", text, &size), EFI_INVALID_LANGUAGE);

  size = 0;
  EXPECT_EQ(s->GetLanguages(s, h, nullptr, &size), EFI_BUFFER_TOO_SMALL);
  size = sizeof(text);
  EXPECT_EQ(s->GetLanguages(s, h, text, &size), EFI_SUCCESS);
  EXPECT_STREQ(text, "en-US;fr-FR");
  EXPECT_EQ(Text(h, "en-US", 1), u"Colour");
}

TEST_F(HiiStringTest, NewStringTakesTheNextIdOfTheWholeListInEveryLanguage) {
  EFI_HII_HANDLE h = Add(TwoLanguageList());
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  EFI_STRING_ID id = 0;
  ASSERT_EQ(s->NewString(s, h, &id, "de-DE", nullptr, u"Neu", nullptr), EFI_SUCCESS);
  EXPECT_EQ(id, 6);
  EXPECT_EQ(Text(h, "de-DE", 6), u"Neu");
  EXPECT_EQ(Text(h, "en-US", 6), u"Neu");  // until someone translates it
  ASSERT_EQ(s->SetString(s, h, 6, "en-US", u"New", nullptr), EFI_SUCCESS);
  EXPECT_EQ(Text(h, "en-US", 6), u"New");
  EXPECT_EQ(Text(h, "de-DE", 6), u"Neu");

  // A language the list lacks gets its own package, named by a string of its own.
  ASSERT_EQ(s->NewString(s, h, &id, "ja-JP", u"日本語", u"新しい", nullptr), EFI_SUCCESS);
  EXPECT_EQ(id, 7);
  EXPECT_EQ(Text(h, "ja-JP", 7), u"新しい");
  EXPECT_EQ(Text(h, "ja-JP", 8), u"日本語");
  EXPECT_EQ(Text(h, "en-US", 8), u"!20");  // reserved, text only in Japanese: EFI_INVALID_LANGUAGE
  ASSERT_EQ(s->NewString(s, h, &id, "en-US", nullptr, u"Next", nullptr), EFI_SUCCESS);
  EXPECT_EQ(id, 9);

  char text[32];
  UINTN size = sizeof(text);
  ASSERT_EQ(s->GetLanguages(s, h, text, &size), EFI_SUCCESS);
  EXPECT_STREQ(text, "en-US;de-DE;ja-JP");
  EXPECT_EQ(s->NewString(s, h, nullptr, "en-US", nullptr, u"x", nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(s->NewString(s, (EFI_HII_HANDLE)0x42, &id, "en-US", nullptr, u"x", nullptr), EFI_NOT_FOUND);
}

TEST_F(HiiStringTest, BlockVariantsAllAssignConsecutiveIds) {
  std::vector<UINT8> blocks = {
      EFI_HII_SIBT_STRINGS_UCS2, 2, 0, 'A', 0, 0, 0, 'B', 0, 0, 0,   // 1, 2
      EFI_HII_SIBT_STRING_SCSU, 'c', 0xE9, 0,                         // 3: "cé" through window 0
      EFI_HII_SIBT_STRING_UCS2_FONT, 7, 'D', 0, 0, 0,                 // 4
      EFI_HII_SIBT_DUPLICATE, 1, 0,                                   // 5 = 1
      EFI_HII_SIBT_EXT2, EFI_HII_SIBT_FONT, 7, 0, 1, 2, 3,            // font block, no ID
      EFI_HII_SIBT_STRINGS_SCSU_FONT, 1, 2, 0, 'e', 0, 'f', 0,        // 6, 7
      EFI_HII_SIBT_EXT1, 0x55, 3,                                     // empty extension
      EFI_HII_SIBT_STRING_SCSU_FONT, 1, 'g', 0,                       // 8
      EndBlock};
  EFI_HII_HANDLE h = Add(PackageListBuilder(TestListGuid).Strings("en-US", blocks).Build());
  EXPECT_EQ(Text(h, "en-US", 1), u"A");
  EXPECT_EQ(Text(h, "en-US", 2), u"B");
  EXPECT_EQ(Text(h, "en-US", 3), u"c\u00E9");
  EXPECT_EQ(Text(h, "en-US", 4), u"D");
  EXPECT_EQ(Text(h, "en-US", 5), u"A");
  EXPECT_EQ(Text(h, "en-US", 6), u"e");
  EXPECT_EQ(Text(h, "en-US", 7), u"f");
  EXPECT_EQ(Text(h, "en-US", 8), u"g");
}

// ---- Package lists ----------------------------------------------------------------

TEST_F(HiiPackageListTest, MalformedListsAreRefusedWhole) {
  std::vector<UINT8> good = TwoLanguageList();
  struct Case {
    const char* What;
    std::vector<UINT8> List;
  };
  std::vector<Case> cases;
  auto patched = [&](size_t At, std::vector<UINT8> Bytes) {
    auto list = good;
    std::copy(Bytes.begin(), Bytes.end(), list.begin() + At);
    return list;
  };
  // First string package starts at 20; its header fields at +0 (length), +4 HdrSize, +8 StringInfoOffset.
  cases.push_back({"list length beyond the buffer", patched(16, {0xFF, 0x00, 0x00, 0x00})});
  cases.push_back({"list length shorter than its header", patched(16, {0x10, 0, 0, 0})});
  cases.push_back({"package longer than the list", patched(20, {0xF0, 0x0F, 0x00, 0x04})});
  cases.push_back({"package shorter than its header", patched(20, {0x02, 0x00, 0x00, 0x04})});
  cases.push_back({"HdrSize beyond the package", patched(24, {0xF0, 0x00, 0, 0})});
  cases.push_back({"StringInfoOffset inside the header", patched(28, {0x10, 0x00, 0, 0})});
  cases.push_back({"language without terminator", patched(20 + 46, {'e', 'n', '-', 'U', 'S', 'X'})});
  cases.push_back({"unknown block type", PackageListBuilder(TestListGuid).Strings("en-US", {0x77, EndBlock}).Build()});
  cases.push_back({"missing END block", PackageListBuilder(TestListGuid).Strings("en-US", Ucs2Block(u"x")).Build()});
  cases.push_back({"string without terminator",
                   PackageListBuilder(TestListGuid).Strings("en-US", {EFI_HII_SIBT_STRING_UCS2, 'a', 0}).Build()});
  cases.push_back({"STRINGS count beyond the package",
                   PackageListBuilder(TestListGuid)
                       .Strings("en-US", {EFI_HII_SIBT_STRINGS_UCS2, 9, 0, 'a', 0, 0, 0, EndBlock})
                       .Build()});
  cases.push_back({"duplicate of an undefined ID",
                   PackageListBuilder(TestListGuid).Strings("en-US", {EFI_HII_SIBT_DUPLICATE, 4, 0, EndBlock}).Build()});
  cases.push_back({"extended block beyond the package",
                   PackageListBuilder(TestListGuid).Strings("en-US", {EFI_HII_SIBT_EXT2, 0x40, 0x00, 0x10, EndBlock}).Build()});
  cases.push_back({"IDs past 0xFFFF",
                   PackageListBuilder(TestListGuid).Strings("en-US", Cat({Skip2(0xFFFF), Ucs2Block(u"x"), {EndBlock}})).Build()});
  cases.push_back({"SCSU tag byte", PackageListBuilder(TestListGuid).Strings("en-US", {EFI_HII_SIBT_STRING_SCSU, 0x05, 'a', 0, EndBlock}).Build()});
  cases.push_back({"one language twice",
                   PackageListBuilder(TestListGuid)
                       .Strings("en-US", {EndBlock})
                       .Strings("EN-us", {EndBlock})
                       .Build()});
  cases.push_back({"no end package", PackageListBuilder(TestListGuid).Strings("en-US", {EndBlock}).Build(false)});
  {
    auto list = PackageListBuilder(TestListGuid).Strings("en-US", {EndBlock}).Build();
    list.insert(list.end(), {0x04, 0x00, 0x00, EFI_HII_PACKAGE_FORMS});
    UINT32 length = (UINT32)list.size();
    std::memcpy(list.data() + 16, &length, 4);
    cases.push_back({"package after the end package", list});
  }
  cases.push_back({"GUID package too short", PackageListBuilder(TestListGuid).Raw(EFI_HII_PACKAGE_TYPE_GUID, {1, 2}).Build()});

  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  for (const auto& c : cases) {
    EFI_HII_HANDLE handle = (EFI_HII_HANDLE)0x77;
    // The exact size is what the host-side entry checks the header against.
    EXPECT_EQ(Db().AddPackageList(c.List.data(), c.List.size(), nullptr, &handle), EFI_INVALID_PARAMETER) << c.What;
    EXPECT_EQ(handle, (EFI_HII_HANDLE)0x77) << c.What;
  }
  EXPECT_TRUE(Db().Handles().empty());

  EFI_HII_HANDLE handle = nullptr;
  EXPECT_EQ(db->NewPackageList(db, nullptr, nullptr, &handle), EFI_INVALID_PARAMETER);
  EXPECT_EQ(db->NewPackageList(db, (const EFI_HII_PACKAGE_LIST_HEADER*)good.data(), nullptr, nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(db->NewPackageList(db, (const EFI_HII_PACKAGE_LIST_HEADER*)good.data(), nullptr, &handle), EFI_SUCCESS);
  EXPECT_EQ(db->NewPackageList(db, (const EFI_HII_PACKAGE_LIST_HEADER*)good.data(), nullptr, &handle),
            EFI_INVALID_PARAMETER)
      << "a GUID already in the database";
}

TEST_F(HiiPackageListTest, RemovedHandlesStayInvalid) {
  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  EFI_HII_HANDLE first = Add(TwoLanguageList());
  ASSERT_EQ(db->RemovePackageList(db, first), EFI_SUCCESS);
  EXPECT_EQ(db->RemovePackageList(db, first), EFI_NOT_FOUND);
  EXPECT_EQ(Text(first, "en-US", 1), u"!e");

  // The same list again gets a handle of its own; the old one does not come back.
  EFI_HII_HANDLE second = Add(TwoLanguageList());
  EXPECT_NE(second, first);
  EXPECT_EQ(Text(second, "en-US", 1), u"One");
  EXPECT_EQ(Text(first, "en-US", 1), u"!e");
  EXPECT_EQ(db->RemovePackageList(db, nullptr), EFI_NOT_FOUND);
}

TEST_F(HiiPackageListTest, ExportRebuildsTheListWithItsCurrentStrings) {
  EFI_HII_HANDLE h = Add(PackageListBuilder(TestListGuid)
                             .Raw(EFI_HII_PACKAGE_FORMS, {0xAA, 0xBB})
                             .Strings("en-US", Cat({Skip1(3), Ucs2Block(u"Four"), Skip2(300), {EndBlock}}))
                             .Build());
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  ASSERT_EQ(s->SetString(s, h, 4, "en-US", u"Vier", nullptr), EFI_SUCCESS);

  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  UINTN size = 0;
  ASSERT_EQ(db->ExportPackageLists(db, h, &size, nullptr), EFI_BUFFER_TOO_SMALL);
  std::vector<UINT8> image(size);
  UINTN small = size - 1;
  EXPECT_EQ(db->ExportPackageLists(db, h, &small, (EFI_HII_PACKAGE_LIST_HEADER*)image.data()), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(small, size);
  ASSERT_EQ(db->ExportPackageLists(db, h, &size, (EFI_HII_PACKAGE_LIST_HEADER*)image.data()), EFI_SUCCESS);
  EXPECT_EQ(((EFI_HII_PACKAGE_LIST_HEADER*)image.data())->PackageLength, size);

  // Re-imported under its GUID once the original is gone: same text, same
  // reserved IDs, same foreign package.
  ASSERT_EQ(db->RemovePackageList(db, h), EFI_SUCCESS);
  EFI_HII_HANDLE again = Add(image);
  EXPECT_EQ(Text(again, "en-US", 4), u"Vier");
  EXPECT_EQ(Text(again, "en-US", 3), u"!e");
  EFI_STRING_ID id = 0;
  ASSERT_EQ(s->NewString(s, again, &id, "en-US", nullptr, u"After", nullptr), EFI_SUCCESS);
  EXPECT_EQ(id, 305);  // 1-3 skipped, 4, then 300 reserved
  const sim::HiiPackageList* list = Db().Find(again);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Packages.size(), 2u);
  EXPECT_EQ(list->Packages[0].Type, EFI_HII_PACKAGE_FORMS);
  EXPECT_EQ(list->Packages[0].Raw, (std::vector<UINT8>{0x06, 0, 0, EFI_HII_PACKAGE_FORMS, 0xAA, 0xBB}));

  size = 0;
  EXPECT_EQ(db->ExportPackageLists(db, (EFI_HII_HANDLE)0x3, &size, nullptr), EFI_NOT_FOUND);
  size = 8;
  EXPECT_EQ(db->ExportPackageLists(db, again, &size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(db->ExportPackageLists(db, again, nullptr, nullptr), EFI_INVALID_PARAMETER);
}

TEST_F(HiiPackageListTest, ListPackageListsFiltersByTypeAndGuid) {
  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  EFI_HII_HANDLE strings = Add(TwoLanguageList());
  EFI_GUID kind = {0xABCDEF01, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  std::vector<UINT8> guidBody((const UINT8*)&kind, (const UINT8*)&kind + 16);
  EFI_GUID second = TestListGuid;
  second.Data1 = 7;
  EFI_HII_HANDLE guided = Add(PackageListBuilder(second).Raw(EFI_HII_PACKAGE_TYPE_GUID, guidBody).Build());

  EFI_HII_HANDLE found[4] = {};
  UINTN size = 0;
  EXPECT_EQ(db->ListPackageLists(db, EFI_HII_PACKAGE_TYPE_ALL, nullptr, &size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 2 * sizeof(EFI_HII_HANDLE));
  size = sizeof(found);
  ASSERT_EQ(db->ListPackageLists(db, EFI_HII_PACKAGE_STRINGS, nullptr, &size, found), EFI_SUCCESS);
  EXPECT_EQ(size, sizeof(EFI_HII_HANDLE));
  EXPECT_EQ(found[0], strings);
  size = sizeof(found);
  ASSERT_EQ(db->ListPackageLists(db, EFI_HII_PACKAGE_TYPE_GUID, &kind, &size, found), EFI_SUCCESS);
  EXPECT_EQ(found[0], guided);
  EFI_GUID otherKind = kind;
  otherKind.Data2 = 99;
  EXPECT_EQ(db->ListPackageLists(db, EFI_HII_PACKAGE_TYPE_GUID, &otherKind, &size, found), EFI_NOT_FOUND);
  EXPECT_EQ(db->ListPackageLists(db, EFI_HII_PACKAGE_FONTS, nullptr, &size, found), EFI_NOT_FOUND);
  EXPECT_EQ(db->ListPackageLists(db, EFI_HII_PACKAGE_TYPE_GUID, nullptr, &size, found), EFI_INVALID_PARAMETER);
  EXPECT_EQ(db->ListPackageLists(db, EFI_HII_PACKAGE_STRINGS, &kind, &size, found), EFI_INVALID_PARAMETER);

  EFI_HANDLE driver = (EFI_HANDLE)0x1;
  EXPECT_EQ(db->GetPackageListHandle(db, strings, &driver), EFI_SUCCESS);
  EXPECT_EQ(driver, nullptr);
  EXPECT_EQ(db->GetPackageListHandle(db, (EFI_HII_HANDLE)0x5, &driver), EFI_NOT_FOUND);
  EXPECT_EQ(db->UpdatePackageList(db, strings, nullptr), EFI_UNSUPPORTED);
}

}  // namespace

// The size limit is checked against the package as it would be built: a
// text that brings the package to the limit is taken, one character more is
// refused, for a package with both kinds of skip and reserved IDs behind.
TEST_F(HiiPackageListTest, SetStringTakesAPackageUpToTheLengthLimitExactly) {
  EFI_HII_HANDLE h = Add(PackageListBuilder(TestListGuid)
                             .Strings("en-US", Cat({Skip1(3), Ucs2Block(u"Four"), Skip2(300), {EndBlock}}))
                             .Build());
  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  auto PackageLength = [&] {
    UINTN size = 0;
    db->ExportPackageLists(db, h, &size, nullptr);
    std::vector<UINT8> image(size);
    EXPECT_EQ(db->ExportPackageLists(db, h, &size, (EFI_HII_PACKAGE_LIST_HEADER*)image.data()), EFI_SUCCESS);
    const EFI_HII_PACKAGE_HEADER* package = (const EFI_HII_PACKAGE_HEADER*)(image.data() + sizeof(EFI_HII_PACKAGE_LIST_HEADER));
    return (size_t)package->Length();
  };
  const size_t before = PackageLength();
  // Replacing "Four" (8 bytes) with n characters makes the package before - 8 + 2n.
  const size_t n = (EFI_HII_PACKAGE_MAX_LENGTH - before + 8) / 2;
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  const std::u16string fits(n, u'x'), over(n + 1, u'x');
  ASSERT_EQ(s->SetString(s, h, 4, "en-US", fits.c_str(), nullptr), EFI_SUCCESS);
  EXPECT_EQ(PackageLength(), before - 8 + 2 * n);
  EXPECT_EQ(s->SetString(s, h, 4, "en-US", over.c_str(), nullptr), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(PackageLength(), before - 8 + 2 * n);  // the refused text left the package as it was
}
