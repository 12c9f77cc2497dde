// Editing the browser's copy of a store: fetched into an owner, changed,
// handed back with the size read, and never handed back after a failed fetch.
#include "platform/net_config.h"
#include "setupinfo/core/browser_store.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

constexpr const EFI_GUID& NET_CONFIG_GUID = NET_CONFIG_DATA_GUID;
constexpr BROWSER_STORE NET_CONFIG_STORE = {NET_CONFIG_DATA_NAME, &NET_CONFIG_DATA_GUID, NET_CONFIG_DATA_SIZE};

class BrowserStore : public SetupInfoTest {
 protected:
  void PutStore(const std::u16string& Name, const EFI_GUID& Guid, size_t Size) {
    std::string Bytes(Size, 0);
    for (size_t i = 0; i < Size; ++i) Bytes[i] = (char)(i * 7);
    PutVariable(Name, Guid, Bytes, SETUP_VARIABLE_ATTRIBUTES);
  }
  void OpenBrowser() {
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }
  std::vector<UINT8>* Copy(const std::u16string& Name, const EFI_GUID& Guid) { return Browser().StoreBytes(Name, Guid); }
};

TEST_F(BrowserStore, SetupIsFetchedChangedAndHandedBackWhole) {
  PutStore(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID, SETUP_RECORD_SIZE);
  OpenBrowser();
  std::vector<UINT8>* Setup = Copy(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID);
  ASSERT_NE(Setup, nullptr);
  (*Setup)[0x07F] = 2;  // an unsaved change the page must see

  {
    SetupEdit Edit;
    ASSERT_EQ(Edit.Fetch(), EFI_SUCCESS);
    EXPECT_TRUE(Edit.Fetched());
    EXPECT_EQ(Edit.Size(), SETUP_RECORD_SIZE);
    EXPECT_EQ(Edit.Record()->Get<setup::RatioMode>(), 2);
    Edit.Record()->Set<setup::OutputSwitch>(1);
    ASSERT_EQ(Edit.HandBack(), EFI_SUCCESS);
  }
  EXPECT_EQ((*Setup)[0x46E], 1);
  EXPECT_EQ((*Setup)[0x07F], 2);
  EXPECT_EQ((*Setup)[0x46D], (UINT8)(0x46D * 7));
  // The browser's copy changed, the stored variable did not.
  EXPECT_EQ((UINT8)SetupGuidVariable(SETUP_VARIABLE_NAME)[0x46E], (UINT8)(0x46E * 7));
}

TEST_F(BrowserStore, ACopyShorterThanAskedGoesBackWithTheSizeRead) {
  PutStore(u"NetConfigData", NET_CONFIG_GUID, 200);
  OpenBrowser();
  BROWSER_STORE Larger = NET_CONFIG_STORE;
  BrowserStoreEdit Edit(Larger);
  ASSERT_EQ(Edit.Fetch(), EFI_SUCCESS);
  EXPECT_EQ(Edit.Size(), 200u);
  EXPECT_EQ(Edit.Bytes()[199], (UINT8)(199 * 7));
  EXPECT_EQ(Edit.Bytes()[200], 0);  // zero past what the browser gave
  Edit.Bytes()[105] = 3;
  // Handing back 490 bytes would be refused by a browser whose copy is 200.
  ASSERT_EQ(Edit.HandBack(), EFI_SUCCESS);
  EXPECT_EQ((*Copy(u"NetConfigData", NET_CONFIG_GUID))[105], 3);
  EXPECT_EQ(Copy(u"NetConfigData", NET_CONFIG_GUID)->size(), 200u);
}

TEST_F(BrowserStore, NothingIsHandedBackAfterAFailedFetch) {
  PutStore(u"NetConfigData", NET_CONFIG_GUID, 600);  // larger than the page asks for
  OpenBrowser();
  const std::vector<UINT8> Before = *Copy(u"NetConfigData", NET_CONFIG_GUID);
  const UINTN Writes = Forms().Calls().SetBrowserData;

  BrowserStoreEdit TooLarge(NET_CONFIG_STORE);
  EXPECT_EQ(TooLarge.Fetch(), EFI_BUFFER_TOO_SMALL);
  EXPECT_FALSE(TooLarge.Fetched());
  ASSERT_NE(TooLarge.Bytes(), nullptr);
  EXPECT_EQ(TooLarge.Bytes()[0], 0);  // zeroed, not what the browser may have written
  EXPECT_EQ(TooLarge.Size(), 0u);
  EXPECT_EQ(TooLarge.HandBack(), EFI_BUFFER_TOO_SMALL);

  const EFI_GUID Other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  BrowserStoreEdit Missing({u"NoSuchStore", &Other, 16});
  EXPECT_EQ(Missing.Fetch(), EFI_NOT_FOUND);
  EXPECT_EQ(Missing.HandBack(), EFI_NOT_FOUND);

  // Never fetched at all.
  BrowserStoreEdit Unfetched(NET_CONFIG_STORE);
  EXPECT_TRUE(EFI_ERROR(Unfetched.HandBack()));

  EXPECT_EQ(Forms().Calls().SetBrowserData, Writes);
  EXPECT_EQ(*Copy(u"NetConfigData", NET_CONFIG_GUID), Before);
}

TEST_F(BrowserStore, WithoutPoolMemoryThereIsNoBufferAndNoCall) {
  PutStore(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID, SETUP_RECORD_SIZE);
  OpenBrowser();
  const UINTN Reads = Forms().Calls().GetBrowserData;
  M().Pool().FailAllocationAfter(0);
  SetupEdit Edit;
  EXPECT_EQ(Edit.Fetch(), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Edit.Record(), nullptr);
  EXPECT_EQ(Edit.HandBack(), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Reads);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 0u);
}

TEST_F(BrowserStore, OutsideAnOpenBrowserTheStoredVariableIsReadButNotWritten) {
  PutStore(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID, SETUP_RECORD_SIZE);
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  SetupEdit Edit;
  ASSERT_EQ(Edit.Fetch(), EFI_SUCCESS);
  EXPECT_EQ(Edit.Record()->Bytes[0x10], (UINT8)(0x10 * 7));
  EXPECT_EQ(Edit.HandBack(), EFI_NOT_READY);
}

}  // namespace
}  // namespace setupinfo_test
