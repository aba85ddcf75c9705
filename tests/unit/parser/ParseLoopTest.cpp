#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ParseFixture.h"
#include "flow/FLabel.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "parser/FMacroCall.h"
#include "util/ControlState.h"
#include "util/StringBuffer.h"

namespace {

// The names of the label symbols in flow order, section by section.
std::vector<std::string> labelNames() {
  std::vector<std::string> names;
  for (Section* section : runState().sectionAdmin->sections())
    for (FlowNode* node = section->firstNode(); node; node = node->nextNode())
      if (node->kind == FlowNode::kLabel) names.push_back(static_cast<FLabel*>(node)->symbol->name);
  return names;
}

TEST_F(ParseTest, EveryDefinitionOfALocalLabelGetsANameOfItsOwn) {
  const std::string digits(300, '7');
  const std::string longLabel = digits + ":";
  parse({"1:", " 1:", "10:", "1: ; again", longLabel.c_str(), "\"quoted name\""});
  EXPECT_EQ(labelNames(), (std::vector<std::string>{"__NL000001_1", "__NL000002_1", "__NL000001_10",
                                                    "__NL000003_1", "__NL000001_" + digits, "quoted name"}));
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{"W179@1"}));
  Symbol* first = runState().symbolTable->current->lookup("__NL000001_1");
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isDefined());
  EXPECT_TRUE(first->isInternal());
  EXPECT_EQ(first->definitionLine, lines[0]);
}

TEST_F(ParseTest, LocalLabelNumbersGrowPastSixDigits) {
  runState().symbolTable->current->localLabelCounts.emplace(runState().stringBuffer->intern("1"), 999999u);
  parse({"1:"});
  EXPECT_EQ(labelNames(), (std::vector<std::string>{"__NL1000000_1"}));
}

TEST_F(ParseTest, EachLineStartsFromTheStateAndSectionTheLineBeforeEndedWith) {
  parse({" .MESSAGE 1", " .RADIX 16", " .MESSAGE 2", "lab:", " .MESSAGE 3"});
  ControlState* first = lines[0]->controlState;
  ControlState* changed = lines[1]->controlState;
  ASSERT_NE(first, nullptr);
  ASSERT_NE(changed, nullptr);
  EXPECT_NE(first, changed);
  EXPECT_EQ(first->radix, 10);
  EXPECT_EQ(changed->radix, 16);
  // The first line owns the state the run starts with, a control line its copy.
  EXPECT_TRUE(lines[0]->ownsControlState());
  EXPECT_TRUE(lines[1]->ownsControlState());
  for (size_t i = 2; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i]->controlState, changed) << i;
    EXPECT_FALSE(lines[i]->ownsControlState()) << i;
  }

  Section* placeholder = runState().placeholderSection;
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(placeholder->userSection, 0);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(lines[i]->section, placeholder) << i;
  // The label opened the default section; the lines after it are there too.
  EXPECT_NE(lines[3]->section, placeholder);
  EXPECT_EQ(lines[4]->section, lines[3]->section);
  EXPECT_EQ(std::string(lines[3]->section->getName()).rfind("__sect_", 0), 0u);
  EXPECT_EQ(placeholder->nodeCount(), 0u);
}

TEST_F(ParseTest, ALabelBeforeAnySectionOpensTheDefaultSectionForItsLineToo) {
  parse({"lab: .WORD 1", " .WORD 2"});
  ASSERT_EQ(runState().sectionAdmin->sections().size(), 2u);
  Section* opened = runState().sectionAdmin->sections()[1];
  EXPECT_EQ(lines[0]->section, opened);
  EXPECT_EQ(lines[1]->section, opened);
  std::vector<int> kinds;
  for (FlowNode* node = opened->firstNode(); node; node = node->nextNode()) kinds.push_back(node->kind);
  EXPECT_EQ(kinds, (std::vector<int>{FlowNode::kLabel, FlowNode::kConstant, FlowNode::kConstant}));
}

