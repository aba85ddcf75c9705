#include "objlib/expr_bytes.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "objlib/expr_arith.h"
#include "objlib/expr_values.h"
#include "objlib/objlib_state.h"

namespace {

// Byte k of a node's value; 0 past the node's own integer width.
uint8_t byteAt(const ExprNode* node, uint32_t k) {
  return k < node->context->int_width ? expr_value_bytes(node)[k] : 0;
}

// The work space of one result: the context's scratch, copied into the destination
// once every operand has been read, so a destination may be one of its operands.
struct Scratch {
  explicit Scratch(ExprNode* destination)
      : size(destination->context->int_width), bytes(destination->context->scratch) {
    std::memset(bytes, 0, size);
  }
  uint32_t size;
  unsigned char* bytes;
};

void finish(ExprNode* destination, const Scratch& scratch, uint32_t type, uint16_t width) {
  expr_drop_payload(destination);
  std::memcpy(expr_value_bytes(destination), scratch.bytes, scratch.size);
  destination->value_type = type;
  destination->width = width;
}

uint32_t fieldMask32(uint32_t width) { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1; }
uint64_t fieldMask64(uint32_t width) {
  return width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
}

uint32_t unpackBits(uint32_t value, uint32_t bits, uint32_t width, int order, uint32_t count,
                    uint32_t* fields) {
  if (width == 0) return count;
  if (count == 0) count = bits / width;
  if ((order != FIELDS_LOW_FIRST && order != FIELDS_HIGH_FIRST) || fields == nullptr) return count;
  uint32_t mask = fieldMask32(width);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t position = order == FIELDS_LOW_FIRST ? i : count - 1 - i;
    uint32_t shift = static_cast<uint32_t>(uint64_t{position} * width % 32);
    fields[i] = (value >> shift) & mask;
  }
  return count;
}

uint32_t packBits(uint32_t width, int order, const uint32_t* fields, uint32_t count) {
  if ((order != FIELDS_LOW_FIRST && order != FIELDS_HIGH_FIRST) || fields == nullptr) return 0;
  uint32_t value = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t position = order == FIELDS_LOW_FIRST ? i : count - 1 - i;
    uint32_t shift = static_cast<uint32_t>(uint64_t{position} * width % 32);
    value |= fields[i] << shift;
  }
  return value;
}

}  // namespace

// ---- Value arithmetic ----

int expr_shift_right(ExprNode* destination, const ExprNode* value, uint32_t count,
                     int arithmetic) {
  if (destination == nullptr || value == nullptr) return 0;
  Scratch scratch(destination);
  uint32_t n = scratch.size;
  uint8_t top = byteAt(value, value->context->int_width - 1);
  uint8_t fill = arithmetic == 1 && top >= 128 ? 0xFF : 0x00;
  uint32_t whole = count / 8;
  uint32_t bits = count % 8;
  for (uint32_t i = 0; i < n; ++i) {
    if (whole >= n || i >= n - whole) {
      scratch.bytes[i] = fill;
      continue;
    }
    uint32_t low = byteAt(value, whole + i);
    uint32_t next = whole + i + 1 < n ? byteAt(value, whole + i + 1) : fill;
    scratch.bytes[i] = static_cast<unsigned char>((low >> bits) | (next << (8 - bits)));
  }
  finish(destination, scratch, value->value_type, value->width);
  return 0;
}

int expr_shift_left(ExprNode* destination, const ExprNode* value, uint32_t count) {
  if (destination == nullptr || value == nullptr) return 0;
  Scratch scratch(destination);
  uint32_t n = scratch.size;
  uint32_t whole = count / 8;
  uint32_t bits = count % 8;
  for (uint32_t i = whole; i < n && whole < n; ++i) {
    uint32_t high = uint32_t{byteAt(value, i - whole)} << bits;
    uint32_t carried = i > whole && bits != 0 ? byteAt(value, i - whole - 1) >> (8 - bits) : 0;
    scratch.bytes[i] = static_cast<unsigned char>(high | carried);
  }
  finish(destination, scratch, value->value_type, value->width);
  return 0;
}

int expr_negate(ExprNode* destination, const ExprNode* value) {
  if (destination == nullptr || value == nullptr) return 0;
  Scratch scratch(destination);
  unsigned carry = 1;
  for (uint32_t i = 0; i < scratch.size; ++i) {
    unsigned sum = (~unsigned{byteAt(value, i)} & 0xFFu) + carry;
    scratch.bytes[i] = static_cast<unsigned char>(sum);
    carry = sum >> 8;
  }
  finish(destination, scratch, value->value_type, value->width);
  return 0;
}

