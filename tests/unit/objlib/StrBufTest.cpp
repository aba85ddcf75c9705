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

namespace {

struct OwnedBuffer {
  StrBuf* buffer;
  explicit OwnedBuffer(StrBuf* made) : buffer(made) {}
  ~OwnedBuffer() { strbuf_free(buffer); }
  std::string text() const { return std::string(buffer->base, strbuf_length(buffer)); }
};

TEST(StrBufGrowth, CapacityGrowsByMultiplesOfTheOldOne) {
  struct Case {
    const char* what;
    int32_t start;
    uint32_t heldBefore;
    uint32_t appended;
    uint32_t capacityAfter;
  };
  const Case cases[] = {
      {"9 of 10 plus one", 10, 9, 1, 20},
      {"8 of 10 plus one fits", 10, 8, 1, 10},
      {"35 bytes in 10", 10, 0, 35, 40},
      {"exactly 20 in 10", 10, 0, 20, 30},
      {"19 in 10", 10, 0, 19, 20},
      {"1 in 16", 16, 0, 1, 16},
  };
  for (const Case& c : cases) {
    OwnedBuffer owned(strbuf_new(c.start));
    ASSERT_NE(owned.buffer, nullptr) << c.what;
    std::string before(c.heldBefore, 'a');
    std::string added(c.appended, 'b');
    ASSERT_EQ(strbuf_append_bytes(owned.buffer, before.data(), static_cast<int32_t>(before.size())),
              0);
    ASSERT_EQ(strbuf_append(owned.buffer, added.c_str()), 0) << c.what;
    EXPECT_EQ(owned.buffer->capacity, c.capacityAfter) << c.what;
    EXPECT_EQ(owned.text(), before + added) << c.what;
    EXPECT_EQ(*owned.buffer->end, '\0') << c.what;
  }
}

TEST(StrBufGrowth, NewBuffersHaveAtLeastTen) {
  struct Case {
    int32_t asked;
    uint32_t capacity;
  };
  const Case cases[] = {{0, 10}, {3, 10}, {-5, 10}, {10, 10}, {11, 11}, {100, 100}};
  for (const Case& c : cases) {
    OwnedBuffer owned(strbuf_new(c.asked));
    ASSERT_NE(owned.buffer, nullptr);
    EXPECT_EQ(owned.buffer->capacity, c.capacity) << c.asked;
    EXPECT_EQ(strbuf_length(owned.buffer), 0u);
  }
  OwnedBuffer empty(strbuf_from_string(""));
  EXPECT_EQ(empty.buffer->capacity, 10u);
  OwnedBuffer text(strbuf_from_string("hello world"));
  EXPECT_EQ(text.buffer->capacity, 12u);
  EXPECT_EQ(text.text(), "hello world");
}

TEST(StrBufEdits, LengthCharactersAndCopies) {
  struct Case {
    const char* what;
    const char* start;
    int (*edit)(StrBuf*);
    int result;
    std::string after;
  };
  const Case cases[] = {
      {"lengthen pads with blanks", "ab", [](StrBuf* b) { return strbuf_set_length(b, 5); }, 0,
       "ab   "},
      {"shorten", "abc", [](StrBuf* b) { return strbuf_set_length(b, 1); }, 0, "a"},
      {"put past the end", "ab",
       [](StrBuf* b) {
         strbuf_put_char(b, 4, 'z');
         return 0;
       },
       0, "ab  z"},
      {"put inside", "abc",
       [](StrBuf* b) {
         strbuf_put_char(b, 1, 'X');
         return 0;
       },
       0, "aXc"},
      {"put at a negative index", "abc",
       [](StrBuf* b) {
         strbuf_put_char(b, -1, 'X');
         return 0;
       },
       0, "abc"},
      {"append a number", "n=", [](StrBuf* b) { return strbuf_append_int(b, -42); }, 0, "n=-42"},
      {"assign", "old text", [](StrBuf* b) { return strbuf_assign(b, "new"); }, 0, "new"},
      {"clear", "abc", [](StrBuf* b) { return strbuf_clear(b); }, 0, ""},
      {"pop", "abc", [](StrBuf* b) { return strbuf_pop_char(b); }, 'c', "ab"},
      {"pop empty", "", [](StrBuf* b) { return strbuf_pop_char(b); }, -1, ""},
      {"first", "\xE9x", [](StrBuf* b) { return strbuf_first_char(b); }, 233, "\xE9x"},
      {"last", "x\xE9", [](StrBuf* b) { return strbuf_last_char(b); }, 233, "x\xE9"},
      {"first of empty", "", [](StrBuf* b) { return strbuf_first_char(b); }, -1, ""},
      {"last of empty", "", [](StrBuf* b) { return strbuf_last_char(b); }, -1, ""},
      {"reserve keeps the text", "ab", [](StrBuf* b) { return strbuf_reserve(b, 50); }, 0, "ab"},
      {"bytes without text", "ab",
       [](StrBuf* b) { return strbuf_append_bytes(b, nullptr, 2); }, -1, "ab"},
  };
  for (const Case& c : cases) {
    OwnedBuffer owned(strbuf_from_string(c.start));
    ASSERT_NE(owned.buffer, nullptr);
    EXPECT_EQ(c.edit(owned.buffer), c.result) << c.what;
    EXPECT_EQ(owned.text(), c.after) << c.what;
    EXPECT_GT(owned.buffer->capacity, strbuf_length(owned.buffer)) << c.what;
  }
}

TEST(StrBufEdits, ShorteningWritesNoNulUntilCStr) {
  OwnedBuffer owned(strbuf_from_string("abc"));
  EXPECT_EQ(strbuf_set_length(owned.buffer, 1), 0);
  EXPECT_EQ(owned.buffer->base[1], 'b');
  EXPECT_STREQ(strbuf_c_str(owned.buffer), "a");
  EXPECT_EQ(owned.buffer->base[1], '\0');
}

TEST(StrBufEdits, ReserveMakesRoomBeyondTheLength) {
  OwnedBuffer owned(strbuf_from_string("ab"));  // capacity 10
  EXPECT_EQ(strbuf_reserve(owned.buffer, 8), 0);
  EXPECT_EQ(owned.buffer->capacity, 20u);
  EXPECT_EQ(strbuf_reserve(owned.buffer, 7), 0);
  EXPECT_EQ(owned.buffer->capacity, 20u);
}

TEST(StrBufEdits, NullBuffersFailEverywhere) {
  EXPECT_EQ(strbuf_append_bytes(nullptr, "a", 1), -1);
  EXPECT_EQ(strbuf_append_int(nullptr, 1), -1);
  EXPECT_EQ(strbuf_assign(nullptr, "a"), -1);
  EXPECT_EQ(strbuf_clear(nullptr), -1);
  EXPECT_EQ(strbuf_reserve(nullptr, 1), -1);
  EXPECT_EQ(strbuf_set_length(nullptr, 1), -1);
  strbuf_put_char(nullptr, 0, 'a');
  EXPECT_EQ(strbuf_c_str(nullptr), nullptr);
  EXPECT_EQ(strbuf_pop_char(nullptr), -1);
  EXPECT_EQ(strbuf_first_char(nullptr), -1);
  EXPECT_EQ(strbuf_last_char(nullptr), -1);
  EXPECT_EQ(strbuf_dup(nullptr), nullptr);
  EXPECT_EQ(strbuf_from_string(nullptr), nullptr);
  StrBuf withoutStorage{};
  EXPECT_EQ(strbuf_dup(&withoutStorage), nullptr);
  EXPECT_EQ(strbuf_c_str(&withoutStorage), nullptr);
}

TEST(StrBufEdits, DupCopiesTheCharacters) {
  OwnedBuffer source(strbuf_new(40));
  strbuf_append_bytes(source.buffer, "xyz", 3);
  OwnedBuffer copy(strbuf_dup(source.buffer));
  ASSERT_NE(copy.buffer, nullptr);
  EXPECT_NE(copy.buffer->base, source.buffer->base);
  EXPECT_EQ(copy.text(), "xyz");
  EXPECT_EQ(copy.buffer->capacity, 10u);
  EXPECT_EQ(source.buffer->base[3], '\0');  // the source got its NUL
}

}  // namespace
