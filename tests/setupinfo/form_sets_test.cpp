// Form-set loading and the page-string setters.
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/form_sets.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

using FormSets = SetupInfoTest;

TEST_F(FormSets, NineFormSetsArePublishedAndTheClass20OneIsRemovedAgain) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  ASSERT_EQ(Forms().FormSets().size(), 9u);
  for (UINTN i = 0; i < FORM_SET_COUNT; ++i) {
    const FORM_SET_INFO& Row = CoreState().FormSets[i];
    const auto* Published = PublishedFormSet(Row.Class);
    ASSERT_NE(Published, nullptr) << "class " << Row.Class;
    EXPECT_EQ(Published->HiiHandle, Row.HiiHandle);
    EXPECT_EQ(Published->ConfigAccess, &CoreState().ConfigAccess[i].Protocol);
    EXPECT_EQ(Published->Guid, *FormSetDescriptions[i].PackageListGuid);
    EXPECT_EQ(Database().Find(Row.HiiHandle) != nullptr, Row.Class != 0x20) << "class " << Row.Class;
  }
}

TEST_F(FormSets, SecureBootPageCountsAreSet) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(HiiText(FormSetHandle(0x40), 0x42), u"3");
  EXPECT_EQ(HiiText(FormSetHandle(0x40), 0x44), u"8");
  // Only the current language is set.
  EXPECT_EQ(HiiText(FormSetHandle(0x40), 0x42, "de-DE"), u"0");
}

TEST_F(FormSets, AFormSetWithoutHandleGetsNoStrings) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const UINTN Before = Forms().Calls().SetHiiString;
  FORM_SET_INFO Unpublished = CoreState().FormSets[7];
  Unpublished.HiiHandle = nullptr;
  FormSetLoaded(FormSetHandle(0x40), &Unpublished);
  FormSetLoaded(FormSetHandle(0x40), nullptr);
  EXPECT_EQ(Forms().Calls().SetHiiString, Before);
}

TEST_F(FormSets, PageStringIsCutAt1023Characters) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  std::u16string Long(1500, u'x');
  Long[1022] = u'y';
  EXPECT_EQ(SetPageString(FormSetHandle(0x1), 0x0D, u"%s!", Long.c_str()), EFI_SUCCESS);
  std::u16string Text = HiiText(FormSetHandle(0x1), 0x0D);
  EXPECT_EQ(Text.size(), 1023u);
  EXPECT_EQ(Text.back(), u'y');
}

TEST_F(FormSets, LookUpsFindThePublishedRowsInTableOrder) {
  // Nothing is published before loading.
  for (const FORM_SET_DESCRIPTION& Row : FormSetDescriptions) EXPECT_EQ(FormSetHiiHandle(Row.Class), nullptr);
  bool Visited = false;
  ForEachFormSet({FORM_SET_CLASS_MAIN}, [&](const FORM_SET_INFO&) { Visited = true; });
  EXPECT_FALSE(Visited);

  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  for (const FORM_SET_DESCRIPTION& Row : FormSetDescriptions) {
    EXPECT_NE(FormSetHiiHandle(Row.Class), nullptr) << "class " << Row.Class;
    EXPECT_EQ(FormSetHiiHandle(Row.Class), FormSetHandle(Row.Class)) << "class " << Row.Class;
  }
  // The class 0x20 row keeps its handle after its package list is removed.
  EXPECT_NE(FormSetHiiHandle(FORM_SET_CLASS_MEMORY), nullptr);
  EXPECT_EQ(FormSetHiiHandle(0x3), nullptr);  // no such form set

  std::vector<UINT16> Order;
  ForEachFormSet({FORM_SET_CLASS_EXIT, FORM_SET_CLASS_TUNING, FORM_SET_CLASS_MAIN},
                 [&](const FORM_SET_INFO& Row) { Order.push_back(Row.Class); });
  EXPECT_EQ(Order, (std::vector<UINT16>{FORM_SET_CLASS_MAIN, FORM_SET_CLASS_TUNING, FORM_SET_CLASS_EXIT}));
}

