#include "util/strpool.h"

#include <cstdlib>
#include <cstring>

#include "util/c-memory.h"
#include "util/MemoryPools.h"
#include "util/hashtab.h"
#include "util/RunState.h"

namespace {
struct StringPoolState {
  MemPool* pool = nullptr;
  Hashtab* texts = nullptr;
  char* scratch = nullptr;
  size_t scratchCapacity = 0;
  ~StringPoolState() {
    if (texts) hashtab_free(texts);
    if (pool) MemoryPools::destroyPool(pool);
    std::free(scratch);
  }
};
StringPoolState& stringPoolState() { return runPart<StringPoolState>(); }
}  // namespace

void strpool_init() {
  if (stringPoolState().pool) return;
  stringPoolState().pool = mem_pool_create();
  stringPoolState().texts = hashtab_create(nullptr, 0);
  stringPoolState().scratch = static_cast<char*>(xcalloc(80, 1));
  stringPoolState().scratchCapacity = 80;
}

const char* strpool_intern(const char* text) {
  strpool_init();
  if (void* known = hashtab_lookup(stringPoolState().texts, text)) return static_cast<const char*>(known);
  size_t bytes = std::strlen(text) + 1;
  char* copy = static_cast<char*>(mem_pool_alloc(stringPoolState().pool, bytes));
  std::memcpy(copy, text, bytes);
  hashtab_insert(stringPoolState().texts, copy);
  return copy;
}

const char* strpool_intern_concat(const char* a, const char* b) {
  if (!a) return b ? strpool_intern(b) : nullptr;
  if (!b) return strpool_intern(a);
  strpool_init();
  size_t lengthA = std::strlen(a);
  size_t lengthB = std::strlen(b);
  if (lengthA + lengthB + 1 > stringPoolState().scratchCapacity) {
    std::free(stringPoolState().scratch);
    stringPoolState().scratchCapacity = lengthA + lengthB + 41;
    stringPoolState().scratch = static_cast<char*>(xcalloc(stringPoolState().scratchCapacity, 1));
  }
  std::memcpy(stringPoolState().scratch, a, lengthA);
  std::memcpy(stringPoolState().scratch + lengthA, b, lengthB + 1);
  return strpool_intern(stringPoolState().scratch);
}
