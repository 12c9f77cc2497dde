#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/update_locator.h"
#include "tests/updatefetch/update_fixture.h"
#include "updatefetch/location_split.h"

namespace updatefetch_test {
namespace {

using LocationSplitTest = UpdateFetchTest;

struct SplitResult {
  EFI_STATUS Status;
  std::string Host;
  std::string Path;
};

SplitResult Split(const std::string& Location) {
  CHAR8 HostOut[UPDATE_HOST_BUFFER_SIZE];
  CHAR8 PathOut[UPDATE_PATH_BUFFER_SIZE];
  std::strcpy(HostOut, "untouched");
  std::strcpy(PathOut, "untouched");
  EFI_STATUS Status = SplitLocation(Location.c_str(), HostOut, PathOut);
  return {Status, HostOut, PathOut};
}

TEST_F(LocationSplitTest, HostBeforeTheFirstSlashPathFromIt) {
  SplitResult R = Split("dl.example.com/bios/z97/fw.rom");
  EXPECT_EQ(R.Status, EFI_SUCCESS);
  EXPECT_EQ(R.Host, "dl.example.com");
  EXPECT_EQ(R.Path, "/bios/z97/fw.rom");
  R = Split("dl.example.com");
  EXPECT_EQ(R.Host, "dl.example.com");
  EXPECT_EQ(R.Path, "");
  R = Split("/only/path");
  EXPECT_EQ(R.Status, EFI_SUCCESS);
  EXPECT_EQ(R.Host, "");
  EXPECT_EQ(R.Path, "/only/path");
  // A slash inside quotes does not split.
  R = Split("a\"/\"b/c");
  EXPECT_EQ(R.Host, "a\"/\"b");
  EXPECT_EQ(R.Path, "/c");
}

TEST_F(LocationSplitTest, PartsThatDoNotFitAreRefusedAndOutputsKept) {
  const std::string Host127(127, 'h');
  EXPECT_EQ(Split(Host127 + "/p").Status, EFI_SUCCESS);
  SplitResult R = Split(Host127 + "h/p");
  EXPECT_EQ(R.Status, EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ(R.Host, "untouched");
  EXPECT_EQ(R.Path, "untouched");
  EXPECT_EQ(Split("h/" + std::string(126, 'p')).Status, EFI_SUCCESS);
  EXPECT_EQ(Split("h/" + std::string(127, 'p')).Status, EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ(Split(std::string(512, 'x')).Status, EFI_BAD_BUFFER_SIZE);
}

TEST_F(LocationSplitTest, WorkingBuffersAreReturnedWhenOneIsRefused) {
  const size_t Before = M().Pool().LiveAllocationCount();
  for (size_t Fail = 0; Fail < 2; ++Fail) {
    M().Pool().FailAllocationAfter(Fail);
    EXPECT_EQ(Split("host/path").Status, EFI_OUT_OF_RESOURCES);
    M().Pool().ClearFailure();
  }
  EXPECT_EQ(M().Pool().LiveAllocationCount(), Before);
}

std::string Dotted(const char* Text) {
  EFI_IPv4_ADDRESS A = {{9, 9, 9, 9}};
  if (EFI_ERROR(ParseDottedDecimal(Text, &A))) return "refused";
  return std::to_string(A.Addr[0]) + "," + std::to_string(A.Addr[1]) + "," + std::to_string(A.Addr[2]) + "," +
         std::to_string(A.Addr[3]);
}

TEST_F(LocationSplitTest, DottedDecimalFillsFromTheLowestByte) {
  EXPECT_EQ(Dotted("192.0.2.33"), "192,0,2,33");
  EXPECT_EQ(Dotted("10.1"), "10,1,0,0");
  EXPECT_EQ(Dotted("7"), "7,0,0,0");
  EXPECT_EQ(Dotted("1..3"), "1,0,3,0");
  // Three digits are allowed; the byte is the value's low eight bits.
  EXPECT_EQ(Dotted("300.256.999.010"), "44,0,231,10");
}

TEST_F(LocationSplitTest, DottedDecimalRefusesWhatCannotBeAnAddress) {
  EXPECT_EQ(Dotted("1.2.3.4.5"), "refused");
  EXPECT_EQ(Dotted("1.2.3.4."), "refused");
  EXPECT_EQ(Dotted("1000.1.1.1"), "refused");
  EXPECT_EQ(Dotted("0001"), "refused");
  EXPECT_EQ(Dotted("1.x"), "refused");
  EXPECT_TRUE(IsDottedDecimalText("10.1"));
  EXPECT_TRUE(IsDottedDecimalText("..."));
  EXPECT_FALSE(IsDottedDecimalText("10.1a"));
  EXPECT_FALSE(IsDottedDecimalText("-1"));
}

// Callers hand over what they hold; a missing text or output is refused.
TEST_F(LocationSplitTest, MissingArgumentsAreRefused) {
  CHAR8 Host[UPDATE_HOST_BUFFER_SIZE];
  CHAR8 Path[UPDATE_PATH_BUFFER_SIZE];
  EXPECT_EQ(SplitLocation(nullptr, Host, Path), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SplitLocation("h/p", nullptr, Path), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SplitLocation("h/p", Host, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_FALSE(IsDottedDecimalText(nullptr));
  EFI_IPv4_ADDRESS Address = {{9, 9, 9, 9}};
  EXPECT_EQ(ParseDottedDecimal(nullptr, &Address), EFI_INVALID_PARAMETER);
  EXPECT_EQ(ParseDottedDecimal("1.2.3.4", nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Address.Addr[0], 9);
  // Below "0" as well as above "9".
  EXPECT_EQ(Dotted("1/2"), "refused");
}

}  // namespace
}  // namespace updatefetch_test
