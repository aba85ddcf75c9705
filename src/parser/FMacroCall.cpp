#include "parser/FMacroCall.h"

#include <new>
#include <ostream>

VEKT_POOLED_CLASS_IMPL(FMacroCall, "FMacroCall")

FlowNode* FMacroCall::clone() const {
  auto* copy = new (std::nothrow) FMacroCall(line, givesRow, listed);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FMacroCall::dump(std::ostream& out) const {
  out << "FMacroCall(" << (givesRow ? "row" : "no row") << (listed ? ", listed" : "") << ")\n";
}
