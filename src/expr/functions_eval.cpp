// What each @-function computes. Failures are error nodes, never diagnostics: the
// consumer that needs the value reports them at its own position.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFract.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/TETricoreFunction.h"
#include "expr/functions.h"

namespace exprargs {

OrbaExpression* evaluated(OrbaExpression* argument, OrbaExpression*& result) {
  // A builder that failed leaves a null argument behind.
  result = argument != nullptr ? argument->evaluate() : nullptr;
  if (result == nullptr) return TEError::kind5();
  if (result->isError()) return result;
  return nullptr;
}

namespace {
// A string counts as its first 32 bytes packed big-endian; only the last eight stay.
int64_t packedString(const OrbaExpression* string) {
  const char* text = string->getString();
  uint32_t length = string->getStringLength();
  uint64_t packed = 0;
  for (uint32_t i = 0; i < length && i < 32; ++i)
    packed = (packed << 8) | static_cast<unsigned char>(text[i]);
  return static_cast<int64_t>(packed);
}
}  // namespace

OrbaExpression* numericValue(OrbaExpression* value, double& out) {
  switch (value->getKind()) {
    case EK_double:
      out = value->getDouble();
      return nullptr;
    case EK_integer:
      out = static_cast<double>(value->getInteger());
      return nullptr;
    case EK_string:
      out = static_cast<double>(packedString(value));
      return nullptr;
    default:
      return TEError::kind5();
  }
}

// Strings pack as in the numeric rule rather than stopping the program: a character
// constant is a string in this language and is a natural argument here.
OrbaExpression* integerValue(OrbaExpression* value, int64_t& out) {
  switch (value->getKind()) {
    case EK_integer:
    case EK_double:
    case EK_fract:
      out = value->getInteger();
      return nullptr;
    case EK_string:
      out = packedString(value);
      return nullptr;
    default:
      return TEError::kind5();
  }
}

}  // namespace exprargs

using namespace exprargs;

namespace {

// Truncation toward zero that stays defined for values outside the 64-bit range.
int64_t truncateToInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775808.0) return INT64_MAX;
  if (value < -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(value);
}

bool isString(const OrbaExpression* value) { return value->getKind() == EK_string; }

// Position of pattern in text at or after start; the text length when absent.
uint32_t findBytes(const char* text, uint32_t length, const char* pattern, uint32_t patternLength,
                   uint32_t start) {
  if (patternLength == 0) return start;
  for (uint32_t i = start; patternLength <= length && i <= length - patternLength; ++i)
    if (std::memcmp(text + i, pattern, patternLength) == 0) return i;
  return length;
}

}  // namespace

bool TEFunction::mathResultValid(int errorIndicator, int32_t) const { return errorIndicator == 0; }

OrbaExpression* TEFunction::evaluate() {
  OrbaExpression* first = nullptr;
  OrbaExpression* second = nullptr;
  switch (code_) {
    case FN_ABS:
    case FN_CEL:
    case FN_FLR:
    case FN_L10:
    case FN_LOG:
    case FN_SGN:
    case FN_SQT:
    case FN_XPN:
      if (arguments_.empty()) return TEError::kind5();
      if (OrbaExpression* failed = evaluated(arguments_[0], first)) return failed;
      return evaluateDouble1(code_, first);
    case FN_ACS:
    case FN_ASN:
    case FN_ATN:
    case FN_COH:
    case FN_COS:
    case FN_SIN:
    case FN_SNH:
    case FN_TAN:
    case FN_TNH:
      if (arguments_.empty()) return TEError::kind5();
      if (OrbaExpression* failed = evaluated(arguments_[0], first)) return failed;
      return evaluateTrigonometric(code_, first);
    case FN_AT2:
    case FN_POW:
      if (arguments_.size() < 2) return TEError::kind5();
      if (OrbaExpression* failed = evaluated(arguments_[0], first)) return failed;
      if (OrbaExpression* failed = evaluated(arguments_[1], second)) return failed;
      return code_ == FN_AT2 ? evaluateDouble2(code_, first, second)
                             : evaluatePower(code_, first, second);
    case FN_RND:
      return evaluateNullary(code_);
    case FN_MAX:
    case FN_MIN:
      return evaluateMinMax(code_, arguments_);
    case FN_LEN:
    case FN_POS:
    case FN_SCP:
    case FN_CAT:
    case FN_SUB:
      return evaluateString(code_, arguments_);
    case FN_CONDITIONAL:
      return evaluateConditional(code_, arguments_);
    case FN_CVF:
    case FN_CVI:
    case FN_FLD:
    case FN_SFRACT:
    case FN_MSB:
    case FN_FRACT:
    case FN_LNG:
    case FN_LSB:
    case FN_LUN:
    case FN_RVB:
    case FN_UNF:
      return evaluateBits(code_, arguments_);
    case FN_EXP:
    case FN_INT:
      return evaluateTest(code_, arguments_);
    case FN_RANGE:
    case FN_WRANGE:
      return evaluateRange(code_, arguments_);
    case FN_PCREL:
      return evaluatePcRelative(code_, arguments_);
    case FN_INPAGE:
      return evaluateInPage(code_, arguments_);
    case FN_PAGESIZE:
      return evaluatePageOffset(code_, arguments_);
    default:
      return TEError::kind5();
  }
}

