#include "flow/DataEncoder.h"

#include <algorithm>
#include <cstring>

#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "expr/TEBinary.h"
#include "expr/TEFract.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/FlowNode.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/OrbaState.h"
#include "util/c-memory.h"

namespace {

// An element is assembled here, most significant byte first.
constexpr uint32_t kElementBytes = 16;

const uint8_t kConstantMarkers[kElementBytes] = {};
const uint8_t kExpressionMarkers[kElementBytes] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

MemPool* listingPool() {
  static const size_t poolSlot = nextPoolSlot();
  MemPool*& handle = runState().poolHandle(poolSlot);
  if (!handle) handle = MemoryPools::instance().registerPool("LineInfo::code", &handle);
  return handle;
}

// The shape of one element in a section: u bits per unit, b bytes per unit, n units
// and E bytes per element.
struct ElementShape {
  ElementShape(int32_t sectionUnitBits, uint32_t width) {
    unitBits = sectionUnitBits > 0 ? static_cast<uint32_t>(sectionUnitBits) : 8u;
    unitBytes = (unitBits + 7) / 8;
    units = std::max(1u, (width + unitBits - 1) / unitBits);
    bytes = std::min(kElementBytes, std::max(1u, units * unitBytes));
  }
  uint32_t unitBits;
  uint32_t unitBytes;
  uint32_t units;
  uint32_t bytes;
};

// The low bytes of a signed value, most significant first, sign-extended above 64 bits.
void placeInteger(uint8_t* element, uint32_t byteCount, int64_t value) {
  auto bits = static_cast<uint64_t>(value);
  for (uint32_t index = 0; index < byteCount; ++index) {
    uint32_t shift = 8 * index;
    uint8_t byte = shift < 64 ? static_cast<uint8_t>(bits >> shift) : (value < 0 ? 0xFF : 0x00);
    element[byteCount - 1 - index] = byte;
  }
}

void floatToBytes(const OrbaExpression* value, uint32_t width, uint8_t* element,
                  uint32_t byteCount) {
  double number = value->getDouble();
  if (width == 32) {
    auto single = static_cast<float>(number);
    uint32_t pattern;
    std::memcpy(&pattern, &single, sizeof pattern);
    placeInteger(element + byteCount - 4, 4, pattern);
  } else if (width == 64) {
    uint64_t pattern;
    std::memcpy(&pattern, &number, sizeof pattern);
    placeInteger(element + byteCount - 8, 8, static_cast<int64_t>(pattern));
  }
}

void fractionToBytes(const OrbaExpression* value, uint32_t width, uint8_t* element,
                     uint32_t byteCount) {
  if (value->getKind() == EK_fract) {
    placeInteger(element, byteCount, value->getInteger());
    return;
  }
  uint8_t code[kElementBytes] = {};
  uint32_t codeBytes = std::min(kElementBytes, (width + 7) / 8);
  encodeFraction(code, value->getDouble(), static_cast<int32_t>(codeBytes * 8));
  // Right-aligned: the code's low bytes end the element.
  uint32_t kept = std::min(codeBytes, byteCount);
  std::memcpy(element + byteCount - kept, code + codeBytes - kept, kept);
}

// Where one value's elements go: the section, its offset and the list record.
class Placement {
 public:
  Placement(ObjectWriter& writer, LineInfo* line, uint32_t width)
      : writer_(writer),
        section_(writer.section),
        line_(line),
        shape_(section_->mauBits, width),
        offset_(static_cast<uint32_t>(section_->currentLocation())) {
    listed_ = line_ && line_->section == section_ && line_->controlState &&
              line_->controlState->listCounter > 0;
  }
  Placement(const Placement&) = delete;
  Placement& operator=(const Placement&) = delete;

  const ElementShape& shape() const { return shape_; }
  uint32_t offset() const { return offset_; }

  // Puts an element assembled most significant byte first into the image, in the
  // section's byte order, and lists it.
  void storeElement(uint8_t* element, bool reorder = true) {
    if (reorder && section_->byteOrder == Section::kLittleEndian)
      reverseUnits(element, shape_.bytes, shape_.unitBytes);
    uint64_t at = static_cast<uint64_t>(offset_) + static_cast<uint64_t>(elements_) * shape_.units;
    if (!section_->image || at + shape_.units > section_->size)
      reportObjectStoreError(writer_.store(), ObjectStore::kDataTooLarge);
    storeImageUnits(shape_.bytes, element, kUnitMostSignificantFirst, shape_.unitBits,
                    section_->imageUnit(static_cast<uint32_t>(at)));
    list(element, kConstantMarkers);
    ++elements_;
  }

