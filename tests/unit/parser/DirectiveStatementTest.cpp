#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DirectiveFixture.h"
#include "flow/FAlign.h"
#include "flow/FConstant.h"
#include "flow/FFloatData.h"
#include "flow/FLabel.h"
#include "flow/FStorage.h"
#include "flow/FSymbolDefinition.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "parser/OrbaParser.h"
#include "util/ControlState.h"

namespace {

// Whole statements through the statement frame, as the parse loop hands them over.
class DirectiveStatementTest : public DirectiveTest {
 protected:
  DirectiveStatementTest() { current_ = makePlaceholder(); }

  // Parses the line (numbered from 1 in the order given) and carries its section on.
  LineInfo* statement(const char* text) {
    LineInfo* at = line(++lineNumber_, current_, text);
    at->controlState = &control_;
    parser_.parseLine(runState().sectionAdmin, &current_, at);
    current_ = at->section;
    return at;
  }

  // The values of the data node that the line appended last to its section.
  static std::vector<std::string> values(const LineInfo* at) {
    std::vector<std::string> printed;
    FlowNode* last = at->section->lastNode();
    if (!last || last->line != at) return printed;
    auto* data = dynamic_cast<FDataNode*>(last);
    if (!data) return printed;
    for (OrbaExpression* value : data->values) printed.push_back(exprToString(value));
    return printed;
  }

  Symbol* find(const char* text) { return runState().symbolTable->current->lookup(runState().stringBuffer->intern(text)); }

  Section* current_ = nullptr;

 private:
  OrbaParser parser_;
  ControlState control_;
  uint32_t lineNumber_ = 0;
};

TEST_F(DirectiveStatementTest, DataOperandsBecomeNodeElements) {
  struct Case {
    const char* text;
    int kind;
    const char* directive;
    std::vector<std::string> values;
  } cases[] = {
      {" .BYTE", FlowNode::kConstant, ".BYTE", {"0"}},
      {" .WORD 1,", FlowNode::kConstant, ".WORD", {"1", "0"}},
      {" .HALF ,,", FlowNode::kConstant, ".HALF", {"0", "0", "0"}},
      {" .BYTE 1,,2 ; three", FlowNode::kConstant, ".BYTE", {"1", "0", "2"}},
      {" .WORD \"ABCD\"", FlowNode::kConstant, ".WORD", {"0x41424344"}},
      {" .WORD \"\"", FlowNode::kConstant, ".WORD", {"0"}},
      {" .HALF \"A\", \"ABC\"", FlowNode::kConstant, ".HALF", {"65", "0x4142"}},
      {" .WORD \"\\xff\"", FlowNode::kConstant, ".WORD", {"255"}},
      {" .BYTE \"ab\", 0", FlowNode::kConstant, ".BYTE", {"\"ab\"", "0"}},
      {" .ASCII \"ab\"", FlowNode::kConstant, ".ASCII", {"\"ab\""}},
      {" .ASCIIZ \"ab\", \"c\"", FlowNode::kConstant, ".ASCIIZ", {"\"ab\"", "\"\"", "\"c\"", "\"\""}},
      {" .ASCII 5", FlowNode::kConstant, ".ASCII", {"\"\""}},
      {" .FLOAT 1.5, 2", FlowNode::kFloat, ".FLOAT", {"1.5", "2"}},
      {" .DOUBLE", FlowNode::kFloat, ".DOUBLE", {"0"}},
      {" .FRACT 0.5", FlowNode::kFract, ".FRACT", {"0.5"}},
      {" .SFRACT", FlowNode::kFract, ".SFRACT", {"0"}},
      {" .ACCUM 2.5,", FlowNode::kFract, ".ACCUM", {"2.5", "0"}},
  };
  statement(" .SDECL \".data\",DATA");
  statement(" .SECT \".data\"");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LineInfo* at = statement(c.text);
    ASSERT_EQ(at->section->lastNode()->line, at);
    EXPECT_EQ(at->section->lastNode()->kind, c.kind);
    EXPECT_STREQ(static_cast<FDataNode*>(at->section->lastNode())->directiveName(), c.directive);
    EXPECT_EQ(values(at), c.values);
  }
}

TEST_F(DirectiveStatementTest, FailedOperandAppendsNothing) {
  statement(" .SDECL \".data\",DATA");
  statement(" .SECT \".data\"");
  const char* failing[] = {" .BYTE 1+", " .WORD 1,(2", " .ASCII", " .ASCII \"a\",", " .FLOAT ,+"};
  for (const char* text : failing) {
    SCOPED_TRACE(text);
    LineInfo* at = statement(text);
    EXPECT_EQ(at->section->nodeCount(), 0u);
  }
}

