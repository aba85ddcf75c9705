#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "util/MemoryPools.h"
#include "util/c-memory.h"

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

bool allBytes(const void* block, size_t size, unsigned char value, size_t from = 0) {
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  for (size_t i = from; i < size; ++i) {
    if (bytes[i] != value) return false;
  }
  return true;
}

// A pool's free lists and bump space, exercised through a script of steps.
TEST(MemPoolTest, PoolRecyclesEverySmallSizeAndTheFirstTwoLargeOnes) {
  struct Case {
    const char* name;
    std::vector<size_t> freedSizes;  // freed in this order, one block each
    size_t reallocated;              // then this size is allocated again
    bool recycled;                   // comes back from a free list
  };
  const Case cases[] = {
      {"first freed size", {12, 20, 28}, 12, true},
      {"second freed size", {12, 20, 28}, 20, true},
      {"third freed size", {12, 20, 28}, 28, true},
      {"every small size", {8, 16, 24, 32, 40, 200}, 200, true},
      {"first large size", {204, 300, 404}, 204, true},
      {"second large size", {204, 300, 404}, 300, true},
      {"third large size stays in its chunk", {204, 300, 404}, 404, false},
      {"small sizes do not use up the large slots", {12, 20, 204, 300}, 300, true},
      {"sizes compare after rounding", {13}, 16, true},
      {"one size only", {24, 24}, 24, true},
      {"unfreed size", {12}, 40, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemPool* pool = mem_pool_create();
    std::vector<void*> freed;
    for (size_t size : c.freedSizes) freed.push_back(mem_pool_alloc(pool, size));
    for (size_t i = 0; i < freed.size(); ++i) MemoryPools::free(pool, freed[i], c.freedSizes[i]);
    void* again = mem_pool_alloc(pool, c.reallocated);
    bool fromFreeList = false;
    for (void* block : freed) fromFreeList |= block == again;
    EXPECT_EQ(fromFreeList, c.recycled);
    EXPECT_TRUE(allBytes(again, mem_pool_rounded_size(c.reallocated), 0));
    MemoryPools::destroyPool(pool);
  }
}

TEST(MemPoolTest, FreedBlockReadsAs2AUntilReusedThenAsZero) {
  MemPool* pool = mem_pool_create();
  // Three large sizes: the third is not recycled, so all its bytes keep the fill.
  void* first = mem_pool_alloc(pool, 16);
  void* second = mem_pool_alloc(pool, 204);
  void* third = mem_pool_alloc(pool, 300);
  void* fourth = mem_pool_alloc(pool, 404);
  std::memset(first, 0x11, 16);
  std::memset(second, 0x11, 204);
  std::memset(third, 0x11, 300);
  std::memset(fourth, 0x11, 404);
  MemoryPools::free(pool, first, 16);
  MemoryPools::free(pool, second, 204);
  MemoryPools::free(pool, third, 300);
  MemoryPools::free(pool, fourth, 404);
  // A recycled block's first pointer is its free-list link.
  EXPECT_TRUE(allBytes(first, 16, 0x2A, sizeof(void*)));
  EXPECT_TRUE(allBytes(second, 204, 0x2A, sizeof(void*)));
  EXPECT_TRUE(allBytes(third, 300, 0x2A, sizeof(void*)));
  EXPECT_TRUE(allBytes(fourth, 404, 0x2A));
  void* reused = mem_pool_alloc(pool, 16);
  ASSERT_EQ(reused, first);
  EXPECT_TRUE(allBytes(reused, 16, 0));
  MemoryPools::destroyPool(pool);
}

TEST(MemPoolTest, RoundsSizesAndAlignsToEightOnlyForMultiplesOfEight) {
  struct Case {
    size_t request;
    size_t rounded;
    size_t alignment;
  };
  // 1..4 take 8 so that a freed block holds a host pointer.
  const Case cases[] = {{1, 8, 8},   {4, 8, 8},   {5, 8, 8},     {6, 8, 8},
                        {12, 12, 4}, {20, 20, 4}, {24, 24, 8},   {201, 204, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    EXPECT_EQ(mem_pool_rounded_size(c.request), c.rounded);
    MemPool* pool = mem_pool_create();
    // A 4-byte-aligned 12-byte block first, so that an 8-aligned request needs a pad.
    mem_pool_alloc(pool, 12);
    void* block = mem_pool_alloc(pool, c.request);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % c.alignment, 0u);
    EXPECT_EQ(pool->inUse, 12 + c.rounded);
    MemoryPools::destroyPool(pool);
  }
}

TEST(MemPoolTest, LargeRequestThatDoesNotFitGetsOwnChunkAndKeepsBumpPointer) {
  MemPool* pool = mem_pool_create();
  // Large requests use the bump space of the current chunk while it lasts.
  char* small = static_cast<char*>(mem_pool_alloc(pool, 16));
  char* inBumpSpace = static_cast<char*>(mem_pool_alloc(pool, 201));
  EXPECT_EQ(inBumpSpace, small + 16);
  while (pool->left >= 204) mem_pool_alloc(pool, 100);
  char* next = pool->next;
  size_t left = pool->left;
  char* firstChunk = pool->chunks;
  void* large = mem_pool_alloc(pool, 201);
  EXPECT_EQ(pool->next, next);
  EXPECT_EQ(pool->left, left);
  EXPECT_NE(pool->chunks, firstChunk);
  EXPECT_EQ(static_cast<char*>(large), pool->chunks + kMemPoolChunkHeader);
  EXPECT_TRUE(allBytes(large, 204, 0));
  // The next small request still comes from the first chunk's bump space.
  EXPECT_EQ(static_cast<char*>(mem_pool_alloc(pool, 16)), next);
  MemoryPools::destroyPool(pool);
}

TEST(MemPoolTest, RequestThatDoesNotFitStartsNewOrdinaryChunk) {
  MemPool* pool = mem_pool_create();
  mem_pool_alloc(pool, 200);
  size_t usable = kMemPoolChunkSize - kMemPoolChunkHeader;
  EXPECT_EQ(pool->left, usable - 200);
  // Fill the chunk until fewer than 200 bytes are left.
  while (pool->left >= 200) mem_pool_alloc(pool, 200);
  char* oldChunk = pool->chunks;
  void* block = mem_pool_alloc(pool, 200);
  EXPECT_NE(pool->chunks, oldChunk);
  EXPECT_EQ(static_cast<char*>(block), pool->chunks + kMemPoolChunkHeader);
  // The second chunk is twice the size of the first.
  EXPECT_EQ(pool->left, 2 * kMemPoolChunkSize - kMemPoolChunkHeader - 200);
  MemoryPools::destroyPool(pool);
}

TEST(MemPoolTest, OrdinaryChunksDoubleUpToTheLargestAndComeZeroFilled) {
  MemPool* pool = mem_pool_create();
  // Each row: the chunk that the n-th ordinary chunk of the pool is (1-based).
  struct Case {
    int chunk;
    size_t bytes;
  } cases[] = {{1, kMemPoolChunkSize},
               {2, 2 * kMemPoolChunkSize},
               {3, 4 * kMemPoolChunkSize},
               {5, 16 * kMemPoolChunkSize},  // the first mapped one
               {7, 64 * kMemPoolChunkSize},
               {8, kMemPoolLargestChunk},
               {9, kMemPoolLargestChunk},
               {12, kMemPoolLargestChunk}};
  static_assert(64 * kMemPoolChunkSize == kMemPoolLargestChunk);
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chunk);
    char* first = nullptr;
    while (made < c.chunk) {
      // A request that fills no chunk to the end: the next one always starts a chunk.
      while (pool->left + pool->unready >= 200) mem_pool_alloc(pool, 200);
      first = static_cast<char*>(mem_pool_alloc(pool, 200));
      ++made;
    }
    ASSERT_EQ(first, pool->chunks + kMemPoolChunkHeader);
    EXPECT_EQ(pool->left + pool->unready, c.bytes - kMemPoolChunkHeader - 200);
    // Every byte up to the chunk's end is the pool's to hand out, and zero.
    size_t rest = pool->left + pool->unready;
    EXPECT_TRUE(allBytes(pool->next, rest, 0));
    std::memset(pool->next, 0x5A, rest);
  }
  MemoryPools::destroyPool(pool);  // ASan reports a chunk given back wrongly or not at all
}

