#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "expr/TEBinary.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFract.h"
#include "expr/TEInteger.h"
#include "expr/TESection.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "expr/TEUnary.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "nodes_fixture.h"

namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
const double kNaN = std::nan("");

// An operand leaf described by value, built fresh for each case.
struct Leaf {
  uint32_t kind;
  int64_t integer = 0;
  double real = 0.0;
  std::string text;

  OrbaExpression* make() const {
    switch (kind) {
      case EK_integer: return TEInteger::create(integer);
      case EK_double: return new TEDouble(real);
      case EK_string: return TEString::create(text.data(), static_cast<uint32_t>(text.size()));
      case EK_fract: return new TEFract(real, 16);
      default: return nullptr;
    }
  }
};

Leaf I(int64_t value) { return {EK_integer, value, 0.0, {}}; }
Leaf D(double value) { return {EK_double, 0, value, {}}; }
Leaf S(std::string text) { return {EK_string, 0, 0.0, std::move(text)}; }
Leaf F(double value) { return {EK_fract, 0, value, {}}; }

// What a fold must give: a leaf of that kind and value, or an error of that kind.
struct Expected {
  uint32_t kind;
  int64_t integer = 0;
  double real = 0.0;
  std::string text;
  uint32_t errorKind = 0;
};

Expected isInt(int64_t value) { return {EK_integer, value, 0.0, {}, 0}; }
Expected isDouble(double value) { return {EK_double, 0, value, {}, 0}; }
Expected isString(std::string text) { return {EK_string, 0, 0.0, std::move(text), 0}; }
Expected isError(uint32_t kind) { return {EK_error, 0, 0.0, {}, kind}; }

void expectResult(const OrbaExpression* result, const Expected& expected) {
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->getKind(), expected.kind) << exprToString(result);
  switch (expected.kind) {
    case EK_integer: EXPECT_EQ(result->getInteger(), expected.integer); break;
    case EK_double:
      if (std::isnan(expected.real)) EXPECT_TRUE(std::isnan(result->getDouble()));
      else EXPECT_EQ(result->getDouble(), expected.real);
      break;
    case EK_string:
      EXPECT_EQ(std::string(result->getString(), result->getStringLength()), expected.text);
      break;
    case EK_error: EXPECT_EQ(result->getErrorKind(), expected.errorKind); break;
  }
}

const std::string k32(32, 'x');
const std::string k33(33, 'x');

struct FoldCase {
  const char* what;
  int32_t op;
  Leaf left;
  Leaf right;
  Expected expected;
};

