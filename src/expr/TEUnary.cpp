#include "expr/TEUnary.h"

#include <cstdlib>
#include <ostream>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/TEBinary.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"

namespace {

[[noreturn]] void invalidOperator(int line) {
  errorHandler()->reportWithoutLocation(S_should_not_happen, "TEUnary", line,
                                        "invalid binary operator");
  std::abort();
}

// The integer view of an integer or string operand; strings give at most 32 bytes.
int64_t integerView(const OrbaExpression* value) {
  bool failed = false;
  return stringToInteger(value, value->getKind(), failed);
}

bool isIntegerOrString(const OrbaExpression* value) {
  return value->getKind() == EK_integer || value->getKind() == EK_string;
}

}  // namespace

bool TEUnary::isRelocatable() const { return operand_ && operand_->isRelocatable(); }

OrbaExpression* TEUnary::getArgument(int32_t index) const {
  if (index == 0) return operand_;
  return TEError::make(ERR_argumentIndex);
}

bool TEUnary::isInSection(const Section* section) const {
  return operand_ && operand_->isInSection(section);
}

bool TEUnary::hasWeakReference() const { return operand_ && operand_->hasWeakReference(); }

uint32_t TEUnary::countSymbolReferences() const {
  return operand_ ? operand_->countSymbolReferences() : 0;
}

void TEUnary::replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) {
  if (operand_) operand_->replaceSymbol(oldSymbol, newSymbol);
}

OrbaExpression* TEUnary::substitute(Symbol* symbol, OrbaExpression* expression) {
  if (!operand_) return this;
  return new TEUnary(op_, operand_->substitute(symbol, expression));
}

OrbaExpression* TEUnary::evaluate() {
  if (!operand_) return TEError::make(ERR_cannotEvaluate);
  OrbaExpression* value = operand_->evaluate();
  if (!value || value->isError()) return value;
  switch (op_) {
    case OP_logicalNot: return foldNot(op_, value);
    case OP_complement: return foldComplement(op_, value);
    case OP_negate:
    case OP_plus: return foldSign(op_, value);
    default: return TEError::make(ERR_cannotEvaluate);
  }
}

uint32_t TEUnary::getUnit() const { return operand_ ? operand_->getUnit() : 1; }

OrbaExpression* TEUnary::foldNot(int32_t op, OrbaExpression* value) {
  if (op != OP_logicalNot) invalidOperator(__LINE__);
  if (isIntegerOrString(value)) return new TEInteger(integerView(value) == 0 ? 1 : 0);
  if (value->getKind() == EK_double) return new TEInteger(value->getDouble() == 0.0 ? 1 : 0);
  return TEError::make(ERR_cannotEvaluate);
}

OrbaExpression* TEUnary::foldComplement(int32_t op, OrbaExpression* value) {
  if (op != OP_complement) invalidOperator(__LINE__);
  if (isIntegerOrString(value)) return new TEInteger(~integerView(value));
  return TEError::make(ERR_cannotEvaluate);
}

OrbaExpression* TEUnary::foldSign(int32_t op, OrbaExpression* value) {
  if (op != OP_negate && op != OP_plus) invalidOperator(__LINE__);
  if (value->getKind() == EK_double)
    return new TEDouble(op == OP_negate ? -value->getDouble() : value->getDouble());
  if (isIntegerOrString(value)) {
    auto pattern = static_cast<uint64_t>(integerView(value));
    return new TEInteger(static_cast<int64_t>(op == OP_negate ? 0 - pattern : pattern));
  }
  return TEError::make(ERR_cannotEvaluate);
}

const char* TEUnary::operatorText(int32_t op) {
  switch (op) {
    case OP_logicalNot: return "!";
    case OP_complement: return "~";
    case OP_negate: return "-";
    case OP_plus: return "+";
    default: return "<?>";
  }
}

void TEUnary::print(std::ostream& out, unsigned mode) const {
  out << operatorText(op_);
  if (operand_) operand_->print(out, mode);
}
