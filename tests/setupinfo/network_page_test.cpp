// The network configuration page: the summary on the network and main pages
// from NetConfigData (stored, or the browser's pending copy), the refresh and
// HII handle handed to the network driver, and the four forwarded questions.
#include <string>
#include <vector>

#include "platform/net_config.h"
#include "setupinfo/pages/platform/network_page.h"
#include "setupinfo_fixture.h"
#include "sim/peers/network_peers.h"

namespace setupinfo_test {
namespace {

constexpr const char* Languages[] = {"en-US", "de-DE", "ja-JP"};
constexpr UINT16 Classes[] = {0x8, 0x1};

const std::u16string AUTOMATIC_MIRROR_1 = u"Automatic network settings, server Mirror 1";

class NetworkPage : public SetupInfoTest {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    for (sim::NetworkProtocolProfile* P :
         {&Profile.Network.Configuration, &Profile.Network.Action52A, &Profile.Network.Action52D,
          &Profile.Network.Action52E}) {
      P->Present = true;
      P->Late = false;
      P->Status = EFI_SUCCESS;
    }
    CustomiseNetwork(Profile.Network);
  }
  virtual void CustomiseNetwork(sim::NetworkProfile&) {}

  // Installs the network drivers as the platform does before the setup driver.
  EFI_STATUS Boot() {
    Network_ = std::make_unique<sim::NetworkPeers>(M().Profile().Network);
    Network_->InstallPresent(ST());
    return LoadDriver();
  }
  sim::NetworkPeers& Network() { return *Network_; }

  void PutNetConfig(size_t Size, UINT8 Template, UINT8 Choice) {
    std::vector<UINT8> Bytes(Size, 0);
    if (Size > NET_CONFIG_TEMPLATE_OFFSET) Bytes[NET_CONFIG_TEMPLATE_OFFSET] = Template;
    if (Size > NET_CONFIG_SERVER_CHOICE_OFFSET) Bytes[NET_CONFIG_SERVER_CHOICE_OFFSET] = Choice;
    M().Variables().Put(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID, 0x7, std::move(Bytes));
  }
  // The browser holds NetConfigData from the start (the default board has it).
  std::vector<UINT8>& BrowserNetConfig() { return *Browser().StoreBytes(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID); }

  std::u16string Summary(UINT16 Class, const char* Language = "en-US") {
    return HiiText(FormSetHandle(Class), STR_NETWORK_SUMMARY, Language);
  }
  std::u16string MainLine(UINT16 Class, const char* Language = "en-US") {
    return HiiText(FormSetHandle(Class), STR_MAIN_NETWORK_LINE, Language);
  }
  // Both strings in both package lists and every language.
  void ExpectSummary(const std::u16string& English) {
    for (UINT16 Class : Classes) {
      SCOPED_TRACE(testing::Message() << "class 0x" << std::hex << Class);
      EXPECT_EQ(Summary(Class), English);
      EXPECT_EQ(MainLine(Class), u"Network: " + English);
    }
  }
  // The texts the package lists carry for both strings.
  void ExpectPackageTexts() {
    const std::u16string Texts[] = {u"N/A", u"k. A.", u"なし"};
    for (UINT16 Class : Classes)
      for (int L = 0; L < 3; ++L) {
        SCOPED_TRACE(testing::Message() << "class 0x" << std::hex << Class << " " << Languages[L]);
        EXPECT_EQ(Summary(Class, Languages[L]), Texts[L]);
        EXPECT_EQ(MainLine(Class, Languages[L]), Texts[L]);
      }
  }

