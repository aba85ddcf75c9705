#include "objlib/ios_named_list.h"

#include <cstdlib>
#include <cstring>

#include "objlib/ios_admin.h"
#include "objlib/ios_avl.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_idtable.h"

namespace {

template <typename T>
T* makeZeroed() {
  return static_cast<T*>(std::calloc(1, sizeof(T)));
}

IosNamedListAdmin* listOf(uint32_t file_id, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(file_id, &file, error) != 0) return nullptr;
  if (file->named_lists == nullptr) {
    file->named_lists = ios_named_list_admin_new();
    if (file->named_lists == nullptr) ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  return file->named_lists;
}

// Drops one reference; a cell without references whose record is unlinked leaves the
// list.
void releaseCell(IosNamedListAdmin* admin, IosNamedCell* cell) {
  if (cell == nullptr) return;
  if (cell->references > 0) --cell->references;
  if (cell->references != 0 || cell->record_id != 0) return;
  if (cell->previous != nullptr) cell->previous->next = cell->next;
  else admin->first = cell->next;
  if (cell->next != nullptr) cell->next->previous = cell->previous;
  else admin->last = cell->previous;
  std::free(cell);
}

// The first cell from this one on whose record is linked.
IosNamedCell* linkedFrom(IosNamedCell* cell) {
  while (cell != nullptr && cell->record_id == 0) cell = cell->next;
  return cell;
}

// Moves a cursor's reference to another cell.
void standOn(IosNamedListAdmin* admin, IosNamedCursor* cursor, IosNamedCell* cell) {
  if (cell != nullptr) ++cell->references;
  IosNamedCell* old = cursor->cell;
  cursor->cell = cell;
  releaseCell(admin, old);
}

int groupOf(IosHandle record, uint32_t group, IosNamedGroup** found, IosErrorCode* error) {
  IosNamedRecord* named = nullptr;
  if (ios_get_named_record(record, &named, error) != 0) return 1;
  auto* made = static_cast<IosNamedGroup*>(idtab_get(named->groups, group - 1));
  if (made == nullptr) return ios_fail(error, IOS_ERR_NO_PROPERTY);
  *found = made;
  return 0;
}

void appendTo(void* item, void* table) { idtab_append(static_cast<IdTable*>(table), item); }

}  // namespace

IosNamedListAdmin* ios_named_list_admin_new() {
  auto* admin = makeZeroed<IosNamedListAdmin>();
  if (admin == nullptr) return nullptr;
  admin->entries = idtab_new();
  if (admin->entries == nullptr) {
    std::free(admin);
    return nullptr;
  }
  return admin;
}

void ios_named_list_admin_free(IosNamedListAdmin* admin) {
  if (admin == nullptr) return;
  for (uint32_t id = 1; id <= admin->entries->highest_id; ++id) {
    auto* entry = static_cast<IosNamedEntry*>(idtab_get(admin->entries, id - 1));
    if (entry == nullptr) continue;
    if (entry->record != nullptr) {
      IdTable* groups = entry->record->groups;
      for (uint32_t group = 1; groups != nullptr && group <= groups->highest_id; ++group) {
        auto* made = static_cast<IosNamedGroup*>(idtab_get(groups, group - 1));
        if (made == nullptr) continue;
        idtab_delete(made->items);
        std::free(made);
      }
      idtab_delete(groups);
      idtab_delete(entry->record->items);
      std::free(entry->record);
    }
    std::free(entry);
  }
  idtab_delete(admin->entries);
  for (IosNamedCell* cell = admin->first; cell != nullptr;) {
    IosNamedCell* next = cell->next;
    std::free(cell);
    cell = next;
  }
  std::free(admin);
}

