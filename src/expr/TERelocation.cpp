#include "expr/TERelocation.h"

#include <ostream>

#include "expr/ObjectExpr.h"
#include "expr/TEError.h"

bool TERelocation::isRelocatable() const { return inner_ && inner_->isRelocatable(); }

OrbaExpression* TERelocation::getArgument(int32_t index) const {
  if (index == 0) return inner_;
  return TEError::make(ERR_argumentIndex);
}

bool TERelocation::isInSection(const Section* section) const {
  return inner_ && inner_->isInSection(section);
}

bool TERelocation::hasWeakReference() const { return inner_ && inner_->hasWeakReference(); }

uint32_t TERelocation::countSymbolReferences() const {
  return inner_ ? inner_->countSymbolReferences() : 0;
}

void TERelocation::replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) {
  if (inner_) inner_->replaceSymbol(oldSymbol, newSymbol);
}

OrbaExpression* TERelocation::substitute(Symbol* symbol, OrbaExpression* expression) {
  OrbaExpression* inner = inner_ ? inner_->substitute(symbol, expression) : nullptr;
  return new TERelocation(inner, flags_[0], flags_[1], flags_[2]);
}

OrbaExpression* TERelocation::evaluate() {
  if (!inner_) return TEError::kind5();
  return inner_->evaluate();
}

uint32_t TERelocation::getUnit() const { return inner_ ? inner_->getUnit() : 1; }

OrbaExpression* TERelocation::clone() {
  return new TERelocation(inner_, flags_[0], flags_[1], flags_[2]);
}

ExprNode* TERelocation::toObject(ObjectFile* context, bool warn) {
  if (!inner_) return nullptr;
  ExprNode* inner = inner_->toObject(context, warn);
  if (!inner) return nullptr;
  return objectTakeRelocation(flags_[0], inner);
}

ExprValue& TERelocation::getValue(ExprValue& value, const ExprLocation& location, bool& error) {
  if (!inner_) {
    value.init();
    return value;
  }
  return inner_->getValue(value, location, error);
}

void TERelocation::print(std::ostream& out, unsigned mode) const {
  out << "@RELFUNC(";
  for (uint8_t flag : flags_) out << static_cast<unsigned>(flag) << ", ";
  if (inner_) inner_->print(out, mode);
  out << ')';
}
