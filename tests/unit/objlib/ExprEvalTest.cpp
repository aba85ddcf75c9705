#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ExprContextFixture.h"
#include "objlib/expr_arith.h"
#include "objlib/expr_eval.h"
#include "objlib/exprlib.h"
#include "objlib/ios_pool.h"

namespace {

constexpr int64_t MIN64 = std::numeric_limits<int64_t>::min();
constexpr int64_t MAX64 = std::numeric_limits<int64_t>::max();
constexpr uint64_t UMAX64 = std::numeric_limits<uint64_t>::max();
const double NaN = std::nan("");

// A value as the tests write it: the type decides which field counts.
struct V {
  uint32_t type = EXPR_TYPE_SIGNED;
  int64_t integer = 0;
  double real = 0.0;
  std::vector<unsigned char> fraction;
  const char* text = nullptr;
};

V S(int64_t value) { return V{EXPR_TYPE_SIGNED, value, 0.0, {}, nullptr}; }
V U(uint64_t value) {
  return V{EXPR_TYPE_UNSIGNED, static_cast<int64_t>(value), 0.0, {}, nullptr};
}
V D(double value) { return V{EXPR_TYPE_DOUBLE, 0, value, {}, nullptr}; }
V F(std::vector<unsigned char> bytes) { return V{EXPR_TYPE_FRACT, 0, 0.0, std::move(bytes), nullptr}; }
V T(const char* text) { return V{EXPR_TYPE_STRING, 0, 0.0, {}, text}; }

std::string describe(const V& v) {
  switch (v.type) {
    case EXPR_TYPE_DOUBLE:
      return "double " + std::to_string(v.real);
    case EXPR_TYPE_FRACT: {
      std::string out = "fraction";
      for (unsigned char byte : v.fraction) out += " " + std::to_string(byte);
      return out;
    }
    case EXPR_TYPE_STRING:
      return std::string("string ") + v.text;
    default:
      return (v.type == EXPR_TYPE_UNSIGNED ? "unsigned " : "signed ") + std::to_string(v.integer);
  }
}

class ExprEval : public ExprContextTest {
 protected:
  ExprNode* make(const V& v) {
    ExprNode* node = nullptr;
    switch (v.type) {
      case EXPR_TYPE_SIGNED:
        return integer(v.integer);
      case EXPR_TYPE_UNSIGNED:
        EXPECT_EQ(objexpr_make_unsigned(context_, &node, static_cast<uint64_t>(v.integer)), 0);
        return node;
      case EXPR_TYPE_DOUBLE:
        EXPECT_EQ(expr_new_node(context_, &node), 0);
        node->value_type = EXPR_TYPE_DOUBLE;
        node->width = 64;
        std::memcpy(expr_value_bytes(node), &v.real, sizeof v.real);
        return node;
      case EXPR_TYPE_FRACT:
        EXPECT_EQ(expr_new_node(context_, &node), 0);
        node->value_type = EXPR_TYPE_FRACT;
        node->width = static_cast<uint16_t>(v.fraction.size() * 8);
        std::memcpy(expr_value_bytes(node), v.fraction.data(), v.fraction.size());
        return node;
      default:
        return text(v.text);
    }
  }

  // Checks that node became the value expected.
  static ::testing::AssertionResult holds(const ExprNode* node, const V& expected) {
    if (node->kind != EXPR_VALUE) {
      return ::testing::AssertionFailure() << "kind " << node->kind << " is not a value";
    }
    if (node->value_type != expected.type) {
      return ::testing::AssertionFailure() << "type " << node->value_type << ", expected "
                                           << describe(expected);
    }
    const unsigned char* bytes = expr_value_bytes(node);
    switch (expected.type) {
      case EXPR_TYPE_DOUBLE: {
        double value;
        std::memcpy(&value, bytes, sizeof value);
        bool same = std::isnan(expected.real) ? std::isnan(value) : value == expected.real;
        if (!same) return ::testing::AssertionFailure() << "double " << value;
        break;
      }
      case EXPR_TYPE_FRACT:
        if (node->width != expected.fraction.size() * 8 ||
            std::memcmp(bytes, expected.fraction.data(), expected.fraction.size()) != 0) {
          return ::testing::AssertionFailure()
                 << "fraction of width " << node->width << " first byte " << int{bytes[0]};
        }
        break;
      case EXPR_TYPE_STRING:
        if (std::strcmp(node->payload.string->text, expected.text) != 0) {
          return ::testing::AssertionFailure() << "string " << node->payload.string->text;
        }
        break;
      default: {
        bool fits = false;
        auto value = static_cast<int64_t>(expr_integer_low64(node, &fits));
        if (value != expected.integer || !fits) {
          return ::testing::AssertionFailure() << "integer " << value;
        }
      }
    }
    return ::testing::AssertionSuccess();
  }

