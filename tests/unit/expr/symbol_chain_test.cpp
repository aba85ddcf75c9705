#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "expr/SymbolValueMemo.h"
#include "expr/TEBinary.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/Symbol.h"
#include "nodes_fixture.h"

namespace {

// The end of a chain: counts how often a walk asks it for its value or whether it
// is relocatable.
class CountingLeaf : public OrbaExpression {
 public:
  CountingLeaf(int64_t value, bool relocatable) : value_(value), relocatable_(relocatable) {}

  bool isValue() const override { return true; }
  bool isRelocatable() const override {
    ++relocatableAsked;
    return relocatable_;
  }
  void print(std::ostream& out, unsigned) const override { out << value_; }
  OrbaExpression* evaluate() override {
    ++evaluated;
    return TEInteger::create(value_);
  }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override { return new CountingLeaf(value_, relocatable_); }

  int64_t value_;
  bool relocatable_;
  uint32_t evaluated = 0;
  mutable uint32_t relocatableAsked = 0;
};

// Runs the work on a thread whose stack is far too small for a frame per link.
void onSmallStack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

class SymbolChainTest : public ExprNodesTest {
 protected:
  // Symbols s0 .. s<links>: each link's value is the next symbol plus one (or, for a
  // doubling chain, the next symbol added to itself); the last symbol's value is the
  // leaf.
  std::vector<Symbol*> chain(uint32_t links, CountingLeaf* leaf, bool doubling = false) {
    std::vector<Symbol*> symbols;
    for (uint32_t index = 0; index <= links; ++index) symbols.push_back(symbol("s"));
    for (uint32_t index = 0; index < links; ++index) {
      OrbaExpression* next = TESymbol::create(symbols[index + 1]);
      OrbaExpression* right = doubling ? static_cast<OrbaExpression*>(TESymbol::create(symbols[index + 1]))
                                       : TEInteger::create(1);
      symbols[index]->valueExpression = new TEBinary(OP_add, next, right);
    }
    symbols[links]->valueExpression = leaf;
    return symbols;
  }

  static OrbaExpression* evaluate(Symbol* symbol) {
    TESymbol reference(symbol);
    return reference.evaluate();
  }
  static bool relocatable(Symbol* symbol) { return TESymbol(symbol).isRelocatable(); }
};

TEST_F(SymbolChainTest, ChainsOfAnyLengthAreFollowedOnASmallStack) {
  struct Case {
    uint32_t links;
    bool relocatableEnd;
  } cases[] = {{1, false}, {63, true}, {64, false}, {65, true}, {5000, false}, {100000, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.links);
    auto* leaf = new CountingLeaf(7, c.relocatableEnd);
    std::vector<Symbol*> symbols = chain(c.links, leaf);
    OrbaExpression* value = nullptr;
    bool isRelocatable = !c.relocatableEnd;
    onSmallStack([&] {
      value = evaluate(symbols[0]);
      isRelocatable = relocatable(symbols[0]);
    });
    ASSERT_NE(value, nullptr);
    ASSERT_EQ(value->getKind(), EK_integer);
    EXPECT_EQ(value->getInteger(), 7 + static_cast<int64_t>(c.links));
    EXPECT_EQ(isRelocatable, c.relocatableEnd);
    EXPECT_EQ(leaf->evaluated, 1u);
    EXPECT_EQ(leaf->relocatableAsked, 1u);
    for (Symbol* symbol : symbols) EXPECT_FALSE(symbol->valueVisit);
  }
}

TEST_F(SymbolChainTest, UnderAMemoEachSymbolValueIsFollowedOnce) {
  // As the debug records ask: every symbol of the chain in turn, from either end.
  for (bool fromTheEnd : {false, true}) {
    SCOPED_TRACE(fromTheEnd);
    constexpr uint32_t kLinks = 3000;
    auto* leaf = new CountingLeaf(0, false);
    std::vector<Symbol*> symbols = chain(kLinks, leaf);
    SymbolValueMemo memo;
    SymbolValueMemo::Use use(memo);
    for (uint32_t step = 0; step <= kLinks; ++step) {
      uint32_t index = fromTheEnd ? kLinks - step : step;
      OrbaExpression* value = evaluate(symbols[index]);
      ASSERT_EQ(value->getKind(), EK_integer);
      EXPECT_EQ(value->getInteger(), static_cast<int64_t>(kLinks - index));
      EXPECT_FALSE(relocatable(symbols[index]));
    }
    EXPECT_EQ(leaf->evaluated, 1u);
    EXPECT_EQ(leaf->relocatableAsked, 1u);
    EXPECT_EQ(memo.size(), kLinks + 1);
  }
}

TEST_F(SymbolChainTest, ValuesThatNameASymbolTwiceAreSettledOnce) {
  // 2^200 ways down to the leaf: walked link by link this would never end.
  auto* leaf = new CountingLeaf(1, false);
  std::vector<Symbol*> symbols = chain(200, leaf, true);
  OrbaExpression* value = nullptr;
  onSmallStack([&] { value = evaluate(symbols[0]); });
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->getKind(), EK_integer);
  EXPECT_EQ(leaf->evaluated, 1u);
}

