// The candidate records (IPInstruction, Encoding, IPAttribute and the rest) come from their
// pools through the pooled classes' own short way: it must keep a pool exactly as the
// pool's functions keep it, block for block.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "util/MemoryPools.h"
#include "util/c-memory.h"

namespace {

struct Step {
  bool take;      // take a block, or give one back
  size_t size;    // of the block taken
  size_t index;   // of the block given back, in the order they were taken
};

// Applies the steps to a pool one way or the other; returns, after each step, the pool's
// count in use and which earlier block (by order taken) the block taken reuses, or -1.
struct Trace {
  std::vector<size_t> inUse;
  std::vector<long> reused;
  std::vector<bool> zeroed;
};

Trace run(const std::vector<Step>& steps, bool shortWay) {
  MemPool* pool = mem_pool_create();
  std::vector<void*> taken;
  std::vector<size_t> sizes;
  Trace trace;
  for (const Step& step : steps) {
    if (step.take) {
      void* block = shortWay ? pooledAllocate(pool, step.size) : mem_pool_alloc(pool, step.size);
      long reused = -1;
      for (size_t i = 0; i < taken.size(); ++i)
        if (taken[i] == block) reused = static_cast<long>(i);
      trace.reused.push_back(reused);
      bool zeroed = true;
      for (size_t i = 0; i < step.size; ++i) zeroed = zeroed && static_cast<unsigned char*>(block)[i] == 0;
      trace.zeroed.push_back(zeroed);
      // Written over, so that only a fill can make it zero again.
      std::memset(block, 0x5C, step.size);
      taken.push_back(block);
      sizes.push_back(step.size);
    } else {
      void* block = taken[step.index];
      if (shortWay) pooledFree(pool, block, sizes[step.index]);
      else MemoryPools::free(pool, block, sizes[step.index]);
      // A given-back block is filled with 0x2A behind its free-list link.
      size_t rounded = mem_pool_rounded_size(sizes[step.index]);
      for (size_t i = sizeof(void*); i < rounded; ++i)
        EXPECT_EQ(static_cast<unsigned char*>(block)[i], 0x2A) << "byte " << i;
    }
    trace.inUse.push_back(pool->inUse);
  }
  MemoryPools::destroyPool(pool);
  return trace;
}

TEST(PooledRecords, TheShortWayKeepsAPoolAsThePoolFunctionsDo) {
  struct Case {
    const char* behaviour;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"a block of each small size comes back for the same size",
       {{true, 48, 0}, {true, 96, 0}, {true, 184, 0}, {false, 0, 1}, {false, 0, 0}, {true, 48, 0},
        {true, 96, 0}, {false, 0, 2}, {true, 184, 0}}},
      {"blocks of one size come back last given first",
       {{true, 16, 0}, {true, 16, 0}, {true, 16, 0}, {false, 0, 0}, {false, 0, 2}, {true, 16, 0},
        {true, 16, 0}, {true, 16, 0}}},
      {"sizes that round alike share their blocks",
       {{true, 13, 0}, {false, 0, 0}, {true, 16, 0}, {true, 3, 0}, {false, 0, 2}, {true, 8, 0}}},
      {"large blocks take the pool's own way",
       {{true, 204, 0}, {true, 400, 0}, {false, 0, 0}, {false, 0, 1}, {true, 204, 0}, {true, 400, 0},
        {true, 1000, 0}, {false, 0, 4}, {true, 1000, 0}}},
  };
  for (const Case& c : cases) {
    Trace expected = run(c.steps, false);
    Trace got = run(c.steps, true);
    EXPECT_EQ(got.inUse, expected.inUse) << c.behaviour;
    EXPECT_EQ(got.reused, expected.reused) << c.behaviour;
    EXPECT_EQ(got.zeroed, expected.zeroed) << c.behaviour;
    for (bool zeroed : got.zeroed) EXPECT_TRUE(zeroed) << c.behaviour;
  }
}

}  // namespace
