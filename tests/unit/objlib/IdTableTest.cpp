#include <gtest/gtest.h>

#include <vector>

#include "objlib/ios_idtable.h"

namespace {

TEST(IdTable, GrowsToThePowerOfTwoAboveTheIndex) {
  struct Case {
    std::vector<uint32_t> indexes;
    uint32_t capacity;
    uint32_t highestId;
  };
  const Case cases[] = {
      {{0}, 1, 1},
      {{5}, 8, 6},
      {{1}, 2, 2},
      {{0, 1, 2, 3, 4, 5, 6, 7}, 8, 8},
      {{7, 8}, 16, 9},
      {{8, 2}, 16, 9},  // a lower index does not lower the highest id
  };
  for (const Case& c : cases) {
    IdTable* table = idtab_new();
    ASSERT_NE(table, nullptr);
    int items[16];
    for (uint32_t index : c.indexes) ASSERT_EQ(idtab_set(table, index, &items[index]), 0);
    EXPECT_EQ(table->capacity, c.capacity);
    EXPECT_EQ(table->highest_id, c.highestId);
    EXPECT_EQ(idtab_next_id(table), c.highestId + 1);
    for (uint32_t index : c.indexes) EXPECT_EQ(idtab_get(table, index), &items[index]);
    idtab_delete(table);
  }
}

TEST(IdTable, GrowingKeepsStoredItemsAndClearsNewSlots) {
  IdTable* table = idtab_new();
  int items[3];
  idtab_set(table, 0, &items[0]);
  idtab_set(table, 1, &items[1]);
  idtab_set(table, 20, &items[2]);
  EXPECT_EQ(table->capacity, 32u);
  EXPECT_EQ(idtab_get(table, 0), &items[0]);
  EXPECT_EQ(idtab_get(table, 1), &items[1]);
  for (uint32_t index = 2; index < 20; ++index) EXPECT_EQ(idtab_get(table, index), nullptr) << index;
  EXPECT_EQ(idtab_get(table, 20), &items[2]);
  idtab_delete(table);
}

TEST(IdTable, ClearingASlotKeepsTheHighestId) {
  IdTable* table = idtab_new();
  int item;
  idtab_set(table, 3, &item);
  ASSERT_EQ(idtab_set(table, 3, nullptr), 0);
  EXPECT_EQ(table->highest_id, 4u);
  EXPECT_EQ(idtab_get(table, 3), nullptr);
  idtab_delete(table);
}

// Items are found by their 0-based index: the item of id n at index n - 1.
TEST(IdTable, GetAnswersTheItemAtAZeroBasedIndex) {
  int first = 0;
  int third = 0;
  IdTable* table = idtab_new();
  ASSERT_EQ(idtab_set(table, 0, &first), 0);
  ASSERT_EQ(idtab_set(table, 2, &third), 0);
  ASSERT_EQ(table->capacity, 4u);
  struct Case {
    const IdTable* table;
    uint32_t index;
    const void* item;
  };
  const Case cases[] = {
      {table, 0, &first},
      {table, 1, nullptr},      // an empty slot
      {table, 2, &third},
      {table, 3, nullptr},      // inside the capacity, above the highest id
      {table, 4, nullptr},      // the capacity itself
      {table, 1000, nullptr},
      {table, UINT32_MAX, nullptr},
      {nullptr, 0, nullptr},
      {nullptr, 2, nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(idtab_get(c.table, c.index), c.item) << c.index;
  idtab_delete(table);
}

TEST(IdTable, RefusesNullTableAndIndexesBeyondThe32BitCapacity) {
  int item;
  EXPECT_EQ(idtab_set(nullptr, 0, &item), -1);
  IdTable* table = idtab_new();
  EXPECT_EQ(idtab_set(table, 0x80000000u, &item), -1);
  EXPECT_EQ(idtab_set(table, UINT32_MAX, &item), -1);
  EXPECT_EQ(table->capacity, 0u);
  EXPECT_EQ(table->highest_id, 0u);
  idtab_delete(table);
}

}  // namespace