  // An element the object store fills: the image keeps its bytes, the list shows
  // zero bytes marked as filled.
  void storeExpressionElement() {
    const uint8_t zeros[kElementBytes] = {};
    list(zeros, kExpressionMarkers);
    ++elements_;
  }

  // Flushes the list bytes and moves the location past the elements.
  void finish() {
    flushListing();
    section_->locationCounter += static_cast<int32_t>(elements_ * shape_.units);
  }

 private:
  void list(const uint8_t* bytes, const uint8_t* markers) {
    if (!listed_) return;
    if (pending_ + shape_.bytes > sizeof listing_) flushListing();
    std::memcpy(listing_ + pending_, bytes, shape_.bytes);
    std::memcpy(markers_ + pending_, markers, shape_.bytes);
    pending_ += shape_.bytes;
  }

  // Collected per value and appended at once: each append may move the line's buffer.
  void flushListing() {
    if (pending_ == 0) return;
    appendListingBytes(line_, listing_, markers_, pending_);
    pending_ = 0;
  }

  ObjectWriter& writer_;
  Section* section_;
  LineInfo* line_;
  ElementShape shape_;
  uint32_t offset_;
  uint32_t elements_ = 0;
  bool listed_ = false;
  uint32_t pending_ = 0;
  uint8_t listing_[8 * kElementBytes];
  uint8_t markers_[8 * kElementBytes];
};

void encodeString(Placement& placement, const OrbaExpression* value, bool packStrings) {
  const ElementShape& shape = placement.shape();
  const auto* text = reinterpret_cast<const uint8_t*>(value->getString());
  uint32_t length = value->getStringLength();
  uint8_t element[kElementBytes];
  if (length == 0) {
    std::memset(element, 0, sizeof element);
    placement.storeElement(element);
    return;
  }
  if (length == 1 || !packStrings) {
    for (uint32_t index = 0; index < length; ++index) {
      std::memset(element, 0, sizeof element);
      element[shape.bytes - 1] = text[index];
      placement.storeElement(element);
    }
    return;
  }
  // Packed: the next characters fill the element's first unit, one per byte of it,
  // in address order; the rest of the element stays zero.
  uint32_t perElement = std::max(1u, shape.unitBits / 8);
  for (uint32_t index = 0; index < length; index += perElement) {
    std::memset(element, 0, sizeof element);
    uint32_t count = std::min(perElement, length - index);
    std::memcpy(element, text + index, std::min(count, shape.unitBytes));
    placement.storeElement(element, false);
  }
}

}  // namespace

void setLineSize(LineInfo* line, uint32_t units) {
  if (line) line->setExtra(0, static_cast<uint16_t>(units));
}

void setLineCycles(LineInfo* line, uint16_t cycles) {
  if (line) line->setExtra(1, cycles);
}

uint32_t unitsForBytes(uint32_t byteCount, uint32_t unitBits) {
  uint32_t unitBytes = unitBits == 0 ? 1 : (unitBits + 7) / 8;
  return byteCount / unitBytes;
}

void storeImageUnits(uint32_t byteCount, const uint8_t* bytes, int order, uint32_t unitBits,
                     uint8_t* image) {
  uint32_t stride = imageUnitBytes(static_cast<int32_t>(unitBits));
  if (stride == 1) {
    std::memcpy(image, bytes, byteCount);
    return;
  }
  uint32_t unitBytes = (unitBits + 7) / 8;
  for (uint32_t unit = 0; unit * unitBytes < byteCount; ++unit) {
    const uint8_t* source = bytes + unit * unitBytes;
    // A unit's value is built from at most four of its bytes.
    uint32_t word = 0;
    for (uint32_t index = 0; index < unitBytes && index < 4; ++index) {
      uint32_t byte = order == kUnitMostSignificantFirst ? source[index]
                                                         : source[unitBytes - 1 - index];
      word = (word << 8) | byte;
    }
    storeImageUnit(image + static_cast<size_t>(unit) * stride, unitBits, word);
  }
}

