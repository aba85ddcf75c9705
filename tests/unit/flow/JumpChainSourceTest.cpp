// Jump chains over parsed source: with the "j" optimisation, the optimiser sends a jump
// whose target is an unconditional jump on to that jump's own target, leaves cycles and
// jumps that do more than jump alone, and changes nothing with the optimisation off.
#include <cstring>
#include <string>
#include <vector>

#include "flow/JumpChains.h"
#include "flow/OrbaOptimizer.h"
#include "flow/Symbol.h"
#include "isa/FInstruction.h"
#include "isa/IPInstruction.h"
#include "isa/JumpTargets.h"
#include "parser/ParseFixture.h"

namespace {

class JumpChainSourceTest : public ParseTest {
 protected:
  JumpChainSourceTest() { isa::installJumpTargets(); }
  ~JumpChainSourceTest() override { installJumpInstructions(nullptr); }

  // The instruction node of the statement on source line `number` (counted from 1).
  FInstruction* instructionOn(int32_t number) const {
    const LineInfo* line = lines.at(static_cast<size_t>(number - 1));
    for (FlowNode* node = line->section->firstNode(); node; node = node->nextNode())
      if (node->line == line && node->kind == FlowNode::kInstruction) return static_cast<FInstruction*>(node);
    return nullptr;
  }

  // The target the laid-out form of the statement names; "" when it names none.
  std::string targetOn(int32_t number) const {
    FInstruction* node = instructionOn(number);
    if (!node) return "no instruction node";
    const IPInstruction* form = node->selectedCandidate();
    if (!form) return "no form selected";
    FInstruction selectedOnly(node->line, {form->copy()});
    bool conditional = false;
    Symbol* target = nullptr;
    if (!jumpTargetOf(&selectedOnly, conditional, target)) return "";
    // The labels the assembler puts in front of jumps have names of no meaning here.
    if (target->isInternal()) return "(generated)";
    return target->name;
  }
};

TEST_F(JumpChainSourceTest, JumpsToUnconditionalJumpsGoStraightToTheFinalTarget) {
  struct Target {
    int32_t line;  // source line of the jump, counted from 1
    const char* name;
  };
  struct Case {
    const char* name;
    const char* optimize;  // the --optimize letters: g generics, s sizes, j jump chains
    std::vector<const char*> body;  // after the section lines 1 and 2
    std::vector<Target> targets;
    uint32_t size;
  };
  const Case cases[] = {
      {"a jump to a jump", "gsj", {" j A", " nop", "A: j B", " nop", "B: nop"}, {{3, "B"}, {5, "B"}}, 10},
      // Beyond the short jump's reach, the final target would cost the long form: the
      // jump keeps the near jump to the same place on its way and stays short.
      {"a far final target", "gsj", {" j A", "A: j B", " .SPACE 400", "B: nop"}, {{3, "A"}}, 2 + 4 + 400 + 2},
      {"optimisation off", "gs", {" j A", " nop", "A: j B", " nop", "B: nop"}, {{3, "A"}, {5, "B"}}, 10},
      {"a chain collapses to its end",
       "gsj",
       {" j A", "A: j B", "B: j C", "C: nop"},
       {{3, "C"}, {4, "C"}, {5, "C"}},
       8},
      // The links C -> D -> C never end: the jumps keep what they name, and so does the
      // jump that enters the cycle.
      {"a cycle is left alone", "gsj", {"C: j D", "D: j C", " j C"}, {{3, "D"}, {4, "C"}, {5, "C"}}, 6},
      // Without generics the conditional jumps are instructions of their own, which the
      // chains take part in.
      {"a conditional jump to a jump", "sj", {" jeq d0,#3,E", "E: j B", "B: nop"}, {{3, "B"}}, 8},
      {"a bit test to a jump", "sj", {" jz.t d0:3,E", "E: j B", "B: nop"}, {{3, "B"}}, 8},
      {"an address test to a jump", "sj", {" jeq.a a2,a3,E", "E: j B", "B: nop"}, {{3, "B"}}, 8},
      // The short loop only goes back: sent forward, it takes the long form.
      {"a loop to a jump", "sj", {"E: j B", " loop a2,E", "B: nop"}, {{4, "B"}}, 8},
      // A conditional jump may not happen: what stands after it runs then.
      {"a jump to a conditional jump", "sj", {" j A", "A: jne d0,#0,B", "B: nop"}, {{3, "A"}}, 8},
      // Linking writes the return address: the intermediate does more than jump.
      {"a jump to a linking jump", "gsj", {" j A", "A: jl B", "B: nop"}, {{3, "A"}}, 8},
      {"a jump to an absolute jump", "gsj", {" j A", "A: ja B", "B: nop"}, {{3, "B"}}, 8},
      // Too far for the conditional jump: it goes by the unconditional jump to the same
      // place, through the label the assembler puts in front of every jump.
      {"a far conditional jump takes a jump on the way",
       "sj",
       {" jeq d0,#3,F", " .SPACE 20000", " j F", " .SPACE 20000", "F: nop"},
       {{3, "(generated)"}, {5, "F"}},
       4 + 20000 + 4 + 20000 + 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedManagers fresh{ScopedManagers::kAll};
    runState().orbaOptions->optimizeGenerics = std::strchr(c.optimize, 'g') != nullptr;
    runState().orbaOptions->optimizeInstrSize = std::strchr(c.optimize, 's') != nullptr;
    runState().orbaOptions->optimizeJumpChains = std::strchr(c.optimize, 'j') != nullptr;
    SectionAdmin* saved = runState().sectionAdmin;
    runState().sectionAdmin = new SectionAdmin();
    runState().placeholderSection = nullptr;
    lines.clear();
    std::vector<const char*> source = {" .SDECL \".text.t\",CODE", " .SECT \".text.t\""};
    source.insert(source.end(), c.body.begin(), c.body.end());
    parse(source);
    EXPECT_TRUE(diagnostics().empty());
    OrbaOptimizer optimizer;
    optimizer.run();
    for (const Target& target : c.targets) EXPECT_EQ(targetOn(target.line), target.name) << "line " << target.line;
    ASSERT_NE(lines.front()->section, nullptr);
    EXPECT_EQ(lines.back()->section->size, c.size);
    delete runState().sectionAdmin;
    runState().sectionAdmin = saved;
    runState().placeholderSection = nullptr;
  }
}

}  // namespace