TEST_F(FormSets, OutsideTextIsSetAsItStands) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const EFI_HII_HANDLE Main = FormSetHandle(FORM_SET_CLASS_MAIN);
  // A disk model or a file name may hold what a format would act on.
  EXPECT_EQ(SetPageText(Main, 0x0D, u"Disk %s%d%n 100%"), EFI_SUCCESS);
  EXPECT_EQ(HiiText(Main, 0x0D), u"Disk %s%d%n 100%");
  EXPECT_EQ(SetPageText(Main, 0x0D, "Caf\xE9 %x"), EFI_SUCCESS);
  EXPECT_EQ(HiiText(Main, 0x0D), u"Caf\u00E9 %x");
  // A fixed-size field without its NUL is read no further than its size.
  const CHAR8 Model[8] = {'M', 'O', 'D', 'E', 'L', ' ', 'X', 'Y'};
  EXPECT_EQ(SetPageText(Main, 0x0D, Model, 6), EFI_SUCCESS);
  EXPECT_EQ(HiiText(Main, 0x0D), u"MODEL ");
  std::u16string Long(1500, u'z');
  EXPECT_EQ(SetPageText(Main, 0x0D, Long.c_str()), EFI_SUCCESS);
  EXPECT_EQ(HiiText(Main, 0x0D).size(), 1023u);
  EXPECT_EQ(SetPageText(Main, 0x0D, (const CHAR16*)nullptr), EFI_INVALID_PARAMETER);
}

TEST_F(FormSets, PageStringWithoutTheServiceIsUnsupported) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  // Located again on every call while missing.
  CoreState().FormUtility = nullptr;
  ASSERT_EQ(Forms().Uninstall(), EFI_SUCCESS);
  EXPECT_EQ(SetPageString(FormSetHandle(0x1), 0x0D, u"x"), EFI_UNSUPPORTED);
  // Every other call of the service, too, and none of them touches its outputs.
  const EFI_HII_HANDLE Main = FormSetHandle(0x1);
  UINT8 Store[4] = {1, 2, 3, 4};
  UINTN Size = sizeof(Store);
  CHAR16 Text[8] = {u'k', 0};
  FORM_SET_INFO Table[FORM_SET_COUNT] = {};
  EXPECT_EQ(LoadResources(nullptr, FORM_SET_COUNT, Table, FormSetLoaded), EFI_UNSUPPORTED);
  EXPECT_EQ(GetBrowserData(&Size, Store, &SETUP_VARIABLE_GUID, SETUP_VARIABLE_NAME), EFI_UNSUPPORTED);
  EXPECT_EQ(SetBrowserData(Size, Store, &SETUP_VARIABLE_GUID, SETUP_VARIABLE_NAME), EFI_UNSUPPORTED);
  Size = sizeof(Text);
  EXPECT_EQ(GetHiiString(Main, 0x0D, &Size, Text), EFI_UNSUPPORTED);
  EXPECT_EQ(Size, sizeof(Text));
  EXPECT_EQ(Text[0], u'k');
  EXPECT_EQ(Table[0].HiiHandle, nullptr);
  ASSERT_EQ(Forms().Install(), EFI_SUCCESS);
  EXPECT_EQ(SetPageString(Main, 0x0D, u"x"), EFI_SUCCESS);
  EXPECT_EQ(GetHiiString(Main, 0x0D, &Size, Text), EFI_SUCCESS);
  EXPECT_EQ(std::u16string(Text), u"x");
}

class AllLanguages : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    Main = FormSetHandle(0x1);
  }
  EFI_HII_HANDLE Main = nullptr;
};

TEST_F(AllLanguages, EachLanguageFillsItsOwnTemplate) {
  SetHiiText(Main, 0x13, "en-US", u"%d MHz");
  SetHiiText(Main, 0x13, "de-DE", u"Takt %d MHz");
  SetHiiText(Main, 0x13, "ja-JP", u"%d MHz です");
  EXPECT_EQ(SetPageStringAllLanguages(Main, 0x13, 0, FALSE, nullptr, 2400), EFI_SUCCESS);
  EXPECT_EQ(HiiText(Main, 0x13, "en-US"), u"2400 MHz");
  EXPECT_EQ(HiiText(Main, 0x13, "de-DE"), u"Takt 2400 MHz");
  EXPECT_EQ(HiiText(Main, 0x13, "ja-JP"), u"2400 MHz です");
}

