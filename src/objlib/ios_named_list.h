// Named records of a file: records with a name, a table of items and numbered groups
// of items, kept by id and in creation order. The order lives in a doubly linked list
// of reference-counted cells, so iterators can stand on a record while it is unlinked:
// an unlinked record's cell stays until its last iterator has moved on. Conventions as
// in ios_types.h; a missing record is error 5.
//
// Beside them, small storage utilities: removing from and clearing id tables, filling
// unit buffers, collecting a tree's items.
#pragma once

#include <cstdint>

#include "objlib/ios_types.h"

struct AvlNode;
struct IdTable;

struct IosNamedCell {
  uint32_t references;  // the record's own and one per iterator standing on it
  IosNamedCell* previous;
  IosNamedCell* next;
  uint32_t record_id;  // 0 once the record is unlinked
};

struct IosNamedGroup {
  IosHandle name;  // object id 0 = unset
  IdTable* items;
};

struct IosNamedRecord {
  IosHandle handle;  // {file id, record id}
  IosHandle name;    // object id 0 = unset
  uint32_t word;
  IdTable* items;
  IdTable* groups;  // IosNamedGroup, group g at id g
};

struct IosNamedEntry {
  IosNamedRecord* record;
  IosNamedCell* cell;  // null once unlinked
};

struct IosNamedListAdmin {
  IdTable* entries;  // IosNamedEntry, record n at id n
  IosNamedCell* first;
  IosNamedCell* last;
};

// A cursor stands on one cell and holds one reference of it; null at the end.
struct IosNamedCursor {
  IosNamedCell* cell;
};

struct IosNamedIterator {
  uint32_t file_id;
  IosNamedCursor* cursor;
};

IosNamedListAdmin* ios_named_list_admin_new();
// Frees records, groups, entries and cells; iterators must be freed before. Null is
// ignored.
void ios_named_list_admin_free(IosNamedListAdmin* admin);

// A new record (id = highest + 1) at the end of the list; out: {file id, record id}.
int ios_named_record_create(uint32_t file_id, IosHandle* record, IosErrorCode* error);
// 5 when the id names no record.
int ios_get_named_record(IosHandle record, IosNamedRecord** found, IosErrorCode* error);
int ios_named_entry_find(IdTable* entries, uint32_t record_id, IosNamedEntry** entry,
                         IosErrorCode* error);
// As ios_named_entry_find, answering the entry's record.
int ios_named_entry_lookup(IdTable* entries, uint32_t record_id, IosNamedRecord** record,
                           IosErrorCode* error);

// The name is set once (6 when set, 37 for a string id below 1); the getter gives -1
// with 2 while unset.
int ios_named_record_get_name(IosHandle record, IosHandle* name, IosErrorCode* error);
int ios_named_record_set_name(IosHandle record, IosHandle name, IosErrorCode* error);
int ios_named_record_add_item(IosHandle record, void* item, IosErrorCode* error);
// Item n (0-based); null past the end.
void* ios_named_record_item_at(IosHandle record, uint32_t index);
// A new unnamed group; out: its number (from 1).
int ios_named_record_add_group(IosHandle record, uint32_t* group, IosErrorCode* error);
// Groups by number: 2 for a number below 1 or past the last group.
int ios_named_group_get_name(IosHandle record, uint32_t group, IosHandle* name,
                             IosErrorCode* error);
int ios_named_group_set_name(IosHandle record, uint32_t group, IosHandle name,
                             IosErrorCode* error);
int ios_named_group_add_item(IosHandle record, uint32_t group, void* item, IosErrorCode* error);
int ios_named_group_item_count(IosHandle record, uint32_t group, uint32_t* count,
                               IosErrorCode* error);
int ios_named_group_item_at(IosHandle record, uint32_t group, uint32_t index, void** item,
                            IosErrorCode* error);

// A new cursor on the first linked record; null for a list without linked records,
// when out of memory, or with hook event 1 for a null list.
IosNamedCursor* ios_named_list_first(IosNamedListAdmin* admin);
// The record id under the cursor (0 at the end); the cursor then moves on to the
// next linked record. A record unlinked while the cursor stood on it is passed over.
// Hook event 1 and 0 for a null list or cursor.
uint32_t ios_named_list_advance(IosNamedListAdmin* admin, IosNamedCursor* cursor);
// Drops the cursor's reference and frees it; null is ignored.
void ios_cursor_free(IosNamedListAdmin* admin, IosNamedCursor* cursor);

// An iterator on the first linked record (without a cursor over an empty list, so that
// it answers 0 at once); null with 0 out of memory.
int ios_named_list_iterator_new(uint32_t file_id, IosNamedIterator** iterator,
                                IosErrorCode* error);
// out: {file id, the current record id, 0 at the end}; then moves to the next linked
// record.
int ios_named_list_iterator_next(IosNamedIterator* iterator, IosHandle* record,
                                 IosErrorCode* error);
void ios_named_list_iterator_free(IosNamedIterator* iterator);
// Takes the record out of the order; its id still finds it. 5 when absent; hook
// event 5 when it is unlinked already.
int ios_named_record_unlink(IosHandle record, IosErrorCode* error);

// ---- Utilities ----

int ios_next_id(uint32_t value, uint32_t* next);
// Removes item i (below the highest id): later items move down, the last slot
// clears; -1 for a null table or a bad index.
int idtab_remove_at(IdTable* table, uint32_t index);
// Frees the item array and the table; -1 for null, else 0.
int idtab_free(IdTable* table);
// Every item 0 and the highest id 0; nothing for null.
void idtab_clear(IdTable* table);
// count units from unit index of a buffer of units of the width (1, 2, 4 or 8 bytes)
// take the value, truncated to the unit; widths above 64 fill nothing.
void ios_mau_fill(void* buffer, uint32_t mau_size, uint32_t index, uint32_t count,
                  uint32_t value);
// The value, or -1 when it is the unset marker.
int ios_value_unless(uint32_t value, uint32_t unset, uint32_t* out);
// Appends every item of the tree to the table, in order.
int ios_tree_collect(AvlNode* root, IdTable* table);
// A record's list of record ids: its entry count, and appending the record id
// (third word) of a handle. 1 for a record without a list; 1 with code 0 when
// the list cannot grow.
int ios_record_list_count(const IdTable* list, uint32_t* count);
int ios_record_list_append_id(IdTable* list, const uint32_t handle[3], IosErrorCode* error);
