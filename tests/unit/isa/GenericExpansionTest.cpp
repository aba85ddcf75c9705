// Generic instructions: the lines that a generic form inserts behind its statement, their
// variant numbers and places in the source, the temporary labels they share with the rest of
// the program, and the generics setting that stops them.
#include "isa/GenericExpansion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "flow/TempLabels.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/OperandEvaluation.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/RunSettings.h"

namespace {

// Hands only the generic forms on, as for a statement none of whose hardware forms is built.
class GenericFormsOnly : public isa::MatchListener {
 public:
  GenericFormsOnly(isa::BuildContext& context, LineInfo* line) : context_(context), line_(line) {}
  void acceptForm(const MatchAlternative& alternative, const isa::MatchPath& path) override {
    if (alternative.kind == isa::kGenericForm) isa::expandInstructionLine(alternative, path, context_, line_);
  }

 private:
  isa::BuildContext& context_;
  LineInfo* line_;
};

struct Expansion {
  std::vector<const LineInfo*> lines;  // the lines behind the statement's line
  std::vector<std::string> texts;
  isa::BuildContext context;
};

class GenericExpansionTest : public testing::Test {
 protected:
  void SetUp() override {
    savedFactory_ = runState().orbaFactory;
    runState().orbaFactory = &factory_;
    isa::initMatchModule();
  }
  void TearDown() override {
    for (IPInstruction* candidate : candidates_) delete candidate;
    runState().orbaFactory = savedFactory_;
  }

  // Matches the statement as the last line of the source, with every form or with the
  // generic forms alone.
  // With `packed`, the lines go into the context's packed text first and are inserted from
  // it after the match; `linesAtMatch` receives how many lines the match itself inserted.
  Expansion expand(const char* statement, bool hardwareForms = true, bool packed = false,
                   size_t* linesAtMatch = nullptr) {
    LineInfo* line = lineState()->appendLine(statement, 0, ++lineNumber_, 0);
    line->controlState = &control_;
    line->setSourceRange(100 * lineNumber_, 100 * lineNumber_ + 20);
    Expansion result;
    isa::MatchContext match;
    result.context.match = &match;
    isa::InstructionBuilder builder(result.context, line, nullptr);
    GenericFormsOnly genericOnly(result.context, line);
    isa::MatchListener& listener = hardwareForms ? static_cast<isa::MatchListener&>(builder) : genericOnly;
    isa::InstructionMatcher matcher(parser_, listener);
    result.context.matcher = &matcher;
    std::string packedText;
    if (packed) result.context.expansionText = &packedText;
    matcher.matchStatement(statement, line, isa::MatchOptions{}, match);
    if (linesAtMatch) *linesAtMatch = line->next ? 1 : 0;
    if (packed) isa::insertExpansionLines(line, packedText.data(), packedText.size());
    result.context.expansionText = nullptr;
    for (const LineInfo* made = line->next; made; made = made->next) {
      result.lines.push_back(made);
      result.texts.push_back(made->text.get());
    }
    for (IPInstruction* candidate : result.context.candidates) candidates_.push_back(candidate);
    result.context.candidates.clear();
    result.context.matcher = nullptr;
    result.context.match = nullptr;
    return result;
  }

