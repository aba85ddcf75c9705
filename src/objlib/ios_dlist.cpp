#include "objlib/ios_dlist.h"

#include "objlib/ios_hook.h"
#include "objlib/ios_pool.h"

namespace {

DListNode* newNode(void* data) {
  auto* node = static_cast<DListNode*>(pool_alloc(sizeof(DListNode)));
  if (node == nullptr) {
    mmi_hook_event2();
    return nullptr;
  }
  node->data = data;
  return node;
}

void unlink(DList* list, DListNode* node) {
  if (node->previous != nullptr) {
    node->previous->next = node->next;
  } else {
    list->head = node->next;
  }
  if (node->next != nullptr) {
    node->next->previous = node->previous;
  } else {
    list->tail = node->previous;
  }
  pool_free(node, sizeof(DListNode));
}

void linkBefore(DList* list, DListNode* position, DListNode* node) {
  node->next = position;
  node->previous = position != nullptr ? position->previous : list->tail;
  if (node->previous != nullptr) {
    node->previous->next = node;
  } else {
    list->head = node;
  }
  if (position != nullptr) {
    position->previous = node;
  } else {
    list->tail = node;
  }
}

DListNode* liveFrom(DListNode* node, bool backwards) {
  while (node != nullptr && node->data == nullptr) node = backwards ? node->previous : node->next;
  return node;
}

bool linkedIn(const DList* list, const DListNode* node) {
  for (const DListNode* walk = list->head; walk != nullptr; walk = walk->next) {
    if (walk == node) return true;
  }
  return false;
}

void* withCursor(DList* list, DListNode* node, DListCursor* cursor) {
  if (node == nullptr) return nullptr;
  if (cursor != nullptr) {
    ++node->use_count;
    *cursor = DListCursor{list, node};
  }
  return node->data;
}

// The walk holds a use of the node it is on, so a callback may remove its own data
// (or any other) without pulling the node from under the walk.
template <typename Visit>
int walk(DList* list, Visit visit) {
  DListNode* node = list->head;
  while (node != nullptr) {
    int result = 1;
    if (node->data != nullptr) {
      ++node->use_count;
      result = visit(node->data);
      --node->use_count;
    }
    DListNode* next = node->next;
    if (node->use_count == 0 && node->data == nullptr) unlink(list, node);
    if (result == 0) return 0;
    node = next;
  }
  return 1;
}

}  // namespace

DList* dlist_new() {
  auto* list = static_cast<DList*>(pool_alloc(sizeof(DList)));
  if (list == nullptr) mmi_hook_event2();
  return list;
}

int dlist_free(DList* list) {
  if (list == nullptr) {
    mmi_hook_event1();
    return -1;
  }
  while (list->head != nullptr) {
    DListNode* node = list->head;
    if (node->use_count != 0) {
      mmi_hook_event4();
      return -1;
    }
    list->head = node->next;
    if (list->head != nullptr) list->head->previous = nullptr;
    pool_free(node, sizeof(DListNode));
  }
  pool_free(list, sizeof(DList));
  return 0;
}

int dlist_push(DList* list, int at_tail, void* data, DListCursor* cursor) {
  if (list == nullptr || data == nullptr) {
    mmi_hook_event1();
    return -1;
  }
  DListNode* node = newNode(data);
  if (node == nullptr) return -1;
  linkBefore(list, at_tail != 0 ? nullptr : list->head, node);
  withCursor(list, node, cursor);
  return 0;
}

int dlist_insert_at_cursor(DListCursor* cursor, int after, void* data) {
  if (cursor == nullptr || cursor->list == nullptr || data == nullptr) {
    mmi_hook_event1();
    return -1;
  }
  DListNode* position = cursor->node;
  if (position == nullptr) return -1;
  if (position->data == nullptr) {
    mmi_hook_event5();
    return -1;
  }
  DListNode* node = newNode(data);
  if (node == nullptr) return -1;
  linkBefore(cursor->list, after != 0 ? position->next : position, node);
  return 0;
}

int dlist_remove(DList* list, void* data) {
  if (list == nullptr || data == nullptr) {
    mmi_hook_event1();
    return -1;
  }
  for (DListNode* node = list->head; node != nullptr; node = node->next) {
    if (node->data != data) continue;
    node->data = nullptr;
    if (node->use_count != 0) return -1;
    unlink(list, node);
    return 0;
  }
  return -1;
}