int expr_add(ExprNode* destination, const ExprNode* a, const ExprNode* b) {
  if (destination == nullptr || a == nullptr || b == nullptr) return 0;
  Scratch scratch(destination);
  unsigned carry = 0;
  for (uint32_t i = 0; i < scratch.size; ++i) {
    unsigned sum = unsigned{byteAt(a, i)} + byteAt(b, i) + carry;
    scratch.bytes[i] = static_cast<unsigned char>(sum);
    carry = sum >> 8;
  }
  uint32_t type = 0;
  expr_result_type(&type, a, b);
  finish(destination, scratch, type, a->width > b->width ? a->width : b->width);
  return 0;
}

int expr_multiply(ExprNode* destination, const ExprNode* a, const ExprNode* b) {
  if (destination == nullptr || a == nullptr || b == nullptr) return 0;
  Scratch scratch(destination);
  uint32_t n = scratch.size;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t ai = byteAt(a, i);
    if (ai == 0) continue;
    unsigned carry = 0;
    for (uint32_t j = 0; i + j < n; ++j) {
      unsigned sum = scratch.bytes[i + j] + ai * byteAt(b, j) + carry;
      scratch.bytes[i + j] = static_cast<unsigned char>(sum);
      carry = sum >> 8;
    }
  }
  uint32_t type = 0;
  expr_result_type(&type, a, b);
  // The product of the widths, bounded by the integer bits (which fit 16 bits).
  uint32_t width = uint32_t{a->width} * b->width;
  if (width > 8 * n) width = 8 * n;
  finish(destination, scratch, type, static_cast<uint16_t>(width));
  return 0;
}

// ---- Fractions ----

int expr_fraction_is_min(const uint8_t* bytes, uint32_t width) {
  uint32_t count = width / 8;
  if (bytes == nullptr || count == 0 || bytes[0] != 0x80) return 0;
  for (uint32_t i = 1; i < count; ++i) {
    if (bytes[i] != 0) return 0;
  }
  return 1;
}

int expr_fraction_set_max(uint8_t* bytes, uint32_t width) {
  uint32_t count = width / 8;
  if (bytes == nullptr || count == 0) return 0;
  bytes[0] = 0x7F;
  for (uint32_t i = 1; i < count; ++i) bytes[i] = 0xFF;
  return 0;
}

int expr_fraction_increment(ExprLibContext* context, uint8_t* bytes, uint32_t width) {
  uint32_t count = width / 8;
  if (bytes == nullptr || count == 0) return 0;
  bool wasNegative = bytes[0] >= 0x80;
  for (uint32_t i = count; i-- > 0;) {
    if (++bytes[i] != 0) break;
  }
  bool isNegative = bytes[0] >= 0x80;
  if (!wasNegative && isNegative) {
    expr_fraction_set_max(bytes, width);
    if (context != nullptr) context->error = EXPR_ERR_FRACT_RANGE;
    return 1;
  }
  return 0;
}

int expr_fraction_greater(const uint8_t* a, uint32_t width_a, const uint8_t* b,
                          uint32_t width_b) {
  uint32_t countA = a != nullptr ? width_a / 8 : 0;
  uint32_t countB = b != nullptr ? width_b / 8 : 0;
  uint32_t count = countA > countB ? countA : countB;
  for (uint32_t i = 0; i < count; ++i) {
    int x = i < countA ? a[i] : 0;
    int y = i < countB ? b[i] : 0;
    if (i == 0) {
      x = static_cast<int8_t>(x);
      y = static_cast<int8_t>(y);
    }
    if (x != y) return x > y ? 1 : 0;
  }
  return 0;
}

void bytes_shift_left(uint8_t* bytes, int32_t length, int32_t count) {
  if (bytes == nullptr || length < 1) return;
  if (count > 0) {
    auto n = static_cast<uint32_t>(length);
    uint64_t total = static_cast<uint64_t>(count);
    uint32_t whole = total >= uint64_t{8} * n ? n : static_cast<uint32_t>(total / 8);
    uint32_t bits = whole == n ? 0 : static_cast<uint32_t>(total % 8);
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t from = i + whole;
      uint32_t high = from < n ? uint32_t{bytes[from]} << bits : 0;
      uint32_t low = bits != 0 && from + 1 < n ? bytes[from + 1] >> (8 - bits) : 0;
      bytes[i] = static_cast<uint8_t>(high | low);
    }
  }
  bytes[0] &= 0x7F;
}

