// The run's registry of named memory pools: one pool per pooled class.
#pragma once

#include <cstddef>
#include <cstring>
#include <map>
#include <new>
#include <vector>

#include "util/c-memory.h"
#include "util/RunState.h"

struct MemPool;

class MemoryPools {
 public:
  static MemoryPools& instance();
  // Deletes the registry and every pool still registered (the last act of the tear-down).
  static void deleteInstance();

  // Fills the block with 0x2A and recycles it when its size is one of the pool's two.
  static void free(MemPool* pool, void* block, size_t size);
  static void destroyPool(MemPool* pool);

  // Creates a pool and registers it under the class name (a literal, not copied).
  MemPool* registerPool(const char* name);
  // As above; *handle is cleared when the registry destroys the pool, so that a
  // pooled class registers a fresh pool at its next allocation.
  MemPool* registerPool(const char* name, MemPool** handle);
  // Destroys a registered pool ahead of the registry and clears its slot.
  void destroyRegistered(MemPool* pool);
  // The registered pool of that name that is still alive, or null.
  MemPool* find(const char* name) const;
  // The class name a live pool is registered under, or null.
  const char* nameOf(MemPool* pool) const;
  // Forgets the handles without clearing them: at the end of a run they may live in
  // state that goes before the pools.
  void dropHandles() { handles_.clear(); }

  virtual ~MemoryPools();

 private:
  friend class RunState;
  MemoryPools() = default;
  void forget(MemPool* pool);

  std::vector<MemPool*> pools_;
  std::map<MemPool*, const char*> names_;
  std::map<MemPool*, MemPool**> handles_;
};

// The blocks of pooled objects are small, and most are taken from and given back to the
// free list of their size: these do that in place and leave everything else to
// mem_pool_alloc and MemoryPools::free, with the same accounting, zero fill and 0x2A fill.
inline size_t pooledBlockSize(size_t size) {
  size_t rounded = (size + 3) & ~static_cast<size_t>(3);
  return rounded < sizeof(void*) ? sizeof(void*) : rounded;
}

inline void* pooledAllocate(MemPool* pool, size_t size) {
  size_t rounded = pooledBlockSize(size);
  if (pool && rounded <= kMemPoolOwnChunkThreshold) {
    void*& list = pool->freeBySize[rounded / 4];
    if (void* block = list) {
      std::memcpy(&list, block, sizeof(void*));  // 4-aligned blocks: no typed load
      pool->inUse += rounded;
      std::memset(block, 0, rounded);
      return block;
    }
  }
  return mem_pool_alloc(pool, size);
}

inline void pooledFree(MemPool* pool, void* block, size_t size) {
  size_t rounded = pooledBlockSize(size);
  if (pool && block && rounded <= kMemPoolOwnChunkThreshold) {
    pool->inUse -= rounded;
    std::memset(block, 0x2A, rounded);
    void*& list = pool->freeBySize[rounded / 4];
    std::memcpy(block, &list, sizeof(void*));
    list = block;
    return;
  }
  MemoryPools::free(pool, block, size);
}

// Defines operator new/delete of a class so that its objects come from a named pool.
#define VEKT_POOLED_CLASS(Class)                                   \
 public:                                                           \
  static MemPool*& pool();                                         \
  static void* operator new(size_t size);                          \
  [[maybe_unused]] static void* operator new(size_t size, const std::nothrow_t&) noexcept; \
  static void operator delete(void* block, size_t size);

// The .cpp side of VEKT_POOLED_CLASS. The pool is registered under Name at the
// first allocation and again after the registry has been torn down; its handle is
// kept by the run.
#define VEKT_POOLED_CLASS_IMPL(Class, Name)                                      \
  MemPool*& Class::pool() {                                                      \
    static const size_t poolSlot = nextPoolSlot();                                   \
    return runState().poolHandle(poolSlot);                                          \
  }                                                                              \
  void* Class::operator new(size_t size) {                                       \
    MemPool*& handle = pool();                                                   \
    if (!handle) handle = MemoryPools::instance().registerPool(Name, &handle);   \
    /* At the class's own size the fills are a few stores. */                   \
    if (size == sizeof(Class)) return pooledAllocate(handle, sizeof(Class));     \
    return pooledAllocate(handle, size);                                         \
  }                                                                              \
  /* Pools never hand back a failed allocation, so nothrow only forwards. */     \
  void* Class::operator new(size_t size, const std::nothrow_t&) noexcept {       \
    return Class::operator new(size);                                            \
  }                                                                              \
  void Class::operator delete(void* block, size_t size) {                        \
    if (size == sizeof(Class)) pooledFree(pool(), block, sizeof(Class));         \
    else pooledFree(pool(), block, size);                                        \
  }
