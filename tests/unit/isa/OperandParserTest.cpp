// The operand reader of the instruction walk reads plain numbers and names without the
// expression rules, and refuses an address bracket at once: it must come to what the full
// rules come to, for every operand, in every radix.
#include "isa/ExpressionOperandParser.h"

#include <gtest/gtest.h>

#include <string>

#include "ScopedManagers.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

// What a parse came to, in terms that two parses of the same text can share.
struct Reading {
  uint32_t consumed = 0;
  const char* error = nullptr;
  uint32_t kind = 0;  // of the value; 0 without one
  int64_t integer = 0;
  const Symbol* symbol = nullptr;
  std::string printed;
};

Reading readingOf(uint32_t consumed, const char* error, OrbaExpression* value) {
  Reading reading;
  reading.consumed = consumed;
  reading.error = error;
  if (!value) return reading;
  // The walk folds a sign into its number; the full rules leave the fold to evaluation.
  OrbaExpression* folded = value->getKind() == EK_unary ? value->evaluate() : value;
  reading.kind = folded->getKind();
  if (reading.kind == EK_integer) reading.integer = folded->getInteger();
  if (reading.kind == EK_symbol) reading.symbol = folded->getSymbol();
  reading.printed = exprToString(folded);
  return reading;
}

// The full expression rules: a preprocessor parse takes no short way, and the operands
// here hold no location counter, the one thing that it reads otherwise.
Reading fullRules(const char* text, LineInfo* line) {
  ExprScanner scanner;
  scanner.reset(text, line);
  const char* error = nullptr;
  OrbaExpression* value = parseExpressionAt(&scanner, &error, true);
  return readingOf(error ? 0 : static_cast<uint32_t>(scanner.cursor - text), error, value);
}

Reading walkReader(const char* text, LineInfo* line) {
  isa::ExpressionOperandParser parser;
  void* value = nullptr;
  const char* error = nullptr;
  uint32_t consumed = parser.parse(text, line, &value, &error);
  return readingOf(consumed, error, static_cast<OrbaExpression*>(value));
}

TEST(OperandReader, ComesToWhatTheFullExpressionRulesComeTo) {
  struct Case {
    const char* text;
    int16_t radix;
  };
  const Case cases[] = {
      // Plain numbers before the comma, the bracket or the end of an operand.
      {"5", 10}, {"0", 10}, {"36,d0", 10}, {"180]", 10}, {"999999999", 10}, {"1234567890,", 10},
      // Signs and complements fold into the number.
      {"-36,d0", 10}, {"+7]", 10}, {"~0", 10}, {"-0", 10}, {"--5", 10}, {"- 3", 10}, {"-x", 10},
      // What the short way leaves to the rules: leading zeros, blanks, suffixes, other radixes.
      {"05,", 10}, {" 12,", 10}, {"12 ,", 10}, {"3+4,", 10}, {"36a,", 10}, {"0x1F,", 10},
      {"0b101]", 10}, {"1.5", 10}, {"1e3", 10}, {"2f", 10}, {"#12", 10}, {"10,", 16}, {"-10]", 16},
      {"19,", 8},
      // Names, set symbols and function names.
      {"lab", 10}, {"foo,d0", 10}, {"loop_top]", 10}, {"a.b", 10}, {".x,", 10}, {"_under", 10},
      {"@ABS(1)", 10}, {"@nosuch,", 10}, {"lab+4,", 10}, {"lab ,", 10},
      // An address bracket, a substring and what fails in them.
      {"[a2]4", 10}, {"[ a12]-36,d0", 10}, {"[_x]", 10}, {"[\"text\",1,2]", 10}, {"[\"text\"", 10},
      {"[", 10}, {"[1]", 10}, {"[[a]", 10},
      // Nothing to read, and what no rule begins with.
      {"", 10}, {",", 10}, {"]", 10}, {")", 10}, {"((1)", 10}, {"\"abc", 10},
  };
  ScopedManagers managers(ScopedManagers::kAll);
  for (const Case& c : cases) {
    ControlState control;
    control.radix = c.radix;
    LineInfo line;
    line.controlState = &control;
    Reading expected = fullRules(c.text, &line);
    Reading got = walkReader(c.text, &line);
    EXPECT_EQ(got.consumed, expected.consumed) << c.text << " radix " << c.radix;
    EXPECT_EQ(got.error, expected.error) << c.text << " radix " << c.radix;
    EXPECT_EQ(got.kind, expected.kind) << c.text << " radix " << c.radix;
    EXPECT_EQ(got.integer, expected.integer) << c.text << " radix " << c.radix;
    EXPECT_EQ(got.symbol, expected.symbol) << c.text << " radix " << c.radix;
    EXPECT_EQ(got.printed, expected.printed) << c.text << " radix " << c.radix;
  }
}

TEST(OperandReader, OnlyTheNestingBoundNamesTheStatement) {
  struct Case {
    std::string text;
    bool namesStatement;
  };
  const Case cases[] = {
      {std::string(256, '(') + "1" + std::string(256, ')'), true},
      {std::string(300, '-') + "4", true},
      {std::string(255, '(') + "1" + std::string(255, ')'), false},
      {"((1)", false},
      {"[a2]", false},
      {"1+", false},
  };
  ScopedManagers managers(ScopedManagers::kAll);
  ControlState control;
  LineInfo line;
  line.controlState = &control;
  isa::ExpressionOperandParser parser;
  for (const Case& c : cases) {
    void* value = nullptr;
    const char* error = nullptr;
    parser.parse(c.text.c_str(), &line, &value, &error);
    EXPECT_EQ(error != nullptr && parser.errorNamesStatement(error), c.namesStatement) << c.text.substr(0, 12);
  }
}

}  // namespace