OrbaExpression* TEFunction::evaluateDouble1(int32_t code, OrbaExpression* argument) {
  double x = 0.0;
  if (OrbaExpression* failed = numericValue(argument, x)) return failed;
  double result = 0.0;
  errno = 0;
  switch (code) {
    case FN_ABS:
      return TEInteger::create(truncateToInt64(std::fabs(x)));
    case FN_SGN:
      return TEInteger::create(x < 0.0 ? -1 : (x > 0.0 ? 1 : 0));
    case FN_SQT:
      if (x < 0.0) return TEError::kind9();
      return TEDouble::create(std::sqrt(x));
    case FN_CEL:
      result = std::ceil(x);
      break;
    case FN_FLR:
      result = std::floor(x);
      break;
    case FN_L10:
    case FN_LOG:
      if (x == 0.0) return TEError::kind8();
      if (x < 0.0) return TEError::kind9();
      result = code == FN_L10 ? std::log10(x) : std::log(x);
      break;
    case FN_XPN:
      result = std::exp(x);
      break;
    default:
      invalidCode(__LINE__);
  }
  if (!mathResultValid(errno, code)) return TEError::kind5();
  return TEDouble::create(result);
}

OrbaExpression* TEFunction::evaluateTrigonometric(int32_t code, OrbaExpression* argument) {
  double x = 0.0;
  if (OrbaExpression* failed = numericValue(argument, x)) return failed;
  double result = 0.0;
  errno = 0;
  switch (code) {
    case FN_ACS:
    case FN_ASN:
      if (x < -1.0 || x > 1.0) return TEError::kind9();
      result = code == FN_ACS ? std::acos(x) : std::asin(x);
      break;
    case FN_ATN:
      result = std::atan(x);
      break;
    case FN_COH:
      result = std::cosh(x);
      break;
    case FN_SNH:
      result = std::sinh(x);
      break;
    case FN_TNH:
      result = std::tanh(x);
      break;
    case FN_COS:
    case FN_SIN:
    case FN_TAN:
      if (std::isinf(x)) return TEError::kind9();
      result = code == FN_COS ? std::cos(x) : code == FN_SIN ? std::sin(x) : std::tan(x);
      break;
    default:
      invalidCode(__LINE__);
  }
  if (!mathResultValid(errno, code)) return TEError::kind5();
  return TEDouble::create(result);
}

OrbaExpression* TEFunction::evaluateDouble2(int32_t code, OrbaExpression* first,
                                            OrbaExpression* second) {
  if (code != FN_AT2) invalidCode(__LINE__);
  double y = 0.0;
  double x = 0.0;
  if (OrbaExpression* failed = numericValue(first, y)) return failed;
  if (OrbaExpression* failed = numericValue(second, x)) return failed;
  errno = 0;
  double result = std::atan2(y, x);
  if (!mathResultValid(errno, code)) return TEError::kind5();
  return TEDouble::create(result);
}

