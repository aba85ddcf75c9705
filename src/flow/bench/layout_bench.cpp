// Measures the layout of one large code section: 1,000,000 nodes in groups of ten (a
// label, eight 4-byte instructions, a jump). Most jumps reach a label a few groups
// away; every 50th jumps some 200 groups on or back, out of reach of its short form,
// so the first relax pass grows it and the labels behind it move.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/FLabel.h"
#include "flow/FlowWalker.h"
#include "flow/OrbaOptimizer.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/Symbol.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

constexpr uint32_t kGroups = 100000;

class FixedNode : public FlowNode {
 public:
  explicit FixedNode(int32_t units) : FlowNode(nullptr, kStorage), units_(units) {}
  FlowNode* clone() const override { return nullptr; }
  int32_t computeSize(Section*, uint32_t) override { return units_; }
  void dump(std::ostream&) const override {}

 private:
  int32_t units_;
};

// A jump with a 2-byte form reaching 256 bytes either way and a 4-byte form reaching
// everywhere; a short form that failed once is not tried again.
class JumpNode : public FlowNode {
 public:
  explicit JumpNode(Symbol* target) : FlowNode(nullptr, kInstruction), target_(target) {}
  FlowNode* clone() const override { return nullptr; }
  void dump(std::ostream&) const override {}

  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool) override {
    const int8_t before = selected_;
    if (mode != kLayoutInitial && !longOnly_) {
      const OrbaExpression* value = target_->valueExpression;
      int64_t distance = value ? value->getInteger() - walker.offset : 1 << 20;
      if (distance < -256 || distance >= 256) longOnly_ = true;
    }
    selected_ = longOnly_ ? 1 : 0;
    walker.nodeSize = longOnly_ ? 4 : 2;
    LayoutChoice choice;
    choice.chosen = selected_;
    choice.changed = selected_ != before;
    return choice;
  }

 private:
  Symbol* target_;
  int8_t selected_ = -1;
  bool longOnly_ = false;
};

}  // namespace

int main() {
  runState().stringBuffer = new StringBuffer();
  runState().errorHandler = new ErrorHandler();
  runState().sectionAdmin = new SectionAdmin();

  auto* section = new Section(".text.bench");
  section->flags.set(0, Section::SectionFlags::kCodeBit, true);
  runState().sectionAdmin->registerSection(section);

  std::vector<Symbol*> labels(kGroups);
  for (uint32_t group = 0; group < kGroups; ++group)
    labels[group] = Symbol::create(runState().stringBuffer->intern(("L" + std::to_string(group)).c_str()), 0);
  uint32_t nodes = 0;
  for (uint32_t group = 0; group < kGroups; ++group) {
    section->addNode(new FLabel(nullptr, labels[group]), true);
    for (int k = 0; k < 8; ++k) section->addNode(new FixedNode(4), true);
    uint32_t target = group % 50 == 0 ? (group + 200) % kGroups : (group + kGroups - 3) % kGroups;
    section->addNode(new JumpNode(labels[target]), true);
    nodes += 10;
  }

  auto start = std::chrono::steady_clock::now();
  OrbaOptimizer optimizer;
  optimizer.run();
  auto end = std::chrono::steady_clock::now();
  double ms = std::chrono::duration<double, std::milli>(end - start).count();

  std::printf("nodes: %u, relax passes: %u, size: %u, layout: %.1f ms\n", nodes, optimizer.relaxIterations(),
              section->size, ms);
  // Sections and nodes are left to the end of the process.
  return ms < 1000.0 ? 0 : 1;
}
