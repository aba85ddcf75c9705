// AVL insertions and deletions driven by a byte script, checked for order and
// balance against a standard set after every step.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "util/avl.h"

namespace {

int compareItems(const void* key, const void* data) {
  intptr_t a = reinterpret_cast<intptr_t>(key);
  intptr_t b = reinterpret_cast<intptr_t>(data);
  return a < b ? -1 : a > b ? 1 : 0;
}

int32_t checkedHeight(const AvlNode* node) {
  if (!node) return 0;
  int32_t left = checkedHeight(node->left);
  int32_t right = checkedHeight(node->right);
  if (node->height != 1 + std::max(left, right) || left - right > 1 || right - left > 1) abort();
  return node->height;
}

void collect(void* data, void* context) {
  static_cast<std::vector<intptr_t>*>(context)->push_back(reinterpret_cast<intptr_t>(data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AvlNode* root = nullptr;
  std::set<intptr_t> model;
  for (size_t i = 0; i < size; ++i) {
    intptr_t key = data[i] & 0x3F;
    int flag = -1;
    if (data[i] & 0x80) {
      root = avl_delete_found(root, reinterpret_cast<void*>(key), compareItems, &flag);
      if (flag != static_cast<int>(model.erase(key))) abort();
    } else if (data[i] & 0x40) {
      void* above = avl_find_above(root, reinterpret_cast<void*>(key), compareItems);
      auto next = model.upper_bound(key);
      if ((next == model.end() ? 0 : *next) != reinterpret_cast<intptr_t>(above)) abort();
    } else {
      root = avl_insert(root, reinterpret_cast<void*>(key), compareItems, &flag);
      if (flag != static_cast<int>(model.insert(key).second)) abort();
    }
    checkedHeight(root);
  }
  std::vector<intptr_t> items;
  avl_walk(root, collect, &items);
  if (items != std::vector<intptr_t>(model.begin(), model.end())) abort();
  avl_free_tree(root, nullptr, nullptr);
  return 0;
}