  std::unique_ptr<sim::NetworkPeers> Network_;
};

TEST_F(NetworkPage, DefaultBoardShowsItsSettingsOnBothPagesInEveryLanguageAndHandsOverTheRefresh) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ExpectSummary(AUTOMATIC_MIRROR_1);
  EXPECT_EQ(Summary(0x8, "de-DE"), u"Automatische Netzwerkeinstellungen, Server Spiegelserver 1");
  EXPECT_EQ(MainLine(0x1, "ja-JP"), u"ネットワーク: 自動ネットワーク設定、サーバー ミラー 1");
  EXPECT_EQ(Network().Configuration()->Refresh, RefreshNetworkSummary);
  EXPECT_EQ(Network().Configuration()->HiiHandle, FormSetHandle(0x8));
}

TEST_F(NetworkPage, TemplateAndServerFollowBytesZeroAnd105) {
  struct CASE {
    UINT8 Template, Choice;
    std::u16string English;
  };
  const CASE Cases[] = {
      {0, 2, u"Automatic network settings, server Mirror 3"},
      {1, 0, u"Manual network settings, server Mirror 1"},
      {0x80, 3, u"Manual network settings, server Mirror 4"},
      {0, 4, u"Automatic network settings, server Chosen by the update server"},
  };
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  for (const CASE& C : Cases) {
    SCOPED_TRACE(testing::Message() << "byte 0 = " << int(C.Template) << ", byte 105 = " << int(C.Choice));
    PutNetConfig(NET_CONFIG_DATA_SIZE, C.Template, C.Choice);
    // Rebuilt from the templates each time, so the network driver may ask again and again.
    ASSERT_TRUE(Network().RequestRefresh(false));
    ExpectSummary(C.English);
  }
}

// Choices with no server name, and a stored record of any size but 490
// bytes, count as a failed read: the strings keep what they showed.
TEST_F(NetworkPage, StoredRecordOfAnyOtherSizeOrUnnamedChoiceLeavesTheStringsUnchanged) {
  // At load: the package texts stay.
  PutNetConfig(489, 1, 1);
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ExpectPackageTexts();
  PutNetConfig(NET_CONFIG_DATA_SIZE, 1, 1);
  ASSERT_TRUE(Network().RequestRefresh(false));
  const std::u16string Shown = u"Manual network settings, server Mirror 2";
  ExpectSummary(Shown);
  struct CASE {
    size_t Size;
    UINT8 Choice;
  };
  const CASE Cases[] = {{0, 0}, {1, 0}, {105, 0}, {106, 0}, {489, 0}, {491, 0}, {4096, 0},
                        {NET_CONFIG_DATA_SIZE, 5}, {NET_CONFIG_DATA_SIZE, 0xFF}};
  for (const CASE& C : Cases) {
    SCOPED_TRACE(testing::Message() << "size " << C.Size << ", choice " << int(C.Choice));
    PutNetConfig(C.Size, 0, C.Choice);
    ASSERT_TRUE(Network().RequestRefresh(false));
    ExpectSummary(Shown);
  }
  ASSERT_TRUE(M().Variables().Erase(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID));
  ASSERT_TRUE(Network().RequestRefresh(false));
  ExpectSummary(Shown);
}

