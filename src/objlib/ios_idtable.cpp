#include "objlib/ios_idtable.h"

#include <cstring>

#include "objlib/ios_pool.h"
#include "objlib/objlib_state.h"

namespace {
// Past this index the next power of two no longer fits the 32-bit capacity.
constexpr uint32_t LARGEST_INDEX = 0x7FFFFFFFu;
}  // namespace

IdTable* idtab_new() { return static_cast<IdTable*>(pool_alloc(sizeof(IdTable))); }

void idtab_delete(IdTable* table) {
  if (table == nullptr) return;
  pool_free(table->slots, size_t{table->capacity} * sizeof(void*));
  pool_free(table, sizeof(IdTable));
}

int idtab_set(IdTable* table, uint32_t index, void* item) {
  if (table == nullptr) return -1;
  if (index >= table->capacity) {
    if (index > LARGEST_INDEX) return -1;
    uint32_t capacity = 1;
    while (capacity <= index) capacity <<= 1;
    auto** slots = static_cast<void**>(pool_alloc(size_t{capacity} * sizeof(void*)));
    if (slots == nullptr) return -1;
    if (table->capacity != 0) {
      std::memcpy(slots, table->slots, size_t{table->capacity} * sizeof(void*));
      objlib_state().moved_items += table->capacity;
    }
    pool_free(table->slots, size_t{table->capacity} * sizeof(void*));
    table->slots = slots;
    table->capacity = capacity;
  }
  table->slots[index] = item;
  if (index + 1 > table->highest_id) table->highest_id = index + 1;
  return 0;
}

void* idtab_get(const IdTable* table, uint32_t index) {
  if (table == nullptr || index >= table->capacity) return nullptr;
  return table->slots[index];
}

int idtab_append(IdTable* table, void* item) {
  if (table == nullptr) return -1;
  return idtab_set(table, table->highest_id, item);
}

int idtab_foreach(IdTable* table, IdtabCallback callback, void* argument) {
  if (table == nullptr || callback == nullptr) return 0;
  int result = 1;
  for (uint32_t index = 0; index < table->highest_id && index < table->capacity; ++index) {
    result = callback(table->slots[index], argument);
    if (result != 1) break;
  }
  return result;
}

int32_t idtab_bsearch(const IdTable* table, const void* key, IdtabCompare compare) {
  if (table == nullptr || compare == nullptr || table->highest_id < 1) return -1;
  if (table->highest_id > table->capacity || table->highest_id > 0x7FFFFFFFu) return -1;
  void** items = table->slots;
  if (compare(items[0], key) > 0) return -1;
  int64_t lo = 0;
  int64_t hi = table->highest_id;
  while (hi - lo > 2) {
    int64_t mid = (lo + hi) >> 1;
    if (compare(items[mid], key) <= 0) {
      lo = mid;
    } else {
      hi = mid + 1;
    }
  }
  if (hi - lo == 2 && compare(items[lo + 1], key) <= 0) ++lo;
  return compare(items[lo], key) == 0 ? static_cast<int32_t>(lo) : -1;
}

int32_t idtab_find_last(const IdTable* table, const void* key, IdtabCompare compare) {
  if (table == nullptr || compare == nullptr) return -1;
  uint32_t end = table->highest_id < table->capacity ? table->highest_id : table->capacity;
  for (uint32_t index = end; index-- > 0;) {
    if (compare(table->slots[index], key) == 0) return static_cast<int32_t>(index);
  }
  return -1;
}

int32_t idtab_find_last_item(const IdTable* table, const void* item) {
  if (table == nullptr) return -1;
  uint32_t end = table->highest_id < table->capacity ? table->highest_id : table->capacity;
  for (uint32_t index = end; index-- > 0;) {
    if (table->slots[index] == item) return static_cast<int32_t>(index);
  }
  return -1;
}

int idtab_set_capacity(IdTable* table, uint32_t capacity) {
  if (table == nullptr) return -1;
  if (capacity == table->capacity) return 0;
  void** slots = nullptr;
  if (capacity != 0) {
    slots = static_cast<void**>(pool_alloc(size_t{capacity} * sizeof(void*)));
    if (slots == nullptr) return -1;
    uint32_t kept = capacity < table->capacity ? capacity : table->capacity;
    if (kept != 0) std::memcpy(slots, table->slots, size_t{kept} * sizeof(void*));
  }
  pool_free(table->slots, size_t{table->capacity} * sizeof(void*));
  table->slots = slots;
  table->capacity = capacity;
  return 0;
}

int idtab_grow_capacity(IdTable* table, int32_t delta) {
  if (table == nullptr) return -1;
  int64_t capacity = int64_t{table->capacity} + delta;
  if (capacity <= 0 && delta < 0) return -1;
  if (capacity > int64_t{LARGEST_INDEX}) return -1;
  return idtab_set_capacity(table, static_cast<uint32_t>(capacity));
}

int idtab_assign_compact(IdTable* destination, const IdTable* source, IdtabMap map) {
  if (destination == nullptr || source == nullptr) return -1;
  uint32_t sourceEnd =
      source->highest_id < source->capacity ? source->highest_id : source->capacity;
  uint32_t count = 0;
  for (uint32_t index = 0; index < sourceEnd; ++index) {
    if (source->slots[index] != nullptr) ++count;
  }
  // The destination grows by the count before anything is moved, so that a shortage
  // leaves it untouched.
  if (count != 0 && (destination->capacity > LARGEST_INDEX - count ||
                     idtab_set_capacity(destination, destination->capacity + count) != 0)) {
    return -1;
  }
  uint32_t oldEnd = destination->highest_id < destination->capacity ? destination->highest_id
                                                                   : destination->capacity;
  for (uint32_t index = 0; index < oldEnd; ++index) destination->slots[index] = nullptr;
  destination->highest_id = 0;
  uint32_t next = 0;
  for (uint32_t index = 0; index < sourceEnd; ++index) {
    void* item = source->slots[index];
    if (item == nullptr) continue;
    destination->slots[next++] = map != nullptr ? map(item) : item;
  }
  destination->highest_id = count;
  return 0;
}

int idtab_insert_at(IdTable* table, uint32_t index, void* item) {
  if (table == nullptr || index > table->highest_id) return -1;
  uint32_t highest = table->highest_id;
  if (idtab_set(table, highest, nullptr) != 0) return -1;
  std::memmove(&table->slots[index + 1], &table->slots[index],
               size_t{highest - index} * sizeof(void*));
  table->slots[index] = item;
  return 0;
}

int idtab_remove_at_release(IdTable* table, uint32_t index, IdtabRelease release) {
  if (table == nullptr || index >= table->highest_id || table->highest_id > table->capacity) {
    return -1;
  }
  if (release != nullptr) release(table->slots[index]);
  uint32_t last = table->highest_id - 1;
  std::memmove(&table->slots[index], &table->slots[index + 1],
               size_t{last - index} * sizeof(void*));
  table->slots[last] = nullptr;
  table->highest_id = last;
  return 0;
}

int idtab_free_each(IdTable* table, IdtabRelease release) {
  if (table == nullptr) return -1;
  if (release != nullptr) {
    uint32_t end = table->highest_id < table->capacity ? table->highest_id : table->capacity;
    for (uint32_t index = 0; index < end; ++index) release(table->slots[index]);
  }
  idtab_delete(table);
  return 0;
}
