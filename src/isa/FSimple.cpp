#include "isa/FSimple.h"

#include <algorithm>
#include <new>
#include <ostream>
#include <unordered_map>

#include "flow/DataEncoder.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

VEKT_POOLED_CLASS_IMPL(FSimple, "FSimple")

namespace {

// The rare fields of the nodes marked so. An entry outlives its node: a later node at
// the same address replaces it when it needs one, and reads it only after that.
struct SimpleRareFields {
  std::unordered_map<const FSimple*, FSimple::Rare> entries;
};

SimpleRareFields& rareFields() { return runPart<SimpleRareFields>(); }

uint32_t unitsOf(uint32_t bits, uint32_t unitBits) { return (bits + unitBits - 1) / unitBits; }

}  // namespace

FSimple::FSimple(LineInfo* line, IPInstruction& candidate) : FlowNode(line, kSimple) {
  if (candidate.encoding) setImage(candidate.encoding->image, candidate.encoding->bits);
  attr = candidate.attributes;
  candidate.attributes = nullptr;
  cycles = static_cast<uint16_t>(candidate.cycles);
}

FSimple::FSimple(LineInfo* line, const IPAttribute& shared, uint32_t image, uint8_t imageBits, uint16_t cycleCount)
    : FlowNode(line, kSimple) {
  bits_ = imageBits;
  image_ = image;
  attr = shared.copy();
  cycles = cycleCount;
}

FSimple::~FSimple() { releaseData(); }

void FSimple::setImage(const uint32_t (&data)[8], uint8_t imageBits) {
  if (imageBits <= 32) {
    bits_ = imageBits;
    image_ = data[7];
    return;
  }
  Rare& entry = rare();
  std::copy(std::begin(data), std::end(data), entry.data);
  entry.bits = imageBits;
}

FSimple::Rare& FSimple::rare() {
  Rare& entry = rareFields().entries[this];
  if (bits_ != kRare) {
    entry = Rare{};
    entry.data[7] = image_;
    entry.bits = bits_;
    bits_ = kRare;
  }
  return entry;
}

const FSimple::Rare* FSimple::rareEntry() const {
  return bits_ == kRare ? &rareFields().entries[this] : nullptr;
}

uint8_t FSimple::bitCount() const {
  const Rare* entry = rareEntry();
  return entry ? entry->bits : bits_;
}

bool FSimple::isUsable() const {
  const Rare* entry = rareEntry();
  return !entry || entry->usable;
}

const char* FSimple::keptMessage() const {
  const Rare* entry = rareEntry();
  return entry ? entry->message : nullptr;
}

uint32_t FSimple::word(uint32_t index) const {
  if (const Rare* entry = rareEntry()) return entry->data[index];
  return index == 7 ? image_ : 0;
}

void FSimple::releaseData() {
  IPAttribute::release(attr);
  attr = nullptr;
}

FlowNode* FSimple::clone() const {
  auto* copy = new (std::nothrow) FSimple(line);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->attr = attr ? attr->copy() : nullptr;
  copy->image_ = image_;
  if (const Rare* entry = rareEntry()) {
    const Rare kept = *entry;  // the copy's entry may move the table
    copy->rare() = kept;
  } else {
    copy->bits_ = bits_;
  }
  return copy;
}

int32_t FSimple::computeSize(Section* section, uint32_t /*offset*/) {
  if (size > 0) return size;
  auto units = static_cast<int32_t>(unitsOf(bitCount(), instructionUnitBits(section)));
  if (section && section->laidOut) size = units;
  return units;
}

FlowNode::LayoutChoice FSimple::layOut(FlowWalker& walker, int32_t mode, bool /*fresh*/) {
  LayoutChoice choice;
  walker.nodeSize = 0;
  if (mode != kLayoutInitial) {
    const char* failing = nullptr;
    if (isUsable() && attr && !attr->findFirstUnsatisfiedCase(&failing, false)) {
      // Kept for emit, which reports it at the node's own line.
      Rare& entry = rare();
      entry.usable = 0;
      if (failing) entry.message = errorHandler()->formatMessage(E_when_check, failing);
    }
    if (!isUsable()) {
      choice.chosen = -1;
      choice.usable = 0;
      return choice;
    }
  }
  int32_t units = computeSize(walker.section, static_cast<uint32_t>(walker.offset));
  walker.nodeSize = units > 0 ? units : 0;
  return choice;
}