TEST_F(NetworkPage, RefreshWhileThePageIsOpenShowsTheBrowsersPendingValues) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  BrowserNetConfig()[NET_CONFIG_TEMPLATE_OFFSET] = 1;
  BrowserNetConfig()[NET_CONFIG_SERVER_CHOICE_OFFSET] = 3;
  const auto Before = Forms().Calls();
  ASSERT_TRUE(Network().RequestRefresh(true));
  ExpectSummary(u"Manual network settings, server Mirror 4");
  // Read only: nothing handed back, nothing stored.
  EXPECT_EQ(Forms().Calls().SetBrowserData, Before.SetBrowserData);
  EXPECT_EQ(Variable(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID)[NET_CONFIG_SERVER_CHOICE_OFFSET], 0);
  // The stored variable still says mirror 1.
  ASSERT_TRUE(Network().RequestRefresh(false));
  ExpectSummary(AUTOMATIC_MIRROR_1);

  // The network driver's own page refreshes from the browser once it returns.
  BrowserNetConfig()[NET_CONFIG_SERVER_CHOICE_OFFSET] = 2;
  EFI_IFR_TYPE_VALUE Value{};
  EXPECT_EQ(Browser().Callback(0x8, EFI_BROWSER_ACTION_CHANGING, 0x529, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  ExpectSummary(u"Manual network settings, server Mirror 3");
}

TEST_F(NetworkPage, BrowserCopyOfAnyOtherSizeOrNoneLeavesTheStringsAndTheBrowserAlone) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  // Closed browser: no copy at all.
  EXPECT_TRUE(Network().RequestRefresh(true));
  ExpectSummary(AUTOMATIC_MIRROR_1);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  for (size_t Size : {size_t(0), size_t(105), size_t(106), size_t(489), size_t(491)}) {
    SCOPED_TRACE(testing::Message() << "browser copy of " << Size << " bytes");
    std::vector<UINT8>& Copy = BrowserNetConfig();
    Copy.assign(Size, 0);
    if (Size > NET_CONFIG_SERVER_CHOICE_OFFSET) Copy[NET_CONFIG_SERVER_CHOICE_OFFSET] = 3;
    const auto Before = Forms().Calls();
    ASSERT_TRUE(Network().RequestRefresh(true));
    EXPECT_EQ(Forms().Calls().GetBrowserData, Before.GetBrowserData + 1);
    EXPECT_EQ(Forms().Calls().SetBrowserData, Before.SetBrowserData);
    ExpectSummary(AUTOMATIC_MIRROR_1);
  }
}

// Both reads (the stored variable, as at load, and the browser's copy).
TEST_F(NetworkPage, EveryAllocationOfARefreshMayFailWithoutLeakOrHandBack) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  BrowserNetConfig()[NET_CONFIG_SERVER_CHOICE_OFFSET] = 1;
  for (bool ViaBrowser : {true, false}) {
    PutNetConfig(NET_CONFIG_DATA_SIZE, 1, 2);
    const std::u16string Wanted =
        ViaBrowser ? u"Automatic network settings, server Mirror 2" : u"Manual network settings, server Mirror 3";
    for (size_t N = 0;; ++N) {
      SCOPED_TRACE(testing::Message() << (ViaBrowser ? "browser" : "stored") << ", allocation " << N << " fails");
      // Each round starts from other texts, so a finished rebuild shows.
      ASSERT_TRUE(Network().RequestRefresh(!ViaBrowser));
      const size_t Live = M().LiveAllocationCount();
      const auto Before = Forms().Calls();
      M().Pool().FailAllocationAfter(N);
      ASSERT_TRUE(Network().RequestRefresh(ViaBrowser));
      const bool Failed = !M().Pool().FailurePending();
      M().Pool().ClearFailure();
      EXPECT_EQ(M().LiveAllocationCount(), Live);
      EXPECT_EQ(Forms().Calls().SetBrowserData, Before.SetBrowserData);
      if (N == 0 && ViaBrowser) {
        // Without the browser's copy nothing is rebuilt.
        ASSERT_TRUE(Failed);
        EXPECT_EQ(Summary(0x8), u"Manual network settings, server Mirror 3");
      }
      if (!Failed) {
        EXPECT_GT(N, 0u);
        ExpectSummary(Wanted);
        break;
      }
      ASSERT_LT(N, 64u);
    }
  }
}

class NetworkDriverMissing : public NetworkPage {
  void CustomiseNetwork(sim::NetworkProfile& Network) override { Network.Configuration.Present = false; }
};

TEST_F(NetworkDriverMissing, StringsKeepTheirPackageTexts) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ExpectPackageTexts();
}

class NetworkDriverLate : public NetworkPage {
  void CustomiseNetwork(sim::NetworkProfile& Network) override { Network.Configuration.Late = true; }
};

