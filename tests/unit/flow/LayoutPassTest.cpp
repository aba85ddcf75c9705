// The layout driver and pass over flows of stand-in nodes: sizes fixed or depending
// on where a label lies, so that convergence, the pass cap, label values, reset
// nodes and the choice among a generic's rewrites show without instruction tables.
#include <cstdlib>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/OrbaExpression.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/FReset.h"
#include "flow/FlowWalker.h"
#include "flow/OrbaOptimizer.h"
#include "util/ControlState.h"

namespace {

// The offset a label of a section-less symbol holds; -1 before it has one.
int64_t offsetOf(const Symbol* target) {
  const OrbaExpression* value = target->valueExpression;
  return value && value->getKind() == EK_integer ? value->getInteger() : -1;
}

// Data of a fixed size.
class FixedNode : public FlowNode {
 public:
  FixedNode(LineInfo* line, int32_t units) : FlowNode(line, kStorage), units_(units) {}
  FlowNode* clone() const override { return nullptr; }
  int32_t computeSize(Section*, uint32_t) override { return units_; }
  void dump(std::ostream&) const override {}

 private:
  int32_t units_;
};

// A jump with a 2-unit form that reaches less than `reach` units and a 4-unit form
// that reaches everywhere. Once the short form failed it is never taken again, as
// an instruction excludes a form for good.
class BranchNode : public FlowNode {
 public:
  BranchNode(LineInfo* line, Symbol* target, int64_t reach) : FlowNode(line, kInstruction), target_(target), reach_(reach) {}
  FlowNode* clone() const override { return nullptr; }
  void dump(std::ostream&) const override {}

  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool fresh) override {
    if (fresh) {
      shortExcluded_ = false;
      selected_ = -1;
    }
    const int32_t before = selected_;
    if (mode == kLayoutInitial) {
      selected_ = shortExcluded_ ? 1 : 0;
    } else {
      int64_t at = offsetOf(target_);
      bool fits = at >= 0 && std::llabs(at - walker.offset) < reach_;
      if (!fits) shortExcluded_ = true;
      selected_ = shortExcluded_ ? 1 : 0;
    }
    walker.nodeSize = selected_ == 0 ? 2 : 4;
    LayoutChoice choice;
    choice.chosen = selected_;
    choice.changed = selected_ != before;
    return choice;
  }

 private:
  Symbol* target_;
  int64_t reach_;
  bool shortExcluded_ = false;
  int32_t selected_ = -1;
};

// A node that keeps changing its mind: 4 units while its label lies before offset 3,
// 2 units otherwise. Placed right before that label it flips in every pass, until a
// fixed-mode layout settles it on the larger form.
class FlipNode : public FlowNode {
 public:
  FlipNode(LineInfo* line, Symbol* target) : FlowNode(line, kInstruction), target_(target) {}
  FlowNode* clone() const override { return nullptr; }
  void dump(std::ostream&) const override {}

  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool) override {
    const int32_t before = selected_;
    if (mode == kLayoutFixed) fixed_ = true;
    if (fixed_)
      selected_ = 1;
    else if (mode == kLayoutInitial)
      selected_ = 0;
    else
      selected_ = offsetOf(target_) < 3 ? 1 : 0;
    walker.nodeSize = selected_ == 0 ? 2 : 4;
    LayoutChoice choice;
    choice.chosen = selected_;
    choice.changed = selected_ != before;
    return choice;
  }

 private:
  Symbol* target_;
  int32_t selected_ = -1;
  bool fixed_ = false;
};

