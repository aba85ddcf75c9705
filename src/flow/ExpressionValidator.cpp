#include "flow/ExpressionValidator.h"

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "expr/OrbaExpression.h"
#include "expr/TEBinary.h"
#include "expr/TEError.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/functions.h"
#include "flow/Section.h"

namespace {

uint64_t low64(const std::vector<uint32_t>& words) {
  uint64_t value = 0;
  if (!words.empty()) value = words[0];
  if (words.size() > 1) value |= static_cast<uint64_t>(words[1]) << 32;
  return value;
}

bool isCall(const OrbaExpression* expression) {
  if (!expression) return false;
  uint32_t kind = expression->getKind();
  return kind == EK_function || kind == EK_tricoreFunction;
}

int32_t callCode(const OrbaExpression* expression) {
  return isCall(expression) ? static_cast<const TEFunction*>(expression)->code() : -1;
}

// The integer value of a call's argument; false when it has none.
bool integerArgument(const OrbaExpression* call, int32_t index, int64_t& value) {
  if (!call || call->getArgumentCount() <= index) return false;
  OrbaExpression* argument = call->getArgument(index);
  OrbaExpression* evaluated = argument ? argument->evaluate() : nullptr;
  if (!evaluated || evaluated->isError()) return false;
  uint32_t kind = evaluated->getKind();
  if (kind != EK_integer && kind != EK_string) return false;
  return exprargs::integerValue(evaluated, value) == nullptr;
}

// How many times the value halves while it is above 1: log2 of a power of two.
int halvings(int64_t value) {
  int count = 0;
  while (value > 1) {
    value >>= 1;
    ++count;
  }
  return count;
}

int64_t signExtend32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

const char* rangeText(int64_t low, int64_t high) {
  return low < 0 ? errorHandler()->formatMessage(E_range_error_dec, low, high)
                 : errorHandler()->formatMessage(E_range_error_hex, low, high);
}

}  // namespace

void ExpressionValidator::init(Section* where, uint32_t at, int32_t previous) {
  section = where;
  address = at;
  previousOffset = previous;
  message = nullptr;
}

int ExpressionValidator::validate(OrbaExpression* expression, const Operand& operand) {
  result = 1;
  message = nullptr;
  failureKind = kNoFailure;
  if (!expression) return result;
  // The vectors keep their capacity from one operand to the next.
  mask.assign(operand.maskWords, operand.maskWords + (operand.maskWords ? operand.conditionWords : 0));
  pattern.assign(operand.bitWords, operand.bitWords + (operand.bitWords ? operand.conditionWords : 0));
  transform = operand.transform;
  transformContext = operand.transformContext;
  line = operand.line;

  if (expression->isError()) {
    fail(errorHandler()->formatMessage(E_invalid_expression, TEError::kindText(expression)), kValueError);
    return result;
  }
  if (checkType(expression, operand.acceptedTypes, operand.acceptedCount) == 0) return result = 0;

  switch (callCode(expression)) {
    case FN_INPAGE: result = checkInPage(expression); break;
    case FN_RANGE:
    case FN_WRANGE: {
      int64_t low = 0;
      int64_t high = 0;
      integerArgument(expression, 1, low);
      integerArgument(expression, 2, high);
      rangeLow = low;
      rangeHigh = high;
      warnOnly = callCode(expression) == FN_WRANGE ? 1 : 0;
      OrbaExpression* checked = expression->getArgumentCount() > 0 ? expression->getArgument(0) : nullptr;
      switch (callCode(checked)) {
        case FN_INPAGE: result = checkInPage(checked); break;
        case FN_PCREL: result = checkPcRelative(checked); break;
        case FN_PAGESIZE: {
          int64_t page = 0;
          integerArgument(checked, 1, page);
          pageSize = page;
          result = checkRange(checked->getArgumentCount() > 0 ? checked->getArgument(0) : nullptr);
          break;
        }
        default:
          pageSize = 0;
          result = checkRange(checked);
          break;
      }
      break;
    }
    default: result = checkValue(expression); break;
  }
  return result;
}