  // Puts a node into a slot of ctx; the slot takes the caller's reference.
  static void fillSlot(ExprLibContext* ctx, uint32_t index, ExprNode* node) {
    ctx->slots.entries[index].expr = node;
  }
  static void emptySlots(ExprLibContext* ctx) {
    for (uint32_t i = 0; i < ctx->slots.capacity; ++i) {
      expr_release(ctx->slots.entries[i].expr);
      ctx->slots.entries[i].expr = nullptr;
    }
  }

  ExprNode* slotRef(uint32_t index, ExprLibContext* ctx = nullptr) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_slot_ref(context_, &node, index, ctx != nullptr ? ctx : context_), 0);
    return node;
  }

  ExprNode* placeholder() { return op(EXPR_PLACEHOLDER, {}); }

  void TearDown() override {
    emptySlots(context_);
    EXPECT_EQ(expr_live_node_count(context_), 0u) << "a reference was lost or kept";
    ExprContextTest::TearDown();
  }
};

// Every row of the operator table that has handlers, with the columns that matter.
TEST_F(ExprEval, OperatorTableGivesTheValueOrTheErrorOfEachKindAndType) {
  struct Case {
    int32_t kind;
    std::vector<V> operands;
    uint32_t error;  // 0: success with `result`
    V result;
    uint32_t target = 0;  // conversions: the node's value type
  };
  const uint32_t W = EXPR_DEFAULT_INT_WIDTH;
  const Case cases[] = {
      {EXPR_TRUE, {}, 0, S(-1)},
      {EXPR_FALSE, {}, 0, S(0)},
      {EXPR_ABS, {S(-5)}, 0, S(5)},
      {EXPR_ABS, {U(UMAX64)}, 0, U(UMAX64)},
      {EXPR_ABS, {D(-2.5)}, 0, D(2.5)},
      {EXPR_ABS, {F({0xC0, 0x00})}, 0, F({0x40, 0x00})},
      {EXPR_ABS, {T("x")}, EXPR_ERR_NO_HANDLER, {}},
      {EXPR_ADD, {S(2), S(3)}, 0, S(5)},
      {EXPR_ADD, {S(MAX64), S(1)}, 0, S(MIN64)},
      {EXPR_ADD, {S(-1), U(1)}, 0, S(0)},
      {EXPR_ADD, {U(UMAX64), U(2)}, 0, U(1)},
      {EXPR_ADD, {D(0.5), D(0.25)}, 0, D(0.75)},
      {EXPR_ADD, {F({0x40, 0x00}), F({0x20, 0x00})}, 0, F({0x60, 0x00})},
      {EXPR_ADD, {F({0x40}), F({0x20, 0x01})}, 0, F({0x60, 0x01})},
      {EXPR_ADD, {D(1.0), S(1)}, EXPR_ERR_TYPE_MISMATCH, {}},
      {EXPR_ADD, {S(1), T("a")}, EXPR_ERR_TYPE_MISMATCH, {}},
      {EXPR_ADD, {T("a"), T("b")}, EXPR_ERR_NO_HANDLER, {}},
      {EXPR_BIT_AND, {S(0xF0), S(0x3C)}, 0, S(0x30)},
      {EXPR_BIT_AND, {D(1.0), D(1.0)}, EXPR_ERR_NO_HANDLER, {}},
      {EXPR_BIT_NOT, {S(0)}, 0, S(-1)},
      {EXPR_BIT_NOT, {U(0)}, 0, U(UMAX64)},
      {EXPR_BIT_NOT, {D(0.0)}, EXPR_ERR_NO_HANDLER, {}},
      {EXPR_DIV, {S(-7), S(2)}, 0, S(-3)},
      {EXPR_DIV, {S(7), S(-2)}, 0, S(-3)},
      {EXPR_DIV, {S(MIN64), S(-1)}, 0, S(MIN64)},
      {EXPR_DIV, {U(UMAX64), U(2)}, 0, U(UMAX64 / 2)},
      {EXPR_DIV, {S(-1), U(2)}, 0, S(0)},
      {EXPR_DIV, {S(7), S(0)}, EXPR_ERR_DIVIDE_BY_ZERO, {}},
      {EXPR_DIV, {D(1.0), D(4.0)}, 0, D(0.25)},
      {EXPR_DIV, {F({0x40}), F({0x40})}, EXPR_ERR_NO_HANDLER, {}},
      {EXPR_LOGICAL_AND, {S(2), S(3)}, 0, S(1)},
      {EXPR_LOGICAL_AND, {S(2), S(0)}, 0, S(0)},
      {EXPR_LOGICAL_AND, {D(1.0), D(1.0)}, EXPR_ERR_NO_HANDLER, {}},
      {EXPR_LOGICAL_OR, {S(0), S(0)}, 0, S(0)},
      {EXPR_LOGICAL_OR, {S(0), U(5)}, 0, S(1)},
      {EXPR_MAX, {S(-1), U(1)}, 0, U(1)},
      {EXPR_MAX, {S(3), U(3)}, 0, U(3)},  // equal: the second
      {EXPR_MAX, {D(-1.0), D(2.0)}, 0, D(2.0)},
      {EXPR_MAX, {F({0x80, 0x00}), F({0x7F})}, 0, F({0x7F})},
      {EXPR_MAX, {T("abc"), T("abd")}, 0, T("abd")},
      {EXPR_MAX, {T("b"), T("abc")}, 0, T("b")},
      {EXPR_REM, {S(-7), S(2)}, 0, S(-1)},
      {EXPR_REM, {S(7), S(-2)}, 0, S(1)},
      {EXPR_REM, {S(MIN64), S(-1)}, 0, S(0)},
      {EXPR_REM, {S(1), S(0)}, EXPR_ERR_DIVIDE_BY_ZERO, {}},
      {EXPR_REM, {D(7.5), D(2.0)}, 0, D(1.5)},
      {EXPR_REM, {D(7.5), D(0.0)}, EXPR_ERR_DIVIDE_BY_ZERO, {}},
      {EXPR_MIN, {T("b"), T("a")}, 0, T("a")},
      {EXPR_MIN, {S(3), U(3)}, 0, S(3)},  // equal: the first
      {EXPR_MIN, {S(-1), U(1)}, 0, S(-1)},
      {EXPR_MUL, {S(-3), S(4)}, 0, S(-12)},
      {EXPR_MUL, {S(MAX64), S(2)}, 0, S(-2)},
      {EXPR_MUL, {D(1.5), D(2.0)}, 0, D(3.0)},
      {EXPR_MUL, {F({0x40, 0x00}), F({0x40, 0x00})}, 0, F({0x20, 0x00})},
      {EXPR_MUL, {F({0xC0, 0x00}), F({0x40, 0x00})}, 0, F({0xE0, 0x00})},
      {EXPR_MUL, {F({0x80, 0x00}), F({0x80, 0x00})}, 0, F({0x7F, 0xFF})},
      {EXPR_MUL, {F({0x80, 0x00}), F({0x40, 0x00})}, 0, F({0xC0, 0x00})},
      {EXPR_MUL, {F({0x7F, 0xFF}), F({0x7F, 0xFF})}, 0, F({0x7F, 0xFE})},
      {EXPR_NEG, {S(5)}, 0, S(-5)},
      {EXPR_NEG, {S(MIN64)}, 0, S(MIN64)},
      {EXPR_NEG, {D(1.0)}, 0, D(-1.0)},
      {EXPR_NEG, {F({0xC0, 0x00})}, 0, F({0x40, 0x00})},
      {EXPR_NEG, {F({0x80, 0x00})}, 0, F({0x7F, 0xFF})},
      {EXPR_NEG, {F({0x00, 0x00})}, 0, F({0x00, 0x00})},
      {EXPR_LOGICAL_NOT, {S(0)}, 0, S(1)},
      {EXPR_LOGICAL_NOT, {U(7)}, 0, S(0)},
      {EXPR_BIT_OR, {S(0xF0), S(0x0F)}, 0, S(0xFF)},
      {EXPR_SHL, {S(1), S(4)}, 0, S(16)},
      {EXPR_SHL, {S(0x81), S(12)}, 0, S(0x81000)},
      {EXPR_SHL, {S(1), S(63)}, 0, S(MIN64)},
      {EXPR_SHL, {S(1), S(64)}, 0, S(0)},
      {EXPR_SHL, {S(1), S(-1)}, 0, S(0)},
      {EXPR_SHL, {U(3), S(1)}, 0, U(6)},
      {EXPR_SHR, {S(-1), S(60)}, 0, S(0xF)},
      {EXPR_SHR, {S(0x1234), S(4)}, 0, S(0x123)},
      {EXPR_SHR, {S(-1), S(64)}, 0, S(0)},
      {EXPR_SAR, {S(-16), S(2)}, 0, S(-4)},
      {EXPR_SAR, {S(-1), S(100)}, 0, S(-1)},
      {EXPR_SAR, {S(16), S(100)}, 0, S(0)},
      {EXPR_SUB, {S(MIN64), S(1)}, 0, S(MAX64)},
      {EXPR_SUB, {U(0), U(1)}, 0, U(UMAX64)},
      {EXPR_SUB, {D(1.0), D(0.25)}, 0, D(0.75)},
      {EXPR_SUB, {F({0x20, 0x00}), F({0x40, 0x00})}, 0, F({0xE0, 0x00})},
      {EXPR_BIT_XOR, {S(0xFF), S(0x0F)}, 0, S(0xF0)},
      {EXPR_EQ, {S(-1), U(UMAX64)}, 0, S(1)},  // integers are equal by their bytes
      {EXPR_EQ, {T("a"), T("a")}, 0, S(1)},
      {EXPR_EQ, {F({0x40}), F({0x40, 0x00})}, 0, S(1)},
      {EXPR_EQ, {D(NaN), D(NaN)}, 0, S(0)},
      {EXPR_NE, {T("a"), T("b")}, 0, S(1)},
      {EXPR_NE, {D(NaN), D(NaN)}, 0, S(1)},
      {EXPR_LE, {S(-1), U(1)}, 0, S(1)},
      {EXPR_LE, {S(2), S(2)}, 0, S(1)},
      {EXPR_GE, {U(1), S(-1)}, 0, S(1)},
      {EXPR_GT, {U(1), S(-1)}, 0, S(1)},
      {EXPR_GT, {S(-2), S(-3)}, 0, S(1)},
      {EXPR_GT, {U(UMAX64), U(1)}, 0, S(1)},
      {EXPR_GT, {T("b"), T("a")}, 0, S(1)},
      {EXPR_GT, {T("\xE0"), T("a")}, 0, S(1)},  // characters compare unsigned
      {EXPR_GT, {D(NaN), D(1.0)}, 0, S(0)},
      {EXPR_LT, {S(-1), U(1)}, 0, S(1)},
      {EXPR_LT, {F({0x80, 0x00}), F({0x7F, 0xFF})}, 0, S(1)},
      {EXPR_LT, {D(1.0), S(1)}, EXPR_ERR_TYPE_MISMATCH, {}},
      {EXPR_COND, {S(1), S(10), S(20)}, 0, S(10)},
      {EXPR_COND, {S(0), S(10), S(20)}, 0, S(20)},
      {EXPR_COND, {D(0.0), D(1.0), D(2.0)}, 0, D(2.0)},
      {EXPR_COND, {F({0x00, 0x01}), S(1), S(2)}, 0, S(1)},
      {EXPR_COND, {T(""), S(1), S(2)}, EXPR_ERR_NO_HANDLER, {}},
      {EXPR_PLACEHOLDER, {}, EXPR_ERR_NOT_REDUCIBLE, {}},
      {EXPR_LIST, {S(1), S(2)}, EXPR_ERR_NOT_REDUCIBLE, {}},
      {EXPR_CONVERT, {S(-1)}, 0, U(UMAX64), EXPR_TYPE_UNSIGNED},
      {EXPR_CONVERT, {S(-3)}, 0, D(-3.0), EXPR_TYPE_DOUBLE},
      {EXPR_CONVERT, {U(UMAX64)}, 0, D(18446744073709551615.0), EXPR_TYPE_DOUBLE},
      {EXPR_CONVERT, {D(-3.7)}, 0, S(-3), EXPR_TYPE_SIGNED},
      {EXPR_CONVERT, {D(-9.2e18)}, 0, S(-9200000000000000000), EXPR_TYPE_SIGNED},
      {EXPR_CONVERT, {D(1.5e19)}, 0, U(15000000000000000000u), EXPR_TYPE_UNSIGNED},
      {EXPR_CONVERT, {D(-1.0)}, EXPR_ERR_OUT_OF_RANGE, {}, EXPR_TYPE_UNSIGNED},
      {EXPR_CONVERT, {D(9.3e18)}, EXPR_ERR_OUT_OF_RANGE, {}, EXPR_TYPE_SIGNED},
      {EXPR_CONVERT, {D(NaN)}, EXPR_ERR_OUT_OF_RANGE, {}, EXPR_TYPE_SIGNED},
      {EXPR_CONVERT, {D(0.5)}, 0, F({0x40, 0, 0, 0, 0, 0, 0, 0}), EXPR_TYPE_FRACT},
      {EXPR_CONVERT, {D(1.0)}, EXPR_ERR_FRACT_RANGE, {}, EXPR_TYPE_FRACT},
      {EXPR_CONVERT, {S(-1)}, 0, F({0x80, 0, 0, 0, 0, 0, 0, 0}), EXPR_TYPE_FRACT},
      {EXPR_CONVERT, {S(2)}, EXPR_ERR_FRACT_RANGE, {}, EXPR_TYPE_FRACT},
      {EXPR_CONVERT, {F({0xC0, 0x00})}, 0, D(-0.5), EXPR_TYPE_DOUBLE},
      {EXPR_CONVERT, {F({0xC0, 0x00})}, 0, F({0xC0, 0x00}), EXPR_TYPE_FRACT},
      {EXPR_CONVERT, {F({0xC0, 0x00})}, EXPR_ERR_OUT_OF_RANGE, {}, EXPR_TYPE_SIGNED},
      {EXPR_CONVERT, {T("1")}, EXPR_ERR_TYPE_UNDEFINED, {}, EXPR_TYPE_SIGNED},
      {EXPR_CONVERT, {S(1)}, EXPR_ERR_TYPE_UNDEFINED, {}, EXPR_TYPE_STRING},
      {EXPR_CONVERT, {S(1)}, EXPR_ERR_NO_HANDLER, {}, 7},
      {300, {S(1)}, EXPR_ERR_NO_HANDLER, {}},
  };
  ASSERT_EQ(context_->int_width, W);
  for (const Case& c : cases) {
    std::string name = "kind " + std::to_string(c.kind);
    for (const V& operand : c.operands) name += ", " + describe(operand);
    std::vector<ExprNode*> built;
    for (const V& operand : c.operands) built.push_back(make(operand));
    ExprNode* root = op(c.kind, built);
    ASSERT_NE(root, nullptr) << name;
    if (c.kind == EXPR_CONVERT) root->value_type = c.target;
    context_->error = EXPR_ERR_NONE;
    int status = expr_evaluate(root);
    if (c.error == 0) {
      EXPECT_EQ(status, 0) << name << " failed with " << context_->error;
      EXPECT_TRUE(holds(root, c.result)) << name;
    } else {
      EXPECT_EQ(status, 1) << name;
      EXPECT_EQ(context_->error, c.error) << name;
      EXPECT_EQ(root->kind, c.kind) << name << ": a failing node stays as it was";
    }
    expr_release(root);
    EXPECT_EQ(expr_live_node_count(context_), 0u) << name;
  }
}