// The pages of [from, from + bytes) that are resident.
size_t residentPages(const char* from, size_t bytes) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((bytes + page - 1) / page);
  if (mincore(const_cast<char*>(from), bytes, resident.data()) != 0) return SIZE_MAX;
  size_t count = 0;
  for (unsigned char flags : resident) count += flags & 1;
  return count;
}

// A mapped chunk holds pages only as far as the bump space has reached, rounded up to a
// step: the rest of a 256 KB chunk costs nothing until it is used.
TEST(MemPoolTest, MappedChunkGetsItsPagesAStepAtATimeAsItFills) {
#ifdef UNDER_ADDRESS_SANITIZER
  GTEST_SKIP() << "under the sanitizer every chunk is a heap block";
#endif
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (kMemBlockReadyStep % page != 0) GTEST_SKIP() << "pages larger than a step";
  struct Case {
    size_t handedOut;  // bytes of 200-byte blocks handed out of the largest chunk
    size_t ready;      // bytes of the chunk from its start that have their pages
  };
  const Case cases[] = {
      {200, kMemBlockReadyStep},
      {kMemBlockReadyStep - kMemPoolChunkHeader - 200, kMemBlockReadyStep},
      {kMemBlockReadyStep, 2 * kMemBlockReadyStep},
      {3 * kMemBlockReadyStep + 200, 4 * kMemBlockReadyStep},
      {kMemPoolLargestChunk - kMemPoolChunkHeader - 200, kMemPoolLargestChunk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handedOut);
    MemPool* pool = mem_pool_create();
    // Chunks double up to the largest: fill until one of that size has just started.
    char* chunk = nullptr;
    for (int guard = 0; guard < 100000 && !chunk; ++guard) {
      char* before = pool->chunks;
      mem_pool_alloc(pool, 200);
      if (pool->chunks != before && pool->left + pool->unready == kMemPoolLargestChunk - kMemPoolChunkHeader - 200)
        chunk = pool->chunks;
    }
    ASSERT_NE(chunk, nullptr);
    for (size_t handed = 200; handed < c.handedOut; handed += 200) mem_pool_alloc(pool, 200);
    EXPECT_EQ(pool->next + pool->left - chunk, static_cast<ptrdiff_t>(c.ready));
    EXPECT_EQ(pool->next + pool->left + pool->unready - chunk, static_cast<ptrdiff_t>(kMemPoolLargestChunk));
    // No page past the ready ones; those are the pool's, and zero.
    EXPECT_EQ(residentPages(chunk + c.ready, kMemPoolLargestChunk - c.ready), 0u);
    EXPECT_TRUE(allBytes(pool->next, pool->left, 0));
    MemoryPools::destroyPool(pool);
  }
}

