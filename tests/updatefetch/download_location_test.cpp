#include <gtest/gtest.h>

#include <string>

#include "tests/updatefetch/update_fixture.h"
#include "updatefetch/download_location.h"

namespace updatefetch_test {
namespace {

using DownloadLocationTest = UpdateFetchTest;

const std::string MIRRORS =
    "<Download><URL1>http://one.example/a</URL1><URL2>http://two.example/b</URL2>"
    "<URL3>http://three.example/c</URL3><URL4>http://four.example/d</URL4></Download>";

// The location, or "!" and the status when extraction fails.
std::string Extract(const std::string& Reply, UINT8 Choice, size_t Length = std::string::npos) {
  CHAR8 Location[LOCATION_BUFFER_SIZE];
  EFI_STATUS Status = ExtractDownloadLocation(Reply.data(), Length == std::string::npos ? Reply.size() : Length,
                                              Choice, Location);
  if (EFI_ERROR(Status)) return "!" + std::to_string(Status & 0xFF);
  return Location;
}

TEST_F(DownloadLocationTest, EachChoiceTakesItsMirrorLessTheSchemePrefix) {
  EXPECT_EQ(Extract(MIRRORS, 0), "one.example/a");
  EXPECT_EQ(Extract(MIRRORS, 1), "two.example/b");
  EXPECT_EQ(Extract(MIRRORS, 2), "three.example/c");
  EXPECT_EQ(Extract(MIRRORS, 3), "four.example/d");
  EXPECT_EQ(Extract(MIRRORS, 4), "!14");
  EXPECT_EQ(Extract(MIRRORS, 255), "!14");
  // The first seven characters go whatever they are.
  EXPECT_EQ(Extract("<Download><URL1>ftp://xhost/p</URL1></Download>", 0), "host/p");
}

TEST_F(DownloadLocationTest, MirrorMustLieInsideTheDownloadElement) {
  EXPECT_EQ(Extract("<URL1>http://outside/</URL1><Download><URL2>http://in/</URL2></Download>", 0), "!2");
  EXPECT_EQ(Extract("<Download></Download><URL1>http://after/</URL1>", 0), "!14");
  EXPECT_EQ(Extract("<download><url1>http://lower.example/</url1></download>", 0), "lower.example/");
  // A tag inside a quoted attribute value is not an element.
  EXPECT_EQ(Extract("<x a=\"<Download><URL1>http://fake/</URL1></Download>\"/>"
                    "<Download><URL1>http://real/</URL1></Download>",
                    0),
            "real/");
}

TEST_F(DownloadLocationTest, ShortOrLongContentIsRefused) {
  EXPECT_EQ(Extract("<Download><URL1>http:/</URL1></Download>", 0), "!14");   // shorter than the prefix
  EXPECT_EQ(Extract("<Download><URL1>http://</URL1></Download>", 0), "!14");  // nothing after it
  EXPECT_EQ(Extract("<Download><URL1></URL1></Download>", 0), "!14");
  const std::string Fits(127, 'h');
  EXPECT_EQ(Extract("<Download><URL1>http://" + Fits + "</URL1></Download>", 0), Fits);
  EXPECT_EQ(Extract("<Download><URL1>http://" + Fits + "x</URL1></Download>", 0), "!4");
}

TEST_F(DownloadLocationTest, OnlyTheCountedBytesAreSearched) {
  const std::string Reply = MIRRORS;
  EXPECT_EQ(Extract(Reply, 0, Reply.size() - 1), "!2");  // the last ">" is beyond the count
  EXPECT_EQ(Extract(Reply, 0, 0), "!14");
}

TEST_F(DownloadLocationTest, ReplyNamesTheMirrorForChoiceFour) {
  UINT8 Choice = 0xEE;
  std::string Reply = "<Server url=\"URL3\"/>";
  ASSERT_EQ(ServerChoiceFromReply(Reply.data(), Reply.size(), &Choice), EFI_SUCCESS);
  EXPECT_EQ(Choice, 2);
  // Quotes do not hide URL=; the value is read four characters after the quote.
  Reply = "<a b=\"URL= \"URL12\"";
  ASSERT_EQ(ServerChoiceFromReply(Reply.data(), Reply.size(), &Choice), EFI_SUCCESS);
  EXPECT_EQ(Choice, 11);
  // No digits: 0 - 1 in eight bits, which names no mirror.
  Reply = "URL=\"URLx";
  ASSERT_EQ(ServerChoiceFromReply(Reply.data(), Reply.size(), &Choice), EFI_SUCCESS);
  EXPECT_EQ(Choice, 255);
  Reply = "URL=\"UR";  // the reply ends before the digits
  ASSERT_EQ(ServerChoiceFromReply(Reply.data(), Reply.size(), &Choice), EFI_SUCCESS);
  EXPECT_EQ(Choice, 255);
}

TEST_F(DownloadLocationTest, ChoiceFourWithoutQuotedValueIsNotFound) {
  UINT8 Choice = 7;
  for (const std::string& Reply : {std::string("no marker here"), std::string("URL=3"), std::string("URL")}) {
    EXPECT_EQ(ServerChoiceFromReply(Reply.data(), Reply.size(), &Choice), EFI_NOT_FOUND) << Reply;
  }
  const std::string Reply = "URL=\"URL2";
  EXPECT_EQ(ServerChoiceFromReply(Reply.data(), 4, &Choice), EFI_NOT_FOUND);  // quote beyond the count
  EXPECT_EQ(Choice, 7);
}

TEST_F(DownloadLocationTest, MissingArgumentsFindNothing) {
  UINT8 Choice = 7;
  EXPECT_EQ(ServerChoiceFromReply(nullptr, 10, &Choice), EFI_NOT_FOUND);
  EXPECT_EQ(ServerChoiceFromReply("URL=\"1234", 9, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(Choice, 7);
  CHAR8 Location[LOCATION_BUFFER_SIZE];
  EXPECT_EQ(ExtractDownloadLocation(nullptr, MIRRORS.size(), 0, Location), EFI_NOT_FOUND);
  EXPECT_EQ(ExtractDownloadLocation(MIRRORS.data(), MIRRORS.size(), 0, nullptr), EFI_NOT_FOUND);
}

}  // namespace
}  // namespace updatefetch_test
