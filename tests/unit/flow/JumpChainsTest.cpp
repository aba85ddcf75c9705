// Jump chains over hand-built flows: jumps stand in for instructions with a fixed reach,
// labels get their offsets as values, and the operations the chains ask of the target
// record what they would change.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/TEInteger.h"
#include "flow/FLabel.h"
#include "flow/JumpChains.h"

namespace {

// A jump that names one symbol and holds it within `reach` units either way.
class StandInJump : public FlowNode {
 public:
  StandInJump(LineInfo* line, Symbol* target, bool conditional, int64_t reach)
      : FlowNode(line, kInstruction), named(target), conditional(conditional), reach(reach) {}
  FlowNode* clone() const override { return nullptr; }
  void dump(std::ostream& out) const override { out << "StandInJump\n"; }

  Symbol* named;
  bool conditional;
  int64_t reach;
};

// Anything else that takes room between the jumps.
class Filler : public FlowNode {
 public:
  explicit Filler(LineInfo* line) : FlowNode(line, kStorage) {}
  FlowNode* clone() const override { return nullptr; }
  void dump(std::ostream& out) const override { out << "Filler\n"; }
};

class StandInInstructions : public JumpInstructions {
 public:
  bool jumpTarget(FlowNode* node, bool& conditional, Symbol*& target) override {
    auto* jump = dynamic_cast<StandInJump*>(node);
    if (!jump || !jump->named) return false;
    conditional = jump->conditional;
    target = jump->named;
    return true;
  }
  void retargetOperands(FlowNode* node, Symbol* from, Symbol* to) override {
    auto* jump = static_cast<StandInJump*>(node);
    EXPECT_EQ(jump->named, from) << "the chains name the operand's present target";
    jump->named = to;
  }
  bool reaches(FlowNode* node, Section*, int64_t offset, Symbol* from, Symbol* label) override {
    auto* jump = static_cast<StandInJump*>(node);
    EXPECT_EQ(jump->named, from);
    int64_t distance = Jump::targetValue(label) - offset;
    return distance <= jump->reach && -distance <= jump->reach;
  }
};

// One entry of a hand-built flow: an optional label, then a jump ('j' unconditional, 'c'
// conditional) of 4 units, or ('s') `units` units of anything else (none at all for 0
// units, so that the label stands together with the next one).
struct Item {
  const char* label;
  char kind;
  const char* target;  // a label name; "other:X" is label X of another section
  int64_t units = 4;
  int64_t reach = 1000;
};

class JumpChainsTest : public FlowTest {
 protected:
  JumpChainsTest() { installJumpInstructions(&instructions_); }
  ~JumpChainsTest() override { installJumpInstructions(nullptr); }

  // Builds the flow, gives the labels their offsets, and records every jump as the
  // initial layout pass would.
  void build(const std::vector<Item>& items) {
    code_ = section(".text.c");
    other_ = section(".text.o");
    labels_.clear();
    jumps_.clear();
    set_ = std::make_unique<JumpChainSet>(code_);
    int64_t offset = 0;
    for (const Item& item : items) {
      if (item.label) {
        Symbol* label = labelNamed(item.label);
        label->section = code_;
        label->valueExpression = TEInteger::create(offset);
        code_->addNode(new FLabel(line(1, code_), label), true);
      }
      if (item.kind == 's') {
        if (item.units > 0) code_->addNode(new Filler(line(3, code_)), true);
        offset += item.units;
        continue;
      }
      auto* jump = new StandInJump(line(2, code_), labelNamed(item.target), item.kind == 'c', item.reach);
      code_->addNode(jump, true);
      EXPECT_TRUE(set_->recordJump(jump, offset));
      jumps_.push_back(jump);
      offset += item.units;
    }
    // A label of the other section lies at offset 4, where the code section has one too.
    for (auto& [name, symbol] : labels_)
      if (name.rfind("other:", 0) == 0) {
        symbol->section = other_;
        symbol->valueExpression = TEInteger::create(4);
      }
  }

  Symbol* labelNamed(const std::string& name) {
    auto found = labels_.find(name);
    if (found != labels_.end()) return found->second;
    return labels_[name] = symbol(name.c_str());
  }

  // The label each jump names now, in flow order.
  std::vector<std::string> namedTargets() const {
    std::vector<std::string> names;
    for (const StandInJump* jump : jumps_) {
      std::string name = "?";
      for (const auto& [text, symbol] : labels_)
        if (symbol == jump->named) name = text;
      names.push_back(name);
    }
    return names;
  }

