#include "objlib/ios_pool.h"

#include <cstdlib>
#include <cstring>

#include "objlib/ios_hook.h"
#include "util/RunState.h"

namespace {

// Each chunk starts with the link to the chunk obtained before it; blocks begin
// after this header so that they stay 8-byte aligned.
constexpr size_t CHUNK_HEADER = 8;
static_assert(sizeof(void*) <= CHUNK_HEADER, "the chunk link must fit its header");

constexpr size_t REGISTRY_BUCKETS = 511;

struct RegistryEntry {
  RegistryEntry* next;
  size_t size_class;
  BlockPool* pool;
};

struct PoolRegistry {
  RegistryEntry* registryBuckets[REGISTRY_BUCKETS]{};
  bool standardClassesRegistered = false;
  ~PoolRegistry() {
    for (RegistryEntry*& bucket : registryBuckets) {
      while (RegistryEntry* entry = bucket) {
        bucket = entry->next;
        pool_destroy(entry->pool);
        std::free(entry);
      }
    }
  }
};
PoolRegistry& poolRegistry() { return runPart<PoolRegistry>(); }

size_t roundUp(size_t value, size_t step) { return (value + step - 1) / step * step; }

void* chunkLink(void* chunk) {
  void* previous;
  std::memcpy(&previous, chunk, sizeof previous);
  return previous;
}

void freeAllChunks(BlockPool* pool) {
  void* chunk = pool->chunks;
  while (chunk != nullptr) {
    void* previous = chunkLink(chunk);
    std::free(chunk);
    chunk = previous;
  }
  pool->chunks = nullptr;
  pool->next_free = nullptr;
  pool->bytes_left = 0;
  pool->free_list = nullptr;
}

BlockPool* findRegistered(size_t size_class) {
  for (RegistryEntry* entry = poolRegistry().registryBuckets[size_class % REGISTRY_BUCKETS]; entry != nullptr;
       entry = entry->next) {
    if (entry->size_class == size_class) return entry->pool;
  }
  return nullptr;
}

void registerStandardClasses() {
  if (poolRegistry().standardClassesRegistered) return;
  for (size_t size_class = 4; size_class <= POOL_LARGEST_CLASS; size_class += 4) {
    pool_register(size_class);
  }
  poolRegistry().standardClassesRegistered = true;
}

}  // namespace

BlockPool* pool_create(size_t block_size) {
  // Refuse sizes whose chunk arithmetic would overflow; no record is that large.
  if (block_size > (SIZE_MAX - CHUNK_HEADER) / 8) return nullptr;
  auto* pool = static_cast<BlockPool*>(std::calloc(1, sizeof(BlockPool)));
  if (pool == nullptr) {
    mmi_hook_event2();
    return nullptr;
  }
  // Blocks hold the free-list link while free, so they are at least a pointer wide.
  size_t size = roundUp(block_size < 4 ? 4 : block_size, 8);
  pool->block_size = size;
  pool->chunk_size = 4 * size <= POOL_CHUNK_TARGET ? POOL_CHUNK_TARGET / size * size : 4 * size;
  return pool;
}

int pool_destroy(BlockPool* pool) {
  if (pool == nullptr) return -1;
  freeAllChunks(pool);
  std::free(pool);
  return 0;
}

void* pool_alloc_block(BlockPool* pool) {
  if (pool->free_list != nullptr) {
    void* block = pool->free_list;
    std::memcpy(&pool->free_list, block, sizeof(void*));
    ++pool->in_use;
    return block;
  }
  if (pool->bytes_left < pool->block_size) {
    auto* chunk = static_cast<unsigned char*>(std::malloc(pool->chunk_size + CHUNK_HEADER));
    if (chunk == nullptr) {
      mmi_hook_event2();
      return nullptr;
    }
    std::memcpy(chunk, &pool->chunks, sizeof(void*));
    pool->chunks = chunk;
    pool->next_free = chunk + CHUNK_HEADER;
    pool->bytes_left = pool->chunk_size;
  }
  void* block = pool->next_free;
  pool->next_free += pool->block_size;
  pool->bytes_left -= pool->block_size;
  ++pool->in_use;
  return block;
}

void pool_free_block(void* block, BlockPool* pool) {
  if (block == nullptr || pool == nullptr) return;
  if (pool->in_use == 0) {
    // More blocks returned than handed out: a double free by the caller. Keeping the
    // block off the free list stops it from being handed out twice.
    mmi_hook_event1();
    return;
  }
  std::memcpy(block, &pool->free_list, sizeof(void*));
  pool->free_list = block;
  --pool->in_use;
  if (pool->in_use == 0 && pool->chunks != nullptr && chunkLink(pool->chunks) != nullptr) {
    freeAllChunks(pool);
  }
}

size_t pool_chunk_count(const BlockPool* pool) {
  size_t count = 0;
  for (void* chunk = pool->chunks; chunk != nullptr; chunk = chunkLink(chunk)) ++count;
  return count;
}

BlockPool* pool_register(size_t size_class) { return pool_register_with(size_class, 0, 0); }