TEST_F(ParseTest, AControlOnTheFirstLineReplacesTheStartStateItOwned) {
  parse({" .RADIX 16", " .RADIX 8", " .comment_prefix \"//\"", " .MESSAGE 10 // c"});
  EXPECT_EQ(lines[0]->controlState->radix, 16);
  EXPECT_EQ(lines[1]->controlState->radix, 8);
  EXPECT_STREQ(lines[1]->controlState->commentPrefix, ";");
  EXPECT_STREQ(lines[2]->controlState->commentPrefix, "//");
  EXPECT_EQ(lines[2]->controlState->radix, 8);
  EXPECT_EQ(lines[3]->controlState, lines[2]->controlState);
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(lines[i]->ownsControlState()) << i;
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{"I145@4"}));
}

TEST_F(ParseTest, LinesAfterTheEndAreNotParsedAndBelongToNoSection) {
  parse({"a:", " .END", "b:", " .FAIL \"x\""});
  EXPECT_EQ(labelNames(), (std::vector<std::string>{"a"}));
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{"W179@1", "W209@3"}));
  EXPECT_TRUE(lines[1]->flags[3] & lineflag::kEndReached);
  EXPECT_EQ(lines[2]->section, runState().placeholderSection);
  EXPECT_EQ(lines[3]->section, runState().placeholderSection);
  EXPECT_TRUE(lines[3]->flags[2] & lineflag::kLastLine);
  EXPECT_FALSE(lines[2]->flags[2] & lineflag::kLastLine);
}

TEST_F(ParseTest, LineFlagsTellCommentLinesAndLabelLines) {
  struct Case {
    const char* text;
    bool commentOnly;
    bool definesLabel;
  };
  const Case cases[] = {
      {"; a comment", true, false},    {"    ; a comment", true, false}, {"", false, false},
      {"   ", false, false},           {"lab: ; c", false, true},       {"lab2", false, true},
      {" .MESSAGE 1", false, false},   {" .MESSAGE 1 ; c", false, false},
  };
  std::vector<const char*> source;
  for (const Case& c : cases) source.push_back(c.text);
  parse(source);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ((lines[i]->flags[0] & lineflag::kCommentOnly) != 0, cases[i].commentOnly) << cases[i].text;
    EXPECT_EQ((lines[i]->flags[2] & lineflag::kDefinesLabel) != 0, cases[i].definesLabel) << cases[i].text;
  }
}

