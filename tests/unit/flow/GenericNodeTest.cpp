// The generic instruction node: how rewrite nodes form groups, and what the node is
// worth before and after layout chooses a group.
#include <vector>

#include "FlowFixture.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"

namespace {

// A node of a fixed size, standing in for an instruction of a rewrite group.
class SizedNode : public FlowNode {
 public:
  SizedNode(LineInfo* line, int32_t units, uint16_t cost) : FlowNode(line, kAlign), units_(units) { cycles = cost; }
  FlowNode* clone() const override { return new SizedNode(line, units_, cycles); }
  int32_t computeSize(Section*, uint32_t offset) override {
    offsets.push_back(offset);
    return units_;
  }
  void dump(std::ostream&) const override {}
  std::vector<uint32_t> offsets;

 private:
  int32_t units_;
};

class GenericNodeTest : public FlowTest {
 protected:
  ScopedManagers managers_{ScopedManagers::kAll};
};

TEST_F(GenericNodeTest, RewriteNodesGroupByConsecutiveLineKeys) {
  struct Case {
    std::vector<int16_t> keys;
    std::vector<size_t> groupSizes;
  };
  const Case cases[] = {
      {{0, 0, 1}, {2, 1}},
      // A key that comes back later opens a group of its own.
      {{0, 0, 1, 0}, {2, 1, 1}},
      {{1}, {1}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    FGeneric generic(line(1));
    std::vector<SizedNode*> nodes;
    for (int16_t key : c.keys) {
      LineInfo* at = line(2);
      at->setVariant(key);
      nodes.push_back(new SizedNode(at, 4, 1));
      generic.addRewrite(nodes.back());
    }
    ASSERT_EQ(generic.groups.size(), c.groupSizes.size());
    for (size_t g = 0; g < c.groupSizes.size(); ++g) EXPECT_EQ(generic.groups[g]->nodes.count(), c.groupSizes[g]);
    // The generic owns its rewrite nodes and deletes them with itself.
  }
}

TEST_F(GenericNodeTest, ChosenGroupGivesSizeAndCyclesFromRunningOffsets) {
  Section* text = section(".text");
  FGeneric generic(line(1, text));
  LineInfo* first = line(2, text);
  first->setVariant(0);
  LineInfo* second = line(3, text);
  second->setVariant(1);
  auto* a = new SizedNode(first, 4, 1);
  auto* b = new SizedNode(second, 2, 1);
  auto* c = new SizedNode(second, 4, 2);
  generic.addRewrite(a);
  generic.addRewrite(b);
  generic.addRewrite(c);

  // Nothing chosen yet: no size, no cycles.
  EXPECT_EQ(generic.computeSize(text, 16), 0);
  EXPECT_EQ(generic.getCycles(), 0);

  generic.selected = 1;
  EXPECT_EQ(generic.computeSize(text, 16), 6);
  EXPECT_EQ(c->offsets.back(), 18u);  // after the 2 units of the node before it
  EXPECT_EQ(generic.getCycles(), 3);
  generic.setExcluded(0, true);
  generic.setExcluded(0, true);
  EXPECT_EQ(generic.excludedCount, 1u);
  generic.setExcluded(0, false);
  EXPECT_EQ(generic.excludedCount, 0u);
}

TEST_F(GenericNodeTest, GeneratedLineNodesJoinTheGenericAtTheSectionEnd) {
  Section* text = section(".text");
  auto* generic = new FGeneric(line(1, text));
  text->addNode(generic, true);
  LineInfo* generated = line(2, text);
  generated->setVariant(0);
  auto* node = new SizedNode(generated, 4, 1);
  text->addNode(node, true);
  // A line of the source again goes to the flow.
  auto* after = new SizedNode(line(3, text), 2, 1);
  text->addNode(after, true);
  EXPECT_EQ(text->nodeCount(), 2u);
  ASSERT_EQ(generic->groups.size(), 1u);
  EXPECT_EQ(generic->groups[0]->nodes.first(), node);
}

}  // namespace
