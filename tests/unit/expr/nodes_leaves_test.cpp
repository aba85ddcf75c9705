#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "expr/TEBinary.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFract.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/Section.h"
#include "nodes_fixture.h"

namespace {

class NodesLeavesTest : public ExprNodesTest {};

std::vector<uint8_t> bytesOf(const TEFract::fract_value& value) {
  return std::vector<uint8_t>(value.bytes(), value.bytes() + value.byteCount());
}

TEST_F(NodesLeavesTest, FractionEncodingRoundsAndSaturates) {
  struct Case {
    double value;
    int32_t bits;
    std::vector<uint8_t> expected;
  } cases[] = {
      {1.0, 16, {0x7F, 0xFF}},
      {2.5, 16, {0x7F, 0xFF}},
      {-1.0, 16, {0x80, 0x00}},
      {-7.0, 32, {0x80, 0x00, 0x00, 0x00}},
      {0.99999, 16, {0x7F, 0xFF}},    // rounding saturates
      {-0.99999, 16, {0x80, 0x01}},   // saturated, then negated
      {-0.00001, 16, {0x00, 0x00}},   // rounds to zero, which is not negated
      {0.25, 16, {0x20, 0x00}},
      {0.5, 16, {0x40, 0x00}},
      {-0.5, 16, {0xC0, 0x00}},
      {-0.5, 8, {0xC0}},
      {0.75, 32, {0x60, 0x00, 0x00, 0x00}},
      {std::ldexp(1.0, -16), 16, {0x00, 0x01}},   // half a step rounds away from zero
      {-std::ldexp(1.0, -16), 16, {0xFF, 0xFF}},
      {std::ldexp(1.0, -17), 16, {0x00, 0x00}},   // a quarter step rounds down
      {0.5, 12, {0x40, 0x00}},                    // whole bytes
      {std::nan(""), 8, {0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " in " << c.bits << " bits");
    EXPECT_EQ(bytesOf(TEFract::fract_value(c.value, c.bits)), c.expected);
  }
}

TEST_F(NodesLeavesTest, FractionsReadBackWithEveryByte) {
  struct Case {
    std::vector<uint8_t> bytes;
    double value;
    int64_t code;
  } cases[] = {
      {{0x40, 0x00}, 0.5, 0x4000},
      {{0xC0, 0x00}, -0.5, 49152},
      {{0x80, 0x00}, -1.0, 0x8000},
      {{0x7F, 0xFF}, 1.0 - std::ldexp(1.0, -15), 0x7FFF},
      {{0xC0}, -0.5, 0xC0},
      {{0xC0, 0x00, 0x00, 0x01}, -0.5 + std::ldexp(1.0, -31), 0xC0000001},
  };
  for (const Case& c : cases) {
    TEFract node(c.bytes.data(), static_cast<int32_t>(c.bytes.size() * 8));
    EXPECT_EQ(node.getDouble(), c.value);
    EXPECT_EQ(node.getInteger(), c.code);
    EXPECT_EQ(node.clone()->getInteger(), c.code);
  }
}

TEST_F(NodesLeavesTest, FractionFromIntegerKeepsItsLowBytes) {
  EXPECT_EQ(bytesOf(TEFract::fract_value(int64_t{0x123456}, 16)), (std::vector<uint8_t>{0x34, 0x56}));
  EXPECT_EQ(bytesOf(TEFract::fract_value(int64_t{-1}, 24)), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(bytesOf(TEFract::fract_value(int64_t{0x0102}, 72)),
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0x01, 0x02}));
}

TEST_F(NodesLeavesTest, DoublesTruncateTowardZero) {
  struct Case {
    double value;
    int64_t expected;
  } cases[] = {
      {-2.7, -2},
      {2.7, 2},
      {1e300, std::numeric_limits<int64_t>::max()},
      {-1e300, std::numeric_limits<int64_t>::min()},
      {std::nan(""), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(TEDouble(c.value).getInteger(), c.expected) << c.value;
  EXPECT_EQ(TEInteger::create(-3)->getDouble(), -3.0);
}

TEST_F(NodesLeavesTest, SymbolValueDependsOnItsFlags) {
  struct Case {
    const char* what;
    uint8_t flags1;
    bool defined;
    bool hasValue;
    uint32_t expectedKind;  // of evaluate
    uint32_t references;
    bool weakReference;
  } cases[] = {
      {"value", 0, true, true, EK_integer, 0, false},
      {"no value", 0, false, false, EK_error, 1, false},
      {"weak with value", Symbol::kWeak, true, true, EK_error, 1, false},
      {"weak undefined", Symbol::kWeak, false, false, EK_error, 1, true},
      {"weak defined without value", Symbol::kWeak, true, false, EK_error, 1, false},
      {"counts as reference", Symbol::kCountsAsReference, true, true, EK_integer, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Symbol* s = symbol("s", c.hasValue ? TEInteger::create(5) : nullptr);
    s->flags[1] = c.flags1;
    if (c.defined) s->flags[0] |= Symbol::kDefined;
    TESymbol node(s);
    OrbaExpression* value = node.evaluate();
    ASSERT_EQ(value->getKind(), c.expectedKind);
    if (c.expectedKind == EK_error) {
      EXPECT_EQ(value, TEError::kind16());
    }
    EXPECT_EQ(node.countSymbolReferences(), c.references);
    EXPECT_EQ(node.hasWeakReference(), c.weakReference);
  }
}

TEST_F(NodesLeavesTest, SymbolSectionMembership) {
  Section text(".text");
  Section data(".data");
  Section placeholder("");
  Section* savedPlaceholder = runState().placeholderSection;
  runState().placeholderSection = &placeholder;
  Symbol* inData = symbol("d");
  inData->section = &data;
  inData->flags[0] |= Symbol::kDefined;
  auto make = [&](Section* section, uint8_t flags0, uint8_t flags1, OrbaExpression* value) {
    Symbol* s = symbol("s", value);
    s->section = section;
    s->flags[0] = flags0;
    s->flags[1] = flags1;
    return s;
  };
  struct Case {
    const char* what;
    Symbol* symbol;
    bool inText;
  } cases[] = {
      {"label of the section", make(&text, Symbol::kDefined, 0, nullptr), true},
      {"label of another section", make(&data, Symbol::kDefined, 0, nullptr), false},
      {"undefined", make(&text, 0, 0, nullptr), false},
      {"weak", make(&text, Symbol::kDefined, Symbol::kWeak, nullptr), false},
      {"section from the value", make(&text, Symbol::kDefined, Symbol::kSectionByValue,
                                      new TESymbol(inData)), false},
      {"default section, absolute value", make(&placeholder, Symbol::kDefined, 0,
                                               TEInteger::create(3)), true},
      {"default section, no value", make(&placeholder, Symbol::kDefined, 0, nullptr), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(TESymbol(c.symbol).isInSection(&text), c.inText);
  }
  runState().placeholderSection = savedPlaceholder;
}

TEST_F(NodesLeavesTest, SymbolRelocatableThroughItsValue) {
  Symbol* external = symbol("ext");
  external->flags[2] |= Symbol::kRelocatable;
  Symbol* viaValue = symbol("v", new TEBinary(OP_add, new TESymbol(external), TEInteger::create(4)));
  Symbol* plain = symbol("p", TEInteger::create(4));
  EXPECT_TRUE(TESymbol(external).isRelocatable());
  EXPECT_TRUE(TESymbol(viaValue).isRelocatable());
  EXPECT_FALSE(TESymbol(plain).isRelocatable());
  EXPECT_FALSE(TESymbol(symbol("none")).isRelocatable());
  plain->unit = 4;
  EXPECT_EQ(TESymbol(plain).getUnit(), 4u);
}

TEST_F(NodesLeavesTest, ReplaceSymbolReachesIntoValues) {
  Symbol* oldSymbol = symbol("old", TEInteger::create(1));
  Symbol* newSymbol = symbol("new", TEInteger::create(2));
  Symbol* holder = symbol("holder", new TESymbol(oldSymbol));
  TEBinary tree(OP_add, new TESymbol(oldSymbol), new TESymbol(holder));
  tree.replaceSymbol(oldSymbol, newSymbol);
  EXPECT_EQ(exprToString(&tree), "(new[2] + holder[new[2]])");
  EXPECT_EQ(tree.evaluate(), TEInteger::create(4));
}

// Values that refer back to their own symbol end as "symbol has no value".
TEST_F(NodesLeavesTest, SymbolsWhoseValuesFormACycleHaveNoValue) {
  Symbol* a = symbol("a");
  Symbol* b = symbol("b", new TEBinary(OP_add, new TESymbol(a), TEInteger::create(1)));
  a->valueExpression = new TESymbol(b);
  a->flags[0] |= Symbol::kDefined;
  TESymbol reference(a);
  OrbaExpression* value = reference.evaluate();
  ASSERT_TRUE(value->isError());
  EXPECT_EQ(value->getErrorKind(), ERR_symbolHasNoValue);
  EXPECT_STREQ(TEError::kindText(value), "symbol has no value");
  EXPECT_FALSE(reference.isRelocatable());
  EXPECT_EQ(reference.countSymbolReferences(), 1u);
  EXPECT_FALSE(reference.hasWeakReference());
  EXPECT_EQ(exprToString(&reference), "a[b[(a + 1)]]");
  Symbol* unrelated = symbol("u");
  reference.replaceSymbol(unrelated, b);
  EXPECT_EQ(reference.substitute(unrelated, TEInteger::create(0))->toString(0), "(a + 1)");
  // The walks leave the symbols usable for the next one.
  EXPECT_FALSE(a->valueVisit);
  EXPECT_FALSE(b->valueVisit);
}

}  // namespace
