#include "tests/sim/hii/hii_test_support.h"

using namespace hiitest;
using Outcome = sim::SetupBrowser::Outcome;

namespace {

const EFI_GUID SETUP_GUID = sim::SetupBrowser::SetupVariableGuid;
const EFI_GUID NET_GUID = sim::SetupBrowser::NetConfigDataGuid;
const EFI_GUID HW_MON_GUID = {0xA34CBD5E, 0x9FC5, 0x423B, {0x8E, 0x2B, 0x70, 0x93, 0x58, 0x80, 0x00, 0xA0}};
const EFI_GUID MEMORY_GUID = {0xADFE34C8, 0x9AE1, 0x4F8F, {0xBE, 0x13, 0xCF, 0x96, 0xA2, 0xCB, 0x2C, 0x5B}};
const EFI_GUID OTHER_GUID = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

// A driver's Config Access instance: the protocol, then the form set's class.
struct DriverAccess {
  EFI_HII_CONFIG_ACCESS_PROTOCOL Protocol;
  UINT16 Class;
};

struct Seen {
  UINT16 Class;
  EFI_BROWSER_ACTION Action;
  EFI_QUESTION_ID Key;
  UINT8 Type;
  UINT64 Value;
};

struct Script {
  EFI_STATUS Status = EFI_SUCCESS;
  EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_NONE;
  bool EditSetup = false;  // sets Setup byte 0x2E to the question's value through the browser
  EFI_STATUS GetStatus = EFI_SUCCESS, SetStatus = EFI_SUCCESS;
};

Script gScript;
std::vector<Seen> gSeen;
EFI_SYSTEM_TABLE* gTestSystemTable = nullptr;

// Behaves like a setup driver's callback: it reads and corrects the browser's
// copy of Setup through the form utility service, zeroes the value, asks for
// the scripted request.
EFI_STATUS EFIAPI DriverCallback(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                                 EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                                 EFI_BROWSER_ACTION_REQUEST* ActionRequest) {
  const auto* self = (const DriverAccess*)This;
  gSeen.push_back({self->Class, Action, QuestionId, Type, Value->u64});
  if (gScript.EditSetup) {
    VOID* p = nullptr;
    gTestSystemTable->BootServices->LocateProtocol(&FORM_UTILITY_PROTOCOL::Guid, nullptr, &p);
    auto* fu = (FORM_UTILITY_PROTOCOL*)p;
    std::vector<UINT8> setup(1172);
    UINTN size = setup.size();
    gScript.GetStatus = fu->GetBrowserData(&size, setup.data(), &SETUP_GUID, u"Setup");
    setup[0x2E] = Value->u8;
    gScript.SetStatus = fu->SetBrowserData(size, setup.data(), &SETUP_GUID, u"Setup");
  }
  Value->u64 = 0;
  *ActionRequest = gScript.Request;
  return gScript.Status;
}

class BrowserTest : public HiiTest {
 protected:
  void SetUp() override {
    HiiTest::SetUp();
    gTestSystemTable = St();
    gScript = Script{};
    gSeen.clear();
    Setup.assign(1172, 0);
    Setup[0x2E] = 1;
    PutVariable(u"Setup", SETUP_GUID, 7, Setup);
    PutVariable(u"NetConfigData", NET_GUID, 3, std::vector<UINT8>(120, 0x11));
    VOID* p = nullptr;
    ASSERT_EQ(St()->BootServices->LocateProtocol(&FORM_UTILITY_PROTOCOL::Guid, nullptr, &p), EFI_SUCCESS);
    Fu = (FORM_UTILITY_PROTOCOL*)p;
    Table[0] = {&MainFormSetGuid, &Access[0].Protocol, 0x1, 0, nullptr};
    Table[1] = {&HW_MON_GUID, &Access[1].Protocol, 0x10, 0, nullptr};
    Table[2] = {&MEMORY_GUID, &Access[2].Protocol, 0x20, 0, nullptr};
    Fu->LoadResources(nullptr, 3, Table, nullptr);
  }
  void TearDown() override {
    gTestSystemTable = nullptr;
    HiiTest::TearDown();
  }

  static EFI_IFR_TYPE_VALUE U8(UINT8 v) {
    EFI_IFR_TYPE_VALUE value{};
    value.u8 = v;
    return value;
  }

