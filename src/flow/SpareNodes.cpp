#include "flow/SpareNodes.h"

#include <new>
#include <ostream>
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/DataEncoder.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FBlock, "FBlock")
VEKT_POOLED_CLASS_IMPL(FBuffer, "FBuffer")
VEKT_POOLED_CLASS_IMPL(FEndbuf, "FEndbuf")
VEKT_POOLED_CLASS_IMPL(FOffset, "FOffset")
VEKT_POOLED_CLASS_IMPL(FParallel, "FParallel")
VEKT_POOLED_CLASS_IMPL(FSource, "FSource")
VEKT_POOLED_CLASS_IMPL(FEnd, "FEnd")

namespace {

// A count from an expression: an integer, or a string read as bytes with the first
// character most significant (at most 32 characters, the low 32 bits kept). Any other
// value, and no expression, count as 0.
int64_t countOf(OrbaExpression* expression) {
  if (!expression) return 0;
  OrbaExpression* value = expression->evaluate();
  if (!value || value->isError()) return 0;
  if (value->getKind() == EK_integer) return value->getInteger();
  if (value->getKind() != EK_string) return 0;
  const char* text = value->getString();
  uint32_t length = value->getStringLength();
  uint32_t packed = 0;
  for (uint32_t index = 0; index < length && index < 32; ++index)
    packed = (packed << 8) | static_cast<uint8_t>(text[index]);
  return packed;
}

// The integer value of an expression; false for an error or a value that is none.
bool integerOf(OrbaExpression* expression, int64_t& result) {
  OrbaExpression* value = expression ? expression->evaluate() : nullptr;
  if (!value || value->isError() || value->getKind() != EK_integer) return false;
  result = value->getInteger();
  return true;
}

int32_t cachedSize(FlowNode& node, Section* section, int64_t units) {
  if (units <= 0) return 0;
  if (units > INT32_MAX) return 0;
  auto result = static_cast<int32_t>(units);
  if (section && section->laidOut) node.size = result;
  return result;
}

// Zero units of the section's image at the location, through the object store.
void addZeros(ObjectWriter& writer, Section* section, uint32_t location, uint32_t units) {
  if (!section->image) return;
  ObjectStore& store = writer.store();
  uint32_t status = 0;
  if (store.imageAddZeros(section->objectHandle[0], section->objectHandle[1], location, units, &status))
    reportObjectStoreError(store, status);
}

}  // namespace

// FBlock

FBlock::FBlock(LineInfo* line, OrbaExpression* sizeExpression, OrbaExpression* fill, const char* directiveName,
               int32_t directiveCode, uint8_t mauBits, uint8_t itemBits, bool relocatable)
    : FlowNode(line, static_cast<Kind>(0)),
      sizeExpression(sizeExpression),
      fill(fill),
      mauBits(mauBits ? mauBits : 8),
      itemBits(itemBits ? itemBits : 8),
      relocatable(relocatable ? 1 : 0),
      directiveName_(directiveName),
      directiveCode_(directiveCode) {}

void FBlock::assign(const FBlock& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  sizeExpression = other.sizeExpression;
  fill = other.fill;
  mauBits = other.mauBits;
  itemBits = other.itemBits;
  relocatable = other.relocatable;
  directiveName_ = other.directiveName_;
  directiveCode_ = other.directiveCode_;
}

