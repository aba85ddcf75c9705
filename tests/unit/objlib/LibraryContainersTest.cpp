// Id-table searching and editing, sized pool blocks, counted lists and tree walks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "objlib/ios_avl.h"
#include "objlib/ios_dlist.h"
#include "objlib/ios_hashtab.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"

namespace {

// Items are small integers cast to pointers, so comparisons need no storage.
void* item(intptr_t value) { return reinterpret_cast<void*>(value); }
intptr_t value(const void* item) { return reinterpret_cast<intptr_t>(item); }

int compareNumbers(const void* item, const void* key) {
  intptr_t a = value(item);
  intptr_t b = value(key);
  return a < b ? -1 : (a > b ? 1 : 0);
}

IdTable* tableOf(const std::vector<intptr_t>& items) {
  IdTable* table = idtab_new();
  for (intptr_t v : items) EXPECT_EQ(idtab_append(table, item(v)), 0);
  return table;
}

std::vector<intptr_t> itemsOf(const IdTable* table) {
  std::vector<intptr_t> items;
  for (uint32_t id = 1; id <= table->highest_id; ++id) items.push_back(value(idtab_get(table, id - 1)));
  return items;
}

TEST(LibraryIdTable, BinarySearchFindsOnlyPresentKeys) {
  struct Case {
    std::vector<intptr_t> items;
    intptr_t key;
    int32_t index;
  };
  const Case cases[] = {
      {{1, 3, 5, 7}, 5, 2},  {{1, 3, 5, 7}, 3, 1},  {{1, 3, 5, 7}, 0, -1},
      {{1, 3, 5, 7}, 4, -1}, {{1, 3, 5, 7}, 1, 0},  {{1, 3, 5, 7}, 7, 3},
      {{1, 3, 5, 7}, 8, -1}, {{9}, 9, 0},           {{}, 1, -1},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9}, 9, 8},          {{1, 2, 3, 4, 5, 6, 7, 8, 9}, 6, 5},
  };
  for (const Case& c : cases) {
    IdTable* table = tableOf(c.items);
    EXPECT_EQ(idtab_bsearch(table, item(c.key), compareNumbers), c.index) << c.key;
    idtab_delete(table);
  }
  EXPECT_EQ(idtab_bsearch(nullptr, item(1), compareNumbers), -1);
}

TEST(LibraryIdTable, FindLastScansFromTheTop) {
  IdTable* table = tableOf({4, 2, 4, 1});
  EXPECT_EQ(idtab_find_last(table, item(4), compareNumbers), 2);
  EXPECT_EQ(idtab_find_last(table, item(3), compareNumbers), -1);
  EXPECT_EQ(idtab_find_last_item(table, item(2)), 1);
  EXPECT_EQ(idtab_find_last_item(table, item(9)), -1);
  EXPECT_EQ(idtab_find_last_item(nullptr, item(9)), -1);
  idtab_delete(table);
}