// An instruction of one size whose operand fits while its label lies less than
// `reach` units away (undecided while the label has no value yet).
class RangeNode : public FlowNode {
 public:
  RangeNode(LineInfo* line, Symbol* target, int32_t units, int64_t reach)
      : FlowNode(line, kInstruction), target_(target), units_(units), reach_(reach) {}
  FlowNode* clone() const override { return nullptr; }
  void dump(std::ostream&) const override {}

  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool) override {
    LayoutChoice choice;
    walker.nodeSize = units_;
    if (mode == kLayoutInitial) return choice;
    int64_t at = offsetOf(target_);
    choice.usable = at < 0 ? 2 : std::llabs(at - walker.offset) < reach_ ? 1 : 0;
    if (mode == kLayoutFixed && choice.usable == 0) {
      choice.chosen = -1;
      walker.nodeSize = 0;
    }
    return choice;
  }

 private:
  Symbol* target_;
  int32_t units_;
  int64_t reach_;
};

// A generic that keeps its expansion unbuilt, as the statement parser makes it: its one
// rewrite is a 2-unit instruction reaching 256 units; building adds an 8-unit one that
// reaches everywhere. `instructions` bounds the expansion from below, a halfword each.
class DeferredGeneric : public FGeneric {
 public:
  DeferredGeneric(LineInfo* line, LineInfo* expansionLine, Symbol* target, uint16_t instructions)
      : FGeneric(line), expansionLine_(expansionLine), target_(target) {
    deferredInstructions = instructions;
  }
  void buildDeferredRewrites() override {
    if (!rewritesDeferred()) return;
    deferredInstructions = kNotDeferred;
    ++builds;
    addRewrite(new RangeNode(expansionLine_, target_, 8, 1 << 30));
  }
  int builds = 0;

 private:
  LineInfo* expansionLine_;
  Symbol* target_;
};

class LayoutPassTest : public FlowTest {
 protected:
  Symbol* label(const std::string& name) {
    auto found = labels_.find(name);
    if (found != labels_.end()) return found->second;
    return labels_[name] = symbol(name.c_str());
  }

  // Fills the section from a line of tokens: "S<n>" n units of data, "L:<name>" a
  // label, "A<n>:<name>" a label aligned to n units, "B:<name>" a jump, "F:<name>" a
  // node that flips, "G:<name>" a generic whose first rewrite is a 2-unit
  // instruction reaching 256 units and whose second is an 8-unit one reaching
  // everywhere, "H:<name>" a generic whose one rewrite is a jump, "R" a reset node.
  void fill(Section* into, const std::string& flow) {
    std::istringstream tokens(flow);
    std::string token;
    while (tokens >> token) {
      LineInfo* at = line(++lineNumber_, into);
      std::string name = token.find(':') == std::string::npos ? "" : token.substr(token.find(':') + 1);
      FlowNode* node = nullptr;
      switch (token[0]) {
        case 'S': node = new FixedNode(at, std::atoi(token.c_str() + 1)); break;
        case 'L': node = new FLabel(at, label(name)); break;
        case 'A': {
          auto* aligned = new FLabel(at, label(name));
          aligned->alignment = std::atoi(token.c_str() + 1);
          node = aligned;
          break;
        }
        case 'B': node = new BranchNode(at, label(name), 256); break;
        case 'F': node = new FlipNode(at, label(name)); break;
        case 'R': node = new FReset(at); break;
        case 'H': {
          auto* generic = new FGeneric(at);
          generic->addRewrite(new BranchNode(line(lineNumber_, into), label(name), 256));
          node = generic;
          break;
        }
        case 'G': {
          auto* generic = new FGeneric(at);
          LineInfo* first = line(lineNumber_, into);
          LineInfo* second = line(lineNumber_, into);
          second->setVariant(1);
          generic->addRewrite(new RangeNode(first, label(name), 2, 256));
          generic->addRewrite(new RangeNode(second, label(name), 8, 1 << 30));
          node = generic;
          break;
        }
      }
      ASSERT_NE(node, nullptr) << token;
      into->addNode(node, true);
    }
  }

  std::map<std::string, Symbol*> labels_;
  uint32_t lineNumber_ = 1;
};

