#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/form_utility.h"
#include "tests/updatefetch/update_fixture.h"

namespace updatefetch_test {
namespace {

using UpdateLocatorTest = UpdateFetchTest;

std::string Download(const std::string& Mirrors) {
  return "HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n<Download>" + Mirrors + "</Download>";
}

TEST_F(UpdateLocatorTest, EntryInstallsTheProtocolOnItsImageHandle) {
  auto* Installed = (UPDATE_LOCATOR_PROTOCOL*)M().Handles().InterfaceOn(M().ImageHandle("updatefetch"),
                                                                         UPDATE_LOCATOR_PROTOCOL::Guid);
  ASSERT_NE(Installed, nullptr);
  EXPECT_EQ(Installed->LocateDownload, &LocateDownload);
  EXPECT_EQ(Installed->ResolveLocation, &ResolveLocation);
  EXPECT_EQ(Installed->ResolveHostName, &ResolveHostName);
}

TEST_F(UpdateLocatorTest, RequestNamesTheModelWithBlanksEscaped) {
  ASSERT_EQ(Locate(), EFI_SUCCESS);
  ASSERT_EQ(Peers().Sends.size(), 1u);
  const auto& Sent = Peers().Sends[0];
  EXPECT_EQ(Sent.Request,
            "GET /support/Skyfetch.asp?Model=Z97%20Extreme6 HTTP/1.1\r\n"
            "Host:" UPDATEFETCH_SERVER_HOST "\r\n"
            "Connection:Keep-Alive\r\n"
            "\r\n");
  EXPECT_EQ(Sent.Value1, VALUE1);
  EXPECT_EQ(Sent.Value2, VALUE2);
  EXPECT_EQ(Sent.Reserved, 0u);

  // Only blanks are escaped.
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = "A%B/C D"; });
  ASSERT_EQ(Locate(), EFI_SUCCESS);
  EXPECT_NE(Peers().Sends[1].Request.find("?Model=A%B/C%20D HTTP/1.1\r\n"), std::string::npos);
}

TEST_F(UpdateLocatorTest, ModelTextMustFitSixtyThreeCharacters) {
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = std::string(21, ' '); });  // 63 escaped
  EXPECT_EQ(Locate(), EFI_SUCCESS);
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = std::string(63, 'M'); });
  EXPECT_EQ(Locate(), EFI_SUCCESS);
  EXPECT_NE(Peers().Sends.back().Request.find(std::string(63, 'M') + " HTTP"), std::string::npos);
  const size_t Sent = Peers().Sends.size();
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = std::string(64, 'M'); });
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = std::string(20, ' ') + "abcd"; });  // 64 escaped
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);
  EXPECT_EQ(Peers().Sends.size(), Sent);  // nothing was sent
}

TEST_F(UpdateLocatorTest, ServerChoicesPickTheirMirror) {
  struct Case {
    UINT8 Choice;
    const char* Host;
    const char* Path;
    const char* Address;
  };
  const Case Cases[] = {
      {0, "dl1.example.com", "/bios/Z97E6.rom", "198.51.100.1"},
      {1, "cdn.example.net", "/mirror/bios/Z97E6.rom", "203.0.113.9"},  // through an alias
      {2, "192.0.2.33", "/bios/Z97E6.rom", "192.0.2.33"},
      {3, "10.1", "/Z97E6.rom", "10.1.0.0"},
  };
  for (const Case& C : Cases) {
    SetServerChoice(C.Choice);
    Peers().Queries.clear();
    ASSERT_EQ(Locate(), EFI_SUCCESS) << int(C.Choice);
    EXPECT_STREQ(Host, C.Host);
    EXPECT_STREQ(Path, C.Path);
    EXPECT_EQ(AddressText(), C.Address);
    // Dotted hosts are converted without asking the name server.
    EXPECT_EQ(Peers().Queries.empty(), C.Choice >= 2);
  }
}