  // Whether the instruction of a generated line (after its label and tab) has a hardware
  // form that the matcher builds.
  bool hasHardwareForm(const LineInfo* made) {
    std::string text(made->text, std::strlen(made->text) - 1);
    if (text.compare(0, 3, "__T") == 0) text.erase(0, text.find(':') + 1);
    if (!text.empty() && text[0] == '\t') text.erase(0, 1);
    if (text.empty()) return true;
    isa::BuildContext context;
    isa::MatchContext match;
    context.match = &match;
    LineInfo line;
    line.controlState = &control_;
    line.setVariant(made->variant());
    isa::InstructionBuilder builder(context, &line, nullptr);
    isa::InstructionMatcher matcher(parser_, builder);
    context.matcher = &matcher;
    matcher.matchStatement(text.c_str(), &line, isa::MatchOptions{}, match);
    bool found = !context.candidates.empty();
    for (IPInstruction* candidate : context.candidates) delete candidate;
    return found;
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  TriCoreFactory factory_;
  OrbaFactory* savedFactory_ = nullptr;
  TriCoreControlState control_;
  isa::ExpressionOperandParser parser_;
  std::vector<IPInstruction*> candidates_;
  uint32_t lineNumber_ = 0;
};

// The texts with each temporary label name written as "@": the label that the expansion
// made, the same one throughout.
std::vector<std::string> withLabelAsAt(const std::vector<std::string>& texts, std::string& label) {
  std::vector<std::string> out;
  for (std::string text : texts) {
    size_t at = text.find("__T");
    if (at != std::string::npos) {
      size_t end = at + 3;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      std::string name = text.substr(at, end - at);
      if (label.empty()) label = name;
      EXPECT_EQ(name, label) << text;
      text.replace(at, end - at, "@");
    }
    out.push_back(text);
  }
  return out;
}

uint64_t labelNumber(const std::string& label) { return std::stoull(label.substr(3)); }

TEST_F(GenericExpansionTest, EachGenericFormWritesItsTemplateWithTheOperandsAsWritten) {
  struct Case {
    const char* statement;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"jeq d0,#3,lab", {"\tjne\td0,#3,@\n", "\tj\tlab\n", "@:\n"}},
      {"JNE D2,#-1,far", {"\tjeq\td2,#-1,@\n", "\tj\tfar\n", "@:\n"}},
      {"jge d5,# 0x7 ,far", {"\tjlt\td5,# 0x7 ,@\n", "\tj\tfar\n", "@:\n"}},
      {"jlt.u E2H,#(15),far", {"\tjge.u\te2h,#(15),@\n", "\tj\tfar\n", "@:\n"}},
      {"jge.u d1,d2,far", {"\tjlt.u\td1,d2,@\n", "\tj\tfar\n", "@:\n"}},
      {"jned d3,#5,back", {"\tjeq\td3,#5,@\n", "\tadd16\td3,#-1\n", "\tj\tback\n", "@:\tadd16\td3,#-1\n"}},
      {"jnei d3,d4,back", {"\tjeq\td3,d4,@\n", "\tadd16\td3,#1\n", "\tj\tback\n", "@:\tadd16\td3,#1\n"}},
      {"jz.t D4:3,lab", {"\tjnz.t\td4:3,@\n", "\tj\tlab\n", "@:\n"}},
      {"jnz.t d4:bit,lab", {"\tjz.t\td4:bit,@\n", "\tj\tlab\n", "@:\n"}},
      {"loop A2,top", {"\tjz.a\ta2,@\n", "\tadd16.a\ta2,#-1\n", "\tj\ttop\n", "@:\tadd16.a\ta2,#-1\n"}},
      {"jeq.a SP,a3,lab", {"\tjne.a\tsp,a3,@\n", "\tj\tlab\n", "@:\n"}},
      {"jnz.a a4,lab", {"\tjz.a\ta4,@\n", "\tj\tlab\n", "@:\n"}},
      // A target is an expression, written back as printed.
      {"jlt d0,d1,lab+4", {"\tjge\td0,d1,@\n", "\tj\t(lab + 4)\n", "@:\n"}},
      {"loopu lab", {"\tj\tlab\n"}},
  };
  for (const Case& c : cases) {
    Expansion result = expand(c.statement);
    std::string label;
    EXPECT_EQ(withLabelAsAt(result.texts, label), c.lines) << c.statement;
    EXPECT_TRUE(result.context.expanded) << c.statement;
    for (const LineInfo* made : result.lines) EXPECT_TRUE(hasHardwareForm(made)) << made->text;
  }
}

// A statement may keep its expansion as packed text until layout needs it: the match then
// inserts nothing, and the lines inserted from the text later are those written at once,
// with the same variants and flags; the count of lines holding an instruction bounds the
// expansion's size.
TEST_F(GenericExpansionTest, PackedExpansionInsertsTheLinesWrittenAtOnce) {
  struct Case {
    const char* statement;
    bool hardwareForms;
    uint32_t instructions;
  };
  const Case cases[] = {
      {"jeq d0,#3,lab", true, 2},   {"jne d1,d2,far", false, 2}, {"loop A2,top", true, 4},
      {"jnei d3,d4,back", true, 4}, {"jz.t D4:3,lab", true, 2},  {"loopu lab", true, 1},
  };
  for (const Case& c : cases) {
    Expansion direct = expand(c.statement, c.hardwareForms);
    size_t linesAtMatch = 99;
    Expansion packed = expand(c.statement, c.hardwareForms, true, &linesAtMatch);
    EXPECT_EQ(linesAtMatch, 0u) << c.statement;
    std::string directLabel, packedLabel;
    EXPECT_EQ(withLabelAsAt(packed.texts, packedLabel), withLabelAsAt(direct.texts, directLabel)) << c.statement;
    EXPECT_EQ(packed.context.expansionInstructions, c.instructions) << c.statement;
    EXPECT_EQ(direct.context.expansionInstructions, 0u) << c.statement;
    ASSERT_EQ(packed.lines.size(), direct.lines.size()) << c.statement;
    for (size_t i = 0; i < packed.lines.size(); ++i) {
      const LineInfo& made = *packed.lines[i];
      const LineInfo& written = *direct.lines[i];
      EXPECT_EQ(made.variant(), written.variant()) << made.text;
      EXPECT_EQ(made.flags[0], written.flags[0]) << made.text;
      EXPECT_EQ(made.flags[2], written.flags[2]) << made.text;
      // The packed statement is the next line of the source.
      EXPECT_EQ(made.sourceStart(), written.sourceStart() + 100) << made.text;
      EXPECT_EQ(made.lineNumber, written.lineNumber + 1) << made.text;
    }
  }
}

TEST_F(GenericExpansionTest, GeneratedLinesStandInTheStatementsPlaceAndTakeTheNextVariant) {
  struct Case {
    bool hardwareForms;
    int16_t variant;  // of every generated line
  };
  const Case cases[] = {{true, 1}, {false, 0}};
  for (const Case& c : cases) {
    Expansion result = expand("jeq d0,#3,lab", c.hardwareForms);
    ASSERT_EQ(result.lines.size(), 3u);
    const LineInfo* statement = result.lines.front()->previous;
    EXPECT_EQ(result.context.found, c.hardwareForms);
    EXPECT_EQ(result.context.variantCount, static_cast<uint32_t>(c.variant) + 1);
    for (const LineInfo* made : result.lines) {
      EXPECT_EQ(made->variant(), c.variant) << made->text;
      EXPECT_EQ(made->flags[0] & 0x01, 0x01) << made->text << ": assemble flag";
      EXPECT_EQ(made->flags[2] & 0x20, 0) << made->text << ": template flag";
      EXPECT_EQ(made->sourceFile, statement->sourceFile) << made->text;
      EXPECT_EQ(made->lineNumber, statement->lineNumber) << made->text;
      EXPECT_EQ(made->sourceStart(), statement->sourceStart()) << made->text;
      EXPECT_EQ(made->sourceEnd(), statement->sourceEnd()) << made->text;
    }
    EXPECT_EQ(lineState()->last(), result.lines.back());
  }
}

TEST_F(GenericExpansionTest, ConsecutiveExpansionsTakeTheNextLowerLabelNumber) {
  std::string first, second, third;
  withLabelAsAt(expand("jeq d0,#3,lab").texts, first);
  withLabelAsAt(expand("jne d1,d2,lab").texts, second);
  // A label made elsewhere in the program takes its number from the same counter.
  const char* elsewhere = makeTempLabelName();
  withLabelAsAt(expand("jz.a a2,lab").texts, third);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  ASSERT_FALSE(third.empty());
  EXPECT_EQ(labelNumber(second), labelNumber(first) - 1);
  EXPECT_EQ(labelNumber(elsewhere), labelNumber(second) - 1);
  EXPECT_EQ(labelNumber(third), labelNumber(second) - 2);
}

TEST_F(GenericExpansionTest, GenericsSwitchedOffInsertNothing) {
  orbaOptions()->optimizeGenerics = false;
  Expansion result = expand("jeq d0,#3,lab");
  EXPECT_TRUE(result.texts.empty());
  EXPECT_FALSE(result.context.expanded);
  EXPECT_EQ(result.context.whenMessage, nullptr);
  EXPECT_TRUE(result.context.found) << "the hardware forms are built all the same";
  EXPECT_EQ(result.context.variantCount, 0u);
}

// A run that checks the source alone, and lists and counts nothing, decides the generic
// form as any run does, without writing the lines that nothing would read.
TEST_F(GenericExpansionTest, ACheckOnlyRunDecidesTheExpansionWithoutItsLines) {
  struct Case {
    const char* run;
    bool checkOnly, listFile, metrics, instructionMetrics, sectionSummary;
    bool linesWritten;
  };
  const Case cases[] = {
      {"full assembly", false, false, false, false, false, true},
      {"check only", true, false, false, false, false, false},
      {"check with a list file", true, true, false, false, false, true},
      {"check with metrics", true, false, true, false, false, true},
      {"check with instruction metrics", true, false, false, true, false, true},
      {"check with a section summary", true, false, false, false, true, true},
  };
  for (const Case& c : cases) {
    RunSettings* options = orbaOptions();
    options->checkOnly = c.checkOnly;
    options->listFileWanted = c.listFile;
    options->metrics = c.metrics;
    options->instructionMetrics = c.instructionMetrics;
    options->sectionInfoConsole = c.sectionSummary;
    EXPECT_EQ(isa::expansionLinesWanted(), c.linesWritten) << c.run;
    Expansion result = expand("jeq d0,#3,lab");
    EXPECT_TRUE(result.context.expanded) << c.run;
    EXPECT_TRUE(result.context.found) << c.run;
    EXPECT_EQ(result.context.variantCount, 2u) << c.run;
    EXPECT_EQ(result.texts.size(), c.linesWritten ? 3u : 0u) << c.run;
  }
  // A condition that fails stops the expansion whether lines would be written or not.
  orbaOptions()->checkOnly = true;
  orbaOptions()->optimizeGenerics = false;
  EXPECT_FALSE(expand("jeq d0,#3,lab").context.expanded);
}

// A target is written back printed: one whose print is no source text (an error in it, a
// string that holds a quote or a line end) must not become a generated line.
TEST_F(GenericExpansionTest, ATargetThatPrintsAsNoSourceTextGeneratesNothing) {
  struct Case {
    const char* statement;
    bool expands;
  };
  const Case cases[] = {
      {"loopu 1/0", false},
      {"jeq d0,#3,(1%0)+lab", false},
      {"loopu lab+\"a\\nb\"", false},
      {"loopu lab+\"a\"\"b\"", false},
      {"loopu lab+\"a\\\\b\"", false},
      {"loopu lab+\"a b\"", true},
      {"loopu 2/1", true},
      // An immediate is written as the source has it.
      {"jeq d0,#1/0,lab", true},
      {"jeq d0,#\"\"\"\",lab", true},
  };
  for (const Case& c : cases) {
    Expansion result = expand(c.statement);
    EXPECT_TRUE(result.context.found) << c.statement << ": the hardware forms take the error";
    EXPECT_EQ(result.context.expanded, c.expands) << c.statement;
    EXPECT_EQ(!result.texts.empty(), c.expands) << c.statement;
    for (const LineInfo* made : result.lines) EXPECT_TRUE(hasHardwareForm(made)) << made->text;
  }
}

TEST_F(GenericExpansionTest, ASourceNameThatTheExpansionGeneratesIsMarkedAsItsLabel) {
  std::string next = "__T" + std::to_string(labelNumber(makeTempLabelName()) - 1);
  Symbol* named = symbolTable()->current->defineSymbol(stringBuffer()->intern(next.c_str()), nullptr);
  ASSERT_NE(named, nullptr);
  named->flags[0] |= Symbol::kGlobal;
  std::string label;
  withLabelAsAt(expand("jeq d0,#3,lab").texts, label);
  ASSERT_EQ(label, next);
  EXPECT_EQ(named->flags[0] & (Symbol::kBinding6 | Symbol::kGlobal), Symbol::kBinding6);
  EXPECT_TRUE(named->isLocal());
}

TEST(TempLabelPlaceholders, EachDigitStandsForOneLabelWithinAnEntry) {
  ScopedManagers managers{ScopedManagers::kStrings};
  struct Case {
    const char* text;
    const char* expected;  // <d>: the label of digit d
    size_t labels;         // names made
  };
  const Case cases[] = {
      {"~1:", "<1>:", 1},           {"\tj ~1\n~1:", "\tj <1>\n<1>:", 1},
      {"~1 ~2 ~1", "<1> <2> <1>", 2}, {"~12", "<1>2", 1},
      {"~x~", "~x~", 0},            {"no label", "no label", 0},
      {"~9~0~9", "<9><0><9>", 2},
  };
  for (const Case& c : cases) {
    isa::TempLabelMap labels;
    std::string piece = ">";
    isa::makeTempLabelName(piece, c.text, labels);
    std::string expected = std::string(">") + c.expected;
    size_t made = 0;
    for (int digit = 0; digit < 10; ++digit) {
      if (!labels.names[digit]) continue;
      ++made;
      std::string marker = "<" + std::to_string(digit) + ">";
      for (size_t at = expected.find(marker); at != std::string::npos; at = expected.find(marker))
        expected.replace(at, marker.size(), labels.names[digit]);
    }
    EXPECT_EQ(piece, expected) << c.text;
    EXPECT_EQ(made, c.labels) << c.text;
  }
}

TEST(GeneratedLabelNames, AreTheTemporaryPrefixAndDigitsOnly) {
  struct Case {
    const char* name;
    bool generated;
  };
  const Case cases[] = {
      {"__T4294967295", true}, {"__T0", true},   {"__t12", true},  {"__T", false},     {"__T12x", false},
      {"_T12", false},         {"__TX", false},  {"x__T1", false}, {"__NL000001_1", false}, {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isa::isGeneratedLabelName(c.name), c.generated) << c.name;
}

TEST(GeneratedLabelNames, ASourceLineMayNotDefineOneAGeneratedLineMay) {
  struct Case {
    const char* name;
    int16_t variant;  // of the defining line
    bool refused;
  };
  const Case cases[] = {
      {"__T4294967295", -1, true}, {"__t7", -1, true}, {"__T4294967295", 0, false},
      {"__T4294967295", 1, false}, {"__Tx", -1, false}, {"start", -1, false},
  };
  for (const Case& c : cases) {
    ScopedManagers managers{ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines};
    LineInfo line;
    line.lineNumber = 4;
    line.setVariant(c.variant);
    EXPECT_EQ(isa::refuseGeneratedLabelName(c.name, &line), c.refused) << c.name << " " << c.variant;
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    records.first();
    if (!c.refused) {
      EXPECT_TRUE(records.isDone()) << c.name;
      continue;
    }
    ASSERT_FALSE(records.isDone()) << c.name;
    EXPECT_EQ(records.current()->id, E_error);
    EXPECT_EQ(std::string(records.current()->text),
              std::string("E110: \"") + c.name + "\" is reserved for labels the assembler generates");
  }
}

}  // namespace
