#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DirectiveFixture.h"
#include "parser/LineFlags.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/FAlign.h"
#include "flow/FLabel.h"
#include "flow/FSymbolDefinition.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "parser/SymbolDefinitions.h"

namespace {

class SymbolDefinitionTest : public DirectiveTest {
 protected:
  const char* name(const char* text) { return runState().stringBuffer->intern(text); }

  Symbol* find(const char* text) { return runState().symbolTable->current->lookup(name(text)); }

  // A typed section with a label defined on line number, as the statement frame
  // leaves it.
  Symbol* label(Section* in, const char* text, uint32_t number) {
    LineInfo* at = line(number, in);
    Symbol* made = runState().symbolTable->current->defineSymbol(name(text), at);
    made->section = in;
    in->addNode(new FLabel(at, made), true);
    return made;
  }

  Section* typed(const char* text, int32_t type) {
    Section* made = section(text);
    made->type = type;
    made->secondType = type;
    return made;
  }

  // The values of the section's .EQU/.SET nodes, printed.
  static std::vector<std::string> equSetValues(const Section* in) {
    std::vector<std::string> values;
    for (FlowNode* node = in->firstNode(); node; node = node->nextNode())
      if (node->kind == FlowNode::kEquSet) values.push_back(exprToString(static_cast<FEquSet*>(node)->value));
    return values;
  }
};

TEST_F(SymbolDefinitionTest, EquateDefinesOnceWithValueAndNode) {
  Section* code = typed(".text", Section::kCode);
  LineInfo* at = line(1, code);
  ASSERT_TRUE(defineEquate(at, name("X"), nullptr, parse("5", at)));
  Symbol* x = find("X");
  ASSERT_NE(x, nullptr);
  EXPECT_TRUE(x->isDefined());
  EXPECT_TRUE(x->isEquate());
  EXPECT_FALSE(x->isRelocatable());
  EXPECT_EQ(x->definitionLine, at);
  EXPECT_EQ(x->section, code);
  EXPECT_EQ(exprToString(x->valueExpression), "5");
  EXPECT_EQ(x->memoryClass, Section::kCode) << "a number in a typed section lies in its space";
  EXPECT_EQ(equSetValues(code), std::vector<std::string>{"5"});
  EXPECT_EQ(at->flags[1], lineflag::kEquateOrSet);

  LineInfo* operandForm = line(2, code);
  ASSERT_TRUE(defineEquate(operandForm, nullptr, name("Y"), parse("X+1", operandForm)));
  EXPECT_TRUE(find("Y")->isEquate());

  LineInfo* again = line(3, code);
  EXPECT_FALSE(defineEquate(again, name("X"), nullptr, parse("6", again)));
  EXPECT_EQ(exprToString(x->valueExpression), "5");
  EXPECT_EQ(equSetValues(code), (std::vector<std::string>{"5", "(X[5] + 1)"}));
  EXPECT_EQ(again->flags[1], 0);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"E168: symbol \"X\" already defined at line 1@3"});
}

TEST_F(SymbolDefinitionTest, EquateMemoryClassFollowsValueAndSection) {
  struct Case {
    const char* section;  // null: the placeholder section
    int32_t type;
    const char* value;
    int32_t memoryClass;
  } cases[] = {
      {nullptr, 0, "7", 1},
      {"plain", Section::kNoType, "7", Section::kNoType},
      {"d", Section::kData, "7", Section::kData},
      {"d", Section::kData, "\"ab\"", Section::kData},
      {"c", Section::kCode, "dataLabel+4", Section::kData},
      {"c", Section::kCode, "-dataLabel", Section::kData},
  };
  Section* placeholder = makePlaceholder();
  Symbol* dataLabel = symbol("dataLabel");
  dataLabel->flags[0] |= Symbol::kDefined;
  dataLabel->memoryClass = Section::kData;
  int count = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Section* in = c.section ? typed(c.section, c.type) : placeholder;
    LineInfo* at = line(1, in);
    std::string symbolName = "E" + std::to_string(count++);
    ASSERT_TRUE(defineEquate(at, name(symbolName.c_str()), nullptr, parse(c.value, at)));
    EXPECT_EQ(find(symbolName.c_str())->memoryClass, c.memoryClass);
  }
}

TEST_F(SymbolDefinitionTest, SetRedefinesKeepingSymbolLineAndEachNodeItsValue) {
  Section* code = typed(".text", Section::kCode);
  LineInfo* first = line(1, code);
  ASSERT_TRUE(defineSetSymbol(first, name("N"), nullptr, parse("1", first), ".SET"));
  Symbol* n = find("N");
  LineInfo* second = line(2, code);
  ASSERT_TRUE(defineSetSymbol(second, nullptr, name("N"), parse("N+1", second), ".SET"));
  LineInfo* third = line(3, code);
  ASSERT_TRUE(defineSetSymbol(third, name("N"), nullptr, parse("3", third), ".SET"));
  EXPECT_EQ(find("N"), n);
  EXPECT_TRUE(n->isSet());
  EXPECT_TRUE(n->isDefined());
  EXPECT_FALSE(n->isGlobal());
  EXPECT_EQ(n->definitionLine, first);
  EXPECT_EQ(exprToString(n->valueExpression), "3");
  EXPECT_EQ(equSetValues(code), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(third->flags[1], lineflag::kEquateOrSet);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{});
}

