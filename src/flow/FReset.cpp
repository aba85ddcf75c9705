#include "flow/FReset.h"

#include <ostream>

VEKT_POOLED_CLASS_IMPL(FReset, "FReset")

FlowNode* FReset::clone() const {
  auto* copy = new (std::nothrow) FReset(line);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FReset::dump(std::ostream& out) const { out << "FReset()\n"; }
