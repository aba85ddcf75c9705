#include "flow/FLabel.h"

#include <ostream>

#include "expr/OrbaExpression.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "flow/DataEncoder.h"
#include "flow/FAlign.h"
#include "flow/FlowWalker.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FLabel, "FLabel")

namespace {

// First-flag-byte bit of a symbol that still waits for the value its label gives.
constexpr uint8_t kAwaitsLabelValue = 0x04;

struct LabelPadding {
  int64_t alignment;
  int64_t padding;
};

// The padding the alignment asks for at offset, with the alignment after any
// power-of-two rounding.
LabelPadding labelPadding(const Section* section, int64_t alignment, int64_t offset) {
  if (section->flags.powerOfTwoAlignment()) alignment = roundUpToPowerOfTwo(alignment);
  if (alignment <= 0) return {alignment, 0};
  int64_t remainder = section->addressOf(offset) % alignment;
  int64_t padding = remainder == 0 ? 0 : static_cast<int32_t>(alignment - remainder);
  return {alignment, padding > 0 ? padding : 0};
}

// The location the list file prints for the label: the offset in its value.
int32_t listedLocation(const OrbaExpression* value) {
  if (!value) return 0;
  if (value->getKind() == EK_integer) return static_cast<int32_t>(value->getInteger());
  if (value->getKind() == EK_binary && value->getOperator() == OP_add) {
    const OrbaExpression* right = value->getArgument(1);
    if (right && right->getKind() == EK_integer) return static_cast<int32_t>(right->getInteger());
  }
  return 0;
}

// The rest of writing a label once its padding is placed: the line's location and,
// for a symbol the layout gave no value, the current location in the object store.
void giveLabelValue(ObjectWriter& writer, Symbol* symbol, LineInfo* line) {
  Section* section = writer.section;
  if (line) line->setCodeAddress(listedLocation(symbol->valueExpression));

  bool awaitsValue = (symbol->flags[0] & kAwaitsLabelValue) &&
                     !(symbol->flags[0] & (Symbol::kInternal | Symbol::kBinding6));
  if (!awaitsValue || !section || section == placeholderSection() || symbol->valueExpression) return;

  int32_t location = section->currentLocation();
  Section* home = symbol->section;
  OrbaExpression* value;
  if (!home || home == placeholderSection())
    value = TEInteger::create(location);
  else if (location == 0)
    value = home->baseExpression();
  else
    value = TEBinary::create(home->baseExpression(), OP_add, location);
  symbol->valueExpression = value;
  noteSymbolValueChange();

  ObjectStore& store = writer.store();
  ExprNode* converted = emitExpressionValue(value, writer, line, 0);
  uint32_t status = 0;
  // A symbol the writer kept out of the store has neither file nor number there.
  const uint32_t fileId = symbol->objectSymbolId != 0 ? writer.fileId : 0;
  if (store.symbolSetValue(fileId, symbol->objectSymbolId, converted, &status))
    reportObjectStoreError(store, status);
  if (converted) store.releaseExpression(converted);
}

}  // namespace

void FLabel::followToSection(const Section& from, Section& to) {
  // The symbol names the place of the label: a label that opens the default section
  // stands in it, not at a number.
  if (symbol && symbol->section == &from) symbol->section = &to;
}

FlowNode* FLabel::clone() const {
  auto* copy = new (std::nothrow) FLabel(line, symbol);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->alignment = alignment;
  return copy;
}

int32_t FLabel::computeSize(Section* section, uint32_t offset) {
  if (size > 0) return size;
  if (alignment <= 0) return 0;
  auto padding = static_cast<int32_t>(labelPadding(section, alignment, offset).padding);
  if (padding > 0 && section->laidOut) size = padding;
  return padding;
}

void FLabel::emit(ObjectWriter& writer) {
  if (!symbol) return;
  writer.emitObjectSymbol(symbol, 0);
  Section* section = writer.section;

  if (alignment > 0 && section) {
    LabelPadding padding = labelPadding(section, alignment, section->currentLocation());
    if (padding.alignment != alignment)
      errorHandler()->reportText(errorHandler()->formatMessage(W_invalid_2k_align, static_cast<int>(padding.alignment)),
                                 line);
    if (padding.padding > 0) {
      bool hidden = symbol->name && symbol->name[0] == '_' && symbol->name[1] == '*';
      insertAlignment(writer, *this, static_cast<uint32_t>(padding.padding),
                      hidden ? kAlignmentRemark : kLabelAlignmentRemark, true);
    }
    if (static_cast<uint32_t>(alignment) > section->maxAlignment)
      section->maxAlignment = static_cast<uint32_t>(alignment);
  }
  giveLabelValue(writer, symbol, line);
}

void emitLabelSymbol(ObjectWriter& writer, Symbol* symbol, LineInfo* line) {
  if (!symbol) return;
  writer.emitObjectSymbol(symbol, 0);
  giveLabelValue(writer, symbol, line);
}

namespace {

// The offset a label value holds: the integer itself, or the integer right operand
// of "base + offset"; -1 when the value is neither.
int64_t placedOffset(const OrbaExpression* value, const OrbaExpression* base) {
  if (!value) return -1;
  if (value == base) return 0;
  if (value->getKind() == EK_integer) return value->getInteger();
  if (value->getKind() == EK_binary && value->getOperator() == OP_add && value->getArgument(0) == base) {
    const OrbaExpression* right = value->getArgument(1);
    if (right && right->getKind() == EK_integer) return right->getInteger();
  }
  return -1;
}

}  // namespace

void placeLabelSymbol(Symbol* symbol, int32_t offset, uint32_t pass) {
  if (!symbol) return;
  symbol->layoutBlock = pass;
  Section* home = symbol->section;
  bool plain = !home || home == placeholderSection();
  OrbaExpression* base = plain ? nullptr : home->baseExpression();
  if (placedOffset(symbol->valueExpression, base) == offset &&
      (plain ? symbol->valueExpression->getKind() == EK_integer : base != nullptr))
    return;
  if (plain || !base)
    symbol->valueExpression = TEInteger::create(offset);
  else if (offset == 0)
    symbol->valueExpression = base;
  else
    symbol->valueExpression = TEBinary::create(base, OP_add, offset);
  noteSymbolValueChange();
}

void FLabel::dump(std::ostream& out) const {
  if (symbol) {
    out << "FLabel(name = \"" << (symbol->name ? symbol->name : "") << "\", address = ";
    if (symbol->valueExpression)
      symbol->valueExpression->print(out, 0);
    else
      out << "<not-set>";
  } else {
    out << "FLabel(name = \"<not-set>\"";
  }
  out << ", alignment = " << alignment << ")\n";
}
