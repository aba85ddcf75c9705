// The store's ordered tree map: the process's AVL tree (util/avl.h) plus the few
// operations the store's record sets need on top of it (exact find, largest
// element, counting, and a holder that keeps its ordering with the root).
#pragma once

#include <cstdint>

#include "util/avl.h"

// The data of the element equal to the searched one, or null.
void* avl_find(const AvlNode* root, const void* searched, AvlCompare compare);
// Data of the largest element; null for an empty tree.
void* avl_max_data(const AvlNode* root);
// Visits every element in ascending order.
void ios_tree_walk(AvlNode* root, AvlVisitor visit, void* context);
// Number of nodes.
uint32_t tree_count_nodes(const AvlNode* root);

// avl_insert and avl_delete for callers that need not know whether an element was
// added or found: the new root.
AvlNode* avl_insert_with(AvlNode* root, void* data, AvlCompare compare);
AvlNode* avl_delete_with(AvlNode* root, const void* data, AvlCompare compare);

// A tree with the ordering it is kept in.
struct AvlMap {
  AvlNode* root;
  AvlCompare compare;
};
// Insert the item with the map's ordering / remove the element equal to it,
// handing its data to release (may be null); the map keeps the new root. The
// result is the inserted or found flag.
int avl_map_insert(AvlMap* map, void* item);
int avl_map_remove(AvlMap* map, const void* item, AvlRelease release, void* context);

// ---- Walks for the library's clients ----

using TreeCallback = int (*)(void* data);
using TreeCallbackArg = int (*)(void* data, void* argument);
using TreeVisit = void (*)(void* data);
using TreeVisitArg = void (*)(void* data, void* argument);
// Orders a bound's key against data: negative when the key lies below the data.
using TreeKeyCompare = int (*)(const void* key, const void* data);

// Walks that stop when the callback returns 0, and then return 0; otherwise 1.
int tree_walk(AvlNode* root, TreeCallback callback);
int tree_walk_arg(AvlNode* root, TreeCallbackArg callback, void* argument);
int tree_walk_desc(AvlNode* root, TreeCallback callback);
int tree_walk_desc_arg(AvlNode* root, TreeCallbackArg callback, void* argument);
// Descending visits that do not stop.
void tree_visit_desc(AvlNode* root, TreeVisit visit);
void tree_visit_desc_arg(AvlNode* root, TreeVisitArg visit, void* argument);

// Bound modes of tree_walk_range.
enum TreeBoundMode : int {
  TREE_BOUND_NONE = 0,
  TREE_BOUND_EXCLUSIVE = 2,  // any other non-zero value includes the key
};
// Gives every data between the bounds to the callback once, ascending (descending
// when the flag is set); stops when the callback returns 0.
int tree_walk_range(AvlNode* root, int lower_mode, const void* lower_key, int upper_mode,
                    const void* upper_key, int descending, TreeKeyCompare compare,
                    TreeCallbackArg callback, void* argument);
// Inserts every data of the source into the destination; the destination's root.
AvlNode* tree_merge_into(AvlNode* destination, AvlNode* source, AvlCompare compare);
