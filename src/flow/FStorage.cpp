#include "flow/FStorage.h"

#include <algorithm>
#include <cstdint>
#include <ostream>

#include "expr/OrbaExpression.h"
#include "flow/DataEncoder.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FStorage, "FStorage")

FStorage::FStorage(LineInfo* line, OrbaExpression* sizeExpression, const Section* section)
    : FlowNode(line, kStorage),
      sizeExpression(sizeExpression),
      mauBits(section && section->mauBits > 0 ? section->mauBits : 8) {}

FlowNode* FStorage::clone() const {
  auto* copy = new (std::nothrow) FStorage(line, sizeExpression, nullptr);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->mauBits = mauBits;
  copy->itemBits = itemBits;
  copy->directive = directive;
  copy->directiveId = directiveId;
  return copy;
}

void FStorage::assign(const FStorage& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  sizeExpression = other.sizeExpression;
  mauBits = other.mauBits;
  itemBits = other.itemBits;
  directive = other.directive;
  directiveId = other.directiveId;
}

int64_t FStorage::requestedUnits() const {
  OrbaExpression* value = sizeExpression ? sizeExpression->evaluate() : nullptr;
  if (!value || value->getKind() != EK_integer) return 0;
  int64_t unitsPerItem = mauBits > 0 ? (itemBits + mauBits - 1) / mauBits : 1;
  int64_t count = value->getInteger();
  // A product beyond 64 bits is as much out of the address space as any other.
  if (unitsPerItem > 1 && (count > INT64_MAX / unitsPerItem || count < INT64_MIN / unitsPerItem))
    return count < 0 ? INT64_MIN : INT64_MAX;
  return count * unitsPerItem;
}

int32_t FStorage::computeSize(Section* section, uint32_t /*offset*/) {
  if (size > 0) return size;
  int64_t units = requestedUnits();
  if (units < 0) return -1;
  // A size no section holds is laid out as the largest a node can take: the section
  // passes its bound at this line, and the object output reports it there.
  auto result = static_cast<int32_t>(std::min<int64_t>(units, INT32_MAX));
  if (section && section->laidOut) size = result;
  return result;
}

void FStorage::emit(ObjectWriter& writer) {
  emitHook(writer);
  Section* section = writer.section;
  auto location = static_cast<uint32_t>(section->currentLocation());
  int64_t units = size > 0 ? size : requestedUnits();
  if (units < 0) {
    errorHandler()->report(E_absolute_integer_expression_expected, line, directive);
  } else if (units == 0) {
    errorHandler()->report(W_no_storage_allocation, line, directive);
  } else if (units > INT32_MAX || !fitsInSection(location, units)) {
    section->reportTooLarge(line, uint64_t{location} + static_cast<uint64_t>(units));
  } else {
    if (section->image) {
      ObjectStore& store = writer.store();
      uint32_t status = 0;
      if (store.imageAddZeros(section->objectHandle[0], section->objectHandle[1], location,
                              static_cast<uint32_t>(units), &status))
        reportObjectStoreError(store, status);
    }
    section->advanceLocation(units, line);
    setLineSize(line, static_cast<uint32_t>(units));
  }
  setLineCycles(line, cycles);
}

void FStorage::dump(std::ostream& out) const {
  out << "FStorage(size = " << exprToString(sizeExpression) << ")\n";
}
