#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/SymbolChecks.h"
#include "flow/SymbolTable.h"
#include "util/ControlState.h"

namespace {

class SymbolChecksTest : public FlowTest {};

constexpr uint8_t D = Symbol::kDefined, EQ = Symbol::kEquate, EX = Symbol::kExternal, GEN = Symbol::kInternal,
                  GL = Symbol::kGlobal;
constexpr uint8_t LO = Symbol::kLocal, US = Symbol::kUsed, WK = Symbol::kWeak, ND = Symbol::kNeedsDefinition,
                  XP = Symbol::kExpansion;

// Both checks in their order; declared at line 1, defined at line 2, first
// referenced at line 3.
TEST_F(SymbolChecksTest, BindingsAndMessagesAfterBothChecks) {
  struct Case {
    const char* what;
    uint8_t first, second;
    uint8_t firstAfter, secondAfter;
    bool autoExternal;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"defined global", D | GL, US, D | GL, US, false, {}},
      {"declared global, never defined nor used", GL, 0, GL, 0, false, {}},
      {"declared global, used, undefined", GL, US, EX, US, false,
       {"W201: global symbol \"s\" not defined in this module; made external@3"}},
      {"global and local declared", D | GL, LO | US, D | GL, US, false, {}},
      {"declared local, used, undefined", 0, LO | US, EX, US, false,
       {"W201: local symbol \"s\" not defined in this module; made external@3"}},
      {"declared local, neither defined nor used", 0, LO, 0, LO, false,
       {"E205: unknown symbol \"s\"@1"}},
      {"declared local, defined, unused", D, LO, D, LO, false,
       {"W202: symbol \"s\" defined but not used@2"}},
      {"generated local, defined, unused", D | GEN, LO, D | GEN, LO, false, {}},
      {"expansion local, defined, unused", D, LO | XP, D, LO | XP, false, {}},
      {"used, undefined, needs a definition", 0, US | ND, EX, US, false, {"E205: unknown symbol \"s\"@3"}},
      {"used, undefined, no scope", 0, US, EX, US, true, {}},
      {"declared external, used", EX, US, EX, US, false, {}},
      {"declared external, defined", EX | D, US, EX | D, US, false,
       {"E197: symbol \"s\" already defined external@2"}},
      {"weak, defined", D, WK, D | GL, WK, false, {}},
      {"weak, undefined, used", 0, WK | US, EX, WK | US, false, {}},
      {"defined, no scope", D, US, D, US | LO, false, {}},
      {"equate, no scope", D | EQ, 0, D | EQ, LO, false, {}},
      {"generated, no scope", GEN, 0, GEN, LO, false, {}},
      {"generated, used, undefined", GEN, US, EX, US, false, {"E205: unknown symbol \"s\"@3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedManagers errors(ScopedManagers::kErrors);
    Symbol* s = symbol("s");
    s->flags[0] = c.first;
    s->flags[1] = c.second;
    s->bindingLine = line(1);
    s->definitionLine = line(2);
    s->addReference(line(3));
    checkGlobalSymbol(*s);
    checkLocalSymbol(*s);
    EXPECT_EQ(s->flags[0], c.firstAfter);
    EXPECT_EQ(s->flags[1], c.secondAfter);
    EXPECT_EQ(s->isAutoExternal(), c.autoExternal);
    EXPECT_EQ(diagnostics(), c.messages);
  }
}

TEST_F(SymbolChecksTest, DefaultGlobalScopeTurnsExternalDefinitionsGlobal) {
  runState().orbaOptions->localScopeDefault = false;
  Symbol* external = symbol("e");
  external->flags[0] = EX | D;
  external->definitionLine = line(2);
  checkGlobalSymbol(*external);
  checkLocalSymbol(*external);
  EXPECT_EQ(external->flags[0], D | GL);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"W199: redefinition of external symbol \"e\"; made global@2"});

  Symbol* plain = symbol("p");
  plain->flags[0] = D;
  checkLocalSymbol(*plain);
  EXPECT_TRUE(plain->isGlobal());
  EXPECT_FALSE(plain->isLocal());
}

