#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/updatefetch/update_fixture.h"
#include "updatefetch/host_resolution.h"

namespace updatefetch_test {
namespace {

class HostResolutionTest : public UpdateFetchTest {
 protected:
  EFI_STATUS Resolve(const std::string& Name) {
    std::memset(Name_, 0, sizeof Name_);
    std::memcpy(Name_, Name.data(), std::min(Name.size(), sizeof Name_));
    Address = {{0xEE, 0xEE, 0xEE, 0xEE}};
    return Locator()->ResolveHostName(Name_, &Address, 0x77);
  }
  void SetNames(std::vector<sim::UpdateProfile::Name> Names) {
    sim::UpdateProfile P = Peers().Profile();
    P.NameTable = std::move(Names);
    Peers().SetProfile(P);
  }
  // A chain a0 -> a1 -> ... -> aN with an address at the end.
  void SetAliasChain(int Aliases) {
    std::vector<sim::UpdateProfile::Name> Names;
    for (int i = 0; i < Aliases; ++i) Names.push_back({"a" + std::to_string(i), "a" + std::to_string(i + 1), {}});
    Names.push_back({"a" + std::to_string(Aliases), "", {10, 0, 0, (uint8_t)Aliases}});
    SetNames(Names);
  }
  std::string Name() const { return Name_; }