BlockPool* pool_register_with(size_t size_class, uint32_t blocks_per_chunk, uint32_t second) {
  (void)second;
  size_class = roundUp(size_class, 4);
  // Two pools for one class would let a block be freed into a pool that did not
  // carve it, so a registered class keeps its pool.
  if (BlockPool* existing = findRegistered(size_class)) return existing;
  BlockPool* pool = pool_create(size_class);
  if (pool == nullptr) return nullptr;
  if (blocks_per_chunk != 0 && blocks_per_chunk <= (SIZE_MAX - CHUNK_HEADER) / pool->block_size) {
    pool->chunk_size = size_t{blocks_per_chunk} * pool->block_size;
  }
  auto* entry = static_cast<RegistryEntry*>(std::malloc(sizeof(RegistryEntry)));
  if (entry == nullptr) {
    mmi_hook_event2();
    pool_destroy(pool);
    return nullptr;
  }
  RegistryEntry*& bucket = poolRegistry().registryBuckets[size_class % REGISTRY_BUCKETS];
  entry->next = bucket;
  entry->size_class = size_class;
  entry->pool = pool;
  bucket = entry;
  return pool;
}

BlockPool* pool_find(size_t size) {
  registerStandardClasses();
  if (size == 0 || size > POOL_LARGEST_CLASS) return nullptr;
  return findRegistered(roundUp(size, 4));
}

void* pool_alloc(size_t size) {
  if (size == 0) return nullptr;
  BlockPool* pool = pool_find(size);
  // A large block comes zeroed from fresh pages: clearing it by hand would touch every
  // page of a table that has only grown and fills its new half over time.
  void* block = pool != nullptr ? pool_alloc_block(pool) : std::calloc(1, size);
  if (block == nullptr) {
    mmi_hook_event2();
    return nullptr;
  }
  if (pool != nullptr) std::memset(block, 0, size);
  return block;
}

void pool_free(void* block, size_t size) {
  if (block == nullptr || size == 0) return;
  BlockPool* pool = pool_find(size);
  if (pool != nullptr) {
    pool_free_block(block, pool);
  } else {
    std::free(block);
  }
}

IosListNode* ios_alloc_link8(IosCountedList* list, void* payload) {
  if (list == nullptr) return nullptr;
  auto* node = static_cast<IosListNode*>(pool_alloc(sizeof(IosListNode)));
  if (node == nullptr) return nullptr;
  node->payload = payload;
  node->next = list->head;
  list->head = node;
  ++list->count;
  return node;
}

void* ios_list_pop(IosCountedList* list) {
  if (list == nullptr || list->head == nullptr) return nullptr;
  IosListNode* node = list->head;
  void* payload = node->payload;
  list->head = node->next;
  --list->count;
  pool_free(node, sizeof(IosListNode));
  return payload;
}

// ---- Further pool operations ----

namespace {
constexpr size_t SIZE_WORD = 4;

uint32_t sizeWord(const void* block) {
  uint32_t total;
  std::memcpy(&total, block, sizeof total);
  return total;
}

void* sizedBlock(int32_t size, bool cleared) {
  if (size < 0 || static_cast<size_t>(size) > UINT32_MAX - 2 * SIZE_WORD) return nullptr;
  auto total = static_cast<uint32_t>(roundUp(static_cast<size_t>(size), 4) + SIZE_WORD);
  auto* block = static_cast<unsigned char*>(pool_alloc_raw(static_cast<int32_t>(total)));
  if (block == nullptr) return nullptr;
  if (cleared) std::memset(block, 0, total);
  std::memcpy(block, &total, sizeof total);
  return block + SIZE_WORD;
}
}  // namespace

void* pool_alloc_raw(int32_t size) {
  if (size < 1) return nullptr;
  BlockPool* pool = pool_find(static_cast<size_t>(size));
  void* block = pool != nullptr ? pool_alloc_block(pool) : std::malloc(static_cast<size_t>(size));
  if (block == nullptr) mmi_hook_event2();
  return block;
}

void* pool_block_alloc_zeroed(BlockPool* pool) {
  if (pool == nullptr) return nullptr;
  void* block = pool_alloc_block(pool);
  if (block != nullptr) std::memset(block, 0, pool->block_size);
  return block;
}

void pool_return_block(BlockPool* pool, void* block) { pool_free_block(block, pool); }

void* pool_sized_calloc(int32_t size) { return sizedBlock(size, true); }

void* pool_sized_malloc(int32_t size) { return sizedBlock(size, false); }

void* pool_sized_realloc(void* area, int32_t size) {
  if (area == nullptr || size < 0) return nullptr;
  unsigned char* block = static_cast<unsigned char*>(area) - SIZE_WORD;
  uint32_t total = sizeWord(block);
  if (static_cast<uint32_t>(size) <= total - SIZE_WORD) return area;
  void* grown = sizedBlock(size, false);
  if (grown == nullptr) return nullptr;
  std::memcpy(grown, area, total - SIZE_WORD);
  pool_free(block, total);
  return grown;
}

int pool_sized_free(void* area) {
  if (area == nullptr) return -1;
  unsigned char* block = static_cast<unsigned char*>(area) - SIZE_WORD;
  pool_free(block, sizeWord(block));
  return 0;
}

bool pool_standard_ready() { return poolRegistry().standardClassesRegistered; }

int pool_register_size(int32_t size, uint32_t blocks_per_chunk, uint32_t second) {
  if (poolRegistry().standardClassesRegistered || size < 0) return -1;
  return pool_register_with(static_cast<size_t>(size), blocks_per_chunk, second) != nullptr ? 0
                                                                                           : -1;
}

int pool_registry_clear() {
  for (RegistryEntry*& bucket : poolRegistry().registryBuckets) {
    while (bucket != nullptr) {
      RegistryEntry* entry = bucket;
      bucket = entry->next;
      pool_destroy(entry->pool);
      std::free(entry);
    }
  }
  poolRegistry().standardClassesRegistered = false;
  return 0;
}
