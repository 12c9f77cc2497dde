#include <gtest/gtest.h>

#include <string>

#include "tests/updatefetch/update_fixture.h"
#include "updatefetch/reply_search.h"

namespace updatefetch_test {
namespace {

using ReplySearchTest = UpdateFetchTest;

UINTN Search(const std::string& Text, const char* Needle, bool QuoteRule = true, UINTN From = 0) {
  return PlainSearch(Text.data(), From, Text.size(), Needle, QuoteRule);
}

TEST_F(ReplySearchTest, PlainSearchIgnoresCaseAndFindsFirstMatch) {
  EXPECT_EQ(Search("xx<download>", "<DownLoad"), 2u);
  EXPECT_EQ(Search("abcABC", "abc", true, 1), 3u);
  // Only letters fold: "[" is not "{" although they differ by 0x20 too.
  EXPECT_EQ(Search("a{b", "A[B"), NO_POSITION);
}

TEST_F(ReplySearchTest, PlainSearchSkipsQuotedTextOnlyWithTheQuoteRule) {
  const std::string Text = "<a t=\"<URL1>\"><URL1>";
  EXPECT_EQ(Search(Text, "<URL1>"), 14u);
  EXPECT_EQ(Search(Text, "<URL1>", false), 6u);
  // An unclosed quote hides everything after it.
  EXPECT_EQ(Search("\"<URL1>", "<URL1>"), NO_POSITION);
}

TEST_F(ReplySearchTest, PlainSearchStaysInsideItsRange) {
  const std::string Text = "abcdef";
  // A match that would end past the range end is not a match.
  EXPECT_EQ(PlainSearch(Text.data(), 0, 5, "ef", true), NO_POSITION);
  EXPECT_EQ(PlainSearch(Text.data(), 0, 6, "ef", true), 4u);
  EXPECT_EQ(PlainSearch(Text.data(), 3, 3, "d", true), NO_POSITION);
  EXPECT_EQ(PlainSearch(Text.data(), 5, 2, "d", true), NO_POSITION);
  EXPECT_EQ(PlainSearch(Text.data(), 0, 6, "", true), NO_POSITION);
}

TEST_F(ReplySearchTest, ElementRecordHoldsEveryPosition) {
  const std::string Text = "..<Item  k=\"v\">content</Item >..";
  ELEMENT_RECORD R;
  ASSERT_EQ(FindElement(Text.data(), 0, Text.size(), "item", &R), EFI_SUCCESS);
  EXPECT_EQ(R.OpenStart, 2u);
  EXPECT_EQ(Text.substr(R.AttributeStart, R.AttributeEnd - R.AttributeStart + 1), "k=\"v\"");
  EXPECT_EQ(Text.substr(R.ContentStart, R.ContentEnd - R.ContentStart + 1), "content");
  EXPECT_EQ(R.ElementEnd, Text.size() - 3);
}

TEST_F(ReplySearchTest, EmptyAttributesAndContentStayAbsent) {
  const std::string Text = "<Item   ></Item>";
  ELEMENT_RECORD R;
  ASSERT_EQ(FindElement(Text.data(), 0, Text.size(), "Item", &R), EFI_SUCCESS);
  EXPECT_EQ(R.AttributeStart, 8u);  // the ">" itself
  EXPECT_EQ(R.AttributeEnd, NO_POSITION);
  EXPECT_EQ(R.ContentStart, NO_POSITION);
  EXPECT_EQ(R.ContentEnd, NO_POSITION);
}

TEST_F(ReplySearchTest, TagNamesMatchAsPrefixesFirstMatchWins) {
  const std::string Text = "<URL10>ten</URL10><URL1>one</URL1>";
  ELEMENT_RECORD R;
  ASSERT_EQ(FindElement(Text.data(), 0, Text.size(), "URL1", &R), EFI_SUCCESS);
  EXPECT_EQ(R.OpenStart, 0u);
  EXPECT_EQ(Text.substr(R.AttributeStart, R.AttributeEnd - R.AttributeStart + 1), "0");
  // The closing tag found is the first "</URL1" after the open tag's ">".
  EXPECT_EQ(Text.substr(R.ContentStart, R.ContentEnd - R.ContentStart + 1), "ten");
}

TEST_F(ReplySearchTest, MissingPartsRefuseTheElement) {
  ELEMENT_RECORD R;
  for (const std::string& Text : {std::string("no element"), std::string("<Item never closed"),
                                  std::string("<Item>no closing tag"), std::string("<Item>x</Item"),
                                  std::string("<Item a=\">\"</Item>")}) {
    EXPECT_EQ(FindElement(Text.data(), 0, Text.size(), "Item", &R), EFI_INVALID_PARAMETER) << Text;
  }
}

TEST_F(ReplySearchTest, ElementSearchReturnsItsTagBuffersOnEveryPath) {
  const std::string Text = "<Item>x</Item>";
  ELEMENT_RECORD R;
  const size_t Before = M().Pool().LiveAllocationCount();
  for (size_t Fail = 0; Fail < 2; ++Fail) {
    M().Pool().FailAllocationAfter(Fail);
    EXPECT_EQ(FindElement(Text.data(), 0, Text.size(), "Item", &R), EFI_OUT_OF_RESOURCES);
    M().Pool().ClearFailure();
  }
  EXPECT_EQ(FindElement(Text.data(), 0, Text.size(), "Item", &R), EFI_SUCCESS);
  EXPECT_EQ(FindElement(Text.data(), 0, Text.size(), "Other", &R), EFI_INVALID_PARAMETER);
  EXPECT_EQ(M().Pool().LiveAllocationCount(), Before);
}

TEST_F(ReplySearchTest, MissingArgumentsFindNothing) {
  const std::string Text = "<Item>x</Item>";
  EXPECT_EQ(PlainSearch(nullptr, 0, 4, "x", false), NO_POSITION);
  EXPECT_EQ(PlainSearch(Text.data(), 0, Text.size(), nullptr, false), NO_POSITION);
  ELEMENT_RECORD R;
  EXPECT_EQ(FindElement(nullptr, 0, 4, "Item", &R), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FindElement(Text.data(), 0, Text.size(), nullptr, &R), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FindElement(Text.data(), 0, Text.size(), "Item", nullptr), EFI_INVALID_PARAMETER);
}

}  // namespace
}  // namespace updatefetch_test
