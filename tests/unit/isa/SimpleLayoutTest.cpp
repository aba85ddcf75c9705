// A finished instruction in the layout passes: the initial pass only sizes it; the
// later passes check its "when" conditions, and one that fails makes it unusable
// for good, with the E122 text kept for its own output step.
#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "expr/TEInteger.h"
#include "flow/FlowFixture.h"
#include "flow/FlowWalker.h"
#include "isa/FSimple.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"

namespace {

class SimpleLayoutTest : public FlowTest {};

TEST_F(SimpleLayoutTest, FailedConditionMakesTheNodeUnusableOutsideTheInitialPass) {
  struct Case {
    const char* name;
    int condition;  // -1 no attribute set, else the condition's constant value
    const char* message;
    int32_t mode;
    int32_t chosen;
    int32_t size;
    const char* kept;  // the text kept for output, null for none
  };
  const Case cases[] = {
      {"no conditions", -1, nullptr, kLayoutRelax, 0, 2, nullptr},
      {"condition holds", 1, "needs a core", kLayoutRelax, 0, 2, nullptr},
      {"initial pass does not check", 0, "needs a core", kLayoutInitial, 0, 2, nullptr},
      {"failed condition in a relax pass", 0, "needs a core", kLayoutRelax, -1, 0,
       "E122: invalid instruction: needs a core"},
      {"failed condition in the fixed pass", 0, "needs a core", kLayoutFixed, -1, 0,
       "E122: invalid instruction: needs a core"},
      {"failed condition without a message", 0, nullptr, kLayoutRelax, -1, 0, nullptr},
  };
  Section* text = section(".text");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IPInstruction candidate;
    candidate.encoding = new Encoding(16, nullptr);
    auto simple = std::make_unique<FSimple>(line(2, text), candidate);
    if (c.condition >= 0) {
      simple->attr = new IPAttribute();
      simple->attr->whens.push_back(new IPWhen(TEInteger::create(c.condition), c.message));
    }
    FlowWalker walker(text, nullptr);
    walker.reset();
    walker.offset = 6;
    FlowNode::LayoutChoice choice = simple->layOut(walker, c.mode, false);
    EXPECT_EQ(choice.chosen, c.chosen);
    EXPECT_EQ(walker.nodeSize, c.size);
    if (c.kept)
      EXPECT_STREQ(simple->keptMessage(), c.kept);
    else
      EXPECT_EQ(simple->keptMessage(), nullptr);
    // Once unusable, the node stays so, also when the condition would hold later.
    if (c.chosen < 0) {
      simple->attr->whens[0]->condition = TEInteger::create(1);
      EXPECT_EQ(simple->layOut(walker, kLayoutRelax, false).chosen, -1);
    }
  }
}

}  // namespace

namespace {

std::string dumpOf(const FlowNode& node) {
  std::ostringstream out;
  node.dump(out);
  return out.str();
}

TEST_F(SimpleLayoutTest, ImageOfAnyWidthSurvivesTheNodeAndItsClone) {
  struct Case {
    const char* name;
    uint32_t bits;
    uint32_t image[8];
    const char* dump;
  };
  const Case cases[] = {
      {"no bits", 0, {}, "FSimple(bits = 0, data =)\n"},
      {"16 bits", 16, {0, 0, 0, 0, 0, 0, 0, 0xabcd}, "FSimple(bits = 16, data = 0000abcd)\n"},
      {"32 bits", 32, {0, 0, 0, 0, 0, 0, 0, 0x8000000f}, "FSimple(bits = 32, data = 8000000f)\n"},
      {"64 bits", 64, {0, 0, 0, 0, 0, 0, 0x12345678, 0x9abcdef0}, "FSimple(bits = 64, data = 12345678 9abcdef0)\n"},
      {"96 bits", 96, {0, 0, 0, 0, 0, 0xfeedface, 1, 2},
       "FSimple(bits = 96, data = feedface 00000001 00000002)\n"},
  };
  Section* text = section(".text");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IPInstruction candidate;
    candidate.encoding = new Encoding(c.bits, nullptr);
    std::copy(std::begin(c.image), std::end(c.image), candidate.encoding->image);
    auto simple = std::make_unique<FSimple>(line(2, text), candidate);
    EXPECT_EQ(simple->bitCount(), c.bits);
    EXPECT_TRUE(simple->isUsable());
    EXPECT_EQ(dumpOf(*simple), c.dump);
    std::unique_ptr<FlowNode> copy(simple->clone());
    simple.reset();
    EXPECT_EQ(dumpOf(*copy), c.dump);
  }
}

TEST_F(SimpleLayoutTest, CloneKeepsTheFailedConditionAndALaterNodeDoesNotInheritIt) {
  Section* text = section(".text");
  IPInstruction candidate;
  candidate.encoding = new Encoding(32, nullptr);
  auto simple = std::make_unique<FSimple>(line(2, text), candidate);
  simple->attr = new IPAttribute();
  simple->attr->whens.push_back(new IPWhen(TEInteger::create(0), "needs a core"));
  FlowWalker walker(text, nullptr);
  walker.reset();
  EXPECT_EQ(simple->layOut(walker, kLayoutRelax, false).chosen, -1);

  std::unique_ptr<FSimple> copy(static_cast<FSimple*>(simple->clone()));
  EXPECT_FALSE(copy->isUsable());
  EXPECT_STREQ(copy->keptMessage(), "E122: invalid instruction: needs a core");
  EXPECT_EQ(copy->bitCount(), 32u);

  // A node made where a failed one was (pools reuse the block) starts usable.
  simple.reset();
  copy.reset();
  for (int k = 0; k < 2; ++k) {
    IPInstruction fresh;
    fresh.encoding = new Encoding(16, nullptr);
    auto node = std::make_unique<FSimple>(line(3, text), fresh);
    EXPECT_TRUE(node->isUsable());
    EXPECT_EQ(node->keptMessage(), nullptr);
    EXPECT_EQ(node->bitCount(), 16u);
    EXPECT_EQ(node->layOut(walker, kLayoutRelax, false).chosen, 0);
  }
}

}  // namespace
