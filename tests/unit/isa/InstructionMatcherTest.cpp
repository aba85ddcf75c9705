// libstdc++'s regex draws false -Wmaybe-uninitialized warnings in sanitizer builds; the
// warning is reported at the library's lines, so it is off for the whole file.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "isa/InstructionMatcher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "isa/IPAttribute.h"
#include "isa/InstructionParser.h"
#include "util/MessageCatalog.h"

namespace {

struct Collector : isa::MatchListener {
  std::vector<uint16_t> forms;
  std::vector<uint16_t> lastStates;
  void acceptForm(const MatchAlternative& alternative, const isa::MatchPath& path) override {
    forms.push_back(alternative.form);
    lastStates.push_back(path.states[path.count - 1]);
  }
};

struct Walk {
  std::vector<uint16_t> forms;
  std::vector<uint16_t> lastStates;
  uint32_t consumed = 0;
  isa::MatchContext context;
  std::string failureText;
};

Walk walk(const char* text, isa::OperandParser* parser = nullptr, isa::MatchOptions options = {}) {
  static isa::SimpleOperandParser simple;
  Collector collector;
  isa::InstructionMatcher matcher(parser ? *parser : simple, collector);
  Walk result;
  result.consumed = matcher.matchStatement(text, nullptr, options, result.context);
  result.forms = collector.forms;
  result.lastStates = collector.lastStates;
  char buffer[256];
  const char* message = isa::syntaxFailureText(result.context.failure, buffer, sizeof buffer);
  if (message) result.failureText = message;
  return result;
}

const isa::FormInfo& info(uint16_t form) { return isa::formInfo()[form]; }

std::vector<int> bitsOf(const Walk& w) {
  std::vector<int> bits;
  for (uint16_t f : w.forms) bits.push_back(info(f).bits);
  return bits;
}

TEST(InstructionMatcher, MnemonicCaseDoesNotMatter) {
  Walk lower = walk("nop"), upper = walk("NOP"), mixed = walk("Nop");
  ASSERT_EQ(lower.forms.size(), 2u);
  EXPECT_EQ(bitsOf(lower), (std::vector<int>{32, 16}));
  EXPECT_EQ(upper.forms, lower.forms);
  EXPECT_EQ(mixed.forms, lower.forms);
  EXPECT_EQ(upper.lastStates, lower.lastStates);
  EXPECT_EQ(mixed.lastStates, lower.lastStates);
}

TEST(InstructionMatcher, SizeMarkedNamesSelectOneSize) {
  struct Case {
    const char* text;
    std::vector<int> bits;
  } cases[] = {
      {"nop16", {16}},           {"nop32", {32}},          {"ld32.a a2,[a3]4", {32, 32, 32, 32, 32, 32, 32, 32, 32, 32}},
      {"and.ge32.u d0,d1,d2", {32}}, {"nop64", {}},        {"crc32 d0,d1,d2", {32}},
      {"crc3232 d0,d1,d2", {}},  {"mov32.a a0,d1", {32, 32}},
  };
  for (const Case& c : cases) EXPECT_EQ(bitsOf(walk(c.text)), c.bits) << c.text;
}

TEST(InstructionMatcher, BlanksSplitNoWordAndAreRequiredAfterTheMnemonic) {
  struct Case {
    const char* text;
    bool accepted;
  } cases[] = {
      {"add d0,d1,d2", true},       {"add d0 , d1 , d2", true},  {"ADD D0,D1,D2", true},
      {"add\td0,d1,d2  ", true},    {"add d0,d1,d2\n", true},    {"a dd d0,d1,d2", false},
      {"add d 0,d1,d2", false},     {"addd0,d1,d2", false},      {"add d0,d1,d2,", false},
      {"add d0,d1,d2x", false},     {"ld.w d0,[a1+]4", true},    {"ld.w d0,[ a1 + ]4", true},
      {"ld.w d0,[a 1+]4", false},
  };
  for (const Case& c : cases) EXPECT_EQ(!walk(c.text).forms.empty(), c.accepted) << c.text;
}

TEST(InstructionMatcher, AddWithBlanksReachesTheSameForms) {
  EXPECT_EQ(walk("add d0 , d1 , d2").forms, walk("add d0,d1,d2").forms);
}

// The register record of the last operand's name, found through the form's pattern and the
// slot's value table keyed by the state at the end of the operand.
const RegisterRecord* lastRegister(const char* text, int32_t* index) {
  Walk w = walk(text);
  if (w.forms.empty()) return nullptr;
  const MatchAlternative& alternative = isa::matchAlternatives()[w.forms[0]];
  const PatternItem* item = alternative.elements[alternative.elementCount - 1].item;
  if (item->kind != isa::kItemSlot) return nullptr;
  const auto* slot = static_cast<const OperandSlot*>(item->node);
  *index = isa::lookupValue(*slot->values, w.lastStates[0]);
  if (*index < 0) return nullptr;
  return slot->names[*index].record;
}

TEST(InstructionMatcher, RegisterNamesGiveTheirValues) {
  struct Case {
    const char* text;
    int32_t index;
    uint32_t number;
  } cases[] = {
      {"mov d0,e0h", 17, 1}, {"mov d0,E0L", 16, 0},   {"mov d0,d15", 15, 15},  {"mov d0,e14h", 31, 15},
      {"mov.aa a2,sp", 10, 10}, {"mov.aa a2,a10", 11, 10}, {"mov.aa a2,a15", 16, 15},
  };
  for (const Case& c : cases) {
    int32_t index = -1;
    const RegisterRecord* record = lastRegister(c.text, &index);
    ASSERT_NE(record, nullptr) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
    EXPECT_EQ(record->value, c.number) << c.text;
  }
}

TEST(InstructionMatcher, FailuresReadTheSlotTextOrTheUnexpectedToken) {
  struct Case {
    const char* text;
    const char* message;
    size_t column;
  } cases[] = {
      // Three slots read the second operand here; the first form of the state names it.
      {"sub16 d15,d1x", "expected data register", 12},
      {"mov d0,dx", "expected data register", 8},
      {"mov.aa a2,ax", "expected address register", 11},
      {"add d0,d1,d2,", "syntax error: \",\" unexpected", 12},
      {"add d0,d1,", "expected data register", 10},
      {"zzz d0", "syntax error: \"zzz\" unexpected", 0},
  };
  for (const Case& c : cases) {
    Walk w = walk(c.text);
    EXPECT_TRUE(w.forms.empty()) << c.text;
    EXPECT_EQ(w.failureText, c.message) << c.text;
    EXPECT_EQ(static_cast<size_t>(w.context.failure.position - w.context.text), c.column) << c.text;
  }
}

TEST(InstructionMatcher, D15IsRejectedWhereTheSlotExcludesIt) {
  // Only the data-register-other-than-D15 slot reads the second operand of this text.
  const OperandValueTable& notD15 = *isa::registerValueTable(1);
  ASSERT_STREQ(notD15.text, "expected data register other than D15");
  Walk w = walk("sub16 d15,d15,d1");
  for (uint16_t f : w.forms) EXPECT_STRNE(info(f).syntax, "D15,Dx,Dn");
  Walk d14 = walk("sub16 d15,d14,d1");
  bool found = false;
  for (uint16_t f : d14.forms) found |= std::strcmp(info(f).syntax, "D15,Dx,Dn") == 0;
  EXPECT_TRUE(found);
}

TEST(SyntaxFailure, FurthestFailureWinsAndTheFirstStaysAtEqualPositions) {
  const char text[] = "add d0,d1,d2 x";
  struct Case {
    int firstColumn, secondColumn;
    bool firstIsText;
    int expectedColumn;
    int32_t expectedId;
  } cases[] = {
      {5, 9, true, 9, E_syntax_unexpected_error},
      {9, 5, true, 9, E_error},
      {9, 9, true, 9, E_error},
      {9, 9, false, 9, E_syntax_unexpected_error},
  };
  for (const Case& c : cases) {
    isa::SyntaxFailure failure;
    auto note = [&](int column, bool asText) {
      if (asText) isa::noteSyntaxErrorText(failure, text + column, "expected data register");
      else isa::noteSyntaxUnexpected(failure, text + column);
    };
    note(c.firstColumn, c.firstIsText);
    note(c.secondColumn, !c.firstIsText);
    EXPECT_EQ(failure.position - text, c.expectedColumn);
    EXPECT_EQ(failure.messageId, c.expectedId);
  }
}

TEST(SyntaxFailure, TextsOfTheRecordKinds) {
  const char text[] = "mov d0,#";
  char buffer[128];
  struct Case {
    void (*note)(isa::SyntaxFailure&, const char*);
    int column;
    const char* expected;
  } cases[] = {
      {isa::noteSyntaxExpectedExpression, 7, "syntax error: expected an expression instead of \"#\""},
      {isa::noteSyntaxExpectedNumber, 4, "syntax error: expected a number instead of \"d0\""},
      {isa::noteSyntaxExpectedExpression, 8, "unexpected end of line"},
      {isa::noteSyntaxUnexpected, 0, "syntax error: \"mov\" unexpected"},
  };
  for (const Case& c : cases) {
    isa::SyntaxFailure failure;
    c.note(failure, text + c.column);
    EXPECT_STREQ(isa::syntaxFailureText(failure, buffer, sizeof buffer), c.expected);
  }
  EXPECT_EQ(isa::syntaxFailureText(isa::SyntaxFailure{}, buffer, sizeof buffer), nullptr);
}

TEST(InstructionMatcher, PseudoCharacterBytesInTheTextAreUnexpected) {
  struct Case {
    std::string text;
    size_t column;
  } cases[] = {
      {"nop\x7f", 3}, {"add d0,d1,\x7f", 10}, {"\x7f", 0}, {"mov d0,#\x05", 8}, {"add d0,\x80", 7},
      {"ld.w d0,[a1]\x7f", 12}, {std::string("add\x7f") + " d0,d1,d2", 3},
  };
  for (const Case& c : cases) {
    Walk w = walk(c.text.c_str());
    EXPECT_TRUE(w.forms.empty()) << c.column;
    ASSERT_NE(w.context.failure.position, nullptr);
    EXPECT_EQ(static_cast<size_t>(w.context.failure.position - w.context.text), c.column) << c.text;
  }
}

// Counts the parses per text position and answers like the stand-in parser.
struct CountingParser : isa::OperandParser {
  isa::SimpleOperandParser simple;
  std::vector<std::string> parsedAt;
  uint32_t parse(const char* text, const LineInfo* line, void** expression, const char** error) override {
    parsedAt.push_back(text);
    return simple.parse(text, line, expression, error);
  }
};

TEST(InstructionMatcher, ExpressionMemoIsKeyedByStateAndPosition) {
  // The state after "ld.w d0," is tried with the expression at the blank and again after it;
  // a memo by state alone would reuse the length of the first parse at the second position.
  CountingParser parser;
  Walk w = walk("ld.w d0, foo", &parser);
  ASSERT_FALSE(w.forms.empty());
  EXPECT_EQ(w.consumed, 12u);
  size_t atBlank = 0, atName = 0;
  for (const std::string& s : parser.parsedAt) atBlank += s == " foo", atName += s == "foo";
  EXPECT_EQ(atBlank, 1u);
  EXPECT_EQ(atName, 1u);
}

TEST(InstructionMatcher, ExpressionsAreParsedOncePerStateAndPosition) {
  // "# 3" is read once with its blank and once after it; both readings end before ",", and
  // the walk on from there, with its parse of the target, is taken once.
  struct Case {
    const char* text;
    std::map<std::string, size_t> parses;  // text from the parse's start, and how often
  };
  const Case cases[] = {
      {"jeq d0,#3,somewhere", {{"3,somewhere", 1}, {"somewhere", 1}}},
      {"jeq d0,# 3,somewhere", {{" 3,somewhere", 1}, {"3,somewhere", 1}, {"somewhere", 1}}},
      {"jne d1,# -4,x", {{" -4,x", 1}, {"-4,x", 1}, {"x", 1}}},
      {"ld.w d0, foo", {{" foo", 1}, {"foo", 1}}},
  };
  for (const Case& c : cases) {
    CountingParser parser;
    EXPECT_FALSE(walk(c.text, &parser).forms.empty()) << c.text;
    std::map<std::string, size_t> parses;
    for (const std::string& at : parser.parsedAt) ++parses[at];
    EXPECT_EQ(parses, c.parses) << c.text;
  }
}

TEST(InstructionMatcher, EachFormIsOfferedOnceWhicheverReadingReachesIt) {
  struct Case {
    const char* text;
    const char* plain;  // the same statement without the blanks
  };
  const Case cases[] = {
      {"ld.w d0, foo", "ld.w d0,foo"},
      {"jne d0, #3, x", "jne d0,#3,x"},
      {"jeq d0,# 3,somewhere", "jeq d0,#3,somewhere"},
      {"mov d0, #5", "mov d0,#5"},
  };
  for (const Case& c : cases) {
    Walk blanks = walk(c.text), plain = walk(c.plain);
    ASSERT_FALSE(plain.forms.empty()) << c.plain;
    EXPECT_EQ(blanks.forms, plain.forms) << c.text;
  }
}

TEST(InstructionMatcher, FormsOfAListAreOfferedInTheirDataOrder) {
  // The 10-bit-offset forms precede the 16-bit-offset ones; 32-bit forms precede 16-bit ones.
  Walk w = walk("ld.a a2,[a3]4");
  ASSERT_EQ(w.forms.size(), 10u);
  for (size_t i = 0; i < 5; ++i) EXPECT_STREQ(info(w.forms[i]).syntax, "An,[An]n[-512..511]");
  for (size_t i = 5; i < 10; ++i) EXPECT_STREQ(info(w.forms[i]).syntax, "An,[An]n[-32768..65535]");
  for (size_t i = 1; i < w.forms.size(); ++i) EXPECT_LT(info(w.forms[i - 1]).rank, info(w.forms[i]).rank);
  Walk add = walk("add d0,d1");
  ASSERT_EQ(bitsOf(add).size(), 1u);
}

TEST(InstructionMatcher, GenericFormsAreOfferedOnlyWhenAllowed) {
  isa::MatchOptions noGenerics;
  noGenerics.genericsAllowed = false;
  struct Case {
    const char* text;
    bool allowed;
    size_t generic;
  } cases[] = {{"jeq d0,d1,there", true, 1}, {"jeq d0,d1,there", false, 0}, {"loopu there", true, 1}};
  for (const Case& c : cases) {
    Walk w = walk(c.text, nullptr, c.allowed ? isa::MatchOptions{} : noGenerics);
    size_t generic = 0;
    for (uint16_t f : w.forms) generic += info(f).bits == 0;
    EXPECT_EQ(generic, c.generic) << c.text;
    EXPECT_LT(generic, w.forms.size()) << c.text;
  }
}

TEST(InstructionMatcher, CommentPrefixEndsTheStatement) {
  isa::MatchOptions options;
  options.commentPrefix = "//";
  Walk w = walk("add d0,d1,d2// sum", nullptr, options);
  EXPECT_FALSE(w.forms.empty());
  EXPECT_EQ(w.consumed, 12u);
  EXPECT_TRUE(walk("add d0,d1,d2// sum").forms.empty());
}

TEST(InstructionMatcher, TextAfterACompleteInstructionEndsTheWalkAtTheBlank) {
  // The statement parser reports what is left; the walk accepts what it could read.
  Walk w = walk("add d0,d1 d2");
  ASSERT_FALSE(w.forms.empty());
  EXPECT_EQ(w.consumed, 9u);
  EXPECT_EQ(bitsOf(w), (std::vector<int>{16}));
}

TEST(ValueTables, MissingEntriesAreReportedAsAbsent) {
  isa::initMatchModule();
  const OperandValueTable& data = *isa::registerValueTable(0);
  EXPECT_EQ(isa::lookupValue(data, isa::kStartState), -1);
  EXPECT_EQ(isa::lookupValue(OperandValueTable{"none", isa::valueTableSourceCount()}, 5), -1);
  const OperandValueTable& quadruple = *isa::registerValueTable(8);
  ASSERT_STREQ(quadruple.text, "expected data register quadruple");
  for (uint16_t s = 0; s < 2000; ++s) EXPECT_EQ(isa::lookupValue(quadruple, s), -1);
}

TEST(ValueTables, TheParserFreesTheStartUpTablesAndAnotherStartUpBuildsThemAgain) {
  const OperandValueTable& data = *isa::registerValueTable(0);
  uint16_t d15State = walk("mov d0,d15").lastStates.at(0);
  {
    InstructionParser parser;
    ASSERT_TRUE(isa::matchModuleReady());
    ASSERT_NE(isa::builtValueTable(data.index), nullptr);
    EXPECT_GE(isa::lookupValue(data, d15State), 0);
  }
  EXPECT_FALSE(isa::matchModuleReady());
  for (uint32_t t = 0; t < isa::valueTableSourceCount(); ++t)
    EXPECT_EQ(isa::builtValueTable(isa::valueTableSources()[t].target->index), nullptr) << t;
  EXPECT_EQ(isa::lookupValue(data, d15State), -1);
  EXPECT_EQ(isa::prebuiltAttributeListCount(), 0u);
  // The matcher's own start-up makes them again.
  EXPECT_EQ(walk("mov d0,d15").lastStates.at(0), d15State);
  EXPECT_GE(isa::lookupValue(data, d15State), 0);
  EXPECT_EQ(isa::prebuiltAttributeListCount(), isa::attributeSpecListCount());
}

TEST(ValueTables, RegisterTablesCarryTheirTexts) {
  const char* expected[] = {"expected data register",        "expected data register other than D15",
                            "expected D15 register",         "expected address register",
                            "expected A15 register",         "expected SP register",
                            "expected data register pair",   "expected address register pair",
                            "expected data register quadruple"};
  ASSERT_EQ(isa::registerValueTableCount(), 9u);
  for (uint32_t i = 0; i < 9; ++i) EXPECT_STREQ(isa::registerValueTable(i)->text, expected[i]);
}

// ---------------------------------------------------------------------------------------
// Every form line of the reference list: a sample text of each of its mnemonics reaches an
// accepting list that holds all the forms of that line.

std::string sampleOperands(std::string syntax) {
  if (syntax == "(no operands)") return "";
  // First alternative of each choice.
  syntax = std::regex_replace(syntax, std::regex(R"(\(([^|()]*)\|[^()]*\))"), "$1");
  struct Sub {
    const char* pattern;
    const char* text;
  } subs[] = {
      {R"(#n\[(-?\d+)\.\.-?\d+\])", "#$1"}, {R"(n\[(-?\d+)\.\.-?\d+\])", "$1"},
      {"label", "target"},  {"address", "0x100"}, {"Dx", "d2"}, {"D15", "d15"}, {"Dn", "d3"},
      {"A15", "a15"},       {"SP", "sp"},          {"An", "a4"}, {"En", "e6"},   {"Pn", "a8/a9"},
  };
  for (const Sub& s : subs) syntax = std::regex_replace(syntax, std::regex(s.pattern), s.text);
  return " " + syntax;
}

TEST(InstructionMatcher, EveryFormIsReachedByASampleText) {
  std::filesystem::path fixture = std::filesystem::path(VEKT_UNIT_TEST_DIR) / "isa" / "fixtures" / "form-lines.txt";
  std::ifstream in(fixture);
  ASSERT_TRUE(in) << fixture;
  std::regex lineRe(R"(^- (16|32|generic), (.*?): (.*?)( \((\d+) forms\))?$)");
  std::string line;
  size_t lines = 0, formsSeen = 0;
  while (std::getline(in, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, lineRe)) << line;
    ++lines;
    int bits = m[1] == "generic" ? 0 : std::stoi(m[1]);
    std::string syntax = m[3];
    size_t count = m[5].matched ? std::stoul(m[5]) : 1;
    std::string names = m[2];
    std::regex nameRe(R"([^, ]+)");
    std::string first = names.substr(0, names.find(','));
    if (first.back() == '*') first.pop_back();
    for (auto it = std::sregex_iterator(names.begin(), names.end(), nameRe); it != std::sregex_iterator(); ++it) {
      std::string name = it->str();
      if (name.back() == '*') name.pop_back();
      std::string text = name + sampleOperands(syntax);
      Walk w = walk(text.c_str());
      size_t matching = 0;
      for (uint16_t f : w.forms) matching += info(f).bits == bits && syntax == info(f).syntax && first == info(f).firstMnemonic;
      EXPECT_EQ(matching, count) << line << "\n  text: " << text;
      formsSeen += matching;
    }
  }
  EXPECT_EQ(lines, 340u);
  EXPECT_GE(formsSeen, 442u);
  EXPECT_EQ(isa::matchAlternativeCount(), 442u);
}