TEST_F(SymbolChainTest, ALongCycleEndsAsASymbolWithoutValue) {
  auto* leaf = new CountingLeaf(0, false);
  std::vector<Symbol*> symbols = chain(20000, leaf);
  symbols.back()->valueExpression = TESymbol::create(symbols[0]);
  OrbaExpression* value = nullptr;
  bool isRelocatable = true;
  onSmallStack([&] {
    value = evaluate(symbols[0]);
    isRelocatable = relocatable(symbols[0]);
  });
  ASSERT_NE(value, nullptr);
  ASSERT_TRUE(value->isError());
  EXPECT_EQ(value->getErrorKind(), ERR_symbolHasNoValue);
  EXPECT_FALSE(isRelocatable);
  for (Symbol* symbol : symbols) EXPECT_FALSE(symbol->valueVisit);
}

TEST_F(SymbolChainTest, AChangedValueEmptiesTheMemo) {
  auto* leaf = new CountingLeaf(5, false);
  std::vector<Symbol*> symbols = chain(100, leaf);
  SymbolValueMemo memo;
  SymbolValueMemo::Use use(memo);
  EXPECT_EQ(evaluate(symbols[0])->getInteger(), 105);
  symbols.back()->valueExpression = TEInteger::create(1);
  noteSymbolValueChange();
  EXPECT_EQ(evaluate(symbols[0])->getInteger(), 101);
  EXPECT_EQ(evaluate(symbols[50])->getInteger(), 51);
}

TEST_F(SymbolChainTest, EveryWalkFollowsAChainOfAnyLengthOnASmallStack) {
  // Each walk through symbol values, on a chain far deeper than a frame per link
  // allows, with the answer that link-by-link recursion would give.
  constexpr uint32_t kLinks = 100000;
  std::vector<Symbol*> symbols = chain(kLinks, new CountingLeaf(7, false));
  Symbol* weak = symbol("w");
  weak->flags[1] |= Symbol::kWeak;
  Symbol* other = symbol("o");
  // Symbols whose section is that of their value, so that the question asks the value.
  for (Symbol* link : symbols) {
    link->flags[0] |= Symbol::kDefined;
    link->flags[1] |= Symbol::kSectionByValue;
  }
  uint32_t references = 0;
  uint32_t referencesToWeak = 0;
  bool weakReference = false;
  bool inSection = false;
  OrbaExpression* substituted = nullptr;
  std::string printed;
  onSmallStack([&] {
    TESymbol top(symbols[0]);
    references = top.countSymbolReferences();
    inSection = top.isInSection(nullptr);
    printed = top.toString(kPrintSymbolValues);
    symbols.back()->valueExpression = TEInteger::create(7);
    noteSymbolValueChange();
    substituted = top.substitute(other, TEInteger::create(1));
    symbols.back()->valueExpression = TESymbol::create(weak);
    noteSymbolValueChange();
    referencesToWeak = top.countSymbolReferences();
    weakReference = top.hasWeakReference();
    top.replaceSymbol(weak, other);
  });
  EXPECT_EQ(references, 0u);
  EXPECT_EQ(referencesToWeak, 1u);
  EXPECT_FALSE(weakReference);
  EXPECT_TRUE(inSection);
  ASSERT_NE(substituted, nullptr);
  ASSERT_EQ(substituted->getKind(), EK_integer);
  EXPECT_EQ(substituted->getInteger(), 7 + static_cast<int64_t>(kLinks));
  EXPECT_EQ(printed.substr(0, 18), "s[(s[(s[(s[(s[(s[(");
  // "s[(" and " + 1)]" per link, "s[7]" at the end.
  EXPECT_EQ(printed.size(), kLinks * 9 + 4);
  EXPECT_EQ(printed.substr(printed.size() - 12), " + 1)] + 1)]");
  EXPECT_EQ(printed.find("s[7]"), (kLinks - 1) * 3 + 3);
  EXPECT_EQ(symbols.back()->valueExpression->getSymbol(), other);
  for (Symbol* symbol : symbols) EXPECT_FALSE(symbol->valueVisit);
}

}  // namespace
