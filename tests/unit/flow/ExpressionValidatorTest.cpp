#include "flow/ExpressionValidator.h"

#include <gtest/gtest.h>

#include <cstring>

#include "FlowFixture.h"
#include "ScopedManagers.h"
#include "expr/TEBinary.h"
#include "expr/TEError.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TESection.h"
#include "expr/TESymbol.h"
#include "expr/functions.h"

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
      EXPECT_EQ(validator.failureKind, 4) << c.name;
      EXPECT_STREQ(validator.message, "E287: incompatible expression for instruction") << c.name;
    } else {
      EXPECT_EQ(validator.message, nullptr) << c.name;
    }
  }
}

// Operands as an instruction form checks them, in a relocatable section ".text" where
// the instruction stands at 0x100, beside a section ".data" and a section ".abs" at the
// fixed address 0x8000. The validator's address is always an offset in its section.
class ValidatorTest : public FlowTest {
 protected:
  ValidatorTest() {
    text = section(".text");
    data = section(".data");
    absolute = section(".abs");
    absolute->setBaseExpression(TEInteger::create(0x8000));
    absolute->hasAddress = 1;
    placed = symbol("placed");
    placed->section = text;
    placed->valueExpression = TEInteger::create(0x180);
    unplaced = symbol("unplaced");
    unplaced->section = text;
    elsewhere = symbol("elsewhere");
    elsewhere->section = data;
    elsewhere->valueExpression = TEInteger::create(0x10);
    unplacedElsewhere = symbol("unplacedElsewhere");
    unplacedElsewhere->section = data;
    absoluteLabel = symbol("absoluteLabel");
    absoluteLabel->section = absolute;
    absoluteLabel->valueExpression = TEInteger::create(0x40);
  }

  static OrbaExpression* integer(int64_t value) { return TEInteger::create(value); }
  static OrbaExpression* ref(Symbol* target) { return TESymbol::create(target); }
  static OrbaExpression* call(int32_t code, std::initializer_list<OrbaExpression*> arguments) {
    std::vector<OrbaExpression*> list(arguments);
    return TEFunction::create(code, list.data(), list.size());
  }
  static OrbaExpression* range(OrbaExpression* value, int64_t low, int64_t high, bool warnOnly = false) {
    return call(warnOnly ? FN_WRANGE : FN_RANGE, {value, integer(low), integer(high)});
  }
  OrbaExpression* pcrel(OrbaExpression* target, Section* in, int64_t width) {
    return call(FN_PCREL, {target, TESection::create(in), integer(0), integer(width)});
  }
  OrbaExpression* inpage(OrbaExpression* target, Section* in, int64_t page) {
    return call(FN_INPAGE, {target, TESection::create(in), integer(0), integer(page)});
  }

  Section* text;
  Section* data;
  Section* absolute;
  Symbol* placed;
  Symbol* unplaced;
  Symbol* elsewhere;
  Symbol* unplacedElsewhere;
  Symbol* absoluteLabel;
};

