// One store file with its expression context published, as the run makes it before
// the object output starts.
#pragma once

#include <gtest/gtest.h>

#include "expr/ObjectExpr.h"
#include "flow/FlowFixture.h"
#include "objlib/ios_admin.h"

class StoreFileTest : public FlowTest {
 protected:
  StoreFileTest() {
    IosErrorCode error = IOS_ERR_INTERNAL;
    ios_admin_init(&error);
    EXPECT_EQ(ios_file_create_sized(8, &fileId_, &error), 0);
    ExprLibContext* context = nullptr;
    EXPECT_EQ(ios_file_get_expr_context(fileId_, &context, &error), 0);
    setObjectExprContext(context);
  }
  ~StoreFileTest() override {
    IosErrorCode error = IOS_ERR_INTERNAL;
    ios_file_delete(fileId_, &error);
    setObjectExprContext(nullptr);
  }

  uint32_t fileId_ = 0;
};
