// The store file of the object writer's tests, with its expression context published
// as the run publishes it before the object output starts.
#pragma once

#include "expr/ObjectExpr.h"
#include "flow/FlowFixture.h"
#include "objlib/StoreFileFixture.h"

class StoreFileTest : public FlowTest {
 protected:
  StoreFileTest() {
    store_.open();
    setObjectExprContext(store_.context);
  }
  ~StoreFileTest() override {
    setObjectExprContext(nullptr);
    store_.close();
  }

  // A new, empty file in place of the current one, its context published.
  void renewFile() {
    store_.renew();
    setObjectExprContext(store_.context);
  }

  StoreFile store_;
  const uint32_t& fileId_ = store_.id;
};