TEST_F(ValidatorTest, AnswersFitNoFitOrUndecidedPerOperand) {
  enum Where { kText, kAbsolute };
  struct Case {
    const char* behaviour;
    OrbaExpression* expression;
    Where where;
    uint32_t address;
    int expected;
    const char* message;  // null: none kept
  };
  const Case cases[] = {
      {"no expression fits", nullptr, kText, 0x100, 1, nullptr},
      {"a constant inside its range fits", range(integer(7), -8, 7), kText, 0x100, 1, nullptr},
      {"above negative bounds is E218", range(integer(8), -8, 7), kText, 0x100, 0,
       "E218: expression out of range (-8 and 7 decimal)"},
      {"above bounds from 0 is E219", range(integer(16), 0, 15), kText, 0x100, 0,
       "E219: expression out of range (0 and F hexadecimal)"},
      {"a warning range leaves the decision to the encoder", range(integer(16), 0, 15, true), kText, 0x100, 2,
       nullptr},
      {"a label not yet placed is undecided", range(ref(unplaced), 0, 15), kText, 0x100, 2, nullptr},
      {"a mask bounds an unplaced label", range(new TEBinary(OP_bitAnd, ref(unplaced), integer(0xFF)), 0, 255),
       kText, 0x100, 1, nullptr},
      {"a distance inside its range fits", range(pcrel(ref(placed), text, 0), -256, 254), kText, 0x100, 1, nullptr},
      {"a distance outside its range is rejected", range(pcrel(ref(placed), text, 0), -16, 14), kText, 0x100, 0,
       "E218: expression out of range (-16 and 14 decimal)"},
      {"a distance from a later address", range(pcrel(ref(placed), text, 0), -256, 0), kText, 0x200, 1, nullptr},
      {"a distance of 200 folds to -56 in a width of 256", range(pcrel(integer(0x80C8), absolute, 256), -64, -50),
       kAbsolute, 0, 1, nullptr},
      {"a distance of -5 stays -5 in a width of 256", range(pcrel(integer(0x7FFB), absolute, 256), -5, -5),
       kAbsolute, 0, 1, nullptr},
      {"a distance to another section is the linker's", range(pcrel(ref(elsewhere), text, 0), -16, 14), kText,
       0x100, 2, nullptr},
      {"a distance to a number from a relocatable section fails silently",
       range(pcrel(integer(0x180), text, 0), -256, 254), kText, 0x100, 0, nullptr},
      {"a known label of another section is off the page", range(inpage(ref(elsewhere), text, 256), 0, 0xFF),
       kText, 0x100, 0, nullptr},
      {"an unplaced label of another section may be on the page",
       range(inpage(ref(unplacedElsewhere), text, 256), 0, 0xFF), kText, 0x100, 2, nullptr},
      {"a fixed-address target on the reference's page", inpage(integer(0x80F0), absolute, 256), kAbsolute, 0x10,
       1, nullptr},
      {"a fixed-address target on the next page", inpage(integer(0x8100), absolute, 256), kAbsolute, 0x10, 0,
       nullptr},
  };
  for (const Case& c : cases) {
    ExpressionValidator validator;
    validator.init(c.where == kText ? text : absolute, c.address, 0);
    int answer = validator.validate(c.expression, ExpressionValidator::Operand{});
    EXPECT_EQ(answer, c.expected) << c.behaviour;
    EXPECT_EQ(validator.result, c.expected) << c.behaviour;
    if (c.message) {
      EXPECT_STREQ(validator.message, c.message) << c.behaviour;
    } else {
      EXPECT_EQ(validator.message, nullptr) << c.behaviour;
    }
  }
}

TEST_F(ValidatorTest, ErrorValueKeepsE134WithItsText) {
  ExpressionValidator validator;
  validator.init(text, 0, 0);
  EXPECT_EQ(validator.validate(TEError::create(ERR_divideByZero), ExpressionValidator::Operand{}), 0);
  ASSERT_NE(validator.message, nullptr);
  EXPECT_EQ(std::strncmp(validator.message, "E134: error in expression: ", 27), 0) << validator.message;
  EXPECT_EQ(validator.failureKind, ExpressionValidator::kValueError);
}

TEST_F(ValidatorTest, InPageInOwnRelocatableSectionDependsOnItsPageSize) {
  struct Case {
    int32_t sectionPageSize;
    int expected;
  };
  const Case cases[] = {{0, 0}, {256, 1}, {128, 1}, {512, 0}};
  for (const Case& c : cases) {
    text->pageSize = c.sectionPageSize;
    ExpressionValidator validator;
    validator.init(text, 0x100, 0);
    EXPECT_EQ(validator.validate(inpage(ref(placed), text, 256), ExpressionValidator::Operand{}), c.expected)
        << "section page size " << c.sectionPageSize;
  }
}

TEST_F(ValidatorTest, ConditionBitsOfAKnownDistanceAreChecked) {
  const uint32_t mask = 1;
  const uint32_t bits = 0;
  ExpressionValidator::Operand even;
  even.maskWords = &mask;
  even.bitWords = &bits;
  even.conditionWords = 1;
  struct Case {
    uint32_t address;
    int expected;
  };
  // The label is at 0x180: from 0x100 the distance is even, from 0x101 odd.
  const Case cases[] = {{0x100, 1}, {0x101, 0}};
  for (const Case& c : cases) {
    ExpressionValidator validator;
    validator.init(text, c.address, 0);
    EXPECT_EQ(validator.validate(range(pcrel(ref(placed), text, 0), -256, 254), even), c.expected) << c.address;
    if (c.expected == 0) {
      EXPECT_STREQ(validator.message, "E287: incompatible expression for instruction");
    }
  }
}

}  // namespace
