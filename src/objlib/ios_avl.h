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