  CHAR8 Name_[UPDATE_HOST_BUFFER_SIZE];
};

TEST_F(HostResolutionTest, AddressAnswerIsStoredAndContextClosed) {
  EXPECT_EQ(Resolve("DL1.example.com"), EFI_SUCCESS);
  EXPECT_EQ(AddressText(), "198.51.100.1");
  EXPECT_EQ(Name(), "DL1.example.com");
  ASSERT_EQ(Peers().ExchangeValues.size(), 1u);
  EXPECT_EQ(Peers().ExchangeValues[0], 0x77u);
  EXPECT_EQ(Peers().Closes.size(), 1u);
}

TEST_F(HostResolutionTest, FiveAliasesAreFollowedTheSixthAnswerRefused) {
  SetAliasChain(4);
  EXPECT_EQ(Resolve("a0"), EFI_SUCCESS);
  EXPECT_EQ(AddressText(), "10.0.0.4");
  EXPECT_EQ(Name(), "a4");  // the caller's name holds the last alias
  EXPECT_EQ(Peers().Queries, (std::vector<std::string>{"a0", "a1", "a2", "a3", "a4"}));
  EXPECT_EQ(Peers().Closes.size(), 5u);

  SetAliasChain(5);
  Peers().Queries.clear();
  const size_t ParsesBefore = Peers().Parses;
  EXPECT_EQ(Resolve("a0"), UPDATE_RESOLVER_NO_ANSWER);
  EXPECT_EQ(Peers().Queries, (std::vector<std::string>{"a0", "a1", "a2", "a3", "a4", "a5"}));
  EXPECT_EQ(Peers().Parses - ParsesBefore, 5u);  // the sixth answer is not parsed
  EXPECT_EQ(Name(), "a5");
  EXPECT_EQ(AddressText(), "238.238.238.238");
}

TEST_F(HostResolutionTest, ExchangeOutcomesGiveTheirCodes) {
  Peers().ExchangeStatus = EFI_SUCCESS;  // finished without an answer
  EXPECT_EQ(Resolve("dl1.example.com"), UPDATE_ANSWER_MISSING);
  Peers().ExchangeStatus = EFI_TIMEOUT;  // time-out but no answer pointer
  EXPECT_EQ(Resolve("dl1.example.com"), UPDATE_RESOLVER_NO_ANSWER);
  Peers().ExchangeStatus = EFI_NO_RESPONSE;
  EXPECT_EQ(Resolve("dl1.example.com"), UPDATE_RESOLVER_NO_ANSWER);
  EXPECT_EQ(Peers().Closes.size(), 3u);
}

TEST_F(HostResolutionTest, ParseFailuresTellWhetherANameWasLeft) {
  // An unknown name draws a name-error answer; the parse leaves no name.
  EXPECT_EQ(Resolve("unknown.example"), UPDATE_ANSWER_NO_NAME);
  // An alias that overflows the name buffer leaves the part that fitted.
  SetNames({{"long.example", std::string(64, 'x'), {}}});
  EXPECT_EQ(Resolve("long.example"), UPDATE_ANSWER_BAD_NAME);
  EXPECT_EQ(Name(), "long.example");
  // A 63-character alias still fits.
  SetNames({{"fits.example", std::string(63, 'y'), {}}, {std::string(63, 'y'), "", {1, 2, 3, 4}}});
  EXPECT_EQ(Resolve("fits.example"), EFI_SUCCESS);
  EXPECT_EQ(Name(), std::string(63, 'y'));
  EXPECT_EQ(AddressText(), "1.2.3.4");
}

// The board's parse, wrapped so that its first alias answer names nothing.
NAME_RESOLUTION_PROTOCOL::ParseAnswerFn gBoardParse = nullptr;
bool gAliasEmptied = false;
EFI_STATUS EFIAPI ParseFirstAliasAsEmpty(VOID* Answer, UINT16 QueryLength, UINT16 AnswerLength,
                                         EFI_IPv4_ADDRESS* Address, CHAR8** NameBuffer, UINT8* RecordType) {
  EFI_STATUS Status = gBoardParse(Answer, QueryLength, AnswerLength, Address, NameBuffer, RecordType);
  if (*RecordType == NAME_RECORD_ALIAS && !gAliasEmptied) {
    std::memset(*NameBuffer, 0, NAME_ALIAS_BUFFER_SIZE);
    gAliasEmptied = true;
  }
  return Status;
}

TEST_F(HostResolutionTest, EmptyAliasIsFollowedLikeAnyOther) {
  SetNames({{"a0", "a1", {}}, {"", "", {192, 0, 2, 99}}});
  gBoardParse = Peers().NameResolution()->ParseAnswer;
  gAliasEmptied = false;
  Peers().NameResolution()->ParseAnswer = ParseFirstAliasAsEmpty;
  EXPECT_EQ(Resolve("a0"), EFI_SUCCESS);
  EXPECT_EQ(Peers().Queries, (std::vector<std::string>{"a0", ""}));
  EXPECT_EQ(Name(), "");
  EXPECT_EQ(AddressText(), "192.0.2.99");
}

TEST_F(HostResolutionTest, ResolverThatCannotStartGives105) {
  Peers().BuildQueryStatus = EFI_DEVICE_ERROR;
  EXPECT_EQ(Resolve("dl1.example.com"), UPDATE_RESOLVER_NOT_STARTED);
  EXPECT_TRUE(Peers().Closes.empty());  // nothing was opened
  Peers().BuildQueryStatus.reset();
  EXPECT_EQ(Resolve(std::string(128, 'n')), UPDATE_RESOLVER_NOT_STARTED);  // no terminator within 128
  EXPECT_EQ(Locator()->ResolveHostName(nullptr, &Address, 1), UPDATE_RESOLVER_NOT_STARTED);
  RemoveProtocol(NAME_RESOLUTION_PROTOCOL::Guid);
  EXPECT_EQ(Resolve("dl1.example.com"), UPDATE_RESOLVER_NOT_STARTED);
}

TEST_F(HostResolutionTest, EveryAllocationFailureLeavesNothingBehind) {
  SetAliasChain(2);
  size_t Before = M().Pool().AllocationCount();
  ASSERT_EQ(Resolve("a0"), EFI_SUCCESS);
  const size_t Allocations = M().Pool().AllocationCount() - Before;
  ASSERT_GE(Allocations, 7u);  // working copy, and per pass a query and a name buffer
  for (size_t Fail = 0; Fail < Allocations; ++Fail) {
    M().Pool().FailAllocationAfter(Fail);
    EFI_STATUS Status = Resolve("a0");
    M().Pool().ClearFailure();
    EXPECT_EQ(Status, UPDATE_RESOLVER_NOT_STARTED) << "failing allocation " << Fail;
    EXPECT_EQ(Peers().OpenContexts(), 0u);
  }
  EXPECT_EQ(M().LeakReport(), "");
}

}  // namespace
}  // namespace updatefetch_test