TEST_F(UpdateLocatorTest, ChoiceFourLetsTheReplyNameTheMirror) {
  SetServerChoice(4);
  SetReply("HTTP/1.1 200 OK\r\n\r\n<Server Url=\"URL3\" /><Download><URL1>http://a.example/1</URL1>"
           "<URL3>http://192.0.2.3/three</URL3></Download>");
  ASSERT_EQ(Locate(), EFI_SUCCESS);
  EXPECT_STREQ(Host, "192.0.2.3");
  EXPECT_STREQ(Path, "/three");

  SetReply(Download("<URL1>http://a.example/1</URL1>"));
  EXPECT_EQ(Locate(), UPDATE_NO_SERVER_CHOICE);
  SetReply("<Server URL=URL3/>" + Download("<URL3>http://192.0.2.3/three</URL3>"));
  EXPECT_EQ(Locate(), UPDATE_NO_SERVER_CHOICE);
  // A value that names no mirror.
  SetReply("URL=\"URL9\"" + Download("<URL1>http://a.example/1</URL1>"));
  EXPECT_EQ(Locate(), UPDATE_NO_LOCATION);
}

TEST_F(UpdateLocatorTest, MissingArgumentsGive100) {
  NET_TRANSPORT_PROTOCOL* T = Peers().Transport();
  EXPECT_EQ(LocateDownload(nullptr, 1, 2, Host, Path, &Address), UPDATE_ARGUMENT_MISSING);
  EXPECT_EQ(LocateDownload(T, 0, 2, Host, Path, &Address), UPDATE_ARGUMENT_MISSING);
  EXPECT_EQ(LocateDownload(T, 1, 0, Host, Path, &Address), UPDATE_ARGUMENT_MISSING);
  EXPECT_EQ(LocateDownload(T, 1, 2, nullptr, Path, &Address), UPDATE_ARGUMENT_MISSING);
  EXPECT_EQ(LocateDownload(T, 1, 2, Host, nullptr, &Address), UPDATE_ARGUMENT_MISSING);
  EXPECT_EQ(LocateDownload(T, 1, 2, Host, Path, nullptr), UPDATE_ARGUMENT_MISSING);
  EXPECT_TRUE(Peers().Sends.empty());
}

TEST_F(UpdateLocatorTest, FailedExchangeOrUnevenLengthsGive101) {
  EditProfile([](sim::UpdateProfile& P) { P.TransportStatus = EFI_TIMEOUT; });
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);
  // A transport that fails but hands over its reply: the reply is still freed.
  Peers().ReplyOnTransportError = true;
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);

  EditProfile([](sim::UpdateProfile& P) {
    P.TransportStatus = EFI_SUCCESS;
    P.ReplyLengths = std::array<uint32_t, 3>{100, 20, 119};
  });
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);
  // The parts must add up without 32-bit wrap-around.
  EditProfile([](sim::UpdateProfile& P) { P.ReplyLengths = std::array<uint32_t, 3>{0xFFFFFFFF, 1, 0}; });
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);

  EditProfile([](sim::UpdateProfile& P) { P.ReplyLengths.reset(); });
  RemoveProtocol(BOARD_IDENTITY_PROTOCOL::Guid);
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);
}

TEST_F(UpdateLocatorTest, SettingsReadFailureReturnsItsStatus) {
  M().Variables().FailGet(NET_CONFIG_DATA_NAME, EFI_DEVICE_ERROR);
  EXPECT_EQ(Locate(), EFI_DEVICE_ERROR);
  M().Variables().ClearFailures();
  RemoveProtocol(FORM_UTILITY_PROTOCOL::Guid);
  EXPECT_EQ(Locate(), EFI_UNSUPPORTED);
}

TEST_F(UpdateLocatorTest, RepliesWithoutAUsableLocationGive103) {
  const std::string Broken[] = {
      "HTTP/1.1 404 Not Found\r\n\r\n",
      Download("<URL2>http://only.example/two</URL2>"),
      Download("<URL1>http:/</URL1>"),
      Download("<URL1>http://</URL1>"),
      Download("<URL1>http://" + std::string(128, 'h') + "</URL1>"),
      "<Download><URL1>http://a.example/1</URL1>",
      "",
  };
  for (const std::string& Reply : Broken) {
    SetReply(Reply);
    EXPECT_EQ(Locate(), UPDATE_NO_LOCATION) << Reply;
  }
  SetServerChoice(5);
  SetReply(Download("<URL1>http://a.example/1</URL1>"));
  EXPECT_EQ(Locate(), UPDATE_NO_LOCATION);
}