TEST_F(ExprEval, TrueIsAllOnesWithItsWidthCountedInBytes) {
  ExprNode* node = op(EXPR_TRUE, {});
  ASSERT_EQ(expr_evaluate(node), 0);
  EXPECT_EQ(node->width, 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(expr_value_bytes(node)[i], 0xFF);
  expr_release(node);
}

TEST_F(ExprEval, ReducedOperandsLoseTheOperatorsReference) {
  ExprNode* two = integer(2);
  ExprNode* three = integer(3);
  ExprNode* sum = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, two, three), 0);
  ASSERT_EQ(two->ref_count, 2);
  ASSERT_EQ(expr_evaluate(sum), 0);
  EXPECT_TRUE(holds(sum, S(5)));
  EXPECT_EQ(two->ref_count, 1);
  EXPECT_EQ(three->ref_count, 1);
  expr_release(two);
  expr_release(three);
  expr_release(sum);
}

TEST_F(ExprEval, NestedAndSharedSubtreesAreReducedInPlace) {
  ExprNode* shared = op(EXPR_ADD, {integer(2), integer(3)});
  ExprNode* product = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &product, EXPR_MUL, 2, shared,
                                  op(EXPR_SUB, {integer(10), integer(4)})),
            0);
  expr_release(expr_operand(product, 1));  // the subtraction belongs to the product alone
  ExprNode* root = op(EXPR_SUB, {product, shared});
  ASSERT_EQ(expr_evaluate(root), 0);
  EXPECT_TRUE(holds(root, S(30 - 5)));
  expr_release(root);
}