TEST(LibraryIdTable, InsertAndRemoveShiftTheItems) {
  struct Case {
    const char* what;
    std::vector<intptr_t> items;
    bool insert;
    uint32_t index;
    int result;
    std::vector<intptr_t> after;
  };
  const Case cases[] = {
      {"insert in the middle", {1, 2, 3}, true, 1, 0, {1, 9, 2, 3}},
      {"insert at the front", {1, 2}, true, 0, 0, {9, 1, 2}},
      {"insert at highest appends", {1, 2}, true, 2, 0, {1, 2, 9}},
      {"insert past highest fails", {1, 2}, true, 3, -1, {1, 2}},
      {"insert into an empty table", {}, true, 0, 0, {9}},
      {"remove in the middle", {1, 2, 3}, false, 1, 0, {1, 3}},
      {"remove the last", {1, 2, 3}, false, 2, 0, {1, 2}},
      {"remove at highest fails", {1, 2, 3}, false, 3, -1, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    IdTable* table = tableOf(c.items);
    int result = c.insert ? idtab_insert_at(table, c.index, item(9))
                          : idtab_remove_at_release(table, c.index, nullptr);
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(itemsOf(table), c.after) << c.what;
    idtab_delete(table);
  }
}

std::vector<intptr_t> released;
void noteRelease(void* item) { released.push_back(value(item)); }

TEST(LibraryIdTable, RemovalHandsTheItemToTheReleaseFunction) {
  IdTable* table = tableOf({5, 6, 7});
  released.clear();
  EXPECT_EQ(idtab_remove_at_release(table, 1, noteRelease), 0);
  EXPECT_EQ(released, std::vector<intptr_t>{6});
  EXPECT_EQ(idtab_free_each(table, noteRelease), 0);
  EXPECT_EQ(released, (std::vector<intptr_t>{6, 5, 7}));
  EXPECT_EQ(idtab_free_each(nullptr, noteRelease), -1);
}

TEST(LibraryIdTable, CapacityChangesKeepItemsAndHighest) {
  IdTable* table = tableOf({1, 2, 3});
  uint32_t capacity = table->capacity;
  EXPECT_EQ(idtab_grow_capacity(table, 5), 0);
  EXPECT_EQ(table->capacity, capacity + 5);
  EXPECT_EQ(itemsOf(table), (std::vector<intptr_t>{1, 2, 3}));
  EXPECT_EQ(table->slots[capacity + 4], nullptr);
  EXPECT_EQ(idtab_grow_capacity(table, -static_cast<int32_t>(table->capacity)), -1);
  EXPECT_EQ(idtab_set_capacity(table, table->capacity), 0);
  EXPECT_EQ(idtab_set_capacity(table, 2), 0);
  EXPECT_EQ(table->capacity, 2u);
  EXPECT_EQ(table->highest_id, 3u);  // highest is the caller's business
  EXPECT_EQ(idtab_get(table, 1), item(2));
  EXPECT_EQ(idtab_get(table, 2), nullptr);
  idtab_delete(table);
  EXPECT_EQ(idtab_grow_capacity(nullptr, 1), -1);
}

void* doubled(void* item) { return reinterpret_cast<void*>(value(item) * 2); }

TEST(LibraryIdTable, AssignCompactDropsEmptyItems) {
  IdTable* source = tableOf({1, 0, 3, 0, 5});
  IdTable* destination = tableOf({7, 8, 9, 10, 11, 12});
  uint32_t capacity = destination->capacity;
  EXPECT_EQ(idtab_assign_compact(destination, source, nullptr), 0);
  EXPECT_EQ(destination->capacity, capacity + 3);  // grown by the count
  EXPECT_EQ(itemsOf(destination), (std::vector<intptr_t>{1, 3, 5}));
  EXPECT_EQ(destination->slots[3], nullptr);
  EXPECT_EQ(idtab_assign_compact(destination, source, doubled), 0);
  EXPECT_EQ(itemsOf(destination), (std::vector<intptr_t>{2, 6, 10}));
  idtab_delete(source);
  idtab_delete(destination);
}

int stopAtThree(void* item, void* argument) {
  static_cast<std::vector<intptr_t>*>(argument)->push_back(value(item));
  return value(item) == 3 ? 0 : 1;
}

TEST(LibraryIdTable, ForeachStopsAtTheFirstResultOtherThanOne) {
  IdTable* table = tableOf({1, 0, 3, 4});
  std::vector<intptr_t> seen;
  EXPECT_EQ(idtab_foreach(table, stopAtThree, &seen), 0);
  EXPECT_EQ(seen, (std::vector<intptr_t>{1, 0, 3}));  // empty items included
  IdTable* empty = idtab_new();
  EXPECT_EQ(idtab_foreach(empty, stopAtThree, &seen), 1);
  EXPECT_EQ(idtab_foreach(nullptr, stopAtThree, &seen), 0);
  idtab_delete(table);
  idtab_delete(empty);
}

TEST(LibraryPools, SizedBlocksCarryTheirSize) {
  struct Case {
    int32_t request;
    uint32_t sizeWord;
  };
  const Case cases[] = {{5, 12}, {1, 8}, {8, 12}, {0, 4}, {61, 68}, {100, 104}};
  for (const Case& c : cases) {
    auto* area = static_cast<unsigned char*>(pool_sized_calloc(c.request));
    ASSERT_NE(area, nullptr) << c.request;
    uint32_t word;
    std::memcpy(&word, area - 4, sizeof word);
    EXPECT_EQ(word, c.sizeWord) << c.request;
    for (uint32_t i = 0; i + 4 < c.sizeWord; ++i) EXPECT_EQ(area[i], 0) << c.request;
    EXPECT_EQ(pool_sized_free(area), 0);
  }
  EXPECT_EQ(pool_sized_calloc(-1), nullptr);
  EXPECT_EQ(pool_sized_free(nullptr), -1);
}

TEST(LibraryPools, SizedReallocGrowsOnlyBeyondTheBlock) {
  auto* area = static_cast<unsigned char*>(pool_sized_calloc(5));
  std::memcpy(area, "abcdefgh", 8);
  EXPECT_EQ(pool_sized_realloc(area, 8), area);
  auto* grown = static_cast<unsigned char*>(pool_sized_realloc(area, 9));
  ASSERT_NE(grown, nullptr);
  EXPECT_NE(grown, area);
  EXPECT_EQ(std::memcmp(grown, "abcdefgh", 8), 0);
  EXPECT_EQ(pool_sized_realloc(nullptr, 9), nullptr);
  pool_sized_free(grown);
}

TEST(LibraryPools, RawBlocksAndZeroedPoolBlocks) {
  EXPECT_EQ(pool_alloc_raw(0), nullptr);
  EXPECT_EQ(pool_alloc_raw(-4), nullptr);
  void* raw = pool_alloc_raw(10);
  ASSERT_NE(raw, nullptr);
  pool_free(raw, 10);
  void* large = pool_alloc_raw(1000);
  ASSERT_NE(large, nullptr);
  pool_free(large, 1000);

  BlockPool* pool = pool_create(24);
  auto* block = static_cast<unsigned char*>(pool_block_alloc_zeroed(pool));
  ASSERT_NE(block, nullptr);
  for (size_t i = 0; i < pool->block_size; ++i) EXPECT_EQ(block[i], 0);
  std::memset(block, 0xAB, pool->block_size);
  pool_return_block(pool, block);
  EXPECT_EQ(pool->in_use, 0u);
  auto* again = static_cast<unsigned char*>(pool_block_alloc_zeroed(pool));
  EXPECT_EQ(again[pool->block_size - 1], 0);
  pool_return_block(pool, again);
  EXPECT_EQ(pool_block_alloc_zeroed(nullptr), nullptr);
  EXPECT_EQ(pool_destroy(pool), 0);
  EXPECT_EQ(pool_destroy(nullptr), -1);
}

// The registry is process-wide: these run in a child process of their own.
void registerBeforeStandardPools() {
  pool_registry_clear();
  bool ok = !pool_standard_ready();
  ok = ok && pool_register_size(10, 7, 0) == 0;
  ok = ok && pool_register_size(-1, 7, 0) == -1;
  BlockPool* twelve = pool_find(12);  // sets the standard pools up
  ok = ok && twelve != nullptr && twelve->chunk_size == 7 * twelve->block_size;
  ok = ok && pool_standard_ready() && pool_register_size(100, 1, 0) == -1;
  ok = ok && pool_find(100) == nullptr;
  pool_registry_clear();
  ok = ok && !pool_standard_ready();
  std::exit(ok ? 0 : 1);
}

// The registry is process-wide: this runs in a child process of its own.
TEST(LibraryPoolsDeathTest, RegisteringSizesOnlyBeforeTheStandardPools) {
  EXPECT_EXIT(registerBeforeStandardPools(), ::testing::ExitedWithCode(0), "");
}

TEST(LibraryHashtab, CallocStoresTheCallbacksAndNothingElse) {
  auto hash = [](const void*) -> uint32_t { return 7; };
  auto compare = [](const void*, const void*) { return 0; };
  Hashtab* table = hashtab_calloc(hash, compare);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->hashFn, static_cast<HashtabHashFn>(hash));
  EXPECT_EQ(table->compareFn, static_cast<HashtabCompareFn>(compare));
  EXPECT_EQ(table->keyKind, 0);
  EXPECT_EQ(table->size, 0u);
  hashtab_free(table);
}

