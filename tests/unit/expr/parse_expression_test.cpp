// One line of text in, and out: the tree as printed, its value, the message and
// where the cursor stopped. This is what the statement parser relies on.
#include "parse_fixture.h"

#include <cstdlib>
#include <cstring>

#include "expr/ExprReport.h"
#include "expr/TEError.h"
#include "flow/FLabel.h"
#include "flow/Section.h"

namespace {

constexpr const char* kUnexpected = "unexpected character in expression";
constexpr const char* kAnyValue = nullptr;

struct Case {
  const char* text;
  const char* tree;     // "<null>" for no node
  const char* value;    // printed evaluation; kAnyValue when not checked
  const char* message;  // null when the parse succeeds
  long stop;            // cursor offset after the parse
};

void check(const Case& c, const ExprParseTest::Outcome& got, const std::string& tree,
           const std::string& value) {
  SCOPED_TRACE(c.text);
  EXPECT_EQ(tree, c.tree);
  if (c.value != kAnyValue) {
    EXPECT_EQ(value, c.value);
  }
  if (c.message == nullptr) {
    EXPECT_EQ(got.message, nullptr) << got.message;
  } else {
    EXPECT_STREQ(got.message, c.message);
  }
  EXPECT_EQ(got.stop, c.stop);
}

TEST_F(ExprParseTest, TextGivesTreeValueMessageAndStop) {
  const Case cases[] = {
      // Precedence: printed before any evaluation, one pair of parentheses per node.
      {"a+b*2", "(a + (b * 2))", kAnyValue, nullptr, 5},
      {"a&b==c", "(a & (b == c))", kAnyValue, nullptr, 6},
      {"a|b^c", "(a | (b ^ c))", kAnyValue, nullptr, 5},
      {"a||b&&c", "(a || (b && c))", kAnyValue, nullptr, 7},
      {"a-b-c", "((a - b) - c)", kAnyValue, nullptr, 5},
      {"a<<b+c", "(a << (b + c))", kAnyValue, nullptr, 6},
      {"a<b==c>=d", "((a < b) == (c >= d))", kAnyValue, nullptr, 9},
      {"a%b*c/d", "(((a % b) * c) / d)", kAnyValue, nullptr, 7},
      {"-a*b", "(-a * b)", kAnyValue, nullptr, 4},
      {"- - a", "--a", kAnyValue, nullptr, 5},
      {"!~a", "!~a", kAnyValue, nullptr, 3},
      {"(a+b)*c", "((a + b) * c)", kAnyValue, nullptr, 7},
      {"c ? a : d ? e : f", "c ? a : d ? e : f", kAnyValue, nullptr, 17},
      {"c ? x ? 1 : 2 : 3", "c ? x ? 1 : 2 : 3", kAnyValue, nullptr, 17},
      // Values, folded while parsed where both sides are constants.
      {"1<<2+3", "32", "32", nullptr, 6},
      {"1+2*3", "7", "7", nullptr, 5},
      {"-7/2", "(-7 / 2)", "0xFFFFFFFFFFFFFFFD", nullptr, 4},
      {"0x100", "0x100", "0x100", nullptr, 5},
      {"0X100", "0x100", "0x100", nullptr, 5},
      {"256", "0x100", "0x100", nullptr, 3},
      {"#256", "0x100", "0x100", nullptr, 4},
      {"0b100000000", "0x100", "0x100", nullptr, 11},
      {"0.1", "0.10000000000000001", "0.10000000000000001", nullptr, 3},
      {".5e1", "5", "5", nullptr, 4},
      {"1.", "1", "1", nullptr, 2},
      {"9223372036854775808", "0x8000000000000000", "0x8000000000000000", nullptr, 19},
      {"18446744073709551615", "0xFFFFFFFFFFFFFFFF", "0xFFFFFFFFFFFFFFFF", nullptr, 20},
      {"'ab'", "\"ab\"", "\"ab\"", nullptr, 4},
      {"\"a\"\"b\"", "\"a\"b\"", "\"a\"b\"", nullptr, 6},
      {"\"a\\x41\\101\\n\"", "\"aAA\n\"", kAnyValue, nullptr, 13},
      {"\"ab\" ++ 'cd'", "\"abcd\"", "\"abcd\"", nullptr, 12},
      {"[\"abcdef\",1,3]", "@SUB(\"abcdef\", 1, 3)", "\"bcd\"", nullptr, 14},
      {"@HIS(0x12348000)", "@HIS(0x12348000)", "0x1235", nullptr, 16},
      {"@his(0x12348000)", "@HIS(0x12348000)", "0x1235", nullptr, 16},
      {"@SFRACT(-0.5)", "@SFRACT(-0.5)", "0xC000", nullptr, 13},
      {"@MAX(1,2,3)", "@MAX(1, 2, 3)", "3", nullptr, 11},
      {"1 ? 2 : 3", "1 ? 2 : 3", "2", nullptr, 9},
      {"0.0 ? 2 : 3", "0 ? 2 : 3", "3", nullptr, 11},
      {"!2.5", "!2.5", "0", nullptr, 4},
      {"~0", "~0", "0xFFFFFFFFFFFFFFFF", nullptr, 2},
      // Evaluation failures are nodes, not parse errors.
      {"7/0", "!!ERROR(divide by zero)", "!!ERROR(divide by zero)", nullptr, 3},
      {"@ABS(1,2)", "!!ERROR(additional argument(s) for function)", kAnyValue, nullptr, 9},
      {"@ABS()", "!!ERROR(missing argument(s) for function)", kAnyValue, nullptr, 6},
      {"@SUB(\"abc\",1,5)", "@SUB(\"abc\", 1, 5)",
       "!!ERROR(substring length exceeds string length)", nullptr, 15},
      {"@POW(-8, 1/3.0)", "@POW(-8, 0.33333333333333331)", "!!ERROR(floating point error)",
       nullptr, 15},
      // The expression ends at the first token that cannot continue it.
      {"5, 6", "5", "5", nullptr, 1},
      {"1 2", "1", "1", nullptr, 1},
      {"5;x", "5", "5", nullptr, 1},
      {"5 = 6", "5", "5", nullptr, 1},
      {"2 (3)", "2", "2", nullptr, 1},
      {"a b", "a", kAnyValue, nullptr, 1},
      {"a(b)", "a", kAnyValue, nullptr, 1},
      {"5)", "5", "5", nullptr, 1},
      {"1\n+2", "1", "1", nullptr, 1},
      {"a ++ b", "a", kAnyValue, nullptr, 1},
      {"@FOO(1)", "@FOO", kAnyValue, nullptr, 4},
      {"0x", "0", "0", nullptr, 1},
      {"3x", "3", "3", nullptr, 1},
      {"1 $", "1", "1", nullptr, 1},
      // A lone operand in front of what reads as the end: the line's end, blanks, a
      // byte that begins no token, an unclosed quote, a "#" without digits.
      {"8\n", "8", "8", nullptr, 1},
      {"L0\n", "L0", kAnyValue, nullptr, 2},
      {"0x20 \t\r\n", "32", "32", nullptr, 4},
      {"a =", "a", kAnyValue, nullptr, 1},
      {"7 \"ab", "7", "7", nullptr, 1},
      {"7 #", "7", "7", nullptr, 1},
      {"7 #1", "7", "7", nullptr, 1},
      {"12ab\n", "<null>", kAnyValue, "illegal integer constant", 0},
      {"1 +\n", "<null>", kAnyValue, kUnexpected, 0},
      // Nothing that begins an expression: no node, no message, the cursor stays.
      {"", "<null>", kAnyValue, nullptr, 0},
      {"   ", "<null>", kAnyValue, nullptr, 0},
      {")", "<null>", kAnyValue, nullptr, 0},
      {"=5", "<null>", kAnyValue, nullptr, 0},
      {", 1", "<null>", kAnyValue, nullptr, 0},
      {"\"a\\qb\"", "<null>", kAnyValue, nullptr, 0},
      {"\"abc", "<null>", kAnyValue, nullptr, 0},
      // Something is missing: the parse fails and the cursor stays at the start.
      {"c ? 1", "<null>", kAnyValue, kUnexpected, 0},
      {"c ? 1 :", "<null>", kAnyValue, kUnexpected, 0},
      {"c ? : 2", "<null>", kAnyValue, kUnexpected, 0},
      {"(1+2", "<null>", kAnyValue, kUnexpected, 0},
      {"1+", "<null>", kAnyValue, kUnexpected, 0},
      {"1+\n2", "<null>", kAnyValue, kUnexpected, 0},
      {"1 + )", "<null>", kAnyValue, kUnexpected, 0},
      {"()", "<null>", kAnyValue, kUnexpected, 0},
      {"(=)", "<null>", kAnyValue, kUnexpected, 0},
      {"-", "<null>", kAnyValue, kUnexpected, 0},
      {"@ABS(1", "<null>", kAnyValue, kUnexpected, 0},
      {"@ABS 1", "<null>", kAnyValue, kUnexpected, 0},
      {"@ABS(1,)", "<null>", kAnyValue, kUnexpected, 0},
      {"[\"abc\",1+1,3]", "<null>", kAnyValue, kUnexpected, 0},
      {"[\"abc\",1,3", "<null>", kAnyValue, kUnexpected, 0},
      {"\"a\" ++ 1", "<null>", kAnyValue, kUnexpected, 0},
      // Literal messages.
      {"12ab", "<null>", kAnyValue, "illegal integer constant", 0},
      {"0b12", "<null>", kAnyValue, "illegal integer constant", 0},
      {"1e+x", "<null>", kAnyValue, "illegal integer constant", 0},
      {"18446744073709551616", "<null>", kAnyValue, "integer constant out of range", 0},
      {"1e-310", "<null>", kAnyValue, "floating point constant out of range", 0},
      {"1e400", "<null>", kAnyValue, "floating point constant out of range", 0},
      {"1 + 12ab", "<null>", kAnyValue, "illegal integer constant", 0},
      {"@CPU(1)", "<null>", kAnyValue, "expected CPU name", 0},
  };
  for (const Case& c : cases) {
    Outcome got = parse(c.text);
    check(c, got, printed(got.tree), evaluated(got.tree));
  }
}

TEST_F(ExprParseTest, IntegerWithoutPrefixFollowsTheLineRadix) {
  struct RadixCase {
    int16_t radix;
    const char* text;
    const char* tree;
    const char* message;
  };
  const RadixCase cases[] = {
      {16, "12ab", "0x12AB", nullptr},
      {16, "1e5a", "0x1E5A", nullptr},
      {16, "100", "0x100", nullptr},
      {16, "#100", "100", nullptr},  // the '#' prefix is decimal whatever the radix
      {16, "0b11", "3", nullptr},    // binary wins the tie with the hexadecimal digits
      {2, "101", "5", nullptr},
      {2, "12", "<null>", "illegal integer constant"},
      {8, "777", "0x1FF", nullptr},
      {8, "1e5", "100000", nullptr},  // still a float
  };
  for (const RadixCase& c : cases) {
    SCOPED_TRACE(c.text);
    control_.radix = c.radix;
    Outcome got = parse(c.text);
    EXPECT_EQ(printed(got.tree), c.tree);
    if (c.message == nullptr) {
      EXPECT_EQ(got.message, nullptr);
    } else {
      EXPECT_STREQ(got.message, c.message);
    }
  }
}

TEST_F(ExprParseTest, DivideByZeroNodeIsReportedByItsConsumerAsE265) {
  Outcome got = parse("7/0");
  ASSERT_NE(got.tree, nullptr);
  OrbaExpression* value = got.tree->evaluate();
  ASSERT_TRUE(value->isError());
  reportExpressionError(value->getErrorKind(), TEError::kindText(value), E_expression_error,
                        &line_);
  ErrorHandler::ErrorIter records(*runState().errorHandler);
  records.first();
  ASSERT_FALSE(records.isDone());
  EXPECT_STREQ(records.current()->text, "E265: divide by zero");
}

TEST_F(ExprParseTest, EqualIntegersErrorsAndLinesAreSharedNodes) {
  Outcome first = parse("@MAX(300, 300)");
  ASSERT_NE(first.tree, nullptr);
  EXPECT_EQ(first.tree->getArgument(0), first.tree->getArgument(1));
  EXPECT_EQ(parse("1000").tree, parse("999+1").tree);
  EXPECT_EQ(parse("7/0").tree, parse("1%0").tree);
  EXPECT_EQ(parse("@ABS()").tree, parse("@SIN()").tree);
  EXPECT_NE(parse("@ABS()").tree, parse("@ABS(1,2)").tree);
}

TEST_F(ExprParseTest, LocationCounterInPreprocessorConditionIsKind17) {
  Outcome got = parse("* + 1", true);
  ASSERT_NE(got.tree, nullptr);
  EXPECT_EQ(got.message, nullptr);
  EXPECT_EQ(got.stop, 5);
  EXPECT_EQ(printed(got.tree->getArgument(0)),
            "!!ERROR(location counter reference not allowed in preprocessor expressions)");
}

Symbol* labelAt(LineInfo* line) {
  // Each "*" must get its own label; the name says which one it was.
  static int made = 0;
  char name[32];
  std::snprintf(name, sizeof name, "__star%d", ++made);
  return symbolTable()->referenceSymbol(stringBuffer()->intern(name), line);
}

TEST_F(ExprParseTest, EachLocationCounterMakesItsOwnLabel) {
  setLocationLabelMaker(labelAt);
  Outcome got = parse("* - *");
  setLocationLabelMaker(nullptr);
  ASSERT_NE(got.tree, nullptr);
  ASSERT_EQ(got.tree->getKind(), EK_binary);
  Symbol* left = got.tree->getArgument(0)->getSymbol();
  Symbol* right = got.tree->getArgument(1)->getSymbol();
  EXPECT_NE(left, right);
}

TEST_F(ExprParseTest, LocationCounterPlacesAGeneratedLabelAtTheSectionEnd) {
  Section section(stringBuffer()->intern(".text"));
  line_.section = &section;
  Outcome first = parse("*");
  Outcome second = parse("* + 4");
  line_.section = nullptr;
  ASSERT_NE(first.tree, nullptr);
  ASSERT_EQ(first.tree->getKind(), EK_symbol);
  Symbol* label = first.tree->getSymbol();
  ASSERT_EQ(std::strncmp(label->name, "__T", 3), 0);
  unsigned long number = std::strtoul(label->name + 3, nullptr, 10);
  EXPECT_TRUE(label->isDefined());
  EXPECT_TRUE(label->isInternal());
  EXPECT_TRUE(label->isLocal());
  EXPECT_EQ(label->section, &section);
  EXPECT_EQ(label->referenceCount, 1u);
  EXPECT_EQ(label->firstReference, &line_);
  // Each "*" is a label of its own, and each stands in the flow where it was read.
  EXPECT_EQ(printed(second.tree), "(__T" + std::to_string(number - 1) + " + 4)");
  ASSERT_EQ(section.nodeCount(), 2u);
  EXPECT_EQ(static_cast<FLabel*>(section.firstNode())->symbol, label);
  EXPECT_EQ(section.lastNode()->kind, FlowNode::kLabel);
}

TEST_F(ExprParseTest, MultiplicationStarIsNotALocationCounter) {
  Outcome got = parse("2*3");
  EXPECT_EQ(printed(got.tree), "6");
}

TEST_F(ExprParseTest, LocalLabelReferencesNameTheDefinitionTheyMean) {
  struct LabelCase {
    const char* text;
    const char* name;
  };
  // No definition yet: both directions name the first one.
  const LabelCase before[] = {{"1p", "__NL000001_1"}, {"1n", "__NL000001_1"},
                              {"12N", "__NL000001_12"}};
  for (const LabelCase& c : before) {
    SCOPED_TRACE(c.text);
    Outcome got = parse(c.text);
    ASSERT_NE(got.tree, nullptr);
    EXPECT_STREQ(got.tree->getSymbol()->name, c.name);
    EXPECT_TRUE(got.tree->getSymbol()->isInternal());
  }
  symbolTable()->current->defineSymbol(stringBuffer()->intern("1"), &line_);
  symbolTable()->current->defineSymbol(stringBuffer()->intern("1"), &line_);
  const LabelCase after[] = {{"1p", "__NL000002_1"}, {"1P", "__NL000002_1"},
                             {"1n", "__NL000003_1"}};
  for (const LabelCase& c : after) {
    SCOPED_TRACE(c.text);
    Outcome got = parse(c.text);
    ASSERT_NE(got.tree, nullptr);
    EXPECT_STREQ(got.tree->getSymbol()->name, c.name);
  }
}

TEST_F(ExprParseTest, SetSymbolIsReplacedByACopyOfItsValue) {
  Symbol* counter = symbolTable()->referenceSymbol(stringBuffer()->intern("count"), &line_);
  counter->flags[1] |= Symbol::kSet;
  counter->valueExpression = parse("4").tree;
  Outcome got = parse("count*2");
  EXPECT_EQ(printed(got.tree), "8");
  Outcome plain = parse("other*2");
  EXPECT_EQ(printed(plain.tree), "(other * 2)");
}

TEST_F(ExprParseTest, IdentifierIsEnteredIntoTheSymbolTable) {
  parse("fresh + 1");
  Symbol* symbol = symbolTable()->current->lookup(stringBuffer()->intern("fresh"));
  ASSERT_NE(symbol, nullptr);
  EXPECT_TRUE(symbol->isUsed());
  EXPECT_EQ(symbol->referenceCount, 1u);
  EXPECT_EQ(symbol->firstReference, &line_);
}

TEST_F(ExprParseTest, LiteralErrorStopsScanningSoLaterNamesAreNotEntered) {
  Outcome got = parse("12ab + later");
  EXPECT_STREQ(got.message, "illegal integer constant");
  EXPECT_EQ(symbolTable()->current->lookup(stringBuffer()->intern("later")), nullptr);
}

TEST_F(ExprParseTest, ListLevelIsComputedWhileParsed) {
  control_.listCounter = 3;
  Outcome got = parse("@LST()");
  EXPECT_EQ(printed(got.tree), "3");
  EXPECT_EQ(got.tree->getKind(), EK_integer);
}

TEST_F(ExprParseTest, StreamParsedInPiecesLikeAnOperandList) {
  const char* text = "1+2, (3), \"x\"";
  ExprScanner stream;
  stream.reset(text, &line_);
  const char* message = nullptr;
  OrbaExpression* first = parseOperandExpression(&stream, &message);
  EXPECT_EQ(printed(first), "3");
  ASSERT_EQ(*stream.cursor, ',');
  ++stream.cursor;
  OrbaExpression* second = parseOperandExpression(&stream, &message);
  EXPECT_EQ(printed(second), "3");
  ASSERT_EQ(*stream.cursor, ',');
  ++stream.cursor;
  OrbaExpression* third = parseOperandExpression(&stream, &message);
  EXPECT_EQ(printed(third), "\"x\"");
  EXPECT_EQ(*stream.cursor, '\0');
  EXPECT_EQ(stream.callDepth, 0);
}

// A parse that starts inside another (as the condition evaluation of a directive
// may) must leave the outer parse's look-ahead, open call and cursor intact.
OrbaExpression* nestedParse(LineInfo* line) {
  static ExprScanner inner;
  inner.reset("2*(3", line);
  const char* message = nullptr;
  OrbaExpression* failed = parseExpressionAt(&inner, &message, false);
  EXPECT_EQ(failed, nullptr);
  EXPECT_STREQ(message, kUnexpected);
  inner.reset("40+2", line);
  OrbaExpression* value = parseExpressionAt(&inner, &message, false);
  EXPECT_EQ(message, nullptr);
  return value;
}

Symbol* nestedLabel(LineInfo* line) {
  Symbol* symbol = symbolTable()->referenceSymbol(stringBuffer()->intern("nested"), line);
  symbol->valueExpression = nestedParse(line);
  return symbol;
}

TEST_F(ExprParseTest, NestedParseLeavesTheOuterParseIntact) {
  setLocationLabelMaker(nestedLabel);
  Outcome got = parse("@MAX(1, *, 3) + 1, 9");
  setLocationLabelMaker(nullptr);
  EXPECT_EQ(got.message, nullptr);
  EXPECT_EQ(got.stop, 17);
  ASSERT_NE(got.tree, nullptr);
  EXPECT_EQ(printed(got.tree), "(@MAX(1, nested, 3) + 1)");
  EXPECT_EQ(evaluated(got.tree), "43");
}

}  // namespace
