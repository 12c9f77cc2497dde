// Question dispatch: which item callbacks a browser callback reaches, in
// which order, with what, and what it returns.
#include "setupinfo/core/callback_dispatch.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

struct Call {
  int Who;
  EFI_HII_HANDLE HiiHandle;
  UINT16 Class, SubClass, Key;
  CALLBACK_PARAMETERS* Current;
  bool operator==(const Call&) const = default;
};
std::vector<Call> gCalls;
EFI_STATUS gAnswer[4];
CALLBACK_PARAMETERS* gCurrentAfterNested = (CALLBACK_PARAMETERS*)1;
sim::Pool* gPool = nullptr;
size_t gLiveBytesInCallback = 0;

EFI_STATUS EFIAPI MeasureLiveBytes(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  gLiveBytesInCallback = gPool->LiveBytes();
  return EFI_SUCCESS;
}

template <int Who>
EFI_STATUS EFIAPI Item(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key) {
  gCalls.push_back({Who, HiiHandle, Class, SubClass, Key, GetCurrentCallbackParameters()});
  return gAnswer[Who];
}

// Asks another question of the main form set while answering this one.
EFI_STATUS EFIAPI Nesting(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  const auto* Main = (const EFI_HII_CONFIG_ACCESS_PROTOCOL*)&CoreState().ConfigAccess[0];
  SetupCallback(Main, EFI_BROWSER_ACTION_CHANGING, 0x0F01, 0, nullptr, nullptr);
  gCurrentAfterNested = GetCurrentCallbackParameters();
  return EFI_SUCCESS;
}

class Dispatch : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    gCalls.clear();
    for (auto& A : gAnswer) A = EFI_SUCCESS;
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  }
  void TearDown() override {
    for (VOID* Token : Tokens_) EXPECT_EQ(Registry()->UnregisterItemCallback(Token), EFI_SUCCESS);
    SetupInfoTest::TearDown();
  }

  void Register(UINT16 Class, UINT16 Key, ITEM_CALLBACK Handler) {
    VOID* Token = nullptr;
    ASSERT_EQ(Registry()->RegisterItemCallback(Class, 0, Key, Handler, &Token), EFI_SUCCESS);
    Tokens_.push_back(Token);
  }

  EFI_STATUS Ask(UINT16 FormSetClass, EFI_QUESTION_ID Key, std::vector<ITEM_CALLBACK_ENTRY> Table = {}) {
    Table.push_back({});
    EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_SUBMIT;
    EFI_STATUS Status = DispatchQuestion(Instance(FormSetClass), EFI_BROWSER_ACTION_CHANGED, Key, EFI_IFR_TYPE_NUM_SIZE_8,
                                         &Value_, &Request, Span<const ITEM_CALLBACK_ENTRY>(Table.data(), Table.size()));
    EXPECT_EQ(Request, EFI_BROWSER_ACTION_REQUEST_NONE);
    EXPECT_EQ(GetCurrentCallbackParameters(), nullptr);
    return Status;
  }

  std::vector<int> Callers() {
    std::vector<int> Who;
    for (auto& C : gCalls) Who.push_back(C.Who);
    return Who;
  }

  EFI_IFR_TYPE_VALUE Value_{};
  std::vector<VOID*> Tokens_;
};

TEST_F(Dispatch, MainFormSetReachesEntriesOfEveryClass) {
  ASSERT_EQ(Ask(0x1, 0x4BA, {{0x30, 0, 0x4BA, 0, Item<0>}}), EFI_SUCCESS);
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].HiiHandle, FormSetHandle(0x1));
  EXPECT_EQ(gCalls[0].Class, 0x30);
  EXPECT_EQ(gCalls[0].Key, 0x4BA);
}

TEST_F(Dispatch, OtherFormSetsReachOnlyTheirOwnClass) {
  std::vector<ITEM_CALLBACK_ENTRY> Table = {{0x10, 0, 0x48E, 0, Item<0>}, {0x30, 0, 0x48E, 0, Item<1>}};
  ASSERT_EQ(Ask(0x30, 0x48E, Table), EFI_SUCCESS);
  EXPECT_EQ(Callers(), std::vector<int>{1});
  EXPECT_EQ(gCalls[0].HiiHandle, FormSetHandle(0x30));
}

