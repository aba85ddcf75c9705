// The arrays that keep a candidate's few fields, runs and conditions in its record: the
// elements stay in order and whole when the array moves to the heap and when it is copied,
// moved or assigned on either side of that line.
#include "util/InlineVector.h"

#include <gtest/gtest.h>

#include <numeric>
#include <utility>
#include <vector>

namespace {

using Small = InlineVector<int, 4>;

Small filled(int count) {
  Small values;
  for (int i = 0; i < count; ++i) values.push_back(i * 7);
  return values;
}

std::vector<int> contents(const Small& values) { return std::vector<int>(values.begin(), values.end()); }

std::vector<int> expected(int count) {
  std::vector<int> values;
  for (int i = 0; i < count; ++i) values.push_back(i * 7);
  return values;
}

TEST(InlineVector, ElementsSurviveGrowthCopiesAndMovesOnBothSidesOfTheInlineRoom) {
  // Below, at and past the four elements kept in place, and far past them.
  for (int count : {0, 3, 4, 5, 9, 100}) {
    Small grown = filled(count);
    EXPECT_EQ(contents(grown), expected(count)) << count;
    EXPECT_GE(grown.capacity(), static_cast<size_t>(std::max(count, 4))) << count;

    Small copied(grown);
    EXPECT_EQ(contents(copied), expected(count)) << count;
    if (count > 0) {
      copied[0] = -1;
      EXPECT_EQ(grown[0], 0) << count << ": a copy has its own storage";
    }

    Small moved(std::move(copied));
    EXPECT_EQ(moved.size(), static_cast<size_t>(count)) << count;
    EXPECT_TRUE(copied.empty()) << count << ": a moved-from array is empty";
    copied.push_back(42);
    EXPECT_EQ(contents(copied), std::vector<int>{42}) << count << ": and usable";

    for (int other : {2, 6}) {
      Small target = filled(other);
      target = grown;
      EXPECT_EQ(contents(target), expected(count)) << count << " over " << other;
      Small moveTarget = filled(other);
      moveTarget = filled(count);
      EXPECT_EQ(contents(moveTarget), expected(count)) << count << " moved over " << other;
    }

    grown.clear();
    EXPECT_TRUE(grown.empty());
    grown.push_back(5);
    EXPECT_EQ(contents(grown), std::vector<int>{5}) << count << ": cleared storage is reused";
    grown.reset();
    EXPECT_EQ(grown.capacity(), 4u) << count << ": reset gives the heap back";
  }
  Small listed = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(contents(listed), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  listed = {9};
  EXPECT_EQ(contents(listed), std::vector<int>{9});
}

TEST(InlineVector, TheHeapPointerTakesTheRoomOfTheInlineElements) {
  // Records hold millions of these: the object is its inline room and two counts.
  static_assert(sizeof(InlineVector<void*, 4>) == 4 * sizeof(void*) + 8);
  static_assert(sizeof(InlineVector<uint32_t, 2>) == 16);
  // An inline room smaller than a pointer still has room for the pointer.
  static_assert(sizeof(InlineVector<uint16_t, 1>) == sizeof(void*) + 8);
  InlineVector<uint16_t, 1> narrow;
  for (uint16_t i = 0; i < 40; ++i) narrow.push_back(static_cast<uint16_t>(i * 3));
  for (uint16_t i = 0; i < 40; ++i) ASSERT_EQ(narrow[i], i * 3) << i;
  InlineVector<uint16_t, 1> taken(std::move(narrow));
  EXPECT_EQ(taken.size(), 40u);
  EXPECT_EQ(taken.back(), 39 * 3);
  EXPECT_EQ(narrow.capacity(), 1u);
}

}  // namespace