OrbaExpression* TEFunction::evaluatePower(int32_t code, OrbaExpression* first,
                                          OrbaExpression* second) {
  if (code != FN_POW) invalidCode(__LINE__);
  double x = 0.0;
  double y = 0.0;
  if (OrbaExpression* failed = numericValue(first, x)) return failed;
  if (OrbaExpression* failed = numericValue(second, y)) return failed;
  if (x == 0.0 && y < 0.0) return TEError::kind8();
  if (x < 0.0 && std::isfinite(x) && std::isfinite(y)) {
    double integral = 0.0;
    if (std::modf(y, &integral) != 0.0) return TEError::kind9();
  }
  errno = 0;
  double result = std::pow(x, y);
  if (!mathResultValid(errno, code)) return TEError::kind5();
  return TEDouble::create(result);
}

OrbaExpression* TEFunction::evaluateNullary(int32_t code) {
  if (code != FN_RND) invalidCode(__LINE__);
  // The generator's values are taken as 0..32767 whatever the host's RAND_MAX.
  constexpr double kScale = 1.0 / 32767.0;
  return TEDouble::create(static_cast<double>(std::rand() & 0x7FFF) * kScale);
}

OrbaExpression* TEFunction::evaluateMinMax(int32_t code, const Arguments& arguments) {
  if (code != FN_MAX && code != FN_MIN) invalidCode(__LINE__);
  bool isMax = code == FN_MAX;
  double running = isMax ? -DBL_MAX : DBL_MAX;
  for (OrbaExpression* argument : arguments) {
    OrbaExpression* value = nullptr;
    if (OrbaExpression* failed = evaluated(argument, value)) return failed;
    double v = 0.0;
    if (OrbaExpression* failed = numericValue(value, v)) return failed;
    if (isMax ? v > running : v < running) running = v;
  }
  return TEDouble::create(running);
}

OrbaExpression* TEFunction::evaluateString(int32_t code, const Arguments& arguments) {
  OrbaExpression* text = nullptr;
  if (arguments.empty()) return TEError::kind5();
  if (OrbaExpression* failed = evaluated(arguments[0], text)) return failed;
  if (!isString(text)) return TEError::kind11();
  const char* bytes = text->getString();
  uint32_t length = text->getStringLength();

  if (code == FN_LEN) {
    const void* nul = std::memchr(bytes, '\0', length);
    return TEInteger::create(nul != nullptr ? static_cast<const char*>(nul) - bytes : length);
  }
  if (arguments.size() < 2) return TEError::kind5();

  if (code == FN_POS || code == FN_SCP || code == FN_CAT) {
    OrbaExpression* other = nullptr;
    if (OrbaExpression* failed = evaluated(arguments[1], other)) return failed;
    if (!isString(other)) return TEError::kind11();
    const char* otherBytes = other->getString();
    uint32_t otherLength = other->getStringLength();
    if (code == FN_SCP)
      return TEInteger::create(length == otherLength &&
                               std::memcmp(bytes, otherBytes, length) == 0);
    if (code == FN_CAT) {
      std::string joined(bytes, length);
      joined.append(otherBytes, otherLength);
      return TEString::create(joined.data(), static_cast<uint32_t>(joined.size()));
    }
    int64_t start = 0;
    if (arguments.size() > 2) {
      OrbaExpression* startValue = nullptr;
      if (OrbaExpression* failed = evaluated(arguments[2], startValue)) return failed;
      if (startValue->getKind() != EK_integer) return TEError::kind10();
      start = startValue->getInteger();
      if (start < 0 || start > length) return TEError::kind5();
    }
    return TEInteger::create(
        findBytes(bytes, length, otherBytes, otherLength, static_cast<uint32_t>(start)));
  }

  if (code == FN_SUB) {
    if (arguments.size() < 3) return TEError::kind5();
    OrbaExpression* startValue = nullptr;
    OrbaExpression* lengthValue = nullptr;
    if (OrbaExpression* failed = evaluated(arguments[1], startValue)) return failed;
    if (startValue->getKind() != EK_integer) return TEError::kind10();
    if (OrbaExpression* failed = evaluated(arguments[2], lengthValue)) return failed;
    if (lengthValue->getKind() != EK_integer) return TEError::kind10();
    int64_t start = startValue->getInteger();
    int64_t count = lengthValue->getInteger();
    // A negative start or length would read outside the text.
    if (start < 0 || start > length) return TEError::kind14();
    if (count < 0 || count > static_cast<int64_t>(length) - start) return TEError::kind15();
    return TEString::create(bytes + start, static_cast<uint32_t>(count));
  }
  invalidCode(__LINE__);
}

