#include "expr/TEPostEncode.h"

#include <cstdlib>
#include <ostream>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/TEError.h"

void TEPostEncode::notInObjectFile(int line) {
  errorHandler()->reportWithoutLocation(S_should_not_happen, "TEPostEncode", line,
                                        "TEPostEncode() expression in object file");
  // An internal error ends the program inside the report.
  std::abort();
}

OrbaExpression* TEPostEncode::resolved() const {
  if (!callback_) return nullptr;
  auto* self = const_cast<TEPostEncode*>(this);
  return callback_(context_, &self->argument_);
}

OrbaExpression* TEPostEncode::getArgument(int32_t index) const {
  if (index == 0) return argument_;
  return TEError::make(ERR_argumentIndex);
}

bool TEPostEncode::isInSection(const Section* section) const {
  OrbaExpression* expression = resolved();
  return expression && expression->isInSection(section);
}

bool TEPostEncode::hasWeakReference() const {
  OrbaExpression* expression = resolved();
  return expression && expression->hasWeakReference();
}

uint32_t TEPostEncode::countSymbolReferences() const {
  OrbaExpression* expression = resolved();
  return expression ? expression->countSymbolReferences() : 0;
}

OrbaExpression* TEPostEncode::evaluate() {
  OrbaExpression* expression = resolved();
  return expression ? expression->evaluate() : TEError::kind5();
}

uint32_t TEPostEncode::getUnit() const {
  OrbaExpression* expression = resolved();
  return expression ? expression->getUnit() : 1;
}

void TEPostEncode::replaceSymbol(Symbol*, Symbol*) { notInObjectFile(96); }

OrbaExpression* TEPostEncode::substitute(Symbol*, OrbaExpression*) { notInObjectFile(101); }

ExprNode* TEPostEncode::toObject(ObjectFile*, bool) { notInObjectFile(119); }

ExprValue& TEPostEncode::getValue(ExprValue&, const ExprLocation&, bool&) { notInObjectFile(131); }

void TEPostEncode::print(std::ostream& out, unsigned mode) const {
  out << "@POSTENC(<func>, ";
  if (argument_) argument_->print(out, mode);
  out << ')';
}
