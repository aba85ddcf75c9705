#include "util/c-memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include "util/ErrorHandler.h"
#include "util/MessageCatalog.h"
#include "util/RunState.h"
#include "util/assertion.h"
#include "util/interrupt.h"

namespace {

// The error file when one is open, as for every other diagnostic; the lines before
// go out first. Looks at the run only if one exists: making one would allocate.
int diagnosticDescriptor() {
  if (_currentRun && _currentRun->errorHandler) {
    std::FILE* stream = _currentRun->errorHandler->outputStream();
    if (stream != stderr && std::fflush(stream) == 0) return fileno(stream);
  }
  return STDERR_FILENO;
}

}  // namespace

void mem_out_of_memory() {
  // Numbered like every fatal diagnostic, but built on the stack and written with
  // write(): the heap is what just ran out.
  char text[64];
  const MessageRecord& message = messages::record(F_out_of_memory);
  int length = std::snprintf(text, sizeof text, "vekt %c%03u: %s\n", message.severity,
                             static_cast<unsigned>(message.number), message.text);
  if (length > 0) {
    ssize_t written = write(diagnosticDescriptor(), text, std::min(static_cast<size_t>(length), sizeof text - 1));
    (void)written;
  }
  // The exit-time clean-up removes the outputs as after any fatal error.
  markFatalExit();
  std::exit(2);
}

void* xcalloc(size_t count, size_t size) {
  if (count == 0 || size == 0) return nullptr;
  void* memory = std::calloc(count, size);
  if (!memory) mem_out_of_memory();
  return memory;
}

void* xrealloc(void* pointer, size_t size) {
  if (size == 0) {
    std::free(pointer);
    return nullptr;
  }
  void* memory = pointer ? std::realloc(pointer, size) : std::malloc(size);
  if (!memory) mem_out_of_memory();
  return memory;
}

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// Makes the pages of [from, from + bytes) of a mapped block, from a page boundary (steps
// of a block that starts on one), in one call instead of one fault each; a kernel without
// the call leaves them to fault as usual.
void makePages(char* from, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  madvise(from, bytes, MADV_POPULATE_WRITE);
#else
  (void)from;
  (void)bytes;
#endif
}

}  // namespace

void* mem_table_alloc(size_t size) {
  VEKT_ASSERT(size > 0);
  if (size < kHugePage) return xcalloc(1, size);
  size_t mapped = (size + kHugePage - 1) & ~(kHugePage - 1);
  // Map one huge page more than needed and trim, so that the table starts on a
  // huge-page boundary; fresh anonymous pages are zero already.
  void* region = mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) mem_out_of_memory();
  auto start = reinterpret_cast<uintptr_t>(region);
  uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) munmap(region, aligned - start);
  size_t tail = start + mapped + kHugePage - (aligned + mapped);
  if (tail) munmap(reinterpret_cast<void*>(aligned + mapped), tail);
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(aligned), mapped, MADV_HUGEPAGE);  // a hint: refusal is harmless
#endif
  return reinterpret_cast<void*>(aligned);
}

void mem_table_free(void* table, size_t size) {
  if (!table) return;
  if (size < kHugePage) {
    std::free(table);
    return;
  }
  munmap(table, (size + kHugePage - 1) & ~(kHugePage - 1));
}

namespace {

// A range is made usable in large steps, so that a growing range makes few calls, and
// given its pages in the small steps of blocks filled from their start, so that it holds
// at most one small step it has not used.
constexpr size_t kRangeStep = size_t{256} << 10;

}  // namespace

void mem_range_reserve(MemRange* range, size_t bytes) {
  VEKT_ASSERT(!range->base && bytes > 0);
  // Under a limit on the address space a reservation takes an eighth of it at most,
  // so that the run still starts and the other allocations find room: a run that
  // outgrows it then ends as out of memory where it would have anyway.
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    bytes = std::min(bytes, std::max(static_cast<size_t>(limit.rlim_cur / 8), kRangeStep));
  void* region = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (region == MAP_FAILED) mem_out_of_memory();
  range->base = static_cast<char*>(region);
  range->reserved = bytes;
  range->committed = 0;
}

void mem_range_grow(MemRange* range, size_t bytes) {
  if (bytes > range->reserved) mem_out_of_memory();
  size_t ready = std::min((bytes + kMemBlockReadyStep - 1) & ~(kMemBlockReadyStep - 1), range->reserved);
  if (ready > range->committed) {
    // Doubling keeps the number of calls logarithmic for large runs.
    size_t step = std::min((ready + kRangeStep - 1) & ~(kRangeStep - 1), range->reserved);
    size_t wanted = std::min(std::max(step, range->committed * 2), range->reserved);
    if (mprotect(range->base + range->committed, wanted - range->committed, PROT_READ | PROT_WRITE) != 0)
      mem_out_of_memory();
    range->committed = wanted;
  }
  makePages(range->base + range->ready, ready - range->ready);
  range->ready = ready;
}

void mem_range_release(MemRange* range) {
  if (range->base) munmap(range->base, range->reserved);
  *range = MemRange{};
}

MemPool* mem_pool_create() {
  MemPool* pool = static_cast<MemPool*>(std::calloc(1, sizeof(MemPool)));
  if (!pool) mem_out_of_memory();
  return new (pool) MemPool();
}

size_t mem_pool_rounded_size(size_t size) {
  size_t rounded = (size + 3) & ~static_cast<size_t>(3);
  return rounded < sizeof(void*) ? sizeof(void*) : rounded;
}

