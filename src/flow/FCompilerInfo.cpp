#include "flow/FCompilerInfo.h"

#include <new>
#include <ostream>

#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"

VEKT_POOLED_CLASS_IMPL(FCompilerName, "FCompilerName")
VEKT_POOLED_CLASS_IMPL(FCompilerVers, "FCompilerVers")
VEKT_POOLED_CLASS_IMPL(FCompilerInvoc, "FCompilerInvoc")

void FCompilerRecord::emit(ObjectWriter& writer) {
  // Neither the line's location nor its cycle count: the record is not in the image.
  ObjectStore& store = writer.store();
  uint32_t stringId = 0;
  uint32_t status = 0;
  if (store.stringAdd(writer.fileId, text ? text : "", &stringId, &status)) reportObjectStoreError(store, status);
  if (storeProperty(store, writer.fileId, stringId, &status)) reportObjectStoreError(store, status);
}

void FCompilerRecord::assign(const FCompilerRecord& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  text = other.text;
}

void FCompilerRecord::dumpAs(std::ostream& out, const char* className, const char* field) const {
  out << className << '(' << field << " = " << (text ? text : "") << ")\n";
}

FlowNode* FCompilerName::clone() const {
  auto* copy = new (std::nothrow) FCompilerName(line, text);
  if (copy) copy->copyBaseForClone(*this);
  return copy;
}
void FCompilerName::dump(std::ostream& out) const { dumpAs(out, "FCompilerName", "name"); }
uint32_t FCompilerName::storeProperty(ObjectStore& store, uint32_t fileId, uint32_t stringId, uint32_t* error) {
  return store.fileSetCompilerName(fileId, stringId, error);
}

FlowNode* FCompilerVers::clone() const {
  auto* copy = new (std::nothrow) FCompilerVers(line, text);
  if (copy) copy->copyBaseForClone(*this);
  return copy;
}
void FCompilerVers::dump(std::ostream& out) const { dumpAs(out, "FCompilerVers", "version"); }
uint32_t FCompilerVers::storeProperty(ObjectStore& store, uint32_t fileId, uint32_t stringId, uint32_t* error) {
  return store.fileSetCompilerVersion(fileId, stringId, error);
}

FlowNode* FCompilerInvoc::clone() const {
  auto* copy = new (std::nothrow) FCompilerInvoc(line, text);
  if (copy) copy->copyBaseForClone(*this);
  return copy;
}
void FCompilerInvoc::dump(std::ostream& out) const { dumpAs(out, "FCompilerInvoc", "invocation"); }
uint32_t FCompilerInvoc::storeProperty(ObjectStore& store, uint32_t fileId, uint32_t stringId, uint32_t* error) {
  return store.fileSetCompilerInvocation(fileId, stringId, error);
}
