#include "expr/TESymbol.h"

#include <ostream>

#include "expr/TEError.h"
#include "flow/Section.h"
#include "flow/Symbol.h"

namespace {

// Enters the symbol's value expression for the length of one walk; entered() is
// false when the walk is already inside it (a value that refers to itself).
class ValueVisit {
 public:
  explicit ValueVisit(Symbol* symbol) : symbol_(symbol), entered_(!symbol->valueVisit) {
    symbol_->valueVisit = true;
  }
  ~ValueVisit() {
    if (entered_) symbol_->valueVisit = false;
  }
  bool entered() const { return entered_; }
  // The value expression to walk into, null when absent or already being walked.
  OrbaExpression* value() const { return entered_ ? symbol_->valueExpression : nullptr; }

 private:
  Symbol* symbol_;
  bool entered_;
};

}  // namespace

bool TESymbol::isRelocatable() const {
  if (symbol_->isRelocatable()) return true;
  ValueVisit visit(symbol_);
  return visit.value() && visit.value()->isRelocatable();
}

bool TESymbol::isInSection(const Section* section) const {
  if (!symbol_->isDefined() || symbol_->isWeak()) return false;
  if (symbol_->isSectionByValue() || symbol_->section == placeholderSection) {
    ValueVisit visit(symbol_);
    return visit.value() && visit.value()->isInSection(section);
  }
  return symbol_->section == section;
}

bool TESymbol::hasWeakReference() const {
  if (!symbol_->isWeak()) return false;
  if (!symbol_->valueExpression) return !symbol_->isDefined();
  ValueVisit visit(symbol_);
  return visit.value() && visit.value()->hasWeakReference();
}

uint32_t TESymbol::countSymbolReferences() const {
  if (symbol_->isWeak() || symbol_->countsAsReference()) return 1;
  ValueVisit visit(symbol_);
  return visit.value() ? visit.value()->countSymbolReferences() : 1;
}

void TESymbol::replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) {
  if (symbol_ == oldSymbol) {
    symbol_ = newSymbol;
    return;
  }
  ValueVisit visit(symbol_);
  if (visit.value()) visit.value()->replaceSymbol(oldSymbol, newSymbol);
}

OrbaExpression* TESymbol::substitute(Symbol* symbol, OrbaExpression* expression) {
  if (symbol_ == symbol) return expression;
  ValueVisit visit(symbol_);
  if (visit.value()) return visit.value()->substitute(symbol, expression);
  return clone();
}

OrbaExpression* TESymbol::evaluate() {
  if (symbol_->isWeak()) return TEError::kind16();
  ValueVisit visit(symbol_);
  if (!visit.value()) return TEError::kind16();
  return visit.value()->evaluate();
}

uint32_t TESymbol::getUnit() const { return symbol_->unit; }

void TESymbol::print(std::ostream& out, unsigned mode) const {
  out << symbol_->name;
  if (!(mode & kPrintSymbolValues)) return;
  ValueVisit visit(symbol_);
  if (!visit.value()) return;
  out << '[';
  visit.value()->print(out, mode);
  out << ']';
}