// A leaf that does not reduce stops the evaluation; what was reduced before it
// stays reduced, the rest of the tree stays as it was.
TEST_F(ExprEval, IrreducibleLeafLeavesTheTreeAboveItStanding) {
  struct Case {
    const char* name;
    int32_t leafKind;  // placeholder, or a slot reference to an empty slot
    uint32_t error;
  };
  const Case cases[] = {
      {"placeholder", EXPR_PLACEHOLDER, EXPR_ERR_NOT_REDUCIBLE},
      {"empty slot", EXPR_SLOT_REF, EXPR_ERR_EMPTY_SLOT},
      {"list", EXPR_LIST, EXPR_ERR_NOT_REDUCIBLE},
  };
  for (const Case& c : cases) {
    ExprNode* leaf = c.leafKind == EXPR_SLOT_REF ? slotRef(7) : op(c.leafKind, {});
    ExprNode* left = op(EXPR_MUL, {integer(2), integer(3)});
    ExprNode* inner = op(EXPR_ADD, {left, leaf});
    ExprNode* untouched = op(EXPR_NEG, {integer(9)});
    ExprNode* root = op(EXPR_SUB, {inner, untouched});
    EXPECT_EQ(expr_evaluate(root), 1) << c.name;
    EXPECT_EQ(context_->error, c.error) << c.name;
    EXPECT_EQ(root->kind, EXPR_SUB) << c.name;
    EXPECT_EQ(inner->kind, EXPR_ADD) << c.name;
    EXPECT_TRUE(holds(expr_operand(inner, 0), S(6))) << c.name;
    EXPECT_EQ(expr_operand(inner, 1)->kind, c.leafKind) << c.name;
    EXPECT_EQ(untouched->kind, EXPR_NEG) << c.name << ": evaluated after the failure";
    expr_release(root);
  }
}