FlowNode* FBlock::clone() const {
  auto* copy = new (std::nothrow)
      FBlock(line, sizeExpression, fill, directiveName_, directiveCode_, mauBits, itemBits, relocatable);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

int32_t FBlock::computeSize(Section* section, uint32_t /*offset*/) {
  if (size > 0) return size;
  int64_t itemUnits = (itemBits + mauBits - 1) / mauBits;
  return cachedSize(*this, section, itemUnits * countOf(sizeExpression));
}

void FBlock::emit(ObjectWriter& writer) {
  FlowNode::emit(writer);
  Section* section = writer.section;
  auto location = static_cast<uint32_t>(section->currentLocation());
  int32_t units = computeSize(section, location);
  if (units <= 0) {
    errorHandler()->report(W_no_storage_allocation, line, directiveName_);
    return;
  }
  if (!section->image) {
    errorHandler()->report(E_no_constant_allocation, line, directiveName_);
    setLineSize(line, static_cast<uint32_t>(units));
    section->advanceLocation(units, line);
    return;
  }
  const uint32_t itemUnits = (itemBits + mauBits - 1u) / mauBits;
  const uint32_t unitBytes = (mauBits + 7u) / 8u;
  const uint32_t itemBytes = itemUnits * unitBytes;
  const uint32_t items = static_cast<uint32_t>(units) / itemUnits;

  // One item's bytes, most significant first.
  std::vector<uint8_t> pattern(itemBytes, 0);
  OrbaExpression* value = fill ? fill->evaluate() : nullptr;
  bool asExpression = false;
  if (value && !value->isError() && value->getKind() == EK_integer) {
    uint64_t bits = static_cast<uint64_t>(value->getInteger());
    for (uint32_t index = itemBytes; index-- > 0 && bits;) {
      pattern[index] = static_cast<uint8_t>(bits);
      bits >>= 8;
    }
  } else if (value && value->getKind() == EK_string) {
    uint32_t length = value->getStringLength();
    if (length > itemBytes) errorHandler()->report(W_string_value_truncated, line, static_cast<int>(itemBytes));
    const char* text = value->getString();
    uint32_t used = length < itemBytes ? length : itemBytes;
    for (uint32_t index = 0; index < used; ++index) pattern[itemBytes - used + index] = static_cast<uint8_t>(text[index]);
  } else if (fill && value && !value->isError() && isConstantValue(value)) {
    errorHandler()->report(E_int_string_expression_expected, line);
  } else if (fill && relocatable) {
    asExpression = true;
  } else if (fill) {
    errorHandler()->report(E_invalid_object_expression, line);
  }

  if (asExpression) {
    ObjectStore& store = writer.store();
    for (uint32_t item = 0; item < items; ++item) {
      ExprNode* node = writer.objectExpression(fill, line);
      if (!node) {
        errorHandler()->report(E_invalid_object_expression, line);
        break;
      }
      uint32_t status = 0;
      uint32_t failed = store.imageAddExpression(section->objectHandle[0], section->objectHandle[1],
                                                 location + item * itemUnits, itemUnits, node, &status);
      store.releaseExpression(node);
      if (failed) reportObjectStoreError(store, status);
    }
  } else {
    if (static_cast<uint64_t>(location) + static_cast<uint32_t>(units) > section->size)
      reportObjectStoreError(writer.store(), ObjectStore::kDataTooLarge);
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(items) * itemBytes);
    for (uint32_t item = 0; item < items; ++item) bytes.insert(bytes.end(), pattern.begin(), pattern.end());
    storeImageUnits(static_cast<uint32_t>(bytes.size()), bytes.data(), kUnitMostSignificantFirst, mauBits,
                    section->imageUnit(location));
    std::vector<uint8_t> markers(bytes.size(), 0);
    appendListingBytes(line, bytes.data(), markers.data(), static_cast<uint32_t>(bytes.size()));
  }
  setLineSize(line, items);
  section->advanceLocation(units, line);
}

void FBlock::dump(std::ostream& out) const {
  out << "FBlock(size = " << exprToString(sizeExpression) << ", fill = " << exprToString(fill) << ")\n";
}

// FBuffer

void FBuffer::assign(const FBuffer& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  mode = other.mode;
  sizeExpression = other.sizeExpression;
  start = other.start;
  end = other.end;
}

FlowNode* FBuffer::clone() const {
  auto* copy = new (std::nothrow) FBuffer(line, mode, sizeExpression);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->start = start;
  copy->end = end;
  return copy;
}

void FBuffer::place(uint32_t offset) {
  start = offset;
  int64_t length = 0;
  end = integerOf(sizeExpression, length) ? static_cast<uint32_t>(offset + length) : offset;
}

int32_t FBuffer::computeSize(Section* /*section*/, uint32_t offset) {
  place(offset);
  return 0;
}

void FBuffer::emit(ObjectWriter& writer) {
  FlowNode::emit(writer);
  place(static_cast<uint32_t>(writer.section->currentLocation()));
  if (mode != 'R') return;
  int64_t length = 0;
  bool known = integerOf(sizeExpression, length);
  if (!known || length <= 0 || (length & (length - 1)) != 0) errorHandler()->report(W_invalid_buffer_2k, line);
}

void FBuffer::dump(std::ostream& out) const { out << "FBuffer()\n"; }

// FEndbuf