// A symbol without a scope directive takes the default scope of the control state its
// definition line had when it was defined; the line may hold another state, or none,
// by the time the checks run. Without a state the options decide.
TEST_F(SymbolChecksTest, DefaultScopeComesFromTheDefinitionLine) {
  enum LineScope { kNoState, kLineLocal, kLineGlobal };
  struct Case {
    const char* what;
    bool optionsLocal;
    LineScope atDefinition;
    bool external;
    bool global;  // after both checks; else local
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"options local, no state", true, kNoState, false, false, {}},
      {"options global, no state", false, kNoState, false, true, {}},
      {"options local, line local", true, kLineLocal, false, false, {}},
      {"options global, line global", false, kLineGlobal, false, true, {}},
      {"options global, line local", false, kLineLocal, false, false, {}},
      {"options local, line global", true, kLineGlobal, false, true, {}},
      {"external, options global, line local", false, kLineLocal, true, false,
       {"E197: symbol \"s\" already defined external@2"}},
      {"external, options local, line global", true, kLineGlobal, true, true,
       {"W199: redefinition of external symbol \"s\"; made global@2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedManagers errors(ScopedManagers::kErrors);
    runState().symbolTable->reset();
    runState().orbaOptions->localScopeDefault = c.optionsLocal;
    ControlState local;
    local.localByDefault = true;
    ControlState global;
    global.localByDefault = false;
    LineInfo* at = line(2);
    if (c.atDefinition != kNoState) at->controlState = c.atDefinition == kLineLocal ? &local : &global;
    Symbol* s = runState().symbolTable->current->defineSymbol(runState().stringBuffer->intern("s"), at);
    ASSERT_NE(s, nullptr);
    s->addReference(line(3));
    if (c.external) s->flags[0] |= EX;
    // What the line says later counts for nothing.
    at->controlState = c.atDefinition == kLineLocal ? &global : c.atDefinition == kLineGlobal ? &local : nullptr;
    checkGlobalSymbol(*s);
    checkLocalSymbol(*s);
    EXPECT_EQ(s->isGlobal(), c.global);
    EXPECT_EQ(s->isLocal(), !c.global && !c.external);
    EXPECT_EQ(diagnostics(), c.messages);
  }
}

TEST_F(SymbolChecksTest, EquateOverAnUnresolvedWeakSymbolBecomesZero) {
  struct Case {
    uint8_t equateFirst;
    bool emitLocalEqus;
    bool replaced;
  };
  const Case cases[] = {{D | EQ | GL, false, true}, {D | EQ, false, false}, {D | EQ, true, true}};
  for (const Case& c : cases) {
    ScopedManagers errors(ScopedManagers::kErrors);
    runState().orbaOptions->emitLocalEqus = c.emitLocalEqus;
    Symbol* weak = symbol("w");
    weak->flags[1] = WK;
    Symbol* equate = symbol("q");
    equate->flags[0] = c.equateFirst;
    equate->definitionLine = line(4);
    OrbaExpression* value = TESymbol::create(weak);
    equate->valueExpression = value;
    checkGlobalSymbol(*equate);
    if (c.replaced) {
      ASSERT_NE(equate->valueExpression, value);
      EXPECT_EQ(equate->valueExpression->toString(0), "0");
      EXPECT_EQ(diagnostics(), std::vector<std::string>{"E250: expression contains unresolved symbols@4"});
    } else {
      EXPECT_EQ(equate->valueExpression, value);
      EXPECT_TRUE(diagnostics().empty());
    }
  }
}

TEST_F(SymbolChecksTest, AliasTakesTheSectionOfItsTarget) {
  Section* text = section(".text");
  Symbol* target = symbol("t");
  target->section = text;
  Symbol* alias = symbol("a");
  alias->flags[0] = D | EQ;
  alias->flags[1] = Symbol::kSectionByValue;
  alias->valueExpression = TESymbol::create(target);
  checkGlobalSymbol(*alias);
  EXPECT_EQ(alias->section, text);
}

// The diagnostics of a pass come in the table's report order, not in the order the
// symbols were entered; both orders are shown to differ for these names, so the test
// fails if the checks give them as they walk. Every reference is on one line, where
// the recorded diagnostics keep the order they were given in.
TEST_F(SymbolChecksTest, DiagnosticsOfAPassComeInReportOrder) {
  struct Case {
    const char* what;
    uint8_t second;
    const char* format;
  } cases[] = {
      {"first pass: used, undefined, needs a definition", US | ND, "E205: unknown symbol \"%s\"@3"},
      {"second pass: declared local, neither defined nor used", LO, "E205: unknown symbol \"%s\"@3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedManagers errors(ScopedManagers::kErrors);
    runState().symbolTable->reset();
    LineInfo* at = line(3);
    std::vector<Symbol*> entered;
    for (int index = 0; index < 40; ++index) {
      Symbol* s = symbol(("name" + std::to_string(index)).c_str());
      s->flags[1] = c.second;
      s->bindingLine = at;
      s->addReference(at);
      entered.push_back(s);
    }
    std::vector<Symbol*> order = runState().symbolTable->current->symbols.reportOrder();
    ASSERT_NE(order, entered);
    std::vector<std::string> expected;
    for (const Symbol* s : order) {
      char text[64];
      std::snprintf(text, sizeof text, c.format, s->name);
      expected.push_back(text);
    }
    checkAllSymbols(*runState().symbolTable);
    EXPECT_EQ(diagnostics(), expected);
  }
}

}  // namespace