// A block filled from its start has pages a step ahead of its filling at most, and every
// byte of it is usable at once.
TEST(CMemoryTest, BlockGetsItsPagesInStepsAndIsWholeFromTheStart) {
  struct Case {
    size_t size;
    int steps;     // calls of mem_block_ready_step after the allocation
    size_t ready;  // bytes from the start that have their pages then
    bool mapped;   // a block of its own mapping, not a heap block
  };
  const Case cases[] = {
      {4096, 0, 4096, false},
      {kMemBlockReadyStep, 3, kMemBlockReadyStep, false},
      {size_t{256} << 10, 0, kMemBlockReadyStep, true},
      {size_t{256} << 10, 1, 2 * kMemBlockReadyStep, true},
      {size_t{256} << 10, 7, size_t{256} << 10, true},
      {size_t{256} << 10, 9, size_t{256} << 10, true},
      {(size_t{64} << 10) + 4096, 2, (size_t{64} << 10) + 4096, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " after " << c.steps);
    size_t ready = 0;
    auto* block = static_cast<char*>(mem_block_alloc(c.size, &ready));
    ASSERT_NE(block, nullptr);
    for (int step = 0; step < c.steps; ++step) ready = mem_block_ready_step(block, c.size, ready);
#ifndef UNDER_ADDRESS_SANITIZER
    EXPECT_EQ(ready, c.ready);
    if (c.mapped) {
      EXPECT_EQ(residentPages(block + c.ready, c.size - c.ready), 0u);
    }
#endif
    EXPECT_TRUE(allBytes(block, c.size, 0));
    std::memset(block, 0x5A, c.size);
    mem_block_free(block, c.size);
  }
}