void FSimple::emit(ObjectWriter& writer) {
  Section* section = writer.section;
  ErrorHandler* errors = errorHandler();
  if (!isUsable()) {
    if (const char* message = keptMessage())
      errors->reportText(message, line);
    else
      errors->report(E_invalid_instruction_encoding, line);
    return;
  }
  const uint32_t unitBits = instructionUnitBits(section);
  const uint8_t bits = bitCount();
  if (!section || !section->image) {
    if (bits == 0)
      errors->report(W_instruction_has_no_size, line);
    else
      errors->report(E_no_instruction_allocation, line);
    setLineSize(line, unitsOf(bits, unitBits));
  } else if (bits == 0) {
    errors->report(W_instruction_has_no_size, line);
  } else {
    writeEncoding(writer, *section, unitBits);
  }
  setLineCycles(line, cycles);
  if (attr) attr->issueConditionalWarnings(line);
}

void FSimple::writeEncoding(ObjectWriter& writer, Section& section, uint32_t unitBits) {
  const uint8_t bits = bitCount();
  const uint32_t units = std::max(1u, unitsOf(bits, unitBits));
  uint8_t bytes[32];
  uint32_t byteCount;
  if (bits <= 32) {
    byteCount = instructionBytes(image_, bits, units, unitBits, section.byteOrder, bytes);
  } else {
    byteCount = std::clamp((units * unitBits + 7) / 8, 1u, 32u);
    std::fill(std::begin(bytes), std::end(bytes), 0);
    // Most significant byte first; memory order is made below.
    for (uint32_t k = 0; 8 * k < bits && k < byteCount; ++k)
      bytes[byteCount - 1 - k] = static_cast<uint8_t>(word(7 - k / 4) >> (8 * (k % 4)));
    if (section.byteOrder == Section::kLittleEndian) reverseUnits(bytes, byteCount, std::max(1u, unitBits / 8));
  }
  placeInstructionBytes(writer, section, bytes, byteCount, units, unitBits);
  if (line && line->controlState && line->controlState->listCounter > 0) {
    const uint8_t masks[32] = {};
    appendListingBytes(line, bytes, masks, byteCount);
  }
}

uint32_t instructionUnitBits(const Section* section) {
  return section && section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8u;
}

uint32_t instructionBytes(uint32_t image, uint8_t bits, uint32_t units, uint32_t unitBits, int32_t byteOrder,
                          uint8_t (&bytes)[32]) {
  const uint32_t byteCount = std::clamp((units * unitBits + 7) / 8, 1u, 32u);
  std::fill(std::begin(bytes), std::end(bytes), 0);
  // Most significant byte first; memory order is made below.
  for (uint32_t k = 0; 8 * k < bits && k < byteCount; ++k)
    bytes[byteCount - 1 - k] = static_cast<uint8_t>(image >> (8 * k));
  if (byteOrder == Section::kLittleEndian) reverseUnits(bytes, byteCount, std::max(1u, unitBits / 8));
  return byteCount;
}

void placeInstructionBytes(ObjectWriter& writer, Section& section, const uint8_t* bytes, uint32_t byteCount,
                           uint32_t units, uint32_t unitBits) {
  const auto location = static_cast<uint32_t>(section.currentLocation());
  if (static_cast<uint64_t>(location) + unitsForBytes(byteCount, unitBits) > section.size)
    reportObjectStoreError(writer.store(), ObjectStore::kDataTooLarge);
  storeImageUnits(byteCount, bytes, kUnitMostSignificantFirst, unitBits, section.imageUnit(location));
  section.locationCounter = static_cast<int32_t>(location + units);
}

void FSimple::dump(std::ostream& out) const {
  const uint8_t bits = bitCount();
  out << "FSimple(bits = " << static_cast<unsigned>(bits) << ", data =";
  for (uint32_t k = (bits + 31u) / 32u; k > 0; --k) {
    static const char kHex[] = "0123456789abcdef";
    uint32_t word = this->word(8 - k);
    out << ' ';
    for (int shift = 28; shift >= 0; shift -= 4) out << kHex[(word >> shift) & 0xF];
  }
  out << ")\n";
  if (attr) {
    IPAttribute::print(out, *attr);
    out << '\n';
  }
}