// ---- Counted lists ----

std::vector<int> hookEvents;
int noteEvent(int event) {
  hookEvents.push_back(event);
  return 0;
}

class CursorList : public ::testing::Test {
 protected:
  void SetUp() override {
    hookEvents.clear();
    previous_ = mmi_set_hook(noteEvent);
    list_ = dlist_new();
    ASSERT_NE(list_, nullptr);
  }
  void TearDown() override { mmi_set_hook(previous_); }

  std::vector<intptr_t> live() {
    std::vector<intptr_t> items;
    for (DListNode* node = list_->head; node != nullptr; node = node->next) {
      if (node->data != nullptr) items.push_back(value(node->data));
    }
    return items;
  }
  uint32_t linked() {
    uint32_t count = 0;
    for (DListNode* node = list_->head; node != nullptr; node = node->next) ++count;
    return count;
  }

  DList* list_ = nullptr;
  IosHookFunction previous_ = nullptr;
};

TEST_F(CursorList, PushAtHeadOrTail) {
  EXPECT_EQ(dlist_push(list_, 1, item(2), nullptr), 0);
  EXPECT_EQ(dlist_push(list_, 0, item(1), nullptr), 0);
  EXPECT_EQ(dlist_push(list_, 1, item(3), nullptr), 0);
  EXPECT_EQ(live(), (std::vector<intptr_t>{1, 2, 3}));
  EXPECT_EQ(dlist_count(list_), 3u);
  EXPECT_EQ(dlist_first(list_, nullptr), item(1));
  EXPECT_EQ(dlist_last(list_, nullptr), item(3));
  EXPECT_EQ(dlist_contains(list_, item(2)), 1);
  EXPECT_EQ(dlist_contains(list_, item(4)), 0);
  EXPECT_TRUE(hookEvents.empty());
  EXPECT_EQ(dlist_free(list_), 0);
}

