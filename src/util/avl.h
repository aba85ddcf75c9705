// Height-balanced (AVL) trees over caller-owned data pointers, ordered by a
// comparison supplied on each call. A tree is its root node; every operation that
// may change the shape returns the new root. Nodes come from one shared pool.
#pragma once

#include <cstddef>
#include <cstdint>

struct AvlNode {
  AvlNode* left;
  AvlNode* right;
  int32_t height;  // 1 for a leaf; an empty subtree counts 0
  void* data;
};

// Negative when key orders before data, 0 when equal, positive after.
using AvlCompare = int (*)(const void* key, const void* data);
using AvlRelease = void (*)(void* data, void* context);
using AvlVisitor = void (*)(void* data, void* context);
// For walks that may stop and for predicates: non-zero means go on / selected.
using AvlTest = int (*)(void* data, void* context);

// Adds data unless an equal item is present; *inserted (may be null) tells which.
AvlNode* avl_insert(AvlNode* root, void* data, AvlCompare compare, int* inserted);
// Removes the item equal to key; release (may be null) gets the removed item
// before its node is freed. *found (may be null) tells whether one was there.
AvlNode* avl_delete(AvlNode* root, const void* key, AvlCompare compare, AvlRelease release,
                    void* context, int* found);
AvlNode* avl_delete_found(AvlNode* root, const void* key, AvlCompare compare, int* found);
AvlNode* avl_delete_release(AvlNode* root, const void* key, AvlCompare compare,
                            AvlRelease release, void* context);
// Removes every item the predicate selects, in ascending order.
AvlNode* avl_remove_if(AvlNode* root, AvlTest predicate, void* context, AvlCompare compare);

void avl_walk(AvlNode* root, AvlVisitor visitor, void* context);
// 0 when the visitor stopped the walk by returning 0, else 1.
int avl_walk_while(AvlNode* root, AvlTest visitor, void* context);

void* avl_find_above(AvlNode* root, const void* key, AvlCompare compare);
void* avl_find_below(AvlNode* root, const void* key, AvlCompare compare);
void* avl_find_at_or_below(AvlNode* root, const void* key, AvlCompare compare);
void* avl_find_at_or_above(AvlNode* root, const void* key, AvlCompare compare);

// Frees every node in post-order, passing each item to release first; returns null.
AvlNode* avl_free_tree(AvlNode* root, AvlRelease release, void* context);
size_t avl_node_size();
// The root kept in the first word of a tree holder; null for a null holder.
AvlNode* avl_root(const void* holder);

// Called with code 1 and its argument before a rotation that meets a missing child
// ends the program; the program ends all the same when the handler returns.
using AvlErrorHandler = int (*)(int code, void* argument);
struct AvlErrorHandling {
  AvlErrorHandler handler;
  void* argument;
};
// The process's one handler record (both null at start).
AvlErrorHandling& avl_error_handling();

AvlNode* avl_rotate_left(AvlNode* node);
AvlNode* avl_rotate_right(AvlNode* node);
void* avl_leftmost_data(AvlNode* root);
// Returns a node to the shared pool, which goes when its last node does.
void avl_free_node(AvlNode* node);
