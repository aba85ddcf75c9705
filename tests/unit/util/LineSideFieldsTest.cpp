#include <gtest/gtest.h>

#include <memory>

#include "util/LineInfo.h"
#include "util/RunState.h"

namespace {

// A run without a list file keeps no code addresses and no extra words, for lines of
// the arena and loose lines alike; the variant, which layout reads, stays either way.
TEST(LineSideFields, ListingFieldsAreKeptOnlyWhenTheRunKeepsThem) {
  struct Case {
    const char* name;
    bool keep;
    bool inArena;
    int32_t codeAddress;
    uint16_t extra;
  };
  const Case cases[] = {
      {"kept, arena line", true, true, 0x40, 7},
      {"kept, loose line", true, false, 0x40, 7},
      {"dropped, arena line", false, true, -1, 0},
      {"dropped, loose line", false, false, -1, 0},
  };
  for (const Case& c : cases) {
    ScopedRun run;
    LineInfo::keepListingFields(c.keep);
    std::unique_ptr<LineInfo> owned;
    LineInfo loose;
    LineInfo* line = &loose;
    if (c.inArena) {
      owned.reset(new LineInfo());
      line = owned.get();
      ASSERT_NE(line->number(), 0u) << c.name;
    } else {
      ASSERT_EQ(line->number(), 0u) << c.name;
    }
    line->setVariant(3);
    line->setCodeAddress(0x40);
    line->setExtra(1, 7);
    EXPECT_EQ(line->variant(), 3) << c.name;
    EXPECT_EQ(line->codeAddress(), c.codeAddress) << c.name;
    EXPECT_EQ(line->extra(1), c.extra) << c.name;
    EXPECT_EQ(line->extra(0), 0) << c.name;
    // The variant and the extra words no longer share a record: clearing one leaves
    // the other.
    line->setVariant(-1);
    EXPECT_EQ(line->extra(1), c.extra) << c.name;
  }
}

}  // namespace
