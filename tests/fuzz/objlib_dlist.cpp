// Counted lists driven by a byte script of pushes, removals and cursor moves, checked
// after every step: the links agree in both directions, every node's use count is the
// number of cursors on it, dead nodes stay only while held, and the live data is the
// model's multiset.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzInput.h"
#include "objlib/ios_dlist.h"
#include "util/RunState.h"

namespace {

constexpr int kCursors = 6;

void check(bool condition) {
  if (!condition) std::abort();
}

void* item(uint8_t value) { return reinterpret_cast<void*>(uintptr_t{value} + 1); }

void verify(const DList* list, const DListCursor* cursors, std::vector<uintptr_t> model) {
  std::vector<uintptr_t> live;
  const DListNode* previous = nullptr;
  size_t steps = 0;
  for (const DListNode* node = list->head; node != nullptr; node = node->next) {
    check(++steps < 100000);
    check(node->previous == previous);
    uint32_t held = 0;
    for (int i = 0; i < kCursors; ++i) held += cursors[i].node == node ? 1 : 0;
    check(node->use_count == held);
    if (node->data != nullptr) {
      live.push_back(reinterpret_cast<uintptr_t>(node->data));
    } else {
      check(held != 0);  // a dead node is kept only for a cursor
    }
    previous = node;
  }
  check(list->tail == previous);
  check(dlist_count(list) == live.size());
  std::sort(live.begin(), live.end());
  std::sort(model.begin(), model.end());
  check(live == model);
}

int countData(void* data, void* argument) {
  ++*static_cast<size_t*>(argument);
  return data != nullptr ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScopedRun run;  // each input starts from a fresh run's pools
  Input in{data, size, 0};
  DList* list = dlist_new();
  if (list == nullptr) return 0;
  DListCursor cursors[kCursors] = {};
  for (DListCursor& cursor : cursors) cursor.list = list;
  std::vector<uintptr_t> model;
  for (int step = 0; step < 400 && !in.empty(); ++step) {
    uint8_t op = in.byte();
    uint8_t value = in.byte() % 16;
    DListCursor& cursor = cursors[(op >> 4) % kCursors];
    switch (op % 9) {
      case 0:
      case 1: {
        DListCursor* out = (op & 0x80) != 0 && cursor.node == nullptr ? &cursor : nullptr;
        check(dlist_push(list, op & 1, item(value), out) == 0);
        model.push_back(reinterpret_cast<uintptr_t>(item(value)));
        break;
      }
      case 2: {
        auto found = std::find(model.begin(), model.end(), reinterpret_cast<uintptr_t>(item(value)));
        int result = dlist_remove(list, item(value));
        if (found == model.end()) {
          check(result == -1);
        } else {
          model.erase(found);
        }
        break;
      }
      case 3:
        if (cursor.node != nullptr && cursor.node->data != nullptr) {
          auto found = std::find(model.begin(), model.end(),
                                 reinterpret_cast<uintptr_t>(cursor.node->data));
          check(found != model.end());
          model.erase(found);
        }
        dlist_cursor_remove(&cursor, op & 0x40);
        break;
      case 4:
        if (cursor.node != nullptr && cursor.node->data != nullptr) {
          check(dlist_insert_at_cursor(&cursor, op & 0x40, item(value)) == 0);
          model.push_back(reinterpret_cast<uintptr_t>(item(value)));
        }
        break;
      case 5:
        if (cursor.node != nullptr) dlist_cursor_prev(&cursor, 1);
        break;
      case 6:
        dlist_cursor_release(&cursor);
        if ((op & 0x40) != 0) {
          dlist_first(list, &cursor);
        } else {
          dlist_last(list, &cursor);
        }
        break;
      case 7: {
        DListCursor& other = cursors[value % kCursors];
        if (&other != &cursor && other.node != nullptr && cursor.node == nullptr) {
          check(dlist_cursor_copy(&cursor, &other) == list);
        }
        break;
      }
      default: {
        dlist_cursor_release(&cursor);
        dlist_find(list, item(value), [](const void* key, void* data) { return key == data ? 1 : 0; },
                   &cursor);
        size_t visited = 0;
        dlist_foreach_arg(list, countData, &visited);
        check(visited == model.size());
        break;
      }
    }
    verify(list, cursors, model);
  }
  for (DListCursor& cursor : cursors) dlist_cursor_release(&cursor);
  check(dlist_free(list) == 0);
  return 0;
}