TEST_F(Dispatch, NoMatchIsNotFoundOnlyWhileNothingIsRegistered) {
  std::vector<ITEM_CALLBACK_ENTRY> Table = {{0x10, 0, 0x48E, 0, Item<0>}};
  EXPECT_EQ(Ask(0x30, 0x48E, Table), EFI_NOT_FOUND);
  Register(0x8, 0x0F00, Item<1>);
  EXPECT_EQ(Ask(0x30, 0x48E, Table), EFI_SUCCESS);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(Dispatch, SubClassAndKeyMustMatchAndAnEmptyEntryEndsTheList) {
  std::vector<ITEM_CALLBACK_ENTRY> Table = {
      {0x10, 1, 0x48E, 0, Item<0>}, {0x10, 0, 0x48F, 0, Item<1>}, {0x10, 0, 0x48E, 0, nullptr}, {0x10, 0, 0x48E, 0, Item<2>}};
  EXPECT_EQ(Ask(0x10, 0x48E, Table), EFI_NOT_FOUND);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(Dispatch, RegisteredEntriesComeFirstAndAnAnswerEndsTheSearch) {
  std::vector<ITEM_CALLBACK_ENTRY> Table = {{0x10, 0, 0x48E, 0, Item<2>}};
  Register(0x10, 0x48E, Item<0>);
  Register(0x10, 0x48E, Item<1>);
  EXPECT_EQ(Ask(0x10, 0x48E, Table), EFI_SUCCESS);
  EXPECT_EQ(Callers(), std::vector<int>{0});

  gCalls.clear();
  gAnswer[0] = EFI_UNSUPPORTED;
  gAnswer[1] = EFI_UNSUPPORTED;
  gAnswer[2] = EFI_DEVICE_ERROR;
  EXPECT_EQ(Ask(0x10, 0x48E, Table), EFI_DEVICE_ERROR);
  EXPECT_EQ(Callers(), (std::vector<int>{0, 1, 2}));
}

TEST_F(Dispatch, EveryMatchDecliningGivesUnsupported) {
  gAnswer[0] = gAnswer[1] = EFI_UNSUPPORTED;
  Register(0x4, 0x0F00, Item<0>);
  EXPECT_EQ(Ask(0x4, 0x0F00, {{0x4, 0, 0x0F00, 0, Item<1>}}), EFI_UNSUPPORTED);
  EXPECT_EQ(Callers(), (std::vector<int>{0, 1}));
}

TEST_F(Dispatch, CurrentParametersLiveOnlyDuringTheCallback) {
  EXPECT_EQ(GetCurrentCallbackParameters(), nullptr);
  Register(0x2, 0x0F00, Item<0>);
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_RESET;
  Value_.u8 = 7;
  ASSERT_EQ(SetupCallback(Instance(0x2), EFI_BROWSER_ACTION_CHANGING, 0x0F00, EFI_IFR_TYPE_NUM_SIZE_8, &Value_, &Request),
            EFI_SUCCESS);
  EXPECT_EQ(Request, EFI_BROWSER_ACTION_REQUEST_NONE);
  ASSERT_EQ(gCalls.size(), 1u);
  // The record seen inside is gone now; its copy was taken there.
  EXPECT_NE(gCalls[0].Current, nullptr);
  EXPECT_EQ(GetCurrentCallbackParameters(), nullptr);

  CALLBACK_PARAMETERS* Seen = (CALLBACK_PARAMETERS*)1;
  ASSERT_EQ(Registry()->GetCurrentCallbackParameters(&Seen), EFI_SUCCESS);
  EXPECT_EQ(Seen, nullptr);
}

// What an item callback reads from the record while it runs.
CALLBACK_PARAMETERS gSeen;
EFI_STATUS EFIAPI Reader(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  CALLBACK_PARAMETERS* Through = nullptr;
  CALLBACK_REGISTRY_PROTOCOL* Registry = nullptr;
  gBS()->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, (VOID**)&Registry);
  Registry->GetCurrentCallbackParameters(&Through);
  if (Through != GetCurrentCallbackParameters() || Through == nullptr) return EFI_ABORTED;
  gSeen = *Through;
  return EFI_SUCCESS;
}

TEST_F(Dispatch, ItemCallbacksReadTheBrowserArguments) {
  Register(0x2, 0x0F00, Reader);
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_RESET;
  Value_.u16 = 0x1234;
  ASSERT_EQ(SetupCallback(Instance(0x2), EFI_BROWSER_ACTION_RETRIEVE, 0x0F00, EFI_IFR_TYPE_NUM_SIZE_16, &Value_, &Request),
            EFI_SUCCESS);
  EXPECT_EQ(gSeen.This, Instance(0x2));
  EXPECT_EQ(gSeen.Action, EFI_BROWSER_ACTION_RETRIEVE);
  EXPECT_EQ(gSeen.QuestionId, 0x0F00);
  EXPECT_EQ(gSeen.Type, EFI_IFR_TYPE_NUM_SIZE_16);
  EXPECT_EQ(gSeen.Value, &Value_);
  EXPECT_EQ(gSeen.ActionRequest, &Request);
}

// What the accessors give an item callback, and outside one.
struct ACCESSOR_VIEW {
  bool Inside;
  EFI_BROWSER_ACTION Action;
  const EFI_IFR_TYPE_VALUE* Value;
  UINT8 Type;
  bool Requested;
};
ACCESSOR_VIEW gView;
EFI_STATUS EFIAPI AccessorReader(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  gView = {InBrowserCallback(), CurrentBrowserAction(), CurrentValue(), CurrentValueType(),
           RequestBrowserAction(EFI_BROWSER_ACTION_REQUEST_EXIT)};
  return CurrentActionIs(BROWSER_ACTION_REFRESH) ? EFI_SUCCESS : EFI_ABORTED;
}

TEST_F(Dispatch, AccessorsReadTheCallbackAndAreSafeWithoutOne) {
  EXPECT_FALSE(InBrowserCallback());
  EXPECT_EQ(CurrentBrowserAction(), BROWSER_ACTION_NONE);
  EXPECT_FALSE(CurrentActionIs(EFI_BROWSER_ACTION_CHANGING));
  EXPECT_EQ(CurrentValue(), nullptr);
  EXPECT_EQ(CurrentValueType(), CALLBACK_VALUE_TYPE_NONE);
  EXPECT_FALSE(RequestBrowserAction(EFI_BROWSER_ACTION_REQUEST_EXIT));

  Register(0x2, 0x0F00, AccessorReader);
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_RESET;
  Value_.u8 = 15;
  EXPECT_EQ(SetupCallback(Instance(0x2), BROWSER_ACTION_REFRESH, 0x0F00, EFI_IFR_TYPE_NUM_SIZE_32, &Value_, &Request),
            EFI_SUCCESS);
  EXPECT_TRUE(gView.Inside);
  EXPECT_EQ(gView.Action, BROWSER_ACTION_REFRESH);
  EXPECT_EQ(gView.Value, &Value_);
  EXPECT_EQ(gView.Type, EFI_IFR_TYPE_NUM_SIZE_32);
  EXPECT_TRUE(gView.Requested);
  EXPECT_EQ(Request, EFI_BROWSER_ACTION_REQUEST_EXIT);  // set after the dispatcher's reset to none

  // The browser may pass neither a value nor a request to fill.
  EXPECT_EQ(SetupCallback(Instance(0x2), EFI_BROWSER_ACTION_CHANGED, 0x0F00, EFI_IFR_TYPE_NUM_SIZE_8, nullptr, nullptr),
            EFI_ABORTED);
  EXPECT_EQ(gView.Value, nullptr);
  EXPECT_EQ(gView.Type, EFI_IFR_TYPE_NUM_SIZE_8);
  EXPECT_FALSE(gView.Requested);
}

TEST_F(Dispatch, ANestedCallbackLeavesNoCurrentParameters) {
  Register(0x2, 0x0F00, Nesting);
  Register(0x1, 0x0F01, Item<0>);
  ASSERT_EQ(SetupCallback(Instance(0x2), EFI_BROWSER_ACTION_CHANGED, 0x0F00, 0, nullptr, nullptr), EFI_SUCCESS);
  ASSERT_EQ(Callers(), std::vector<int>{0});
  EXPECT_NE(gCalls[0].Current, nullptr);
  EXPECT_EQ(gCurrentAfterNested, nullptr);
}

TEST_F(Dispatch, AMergedListThatCannotBeAllocatedCallsNothingAndLeaksNothing) {
  Register(0x10, 0x0F00, Item<0>);
  M().Pool().FailAllocationAfter(0);
  EXPECT_EQ(Ask(0x10, 0x0F00, {{0x10, 0, 0x0F00, 0, Item<1>}}), EFI_OUT_OF_RESOURCES);
  EXPECT_TRUE(gCalls.empty());
  // And the next question works again.
  EXPECT_EQ(Ask(0x10, 0x0F00), EFI_SUCCESS);
  EXPECT_EQ(Callers(), std::vector<int>{0});
}

// The static rows are walked where they are, but the merged list keeps its
// size: the registered entries plus the whole static table, terminator included.
TEST_F(Dispatch, TheMergedListHasRoomForTheRegisteredEntriesAndTheStaticTable) {
  Register(0x10, 0x0F01, Item<0>);
  Register(0x10, 0x0F00, MeasureLiveBytes);
  gPool = &M().Pool();
  const size_t Before = gPool->LiveBytes();
  EXPECT_EQ(Ask(0x10, 0x0F00, {{0x10, 0, 0x48E, 0, Item<1>}, {0x10, 0, 0x48F, 0, Item<2>}}), EFI_SUCCESS);
  EXPECT_EQ(gLiveBytesInCallback - Before, 2 * sizeof(ITEM_CALLBACK_ENTRY) + 3 * sizeof(ITEM_CALLBACK_ENTRY));
  EXPECT_EQ(gPool->LiveBytes(), Before);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(Dispatch, TheBrowserReachesRegisteredEntriesThroughEveryFormSet) {
  for (UINT16 Class : {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x30, 0x40, 0x100}) Register(Class, 0x0F00 + Class, Item<0>);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  for (UINT16 Class : {0x2, 0x4, 0x8, 0x10, 0x20, 0x30, 0x40, 0x100}) {
    gCalls.clear();
    EXPECT_EQ(Browser().Callback(Class, EFI_BROWSER_ACTION_CHANGED, 0x0F00 + Class, EFI_IFR_TYPE_NUM_SIZE_8, {}),
              EFI_SUCCESS);
    ASSERT_EQ(gCalls.size(), 1u) << "class " << Class;
    EXPECT_EQ(gCalls[0].HiiHandle, FormSetHandle(Class));
    EXPECT_EQ(gCalls[0].Class, Class);
  }
}

}  // namespace
}  // namespace setupinfo_test
