// The language variables after start-up, for each state the previous boot
// and the user can leave them in.
#include <algorithm>
#include <tuple>

#include "setupinfo/core/form_sets.h"
#include "setupinfo/core/language_variables.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

constexpr UINT32 NV_BS = 3;
constexpr UINT32 NV_BS_RT = 7;

std::string Rfc(const char* Code) { return std::string(Code, strlen(Code) + 1); }

// A later boot: the recorded list is there, the form sets wait for the
// trigger, and start-up only reconciles.
class Languages : public SetupInfoTest {
 protected:
  void Boot(const std::string& List) {
    PutVariable(PLATFORM_LAST_LANG_CODES_NAME, SETUP_VARIABLE_GUID, List, NV_BS);
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    ASSERT_EQ(Forms().Calls().LoadResources, 0u);
  }
  void PutPlatformLang(const std::string& Value) { PutVariable(PLATFORM_LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, Value, NV_BS_RT); }
  void PutLang(const std::string& Value) { PutVariable(LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, Value, NV_BS_RT); }
  void PutLastLang(const std::string& Value) { PutVariable(PLATFORM_LAST_LANG_NAME, SETUP_VARIABLE_GUID, Value, NV_BS); }
};

TEST_F(Languages, LangChangedSinceLastBootWins) {
  PutPlatformLang(Rfc("en-US"));
  PutLang("jpn");
  PutLastLang(Rfc("en-US"));
  Boot(Rfc("en-US;ja-JP"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_CODES_NAME), Rfc("en-US;ja-JP"));
  EXPECT_EQ(GlobalVariable(LANG_CODES_NAME), "engjpn");
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("ja-JP"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "jpn");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), Rfc("ja-JP"));
}

TEST_F(Languages, PlatformLangChangedSinceLastBootWins) {
  PutPlatformLang(Rfc("en-US"));
  PutLang("jpn");
  PutLastLang(Rfc("ja-JP"));
  Boot(Rfc("en-US;ja-JP"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("en-US"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "eng");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), Rfc("en-US"));
}

TEST_F(Languages, WithoutALastLanguagePlatformLangWins) {
  PutPlatformLang(Rfc("de-DE"));
  PutLang("kor");
  Boot(Rfc("de-DE;ko-KR"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("de-DE"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "ger");
}

TEST_F(Languages, SameLanguageIgnoringCaseWritesOnlyTheLastLanguage) {
  PutPlatformLang(Rfc("EN-US"));
  PutLang("eng");
  Boot(Rfc("en-US"));
  std::vector<std::u16string> Expected = {PLATFORM_LANG_CODES_NAME, LANG_CODES_NAME, PLATFORM_LAST_LANG_NAME};
  EXPECT_EQ(WrittenNames(), Expected);
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("EN-US"));
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), Rfc("EN-US"));
}

TEST_F(Languages, NeitherPresentTakesTheFirstCodeOfTheList) {
  Boot(Rfc("ru-RU;en-US"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("ru-RU"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "rus");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), Rfc("ru-RU"));
  // The published list is the whole one, not the cut first code.
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_CODES_NAME), Rfc("ru-RU;en-US"));
}

TEST_F(Languages, OnlyLangPresentGivesPlatformLangItsCode) {
  PutLang("zho");
  Boot(Rfc("zh-chs;zh-cht"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("zh-chs"));
  EXPECT_EQ(GlobalVariable(LANG_CODES_NAME), "zhochi");
}

TEST_F(Languages, ChineseTraditionalConvertsBothWays) {
  PutLang("chi");
  Boot(Rfc("zh-cht"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("zh-cht"));
  EXPECT_EQ(GlobalVariable(LANG_CODES_NAME), "chi");
}

TEST_F(Languages, OnlyPlatformLangPresentGivesLangItsCode) {
  PutPlatformLang(Rfc("zh-cht"));
  Boot(Rfc("zh-cht"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "chi");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), Rfc("zh-cht"));
}

TEST_F(Languages, CodesOutsideTheTableLeaveLangCodesAsItWas) {
  PutVariable(LANG_CODES_NAME, EFI_GLOBAL_VARIABLE_GUID, "eng", 6);
  Boot(Rfc("fr-FR;it-IT"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_CODES_NAME), Rfc("fr-FR;it-IT"));
  EXPECT_EQ(GlobalVariable(LANG_CODES_NAME), "eng");
  // The first code has no ISO code, so only "PlatformLang" can be set.
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("fr-FR"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "<none>");
}

TEST_F(Languages, CodesOutsideTheTableAreSkippedInLangCodes) {
  Boot(Rfc("fr-FR;es-ES;xx;ja-JP"));
  EXPECT_EQ(GlobalVariable(LANG_CODES_NAME), "spajpn");
}

TEST_F(Languages, LangOutsideTheTableIsRewrittenFromPlatformLang) {
  PutPlatformLang(Rfc("de-DE"));
  PutLang("xyz");
  PutLastLang(Rfc("de-DE"));
  Boot(Rfc("de-DE"));
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("de-DE"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "ger");
}

// "PlatformLang" follows "Lang" alone; one outside the table (or too short to
// hold a code) gives it nothing to follow, so no language is written.
TEST_F(Languages, LangOutsideTheTableWithoutPlatformLangWritesNoLanguage) {
  PutLang("fra");
  Boot(Rfc("ko-KR"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "fra");
  std::vector<std::u16string> Expected = {PLATFORM_LANG_CODES_NAME, LANG_CODES_NAME};
  EXPECT_EQ(WrittenNames(), Expected);

  PutLang("e");
  M().Reboot();
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), "<none>");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), "<none>");
}

