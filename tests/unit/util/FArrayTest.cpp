#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "util/c-memory.h"
#include "util/farray.h"

namespace {

TEST(FArrayTest, AccessGrowsByDoublingAndZeroFillsNewElements) {
  struct Step {
    uint32_t index;
    bool store;
    size_t capacity;  // after the step
    size_t count;
  };
  struct Case {
    const char* name;
    size_t capacity;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"inside", 32, {{5, false, 32, 6}, {31, true, 32, 32}}},
      {"past the end doubles", 32, {{40, false, 64, 41}, {5, false, 64, 41}}},
      {"far past the end", 32, {{200, true, 256, 201}}},
      {"exactly the capacity", 32, {{32, true, 64, 33}}},
      {"from one element", 1, {{0, true, 1, 1}, {1, true, 2, 2}, {6, true, 8, 7}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FArray a = {sizeof(uint64_t), c.capacity, 0, xcalloc(c.capacity, sizeof(uint64_t))};
    std::vector<uint64_t> expected;
    for (const Step& step : c.steps) {
      uint64_t value = 0x1000 + step.index;
      uint64_t* element = static_cast<uint64_t*>(
          step.store ? farray_set(&a, step.index, &value) : farray_at(&a, step.index));
      EXPECT_EQ(a.capacity, step.capacity);
      EXPECT_EQ(a.count, step.count);
      if (expected.size() < a.capacity) expected.resize(a.capacity, 0);
      if (step.store) expected[step.index] = value;
      EXPECT_EQ(*element, expected[step.index]);
    }
    // Elements never stored, including all those added by growth, read as zero.
    const uint64_t* data = static_cast<const uint64_t*>(a.data);
    for (size_t i = 0; i < a.capacity; ++i) EXPECT_EQ(data[i], expected[i]) << i;
    std::free(a.data);
  }
}

}  // namespace
