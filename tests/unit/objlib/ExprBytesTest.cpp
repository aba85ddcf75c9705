// Byte arithmetic, fraction bytes, bit fields and word arrays of the expression
// library.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "StoreFileFixture.h"
#include "objlib/expr_bytes.h"
#include "objlib/objlib_state.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint32_t>;

Bytes valueBytes(const ExprNode* node) {
  const unsigned char* bytes = expr_value_bytes(node);
  return Bytes(bytes, bytes + 8);
}

Bytes le(uint64_t value) {
  Bytes bytes(8);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

class ByteArithmetic : public OneStoreFile {};

TEST_F(ByteArithmetic, ShiftsNegationSumAndProduct) {
  struct Case {
    const char* what;
    int64_t a;
    int64_t b;
    int (*operation)(ExprNode* destination, const ExprNode* a, const ExprNode* b);
    uint64_t expected;
  };
  const Case cases[] = {
      {"0x80 >> 4 logical", 0x80, 0,
       [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_right(d, a, 4, 0); }, 0x08},
      {"-16 >> 2 arithmetic", -16, 0,
       [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_right(d, a, 2, 1); },
       static_cast<uint64_t>(-4)},
      {"-16 >> 2 logical", -16, 0,
       [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_right(d, a, 2, 0); },
       0x3FFFFFFFFFFFFFFCull},
      {"-1 >> 64 arithmetic", -1, 0,
       [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_right(d, a, 64, 1); },
       ~uint64_t{0}},
      {"x >> 1000 logical", 0x1234, 0,
       [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_right(d, a, 1000, 0); }, 0},
      {"0x1234 >> 8", 0x1234, 0,
       [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_right(d, a, 8, 0); }, 0x12},
      {"1 << 9", 1, 0, [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_left(d, a, 9); },
       0x200},
      {"0x81 << 4", 0x81, 0,
       [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_left(d, a, 4); }, 0x810},
      {"1 << 63", 1, 0, [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_left(d, a, 63); },
       0x8000000000000000ull},
      {"1 << 64", 1, 0, [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_shift_left(d, a, 64); },
       0},
      {"-(5)", 5, 0, [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_negate(d, a); },
       static_cast<uint64_t>(-5)},
      {"-(0)", 0, 0, [](ExprNode* d, const ExprNode* a, const ExprNode*) { return expr_negate(d, a); }, 0},
      {"0xFF + 1 carries", 0xFF, 1, expr_add, 0x100},
      {"-1 + 1 wraps", -1, 1, expr_add, 0},
      {"300 * 300", 300, 300, expr_multiply, 90000},
      {"-3 * 7", -3, 7, expr_multiply, static_cast<uint64_t>(-21)},
      {"2^40 * 2^30 wraps", int64_t{1} << 40, int64_t{1} << 30, expr_multiply, 0},
  };
  for (const Case& c : cases) {
    ExprNode* a = integer(c.a);
    ExprNode* b = integer(c.b);
    ExprNode* destination = integer(99);
    EXPECT_EQ(c.operation(destination, a, b), 0) << c.what;
    EXPECT_EQ(destination->kind, EXPR_VALUE) << c.what;
    EXPECT_EQ(valueBytes(destination), le(c.expected)) << c.what;
    expr_release(a);
    expr_release(b);
    expr_release(destination);
  }
}

TEST_F(ByteArithmetic, ProductWidthIsTheProductOfTheWidthsUpToTheIntegerBits) {
  struct Case {
    uint16_t a;
    uint16_t b;
    uint16_t width;
  };
  const Case cases[] = {{32, 32, 64}, {4, 8, 32}, {1, 1, 1}, {256, 256, 64}, {0, 16, 0}};
  for (const Case& c : cases) {
    ExprNode* a = integer(3);
    ExprNode* b = integer(5);
    a->width = c.a;
    b->width = c.b;
    ExprNode* destination = integer(0);
    expr_multiply(destination, a, b);
    EXPECT_EQ(destination->width, c.width) << c.a << "x" << c.b;
    EXPECT_EQ(valueBytes(destination), le(15));
    expr_add(destination, a, b);
    EXPECT_EQ(destination->width, c.a > c.b ? c.a : c.b);
    expr_release(a);
    expr_release(b);
    expr_release(destination);
  }
}

TEST_F(ByteArithmetic, DestinationMayBeAnOperandOrAnOperator) {
  ExprNode* value = integer(6);
  EXPECT_EQ(expr_add(value, value, value), 0);
  EXPECT_EQ(valueBytes(value), le(12));
  ExprNode* sum = nullptr;
  ExprNode* left = integer(1);
  ExprNode* right = integer(2);
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, left, right), 0);
  expr_release(right);
  uint32_t live = expr_live_node_count(context_);
  // The operator's own operand is read before the operator lets its operands go.
  EXPECT_EQ(expr_multiply(sum, left, value), 0);
  EXPECT_EQ(expr_live_node_count(context_), live - 1);  // right is gone
  EXPECT_EQ(sum->kind, EXPR_VALUE);
  EXPECT_EQ(valueBytes(sum), le(12));
  expr_release(left);
  expr_release(sum);
  expr_release(value);
}

