// The instruction nodes: the order layout tries candidates in, and copies that own what
// they hold.
#include <gtest/gtest.h>

#include <vector>

#include "ScopedManagers.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "util/LineInfo.h"

namespace {

IPInstruction* candidate(uint8_t bits, bool preferred, uint32_t tag) {
  auto* made = new IPInstruction();
  made->encoding = new Encoding(bits, nullptr);
  made->attributes = new IPAttribute();
  made->attributes->isDefault = preferred ? 1 : 0;
  made->cycles = tag;  // tells the candidates apart
  return made;
}

TEST(InstructionNodeTest, CandidatesSortByWidthThenDefaultNullLast) {
  struct Case {
    std::vector<std::pair<uint8_t, bool>> forms;  // null for width 0
    std::vector<uint32_t> order;                  // tags in the sorted order
  };
  const Case cases[] = {
      {{{32, false}, {16, false}}, {1, 0}},
      {{{16, false}, {16, true}, {32, true}}, {1, 0, 2}},
      {{{0, false}, {32, false}}, {1, 0}},
  };
  for (const Case& c : cases) {
    std::vector<IPInstruction*> list;
    for (size_t i = 0; i < c.forms.size(); ++i)
      list.push_back(c.forms[i].first ? candidate(c.forms[i].first, c.forms[i].second, static_cast<uint32_t>(i))
                                      : nullptr);
    sortCandidates(list);
    ASSERT_EQ(list.size(), c.order.size());
    for (size_t i = 0; i < list.size(); ++i) {
      if (!list[i]) {
        EXPECT_EQ(i, list.size() - 1) << "null sorts last";
        continue;
      }
      EXPECT_EQ(list[i]->cycles, c.order[i]);
    }
    for (IPInstruction* made : list) delete made;
  }
}

TEST(InstructionNodeTest, SimpleNodeCopyOwnsItsAttributeSet) {
  ScopedManagers managers(ScopedManagers::kExpressions);
  LineInfo line;
  IPInstruction* form = candidate(16, false, 3);
  form->encoding->image[7] = 0xABCD;
  FSimple node(&line, *form);
  delete form;
  EXPECT_EQ(node.bitCount(), 16);
  EXPECT_EQ(node.word(7), 0xABCDu);
  EXPECT_EQ(node.cycles, 3);
  FlowNode* copy = node.clone();
  ASSERT_NE(copy, nullptr);
  auto* simple = static_cast<FSimple*>(copy);
  EXPECT_NE(simple->attr, node.attr);
  delete copy;  // the original's set must survive this
  ASSERT_NE(node.attr, nullptr);
  EXPECT_EQ(node.attr->isDefault, 0);
  EXPECT_EQ(node.computeSize(nullptr, 0), 2);
}

TEST(InstructionNodeTest, InstructionCopyKeepsOrderAndSelection) {
  std::vector<IPInstruction*> list{candidate(32, false, 0), candidate(16, false, 1)};
  LineInfo line;
  FInstruction node(&line, list);
  node.selected = 1;
  ASSERT_EQ(node.selectedCandidate()->cycles, 0u);  // the 32-bit form after sorting
  FlowNode* copy = node.clone();
  auto* twin = static_cast<FInstruction*>(copy);
  ASSERT_EQ(twin->candidates.size(), 2u);
  EXPECT_NE(twin->candidates[0], node.candidates[0]);
  EXPECT_EQ(twin->selectedCandidate()->cycles, 0u);
  delete copy;
  EXPECT_EQ(node.candidates[1]->encoding->bits, 32);
}

}  // namespace
