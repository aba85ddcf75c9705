#include "flow/FConstant.h"

#include <algorithm>
#include <initializer_list>
#include <cstring>
#include <ostream>

#include "expr/ExprReport.h"
#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/functions.h"
#include "flow/DataEncoder.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FConstant, "FConstant")

namespace {

bool isDebugSection(const Section* section) { return section && section->type == Section::kDebug; }

// A symbol of a fixed-address section whose name has a ".private" part cannot be
// given its value in debug information: it goes out as a reference.
bool refersToPrivateAbsoluteSection(const Section* section, const OrbaExpression* value) {
  if (!isDebugSection(section) || value->getKind() != EK_symbol) return false;
  const Symbol* symbol = value->getSymbol();
  const Section* home = symbol ? symbol->section : nullptr;
  if (!home || !home->hasAddress || !home->getName()) return false;
  const char* name = home->getName();
  if (*name == '.') ++name;
  const char* dot = std::strchr(name, '.');
  return dot && std::strncmp(dot, ".private", 8) == 0;
}

// The relocation-form test with the reference count already known to be one.
bool isSimpleSingleReference(const OrbaExpression* expression) {
  switch (expression->getKind()) {
    case EK_symbol: return true;
    case EK_binary: {
      const OrbaExpression* left = expression->getArgument(0);
      const OrbaExpression* right = expression->getArgument(1);
      if (!left || !right) return false;
      bool leftHolds = left->countSymbolReferences() == 1;
      if (expression->getOperator() == OP_add)
        return isSimpleSingleReference(leftHolds ? left : right);
      if (expression->getOperator() == OP_subtract) return leftHolds && isSimpleSingleReference(left);
      return false;
    }
    default: return false;
  }
}

bool isFunctionOf(const OrbaExpression* expression, std::initializer_list<int32_t> codes) {
  if (!expression->hasOperands() || expression->getArgumentCount() < 1) return false;
  int32_t code = expression->getOperator();
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

bool isSimpleRelocation(const OrbaExpression* expression, const LineInfo* line) {
  if (line && isDebugSection(line->section)) return true;
  if (isFunctionOf(expression, {FN_RANGE, FN_WRANGE})) {
    expression = expression->getArgument(0);
    if (expression && isFunctionOf(expression, {FN_INPAGE, FN_PAGESIZE, FN_PCREL}))
      expression = expression->getArgument(0);
  }
  if (!expression) return false;
  uint32_t references = expression->countSymbolReferences();
  if (references == 0) return true;
  return references == 1 && isSimpleSingleReference(expression);
}

void FDataNode::releaseData() {
  values.clear();
  values.shrink_to_fit();
}

void FDataNode::copyData(const FDataNode& other) {
  directive = other.directive;
  directiveId = other.directiveId;
  values = other.values;
}

int32_t FDataNode::emitWithoutImage(ObjectWriter& writer, int32_t fallbackId, bool noStorageWarning) {
  Section* section = writer.section;
  errorHandler()->report(E_no_constant_allocation, line, directive);
  int32_t units = computeSize(section, static_cast<uint32_t>(section->currentLocation()));
  if (units <= 0) {
    if (noStorageWarning) errorHandler()->report(W_no_storage_allocation, line, directive);
  } else if (section->advanceLocation(units, line)) {
    setLineSize(line, static_cast<uint32_t>(units));
  }
  for (OrbaExpression* value : values)
    if (value->isError())
      reportExpressionError(value->getErrorKind(), TEError::kindText(value), fallbackId, line);
  return units;
}

FConstant* FConstant::create(Directive directive, LineInfo* line) {
  // Strings are packed into elements of the section's unit; the switch for it is
  // always on.
  auto stringWidth = [line] {
    int32_t unitBits = line && line->section ? line->section->mauBits : 8;
    return static_cast<uint8_t>(unitBits > 0 && unitBits <= 64 ? unitBits : 8);
  };
  switch (directive) {
    case kByte: return new FConstant(line, ".BYTE", kByteCode, 8, 0, 0);
    case kHalf: return new FConstant(line, ".HALF", kHalfCode, 16, 0, 0);
    case kWord: return new FConstant(line, ".WORD", kWordCode, 32, kWordRelocation, 0);
    case kAscii: return new FConstant(line, ".ASCII", 0, stringWidth(), 0, 1);
    case kAsciiz: return new FConstant(line, ".ASCIIZ", 0, stringWidth(), 0, 1);
  }
  return nullptr;
}

void FConstant::addOperand(OrbaExpression* operand) {
  bool ascii = std::strcmp(directive, ".ASCII") == 0;
  bool asciiz = std::strcmp(directive, ".ASCIIZ") == 0;
  if (ascii || asciiz) {
    OrbaExpression* simplified = operand ? operand->evaluate() : nullptr;
    if (!simplified || simplified->getKind() != EK_string) {
      errorHandler()->report(E_string_expression_expected, line);
      operand = TEString::intern("", 0);
    }
  }
  addValue(operand);
  if (asciiz) addValue(TEString::intern("", 0));
}

FlowNode* FConstant::clone() const {
  auto* copy = new (std::nothrow)
      FConstant(line, directive, directiveId, width, relocationType, packStrings);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->values = values;
  return copy;
}

void FConstant::assign(const FConstant& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  width = other.width;
  relocationType = other.relocationType;
  packStrings = other.packStrings;
  copyData(other);
}

int32_t FConstant::computeSize(Section* section, uint32_t /*offset*/) {
  if (size > 0) return size;
  uint32_t unitBits = section && section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8;
  uint32_t unitBytes = (unitBits + 7) / 8;
  uint64_t elementBytes = std::max(1u, (width + unitBits - 1) / unitBits) * unitBytes;
  uint64_t units = 0;
  for (OrbaExpression* value : values) {
    OrbaExpression* simplified = value->evaluate();
    if (!simplified || simplified->isError()) simplified = value;
    uint64_t bytes = elementBytes;
    if (simplified->getKind() == EK_string) {
      uint64_t length = simplified->getStringLength();
      if (length == 1 || (length > 1 && !packStrings))
        bytes = length * elementBytes;
      else if (length > 1)
        bytes = (length + elementBytes - 1) / elementBytes * elementBytes;
    }
    units += (bytes + unitBytes - 1) / unitBytes;
  }
  auto total = static_cast<int32_t>(std::min<uint64_t>(units, INT32_MAX));
  if (section && section->laidOut) size = total;
  return total;
}

void FConstant::emit(ObjectWriter& writer) {
  emitHook(writer);
  Section* section = writer.section;
  if (!section->image) {
    emitWithoutImage(writer, E_invalid_object_expression, true);
  } else {
    for (OrbaExpression* written : values) {
      OrbaExpression* value = written;
      if (written->isError()) {
        reportExpressionError(written->getErrorKind(), TEError::kindText(written),
                              E_invalid_object_expression, line);
        value = TEInteger::create(0);
      } else {
        OrbaExpression* simplified =
            refersToPrivateAbsoluteSection(section, written) ? nullptr : written->evaluate();
        if (simplified && !simplified->isError()) {
          uint32_t kind = simplified->getKind();
          value = simplified;
          if (kind != EK_integer && kind != EK_string) {
            errorHandler()->report(E_int_string_expression_expected, line);
            value = TEInteger::create(0);
          }
        } else if (relocationType == 0 || !isSimpleRelocation(written, line)) {
          // Not known before link time, and not a form a relocation can carry.
          errorHandler()->report(E_invalid_object_expression, line);
          value = TEInteger::create(0);
        }
      }
      if (value->getKind() == EK_integer && width < 64) {
        // Both readings are accepted: signed from -2^(w-1), unsigned up to 2^w - 1.
        int64_t lowest = -(int64_t{1} << (width - 1));
        int64_t highest = (int64_t{1} << width) - 1;
        int64_t number = value->getInteger();
        if (number < lowest || number > highest)
          errorHandler()->report(E_range_error_dec, line, lowest, highest);
      }
      encodeDataConstant(writer, *this, value, width, packStrings, relocationType, 0);
    }
  }
  setLineCycles(line, cycles);
}

void FConstant::dump(std::ostream& out) const {
  out << "FConstant(";
  for (const OrbaExpression* value : values) {
    out << "\n\texpr = ";
    value->print(out, 0);
  }
  out << "\n)\n";
}