  std::vector<UINT8> Setup;
  FORM_UTILITY_PROTOCOL* Fu = nullptr;
  DriverAccess Access[3] = {{{nullptr, nullptr, DriverCallback}, 0x1},
                            {{nullptr, nullptr, DriverCallback}, 0x10},
                            {{nullptr, nullptr, DriverCallback}, 0x20}};
  FORM_SET_INFO Table[3];
};

TEST_F(BrowserTest, StoresAreCopiesOfTheVariablesThatExist) {
  Browser().AddStore(u"Missing", OTHER_GUID);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  ASSERT_NE(Browser().StoreBytes(u"Setup", SETUP_GUID), nullptr);
  EXPECT_EQ(*Browser().StoreBytes(u"Setup", SETUP_GUID), Setup);
  EXPECT_EQ(Browser().StoreBytes(u"NetConfigData", NET_GUID)->size(), 120u);
  EXPECT_EQ(Browser().StoreBytes(u"Missing", OTHER_GUID), nullptr);
  EXPECT_EQ(Browser().StoreBytes(u"Setup", OTHER_GUID), nullptr);

  // Edits stay in the browser until saved.
  (*Browser().StoreBytes(u"Setup", SETUP_GUID))[0x10] = 0x77;
  EXPECT_EQ(FindVariable(u"Setup", SETUP_GUID)->Data[0x10], 0);

  // A store added while open is copied at once; one that only has a default starts from it.
  PutVariable(u"Late", OTHER_GUID, 3, {1, 2, 3});
  Browser().AddStore(u"Late", OTHER_GUID);
  EXPECT_EQ(*Browser().StoreBytes(u"Late", OTHER_GUID), (std::vector<UINT8>{1, 2, 3}));
  Browser().CreateStore(u"Flags", SETUP_GUID, {0, 0, 0}, 3);
  ASSERT_NE(Browser().StoreBytes(u"Flags", SETUP_GUID), nullptr);
  (*Browser().StoreBytes(u"Flags", SETUP_GUID))[1] = 1;
  ASSERT_EQ(Browser().Save(), EFI_SUCCESS);
  const auto* flags = FindVariable(u"Flags", SETUP_GUID);
  ASSERT_NE(flags, nullptr);
  EXPECT_EQ(flags->Data, (std::vector<UINT8>{0, 1, 0}));
  EXPECT_EQ(flags->Attributes, 3u);
}

TEST_F(BrowserTest, GetAndSetBrowserDataWorkOnTheOpenCopy) {
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  std::vector<UINT8> buffer(1200, 0xEE);
  UINTN size = 1171;
  EXPECT_EQ(Fu->GetBrowserData(&size, buffer.data(), &SETUP_GUID, u"Setup"), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 1172u);
  EXPECT_EQ(buffer[0], 0xEE);
  size = buffer.size();
  ASSERT_EQ(Fu->GetBrowserData(&size, buffer.data(), &SETUP_GUID, u"Setup"), EFI_SUCCESS);
  EXPECT_EQ(size, 1172u);
  EXPECT_EQ(buffer[0x2E], 1);
  EXPECT_EQ(buffer[1172], 0xEE);

  buffer[0x2E] = 9;
  ASSERT_EQ(Fu->SetBrowserData(1172, buffer.data(), &SETUP_GUID, u"Setup"), EFI_SUCCESS);
  EXPECT_EQ((*Browser().StoreBytes(u"Setup", SETUP_GUID))[0x2E], 9);
  EXPECT_EQ(FindVariable(u"Setup", SETUP_GUID)->Data[0x2E], 1);  // not saved yet

  // A read while open sees the working copy, not the variable.
  std::vector<UINT8> again(1172);
  size = again.size();
  ASSERT_EQ(Fu->GetBrowserData(&size, again.data(), &SETUP_GUID, u"Setup"), EFI_SUCCESS);
  EXPECT_EQ(again[0x2E], 9);

  EXPECT_EQ(Fu->SetBrowserData(1173, buffer.data(), &SETUP_GUID, u"Setup"), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ(Fu->SetBrowserData(4, buffer.data(), &OTHER_GUID, u"Setup"), EFI_NOT_FOUND);
  EXPECT_EQ(Fu->SetBrowserData(4, nullptr, &SETUP_GUID, u"Setup"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Fu->GetBrowserData(&size, buffer.data(), &SETUP_GUID, u"Other"), EFI_NOT_FOUND);
  // A shorter write replaces the leading bytes only.
  UINT8 head[2] = {0xA1, 0xA2};
  ASSERT_EQ(Fu->SetBrowserData(2, head, &SETUP_GUID, u"Setup"), EFI_SUCCESS);
  auto& store = *Browser().StoreBytes(u"Setup", SETUP_GUID);
  EXPECT_EQ(store.size(), 1172u);
  EXPECT_EQ(store[1], 0xA2);
  EXPECT_EQ(store[0x2E], 9);
}

TEST_F(BrowserTest, CallbacksReachTheFormSetsConfigAccessWithTheirValue) {
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  EXPECT_EQ(Browser().Callback((UINT16)0x10, EFI_BROWSER_ACTION_CHANGED, 0x490, EFI_IFR_TYPE_NUM_SIZE_8, U8(42)),
            EFI_SUCCESS);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].Class, 0x10);
  EXPECT_EQ(gSeen[0].Action, EFI_BROWSER_ACTION_CHANGED);
  EXPECT_EQ(gSeen[0].Key, 0x490);
  EXPECT_EQ(gSeen[0].Type, EFI_IFR_TYPE_NUM_SIZE_8);
  EXPECT_EQ(gSeen[0].Value, 42u);

  const auto& record = Browser().Log().back();
  EXPECT_EQ(record.Class, 0x10);
  EXPECT_EQ(record.HiiHandle, Table[1].HiiHandle);
  UINT8 in = record.ValueIn.u8;
  UINT64 out = record.ValueOut.u64;  // copied out of the packed union
  EXPECT_EQ(in, 42);
  EXPECT_EQ(out, 0u) << "what the callback left in the value";
  EXPECT_EQ(record.Result, Outcome::None);

  // By HII handle, and for a form set whose package list was removed since.
  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  ASSERT_EQ(db->RemovePackageList(db, Table[2].HiiHandle), EFI_SUCCESS);
  EXPECT_EQ(Browser().Callback(Table[2].HiiHandle, EFI_BROWSER_ACTION_CHANGING, 0x441, EFI_IFR_TYPE_NUM_SIZE_8, U8(1)),
            EFI_SUCCESS);
  EXPECT_EQ(gSeen.back().Class, 0x20);
  EXPECT_EQ(Browser().Callback((UINT16)0x20, EFI_BROWSER_ACTION_CHANGED, 0x441, EFI_IFR_TYPE_NUM_SIZE_8, U8(1)),
            EFI_SUCCESS);
  EXPECT_EQ(gSeen.size(), 3u);

  // Nothing to call: unknown class, Config Access taken away, browser closed.
  EXPECT_EQ(Browser().Callback((UINT16)0x8, EFI_BROWSER_ACTION_CHANGED, 1, 0, U8(0)), EFI_NOT_FOUND);
  const auto* formSet = Forms().FindFormSet(0x10);
  ASSERT_EQ(St()->BootServices->UninstallProtocolInterface(formSet->DriverHandle,
                                                           &EFI_HII_CONFIG_ACCESS_PROTOCOL::Guid, &Access[1]),
            EFI_SUCCESS);
  EXPECT_EQ(Browser().Callback((UINT16)0x10, EFI_BROWSER_ACTION_CHANGED, 0x490, 0, U8(0)), EFI_NOT_FOUND);
  Browser().Close();
  EXPECT_EQ(Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 1, 0, U8(0)), EFI_NOT_READY);
  EXPECT_EQ(gSeen.size(), 3u);
  EXPECT_EQ(Browser().Log().size(), 6u);
  EXPECT_EQ(Browser().Log().back().Result, Outcome::NotCalled);
}