const FoldCase kFoldCases[] = {
    // Integers: signed 64-bit, wrapping.
    {"sum", OP_add, I(3), I(4), isInt(7)},
    {"sum wraps", OP_add, I(kMax), I(1), isInt(kMin)},
    {"difference wraps", OP_subtract, I(kMin), I(1), isInt(kMax)},
    {"product wraps", OP_multiply, I(kMax), I(2), isInt(-2)},
    {"quotient truncates toward zero", OP_divide, I(-7), I(2), isInt(-3)},
    {"remainder takes the dividend's sign", OP_remainder, I(-7), I(2), isInt(-1)},
    {"most negative by -1", OP_divide, I(kMin), I(-1), isInt(kMin)},
    {"most negative modulo -1", OP_remainder, I(kMin), I(-1), isInt(0)},
    {"divide by zero", OP_divide, I(7), I(0), isError(ERR_divideByZero)},
    {"remainder by zero", OP_remainder, I(7), I(0), isError(ERR_divideByZero)},
    {"logical and", OP_logicalAnd, I(5), I(0), isInt(0)},
    {"logical or", OP_logicalOr, I(0), I(-3), isInt(1)},
    {"bitwise and", OP_bitAnd, I(6), I(3), isInt(2)},
    {"bitwise or", OP_bitOr, I(6), I(3), isInt(7)},
    {"bitwise xor", OP_bitXor, I(6), I(3), isInt(5)},
    {"comparison is signed", OP_less, I(-1), I(1), isInt(1)},
    {"greater or equal", OP_greaterEqual, I(2), I(2), isInt(1)},
    {"greater", OP_greater, I(2), I(2), isInt(0)},
    {"less or equal", OP_lessEqual, I(3), I(2), isInt(0)},
    {"equal", OP_equal, I(-5), I(-5), isInt(1)},
    {"not equal", OP_notEqual, I(-5), I(-5), isInt(0)},
    {"shift into the sign bit", OP_shiftLeft, I(1), I(63), isInt(kMin)},
    {"right shift keeps the sign", OP_shiftRight, I(-8), I(1), isInt(-4)},
    {"count 32 is exact", OP_shiftLeft, I(1), I(32), isInt(int64_t{1} << 32)},
    {"count 64 shifts by 32", OP_shiftLeft, I(1), I(64), isInt(4294967296)},
    {"count 96 shifts by 32", OP_shiftLeft, I(1), I(96), isInt(4294967296)},
    {"right count 64 shifts by 32", OP_shiftRight, I(-8), I(64), isInt(-1)},
    {"negative count shifts by 63", OP_shiftLeft, I(1), I(-1), isInt(kMin)},
    {"concatenation of integers", OP_concat, I(1), I(2), isError(ERR_cannotEvaluate)},
    {"unknown operator", 99, I(1), I(2), isError(ERR_cannotEvaluate)},
    // Doubles, and integers meeting doubles.
    {"double sum", OP_add, D(1.5), I(1), isDouble(2.5)},
    {"integer meets double", OP_less, I(3), D(2.5), isDouble(0.0)},
    {"double quotient", OP_divide, D(7.0), D(2.0), isDouble(3.5)},
    {"double divide by zero", OP_divide, D(7.0), D(0.0), isError(ERR_divideByZero)},
    {"double divide by negative zero", OP_divide, D(7.0), D(-0.0), isError(ERR_divideByZero)},
    {"NaN divisor is no zero", OP_divide, D(7.0), D(kNaN), isDouble(kNaN)},
    {"double remainder", OP_remainder, D(7.0), D(2.0), isError(ERR_cannotEvaluate)},
    {"double logical and", OP_logicalAnd, D(1.0), D(1.0), isError(ERR_cannotEvaluate)},
    {"double shift", OP_shiftLeft, D(1.0), I(1), isError(ERR_cannotEvaluate)},
    {"NaN is not equal to itself", OP_equal, D(kNaN), D(kNaN), isDouble(0.0)},
    {"NaN compares unequal", OP_notEqual, D(kNaN), D(kNaN), isDouble(1.0)},
    {"NaN is not less", OP_less, D(kNaN), D(1.0), isDouble(0.0)},
    // Strings.
    {"string of two characters as integer", OP_add, S("AB"), I(0), isInt(16706)},
    {"string of 32 characters folds", OP_equal, S(k32), S(k32), isInt(1)},
    {"string of 33 characters does not", OP_add, S(k33), I(0), isError(ERR_cannotEvaluate)},
    {"concatenation", OP_concat, S("ab"), S("cd"), isString("abcd")},
    {"concatenation stops at NUL", OP_concat, S(std::string("a\0b", 3)), S("c"), isString("ac")},
    {"concatenation with an integer", OP_concat, S("ab"), I(1), isError(ERR_cannotEvaluate)},
};

class NodesFoldingTest : public ExprNodesTest {};

TEST_F(NodesFoldingTest, ConstantOperandsFoldByKindAndOperator) {
  for (const FoldCase& c : kFoldCases) {
    SCOPED_TRACE(c.what);
    expectResult(foldBinaryOperation(c.op, c.left.make(), c.right.make()), c.expected);
    // A tree over the same leaves evaluates to the same result.
    TEBinary tree(c.op, c.left.make(), c.right.make());
    expectResult(tree.evaluate(), c.expected);
  }
}

