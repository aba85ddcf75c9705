// Byte arithmetic on value nodes, fraction byte arrays and bit fields, driven by a
// byte script and checked against plain integer arithmetic wherever 64 bits hold the
// answer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "objlib/expr_bytes.h"
#include "objlib/exprlib.h"
#include "util/RunState.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

uint64_t low64(const ExprNode* node) {
  uint64_t value = 0;
  std::memcpy(&value, expr_value_bytes(node), 8);
  return value;
}

ExprNode* integer(ExprLibContext* context, uint64_t value) {
  ExprNode* node = nullptr;
  if (objexpr_make_integer(context, &node, static_cast<int64_t>(value)) != 0) std::abort();
  return node;
}

void valueArithmetic(ExprLibContext* context, Input& in) {
  uint64_t a = in.word();
  uint64_t b = in.word();
  uint8_t choice = in.byte();
  uint32_t count = in.byte();
  ExprNode* left = integer(context, a);
  ExprNode* right = integer(context, b);
  ExprNode* destination = (choice & 0x80) != 0 ? left : integer(context, 0);
  uint64_t expected = 0;
  switch (choice % 5) {
    case 0: {
      int arithmetic = (choice >> 3) & 1;
      expr_shift_right(destination, left, count, arithmetic);
      bool negative = arithmetic == 1 && (a >> 63) != 0;
      if (count >= 64) {
        expected = negative ? ~uint64_t{0} : 0;
      } else {
        expected = negative ? static_cast<uint64_t>(static_cast<int64_t>(a) >> count) : a >> count;
      }
      break;
    }
    case 1:
      expr_shift_left(destination, left, count);
      expected = count >= 64 ? 0 : a << count;
      break;
    case 2:
      expr_negate(destination, left);
      expected = 0 - a;
      break;
    case 3:
      expr_add(destination, left, right);
      expected = a + b;
      break;
    default:
      expr_multiply(destination, left, right);
      expected = a * b;
      // Both operands are 64 bits wide: the product's width is 4096 cut to the integer bits.
      check(destination->width == (8 * context->int_width < 4096 ? 8 * context->int_width : 4096));
      break;
  }
  if (context->int_width == 8) check(low64(destination) == expected);
  check(destination->kind == EXPR_VALUE);
  if (destination != left) expr_release(destination);
  expr_release(left);
  expr_release(right);
}

// Bits of a most-significant-first array, for the shift model.
bool bitAt(const std::vector<uint8_t>& bytes, size_t bit) {
  return ((bytes[bit / 8] >> (7 - bit % 8)) & 1) != 0;
}

void fractionBytes(ExprLibContext* context, Input& in) {
  size_t length = 1 + in.byte() % 12;
  std::vector<uint8_t> bytes(length);
  for (uint8_t& byte : bytes) byte = in.byte();
  std::vector<uint8_t> before = bytes;
  int32_t count = static_cast<int8_t>(in.byte()) * 3;
  size_t bits = 8 * length;
  switch (in.byte() % 5) {
    case 0: {
      bytes_shift_left(bytes.data(), static_cast<int32_t>(length), count);
      for (size_t bit = 0; bit < bits; ++bit) {
        size_t from = bit + static_cast<size_t>(count > 0 ? count : 0);
        bool expected = bit != 0 && from < bits && bitAt(before, from);
        check(bitAt(bytes, bit) == expected);
      }
      break;
    }
    case 1: {
      bytes_shift_right(bytes.data(), static_cast<int32_t>(length), count);
      size_t shift = static_cast<size_t>(count > 0 ? count : 0);
      for (size_t bit = 0; bit < bits; ++bit) {
        bool expected = bit >= shift && bitAt(before, bit - shift);
        check(bitAt(bytes, bit) == expected);
      }
      break;
    }
    case 2: {
      std::vector<uint8_t> addend(1 + in.byte() % 12);
      for (uint8_t& byte : addend) byte = in.byte();
      bytes_add(bytes.data(), static_cast<int32_t>(length), addend.data(),
                static_cast<int32_t>(addend.size()));
      // Adding back the complement of the addend's part returns the start, modulo.
      std::vector<uint8_t> part(length, 0);
      for (size_t i = 0; i < length && i < addend.size(); ++i) part[i] = addend[i];
      std::vector<uint8_t> negated(length);
      for (size_t i = 0; i < length; ++i) negated[i] = static_cast<uint8_t>(~part[i]);
      bytes_add(negated.data(), static_cast<int32_t>(length), std::vector<uint8_t>(length, 0).data(),
                0);
      std::vector<uint8_t> one(length, 0);
      one[length - 1] = 1;
      bytes_add(negated.data(), static_cast<int32_t>(length), one.data(),
                static_cast<int32_t>(length));
      bytes_add(bytes.data(), static_cast<int32_t>(length), negated.data(),
                static_cast<int32_t>(length));
      check(bytes == before);
      break;
    }
    case 3: {
      bool wasNegative = bytes[0] >= 0x80;
      int result = expr_fraction_increment(context, bytes.data(), static_cast<uint32_t>(bits));
      if (result == 1) {
        check(!wasNegative && bytes[0] == 0x7F);
      } else {
        check(wasNegative || bytes[0] < 0x80);
      }
      check(expr_fraction_greater(bytes.data(), static_cast<uint32_t>(bits), before.data(),
                                  static_cast<uint32_t>(bits)) == (result == 0 ? 1 : 0) ||
            result == 1);
      break;
    }
    default:
      check(expr_fraction_greater(bytes.data(), static_cast<uint32_t>(bits), bytes.data(),
                                  static_cast<uint32_t>(bits)) == 0);
      expr_fraction_is_min(bytes.data(), static_cast<uint32_t>(bits));
      break;
  }
}

