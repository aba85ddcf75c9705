#include "flow/FMisraC.h"

#include <new>
#include <ostream>

#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"

VEKT_POOLED_CLASS_IMPL(FMisraC, "FMisraC")

FlowNode* FMisraC::clone() const {
  auto* copy = new (std::nothrow) FMisraC(line, rules);
  if (copy) copy->copyBaseForClone(*this);
  return copy;
}

void FMisraC::emit(ObjectWriter& writer) {
  ObjectStore& store = writer.store();
  uint32_t status = 0;
  if (store.fileSetMisraC(writer.fileId, rules, &status)) reportObjectStoreError(store, status);
}

void FMisraC::assign(const FMisraC& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  rules = other.rules;
}

void FMisraC::dump(std::ostream& out) const { out << "FMisraC(rules = " << (rules ? rules : "") << ")\n"; }
