#include "objlib/ios_idtable.h"

#include <cstring>

#include "objlib/ios_pool.h"

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
    }
    pool_free(table->slots, size_t{table->capacity} * sizeof(void*));
    table->slots = slots;
    table->capacity = capacity;
  }
  table->slots[index] = item;
  if (index + 1 > table->highest_id) table->highest_id = index + 1;
  return 0;
}

void* idtab_get(const IdTable* table, uint32_t id) {
  if (table == nullptr || id == 0 || id - 1 >= table->capacity) return nullptr;
  return table->slots[id - 1];
}
