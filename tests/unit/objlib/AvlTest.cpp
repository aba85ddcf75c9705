#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "objlib/ios_avl.h"

namespace {

int compareInts(const void* a, const void* b) {
  int left = *static_cast<const int*>(a);
  int right = *static_cast<const int*>(b);
  return left < right ? -1 : (left > right ? 1 : 0);
}

void collect(void* data, void* context) {
  static_cast<std::vector<int>*>(context)->push_back(*static_cast<int*>(data));
}

void countRelease(void*, void* context) { ++*static_cast<int*>(context); }

TEST(IosAvl, FindMaxAndCountFollowTheOrdering) {
  struct Case {
    std::vector<int> inserted;
    int searched;
    bool found;
    int largest;
  };
  const Case cases[] = {
      {{5}, 5, true, 5},
      {{1, 2, 3, 4, 5, 6, 7}, 4, true, 7},
      {{7, 6, 5, 4, 3, 2, 1}, 8, false, 7},
      {{40, 10, 30, 20, 50, 0}, 25, false, 50},
  };
  for (const Case& c : cases) {
    std::vector<int> values = c.inserted;
    AvlMap map{nullptr, compareInts};
    for (int& value : values) EXPECT_EQ(avl_map_insert(&map, &value), 1);
    int duplicate = values.front();
    EXPECT_EQ(avl_map_insert(&map, &duplicate), 0) << "equal elements go in once";
    EXPECT_EQ(tree_count_nodes(map.root), values.size());
    void* found = avl_find(map.root, &c.searched, compareInts);
    EXPECT_EQ(found != nullptr, c.found) << c.searched;
    if (found != nullptr) {
      EXPECT_EQ(*static_cast<int*>(found), c.searched);
    }
    EXPECT_EQ(*static_cast<int*>(avl_max_data(map.root)), c.largest);
    std::vector<int> walked;
    ios_tree_walk(map.root, collect, &walked);
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
    EXPECT_EQ(walked.size(), values.size());
    int released = 0;
    EXPECT_EQ(avl_map_remove(&map, &c.inserted.front(), countRelease, &released), 1);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(avl_map_remove(&map, &c.inserted.front(), countRelease, &released), 0);
    map.root = avl_free_tree(map.root, nullptr, nullptr);
  }
  EXPECT_EQ(avl_max_data(nullptr), nullptr);
  EXPECT_EQ(tree_count_nodes(nullptr), 0u);
}

// Insert and delete without the caller's flag: the new root after each step, an equal
// element inserted again and an absent one deleted leave the tree as it was.
TEST(IosAvl, InsertWithAndDeleteWithAnswerTheNewRoot) {
  struct Step {
    bool insert;
    int value;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<int> contents;
  };
  const Case cases[] = {
      {"ascending inserts", {{true, 1}, {true, 2}, {true, 3}, {true, 4}}, {1, 2, 3, 4}},
      {"an equal element again", {{true, 5}, {true, 3}, {true, 5}}, {3, 5}},
      {"delete the root", {{true, 2}, {true, 1}, {true, 3}, {false, 2}}, {1, 3}},
      {"delete an absent element", {{true, 2}, {false, 9}}, {2}},
      {"delete from an empty tree", {{false, 1}}, {}},
      {"delete everything, insert again", {{true, 1}, {true, 2}, {false, 1}, {false, 2}, {true, 7}}, {7}},
  };
  for (const Case& c : cases) {
    std::vector<int> values;
    values.reserve(c.steps.size());
    AvlNode* root = nullptr;
    for (const Step& step : c.steps) {
      values.push_back(step.value);
      root = step.insert ? avl_insert_with(root, &values.back(), compareInts)
                         : avl_delete_with(root, &values.back(), compareInts);
    }
    std::vector<int> contents;
    ios_tree_walk(root, collect, &contents);
    EXPECT_EQ(contents, c.contents) << c.name;
    EXPECT_EQ(tree_count_nodes(root), c.contents.size()) << c.name;
    avl_free_tree(root, nullptr, nullptr);
  }
}

TEST(IosAvl, ManyKeysStayBalanced) {
  constexpr int kCount = 100000;
  std::vector<int> values(kCount);
  AvlMap map{nullptr, compareInts};
  for (int i = 0; i < kCount; ++i) {
    values[i] = i;
    ASSERT_EQ(avl_map_insert(&map, &values[i]), 1);
  }
  // An AVL tree of n nodes is at most about 1.44 log2(n) high.
  EXPECT_LE(map.root->height, 25);
  EXPECT_EQ(tree_count_nodes(map.root), uint32_t{kCount});
  map.root = avl_free_tree(map.root, nullptr, nullptr);
}

}  // namespace