TEST_F(SymbolDefinitionTest, SetRefusesWhatItCannotRedefine) {
  struct Case {
    const char* earlier;  // what N is before the .SET line
    const char* value;
    std::vector<std::string> messages;
    bool defined;  // the .SET took effect
  } cases[] = {
      {"equate", "2", {"E181: redefinition of a non-.SET symbol@9"}, false},
      {"label", "2", {"E181: redefinition of a non-.SET symbol@9"}, false},
      {"used", "2", {"E263: symbol \"N\" is used before its definition@9"}, false},
      {"external", "2", {"E197: symbol \"N\" already defined external@9"}, false},
      {"global", "2", {}, true},
      {"weak", "2", {}, true},
      {"none", "later", {"E173: expression does not allow forward references@9"}, false},
      {"none", "weakOnly+1", {"E173: expression does not allow forward references@9"}, false},
      {"none", "forwardEqu", {"E173: expression does not allow forward references@9"}, false},
      {"none", "outside", {}, true},
      {"none", "known*2", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.earlier) + " " + c.value);
    runState().symbolTable->reset();
    Section* in = typed("d", Section::kData);
    Symbol* weakOnly = symbol("weakOnly");
    weakOnly->flags[1] |= Symbol::kWeak;
    Symbol* outside = symbol("outside");
    outside->flags[0] |= Symbol::kExternal;
    Symbol* known = symbol("known");
    known->flags[0] |= Symbol::kDefined;
    Symbol* forwardEqu = symbol("forwardEqu");
    forwardEqu->flags[0] |= Symbol::kDefined | Symbol::kEquate;
    forwardEqu->valueExpression = TESymbol::create(symbol("laterStill"));

    std::string earlier = c.earlier;
    if (earlier == "equate") {
      ASSERT_TRUE(defineEquate(line(1, in), name("N"), nullptr, TEInteger::create(1)));
    }
    if (earlier == "label") label(in, "N", 1);
    if (earlier == "used") runState().symbolTable->referenceSymbol(name("N"), line(1, in));
    if (earlier == "external") runState().symbolTable->current->declareExternal(name("N"), line(1, in));
    if (earlier == "global") runState().symbolTable->current->declareGlobal(name("N"), line(1, in));
    if (earlier == "weak") runState().symbolTable->current->declareWeak(name("N"), line(1, in));
    size_t nodesBefore = kinds(in).size();

    LineInfo* at = line(9, in);
    EXPECT_EQ(defineSetSymbol(at, name("N"), nullptr, parse(c.value, at), ".SET"), c.defined);
    EXPECT_EQ(diagnostics(), c.messages);
    EXPECT_EQ(kinds(in).size(), nodesBefore + (c.defined ? 1 : 0));
    if (c.defined) {
      Symbol* n = find("N");
      EXPECT_TRUE(n->isSet());
      EXPECT_TRUE(n->isDefined());
      EXPECT_EQ(n->isGlobal(), earlier == "global") << "the binding stays";
      EXPECT_EQ(n->isWeak(), earlier == "weak");
    }
    clearDiagnostics();
  }
}

TEST_F(SymbolDefinitionTest, AliasNamesLaterTargetAndTakesItsSectionAndClass) {
  Section* data = typed(".data", Section::kData);
  LineInfo* at = line(4, data);
  ASSERT_TRUE(defineAlias(at, name("a"), name("target")));
  Symbol* alias = find("a");
  Symbol* target = find("target");
  ASSERT_NE(target, nullptr);
  EXPECT_TRUE(target->isUsed());
  EXPECT_FALSE(target->isDefined());
  EXPECT_TRUE(alias->isEquate());
  EXPECT_TRUE(alias->isSectionByValue()) << "the alias mark";
  EXPECT_EQ(alias->valueExpression->getSymbol(), target);
  EXPECT_EQ(alias->section, nullptr);
  EXPECT_EQ(kinds(data), std::vector<int>{FlowNode::kAlias});

  Symbol* placed = label(data, "placed", 5);
  placed->memoryClass = Section::kData;
  LineInfo* second = line(6, data);
  ASSERT_TRUE(defineAlias(second, name("b"), name("placed")));
  EXPECT_EQ(find("b")->section, data);
  EXPECT_EQ(find("b")->memoryClass, Section::kData);

  LineInfo* twice = line(7, data);
  EXPECT_FALSE(defineAlias(twice, name("a"), name("placed")));
  EXPECT_EQ(kinds(data), (std::vector<int>{FlowNode::kAlias, FlowNode::kLabel, FlowNode::kAlias}));
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"E168: symbol \"a\" already defined at line 4@7"});
}