TEST_F(ExprEval, SlotReferencesCopyTheReducedSlotExpression) {
  ExprLibContext* wide = nullptr;
  ASSERT_EQ(expr_context_new(&wide, 12), 0);
  ExprNode* wideValue = nullptr;
  ASSERT_EQ(objexpr_make_integer(wide, &wideValue, -2), 0);
  fillSlot(wide, 3, wideValue);

  fillSlot(context_, 1, op(EXPR_ADD, {integer(2), integer(3)}));
  fillSlot(context_, 2, text("label"));
  fillSlot(context_, 4, placeholder());
  struct Case {
    const char* name;
    uint32_t slot;
    ExprLibContext* slotContext;
    uint32_t error;
    V result;
  };
  const Case cases[] = {
      {"sum", 1, nullptr, 0, S(5)},
      {"sum again, now a value", 1, nullptr, 0, S(5)},
      {"string", 2, nullptr, 0, T("label")},
      {"other context, wider integers", 3, wide, 0, S(-2)},
      {"empty slot", 5, nullptr, EXPR_ERR_EMPTY_SLOT, {}},
      {"slot 0 is never handed out", 0, nullptr, EXPR_ERR_EMPTY_SLOT, {}},
      {"beyond the table", EXPR_FIRST_SLOT_CAPACITY, nullptr, EXPR_ERR_EMPTY_SLOT, {}},
      {"placeholder in the slot", 4, nullptr, EXPR_ERR_NOT_REDUCIBLE, {}},
  };
  for (const Case& c : cases) {
    ExprNode* ref = slotRef(c.slot, c.slotContext);
    int status = expr_evaluate(ref);
    if (c.error == 0) {
      EXPECT_EQ(status, 0) << c.name;
      EXPECT_TRUE(holds(ref, c.result)) << c.name;
    } else {
      EXPECT_EQ(status, 1) << c.name;
      EXPECT_EQ(context_->error, c.error) << c.name;
      EXPECT_EQ(ref->kind, EXPR_SLOT_REF) << c.name;
    }
    expr_release(ref);
  }
  // The slot keeps its own reference to its expression, now reduced.
  ExprNode* stored = context_->slots.entries[1].expr;
  EXPECT_EQ(stored->ref_count, 1);
  EXPECT_TRUE(holds(stored, S(5)));
  emptySlots(wide);
  expr_context_free(wide);
}

