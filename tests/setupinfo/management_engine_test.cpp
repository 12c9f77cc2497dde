// Management engine information and the legacy-area version on every form
// set, from the engine's variables, Setup and the legacy BIOS area.
#include <optional>
#include <string>
#include <vector>

#include "platform/management_engine.h"
#include "setupinfo/pages/platform/management_engine.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 AllClasses[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x30, 0x40, 0x100};

class ManagementEngine : public SetupInfoTest {
 protected:
  std::u16string Page(UINT16 Id, UINT16 Class = 0x30, const char* Language = "en-US") {
    return HiiText(FormSetHandle(Class), Id, Language);
  }
  void PutMeInfo(std::vector<UINT8> Bytes) {
    M().Variables().Put(u"MeInfoSetup", ME_INFO_SETUP::Guid, 0x3, std::move(Bytes));
  }
  void PutPtt(std::vector<UINT8> Bytes) {
    M().Variables().Put(u"PttInfoVariable", PTT_INFO_VARIABLE::Guid, 0x3, std::move(Bytes));
  }
  static std::vector<UINT8> MeInfo(UINT8 State, UINT32 A, UINT32 B, UINT32 C, UINT32 D) {
    std::vector<UINT8> Bytes(20, 0);
    Bytes[0] = State;
    const UINT32 Numbers[] = {A, B, C, D};
    for (int I = 0; I < 4; ++I)
      for (int J = 0; J < 4; ++J) Bytes[4 + 4 * I + J] = (UINT8)(Numbers[I] >> (8 * J));
    return Bytes;
  }
  void SetSizeClass(UINT8 Value) {
    std::vector<UINT8> Setup(1172, 0);
    Setup[0x40A] = Value;
    M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, 0x7, Setup);
  }
  void Mark() {
    for (UINT16 Id : {STR_ME_VERSION, STR_PTT_INFO, STR_ME_STATE, STR_ME_FIRMWARE_SIZE})
      SetHiiText(FormSetHandle(0x30), Id, "en-US", u"-");
  }
  void Run() { InitManagementEngineStrings(FormSetHandle(0x30), 0x30); }
};

TEST_F(ManagementEngine, DefaultBoardShowsItsEngineOnEveryFormSet) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  for (UINT16 Class : AllClasses) {
    SCOPED_TRACE(testing::Message() << "class 0x" << std::hex << Class);
    EXPECT_EQ(Page(STR_ME_VERSION, Class), u"9.1.0.1166");
    EXPECT_EQ(Page(STR_PTT_INFO, Class), u"1 / 2");
    EXPECT_EQ(Page(STR_ME_STATE, Class), u"Normal");
    EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE, Class), u"5MB");
    EXPECT_EQ(Page(STR_LEGACY_AREA_VERSION, Class), u"0a.05");
  }
  // The state text is the package's own, in the current language only.
  EXPECT_EQ(Page(STR_ME_STATE, 0x30, "de-DE"), u"k. A.");
}

TEST_F(ManagementEngine, StateCodeUsesTheLowFourBitsAndTheTableOnly) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  struct Case {
    UINT8 State;
    const char16_t* Text;  // nullptr: left as it was
  } Cases[] = {{0, u"Reset"},    {1, u"Initializing"}, {2, u"Recovery"},   {3, u"Normal"}, {4, u"Disabled"},
               {5, u"Initializing"}, {0x13, u"Normal"}, {6, nullptr}, {0x0F, nullptr}, {0xF6, nullptr}};
  for (const Case& C : Cases) {
    PutMeInfo(MeInfo(C.State, 1, 2, 3, 4));
    Mark();
    Run();
    EXPECT_EQ(Page(STR_ME_STATE), C.Text ? C.Text : u"-") << int(C.State);
    // The other strings do not depend on the state.
    EXPECT_EQ(Page(STR_ME_VERSION), u"1.2.3.4") << int(C.State);
  }
}

TEST_F(ManagementEngine, VersionPrintsFullUnsignedNumbersInOrder) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  PutMeInfo(MeInfo(3, 0, 0x7FFFFFFF, 65536, 12));
  Run();
  EXPECT_EQ(Page(STR_ME_VERSION), u"0.2147483647.65536.12");
}

// Shorter than the record leaves part of it unread, so it shows nothing
// rather than old bytes; longer does not fit.
TEST_F(ManagementEngine, MeInfoSizeMatrix) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  for (std::optional<size_t> Size : {std::optional<size_t>(), std::optional<size_t>(0), std::optional<size_t>(1),
                                     std::optional<size_t>(19), std::optional<size_t>(20), std::optional<size_t>(21),
                                     std::optional<size_t>(4096)}) {
    SCOPED_TRACE(Size ? std::to_string(*Size) : "absent");
    // A good read first, so any stale buffer would hold these numbers.
    PutMeInfo(MeInfo(3, 7, 7, 7, 7));
    Run();
    M().Variables().Erase(u"MeInfoSetup", ME_INFO_SETUP::Guid);
    if (Size) {
      std::vector<UINT8> Bytes = MeInfo(4, 1, 1, 1, 1);
      Bytes.resize(*Size, 1);
      PutMeInfo(Bytes);
    }
    Mark();
    Run();
    const bool Shown = Size && *Size == 20;
    EXPECT_EQ(Page(STR_ME_VERSION), Shown ? u"1.1.1.1" : u"-");
    EXPECT_EQ(Page(STR_ME_STATE), Shown ? u"Disabled" : u"-");
    EXPECT_EQ(Page(STR_PTT_INFO), Shown ? u"1 / 2" : u"-");
    EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE), Shown ? u"5MB" : u"-");
  }
}

