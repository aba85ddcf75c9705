#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ExprContextFixture.h"
#include "objlib/expr_arith.h"
#include "objlib/expr_eval.h"
#include "objlib/exprlib.h"

namespace {

constexpr int64_t MIN64 = std::numeric_limits<int64_t>::min();
constexpr int64_t MAX64 = std::numeric_limits<int64_t>::max();
constexpr uint64_t UMAX64 = std::numeric_limits<uint64_t>::max();

using Bytes = std::vector<unsigned char>;

class ExprArith : public ExprContextTest {
 protected:
  ExprNode* unsignedValue(uint64_t value) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_unsigned(context_, &node, value), 0);
    return node;
  }
  ExprNode* real(double value) {
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_node(context_, &node), 0);
    node->value_type = EXPR_TYPE_DOUBLE;
    node->width = 64;
    std::memcpy(expr_value_bytes(node), &value, sizeof value);
    return node;
  }
  ExprNode* fraction(const Bytes& bytes) {
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_node(context_, &node), 0);
    node->value_type = EXPR_TYPE_FRACT;
    node->width = static_cast<uint16_t>(bytes.size() * 8);
    std::memcpy(expr_value_bytes(node), bytes.data(), bytes.size());
    return node;
  }
  ExprNode* slotReference() {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_slot_ref(context_, &node, 1, context_), 0);
    return node;
  }
  static Bytes fractBytes(const ExprNode* node) {
    const unsigned char* bytes = expr_value_bytes(node);
    return Bytes(bytes, bytes + node->width / 8);
  }
};

TEST_F(ExprArith, MixedIntegerOperandsGiveASignedResult) {
  struct Case {
    const char* name;
    std::function<ExprNode*()> a;
    std::function<ExprNode*()> b;
    uint32_t type;
  };
  const Case cases[] = {
      {"signed, signed", [&] { return integer(1); }, [&] { return integer(1); }, EXPR_TYPE_SIGNED},
      {"unsigned, unsigned", [&] { return unsignedValue(1); }, [&] { return unsignedValue(1); },
       EXPR_TYPE_UNSIGNED},
      {"signed, unsigned", [&] { return integer(1); }, [&] { return unsignedValue(1); },
       EXPR_TYPE_SIGNED},
      {"unsigned, signed", [&] { return unsignedValue(1); }, [&] { return integer(1); },
       EXPR_TYPE_SIGNED},
      {"unsigned, slot reference", [&] { return unsignedValue(1); },
       [&] { return slotReference(); }, EXPR_TYPE_UNSIGNED},
      {"slot reference, unsigned", [&] { return slotReference(); },
       [&] { return unsignedValue(1); }, EXPR_TYPE_UNSIGNED},
      {"unsigned, double", [&] { return unsignedValue(1); }, [&] { return real(1.0); },
       EXPR_TYPE_SIGNED},
  };
  for (const Case& c : cases) {
    ExprNode* a = c.a();
    ExprNode* b = c.b();
    uint32_t type = 99;
    EXPECT_EQ(expr_result_type(&type, a, b), 0) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    expr_release(a);
    expr_release(b);
  }
}

TEST_F(ExprArith, DoublesFractionsAndStringsGoOnlyWithTheirOwnType) {
  struct Case {
    uint32_t a;
    uint32_t b;
    bool compatible;
  };
  const Case cases[] = {
      {4, 4, true},  {4, 2, false}, {2, 4, false}, {5, 5, true},  {6, 6, true},
      {6, 5, false}, {0, 3, true},  {3, 0, true},  {0, 6, false}, {2, 3, true},
  };
  ExprNode* a = integer(0);
  ExprNode* b = integer(0);
  for (const Case& c : cases) {
    a->value_type = c.a;
    b->value_type = c.b;
    EXPECT_EQ(expr_types_compatible(a, b), c.compatible) << c.a << " with " << c.b;
  }
  a->value_type = b->value_type = EXPR_TYPE_SIGNED;
  expr_release(a);
  expr_release(b);
}

TEST_F(ExprArith, OnlySignedValuesNegativeDoublesAndFractionsAreNegative) {
  struct Case {
    const char* name;
    std::function<ExprNode*()> make;
    bool negative;
  };
  const Case cases[] = {
      {"signed -1", [&] { return integer(-1); }, true},
      {"signed 0", [&] { return integer(0); }, false},
      {"unsigned all ones", [&] { return unsignedValue(UMAX64); }, false},
      {"double -1", [&] { return real(-1.0); }, true},
      {"double -0", [&] { return real(-0.0); }, false},
      {"fraction -1", [&] { return fraction({0x80, 0x00}); }, true},
      {"fraction 0.99", [&] { return fraction({0x7F}); }, false},
      {"string", [&] { return text("-1"); }, false},
      {"slot reference", [&] { return slotReference(); }, false},
  };
  for (const Case& c : cases) {
    ExprNode* node = c.make();
    EXPECT_EQ(expr_is_negative(node), c.negative) << c.name;
    expr_release(node);
  }
}