OrbaExpression* TEFunction::evaluateConditional(int32_t code, const Arguments& arguments) {
  if (code != FN_CONDITIONAL) invalidCode(__LINE__);
  if (arguments.size() < 3) return TEError::kind5();
  OrbaExpression* condition = nullptr;
  if (OrbaExpression* failed = evaluated(arguments[0], condition)) return failed;
  bool chooseFirst = false;
  switch (condition->getKind()) {
    case EK_integer:
    case EK_string: {
      int64_t value = 0;
      integerValue(condition, value);
      chooseFirst = value != 0;
      break;
    }
    case EK_double:
      chooseFirst = condition->getDouble() != 0.0;
      break;
    default:
      return TEError::kind5();
  }
  OrbaExpression* chosen = arguments[chooseFirst ? 1 : 2];
  OrbaExpression* result = nullptr;
  if (OrbaExpression* failed = evaluated(chosen, result)) return failed;
  return result;
}

OrbaExpression* TEFunction::evaluateBits(int32_t code, const Arguments& arguments) {
  if (arguments.empty()) return TEError::kind5();
  OrbaExpression* first = nullptr;
  if (code == FN_RVB) {
    if (OrbaExpression* failed = evaluated(arguments[0], first)) return failed;
    int64_t value = 0;
    if (OrbaExpression* failed = integerValue(first, value)) return failed;
    int64_t width = 16;
    if (arguments.size() > 1) {
      OrbaExpression* widthValue = nullptr;
      // An error in the width counts as a width that is too large.
      if (evaluated(arguments[1], widthValue) != nullptr ||
          integerValue(widthValue, width) != nullptr)
        width = -1;
    }
    if (static_cast<uint64_t>(width) > 16) return TEError::kind5();
    uint64_t mask = (uint64_t{1} << width) - 1;
    uint64_t field = static_cast<uint64_t>(value) & mask;
    uint64_t reversed = 0;
    for (int64_t bit = 0; bit < width; ++bit)
      if (field & (uint64_t{1} << bit)) reversed |= uint64_t{1} << (width - 1 - bit);
    return TEInteger::create(static_cast<int64_t>(reversed | (static_cast<uint64_t>(value) & ~mask)));
  }

  // Every other bit function takes its arguments as integers, except the fraction
  // encoders, which take a double.
  if (code == FN_FRACT || code == FN_SFRACT || code == FN_CVF) {
    if (OrbaExpression* failed = evaluated(arguments[0], first)) return failed;
    double x = 0.0;
    if (first->getKind() == EK_fract)
      x = first->getDouble();
    else if (OrbaExpression* failed = numericValue(first, x))
      return failed;
    if (code == FN_CVF) return TEDouble::create(x);
    int32_t bits = code == FN_FRACT ? 32 : 16;
    uint8_t bytes[4] = {};
    encodeFraction(bytes, x, bits);
    uint64_t packed = 0;
    for (int i = 0; i < bits / 8; ++i) packed = (packed << 8) | bytes[i];
    return TEInteger::create(static_cast<int64_t>(packed));
  }

  int64_t values[4] = {};
  size_t needed = code == FN_FLD ? arguments.size() : code == FN_LNG ? 2 : 1;
  if (needed > 4 || arguments.size() < needed) return TEError::kind5();
  for (size_t i = 0; i < needed; ++i) {
    OrbaExpression* value = nullptr;
    if (OrbaExpression* failed = evaluated(arguments[i], value)) return failed;
    if (OrbaExpression* failed = integerValue(value, values[i])) return failed;
  }
  int64_t v = values[0];
  switch (code) {
    case FN_CVI:
      return TEInteger::create(v);
    case FN_MSB:
      return TEInteger::create((v >> 8) & 0xFF);
    case FN_LSB:
      return TEInteger::create(v & 0xFF);
    case FN_LNG:
      return TEInteger::create(
          static_cast<int64_t>(((static_cast<uint64_t>(v) << 16) |
                                (static_cast<uint64_t>(values[1]) & 0xFFFF)) &
                               0xFFFFFFFF));
    case FN_LUN:
      return TEDouble::create(static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v))) /
                              2147483648.0);
    case FN_UNF:
      return TEDouble::create(static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(v))) /
                              32768.0);
    case FN_FLD: {
      // A width or start beyond 8 counts as 8; a negative one, read unsigned, too.
      uint64_t width = std::min<uint64_t>(static_cast<uint64_t>(values[2]), 8);
      uint64_t start = needed > 3 ? std::min<uint64_t>(static_cast<uint64_t>(values[3]), 8) : 0;
      uint64_t mask = ((uint64_t{1} << width) - 1) << start;
      uint64_t base = static_cast<uint64_t>(values[0]) & 0xFFFF;
      uint64_t field = ((static_cast<uint64_t>(values[1]) & 0xFFFF) << start) & mask;
      return TEInteger::create(static_cast<int64_t>((base & ~mask) | field));
    }
    default:
      invalidCode(__LINE__);
  }
}

