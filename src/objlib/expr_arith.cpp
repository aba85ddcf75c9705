#include "objlib/expr_arith.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "objlib/expr_eval.h"

namespace {

// Fraction to double reads no more bytes than a double can tell apart.
constexpr uint32_t FRACT_DOUBLE_BYTES = 20;

int fail(ExprLibContext* context, ExprErrorCode code) {
  context->error = code;
  return 1;
}

// Work space for values of any integer width: on the stack for the usual widths.
class Scratch {
 public:
  explicit Scratch(size_t size) : size_(size) {
    data_ = size <= sizeof inline_ ? inline_ : static_cast<unsigned char*>(std::calloc(size, 1));
    if (data_ == inline_) std::memset(inline_, 0, sizeof inline_);
  }
  ~Scratch() {
    if (data_ != inline_) std::free(data_);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  bool ok() const { return data_ != nullptr; }
  unsigned char* data() { return data_; }
  size_t size() const { return size_; }

 private:
  unsigned char inline_[64];
  unsigned char* data_;
  size_t size_;
};

uint32_t intWidth(const ExprLibContext* context) { return context->int_width; }

bool isSignedType(uint32_t type) { return type <= EXPR_TYPE_SIGNED; }

bool isCategoryType(uint32_t type) {
  return type == EXPR_TYPE_DOUBLE || type == EXPR_TYPE_FRACT || type == EXPR_TYPE_STRING;
}

double readDouble(const ExprNode* node) {
  double value;
  std::memcpy(&value, expr_value_bytes(node), sizeof value);
  return value;
}

void writeDouble(unsigned char* bytes, double value) { std::memcpy(bytes, &value, sizeof value); }

uint32_t fractBytes(const ExprNode* node) {
  return std::min<uint32_t>(node->width / 8, expr_value_capacity(node->context));
}

const char* textOf(const ExprNode* node) {
  const ExprValueObject* value = node->payload.string;
  return value != nullptr && value->text != nullptr ? value->text : "";
}

void beginResult(const ExprLibContext* context, ExprResult* result, uint32_t type,
                 uint16_t width) {
  std::memset(result->bytes, 0, expr_value_capacity(context));
  result->value_type = type;
  result->width = width;
}

// Integers of w bytes, least significant first.

bool isZero(const unsigned char* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

void negateInteger(unsigned char* bytes, uint32_t w) {
  unsigned carry = 1;
  for (uint32_t i = 0; i < w; ++i) {
    unsigned sum = static_cast<unsigned char>(~bytes[i]) + carry;
    bytes[i] = static_cast<unsigned char>(sum);
    carry = sum >> 8;
  }
}

bool integerNegative(const ExprNode* node) {
  uint32_t w = intWidth(node->context);
  return isSignedType(node->value_type) && (expr_value_bytes(node)[w - 1] & 0x80) != 0;
}

// Unsigned order of two w-byte integers.
int compareMagnitude(const unsigned char* a, const unsigned char* b, uint32_t w) {
  for (uint32_t i = w; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

uint64_t load64(const unsigned char* bytes, uint32_t count) {
  uint64_t value = 0;
  for (uint32_t i = count; i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

void store64(unsigned char* bytes, uint32_t count, uint64_t value) {
  for (uint32_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<unsigned char>(value);
    value >>= 8;
  }
}

// A w-byte integer fits a signed 32-bit number when everything above bit 31 repeats
// bit 31.
bool fitsSigned32(const unsigned char* bytes, uint32_t w) {
  if (w <= 4) return true;
  unsigned char extension = (bytes[3] & 0x80) != 0 ? 0xFF : 0x00;
  for (uint32_t i = 4; i < w; ++i) {
    if (bytes[i] != extension) return false;
  }
  return true;
}

// Quotient and remainder of two unsigned w-byte magnitudes; the divisor is not zero.
void divideMagnitudes(const unsigned char* dividend, const unsigned char* divisor, uint32_t w,
                      unsigned char* quotient, unsigned char* remainder) {
  if (w <= 8) {
    uint64_t a = load64(dividend, w);
    uint64_t b = load64(divisor, w);
    store64(quotient, w, a / b);
    store64(remainder, w, a % b);
    return;
  }
  // Shift and subtract, one bit at a time; the running remainder needs a spare byte
  // because it is doubled before the comparison.
  Scratch running(w + 1);
  Scratch divisorWide(w + 1);
  unsigned char* r = running.data();
  unsigned char* d = divisorWide.data();
  std::memcpy(d, divisor, w);
  std::memset(quotient, 0, w);
  for (uint32_t bit = w * 8; bit-- > 0;) {
    unsigned carry = (dividend[bit / 8] >> (bit % 8)) & 1;
    for (uint32_t i = 0; i <= w; ++i) {
      unsigned next = r[i] >> 7;
      r[i] = static_cast<unsigned char>(r[i] << 1 | carry);
      carry = next;
    }
    if (compareMagnitude(r, d, w + 1) >= 0) {
      unsigned borrow = 0;
      for (uint32_t i = 0; i <= w; ++i) {
        int difference = static_cast<int>(r[i]) - d[i] - static_cast<int>(borrow);
        borrow = difference < 0 ? 1 : 0;
        r[i] = static_cast<unsigned char>(difference);
      }
      quotient[bit / 8] = static_cast<unsigned char>(quotient[bit / 8] | 1u << (bit % 8));
    }
  }
  std::memcpy(remainder, r, w);
}

int integerDivide(ExprLibContext* context, int32_t kind, const ExprNode* a, const ExprNode* b,
                  ExprResult* result) {
  uint32_t w = intWidth(context);
  const unsigned char* dividend = expr_value_bytes(a);
  const unsigned char* divisor = expr_value_bytes(b);
  if (isZero(divisor, w)) return fail(context, EXPR_ERR_DIVIDE_BY_ZERO);
  if (!fitsSigned32(dividend, w) || !fitsSigned32(divisor, w)) {
    context->error = EXPR_ERR_OPERAND_TRUNCATED;
  }
  bool dividendNegative = integerNegative(a);
  bool divisorNegative = integerNegative(b);
  Scratch work(4 * size_t{w});
  if (!work.ok()) return fail(context, EXPR_ERR_NO_MEMORY);
  unsigned char* magnitudeA = work.data();
  unsigned char* magnitudeB = magnitudeA + w;
  unsigned char* quotient = magnitudeB + w;
  unsigned char* remainder = quotient + w;
  std::memcpy(magnitudeA, dividend, w);
  std::memcpy(magnitudeB, divisor, w);
  if (dividendNegative) negateInteger(magnitudeA, w);
  if (divisorNegative) negateInteger(magnitudeB, w);
  divideMagnitudes(magnitudeA, magnitudeB, w, quotient, remainder);
  // Truncation toward zero: the quotient is negative when the signs differ, the
  // remainder has the dividend's sign.
  unsigned char* chosen = quotient;
  bool negative = dividendNegative != divisorNegative;
  if (kind == EXPR_REM) {
    chosen = remainder;
    negative = dividendNegative;
  }
  if (negative) negateInteger(chosen, w);
  uint32_t type = EXPR_TYPE_SIGNED;
  expr_result_type(&type, a, b);
  beginResult(context, result, type, std::max(a->width, b->width));
  std::memcpy(result->bytes, chosen, w);
  return 0;
}

void shiftInteger(int32_t kind, const unsigned char* source, uint32_t w, int64_t count,
                  unsigned char* target) {
  unsigned char fill = 0x00;
  if (kind == EXPR_SAR && (source[w - 1] & 0x80) != 0) fill = 0xFF;
  if (count < 0 || count >= int64_t{w} * 8) {
    std::memset(target, fill, w);
    return;
  }
  uint32_t wholeBytes = static_cast<uint32_t>(count / 8);
  uint32_t bits = static_cast<uint32_t>(count % 8);
  if (kind == EXPR_SHL) {
    for (uint32_t i = w; i-- > 0;) {
      unsigned high = i >= wholeBytes ? source[i - wholeBytes] : 0;
      unsigned low = i >= wholeBytes + 1 ? source[i - wholeBytes - 1] : 0;
      target[i] = static_cast<unsigned char>(bits == 0 ? high : (high << bits | low >> (8 - bits)));
    }
    return;
  }
  for (uint32_t i = 0; i < w; ++i) {
    unsigned low = i + wholeBytes < w ? source[i + wholeBytes] : fill;
    unsigned high = i + wholeBytes + 1 < w ? source[i + wholeBytes + 1] : fill;
    target[i] = static_cast<unsigned char>(bits == 0 ? low : (low >> bits | high << (8 - bits)));
  }
}

int integerBinary(ExprLibContext* context, int32_t kind, const ExprNode* a, const ExprNode* b,
                  ExprResult* result) {
  uint32_t w = intWidth(context);
  const unsigned char* x = expr_value_bytes(a);
  const unsigned char* y = expr_value_bytes(b);
  uint32_t type = EXPR_TYPE_SIGNED;
  expr_result_type(&type, a, b);
  uint16_t width = std::max(a->width, b->width);
  switch (kind) {
    case EXPR_ADD:
    case EXPR_SUB: {
      beginResult(context, result, type, width);
      unsigned carry = kind == EXPR_SUB ? 1 : 0;  // subtraction adds the complement
      for (uint32_t i = 0; i < w; ++i) {
        unsigned right = kind == EXPR_SUB ? static_cast<unsigned char>(~y[i]) : y[i];
        unsigned sum = x[i] + right + carry;
        result->bytes[i] = static_cast<unsigned char>(sum);
        carry = sum >> 8;
      }
      return 0;
    }
    case EXPR_MUL: {
      beginResult(context, result, type, width);
      if (w <= 8) {
        store64(result->bytes, w, load64(x, w) * load64(y, w));
        return 0;
      }
      for (uint32_t i = 0; i < w; ++i) {
        unsigned carry = 0;
        for (uint32_t j = 0; i + j < w; ++j) {
          unsigned sum = result->bytes[i + j] + unsigned{x[i]} * y[j] + carry;
          result->bytes[i + j] = static_cast<unsigned char>(sum);
          carry = sum >> 8;
        }
      }
      return 0;
    }
    case EXPR_DIV:
    case EXPR_REM:
      return integerDivide(context, kind, a, b, result);
    case EXPR_BIT_AND:
    case EXPR_BIT_OR:
    case EXPR_BIT_XOR:
      beginResult(context, result, type, width);
      for (uint32_t i = 0; i < w; ++i) {
        unsigned char left = x[i];
        unsigned char right = y[i];
        result->bytes[i] = static_cast<unsigned char>(
            kind == EXPR_BIT_AND ? (left & right) : kind == EXPR_BIT_OR ? (left | right) : (left ^ right));
      }
      return 0;
    case EXPR_LOGICAL_AND:
    case EXPR_LOGICAL_OR: {
      bool left = !isZero(x, w);
      bool right = !isZero(y, w);
      bool truth = kind == EXPR_LOGICAL_AND ? (left && right) : (left || right);
      beginResult(context, result, EXPR_TYPE_SIGNED, 8);
      result->bytes[0] = truth ? 1 : 0;
      return 0;
    }
    case EXPR_SHL:
    case EXPR_SHR:
    case EXPR_SAR: {
      // The count is the low 32 bits of the second operand, read as a signed number.
      uint32_t countBytes = std::min<uint32_t>(w, 4);
      uint64_t raw = load64(y, countBytes);
      int64_t count = (y[countBytes - 1] & 0x80) != 0
                          ? static_cast<int64_t>(raw | ~uint64_t{0} << (8 * countBytes))
                          : static_cast<int64_t>(raw);
      if (!fitsSigned32(y, w)) context->error = EXPR_ERR_OPERAND_TRUNCATED;
      beginResult(context, result, a->value_type, a->width);
      shiftInteger(kind, x, w, count, result->bytes);
      return 0;
    }
    default:
      return fail(context, EXPR_ERR_NO_HANDLER);
  }
}

int doubleBinary(ExprLibContext* context, int32_t kind, const ExprNode* a, const ExprNode* b,
                 ExprResult* result) {
  double x = readDouble(a);
  double y = readDouble(b);
  double value = 0.0;
  switch (kind) {
    case EXPR_ADD:
      value = x + y;
      break;
    case EXPR_SUB:
      value = x - y;
      break;
    case EXPR_MUL:
      value = x * y;
      break;
    case EXPR_DIV:
      value = x / y;
      break;
    case EXPR_REM:
      // The remainder has no infinite answer to fall back on the way division does.
      if (y == 0.0) return fail(context, EXPR_ERR_DIVIDE_BY_ZERO);
      value = std::fmod(x, y);
      break;
    default:
      return fail(context, EXPR_ERR_TYPE_UNDEFINED);
  }
  beginResult(context, result, EXPR_TYPE_DOUBLE, a->width);
  writeDouble(result->bytes, value);
  return 0;
}

// Fractions: byte 0 is the most significant, bit 7 of it the sign.

bool fractIsMinusOne(const unsigned char* bytes, uint32_t count) {
  return count != 0 && bytes[0] == 0x80 && isZero(bytes + 1, count - 1);
}

void negateFract(unsigned char* bytes, uint32_t count) {
  if (fractIsMinusOne(bytes, count)) {
    bytes[0] = 0x7F;
    std::memset(bytes + 1, 0xFF, count - 1);
    return;
  }
  unsigned carry = 1;
  for (uint32_t i = count; i-- > 0;) {
    unsigned sum = static_cast<unsigned char>(~bytes[i]) + carry;
    bytes[i] = static_cast<unsigned char>(sum);
    carry = sum >> 8;
  }
}

void fractFromDouble(unsigned char* bytes, uint32_t count, double value, bool* inRange) {
  *inRange = true;
  std::memset(bytes, 0, count);
  if (count == 0) return;
  if (std::isnan(value)) {
    *inRange = false;
    return;
  }
  if (value >= 1.0) {
    bytes[0] = 0x7F;
    std::memset(bytes + 1, 0xFF, count - 1);
    *inRange = false;
    return;
  }
  if (value <= -1.0) {
    bytes[0] = 0x80;
    *inRange = value == -1.0;
    return;
  }
  double rest = std::fabs(value);
  for (uint32_t bit = 1; bit < count * 8 && rest != 0.0; ++bit) {
    rest *= 2.0;
    if (rest >= 1.0) {
      bytes[bit / 8] = static_cast<unsigned char>(bytes[bit / 8] | 0x80u >> (bit % 8));
      rest -= 1.0;
    }
  }
  if (rest * 2.0 >= 1.0) {
    unsigned carry = 1;
    for (uint32_t i = count; i-- > 0 && carry != 0;) {
      unsigned sum = bytes[i] + carry;
      bytes[i] = static_cast<unsigned char>(sum);
      carry = sum >> 8;
    }
    if ((bytes[0] & 0x80) != 0) {
      bytes[0] = 0x7F;
      std::memset(bytes + 1, 0xFF, count - 1);
    }
  }
  if (value < 0.0) negateFract(bytes, count);
}

// Copies a fraction into count bytes, zero-extended at the least significant end.
void widenFract(const ExprNode* node, unsigned char* target, uint32_t count) {
  uint32_t own = fractBytes(node);
  std::memset(target, 0, count);
  std::memcpy(target, expr_value_bytes(node), std::min(own, count));
}

int fractBinary(ExprLibContext* context, int32_t kind, const ExprNode* a, const ExprNode* b,
                ExprResult* result) {
  if (kind == EXPR_DIV || kind == EXPR_REM) return fail(context, EXPR_ERR_FRACT_DIVISION);
  if (kind != EXPR_ADD && kind != EXPR_SUB && kind != EXPR_MUL) {
    return fail(context, EXPR_ERR_TYPE_UNDEFINED);
  }
  uint32_t count = std::max(fractBytes(a), fractBytes(b));
  Scratch work(4 * size_t{count} + 2);
  if (!work.ok()) return fail(context, EXPR_ERR_NO_MEMORY);
  unsigned char* x = work.data();
  unsigned char* y = x + count;
  widenFract(a, x, count);
  widenFract(b, y, count);
  beginResult(context, result, EXPR_TYPE_FRACT, std::max(a->width, b->width));
  unsigned char* out = result->bytes;
  if (kind != EXPR_MUL) {
    unsigned carry = kind == EXPR_SUB ? 1 : 0;
    for (uint32_t i = count; i-- > 0;) {
      unsigned right = kind == EXPR_SUB ? static_cast<unsigned char>(~y[i]) : y[i];
      unsigned sum = x[i] + right + carry;
      out[i] = static_cast<unsigned char>(sum);
      carry = sum >> 8;
    }
    return 0;
  }
  bool xMinusOne = fractIsMinusOne(x, count);
  bool yMinusOne = fractIsMinusOne(y, count);
  if (xMinusOne && yMinusOne) {
    out[0] = 0x7F;
    std::memset(out + 1, 0xFF, count - 1);
    return 0;
  }
  if (xMinusOne || yMinusOne) {
    std::memcpy(out, xMinusOne ? y : x, count);
    negateFract(out, count);
    return 0;
  }
  bool negative = ((x[0] ^ y[0]) & 0x80) != 0;
  if ((x[0] & 0x80) != 0) negateFract(x, count);
  if ((y[0] & 0x80) != 0) negateFract(y, count);
  // Magnitudes below 2^(8n-1) each; their product shifted right by 8n-1 bits is the
  // fraction product, truncated.
  unsigned char* product = y + count;  // 2n bytes, least significant first
  for (uint32_t i = 0; i < count; ++i) {
    unsigned carry = 0;
    uint32_t k = 0;
    for (uint32_t j = 0; j < count; ++j) {
      k = i + j;
      unsigned sum = product[k] + unsigned{x[count - 1 - i]} * y[count - 1 - j] + carry;
      product[k] = static_cast<unsigned char>(sum);
      carry = sum >> 8;
    }
    for (k = i + count; carry != 0 && k < 2 * count; ++k) {
      unsigned sum = product[k] + carry;
      product[k] = static_cast<unsigned char>(sum);
      carry = sum >> 8;
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    unsigned low = product[i + count - 1] >> 7;
    unsigned high = product[i + count];
    out[count - 1 - i] = static_cast<unsigned char>(low | high << 1);
  }
  if (negative) negateFract(out, count);
  return 0;
}

double integerToDouble(const ExprNode* node) {
  uint32_t w = intWidth(node->context);
  const unsigned char* bytes = expr_value_bytes(node);
  bool negative = integerNegative(node);
  Scratch magnitude(w);
  if (!magnitude.ok()) return 0.0;
  std::memcpy(magnitude.data(), bytes, w);
  if (negative) negateInteger(magnitude.data(), w);
  double value = 0.0;
  for (uint32_t i = w; i-- > 0;) value = value * 256.0 + magnitude.data()[i];
  return negative ? -value : value;
}

int doubleToInteger(ExprLibContext* context, double value, uint32_t target, ExprResult* result) {
  uint32_t w = intWidth(context);
  if (std::isnan(value)) return fail(context, EXPR_ERR_OUT_OF_RANGE);
  double whole = std::trunc(value);
  bool negative = whole < 0.0;
  double magnitude = std::fabs(whole);
  double limit = std::ldexp(1.0, static_cast<int>(std::min<uint32_t>(w * 8, 4096)));
  if (target == EXPR_TYPE_UNSIGNED) {
    if (negative || magnitude >= limit) return fail(context, EXPR_ERR_OUT_OF_RANGE);
  } else {
    double half = limit / 2.0;
    if (magnitude > half || (magnitude == half && !negative)) {
      return fail(context, EXPR_ERR_OUT_OF_RANGE);
    }
  }
  beginResult(context, result, target, 64);
  for (uint32_t i = w; i-- > 0;) {
    double unit = std::ldexp(1.0, static_cast<int>(std::min<uint32_t>(8 * i, 4096)));
    double digit = std::floor(magnitude / unit);
    if (digit > 255.0) digit = 255.0;
    if (digit < 0.0) digit = 0.0;
    result->bytes[i] = static_cast<unsigned char>(digit);
    magnitude -= digit * unit;
  }
  if (negative) negateInteger(result->bytes, w);
  return 0;
}

}  // namespace

int expr_result_type(uint32_t* type, const ExprNode* a, const ExprNode* b) {
  auto signedValue = [](const ExprNode* node) {
    return node->kind == EXPR_VALUE &&
           (node->value_type <= EXPR_TYPE_SIGNED || node->value_type == EXPR_TYPE_DOUBLE);
  };
  if (a->value_type == b->value_type) {
    *type = a->value_type;
  } else if (signedValue(a) || signedValue(b)) {
    *type = EXPR_TYPE_SIGNED;
  } else {
    *type = EXPR_TYPE_UNSIGNED;
  }
  return 0;
}

bool expr_types_compatible(const ExprNode* a, const ExprNode* b) {
  if (isCategoryType(a->value_type)) return b->value_type == a->value_type;
  return !isCategoryType(b->value_type);
}

bool expr_is_negative(const ExprNode* value) {
  if (value == nullptr || value->kind != EXPR_VALUE) return false;
  switch (value->value_type) {
    case EXPR_TYPE_UNTYPED:
    case EXPR_TYPE_UNTYPED_ALT:
    case EXPR_TYPE_SIGNED:
      return integerNegative(value);
    case EXPR_TYPE_DOUBLE:
      return readDouble(value) < 0.0;
    case EXPR_TYPE_FRACT:
      return fractBytes(value) != 0 && (expr_value_bytes(value)[0] & 0x80) != 0;
    default:
      return false;
  }
}

bool expr_is_true(const ExprNode* value) {
  switch (value->value_type) {
    case EXPR_TYPE_DOUBLE:
      return readDouble(value) != 0.0;
    case EXPR_TYPE_FRACT:
      return !isZero(expr_value_bytes(value), fractBytes(value));
    case EXPR_TYPE_STRING:
      return textOf(value)[0] != '\0';
    default:
      return !isZero(expr_value_bytes(value), intWidth(value->context));
  }
}

int expr_compare_values(const ExprNode* a, const ExprNode* b, int* order) {
  if (!expr_types_compatible(a, b)) return fail(a->context, EXPR_ERR_TYPE_MISMATCH);
  auto sign = [](auto difference) { return difference < 0 ? -1 : difference > 0 ? 1 : 0; };
  switch (a->value_type) {
    case EXPR_TYPE_DOUBLE: {
      double x = readDouble(a);
      double y = readDouble(b);
      // NaN is unordered: neither equal, smaller nor greater.
      *order = x < y ? -1 : x > y ? 1 : x == y ? 0 : 2;
      return 0;
    }
    case EXPR_TYPE_FRACT: {
      uint32_t countA = fractBytes(a);
      uint32_t countB = fractBytes(b);
      const unsigned char* x = expr_value_bytes(a);
      const unsigned char* y = expr_value_bytes(b);
      for (uint32_t i = 0; i < std::max(countA, countB); ++i) {
        int left = i < countA ? x[i] : 0;
        int right = i < countB ? y[i] : 0;
        if (i == 0) {
          left = static_cast<signed char>(left);
          right = static_cast<signed char>(right);
        }
        if (left != right) {
          *order = sign(left - right);
          return 0;
        }
      }
      *order = 0;
      return 0;
    }
    case EXPR_TYPE_STRING:
      // strcmp orders by unsigned characters.
      *order = sign(std::strcmp(textOf(a), textOf(b)));
      return 0;
    default: {
      uint32_t w = intWidth(a->context);
      // Equality is by the bytes alone, so an unsigned all-ones equals a signed -1.
      if (std::memcmp(expr_value_bytes(a), expr_value_bytes(b), w) == 0) {
        *order = 0;
        return 0;
      }
      bool negativeA = integerNegative(a);
      bool negativeB = integerNegative(b);
      if (negativeA != negativeB) {
        *order = negativeA ? -1 : 1;
        return 0;
      }
      *order = compareMagnitude(expr_value_bytes(a), expr_value_bytes(b), w);
      return 0;
    }
  }
}

int expr_value_equal(ExprNode* a, ExprNode* b) {
  if (expr_evaluate(a) != 0 || expr_evaluate(b) != 0) return 0;
  if (a->kind != EXPR_VALUE || b->kind != EXPR_VALUE) return 0;
  int order = 0;
  return expr_compare_values(a, b, &order) == 0 && order == 0 ? 1 : 0;
}

int expr_value_greater(ExprNode* a, ExprNode* b) {
  if (expr_evaluate(a) != 0 || expr_evaluate(b) != 0) return 0;
  if (a->kind != EXPR_VALUE || b->kind != EXPR_VALUE) return 0;
  int order = 0;
  return expr_compare_values(a, b, &order) == 0 && order == 1 ? 1 : 0;
}

int expr_negate_value(ExprNode* destination, const ExprNode* source) {
  uint32_t count = fractBytes(source);
  unsigned char* bytes = expr_value_bytes(destination);
  if (destination != source) {
    std::memset(bytes, 0, expr_value_capacity(destination->context));
    std::memcpy(bytes, expr_value_bytes(source), count);
  }
  negateFract(bytes, count);
  destination->value_type = source->value_type;
  destination->width = source->width;
  return 0;
}

int expr_set_fract_from_double(ExprNode* node, uint32_t byte_count, double value) {
  ExprLibContext* context = node->context;
  uint32_t count = std::min(byte_count, expr_value_capacity(context));
  unsigned char* bytes = expr_value_bytes(node);
  std::memset(bytes, 0, expr_value_capacity(context));
  bool inRange = true;
  fractFromDouble(bytes, count, value, &inRange);
  node->value_type = EXPR_TYPE_FRACT;
  node->width = static_cast<uint16_t>(count * 8);
  return inRange ? 0 : fail(context, EXPR_ERR_FRACT_RANGE);
}

double expr_fract_to_double(const ExprNode* value) {
  uint32_t count = std::min(fractBytes(value), FRACT_DOUBLE_BYTES);
  if (count == 0) return 0.0;
  const unsigned char* bytes = expr_value_bytes(value);
  double result = static_cast<signed char>(bytes[0]) / 128.0;
  double unit = 1.0 / 128.0;
  for (uint32_t i = 1; i < count; ++i) {
    unit /= 256.0;
    result += bytes[i] * unit;
  }
  return result;
}

uint64_t expr_integer_low64(const ExprNode* value, bool* fits) {
  uint32_t w = intWidth(value->context);
  const unsigned char* bytes = expr_value_bytes(value);
  bool isSigned = isSignedType(value->value_type);
  if (w < 8) {
    uint64_t low = load64(bytes, w);
    if (isSigned && (bytes[w - 1] & 0x80) != 0) low |= ~uint64_t{0} << (8 * w);
    if (fits != nullptr) *fits = true;
    return low;
  }
  uint64_t low = load64(bytes, 8);
  if (fits != nullptr) {
    unsigned char extension = isSigned && (bytes[7] & 0x80) != 0 ? 0xFF : 0x00;
    *fits = true;
    for (uint32_t i = 8; i < w; ++i) {
      if (bytes[i] != extension) *fits = false;
    }
  }
  return low;
}

int expr_arith_binary(ExprLibContext* context, int32_t kind, const ExprNode* a,
                      const ExprNode* b, ExprResult* result) {
  if (!expr_types_compatible(a, b)) return fail(context, EXPR_ERR_TYPE_MISMATCH);
  switch (a->value_type) {
    case EXPR_TYPE_DOUBLE:
      return doubleBinary(context, kind, a, b, result);
    case EXPR_TYPE_FRACT:
      return fractBinary(context, kind, a, b, result);
    case EXPR_TYPE_STRING:
      return fail(context, EXPR_ERR_TYPE_UNDEFINED);
    default:
      return integerBinary(context, kind, a, b, result);
  }
}

int expr_arith_unary(ExprLibContext* context, int32_t kind, const ExprNode* a,
                     ExprResult* result) {
  uint32_t w = intWidth(context);
  uint32_t capacity = expr_value_capacity(context);
  if (kind == EXPR_LOGICAL_NOT) {
    bool truth = expr_is_true(a);
    beginResult(context, result, EXPR_TYPE_SIGNED, 8);
    result->bytes[0] = truth ? 0 : 1;
    return 0;
  }
  if (a->value_type == EXPR_TYPE_STRING) return fail(context, EXPR_ERR_TYPE_UNDEFINED);
  bool integer = expr_is_integer_type(a->value_type);
  if (kind == EXPR_BIT_NOT && !integer) return fail(context, EXPR_ERR_TYPE_UNDEFINED);
  if (kind != EXPR_BIT_NOT && kind != EXPR_NEG && kind != EXPR_ABS) {
    return fail(context, EXPR_ERR_NO_HANDLER);
  }
  beginResult(context, result, a->value_type, a->width);
  std::memcpy(result->bytes, expr_value_bytes(a), capacity);
  if (kind == EXPR_ABS && !expr_is_negative(a)) return 0;
  if (kind == EXPR_BIT_NOT) {
    for (uint32_t i = 0; i < w; ++i) result->bytes[i] = static_cast<unsigned char>(~result->bytes[i]);
  } else if (a->value_type == EXPR_TYPE_DOUBLE) {
    writeDouble(result->bytes, 0.0 - readDouble(a));
  } else if (a->value_type == EXPR_TYPE_FRACT) {
    negateFract(result->bytes, fractBytes(a));
  } else {
    negateInteger(result->bytes, w);
  }
  return 0;
}

int expr_convert_value(ExprLibContext* context, const ExprNode* source, uint32_t target,
                       ExprResult* result) {
  uint32_t from = source->value_type;
  auto convertible = [](uint32_t type) {
    return type >= EXPR_TYPE_SIGNED && type <= EXPR_TYPE_FRACT;
  };
  if (!convertible(from) || !convertible(target)) return fail(context, EXPR_ERR_TYPE_UNDEFINED);
  uint32_t capacity = expr_value_capacity(context);
  bool fromInteger = from == EXPR_TYPE_SIGNED || from == EXPR_TYPE_UNSIGNED;
  bool toInteger = target == EXPR_TYPE_SIGNED || target == EXPR_TYPE_UNSIGNED;
  if (fromInteger && toInteger) {
    beginResult(context, result, target, source->width);
    std::memcpy(result->bytes, expr_value_bytes(source), capacity);
    return 0;
  }
  if (from == target) {
    beginResult(context, result, target, source->width);
    std::memcpy(result->bytes, expr_value_bytes(source), capacity);
    return 0;
  }
  if (from == EXPR_TYPE_FRACT && toInteger) return fail(context, EXPR_ERR_OUT_OF_RANGE);
  double value = fromInteger             ? integerToDouble(source)
                 : from == EXPR_TYPE_FRACT ? expr_fract_to_double(source)
                                           : readDouble(source);
  if (target == EXPR_TYPE_DOUBLE) {
    beginResult(context, result, EXPR_TYPE_DOUBLE, 64);
    writeDouble(result->bytes, value);
    return 0;
  }
  if (toInteger) return doubleToInteger(context, value, target, result);
  // To a fraction, from a double or (as its double would) from an integer: only 0 and
  // -1 of the integers lie in the fraction range.
  uint32_t count = std::min(intWidth(context), capacity);
  beginResult(context, result, EXPR_TYPE_FRACT, static_cast<uint16_t>(count * 8));
  bool inRange = true;
  fractFromDouble(result->bytes, count, value, &inRange);
  return inRange ? 0 : fail(context, EXPR_ERR_FRACT_RANGE);
}
