#include "expr/TEFunction.h"

#include <cstdlib>
#include <ostream>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/functions.h"

VEKT_POOLED_CLASS_IMPL(TETricoreFunction, "TETricoreFunction")

TEFunction* TEFunction::create(int32_t code, const Arguments& arguments) {
  return create(code, arguments.data(), arguments.size());
}

TEFunction* TEFunction::create(int32_t code, OrbaExpression* const* arguments, size_t count) {
  return new TEFunction(code, arguments, count);
}

bool TEFunction::isOperandCheck() const {
  return code_ == FN_INPAGE || code_ == FN_PAGESIZE || code_ == FN_PCREL || code_ == FN_RANGE ||
         code_ == FN_WRANGE;
}

void TEFunction::invalidCode(int line) {
  errorHandler()->reportWithoutLocation(S_should_not_happen, "TEFunction", line,
                                        "invalid binary operator");
  // An internal error ends the program inside the report.
  std::abort();
}

bool TEFunction::isRelocatable() const {
  if (isOperandCheck())
    return !arguments_.empty() && arguments_[0] != nullptr && arguments_[0]->isRelocatable();
  for (OrbaExpression* argument : arguments_)
    if (argument != nullptr && argument->isRelocatable()) return true;
  return false;
}

OrbaExpression* TEFunction::getArgument(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= arguments_.size()) return TEError::kind4();
  return arguments_[static_cast<size_t>(index)];
}

bool TEFunction::isInSection(const Section* section) const {
  if (isOperandCheck())
    return arguments_.empty() || arguments_[0] == nullptr || arguments_[0]->isInSection(section);
  for (OrbaExpression* argument : arguments_)
    if (argument != nullptr && !argument->isInSection(section)) return false;
  return true;
}

bool TEFunction::hasWeakReference() const {
  for (OrbaExpression* argument : arguments_)
    if (argument != nullptr && argument->hasWeakReference()) return true;
  return false;
}

uint32_t TEFunction::countSymbolReferences() const {
  uint32_t count = 0;
  for (OrbaExpression* argument : arguments_)
    if (argument != nullptr) count += argument->countSymbolReferences();
  return count;
}

void TEFunction::replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) {
  for (OrbaExpression* argument : arguments_)
    if (argument != nullptr) argument->replaceSymbol(oldSymbol, newSymbol);
}

namespace {

// The substituted arguments; a null argument stays null.
TEFunction::Arguments substitutedArguments(const TEFunction::Arguments& arguments, Symbol* symbol,
                                           OrbaExpression* expression) {
  TEFunction::Arguments result;
  result.reserve(arguments.size());
  for (OrbaExpression* argument : arguments)
    result.push_back(argument != nullptr ? argument->substitute(symbol, expression) : nullptr);
  return result;
}

}  // namespace

OrbaExpression* TEFunction::substitute(Symbol* symbol, OrbaExpression* expression) {
  Arguments substituted = substitutedArguments(arguments_, symbol, expression);
  return TEFunction::create(code_, substituted);
}

uint32_t TEFunction::getUnit() const {
  if (arguments_.empty() || arguments_[0] == nullptr) return 1;
  return arguments_[0]->getUnit();
}

OrbaExpression* TEFunction::clone() { return TEFunction::create(code_, arguments_); }

void TEFunction::print(std::ostream& out, unsigned mode) const {
  auto printArgument = [&](size_t index) {
    if (index < arguments_.size() && arguments_[index] != nullptr)
      arguments_[index]->print(out, mode);
  };
  if (code_ == FN_CONDITIONAL) {
    printArgument(0);
    out << " ? ";
    printArgument(1);
    out << " : ";
    printArgument(2);
    return;
  }
  const char* name = functionCodeName(code_);
  out << (name != nullptr ? name : "***UNKNOWN***") << '(';
  for (size_t i = 0; i < arguments_.size(); ++i) {
    if (i > 0) out << ", ";
    printArgument(i);
  }
  out << ')';
}

ExprValue& TEFunction::getValue(ExprValue& value, const ExprLocation& location, bool& error) {
  if (isOperandCheck()) {
    error = true;
    value.kind = ExprValue::kNone;
    value.known = false;
    value.value = 0;
    return value;
  }
  if ((code_ == FN_MSB || code_ == FN_LSB) && !arguments_.empty() && arguments_[0] != nullptr) {
    arguments_[0]->getValue(value, location, error);
    if (value.known) {
      auto part = [this](int64_t v) -> int64_t {
        return code_ == FN_MSB ? (v >> 8) & 0xFF : v & 0xFF;
      };
      if (value.kind == ExprValue::kAbsolute) value.value = part(value.value);
      if (value.kind == ExprValue::kRelative) value.offset = part(value.offset);
    }
  } else {
    OrbaExpression* result = evaluate();
    if (result == nullptr || result->isError()) {
      value.kind = ExprValue::kNone;
      value.known = false;
      return value;
    }
    result->getValue(value, location, error);
  }
  value.unit = getUnit();
  return value;
}

TETricoreFunction* TETricoreFunction::create(int32_t code, OrbaExpression* const* arguments,
                                             size_t count) {
  return new TETricoreFunction(code, arguments, count);
}

OrbaExpression* TETricoreFunction::clone() {
  return TETricoreFunction::create(code_, arguments_.data(), arguments_.size());
}

// The substituted call keeps the target class, so that it still has a value.
OrbaExpression* TETricoreFunction::substitute(Symbol* symbol, OrbaExpression* expression) {
  Arguments substituted = substitutedArguments(arguments_, symbol, expression);
  return TETricoreFunction::create(code_, substituted.data(), substituted.size());
}

OrbaExpression* TETricoreFunction::evaluate() {
  if (code_ == FN_VEKT) return TEString::intern("vekt", 4);
  if (code_ < FN_HI || code_ > FN_LOS) return TEError::make(ERR_generic);
  OrbaExpression* result = nullptr;
  if (arguments_.empty()) return TEError::kind5();
  if (OrbaExpression* failed = exprargs::evaluated(arguments_[0], result)) return failed;
  int64_t integer = 0;
  if (OrbaExpression* failed = exprargs::integerValue(result, integer)) return failed;
  uint32_t v = static_cast<uint32_t>(integer);
  switch (code_) {
    case FN_HI:
      return TEInteger::create(v >> 16);
    case FN_HIS:
      return TEInteger::create(static_cast<uint32_t>(v + 0x8000u) >> 16);
    case FN_LO:
      return TEInteger::create(v & 0xFFFF);
    default:  // FN_LOS
      return TEInteger::create(static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF)));
  }
}

// The location value of a half is the plain half: no rounding, no sign extension.
ExprValue& TETricoreFunction::getValue(ExprValue& value, const ExprLocation& location,
                                       bool& error) {
  if (code_ == FN_VEKT) {
    value.unit = getUnit();
    return value;
  }
  if (code_ < FN_HI || code_ > FN_LOS || arguments_.empty() || arguments_[0] == nullptr)
    return TEFunction::getValue(value, location, error);
  arguments_[0]->getValue(value, location, error);
  if (!value.known) return value;
  bool high = code_ == FN_HI || code_ == FN_HIS;
  auto half = [high](int64_t v) -> int64_t {
    uint32_t low32 = static_cast<uint32_t>(v);
    return high ? low32 >> 16 : low32 & 0xFFFF;
  };
  if (value.kind == ExprValue::kAbsolute) value.value = half(value.value);
  if (value.kind == ExprValue::kRelative) value.offset = half(value.offset);
  value.unit = getUnit();
  return value;
}