// Installed after the pages were built, the driver gets no refresh, but its
// question is forwarded once it is there.
TEST_F(NetworkDriverLate, GetsNoRefreshButItsQuestionIsForwarded) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  Network().InstallLate(ST());
  EXPECT_EQ(Network().Configuration()->Refresh, nullptr);
  EXPECT_FALSE(Network().RequestRefresh(false));
  ExpectPackageTexts();
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  EFI_IFR_TYPE_VALUE Value{};
  EXPECT_EQ(Browser().Callback(0x8, EFI_BROWSER_ACTION_CHANGING, 0x529, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  ASSERT_EQ(Network().Calls.size(), 1u);
}

// The forwarded calls: their arguments, the console silenced around the two
// that may print and restored afterwards, their statuses passed on.
TEST_F(NetworkPage, ForwardedQuestionsPassTheirArgumentsAndRestoreTheConsole) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  EFI_HANDLE ErrHandle = ST()->StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Err = ST()->StdErr;
  ASSERT_NE(Err, nullptr);
  EFI_IFR_TYPE_VALUE Value{};
  for (UINT16 Key : {0x529, 0x52A, 0x52D, 0x52E})
    EXPECT_EQ(Browser().Callback(0x8, EFI_BROWSER_ACTION_CHANGING, Key, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  ASSERT_EQ(Network().Calls.size(), 4u);
  const sim::NetworkCall& Configure = Network().Calls[0];
  EXPECT_EQ(Configure.Entry, sim::NetworkEntry::Configure);
  EXPECT_EQ(Configure.HiiHandle, FormSetHandle(0x8));
  EXPECT_EQ(Configure.Class, 0x8);
  EXPECT_EQ(Configure.SubClass, 0);
  EXPECT_EQ(Configure.Key, 0x529);
  EXPECT_TRUE(Configure.StandardErrorSilenced);
  EXPECT_EQ(Network().Calls[1].Entry, sim::NetworkEntry::Action52A);
  EXPECT_EQ(Network().Calls[1].Argument, 0u);
  EXPECT_FALSE(Network().Calls[1].StandardErrorSilenced);
  EXPECT_EQ(Network().Calls[2].Entry, sim::NetworkEntry::Action52D);
  EXPECT_EQ(Network().Calls[2].HiiHandle, FormSetHandle(0x8));
  const sim::NetworkCall& Last = Network().Calls[3];
  EXPECT_EQ(Last.Entry, sim::NetworkEntry::Action52E);
  EXPECT_EQ(Last.HiiHandle, FormSetHandle(0x8));
  EXPECT_EQ(Last.FieldHandle, FormSetHandle(0x10));
  EXPECT_NE(Last.FieldHandle, nullptr);
  EXPECT_TRUE(Last.ThisPassed);
  EXPECT_TRUE(Last.StandardErrorSilenced);
  EXPECT_EQ(ST()->StandardErrorHandle, ErrHandle);
  EXPECT_EQ(ST()->StdErr, Err);

  // Failing drivers: their status comes back, the console still restored.
  Network().ConfigureStatus = EFI_DEVICE_ERROR;
  Network().Action52AStatus = EFI_ABORTED;
  Network().Action52DStatus = EFI_NOT_READY;
  Network().Action52EStatus = EFI_ACCESS_DENIED;
  const EFI_STATUS Expected[] = {EFI_DEVICE_ERROR, EFI_ABORTED, EFI_NOT_READY, EFI_ACCESS_DENIED};
  const UINT16 Keys[] = {0x529, 0x52A, 0x52D, 0x52E};
  for (int I = 0; I < 4; ++I) {
    EXPECT_EQ(Browser().Callback(0x1, EFI_BROWSER_ACTION_CHANGING, Keys[I], EFI_IFR_TYPE_NUM_SIZE_8, Value),
              Expected[I]);
    EXPECT_EQ(ST()->StandardErrorHandle, ErrHandle);
    EXPECT_EQ(ST()->StdErr, Err);
  }
  // A failed configuration asks for no refresh.
  EXPECT_EQ(Network().RefreshRequests, 1u);
}

}  // namespace
}  // namespace setupinfo_test