TEST_F(UpdateLocatorTest, OnlyTheBytesTheLengthRecordCountsAreSearched) {
  // The whole element is received, but the record counts one byte less.
  const std::string Reply = Download("<URL1>http://192.0.2.1/p</URL1>");
  SetReply(Reply);
  EditProfile([](sim::UpdateProfile& P) {
    uint32_t Total = (uint32_t)P.ServerReply.size() - 1;
    P.ReplyLengths = std::array<uint32_t, 3>{10, Total - 10, Total};
  });
  EXPECT_EQ(Locate(), UPDATE_NO_LOCATION);
  EditProfile([](sim::UpdateProfile& P) {
    uint32_t Total = (uint32_t)P.ServerReply.size();
    P.ReplyLengths = std::array<uint32_t, 3>{10, Total - 10, Total};
  });
  EXPECT_EQ(Locate(), EFI_SUCCESS);
}

TEST_F(UpdateLocatorTest, UnusableHostsGive104) {
  for (const char* Location : {"http:///path/only", "http://1.2.3.4.5/p", "http://1234.1.1.1/p"}) {
    SetReply(Download(std::string("<URL1>") + Location + "</URL1>"));
    EXPECT_EQ(Locate(), UPDATE_BAD_LOCATION) << Location;
  }
}

TEST_F(UpdateLocatorTest, NameResolutionCodesPassThrough) {
  Peers().BuildQueryStatus = EFI_OUT_OF_RESOURCES;
  EXPECT_EQ(Locate(), UPDATE_RESOLVER_NOT_STARTED);
  Peers().BuildQueryStatus.reset();
  Peers().ExchangeStatus = EFI_SUCCESS;
  EXPECT_EQ(Locate(), UPDATE_ANSWER_MISSING);
  Peers().ExchangeStatus = EFI_DEVICE_ERROR;
  EXPECT_EQ(Locate(), UPDATE_RESOLVER_NO_ANSWER);
  Peers().ExchangeStatus.reset();
  EditProfile([](sim::UpdateProfile& P) { P.NameTable.clear(); });
  EXPECT_EQ(Locate(), UPDATE_ANSWER_NO_NAME);
  EditProfile([](sim::UpdateProfile& P) { P.NameTable = {{"dl1.example.com", std::string(70, 'c'), {}}}; });
  EXPECT_EQ(Locate(), UPDATE_ANSWER_BAD_NAME);
  RemoveProtocol(NAME_RESOLUTION_PROTOCOL::Guid);
  EXPECT_EQ(Locate(), UPDATE_RESOLVER_NOT_STARTED);
  ASSERT_FALSE(Peers().ExchangeValues.empty());
  EXPECT_EQ(Peers().ExchangeValues[0], VALUE1);
}

TEST_F(UpdateLocatorTest, ResolveLocationStartsAtTheSplit) {
  UPDATE_LOCATOR_PROTOCOL* L = Locator();
  NET_TRANSPORT_PROTOCOL* T = Peers().Transport();
  CHAR8 Text[600];
  CHAR8* Location = Text;
  std::strcpy(Text, "dl1.example.com/a/b");
  EXPECT_EQ(L->ResolveLocation(nullptr, 1, 2, &Location, Host, Path, &Address), UPDATE_ARGUMENT_MISSING);
  EXPECT_EQ(L->ResolveLocation(T, 1, 0, &Location, Host, Path, &Address), UPDATE_ARGUMENT_MISSING);
  EXPECT_EQ(L->ResolveLocation(T, 1, 2, &Location, Host, Path, &Address), EFI_SUCCESS);
  EXPECT_STREQ(Host, "dl1.example.com");
  EXPECT_STREQ(Path, "/a/b");
  EXPECT_EQ(AddressText(), "198.51.100.1");
  EXPECT_TRUE(Peers().Sends.empty());  // the server is not asked

  std::strcpy(Text, "");
  EXPECT_EQ(L->ResolveLocation(T, 1, 2, &Location, Host, Path, &Address), EFI_ABORTED);
  CHAR8* Null = nullptr;
  EXPECT_EQ(L->ResolveLocation(T, 1, 2, &Null, Host, Path, &Address), EFI_ABORTED);
  std::strcpy(Text, "/no/host");
  EXPECT_EQ(L->ResolveLocation(T, 1, 2, &Location, Host, Path, &Address), UPDATE_BAD_LOCATION);
  std::memset(Text, 'h', 511);
  Text[511] = '\0';
  EXPECT_EQ(L->ResolveLocation(T, 1, 2, &Location, Host, Path, &Address), UPDATE_BAD_LOCATION);
  std::strcpy(Text, "172.16.0.9");
  EXPECT_EQ(L->ResolveLocation(T, 1, 2, &Location, Host, Path, &Address), EFI_SUCCESS);
  EXPECT_STREQ(Path, "");
  EXPECT_EQ(AddressText(), "172.16.0.9");
}

