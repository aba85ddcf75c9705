// Operand transforms: which operand values get wrapped in which check nodes (with the
// argument order the expression language evaluates), the relocation codes and callback
// they hand on, and the callback that negates an operand when it is encoded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "expr/functions.h"
#include "expr/nodes_fixture.h"
#include "flow/Section.h"
#include "isa/InstructionTables.h"
#include "isa/PostEncode.h"

namespace {

using Callback = void (*)();

// A conversion that makes every operand 42: shows whether a kind-9 entry was applied.
OrbaExpression* toFortyTwo(LineInfo*, OrbaExpression**) { return TEInteger::create(42); }

OperandTransform entry(uint32_t kind, int64_t a = 0, int64_t b = 0, Callback function = nullptr) {
  return OperandTransform{kind, a, b, function};
}

class PostEncodeTest : public ExprNodesTest {
 protected:
  void SetUp() override {
    ExprNodesTest::SetUp();
    at_ = line(5);
    at_->section = &section_;
    Symbol* exempt = symbol("fixed");
    exempt->flags[0] |= Symbol::kBinding6;
    x_ = TESymbol::create(symbol("x"));
    exempt_ = TESymbol::create(exempt);
  }

  Section section_{"code"};
  LineInfo* at_ = nullptr;
  OrbaExpression* x_ = nullptr;
  OrbaExpression* exempt_ = nullptr;
};

TEST_F(PostEncodeTest, TransformsWrapTheOperandInTheirCheckNodes) {
  const auto negate = reinterpret_cast<Callback>(&negateOperand);
  const auto convert = reinterpret_cast<Callback>(&toFortyTwo);
  const char* kLine = "LineInfo[5,t.asm]";
  struct Case {
    const char* name;
    OrbaExpression* value;
    std::vector<OperandTransform> list;  // the terminator is added
    std::string expected;
  };
  const Case cases[] = {
      {"a constant at the upper bound needs no check", TEInteger::create(255), {entry(1, -256, 255)}, "255"},
      {"a constant at the lower bound needs no check", TEInteger::create(-256), {entry(1, -256, 255)},
       "0xFFFFFFFFFFFFFF00"},
      {"a constant above the bound gets @RANGE with bounds and line", TEInteger::create(256), {entry(1, -256, 255)},
       std::string("@RANGE(0x100, 0xFFFFFFFFFFFFFF00, 255, ") + kLine + ")"},
      {"a symbol always gets the check", x_, {entry(1, 0, 255)}, std::string("@RANGE(x, 0, 255, ") + kLine + ")"},
      {"a range-exempt symbol gets none", exempt_, {entry(1, 0, 255)}, "fixed"},
      {"the warning range builds @WRANGE", TEInteger::create(16), {entry(2, 0, 15)},
       std::string("@WRANGE(16, 0, 15, ") + kLine + ")"},
      {"only the first range entry counts", x_, {entry(1, 0, 15), entry(2, 0, 7)},
       std::string("@RANGE(x, 0, 15, ") + kLine + ")"},
      {"PC-relative is taken against the line's section", x_, {entry(3, 0, 0)}, "@PCREL(x, Section[code], 0, 0)"},
      {"PC-relative shuts out the page checks", x_, {entry(3, 0, 0), entry(4, 1, 2), entry(18, 256)},
       "@PCREL(x, Section[code], 0, 0)"},
      {"in-page shuts out PC-relative", x_, {entry(4, 0, 256), entry(3, 0, 0)}, "@INPAGE(x, Section[code], 0, 0x100)"},
      {"page size shuts out both", x_, {entry(18, 256), entry(3), entry(4)}, "@PAGESIZE(x, 0x100)"},
      {"a repeated kind wraps again", x_, {entry(3), entry(3)},
       "@PCREL(@PCREL(x, Section[code], 0, 0), Section[code], 0, 0)"},
      {"range then PC-relative nest in list order", x_, {entry(1, -8, 7), entry(3)},
       std::string("@PCREL(@RANGE(x, 0xFFFFFFFFFFFFFFF8, 7, ") + kLine + "), Section[code], 0, 0)"},
      {"a conversion first is applied before the checks", x_, {entry(9, 0, 0, convert), entry(1, 0, 15)},
       std::string("@RANGE(42, 0, 15, ") + kLine + ")"},
      {"a conversion later in the list is passed over", x_, {entry(13, 4), entry(9, 0, 0, convert)}, "x"},
      {"default, integer and value-code entries leave the value", x_, {entry(13, 1), entry(20), entry(17, 3)}, "x"},
      {"a callback does not touch the value", x_, {entry(10, 0, 0, negate)}, "x"},
  };
  for (const Case& c : cases) {
    std::vector<OperandTransform> list = c.list;
    list.push_back(entry(0));
    TransformOutputs outputs;
    OrbaExpression* result = applyOperandTransforms(c.value, list.data(), outputs, at_);
    ASSERT_NE(result, nullptr) << c.name;
    EXPECT_EQ(result->toString(0), c.expected) << c.name;
  }
}

// A statement made before any section was active moves to the section made for it: its
// checks name that section from then on, and nothing else of the operand changes.
TEST_F(PostEncodeTest, SectionChecksFollowTheirStatementToAnotherSection) {
  Section other{"other"};
  Section elsewhere{"elsewhere"};
  LineInfo* elsewhereLine = line(6);
  elsewhereLine->section = &elsewhere;
  const char* kLine = "LineInfo[5,t.asm]";
  struct Case {
    const char* name;
    std::vector<OperandTransform> list;  // the terminator is added
    LineInfo* at;
    std::string expected;
  };
  const Case cases[] = {
      {"PC-relative", {entry(3)}, at_, "@PCREL(x, Section[other], 0, 0)"},
      {"PC-relative inside a range check", {entry(3, 32), entry(1, 0, 30)}, at_,
       std::string("@RANGE(@PCREL(x, Section[other], 32, 0), 0, 30, ") + kLine + ")"},
      {"a range check inside PC-relative", {entry(1, -8, 7), entry(3)}, at_,
       std::string("@PCREL(@RANGE(x, 0xFFFFFFFFFFFFFFF8, 7, ") + kLine + "), Section[other], 0, 0)"},
      {"PC-relative twice", {entry(3), entry(3)}, at_,
       "@PCREL(@PCREL(x, Section[other], 0, 0), Section[other], 0, 0)"},
      {"in-page", {entry(4, 0, 256)}, at_, "@INPAGE(x, Section[other], 0, 0x100)"},
      {"page size names no section", {entry(18, 256)}, at_, "@PAGESIZE(x, 0x100)"},
      {"a check of another section stays", {entry(3), entry(1, 0, 30)}, elsewhereLine,
       std::string("@RANGE(@PCREL(x, Section[elsewhere], 0, 0), 0, 30, LineInfo[6,t.asm])")},
      {"no check", {entry(13, 1)}, at_, "x"},
  };
  for (const Case& c : cases) {
    std::vector<OperandTransform> list = c.list;
    list.push_back(entry(0));
    TransformOutputs outputs;
    OrbaExpression* result = applyOperandTransforms(x_, list.data(), outputs, c.at);
    ASSERT_NE(result, nullptr) << c.name;
    moveSectionChecks(result, section_, other);
    EXPECT_EQ(result->toString(0), c.expected) << c.name;
  }
}

TEST_F(PostEncodeTest, RangeNodeOfAnOutOfRangeConstantEvaluatesToTheRangeError) {
  const OperandTransform list[] = {entry(1, -256, 255), entry(0)};
  TransformOutputs outputs;
  OrbaExpression* result = applyOperandTransforms(TEInteger::create(256), list, outputs, at_);
  ASSERT_EQ(result->getKind(), EK_function);
  EXPECT_EQ(result->getOperator(), FN_RANGE);
  OrbaExpression* value = result->evaluate();
  ASSERT_TRUE(value->isError());
  EXPECT_EQ(value->getErrorKind(), ERR_range);
}

TEST_F(PostEncodeTest, OutputsCarryRelocationCodesDeferralAndCallback) {
  const auto negate = reinterpret_cast<Callback>(&negateOperand);
  struct Case {
    const char* name;
    std::vector<OperandTransform> list;
    uint32_t codes[3];
    bool transformFlag;
    bool hasCallback;
  };
  const Case cases[] = {
      {"no entries", {}, {0, 0, 0}, false, false},
      {"relocation codes come from a, low b and high b", {entry(16, 9, (int64_t{7} << 32) | 5)}, {9, 5, 7}, false,
       false},
      {"only the first relocation entry counts", {entry(16, 3), entry(16, 11)}, {3, 0, 0}, false, false},
      {"deferral needs a relocation code", {entry(21)}, {0, 0, 0}, false, false},
      {"deferral with a relocation code", {entry(21), entry(16, 4)}, {4, 0, 0}, true, false},
      {"the callback is handed on", {entry(10, 0, 0, negate), entry(16, 11)}, {11, 0, 0}, false, true},
  };
  for (const Case& c : cases) {
    std::vector<OperandTransform> list = c.list;
    list.push_back(entry(0));
    TransformOutputs outputs;
    applyOperandTransforms(x_, list.data(), outputs, at_);
    EXPECT_EQ(outputs.relocFunction[0], c.codes[0]) << c.name;
    EXPECT_EQ(outputs.relocFunction[1], c.codes[1]) << c.name;
    EXPECT_EQ(outputs.relocFunction[2], c.codes[2]) << c.name;
    EXPECT_EQ(outputs.transformFlag, c.transformFlag) << c.name;
    EXPECT_EQ(outputs.callback == &negateOperand, c.hasCallback) << c.name;
  }
}

TEST_F(PostEncodeTest, NullValueAndNullListPassThrough) {
  const OperandTransform list[] = {entry(1, 0, 1), entry(0)};
  TransformOutputs outputs;
  EXPECT_EQ(applyOperandTransforms(nullptr, list, outputs, at_), nullptr);
  EXPECT_EQ(applyOperandTransforms(x_, nullptr, outputs, at_), x_);
}

TEST_F(PostEncodeTest, RangeExemptionNeedsTheFlaggedSymbolItself) {
  struct Case {
    OrbaExpression* expression;
    bool expected;
  };
  const Case cases[] = {{nullptr, false}, {x_, false}, {exempt_, true}, {TEInteger::create(3), false}};
  for (const Case& c : cases) EXPECT_EQ(isRangeExemptSymbol(c.expression), c.expected) << exprToString(c.expression);
}

TEST_F(PostEncodeTest, NegateOperandNegatesWhatTheStatementWrote) {
  struct Case {
    OrbaExpression* operand;
    std::string printed;
    int64_t value;  // of a constant operand
  };
  const Case cases[] = {{TEInteger::create(5), "-5", -5}, {TEInteger::create(-8), "-0xFFFFFFFFFFFFFFF8", 8},
                        {x_, "-x", 0}};
  for (const Case& c : cases) {
    OrbaExpression* slot = c.operand;
    OrbaExpression* negated = negateOperand(at_, &slot);
    ASSERT_NE(negated, nullptr);
    EXPECT_EQ(negated->getKind(), EK_unary);
    EXPECT_EQ(negated->getOperator(), OP_negate);
    EXPECT_EQ(negated->getArgument(0), c.operand) << "the operand is shared, not copied";
    EXPECT_EQ(negated->toString(0), c.printed);
    if (c.operand->getKind() == EK_integer) {
      EXPECT_EQ(negated->evaluate()->getInteger(), c.value);
    }
    EXPECT_EQ(slot, c.operand) << "the slot is left as it was";
  }
}

}  // namespace