// A walk notes the states it stands in where a watched target starts; a name there is
// only an expression when no walk from those states reads it as text to its end or
// starts an expression inside it. Registers are text where the form takes a register.
TEST(InstructionMatcher, WatchedTargetTellsNamesReadAsText) {
  struct Case {
    const char* statement;
    uint32_t targetAt;
    const char* name;
    bool onlyExpression;
  };
  const Case cases[] = {
      {"jne d1,d2,L0", 10, "L0", true},   {"jne d1,d2,L0", 10, "d3", true},
      {"j L0", 2, "L0", true},            {"j L0", 2, "long_name_1", true},
      {"mov d1,d2", 7, "d7", false},      {"mov d1,d2", 7, "d15", false},
      {"mov d1,d2", 7, "dx", true},       {"add d1,d2", 7, "e", false},
      {"jeq d15,#0,L2", 11, "L2", true},  {"loop a2,L0", 8, "a3", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.statement << " / " << c.name);
    static isa::SimpleOperandParser simple;
    Collector collector;
    isa::InstructionMatcher matcher(simple, collector);
    matcher.watchTargetAt(c.statement + c.targetAt);
    isa::MatchContext context;
    matcher.matchStatement(c.statement, nullptr, {}, context);
    ASSERT_GT(matcher.targetStateCount(), 0u);
    ASSERT_LE(matcher.targetStateCount(), isa::InstructionMatcher::kMostTargetStates);
    EXPECT_EQ(isa::InstructionMatcher::nameOnlyAnExpression(matcher.targetStates(), matcher.targetStateCount(), c.name,
                                                            static_cast<uint32_t>(std::strlen(c.name))),
              c.onlyExpression);
  }
}

}  // namespace
