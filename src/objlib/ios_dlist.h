// Doubly linked lists with counted cursors. A cursor {list, node} counts one use of
// its node; removing data whose node a cursor still holds only clears the node's
// data ("dead" node), and the node stays linked until no cursor holds it, so a walk
// that holds a cursor survives removals around it. Misuse is reported through the
// event hook (1 bad argument, 2 no memory, 4 list freed while held, 5 dead node).
#pragma once

#include <cstdint>

struct DListNode {
  uint32_t use_count;
  DListNode* previous;
  DListNode* next;
  void* data;  // null: dead
};

struct DList {
  DListNode* head;
  DListNode* tail;
};

struct DListCursor {
  DList* list;
  DListNode* node;
};

using DListPredicate = int (*)(const void* key, void* data);
using DListCallback = int (*)(void* data);
using DListCallbackArg = int (*)(void* data, void* argument);

// An empty list header from the pools; null when out of memory.
DList* dlist_new();
// Every node and then the header go back; a node still held stops it (event 4, -1).
int dlist_free(DList* list);

int dlist_push(DList* list, int at_tail, void* data, DListCursor* cursor);
int dlist_insert_at_cursor(DListCursor* cursor, int after, void* data);
int dlist_remove(DList* list, void* data);
int dlist_cursor_remove(DListCursor* cursor, int backwards);
void* dlist_find(DList* list, const void* key, DListPredicate predicate, DListCursor* cursor);
int dlist_contains(DList* list, const void* data);
void* dlist_first(DList* list, DListCursor* cursor);
void* dlist_last(DList* list, DListCursor* cursor);
void* dlist_cursor_get(const DListCursor* cursor);
void* dlist_cursor_prev(DListCursor* cursor, int move);
DList* dlist_cursor_copy(DListCursor* destination, const DListCursor* source);
int dlist_cursor_valid(const DListCursor* cursor);
// Drops the cursor's use of its node without touching the data; an unheld dead node
// goes. The cursor is left empty.
void dlist_cursor_release(DListCursor* cursor);
uint32_t dlist_count(const DList* list);
int dlist_foreach(DList* list, DListCallback callback);
int dlist_foreach_arg(DList* list, DListCallbackArg callback, void* argument);
