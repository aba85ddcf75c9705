#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DirectiveFixture.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"

namespace {

class SymbolBindingTest : public DirectiveTest {
 protected:
  enum Directive { kGlobal, kLocal, kWeak, kExternal };

  static Symbol* declare(Directive directive, const char* name, LineInfo* at) {
    SymbolTable::LocalSymbolTable* scope = runState().symbolTable->current;
    const char* interned = runState().stringBuffer->intern(name);
    switch (directive) {
      case kGlobal: return scope->declareGlobal(interned, at);
      case kLocal: return scope->declareLocal(interned, at);
      case kWeak: return scope->declareWeak(interned, at);
      case kExternal: return scope->declareExternal(interned, at);
    }
    return nullptr;
  }

  // A symbol x that carries one earlier binding (made at line 2) or definition (made
  // at line 3).
  Symbol* carrying(const char* earlier) {
    Symbol* made = symbol("x");
    std::string what = earlier;
    if (what == "local") made->flags[1] |= Symbol::kLocal;
    if (what == "global") made->flags[0] |= Symbol::kGlobal;
    if (what == "external") made->flags[0] |= Symbol::kExternal;
    if (what == "weak") made->flags[1] |= Symbol::kWeak;
    if (what == "set") made->flags[1] |= Symbol::kSet;
    if (what == "equate") made->flags[0] |= Symbol::kEquate;
    if (what == "set" || what == "equate" || what == "label") {
      made->flags[0] |= Symbol::kDefined;
      made->definitionLine = line(3);
    } else {
      made->bindingLine = line(2);
    }
    return made;
  }
};

std::string e169(const char* directive, const char* old, int at) {
  return std::string("E169: ") + directive + " symbol \"x\" already defined as " + old + " at line " +
         std::to_string(at) + "@7";
}

TEST_F(SymbolBindingTest, BindingMeetsEarlierBindingOrDefinition) {
  struct Case {
    Directive directive;
    const char* earlier;
    const char* outcome;  // "ok" bound now, "=" unchanged, else the diagnostic
  } cases[] = {
      {kGlobal, "local", "E169 local 2"},     {kGlobal, "set", "E169 set 3"},
      {kGlobal, "equate", "ok"},              {kGlobal, "global", "="},
      {kGlobal, "external", "E169 external 2"}, {kGlobal, "weak", "ok"},
      {kGlobal, "label", "ok"},
      {kLocal, "local", "="},                 {kLocal, "set", "E169 set 3"},
      {kLocal, "equate", "ok"},               {kLocal, "global", "E169 global 2"},
      {kLocal, "external", "E169 external 2"}, {kLocal, "weak", "E169 weak 2"},
      {kLocal, "label", "ok"},
      {kWeak, "local", "E169 local 2"},       {kWeak, "set", "E169 set 3"},
      {kWeak, "equate", "ok"},                {kWeak, "global", "ok"},
      {kWeak, "external", "ok"},              {kWeak, "weak", "="},
      {kWeak, "label", "ok"},
      {kExternal, "local", "E169 local 2"},   {kExternal, "set", "E169 set 3"},
      {kExternal, "equate", "E169 equate 3"}, {kExternal, "global", "E169 global 2"},
      {kExternal, "external", "="},           {kExternal, "weak", "ok"},
      {kExternal, "label", "E168"},
  };
  static const char* const kWords[] = {"global", "local", "weak", "external"};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(kWords[c.directive]) + " after " + c.earlier);
    runState().symbolTable->reset();
    Symbol* x = carrying(c.earlier);
    uint8_t before[3] = {x->flags[0], x->flags[1], x->flags[2]};
    LineInfo* earlierBinding = x->bindingLine;
    LineInfo* at = line(7);
    Symbol* result = declare(c.directive, "x", at);

    std::string outcome = c.outcome;
    std::vector<std::string> expected;
    if (outcome == "E168") {
      expected.push_back("E168: symbol \"x\" already defined at line 3@7");
    } else if (outcome.rfind("E169", 0) == 0) {
      std::string old = outcome.substr(5, outcome.rfind(' ') - 5);
      expected.push_back(e169(kWords[c.directive], old.c_str(), std::stoi(outcome.substr(outcome.rfind(' ') + 1))));
    }
    EXPECT_EQ(diagnostics(), expected);
    if (outcome == "ok" || outcome == "=") {
      EXPECT_EQ(result, x);
    } else {
      EXPECT_EQ(result, nullptr);
    }
    bool changed = outcome == "ok";
    EXPECT_EQ(x->bindingLine, changed ? at : earlierBinding);
    if (!changed) {
      EXPECT_EQ(x->flags[0], before[0]);
      EXPECT_EQ(x->flags[1], before[1]);
    }
    if (changed) {
      bool bound[] = {x->isGlobal(), x->isLocal(), x->isWeak(), x->isExternal()};
      EXPECT_TRUE(bound[c.directive]);
    }
    EXPECT_EQ(x->flags[2], before[2]);
    clearDiagnostics();
  }
}

TEST_F(SymbolBindingTest, NewNameIsMadeBoundButNeitherDefinedNorUsed) {
  const Directive directives[] = {kGlobal, kLocal, kWeak, kExternal};
  for (Directive directive : directives) {
    runState().symbolTable->reset();
    LineInfo* at = line(4);
    Symbol* made = declare(directive, "fresh", at);
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->name, "fresh");
    EXPECT_EQ(runState().symbolTable->current->lookup(made->name), made);
    EXPECT_FALSE(made->isDefined());
    EXPECT_FALSE(made->isUsed());
    EXPECT_EQ(made->bindingLine, at);
    EXPECT_EQ(made->definitionLine, nullptr);
    int bound = made->isGlobal() + made->isLocal() + made->isWeak() + made->isExternal();
    EXPECT_EQ(bound, 1);
  }
  EXPECT_EQ(diagnostics(), std::vector<std::string>{});
}

TEST_F(SymbolBindingTest, GlobalAndWeakMeet) {
  LineInfo* first = line(1);
  LineInfo* second = line(2);
  Symbol* x = declare(kGlobal, "x", first);
  ASSERT_EQ(declare(kWeak, "x", second), x);
  EXPECT_TRUE(x->isGlobal());
  EXPECT_TRUE(x->isWeak());
  EXPECT_EQ(x->bindingLine, second);
  EXPECT_EQ(declare(kGlobal, "x", line(3)), x);
  EXPECT_EQ(x->bindingLine, second) << "a binding that changes nothing keeps the line";
}

// A label made global by its section has no binding directive: the conflict names
// the line the label was defined at.
TEST_F(SymbolBindingTest, ConflictWithBindingWithoutDirectiveNamesDefinitionLine) {
  Symbol* x = symbol("x");
  x->flags[0] |= Symbol::kGlobal | Symbol::kDefined;
  x->definitionLine = line(5);
  EXPECT_EQ(declare(kLocal, "x", line(7)), nullptr);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{e169("local", "global", 5)});
}

}  // namespace