TEST_F(ExprEval, CyclesThroughSlotsFailInsteadOfOverflowingTheStack) {
  fillSlot(context_, 1, op(EXPR_ADD, {slotRef(2), integer(1)}));
  fillSlot(context_, 2, op(EXPR_NEG, {slotRef(1)}));
  ExprNode* ref = slotRef(1);
  EXPECT_EQ(expr_evaluate(ref), 1);
  EXPECT_EQ(context_->error, EXPR_ERR_NOT_REDUCIBLE);
  expr_release(ref);
}

TEST_F(ExprEval, ConditionalEvaluatesOnlyTheChosenBranch) {
  ExprNode* failing = op(EXPR_DIV, {integer(1), integer(0)});
  ExprNode* root = op(EXPR_COND, {integer(0), failing, integer(7)});
  ASSERT_EQ(expr_evaluate(root), 0);
  EXPECT_TRUE(holds(root, S(7)));
  expr_release(root);
}

uint32_t reportedCode = 0;
int reportCount = 0;
void countReport(uint32_t code, ExprNode*) {
  reportedCode = code;
  ++reportCount;
}

TEST_F(ExprEval, RangeCheckPassesTheValueOrReportsItsCode) {
  struct Case {
    const char* name;
    ExprRangeReport report;
    V violation;
    uint32_t error;
    int reports;
  };
  const Case cases[] = {
      {"no violation", countReport, S(0), 0, 0},
      {"violation", countReport, S(1), EXPR_ERR_RANGE_CHECK, 1},
      {"violation that is not an integer", countReport, D(0.0), EXPR_ERR_RANGE_CHECK, 1},
      {"violation without a report", nullptr, S(1), EXPR_ERR_RANGE_CHECK, 0},
  };
  for (const Case& c : cases) {
    reportCount = 0;
    reportedCode = 0;
    expr_set_range_report(context_, c.report);
    ExprNode* check = nullptr;
    ExprNode* parts[3] = {make(c.violation), op(EXPR_ADD, {integer(40), integer(2)}), integer(5)};
    ASSERT_EQ(objexpr_make_operator_n(context_, &check, EXPR_RANGE_CHECK, 3, parts), 0);
    for (ExprNode* part : parts) expr_release(part);
    int status = expr_evaluate(check);
    if (c.error == 0) {
      EXPECT_EQ(status, 0) << c.name;
      EXPECT_TRUE(holds(check, S(42))) << c.name;
    } else {
      EXPECT_EQ(status, 1) << c.name;
      EXPECT_EQ(context_->error, c.error) << c.name;
    }
    EXPECT_EQ(reportCount, c.reports) << c.name;
    if (c.reports != 0) {
      EXPECT_EQ(reportedCode, 5u) << c.name;
    }
    expr_release(check);
  }
  expr_set_range_report(context_, nullptr);
}