void bitFields(Input& in) {
  static const uint32_t dividers[] = {1, 2, 4, 8, 16, 32};
  uint32_t value = static_cast<uint32_t>(in.word());
  uint8_t choice = in.byte();
  uint32_t width = dividers[choice % 6];
  int order = 1 + ((choice >> 3) & 1);
  uint32_t fields[64] = {};
  uint32_t count = fields_unpack32(static_cast<int32_t>(value), width, order, 0, fields);
  check(count == 32 / width);
  check(fields_pack32(width, order, fields, count) == value);
  uint64_t wide = in.word();
  uint32_t wideWidth = dividers[(choice >> 4) % 6];
  count = fields_unpack64(static_cast<uint32_t>(wide), static_cast<uint32_t>(wide >> 32), wideWidth,
                          order, 0, fields);
  check(count == 64 / wideWidth);
  check(fields_pack64(wideWidth, order, fields, count) == wide);
  // Arbitrary widths, orders and counts must stay within the array they are given.
  uint32_t anyWidth = in.byte();
  uint32_t anyCount = in.byte() % 65;
  fields_unpack32(static_cast<int32_t>(value), anyWidth, in.byte() % 4, anyCount, fields);
  fields_unpack16(static_cast<int16_t>(value), anyWidth, in.byte() % 4, anyCount, fields);
  fields_unpack8(static_cast<int8_t>(value), anyWidth, in.byte() % 4, anyCount, fields);
  fields_unpack64(value, value, anyWidth, in.byte() % 4, anyCount, fields);
  fields_pack8(anyWidth, in.byte() % 4, fields, anyCount);
  // Joining and splitting back is the identity for widths that divide.
  uint32_t small = dividers[in.byte() % 5];
  uint32_t large = small * dividers[in.byte() % 6];
  if (large > 32) large = 32;
  if (large % small != 0) return;
  uint32_t group = large / small;
  uint32_t inputs[64] = {};
  uint32_t inputCount = group * (1 + in.byte() % 4);
  if (inputCount > 64) inputCount = group;
  for (uint32_t i = 0; i < inputCount; ++i) inputs[i] = in.byte() & ((small >= 32) ? 0xFFu : ((1u << small) - 1));
  uint32_t joined[64] = {};
  uint32_t made = fields_repack(inputCount, small, inputs, large, joined, 2, 1);
  check(made == (group == 1 ? inputCount : inputCount / group));
  if (group == 1) return;
  uint32_t split[64] = {};
  fields_repack(made, large, joined, small, split, 2, 1);
  for (uint32_t i = 0; i < inputCount; ++i) check(split[i] == inputs[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScopedRun run;  // each input starts from a fresh run's pools
  Input in{data, size, 0};
  // Mostly the 8-byte integers of object files, sometimes narrower or wider ones.
  uint8_t widthChoice = in.byte();
  uint32_t width = widthChoice < 200 ? 8 : 1 + widthChoice % 24;
  ExprLibContext* context = nullptr;
  if (expr_context_new(&context, width) != 0) return 0;
  for (int step = 0; step < 64 && !in.empty(); ++step) {
    switch (in.byte() % 3) {
      case 0: valueArithmetic(context, in); break;
      case 1: fractionBytes(context, in); break;
      default: bitFields(in); break;
    }
  }
  expr_context_free(context);
  return 0;
}
