// Answers about symbol values kept for reuse, so that a walk follows each symbol's
// value once instead of following a chain of symbols again from every symbol on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "expr/SymbolWalk.h"

class OrbaExpression;
class Section;
class Symbol;

// Questions whose answers do not depend on arguments of their own.
struct NoWalkKey {
  bool operator==(const NoWalkKey&) const { return true; }
};

struct SectionWalkKey {
  const Section* section = nullptr;
  bool operator==(const SectionWalkKey& other) const { return section == other.section; }
};
struct ReplaceWalkKey {
  const Symbol* oldSymbol = nullptr;
  const Symbol* newSymbol = nullptr;
  bool operator==(const ReplaceWalkKey& other) const {
    return oldSymbol == other.oldSymbol && newSymbol == other.newSymbol;
  }
};
struct SubstituteWalkKey {
  const Symbol* symbol = nullptr;
  const OrbaExpression* expression = nullptr;
  bool operator==(const SubstituteWalkKey& other) const {
    return symbol == other.symbol && expression == other.expression;
  }
};

// The walks of the run's questions about symbol values, one per question.
struct SymbolWalks {
  SymbolWalkState<OrbaExpression*, NoWalkKey> values;
  SymbolWalkState<int8_t, NoWalkKey> relocatable;
  SymbolWalkState<int8_t, SectionWalkKey> inSection;
  SymbolWalkState<int8_t, NoWalkKey> weakReference;
  SymbolWalkState<uint32_t, NoWalkKey> references;
  SymbolWalkState<int8_t, ReplaceWalkKey> replaced;
  SymbolWalkState<OrbaExpression*, SubstituteWalkKey> substituted;
};
SymbolWalks& symbolWalks();

class SymbolValueMemo {
 public:
  SymbolValueMemo() = default;
  SymbolValueMemo(const SymbolValueMemo&) = delete;
  SymbolValueMemo& operator=(const SymbolValueMemo&) = delete;

  // Makes the memo the one that evaluations, and the questions whether a value is
  // relocatable, consult while it lasts. Meant for a caller that evaluates many symbols
  // in a row while their values stay put; a value changed meanwhile
  // (noteSymbolValueChange) empties the memo when the next Use begins.
  class Use {
   public:
    explicit Use(SymbolValueMemo& memo);

   private:
    SymbolAnswersUse<OrbaExpression*, NoWalkKey> values_;
    SymbolAnswersUse<int8_t, NoWalkKey> relocatable_;
  };

  size_t size() const { return values_.size(); }

 private:
  SymbolAnswers<OrbaExpression*> values_;
  SymbolAnswers<int8_t> relocatable_;
};

// Memos of the questions without side effects that a caller asks of one symbol after
// another (the object writer of every symbol it writes): a chain of symbols asked
// about at each of its links is followed once. A substitution is kept for one symbol
// and expression at a time.
class SymbolQuestionMemos {
 public:
  class Use {
   public:
    explicit Use(SymbolQuestionMemos& memos);

   private:
    SymbolValueMemo::Use values_;
    SymbolAnswersUse<uint32_t, NoWalkKey> references_;
    SymbolAnswersUse<int8_t, NoWalkKey> weakReferences_;
  };
  class SubstituteUse {
   public:
    SubstituteUse(SymbolQuestionMemos& memos, Symbol* symbol, OrbaExpression* expression);

   private:
    SymbolAnswersUse<OrbaExpression*, SubstituteWalkKey> substituted_;
  };

 private:
  SymbolValueMemo values_;
  SymbolAnswers<uint32_t> references_;
  SymbolAnswers<int8_t> weakReferences_;
  SymbolAnswers<OrbaExpression*> substituted_;
  const Symbol* substitutedSymbol_ = nullptr;
  const OrbaExpression* substitutedExpression_ = nullptr;
};

// The value a reference to the symbol evaluates to, and whether it is relocatable.
// Both follow a chain of symbol values of any length without recursing per link.
OrbaExpression* evaluateSymbolValue(Symbol* symbol);
bool isSymbolValueRelocatable(Symbol* symbol);

// The error a reference gives when its symbol's value leads back to itself: of the kind
// of a symbol without value, but told apart from one, so that a rewrite that would hide
// the loop (a difference of two symbols) can pass it on instead.
OrbaExpression* symbolCycleError();
bool isSymbolCycleError(const OrbaExpression* expression);