TEST_F(Languages, FirstBootWritesEachVariableWithItsAttributesAndSize) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  using Write = std::tuple<std::u16string, UINT32, std::string>;
  const std::u16string Languages[] = {PLATFORM_LAST_LANG_CODES_NAME, PLATFORM_LANG_CODES_NAME, LANG_CODES_NAME,
                                      PLATFORM_LANG_NAME,            LANG_NAME,                PLATFORM_LAST_LANG_NAME};
  std::vector<Write> Writes;
  for (auto& Entry : M().Variables().SetLog())
    if (std::find(std::begin(Languages), std::end(Languages), Entry.Name) != std::end(Languages))
      Writes.emplace_back(Entry.Name, Entry.Attributes, std::string(Entry.Data.begin(), Entry.Data.end()));
  // The pages may write variables of their own while loading; these are the language ones.
  const std::vector<Write> Expected = {{PLATFORM_LAST_LANG_CODES_NAME, 3, Rfc("en-US;de-DE;ja-JP")},
                                       {PLATFORM_LANG_CODES_NAME, 6, Rfc("en-US;de-DE;ja-JP")},
                                       {LANG_CODES_NAME, 6, "enggerjpn"},
                                       {PLATFORM_LANG_NAME, 7, Rfc("en-US")},
                                       {LANG_NAME, 7, "eng"},
                                       {PLATFORM_LAST_LANG_NAME, 3, Rfc("en-US")}};
  EXPECT_EQ(Writes, Expected);
}

TEST_F(Languages, UnterminatedStoredValuesAreReadWithinTheirSize) {
  PutPlatformLang("ja-JP");  // no NUL
  PutLang("jpn");
  Boot("en-US;ja-JP");  // no NUL either
  EXPECT_EQ(GlobalVariable(LANG_CODES_NAME), "engjpn");
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), "ja-JP");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), "ja-JP");
}

TEST_F(Languages, AllocationFailureCountsAsAbsentAndLeaksNothing) {
  PutPlatformLang(Rfc("en-US"));
  PutLang("jpn");
  PutLastLang(Rfc("en-US"));
  Boot(Rfc("en-US;ja-JP"));
  const size_t Live = M().Pool().LiveAllocationCount();
  const size_t Before = M().Pool().AllocationCount();
  ReconcileLanguageVariables();
  const size_t Attempts = M().Pool().AllocationCount() - Before;
  ASSERT_GE(Attempts, 4u);
  for (size_t n = 0; n < Attempts; ++n) {
    M().Pool().FailAllocationAfter(n);
    ReconcileLanguageVariables();
    EXPECT_FALSE(M().Pool().FailurePending()) << "allocation " << n;
    M().Pool().ClearFailure();
    EXPECT_EQ(M().Pool().LiveAllocationCount(), Live) << "allocation " << n;
  }
}

// The main form set's package list without languages: the list cannot be
// had, and the driver's own language is recorded.
TEST_F(Languages, MainFormSetWithoutLanguagesRecordsEnUs) {
  std::vector<UINT8> Bare(24, 0);
  const EFI_GUID Main = *FormSetDescriptions[0].PackageListGuid;
  memcpy(Bare.data(), &Main, sizeof Main);
  Bare[16] = 24;                    // package list length
  Bare[20] = 4, Bare[23] = 0xDF;    // end package
  Forms().AddResource(Main, Bare);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_CODES_NAME), Rfc("en-US"));
  EXPECT_EQ(GlobalVariable(LANG_CODES_NAME), "eng");
}

}  // namespace
}  // namespace setupinfo_test

namespace setupinfo_test {
namespace {

// With the last language recorded in another case too, nothing differs but
// the case: only the last language is written.
TEST_F(Languages, SameLanguageInEveryVariableIgnoringCaseWritesOnlyTheLastLanguage) {
  PutPlatformLang(Rfc("EN-US"));
  PutLang("eng");
  PutLastLang(Rfc("EN-US"));
  Boot(Rfc("en-US"));
  std::vector<std::u16string> Expected = {PLATFORM_LANG_CODES_NAME, LANG_CODES_NAME, PLATFORM_LAST_LANG_NAME};
  EXPECT_EQ(WrittenNames(), Expected);
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), Rfc("EN-US"));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "eng");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), Rfc("EN-US"));
}

}  // namespace
}  // namespace setupinfo_test
