// The table of repeated plain statements: an entry answers only its own text, under the
// control state and in the section it was kept in, in the generation it was kept in; a
// text is kept only when it fits a slot whole.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "isa/IPAttribute.h"
#include "parser/PlainStatementCache.h"
#include "CachePlaces.h"

namespace {

TEST(PlainStatementCache, AnswersOnlyItsTextStateSectionAndGeneration) {
  enum Change { kNothing, kInvalidate, kSameState, kOtherState };
  struct Case {
    const char* name;
    const char* looked;  // the text looked up after " add d1,d2" was kept
    int state;
    int section;
    Change change;
    bool found;
  };
  const Case cases[] = {
      {"same statement", " add d1,d2", 0, 0, kNothing, true},
      {"same statement, same state entered again", " add d1,d2", 0, 0, kSameState, true},
      {"another text", " add d1,d3", 0, 0, kNothing, false},
      {"a longer text", " add d1,d2 ", 0, 0, kNothing, false},
      {"a prefix of the text", " add d1,d", 0, 0, kNothing, false},
      {"another state", " add d1,d2", 1, 0, kNothing, false},
      {"another section", " add d1,d2", 0, 1, kNothing, false},
      {"a directive ran", " add d1,d2", 0, 0, kInvalidate, false},
      {"another state went between", " add d1,d2", 0, 0, kOtherState, false},
  };
  const Places places;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlainStatementCache cache;
    cache.enterState(places.state(0));
    const char* kept = " add d1,d2";
    IPAttribute attributes;
    ASSERT_TRUE(cache.keep(PlainStatementCache::key(kept, std::strlen(kept), places.state(0), places.section(0)),
                           kept, std::strlen(kept), places.state(0), places.section(0), attributes, 0x1234abcd,
                           32, 3, 9));
    if (c.change == kInvalidate) cache.invalidate();
    if (c.change == kSameState) cache.enterState(places.state(0));
    if (c.change == kOtherState) {
      cache.enterState(places.state(1));
      cache.enterState(places.state(0));
    }
    const size_t length = std::strlen(c.looked);
    const PlainStatementCache::Entry* entry =
        cache.find(PlainStatementCache::key(c.looked, length, places.state(c.state), places.section(c.section)),
                   c.looked, length, places.state(c.state), places.section(c.section));
    ASSERT_EQ(entry != nullptr, c.found);
    if (!entry) continue;
    EXPECT_EQ(entry->image, 0x1234abcdu);
    EXPECT_EQ(entry->bits, 32);
    EXPECT_EQ(entry->cycles, 3);
    EXPECT_EQ(entry->consumed, 9);
    // The entry holds a claim of its own, not the set it was given.
    EXPECT_NE(entry->attributes, nullptr);
    EXPECT_NE(entry->attributes, &attributes);
  }
}

// A slot holds kTextRoom characters: a text of that length is kept whole and found, a
// longer one is neither kept nor looked for, whatever its first characters.
TEST(PlainStatementCache, KeepsOnlyTextsThatFitASlotWhole) {
  struct Case {
    size_t length;
    size_t consumed;
    bool kept;
  };
  const Case cases[] = {
      {PlainStatementCache::kTextRoom, PlainStatementCache::kTextRoom, true},
      {PlainStatementCache::kTextRoom - 1, 3, true},
      {PlainStatementCache::kTextRoom + 1, 3, false},
      {200, 3, false},
      {10, 11, false},  // consumed past the text
  };
  const Places places;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " consumed " + std::to_string(c.consumed));
    PlainStatementCache cache;
    // The text ends where the slot's room does not: a copy past the room would show in
    // the next slot or past the table.
    const std::string text(c.length, 'm');
    IPAttribute attributes;
    const uint64_t key = PlainStatementCache::key(text.data(), c.length, places.state(0), places.section(0));
    EXPECT_EQ(cache.keep(key, text.data(), c.length, places.state(0), places.section(0), attributes, 1, 16, 1,
                         c.consumed),
              c.kept);
    const PlainStatementCache::Entry* entry =
        cache.find(key, text.data(), c.length, places.state(0), places.section(0));
    ASSERT_EQ(entry != nullptr, c.kept);
    if (entry) {
      EXPECT_EQ(std::string(entry->text, entry->textLength), text);
    }
  }
}

// Texts whose keys choose one slot: the later keeps it.
TEST(PlainStatementCache, ALaterTextOfTheSameSlotTakesIt) {
  const Places places;
  const std::string first = " add d1,d2";
  std::string second;
  const uint64_t firstKey = PlainStatementCache::key(first.data(), first.size(), places.state(0), places.section(0));
  for (int n = 0; n < 1000000 && second.empty(); ++n) {
    const std::string text = " add d" + std::to_string(n);
    const uint64_t key = PlainStatementCache::key(text.data(), text.size(), places.state(0), places.section(0));
    if (text != first && (key & (PlainStatementCache::kSlots - 1)) == (firstKey & (PlainStatementCache::kSlots - 1)))
      second = text;
  }
  ASSERT_FALSE(second.empty());
  const uint64_t secondKey = PlainStatementCache::key(second.data(), second.size(), places.state(0), places.section(0));
  PlainStatementCache cache;
  IPAttribute attributes;
  ASSERT_TRUE(cache.keep(firstKey, first.data(), first.size(), places.state(0), places.section(0), attributes, 1, 16,
                         1, 4));
  ASSERT_TRUE(cache.keep(secondKey, second.data(), second.size(), places.state(0), places.section(0), attributes, 2,
                         16, 1, 4));
  EXPECT_EQ(cache.find(firstKey, first.data(), first.size(), places.state(0), places.section(0)), nullptr);
  const PlainStatementCache::Entry* entry =
      cache.find(secondKey, second.data(), second.size(), places.state(0), places.section(0));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->image, 2u);
}

}  // namespace
