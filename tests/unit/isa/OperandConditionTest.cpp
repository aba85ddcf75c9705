// Operand values as the instruction walk sees them, and the conditions built over them: a
// signed number is a constant, conditions over constants fold to one integer, and every
// node a condition builder makes goes to the candidate's set.
#include <gtest/gtest.h>

#include <string>

#include "ScopedManagers.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "expr/nodes_fixture.h"
#include "isa/CandidateNodes.h"
#include "isa/ConditionBuilders.h"
#include "isa/ExpressionOperandParser.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

class OperandConditionTest : public ExprNodesTest {
 protected:
  ScopedManagers more_{ScopedManagers::kOptions | ScopedManagers::kSymbols};
};

TEST_F(OperandConditionTest, SignedNumbersAreConstantsAndOtherExpressionsStayTrees) {
  struct Case {
    const char* text;
    uint32_t consumed;
    bool constant;
    int64_t value;        // of a constant
    const char* printed;  // of a tree
  };
  const Case cases[] = {
      {"-5", 2, true, -5, nullptr},
      {"+5", 2, true, 5, nullptr},
      {"~0", 2, true, -1, nullptr},
      {"--3", 3, true, 3, nullptr},
      {"-(4)", 4, true, -4, nullptr},
      {"-0x10,d2", 5, true, -16, nullptr},
      {"-9223372036854775807", 20, true, -9223372036854775807LL, nullptr},
      {"-x", 2, false, 0, "-x"},
      {"!0", 2, false, 0, "!0"},
      {"-5+x", 4, false, 0, nullptr},
  };
  isa::ExpressionOperandParser parser;
  for (const Case& c : cases) {
    void* parsed = nullptr;
    const char* error = nullptr;
    EXPECT_EQ(parser.parse(c.text, line(1), &parsed, &error), c.consumed) << c.text;
    EXPECT_EQ(error, nullptr) << c.text;
    auto* value = static_cast<OrbaExpression*>(parsed);
    ASSERT_NE(value, nullptr) << c.text;
    EXPECT_EQ(value->getKind() == EK_integer, c.constant) << c.text;
    if (c.constant) {
      EXPECT_EQ(value->getInteger(), c.value) << c.text;
    }
    if (c.printed) {
      EXPECT_EQ(exprToString(value), c.printed) << c.text;
    }
  }
}

TEST_F(OperandConditionTest, ConditionsOverConstantsFoldAndTheirTreesGoToTheCandidate) {
  OrbaExpression* x = TESymbol::create(symbol("x"));
  OrbaExpression* y = TESymbol::create(symbol("y"));
  using Builder = isa::conditions::Builder;
  struct Case {
    const char* name;
    Builder builder;
    OrbaExpression* operands[3];
    bool constant;
    int64_t value;    // of a constant
    size_t made;      // nodes handed to the candidate
  };
  const Case cases[] = {
      {"a dedicated base that is the register", isa::conditions::baseRegisterIs<0, 8>, {TEInteger::create(8)}, true, 1,
       0},
      {"a dedicated base that is not", isa::conditions::baseRegisterIs<0, 8>, {TEInteger::create(2)}, true, 0, 0},
      {"another base: a2", isa::conditions::baseRegisterIsOther<0>, {TEInteger::create(2)}, true, 1, 0},
      {"another base: a9 is dedicated", isa::conditions::baseRegisterIsOther<0>, {TEInteger::create(9)}, true, 0, 0},
      {"another base: a0 is dedicated", isa::conditions::baseRegisterIsOther<0>, {TEInteger::create(0)}, true, 0, 0},
      {"another base over a symbol: four tests joined", isa::conditions::baseRegisterIsOther<0>, {x}, false, 0, 7},
      {"target and base differ", isa::conditions::targetIsNotBase<0, 1>, {TEInteger::create(3), TEInteger::create(4)},
       true, 1, 0},
      {"target is the pair's second", isa::conditions::targetIsNotPairIndex<0, 1>,
       {TEInteger::create(5), TEInteger::create(4)}, true, 0, 0},
      {"target against a symbol", isa::conditions::targetIsNotPairIndex<0, 1>, {TEInteger::create(5), y}, false, 0, 2},
      {"a fixed step met", isa::conditions::operandIs<1, -4>, {nullptr, TEInteger::create(-4)}, true, 1, 0},
      {"a fixed step over a symbol", isa::conditions::operandIs<1, -4>, {nullptr, x}, false, 0, 1},
      {"a missing operand never holds", isa::conditions::operandIs<2, 0>, {}, true, 0, 0},
      {"an offset warning over a constant", isa::conditions::offsetAbove32767<0>, {TEInteger::create(40000)}, true, 1,
       0},
      {"an offset warning over a symbol", isa::conditions::offsetAbove32767<0>, {x}, false, 0, 1},
      {"calli a11 without the defect check", isa::conditions::noCpuTc023<0, 1>,
       {TEInteger::create(0), TEInteger::create(11)}, true, 1, 0},
  };
  for (const Case& c : cases) {
    OrbaExpression* operands[3] = {c.operands[0], c.operands[1], c.operands[2]};
    CandidateNodes* made = nullptr;
    OrbaExpression* condition = c.builder(line(1), operands, made);
    ASSERT_NE(condition, nullptr) << c.name;
    EXPECT_EQ(condition->getKind() == EK_integer, c.constant) << c.name << ": " << exprToString(condition);
    if (c.constant) {
      EXPECT_EQ(condition->getInteger(), c.value) << c.name;
    }
    EXPECT_EQ(made ? made->size() : 0, c.made) << c.name;
    CandidateNodes::release(made);
  }
}

// The interrupt-enable warnings hold only with the option and only for the instruction
// their mnemonic's second value names; a TriCore target must be selected for the option
// to count.
TEST_F(OperandConditionTest, InterruptEnableWarningsNeedTheOptionAndTheirInstruction) {
  using Builder = isa::conditions::Builder;
  struct Case {
    const char* name;
    bool target;
    bool option;
    Builder builder;
    int64_t second;
    int64_t value;
  };
  const Case cases[] = {
      {"enable with the option", true, true, isa::conditions::interruptEnableAccess<0, 1>, 1, 1},
      {"disable is not enable", true, true, isa::conditions::interruptEnableAccess<0, 1>, 0, 0},
      {"disable with the option", true, true, isa::conditions::interruptEnableAccess<0, 0>, 0, 1},
      {"restore with the option", true, true, isa::conditions::interruptEnableAccess<0, 3>, 3, 1},
      {"disable Dn is not restore", true, true, isa::conditions::interruptEnableAccess<0, 3>, 2, 0},
      {"enable without the option", true, false, isa::conditions::interruptEnableAccess<0, 1>, 1, 0},
      {"restore without the option", true, false, isa::conditions::interruptEnableAccess<0, 3>, 3, 0},
      {"no TriCore target", false, true, isa::conditions::interruptEnableAccess<0, 1>, 1, 0},
  };
  for (const Case& c : cases) {
    orbaOptions()->targetSelected = c.target;
    orbaOptions()->warnAccessInterruptEnable = c.option;
    OrbaExpression* operands[1] = {TEInteger::create(c.second)};
    CandidateNodes* made = nullptr;
    OrbaExpression* condition = c.builder(line(1), operands, made);
    ASSERT_NE(condition, nullptr) << c.name;
    ASSERT_EQ(condition->getKind(), EK_integer) << c.name << ": " << exprToString(condition);
    EXPECT_EQ(condition->getInteger(), c.value) << c.name;
    EXPECT_EQ(made, nullptr) << c.name;
    CandidateNodes::release(made);
  }
}

}  // namespace