TEST(FractionBytes, IncrementSaturatesOnlyOnPositiveOverflow) {
  struct Case {
    Bytes before;
    Bytes after;
    int result;
    uint32_t error;
  };
  const Case cases[] = {
      {{0x7F, 0xFF}, {0x7F, 0xFF}, 1, 13},
      {{0xFF, 0xFF}, {0x00, 0x00}, 0, 0},  // -1 LSB plus one is zero
      {{0x00, 0xFF}, {0x01, 0x00}, 0, 0},
      {{0x80, 0x00}, {0x80, 0x01}, 0, 0},
      {{0x7F}, {0x7F}, 1, 13},
      {{0x12, 0x34, 0x56}, {0x12, 0x34, 0x57}, 0, 0},
  };
  ExprLibContext* context = nullptr;
  ASSERT_EQ(expr_context_new(&context, 8), 0);
  for (const Case& c : cases) {
    Bytes bytes = c.before;
    context->error = 0;
    EXPECT_EQ(expr_fraction_increment(context, bytes.data(), 8 * bytes.size()), c.result);
    EXPECT_EQ(bytes, c.after);
    EXPECT_EQ(context->error, c.error);
  }
  expr_context_free(context);
}

TEST(FractionBytes, MinimumMaximumAndOrder) {
  Bytes minimum{0x80, 0x00, 0x00};
  EXPECT_EQ(expr_fraction_is_min(minimum.data(), 24), 1);
  EXPECT_EQ(expr_fraction_is_min(minimum.data(), 8), 1);
  Bytes notMinimum{0x80, 0x00, 0x01};
  EXPECT_EQ(expr_fraction_is_min(notMinimum.data(), 24), 0);
  Bytes maximum(3);
  EXPECT_EQ(expr_fraction_set_max(maximum.data(), 24), 0);
  EXPECT_EQ(maximum, (Bytes{0x7F, 0xFF, 0xFF}));

  struct Case {
    Bytes a;
    Bytes b;
    int greater;
  };
  const Case cases[] = {
      {{0x40}, {0x20}, 1},       {{0x20}, {0x40}, 0},       {{0x40}, {0x40}, 0},
      {{0x10}, {0xF0}, 1},       {{0xF0}, {0x10}, 0},       {{0x40, 0x01}, {0x40}, 1},
      {{0x40}, {0x40, 0x01}, 0}, {{0x40, 0x80}, {0x40, 0x7F}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expr_fraction_greater(c.a.data(), 8 * c.a.size(), c.b.data(), 8 * c.b.size()),
              c.greater);
  }
}

