#include "flow/FAlign.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>

#include "expr/OrbaExpression.h"
#include "flow/DataEncoder.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

VEKT_POOLED_CLASS_IMPL(FAlign, "FAlign")
VEKT_POOLED_CLASS_IMPL(FAlias, "FAlias")

namespace {

// Slots of LineInfo::extra.
constexpr int kLineCycles = 1;

const char* remarkText(int remarkKind) {
  switch (remarkKind) {
    case kLabelAlignmentRemark:
      return "inserted label alignment";
    case kInstructionAlignmentRemark:
      return "inserted instruction alignment";
    case kBufferAlignmentRemark:
      return "inserted buffer alignment";
    default:
      return "inserted alignment";
  }
}

// The padding up to the next multiple of alignment from offset; alignment 0 or
// less pads nothing (there is no multiple of 0 to reach).
int64_t paddingTo(const Section* section, int64_t offset, int64_t alignment) {
  if (alignment <= 0) return 0;
  int64_t remainder = section->addressOf(offset) % alignment;
  if (remainder < 0) remainder += alignment;
  return remainder == 0 ? 0 : alignment - remainder;
}

// Adds the list line that tells where padding went: before the padded line, and
// before the label lines right in front of it that lie past the padding's start.
LineInfo* addRemarkLine(LineInfo* nodeLine, Section* section, int32_t location, int remarkKind) {
  LineInfo* before = nodeLine;
  while (before->previous && (before->previous->flags[2] & lineflag::kDefinesLabel) &&
         before->previous->codeAddress() > location)
    before = before->previous;
  // The first line of a run is always its start-of-file marker, so a padded line
  // has a line before it to link after.
  if (!before->previous) return nullptr;

  std::string text = nodeLine->text ? nodeLine->text : "";
  text += ' ';
  text += remarkText(remarkKind);
  LineInfo* remark = orbaFactory()->createLineInfo(stringBuffer()->intern(text.c_str()), nodeLine->sourceFile,
                                                   nodeLine->lineNumber, 0);
  if (!remark) return nullptr;
  remark->copySourceRange(*nodeLine);
  remark->setVariant(nodeLine->variant());
  remark->flags[0] |= nodeLine->flags[0] & lineflag::kMacroExpansion;
  remark->flags[2] |= nodeLine->flags[2] & lineflag::kGeneratedListable;
  remark->controlState = nodeLine->controlState;
  remark->flags[1] |= lineflag::kUnlistedGroup;
  remark->setCodeAddress(location);
  remark->section = section;

  remark->previous = before->previous;
  remark->next = before;
  before->previous->next = remark;
  before->previous = remark;
  return remark;
}

// The fill pattern's units in the order they are written: built most significant
// unit first and reversed for a little-endian section.
uint32_t patternUnit(const Section* section, uint32_t index, uint32_t unitsPerPattern, uint32_t unitBits) {
  uint32_t fromTop = section->byteOrder == Section::kLittleEndian ? unitsPerPattern - 1 - index : index;
  uint32_t shift = (unitsPerPattern - 1 - fromTop) * unitBits;
  uint32_t mask = unitBits >= 32 ? 0xFFFFFFFFu : (1u << unitBits) - 1;
  return shift >= 32 ? 0 : (static_cast<uint32_t>(section->fillPattern) >> shift) & mask;
}

void placeUnit(Section* section, uint32_t location, uint32_t value) {
  if (section->image && location < section->size)
    storeImageUnit(section->imageUnit(location), static_cast<uint32_t>(section->mauBits), value);
}

// The unit's bytes for the list file, most significant first; constant bytes.
void listUnit(LineInfo* remark, uint32_t value, uint32_t unitBytes) {
  if (!remark) return;
  uint8_t bytes[8] = {};
  const uint8_t constant[8] = {};
  if (unitBytes > 4) unitBytes = 4;
  for (uint32_t i = 0; i < unitBytes; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * (unitBytes - 1 - i)));
  appendListingBytes(remark, bytes, constant, unitBytes);
}

}  // namespace

int64_t roundUpToPowerOfTwo(int64_t alignment) {
  int64_t power = 1;
  while (power < alignment) power <<= 1;
  return power;
}

FAlign::FAlign(LineInfo* line, OrbaExpression* alignment, const Section* section)
    : FlowNode(line, kAlign), alignment(alignment) {
  if (section) {
    codeSection = section->isCode() ? 1 : 0;
    powerOfTwo = section->flags.powerOfTwoAlignment() ? 1 : 0;
  }
}

FlowNode* FAlign::clone() const {
  auto* copy = new (std::nothrow) FAlign(line, alignment, nullptr);
  if (!copy) return nullptr;
  copy->assign(*this);
  copy->line = line;
  return copy;
}

void FAlign::assign(const FAlign& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  bufferFill = other.bufferFill;
  alignment = other.alignment;
  codeSection = other.codeSection;
  powerOfTwo = other.powerOfTwo;
  listRemark = other.listRemark;
  flag = other.flag;
}

