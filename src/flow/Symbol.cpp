#include "flow/Symbol.h"

#include "util/MemoryPools.h"
#include "util/c-memory.h"

MemPool* g_symbolPool = nullptr;

void* Symbol::operator new(size_t size) noexcept {
  // A registry torn down clears the handle; the next symbol then registers afresh.
  if (!g_symbolPool) g_symbolPool = MemoryPools::instance().registerPool("Symbol", &g_symbolPool);
  return mem_pool_alloc(g_symbolPool, size);
}

void Symbol::operator delete(void* block, size_t size) {
  if (g_symbolPool) MemoryPools::free(g_symbolPool, block, size);
}

Symbol* Symbol::create(const char* name, int16_t scope) { return new Symbol(name, scope); }
