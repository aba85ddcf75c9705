// The table of constant shapes: a statement of a kept shape takes the regime whose ranges
// hold its values and rule out the forms before it; the entry answers only its shape,
// with its numbers at the same places, under its state, section and generation. The
// whole match against the tables is ConstantShapeTest's.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "isa/IPAttribute.h"
#include "parser/ConstantShapeCache.h"
#include "CachePlaces.h"

namespace {

// A regime of one number: its own range, and the ranges of the forms passed over before
// it. No field: the image is the base, which tells the regimes apart.
ShapeRegime regimeOf(int64_t low, int64_t high, uint32_t base,
                     std::initializer_list<std::pair<int64_t, int64_t>> over) {
  ShapeRegime regime;
  regime.chosen.count = 1;
  regime.chosen.low[0] = low;
  regime.chosen.high[0] = high;
  regime.base = base;
  regime.bits = 32;
  for (auto [overLow, overHigh] : over) {
    regime.passedOver[regime.passedOverCount][0][0] = overLow;
    regime.passedOver[regime.passedOverCount][0][1] = overHigh;
    ++regime.passedOverCount;
  }
  return regime;
}

StatementText read(const char* text) {
  StatementText read;
  EXPECT_TRUE(read.read(text, ";")) << text;
  return read;
}

TEST(ConstantShapeCache, AStatementTakesTheRegimeThatHoldsItsValues) {
  struct Case {
    const char* statement;
    bool found;
    uint32_t image;
    uint32_t consumed;
  };
  // "mov d1,#n": a 16-bit form for 0..15, else a 32-bit form for -32768..32767.
  const Case cases[] = {
      {" mov d1,#7", true, 0x16, 10},
      {" mov d1,#0x0F", true, 0x16, 13},
      {" mov d1,#16", true, 0x32, 11},
      // The sign stands in the shape: "#-n" is a shape of its own.
      {" mov d1,#-1", false, 0, 0},
      {" mov d1,#32767", true, 0x32, 14},
      {" mov d1,#32768", false, 0, 0},
      // So does the comment's prefix.
      {" mov d1,#7 ; seven", false, 0, 0},
      {" mov d2,#7", false, 0, 0},
      {" mov d1,7", false, 0, 0},
      {" mov d1,#7,#8", false, 0, 0},
  };
  const Places places;
  ConstantShapeCache cache;
  IPAttribute attributes;
  const StatementText small = read(" mov d1,#3");
  const StatementText large = read(" mov d1,#300");
  const uint64_t key = ConstantShapeCache::key(small, places.state(0), places.section(0));
  ASSERT_EQ(ConstantShapeCache::key(large, places.state(0), places.section(0)), key);
  ASSERT_TRUE(cache.keep(key, small, places.state(0), places.section(0), regimeOf(0, 15, 0x16, {}), attributes, 10));
  ASSERT_TRUE(cache.keep(key, large, places.state(0), places.section(0),
                         regimeOf(-32768, 32767, 0x32, {{0, 15}}), attributes, 12));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    const StatementText text = read(c.statement);
    ConstantShapeCache::Outcome outcome;
    ASSERT_EQ(cache.find(ConstantShapeCache::key(text, places.state(0), places.section(0)), text, places.state(0),
                         places.section(0), outcome),
              c.found);
    if (!c.found) continue;
    EXPECT_EQ(outcome.image, c.image);
    EXPECT_EQ(outcome.consumed, c.consumed);
    EXPECT_NE(outcome.regime->attributes, &attributes);
  }
}

