#include "flow/ExpressionValidator.h"

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"

namespace {

constexpr int32_t kConditionBitsFailed = 4;

uint64_t low64(const std::vector<uint32_t>& words) {
  uint64_t value = 0;
  if (!words.empty()) value = words[0];
  if (words.size() > 1) value |= static_cast<uint64_t>(words[1]) << 32;
  return value;
}

}  // namespace

int ExpressionValidator::checkInteger(int64_t value) {
  if (mask.empty() || pattern.empty()) return 1;
  if (transform) {
    // A node of its own: the transform may keep or change it, the shared ones must not.
    OrbaExpression* transformed = transform(transformContext, new TEInteger(value));
    OrbaExpression* result = transformed ? transformed->evaluate() : nullptr;
    // What the transform cannot turn into an integer is for other checks to judge.
    if (!result || result->getKind() != EK_integer) return 1;
    value = result->getInteger();
  }
  if ((static_cast<uint64_t>(value) & low64(mask)) == low64(pattern)) return 1;
  resultText = errorHandler()->formatMessage(E_incompatible_instruction_expression);
  resultCode = kConditionBitsFailed;
  return 0;
}
