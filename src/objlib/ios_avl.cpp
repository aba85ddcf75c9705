#include "objlib/ios_avl.h"

#include <cstdlib>
#include <cstring>

#include "objlib/ios_types.h"

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
