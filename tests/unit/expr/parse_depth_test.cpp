// How deep an expression may nest. Every construct that makes the parser descend or
// the tree grow counts one level; the whole expression is the first. Past 256 levels
// the parse fails with one message instead of running out of stack, and a tree that
// was accepted can be printed, evaluated and copied.
#include "parse_fixture.h"

#include <string>

namespace {

constexpr const char* kTooDeep = "expression nested deeper than 256 levels";

std::string repeated(const char* piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

std::string parentheses(int n) { return repeated("(", n) + "x" + repeated(")", n); }
std::string complements(int n) { return repeated("~", n) + "x"; }
std::string mixedPrefixes(int n) { return repeated("-~!+", n / 4) + repeated("-", n % 4) + "x"; }
std::string calls(int n) { return repeated("@ABS(", n) + "x" + repeated(")", n); }
std::string thenArms(int n) { return repeated("x?", n) + "x" + repeated(":x", n); }
std::string elseArms(int n) { return repeated("x?x:", n) + "x"; }
std::string substrings(int n) { return repeated("[", n) + "\"abc\"" + repeated(",0,1]", n); }
// n operators over symbols: a left-leaning tree n + 1 high without any recursion.
std::string sumChain(int n) { return "x" + repeated("+x", n); }
std::string concatChain(int n) { return "\"a\"" + repeated("++\"a\"", n); }
std::string constantChain(int n) { return "1" + repeated("+1", n); }
// Each parenthesis opens a level and each "+" adds one to the tree.
std::string rightSums(int n) { return repeated("x+(", n) + "x" + repeated(")", n); }

struct Case {
  const char* construct;
  std::string (*build)(int);
  int depth;
  bool accepted;
};

TEST_F(ExprParseTest, NestingPast256LevelsFailsWithTheLimitInItsMessage) {
  const Case cases[] = {
      // The rejections come first: a later acceptance shows that a failed parse
      // gave back every level it opened.
      {"parentheses", parentheses, 256, false},
      {"parentheses", parentheses, 257, false},
      {"parentheses", parentheses, 50000, false},
      {"parentheses", parentheses, 255, true},
      {"complements", complements, 256, false},
      {"complements", complements, 200000, false},
      {"complements", complements, 255, true},
      {"mixed prefixes", mixedPrefixes, 257, false},
      {"mixed prefixes", mixedPrefixes, 255, true},
      {"function calls", calls, 256, false},
      {"function calls", calls, 4000, false},
      {"function calls", calls, 255, true},
      {"then arms", thenArms, 256, false},
      {"then arms", thenArms, 16000, false},
      {"then arms", thenArms, 255, true},
      {"else arms", elseArms, 256, false},
      {"else arms", elseArms, 255, true},
      {"substrings", substrings, 256, false},
      {"substrings", substrings, 255, true},
      {"sum chain", sumChain, 256, false},
      {"sum chain", sumChain, 100000, false},
      {"sum chain", sumChain, 255, true},
      {"sums in parentheses", rightSums, 256, false},
      {"sums in parentheses", rightSums, 255, true},
      // Chains folded while parsed are one leaf, however long.
      {"constant chain", constantChain, 5000, true},
      {"concatenation chain", concatChain, 5000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.construct) + " " + std::to_string(c.depth));
    Outcome got = parse(c.build(c.depth).c_str());
    if (!c.accepted) {
      EXPECT_STREQ(got.message, kTooDeep);
      EXPECT_EQ(got.tree, nullptr);
      EXPECT_EQ(got.stop, 0);
      continue;
    }
    ASSERT_EQ(got.message, nullptr) << got.message;
    ASSERT_NE(got.tree, nullptr);
    // The walks after the parse recurse over the tree; an accepted tree must be safe
    // for all of them.
    std::string text = printed(got.tree);
    EXPECT_EQ(printed(got.tree->clone()), text);
    EXPECT_NE(got.tree->evaluate(), nullptr);
    EXPECT_NE(got.tree->toString(3), "");
  }
  Outcome after = parse("(x)");
  EXPECT_EQ(after.message, nullptr);
  EXPECT_EQ(printed(after.tree), "x");
}

// A .SET symbol stands for a copy of its value, which brings its own height.
TEST_F(ExprParseTest, CopiedSetValueCountsItsHeightTowardsTheLimit) {
  Symbol* counter = symbolTable()->referenceSymbol(stringBuffer()->intern("count"), &line_);
  counter->flags[1] |= Symbol::kSet;
  counter->valueExpression = parse(complements(199).c_str()).tree;
  ASSERT_NE(counter->valueExpression, nullptr);
  struct HeightCase {
    int prefixes;  // over a value 200 high
    const char* message;
  };
  const HeightCase cases[] = {
      {57, kTooDeep},
      {56, nullptr},
      {0, nullptr},
  };
  for (const HeightCase& c : cases) {
    SCOPED_TRACE(c.prefixes);
    Outcome got = parse((repeated("-", c.prefixes) + "count").c_str());
    if (c.message == nullptr) {
      EXPECT_EQ(got.message, nullptr) << got.message;
      EXPECT_NE(got.tree, nullptr);
    } else {
      EXPECT_STREQ(got.message, c.message);
    }
  }
}

}  // namespace