void storeImageUnit(uint8_t* unit, uint32_t unitBits, uint32_t value) {
  switch (imageUnitBytes(static_cast<int32_t>(unitBits))) {
    case 1: *unit = static_cast<uint8_t>(value); break;
    case 2: {
      auto narrow = static_cast<uint16_t>(value);
      std::memcpy(unit, &narrow, 2);
      break;
    }
    case 4: std::memcpy(unit, &value, 4); break;
    default: {
      uint64_t wide = value;
      std::memcpy(unit, &wide, 8);
      break;
    }
  }
}

void reverseUnits(uint8_t* bytes, uint32_t byteCount, uint32_t bytesPerUnit) {
  if (bytesPerUnit == 0) return;
  uint32_t units = byteCount / bytesPerUnit;
  for (uint32_t low = 0, high = units - 1; units > 1 && low < high; ++low, --high)
    std::swap_ranges(bytes + low * bytesPerUnit, bytes + (low + 1) * bytesPerUnit,
                     bytes + high * bytesPerUnit);
}

namespace {

// Makes the line's listing buffer large enough for count more bytes and counts them in;
// returns the buffer's capacity. The new bytes and their markers are the caller's to set.
uint32_t growListing(LineInfo* line, uint32_t count) {
  LineExtras& listing = line->extrasForUpdate();
  uint32_t oldCount = listing.codeByteCount;
  uint32_t newCount = oldCount + count;
  uint32_t oldCapacity = listingCapacity(oldCount);
  uint32_t capacity = listingCapacity(newCount);
  if (capacity > oldCapacity || !listing.codeBytes) {
    auto* fresh = static_cast<uint8_t*>(mem_pool_alloc(listingPool(), 2 * capacity));
    if (listing.codeBytes && oldCapacity > 0) {
      std::memcpy(fresh, listing.codeBytes, oldCount);
      std::memcpy(fresh + capacity, listing.codeBytes + oldCapacity, oldCount);
      MemoryPools::free(listingPool(), listing.codeBytes, 2 * oldCapacity);
    }
    listing.codeBytes = fresh;
  }
  listing.codeByteCount = newCount;
  line->flags[3] |= lineflag::kGroupListed;
  return capacity;
}

}  // namespace

void appendListingBytes(LineInfo* line, const uint8_t* bytes, const uint8_t* masks,
                        uint32_t count) {
  if (!line || count == 0) return;
  uint32_t oldCount = line->extras().codeByteCount;
  uint32_t capacity = growListing(line, count);
  uint8_t* values = line->extras().codeBytes;
  std::memcpy(values + oldCount, bytes, count);
  std::memcpy(values + capacity + oldCount, masks, count);
}

uint8_t* appendListingZeros(LineInfo* line, uint32_t count) {
  if (!line || count == 0) return nullptr;
  uint32_t oldCount = line->extras().codeByteCount;
  uint32_t capacity = growListing(line, count);
  uint8_t* values = line->extras().codeBytes;
  // The pool hands its blocks out zeroed; cleared all the same, so that the list does
  // not depend on where the buffer came from.
  std::memset(values + oldCount, 0, count);
  std::memset(values + capacity + oldCount, 0, count);
  return values + oldCount;
}

ExprNode* reverseUnitsExpression(ExprNode* value, uint32_t byteCount, uint32_t bytesPerUnit) {
  if (bytesPerUnit == 0) bytesPerUnit = 1;
  uint32_t units = byteCount / bytesPerUnit;
  if (units <= 1 || !value) return objectShare(value);
  const uint32_t unitShift = 8 * bytesPerUnit;
  const uint64_t unitMask = unitShift >= 64 ? ~0ull : (1ull << unitShift) - 1;
  ExprNode* result = nullptr;
  for (uint32_t unit = 0; unit < units; ++unit) {
    uint32_t target = units - 1 - unit;
    ExprNode* masked = objectTake(
        OBJ_bitAnd, {objectShare(value), objectInteger(static_cast<int64_t>(unitMask << (unit * unitShift)))});
    ExprNode* moved = masked;
    if (target > unit)
      moved = objectTake(OBJ_shiftLeft, {masked, objectInteger((target - unit) * unitShift)});
    else if (target < unit)
      moved = objectTake(OBJ_shiftRight, {masked, objectInteger((unit - target) * unitShift)});
    result = result ? objectTake(OBJ_bitOr, {result, moved}) : moved;
  }
  return result;
}

