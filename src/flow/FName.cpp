#include "flow/FName.h"

#include <new>
#include <ostream>

#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"

VEKT_POOLED_CLASS_IMPL(FName, "FName")

FlowNode* FName::clone() const {
  auto* copy = new (std::nothrow) FName(line, moduleName);
  if (copy) copy->copyBaseForClone(*this);
  return copy;
}

void FName::emit(ObjectWriter& writer) {
  if (static_cast<int32_t>(writer.module[2]) <= 0) return;
  ObjectStore& store = writer.store();
  uint32_t stringId = 0;
  uint32_t status = 0;
  if (store.stringAdd(writer.fileId, moduleName ? moduleName : "", &stringId, &status))
    reportObjectStoreError(store, status);
  if (store.moduleSetName(writer.module, stringId, &status)) reportObjectStoreError(store, status);
}

void FName::assign(const FName& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  moduleName = other.moduleName;
}

void FName::dump(std::ostream& out) const {
  out << "FName(moduleName = " << (moduleName ? moduleName : "") << ")\n";
}
