#include "util/avl.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "util/MemoryPools.h"
#include "util/c-memory.h"
#include "util/RunState.h"

namespace {

struct NodePoolState {
  MemPool* nodePool = nullptr;
  size_t nodesInUse = 0;
  ~NodePoolState() { MemoryPools::destroyPool(nodePool); }
};
NodePoolState& nodePoolState() { return runPart<NodePoolState>(); }

AvlNode* newNode(void* data) {
  if (!nodePoolState().nodePool) nodePoolState().nodePool = mem_pool_create();
  AvlNode* node = static_cast<AvlNode*>(mem_pool_alloc(nodePoolState().nodePool, sizeof(AvlNode)));
  ++nodePoolState().nodesInUse;
  node->height = 1;
  node->data = data;
  return node;
}

int32_t heightOf(const AvlNode* node) { return node ? node->height : 0; }

void updateHeight(AvlNode* node) {
  int32_t left = heightOf(node->left);
  int32_t right = heightOf(node->right);
  node->height = 1 + (left > right ? left : right);
}

void writeError(const char* text, size_t length) {
  ssize_t written = write(STDERR_FILENO, text, length);
  (void)written;
}

[[noreturn]] void illegalRotation(const char* text, size_t length) {
  AvlErrorHandling& handling = avl_error_handling();
  if (handling.handler != nullptr) {
    handling.handler(1, handling.argument);
    writeError(text, length);
    static const char after[] = "Not supposed to pass exit()...\n";
    writeError(after, sizeof after - 1);
    std::exit(1);
  }
  writeError(text, length);
  std::exit(1);
}

// After the right side lost height (or the left side gained it).
AvlNode* rebalanceLeftHeavy(AvlNode* node, bool singleOnEqual) {
  updateHeight(node);
  if (heightOf(node->left) <= heightOf(node->right) + 1) return node;
  AvlNode* left = node->left;
  bool single = singleOnEqual ? heightOf(left->left) >= heightOf(left->right)
                              : heightOf(left->left) > heightOf(left->right);
  if (!single) {
    node->left = avl_rotate_left(left);
    updateHeight(node);
  }
  return avl_rotate_right(node);
}

// After the left side lost height (or the right side gained it).
AvlNode* rebalanceRightHeavy(AvlNode* node, bool singleOnEqual) {
  updateHeight(node);
  if (heightOf(node->right) <= heightOf(node->left) + 1) return node;
  AvlNode* right = node->right;
  bool single = singleOnEqual ? heightOf(right->right) >= heightOf(right->left)
                              : heightOf(right->right) > heightOf(right->left);
  if (!single) {
    node->right = avl_rotate_right(right);
    updateHeight(node);
  }
  return avl_rotate_left(node);
}

}  // namespace

AvlErrorHandling& avl_error_handling() {
  static AvlErrorHandling handling{nullptr, nullptr};
  return handling;
}

AvlNode* avl_rotate_left(AvlNode* node) {
  if (!node || !node->right) {
    static const char text[] = "Illegal left rotation: unexpected NULL\n";
    illegalRotation(text, sizeof text - 1);
  }
  AvlNode* root = node->right;
  node->right = root->left;
  root->left = node;
  updateHeight(node);
  updateHeight(root);
  return root;
}

AvlNode* avl_rotate_right(AvlNode* node) {
  if (!node || !node->left) {
    static const char text[] = "Illegal right rotation: unexpected NULL\n";
    illegalRotation(text, sizeof text - 1);
  }
  AvlNode* root = node->left;
  node->left = root->right;
  root->right = node;
  updateHeight(node);
  updateHeight(root);
  return root;
}

void* avl_leftmost_data(AvlNode* root) {
  if (!root) return nullptr;
  while (root->left) root = root->left;
  return root->data;
}

void avl_free_node(AvlNode* node) {
  if (!node) return;
  MemoryPools::free(nodePoolState().nodePool, node, sizeof(AvlNode));
  if (--nodePoolState().nodesInUse == 0) {
    MemoryPools::destroyPool(nodePoolState().nodePool);
    nodePoolState().nodePool = nullptr;
  }
}

