#include "expr/ValuePlace.h"

#include "expr/OrbaExpression.h"
#include "expr/SymbolValueMemo.h"
#include "expr/SymbolWalk.h"
#include "flow/Symbol.h"
#include "util/RunState.h"

namespace {

struct RunPlaceWalks {
  SymbolWalkState<ValuePlace, NoWalkKey> places;
};

ValuePlace sum(const ValuePlace& left, const ValuePlace& right) {
  if (left.kind == ValuePlace::kNumber) return right;
  if (right.kind == ValuePlace::kNumber) return left;
  return {};
}

ValuePlace difference(const ValuePlace& left, const ValuePlace& right) {
  if (right.kind == ValuePlace::kNumber) return left;
  if (left.kind == ValuePlace::kSection && left == right) return ValuePlace::number();
  return {};
}

}  // namespace

bool isPlacedByValue(const Symbol* symbol) { return symbol->isEquate() || symbol->isSet(); }

ValuePlace expressionPlace(const OrbaExpression* expression) {
  if (!expression) return {};
  switch (expression->getKind()) {
    case EK_integer:
    case EK_double:
    case EK_fract:
    case EK_string:
      return ValuePlace::number();
    case EK_symbol:
      return symbolPlace(expression->getSymbol());
    case EK_unary: {
      ValuePlace operand = expressionPlace(expression->getArgument(0));
      if (expression->getOperator() == OP_plus || operand.kind == ValuePlace::kNumber) return operand;
      return {};
    }
    case EK_binary: {
      ValuePlace left = expressionPlace(expression->getArgument(0));
      ValuePlace right = expressionPlace(expression->getArgument(1));
      if (expression->getOperator() == OP_add) return sum(left, right);
      if (expression->getOperator() == OP_subtract) return difference(left, right);
      if (left.kind == ValuePlace::kNumber && right.kind == ValuePlace::kNumber) return left;
      return {};
    }
    default:
      return {};
  }
}

ValuePlace symbolPlace(Symbol* symbol) {
  if (!symbol) return {};
  if (!isPlacedByValue(symbol)) return symbol->section ? ValuePlace::in(symbol->section) : ValuePlace{};
  // A weak equate has no value here, and a value that leads back to itself lies nowhere.
  if (symbol->isWeak() || !symbol->valueExpression || symbol->valueVisit) return {};
  return askThroughValue(
      symbol, runPart<RunPlaceWalks>().places, NoWalkKey{}, [](const Symbol* named) { return isPlacedByValue(named); },
      [](Symbol* named) { return expressionPlace(named->valueExpression); },
      [](const ValuePlace& place) { return place; });
}

Section* symbolValueSection(Symbol* symbol) {
  ValuePlace place = symbolPlace(symbol);
  return place.kind == ValuePlace::kSection ? place.section : nullptr;
}

bool shareValuePlace(Symbol* left, Symbol* right) {
  ValuePlace leftPlace = symbolPlace(left);
  return leftPlace.kind != ValuePlace::kUnknown && leftPlace == symbolPlace(right);
}
