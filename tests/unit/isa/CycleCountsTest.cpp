// Cycle counts by core: the class table, the core the options select, and how the counts
// reach the instruction nodes of the code sections.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "flow/FGeneric.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "isa/CycleCounts.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionMatcher.h"
#include "isa/OperandEvaluation.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

constexpr int32_t kCores[] = {isa::kCoreTc13, isa::kCoreTc131, isa::kCoreTc16, isa::kCoreTc16x};

TEST(CycleCounts, ClassTableGivesTheCyclesOfEachCore) {
  struct Case {
    int64_t cycleClass;
    uint32_t cycles[4];  // TC1.3, TC1.3.1, TC1.6, TC1.6.X
  };
  const Case cases[] = {
      {-1, {0, 0, 0, 0}},      {0, {0, 0, 0, 0}},       {4, {0, 0, 0, 0}},       {5, {2, 2, 4, 4}},
      {6, {2, 2, 4, 4}},       {7, {2, 2, 2, 2}},       {8, {2, 2, 2, 2}},       {9, {0, 0, 0, 0}},
      {10, {1, 1, 2, 2}},      {45, {1, 1, 2, 2}},      {46, {4, 4, 6, 6}},      {47, {4, 4, 6, 6}},
      {48, {3, 2, 2, 2}},      {49, {3, 2, 2, 2}},      {50, {3, 2, 3, 3}},      {51, {3, 2, 3, 3}},
      {52, {2, 2, 3, 3}},      {57, {2, 2, 3, 3}},      {58, {3, 2, 3, 3}},      {61, {3, 2, 3, 3}},
      {62, {2, 2, 3, 3}},      {77, {2, 2, 3, 3}},      {78, {3, 3, 3, 3}},      {79, {3, 2, 3, 3}},
      {82, {3, 2, 3, 3}},      {83, {2, 2, 3, 3}},      {98, {2, 2, 3, 3}},      {99, {3, 3, 3, 3}},
      {100, {1, 1, 2, 2}},     {102, {1, 1, 2, 2}},     {103, {2, 2, 4, 4}},     {108, {2, 2, 4, 4}},
      {109, {4, 4, 4, 4}},     {110, {4, 4, 4, 4}},     {111, {4, 4, 1, 1}},     {112, {4, 4, 1, 1}},
      {113, {4, 4, 4, 4}},     {115, {4, 4, 4, 4}},     {116, {2, 2, 1, 1}},     {117, {2, 2, 1, 1}},
      {118, {15, 15, 8, 8}},   {119, {2, 2, 2, 2}},     {130, {2, 2, 2, 2}},     {131, {0, 0, 4, 4}},
      {132, {0, 0, 4, 4}},     {133, {0, 0, 0, 0}},     {134, {0, 0, 0, 2}},     {135, {0, 0, 0, 2}},
      {136, {0, 0, 0, 0}},     {int64_t{1} << 40, {0, 0, 0, 0}},
  };
  for (const Case& c : cases)
    for (int core = 0; core < 4; ++core)
      EXPECT_EQ(isa::cyclesForClass(c.cycleClass, kCores[core]), c.cycles[core])
          << "class " << c.cycleClass << " on core " << kCores[core];
}

TEST(CycleCounts, TheNewestCoreSelectedDecides) {
  struct Case {
    bool tc131, tc16, tc16x;
    int32_t core;
  };
  const Case cases[] = {
      {false, false, false, isa::kCoreTc13}, {true, false, false, isa::kCoreTc131},
      {false, true, false, isa::kCoreTc16},  {true, true, false, isa::kCoreTc16},
      {false, false, true, isa::kCoreTc16x}, {true, true, true, isa::kCoreTc16x},
  };
  for (const Case& c : cases) {
    RunSettings options;
    options.coreTc131 = c.tc131;
    options.coreTc16 = c.tc16;
    options.coreTc16x = c.tc16x;
    EXPECT_EQ(isa::coreCodeOf(options), c.core);
  }
}

class CycleAssignment : public testing::Test {
 protected:
  using Kind = AttributeSpecItem::ValueKind;
  void SetUp() override { isa::initMatchModule(); }