  StandInInstructions instructions_;
  Section* code_ = nullptr;
  Section* other_ = nullptr;
  std::map<std::string, Symbol*> labels_;
  std::vector<StandInJump*> jumps_;
  std::unique_ptr<JumpChainSet> set_;
};

// Every jump here reaches every label: what the chains leave is the end of each chain.
TEST_F(JumpChainsTest, JumpsEndUpAtTheEndOfUnconditionalChains) {
  struct Case {
    const char* name;
    std::vector<Item> flow;
    std::vector<std::string> final;  // the target each jump names once the chains are checked
  } cases[] = {
      {"one hop", {{nullptr, 'j', "A"}, {"A", 'j', "B"}, {"B", 's', nullptr}}, {"B", "B"}},
      {"two hops",
       {{nullptr, 'j', "A"}, {"A", 'j', "B"}, {"B", 'j', "C"}, {"C", 's', nullptr}},
       {"C", "C", "C"}},
      {"backwards",
       {{"C", 's', nullptr}, {"B", 'j', "C"}, {"A", 'j', "B"}, {nullptr, 'j', "A"}},
       {"C", "C", "C"}},
      {"cycle and a jump into it",
       {{nullptr, 'j', "A"}, {"A", 'j', "B"}, {"B", 'j', "A"}},
       {"A", "B", "A"}},
      {"jump to itself", {{"A", 'j', "A"}, {nullptr, 'j', "A"}}, {"A", "A"}},
      {"conditional jump is not followed",
       {{nullptr, 'j', "A"}, {"A", 'c', "B"}, {"B", 's', nullptr}},
       {"A", "B"}},
      {"conditional jump follows an unconditional one",
       {{nullptr, 'c', "A"}, {"A", 'j', "B"}, {"B", 's', nullptr}},
       {"B", "B"}},
      {"label of another section at the same offset",
       {{nullptr, 'j', "other:X"}, {"A", 'j', "B"}, {"B", 's', nullptr}},
       {"other:X", "B"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    build(c.flow);
    set_->planChains();
    set_->retarget();
    set_->checkChains();
    set_->retarget();
    EXPECT_EQ(namedTargets(), c.final);
  }
}

TEST_F(JumpChainsTest, FarJumpsGoThroughANearerJumpToTheSamePlace) {
  struct Case {
    const char* name;
    std::vector<Item> flow;
    std::vector<std::string> planned;
    std::vector<std::string> checked;  // after the final check
  } cases[] = {
      {"conditional jump out of reach uses the jump in between",
       {{nullptr, 'c', "F", 4, 100}, {"M", 'j', "F"}, {nullptr, 's', nullptr, 300}, {"F", 's', nullptr}},
       {"M", "F"},
       {"M", "F"}},
      {"conditional jump in reach drops the jump in between",
       {{nullptr, 'c', "F", 4, 1000}, {"M", 'j', "F"}, {nullptr, 's', nullptr, 300}, {"F", 's', nullptr}},
       {"M", "F"},
       {"F", "F"}},
      {"farther unconditional jump goes through the nearer one",
       {{nullptr, 'j', "F", 4, 100}, {nullptr, 's', nullptr, 50}, {"M", 'j', "F"},
        {nullptr, 's', nullptr, 300}, {"F", 's', nullptr}},
       {"M", "F"},
       {"M", "F"}},
      {"target behind: the farthest jump back that is reached",
       {{"F", 's', nullptr}, {nullptr, 's', nullptr, 300}, {"N", 'j', "F"}, {nullptr, 's', nullptr, 60},
        {"M", 'j', "F"}, {nullptr, 's', nullptr, 30}, {nullptr, 'c', "F", 4, 100}},
       {"F", "N", "M"},
       {"F", "F", "N"}},
      {"intermediate out of reach too: the planned one stays",
       {{nullptr, 'c', "F", 4, 10}, {nullptr, 's', nullptr, 50}, {"M", 'j', "F"},
        {nullptr, 's', nullptr, 300}, {"F", 's', nullptr}},
       {"M", "F"},
       {"M", "F"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    build(c.flow);
    set_->planChains();
    set_->retarget();
    EXPECT_EQ(namedTargets(), c.planned);
    set_->checkChains();
    set_->retarget();
    EXPECT_EQ(namedTargets(), c.checked);
  }
}

TEST_F(JumpChainsTest, RecordedJumpKeepsTheLabelsInFrontOfIt) {
  build({{"A", 's', nullptr, 0}, {"B", 'j', "A"}, {nullptr, 's', nullptr, 8}, {"C", 'j', "A"}});
  ASSERT_EQ(set_->jumps.size(), 2u);
  std::vector<Symbol*> firstLabels{labels_["A"], labels_["B"]};
  EXPECT_EQ(set_->jumps[0]->labels, firstLabels);
  EXPECT_EQ(set_->jumps[1]->labels, std::vector<Symbol*>{labels_["C"]});
  EXPECT_EQ(set_->jumps[1]->offset, 12);
}

TEST_F(JumpChainsTest, NoJumpIsRecordedWithoutInstructionOperations) {
  installJumpInstructions(nullptr);
  Section* in = section(".text.n");
  JumpChainSet set(in);
  auto* jump = new StandInJump(line(1, in), symbol("T"), false, 10);
  in->addNode(jump, true);
  EXPECT_FALSE(set.recordJump(jump, 0));
  EXPECT_TRUE(set.jumps.empty());
}

}  // namespace
