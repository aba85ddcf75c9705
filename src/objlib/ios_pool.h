// Fixed-size block pools of the object library, and the run's registry of
// size-class pools (4 to 64 bytes in steps of 4) from which the store takes its
// small records and texts. A file's records are many and short-lived together, so
// they come from chunks instead of one heap call each.
#pragma once

#include <cstddef>
#include <cstdint>

// A pool of blocks of one size, carved from chunks that are chained through their
// first word. Returned blocks go on a free list linked through their first word.
struct BlockPool {
  size_t block_size;
  size_t chunk_size;  // bytes of blocks per chunk, without the chunk's link word
  size_t bytes_left;  // in the current chunk
  unsigned char* next_free;
  void* chunks;  // most recently obtained chunk
  void* free_list;
  size_t in_use;
};

// Bytes of blocks per chunk that pools aim for.
inline constexpr size_t POOL_CHUNK_TARGET = 8176;
inline constexpr size_t POOL_LARGEST_CLASS = 64;

// A new empty pool for blocks of at least block_size bytes (rounded up to a multiple
// of 8, at least 8); null when out of memory or when the size is absurd.
BlockPool* pool_create(size_t block_size);
// Returns every chunk and the pool record itself to the heap; -1 for null, else 0.
int pool_destroy(BlockPool* pool);
// One block, not cleared; null when no chunk can be had.
void* pool_alloc_block(BlockPool* pool);
// Returns a block to its pool. When the last block in use comes back and the pool
// holds more than one chunk, all chunks go back to the heap.
void pool_free_block(void* block, BlockPool* pool);
// Number of chunks the pool holds.
size_t pool_chunk_count(const BlockPool* pool);

// Registers a pool for a size class (rounded up to a multiple of 4) and returns it;
// a class that is already registered keeps its pool. Null when out of memory.
BlockPool* pool_register(size_t size_class);
// The registered pool that serves requests of this size, or null (sizes above 64,
// or a class whose pool could not be made).
BlockPool* pool_find(size_t size);

// A zeroed block of at least size bytes from the size-class pools, or from the heap
// for sizes above 64; null for size 0 or when out of memory.
void* pool_alloc(size_t size);
// Returns a block obtained by pool_alloc with the same size; null is ignored.
void pool_free(void* block, size_t size);

// ---- Further pool operations for the library's clients ----

// A block from the pool of the rounded size, or from the heap when there is none; not
// cleared. Null for a size below 1 or when out of memory. Give it back with pool_free.
void* pool_alloc_raw(int32_t size);
// A cleared block of the pool; null when none can be had.
void* pool_block_alloc_zeroed(BlockPool* pool);
// pool_free_block with the arguments in pool-first order.
void pool_return_block(BlockPool* pool, void* block);

// Sized blocks carry their total size (the request rounded up to 4, plus 4) in their
// first word, so that they can be freed and resized without the caller knowing it.
void* pool_sized_calloc(int32_t size);
void* pool_sized_malloc(int32_t size);
// Null for a null area; the area itself when the request fits it; otherwise a new
// block with the old contents, the old one given back. Out of memory: null, and the
// old block stays.
void* pool_sized_realloc(void* area, int32_t size);
// -1 for null, else 0.
int pool_sized_free(void* area);

// True once the standard size classes have been set up (by the first allocation).
bool pool_standard_ready();
// Registers a pool for the size class with the given blocks per chunk (0: the usual
// chunk size) unless the class has one; the second parameter is kept for callers
// that pass it and has no effect. Null when out of memory.
BlockPool* pool_register_with(size_t size_class, uint32_t blocks_per_chunk, uint32_t second);
// Before the standard classes are set up and for a size of at least 0: registers the
// rounded size as pool_register_with does and returns 0; otherwise -1.
int pool_register_size(int32_t size, uint32_t blocks_per_chunk, uint32_t second);
// Frees every registered pool with its chunks and empties the registry; the standard
// classes count as not set up again. Blocks still held become invalid. Returns 0.
int pool_registry_clear();

// Counted singly linked list of payload pointers; new nodes go to the head.
struct IosListNode {
  IosListNode* next;
  void* payload;
};

struct IosCountedList {
  uint32_t count;
  IosListNode* head;
};

// Links a new node with the payload in front and counts it; null when out of memory.
IosListNode* ios_alloc_link8(IosCountedList* list, void* payload);
// Unlinks the first node and returns its payload; null for a null or empty list.
void* ios_list_pop(IosCountedList* list);
