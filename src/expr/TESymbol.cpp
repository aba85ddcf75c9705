#include "expr/TESymbol.h"

#include <ostream>
#include <utility>
#include <vector>

#include "expr/SymbolValueMemo.h"
#include "expr/SymbolWalk.h"
#include "expr/TEBinary.h"
#include "expr/TEError.h"
#include "expr/TEUnary.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/OrbaState.h"

namespace {

SymbolWalks& walks() { return symbolWalks(); }

template <typename T>
T same(T answer) {
  return answer;
}

bool inSectionByValue(const Symbol* symbol) {
  return symbol->isDefined() && !symbol->isWeak() &&
         (symbol->isSectionByValue() || symbol->section == placeholderSection());
}

bool countsThroughValue(const Symbol* symbol) { return !symbol->isWeak() && !symbol->countsAsReference(); }

// Prints a symbol's value and what it names without a stack frame per symbol: the
// operators and symbols of the tree are taken from a stack of the walk's own; any other
// node prints itself.
void printSymbolValue(Symbol* root, std::ostream& out, unsigned mode) {
  struct Item {
    const OrbaExpression* node;  // null: write the text, or leave the symbol
    const char* text;
    Symbol* leave;
  };
  std::vector<Item> items;
  struct Leave {
    std::vector<Item>& items;
    ~Leave() {
      for (Item& item : items)
        if (item.leave) item.leave->valueVisit = false;
    }
  } leave{items};
  auto enter = [&](Symbol* symbol) {
    symbol->valueVisit = true;
    out << '[';
    items.push_back({nullptr, nullptr, symbol});
    items.push_back({nullptr, "]", nullptr});
    items.push_back({symbol->valueExpression, nullptr, nullptr});
  };
  enter(root);
  while (!items.empty()) {
    Item item = items.back();
    items.pop_back();
    if (item.leave) {
      item.leave->valueVisit = false;
      continue;
    }
    if (!item.node) {
      out << item.text;
      continue;
    }
    switch (item.node->getKind()) {
      case EK_symbol: {
        Symbol* symbol = item.node->getSymbol();
        out << symbol->name;
        if (symbol->valueExpression && !symbol->valueVisit) enter(symbol);
        break;
      }
      case EK_binary: {
        const auto* binary = static_cast<const TEBinary*>(item.node);
        out << '(';
        items.push_back({nullptr, ")", nullptr});
        if (binary->right()) items.push_back({binary->right(), nullptr, nullptr});
        items.push_back({nullptr, TEBinary::operatorText(binary->getOperator()), nullptr});
        if (binary->left()) items.push_back({binary->left(), nullptr, nullptr});
        break;
      }
      case EK_unary: {
        const auto* unary = static_cast<const TEUnary*>(item.node);
        out << TEUnary::operatorText(unary->getOperator());
        if (unary->operand()) items.push_back({unary->operand(), nullptr, nullptr});
        break;
      }
      default: item.node->print(out, mode); break;
    }
  }
}

}  // namespace

bool TESymbol::isRelocatable() const { return isSymbolValueRelocatable(symbol_); }

bool TESymbol::isInSection(const Section* section) const {
  if (!symbol_->isDefined() || symbol_->isWeak()) return false;
  if (!inSectionByValue(symbol_)) return symbol_->section == section;
  if (!symbol_->valueExpression || symbol_->valueVisit) return false;
  return askThroughValue(
             symbol_, walks().inSection, SectionWalkKey{section}, inSectionByValue,
             [section](Symbol* symbol) -> int8_t { return symbol->valueExpression->isInSection(section) ? 1 : 0; },
             same<int8_t>) > 0;
}

bool TESymbol::hasWeakReference() const {
  if (!symbol_->isWeak()) return false;
  if (!symbol_->valueExpression) return !symbol_->isDefined();
  if (symbol_->valueVisit) return false;
  return askThroughValue(
             symbol_, walks().weakReference, NoWalkKey{}, [](const Symbol* symbol) { return symbol->isWeak(); },
             [](Symbol* symbol) -> int8_t { return symbol->valueExpression->hasWeakReference() ? 1 : 0; },
             same<int8_t>) > 0;
}

uint32_t TESymbol::countSymbolReferences() const {
  if (!countsThroughValue(symbol_)) return 1;
  if (!symbol_->valueExpression || symbol_->valueVisit) return 1;
  return askThroughValue(
      symbol_, walks().references, NoWalkKey{}, countsThroughValue,
      [](Symbol* symbol) { return symbol->valueExpression->countSymbolReferences(); }, same<uint32_t>);
}

void TESymbol::replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) {
  if (symbol_ == oldSymbol) {
    symbol_ = newSymbol;
    return;
  }
  if (!symbol_->valueExpression || symbol_->valueVisit) return;
  askThroughValue(
      symbol_, walks().replaced, ReplaceWalkKey{oldSymbol, newSymbol},
      [oldSymbol](const Symbol* symbol) { return symbol != oldSymbol; },
      [oldSymbol, newSymbol](Symbol* symbol) -> int8_t {
        symbol->valueExpression->replaceSymbol(oldSymbol, newSymbol);
        return 1;
      },
      same<int8_t>);
}

OrbaExpression* TESymbol::substitute(Symbol* symbol, OrbaExpression* expression) {
  if (symbol_ == symbol) return expression;
  if (!symbol_->valueExpression || symbol_->valueVisit) return clone();
  return askThroughValue(
      symbol_, walks().substituted, SubstituteWalkKey{symbol, expression},
      [symbol](const Symbol* named) { return named != symbol; },
      [symbol, expression](Symbol* named) { return named->valueExpression->substitute(symbol, expression); },
      same<OrbaExpression*>);
}

OrbaExpression* TESymbol::evaluate() {
  if (symbol_->isWeak()) return TEError::kind16();
  return evaluateSymbolValue(symbol_);
}

uint32_t TESymbol::getUnit() const { return symbol_->unit; }

void TESymbol::print(std::ostream& out, unsigned mode) const {
  out << symbol_->name;
  if (!(mode & kPrintSymbolValues) || !symbol_->valueExpression || symbol_->valueVisit) return;
  printSymbolValue(symbol_, out, mode);
}
