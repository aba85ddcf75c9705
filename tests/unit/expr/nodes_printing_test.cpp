#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>

#include "expr/TEBinary.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFract.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TESection.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "expr/TEUnary.h"
#include "flow/Section.h"
#include "nodes_fixture.h"

namespace {

class NodesPrintingTest : public ExprNodesTest {};

OrbaExpression* integer(int64_t value) { return TEInteger::create(value); }

TEST_F(NodesPrintingTest, NodesPrintInSourceFormFullyParenthesised) {
  Symbol* a = symbol("a");
  Symbol* b = symbol("b");
  Symbol* five = symbol("five", integer(5));
  Symbol* self = symbol("self");
  self->valueExpression = new TESymbol(self);
  Section text(".text");
  runState().lineState->addSourceFile("inc/regs.def");
  LineInfo* line12 = line(12, 1);
  LineInfo* noFile = line(3, 7);
  const uint8_t fract[] = {0x40, 0x00};

  struct Case {
    const char* what;
    std::function<OrbaExpression*()> build;
    unsigned mode;
    const char* expected;
  } cases[] = {
      {"small integer", [] { return integer(255); }, 0, "255"},
      {"integer above 255", [] { return integer(256); }, 0, "0x100"},
      {"negative integer", [] { return integer(-1); }, 0, "0xFFFFFFFFFFFFFFFF"},
      {"zero", [] { return integer(0); }, 0, "0"},
      {"double", [] { return new TEDouble(0.1); }, 0, "0.10000000000000001"},
      {"fraction", [&] { return new TEFract(fract, 16); }, 0, "0.5"},
      {"string with a quote", [] { return TEString::create("say \"hi\"", 8); }, 0,
       "\"say \"hi\"\""},
      {"symbol", [&] { return new TESymbol(five); }, 0, "five"},
      {"symbol with its value", [&] { return new TESymbol(five); }, kPrintSymbolValues, "five[5]"},
      {"symbol without value", [&] { return new TESymbol(a); }, 3, "a"},
      {"symbol that is its own value", [&] { return new TESymbol(self); }, 3, "self[self]"},
      {"a + b * 2",
       [&] {
         return new TEBinary(OP_add, new TESymbol(a),
                             new TEBinary(OP_multiply, new TESymbol(b), integer(2)));
       },
       3, "(a + (b * 2))"},
      {"-(a + b)",
       [&] { return new TEUnary(OP_negate, new TEBinary(OP_add, new TESymbol(a), new TESymbol(b))); },
       3, "-(a + b)"},
      {"unary operators", [&] { return new TEUnary(OP_logicalNot, new TEUnary(OP_complement, new TEUnary(OP_plus, integer(1)))); }, 0, "!~+1"},
      {"unknown unary operator", [] { return new TEUnary(99, integer(1)); }, 0, "<?>1"},
      {"concatenation", [] { return new TEBinary(OP_concat, TEString::create("a", 1), TEString::create("b", 1)); }, 0, "(\"a\" ++ \"b\")"},
      {"shift and compare", [] { return new TEBinary(OP_lessEqual, new TEBinary(OP_shiftRight, integer(1), integer(2)), integer(3)); }, 0, "((1 >> 2) <= 3)"},
      {"unknown binary operator", [] { return new TEBinary(99, integer(1), integer(2)); }, 0, "(1 <?> 2)"},
      {"error", [] { return TEError::kind8(); }, 0, "!!ERROR(divide by zero)"},
      {"error with text", [] { return TEError::make(ERR_text, "bad field"); }, 0, "!!ERROR(bad field)"},
      {"error 18 without text", [] { return TEError::make(ERR_text); }, 0, "!!ERROR(unknown expression error)"},
      {"error above 18", [] { return TEError::create(40); }, 0, "!!ERROR(unknown expression error)"},
      {"section", [&] { return new TESection(&text); }, 0, "Section[.text]"},
      {"line", [&] { return TELineInfo::create(line12); }, 0, "LineInfo[12,inc/regs.def]"},
      {"line of an unknown file", [&] { return TELineInfo::create(noFile); }, 0, "LineInfo[3,]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.build()->toString(c.mode), c.expected);
  }
  EXPECT_EQ(exprToString(nullptr), "");
}

TEST_F(NodesPrintingTest, IntegersLeaveTheStreamDecimalAndLowerCase) {
  std::ostringstream out;
  out << std::hex << std::uppercase;
  integer(300)->print(out, 0);
  out << ' ' << 255 << ' ' << 1e100;
  EXPECT_EQ(out.str(), "0x12C 255 1e+100");
}

TEST_F(NodesPrintingTest, ToStringGivesOnlyTheLastNodesText) {
  EXPECT_EQ(integer(1)->toString(0), "1");
  EXPECT_EQ(integer(2)->toString(0), "2");
}

}  // namespace
