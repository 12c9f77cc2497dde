#include "forms/form_packages.h"
#include "tests/sim/hii/hii_test_support.h"

using namespace hiitest;

namespace {

const EFI_GUID SECURE_BOOT_GUID = {0x981CEAEE, 0x931C, 0x4A17, {0xB9, 0xC8, 0x66, 0xC7, 0xBC, 0xFD, 0x77, 0xE1}};
const EFI_GUID MEMORY_GUID = {0xADFE34C8, 0x9AE1, 0x4F8F, {0xBE, 0x13, 0xCF, 0x96, 0xA2, 0xCB, 0x2C, 0x5B}};
const EFI_GUID NO_SUCH_GUID = {0x0BADF00D, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const EFI_GUID SETUP_GUID = sim::SetupBrowser::SetupVariableGuid;

struct LoadedCall {
  EFI_HII_HANDLE Handle;
  FORM_SET_INFO* Entry;
};
std::vector<LoadedCall> gLoaded;

VOID EFIAPI OnLoaded(EFI_HII_HANDLE HiiHandle, FORM_SET_INFO* Entry) { gLoaded.push_back({HiiHandle, Entry}); }

EFI_STATUS EFIAPI NoCallback(const EFI_HII_CONFIG_ACCESS_PROTOCOL*, EFI_BROWSER_ACTION, EFI_QUESTION_ID, UINT8,
                             EFI_IFR_TYPE_VALUE*, EFI_BROWSER_ACTION_REQUEST*) {
  return EFI_SUCCESS;
}

class FormUtilityTest : public HiiTest {
 protected:
  void SetUp() override {
    HiiTest::SetUp();
    gLoaded.clear();
    VOID* p = nullptr;
    ASSERT_EQ(St()->BootServices->LocateProtocol(&FORM_UTILITY_PROTOCOL::Guid, nullptr, &p), EFI_SUCCESS);
    Fu = (FORM_UTILITY_PROTOCOL*)p;
  }
  FORM_UTILITY_PROTOCOL* Fu = nullptr;
  EFI_HII_CONFIG_ACCESS_PROTOCOL Access[3] = {{nullptr, nullptr, NoCallback},
                                              {nullptr, nullptr, NoCallback},
                                              {nullptr, nullptr, NoCallback}};
};

TEST_F(FormUtilityTest, LoadResourcesPublishesEachFormSetAndCallsBack) {
  FORM_SET_INFO table[3] = {
      {&MainFormSetGuid, &Access[0], 0x1, 0, nullptr},
      {&NO_SUCH_GUID, &Access[1], 0x2, 0, (EFI_HII_HANDLE)0xDEAD},
      {&SECURE_BOOT_GUID, &Access[2], 0x40, 0, nullptr},
  };
  EXPECT_EQ(Fu->LoadResources((EFI_HANDLE)0x10, 3, table, OnLoaded), EFI_NOT_FOUND);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);

  ASSERT_NE(table[0].HiiHandle, nullptr);
  EXPECT_EQ(table[1].HiiHandle, nullptr) << "an unknown package list leaves the entry unpublished";
  ASSERT_NE(table[2].HiiHandle, nullptr);
  ASSERT_EQ(gLoaded.size(), 2u);
  EXPECT_EQ(gLoaded[0].Handle, table[0].HiiHandle);
  EXPECT_EQ(gLoaded[0].Entry, &table[0]);
  EXPECT_EQ(gLoaded[1].Entry, &table[2]);
  EXPECT_EQ(Text(table[2].HiiHandle, "de-DE", 1), u"Sicherer Start");

  // The Config Access goes on the package list's driver handle; none for the failed entry.
  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  EFI_HANDLE driver = nullptr;
  ASSERT_EQ(db->GetPackageListHandle(db, table[2].HiiHandle, &driver), EFI_SUCCESS);
  VOID* access = nullptr;
  ASSERT_EQ(St()->BootServices->HandleProtocol(driver, &EFI_HII_CONFIG_ACCESS_PROTOCOL::Guid, &access), EFI_SUCCESS);
  EXPECT_EQ(access, &Access[2]);
  EXPECT_EQ(Forms().FindFormSet(0x2), nullptr);
  ASSERT_NE(Forms().FindFormSet(0x40), nullptr);
  EXPECT_EQ(Forms().FindFormSet(0x40)->ConfigAccess, &Access[2]);
  EXPECT_EQ(Forms().FindFormSet(table[0].HiiHandle)->Class, 0x1);

  // Loading the same form set again cannot publish a second list under its GUID,
  // and takes its Config Access back off again.
  size_t handles = HandleCount();
  FORM_SET_INFO again = {&SECURE_BOOT_GUID, &Access[1], 0x40, 0, nullptr};
  EXPECT_EQ(Fu->LoadResources(nullptr, 1, &again, OnLoaded), EFI_INVALID_PARAMETER);
  EXPECT_EQ(again.HiiHandle, nullptr);
  EXPECT_EQ(HandleCount(), handles);
  EXPECT_EQ(gLoaded.size(), 2u);
}

TEST_F(FormUtilityTest, RegisteredResourcesComeBeforeTheCompiledOnes) {
  // A package list without languages under the main form set's GUID.
  Forms().AddResource(MainFormSetGuid, PackageListBuilder(MainFormSetGuid).Build());
  FORM_SET_INFO entry = {&MainFormSetGuid, &Access[0], 0x1, 0, nullptr};
  EXPECT_EQ(Fu->LoadResources(nullptr, 1, &entry, OnLoaded), EFI_SUCCESS);
  ASSERT_NE(entry.HiiHandle, nullptr);
  ASSERT_EQ(gLoaded.size(), 1u);
  UINTN size = 0;
  EXPECT_EQ(StringProtocol()->GetLanguages(StringProtocol(), entry.HiiHandle, nullptr, &size), EFI_NOT_FOUND);
  CHAR16 buffer[8];
  size = sizeof(buffer);
  EXPECT_EQ(Fu->GetHiiString(entry.HiiHandle, 1, &size, buffer), EFI_NOT_FOUND);
  EXPECT_EQ(Fu->SetHiiString(entry.HiiHandle, 1, u"x"), EFI_NOT_FOUND);

  // A resource whose header claims more than it holds is not published.
  auto truncated = PackageListBuilder(MEMORY_GUID).Strings("en-US", {EndBlock}).Build();
  truncated.resize(truncated.size() - 2);
  Forms().AddResource(MEMORY_GUID, truncated);
  FORM_SET_INFO bad = {&MEMORY_GUID, &Access[1], 0x20, 0, nullptr};
  EXPECT_EQ(Fu->LoadResources(nullptr, 1, &bad, OnLoaded), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bad.HiiHandle, nullptr);
  EXPECT_EQ(Fu->LoadResources(nullptr, 2, nullptr, OnLoaded), EFI_INVALID_PARAMETER);
}

TEST_F(FormUtilityTest, HiiStringsFollowThePlatformLanguage) {
  M().Variables().Erase(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID);
  FORM_SET_INFO entry = {&MainFormSetGuid, &Access[0], 0x1, 0, nullptr};
  Fu->LoadResources(nullptr, 1, &entry, nullptr);
  EFI_HII_HANDLE h = entry.HiiHandle;
  ASSERT_NE(h, nullptr);

  auto get = [&](EFI_STRING_ID id) {
    CHAR16 buffer[64];
    UINTN size = sizeof(buffer);
    EFI_STATUS status = Fu->GetHiiString(h, id, &size, buffer);
    return EFI_ERROR(status) ? std::u16string(u"<error>") : std::u16string(buffer);
  };
  EXPECT_EQ(get(1), u"Main");  // no PlatformLang: en-US

  PutVariable(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, 7, {'j', 'a', '-', 'J', 'P', 0});
  EXPECT_EQ(get(1), u"メイン");
  EXPECT_EQ(Fu->SetHiiString(h, 0x0D, u"ベンダー"), EFI_SUCCESS);
  EXPECT_EQ(Text(h, "ja-JP", 0x0D), u"ベンダー");
  EXPECT_EQ(Text(h, "en-US", 0x0D), u"Unknown");

  PutVariable(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, 7, {'f', 'r', '-', 'F', 'R', 0});
  EXPECT_EQ(get(1), u"Main");  // not carried: en-US

  UINTN size = 4;
  CHAR16 small[2];
  EXPECT_EQ(Fu->GetHiiString(h, 1, &size, small), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, sizeof(u"Main"));
  EXPECT_EQ(Fu->SetHiiString(h, 0x0D, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Fu->SetHiiString(h, 0x03, u"gap"), EFI_NOT_FOUND);
  EXPECT_EQ(Forms().Calls().SetHiiString, 3u);
  EXPECT_EQ(Forms().Calls().GetHiiString, 4u);
}

TEST_F(FormUtilityTest, CurrentLanguageFallsBackToTheFirstWithoutEnglish) {
  Forms().AddResource(TestListGuid, PackageListBuilder(TestListGuid)
                                        .Strings("de-DE", Cat({Ucs2Block(u"Titel"), {EndBlock}}))
                                        .Strings("ja-JP", Cat({Ucs2Block(u"題名"), {EndBlock}}))
                                        .Build());
  M().Variables().Erase(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID);
  FORM_SET_INFO entry = {&TestListGuid, nullptr, 0x8, 0, nullptr};
  Fu->LoadResources(nullptr, 1, &entry, nullptr);
  EXPECT_EQ(Forms().CurrentLanguage(entry.HiiHandle), "de-DE");
  PutVariable(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, 7, {'J', 'A', '-', 'j', 'p', 0});
  EXPECT_EQ(Forms().CurrentLanguage(entry.HiiHandle), "ja-JP");
}

TEST_F(FormUtilityTest, BrowserDataComesFromTheVariableWhileTheBrowserIsClosed) {
  std::vector<UINT8> setup(1172);
  setup[0x2E] = 5;
  PutVariable(u"Setup", SETUP_GUID, 7, setup);

  std::vector<UINT8> buffer(1172);
  UINTN size = 100;
  EXPECT_EQ(Fu->GetBrowserData(&size, buffer.data(), &SETUP_GUID, u"Setup"), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 1172u);
  ASSERT_EQ(Fu->GetBrowserData(&size, buffer.data(), &SETUP_GUID, u"Setup"), EFI_SUCCESS);
  EXPECT_EQ(buffer[0x2E], 5);
  EXPECT_EQ(Fu->SetBrowserData(size, buffer.data(), &SETUP_GUID, u"Setup"), EFI_NOT_READY);
  EXPECT_EQ(Fu->GetBrowserData(&size, buffer.data(), &SETUP_GUID, u"Nothing"), EFI_NOT_FOUND);
  EXPECT_EQ(Fu->GetBrowserData(nullptr, buffer.data(), &SETUP_GUID, u"Setup"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Forms().Calls().GetBrowserData, 4u);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 1u);
}

TEST_F(FormUtilityTest, AnUninstalledServiceCannotBeFoundOrCalled) {
  ASSERT_EQ(Forms().Uninstall(), EFI_SUCCESS);
  VOID* p = nullptr;
  EXPECT_EQ(St()->BootServices->LocateProtocol(&FORM_UTILITY_PROTOCOL::Guid, nullptr, &p), EFI_NOT_FOUND);
  // A caller that kept the old pointer reaches nothing.
  UINTN size = 0;
  EXPECT_EQ(Fu->GetBrowserData(&size, nullptr, &SETUP_GUID, u"Setup"), EFI_NOT_READY);
  EXPECT_EQ(Forms().Calls().GetBrowserData, 0u);
  ASSERT_EQ(Forms().Install(), EFI_SUCCESS);
  EXPECT_EQ(St()->BootServices->LocateProtocol(&FORM_UTILITY_PROTOCOL::Guid, nullptr, &p), EFI_SUCCESS);
}

}  // namespace
