#include <gtest/gtest.h>

#include <string>

#include "driver/ObjlibErrorText.h"

namespace {

TEST(ObjlibErrorText, CodesIndexTheirTablesAndUnknownCodesAreNamed) {
  struct Case {
    const char* (*lookup)(int32_t);
    int32_t code;
    const char* expected;
  };
  const Case cases[] = {
      {ios_error_text, 0, "could not allocate memory"},
      {ios_error_text, 15, "illigal scope"},
      {ios_error_text, 53, "mau size is not within 1..64"},
      {ios_error_text, 58, "Compiler invocation string was not present or too short"},
      {ios_error_text, 59, "unknown error code 59"},
      {ios_error_text, -1, "unknown error code -1"},
      {objlib_error_text, 0, "no error"},
      {objlib_error_text, 6, "could not extract/insert information from/into intermediate object storage"},
      {objlib_error_text, 16, "too many sections"},
      {objlib_error_text, 17, "unknown error code 17"},
      {objlib_error_text, INT32_MIN, "unknown error code -2147483648"},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.lookup(c.code), c.expected) << c.code;
}

}  // namespace