TEST(FractionBytes, ShiftsAndAddition) {
  struct Case {
    const char* what;
    Bytes before;
    int (*edit)(Bytes&);
    Bytes after;
  };
  const Case cases[] = {
      {"left by 1 carries into the byte before", {0x01, 0x80},
       [](Bytes& b) { bytes_shift_left(b.data(), 2, 1); return 0; }, {0x03, 0x00}},
      {"left clears the sign bit", {0x40, 0x00},
       [](Bytes& b) { bytes_shift_left(b.data(), 2, 1); return 0; }, {0x00, 0x00}},
      {"left by 0 only clears the sign bit", {0xFF, 0xFF},
       [](Bytes& b) { bytes_shift_left(b.data(), 2, 0); return 0; }, {0x7F, 0xFF}},
      {"left by 12", {0x00, 0x12, 0x34},
       [](Bytes& b) { bytes_shift_left(b.data(), 3, 12); return 0; }, {0x23, 0x40, 0x00}},
      {"left by more than the array", {0x12, 0x34},
       [](Bytes& b) { bytes_shift_left(b.data(), 2, 100000); return 0; }, {0x00, 0x00}},
      {"right by 1", {0x81, 0x00},
       [](Bytes& b) { bytes_shift_right(b.data(), 2, 1); return 0; }, {0x40, 0x80}},
      {"right by 12", {0x12, 0x34, 0x56},
       [](Bytes& b) { bytes_shift_right(b.data(), 3, 12); return 0; }, {0x00, 0x01, 0x23}},
      {"right by 0", {0x81},
       [](Bytes& b) { bytes_shift_right(b.data(), 1, 0); return 0; }, {0x81}},
      {"add with carry", {0x00, 0xFF},
       [](Bytes& b) { const uint8_t one[] = {0x00, 0x01}; bytes_add(b.data(), 2, one, 2); return 0; },
       {0x01, 0x00}},
      {"shorter addend counts zeros", {0x10, 0x20},
       [](Bytes& b) { const uint8_t one[] = {0x01}; bytes_add(b.data(), 2, one, 1); return 0; },
       {0x11, 0x20}},
  };
  for (const Case& c : cases) {
    Bytes bytes = c.before;
    c.edit(bytes);
    EXPECT_EQ(bytes, c.after) << c.what;
  }
}