int ios_named_record_create(uint32_t file_id, IosHandle* record, IosErrorCode* error) {
  IosNamedListAdmin* admin = listOf(file_id, error);
  if (admin == nullptr) return 1;
  uint32_t id = idtab_next_id(admin->entries);
  auto* entry = makeZeroed<IosNamedEntry>();
  auto* named = makeZeroed<IosNamedRecord>();
  IdTable* items = idtab_new();
  IdTable* groups = idtab_new();
  if (entry == nullptr || named == nullptr || items == nullptr || groups == nullptr ||
      idtab_set(admin->entries, id - 1, entry) != 0) {
    std::free(entry);
    std::free(named);
    idtab_delete(items);
    idtab_delete(groups);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  named->handle = IosHandle{file_id, id};
  named->items = items;
  named->groups = groups;
  entry->record = named;
  auto* cell = makeZeroed<IosNamedCell>();
  if (cell == nullptr) {
    // The record stays reachable by its id, outside the order.
    mmi_hook_event2();
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  *cell = IosNamedCell{1, admin->last, nullptr, id};
  if (admin->last != nullptr) admin->last->next = cell;
  else admin->first = cell;
  admin->last = cell;
  entry->cell = cell;
  if (record != nullptr) *record = named->handle;
  return 0;
}

int ios_named_entry_find(IdTable* entries, uint32_t record_id, IosNamedEntry** entry,
                         IosErrorCode* error) {
  auto* found = static_cast<IosNamedEntry*>(idtab_get(entries, record_id - 1));
  if (found == nullptr || found->record == nullptr) return ios_fail(error, IOS_ERR_NO_FILE);
  if (entry != nullptr) *entry = found;
  return 0;
}

int ios_named_entry_lookup(IdTable* entries, uint32_t record_id, IosNamedRecord** record,
                           IosErrorCode* error) {
  IosNamedEntry* entry = nullptr;
  if (ios_named_entry_find(entries, record_id, &entry, error) != 0) return 1;
  if (record != nullptr) *record = entry->record;
  return 0;
}

int ios_get_named_record(IosHandle record, IosNamedRecord** found, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(record.file_id, &file, error) != 0) return 1;
  // A file that never had a named record has none to give.
  if (file->named_lists == nullptr) return ios_fail(error, IOS_ERR_NO_FILE);
  IosNamedEntry* entry = nullptr;
  if (ios_named_entry_find(file->named_lists->entries, record.object_id, &entry, error) != 0)
    return 1;
  if (found != nullptr) *found = entry->record;
  return 0;
}

int ios_named_record_get_name(IosHandle record, IosHandle* name, IosErrorCode* error) {
  IosNamedRecord* named = nullptr;
  if (ios_get_named_record(record, &named, error) != 0) return 1;
  if (named->name.object_id < 1) return ios_unset(error);
  if (name != nullptr) *name = named->name;
  return 0;
}

int ios_named_record_set_name(IosHandle record, IosHandle name, IosErrorCode* error) {
  IosNamedRecord* named = nullptr;
  if (ios_get_named_record(record, &named, error) != 0) return 1;
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if (named->name.object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  named->name = name;
  return 0;
}

int ios_named_record_add_item(IosHandle record, void* item, IosErrorCode* error) {
  IosNamedRecord* named = nullptr;
  if (ios_get_named_record(record, &named, error) != 0) return 1;
  if (idtab_append(named->items, item) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  return 0;
}

void* ios_named_record_item_at(IosHandle record, uint32_t index) {
  IosNamedRecord* named = nullptr;
  if (ios_get_named_record(record, &named, nullptr) != 0) return nullptr;
  return idtab_get(named->items, index);
}

int ios_named_record_add_group(IosHandle record, uint32_t* group, IosErrorCode* error) {
  IosNamedRecord* named = nullptr;
  if (ios_get_named_record(record, &named, error) != 0) return 1;
  auto* made = makeZeroed<IosNamedGroup>();
  if (made == nullptr || (made->items = idtab_new()) == nullptr ||
      idtab_append(named->groups, made) != 0) {
    if (made != nullptr) idtab_delete(made->items);
    std::free(made);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  if (group != nullptr) *group = named->groups->highest_id;
  return 0;
}

int ios_named_group_get_name(IosHandle record, uint32_t group, IosHandle* name,
                             IosErrorCode* error) {
  IosNamedGroup* found = nullptr;
  if (groupOf(record, group, &found, error) != 0) return 1;
  if (found->name.object_id < 1) return ios_unset(error);
  if (name != nullptr) *name = found->name;
  return 0;
}

int ios_named_group_set_name(IosHandle record, uint32_t group, IosHandle name,
                             IosErrorCode* error) {
  IosNamedGroup* found = nullptr;
  if (groupOf(record, group, &found, error) != 0) return 1;
  if (name.object_id < 1) return ios_fail(error, IOS_ERR_NO_STRING);
  if (found->name.object_id >= 1) return ios_fail(error, IOS_ERR_VALUE_EXISTS);
  found->name = name;
  return 0;
}

int ios_named_group_add_item(IosHandle record, uint32_t group, void* item, IosErrorCode* error) {
  IosNamedGroup* found = nullptr;
  if (groupOf(record, group, &found, error) != 0) return 1;
  if (idtab_append(found->items, item) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  return 0;
}

int ios_named_group_item_count(IosHandle record, uint32_t group, uint32_t* count,
                               IosErrorCode* error) {
  IosNamedGroup* found = nullptr;
  if (groupOf(record, group, &found, error) != 0) return 1;
  if (count != nullptr) *count = found->items->highest_id;
  return 0;
}

int ios_named_group_item_at(IosHandle record, uint32_t group, uint32_t index, void** item,
                            IosErrorCode* error) {
  IosNamedGroup* found = nullptr;
  if (groupOf(record, group, &found, error) != 0) return 1;
  if (item != nullptr) *item = idtab_get(found->items, index);
  return 0;
}

IosNamedCursor* ios_named_list_first(IosNamedListAdmin* admin) {
  if (admin == nullptr) {
    mmi_hook_event1();
    return nullptr;
  }
  // An empty list has no cursor: the walk is at its end before it starts.
  IosNamedCell* first = linkedFrom(admin->first);
  if (first == nullptr) return nullptr;
  auto* cursor = makeZeroed<IosNamedCursor>();
  if (cursor != nullptr) standOn(admin, cursor, first);
  return cursor;
}

uint32_t ios_named_list_advance(IosNamedListAdmin* admin, IosNamedCursor* cursor) {
  if (admin == nullptr || cursor == nullptr) {
    mmi_hook_event1();
    return 0;
  }
  // The record under the cursor may have been unlinked since the last step.
  standOn(admin, cursor, linkedFrom(cursor->cell));
  if (cursor->cell == nullptr) return 0;
  uint32_t id = cursor->cell->record_id;
  standOn(admin, cursor, linkedFrom(cursor->cell->next));
  return id;
}

void ios_cursor_free(IosNamedListAdmin* admin, IosNamedCursor* cursor) {
  if (cursor == nullptr) return;
  if (admin != nullptr) releaseCell(admin, cursor->cell);
  std::free(cursor);
}

int ios_named_list_iterator_new(uint32_t file_id, IosNamedIterator** iterator,
                                IosErrorCode* error) {
  IosNamedListAdmin* admin = listOf(file_id, error);
  if (admin == nullptr) return 1;
  auto* made = makeZeroed<IosNamedIterator>();
  IosNamedCursor* cursor = made != nullptr ? ios_named_list_first(admin) : nullptr;
  // Over an empty list the iterator has no cursor; otherwise a missing one is memory.
  if (made == nullptr || (cursor == nullptr && linkedFrom(admin->first) != nullptr)) {
    std::free(made);
    return ios_fail(error, IOS_ERR_NO_MEMORY);
  }
  made->file_id = file_id;
  made->cursor = cursor;
  if (iterator != nullptr) *iterator = made;
  else ios_named_list_iterator_free(made);
  return 0;
}

int ios_named_list_iterator_next(IosNamedIterator* iterator, IosHandle* record,
                                 IosErrorCode* error) {
  if (iterator == nullptr) {
    mmi_hook_event1();
    return ios_fail(error, IOS_ERR_INTERNAL);
  }
  IosNamedListAdmin* admin = listOf(iterator->file_id, error);
  if (admin == nullptr) return 1;
  // An iterator made over an empty list stays at the end.
  uint32_t id = iterator->cursor != nullptr ? ios_named_list_advance(admin, iterator->cursor) : 0;
  if (record != nullptr) *record = IosHandle{iterator->file_id, id};
  return 0;
}

void ios_named_list_iterator_free(IosNamedIterator* iterator) {
  if (iterator == nullptr) return;
  IosFile* file = nullptr;
  // A file already freed took its cells with it; only the cursor is left to free.
  IosNamedListAdmin* admin = ios_get_file(iterator->file_id, &file, nullptr) == 0
                                 ? file->named_lists
                                 : nullptr;
  ios_cursor_free(admin, iterator->cursor);
  std::free(iterator);
}

int ios_named_record_unlink(IosHandle record, IosErrorCode* error) {
  IosFile* file = nullptr;
  if (ios_get_file(record.file_id, &file, error) != 0) return 1;
  if (file->named_lists == nullptr) return ios_fail(error, IOS_ERR_NO_FILE);
  IosNamedEntry* entry = nullptr;
  if (ios_named_entry_find(file->named_lists->entries, record.object_id, &entry, error) != 0)
    return 1;
  IosNamedCell* cell = entry->cell;
  if (cell == nullptr) {
    mmi_hook_event5();
    return 0;
  }
  cell->record_id = 0;
  entry->cell = nullptr;
  releaseCell(file->named_lists, cell);
  return 0;
}

int ios_next_id(uint32_t value, uint32_t* next) {
  if (next != nullptr) *next = value + 1;
  return 0;
}

int idtab_remove_at(IdTable* table, uint32_t index) {
  return idtab_remove_at_release(table, index, nullptr);
}

int idtab_free(IdTable* table) {
  if (table == nullptr) return -1;
  idtab_delete(table);
  return 0;
}

void idtab_clear(IdTable* table) {
  if (table == nullptr) return;
  if (table->slots != nullptr) std::memset(table->slots, 0, size_t{table->capacity} * sizeof(void*));
  table->highest_id = 0;
}

void ios_mau_fill(void* buffer, uint32_t mau_size, uint32_t index, uint32_t count,
                  uint32_t value) {
  if (buffer == nullptr || mau_size > 64) return;
  for (uint32_t unit = index; unit < index + count; ++unit) {
    if (mau_size <= 8) static_cast<uint8_t*>(buffer)[unit] = static_cast<uint8_t>(value);
    else if (mau_size <= 16) static_cast<uint16_t*>(buffer)[unit] = static_cast<uint16_t>(value);
    else if (mau_size <= 32) static_cast<uint32_t*>(buffer)[unit] = value;
    else static_cast<uint64_t*>(buffer)[unit] = value;
  }
}

int ios_value_unless(uint32_t value, uint32_t unset, uint32_t* out) {
  if (value == unset) return -1;
  if (out != nullptr) *out = value;
  return 0;
}

int ios_tree_collect(AvlNode* root, IdTable* table) {
  if (table == nullptr) return 1;
  ios_tree_walk(root, appendTo, table);
  return 0;
}

int ios_record_list_count(const IdTable* list, uint32_t* count) {
  if (list == nullptr) return 1;
  if (count != nullptr) *count = list->highest_id;
  return 0;
}

int ios_record_list_append_id(IdTable* list, const uint32_t handle[3], IosErrorCode* error) {
  if (list == nullptr || handle == nullptr) return 1;
  // Ids sit in the table as values; 0 never occurs since ids start at 1.
  void* item = reinterpret_cast<void*>(static_cast<uintptr_t>(handle[2]));
  if (idtab_append(list, item) != 0) return ios_fail(error, IOS_ERR_NO_MEMORY);
  return 0;
}