// Every pool allocation of a whole lookup (the driver's own and those the
// transport and name server make for it) is failed in turn.
TEST_F(UpdateLocatorTest, NoBufferIsLeftWhicheverAllocationFails) {
  for (UINT8 Choice : {1, 4}) {
    SetServerChoice(Choice);
    if (Choice == 4) SetReply("URL=\"URL2\"" + Peers().Profile().ServerReply);
    const size_t Live = M().Pool().LiveAllocationCount();
    size_t Fail = 0;
    for (;; ++Fail) {
      M().Pool().FailAllocationAfter(Fail);
      EFI_STATUS Status = Locate();
      const bool NotReached = M().Pool().FailurePending();
      M().Pool().ClearFailure();
      EXPECT_EQ(M().Pool().LiveAllocationCount(), Live) << "failing allocation " << Fail;
      EXPECT_EQ(Peers().OpenContexts(), 0u);
      if (NotReached) {
        EXPECT_EQ(Status, EFI_SUCCESS);
        EXPECT_STREQ(Host, "cdn.example.net");
        break;
      }
      EXPECT_NE(Status, EFI_SUCCESS) << "failing allocation " << Fail;
    }
    EXPECT_GE(Fail, 12u);  // request, reply, location, tags, split, resolution over an alias
  }
}

// The default board's own server reply and name table.
class BoardDefaultTest : public UpdateFetchTest {
 protected:
  void Customise(sim::BoardProfile&) override {}
};

TEST_F(BoardDefaultTest, DefaultBoardLocatesItsFirstMirrorThroughAnAlias) {
  const auto* Stored = M().Variables().Find(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID);
  ASSERT_NE(Stored, nullptr);
  EXPECT_EQ(Stored->Data.size(), NET_CONFIG_DATA_SIZE);
  ASSERT_EQ(Locate(), EFI_SUCCESS);
  EXPECT_STREQ(Host, "mirror1.example.net");
  EXPECT_STREQ(Path, "/bios/Q7730PRO/Q7730PRO.F12");
  EXPECT_EQ(AddressText(), "203.0.113.25");
  EXPECT_NE(Peers().Sends.at(0).Request.find("?Model=Q7730%20Pro HTTP/1.1"), std::string::npos);
}

}  // namespace
}  // namespace updatefetch_test

namespace updatefetch_test {
namespace {

using ModelEscapeTest = UpdateFetchTest;

// A final blank takes three characters at once: reaching 64 through it is as
// much a refusal as reaching it through a plain character.
TEST_F(ModelEscapeTest, AFinalBlankThatReachesSixtyFourIsRefused) {
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = std::string(60, 'M') + " "; });  // 63 escaped
  ASSERT_EQ(Locate(), EFI_SUCCESS);
  EXPECT_NE(Peers().Sends.back().Request.find("?Model=" + std::string(60, 'M') + "%20 HTTP/1.1\r\n"), std::string::npos);
  const size_t Sent = Peers().Sends.size();
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = std::string(61, 'M') + " "; });
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);
  EditProfile([](sim::UpdateProfile& P) { P.ModelName = "M" + std::string(21, ' '); });
  EXPECT_EQ(Locate(), UPDATE_REQUEST_FAILED);
  EXPECT_EQ(Peers().Sends.size(), Sent);  // nothing was sent
}

}  // namespace
}  // namespace updatefetch_test