AvlNode* avl_insert(AvlNode* root, void* data, AvlCompare compare, int* inserted) {
  if (!root) {
    if (inserted) *inserted = 1;
    return newNode(data);
  }
  int order = compare(data, root->data);
  if (order == 0) {
    if (inserted) *inserted = 0;
    return root;
  }
  if (order < 0) {
    root->left = avl_insert(root->left, data, compare, inserted);
    return rebalanceLeftHeavy(root, false);
  }
  root->right = avl_insert(root->right, data, compare, inserted);
  return rebalanceRightHeavy(root, false);
}

AvlNode* avl_delete(AvlNode* root, const void* key, AvlCompare compare, AvlRelease release,
                    void* context, int* found) {
  if (!root) {
    if (found) *found = 0;
    return nullptr;
  }
  int order = compare(key, root->data);
  if (order > 0) {
    root->right = avl_delete(root->right, key, compare, release, context, found);
    return rebalanceLeftHeavy(root, true);
  }
  if (order < 0) {
    root->left = avl_delete(root->left, key, compare, release, context, found);
    return rebalanceRightHeavy(root, true);
  }
  if (found) *found = 1;
  if (release) release(root->data, context);
  if (!root->right || !root->left) {
    AvlNode* child = root->right ? root->right : root->left;
    avl_free_node(root);
    return child;
  }
  root->data = avl_leftmost_data(root->right);
  root->right = avl_delete(root->right, root->data, compare, nullptr, nullptr, nullptr);
  return rebalanceLeftHeavy(root, true);
}

AvlNode* avl_delete_found(AvlNode* root, const void* key, AvlCompare compare, int* found) {
  return avl_delete(root, key, compare, nullptr, nullptr, found);
}

AvlNode* avl_delete_release(AvlNode* root, const void* key, AvlCompare compare,
                            AvlRelease release, void* context) {
  return avl_delete(root, key, compare, release, context, nullptr);
}

AvlNode* avl_remove_if(AvlNode* root, AvlTest predicate, void* context, AvlCompare compare) {
  void* item = avl_leftmost_data(root);
  while (item) {
    void* successor = avl_find_above(root, item, compare);
    if (predicate(item, context)) root = avl_delete(root, item, compare, nullptr, nullptr, nullptr);
    item = successor;
  }
  return root;
}

void avl_walk(AvlNode* root, AvlVisitor visitor, void* context) {
  if (!root) return;
  avl_walk(root->left, visitor, context);
  visitor(root->data, context);
  avl_walk(root->right, visitor, context);
}

int avl_walk_while(AvlNode* root, AvlTest visitor, void* context) {
  if (!root) return 1;
  if (!avl_walk_while(root->left, visitor, context)) return 0;
  if (!visitor(root->data, context)) return 0;
  return avl_walk_while(root->right, visitor, context);
}

void* avl_find_above(AvlNode* root, const void* key, AvlCompare compare) {
  void* best = nullptr;
  while (root) {
    if (compare(key, root->data) < 0) {
      best = root->data;
      root = root->left;
    } else {
      root = root->right;
    }
  }
  return best;
}

void* avl_find_below(AvlNode* root, const void* key, AvlCompare compare) {
  void* best = nullptr;
  while (root) {
    if (compare(key, root->data) > 0) {
      best = root->data;
      root = root->right;
    } else {
      root = root->left;
    }
  }
  return best;
}

void* avl_find_at_or_below(AvlNode* root, const void* key, AvlCompare compare) {
  void* best = nullptr;
  while (root) {
    int order = compare(key, root->data);
    if (order == 0) return root->data;
    if (order > 0) {
      best = root->data;
      root = root->right;
    } else {
      root = root->left;
    }
  }
  return best;
}

void* avl_find_at_or_above(AvlNode* root, const void* key, AvlCompare compare) {
  void* best = nullptr;
  while (root) {
    int order = compare(key, root->data);
    if (order == 0) return root->data;
    if (order < 0) {
      best = root->data;
      root = root->left;
    } else {
      root = root->right;
    }
  }
  return best;
}

AvlNode* avl_free_tree(AvlNode* root, AvlRelease release, void* context) {
  if (!root) return nullptr;
  avl_free_tree(root->left, release, context);
  avl_free_tree(root->right, release, context);
  if (release) release(root->data, context);
  avl_free_node(root);
  return nullptr;
}

size_t avl_node_size() { return sizeof(AvlNode); }

AvlNode* avl_root(const void* holder) {
  if (!holder) return nullptr;
  AvlNode* root;
  std::memcpy(&root, holder, sizeof root);
  return root;
}