int evaluateOperand(uint32_t tag, ExprNode* operand) {
  if (tag == 1) return 1;  // refuses
  if (tag == 2) return 0;  // leaves the operand as it is
  return expr_evaluate(operand);
}

TEST_F(ExprEval, DeferredValuesComeFromTheResolver) {
  struct Case {
    const char* name;
    ExprResolver resolver;
    uint32_t tag;
    uint32_t error;
  };
  const Case cases[] = {
      {"resolved", evaluateOperand, 0, 0},
      {"no resolver", nullptr, 0, EXPR_ERR_NO_RESOLVER},
      {"resolver refuses", evaluateOperand, 1, EXPR_ERR_NOT_REDUCIBLE},
      {"operand stays an operator", evaluateOperand, 2, EXPR_ERR_NOT_REDUCIBLE},
  };
  for (const Case& c : cases) {
    expr_set_resolver(context_, c.resolver);
    context_->error = EXPR_ERR_NONE;
    ExprNode* operand = op(EXPR_MUL, {integer(6), integer(7)});
    ExprNode* deferred = nullptr;
    ASSERT_EQ(objexpr_make_deferred(context_, &deferred, c.tag, operand), 0);
    expr_release(operand);
    int status = expr_evaluate(deferred);
    if (c.error == 0) {
      EXPECT_EQ(status, 0) << c.name;
      EXPECT_TRUE(holds(deferred, S(42))) << c.name;
    } else {
      EXPECT_EQ(status, 1) << c.name;
      EXPECT_EQ(context_->error, c.error) << c.name;
      EXPECT_EQ(deferred->kind, EXPR_DEFERRED) << c.name;
    }
    expr_release(deferred);
  }
  expr_set_resolver(context_, nullptr);
}

// A user operator that adds its argument to its single operand.
int addArgument(ExprNode* node, uintptr_t argument) {
  ExprNode* operand = expr_operand(node, 0);
  if (expr_evaluate(operand) != 0) return 1;
  int64_t sum = static_cast<int64_t>(expr_integer_low64(operand, nullptr)) +
                static_cast<int64_t>(argument);
  ExprLink* link = node->payload.operands.head;
  std::memset(expr_value_bytes(node), 0, sizeof(ExprPayload));
  std::memcpy(expr_value_bytes(node), &sum, sizeof sum);
  node->kind = EXPR_VALUE;
  node->value_type = EXPR_TYPE_SIGNED;
  pool_free_block(link, node->context->link_pool);
  expr_release(operand);
  return 0;
}

int leaveAlone(ExprNode*, uintptr_t) { return 0; }

TEST_F(ExprEval, UserOperatorsDispatchToTheFirstRegistration) {
  ASSERT_EQ(expr_register_operator(context_, 300, addArgument, 10), 0);
  ASSERT_EQ(expr_register_operator(context_, 300, addArgument, 99), 0);
  ASSERT_EQ(expr_register_operator(context_, 301, leaveAlone, 0), 0);
  EXPECT_EQ(expr_register_operator(context_, 33, leaveAlone, 0), 1);
  EXPECT_EQ(context_->error, EXPR_ERR_BAD_OPERANDS);
  // More registrations than the first table holds.
  for (int32_t kind = 400; kind < 650; ++kind) {
    ASSERT_EQ(expr_register_operator(context_, kind, leaveAlone, 0), 0);
  }

  ExprNode* sum = op(300, {op(EXPR_ADD, {integer(1), integer(2)})});
  ASSERT_EQ(expr_evaluate(sum), 0);
  EXPECT_TRUE(holds(sum, S(13)));
  expr_release(sum);

  ExprNode* left = op(301, {integer(1)});
  int64_t value = 0;
  EXPECT_EQ(expr_evaluate(left), 0);
  EXPECT_EQ(expr_evaluate_integer(left, &value), 1);
  EXPECT_EQ(context_->error, EXPR_ERR_NOT_REDUCIBLE);
  expr_release(left);

  ExprNode* unknown = op(302, {integer(1)});
  EXPECT_EQ(expr_evaluate(unknown), 1);
  EXPECT_EQ(context_->error, EXPR_ERR_NO_HANDLER);
  expr_release(unknown);
}

