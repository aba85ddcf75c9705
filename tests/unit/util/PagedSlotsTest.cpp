// Paged slots: a page is made at the first write to one of its slots, with default slots;
// a slot of a page not made reads as absent, one of a page made as written or default.
#include <gtest/gtest.h>

#include <vector>

#include "util/PagedSlots.h"

namespace {

struct Slot {
  int value = -1;
};

TEST(PagedSlots, APageIsMadeAtTheFirstWriteToOneOfItsSlots) {
  struct Case {
    const char* name;
    std::vector<size_t> written;
    size_t pages;
    std::vector<size_t> absent;   // slots that read as absent
    std::vector<size_t> present;  // slots of made pages never written: default
  };
  // 64 slots, 8 to a page.
  const Case cases[] = {
      {"nothing written", {}, 0, {0, 7, 8, 63}, {}},
      {"one slot", {9}, 1, {0, 7, 16, 63}, {8, 15}},
      {"two slots of one page", {16, 23}, 1, {0, 15, 24}, {17, 22}},
      {"the first and the last slot", {0, 63}, 2, {8, 55}, {1, 7, 56, 62}},
      {"a slot written twice", {40, 40}, 1, {39, 48}, {41}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PagedSlots<Slot, 64, 8> slots;
    for (size_t slot : c.written) slots.at(slot).value = static_cast<int>(slot);
    EXPECT_EQ(slots.pageCount(), c.pages);
    for (size_t slot : c.written) {
      ASSERT_NE(slots.find(slot), nullptr);
      EXPECT_EQ(slots.find(slot)->value, static_cast<int>(slot));
    }
    for (size_t slot : c.absent) EXPECT_EQ(slots.find(slot), nullptr) << slot;
    for (size_t slot : c.present) {
      ASSERT_NE(slots.find(slot), nullptr) << slot;
      EXPECT_EQ(slots.find(slot)->value, -1);
    }
    size_t visited = 0;
    slots.forEach([&](Slot&) { ++visited; });
    EXPECT_EQ(visited, c.pages * 8);
  }
}

}  // namespace