TEST_F(SymbolDefinitionTest, SizeAttachesToNewOrKnownSymbolLaterReplacing) {
  LineInfo* at = line(2);
  ASSERT_TRUE(setSymbolSize(at, name("f"), parse("end_f-f", at)));
  Symbol* f = find("f");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->isUsed());
  EXPECT_FALSE(f->isDefined());
  EXPECT_EQ(exprToString(f->sizeExpression), "(end_f - f)");
  ASSERT_TRUE(setSymbolSize(at, name("f"), parse("8", at)));
  EXPECT_EQ(exprToString(f->sizeExpression), "8");
}

TEST_F(SymbolDefinitionTest, TypeWordGivesLabelItsType) {
  struct Case {
    const char* word;
    int32_t type;
    std::vector<std::string> messages;
  } cases[] = {
      {"FUNC", Symbol::kFunc, {}},   {"func", Symbol::kFunc, {}},     {"Object", Symbol::kObject, {}},
      {"FILE", Symbol::kFile, {}},   {"CODE", 0, {"E204: invalid symbol type@3"}},
      {"FUNCTION", 0, {"E204: invalid symbol type@3"}}, {"FUN", 0, {"E204: invalid symbol type@3"}},
  };
  int count = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    Section* code = typed(".text", Section::kCode);
    std::string labelName = "L" + std::to_string(count++);
    Symbol* defined = label(code, labelName.c_str(), 3);
    LineInfo* at = code->lastNode()->line;
    EXPECT_EQ(applySymbolType(at, c.word), c.messages.empty());
    EXPECT_EQ(defined->type, c.type);
    EXPECT_EQ(diagnostics(), c.messages);
    clearDiagnostics();
  }
}

TEST_F(SymbolDefinitionTest, TypeWithoutLabelNodeAtSectionEndIsE142) {
  Section* code = typed(".text", Section::kCode);
  LineInfo* empty = line(1, code);
  EXPECT_FALSE(applySymbolType(empty, "FUNC"));
  Symbol* defined = label(code, "L", 2);
  code->addNode(new FAlign(line(2, code), TEInteger::create(4), code), true);
  EXPECT_FALSE(applySymbolType(line(3, code), "FUNC"));
  EXPECT_EQ(defined->type, Symbol::kNoType);
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{"E142: expected label for .TYPE@1",
                                                     "E142: expected label for .TYPE@3"}));
}

TEST_F(SymbolDefinitionTest, PendingLabelBecomesDataObject) {
  struct Case {
    const char* situation;
    int32_t type;  // of the label afterwards
  } cases[] = {
      {"label", Symbol::kObject},
      {"typed label", Symbol::kFunc},
      {"internal label", Symbol::kNoType},
      {"label then align", Symbol::kNoType},
      {"label then equate", Symbol::kObject},
      {"debug section", Symbol::kNoType},
      {"placeholder", Symbol::kNoType},
  };
  Section* placeholder = makePlaceholder();
  int count = 0;
  for (const Case& c : cases) {
    std::string situation = c.situation;
    SCOPED_TRACE(situation);
    Section* in = situation == "placeholder" ? placeholder : typed(".data", Section::kData);
    if (situation == "debug section") in->flags.set(0, Section::SectionFlags::kDebugBit, true);
    std::string labelName = "P" + std::to_string(count++);
    Symbol* defined = label(in, labelName.c_str(), 1);
    if (situation == "typed label") defined->type = Symbol::kFunc;
    if (situation == "internal label") defined->flags[0] |= Symbol::kInternal;
    if (situation == "label then align") in->addNode(new FAlign(line(2, in), TEInteger::create(4), in), true);
    if (situation == "label then equate") {
      ASSERT_TRUE(defineEquate(line(2, in), name(("Q" + labelName).c_str()), nullptr, TEInteger::create(1)));
    }
    typePendingLabelAsObject(in);
    EXPECT_EQ(defined->type, c.type);
  }
}

}  // namespace

namespace {

// The macro preprocessor defines the equate of a line before the statement is parsed;
// the statement completes that definition instead of calling it a second one.
TEST_F(SymbolDefinitionTest, EquateDefinedEarlyOnItsOwnLineIsCompleted) {
  Section* code = typed(".text", Section::kCode);
  LineInfo* at = line(6, code);
  Symbol* early = runState().symbolTable->current->defineSymbol(name("X"), at);
  early->flags[0] |= Symbol::kEquate;
  ASSERT_TRUE(defineEquate(at, nullptr, name("X"), parse("5", at)));
  EXPECT_EQ(find("X"), early);
  EXPECT_EQ(early->memoryClass, Section::kCode);
  EXPECT_EQ(equSetValues(code), std::vector<std::string>{"5"});

  LineInfo* later = line(7, code);
  EXPECT_FALSE(defineEquate(later, nullptr, name("X"), parse("6", later)));
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"E168: symbol \"X\" already defined at line 6@7"});
}

}  // namespace