ExprNode* emitExpressionValue(OrbaExpression* expression, ObjectWriter& writer, LineInfo* line,
                              int flag, bool* failed) {
  SymbolQuestionMemos::Use use(writer.symbolQuestions);
  if (expression->countSymbolReferences() == 1) {
    if (Symbol* base = writer.findRelocationBaseSymbol(expression, flag)) {
      OrbaExpression* zero = TEInteger::create(0);
      OrbaExpression* rest = nullptr;
      {
        SymbolQuestionMemos::SubstituteUse substitution(writer.symbolQuestions, base, zero);
        rest = expression->substitute(base, zero);
      }
      rest = rest ? rest->evaluate() : nullptr;
      // Only a constant rest can be added to the base; anything else goes out as written.
      if (rest && rest->getKind() == EK_integer) {
        OrbaExpression* reference = TESymbol::create(base);
        if (rest->getInteger() == 0) {
          expression = reference;
        } else {
          OrbaExpression* sum = foldBinaryOperation(OP_add, reference, rest);
          expression = sum ? sum : new TEBinary(OP_add, reference, rest);
        }
      }
    }
  }
  writer.line = line;
  ExprNode* converted = writer.objectExpression(expression, line);
  writer.line = nullptr;
  if (failed) *failed = !converted;
  if (!converted) {
    errorHandler()->report(E_invalid_object_expression, line);
    converted = objectInteger(0);
  }
  return converted;
}

void encodeDataConstant(ObjectWriter& writer, const FlowNode& node, OrbaExpression* value,
                        uint32_t width, bool packStrings, uint8_t relocationType,
                        uint32_t forcedKind) {
  LineInfo* line = node.line;
  if (relocationType == 0) {
    OrbaExpression* simplified = value->evaluate();
    if (simplified && !simplified->isError()) value = simplified;
  }
  Placement placement(writer, line, width);
  const ElementShape& shape = placement.shape();

  if (value->getKind() == EK_string) {
    encodeString(placement, value, packStrings);
    placement.finish();
    return;
  }

  if (isConstantValue(value)) {
    uint8_t element[kElementBytes] = {};
    switch (forcedKind != 0 ? forcedKind : value->getKind()) {
      case EK_integer: placeInteger(element, shape.bytes, value->getInteger()); break;
      case EK_double: floatToBytes(value, width, element, shape.bytes); break;
      case EK_fract: fractionToBytes(value, width, element, shape.bytes); break;
      default: errorHandler()->report(E_invalid_object_expression, line); break;
    }
    placement.storeElement(element);
    placement.finish();
    return;
  }

  Section* section = writer.section;
  ObjectStore& store = writer.store();
  bool refused = false;
  ExprNode* converted = emitExpressionValue(value, writer, line, 0, &refused);
  if (refused) {
    // The value was refused with E139 and stands as 0: plain bytes, so that no
    // relocation record is left for a value that has none.
    store.releaseExpression(converted);
    uint8_t element[kElementBytes] = {};
    placeInteger(element, shape.bytes, 0);
    placement.storeElement(element);
    placement.finish();
    return;
  }
  uint32_t status = 0;
  uint32_t failed;
  if (relocationType != 0) {
    failed = store.imageAddRelocation(section->objectHandle[0], section->objectHandle[1],
                                      placement.offset(), shape.units, converted, relocationType,
                                      &status);
  } else {
    if (section->byteOrder == Section::kLittleEndian) {
      ExprNode* reversed = reverseUnitsExpression(converted, shape.bytes, shape.unitBytes);
      store.releaseExpression(converted);
      converted = reversed;
    }
    failed = store.imageAddExpression(section->objectHandle[0], section->objectHandle[1],
                                      placement.offset(), shape.units, converted, &status);
  }
  store.releaseExpression(converted);
  if (failed) reportObjectStoreError(store, status);
  placement.storeExpressionElement();
  placement.finish();
}
