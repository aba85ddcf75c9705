// Id tables: growable arrays of object pointers in which the object with id n sits
// at slot n - 1. A new id of a kind is always the highest id in use + 1; clearing a
// slot does not lower it, so ids are never handed out twice.
#pragma once

#include <cstdint>

struct IdTable {
  uint32_t capacity;
  uint32_t highest_id;  // one more than the highest slot index ever stored
  void** slots;
};

// An empty table; null when out of memory.
IdTable* idtab_new();
// Returns the slot array and the table to the pools; null is ignored.
void idtab_delete(IdTable* table);
// Stores the item (null clears the slot), growing the array to the smallest power of
// two above the index. 0, or -1 for a null table or when the array cannot grow.
int idtab_set(IdTable* table, uint32_t index, void* item);
// The item at a 0-based index (the object with id n sits at index n - 1); null for a
// null table or an index not below the capacity.
void* idtab_get(const IdTable* table, uint32_t index);
// The id that the next object of this kind gets.
inline uint32_t idtab_next_id(const IdTable* table) { return table->highest_id + 1; }

// ---- Searching and editing (a null table gives -1, or 0 where the result is a flag) ----

using IdtabCompare = int (*)(const void* item, const void* key);
using IdtabCallback = int (*)(void* item, void* argument);
using IdtabMap = void* (*)(void* item);
using IdtabRelease = void (*)(void* item);

// Stores the item under id highest + 1; idtab_set's result.
int idtab_append(IdTable* table, void* item);
// Calls callback(item, argument) on indices 0 .. highest - 1 (null items too) while it
// returns 1; the last result, 1 for an empty table, 0 for a null table.
int idtab_foreach(IdTable* table, IdtabCallback callback, void* argument);
// Binary search over items ordered by the comparator (negative below the key); the
// index of an item that compares 0, or -1.
int32_t idtab_bsearch(const IdTable* table, const void* key, IdtabCompare compare);
// The highest index whose item compares 0 (or equals the item); -1 when none.
int32_t idtab_find_last(const IdTable* table, const void* key, IdtabCompare compare);
int32_t idtab_find_last_item(const IdTable* table, const void* item);
// Capacity + delta (or n) item slots, the kept items copied and the rest cleared;
// highest stays. -1 when a negative delta would leave nothing, or out of memory.
int idtab_grow_capacity(IdTable* table, int32_t delta);
int idtab_set_capacity(IdTable* table, uint32_t capacity);
// The destination receives the source's non-null items (mapped when a function is
// given) at indices 0, 1, ...; its earlier items are cleared first.
int idtab_assign_compact(IdTable* destination, const IdTable* source, IdtabMap map);
// Inserts at index i (at most highest), moving the items from i up by one.
int idtab_insert_at(IdTable* table, uint32_t index, void* item);
// Removes index i (below highest), handing its item to release first when given, and
// moves the later items down; highest drops by one.
int idtab_remove_at_release(IdTable* table, uint32_t index, IdtabRelease release);
// Calls the function on items 0 .. highest - 1, then frees the table; -1 for null.
int idtab_free_each(IdTable* table, IdtabRelease release);
