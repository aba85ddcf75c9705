// Allocation wrappers that never hand back a failed allocation, and MemPool, an
// arena of zero-filled blocks that recycles freed blocks by size.
#pragma once

#include <cstddef>

// Sizes are rounded up to a multiple of 4 with a minimum of 8, so that a freed
// block can hold the host's free-list link. A block whose rounded size is a
// multiple of 8 is 8-aligned, any other 4-aligned: an object whose size is not a
// multiple of 8 cannot need more. Every chunk starts with a header: a pointer that
// chains it to the chunk made before it, then the chunk's size in bytes (its lowest
// bit set when the chunk is an ordinary one, filled block by block).
// Bytes of a chunk's header.
constexpr size_t kMemPoolChunkHeader = 2 * sizeof(void*);
// Bytes of a pool's first ordinary chunk, its header included. Each further chunk is
// twice the size of the one before, up to kMemPoolLargestChunk: a pool of a few nodes
// stays small, and one that holds millions takes its memory in pieces of that size,
// mapped with their pages in place (one call instead of a page fault per page).
constexpr size_t kMemPoolChunkSize = 4096;
constexpr size_t kMemPoolLargestChunk = size_t{256} << 10;
// Requests above this many bytes get a chunk of their own.
constexpr size_t kMemPoolOwnChunkThreshold = 200;
// A block that is filled from its start (a mapped pool chunk, a stream block) is given
// its pages this many bytes at a time as the filling reaches them: one call makes the
// pages of a step, and a run holds at most a step of each such block that it has not
// used, instead of the rest of a 256 KB chunk.
constexpr size_t kMemBlockReadyStep = size_t{32} << 10;

struct MemPool {
  char* chunks = nullptr;  // newest chunk; its first pointer links to the older ones
  char* next = nullptr;    // first free byte of the current chunk
  size_t left = 0;         // bytes still free behind next, up to the end of the pages made
  size_t unready = 0;      // bytes of the current chunk behind those, its pages not made yet
  void* freeBySize[kMemPoolOwnChunkThreshold / 4 + 1] = {};  // index: rounded size / 4
  size_t size1 = 0;        // first recycled large block size (0 = not yet fixed)
  void* free1 = nullptr;   // free list of blocks of size1
  size_t size2 = 0;        // second recycled large block size
  void* free2 = nullptr;   // free list of blocks of size2
  size_t inUse = 0;        // bytes handed out and not yet returned (rounded sizes)
  size_t nextChunk = kMemPoolChunkSize;  // bytes of the next ordinary chunk
};

// Prints F005 (into the error file when one is open) and ends the process with
// status 2, as a fatal error does. Also the handler of a failed operator new.
[[noreturn]] void mem_out_of_memory();

void* xcalloc(size_t count, size_t size);
void* xrealloc(void* pointer, size_t size);

MemPool* mem_pool_create();
// Gives back every chunk of the pool at once; the MemPool itself stays.
void mem_pool_release_chunks(MemPool* pool);
void* mem_pool_alloc(MemPool* pool, size_t size);
// The size a request of that many bytes really takes from a pool.
size_t mem_pool_rounded_size(size_t size);

// A zero-filled table of that many bytes (size > 0), given back with mem_table_free and
// the same size. Tables of 2 MiB and more are mapped on their own and asked for huge
// pages: a hash table as large as the source is probed at random, and with small pages
// nearly every probe misses the TLB and every first touch of a page faults.
void* mem_table_alloc(size_t size);
void mem_table_free(void* table, size_t size);

// A zero-filled block of that many bytes (size > 0) for a buffer that is filled from its
// start; null when there is no memory. Its pages are made in steps: *ready is set to the
// bytes from the start that have theirs, and mem_block_ready_step makes those of the next
// step and returns the new count. Every byte of the block is usable at once; a byte past
// the ready ones only costs a page fault. Given back with mem_block_free and the same
// size, to the system at once.
void* mem_block_alloc(size_t size, size_t* ready);
size_t mem_block_ready_step(void* block, size_t size, size_t ready);
void mem_block_free(void* block, size_t size);

// A range of address space that grows in place: reserved whole at the start,
// without memory behind it, and given pages only as far as it is used. Records kept
// in one never move, so that a record's place numbers it and a 32-bit offset finds
// it. Reserving costs no memory; a run that outgrows the reservation, or whose pages
// cannot be had, ends as out of memory.
struct MemRange {
  char* base = nullptr;
  size_t reserved = 0;   // bytes of address space
  size_t committed = 0;  // bytes from base that are readable and writable
  size_t ready = 0;      // bytes from base given their pages; at most committed
};

void mem_range_reserve(MemRange* range, size_t bytes);
void mem_range_grow(MemRange* range, size_t bytes);
// Makes the first `bytes` bytes usable (zero-filled where new).
inline void mem_range_commit(MemRange* range, size_t bytes) {
  if (bytes > range->ready) mem_range_grow(range, bytes);
}
void mem_range_release(MemRange* range);
