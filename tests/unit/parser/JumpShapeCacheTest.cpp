// The table of jump shapes: a jump finds the shape kept for its text but for the target,
// under the same state, section and generation, with its target's symbol standing as the
// kept one's did; a text is kept at its second meeting; a directive that places data
// leaves the entries alone, any other, a binding or another state makes them stale. The
// entry found last answers the next key as the table would.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "isa/JumpRecord.h"
#include "parser/JumpShapeCache.h"
#include "parser/LineScanner.h"
#include "CachePlaces.h"

namespace {

// The key of a jump statement; false when it has no target.
bool keyOf(JumpShapeCache& cache, const char* text, const ControlState* state, const Section* section,
           uint8_t place, JumpShapeCache::Key& key) {
  StatementText read;
  if (!read.read(text, ";") || !key.split.find(text, read.commentAt)) return false;
  key.text = text;
  key.length = read.length;
  key.state = state;
  key.section = section;
  key.generation = cache.generationFor(state);
  key.symbolFlags[1] = 0x10;
  key.symbolPlace = place;
  return key.make();
}

TEST(JumpShapeCache, AJumpFindsTheShapeOfItsTextButForTheTarget) {
  enum Change { kNothing, kDataDirective, kOtherDirective, kBinding, kOtherState };
  struct Case {
    const char* name;
    const char* looked;
    int section;
    uint8_t place;
    Change change;
    bool found;
  };
  const Case cases[] = {
      {"the same jump", " jne d1,d2,L10", 0, 1, kNothing, true},
      {"another target", " jne d1,d2,L20", 0, 1, kNothing, true},
      {"a longer target", " jne d1,d2,a_much_longer_name", 0, 1, kNothing, true},
      {"a comment after the target", " jne d1,d2,L20 ; back", 0, 1, kNothing, false},
      {"other registers", " jne d1,d3,L10", 0, 1, kNothing, false},
      {"another section", " jne d1,d2,L10", 1, 1, kNothing, false},
      {"a target placed elsewhere", " jne d1,d2,L10", 0, 2, kNothing, false},
      {"a data directive ran", " jne d1,d2,L20", 0, 1, kDataDirective, true},
      {"another directive ran", " jne d1,d2,L20", 0, 1, kOtherDirective, false},
      {"a binding directive ran", " jne d1,d2,L20", 0, 1, kBinding, false},
      {"another state went between", " jne d1,d2,L20", 0, 1, kOtherState, false},
  };
  const Places places;
  const uint16_t states[] = {7, 9};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JumpShapeCache cache;
    isa::JumpShape shape;
    JumpShapeCache::Key kept;
    ASSERT_TRUE(keyOf(cache, " jne d1,d2,L10", places.state(0), places.section(0), 1, kept));
    EXPECT_FALSE(cache.seenBefore(kept));
    EXPECT_EQ(cache.find(kept), nullptr);
    EXPECT_TRUE(cache.seenBefore(kept));
    ASSERT_TRUE(cache.keep(kept, &shape, states, 2, 5));
    ASSERT_NE(cache.find(kept), nullptr);
    if (c.change == kDataDirective) cache.directiveRan(kTokWord);
    if (c.change == kOtherDirective) cache.directiveRan(0);
    if (c.change == kBinding) cache.bindingChanged();
    if (c.change == kOtherState) cache.generationFor(places.state(1));
    JumpShapeCache::Key looked;
    ASSERT_TRUE(keyOf(cache, c.looked, places.state(0), places.section(c.section), c.place, looked));
    // The entry found last answers without the hash as the table does with it.
    const JumpShapeCache::Entry* last = cache.findLast(looked);
    const JumpShapeCache::Entry* entry = cache.find(looked);
    EXPECT_EQ(last, entry);
    ASSERT_EQ(entry != nullptr, c.found);
    if (!entry) continue;
    EXPECT_EQ(entry->shape, &shape);
    EXPECT_EQ(entry->stateCount, 2);
    EXPECT_EQ(entry->states[1], 9);
    EXPECT_EQ(entry->consumedBeyond, 5u);
  }
}

// The entry keeps the text before and after the target in its room: a text whose rest
// does not fit, a split that leaves the text and a count of states past the room are
// refused.
TEST(JumpShapeCache, KeepsOnlyWhatFitsItsRoom) {
  struct Case {
    const char* name;
    uint8_t length;
    uint8_t from;
    uint8_t end;
    uint32_t stateCount;
    bool kept;
  };
  constexpr auto kRoom = static_cast<uint8_t>(kStatementTextRoom);
  const Case cases[] = {
      {"the rest fills the room", kRoom + 1, 10, 11, 1, true},
      {"the rest one past the room", kRoom + 2, 10, 11, 1, false},
      {"a target past the text", 20, 10, 21, 1, false},
      {"a target ending before it starts", 20, 10, 9, 1, false},
      {"no states", 20, 10, 12, 0, false},
      {"the most states", 20, 10, 12, JumpShapeCache::kMostStates, true},
      {"more states than the room", 20, 10, 12, JumpShapeCache::kMostStates + 1, false},
  };
  const Places places;
  const std::string text(100, 'j');
  uint16_t states[JumpShapeCache::kMostStates + 1] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JumpShapeCache cache;
    isa::JumpShape shape;
    JumpShapeCache::Key key;
    key.text = text.data();
    key.length = c.length;
    key.split.from = c.from;
    key.split.end = c.end;
    key.state = places.state(0);
    key.section = places.section(0);
    const bool made = key.make();
    EXPECT_EQ(made, c.end >= c.from && c.end <= c.length);
    cache.seenBefore(key);
    EXPECT_EQ(cache.keep(key, &shape, states, c.stateCount, 0), c.kept);
    EXPECT_EQ(cache.find(key) != nullptr, c.kept);
  }
}

// Every jump of a loop body finds its shape in each pass over the body, as long as no set
// of the table is asked for more texts than it has slots: texts that share a set keep
// their shapes side by side instead of taking each other's slot.
TEST(JumpShapeCache, TextsOfALoopBodyKeepTheirShapesSideBySide) {
  struct Case {
    const char* name;
    size_t texts;
  };
  const Case cases[] = {
      {"a few texts", 8},
      {"as many texts as a long loop body", 72},
  };
  const Places places;
  const uint16_t states[] = {7};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JumpShapeCache cache;
    std::vector<std::string> texts;
    for (size_t index = 0; index < c.texts; ++index)
      texts.push_back(" jne d" + std::to_string(index % 16) + ",#" + std::to_string(index / 16) + ",L10");
    std::vector<isa::JumpShape> shapes(c.texts);
    size_t found = 0;
    for (int pass = 0; pass < 3; ++pass) {
      for (size_t index = 0; index < c.texts; ++index) {
        JumpShapeCache::Key key;
        ASSERT_TRUE(keyOf(cache, texts[index].c_str(), places.state(0), places.section(0), 1, key));
        if (const JumpShapeCache::Entry* entry = cache.find(key)) {
          EXPECT_EQ(entry->shape, &shapes[index]);
          ++found;
        } else if (cache.seenBefore(key)) {
          ASSERT_TRUE(cache.keep(key, &shapes[index], states, 1, 0));
        }
      }
    }
    // Marked in the first pass, kept in the second, found in the third.
    EXPECT_EQ(found, c.texts);
  }
}

}  // namespace
