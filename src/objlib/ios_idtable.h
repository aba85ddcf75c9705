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
// The object with that id, or null when the id is 0, out of range or its slot empty.
void* idtab_get(const IdTable* table, uint32_t id);
// The id that the next object of this kind gets.
inline uint32_t idtab_next_id(const IdTable* table) { return table->highest_id + 1; }
