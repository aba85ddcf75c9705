#include <gtest/gtest.h>

#include <cstdlib>

#include "ScopedManagers.h"
#include "flow/ObjectStore.h"

namespace {

// A failed call of the object store ends the run; running out of memory there is the
// same F005 as anywhere else, every other status is F008 with the store's text.
TEST(ObjectStoreFailureDeathTest, NoMemoryIsF005OtherStatusesAreF008) {
  ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kOptions);
  struct Case {
    uint32_t status;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {ObjectStore::kNoMemory, "memory allocation failed", "^vekt F005: out of memory\n$"},
      {ObjectStore::kDataTooLarge, "size of data appears to be too large",
       "^vekt F008: object store error: size of data appears to be too large\n$"},
      {ObjectStore::kNoSection, "no section", "^vekt F008: object store error: no section\n$"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EXIT(reportObjectStoreFailure(c.status, c.text), testing::ExitedWithCode(2), c.expected);
  }
}

}  // namespace