  // A candidate whose description list is made from the spec list.
  static IPInstruction* candidateWith(const AttributeSpecItem* spec, uint32_t cycles = 0) {
    auto* candidate = new IPInstruction();
    candidate->cycles = cycles;
    candidate->attributes = new IPAttribute();
    candidate->attributes->addNewAttributeList(spec, IPAttribute::kDescriptionList, nullptr, nullptr);
    return candidate;
  }
  static std::unique_ptr<FSimple> simpleWith(LineInfo* line, const AttributeSpecItem* spec) {
    std::unique_ptr<IPInstruction> candidate(candidateWith(spec));
    return std::make_unique<FSimple>(line, *candidate);
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  LineInfo line_;
};

TEST_F(CycleAssignment, TheNewestCycleClassOfAFormDecides) {
  const AttributeSpecItem kEnd = {ATTR_end, Kind::kNone, 0, nullptr};
  const AttributeSpecItem divide[] = {{ATTR_cycle_info, Kind::kConstant, 118, nullptr}, kEnd};
  const AttributeSpecItem misspelled[] = {{ATTR_cylce_info, Kind::kConstant, 118, nullptr}, kEnd};
  const AttributeSpecItem shortened[] = {{ATTR_cycle_inf, Kind::kConstant, 118, nullptr}, kEnd};
  const AttributeSpecItem text[] = {{ATTR_cycle_info, Kind::kString, 0, "118"}, kEnd};
  const AttributeSpecItem bare[] = {{ATTR_cycle_info, Kind::kNone, 0, nullptr}, kEnd};
  const AttributeSpecItem unlisted[] = {{ATTR_cycle_info, Kind::kConstant, 9, nullptr}, kEnd};
  const AttributeSpecItem nothing[] = {{ATTR_pipelineUse, Kind::kConstant, 1, nullptr}, kEnd};
  struct Case {
    const char* behaviour;
    std::vector<const AttributeSpecItem*> lists;
    uint16_t tc13, tc16;
  };
  const Case cases[] = {
      {"a class", {divide}, 15, 8},
      {"a class in an older list", {divide, nothing}, 15, 8},
      {"the newest class", {unlisted, divide}, 15, 8},
      {"cylce_info is no class", {misspelled}, 1, 1},
      {"cycle_inf is no class", {shortened}, 1, 1},
      {"a text value", {text}, 1, 1},
      {"no value", {bare}, 1, 1},
      {"a class the table does not list", {unlisted}, 0, 0},
      {"no class at all", {nothing}, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    auto* candidate = new IPInstruction();
    candidate->attributes = new IPAttribute();
    for (const AttributeSpecItem* list : c.lists)
      candidate->attributes->addNewAttributeList(list, IPAttribute::kDescriptionList, nullptr, nullptr);
    FSimple simple(&line_, *candidate);
    delete candidate;
    isa::assignCycles(&simple, isa::kCoreTc13);
    EXPECT_EQ(simple.cycles, c.tc13);
    isa::assignCycles(&simple, isa::kCoreTc16);
    EXPECT_EQ(simple.cycles, c.tc16);
  }
}

TEST_F(CycleAssignment, OnlyChosenFormsAndExpansionsAreCounted) {
  const AttributeSpecItem kEnd = {ATTR_end, Kind::kNone, 0, nullptr};
  const AttributeSpecItem slow[] = {{ATTR_cycle_info, Kind::kConstant, 46, nullptr}, kEnd};
  const AttributeSpecItem plain[] = {kEnd};

  FInstruction unchosen(&line_, {candidateWith(slow, 7), candidateWith(plain, 7)});
  isa::assignCycles(&unchosen, isa::kCoreTc13);
  EXPECT_EQ(unchosen.candidates[0]->cycles, 7u);
  EXPECT_EQ(unchosen.candidates[1]->cycles, 7u);

  FInstruction chosen(&line_, {candidateWith(slow, 7), candidateWith(plain, 7)});
  chosen.selected = 0;
  isa::assignCycles(&chosen, isa::kCoreTc16);
  EXPECT_EQ(chosen.candidates[0]->cycles, 6u);
  EXPECT_EQ(chosen.candidates[1]->cycles, 7u) << "the other candidate keeps its count";
  chosen.selected = 1;
  isa::assignCycles(&chosen, isa::kCoreTc16);
  EXPECT_EQ(chosen.candidates[1]->cycles, 1u) << "a form without a class counts 1";

  LineInfo expansionLine;
  expansionLine.setVariant(1);
  FGeneric unresolved(&line_);
  unresolved.addRewrite(simpleWith(&expansionLine, slow).release());
  isa::assignCycles(&unresolved, isa::kCoreTc16);
  EXPECT_EQ(unresolved.groups[0]->nodes.first()->cycles, 0u);

  FGeneric resolved(&line_);
  resolved.addRewrite(simpleWith(&line_, plain).release());
  resolved.addRewrite(simpleWith(&expansionLine, slow).release());
  resolved.selected = 1;
  isa::assignCycles(&resolved, isa::kCoreTc16);
  EXPECT_EQ(resolved.groups[0]->nodes.first()->cycles, 0u) << "a group not chosen";
  EXPECT_EQ(resolved.groups[1]->nodes.first()->cycles, 6u);
  for (FGeneric* generic : {&unresolved, &resolved})
    for (FGeneric::Rewrite* group : generic->groups)
      while (FlowNode* node = group->nodes.first()) {
        group->nodes.remove(node);
        delete node;
      }
}

// The statements' forms, built through the instruction tables.
std::vector<IPInstruction*> formsOf(const char* statement, LineInfo* line) {
  isa::ExpressionOperandParser parser;
  isa::BuildContext context;
  isa::MatchContext match;
  isa::InstructionBuilder builder(context, line, ";");
  isa::InstructionMatcher matcher(parser, builder);
  context.matcher = &matcher;
  context.match = &match;
  matcher.matchStatement(statement, line, isa::MatchOptions{}, match);
  return std::move(context.candidates);
}

TEST_F(CycleAssignment, ParityPackAndWaitCountOneCycleOnEveryCore) {
  // Their classes stand under ids that are not the cycle class.
  struct Case {
    const char* statement;
    uint32_t classId;
  };
  for (const Case& c : {Case{"parity d0,d1", ATTR_cylce_info}, Case{"pack d0,e2,d1", ATTR_cylce_info},
                        Case{"wait", ATTR_cycle_inf}}) {
    const char* statement = c.statement;
    std::vector<IPInstruction*> forms = formsOf(statement, &line_);
    ASSERT_EQ(forms.size(), 1u) << statement;
    EXPECT_TRUE(forms[0]->attributes->hasAttribute(c.classId, 0)) << statement;
    FInstruction node(&line_, std::move(forms));
    node.selected = 0;
    for (int32_t core : kCores) {
      node.candidates[0]->cycles = 0;
      isa::assignCycles(&node, core);
      EXPECT_EQ(node.candidates[0]->cycles, 1u) << statement << " on core " << core;
    }
  }
}

TEST_F(CycleAssignment, CodeSectionsAndTheFirstSectionAreCounted) {
  const AttributeSpecItem kEnd = {ATTR_end, Kind::kNone, 0, nullptr};
  const AttributeSpecItem divide[] = {{ATTR_cycle_info, Kind::kConstant, 118, nullptr}, kEnd};
  SectionAdmin* saved = runState().sectionAdmin;
  runState().sectionAdmin = new SectionAdmin();
  orbaOptions()->coreTc16 = true;
  struct Setup {
    uint32_t number;
    bool code;
    uint16_t expected;
  };
  const Setup setups[] = {{1, false, 8}, {2, true, 8}, {3, false, 0}};
  std::vector<FlowNode*> nodes;
  for (const Setup& setup : setups) {
    auto* section = new Section("s");
    section->number = setup.number;
    section->flags.set(0, Section::SectionFlags::kCodeBit, setup.code);
    FSimple* node = simpleWith(&line_, divide).release();
    section->addNode(node, true);
    nodes.push_back(node);
    runState().sectionAdmin->registerSection(section);
  }
  isa::walkCodeSectionsForCore();
  for (size_t i = 0; i < std::size(setups); ++i)
    EXPECT_EQ(nodes[i]->cycles, setups[i].expected) << "section " << setups[i].number;
  delete runState().sectionAdmin;
  runState().sectionAdmin = saved;
}

}  // namespace
