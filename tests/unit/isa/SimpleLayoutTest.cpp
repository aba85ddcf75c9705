// A finished instruction in the layout passes: the initial pass only sizes it; the
// later passes check its "when" conditions, and one that fails makes it unusable
// for good, with the E122 text kept for its own output step.
#include <cstring>
#include <memory>

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
    auto simple = std::make_unique<FSimple>(line(2, text), candidate);
    simple->bits = 16;
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
      EXPECT_STREQ(simple->message, c.kept);
    else
      EXPECT_EQ(simple->message, nullptr);
    // Once unusable, the node stays so, also when the condition would hold later.
    if (c.chosen < 0) {
      simple->attr->whens[0]->condition = TEInteger::create(1);
      EXPECT_EQ(simple->layOut(walker, kLayoutRelax, false).chosen, -1);
    }
  }
}

}  // namespace
