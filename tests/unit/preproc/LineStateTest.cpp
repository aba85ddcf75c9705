#include <gtest/gtest.h>

#include "util/LineInfo.h"
#include "preproc/LineState.h"

namespace {

std::vector<int> forward(const LineState& state) {
  std::vector<int> order;
  for (LineInfo* line = state.first(); line; line = line->next) order.push_back(line->lineNumber);
  return order;
}

std::vector<int> backward(const LineState& state) {
  std::vector<int> order;
  for (LineInfo* line = state.last(); line; line = line->previous)
    order.insert(order.begin(), line->lineNumber);
  return order;
}

LineInfo* makeLine(uint32_t number) {
  auto* line = new LineInfo();
  line->lineNumber = number;
  return line;
}

TEST(LineState, InsertAfterInnerAndLastLineKeepsBothDirectionsConsistent) {
  struct Case {
    int anchorIndex;  // position in the list of three lines 1, 2, 3
    std::vector<int> expected;
    int expectedLast;
  };
  const Case cases[] = {
      {0, {1, 9, 2, 3}, 3},
      {1, {1, 2, 9, 3}, 3},
      {2, {1, 2, 3, 9}, 9},
  };
  for (const Case& c : cases) {
    LineState state;
    LineInfo* lines[3];
    for (int i = 0; i < 3; ++i) {
      lines[i] = makeLine(i + 1);
      state.append(lines[i]);
    }
    state.insertLineInfo(lines[c.anchorIndex], makeLine(9));
    EXPECT_EQ(forward(state), c.expected) << "anchor " << c.anchorIndex;
    EXPECT_EQ(backward(state), c.expected) << "anchor " << c.anchorIndex;
    EXPECT_EQ(static_cast<int>(state.last()->lineNumber), c.expectedLast);
  }
}

TEST(LineState, FileNameOutsideTheTableIsNull) {
  LineState state;
  EXPECT_EQ(state.addSourceFile("a.asm"), 0u);
  EXPECT_EQ(state.addSourceFile("b.inc"), 1u);
  EXPECT_STREQ(state.fileName(1), "b.inc");
  EXPECT_EQ(state.fileName(2), nullptr);
  EXPECT_EQ(state.fileName(-1), nullptr);
}

TEST(LineInfo, FreshLineHasNoVariantAddressOrFlags) {
  LineInfo line;
  line.flags[0] = 0xFF;
  line.flags[1] = 0xFF;
  line.flags[2] = 0xFF;
  line.flags[3] = 0xFF;
  line.clearFlags();
  EXPECT_EQ(line.flags[0], 0x10);
  EXPECT_EQ(line.flags[1], 0);
  EXPECT_EQ(line.flags[2], 0);
  EXPECT_EQ(line.flags[3], 0x80);
  LineInfo fresh;
  EXPECT_EQ(fresh.variant, -1);
  EXPECT_EQ(fresh.codeAddress, -1);
  EXPECT_EQ(fresh.controlState, nullptr);
  EXPECT_EQ(fresh.codeBytes, nullptr);
}

}  // namespace