TEST_F(ExprArith, FractionFromDoubleRoundsAndSaturates) {
  struct Case {
    uint32_t bytes;
    double value;
    Bytes expected;
    int status;
  };
  const Case cases[] = {
      {2, 0.5, {0x40, 0x00}, 0},
      {2, 0.25, {0x20, 0x00}, 0},
      {2, -0.5, {0xC0, 0x00}, 0},
      {2, 1.0, {0x7F, 0xFF}, 1},
      {2, -1.0, {0x80, 0x00}, 0},
      {2, -2.0, {0x80, 0x00}, 1},
      {2, std::nan(""), {0x00, 0x00}, 1},
      {2, 1.0 / 3.0, {0x2A, 0xAB}, 0},
      {2, -1.0 / 3.0, {0xD5, 0x55}, 0},
      {1, 0.999, {0x7F}, 0},  // rounding up would reach the sign bit
      {3, std::ldexp(1.0, -23), {0x00, 0x00, 0x01}, 0},
      {3, std::ldexp(1.0, -24), {0x00, 0x00, 0x01}, 0},  // half of the last bit rounds up
      {3, std::ldexp(1.0, -25), {0x00, 0x00, 0x00}, 0},
  };
  for (const Case& c : cases) {
    ExprNode* node = integer(-1);
    context_->error = EXPR_ERR_NONE;
    EXPECT_EQ(expr_set_fract_from_double(node, c.bytes, c.value), c.status) << c.value;
    EXPECT_EQ(context_->error, c.status == 0 ? EXPR_ERR_NONE : EXPR_ERR_FRACT_RANGE) << c.value;
    EXPECT_EQ(node->value_type, EXPR_TYPE_FRACT);
    EXPECT_EQ(fractBytes(node), c.expected) << c.value;
    // The bytes beyond the fraction are cleared, not left from the integer.
    EXPECT_EQ(expr_value_bytes(node)[c.bytes], 0) << c.value;
    expr_release(node);
  }
}

TEST_F(ExprArith, FractionsReadAsDoublesAndNegateWithSaturation) {
  struct Case {
    Bytes bytes;
    double value;
    Bytes negated;
  };
  const Case cases[] = {
      {{0x40, 0x00}, 0.5, {0xC0, 0x00}},
      {{0xC0, 0x00}, -0.5, {0x40, 0x00}},
      {{0x80, 0x00}, -1.0, {0x7F, 0xFF}},
      {{0x00, 0x00}, 0.0, {0x00, 0x00}},
      {{0xFF, 0xFF}, -std::ldexp(1.0, -15), {0x00, 0x01}},
      {{0x80}, -1.0, {0x7F}},
  };
  for (const Case& c : cases) {
    ExprNode* node = fraction(c.bytes);
    ExprNode* target = integer(-1);
    EXPECT_EQ(expr_fract_to_double(node), c.value);
    EXPECT_EQ(expr_negate_value(target, node), 0);
    EXPECT_EQ(target->value_type, EXPR_TYPE_FRACT);
    EXPECT_EQ(fractBytes(target), c.negated) << c.value;
    expr_release(node);
    expr_release(target);
  }
}

TEST_F(ExprArith, ComparisonsEvaluateTheirOperandsFirst) {
  struct Case {
    const char* name;
    std::function<ExprNode*()> a;
    std::function<ExprNode*()> b;
    int equal;
    int greater;
  };
  const Case cases[] = {
      {"sum and constant", [&] { return op(EXPR_ADD, {integer(1), integer(2)}); },
       [&] { return integer(3); }, 1, 0},
      {"signed -1 against unsigned 1", [&] { return integer(-1); },
       [&] { return unsignedValue(1); }, 0, 0},
      {"fraction widths", [&] { return fraction({0x40, 0x01}); },
       [&] { return fraction({0x40}); }, 0, 1},
      {"fraction 0x40 and 0x40 00", [&] { return fraction({0x40, 0x00}); },
       [&] { return fraction({0x40}); }, 1, 0},
      {"placeholder", [&] { return op(EXPR_PLACEHOLDER, {}); }, [&] { return integer(1); }, 0, 0},
      {"mismatched types", [&] { return real(1.0); }, [&] { return integer(1); }, 0, 0},
  };
  for (const Case& c : cases) {
    ExprNode* a = c.a();
    ExprNode* b = c.b();
    EXPECT_EQ(expr_value_equal(a, b), c.equal) << c.name;
    EXPECT_EQ(expr_value_greater(a, b), c.greater) << c.name;
    expr_release(a);
    expr_release(b);
  }
}

