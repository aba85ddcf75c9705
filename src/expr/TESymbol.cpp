#include "expr/TESymbol.h"

#include <ostream>

#include "expr/SymbolValueMemo.h"
#include "expr/TEError.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/OrbaState.h"

bool TESymbol::isRelocatable() const { return isSymbolValueRelocatable(symbol_); }

bool TESymbol::isInSection(const Section* section) const {
  if (!symbol_->isDefined() || symbol_->isWeak()) return false;
  if (symbol_->isSectionByValue() || symbol_->section == placeholderSection()) {
    SymbolValueVisit visit(symbol_);
    return visit.value() && visit.value()->isInSection(section);
  }
  return symbol_->section == section;
}

bool TESymbol::hasWeakReference() const {
  if (!symbol_->isWeak()) return false;
  if (!symbol_->valueExpression) return !symbol_->isDefined();
  SymbolValueVisit visit(symbol_);
  return visit.value() && visit.value()->hasWeakReference();
}

uint32_t TESymbol::countSymbolReferences() const {
  if (symbol_->isWeak() || symbol_->countsAsReference()) return 1;
  SymbolValueVisit visit(symbol_);
  return visit.value() ? visit.value()->countSymbolReferences() : 1;
}

void TESymbol::replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) {
  if (symbol_ == oldSymbol) {
    symbol_ = newSymbol;
    return;
  }
  SymbolValueVisit visit(symbol_);
  if (visit.value()) visit.value()->replaceSymbol(oldSymbol, newSymbol);
}

OrbaExpression* TESymbol::substitute(Symbol* symbol, OrbaExpression* expression) {
  if (symbol_ == symbol) return expression;
  SymbolValueVisit visit(symbol_);
  if (visit.value()) return visit.value()->substitute(symbol, expression);
  return clone();
}

OrbaExpression* TESymbol::evaluate() {
  if (symbol_->isWeak()) return TEError::kind16();
  return evaluateSymbolValue(symbol_);
}

uint32_t TESymbol::getUnit() const { return symbol_->unit; }

void TESymbol::print(std::ostream& out, unsigned mode) const {
  out << symbol_->name;
  if (!(mode & kPrintSymbolValues)) return;
  SymbolValueVisit visit(symbol_);
  if (!visit.value()) return;
  out << '[';
  visit.value()->print(out, mode);
  out << ']';
}