void FEndbuf::assign(const FEndbuf& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  buffer = other.buffer;
}

FlowNode* FEndbuf::clone() const {
  auto* copy = new (std::nothrow) FEndbuf(line, buffer);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

int32_t FEndbuf::computeSize(Section* section, uint32_t offset) {
  if (size > 0) return size;
  if (!buffer) return 0;
  if (buffer->endOffset() < offset) return -1;
  return cachedSize(*this, section, buffer->endOffset() - offset);
}

void FEndbuf::emit(ObjectWriter& writer) {
  FlowNode::emit(writer);
  Section* section = writer.section;
  auto location = static_cast<uint32_t>(section->currentLocation());
  int32_t units = computeSize(section, location);
  if (units < 0) {
    errorHandler()->report(E_buffer_size_overflow, line);
    return;
  }
  if (units == 0) return;
  addZeros(writer, section, location, static_cast<uint32_t>(units));
  section->advanceLocation(units, line);
  setLineSize(line, static_cast<uint32_t>(units));
}

void FEndbuf::dump(std::ostream& out) const { out << "FEndbuf()\n"; }

// FOffset

FlowNode* FOffset::clone() const {
  auto* copy = new (std::nothrow) FOffset(line, offsetExpression);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

int32_t FOffset::computeSize(Section* section, uint32_t offset) {
  if (size > 0) return size;
  int64_t target = 0;
  if (!integerOf(offsetExpression, target) || target <= offset) return 0;
  return cachedSize(*this, section, target - offset);
}

void FOffset::emit(ObjectWriter& writer) {
  FlowNode::emit(writer);
  if (!offsetExpression) return;
  Section* section = writer.section;
  auto location = static_cast<uint32_t>(section->currentLocation());
  int64_t target = 0;
  if (!integerOf(offsetExpression, target)) {
    errorHandler()->report(E_offset_not_absolute, line);
    return;
  }
  if (target < location) {
    errorHandler()->report(E_offset_too_small, line);
    return;
  }
  if (target == location) return;
  int64_t gap = target - location;
  if (!section->image) {
    errorHandler()->report(W_no_storage_allocation, line, "offset");
    setLineSize(line, static_cast<uint32_t>(gap));
  } else {
    addZeros(writer, section, location, static_cast<uint32_t>(gap));
  }
  section->advanceLocation(gap, line);
}

void FOffset::dump(std::ostream& out) const { out << "FOffset(" << exprToString(offsetExpression) << ")\n"; }

// FParallel

void FParallel::releaseData() {
  while (FlowNode* child = children.first()) {
    children.remove(child);
    delete child;
  }
}

FlowNode* FParallel::clone() const {
  auto* copy = new (std::nothrow) FParallel(line);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

int32_t FParallel::computeSize(Section* section, uint32_t offset) {
  int64_t total = 0;
  for (FlowNode* child = children.first(); child; child = child->nextNode()) {
    int32_t units = child->computeSize(section, static_cast<uint32_t>(offset + total));
    if (units > 0) total += units;
  }
  return cachedSize(*this, section, total);
}

void FParallel::emit(ObjectWriter& writer) {
  for (FlowNode* child = children.first(); child; child = child->nextNode()) {
    currentLayoutLine() = child->line;
    child->emit(writer);
  }
}

uint16_t FParallel::getCycles() const {
  if (cycles) return cycles;
  uint32_t total = 0;
  for (FlowNode* child = children.first(); child; child = child->nextNode()) total += child->getCycles();
  return static_cast<uint16_t>(total > UINT16_MAX ? UINT16_MAX : total);
}

void FParallel::dump(std::ostream& out) const {
  out << "FParallel()\n";
  for (FlowNode* child = children.first(); child; child = child->nextNode()) child->dump(out);
  out << "FParallel() end\n";
}

// FSource

void FSource::assign(const FSource& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  fileName = other.fileName;
}

FlowNode* FSource::clone() const {
  auto* copy = new (std::nothrow) FSource(line, fileName);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FSource::dump(std::ostream& out) const { out << "FSource(fileName = " << (fileName ? fileName : "") << ")\n"; }

// FEnd

FlowNode* FEnd::clone() const {
  auto* copy = new (std::nothrow) FEnd(line, startExpression);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FEnd::dump(std::ostream& out) const { out << "FEnd(" << exprToString(startExpression) << ")\n"; }
