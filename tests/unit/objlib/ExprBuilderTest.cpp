#include <gtest/gtest.h>

#include <vector>

#include "objlib/expr_print.h"
#include "objlib/exprlib.h"
#include "ExprContextFixture.h"

namespace {

using ExprBuilder = ExprContextTest;

TEST_F(ExprBuilder, OperatorsTakeTheirKindsOperandCount) {
  struct Case {
    int32_t kind;
    uint32_t count;
    bool built;
    ExprErrorCode error;
  };
  const Case cases[] = {
      // Leaves that operators may be: no operands.
      {EXPR_TRUE, 0, true, EXPR_ERR_NONE},
      {EXPR_FALSE, 1, false, EXPR_ERR_BAD_OPERANDS},
      {EXPR_PLACEHOLDER, 0, true, EXPR_ERR_NONE},
      // Unary kinds.
      {EXPR_NEG, 1, true, EXPR_ERR_NONE},
      {EXPR_BIT_NOT, 1, true, EXPR_ERR_NONE},
      {EXPR_LOGICAL_NOT, 2, false, EXPR_ERR_BAD_OPERANDS},
      {EXPR_ABS, 0, true, EXPR_ERR_NONE},  // filled later
      // Binary kinds.
      {EXPR_ADD, 2, true, EXPR_ERR_NONE},
      {EXPR_SUB, 1, false, EXPR_ERR_BAD_OPERANDS},
      {EXPR_BIT_XOR, 3, false, EXPR_ERR_BAD_OPERANDS},
      {EXPR_LT, 0, true, EXPR_ERR_NONE},
      {EXPR_SAR, 2, true, EXPR_ERR_NONE},
      // Three operands.
      {EXPR_COND, 3, true, EXPR_ERR_NONE},
      {EXPR_COND, 0, true, EXPR_ERR_NONE},
      {EXPR_COND, 2, false, EXPR_ERR_BAD_OPERANDS},
      {EXPR_RANGE_CHECK, 3, true, EXPR_ERR_NONE},
      // Held directly: the operand is needed at once.
      {EXPR_CONVERT, 1, true, EXPR_ERR_NONE},
      {EXPR_CONVERT, 0, false, EXPR_ERR_BAD_OPERANDS},
      {EXPR_DEFERRED, 1, true, EXPR_ERR_NONE},
      {EXPR_DEFERRED, 2, false, EXPR_ERR_BAD_OPERANDS},
      // Any number.
      {EXPR_LIST, 0, true, EXPR_ERR_NONE},
      {EXPR_LIST, 5, true, EXPR_ERR_NONE},
      {EXPR_USER_FIRST, 3, true, EXPR_ERR_NONE},
      {300, 1, true, EXPR_ERR_NONE},
      // Not operators.
      {EXPR_VALUE, 0, false, EXPR_ERR_NO_HANDLER},
      {EXPR_SLOT_REF, 0, false, EXPR_ERR_NO_HANDLER},
      {EXPR_BUILTIN_KIND_COUNT, 2, false, EXPR_ERR_NO_HANDLER},
      {255, 2, false, EXPR_ERR_NO_HANDLER},
      {-1, 0, false, EXPR_ERR_NO_HANDLER},
  };
  for (const Case& c : cases) {
    std::vector<ExprNode*> operands;
    for (uint32_t i = 0; i < c.count; ++i) operands.push_back(integer(i));
    context_->error = EXPR_ERR_NONE;
    ExprNode* node = nullptr;
    int status = objexpr_make_operator_n(context_, &node, c.kind, c.count, operands.data());
    EXPECT_EQ(status, c.built ? 0 : 1) << "kind " << c.kind << " count " << c.count;
    EXPECT_EQ(context_->error, c.error) << "kind " << c.kind << " count " << c.count;
    for (uint32_t i = 0; i < c.count; ++i) {
      EXPECT_EQ(operands[i]->ref_count, c.built ? 2 : 1) << "kind " << c.kind;
    }
    if (c.built) {
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(node->kind, c.kind);
      EXPECT_EQ(expr_operand_count(node), c.count);
      for (uint32_t i = 0; i < c.count; ++i) EXPECT_EQ(expr_operand(node, i), operands[i]);
    } else {
      EXPECT_EQ(node, nullptr);
    }
    expr_release(node);
    for (ExprNode* operand : operands) expr_release(operand);
    EXPECT_EQ(expr_live_node_count(context_), 0u) << "kind " << c.kind;
  }
}

TEST_F(ExprBuilder, EveryAssemblerOperatorBuildsWithTwoOrOneOperands) {
  const int32_t binaryKinds[] = {
      EXPR_ADD, EXPR_BIT_AND, EXPR_DIV, EXPR_LOGICAL_AND, EXPR_LOGICAL_OR, EXPR_MAX,
      EXPR_REM, EXPR_MIN,     EXPR_MUL, EXPR_BIT_OR,      EXPR_SHL,        EXPR_SHR,
      EXPR_SAR, EXPR_SUB,     EXPR_BIT_XOR, EXPR_EQ, EXPR_NE, EXPR_LE, EXPR_GE,
      EXPR_GT,  EXPR_LT,
  };
  for (int32_t kind : binaryKinds) {
    EXPECT_EQ(expr_kind_operand_count(kind), 2) << kind;
    ExprNode* left = integer(1);
    ExprNode* right = integer(2);
    ExprNode* node = nullptr;
    ASSERT_EQ(objexpr_make_operator(context_, &node, kind, 2, left, right), 0) << kind;
    EXPECT_EQ(expr_operand(node, 0), left);
    EXPECT_EQ(expr_operand(node, 1), right);
    expr_release(left);
    expr_release(right);
    expr_release(node);
  }
  for (int32_t kind : {EXPR_ABS, EXPR_BIT_NOT, EXPR_NEG, EXPR_LOGICAL_NOT}) {
    EXPECT_EQ(expr_kind_operand_count(kind), 1) << kind;
  }
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST_F(ExprBuilder, OperatorTakesTheValueTypeOfItsFirstOperand) {
  ExprNode* signedValue = integer(-1);
  ExprNode* unsignedValue = nullptr;
  ASSERT_EQ(objexpr_make_unsigned(context_, &unsignedValue, 1), 0);
  ExprNode* slot = nullptr;
  ASSERT_EQ(objexpr_make_slot_ref(context_, &slot, 4, context_), 0);
  struct Case {
    ExprNode* first;
    ExprNode* second;
    uint32_t type;
  };
  const Case cases[] = {
      {signedValue, unsignedValue, EXPR_TYPE_SIGNED},
      {unsignedValue, signedValue, EXPR_TYPE_UNSIGNED},
      {slot, signedValue, EXPR_TYPE_UNTYPED},
  };
  for (const Case& c : cases) {
    ExprNode* node = nullptr;
    ASSERT_EQ(objexpr_make_operator(context_, &node, EXPR_ADD, 2, c.first, c.second), 0);
    EXPECT_EQ(node->value_type, c.type);
    EXPECT_EQ(node->width, 0u);
    EXPECT_EQ(node->flag, 0u);
    expr_release(node);
  }
  ExprNode* empty = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &empty, EXPR_COND, 0), 0);
  EXPECT_EQ(empty->value_type, EXPR_TYPE_UNTYPED);
  EXPECT_EQ(expr_operand_count(empty), 0u);
  for (ExprNode* node : {signedValue, unsignedValue, slot, empty}) expr_release(node);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST_F(ExprBuilder, RebuildingInPlaceTakesOverTheCallersReference) {
  ExprNode* e = integer(7);
  ExprNode* four = integer(4);
  ExprNode* held = e;
  ASSERT_EQ(objexpr_make_operator(context_, &held, EXPR_ADD, 2, e, four), 0);
  EXPECT_NE(held, e);
  EXPECT_EQ(e->ref_count, 1);     // now held by the sum only
  EXPECT_EQ(four->ref_count, 2);  // the caller's and the sum's
  expr_release(four);
  EXPECT_EQ(expr_live_node_count(context_), 3u);
  expr_release(held);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST_F(ExprBuilder, TheCallersNodeTwiceAsOperandIsTakenOverOnlyOnce) {
  ExprNode* e = integer(3);
  ExprNode* held = e;
  ASSERT_EQ(objexpr_make_operator(context_, &held, EXPR_MUL, 2, e, e), 0);
  EXPECT_EQ(e->ref_count, 2);  // one per link
  expr_release(held);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST_F(ExprBuilder, RefusedOperandsLeaveEverythingAsItWas) {
  ExprLibContext* other = nullptr;
  ASSERT_EQ(expr_context_new(&other, 8), 0);
  ExprNode* foreign = nullptr;
  ASSERT_EQ(objexpr_make_integer(other, &foreign, 1), 0);
  ExprNode* mine = integer(2);
  ExprNode* released = integer(5);
  expr_release(released);
  struct Case {
    const char* name;
    ExprNode* first;
    ExprNode* second;
  };
  const Case cases[] = {
      {"null operand", mine, nullptr},
      {"operand of another context", mine, foreign},
      {"released operand", released, mine},
  };
  for (const Case& c : cases) {
    ExprNode* held = mine;
    context_->error = EXPR_ERR_NONE;
    EXPECT_EQ(objexpr_make_operator(context_, &held, EXPR_ADD, 2, c.first, c.second), 1)
        << c.name;
    EXPECT_EQ(context_->error, EXPR_ERR_BAD_OPERANDS) << c.name;
    EXPECT_EQ(held, mine) << c.name;
    EXPECT_EQ(mine->ref_count, 1) << c.name;
    EXPECT_EQ(foreign->ref_count, 1) << c.name;
  }
  EXPECT_EQ(expr_live_node_count(context_), 1u);
  expr_release(mine);
  expr_context_free(other);
}

TEST_F(ExprBuilder, AddOperandFillsListsUpToTheKindsCount) {
  struct Case {
    int32_t kind;
    uint32_t accepted;  // operands taken before the next one is refused
    ExprErrorCode refusal;
  };
  const Case cases[] = {
      {EXPR_COND, 3, EXPR_ERR_BAD_OPERANDS},
      {EXPR_RANGE_CHECK, 3, EXPR_ERR_BAD_OPERANDS},
      {EXPR_ADD, 2, EXPR_ERR_BAD_OPERANDS},
      {EXPR_NEG, 1, EXPR_ERR_BAD_OPERANDS},
      {EXPR_TRUE, 0, EXPR_ERR_BAD_OPERANDS},
      {EXPR_VALUE, 0, EXPR_ERR_BAD_OPERANDS},    // the payload holds the value
      {EXPR_SLOT_REF, 0, EXPR_ERR_BAD_OPERANDS},  // the payload holds the slot
      {200, 0, EXPR_ERR_NO_HANDLER},
  };
  for (const Case& c : cases) {
    ExprNode* node = nullptr;
    ASSERT_EQ(expr_new_node(context_, &node), 0);
    node->kind = c.kind;
    for (uint32_t i = 0; i < c.accepted; ++i) {
      ExprNode* operand = integer(i);
      EXPECT_EQ(expr_add_operand(node, operand), 0) << c.kind;
      EXPECT_EQ(operand->ref_count, 2);
      expr_release(operand);
    }
    ExprNode* extra = integer(99);
    context_->error = EXPR_ERR_NONE;
    EXPECT_EQ(expr_add_operand(node, extra), 1) << c.kind;
    EXPECT_EQ(context_->error, c.refusal) << c.kind;
    EXPECT_EQ(extra->ref_count, 1);
    EXPECT_EQ(expr_operand_count(node), c.accepted);
    expr_release(extra);
    expr_release(node);
    EXPECT_EQ(expr_live_node_count(context_), 0u) << c.kind;
  }
}

TEST_F(ExprBuilder, ListsTakeManyOperandsInOrder) {
  ExprNode* list = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 0), 0);
  for (int i = 0; i < 1000; ++i) {
    ExprNode* item = integer(i);
    ASSERT_EQ(expr_add_operand(list, item), 0);
    expr_release(item);
  }
  EXPECT_EQ(expr_operand_count(list), 1000u);
  EXPECT_EQ(expr_value_bytes(expr_operand(list, 999))[0], 999 & 0xFF);
  EXPECT_EQ(expr_add_operand(list, list), 1);
  EXPECT_EQ(context_->error, EXPR_ERR_BAD_OPERANDS);
  expr_release(list);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST_F(ExprBuilder, OperatorsWithManyVariadicOperandsKeepTheirOrder) {
  ExprNode* items[20];
  for (int i = 0; i < 20; ++i) items[i] = integer(i);
  ExprNode* list = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 20, items[0], items[1], items[2],
                                  items[3], items[4], items[5], items[6], items[7], items[8],
                                  items[9], items[10], items[11], items[12], items[13],
                                  items[14], items[15], items[16], items[17], items[18],
                                  items[19]),
            0);
  for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(expr_operand(list, i), items[i]);
  for (ExprNode* item : items) expr_release(item);
  expr_release(list);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST(ExprIntegers, ValueBytesAreExtendedToTheIntegerWidth) {
  struct Case {
    uint32_t width;
    bool isSigned;
    int64_t value;
    std::vector<unsigned char> bytes;  // least significant first, all int_width bytes
  };
  const Case cases[] = {
      {8, true, 0x0102030405060708, {8, 7, 6, 5, 4, 3, 2, 1}},
      {8, true, -2, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {12, true, -1, std::vector<unsigned char>(12, 0xFF)},
      {12, false, -1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
      {12, true, 5, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {20, true, INT64_MIN, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {4, true, -3, {0xFD, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    ExprLibContext* context = nullptr;
    ASSERT_EQ(expr_context_new(&context, c.width), 0);
    ExprNode* node = nullptr;
    if (c.isSigned) {
      ASSERT_EQ(objexpr_make_integer(context, &node, c.value), 0);
    } else {
      ASSERT_EQ(objexpr_make_unsigned(context, &node, static_cast<uint64_t>(c.value)), 0);
    }
    EXPECT_EQ(node->kind, EXPR_VALUE);
    EXPECT_EQ(node->value_type, c.isSigned ? EXPR_TYPE_SIGNED : EXPR_TYPE_UNSIGNED);
    EXPECT_EQ(node->width, 64u);
    EXPECT_EQ(node->ref_count, 1);
    std::vector<unsigned char> bytes(expr_value_bytes(node), expr_value_bytes(node) + c.width);
    EXPECT_EQ(bytes, c.bytes) << "width " << c.width << " value " << c.value;
    expr_context_free(context);
  }
}

TEST(ExprContext, WidthZeroMeansEightAndOversizedWidthsAreRefused) {
  struct Case {
    uint32_t requested;
    bool made;
    uint32_t width;
    uint32_t extra;
  };
  const Case cases[] = {
      {0, true, 8, 0},   {1, true, 1, 0},       {8, true, 8, 0},
      {12, true, 12, 4}, {8191, true, 8191, 8183}, {8192, false, 0, 0},
  };
  for (const Case& c : cases) {
    ExprLibContext* context = nullptr;
    EXPECT_EQ(expr_context_new(&context, c.requested), c.made ? 0 : 1) << c.requested;
    if (!c.made) continue;
    EXPECT_EQ(context->int_width, c.width);
    EXPECT_EQ(context->extra_width, c.extra);
    EXPECT_EQ(context->slots.next_index, 1u);
    EXPECT_EQ(context->slots.capacity, EXPR_FIRST_SLOT_CAPACITY);
    // Every node holds at least the context's integer width of value bytes.
    ExprNode* node = nullptr;
    ASSERT_EQ(objexpr_make_integer(context, &node, -1), 0);
    EXPECT_EQ(expr_value_bytes(node)[c.width - 1], 0xFF);
    expr_context_free(context);
  }
}

TEST_F(ExprBuilder, SlotReferencesAndDeferredValuesKeepTheirWords) {
  ExprLibContext* other = nullptr;
  ASSERT_EQ(expr_context_new(&other, 8), 0);
  ExprNode* slot = nullptr;
  ASSERT_EQ(objexpr_make_slot_ref(context_, &slot, 42, other), 0);
  EXPECT_EQ(slot->kind, EXPR_SLOT_REF);
  EXPECT_EQ(slot->value_type, EXPR_TYPE_UNTYPED);
  EXPECT_EQ(slot->payload.slot.index, 42u);
  EXPECT_EQ(slot->payload.slot.context, other);

  ExprNode* deferred = nullptr;
  ASSERT_EQ(objexpr_make_deferred(context_, &deferred, 7, slot), 0);
  EXPECT_EQ(deferred->kind, EXPR_DEFERRED);
  EXPECT_EQ(deferred->payload.deferred.tag, 7u);
  EXPECT_EQ(expr_operand(deferred, 0), slot);
  EXPECT_EQ(slot->ref_count, 2);

  ExprNode* untouched = nullptr;
  EXPECT_EQ(objexpr_make_slot_ref(context_, &untouched, 1, nullptr), 1);
  EXPECT_EQ(objexpr_make_deferred(context_, &untouched, 6, nullptr), 1);
  EXPECT_EQ(context_->error, EXPR_ERR_BAD_OPERANDS);
  EXPECT_EQ(untouched, nullptr);

  expr_release(slot);
  expr_release(deferred);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
  expr_context_free(other);
}

TEST_F(ExprBuilder, NewNodeIsAZeroedLeafWithOneReference) {
  ExprNode* node = nullptr;
  ASSERT_EQ(expr_new_node(context_, &node), 0);
  EXPECT_EQ(node->context, context_);
  EXPECT_EQ(node->kind, EXPR_VALUE);
  EXPECT_EQ(node->value_type, EXPR_TYPE_UNTYPED);
  EXPECT_EQ(node->ref_count, 1);
  for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(expr_value_bytes(node)[i], 0);
  EXPECT_EQ(expr_live_node_count(context_), 1u);
  expr_release(node);
}

TEST(ExprBuilders, NullContextFailsWithoutTouchingTheOutParameter) {
  ExprNode* node = nullptr;
  EXPECT_EQ(expr_new_node(nullptr, &node), 1);
  EXPECT_EQ(objexpr_make_integer(nullptr, &node, 1), 1);
  EXPECT_EQ(objexpr_make_unsigned(nullptr, &node, 1), 1);
  EXPECT_EQ(objexpr_make_operator(nullptr, &node, EXPR_ADD, 0), 1);
  EXPECT_EQ(objexpr_make_slot_ref(nullptr, &node, 1, nullptr), 1);
  EXPECT_EQ(objexpr_make_deferred(nullptr, &node, 1, nullptr), 1);
  EXPECT_EQ(node, nullptr);
  EXPECT_EQ(expr_release(nullptr), 0);
}

}  // namespace
