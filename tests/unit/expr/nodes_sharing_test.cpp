#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>

#include "expr/TEBinary.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TESection.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "expr/TEUnary.h"
#include "nodes_fixture.h"
#include "util/RunSettings.h"
#include "util/RunState.h"

namespace {

class NodesSharingTest : public ExprNodesTest {};

TEST_F(NodesSharingTest, EqualIntegersAreOneNode) {
  TEInteger* seven = TEInteger::create(7);
  EXPECT_EQ(TEInteger::create(7), seven);
  EXPECT_EQ(seven->clone(), seven);
  EXPECT_NE(TEInteger::create(8), seven);
  // Folding reaches the same node.
  EXPECT_EQ(foldIntegerOperation(OP_add, 3, 4), seven);
  releaseTempExpression(seven);
  EXPECT_EQ(TEInteger::create(7)->getInteger(), 7);
}

TEST_F(NodesSharingTest, IntegersOutsideTheSmallRangeKeepTheirValuesAsOthersAreMade) {
  // Values past the directly indexed range, both signs and the extremes: each node keeps
  // its value after thousands of others have taken the slots of the recent table, and a
  // value asked for again gets a node of that value.
  const int64_t values[] = {INT64_MIN, -1025, 4096, 1'000'000, 0x7FFF'FFFF'FFFF'FFFF, 0x1'0000'0000};
  TEInteger* first[std::size(values)];
  for (size_t k = 0; k < std::size(values); ++k) {
    first[k] = TEInteger::create(values[k]);
    // Asked for again at once, the value finds its node.
    EXPECT_EQ(TEInteger::create(values[k]), first[k]);
  }
  for (int64_t v = 10'000; v < 30'000; v += 3) ASSERT_EQ(TEInteger::create(v)->getInteger(), v);
  for (size_t k = 0; k < std::size(values); ++k) {
    SCOPED_TRACE(values[k]);
    EXPECT_EQ(first[k]->getInteger(), values[k]);
    EXPECT_EQ(TEInteger::create(values[k])->getInteger(), values[k]);
  }
}

TEST_F(NodesSharingTest, EveryValueOfTheSmallRangeIsOneNodeWhateverCameBetween) {
  const int64_t values[] = {-1024, -1, 0, 1, 255, 4095};
  TEInteger* first[std::size(values)];
  for (size_t k = 0; k < std::size(values); ++k) first[k] = TEInteger::create(values[k]);
  for (int64_t v = -5'000; v < 30'000; v += 7) ASSERT_EQ(TEInteger::create(v)->getInteger(), v);
  for (size_t k = 0; k < std::size(values); ++k) {
    SCOPED_TRACE(values[k]);
    EXPECT_EQ(TEInteger::create(values[k]), first[k]);
    EXPECT_EQ(first[k]->getInteger(), values[k]);
  }
}

TEST_F(NodesSharingTest, ConsecutiveAsksForALineShareItsNode) {
  LineInfo* first = line(1);
  LineInfo* second = line(1);
  TELineInfo* node = TELineInfo::create(first);
  EXPECT_EQ(TELineInfo::create(first), node);
  EXPECT_EQ(node->clone(), node);
  TELineInfo* other = TELineInfo::create(second);
  EXPECT_NE(other, node);
  EXPECT_EQ(other->lineInfo(), second);
  // Back at the first line: a node of that line again.
  EXPECT_EQ(TELineInfo::create(first)->lineInfo(), first);
  EXPECT_EQ(node->lineInfo(), first);
}

// A run that reads no flow after the parse lets one line node serve each statement in
// turn; any run that lays out or lists keeps a node per line for layout and output.
TEST_F(NodesSharingTest, LineNodeServesTheNextLineOnlyWhenNoFlowIsRead) {
  struct Case {
    const char* name;
    bool checkOnly;
    bool listFile;
    bool oneNode;
  };
  const Case cases[] = {
      {"full run", false, false, false},
      {"check only", true, false, true},
      {"check with a list file", true, true, false},
  };
  RunSettings* saved = runState().orbaOptions;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunSettings options;
    options.checkOnly = c.checkOnly;
    options.listFileWanted = c.listFile;
    runState().orbaOptions = &options;
    LineInfo* first = line(1);
    LineInfo* second = line(2);
    TELineInfo* node = TELineInfo::create(first);
    EXPECT_EQ(node->lineInfo(), first);
    TELineInfo* next = TELineInfo::create(second);
    EXPECT_EQ(next->lineInfo(), second);
    EXPECT_EQ(next == node, c.oneNode);
    EXPECT_EQ(node->lineInfo(), c.oneNode ? second : first);
    runState().orbaOptions = saved;
  }
}

TEST_F(NodesSharingTest, OneErrorNodePerKind) {
  for (uint32_t kind = 0; kind <= 17; ++kind) {
    SCOPED_TRACE(kind);
    TEError* error = TEError::create(kind);
    EXPECT_EQ(TEError::create(kind), error);
    EXPECT_EQ(error->clone(), error);
    EXPECT_EQ(error->evaluate(), error);
    EXPECT_EQ(error->getErrorKind(), kind);
  }
  EXPECT_EQ(TEError::kind8(), TEError::create(ERR_divideByZero));
  EXPECT_EQ(TEError::kind16(), TEError::create(ERR_symbolHasNoValue));
  // Two divisions by zero give the same node.
  EXPECT_EQ(foldIntegerOperation(OP_divide, 1, 0), foldIntegerOperation(OP_remainder, 9, 0));
  // Kinds outside the table, and the nodes that stand for one failure, are new each time.
  EXPECT_NE(TEError::create(18), TEError::create(18));
  TESection section(nullptr);
  EXPECT_NE(section.evaluate(), section.evaluate());
  EXPECT_NE(section.evaluate(), TEError::kind5());
}

TEST_F(NodesSharingTest, ErrorWithTextKeepsItWhenCloned) {
  TEError* error = TEError::make(ERR_text, "field too wide");
  EXPECT_EQ(TEError::kindText(error->clone()), std::string("field too wide"));
}

TEST_F(NodesSharingTest, ClonedStringsAreInternedByEveryByte) {
  TEString* literal = TEString::create("abc", 3);
  TEString* other = TEString::create("abc", 3);
  EXPECT_NE(literal, other);
  OrbaExpression* interned = literal->clone();
  EXPECT_EQ(other->clone(), interned);
  EXPECT_NE(interned, literal);
  EXPECT_EQ(TEString::intern("a\0b", 3), TEString::intern("a\0b", 3));
  EXPECT_NE(TEString::intern("a\0b", 3), TEString::intern("a\0c", 3));
  EXPECT_EQ(TEString::intern("a\0c", 3)->getStringLength(), 3u);
}

TEST_F(NodesSharingTest, ReleasingATreeFreesOnlyItsOwnNode) {
  TEInteger* two = TEInteger::create(2);
  auto* inner = new TEDouble(1.5);
  auto* tree = new TEBinary(OP_add, inner, two);
  releaseTempExpression(tree);
  EXPECT_EQ(inner->getDouble(), 1.5);
  EXPECT_EQ(two->getInteger(), 2);
  releaseTempExpression(nullptr);
  releaseTempExpression(TEError::kind5());
  EXPECT_EQ(TEError::kind5()->getErrorKind(), 5u);
}

TEST_F(NodesSharingTest, BadArgumentIndexGivesTheArgumentIndexError) {
  TEBinary binary(OP_add, TEInteger::create(1), TEInteger::create(2));
  EXPECT_EQ(binary.getArgument(2), TEError::kind4());
  EXPECT_EQ(binary.getArgument(2)->getErrorKind(), ERR_argumentIndex);
  TEUnary unary(OP_negate, TEInteger::create(1));
  EXPECT_EQ(unary.getArgument(1)->getErrorKind(), ERR_argumentIndex);
  EXPECT_EQ(unary.getArgument(0), TEInteger::create(1));
}

TEST_F(NodesSharingTest, ConstantValuesAreValueLeavesOtherThanSymbols) {
  Symbol* s = symbol("s", TEInteger::create(1));
  TESymbol reference(s);
  TEBinary sum(OP_add, TEInteger::create(1), TEInteger::create(2));
  EXPECT_FALSE(isConstantValue(&reference));
  EXPECT_TRUE(isConstantValue(TEString::create("x", 1)));
  EXPECT_TRUE(isConstantValue(TEInteger::create(1)));
  EXPECT_FALSE(isConstantValue(&sum));
  EXPECT_FALSE(isConstantValue(TEError::kind5()));
  EXPECT_FALSE(isConstantValue(nullptr));
}

TEST_F(NodesSharingTest, ErrorLocationValueCarriesTheFormattedText) {
  ExprValue value;
  value.kind = ExprValue::kAbsolute;
  value.known = true;
  bool error = false;
  TEError::kind8()->getValue(value, ExprLocation{}, error);
  EXPECT_TRUE(error);
  EXPECT_EQ(value.kind, ExprValue::kNone);
  EXPECT_FALSE(value.known);
  EXPECT_STREQ(value.errorText, "E134: error in expression: divide by zero");
}

}  // namespace
