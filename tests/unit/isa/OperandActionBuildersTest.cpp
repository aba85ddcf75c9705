// The conditions that warn about CPU functional defects while they are built: which operand
// each reads, which warnings come in which order, that they always hold, and that the
// candidate builder knows them as conditions that report (a form that carries one is never
// left unbuilt).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "isa/CandidateNodes.h"
#include "isa/ConditionBuilders.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionTables.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"

namespace {

namespace conditions = isa::conditions;

std::vector<int32_t> recorded() {
  std::vector<int32_t> ids;
  ErrorHandler::ErrorIter records(*runState().errorHandler);
  for (records.first(); !records.isDone(); records.next()) ids.push_back(records.current()->id);
  return ids;
}

TEST(OperandActionBuilders, EachReadsItsOperandWarnsInOrderAndHolds) {
  ScopedManagers managers{ScopedManagers::kAll};
  struct Case {
    const char* name;
    conditions::Builder builder;
    int64_t operands[3];
    bool dmuOn, cor10On;
    std::vector<int32_t> warnings;
  };
  const Case cases[] = {
      {"swap.w: second value 1", conditions::operandDefect<1>, {0, 1, 0}, true, false, {W_DMU_TC001}},
      {"ld.w: second value 0", conditions::operandDefect<1>, {1, 0, 1}, true, false, {}},
      {"the check off", conditions::operandDefect<1>, {0, 1, 0}, false, true, {}},
      {"the operand named, not its neighbour", conditions::operandDefect<2>, {1, 1, 0}, true, false, {}},
      {"st.t", conditions::defectAlways, {0, 0, 0}, true, false, {W_DMU_TC001}},
      {"circular offset 4", conditions::circularOffsetCor10<0>, {4, 0, 0}, false, true, {W_TC112_COR10}},
      {"circular offset 0", conditions::circularOffsetCor10<0>, {0, 4, 4}, true, true, {}},
      {"circular swap.w: COR10 first", conditions::circularOffsetCor10ThenDefect<1>, {0, 8, 0}, true, true,
       {W_TC112_COR10, W_DMU_TC001}},
      {"circular swap.w, offset 0", conditions::circularOffsetCor10ThenDefect<1>, {0, 0, 0}, true, true,
       {W_DMU_TC001}},
      {"old swap.w syntax", conditions::oldSwapSyntax, {0, 0, 0}, false, false, {W_old_swap_syntax}},
  };
  for (const Case& c : cases) {
    ScopedManagers fresh{ScopedManagers::kErrors};
    TriCoreControlState state;
    state.defectSwitch[TriCoreControlState::kDmuTc001] = c.dmuOn ? 1 : 0;
    state.defectSwitch[TriCoreControlState::kTc112Cor10] = c.cor10On ? 1 : 0;
    LineInfo line;
    line.lineNumber = 7;
    line.controlState = &state;
    OrbaExpression* operands[3];
    for (int i = 0; i < 3; ++i) operands[i] = TEInteger::create(c.operands[i]);
    CandidateNodes* made = nullptr;
    OrbaExpression* condition = c.builder(&line, operands, made);
    ASSERT_NE(condition, nullptr) << c.name;
    ASSERT_EQ(condition->getKind(), EK_integer) << c.name;
    EXPECT_EQ(condition->getInteger(), 1) << c.name;
    EXPECT_EQ(recorded(), c.warnings) << c.name;
    CandidateNodes::release(made);
  }
}

TEST(OperandActionBuilders, EveryInstanceIsKnownToReportAndNoOtherCondition) {
  struct Case {
    const char* name;
    conditions::Builder builder;
    bool reports;
  };
  const Case cases[] = {
      {"defect of operand 0", conditions::operandDefect<0>, true},
      {"defect of the last operand an action may read", conditions::operandDefect<conditions::kActionOperandLimit - 1>,
       true},
      {"defect always", conditions::defectAlways, true},
      {"COR10 of operand 7", conditions::circularOffsetCor10<7>, true},
      {"COR10 then defect of operand 3", conditions::circularOffsetCor10ThenDefect<3>, true},
      {"old swap.w syntax", conditions::oldSwapSyntax, true},
      {"kernel mode", conditions::kernelMode, false},
      {"a fixed operand value", conditions::operandIs<1, 0>, false},
      {"CPU_TC.023", conditions::noCpuTc023<0, 1>, false},
  };
  for (const Case& c : cases) EXPECT_EQ(conditions::reportsWhenBuilt(c.builder), c.reports) << c.name;
}

// The kind of an operand action, or empty for any other condition.
std::string actionKind(conditions::Builder builder) {
  if (builder == conditions::oldSwapSyntax) return "oldswap";
  if (builder == conditions::defectAlways) return "defect1";
  if (!conditions::reportsWhenBuilt(builder)) return {};
  for (conditions::Builder cor10 : {conditions::circularOffsetCor10<0>, conditions::circularOffsetCor10<1>,
                                    conditions::circularOffsetCor10<2>, conditions::circularOffsetCor10<3>})
    if (builder == cor10) return "cor10";
  for (conditions::Builder both :
       {conditions::circularOffsetCor10ThenDefect<0>, conditions::circularOffsetCor10ThenDefect<1>,
        conditions::circularOffsetCor10ThenDefect<2>, conditions::circularOffsetCor10ThenDefect<3>})
    if (builder == both) return "cor10defect";
  return "defect";
}

TEST(OperandActionBuilders, TheTablesGiveThemToTheirFormsInTheirOrder) {
  std::map<std::string, int> forms;  // forms that carry each kind
  for (uint32_t i = 0; i < isa::matchAlternativeCount(); ++i) {
    const MatchAlternative& alternative = isa::matchAlternatives()[i];
    if (alternative.kind != isa::kHardwareForm) continue;
    const isa::FormInfo& info = isa::formInfo()[alternative.form];
    std::string mnemonic = info.firstMnemonic;
    std::vector<std::string> kinds;
    bool kernelFirst = false;
    for (const AttributeSpecItem* item = alternative.description->spec; item && item->id != ATTR_end; ++item) {
      if (item->id != ATTR_when || !item->builder) continue;
      if (item->builder == conditions::kernelMode && kinds.empty()) kernelFirst = true;
      std::string kind = actionKind(item->builder);
      if (!kind.empty()) kinds.push_back(kind);
    }
    for (const std::string& kind : kinds) ++forms[kind];
    std::string where = mnemonic + " " + info.syntax;
    // The defect warning of a swap.w written the old way comes before W716.
    if (!kinds.empty() && kinds.back() == "oldswap") {
      ASSERT_EQ(kinds.size(), 2u) << where;
      EXPECT_TRUE(kinds[0] == "defect" || kinds[0] == "cor10defect") << where;
    }
    if (mnemonic == "cachea.i" && !kinds.empty()) {
      EXPECT_TRUE(kernelFirst) << where;
    }
    if (!kinds.empty() && kinds[0] != "oldswap") {
      EXPECT_TRUE(mnemonic == "swap.w" || mnemonic == "ldmst" || mnemonic == "st.t" || mnemonic == "cachea.i" ||
                  mnemonic == "cachea.w" || mnemonic.rfind("ld.", 0) == 0 || mnemonic.rfind("st.", 0) == 0)
          << where;
    }
  }
  const std::map<std::string, int> expected = {
      {"defect", 34}, {"defect1", 3}, {"cor10", 8}, {"cor10defect", 3}, {"oldswap", 10}};
  EXPECT_EQ(forms, expected);
}

}  // namespace
