#include "flow/FBytes.h"

#include <cstring>
#include <new>
#include <ostream>

#include "flow/DataEncoder.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/SectionAppend.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FBytes, "FBytes")

void FBytes::releaseData() {
  bytes.clear();
  bytes.shrink_to_fit();
}

FlowNode* FBytes::clone() const {
  auto* copy = new (std::nothrow) FBytes(line);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->bytes = bytes;
  return copy;
}

int32_t FBytes::computeSize(Section* /*section*/, uint32_t /*offset*/) {
  return static_cast<int32_t>(bytes.size());
}

void FBytes::emit(ObjectWriter& writer) {
  Section* section = writer.section;
  auto units = static_cast<uint32_t>(bytes.size());
  if (!section->image) {
    errorHandler()->report(E_no_constant_allocation, line, kDwarfDirective);
  } else {
    auto location = static_cast<uint32_t>(section->currentLocation());
    if (static_cast<uint64_t>(location) + units > section->size)
      reportObjectStoreError(writer.store(), ObjectStore::kDataTooLarge);
    if (units > 0) std::memcpy(section->imageUnit(location), bytes.data(), units);
  }
  if (section->advanceLocation(units, line)) setLineSize(line, units);
  setLineCycles(line, cycles);
}

void FBytes::dump(std::ostream& out) const { out << "FBytes(" << bytes.size() << " bytes)\n"; }