TEST_F(CursorList, MisuseIsReportedThroughTheHook) {
  struct Case {
    const char* what;
    int result;
    std::vector<int> events;
  };
  DListCursor empty{list_, nullptr};
  DListCursor noList{nullptr, nullptr};
  const Case cases[] = {
      {"push without list", dlist_push(nullptr, 1, item(1), nullptr), {1}},
      {"push without data", dlist_push(list_, 1, nullptr, nullptr), {1}},
      {"remove without data", dlist_remove(list_, nullptr), {1}},
      {"remove absent data", dlist_remove(list_, item(5)), {}},
      {"cursor remove without node", dlist_cursor_remove(&empty, 0), {}},
      {"cursor remove without list", dlist_cursor_remove(&noList, 0), {1}},
      {"insert at a cursor without node", dlist_insert_at_cursor(&empty, 1, item(1)), {}},
      {"insert without data", dlist_insert_at_cursor(&empty, 1, nullptr), {1}},
      {"free without list", dlist_free(nullptr), {1}},
  };
  // The events were recorded in table order; check them one row at a time.
  size_t at = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, -1) << c.what;
    for (int event : c.events) {
      ASSERT_LT(at, hookEvents.size()) << c.what;
      EXPECT_EQ(hookEvents[at++], event) << c.what;
    }
  }
  EXPECT_EQ(at, hookEvents.size());
  EXPECT_EQ(linked(), 0u);
  dlist_free(list_);
}

TEST_F(CursorList, RemovingHeldDataLeavesADeadNode) {
  dlist_push(list_, 1, item(1), nullptr);
  DListCursor cursor{};
  ASSERT_EQ(dlist_push(list_, 1, item(2), &cursor), 0);
  dlist_push(list_, 1, item(3), nullptr);
  EXPECT_EQ(dlist_remove(list_, item(2)), -1);
  EXPECT_EQ(linked(), 3u);
  EXPECT_EQ(dlist_count(list_), 2u);
  EXPECT_EQ(dlist_contains(list_, item(2)), 0);
  EXPECT_EQ(dlist_cursor_get(&cursor), nullptr);
  EXPECT_EQ(hookEvents, std::vector<int>{5});
  EXPECT_EQ(dlist_cursor_valid(&cursor), 0);
  // The walk steps back over the dead node and lets it go.
  EXPECT_EQ(dlist_cursor_prev(&cursor, 1), item(1));
  EXPECT_EQ(linked(), 2u);
  EXPECT_EQ(dlist_cursor_get(&cursor), item(1));
  EXPECT_EQ(dlist_cursor_valid(&cursor), 1);
  dlist_cursor_release(&cursor);
  EXPECT_EQ(dlist_free(list_), 0);
}

