#include "objlib/ios_avl.h"

#include <cstdlib>
#include <cstring>

#include "objlib/ios_types.h"
#include "objlib/objlib_state.h"

AvlNode* avl_insert_with(AvlNode* root, void* data, AvlCompare compare) {
  int inserted = 0;
  return avl_insert(root, data, compare, &inserted);
}

AvlNode* avl_delete_with(AvlNode* root, const void* data, AvlCompare compare) {
  int found = 0;
  return avl_delete(root, data, compare, nullptr, nullptr, &found);
}

void* avl_find(const AvlNode* root, const void* searched, AvlCompare compare) {
  while (root != nullptr) {
    int order = compare(searched, root->data);
    if (order == 0) return root->data;
    root = order < 0 ? root->left : root->right;
  }
  return nullptr;
}

void* avl_max_data(const AvlNode* root) {
  if (root == nullptr) return nullptr;
  while (root->right != nullptr) root = root->right;
  return root->data;
}

void ios_tree_walk(AvlNode* root, AvlVisitor visit, void* context) {
  avl_walk(root, visit, context);
}

uint32_t tree_count_nodes(const AvlNode* root) {
  // The height bounds the recursion depth to about 1.44 log2(n).
  if (root == nullptr) return 0;
  return 1 + tree_count_nodes(root->left) + tree_count_nodes(root->right);
}

int avl_map_insert(AvlMap* map, void* item) {
  int inserted = 0;
  map->root = avl_insert(map->root, item, map->compare, &inserted);
  return inserted;
}

int avl_map_remove(AvlMap* map, const void* item, AvlRelease release, void* context) {
  int found = 0;
  map->root = avl_delete(map->root, item, map->compare, release, context, &found);
  return found;
}

void* ios_array_push(IosArray* array, size_t item_size) {
  if (array->count == array->capacity) {
    uint32_t capacity = array->capacity < IOS_ARRAY_MIN_CAPACITY ? IOS_ARRAY_MIN_CAPACITY
                                                                 : array->capacity * 2;
    if (capacity <= array->capacity) return nullptr;  // 32-bit count exhausted
    void* grown = std::realloc(array->items, size_t{capacity} * item_size);
    if (grown == nullptr) return nullptr;
    objlib_state().moved_items += array->count;
    array->items = grown;
    array->capacity = capacity;
  }
  void* item = static_cast<unsigned char*>(array->items) + size_t{array->count} * item_size;
  std::memset(item, 0, item_size);
  ++array->count;
  return item;
}

void ios_array_free(IosArray* array) {
  std::free(array->items);
  *array = IosArray{0, 0, nullptr};
}

// The walks recurse: a balanced tree's height keeps the depth near 1.44 log2(n).

int tree_walk(AvlNode* root, TreeCallback callback) {
  if (root == nullptr) return 1;
  if (tree_walk(root->left, callback) == 0 || callback(root->data) == 0) return 0;
  return tree_walk(root->right, callback);
}

int tree_walk_arg(AvlNode* root, TreeCallbackArg callback, void* argument) {
  if (root == nullptr) return 1;
  if (tree_walk_arg(root->left, callback, argument) == 0 || callback(root->data, argument) == 0)
    return 0;
  return tree_walk_arg(root->right, callback, argument);
}

int tree_walk_desc(AvlNode* root, TreeCallback callback) {
  if (root == nullptr) return 1;
  if (tree_walk_desc(root->right, callback) == 0 || callback(root->data) == 0) return 0;
  return tree_walk_desc(root->left, callback);
}

int tree_walk_desc_arg(AvlNode* root, TreeCallbackArg callback, void* argument) {
  if (root == nullptr) return 1;
  if (tree_walk_desc_arg(root->right, callback, argument) == 0 ||
      callback(root->data, argument) == 0)
    return 0;
  return tree_walk_desc_arg(root->left, callback, argument);
}

void tree_visit_desc(AvlNode* root, TreeVisit visit) {
  if (root == nullptr) return;
  tree_visit_desc(root->right, visit);
  visit(root->data);
  tree_visit_desc(root->left, visit);
}

void tree_visit_desc_arg(AvlNode* root, TreeVisitArg visit, void* argument) {
  if (root == nullptr) return;
  tree_visit_desc_arg(root->right, visit, argument);
  visit(root->data, argument);
  tree_visit_desc_arg(root->left, visit, argument);
}

namespace {

struct RangeWalk {
  int lower_mode;
  const void* lower_key;
  int upper_mode;
  const void* upper_key;
  bool descending;
  TreeKeyCompare compare;
  TreeCallbackArg callback;
  void* argument;
};

// Data below the lower bound, or equal to an excluded one.
bool belowLower(const RangeWalk& walk, const void* data) {
  if (walk.lower_mode == TREE_BOUND_NONE) return false;
  int order = walk.compare(walk.lower_key, data);
  return order > 0 || (order == 0 && walk.lower_mode == TREE_BOUND_EXCLUSIVE);
}

bool aboveUpper(const RangeWalk& walk, const void* data) {
  if (walk.upper_mode == TREE_BOUND_NONE) return false;
  int order = walk.compare(walk.upper_key, data);
  return order < 0 || (order == 0 && walk.upper_mode == TREE_BOUND_EXCLUSIVE);
}

// Every data of the subtree that lies within the bounds still in force; a subtree
// beyond a bound is pruned as a whole.
int walkRange(const RangeWalk& walk, AvlNode* node, bool checkLower, bool checkUpper) {
  while (node != nullptr) {
    if (checkLower && belowLower(walk, node->data)) {
      node = node->right;
      continue;
    }
    if (checkUpper && aboveUpper(walk, node->data)) {
      node = node->left;
      continue;
    }
    // Within both bounds: the left side needs only the lower bound, the right only
    // the upper one.
    AvlNode* first = walk.descending ? node->right : node->left;
    AvlNode* second = walk.descending ? node->left : node->right;
    bool firstLower = walk.descending ? false : checkLower;
    bool firstUpper = walk.descending ? checkUpper : false;
    if (walkRange(walk, first, firstLower, firstUpper) == 0) return 0;
    if (walk.callback(node->data, walk.argument) == 0) return 0;
    return walkRange(walk, second, walk.descending ? checkLower : false,
                     walk.descending ? false : checkUpper);
  }
  return 1;
}

}  // namespace

int tree_walk_range(AvlNode* root, int lower_mode, const void* lower_key, int upper_mode,
                    const void* upper_key, int descending, TreeKeyCompare compare,
                    TreeCallbackArg callback, void* argument) {
  if (callback == nullptr) return 0;
  bool bounded = lower_mode != TREE_BOUND_NONE || upper_mode != TREE_BOUND_NONE;
  if (!bounded) {
    return descending != 0 ? tree_walk_desc_arg(root, callback, argument)
                           : tree_walk_arg(root, callback, argument);
  }
  if (compare == nullptr) return 0;
  RangeWalk walk{lower_mode, lower_key, upper_mode, upper_key, descending != 0,
                 compare,    callback,  argument};
  return walkRange(walk, root, true, true);
}

namespace {
struct MergeTarget {
  AvlNode* root;
  AvlCompare compare;
};

void mergeOne(void* data, void* argument) {
  auto* target = static_cast<MergeTarget*>(argument);
  target->root = avl_insert(target->root, data, target->compare, nullptr);
}
}  // namespace

AvlNode* tree_merge_into(AvlNode* destination, AvlNode* source, AvlCompare compare) {
  if (source == nullptr || compare == nullptr) return destination;
  MergeTarget target{destination, compare};
  avl_walk(source, mergeOne, &target);
  return target.root;
}
