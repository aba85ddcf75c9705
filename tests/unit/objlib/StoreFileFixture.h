// A fresh store admin with one file and its expression context for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"

class OneStoreFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ios_admin_release();
    ASSERT_EQ(ios_admin_init(nullptr), 0);
    ASSERT_EQ(ios_file_create(&file_, nullptr), 0);
    ASSERT_EQ(ios_file_get_expr_context(file_, &context_, nullptr), 0);
  }
  void TearDown() override { ios_admin_release(); }

  ExprNode* integer(int64_t value) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_integer(context_, &node, value), 0);
    return node;
  }

  uint32_t file_ = 0;
  ExprLibContext* context_ = nullptr;
};