int ExpressionValidator::checkType(OrbaExpression* /*expression*/, const uint32_t* /*acceptedTypes*/,
                                   uint32_t acceptedCount) {
  const RunSettings* settings = runState().orbaOptions;
  if (!settings || !settings->typeChecking || acceptedCount == 0) return 2;
  // The expression language gives every operand the neutral type code, and a neutral
  // type passes whatever the operand accepts.
  return 2;
}

bool ExpressionValidator::sectionIsAbsolute(const Section* candidate) const {
  return candidate && candidate->hasAddress;
}

bool ExpressionValidator::valueOf(OrbaExpression* expression, ExprValue& value) {
  value.init();
  if (!expression) return true;
  ExprLocation location;
  location.section = section;
  location.address = address;
  // Where this position stood in the previous pass: a label not yet placed in this
  // pass is estimated at its previous offset plus the distance the code before it has
  // grown since. Without that, a forward jump behind a grown jump measured its target
  // short and was refused.
  location.sectionStart = previousOffset;
  bool error = false;
  expression->getValue(value, location, error);
  if (!error) return true;
  fail(value.errorText ? value.errorText
                       : errorHandler()->formatMessage(E_invalid_expression, TEError::kindText(static_cast<uint32_t>(ERR_generic), nullptr)),
       kValueError);
  return false;
}

bool ExpressionValidator::maskedWithinRange(OrbaExpression* expression) const {
  // A mask or a remainder bounds the result whatever the label's value turns out to be.
  int32_t op = expression->getKind() == EK_binary ? expression->getOperator() : 0;
  if (op != OP_bitAnd && op != OP_remainder) return false;
  for (int32_t side = op == OP_remainder ? 1 : 0; side < 2; ++side) {
    OrbaExpression* operand = expression->getArgument(side);
    OrbaExpression* evaluated = operand ? operand->evaluate() : nullptr;
    if (!evaluated || evaluated->getKind() != EK_integer) continue;
    int64_t m = evaluated->getInteger();
    if (op == OP_bitAnd) {
      bool lowOnes = m >= 0 && (static_cast<uint64_t>(m) & (static_cast<uint64_t>(m) + 1)) == 0;
      if (lowOnes && rangeLow <= 0 && m <= rangeHigh) return true;
    } else if (rangeLow <= 0 && m <= rangeHigh + 1) {
      return true;
    }
  }
  return false;
}

int ExpressionValidator::rangeFailure() {
  if (warnOnly) return 2;
  fail(rangeText(rangeLow, rangeHigh), failureKind);
  return 0;
}

int ExpressionValidator::checkRange(OrbaExpression* expression) {
  int answer = 2;
  ExprValue value;
  if (!expression) return 2;
  if (!valueOf(expression, value)) {
    failureKind = kRangeError;
    return 0;
  }
  bool number = false;
  int64_t v = 0;
  if (value.kind == ExprValue::kAbsolute && value.known) {
    number = true;
    v = value.value;
  } else if (value.kind == ExprValue::kRelative && value.known && sectionIsAbsolute(value.section)) {
    number = true;
    v = value.offset;
  }
  if (number) {
    if (pageSize != 0) v %= pageSize;
    answer = v >= rangeLow && v <= rangeHigh ? checkConditionBits(v) : rangeFailure();
  } else if (maskedWithinRange(expression)) {
    answer = 1;
  } else if (value.kind == ExprValue::kAbsolute || value.kind == ExprValue::kRelative) {
    answer = 2;
  } else if (expression->getKind() == EK_tricoreFunction) {
    answer = undecidedResult();
  } else {
    answer = expression->countSymbolReferences() == 0 ? 0 : 2;
  }
  if (answer != 1 && failureKind != kNoFailure) failureKind = kRangeError;
  return answer;
}

int64_t ExpressionValidator::referenceAddress(OrbaExpression* call) {
  OrbaExpression* offsetArgument = call->getArgumentCount() > 2 ? call->getArgument(2) : nullptr;
  int64_t offset = 0;
  if (sectionIsAbsolute(section) && section->baseExpression() && offsetArgument) {
    // A section at a fixed address measures from its start address plus the offset.
    OrbaExpression* sum = foldBinaryOperation(OP_add, section->baseExpression(), offsetArgument);
    TEBinary* made = nullptr;
    if (!sum) sum = made = new TEBinary(OP_add, section->baseExpression(), offsetArgument);
    OrbaExpression* simplified = sum ? sum->evaluate() : nullptr;
    if (simplified && simplified->getKind() == EK_integer) offset = simplified->getInteger();
    if (made) releaseTempExpression(made);
  } else {
    integerArgument(call, 2, offset);
  }
  return signExtend32(static_cast<int64_t>(address) + offset);
}

