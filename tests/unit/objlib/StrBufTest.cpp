#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objlib/ios_strbuf.h"

namespace {

TEST(StrBuf, AppendsKeepTheTextNulTerminated) {
  struct Case {
    std::vector<std::string> pieces;
    std::string expected;
  };
  const std::string longPiece(300, 'x');
  const Case cases[] = {
      {{"abc", "de"}, "abcde"},
      {{""}, ""},
      {{"", "a", ""}, "a"},
      {{"0123456789abcdef"}, "0123456789abcdef"},  // exactly the first capacity
      {{longPiece, "y"}, longPiece + "y"},
      {{"a", longPiece, longPiece}, "a" + longPiece + longPiece},
  };
  for (const Case& c : cases) {
    StrBuf buffer{};
    for (const std::string& piece : c.pieces) ASSERT_EQ(strbuf_append(&buffer, piece.c_str()), 0);
    EXPECT_EQ(std::string(strbuf_text(&buffer)), c.expected);
    EXPECT_EQ(strbuf_length(&buffer), c.expected.size());
    if (buffer.base != nullptr) {
      EXPECT_GT(buffer.capacity, c.expected.size());
      EXPECT_EQ(*buffer.end, '\0');
    }
    strbuf_release(&buffer);
    EXPECT_EQ(buffer.base, nullptr);
  }
}

TEST(StrBuf, EmptyBufferReadsAsEmptyText) {
  StrBuf buffer{};
  EXPECT_STREQ(strbuf_text(&buffer), "");
  EXPECT_EQ(strbuf_length(&buffer), 0u);
}

TEST(StrBuf, RefusesNullBufferAndText) {
  StrBuf buffer{};
  EXPECT_EQ(strbuf_append(nullptr, "a"), -1);
  EXPECT_EQ(strbuf_append(&buffer, nullptr), -1);
  EXPECT_EQ(buffer.base, nullptr);
}

}  // namespace