TEST_F(NodesFoldingTest, OperandsThatAreNoConstantsDoNotFold) {
  Symbol* s = symbol("s", TEInteger::create(5));
  struct Case {
    const char* what;
    OrbaExpression* left;
    OrbaExpression* right;
    Expected evaluated;
  } cases[] = {
      {"fractions", new TEFract(0.5, 16), new TEFract(0.25, 16), isError(ERR_cannotEvaluate)},
      {"symbol with a value", new TESymbol(s), TEInteger::create(1), isInt(6)},
      {"error operand", TEError::kind7(), TEInteger::create(1), isError(ERR_range)},
      {"string meets double", TEString::create("A", 1), new TEDouble(1.0),
       isError(ERR_cannotEvaluate)},
      {"section", new TESection(nullptr), TEInteger::create(1), isError(ERR_cannotEvaluate)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(foldBinaryOperation(OP_add, c.left, c.right), nullptr);
    TEBinary tree(OP_add, c.left, c.right);
    expectResult(tree.evaluate(), c.evaluated);
  }
}

TEST_F(NodesFoldingTest, UnaryOperatorsFoldByOperandKind) {
  struct Case {
    const char* what;
    int32_t op;
    Leaf operand;
    Expected expected;
  } cases[] = {
      {"not of a double", OP_logicalNot, D(2.5), isInt(0)},
      {"not of zero double", OP_logicalNot, D(0.0), isInt(1)},
      {"not of empty string", OP_logicalNot, S(""), isInt(1)},
      {"not of a long string never fails", OP_logicalNot, S(k33), isInt(0)},
      {"complement of zero", OP_complement, I(0), isInt(-1)},
      {"complement of a double", OP_complement, D(2.5), isError(ERR_cannotEvaluate)},
      {"negate wraps", OP_negate, I(kMin), isInt(kMin)},
      {"negate a string", OP_negate, S("A"), isInt(-65)},
      {"negate a double", OP_negate, D(2.5), isDouble(-2.5)},
      {"plus keeps a double", OP_plus, D(2.5), isDouble(2.5)},
      {"negate a fraction", OP_negate, F(0.5), isError(ERR_cannotEvaluate)},
      {"unknown operator", 99, I(1), isError(ERR_cannotEvaluate)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TEUnary tree(c.op, c.operand.make());
    expectResult(tree.evaluate(), c.expected);
  }
  TEUnary overError(OP_negate, TEError::kind9());
  EXPECT_EQ(overError.evaluate(), TEError::kind9());
}

TEST_F(NodesFoldingTest, CreateWithConstantFoldsOrBuildsANode) {
  expectResult(TEBinary::create(TEInteger::create(6), OP_multiply, 7), isInt(42));
  expectResult(TEBinary::create(new TEDouble(0.5), OP_add, 1), isDouble(1.5));
  Symbol* s = symbol("s");
  OrbaExpression* built = TEBinary::create(new TESymbol(s), OP_greaterEqual, 32768);
  ASSERT_EQ(built->getKind(), EK_binary);
  EXPECT_EQ(built->getOperator(), OP_greaterEqual);
  EXPECT_EQ(built->getArgument(1), TEInteger::create(32768));
}

// Symbol differences cancel before evaluation; the symbols need no values for that.
TEST_F(NodesFoldingTest, SymbolDifferencesCancel) {
  Section text(".text");
  Section data(".data");
  Symbol* base = symbol("_R1");  // a section symbol without a value
  Symbol* s = symbol("s");
  auto label = [&](const char* name, Section* section, int64_t offset) {
    Symbol* made = symbol(name, new TEBinary(OP_add, new TESymbol(base), TEInteger::create(offset)));
    made->section = section;
    return made;
  };
  Symbol* l1 = label("l1", &text, 12);
  Symbol* l2 = label("l2", &text, 4);
  Symbol* other = label("other", &data, 4);
  Symbol* relocatable = symbol("r");
  relocatable->flags[2] |= Symbol::kRelocatable;
  auto ref = [](Symbol* symbol) { return new TESymbol(symbol); };
  auto plus = [](OrbaExpression* a, int64_t c) {
    return new TEBinary(OP_add, a, TEInteger::create(c));
  };

  struct Case {
    const char* what;
    OrbaExpression* left;
    OrbaExpression* right;
    Expected expected;
  } cases[] = {
      {"same symbol", ref(s), ref(s), isInt(0)},
      {"same symbol with offsets", plus(ref(s), 4), plus(ref(s), 1), isInt(3)},
      {"offset before the symbol", new TEBinary(OP_add, TEInteger::create(4), ref(s)), ref(s),
       isInt(4)},
      {"symbol minus offset", new TEBinary(OP_subtract, ref(s), TEInteger::create(2)), ref(s),
       isInt(-2)},
      {"two labels of one section", ref(l1), ref(l2), isInt(8)},
      {"labels with offsets", plus(ref(l1), 1), ref(l2), isInt(9)},
      {"labels of two sections", ref(l1), ref(other), isError(ERR_symbolHasNoValue)},
      {"relocatable symbol does not cancel", ref(relocatable), ref(relocatable),
       isError(ERR_symbolHasNoValue)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TEBinary tree(OP_subtract, c.left, c.right);
    expectResult(tree.evaluate(), c.expected);
  }
}

TEST_F(NodesFoldingTest, ConstantsMoveAcrossASymbolDifference) {
  Symbol* s = symbol("s", TEInteger::create(100));
  auto plus = [&](int32_t op, int64_t c) {
    return new TEBinary(op, new TESymbol(s), TEInteger::create(c));
  };
  struct Case {
    const char* what;
    OrbaExpression* left;
    OrbaExpression* right;
    int64_t expected;
  } cases[] = {
      {"k - (s + c)", TEInteger::create(20), plus(OP_add, 5), -85},
      {"k - (s - c)", TEInteger::create(20), plus(OP_subtract, 5), -75},
      {"(s + c) - k", plus(OP_add, 10), TEInteger::create(4), 106},
      {"(s - c) - k", plus(OP_subtract, 10), TEInteger::create(4), 86},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TEBinary tree(OP_subtract, c.left, c.right);
    expectResult(tree.evaluate(), isInt(c.expected));
  }
}

TEST_F(NodesFoldingTest, SubstituteReplacesTheSymbolAndFolds) {
  Symbol* s = symbol("s");
  Symbol* t = symbol("t", TEInteger::create(3));
  TEBinary tree(OP_multiply, new TESymbol(s), new TESymbol(t));
  expectResult(tree.substitute(s, TEInteger::create(5)), isInt(15));
  Symbol* u = symbol("u");
  OrbaExpression* partial = tree.substitute(t, new TESymbol(u));
  EXPECT_EQ(exprToString(partial), "(s * u)");
}

TEST_F(NodesFoldingTest, FirstUnsatisfiedCaseStopsAtTheFirstFalseCondition) {
  Symbol* s = symbol("s");
  struct Case {
    const char* what;
    OrbaExpression* condition;
    bool errorStops;
    bool holds;
  } cases[] = {
      {"non-zero integer", TEInteger::create(2), true, true},
      {"zero integer", TEInteger::create(0), true, false},
      {"non-zero double", new TEDouble(0.5), true, true},
      {"zero double", new TEDouble(0.0), true, false},
      {"zero fraction", new TEFract(0.0, 16), true, false},
      {"empty string", TEString::create("", 0), true, false},
      {"string", TEString::create("a", 1), true, true},
      {"error that stops", TEError::kind8(), true, false},
      {"error passed over", TEError::kind8(), false, true},
      {"symbol without value", new TESymbol(s), false, true},
      {"folded comparison", new TEBinary(OP_equal, TEInteger::create(1), TEInteger::create(2)),
       true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const char* result = nullptr;
    bool allHold = findFirstUnsatisfiedCase({{TEInteger::create(1), "first"}, {c.condition, "it"}},
                                            result, c.errorStops);
    EXPECT_EQ(allHold, c.holds);
    EXPECT_STREQ(result, c.holds ? nullptr : "it");
  }
  const char* untouched = "kept";
  EXPECT_TRUE(findFirstUnsatisfiedCase({}, untouched, true));
  EXPECT_STREQ(untouched, "kept");
}

}  // namespace