TEST_F(LayoutPassTest, RunSettlesSizesLabelValuesAndPassCounts) {
  struct Case {
    const char* name;
    const char* flow;
    bool code;
    bool max;
    bool sizeOptimisation;
    uint32_t size;
    std::vector<std::pair<const char*, int64_t>> labels;
    uint32_t relaxIterations;
  };
  const Case cases[] = {
      {"empty code section", "", true, false, true, 0, {}, 1},
      {"far jump grows once", "B:L1 S300 L:L1", true, false, true, 0x130, {{"L1", 304}}, 2},
      {"near jump stays short", "B:L1 S10 L:L1", true, false, true, 0xC, {{"L1", 12}}, 1},
      {"backward jump out of reach", "L:L0 S300 B:L0", true, false, true, 304, {{"L0", 0}}, 2},
      // The first jump grows only after the second pushed its label out of reach.
      {"growth cascades", "B:LA S2 B:LB S249 L:LA S300 L:LB", true, false, true, 559, {{"LA", 259}, {"LB", 559}}, 3},
      // Without instruction-size optimisation one fixed pass decides: the jump has no
      // target value yet and takes its long form.
      {"fixed mode without relaxation", "B:L1 S10 L:L1", true, false, false, 14, {{"L1", 14}}, 0},
      // A data section is laid out once, optimistically.
      {"data section in one pass", "S3 A4:L1 S1", false, false, true, 5, {{"L1", 4}}, 0},
      {"aligned label pads in code", "S1 A4:L1 B:L1", true, false, true, 6, {{"L1", 4}}, 1},
      {"reset restarts offsets", "S3 R S1 L:L1", false, false, true, 1, {{"L1", 1}}, 0},
      {"max section keeps the largest part", "S3 R S1 L:L1", false, true, true, 3, {{"L1", 1}}, 0},
      {"flipping node hits the pass cap", "F:L1 L:L1", true, false, true, 4, {{"L1", 4}},
       OrbaOptimizer::kMaxRelaxPasses + 3},
      {"generic near takes the short rewrite", "G:L1 S10 L:L1", true, false, true, 12, {{"L1", 12}}, 1},
      // The generic keeps its rewrite while the jump inside grows: only the label
      // behind it tells that the first jump must be checked again.
      {"moved label alone asks for another pass", "B:L1 H:L2 S250 L:L1 S300 L:L2", true, false, true, 558,
       {{"L1", 258}, {"L2", 558}}, 3},
      {"generic far takes the long rewrite", "G:L1 S400 L:L1", true, false, true, 408, {{"L1", 408}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    labels_.clear();
    ControlState controls;
    controls.instrSizeOpt = c.sizeOptimisation;
    Section* made = section(c.name);
    made->line->controlState = &controls;
    made->flags.set(0, Section::SectionFlags::kCodeBit, c.code);
    made->flags.set(1, Section::SectionFlags::kMax, c.max);
    fill(made, c.flow);
    for (auto& [name, target] : labels_) target->section = nullptr;

    OrbaOptimizer optimizer;
    optimizer.run();
    EXPECT_EQ(made->size, c.size);
    EXPECT_TRUE(made->laidOut);
    EXPECT_EQ(optimizer.relaxIterations(), c.relaxIterations);
    for (auto& [name, offset] : c.labels) EXPECT_EQ(offsetOf(label(name)), offset) << name;
    runState().sectionAdmin->unlink(made);
  }
}

// Layout builds a generic's expansion only when its choice may depend on it: the hardware
// form fails or is undecided, is larger than the least the expansion can take, or the pass
// takes the largest rewrite. Otherwise the hardware form is the choice without it.
TEST_F(LayoutPassTest, DeferredExpansionIsBuiltOnlyWhenTheChoiceNeedsIt) {
  struct Case {
    const char* name;
    int32_t distance;  // units of data between the generic and its target
    bool sizeOptimisation;
    uint16_t instructions;
    uint32_t size;
    int builds;
  };
  const Case cases[] = {
      {"near target keeps the hardware form unbuilt", 10, true, 4, 12, 0},
      {"far target builds and takes the expansion", 400, true, 4, 408, 1},
      {"a bound below the hardware size builds it, the hardware form stays", 10, true, 0, 12, 1},
      {"the fixed pass builds it and takes the largest", 10, false, 4, 18, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    labels_.clear();
    ControlState controls;
    controls.instrSizeOpt = c.sizeOptimisation;
    Section* made = section(c.name);
    made->line->controlState = &controls;
    made->flags.set(0, Section::SectionFlags::kCodeBit, true);
    LineInfo* at = line(++lineNumber_, made);
    LineInfo* expansion = line(lineNumber_, made);
    expansion->setVariant(1);
    auto* generic = new DeferredGeneric(at, expansion, label("T"), c.instructions);
    generic->addRewrite(new RangeNode(line(lineNumber_, made), label("T"), 2, 256));
    made->addNode(generic, true);
    made->addNode(new FixedNode(line(++lineNumber_, made), c.distance), true);
    made->addNode(new FLabel(line(++lineNumber_, made), label("T")), true);
    label("T")->section = nullptr;

    OrbaOptimizer optimizer;
    optimizer.run();
    EXPECT_EQ(made->size, c.size);
    EXPECT_EQ(generic->builds, c.builds);
    runState().sectionAdmin->unlink(made);
  }
}

TEST_F(LayoutPassTest, LabelValuesAreTheSectionBaseAndFoldedOffsets) {
  Section* text = section(".text");
  fill(text, "L:start S6 L:after");
  for (auto& [name, target] : labels_) target->section = text;
  OrbaOptimizer optimizer;
  optimizer.run();
  // At offset 0 the value is the base itself; further on, base + offset.
  EXPECT_EQ(label("start")->valueExpression, text->baseExpression());
  const OrbaExpression* after = label("after")->valueExpression;
  ASSERT_NE(after, nullptr);
  ASSERT_EQ(after->getKind(), EK_binary);
  EXPECT_EQ(after->getArgument(0), text->baseExpression());
  EXPECT_EQ(after->getArgument(1)->getInteger(), 6);
  // The labels carry the pass that placed them.
  EXPECT_EQ(label("after")->layoutBlock, text->walker->pass);
  EXPECT_EQ(text->layoutBlock, text->walker->pass);
}

TEST_F(LayoutPassTest, PlaceholderSectionAndLaidOutSectionsAreLeftAlone) {
  Section* placeholder = section("placeholder");
  fill(placeholder, "S5");
  Section* done = section(".done");
  fill(done, "S7");
  done->laidOut = 1;
  done->size = 1;
  Section* savedPlaceholder = runState().placeholderSection;
  runState().placeholderSection = placeholder;
  OrbaOptimizer optimizer;
  optimizer.run();
  runState().placeholderSection = savedPlaceholder;
  EXPECT_EQ(placeholder->size, 0u);
  EXPECT_FALSE(placeholder->laidOut);
  EXPECT_EQ(done->size, 1u);
}

TEST_F(LayoutPassTest, RelaxPassReportsChangeUntilLabelsStopMoving) {
  Section* text = section(".text");
  fill(text, "B:L1 S300 L:L1");
  for (auto& [name, target] : labels_) target->section = nullptr;
  FlowWalker* walker = text->flowWalker();
  const int32_t modes[] = {kLayoutInitial, kLayoutRelax, kLayoutRelax, kLayoutRelax};
  const bool changed[] = {true, true, false, false};
  const int32_t ends[] = {302, 304, 304, 304};
  for (size_t pass = 0; pass < std::size(modes); ++pass) {
    SCOPED_TRACE(pass);
    walker->reset();
    OrbaOptimizer::PassResult result = OrbaOptimizer::relaxSection(*walker, modes[pass]);
    EXPECT_EQ(result.changed, changed[pass]);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(walker->offset, ends[pass]);
  }
}

}  // namespace
