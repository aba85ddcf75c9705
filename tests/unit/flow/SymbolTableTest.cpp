#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"
#include "ScopedManagers.h"

namespace {

// A symbol table with the managers it reaches, made for one test.
class SymbolTableTest : public testing::Test {
 protected:
  void SetUp() override {
    options_ = runState().orbaOptions;
    table_ = new SymbolTable();
  }

  void TearDown() override { delete table_; }

  const char* name(const char* text) { return runState().stringBuffer->intern(text); }

  LineInfo* line(uint32_t number, Section* section = nullptr) {
    LineInfo& info = *lines_.emplace_back(new LineInfo());
    info.lineNumber = number;
    info.section = section;
    return &info;
  }

  Symbol* define(const char* text, uint32_t lineNumber = 1) {
    return table_->current->defineSymbol(name(text), line(lineNumber));
  }

  // The texts recorded at the line, in order.
  static std::vector<std::string> messagesAt(const LineInfo* at) {
    std::vector<std::string> texts;
    for (ErrorHandler::ErrorIter it(*runState().errorHandler); !it.isDone(); it.next())
      if (it.current()->position == at) texts.push_back(it.current()->text);
    return texts;
  }

  ScopedManagers managers_{ScopedManagers::kExpressions | ScopedManagers::kOptions};
  SymbolTable* table_ = nullptr;
  RunSettings* options_ = nullptr;

