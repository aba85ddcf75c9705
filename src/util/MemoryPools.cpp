#include "util/MemoryPools.h"

#include <cstdlib>
#include <cstring>

#include "util/assertion.h"
#include "util/c-memory.h"
#include "util/RunState.h"

MemoryPools& MemoryPools::instance() { return runState().pools(); }

void MemoryPools::deleteInstance() { runState().deletePools(); }

void MemoryPools::free(MemPool* pool, void* block, size_t size) {
  VEKT_ASSERT(pool);
  if (!block) return;
  size_t rounded = mem_pool_rounded_size(size);
  pool->inUse -= rounded;
  std::memset(block, 0x2A, rounded);

  void** list = nullptr;
  if (rounded <= kMemPoolOwnChunkThreshold) {
    list = &pool->freeBySize[rounded / 4];
  } else if (pool->size1 == 0 || rounded == pool->size1) {
    pool->size1 = rounded;
    list = &pool->free1;
  } else {
    if (pool->size2 == 0) pool->size2 = rounded;
    if (rounded == pool->size2) list = &pool->free2;
  }
  if (!list) return;  // a third large size: the block stays in its chunk until the pool goes
  std::memcpy(block, list, sizeof(void*));
  *list = block;
}

void MemoryPools::destroyPool(MemPool* pool) {
  if (!pool) return;
  mem_pool_release_chunks(pool);
  std::free(pool);
}

MemPool* MemoryPools::registerPool(const char* name) {
  MemPool* pool = mem_pool_create();
  pools_.push_back(pool);
  names_[pool] = name;
  return pool;
}

MemPool* MemoryPools::registerPool(const char* name, MemPool** handle) {
  MemPool* pool = registerPool(name);
  if (handle) handles_[pool] = handle;
  return pool;
}

void MemoryPools::forget(MemPool* pool) {
  names_.erase(pool);
  auto handle = handles_.find(pool);
  if (handle != handles_.end()) {
    if (*handle->second == pool) *handle->second = nullptr;
    handles_.erase(handle);
  }
}

void MemoryPools::destroyRegistered(MemPool* pool) {
  if (!pool) return;
  // Pools destroyed early are the recent ones; trailing empty slots are dropped so
  // that repeated register/destroy cycles keep the list short.
  for (auto slot = pools_.rbegin(); slot != pools_.rend(); ++slot) {
    if (*slot != pool) continue;
    forget(pool);
    destroyPool(pool);
    *slot = nullptr;
    while (!pools_.empty() && !pools_.back()) pools_.pop_back();
    return;
  }
}

MemPool* MemoryPools::find(const char* name) const {
  for (auto slot = pools_.rbegin(); slot != pools_.rend(); ++slot) {
    if (!*slot) continue;
    auto entry = names_.find(*slot);
    if (entry != names_.end() && std::strcmp(entry->second, name) == 0) return *slot;
  }
  return nullptr;
}

const char* MemoryPools::nameOf(MemPool* pool) const {
  auto entry = names_.find(pool);
  return entry == names_.end() ? nullptr : entry->second;
}

MemoryPools::~MemoryPools() {
  for (MemPool*& slot : pools_) {
    if (!slot) continue;
    forget(slot);
    destroyPool(slot);
    slot = nullptr;
  }
  pools_.clear();
  pools_.shrink_to_fit();
  names_.clear();
  handles_.clear();
}
