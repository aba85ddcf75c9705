// Labels among the instructions of a lean run: the parse takes a plain label that an
// instruction of the run follows into the run as an entry, and layout gives each
// such label the offset of the instruction after it, again in every pass.
#include <string>
#include <utility>
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/FlowWalker.h"
#include "flow/OrbaOptimizer.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/FSimpleRun.h"
#include "parser/ParseFixture.h"
#include "util/RunSettings.h"

namespace {

class RunLabelEntriesTest : public ParseTest {
 protected:
  Section* text() const { return lines[1]->section; }

  std::vector<int> kinds() const {
    std::vector<int> found;
    for (FlowNode* node = text()->firstNode(); node; node = node->nextNode()) found.push_back(node->kind);
    return found;
  }

  // The labels of every run with their offsets in their runs, in flow order.
  std::vector<std::pair<std::string, uint32_t>> runLabels() const {
    std::vector<std::pair<std::string, uint32_t>> found;
    for (FlowNode* node = text()->firstNode(); node; node = node->nextNode()) {
      if (node->kind != FlowNode::kSimpleRun) continue;
      const auto& run = static_cast<const FSimpleRun&>(*node);
      for (const FSimpleRun::Label& label : run.labels()) found.emplace_back(label.symbol->name, label.offset);
      // The walk over the entries hands each label to the entry it stands in front of.
      size_t seen = 0;
      for (FSimpleRun::Cursor cursor(run); !cursor.isDone(); cursor.next())
        seen += run.labelsBefore(cursor.item()).size();
      EXPECT_EQ(seen, run.labels().size());
    }
    return found;
  }

  // The offset in the section that the label's value says; -1 for another value.
  int64_t valueOffset(const char* name) const {
    Symbol* symbol = symbolTable()->current->lookup(name);
    if (!symbol || !symbol->valueExpression) return -1;
    const OrbaExpression* value = symbol->valueExpression;
    if (value == text()->baseExpression()) return 0;
    if (value->getKind() == EK_binary && value->getArgument(0) == text()->baseExpression())
      return value->getArgument(1)->getInteger();
    return -1;
  }

  // One layout pass over the section's flow from start; whether a label moved.
  bool layOut(int32_t mode, int32_t start) {
    FlowWalker* walker = text()->flowWalker();
    walker->reset();
    walker->offset = start;
    walker->previousOffset = lastStart_;
    lastStart_ = start;
    return OrbaOptimizer::relaxSection(*walker, mode).changed;
  }

  int32_t lastStart_ = 0;
};

constexpr int kLabel = FlowNode::kLabel;
constexpr int kSimpleRun = FlowNode::kSimpleRun;
constexpr int kInstruction = FlowNode::kInstruction;

TEST_F(RunLabelEntriesTest, LabelsInFrontOfLeanInstructionsAreRunEntriesPlacedInEveryPass) {
  struct Case {
    const char* name;
    bool listed;  // a list file keeps lines, so no run is lean
    std::vector<const char*> body;
    std::vector<int> kinds;                                // before the closing label
    std::vector<std::pair<std::string, uint32_t>> labels;  // run entries: name, offset in the run
    std::vector<std::pair<std::string, int64_t>> values;   // every label's offset in the section
  };
  const Case cases[] = {
      {"a label alone between instructions",
       false,
       {" add d0,d1,d2", "mid:", " mov d0,#1"},
       {kSimpleRun},
       {{"mid", 4}},
       {{"mid", 4}, {"lab", 6}}},
      {"a label on an instruction's line",
       false,
       {" add d0,d1,d2", "mid: mov d0,#1", " nop"},
       {kSimpleRun},
       {{"mid", 4}},
       {{"mid", 4}, {"lab", 8}}},
      {"labels in a row, short instructions",
       false,
       {" nop", "one:", "two: nop", " nop", "three: add d0,d1,d2"},
       {kSimpleRun},
       {{"one", 2}, {"two", 2}, {"three", 6}},
       {{"one", 2}, {"two", 2}, {"three", 6}, {"lab", 10}}},
      {"labels before a run's first instruction",
       false,
       {"first:", "also: add d0,d1,d2", " nop"},
       {kSimpleRun},
       {{"first", 0}, {"also", 0}},
       {{"first", 0}, {"also", 0}, {"lab", 6}}},
      {"a label before a jump stays a node",
       false,
       {" add d0,d1,d2", "before:", " j lab", "after: nop"},
       {kSimpleRun, kLabel, kInstruction, kSimpleRun},
       {{"after", 0}},
       {{"before", 4}, {"after", 6}, {"lab", 8}}},
      {"with a list file every label is a node",
       true,
       {" add d0,d1,d2", "mid:", " mov d0,#1"},
       {kSimpleRun, kLabel, kSimpleRun},
       {},
       {{"mid", 4}, {"lab", 6}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshRun fresh(*this);
    orbaOptions()->listFileWanted = c.listed;
    lastStart_ = 0;
    std::vector<const char*> source = {" .SDECL \".text\",CODE", " .SECT \".text\""};
    source.insert(source.end(), c.body.begin(), c.body.end());
    // A label that no instruction follows is never a run's last entry.
    source.push_back("lab:");
    parse(source);
    EXPECT_TRUE(diagnostics().empty());
    std::vector<int> expected = c.kinds;
    expected.push_back(kLabel);
    EXPECT_EQ(kinds(), expected);
    EXPECT_EQ(runLabels(), c.labels);

    // The first pass from the start, one that finds the flow moved, then one that
    // finds it where the pass before left it.
    const int32_t starts[] = {0, 6, 6};
    for (size_t pass = 0; pass < std::size(starts); ++pass) {
      const int32_t before = lastStart_;
      const bool moved = layOut(pass == 0 ? kLayoutInitial : kLayoutRelax, starts[pass]);
      for (const auto& [name, offset] : c.values) {
        EXPECT_EQ(valueOffset(name.c_str()), offset + starts[pass]) << name << " in pass " << pass;
      }
      if (pass > 0) {
        EXPECT_EQ(moved, pass == 1) << "pass " << pass;
      }
      // A run tells that its labels moved as their nodes would; one without labels never.
      for (FlowNode* node = text()->firstNode(); node; node = node->nextNode()) {
        if (node->kind != kSimpleRun) continue;
        FlowWalker walker(text(), nullptr);
        walker.offset = starts[pass];
        walker.previousOffset = before;
        const bool hasLabels = !static_cast<const FSimpleRun&>(*node).labels().empty();
        EXPECT_EQ(node->layOut(walker, kLayoutRelax, false).changed, hasLabels && starts[pass] != before)
            << "pass " << pass;
      }
    }
    orbaOptions()->listFileWanted = false;
  }
}

}  // namespace