OrbaExpression* TEFunction::evaluateTest(int32_t code, const Arguments& arguments) {
  if (arguments.empty()) return TEError::kind5();
  OrbaExpression* value = arguments[0] != nullptr ? arguments[0]->evaluate() : nullptr;
  if (code == FN_EXP) return TEInteger::create(value != nullptr && !value->isError());
  if (code != FN_INT) invalidCode(__LINE__);
  if (value == nullptr) return TEError::kind5();
  if (value->isError()) return value;
  return TEInteger::create(value->getKind() == EK_integer);
}

OrbaExpression* TEFunction::evaluateRange(int32_t code, const Arguments& arguments) {
  if (code != FN_RANGE && code != FN_WRANGE) invalidCode(__LINE__);
  if (arguments.size() < 3) return TEError::kind5();
  OrbaExpression* value = nullptr;
  if (OrbaExpression* failed = evaluated(arguments[0], value)) return failed;
  if (value->getKind() != EK_integer && value->getKind() != EK_string) return TEError::kind5();
  int64_t v = 0;
  int64_t low = 0;
  int64_t high = 0;
  integerValue(value, v);
  if (arguments[1] == nullptr || integerValue(arguments[1], low) != nullptr) return TEError::kind5();
  if (arguments[2] == nullptr || integerValue(arguments[2], high) != nullptr)
    return TEError::kind5();
  if (low <= v && v <= high) return TEInteger::create(v);
  return TEError::kind7();
}

// Both measure against the instruction's location in its section (TETricoreFunction.cpp).
OrbaExpression* TEFunction::evaluatePcRelative(int32_t code, const Arguments& arguments) {
  if (code != FN_PCREL) invalidCode(__LINE__);
  return evaluatePcRelativeCall(arguments);
}

OrbaExpression* TEFunction::evaluateInPage(int32_t code, const Arguments& arguments) {
  if (code != FN_INPAGE) invalidCode(__LINE__);
  return evaluateInPageCall(arguments);
}

OrbaExpression* TEFunction::evaluatePageOffset(int32_t code, const Arguments& arguments) {
  if (code != FN_PAGESIZE) invalidCode(__LINE__);
  if (arguments.size() < 2) return TEError::kind5();
  OrbaExpression* value = nullptr;
  if (OrbaExpression* failed = evaluated(arguments[0], value)) return failed;
  int64_t v = 0;
  int64_t size = 0;
  if (OrbaExpression* failed = integerValue(value, v)) return failed;
  if (arguments[1] == nullptr || integerValue(arguments[1], size) != nullptr)
    return TEError::kind5();
  // A page size of 0 would divide by zero.
  if (size == 0) return TEError::kind8();
  if (size == -1) return TEInteger::create(0);
  return TEInteger::create(v % size);
}