int ExpressionValidator::checkInPage(OrbaExpression* call) {
  int answer = 2;
  ExprValue value;
  OrbaExpression* target = call->getArgumentCount() > 0 ? call->getArgument(0) : nullptr;
  if (!valueOf(target, value)) return 0;
  int64_t page = 0;
  integerArgument(call, 3, page);
  pageSize = page;
  const int shift = halvings(static_cast<int32_t>(page));
  bool compare = false;
  int64_t targetValue = 0;
  if (value.kind == ExprValue::kRelative && value.section && value.section == section) {
    if (!sectionIsAbsolute(section)) {
      // A relocatable section stays within one page when the linker keeps it there.
      answer = section->pageSize > 0 && section->pageSize <= page ? 1 : 0;
    } else if (value.known) {
      compare = true;
      targetValue = value.offset;
    }
  } else if (value.kind == ExprValue::kRelative) {
    answer = value.known ? 0 : 2;
  } else if (value.kind == ExprValue::kAbsolute && value.known && sectionIsAbsolute(section)) {
    compare = true;
    targetValue = value.value;
  }
  if (compare) {
    int64_t targetPage = targetValue >> shift;
    int64_t referencePage = referenceAddress(call) >> shift;
    answer = targetPage != referencePage ? 0 : checkConditionBits(targetPage);
  }
  if (answer != 1 && failureKind != kNoFailure) failureKind = kValueError;
  return answer;
}

int ExpressionValidator::checkPcRelative(OrbaExpression* call) {
  ExprValue value;
  OrbaExpression* target = call->getArgumentCount() > 0 ? call->getArgument(0) : nullptr;
  if (!valueOf(target, value)) return 0;
  int64_t targetValue = 0;
  if (value.kind == ExprValue::kRelative) {
    // Another section's distance is the linker's to check.
    if (!value.known || value.section != section) return 2;
    targetValue = value.offset;
  } else if (value.kind == ExprValue::kAbsolute) {
    if (!sectionIsAbsolute(section) || !value.known) return 0;
    targetValue = value.value;
  } else {
    return 0;
  }
  int64_t distance = signExtend32(targetValue - referenceAddress(call));
  int64_t width = 0;
  integerArgument(call, 3, width);
  if (width != 0) {
    const int k = halvings(width);
    if (k > 0) {
      bool bit = (static_cast<uint64_t>(distance) >> (k - 1)) & 1;
      if ((distance > 0 && bit) || (distance < 0 && !bit))
        distance ^= static_cast<int64_t>(~uint64_t{0} << k);
    }
  }
  if (distance >= rangeLow && distance <= rangeHigh) return checkConditionBits(distance);
  if (warnOnly) return 2;
  message = rangeText(rangeLow, rangeHigh);
  return 0;
}

int ExpressionValidator::checkValue(OrbaExpression* expression) {
  ExprValue value;
  if (!valueOf(expression, value)) return 0;
  if (value.kind != ExprValue::kAbsolute || !value.known) return 1;
  return checkConditionBits(value.value);
}

int ExpressionValidator::checkConditionBits(int64_t value) {
  if (mask.empty() || pattern.empty()) return 1;
  if (transform) {
    // A node of its own: the transform may keep or change it, the shared ones must not.
    OrbaExpression* transformed = transform(transformContext, new TEInteger(value));
    OrbaExpression* evaluated = transformed ? transformed->evaluate() : nullptr;
    // What the transform cannot turn into an integer is for other checks to judge.
    if (!evaluated || evaluated->getKind() != EK_integer) return 1;
    value = evaluated->getInteger();
  }
  if ((static_cast<uint64_t>(value) & low64(mask)) == low64(pattern)) return 1;
  fail(errorHandler()->formatMessage(E_incompatible_instruction_expression), kConditionBitsFailed);
  return 0;
}