void bytes_shift_right(uint8_t* bytes, int32_t length, int32_t count) {
  if (bytes == nullptr || length < 1 || count < 1) return;
  auto n = static_cast<uint32_t>(length);
  uint64_t total = static_cast<uint64_t>(count);
  uint32_t whole = total >= uint64_t{8} * n ? n : static_cast<uint32_t>(total / 8);
  uint32_t bits = whole == n ? 0 : static_cast<uint32_t>(total % 8);
  for (uint32_t i = n; i-- > 0;) {
    uint32_t low = i >= whole ? uint32_t{bytes[i - whole]} >> bits : 0;
    uint32_t high = bits != 0 && i >= whole + 1 ? uint32_t{bytes[i - whole - 1]} << (8 - bits) : 0;
    bytes[i] = static_cast<uint8_t>(low | high);
  }
}

void bytes_add(uint8_t* bytes, int32_t length, const uint8_t* addend, int32_t addend_length) {
  if (bytes == nullptr || length < 1) return;
  unsigned carry = 0;
  for (int32_t i = length; i-- > 0;) {
    unsigned term = addend != nullptr && i < addend_length ? addend[i] : 0;
    unsigned sum = bytes[i] + term + carry;
    bytes[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
}

// ---- Bit fields ----

uint32_t fields_unpack64(uint32_t low, uint32_t high, uint32_t width, int order, uint32_t count,
                         uint32_t* fields) {
  if (width == 0) return count;
  if (count == 0) count = 64 / width;
  if ((order != FIELDS_LOW_FIRST && order != FIELDS_HIGH_FIRST) || fields == nullptr) return count;
  uint64_t value = (uint64_t{high} << 32) | low;
  uint64_t mask = fieldMask64(width);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t position = order == FIELDS_LOW_FIRST ? i : count - 1 - i;
    uint64_t shift = position * width;
    fields[i] = static_cast<uint32_t>(shift < 64 ? (value >> shift) & mask : 0);
  }
  return count;
}

uint32_t fields_unpack32(int32_t value, uint32_t width, int order, uint32_t count,
                         uint32_t* fields) {
  return unpackBits(static_cast<uint32_t>(value), 32, width, order, count, fields);
}

uint32_t fields_unpack16(int16_t value, uint32_t width, int order, uint32_t count,
                         uint32_t* fields) {
  return unpackBits(static_cast<uint32_t>(int32_t{value}), 16, width, order, count, fields);
}

uint32_t fields_unpack8(int8_t value, uint32_t width, int order, uint32_t count,
                        uint32_t* fields) {
  return unpackBits(static_cast<uint32_t>(int32_t{value}), 8, width, order, count, fields);
}

uint64_t fields_pack64(uint32_t width, int order, const uint32_t* fields, uint32_t count) {
  if ((order != FIELDS_LOW_FIRST && order != FIELDS_HIGH_FIRST) || fields == nullptr) return 0;
  uint64_t value = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t position = order == FIELDS_LOW_FIRST ? i : count - 1 - i;
    uint64_t shift = position * width;
    if (shift < 64) value |= uint64_t{fields[i]} << shift;
  }
  return value;
}

uint32_t fields_pack32(uint32_t width, int order, const uint32_t* fields, uint32_t count) {
  return packBits(width, order, fields, count);
}

uint8_t fields_pack8(uint32_t width, int order, const uint32_t* fields, uint32_t count) {
  return static_cast<uint8_t>(packBits(width, order, fields, count));
}

int fields_ratio(uint32_t width_a, uint32_t width_b, int32_t* join, int32_t* split, int flag) {
  int32_t first = -1;
  int32_t second = -1;
  if (width_a == width_b) {
    first = second = 1;
  } else if (flag == 0 && width_a == 1) {
    first = second = 1;
  } else if (flag == 0 && width_b == 1) {
    first = 1;
    second = static_cast<int32_t>(width_a);
  } else if (width_a != 0 && width_b != 0) {
    if (width_a < width_b && width_b % width_a == 0) {
      first = static_cast<int32_t>(width_b / width_a);
      second = 1;
    } else if (width_a >= width_b && width_a % width_b == 0) {
      first = 1;
      second = static_cast<int32_t>(width_a / width_b);
    }
  }
  if (join != nullptr) *join = first;
  if (split != nullptr) *split = second;
  return 0;
}

