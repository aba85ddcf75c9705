#include "expr/TEError.h"

#include <ostream>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

constexpr uint32_t kSharedKinds = 18;

struct SharedErrors {
  TEError* nodes[kSharedKinds] = {};
};
TEError** sharedErrors() { return runPart<SharedErrors>().nodes; }

const char* const kKindTexts[kSharedKinds] = {
    "none",
    "generic expression error",
    "expression argument error",
    "incorrect argument count for expression",
    "incorrect argument index",
    "cannot evaluate expression",
    "unsupported function",
    "range error in expression",
    "divide by zero",
    "floating point error",
    "expected integer value;",
    "expected string value",
    "missing argument(s) for function",
    "additional argument(s) for function",
    "substring start index exceeds string length",
    "substring length exceeds string length",
    "symbol has no value",
    "location counter reference not allowed in preprocessor expressions",
};

}  // namespace

void TEError::forgetShared() {
  runPart<SharedErrors>() = SharedErrors{};
}

TEError* TEError::create(uint32_t kind) {
  if (kind >= kSharedKinds) return make(kind);
  TEError*& shared = sharedErrors()[kind];
  if (!shared) shared = make(kind);
  return shared;
}

TEError* TEError::make(uint32_t kind, const char* text) { return new TEError(kind, text); }

const char* TEError::kindText(uint32_t kind, const char* extra) {
  if (kind < kSharedKinds) return kKindTexts[kind];
  if (kind == ERR_text && extra) return extra;
  return "unknown expression error";
}

const char* TEError::kindText(const OrbaExpression* error) {
  return kindText(error->getErrorKind(), error->getErrorExtra());
}

OrbaExpression* TEError::clone() {
  // A node outside the shared table keeps its own text; it is never freed anyway.
  if (kind_ >= kSharedKinds) return this;
  return create(kind_);
}

ExprValue& TEError::getValue(ExprValue& value, const ExprLocation&, bool& error) {
  error = true;
  value.kind = ExprValue::kNone;
  value.known = false;
  value.errorText =
      errorHandler()->formatMessage(E_invalid_expression, kindText(kind_, extra_));
  value.unit = getUnit();
  return value;
}

void TEError::print(std::ostream& out, unsigned) const {
  out << "!!ERROR(" << kindText(kind_, extra_) << ')';
}
