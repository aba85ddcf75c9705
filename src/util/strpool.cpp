#include "util/strpool.h"

#include <cstdlib>
#include <cstring>

#include "util/c-memory.h"
#include "util/hashtab.h"

namespace {
MemPool* pool = nullptr;
Hashtab* texts = nullptr;
char* scratch = nullptr;
size_t scratchCapacity = 0;
}  // namespace

void strpool_init() {
  if (pool) return;
  pool = mem_pool_create();
  texts = hashtab_create(nullptr, 0);
  scratch = static_cast<char*>(xcalloc(80, 1));
  scratchCapacity = 80;
}

const char* strpool_intern(const char* text) {
  strpool_init();
  if (void* known = hashtab_lookup(texts, text)) return static_cast<const char*>(known);
  size_t bytes = std::strlen(text) + 1;
  char* copy = static_cast<char*>(mem_pool_alloc(pool, bytes));
  std::memcpy(copy, text, bytes);
  hashtab_insert(texts, copy);
  return copy;
}

const char* strpool_intern_concat(const char* a, const char* b) {
  if (!a) return b ? strpool_intern(b) : nullptr;
  if (!b) return strpool_intern(a);
  strpool_init();
  size_t lengthA = std::strlen(a);
  size_t lengthB = std::strlen(b);
  if (lengthA + lengthB + 1 > scratchCapacity) {
    std::free(scratch);
    scratchCapacity = lengthA + lengthB + 41;
    scratch = static_cast<char*>(xcalloc(scratchCapacity, 1));
  }
  std::memcpy(scratch, a, lengthA);
  std::memcpy(scratch + lengthA, b, lengthB + 1);
  return strpool_intern(scratch);
}
