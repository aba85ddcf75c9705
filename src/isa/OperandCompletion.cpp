#include "isa/OperandCompletion.h"

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/ExprReport.h"
#include "expr/OrbaExpression.h"
#include "expr/TEFunction.h"
#include "expr/TETricoreFunction.h"
#include "expr/functions.h"
#include "flow/ExpressionValidator.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"

namespace isa {

namespace {

// The kind of FieldConstant that holds a plain 32-bit value.
constexpr uint32_t kPlainConstant = 1;

enum class FieldState { kNoValue, kUnknown, kKnown, kOutOfRange };

struct FieldValue {
  FieldState state = FieldState::kNoValue;
  int64_t value = 0;
  // kOutOfRange: the check whose bounds the value breaks; null when the range error
  // comes from a check nested deeper, whose bounds do not reach the field.
  const TEFunction* check = nullptr;
};

const TEFunction* rangeCheckOf(OrbaExpression* expression) {
  uint32_t kind = expression->getKind();
  if (kind != EK_function && kind != EK_tricoreFunction) return nullptr;
  const auto* call = static_cast<const TEFunction*>(expression);
  return call->code() == FN_RANGE || call->code() == FN_WRANGE ? call : nullptr;
}

bool knownInteger(OrbaExpression* value, int64_t& out) {
  if (!value) return false;
  uint32_t kind = value->getKind();
  if (kind != EK_integer && kind != EK_string) return false;
  return exprargs::integerValue(value, out) == nullptr;
}

// The value of the expression as the field encodes it: through the post-encode callback
// when the field has one.
OrbaExpression* encodedValue(const OperandEncoding& field, OrbaExpression* expression) {
  if (!field.callback) return expression->evaluate();
  // The callback computes from the operand; it gets a copy of the pointer, so a check
  // that only asks leaves the field as it was.
  OrbaExpression* argument = expression;
  OrbaExpression* made = field.callback(field.context, &argument);
  OrbaExpression* result = made ? made->evaluate() : nullptr;
  // The node the callback made is asked once; the value may be the node itself.
  if (made != expression && made != result) releaseTempExpression(made);
  return result;
}

FieldValue valueOf(const OperandEncoding& field) {
  FieldValue result;
  if (!field.expression) return result;
  OrbaExpression* value = encodedValue(field, field.expression);
  if (knownInteger(value, result.value)) {
    result.state = FieldState::kKnown;
  } else if (value && value->isError() && value->getErrorKind() == ERR_range) {
    result.state = FieldState::kOutOfRange;
    // A callback wraps the operand, so the check is the field's own expression.
    result.check = rangeCheckOf(field.expression);
  } else {
    // Symbols, and checks that cannot be decided here, are for the relocation.
    result.state = FieldState::kUnknown;
  }
  return result;
}

bool conditionBitsMet(const OperandEncoding& field, int64_t value, ExpressionValidator& validator) {
  if (!field.mask || !field.expect || field.mask->kind != kPlainConstant || field.expect->kind != kPlainConstant)
    return true;
  validator.mask.assign(1, field.mask->value);
  validator.pattern.assign(1, field.expect->value);
  validator.transform = nullptr;
  return validator.checkInteger(value) != 0;
}

void markUnknown(const OperandEncoding& field, uint32_t (&bits)[8]) {
  for (const OperandMapping& run : field.mapping)
    for (uint32_t position = run.destination; position < run.destination + run.length && position < kImageBits;
         ++position)
      bits[7 - position / 32] |= 1u << (position % 32);
}

}  // namespace

bool operandFieldsFit(const Encoding& encoding, ExpressionValidator& validator) {
  for (const OperandEncoding* field : encoding.operands) {
    FieldValue value = valueOf(*field);
    switch (value.state) {
      case FieldState::kNoValue:
      case FieldState::kUnknown: break;
      case FieldState::kKnown:
        if (!conditionBitsMet(*field, value.value, validator)) return false;
        break;
      case FieldState::kOutOfRange:
        if (!value.check || value.check->code() != FN_WRANGE) return false;
        break;
    }
  }
  return true;
}

FieldCompletion completeOperandFields(Encoding& encoding, const LineInfo* line, ExpressionValidator& validator) {
  FieldCompletion completion;
  for (OperandEncoding* field : encoding.operands) {
    FieldValue value = valueOf(*field);
    if (value.state == FieldState::kOutOfRange) {
      OrbaExpression* bounded = nullptr;
      if (!value.check || !reportRangeDiagnostic(*value.check, bounded)) {
        reportExpressionError(ERR_range, nullptr, E_expression_error, line);
        ++completion.errors;
        continue;
      }
      if (value.check->code() != FN_WRANGE) {
        ++completion.errors;
        continue;
      }
      // The warning keeps the value that broke the bounds.
      OrbaExpression* kept = encodedValue(*field, value.check->arguments()[0]);
      value.state = knownInteger(kept, value.value) ? FieldState::kKnown : FieldState::kUnknown;
    }
    if (value.state == FieldState::kUnknown) markUnknown(*field, completion.unknownBits);
    if (value.state != FieldState::kKnown) continue;
    if (!conditionBitsMet(*field, value.value, validator)) {
      errorHandler()->report(E_incompatible_instruction_expression, line);
      ++completion.errors;
    }
    for (const OperandMapping& run : field->mapping)
      encoding.orBits(static_cast<uint64_t>(value.value), run.length, run.source, run.destination);
  }
  return completion;
}

FieldCompletion completeCandidate(IPInstruction& candidate, const LineInfo* line, ExpressionValidator& validator) {
  FieldCompletion completion;
  if (candidate.encoding) completion = completeOperandFields(*candidate.encoding, line, validator);
  if (candidate.attributes) candidate.attributes->issueConditionalWarnings(line);
  return completion;
}

}  // namespace isa