uint32_t fields_repack(uint32_t count, uint32_t in_width, const uint32_t* in,
                       uint32_t out_width, uint32_t* out, int order, int flag) {
  int32_t join = -1;
  int32_t split = -1;
  fields_ratio(in_width, out_width, &join, &split, flag);
  if (join < 1 || split < 1) return 0;
  if (join == 1 && split == 1) {
    if (in != nullptr && out != nullptr) std::memmove(out, in, size_t{count} * sizeof(uint32_t));
    return count;
  }
  if (in == nullptr || out == nullptr) {
    return join > 1 ? count / static_cast<uint32_t>(join) : count;
  }
  if (join > 1) {
    auto group = static_cast<uint32_t>(join);
    uint32_t mask = fieldMask32(in_width);
    for (uint32_t g = 0; g < count / group; ++g) {
      uint64_t joined = 0;
      for (uint32_t j = 0; j < group; ++j) {
        uint64_t shift = uint64_t{group - 1 - j} * in_width;
        if (shift < 64) joined |= uint64_t{in[g * group + j] & mask} << shift;
      }
      out[g] = static_cast<uint32_t>(joined);
    }
    return count / group;
  }
  if (order != FIELDS_LOW_FIRST && order != FIELDS_HIGH_FIRST) return count;
  auto parts = static_cast<uint32_t>(split);
  uint32_t mask = fieldMask32(out_width);
  for (uint32_t i = 0; i < count; ++i) {
    for (uint32_t j = 0; j < parts; ++j) {
      uint64_t shift = uint64_t{j} * out_width;
      uint32_t part = shift < 32 ? (in[i] >> shift) & mask : 0;
      uint32_t at = order == FIELDS_LOW_FIRST ? j : parts - 1 - j;
      out[size_t{i} * parts + at] = part;
    }
  }
  return count;
}

// ---- Word arrays ----

uint32_t* words_reverse(uint32_t count, uint32_t a, uint32_t b, uint32_t* words) {
  if (words == nullptr) return nullptr;
  if (a != b && count >= 2) {
    for (uint32_t i = 0, j = count - 1; i < j; ++i, --j) {
      uint32_t kept = words[i];
      words[i] = words[j];
      words[j] = kept;
    }
  }
  return words + count;
}

void words_fill(uint32_t* words, uint32_t value, uint32_t count) {
  if (words == nullptr) return;
  for (uint32_t i = 0; i < count; ++i) words[i] = value;
}

int words_compare(const uint32_t* a, const uint32_t* b, uint32_t count) {
  if (count == 0) return 0;
  return std::memcmp(a, b, size_t{count} * sizeof(uint32_t));
}

uint32_t words_copy(uint32_t* destination, const uint32_t* source, uint32_t count) {
  if (destination == nullptr || source == nullptr) return count;
  std::memmove(destination, source, size_t{count} * sizeof(uint32_t));
  return count;
}

uint32_t* scratch_words_alloc(uint32_t count) {
  if (count == 0) return nullptr;
  ObjlibProcessState& state = objlib_state();
  if (state.scratch_words != nullptr && state.scratch_released) {
    if (state.scratch_word_count == count) {
      state.scratch_released = false;
      return state.scratch_words;
    }
    std::free(state.scratch_words);
    state.scratch_words = nullptr;
  }
  auto* words = static_cast<uint32_t*>(std::malloc(size_t{count} * sizeof(uint32_t)));
  if (words == nullptr) return nullptr;
  if (state.scratch_words == nullptr) {
    state.scratch_words = words;
    state.scratch_word_count = count;
    state.scratch_released = false;
  }
  return words;
}

uint32_t* scratch_words_realloc(uint32_t* words, uint32_t count) {
  if (words == nullptr) return scratch_words_alloc(count);
  if (count == 0) {
    scratch_words_free(words);
    return nullptr;
  }
  auto* grown = static_cast<uint32_t*>(std::realloc(words, size_t{count} * sizeof(uint32_t)));
  if (grown == nullptr) return nullptr;
  ObjlibProcessState& state = objlib_state();
  if (words == state.scratch_words) {
    state.scratch_words = grown;
    state.scratch_word_count = count;
  }
  return grown;
}

void scratch_words_free(uint32_t* words) {
  if (words == nullptr) return;
  ObjlibProcessState& state = objlib_state();
  if (words == state.scratch_words) {
    state.scratch_released = true;
    return;
  }
  std::free(words);
  if (state.scratch_words != nullptr && state.scratch_released) {
    std::free(state.scratch_words);
    state.scratch_words = nullptr;
    state.scratch_word_count = 0;
    state.scratch_released = false;
  }
}