// Integers wider than 64 bits take the long paths of division, multiplication and
// shifts; the expected values are 96-bit numbers.
TEST(ExprArithWide, TwelveByteIntegersWrapAtNinetySixBits) {
  using Wide = unsigned __int128;
  const Wide mask = (Wide{1} << 96) - 1;
  ExprLibContext* context = nullptr;
  ASSERT_EQ(expr_context_new(&context, 12), 0);
  auto integer = [&](int64_t value) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_integer(context, &node, value), 0);
    return node;
  };
  auto unsignedValue = [&](uint64_t value) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_unsigned(context, &node, value), 0);
    return node;
  };
  auto op = [&](int32_t kind, std::vector<ExprNode*> operands) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_operator_n(context, &node, kind, operands.size(), operands.data()), 0);
    for (ExprNode* operand : operands) expr_release(operand);
    return node;
  };
  auto power = [&](int64_t exponent) { return op(EXPR_SHL, {integer(1), integer(exponent)}); };
  auto negative = [&](Wide magnitude) { return (~magnitude + 1) & mask; };
  struct Case {
    const char* name;
    std::function<ExprNode*()> build;
    Wide expected;
    bool truncatedOperand;  // division records error 2 without failing
  };
  const Wide two80 = Wide{1} << 80;
  const Case cases[] = {
      {"1 << 64", [&] { return power(64); }, Wide{1} << 64, false},
      {"1 << 95", [&] { return power(95); }, Wide{1} << 95, false},
      {"1 << 96", [&] { return power(96); }, 0, false},
      {"unsigned max + 1", [&] { return op(EXPR_ADD, {unsignedValue(UMAX64), unsignedValue(1)}); },
       Wide{1} << 64, false},
      {"2^40 * 2^40", [&] { return op(EXPR_MUL, {power(40), power(40)}); }, two80, false},
      {"-1 * 2^70", [&] { return op(EXPR_MUL, {integer(-1), power(70)}); },
       negative(Wide{1} << 70), false},
      {"(2^80 + 5) / 3", [&] { return op(EXPR_DIV, {op(EXPR_ADD, {power(80), integer(5)}), integer(3)}); },
       (two80 + 5) / 3, true},
      {"-(2^80 + 7) / 10", [&] {
         return op(EXPR_DIV, {op(EXPR_NEG, {op(EXPR_ADD, {power(80), integer(7)})}), integer(10)});
       },
       negative((two80 + 7) / 10), true},
      {"-(2^80 + 7) % 10", [&] {
         return op(EXPR_REM, {op(EXPR_NEG, {op(EXPR_ADD, {power(80), integer(7)})}), integer(10)});
       },
       negative((two80 + 7) % 10), true},
      {"int64 min / -1", [&] { return op(EXPR_DIV, {integer(MIN64), integer(-1)}); },
       Wide{1} << 63, true},
      {"-(2^90) >> 89, sign fill", [&] { return op(EXPR_SAR, {op(EXPR_NEG, {power(90)}), integer(89)}); },
       negative(2), false},
      {"-1 >> 90, zero fill", [&] { return op(EXPR_SHR, {integer(-1), integer(90)}); }, 63, false},
      {"2^70 > int64 max", [&] { return op(EXPR_GT, {power(70), integer(MAX64)}); }, 1, false},
      {"-(2^70) < int64 min", [&] { return op(EXPR_LT, {op(EXPR_NEG, {power(70)}), integer(MIN64)}); },
       1, false},
      {"unsigned max == -1 differ above 64 bits",
       [&] { return op(EXPR_EQ, {unsignedValue(UMAX64), integer(-1)}); }, 0, false},
  };
  for (const Case& c : cases) {
    ExprNode* root = c.build();
    context->error = EXPR_ERR_NONE;
    ASSERT_EQ(expr_evaluate(root), 0) << c.name << " failed with " << context->error;
    ASSERT_EQ(root->kind, EXPR_VALUE) << c.name;
    Wide value = 0;
    const unsigned char* bytes = expr_value_bytes(root);
    for (int i = 11; i >= 0; --i) value = value << 8 | bytes[i];
    EXPECT_TRUE(value == (c.expected & mask))
        << c.name << ": got high " << static_cast<uint64_t>(value >> 64) << " low "
        << static_cast<uint64_t>(value);
    EXPECT_EQ(context->error == EXPR_ERR_OPERAND_TRUNCATED, c.truncatedOperand) << c.name;
    expr_release(root);
  }

  // The integer does not fit 64 bits: its low bits come back, error 2 is noted.
  ExprNode* big = power(64);
  int64_t low = -1;
  context->error = EXPR_ERR_NONE;
  EXPECT_EQ(expr_evaluate_integer(big, &low), 0);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(context->error, EXPR_ERR_OPERAND_TRUNCATED);
  expr_release(big);
  EXPECT_EQ(expr_live_node_count(context), 0u);
  expr_context_free(context);
}

}  // namespace