TEST_F(ExprEval, EvaluateIntegerGivesTheValueOfIntegerTreesOnly) {
  struct Case {
    const char* name;
    std::vector<V> operands;  // summed
    int status;
    uint32_t error;
    int64_t value;
  };
  const Case cases[] = {
      {"signed", {S(-5), S(2)}, 0, EXPR_ERR_NONE, -3},
      {"unsigned", {U(UMAX64), U(0)}, 0, EXPR_ERR_NONE, -1},
      {"double", {D(1.0), D(2.0)}, 1, EXPR_ERR_TYPE_UNDEFINED, 0},
      {"mismatch", {D(1.0), S(2)}, 1, EXPR_ERR_TYPE_MISMATCH, 0},
  };
  for (const Case& c : cases) {
    context_->error = EXPR_ERR_NONE;
    ExprNode* sum = op(EXPR_ADD, {make(c.operands[0]), make(c.operands[1])});
    int64_t value = 0;
    EXPECT_EQ(expr_evaluate_integer(sum, &value), c.status) << c.name;
    EXPECT_EQ(context_->error, c.error) << c.name;
    if (c.status == 0) {
      EXPECT_EQ(value, c.value) << c.name;
    }
    expr_release(sum);
  }
}

TEST_F(ExprEval, BinaryOperandTypesAreCheckedBeforeTheHandlerRuns) {
  // The divisor would fail with division by zero if the handler ran first.
  ExprNode* root = op(EXPR_DIV, {make(D(1.0)), op(EXPR_SUB, {integer(1), integer(1)})});
  EXPECT_EQ(expr_evaluate(root), 1);
  EXPECT_EQ(context_->error, EXPR_ERR_TYPE_MISMATCH);
  EXPECT_EQ(expr_operand(root, 1)->kind, EXPR_SUB);
  expr_release(root);
}

TEST_F(ExprEval, UntypedOperatorsCheckTheirOperandsOnceReduced) {
  // Operators over slot references are untyped until the slots are read.
  fillSlot(context_, 1, make(D(1.0)));
  fillSlot(context_, 2, make(F({0x40})));
  fillSlot(context_, 3, text("s"));
  fillSlot(context_, 4, integer(4));
  struct Case {
    const char* name;
    int32_t kind;
    uint32_t left;
    uint32_t right;
    uint32_t error;
  };
  const Case cases[] = {
      {"and of doubles", EXPR_BIT_AND, 1, 1, EXPR_ERR_TYPE_UNDEFINED},
      {"shift of a double", EXPR_SHL, 1, 1, EXPR_ERR_TYPE_UNDEFINED},
      {"division of fractions", EXPR_DIV, 2, 2, EXPR_ERR_FRACT_DIVISION},
      {"remainder of fractions", EXPR_REM, 2, 2, EXPR_ERR_FRACT_DIVISION},
      {"sum of strings", EXPR_ADD, 3, 3, EXPR_ERR_TYPE_UNDEFINED},
      {"double plus integer", EXPR_ADD, 1, 4, EXPR_ERR_TYPE_MISMATCH},
      {"logical and of doubles", EXPR_LOGICAL_AND, 1, 1, EXPR_ERR_TYPE_UNDEFINED},
      {"not of a double", EXPR_BIT_NOT, 1, 0, EXPR_ERR_TYPE_UNDEFINED},
      {"double plus double", EXPR_ADD, 1, 1, EXPR_ERR_NONE},
  };
  for (const Case& c : cases) {
    context_->error = EXPR_ERR_NONE;
    std::vector<ExprNode*> parts{slotRef(c.left)};
    if (c.right != 0) parts.push_back(slotRef(c.right));
    ExprNode* root = op(c.kind, parts);
    ASSERT_EQ(root->value_type, EXPR_TYPE_UNTYPED) << c.name;
    EXPECT_EQ(expr_evaluate(root), c.error == EXPR_ERR_NONE ? 0 : 1) << c.name;
    EXPECT_EQ(context_->error, c.error) << c.name;
    expr_release(root);
  }
}

}  // namespace

namespace {

TEST_F(ExprEval, ChainsBeyondTheDepthLimitFailWithoutExhaustingTheStack) {
  struct Case {
    uint32_t depth;
    uint32_t error;
  };
  const Case cases[] = {
      {EXPR_EVAL_DEPTH_LIMIT / 2, EXPR_ERR_NONE},
      {EXPR_EVAL_DEPTH_LIMIT * 5, EXPR_ERR_NOT_REDUCIBLE},
  };
  for (const Case& c : cases) {
    context_->error = EXPR_ERR_NONE;
    ExprNode* chain = integer(1);
    for (uint32_t i = 0; i < c.depth; ++i) {
      ASSERT_EQ(objexpr_make_operator(context_, &chain, EXPR_NEG, 1, chain), 0);
    }
    int64_t value = 0;
    EXPECT_EQ(expr_evaluate_integer(chain, &value), c.error == EXPR_ERR_NONE ? 0 : 1) << c.depth;
    EXPECT_EQ(context_->error, c.error) << c.depth;
    if (c.error == EXPR_ERR_NONE) {
      EXPECT_EQ(value, c.depth % 2 == 0 ? 1 : -1);
    }
    expr_release(chain);
  }
}

}  // namespace
