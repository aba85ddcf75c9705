#include "flow/FError.h"

#include <ostream>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FError, "FError")

FlowNode* FError::clone() const {
  auto* copy = new (std::nothrow) FError(line, text);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FError::emit(ObjectWriter&) {
  if (text) errorHandler()->reportText(text, line);
}

void FError::dump(std::ostream& out) const { out << "FError(" << (text ? text : "") << ")\n"; }