TEST_F(CursorList, CursorRemovalMovesToTheNeighbour) {
  struct Case {
    const char* what;
    intptr_t start;
    int backwards;
    intptr_t landsOn;  // 0: no node
  };
  const Case cases[] = {
      {"forwards from the middle", 2, 0, 3},
      {"backwards from the middle", 2, 1, 1},
      {"backwards from the first", 1, 1, 0},
      {"forwards from the last", 3, 0, 0},
  };
  for (const Case& c : cases) {
    DList* list = dlist_new();
    DListCursor cursor{};
    for (intptr_t v = 1; v <= 3; ++v) {
      dlist_push(list, 1, item(v), v == c.start ? &cursor : nullptr);
    }
    EXPECT_EQ(dlist_cursor_remove(&cursor, c.backwards), 0) << c.what;
    EXPECT_EQ(dlist_count(list), 2u) << c.what;
    if (c.landsOn == 0) {
      EXPECT_EQ(cursor.node, nullptr) << c.what;
    } else {
      ASSERT_NE(cursor.node, nullptr) << c.what;
      EXPECT_EQ(cursor.node->data, item(c.landsOn)) << c.what;
      EXPECT_EQ(cursor.node->use_count, 1u) << c.what;
      dlist_cursor_release(&cursor);
    }
    EXPECT_EQ(dlist_free(list), 0) << c.what;
  }
  EXPECT_TRUE(hookEvents.empty());
}

TEST_F(CursorList, ASecondCursorKeepsTheRemovedNodeLinked) {
  DListCursor first{};
  dlist_push(list_, 1, item(1), &first);
  DListCursor second{};
  EXPECT_EQ(dlist_cursor_copy(&second, &first), list_);
  EXPECT_EQ(first.node->use_count, 2u);
  EXPECT_EQ(dlist_cursor_remove(&first, 0), -1);
  EXPECT_EQ(first.node, nullptr);
  EXPECT_EQ(linked(), 1u);
  EXPECT_EQ(dlist_cursor_remove(&second, 0), -1);  // already dead
  EXPECT_EQ(hookEvents, std::vector<int>{5});
  // Freeing while a node is held stops with event 4.
  EXPECT_EQ(dlist_free(list_), -1);
  EXPECT_EQ(hookEvents, (std::vector<int>{5, 4}));
  dlist_cursor_release(&second);
  EXPECT_EQ(linked(), 0u);
  EXPECT_EQ(dlist_free(list_), 0);
}

TEST_F(CursorList, InsertAtACursorBeforeOrAfter) {
  DListCursor cursor{};
  dlist_push(list_, 1, item(2), &cursor);
  EXPECT_EQ(dlist_insert_at_cursor(&cursor, 1, item(3)), 0);
  EXPECT_EQ(dlist_insert_at_cursor(&cursor, 0, item(1)), 0);
  EXPECT_EQ(live(), (std::vector<intptr_t>{1, 2, 3}));
  EXPECT_EQ(list_->head->data, item(1));
  EXPECT_EQ(list_->tail->data, item(3));
  dlist_remove(list_, item(2));
  EXPECT_EQ(dlist_insert_at_cursor(&cursor, 1, item(4)), -1);  // dead node
  EXPECT_EQ(hookEvents, std::vector<int>{5});
  dlist_cursor_release(&cursor);
  EXPECT_EQ(dlist_free(list_), 0);
}

int isKey(const void* key, void* data) { return value(key) == value(data) ? 1 : 0; }

int removeEach(void* data, void* argument) {
  dlist_remove(static_cast<DList*>(argument), data);
  return value(data) == 3 ? 0 : 1;
}

TEST_F(CursorList, FindAndWalksMayRemoveWhatTheyVisit) {
  for (intptr_t v = 1; v <= 4; ++v) dlist_push(list_, 1, item(v), nullptr);
  DListCursor cursor{};
  EXPECT_EQ(dlist_find(list_, item(3), isKey, &cursor), item(3));
  EXPECT_EQ(dlist_find(list_, item(9), isKey, nullptr), nullptr);
  dlist_cursor_release(&cursor);
  EXPECT_EQ(dlist_foreach_arg(list_, removeEach, list_), 0);
  EXPECT_EQ(live(), std::vector<intptr_t>{4});
  EXPECT_EQ(linked(), 1u);
  EXPECT_EQ(dlist_free(list_), 0);
  EXPECT_TRUE(hookEvents.empty());
}