int64_t FAlign::getAlignment() const {
  if (!alignment) return -1;
  OrbaExpression* value = alignment->evaluate();
  if (!value || value->isError()) return -1;
  if (value->getKind() == EK_string) {
    const char* text = value->getString();
    uint32_t length = value->getStringLength();
    if (length > 32) length = 32;
    uint64_t packed = 0;
    for (uint32_t i = 0; i < length; ++i) packed = (packed << 8) | static_cast<uint8_t>(text[i]);
    return static_cast<uint32_t>(packed);
  }
  return value->getInteger();
}

int64_t FAlign::paddingAt(const Section* section, int64_t offset) const {
  int64_t a = getAlignment();
  if (a == -1) return 0;
  if (powerOfTwo) a = roundUpToPowerOfTwo(a);
  // An alignment of 0 asks for nothing, as 1 does.
  if (a == 0) a = 1;
  return paddingTo(section, offset, a);
}

int32_t FAlign::computeSize(Section* section, uint32_t offset) {
  if (size > 0) return size;
  // Padding no section holds is laid out as the largest a node can take: the section
  // passes its bound at this line, and the object output reports it there.
  auto padding = static_cast<int32_t>(std::min<int64_t>(paddingAt(section, offset), INT32_MAX));
  if (padding <= 0) return 0;
  if (section->laidOut) size = padding;
  return padding;
}

void FAlign::emit(ObjectWriter& writer) {
  emitHook(writer);
  Section* section = writer.section;
  if (!section) return;
  int64_t operand = getAlignment();
  int64_t a = operand;
  int32_t location = section->currentLocation();
  const char* message = nullptr;
  int64_t padding = 0;
  if (a == -1) {
    message = errorHandler()->formatMessage(E_invalid_align_expression);
  } else {
    if (powerOfTwo && (a < 1 || (a & (a - 1)) != 0)) {
      a = roundUpToPowerOfTwo(a);
      message = errorHandler()->formatMessage(W_invalid_2k_align, static_cast<int>(a));
    }
    padding = paddingTo(section, location, a == 0 ? 1 : a);
  }
  if (operand > 0 && static_cast<uint64_t>(operand) > section->maxAlignment)
    section->maxAlignment = static_cast<uint32_t>(operand);
  if (message) errorHandler()->reportText(message, line);
  if (padding > 0)
    insertAlignment(writer, *this, static_cast<uint32_t>(padding),
                    bufferFill && listRemark ? kBufferAlignmentRemark : kNoRemark, codeSection != 0);
  if (line) line->setExtra(kLineCycles, cycles);
}

void FAlign::dump(std::ostream& out) const { out << "FAlign()\n"; }

FlowNode* FAlias::clone() const {
  auto* copy = new (std::nothrow) FAlias(line, alias);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  return copy;
}

void FAlias::assign(const FAlias& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  alias = other.alias;
}

void FAlias::emit(ObjectWriter& writer) {
  if (alias) writer.emitObjectSymbol(alias, 0);
  emitHook(writer);
  if (line) line->setExtra(kLineCycles, cycles);
}

void FAlias::dump(std::ostream& out) const {
  out << "FAlias(\"" << (alias && alias->name ? alias->name : "") << "\")\n";
}

void insertAlignment(ObjectWriter& writer, FlowNode& node, uint32_t count, int remarkKind, bool codeFill) {
  Section* section = writer.section;
  int32_t location = section->currentLocation();
  LineInfo* remark = nullptr;
  if (remarkKind != kNoRemark && node.line) remark = addRemarkLine(node.line, section, location, remarkKind);
  if (count < 1) return;

  if (codeFill) {
    uint32_t unitBits = section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8;
    uint32_t unitBytes = (unitBits + 7) / 8;
    uint32_t unitsPerPattern = section->fillLength / unitBytes;
    uint32_t written = 0;
    uint32_t cycleTotal = 0;
    auto at = static_cast<uint32_t>(location);
    while (unitsPerPattern > 0 && count - written >= unitsPerPattern) {
      for (uint32_t i = 0; i < unitsPerPattern; ++i) {
        uint32_t unit = patternUnit(section, i, unitsPerPattern, unitBits);
        placeUnit(section, at + written + i, unit);
        listUnit(remark, unit, unitBytes);
      }
      written += unitsPerPattern;
      cycleTotal += section->fillCycles;
    }
    if (written < count) {
      errorHandler()->report(W_cannot_fill_gap, remark ? remark : node.line);
      for (; written < count; ++written) {
        placeUnit(section, at + written, 0);
        listUnit(remark, 0, unitBytes);
      }
    }
    if (remark) remark->setExtra(kLineCycles, static_cast<uint16_t>(cycleTotal));
  } else if (section->image) {
    ObjectStore& store = writer.store();
    uint32_t status = 0;
    if (store.imageAddZeros(section->objectHandle[0], section->objectHandle[1], static_cast<uint32_t>(location),
                            count, &status))
      reportObjectStoreError(store, status);
  }
  section->advanceLocation(count, node.line);
}