TEST(BitFields, UnpackInBothOrders) {
  struct Case {
    const char* what;
    uint32_t (*unpack)(uint32_t* fields);
    uint32_t count;
    Words fields;
  };
  const Case cases[] = {
      {"32 bits, order 1", [](uint32_t* f) { return fields_unpack32(0x12345678, 8, 1, 0, f); }, 4,
       {0x78, 0x56, 0x34, 0x12}},
      {"32 bits, order 2", [](uint32_t* f) { return fields_unpack32(0x12345678, 8, 2, 0, f); }, 4,
       {0x12, 0x34, 0x56, 0x78}},
      {"16 bits, nibbles", [](uint32_t* f) { return fields_unpack16(0x1234, 4, 1, 0, f); }, 4,
       {4, 3, 2, 1}},
      {"16 bits, negative sign-extended",
       [](uint32_t* f) { return fields_unpack16(-1, 16, 1, 2, f); }, 2, {0xFFFF, 0xFFFF}},
      {"8 bits, order 2", [](uint32_t* f) { return fields_unpack8(0x5A, 2, 2, 0, f); }, 4,
       {1, 1, 2, 2}},
      {"64 bits, order 1", [](uint32_t* f) { return fields_unpack64(0x89ABCDEF, 0x01234567, 16, 1, 0, f); },
       4, {0xCDEF, 0x89AB, 0x4567, 0x0123}},
      {"64 bits, order 2", [](uint32_t* f) { return fields_unpack64(0x89ABCDEF, 0x01234567, 32, 2, 0, f); },
       2, {0x01234567, 0x89ABCDEF}},
      {"64 bits, past the value", [](uint32_t* f) { return fields_unpack64(1, 0, 32, 1, 3, f); }, 3,
       {1, 0, 0}},
      {"shifts taken modulo 32", [](uint32_t* f) { return fields_unpack32(0x0201, 8, 1, 5, f); }, 5,
       {0x01, 0x02, 0, 0, 0x01}},
      {"another order writes nothing", [](uint32_t* f) { return fields_unpack32(7, 8, 3, 0, f); }, 4,
       {0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Case& c : cases) {
    Words fields(8, 0xEE);
    EXPECT_EQ(c.unpack(fields.data()), c.count) << c.what;
    fields.resize(c.fields.size());
    EXPECT_EQ(fields, c.fields) << c.what;
  }
}

TEST(BitFields, PackIsTheInverseOfUnpack) {
  const uint32_t bytes[] = {0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(fields_pack32(8, 1, bytes, 4), 0x12345678u);
  EXPECT_EQ(fields_pack32(8, 2, bytes, 4), 0x78563412u);
  EXPECT_EQ(fields_pack32(8, 3, bytes, 4), 0u);
  EXPECT_EQ(fields_pack64(16, 1, bytes, 4), 0x0012003400560078ull);
  EXPECT_EQ(fields_pack64(32, 1, bytes, 3), 0x0000005600000078ull);  // the third is past 64 bits
  EXPECT_EQ(fields_pack8(2, 2, bytes, 1), 0x78);
  const uint32_t bits[] = {1, 0, 1, 1};
  EXPECT_EQ(fields_pack8(1, 1, bits, 4), 0x0D);
  EXPECT_EQ(fields_pack8(1, 2, bits, 4), 0x0B);
}

TEST(BitFields, RatioAndRepack) {
  struct Case {
    uint32_t a;
    uint32_t b;
    int flag;
    int32_t join;
    int32_t split;
  };
  const Case ratios[] = {
      {8, 8, 0, 1, 1},  {1, 8, 0, 1, 1},   {8, 1, 0, 1, 8},  {1, 8, 1, 8, 1},
      {8, 32, 0, 4, 1}, {32, 8, 0, 1, 4},  {8, 12, 0, -1, -1}, {0, 8, 1, -1, -1},
  };
  for (const Case& c : ratios) {
    int32_t join = 0;
    int32_t split = 0;
    EXPECT_EQ(fields_ratio(c.a, c.b, &join, &split, c.flag), 0);
    EXPECT_EQ(join, c.join) << c.a << " " << c.b;
    EXPECT_EQ(split, c.split) << c.a << " " << c.b;
  }
  const uint32_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  Words words(2);
  EXPECT_EQ(fields_repack(8, 8, bytes, 32, words.data(), 1, 0), 2u);
  EXPECT_EQ(words, (Words{0x12345678, 0x9ABCDEF0}));
  Words low(8);
  EXPECT_EQ(fields_repack(2, 32, words.data(), 8, low.data(), 1, 0), 2u);
  EXPECT_EQ(low, (Words{0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A}));
  Words high(8);
  EXPECT_EQ(fields_repack(2, 32, words.data(), 8, high.data(), 2, 0), 2u);
  EXPECT_EQ(high, (Words{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}));
  Words same(3);
  EXPECT_EQ(fields_repack(3, 8, bytes, 8, same.data(), 1, 0), 3u);
  EXPECT_EQ(same, (Words{0x12, 0x34, 0x56}));
  EXPECT_EQ(fields_repack(3, 8, bytes, 12, same.data(), 1, 0), 0u);
}

TEST(WordArrays, ReverseFillCompareCopy) {
  Words words{1, 2, 3, 4, 5};
  EXPECT_EQ(words_reverse(4, 0, 1, words.data()), words.data() + 4);
  EXPECT_EQ(words, (Words{4, 3, 2, 1, 5}));
  words_reverse(4, 7, 7, words.data());  // equal a and b: unchanged
  EXPECT_EQ(words, (Words{4, 3, 2, 1, 5}));
  words_fill(words.data(), 9, 2);
  EXPECT_EQ(words, (Words{9, 9, 2, 1, 5}));
  Words other = words;
  EXPECT_EQ(words_compare(words.data(), other.data(), 5), 0);
  other[4] = 6;
  EXPECT_LT(words_compare(words.data(), other.data(), 5), 0);
  EXPECT_EQ(words_copy(words.data() + 1, words.data(), 3), 3u);  // overlapping
  EXPECT_EQ(words, (Words{9, 9, 9, 2, 5}));
  EXPECT_EQ(words_copy(nullptr, words.data(), 3), 3u);
}

TEST(WordArrays, OneReleasedScratchBufferIsReused) {
  objlib_state_reset();
  EXPECT_EQ(scratch_words_alloc(0), nullptr);
  uint32_t* first = scratch_words_alloc(16);
  ASSERT_NE(first, nullptr);
  uint32_t* second = scratch_words_alloc(16);  // the cached one is in use
  EXPECT_NE(second, first);
  scratch_words_free(second);
  scratch_words_free(first);
  EXPECT_EQ(scratch_words_alloc(16), first);
  first = scratch_words_realloc(first, 32);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(objlib_state().scratch_word_count, 32u);
  scratch_words_free(first);
  uint32_t* resized = scratch_words_alloc(8);
  EXPECT_EQ(objlib_state().scratch_words, resized);
  scratch_words_free(resized);
  objlib_state_reset();
}

}  // namespace
