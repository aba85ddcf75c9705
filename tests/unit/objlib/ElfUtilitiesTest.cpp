#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/elf_utilities.h"
#include "objlib/ios_idtable.h"

namespace {

int compareInts(const void* left, const void* right) {
  int a = *static_cast<const int*>(left), b = *static_cast<const int*>(right);
  return a < b ? -1 : (a > b ? 1 : 0);
}

TEST(ElfTableSort, ShortAndLongTablesSortAlike) {
  struct Case {
    std::vector<int> keys;
  };
  std::vector<int> fifteen, fourteen, descending, sixty;
  for (int i = 0; i < 15; ++i) fifteen.push_back((i * 7) % 15);
  for (int i = 0; i < 14; ++i) fourteen.push_back((i * 5) % 14);
  for (int i = 100; i > 0; --i) descending.push_back(i);
  for (int i = 0; i < 60; ++i) sixty.push_back((i * 37) % 61);
  const Case cases[] = {{fourteen}, {fifteen}, {descending}, {sixty}, {{}}, {{3}}};
  for (const Case& c : cases) {
    std::vector<int> keys = c.keys;
    IdTable* table = idtab_new();
    for (int& key : keys) ASSERT_EQ(idtab_append(table, &key), 0);
    elf_table_sort(table, compareInts);
    std::vector<int> sorted;
    for (uint32_t id = 1; id <= table->highest_id; ++id)
      sorted.push_back(*static_cast<int*>(idtab_get(table, id)));
    std::vector<int> expected = c.keys;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected) << c.keys.size();
    idtab_delete(table);
  }
}

class ValueToU64 : public OneStoreFile {};

TEST_F(ValueToU64, GivesTheLowEightBytes) {
  struct Case {
    int64_t value;
    uint64_t expected;
  };
  const Case cases[] = {{0, 0}, {0x123456789A, 0x123456789A}, {-1, ~uint64_t{0}}};
  for (const Case& c : cases) {
    ExprNode* node = integer(c.value);
    uint64_t value = 7;
    EXPECT_EQ(expr_value_to_u64(node, &value), 0);
    EXPECT_EQ(value, c.expected);
    expr_release(node);
  }
}

}  // namespace