TEST_F(DirectiveStatementTest, LabelRightBeforeDataBecomesObject) {
  statement(" .SDECL \".data\",DATA");
  statement(" .SECT \".data\"");
  statement("word: .WORD 1");
  statement("before:");
  statement("; a comment between");
  statement(" .BYTE 2");
  statement("func: .TYPE func");
  statement(" .WORD 3");
  statement("aligned:");
  statement(" .ALIGN 4");
  statement(" .WORD 4");
  statement("space: .SPACE 16");
  statement("text: .ASCII \"t\"");
  statement("real: .DOUBLE 1.0");
  statement("equated:");
  statement("E .EQU 1");
  statement(" .HALF 5");
  const struct {
    const char* name;
    int32_t type;
  } expected[] = {{"word", Symbol::kObject},   {"before", Symbol::kObject}, {"func", Symbol::kFunc},
                  {"aligned", Symbol::kNoType}, {"space", Symbol::kObject},  {"text", Symbol::kObject},
                  {"real", Symbol::kObject},   {"equated", Symbol::kObject}};
  for (const auto& symbol : expected) {
    SCOPED_TRACE(symbol.name);
    ASSERT_NE(find(symbol.name), nullptr);
    EXPECT_EQ(find(symbol.name)->type, symbol.type);
  }
  EXPECT_EQ(diagnostics(), std::vector<std::string>{});
}

TEST_F(DirectiveStatementTest, DeclarationDoesNotSwitchSection) {
  Section* placeholder = current_;
  LineInfo* declared = statement(" .SDECL \".text.f\",code");
  EXPECT_EQ(declared->section, placeholder);
  Section* textF = runState().sectionAdmin->sections().back();
  LineInfo* word = statement(" .WORD 1");
  EXPECT_NE(word->section, textF) << "the word lands in the default section";
  EXPECT_NE(word->section, placeholder);
  LineInfo* select = statement(" .SECT \".text.f\" ; switch");
  EXPECT_EQ(select->section, textF);
  EXPECT_EQ(current_, textF);
  LineInfo* back = statement(" .PREVIOUS");
  EXPECT_EQ(back->section, word->section);
  LineInfo* origin = statement(" .ORG 0x100, data");
  EXPECT_EQ(origin->section, runState().sectionAdmin->sections().back());
  EXPECT_TRUE(origin->section->flags.isData());
  EXPECT_EQ(std::string(origin->section->getName()).substr(0, 6), ".data.");
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{"W179: no active section, default section activated@2"}));
}

TEST_F(DirectiveStatementTest, SpaceAndAlignAppendTheirNodes) {
  statement(" .SDECL \"t\",code");
  statement(" .SECT \"t\"");
  LineInfo* align = statement(" .ALIGN 3");
  ASSERT_EQ(align->section->lastNode()->kind, FlowNode::kAlign);
  auto* node = static_cast<FAlign*>(align->section->lastNode());
  EXPECT_EQ(exprToString(node->alignment), "3");
  EXPECT_EQ(node->codeSection, 1);
  EXPECT_EQ(node->powerOfTwo, 1);

  LineInfo* space = statement(" .SPACE 2*8");
  ASSERT_EQ(space->section->lastNode()->kind, FlowNode::kStorage);
  EXPECT_EQ(static_cast<FStorage*>(space->section->lastNode())->requestedUnits(), 16);

  LineInfo* forward = statement(" .SPACE later");
  EXPECT_EQ(forward->section->lastNode(), space->section->lastNode());
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"E173: expression does not allow forward references@5"});
}

TEST_F(DirectiveStatementTest, AlignBeforeAnySectionFillsLikeTheDefaultSection) {
  LineInfo* align = statement(" .ALIGN 8");
  ASSERT_NE(align->section, runState().placeholderSection);
  ASSERT_EQ(align->section->lastNode()->kind, FlowNode::kAlign);
  EXPECT_TRUE(align->section->isCode());
  EXPECT_EQ(static_cast<FAlign*>(align->section->lastNode())->codeSection, 1);
}

TEST_F(DirectiveStatementTest, ExternAppendsNodeForEveryNameItBinds) {
  statement(" .SDECL \"t\",code");
  statement(" .SECT \"t\"");
  statement(" .LOCAL x");
  LineInfo* at = statement(" .EXTERN (p, q) x, y, z");
  std::vector<std::string> externs;
  for (FlowNode* node = at->section->firstNode(); node; node = node->nextNode())
    if (node->kind == FlowNode::kExtern) externs.push_back(static_cast<FExtern*>(node)->symbol->name);
  EXPECT_EQ(externs, (std::vector<std::string>{"y", "z"}));
  EXPECT_EQ(find("p"), nullptr) << "names in parentheses have no effect";
  EXPECT_TRUE(find("y")->isExternal());
}

}  // namespace
