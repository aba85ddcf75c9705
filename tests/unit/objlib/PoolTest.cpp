#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "objlib/ios_hook.h"
#include "objlib/ios_pool.h"

namespace {

TEST(BlockPool, CreateRoundsBlocksAndFillsChunks) {
  struct Case {
    size_t request;
    size_t block;
    size_t chunk;
  };
  const Case cases[] = {
      {1, 8, 8176},     {12, 16, 8176},   {24, 24, 8160},   {80, 80, 8160},
      {120, 120, 8160}, {2044, 2048, 8192}, {3000, 3000, 12000},
  };
  for (const Case& c : cases) {
    BlockPool* pool = pool_create(c.request);
    ASSERT_NE(pool, nullptr) << c.request;
    EXPECT_EQ(pool->block_size, c.block) << c.request;
    EXPECT_EQ(pool->chunk_size, c.chunk) << c.request;
    EXPECT_EQ(pool_chunk_count(pool), 0u) << c.request;
    pool_destroy(pool);
  }
}

TEST(BlockPool, AbsurdBlockSizeIsRefused) {
  EXPECT_EQ(pool_create(SIZE_MAX), nullptr);
  EXPECT_EQ(pool_create(SIZE_MAX / 4), nullptr);
}

TEST(BlockPool, FreedBlockIsHandedOutFirst) {
  BlockPool* pool = pool_create(32);
  void* first = pool_alloc_block(pool);
  void* second = pool_alloc_block(pool);
  pool_free_block(first, pool);
  EXPECT_EQ(pool_alloc_block(pool), first);
  EXPECT_NE(pool_alloc_block(pool), second);
  pool_destroy(pool);
}

TEST(BlockPool, LastFreeReturnsChunksOnlyWhenThePoolHasSeveral) {
  struct Case {
    size_t blocks;
    size_t chunksWhileInUse;
    size_t chunksAfterFree;
  };
  // 16-byte blocks: 511 fit in one chunk.
  const Case cases[] = {{1, 1, 1}, {511, 1, 1}, {512, 2, 0}, {2000, 4, 0}};
  for (const Case& c : cases) {
    BlockPool* pool = pool_create(16);
    std::vector<void*> blocks;
    for (size_t i = 0; i < c.blocks; ++i) blocks.push_back(pool_alloc_block(pool));
    EXPECT_EQ(pool_chunk_count(pool), c.chunksWhileInUse) << c.blocks;
    EXPECT_EQ(std::set<void*>(blocks.begin(), blocks.end()).size(), c.blocks) << c.blocks;
    for (void* block : blocks) pool_free_block(block, pool);
    EXPECT_EQ(pool->in_use, 0u);
    EXPECT_EQ(pool_chunk_count(pool), c.chunksAfterFree) << c.blocks;
    // The pool works again after giving its chunks back.
    void* again = pool_alloc_block(pool);
    EXPECT_NE(again, nullptr);
    pool_free_block(again, pool);
    pool_destroy(pool);
  }
}

int hookEvents[8];
int countEvent(int event) {
  ++hookEvents[event];
  return 0;
}

TEST(BlockPool, DoubleFreeIsReportedAndNeverHandsABlockOutTwice) {
  std::memset(hookEvents, 0, sizeof hookEvents);
  IosHookFunction previous = mmi_set_hook(countEvent);
  BlockPool* pool = pool_create(16);
  void* block = pool_alloc_block(pool);
  pool_free_block(block, pool);
  pool_free_block(block, pool);
  EXPECT_EQ(hookEvents[IOS_EVENT_INCONSISTENCY], 1);
  void* first = pool_alloc_block(pool);
  void* second = pool_alloc_block(pool);
  EXPECT_NE(first, second);
  pool_destroy(pool);
  mmi_set_hook(previous);
}

TEST(SizeClassPools, AllocZeroesAndServesLargeRequestsFromTheHeap) {
  struct Case {
    size_t size;
    bool pooled;
  };
  const Case cases[] = {{1, true}, {4, true}, {13, true}, {63, true}, {64, true},
                        {65, false}, {1000, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(pool_find(c.size) != nullptr, c.pooled) << c.size;
    auto* block = static_cast<unsigned char*>(pool_alloc(c.size));
    ASSERT_NE(block, nullptr) << c.size;
    for (size_t i = 0; i < c.size; ++i) ASSERT_EQ(block[i], 0) << c.size << " byte " << i;
    std::memset(block, 0x5A, c.size);
    pool_free(block, c.size);
    // A dirtied block comes back zeroed.
    block = static_cast<unsigned char*>(pool_alloc(c.size));
    for (size_t i = 0; i < c.size; ++i) ASSERT_EQ(block[i], 0) << c.size << " byte " << i;
    pool_free(block, c.size);
  }
  EXPECT_EQ(pool_alloc(0), nullptr);
  pool_free(nullptr, 8);
}

TEST(SizeClassPools, SizesOfOneClassShareAPool) {
  EXPECT_EQ(pool_find(13), pool_find(16));
  EXPECT_NE(pool_find(16), pool_find(20));
}

TEST(SizeClassPools, RegisteringAClassAgainKeepsItsPool) {
  BlockPool* pool = pool_find(24);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool_register(24), pool);
  EXPECT_EQ(pool_register(21), pool);
  EXPECT_EQ(pool_find(24), pool);
}

// Each cell goes in front of the list with its payload, and the count follows.
TEST(CountedList, AllocLink8PutsACellInFrontAndCountsIt) {
  int payloads[3];
  struct Case {
    const char* name;
    std::vector<int*> pushed;
  };
  const Case cases[] = {
      {"one cell", {&payloads[0]}},
      {"three cells", {&payloads[0], &payloads[1], &payloads[2]}},
      {"a null payload", {nullptr, &payloads[1]}},
  };
  for (const Case& c : cases) {
    IosCountedList list{0, nullptr};
    for (size_t i = 0; i < c.pushed.size(); ++i) {
      IosListNode* head = list.head;
      IosListNode* cell = ios_alloc_link8(&list, c.pushed[i]);
      ASSERT_NE(cell, nullptr) << c.name;
      EXPECT_EQ(list.head, cell) << c.name;
      EXPECT_EQ(cell->next, head) << c.name;
      EXPECT_EQ(cell->payload, c.pushed[i]) << c.name;
      EXPECT_EQ(list.count, i + 1) << c.name;
    }
    for (size_t i = c.pushed.size(); i-- > 0;) EXPECT_EQ(ios_list_pop(&list), c.pushed[i]) << c.name;
    EXPECT_EQ(list.count, 0u) << c.name;
  }
  EXPECT_EQ(ios_alloc_link8(nullptr, &payloads[0]), nullptr);
}

TEST(CountedList, PopsInReverseOrderOfPushes) {
  IosCountedList list{0, nullptr};
  int payloads[3];
  for (int& payload : payloads) ASSERT_NE(ios_alloc_link8(&list, &payload), nullptr);
  EXPECT_EQ(list.count, 3u);
  EXPECT_EQ(ios_list_pop(&list), &payloads[2]);
  EXPECT_EQ(ios_list_pop(&list), &payloads[1]);
  EXPECT_EQ(ios_list_pop(&list), &payloads[0]);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(ios_list_pop(&list), nullptr);
  EXPECT_EQ(ios_list_pop(nullptr), nullptr);
}

}  // namespace
