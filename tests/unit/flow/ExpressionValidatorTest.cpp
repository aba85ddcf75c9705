#include <gtest/gtest.h>

#include <cstring>

#include "ScopedManagers.h"
#include "expr/TEBinary.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "flow/ExpressionValidator.h"

namespace {

OrbaExpression* halve(void*, OrbaExpression* value) {
  return TEInteger::create(value->getInteger() / 2);
}

OrbaExpression* fail(void*, OrbaExpression*) { return TEError::create(8); }

TEST(ExpressionValidator, IntegerCheckComparesMaskedBitsAfterTheTransform) {
  struct Case {
    const char* name;
    std::vector<uint32_t> mask;
    std::vector<uint32_t> pattern;
    ExpressionValidator::Transform transform;
    int64_t value;
    int expected;
  };
  const Case cases[] = {
      {"no condition bits accept anything", {}, {}, nullptr, 7, 1},
      {"an even offset passes", {1}, {0}, nullptr, 6, 1},
      {"an odd offset fails", {1}, {0}, nullptr, 7, 0},
      {"high word takes part", {0, 0x80000000u}, {0, 0}, nullptr, INT64_MIN, 0},
      {"the transform's value is checked", {1}, {0}, halve, 6, 0},
      {"a transform error accepts", {1}, {0}, fail, 7, 1},
  };
  for (const Case& c : cases) {
    ScopedManagers managers(ScopedManagers::kAll);
    ExpressionValidator validator;
    validator.mask = c.mask;
    validator.pattern = c.pattern;
    validator.transform = c.transform;
    EXPECT_EQ(validator.checkInteger(c.value), c.expected) << c.name;
    if (c.expected == 0) {
      EXPECT_EQ(validator.resultCode, 4) << c.name;
      EXPECT_STREQ(validator.resultText, "E287: incompatible expression for instruction") << c.name;
    } else {
      EXPECT_EQ(validator.resultText, nullptr) << c.name;
    }
  }
}

}  // namespace