int dlist_cursor_remove(DListCursor* cursor, int backwards) {
  if (cursor == nullptr || cursor->list == nullptr) {
    mmi_hook_event1();
    return -1;
  }
  DListNode* node = cursor->node;
  if (node == nullptr) return -1;
  if (node->data == nullptr) {
    mmi_hook_event5();
    return -1;
  }
  if (node->use_count > 0) --node->use_count;
  node->data = nullptr;
  cursor->node = nullptr;
  if (node->use_count != 0) return -1;
  DListNode* neighbour = liveFrom(backwards != 0 ? node->previous : node->next, backwards != 0);
  if (neighbour != nullptr) {
    ++neighbour->use_count;
    cursor->node = neighbour;
  }
  unlink(cursor->list, node);
  return 0;
}

void* dlist_find(DList* list, const void* key, DListPredicate predicate, DListCursor* cursor) {
  if (list == nullptr || predicate == nullptr) {
    mmi_hook_event1();
    return nullptr;
  }
  for (DListNode* node = list->head; node != nullptr; node = node->next) {
    if (node->data != nullptr && predicate(key, node->data) == 1) {
      return withCursor(list, node, cursor);
    }
  }
  return nullptr;
}

int dlist_contains(DList* list, const void* data) {
  if (list == nullptr || data == nullptr) {
    mmi_hook_event1();
    return 0;
  }
  for (DListNode* node = list->head; node != nullptr; node = node->next) {
    if (node->data == data) return 1;
  }
  return 0;
}

void* dlist_first(DList* list, DListCursor* cursor) {
  if (list == nullptr) {
    mmi_hook_event1();
    return nullptr;
  }
  return withCursor(list, liveFrom(list->head, false), cursor);
}

void* dlist_last(DList* list, DListCursor* cursor) {
  if (list == nullptr) {
    mmi_hook_event1();
    return nullptr;
  }
  return withCursor(list, liveFrom(list->tail, true), cursor);
}

void* dlist_cursor_get(const DListCursor* cursor) {
  if (cursor == nullptr || cursor->node == nullptr) {
    mmi_hook_event1();
    return nullptr;
  }
  if (cursor->node->data == nullptr) {
    mmi_hook_event5();
    return nullptr;
  }
  return cursor->node->data;
}

void* dlist_cursor_prev(DListCursor* cursor, int move) {
  if (cursor == nullptr || cursor->list == nullptr || cursor->node == nullptr) {
    mmi_hook_event1();
    return nullptr;
  }
  DListNode* before = liveFrom(cursor->node->previous, true);
  if (before == nullptr) return nullptr;
  if (move == 1) {
    DListNode* left = cursor->node;
    ++before->use_count;
    cursor->node = before;
    if (left->use_count > 0) --left->use_count;
    if (left->use_count == 0 && left->data == nullptr) unlink(cursor->list, left);
  }
  return before->data;
}

DList* dlist_cursor_copy(DListCursor* destination, const DListCursor* source) {
  if (destination == nullptr || source == nullptr || source->list == nullptr ||
      source->node == nullptr) {
    mmi_hook_event1();
    return nullptr;
  }
  *destination = *source;
  ++source->node->use_count;
  return source->list;
}

int dlist_cursor_valid(const DListCursor* cursor) {
  if (cursor == nullptr || cursor->list == nullptr || cursor->node == nullptr) return 0;
  const DListNode* node = cursor->node;
  if (node->data == nullptr || node->use_count == 0) return 0;
  return linkedIn(cursor->list, node) ? 1 : 0;
}

void dlist_cursor_release(DListCursor* cursor) {
  if (cursor == nullptr || cursor->list == nullptr || cursor->node == nullptr) return;
  DListNode* node = cursor->node;
  if (node->use_count > 0) --node->use_count;
  if (node->use_count == 0 && node->data == nullptr) unlink(cursor->list, node);
  cursor->node = nullptr;
}

uint32_t dlist_count(const DList* list) {
  if (list == nullptr) {
    mmi_hook_event1();
    return 0;
  }
  uint32_t count = 0;
  for (const DListNode* node = list->head; node != nullptr; node = node->next) {
    if (node->data != nullptr) ++count;
  }
  return count;
}

int dlist_foreach(DList* list, DListCallback callback) {
  if (list == nullptr || callback == nullptr) {
    mmi_hook_event1();
    return 0;
  }
  return walk(list, [&](void* data) { return callback(data); });
}

int dlist_foreach_arg(DList* list, DListCallbackArg callback, void* argument) {
  if (list == nullptr || callback == nullptr) {
    mmi_hook_event1();
    return 0;
  }
  return walk(list, [&](void* data) { return callback(data, argument); });
}
