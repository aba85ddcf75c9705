#include "flow/FFloatData.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>

#include "expr/ExprReport.h"
#include "expr/OrbaExpression.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFract.h"
#include "flow/DataEncoder.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

VEKT_POOLED_CLASS_IMPL(FFloat, "FFloat")
VEKT_POOLED_CLASS_IMPL(FFract, "FFract")

namespace {

// Both sizes are fixed per value, so they are stored at once.
int32_t numericSize(FlowNode& node, const Section* section, uint32_t width, size_t valueCount) {
  if (node.size > 0) return node.size;
  uint32_t unitBits = section && section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8;
  uint64_t units = (width + unitBits - 1) / unitBits * static_cast<uint64_t>(valueCount);
  node.size = static_cast<int32_t>(std::min<uint64_t>(units, INT32_MAX));
  return node.size;
}

bool isNumber(const OrbaExpression* value) {
  return value->getKind() == EK_integer || value->getKind() == EK_double;
}

// Normal numbers only: a denormal or an infinite value has no place in the format.
bool fitsFloat(double value, uint32_t width) {
  if (value == 0.0) return true;
  double magnitude = std::fabs(value);
  if (width == 64) return magnitude >= 2.2250738585072014e-308 && magnitude <= 1.7976931348623157e+308;
  return magnitude >= 1.1754943508222875e-38 && magnitude <= 3.4028234663852886e+38;
}

}  // namespace

FFloat* FFloat::create(Directive directive, LineInfo* line) {
  if (directive == kDouble) return new FFloat(line, ".DOUBLE", kDoubleCode, 64);
  return new FFloat(line, ".FLOAT", kFloatCode, 32);
}

FlowNode* FFloat::clone() const {
  auto* copy = new (std::nothrow) FFloat(line, directive, directiveId, width);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->values = values;
  return copy;
}

void FFloat::assign(const FFloat& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  width = other.width;
  copyData(other);
}

int32_t FFloat::computeSize(Section* section, uint32_t /*offset*/) {
  return numericSize(*this, section, width, values.size());
}

void FFloat::emit(ObjectWriter& writer) {
  emitHook(writer);
  int32_t fallback = width == 64 ? E_double_expression_expected : E_float_expression_expected;
  if (!writer.section->image) {
    emitWithoutImage(writer, fallback, false);
  } else {
    for (OrbaExpression* written : values) {
      OrbaExpression* value = written->evaluate();
      if (!value || value->isError()) {
        reportExpressionError(value ? value->getErrorKind() : ERR_cannotEvaluate,
                              value ? TEError::kindText(value) : nullptr, fallback, line);
        value = nullptr;
      } else if (!isNumber(value)) {
        errorHandler()->report(fallback, line);
        value = nullptr;
      } else if (!fitsFloat(value->getDouble(), width)) {
        errorHandler()->report(E_range_error, line);
        value = nullptr;
      }
      if (!value) value = TEDouble::create(0.0);
      encodeDataConstant(writer, *this, value, width, false, 0, EK_double);
    }
  }
  setLineCycles(line, cycles);
}

void FFloat::dump(std::ostream& out) const { out << "FFloat()\n"; }

FFract* FFract::create(Directive directive, LineInfo* line) {
  switch (directive) {
    case kSfract: return new FFract(line, ".SFRACT", kSfractCode, 0, 16);
    case kAccum: return new FFract(line, ".ACCUM", kAccumCode, 17, 64);
    case kFract: break;
  }
  return new FFract(line, ".FRACT", kFractCode, 0, 32);
}

FlowNode* FFract::clone() const {
  auto* copy = new (std::nothrow) FFract(line, directive, directiveId, integerBits, width);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->values = values;
  return copy;
}

void FFract::assign(const FFract& other) {
  if (&other == this) return;
  releaseData();
  assignBase(other);
  integerBits = other.integerBits;
  width = other.width;
  copyData(other);
}

int32_t FFract::computeSize(Section* section, uint32_t /*offset*/) {
  return numericSize(*this, section, width, values.size());
}

void FFract::emit(ObjectWriter& writer) {
  emitHook(writer);
  if (!writer.section->image) {
    emitWithoutImage(writer, E_fract_expression_expected, false);
  } else {
    for (OrbaExpression* written : values) {
      OrbaExpression* value = written->evaluate();
      double number = 0.0;
      if (!value || value->isError()) {
        reportExpressionError(value ? value->getErrorKind() : ERR_cannotEvaluate,
                              value ? TEError::kindText(value) : nullptr,
                              E_fract_expression_expected, line);
        value = nullptr;
      } else if (isNumber(value)) {
        number = std::ldexp(value->getDouble(), -static_cast<int>(integerBits));
        // Out of range is reported and still encoded: the encoding saturates.
        if (number < -1.0 || number >= 1.0) errorHandler()->report(E_range_error, line);
        value = nullptr;
      } else if (value->getKind() != EK_fract) {
        errorHandler()->report(E_fract_expression_expected, line);
        value = nullptr;
      }
      OrbaExpression* made = nullptr;
      if (!value) value = made = new TEFract(number, static_cast<int32_t>(width));
      encodeDataConstant(writer, *this, value, width, false, 0, 0);
      // The pool takes the node back with the run, but not the bytes the node holds.
      releaseTempExpression(made);
    }
  }
  setLineCycles(line, cycles);
}

void FFract::dump(std::ostream& out) const { out << "FFract()\n"; }
