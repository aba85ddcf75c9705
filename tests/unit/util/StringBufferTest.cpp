#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "util/MemoryPools.h"
#include "util/StringBuffer.h"

namespace {

TEST(StringBufferTest, EqualTextsShareOneStoredCopy) {
  StringBuffer strings;
  struct Case {
    const char* first;
    const char* second;
    bool same;
  };
  char heldElsewhere[] = "label";
  const Case cases[] = {
      {"label", heldElsewhere, true},
      {"", "", true},
      {"label", "Label", false},
      {"a\xff", "a\xff", true},
      {"label", "label ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    const char* first = strings.intern(c.first);
    const char* second = strings.intern(c.second);
    EXPECT_EQ(first == second, c.same);
    EXPECT_STREQ(first, c.first);
    EXPECT_NE(first, c.first);  // the caller's buffer is never the stored copy
  }
}

TEST(StringBufferTest, CallerChangesDoNotReachTheStoredCopy) {
  StringBuffer strings;
  char text[] = "start";
  const char* stored = strings.intern(text);
  text[0] = 'S';
  EXPECT_STREQ(stored, "start");
  EXPECT_EQ(strings.intern("start"), stored);
  EXPECT_NE(strings.intern(text), stored);
}

TEST(StringBufferTest, RangeInternsLikeTheWholeText) {
  StringBuffer strings;
  std::string longText(1000, 'x');  // beyond the first scratch block
  struct Case {
    std::string line;
    size_t from;
    size_t to;
    std::string expected;
  };
  const Case cases[] = {
      {"  mov d0,#1 ; comment", 2, 5, "mov"},
      {"abc", 1, 1, ""},
      {"abc", 0, 3, "abc"},
      {longText + "!", 0, 1000, longText},
      {"x" + longText, 1, 1001, longText},
      {std::string("ab\0cd", 5), 0, 5, "ab"},  // a NUL byte ends the text
      {"abcdefghijklmnop", 0, 9, "abcdefghi"},  // lengths around the hash's word size
      {"abcdefghijklmnop", 0, 8, "abcdefgh"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.substr(0, 20));
    const char* ranged = strings.internRange(c.line.data() + c.from, c.line.data() + c.to);
    EXPECT_EQ(ranged, strings.intern(c.expected.c_str()));
    EXPECT_EQ(ranged, c.expected);
  }
}

TEST(StringBufferTest, ManyTextsStayDistinctAndFindable) {
  StringBuffer strings;
  std::vector<const char*> stored;
  for (int i = 0; i < 5000; ++i) stored.push_back(strings.intern(("sym" + std::to_string(i)).c_str()));
  for (int i = 0; i < 5000; ++i) EXPECT_EQ(strings.intern(("sym" + std::to_string(i)).c_str()), stored[i]);
  // Texts that differ only past the first word, and a prefix of another text.
  EXPECT_NE(strings.intern("sym1234567890a"), strings.intern("sym1234567890b"));
  EXPECT_NE(strings.intern("sym12345678"), strings.intern("sym1234567"));
}

TEST(StringBufferTest, TextsStayFindableOnceTheTableIsMappedOnItsOwn) {
  // Enough texts that the slot table outgrows small allocations and moves to mapped
  // tables, twice.
  StringBuffer strings;
  std::vector<const char*> stored;
  char text[16];
  for (int i = 0; i < 400000; ++i) {
    std::snprintf(text, sizeof text, "L%d", i);
    stored.push_back(strings.intern(text));
  }
  for (int i = 0; i < 400000; i += 7) {
    std::snprintf(text, sizeof text, "L%d", i);
    ASSERT_EQ(strings.intern(text), stored[i]);
  }
  EXPECT_STREQ(stored[399999], "L399999");
}

// Texts whose hashes are equal are still told apart by their length and bytes: the
// slot keeps only the hash, so a probe that finds an equal hash must look at the
// stored text; so must the table of recent texts, where both land in one slot. The pairs are found by searching, so that they exist whatever the
// texts of the other tests.
TEST(StringBufferTest, TextsWithEqualHashesStayApart) {
  std::unordered_map<uint32_t, std::string> byHash;
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < 400000 && pairs.size() < 4; ++i) {
    std::string text = std::to_string(i * 7919);
    text.insert(text.begin(), 'n');
    auto [entry, added] = byHash.try_emplace(hashBytes(text.data(), text.size()), text);
    if (!added) pairs.emplace_back(entry->second, text);
  }
  ASSERT_FALSE(pairs.empty());
  StringBuffer strings;
  for (const auto& [first, second] : pairs) {
    SCOPED_TRACE(first + " " + second);
    const char* one = strings.intern(first.c_str());
    const char* other = strings.intern(second.c_str());
    EXPECT_NE(one, other);
    EXPECT_EQ(one, first);
    EXPECT_EQ(other, second);
    EXPECT_EQ(strings.intern(first.c_str()), one);
    EXPECT_EQ(strings.intern(second.c_str()), other);
  }
}

TEST(StringBufferTest, TearDownReleasesItsRegisteredPool) {
  MemPool* pool;
  {
    StringBuffer strings;
    strings.intern("x");
    pool = MemoryPools::instance().find("StringBuffer");
    ASSERT_NE(pool, nullptr);
  }
  EXPECT_NE(MemoryPools::instance().find("StringBuffer"), pool);
}

}  // namespace
