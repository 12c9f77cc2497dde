// Start-up: immediate loading on a first boot, deferred loading on later
// boots, and a driver that stays loaded whatever fails.
#include <algorithm>

#include "setupinfo/core/callback_dispatch.h"
#include "setupinfo/core/language_variables.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

using StartUp = SetupInfoTest;

// A question that no row of the static table answers.
constexpr EFI_QUESTION_ID UNUSED_KEY = 0x0ABC;

size_t IndexOf(const std::vector<std::u16string>& Names, const std::u16string& Name) {
  return std::find(Names.begin(), Names.end(), Name) - Names.begin();
}

TEST_F(StartUp, FirstBootLoadsAtOnceAndRecordsLanguagesBeforeReconciling) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);
  for (auto& Row : CoreState().FormSets) EXPECT_NE(Row.HiiHandle, nullptr) << "class " << Row.Class;

  auto Names = WrittenNames();
  size_t Recorded = IndexOf(Names, PLATFORM_LAST_LANG_CODES_NAME);
  ASSERT_LT(Recorded, Names.size());
  EXPECT_LT(Recorded, IndexOf(Names, PLATFORM_LANG_CODES_NAME));
  EXPECT_EQ(GlobalVariable(LANG_NAME), "eng");
}

// Whether the registry could be found when the form sets were loaded.
FORM_UTILITY_PROTOCOL::LoadResourcesFn gLoadResources = nullptr;
bool gRegistryFoundAtLoad = false;
EFI_STATUS EFIAPI LoadResourcesWatchingTheRegistry(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table,
                                                   FORM_SET_LOADED_CALLBACK Callback) {
  VOID* Interface = nullptr;
  gRegistryFoundAtLoad = !EFI_ERROR(gBS()->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, &Interface));
  return gLoadResources(ImageHandle, Count, Table, Callback);
}

TEST_F(StartUp, RegistryIsInstalledBeforeTheFormSetsAreLoaded) {
  gRegistryFoundAtLoad = false;
  gLoadResources = Forms().Protocol()->LoadResources;
  Forms().Protocol()->LoadResources = LoadResourcesWatchingTheRegistry;
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);
  EXPECT_TRUE(gRegistryFoundAtLoad);
}

TEST_F(StartUp, LaterBootWaitsForTheTriggerAndLoadsOnce) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  M().Reboot();
  EXPECT_EQ(Forms().Calls().LoadResources, 0u);
  EXPECT_EQ(FormSetHandle(0x1), nullptr);
  // The reconciliation ran on the list left by the first boot.
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_CODES_NAME), std::string("en-US;de-DE;ja-JP", 18));

  ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);
  EXPECT_NE(FormSetHandle(0x1), nullptr);
  EXPECT_EQ(CoreState().FormSetLoadEvent, nullptr);

  ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);
}

TEST_F(StartUp, TriggerBeforeTheHiiProtocolsLoadsOnTheNextTrigger) {
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  M().Reboot();
  RemoveHiiProtocols();
  ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 0u);
  EXPECT_FALSE(CoreState().Loaded);

  RestoreHiiProtocols();
  ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);
}

EFI_STATUS EFIAPI FailingInstallMultiple(EFI_HANDLE*, ...) { return EFI_OUT_OF_RESOURCES; }
EFI_STATUS EFIAPI FailingCreateEvent(UINT32, EFI_TPL, EFI_EVENT_NOTIFY, VOID*, EFI_EVENT*) {
  return EFI_OUT_OF_RESOURCES;
}

TEST_F(StartUp, RegistryThatCannotBeInstalledStillLoadsAndAnswersQuestions) {
  BS()->InstallMultipleProtocolInterfaces = FailingInstallMultiple;
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Registry(), nullptr);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_EXIT;
  EXPECT_EQ(SetupCallback(Instance(0x10), EFI_BROWSER_ACTION_CHANGED, UNUSED_KEY, 0, nullptr, &Request), EFI_NOT_FOUND);
  EXPECT_EQ(Request, EFI_BROWSER_ACTION_REQUEST_NONE);
}

TEST_F(StartUp, EventThatCannotBeCreatedLeavesTheFormSetsUnloadedThisBoot) {
  PutVariable(PLATFORM_LAST_LANG_CODES_NAME, SETUP_VARIABLE_GUID, std::string("en-US", 6), 3);
  BS()->CreateEvent = FailingCreateEvent;
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 0u);
  EXPECT_EQ(GlobalVariable(LANG_NAME), "eng");
}

TEST_F(StartUp, MissingHiiProtocolsOnAFirstBootLoadNothingAndWriteNoLanguage) {
  RemoveHiiProtocols();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 0u);
  // Nothing recorded, so no language the pages are known to carry: the
  // language variables stay as they were.
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_CODES_NAME), "<none>");
  EXPECT_EQ(GlobalVariable(PLATFORM_LANG_NAME), "<none>");
  EXPECT_EQ(GlobalVariable(LANG_NAME), "<none>");
  EXPECT_EQ(SetupGuidVariable(PLATFORM_LAST_LANG_NAME), "<none>");
  EXPECT_TRUE(WrittenNames().empty());
}

TEST_F(StartUp, AllocationFailureAnywhereInAFirstBootLeaksNothing) {
  const size_t Before = M().Pool().AllocationCount();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  const size_t Attempts = M().Pool().AllocationCount() - Before;
  ASSERT_GT(Attempts, 0u);

  for (size_t n = 0; n < Attempts; ++n) {
    Machine_.reset();
    Machine_ = std::make_unique<sim::Machine>();
    M().Pool().FailAllocationAfter(n);
    EXPECT_EQ(LoadDriver(), EFI_SUCCESS) << "allocation " << n;
    EXPECT_EQ(M().LeakReport(), "") << "allocation " << n;
    EXPECT_TRUE(M().Misuse().empty()) << "allocation " << n;
  }
}

}  // namespace
}  // namespace setupinfo_test

namespace setupinfo_test {
namespace {

// Only a probe that finds the recorded list means an earlier boot loaded the
// form sets; a store that cannot tell is a first boot.
TEST_F(StartUp, ListProbeThatFailsOtherwiseCountsAsAbsent) {
  PutVariable(PLATFORM_LAST_LANG_CODES_NAME, SETUP_VARIABLE_GUID, std::string("en-US", 6), 3);
  M().Variables().FailGet(PLATFORM_LAST_LANG_CODES_NAME, EFI_DEVICE_ERROR);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().LoadResources, 1u);
  for (auto& Row : CoreState().FormSets) EXPECT_NE(Row.HiiHandle, nullptr) << "class " << Row.Class;
  M().Variables().ClearFailures();
}

}  // namespace
}  // namespace setupinfo_test