namespace {

void* popFreeBlock(void*& head, size_t size) {
  void* block = head;
  void* following;
  std::memcpy(&following, block, sizeof following);  // 4-aligned blocks: no typed load
  head = following;
  std::memset(block, 0, size);
  return block;
}

// Ordinary chunks from this size on are mapped on their own, with their pages made at
// once: the pool fills them from the start, so every page is wanted. A chunk of one
// large block keeps lazy pages, as its owner may use only part of it. The leak checker
// looks for pointers in heap blocks but not in mappings of the program's own: with it,
// every chunk is a heap block, or the chunks and nodes they reach would count as lost.
#if defined(__SANITIZE_ADDRESS__)
#define VEKT_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEKT_LEAK_CHECKED 1
#endif
#endif
#ifdef VEKT_LEAK_CHECKED
constexpr size_t kMappedChunk = SIZE_MAX;
#else
constexpr size_t kMappedChunk = size_t{64} << 10;
#endif

char* allocateChunk(size_t size, bool ordinary, size_t* ready) {
  *ready = size;
  if (!ordinary) return static_cast<char*>(xcalloc(1, size));
  void* block = mem_block_alloc(size, ready);
  if (!block) mem_out_of_memory();
  return static_cast<char*>(block);
}

}  // namespace

void* mem_block_alloc(size_t size, size_t* ready) {
  VEKT_ASSERT(size > 0);
  if (size < kMappedChunk) {
    *ready = size;
    return std::calloc(1, size);
  }
  void* region = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) return nullptr;  // fresh anonymous pages are zero already
  *ready = mem_block_ready_step(region, size, 0);
  return region;
}

size_t mem_block_ready_step(void* block, size_t size, size_t ready) {
  if (ready >= size) return size;
  const size_t until = std::min(size, ready + kMemBlockReadyStep);
  // A heap block has no pages of its own to make.
  if (size >= kMappedChunk) makePages(static_cast<char*>(block) + ready, until - ready);
  return until;
}

void mem_block_free(void* block, size_t size) {
  if (!block) return;
  if (size < kMappedChunk)
    std::free(block);
  else
    munmap(block, size);
}

namespace {

// The size word of an ordinary chunk has its lowest bit set (sizes are multiples of 4).
constexpr size_t kOrdinaryChunkBit = 1;

void releaseChunk(char* chunk, size_t sizeWord) {
  if (sizeWord & kOrdinaryChunkBit)
    mem_block_free(chunk, sizeWord & ~kOrdinaryChunkBit);
  else
    std::free(chunk);
}

}  // namespace

void* mem_pool_alloc(MemPool* pool, size_t size) {
  VEKT_ASSERT(pool);
  size_t rounded = mem_pool_rounded_size(size);
  pool->inUse += rounded;

  if (rounded <= kMemPoolOwnChunkThreshold) {
    void*& list = pool->freeBySize[rounded / 4];
    if (list) return popFreeBlock(list, rounded);
  } else {
    if (rounded == pool->size1 && pool->free1) return popFreeBlock(pool->free1, rounded);
    if (rounded == pool->size2 && pool->free2) return popFreeBlock(pool->free2, rounded);
  }

  size_t alignment = rounded % 8 == 0 ? 8 : 4;
  if (pool->next) {
    size_t pad = (alignment - reinterpret_cast<uintptr_t>(pool->next) % alignment) % alignment;
    // The chunk's next step gets its pages only when the bump space reaches it.
    while (rounded + pad > pool->left && pool->unready > 0) {
      size_t step = std::min(pool->unready, kMemBlockReadyStep);
      makePages(pool->next + pool->left, step);
      pool->left += step;
      pool->unready -= step;
    }
    if (rounded + pad <= pool->left) {
      char* block = pool->next + pad;
      pool->next += rounded + pad;
      pool->left -= rounded + pad;
      return block;
    }
  }

  // The header is two pointers and chunks are aligned for any object, so a block
  // right behind the header is 8-aligned: no extra pad is needed.
  size_t chunkSize;
  if (rounded > kMemPoolOwnChunkThreshold) {
    chunkSize = kMemPoolChunkHeader + rounded;
  } else {
    chunkSize = pool->nextChunk;
    if (pool->nextChunk < kMemPoolLargestChunk) pool->nextChunk *= 2;
  }
  bool ordinary = rounded <= kMemPoolOwnChunkThreshold;
  size_t ready;
  char* chunk = allocateChunk(chunkSize, ordinary, &ready);
  size_t sizeWord = ordinary ? chunkSize | kOrdinaryChunkBit : chunkSize;
  std::memcpy(chunk, &pool->chunks, sizeof(char*));
  std::memcpy(chunk + sizeof(char*), &sizeWord, sizeof sizeWord);
  pool->chunks = chunk;
  char* block = chunk + kMemPoolChunkHeader;
  if (ordinary) {
    pool->next = block + rounded;
    pool->left = ready - kMemPoolChunkHeader - rounded;
    pool->unready = chunkSize - ready;
  }
  return block;
}

void mem_pool_release_chunks(MemPool* pool) {
  char* chunk = pool->chunks;
  while (chunk) {
    char* older;
    size_t sizeWord;
    std::memcpy(&older, chunk, sizeof older);
    std::memcpy(&sizeWord, chunk + sizeof(char*), sizeof sizeWord);
    releaseChunk(chunk, sizeWord);
    chunk = older;
  }
  pool->chunks = nullptr;
  pool->next = nullptr;
  pool->left = 0;
  pool->unready = 0;
}