// ---- Tree walks ----

int compareKeys(const void* key, const void* data) {
  return static_cast<int>(value(key) - value(data));
}

struct Tree {
  AvlNode* root = nullptr;
  explicit Tree(const std::vector<intptr_t>& keys) {
    for (intptr_t k : keys) root = avl_insert(root, item(k), compareKeys, nullptr);
  }
  ~Tree() { avl_free_tree(root, nullptr, nullptr); }
};

int collect(void* data, void* argument) {
  static_cast<std::vector<intptr_t>*>(argument)->push_back(value(data));
  return 1;
}

TEST(LibraryTreeWalk, RangeWalkVisitsExactlyTheBoundedKeys) {
  struct Case {
    const char* what;
    int lowerMode;
    intptr_t lower;
    int upperMode;
    intptr_t upper;
    int descending;
    std::vector<intptr_t> visited;
  };
  const Case cases[] = {
      {"3 excluded to 7 included", 2, 3, 1, 7, 0, {4, 5, 6, 7}},
      {"3 included to 7 excluded", 1, 3, 2, 7, 0, {3, 4, 5, 6}},
      {"descending", 2, 3, 1, 7, 1, {7, 6, 5, 4}},
      {"no lower bound", 0, 0, 1, 3, 0, {1, 2, 3}},
      {"no upper bound", 1, 8, 0, 0, 0, {8, 9}},
      {"no bounds", 0, 0, 0, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"empty range", 2, 5, 2, 6, 0, {}},
      {"one key", 1, 5, 1, 5, 1, {5}},
      {"beyond the keys", 1, 20, 1, 30, 0, {}},
  };
  Tree tree({5, 2, 8, 1, 3, 7, 9, 4, 6});
  for (const Case& c : cases) {
    std::vector<intptr_t> seen;
    EXPECT_EQ(tree_walk_range(tree.root, c.lowerMode, item(c.lower), c.upperMode, item(c.upper),
                              c.descending, compareKeys, collect, &seen),
              1)
        << c.what;
    EXPECT_EQ(seen, c.visited) << c.what;
  }
}

int stopAtFive(void* data, void* argument) {
  collect(data, argument);
  return value(data) == 5 ? 0 : 1;
}

TEST(LibraryTreeWalk, WalksGoInOrderAndStopOnZero) {
  Tree tree({4, 2, 6, 1, 3, 5, 7});
  std::vector<intptr_t> ascending;
  EXPECT_EQ(tree_walk_arg(tree.root, stopAtFive, &ascending), 0);
  EXPECT_EQ(ascending, (std::vector<intptr_t>{1, 2, 3, 4, 5}));
  std::vector<intptr_t> descending;
  EXPECT_EQ(tree_walk_desc_arg(tree.root, stopAtFive, &descending), 0);
  EXPECT_EQ(descending, (std::vector<intptr_t>{7, 6, 5}));
  std::vector<intptr_t> ranged;
  EXPECT_EQ(tree_walk_range(tree.root, 1, item(2), 1, item(7), 0, compareKeys, stopAtFive,
                            &ranged),
            0);
  EXPECT_EQ(ranged, (std::vector<intptr_t>{2, 3, 4, 5}));
  std::vector<intptr_t> all;
  tree_visit_desc_arg(
      tree.root, [](void* data, void* argument) { collect(data, argument); }, &all);
  EXPECT_EQ(all, (std::vector<intptr_t>{7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(tree_walk(nullptr, [](void*) { return 0; }), 1);
}

TEST(LibraryTreeWalk, MergeInsertsEverySourceKeyOnce) {
  Tree destination({1, 3, 5});
  Tree source({2, 3, 4});
  destination.root = tree_merge_into(destination.root, source.root, compareKeys);
  std::vector<intptr_t> seen;
  tree_walk_arg(destination.root, collect, &seen);
  EXPECT_EQ(seen, (std::vector<intptr_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(tree_merge_into(destination.root, nullptr, compareKeys), destination.root);
}

}  // namespace