TEST_F(ManagementEngine, PttSizeMatrixTouchesOnlyItsString) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  PutMeInfo(MeInfo(3, 1, 2, 3, 4));
  for (std::optional<size_t> Size :
       {std::optional<size_t>(), std::optional<size_t>(0), std::optional<size_t>(1), std::optional<size_t>(2),
        std::optional<size_t>(3), std::optional<size_t>(300)}) {
    SCOPED_TRACE(Size ? std::to_string(*Size) : "absent");
    PutPtt({9, 9});
    Run();
    M().Variables().Erase(u"PttInfoVariable", PTT_INFO_VARIABLE::Guid);
    if (Size) {
      std::vector<UINT8> Bytes(*Size, 200);
      if (*Size >= 2) Bytes[1] = 0;
      PutPtt(Bytes);
    }
    Mark();
    Run();
    EXPECT_EQ(Page(STR_PTT_INFO), Size && *Size == 2 ? u"200 / 0" : u"-");
    EXPECT_EQ(Page(STR_ME_VERSION), u"1.2.3.4");
  }
}

TEST_F(ManagementEngine, FirmwareSizeClassKeepsTheLastGoodReadOfSetup) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  PutMeInfo(MeInfo(3, 1, 2, 3, 4));
  for (UINT8 Value : {0, 1, 2, 5, 0xFF}) {
    SetSizeClass(Value);
    Run();
    EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE), u"Unidentified") << int(Value);
  }
  SetSizeClass(3);
  Run();
  EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE), u"1.5MB");
  // Unreadable (missing, or too large for the record): the last class stays.
  M().Variables().Erase(u"Setup", SETUP_VARIABLE_GUID);
  Run();
  EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE), u"1.5MB");
  M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, 0x7, std::vector<UINT8>(1173, 4));
  Run();
  EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE), u"1.5MB");
  // A record that stops before the byte has no class.
  M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, 0x7, std::vector<UINT8>(0x40A, 4));
  Run();
  EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE), u"Unidentified");
  SetSizeClass(4);
  Run();
  EXPECT_EQ(Page(STR_ME_FIRMWARE_SIZE), u"5MB");
}

TEST_F(ManagementEngine, AStateTextThatCannotBeFetchedSetsNothing) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  PutMeInfo(MeInfo(0, 1, 2, 3, 4));
  SetHiiText(FormSetHandle(0x30), 0x07D8, "en-US", std::u16string(200, u'x'));
  Mark();
  Run();
  // 200 characters do not fit the 256-byte buffer: the fetch fails.
  EXPECT_EQ(Page(STR_ME_STATE), u"-");
  EXPECT_EQ(Page(STR_ME_VERSION), u"1.2.3.4");
  SetHiiText(FormSetHandle(0x30), 0x07D8, "en-US", std::u16string(127, u'y'));
  Run();
  EXPECT_EQ(Page(STR_ME_STATE), std::u16string(127, u'y'));
}

TEST_F(ManagementEngine, LegacyAreaBytesShowAsTwoLowerCaseHexDigits) {
  const UINT8 Bytes[] = {0xAB, 0x00};
  M().Board().PhysicalWrite(0xF0018, Bytes, 2);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Page(STR_LEGACY_AREA_VERSION, 0x4), u"ab.00");
}

TEST_F(ManagementEngine, LockedQuestionIsAlwaysTurnedBackToZero) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  for (UINT8 Type : {EFI_IFR_TYPE_NUM_SIZE_8, EFI_IFR_TYPE_NUM_SIZE_64}) {
    EFI_IFR_TYPE_VALUE Value{};
    Value.u64 = ~0ull;
    EXPECT_EQ(Browser().Callback(0x30, EFI_BROWSER_ACTION_CHANGING, 0x4BA, Type, Value), EFI_SUCCESS);
    EXPECT_EQ(UINT64(Browser().Log().back().ValueOut.u64), 0u);
  }
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGED, EFI_BROWSER_ACTION_RETRIEVE, (EFI_BROWSER_ACTION)10}) {
    EFI_IFR_TYPE_VALUE Value{};
    Value.u64 = 1;
    EXPECT_EQ(Browser().Callback(0x30, Action, 0x4BA, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_UNSUPPORTED) << Action;
    EXPECT_EQ(UINT64(Browser().Log().back().ValueOut.u64), 1u) << Action;
  }
  // Outside a callback there is nothing to turn back.
  EXPECT_EQ(OnLockedQuestionChanging(FormSetHandle(0x30), 0x30, 0, 0x4BA), EFI_UNSUPPORTED);
}

}  // namespace
}  // namespace setupinfo_test