TEST_F(BrowserTest, SubmitWritesChangedStoresBackWithTheirAttributes) {
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  gScript.EditSetup = true;
  gScript.Request = EFI_BROWSER_ACTION_REQUEST_SUBMIT;
  EXPECT_EQ(Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 0x100, 0, U8(0x5A)), EFI_SUCCESS);
  EXPECT_EQ(gScript.GetStatus, EFI_SUCCESS);
  EXPECT_EQ(gScript.SetStatus, EFI_SUCCESS);
  EXPECT_EQ(Browser().Log().back().Result, Outcome::Saved);
  EXPECT_EQ(SetVariableCalls(), 1u) << "only the changed store is written";
  const auto* stored = FindVariable(u"Setup", SETUP_GUID);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Data.size(), 1172u);
  EXPECT_EQ(stored->Data[0x2E], 0x5A);
  EXPECT_EQ(stored->Attributes, 7u);
  EXPECT_TRUE(Browser().IsOpen());

  // A failed write leaves the store changed, so the next save tries again.
  gScript.Request = EFI_BROWSER_ACTION_REQUEST_FORM_SUBMIT_EXIT;
  M().Variables().FailSet(u"Setup", EFI_WRITE_PROTECTED);
  EXPECT_EQ(Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 0x100, 0, U8(0x6B)), EFI_SUCCESS);
  EXPECT_EQ(Browser().Log().back().Result, Outcome::SaveFailed);
  EXPECT_TRUE(Browser().IsOpen());
  M().Variables().ClearFailures();
  EXPECT_EQ(Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 0x100, 0, U8(0x6B)), EFI_SUCCESS);
  EXPECT_EQ(Browser().Log().back().Result, Outcome::Closed);
  EXPECT_FALSE(Browser().IsOpen());
  EXPECT_EQ(FindVariable(u"Setup", SETUP_GUID)->Data[0x2E], 0x6B);
}

