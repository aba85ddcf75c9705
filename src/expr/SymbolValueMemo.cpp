#include "expr/SymbolValueMemo.h"

#include <cstdint>
#include <optional>

#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "flow/Symbol.h"
#include "util/RunState.h"

namespace {

// Marks the error of a value that leads back to its own symbol; the text shown is
// that of the kind.
constexpr char kCycleMark[] = "symbol has no value";

SymbolWalks& walks() { return symbolWalks(); }

bool walksValue(const Symbol* symbol) { return !symbol->isWeak(); }
bool walksRelocatable(const Symbol* symbol) { return !symbol->isRelocatable(); }

OrbaExpression* valueFromValue(Symbol* symbol) {
  OrbaExpression* value = symbol->valueExpression->evaluate();
  // A failed allocation gives no node; it stays an error of its own.
  return value ? value : TEError::kind5();
}

int8_t relocatableFromValue(Symbol* symbol) { return symbol->valueExpression->isRelocatable() ? 1 : 0; }

// The memo keeps its node; a caller may release what it is given.
OrbaExpression* copyValue(OrbaExpression* value) { return value->isShared() ? value : value->clone(); }
int8_t copyFlag(int8_t flag) { return flag; }

}  // namespace

SymbolWalks& symbolWalks() { return runPart<SymbolWalks>(); }

SymbolQuestionMemos::Use::Use(SymbolQuestionMemos& memos)
    : values_(memos.values_),
      references_(walks().references, memos.references_, NoWalkKey{}),
      weakReferences_(walks().weakReference, memos.weakReferences_, NoWalkKey{}) {}

namespace {
SymbolAnswers<OrbaExpression*>& substitutionsFor(SymbolAnswers<OrbaExpression*>& memo, const Symbol*& heldSymbol,
                                                 const OrbaExpression*& heldExpression, Symbol* symbol,
                                                 OrbaExpression* expression) {
  if (heldSymbol != symbol || heldExpression != expression) {
    memo.clear();
    heldSymbol = symbol;
    heldExpression = expression;
  }
  return memo;
}
}  // namespace

SymbolQuestionMemos::SubstituteUse::SubstituteUse(SymbolQuestionMemos& memos, Symbol* symbol,
                                                  OrbaExpression* expression)
    : substituted_(walks().substituted,
                   substitutionsFor(memos.substituted_, memos.substitutedSymbol_, memos.substitutedExpression_,
                                    symbol, expression),
                   SubstituteWalkKey{symbol, expression}) {}

SymbolValueMemo::Use::Use(SymbolValueMemo& memo)
    : values_(walks().values, memo.values_, NoWalkKey{}),
      relocatable_(walks().relocatable, memo.relocatable_, NoWalkKey{}) {}

OrbaExpression* symbolCycleError() { return TEError::make(ERR_symbolHasNoValue, kCycleMark); }

bool isSymbolCycleError(const OrbaExpression* expression) {
  return expression && expression->isError() && expression->getErrorKind() == ERR_symbolHasNoValue &&
         expression->getErrorExtra() == kCycleMark;
}

OrbaExpression* evaluateSymbolValue(Symbol* symbol) {
  if (!symbol->valueExpression || !walksValue(symbol)) return TEError::kind16();
  if (symbol->valueVisit) return symbolCycleError();
  SymbolWalks& state = walks();
  // A difference of two symbols asks at each link whether the rest of the chain is
  // relocatable: one memo of those answers serves the whole evaluation.
  std::optional<SymbolAnswers<int8_t>> relocatable;
  std::optional<SymbolAnswersUse<int8_t, NoWalkKey>> use;
  if (state.values.depth == 0 && !state.values.memo && !state.relocatable.memo) {
    relocatable.emplace();
    use.emplace(state.relocatable, *relocatable, NoWalkKey{});
  }
  return askThroughValue(symbol, state.values, NoWalkKey{}, walksValue, valueFromValue, copyValue);
}

bool isSymbolValueRelocatable(Symbol* symbol) {
  if (symbol->isRelocatable()) return true;
  if (!symbol->valueExpression || symbol->valueVisit) return false;
  return askThroughValue(symbol, walks().relocatable, NoWalkKey{}, walksRelocatable, relocatableFromValue,
                         copyFlag) > 0;
}
