#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "util/c-memory.h"

namespace {

// A range grows in place: whatever was written stays where it was, every byte made
// usable reads zero before it is written, and the range never reports less room
// than was asked for.
TEST(MemRange, GrowsInPlaceAndKeepsWhatWasWritten) {
  struct Case {
    const char* name;
    std::vector<size_t> commits;  // in this order
  };
  const Case cases[] = {
      {"one byte", {1}},
      {"within the first step", {10, 100, 4096}},
      {"across steps", {1, 300000, 300001, 1 << 20}},
      {"a large jump, then smaller asks", {5 << 20, 1, 4 << 20}},
      {"exactly the reservation", {8 << 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemRange range;
    mem_range_reserve(&range, 8 << 20);
    char* const base = range.base;
    size_t written = 0;
    for (size_t bytes : c.commits) {
      mem_range_commit(&range, bytes);
      ASSERT_EQ(range.base, base);
      ASSERT_GE(range.ready, bytes);
      ASSERT_LE(range.ready, range.committed);
      ASSERT_LE(range.committed, range.reserved);
      for (size_t at = written; at < bytes; ++at) ASSERT_EQ(base[at], 0) << at;
      for (size_t at = written; at < bytes; ++at) base[at] = static_cast<char>(at * 7 + 1);
      if (bytes > written) written = bytes;
    }
    for (size_t at = 0; at < written; ++at) ASSERT_EQ(base[at], static_cast<char>(at * 7 + 1)) << at;
    mem_range_release(&range);
    EXPECT_EQ(range.base, nullptr);
  }
}

// A growing range holds pages up to the step its use has reached and none past it: less
// than a small step, whatever its size.
TEST(MemRange, HoldsPagesOnlyUpToTheStepItsUseReached) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (kMemBlockReadyStep % page != 0) GTEST_SKIP() << "pages larger than a step";
  struct Case {
    size_t used;   // bytes committed
    size_t ready;  // bytes from the base that have their pages then
  };
  const Case cases[] = {
      {1, kMemBlockReadyStep},
      {kMemBlockReadyStep, kMemBlockReadyStep},
      {kMemBlockReadyStep + 1, 2 * kMemBlockReadyStep},
      {(size_t{256} << 10) + 1, (size_t{256} << 10) + kMemBlockReadyStep},
      {(size_t{3} << 20) + 100, (size_t{3} << 20) + kMemBlockReadyStep},
      {(size_t{40} << 20) + 1, (size_t{40} << 20) + kMemBlockReadyStep},
  };
  constexpr size_t kReserved = size_t{64} << 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.used);
    MemRange range;
    mem_range_reserve(&range, kReserved);
    // Grown in small asks, as records are added one by one.
    for (size_t used = 64; used < c.used; used += 4096) mem_range_commit(&range, used);
    mem_range_commit(&range, c.used);
    EXPECT_EQ(range.ready, c.ready);
    std::vector<unsigned char> resident((range.committed - range.ready) / page);
    ASSERT_EQ(mincore(range.base + range.ready, range.committed - range.ready, resident.data()), 0);
    size_t count = 0;
    for (unsigned char flags : resident) count += flags & 1;
    EXPECT_EQ(count, 0u);
    mem_range_release(&range);
  }
}

TEST(MemRange, OutgrowingTheReservationIsOutOfMemory) {
  EXPECT_EXIT(
      {
        MemRange range;
        mem_range_reserve(&range, 1 << 20);
        mem_range_commit(&range, (1 << 20) + 1);
      },
      testing::ExitedWithCode(2), "F005: out of memory");
}

// Under a limit on the address space a reservation takes a part of it, so that a
// large one does not fail the run at its start.
TEST(MemRange, AnAddressSpaceLimitBoundsTheReservation) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory fills any address-space limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the sanitizer's shadow memory fills any address-space limit";
#endif
#endif
  // A fresh process: the limit must leave room for what the test program maps.
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = size_t{2} << 30;
        if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
        MemRange range;
        mem_range_reserve(&range, size_t{64} << 30);
        mem_range_commit(&range, 1 << 20);
        std::memset(range.base, 1, 1 << 20);
        std::_Exit(range.reserved <= (size_t{2} << 30) / 8 ? 0 : 4);
      },
      testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
