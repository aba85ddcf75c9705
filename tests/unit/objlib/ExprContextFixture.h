// A fresh expression context per test, with builders that fail the test when the
// library refuses a node.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "objlib/exprlib.h"

class ExprContextTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(expr_context_new(&context_, 8), 0); }
  void TearDown() override { expr_context_free(context_); }

  ExprNode* integer(int64_t value) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_integer(context_, &node, value), 0);
    return node;
  }

  // Builds the operator and drops the builder's references on the operands, as the
  // expression conversion does, so the operator owns them alone.
  ExprNode* op(int32_t kind, std::vector<ExprNode*> operands) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_operator_n(context_, &node, kind, operands.size(), operands.data()),
              0);
    for (ExprNode* operand : operands) expr_release(operand);
    return node;
  }

  ExprNode* text(const char* characters) {
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_node(context_, &node), 0);
    ExprValueObject* value = expr_new_value(context_);
    EXPECT_NE(value, nullptr);
    EXPECT_EQ(expr_value_set_text(context_, value, characters), 0);
    node->value_type = EXPR_TYPE_STRING;
    node->payload.string = value;
    return node;
  }

  ExprLibContext* context_ = nullptr;
};