TEST(CMemoryTest, EmptyRequestsAllocateNothing) {
  EXPECT_EQ(xcalloc(0, 8), nullptr);
  EXPECT_EQ(xcalloc(8, 0), nullptr);
  void* block = xrealloc(nullptr, 16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(xrealloc(block, 0), nullptr);  // frees; ASan reports a leak otherwise
  EXPECT_EQ(xrealloc(nullptr, 0), nullptr);
}

TEST(CMemoryTest, TablesComeZeroFilledAndLargeOnesOnHugePageBoundaries) {
  constexpr size_t kHuge = size_t{2} << 20;
  struct Case {
    size_t size;
    bool hugeAligned;
  } cases[] = {{16, false}, {kHuge - 16, false}, {kHuge, true}, {kHuge + 16, true}, {3 * kHuge + 8, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    auto* table = static_cast<unsigned char*>(mem_table_alloc(c.size));
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(allBytes(table, c.size, 0));
    if (c.hugeAligned) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(table) % kHuge, 0u);
    }
    std::memset(table, 0x5A, c.size);  // every byte up to the size is the caller's
    mem_table_free(table, c.size);
  }
}

TEST(CMemoryDeathTest, ExhaustionPrintsTextAndExitsWithTwo) {
#ifdef UNDER_ADDRESS_SANITIZER
  GTEST_SKIP() << "the sanitizer's allocator aborts before the C library can fail";
#endif
  EXPECT_EXIT(xcalloc(SIZE_MAX / 2, 4), testing::ExitedWithCode(2),
              "^vekt F005: out of memory\n$");
}

// Deleting the registry would pull the pools from under other tests' objects, so
// these cases run in a child process and report through the exit status.
TEST(MemoryPoolsDeathTest, PoolDestroyedAheadOfRegistryIsFreedOnce) {
  EXPECT_EXIT(
      {
        MemoryPools::deleteInstance();
        MemoryPools& pools = MemoryPools::instance();
        MemPool* early = pools.registerPool("Early");
        MemPool* late = pools.registerPool("Late");
        mem_pool_alloc(early, 16);
        mem_pool_alloc(late, 16);
        bool found = pools.find("Early") == early;
        pools.destroyRegistered(early);
        bool gone = pools.find("Early") == nullptr && pools.find("Late") == late;
        pools.destroyRegistered(early);  // finds nothing the second time
        MemoryPools::deleteInstance();   // a double free aborts under ASan
        std::exit(found && gone ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MemoryPoolsTest, ReRegisteredNameFindsTheLivePool) {
  MemoryPools& pools = MemoryPools::instance();
  pools.registerPool("ReRegistered");
  pools.destroyRegistered(pools.find("ReRegistered"));
  EXPECT_EQ(pools.find("ReRegistered"), nullptr);
  MemPool* after = pools.registerPool("ReRegistered");
  EXPECT_EQ(pools.find("ReRegistered"), after);
  EXPECT_STREQ(pools.nameOf(after), "ReRegistered");
  pools.destroyRegistered(after);
}

// A pooled class as the rest of the assembler declares one.
class PooledNode {
 public:
  VEKT_POOLED_CLASS(PooledNode)
  explicit PooledNode(int value) : value(value) {}
  virtual ~PooledNode() = default;
  int value;
  void* link = nullptr;
};

class PooledLeaf : public PooledNode {
 public:
  using PooledNode::PooledNode;
  double weight = 0;
};

VEKT_POOLED_CLASS_IMPL(PooledNode, "PooledNode")

TEST(MemoryPoolsTest, PooledClassAllocatesFromItsNamedPool) {
  PooledNode* node = new PooledNode(7);
  MemPool* pool = PooledNode::pool();
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(MemoryPools::instance().find("PooledNode"), pool);
  EXPECT_EQ(pool->inUse, sizeof(PooledNode));
  // A derived object is returned with its own size through the virtual destructor.
  PooledNode* leaf = new PooledLeaf(8);
  EXPECT_EQ(pool->inUse, sizeof(PooledNode) + sizeof(PooledLeaf));
  delete leaf;
  delete node;
  EXPECT_EQ(pool->inUse, 0u);
  PooledNode* again = new PooledNode(9);
  EXPECT_EQ(again, node);  // recycled
  EXPECT_EQ(again->value, 9);
  delete again;
}

TEST(MemoryPoolsDeathTest, PooledClassRegistersAgainAfterTearDown) {
  EXPECT_EXIT(
      {
        delete new PooledNode(1);
        bool registered = PooledNode::pool() != nullptr;
        MemoryPools::deleteInstance();
        bool cleared = PooledNode::pool() == nullptr;
        PooledNode* node = new PooledNode(2);
        bool again = MemoryPools::instance().find("PooledNode") == PooledNode::pool();
        delete node;
        MemoryPools::deleteInstance();
        std::exit(registered && cleared && again ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