TEST_F(ParseTest, AnEmptyLineListMakesNothing) {
  runState().orbaOptions->requireEnd = true;
  parse({});
  EXPECT_TRUE(runState().sectionAdmin->sections().empty());
  EXPECT_EQ(runState().placeholderSection, nullptr);
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(ParseTest, ALabelTakesItsSectionsKindAndBinding) {
  struct Case {
    uint8_t flagByte0;
    uint8_t flagByte1;
    int32_t type;
    uint8_t symbolByte0;  // flags the label gets in its first byte
    bool relocatable;     // flag byte 2 bit 0 kept
    int32_t memoryClass;
  };
  const Case cases[] = {
      {0, 0, Section::kNoType, Symbol::kDefined, true, 1},
      {0, 0, Section::kData, Symbol::kDefined, true, Section::kData},
      {Section::SectionFlags::kDebugBit, 0, Section::kDebug, Symbol::kDefined | Symbol::kBinding0, false,
       Section::kDebug},
      {0, 0x80, Section::kCode, Symbol::kDefined | Symbol::kGlobal, true, Section::kCode},
  };
  OrbaParser parser;
  int index = 0;
  for (const Case& c : cases) {
    LineInfo* line = runState().lineState->appendLine("x:\n", 0, ++index, 0);
    Section* section = factory_.createSection(line, runState().stringBuffer->intern(".s"));
    runState().sectionAdmin->registerSection(section);
    section->flags.bytes[0] = c.flagByte0;
    section->flags.bytes[1] = c.flagByte1;
    section->type = c.type;
    std::string name = "label" + std::to_string(index);
    // A symbol that was only used so far is relocatable; the label keeps that unless
    // its section is a debug section.
    Symbol* used = runState().symbolTable->referenceSymbol(runState().stringBuffer->intern(name.c_str()), line);
    used->flags[2] |= Symbol::kRelocatable;
    ASSERT_TRUE(parser.defineLabel(section, line, name.c_str(), kTokEndOfLine));
    EXPECT_EQ(used->flags[0], c.symbolByte0) << name;
    EXPECT_EQ((used->flags[2] & Symbol::kRelocatable) != 0, c.relocatable) << name;
    EXPECT_EQ(used->memoryClass, c.memoryClass) << name;
    EXPECT_EQ(used->unit, static_cast<uint32_t>(c.memoryClass)) << name;
    EXPECT_EQ(used->section, section) << name;
    ASSERT_NE(section->lastLabel(), nullptr);
    EXPECT_EQ(section->lastLabel()->symbol, used) << name;
  }
}

// A macro call is a node only where the line program or the list file reads its place,
// and it has a row in the line program exactly where line information is on at its
// line, whether a list file is made or not. The node knows whether its line is listed.
TEST_F(ParseTest, AMacroCallIsANodeWhereLineInformationOrTheListReadsIt) {
  struct Case {
    const char* run;
    bool listFile;
    bool lineInformation;
    std::vector<const char*> source;  // "!" starts a macro-call line
    std::vector<const char*> nodes;   // the call nodes in flow order: "row", "listed" or both
  };
  const std::vector<const char*> twoCalls = {"!MC", " nop", "!MC"};
  const std::vector<const char*> listingOff = {" $LIST OFF", "!MC", " $LIST ON", "!MC"};
  const std::vector<const char*> lateDebug = {"!MC", " $DEBUG \"a\"", "!MC"};
  const Case cases[] = {
      {"neither", false, false, twoCalls, {}},
      {"line information", false, true, twoCalls, {"row", "row"}},
      {"a list file", true, false, twoCalls, {"listed", "listed"}},
      {"both", true, true, twoCalls, {"row listed", "row listed"}},
      {"a list file, listing off at a call", true, false, listingOff, {"listed"}},
      {"both, listing off at a call", true, true, listingOff, {"row", "row listed"}},
      {"line information from $DEBUG on", false, false, lateDebug, {"row"}},
      {"a list file, line information from $DEBUG on", true, false, lateDebug, {"listed", "row listed"}},
  };
  for (const Case& c : cases) {
    FreshRun fresh(*this);
    orbaOptions()->listFileWanted = c.listFile;
    orbaOptions()->asmDebugInfo = c.lineInformation;
    int32_t number = 1;
    for (const char* text : {" .SDECL \".text\",CODE", " .SECT \".text\""}) {
      LineInfo* line = runState().lineState->appendLine((std::string(text) + "\n").c_str(), 0, number++, 0);
      line->flags[0] |= lineflag::kAssemble;
    }
    for (const char* text : c.source) {
      const bool call = text[0] == '!';
      LineInfo* line =
          runState().lineState->appendLine((" " + std::string(text + (call ? 1 : 0)) + "\n").c_str(), 0, number++, 0);
      line->flags[0] |= call ? lineflag::kMacroCall : lineflag::kAssemble;
    }
    OrbaParser parser;
    parser.parse();
    std::vector<std::string> nodes;
    for (Section* section : runState().sectionAdmin->sections())
      for (FlowNode* node = section->firstNode(); node; node = node->nextNode()) {
        if (node->kind != FlowNode::kMacroCall) continue;
        const auto* call = static_cast<FMacroCall*>(node);
        nodes.push_back(call->givesRow && call->listed ? "row listed" : call->givesRow ? "row" : "listed");
      }
    EXPECT_EQ(nodes, std::vector<std::string>(c.nodes.begin(), c.nodes.end())) << c.run;
    EXPECT_TRUE(diagnostics().empty()) << c.run;
  }
}

}  // namespace
