#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "util/avl.h"

namespace {

// Items are small integers stored in the data pointer.
void* item(intptr_t value) { return reinterpret_cast<void*>(value); }
intptr_t value(const void* data) { return reinterpret_cast<intptr_t>(data); }

int compareItems(const void* key, const void* data) {
  intptr_t a = value(key);
  intptr_t b = value(data);
  return a < b ? -1 : a > b ? 1 : 0;
}

// Height of the subtree, checking that every stored height is right and balanced.
int32_t checkedHeight(const AvlNode* node, bool& ok) {
  if (!node) return 0;
  int32_t left = checkedHeight(node->left, ok);
  int32_t right = checkedHeight(node->right, ok);
  if (node->height != 1 + std::max(left, right)) ok = false;
  if (left - right > 1 || right - left > 1) ok = false;
  return node->height;
}

void collect(void* data, void* context) {
  static_cast<std::vector<intptr_t>*>(context)->push_back(value(data));
}

std::vector<intptr_t> inOrder(AvlNode* root) {
  std::vector<intptr_t> items;
  avl_walk(root, collect, &items);
  return items;
}

TEST(AvlTest, EveryInsertAndDeleteKeepsOrderAndBalance) {
  struct Op {
    char kind;  // 'i' insert, 'd' delete
    intptr_t key;
    int flag;   // expected inserted / found flag
  };
  struct Case {
    const char* name;
    std::vector<Op> ops;
  };
  std::vector<Op> ascending, descending, zigzag, drain;
  for (intptr_t i = 1; i <= 64; ++i) ascending.push_back({'i', i, 1});
  for (intptr_t i = 64; i >= 1; --i) descending.push_back({'i', i, 1});
  for (intptr_t i = 0; i < 64; ++i) zigzag.push_back({'i', (i * 37) % 64, 1});
  drain = zigzag;
  for (intptr_t i = 0; i < 64; ++i) drain.push_back({'d', (i * 11) % 64, 1});
  const Case cases[] = {
      {"ascending inserts rotate left", ascending},
      {"descending inserts rotate right", descending},
      {"scattered inserts", zigzag},
      {"scattered deletes down to empty", drain},
      {"duplicate insert keeps the tree", {{'i', 5, 1}, {'i', 5, 0}, {'i', 3, 1}, {'i', 3, 0}}},
      {"absent key", {{'d', 1, 0}, {'i', 2, 1}, {'d', 1, 0}, {'d', 3, 0}, {'d', 2, 1}, {'d', 2, 0}}},
      {"delete with two children",
       {{'i', 4, 1}, {'i', 2, 1}, {'i', 6, 1}, {'i', 1, 1}, {'i', 3, 1}, {'i', 5, 1},
        {'i', 7, 1}, {'d', 4, 1}, {'d', 2, 1}, {'d', 6, 1}, {'d', 5, 1}}},
      {"deletes that need double rotations",
       {{'i', 5, 1}, {'i', 2, 1}, {'i', 8, 1}, {'i', 1, 1}, {'i', 4, 1}, {'i', 7, 1},
        {'i', 9, 1}, {'i', 3, 1}, {'i', 6, 1}, {'d', 9, 1}, {'d', 1, 1}, {'d', 8, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AvlNode* root = nullptr;
    std::set<intptr_t> model;
    for (const Op& op : c.ops) {
      SCOPED_TRACE(testing::Message() << op.kind << op.key);
      int flag = -1;
      if (op.kind == 'i') {
        root = avl_insert(root, item(op.key), compareItems, &flag);
        model.insert(op.key);
      } else {
        root = avl_delete_found(root, item(op.key), compareItems, &flag);
        model.erase(op.key);
      }
      EXPECT_EQ(flag, op.flag);
      bool balanced = true;
      checkedHeight(root, balanced);
      EXPECT_TRUE(balanced);
      EXPECT_EQ(inOrder(root), std::vector<intptr_t>(model.begin(), model.end()));
      EXPECT_EQ(value(avl_leftmost_data(root)), model.empty() ? 0 : *model.begin());
    }
    root = avl_free_tree(root, nullptr, nullptr);
    EXPECT_EQ(root, nullptr);
  }
}

TEST(AvlTest, RotationsGiveTheExpectedRoot) {
  struct Case {
    std::vector<intptr_t> inserts;
    intptr_t deleted;  // 0: none
    intptr_t root;
    intptr_t left;     // 0: no child
    intptr_t right;
  };
  const Case cases[] = {
      {{1, 2, 3}, 0, 2, 1, 3},        // one left rotation
      {{3, 2, 1}, 0, 2, 1, 3},        // one right rotation
      {{3, 1, 2}, 0, 2, 1, 3},        // double rotation
      {{1, 3, 2}, 0, 2, 1, 3},        // mirrored double rotation
      {{2, 1, 3}, 2, 3, 1, 0},        // the root takes its successor
      {{2, 1, 3, 4}, 1, 3, 2, 4},     // a left rotation after a delete
      {{3, 1, 4, 2}, 4, 2, 1, 3},     // a double rotation after a delete
  };
  for (const Case& c : cases) {
    AvlNode* root = nullptr;
    for (intptr_t key : c.inserts) root = avl_insert(root, item(key), compareItems, nullptr);
    if (c.deleted) root = avl_delete_found(root, item(c.deleted), compareItems, nullptr);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(value(root->data), c.root);
    EXPECT_EQ(root->left ? value(root->left->data) : 0, c.left);
    EXPECT_EQ(root->right ? value(root->right->data) : 0, c.right);
    avl_free_tree(root, nullptr, nullptr);
  }
}

void countRelease(void* data, void* context) {
  static_cast<std::vector<intptr_t>*>(context)->push_back(value(data));
}

TEST(AvlTest, ReleaseSeesOnlyTheRemovedItemOnce) {
  AvlNode* root = nullptr;
  for (intptr_t key : {2, 1, 3}) root = avl_insert(root, item(key), compareItems, nullptr);
  std::vector<intptr_t> released;
  root = avl_delete_release(root, item(2), compareItems, countRelease, &released);
  EXPECT_EQ(released, std::vector<intptr_t>{2});
  root = avl_delete_release(root, item(9), compareItems, countRelease, &released);
  EXPECT_EQ(released, std::vector<intptr_t>{2});
  EXPECT_EQ(value(root->data), 3);
  // Freeing the tree releases in post-order.
  released.clear();
  for (intptr_t key : {4, 5}) root = avl_insert(root, item(key), compareItems, nullptr);
  avl_free_tree(root, countRelease, &released);
  EXPECT_EQ(released, (std::vector<intptr_t>{1, 5, 4, 3}));
}

TEST(AvlTest, NeighbourSearchesFindStrictAndInclusiveNeighbours) {
  AvlNode* root = nullptr;
  for (intptr_t key : {10, 20, 30, 40, 50}) root = avl_insert(root, item(key), compareItems, nullptr);
  struct Case {
    intptr_t key;
    intptr_t above, below, atOrBelow, atOrAbove;  // 0: none
  };
  const Case cases[] = {
      {5, 10, 0, 0, 10},    {10, 20, 0, 10, 10},  {25, 30, 20, 20, 30},
      {30, 40, 20, 30, 30}, {50, 0, 40, 50, 50},  {55, 0, 50, 50, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(value(avl_find_above(root, item(c.key), compareItems)), c.above);
    EXPECT_EQ(value(avl_find_below(root, item(c.key), compareItems)), c.below);
    EXPECT_EQ(value(avl_find_at_or_below(root, item(c.key), compareItems)), c.atOrBelow);
    EXPECT_EQ(value(avl_find_at_or_above(root, item(c.key), compareItems)), c.atOrAbove);
  }
  EXPECT_EQ(avl_find_above(nullptr, item(1), compareItems), nullptr);
  avl_free_tree(root, nullptr, nullptr);
}

TEST(AvlTest, RemoveIfAndWalkWhileVisitEachItemOnce) {
  struct Case {
    int modulus;  // remove items divisible by it; 1 removes all
    size_t left;
  };
  const Case cases[] = {{1, 0}, {2, 10}, {3, 14}, {100, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.modulus);
    AvlNode* root = nullptr;
    for (intptr_t key = 1; key <= 20; ++key) root = avl_insert(root, item(key), compareItems, nullptr);
    struct Context {
      int modulus;
      std::vector<intptr_t> seen;
    } context{c.modulus, {}};
    root = avl_remove_if(
        root,
        [](void* data, void* raw) -> int {
          Context* ctx = static_cast<Context*>(raw);
          ctx->seen.push_back(value(data));
          return value(data) % ctx->modulus == 0;
        },
        &context, compareItems);
    std::vector<intptr_t> all;
    for (intptr_t key = 1; key <= 20; ++key) all.push_back(key);
    EXPECT_EQ(context.seen, all);
    EXPECT_EQ(inOrder(root).size(), c.left);
    bool balanced = true;
    checkedHeight(root, balanced);
    EXPECT_TRUE(balanced);
    avl_free_tree(root, nullptr, nullptr);
  }
  auto stopAtThree = [](void* data, void* raw) -> int {
    static_cast<std::vector<intptr_t>*>(raw)->push_back(value(data));
    return value(data) != 3;
  };
  std::vector<intptr_t> seen;
  EXPECT_EQ(avl_walk_while(nullptr, stopAtThree, &seen), 1);
  AvlNode* root = nullptr;
  for (intptr_t key : {4, 2, 5, 1, 3}) root = avl_insert(root, item(key), compareItems, nullptr);
  EXPECT_EQ(avl_walk_while(root, stopAtThree, &seen), 0);
  EXPECT_EQ(seen, (std::vector<intptr_t>{1, 2, 3}));
  avl_free_tree(root, nullptr, nullptr);
}

TEST(AvlTest, HolderRootAndNodeSize) {
  EXPECT_EQ(avl_root(nullptr), nullptr);
  AvlNode* root = avl_insert(nullptr, item(1), compareItems, nullptr);
  struct Holder {
    AvlNode* root;
    int (*order)(const void*, const void*);
  } holder{root, compareItems};
  EXPECT_EQ(avl_root(&holder), root);
  EXPECT_EQ(avl_node_size(), sizeof(AvlNode));
  avl_free_tree(root, nullptr, nullptr);
  // The node pool went with the last node; a new insertion makes it again.
  root = avl_insert(nullptr, item(2), compareItems, nullptr);
  EXPECT_EQ(value(avl_leftmost_data(root)), 2);
  avl_free_tree(root, nullptr, nullptr);
}

TEST(AvlDeathTest, RotationWithoutChildEndsWithStatusOne) {
  EXPECT_EXIT(avl_rotate_left(nullptr), testing::ExitedWithCode(1),
              "^Illegal left rotation: unexpected NULL\n$");
  EXPECT_EXIT(
      {
        AvlNode* leaf = avl_insert(nullptr, item(1), compareItems, nullptr);
        avl_rotate_right(leaf);
      },
      testing::ExitedWithCode(1), "^Illegal right rotation: unexpected NULL\n$");
}

}  // namespace