TEST_F(AllLanguages, FormatAndTemplateFillTheStringsOwnText) {
  SetHiiText(Main, 0x0F, "en-US", u"[%s]");
  SetHiiText(Main, 0x0F, "de-DE", u"<%s>");
  SetHiiText(Main, 0x0D, "en-US", u"Vendor: %s");
  SetHiiText(Main, 0x0D, "de-DE", u"Hersteller: %s");
  SetHiiText(Main, 0x0D, "ja-JP", u"%s");
  EXPECT_EQ(SetPageStringAllLanguages(Main, 0x0D, 0x0F, FALSE, u"%d/%a", 7, "x"), EFI_SUCCESS);
  EXPECT_EQ(HiiText(Main, 0x0D, "en-US"), u"Vendor: [7/x]");
  EXPECT_EQ(HiiText(Main, 0x0D, "de-DE"), u"Hersteller: <7/x>");
  // The ja-JP template has no conversion, so its own text comes through.
  EXPECT_EQ(HiiText(Main, 0x0D, "ja-JP"), u"不明");

  // Direct: the template's result is the text.
  EXPECT_EQ(SetPageStringAllLanguages(Main, 0x15, 0x0F, TRUE, u"%d", 3), EFI_SUCCESS);
  EXPECT_EQ(HiiText(Main, 0x15, "en-US"), u"[3]");
  EXPECT_EQ(HiiText(Main, 0x15, "de-DE"), u"<3>");
}

TEST_F(AllLanguages, APackageListWithoutLanguagesIsSkipped) {
  std::vector<UINT8> Bare(24, 0);
  Bare[16] = 24;
  Bare[20] = 4, Bare[23] = 0xDF;
  EFI_HII_HANDLE Handle = nullptr;
  ASSERT_EQ(Database().AddPackageList(Bare.data(), Bare.size(), nullptr, &Handle), EFI_SUCCESS);
  const size_t Live = M().Pool().LiveAllocationCount();
  // The language query's own answer comes back, and nothing is kept.
  EXPECT_EQ(SetPageStringAllLanguages(Handle, 0x13, 0, FALSE, nullptr, 2400), EFI_NOT_FOUND);
  EXPECT_EQ(M().Pool().LiveAllocationCount(), Live);
}

TEST_F(AllLanguages, ATemplateMissingInEveryLanguageSetsNothing) {
  EXPECT_EQ(SetPageStringAllLanguages(Main, 0x13, 0x7FF, FALSE, nullptr, 1), EFI_NOT_FOUND);
  EXPECT_EQ(HiiText(Main, 0x13, "de-DE"), u"Unbekannt");
}

TEST_F(AllLanguages, AWorkBufferThatCannotBeHadSetsNothingAndLeaksNothing) {
  SetHiiText(Main, 0x13, "en-US", u"%d MHz");
  const size_t Live = M().Pool().LiveAllocationCount();
  const size_t Before = M().Pool().AllocationCount();
  EXPECT_EQ(SetPageStringAllLanguages(Main, 0x11, 0, FALSE, nullptr, 1), EFI_SUCCESS);
  const size_t Attempts = M().Pool().AllocationCount() - Before;
  ASSERT_EQ(Attempts, 4u);
  for (size_t n = 0; n < Attempts; ++n) {
    M().Pool().FailAllocationAfter(n);
    EXPECT_EQ(SetPageStringAllLanguages(Main, 0x13, 0, FALSE, nullptr, 2400), EFI_OUT_OF_RESOURCES) << n;
    EXPECT_EQ(M().Pool().LiveAllocationCount(), Live) << n;
    EXPECT_EQ(HiiText(Main, 0x13, "en-US"), u"%d MHz") << n;
  }
}

}  // namespace
}  // namespace setupinfo_test