TEST(ConstantShapeCache, AnEntryAnswersOnlyItsStateSectionAndGeneration) {
  enum Change { kNothing, kInvalidate, kSameState, kOtherState };
  struct Case {
    const char* name;
    int state;
    int section;
    Change change;
    bool found;
  };
  const Case cases[] = {
      {"same conditions", 0, 0, kNothing, true},
      {"same state entered again", 0, 0, kSameState, true},
      {"another state", 1, 0, kNothing, false},
      {"another section", 0, 1, kNothing, false},
      {"a directive ran", 0, 0, kInvalidate, false},
      {"another state went between", 0, 0, kOtherState, false},
  };
  const Places places;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConstantShapeCache cache;
    cache.enterState(places.state(0));
    IPAttribute attributes;
    const StatementText kept = read(" mov d1,#3");
    ASSERT_TRUE(cache.keep(ConstantShapeCache::key(kept, places.state(0), places.section(0)), kept, places.state(0),
                           places.section(0), regimeOf(0, 15, 0x16, {}), attributes, 10));
    if (c.change == kInvalidate) cache.invalidate();
    if (c.change == kSameState) cache.enterState(places.state(0));
    if (c.change == kOtherState) {
      cache.enterState(places.state(1));
      cache.enterState(places.state(0));
    }
    const StatementText looked = read(" mov d1,#4");
    ConstantShapeCache::Outcome outcome;
    EXPECT_EQ(cache.find(ConstantShapeCache::key(looked, places.state(c.state), places.section(c.section)), looked,
                         places.state(c.state), places.section(c.section), outcome),
              c.found);
  }
}

// A shape holds kRegimes regimes; one more takes the place of the oldest.
TEST(ConstantShapeCache, ARegimeBeyondTheRoomReplacesTheOldest) {
  const Places places;
  ConstantShapeCache cache;
  IPAttribute attributes;
  const StatementText kept = read(" mov d1,#3");
  const uint64_t key = ConstantShapeCache::key(kept, places.state(0), places.section(0));
  for (uint32_t i = 0; i <= ConstantShapeCache::kRegimes; ++i)
    ASSERT_TRUE(cache.keep(key, kept, places.state(0), places.section(0),
                           regimeOf(static_cast<int64_t>(i) * 10, static_cast<int64_t>(i) * 10 + 9, i, {}),
                           attributes, 10));
  struct Case {
    const char* statement;
    bool found;
  };
  const Case cases[] = {{" mov d1,#5", false}, {" mov d1,#15", true}, {" mov d1,#25", true}, {" mov d1,#35", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    const StatementText text = read(c.statement);
    ConstantShapeCache::Outcome outcome;
    EXPECT_EQ(cache.find(key, text, places.state(0), places.section(0), outcome), c.found);
  }
}

// Only a text with a shape is kept, and only when the walk read past its last number.
TEST(ConstantShapeCache, KeepsOnlyShapesItCanAnswer) {
  struct Case {
    const char* statement;
    uint32_t consumed;
    bool kept;
  };
  const Case cases[] = {
      {" mov d1,#3", 10, true},
      {" mov d1,#3", 9, false},
      {" add d1,d2", 10, false},
      {" x #1,#2,#3,#4", 14, false},
  };
  const Places places;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.statement) + " consumed " + std::to_string(c.consumed));
    ConstantShapeCache cache;
    IPAttribute attributes;
    const StatementText text = read(c.statement);
    EXPECT_EQ(cache.keep(ConstantShapeCache::key(text, places.state(0), places.section(0)), text, places.state(0),
                         places.section(0), regimeOf(0, 15, 0x16, {}), attributes, c.consumed),
              c.kept);
  }
}

TEST(ShapeRegime, TakesValuesInsideItsRangeAndOutsideEveryFormPassedOver) {
  struct Case {
    int64_t value;
    bool taken;
  };
  // Chosen for -100..100, after forms for 0..7 and -8..-1.
  const ShapeRegime regime = regimeOf(-100, 100, 0, {{0, 7}, {-8, -1}});
  const Case cases[] = {{-101, false}, {-100, true}, {-9, true}, {-8, false}, {-1, false}, {0, false},
                        {7, false},    {8, true},    {100, true}, {101, false}};
  ShapeRegime held = regime;
  IPAttribute attributes;
  held.attributes = &attributes;  // a free regime takes nothing
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(held.takes(&c.value), c.taken);
    EXPECT_FALSE(regime.takes(&c.value));
  }
}

}  // namespace
