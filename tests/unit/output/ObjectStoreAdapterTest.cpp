// The face of the object store that the flow nodes write through hands on the status
// that the failed store call set: the run's report of it (F005 for no memory, F008 with
// the text otherwise) depends on it.
#include <gtest/gtest.h>

#include <cstdint>

#include "expr/ObjectExpr.h"
#include "objlib/StoreFileFixture.h"
#include "output/ObjectStoreAdapter.h"

namespace {

const char* statusText(int32_t) { return "status"; }

class ObjectStoreAdapterTest : public OneStoreFile {};

TEST_F(ObjectStoreAdapterTest, FailedCallGivesTheStatusTheStoreSet) {
  const uint32_t withImage = sectionOfSize(16).object_id;
  const uint32_t withoutImage = sectionOfSize(16, 8, false).object_id;
  ObjectStoreAdapter adapter(statusText);
  struct Case {
    const char* what;
    uint32_t section;
    uint32_t offset;
    uint32_t count;
    uint32_t failed;
    uint32_t status;  // what the call leaves in the status word, set to 99 before
  } cases[] = {
      {"no such section", 99, 0, 1, 1, ObjectStore::kNoSection},
      {"section without image", withoutImage, 0, 1, 1, ObjectStore::kNoImage},
      {"past the section's size", withImage, 10, 7, 1, ObjectStore::kDataTooLarge},
      {"within the section", withImage, 10, 6, 0, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    uint32_t status = 99;
    EXPECT_EQ(adapter.imageAddZeros(file_, c.section, c.offset, c.count, &status), c.failed);
    EXPECT_EQ(status, c.status);
  }
  // The same for a call that fills other records.
  ExprNode* five = integer(5);
  uint32_t status = 99;
  EXPECT_EQ(adapter.imageAddExpression(file_, withoutImage, 0, 1, five, &status), 1u);
  EXPECT_EQ(status, ObjectStore::kNoImage);
  expr_release(five);
}

// A builder of the object expressions that failed for want of memory ends the run as
// running out of memory does anywhere; any other failure leaves the caller a null node.
TEST_F(ObjectStoreAdapterTest, BuilderWithoutMemoryIsF005OtherFailuresAreNoNode) {
  struct Case {
    int status;
    uint32_t error;
    bool made;
  } cases[] = {
      {0, EXPR_ERR_NONE, true},
      {0, EXPR_ERR_NO_MEMORY, true},  // an earlier failure's code, this call succeeded
      {1, EXPR_ERR_BAD_OPERANDS, false},
      {1, EXPR_ERR_NO_HANDLER, false},
  };
  for (const Case& c : cases) {
    context_->error = c.error;
    EXPECT_EQ(objectNodeMade(context_, c.status), c.made) << c.status << " " << c.error;
  }
  context_->error = EXPR_ERR_NO_MEMORY;
  EXPECT_EXIT(objectNodeMade(context_, 1), testing::ExitedWithCode(2), "^vekt F005: out of memory\n$");
  context_->error = EXPR_ERR_NONE;
}

}  // namespace