 private:
  std::deque<std::unique_ptr<LineInfo>> lines_;  // from the line arena, which links need
};

TEST_F(SymbolTableTest, NumberedLocalLabelsGetOneNamePerDefinition) {
  struct Case {
    const char* label;
    const char* expected;
  } cases[] = {
      {"1", "__NL000001_1"},
      {"1", "__NL000002_1"},
      {"10", "__NL000001_10"},
      {"1", "__NL000003_1"},
  };
  for (const Case& c : cases) {
    Symbol* symbol = define(c.label);
    ASSERT_NE(symbol, nullptr);
    EXPECT_STREQ(symbol->name, c.expected);
    EXPECT_TRUE(symbol->isDefined());
    EXPECT_TRUE(symbol->isInternal());
  }
  EXPECT_EQ(table_->localLabelCount(name("1")), 3u);
  EXPECT_EQ(table_->localLabelCount(name("10")), 1u);
  EXPECT_EQ(table_->localLabelCount(name("7")), 0u);
  EXPECT_FALSE(runState().errorHandler->errorFlag());
}

TEST_F(SymbolTableTest, LocalLabelCounterBeyondSixDigitsWidens) {
  const char* label = name("4");
  EXPECT_EQ(table_->localLabelCount(label), 0u);
  table_->current->localLabelCounts.emplace(label, 999999u);
  EXPECT_STREQ(define("4")->name, "__NL1000000_4");
}

TEST_F(SymbolTableTest, DefinitionConflictsAreReported) {
  Symbol* first = define("start", 4);
  ASSERT_NE(first, nullptr);
  LineInfo* again = line(5);
  EXPECT_EQ(table_->current->defineSymbol(name("start"), again), nullptr);
  EXPECT_EQ(messagesAt(again),
            std::vector<std::string>{"E168: symbol \"start\" already defined at line 4"});
  EXPECT_EQ(first->definitionLine->lineNumber, 4u);

  Symbol* external = table_->referenceSymbol(name("ext"), line(6));
  external->flags[0] |= Symbol::kExternal;
  LineInfo* labelLine = line(7);
  EXPECT_EQ(table_->current->defineSymbol(name("ext"), labelLine), nullptr);
  EXPECT_TRUE(runState().errorHandler->hasErrorAt(labelLine));
}

TEST_F(SymbolTableTest, ReferenceBeforeDefinitionIsCompletedByTheDefinition) {
  Section text(".text");
  Section debug(".debug_info");
  debug.flags.bytes[0] |= Section::SectionFlags::kDebugBit;
  LineInfo* use = line(2, &text);
  Symbol* referenced = table_->referenceSymbol(name("later"), use);
  ASSERT_NE(referenced, nullptr);
  EXPECT_FALSE(referenced->isDefined());
  EXPECT_TRUE(referenced->isUsed());
  EXPECT_TRUE(referenced->flags[2] & Symbol::kProgramReferenced);
  EXPECT_FALSE(referenced->flags[2] & Symbol::kDebugReferenced);
  EXPECT_EQ(table_->referenceSymbol(name("later"), line(3, &debug)), referenced);
  EXPECT_TRUE(referenced->flags[2] & Symbol::kDebugReferenced);
  EXPECT_EQ(referenced->referenceCount, 2u);
  EXPECT_EQ(referenced->firstReference, use);

  LineInfo* definition = line(9);
  EXPECT_EQ(table_->current->defineSymbol(name("later"), definition), referenced);
  EXPECT_TRUE(referenced->isDefined());
  EXPECT_EQ(referenced->definitionLine, definition);
  EXPECT_FALSE(runState().errorHandler->errorFlag());
}

TEST_F(SymbolTableTest, CaseRuleFollowsTheOptions) {
  Symbol* label = define("Label");
  EXPECT_EQ(table_->current->lookup(name("LABEL")), nullptr);
  options_->caseSensitive = false;
  EXPECT_EQ(table_->current->lookup(name("LABEL")), label);
  EXPECT_EQ(table_->referenceSymbol(name("label"), line(2)), label);
  options_->caseSensitive = true;
  EXPECT_NE(define("LABEL"), label);
}

// The case setting may change between a definition and a lookup ($CASE); the map's
// own flag, fixed when the table is made, keeps it exact whatever the setting says.
// Enough other names are entered that the maps have many buckets, so a name that
// hashed differently under the two rules would be looked for in the wrong one.
TEST_F(SymbolTableTest, NamesStayFindableWhenTheCaseRuleChanges) {
  struct Case {
    bool mapExact;
    bool sensitiveWhenDefined;
    bool sensitiveWhenLooked;
    const char* defined;
    const char* looked;
    bool found;
  } cases[] = {
      {false, true, true, "Label", "LABEL", false},
      {false, true, true, "Label", "Label", true},
      {false, false, false, "Label", "LABEL", true},
      {false, false, false, "label_\xe9x", "LABEL_\xe9X", true},
      {false, true, false, "Label", "LABEL", true},
      {false, true, false, "a_rather_long_generated_name_Label", "A_RATHER_LONG_GENERATED_NAME_LABEL", true},
      {false, false, true, "Label", "LABEL", false},
      {false, false, true, "Label", "Label", true},
      {true, false, false, "Label", "LABEL", false},
      {true, false, false, "Label", "Label", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.defined << " / " << c.looked << " exact " << c.mapExact
                                    << " sensitive " << c.sensitiveWhenDefined << "->"
                                    << c.sensitiveWhenLooked);
    options_->caseSensitiveFast = c.mapExact;
    options_->caseSensitive = c.sensitiveWhenDefined;
    SymbolTable table;
    for (int filler = 0; filler < 400; ++filler)
      table.current->defineSymbol(name(("filler" + std::to_string(filler)).c_str()), line(1));
    Symbol* defined = table.current->defineSymbol(name(c.defined), line(2));
    ASSERT_NE(defined, nullptr);
    options_->caseSensitive = c.sensitiveWhenLooked;
    EXPECT_EQ(table.current->lookup(name(c.looked)) == defined, c.found);
    table.openScope(1);
    EXPECT_EQ(table.current->lookup(name(c.looked)) == defined, c.found) << "from a nested scope";
  }
  EXPECT_FALSE(runState().errorHandler->errorFlag());
}

TEST_F(SymbolTableTest, CaseInsensitiveDefinitionOfAnotherSpellingIsE168) {
  options_->caseSensitive = false;
  ASSERT_NE(define("Start", 3), nullptr);
  LineInfo* again = line(8);
  EXPECT_EQ(table_->current->defineSymbol(name("START"), again), nullptr);
  EXPECT_EQ(messagesAt(again),
            std::vector<std::string>{"E168: symbol \"START\" already defined at line 3"});
}

TEST_F(SymbolTableTest, HashCoversEveryCharacterIgnoringCase) {
  SymbolTable::NameHash hash;
  struct Case {
    const char* a;
    const char* b;
    bool sameHash;
  } cases[] = {
      {"abcdefghi", "abcdefghX", false},
      {"abcdefghi", "Xbcdefghi", false},
      {"abcdefghijklmnopqrstuvwxy", "aXcdefghijklmnopqrstuvwxy", false},
      {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrstuvwxX", false},
      {"lp__M_L000001", "lp__M_L000003", false},
      {"Loop", "LOOP", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
    EXPECT_EQ(hash(c.a) == hash(c.b), c.sameHash);
  }
}

TEST_F(SymbolTableTest, CaseFoldingJoinsOnlyLetters) {
  // Punctuation 32 codes apart from another character ('@' and '`', '[' and '{') and
  // bytes above ASCII stay themselves: a fold that clears a bit would merge them.
  options_->caseSensitive = false;
  SymbolTable::NameHash hash;
  SymbolTable::NameEqual equal;
  struct Case {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"loop_A1", "LOOP_a1", true}, {"az", "AZ", true},       {"x@", "x`", false},
      {"x[", "x{", false},          {"x^", "x~", false},      {"x]", "x}", false},
      {"x\xe9", "x\xc9", false},    {"x\xff", "x\xdf", false}, {"x", "x_", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
    EXPECT_EQ(equal(c.a, c.b), c.same);
    if (c.same) {
      EXPECT_EQ(hash(c.a), hash(c.b));
    }
  }
}

TEST_F(SymbolTableTest, GeneratedNamesSpreadOverTheBuckets) {
  // Macro-local labels differ only in their counter: they must not pile up.
  SymbolTable::NameHash hash;
  std::set<size_t> buckets;
  for (int i = 1; i <= 4096; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "lp__M_L%06d", i);
    buckets.insert(hash(name) % 4099);
  }
  EXPECT_GT(buckets.size(), 2000u);  // sampled hashing gave at most 1000
}

TEST_F(SymbolTableTest, NestedScopesFindOuterNamesAndHideThem) {
  Symbol* outer = define("x");
  auto* nested = new SymbolTable::LocalSymbolTable(table_, 1, table_->current);
  table_->scopes[1] = nested;
  EXPECT_EQ(nested->lookup(name("x")), outer);
  Symbol* inner = nested->defineSymbol(name("x"), line(2));
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(inner, outer);
  EXPECT_EQ(nested->lookup(name("x")), inner);
  EXPECT_EQ(table_->scopes[0]->lookup(name("x")), outer);
  EXPECT_EQ(nested->lookup(name("absent")), nullptr);
}

TEST_F(SymbolTableTest, OpenedScopesShadowAndClosingRestores) {
  Symbol* outer = define("x");
  Symbol* onlyOuter = define("y");
  SymbolTable::LocalSymbolTable* module = table_->current;

  SymbolTable::LocalSymbolTable* first = table_->openScope(1);
  EXPECT_EQ(table_->current, first);
  EXPECT_EQ(table_->currentScope, 1);
  EXPECT_EQ(first->enclosing, module);
  Symbol* inner = define("x");
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(inner, outer);
  EXPECT_EQ(inner->scope, 1);

  SymbolTable::LocalSymbolTable* second = table_->openScope(2);
  EXPECT_EQ(second->enclosing, first);
  Symbol* innermost = define("y");
  EXPECT_NE(innermost, onlyOuter);

  struct Case {
    const char* name;
    Symbol* inSecond;
    Symbol* inFirst;
    Symbol* inModule;
  } cases[] = {
      {"x", inner, inner, outer},
      {"y", innermost, onlyOuter, onlyOuter},
      {"absent", nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(table_->current->lookup(name(c.name)), c.inSecond);
    table_->closeScope();
    EXPECT_EQ(table_->currentScope, 1);
    EXPECT_EQ(table_->current->lookup(name(c.name)), c.inFirst);
    table_->closeScope();
    EXPECT_EQ(table_->currentScope, 0);
    EXPECT_EQ(table_->current->lookup(name(c.name)), c.inModule);
    table_->closeScope();  // scope 0 stays
    EXPECT_EQ(table_->current, module);
    // Entering the scopes again finds what they held.
    EXPECT_EQ(table_->openScope(1), first);
    EXPECT_EQ(table_->openScope(2), second);
  }
  EXPECT_EQ(table_->scopes.size(), 3u);
  // A second definition in the same nested scope is E168; the outer one is not.
  LineInfo* again = line(30);
  EXPECT_EQ(second->defineSymbol(name("y"), again), nullptr);
  EXPECT_TRUE(runState().errorHandler->hasErrorAt(again));
}

// A scope against a hashed multimap of the same names, filled the way a scope is (a
// name is entered only when a search under the current case rule missed it): both find
// the same symbol for every name, also when several spellings of it were entered under
// the exact rule and one is looked for under the folding rule, and the scope's report
// order is the multimap's walk.
TEST_F(SymbolTableTest, ScopeFindsAndOrdersAsAHashedMultimapDoes) {
  struct Case {
    uint32_t seed;
    int operations;
    int distinctNames;
    bool mapExact;
    int caseChangeEvery;  // 0: the rule never changes
  } cases[] = {
      {1, 200, 50, false, 0},      {2, 3000, 2000, false, 0},  {3, 3000, 400, false, 7},
      {4, 20000, 3000, false, 13}, {5, 2000, 100, true, 5},    {6, 500, 40, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "seed " << c.seed);
    options_->caseSensitiveFast = c.mapExact;
    options_->caseSensitive = true;
    SymbolTable table;
    SymbolTable::NameMap<Symbol*> reference(0, SymbolTable::NameHash(), SymbolTable::nameEqual());
    uint32_t random = c.seed;
    auto next = [&random]() {
      random = random * 1103515245u + 12345u;
      return random >> 8;
    };
    for (int operation = 0; operation < c.operations; ++operation) {
      if (c.caseChangeEvery && next() % c.caseChangeEvery == 0) options_->caseSensitive = !options_->caseSensitive;
      std::string text = "Name_" + std::to_string(next() % c.distinctNames);
      if (next() % 3 == 0) text = "NAME_" + text.substr(5);
      const char* interned = name(text.c_str());
      auto found = reference.find(interned);
      Symbol* expected = found == reference.end() ? nullptr : found->second;
      ASSERT_EQ(table.current->lookup(interned), expected) << text << " at " << operation;
      Symbol* referenced = table.referenceSymbol(interned, line(1));
      if (!expected) {
        reference.emplace(interned, referenced);
        expected = referenced;
      }
      ASSERT_EQ(referenced, expected) << text << " at " << operation;
    }
    std::vector<Symbol*> walk;
    for (const auto& entry : reference) walk.push_back(entry.second);
    EXPECT_EQ(table.current->symbols.reportOrder(), walk);
    EXPECT_EQ(table.current->symbols.size(), reference.size());
  }
}

// A name asked for again right after it was entered or found is found without a
// probe; once two spellings of it stand in the scope, the folding rule must still give
// the one a hashed multimap would, whichever was asked for last.
TEST_F(SymbolTableTest, NameAskedForRightAfterEnteringFollowsTheCaseRule) {
  struct Case {
    const char* first;
    const char* second;
    bool sensitiveWhenLooked;
    const char* looked;
  } cases[] = {
      {"Label", "LABEL", false, "LABEL"}, {"Label", "LABEL", false, "Label"}, {"Label", "LABEL", true, "LABEL"},
      {"Label", "LABEL", true, "label"},  {"Label", "Other", false, "Other"}, {"Label", "Other", false, "OTHER"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << ", " << c.second << " then " << c.looked);
    options_->caseSensitiveFast = false;
    options_->caseSensitive = true;
    SymbolTable table;
    SymbolTable::NameMap<Symbol*> reference(0, SymbolTable::NameHash(), SymbolTable::nameEqual());
    for (const char* text : {c.first, c.second}) {
      Symbol* entered = table.current->defineSymbol(name(text), line(1));
      ASSERT_NE(entered, nullptr);
      reference.emplace(entered->name, entered);
    }
    // Asked once under the exact rule, so that the name is the one last found.
    table.current->lookup(name(c.looked));
    options_->caseSensitive = c.sensitiveWhenLooked;
    auto found = reference.find(name(c.looked));
    EXPECT_EQ(table.current->lookup(name(c.looked)), found == reference.end() ? nullptr : found->second);
  }
}

// Most scopes hold a handful of names: an empty one must not reserve room for
// thousands (it once cost about 35 KB).
TEST_F(SymbolTableTest, EmptyScopeStartsSmall) {
  SymbolTable::LocalSymbolTable* scope = table_->openScope(7);
  EXPECT_EQ(scope->symbols.slotCount(), 0u);
  EXPECT_LE(scope->localLabelCounts.bucket_count() * sizeof(void*), 256u);
  for (int index = 0; index < 5000; ++index)
    ASSERT_NE(define(("grown" + std::to_string(index)).c_str()), nullptr);
  EXPECT_EQ(scope->symbols.size(), 5000u);
  EXPECT_GE(scope->symbols.slotCount(), 5000u * 2);
  EXPECT_NE(scope->lookup(name("grown4999")), nullptr);
}

TEST_F(SymbolTableTest, IteratorVisitsEveryScopeSkippingEmptyOnes) {
  define("a");
  define("b");
  table_->scopes[1] = new SymbolTable::LocalSymbolTable(table_, 1, table_->current);
  auto* third = new SymbolTable::LocalSymbolTable(table_, 2, table_->current);
  table_->scopes[2] = third;
  third->defineSymbol(name("c"), line(3));

  SymbolTable::SymbolIter* iter = table_->createIterator();
  std::multiset<std::string> seen;
  for (iter->first(); !iter->isDone(); iter->next()) seen.insert(iter->current()->name);
  EXPECT_EQ(seen, (std::multiset<std::string>{"a", "b", "c"}));
  // A symbol defined in a scope the walk has already copied is not seen by it.
  iter->first();
  define("late");
  seen.clear();
  for (; !iter->isDone(); iter->next()) seen.insert(iter->current()->name);
  EXPECT_EQ(seen, (std::multiset<std::string>{"a", "b", "c"}));
  delete iter;

  SymbolTable empty;
  SymbolTable::SymbolIter* none = empty.createIterator();
  EXPECT_TRUE(none->isDone());
  EXPECT_EQ(none->current(), nullptr);
  delete none;
}

TEST_F(SymbolTableTest, ResetDiscardsSymbolsWithTheirPool) {
  define("a");
  define("1");
  table_->scopes[1] = new SymbolTable::LocalSymbolTable(table_, 1, table_->current);
  table_->reset();
  MemPool* after = MemoryPools::instance().find("Symbol");
  EXPECT_NE(after, nullptr);
  EXPECT_EQ(after, symbolPool());
  EXPECT_EQ(table_->scopes.size(), 1u);
  EXPECT_EQ(table_->current, table_->scopes[0]);
  EXPECT_EQ(table_->current->lookup(name("a")), nullptr);
  EXPECT_EQ(table_->localLabelCount(name("1")), 0u);
  EXPECT_STREQ(define("1")->name, "__NL000001_1");
}

}  // namespace

// A lookup by a name's text that is not the interned one (a jump's target as the line
// spells it) answers as the hashed probe does, whether or not it is the name the scope
// entered or found last.
TEST_F(SymbolTableTest, LookupByTextAnswersAsTheProbe) {
  struct Case {
    const char* name;
    bool sensitive;
    std::vector<const char*> defined;  // in order; the last is the scope's most recent
    const char* looked;
    int found;  // index into defined, -1 for none
  };
  const Case cases[] = {
      {"the last defined, exact", true, {"Other", "Label"}, "Label", 1},
      {"another spelling, exact", true, {"Other", "Label"}, "LABEL", -1},
      {"another defined before, exact", true, {"Other", "Label"}, "Other", 0},
      {"another spelling, folded", false, {"Other", "Label"}, "LABEL", 1},
      {"absent", false, {"Other", "Label"}, "Labels", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    options_->caseSensitive = c.sensitive;
    SymbolTable table;
    std::vector<Symbol*> made;
    for (const char* text : c.defined) made.push_back(table.current->defineSymbol(name(text), line(1)));
    const std::string copy = c.looked;  // not the interned text
    Symbol* found = table.current->lookup(copy.c_str());
    EXPECT_EQ(found, c.found < 0 ? nullptr : made[static_cast<size_t>(c.found)]);
    EXPECT_EQ(found, table.current->lookupEntered(copy.c_str(), SymbolNames::hashName(copy.c_str())));
  }
  // Two spellings entered under the exact rule, looked up under the folding one: the
  // probe counts the matches, and the scope's last one is no shortcut.
  options_->caseSensitive = true;
  SymbolTable table;
  Symbol* first = table.current->defineSymbol(name("Label"), line(1));
  Symbol* second = table.current->defineSymbol(name("LABEL"), line(2));
  ASSERT_NE(first, second);
  options_->caseSensitive = false;
  const std::string copy = "label";
  EXPECT_EQ(table.current->lookup(copy.c_str()),
            table.current->lookupEntered(copy.c_str(), SymbolNames::hashName(copy.c_str())));
  // A nested scope that hides an outer name finds its own.
  table.openScope(1);
  Symbol* inner = table.current->defineSymbol(name("x"), line(3));
  const std::string x = "x";
  EXPECT_EQ(table.current->lookup(x.c_str()), inner);
}