TEST_F(BrowserTest, DiscardAndExitDropChangesAndResetRestartsTheMachine) {
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  gScript.EditSetup = true;
  gScript.Request = EFI_BROWSER_ACTION_REQUEST_FORM_DISCARD;
  Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 1, 0, U8(0x33));
  EXPECT_EQ(Browser().Log().back().Result, Outcome::Discarded);
  EXPECT_EQ((*Browser().StoreBytes(u"Setup", SETUP_GUID))[0x2E], 1);
  EXPECT_TRUE(Browser().IsOpen());

  gScript.Request = EFI_BROWSER_ACTION_REQUEST_EXIT;
  Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 1, 0, U8(0x44));
  EXPECT_EQ(Browser().Log().back().Result, Outcome::Closed);
  EXPECT_FALSE(Browser().IsOpen());
  EXPECT_EQ(SetVariableCalls(), 0u);

  // A failed callback's request is ignored.
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  gScript.Status = EFI_DEVICE_ERROR;
  gScript.Request = EFI_BROWSER_ACTION_REQUEST_RESET;
  EXPECT_EQ(Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 1, 0, U8(0x55)), EFI_DEVICE_ERROR);
  EXPECT_FALSE(M().ResetRequest().has_value());
  EXPECT_TRUE(Browser().IsOpen());

  gScript.Status = EFI_SUCCESS;
  Browser().Callback((UINT16)0x1, EFI_BROWSER_ACTION_CHANGED, 1, 0, U8(0x55));
  EXPECT_EQ(Browser().Log().back().Result, Outcome::Reset);
  EXPECT_EQ(Browser().Log().back().Request, EFI_BROWSER_ACTION_REQUEST_RESET);
  ASSERT_TRUE(M().ResetRequest().has_value());
  EXPECT_EQ(M().ResetRequest()->Type, EfiResetCold);
  EXPECT_EQ(Browser().ResetRequests(), 1u);
  EXPECT_FALSE(Browser().IsOpen());
  EXPECT_EQ(FindVariable(u"Setup", SETUP_GUID)->Data[0x2E], 1) << "unsaved changes die with the reset";
}

TEST_F(BrowserTest, SaveAndDiscardByHand) {
  EXPECT_EQ(Browser().Save(), EFI_NOT_READY);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  EXPECT_EQ(Browser().Open(), EFI_ALREADY_STARTED);
  (*Browser().StoreBytes(u"NetConfigData", NET_GUID))[105] = 2;
  Browser().Discard();
  EXPECT_EQ((*Browser().StoreBytes(u"NetConfigData", NET_GUID))[105], 0x11);
  (*Browser().StoreBytes(u"NetConfigData", NET_GUID))[105] = 3;
  ASSERT_EQ(Browser().Save(), EFI_SUCCESS);
  const auto* net = FindVariable(u"NetConfigData", NET_GUID);
  ASSERT_NE(net, nullptr);
  EXPECT_EQ(net->Data[105], 3);
  EXPECT_EQ(net->Attributes, 3u);
  EXPECT_EQ(SetVariableCalls(), 1u);
  ASSERT_EQ(Browser().Save(), EFI_SUCCESS);
  EXPECT_EQ(SetVariableCalls(), 1u) << "nothing changed since the last save";
}

}  // namespace
