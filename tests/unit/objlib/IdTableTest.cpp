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
    for (uint32_t index : c.indexes) EXPECT_EQ(idtab_get(table, index + 1), &items[index]);
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
  EXPECT_EQ(idtab_get(table, 1), &items[0]);
  EXPECT_EQ(idtab_get(table, 2), &items[1]);
  for (uint32_t id = 3; id <= 20; ++id) EXPECT_EQ(idtab_get(table, id), nullptr) << id;
  EXPECT_EQ(idtab_get(table, 21), &items[2]);
  idtab_delete(table);
}

TEST(IdTable, ClearingASlotKeepsTheHighestId) {
  IdTable* table = idtab_new();
  int item;
  idtab_set(table, 3, &item);
  ASSERT_EQ(idtab_set(table, 3, nullptr), 0);
  EXPECT_EQ(table->highest_id, 4u);
  EXPECT_EQ(idtab_get(table, 4), nullptr);
  idtab_delete(table);
}

TEST(IdTable, LookupsOutsideTheTableFindNothing) {
  IdTable* table = idtab_new();
  int item;
  idtab_set(table, 2, &item);
  const uint32_t ids[] = {0, 4, 5, 1000, UINT32_MAX};
  for (uint32_t id : ids) EXPECT_EQ(idtab_get(table, id), nullptr) << id;
  EXPECT_EQ(idtab_get(nullptr, 1), nullptr);
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
