// Every @-function, called from source text: its normal value and each error kind
// it can give. Values are printed: integers from 256 on and negative ones in hex.
#include "parse_fixture.h"

#include "expr/TEFunction.h"

namespace {

struct Case {
  const char* text;
  const char* value;
};

constexpr const char* kDivide = "!!ERROR(divide by zero)";
constexpr const char* kFloat = "!!ERROR(floating point error)";
constexpr const char* kCannot = "!!ERROR(cannot evaluate expression)";
constexpr const char* kInteger = "!!ERROR(expected integer value;)";
constexpr const char* kString = "!!ERROR(expected string value)";
constexpr const char* kMissing = "!!ERROR(missing argument(s) for function)";
constexpr const char* kAdditional = "!!ERROR(additional argument(s) for function)";
constexpr const char* kNoValue = "!!ERROR(symbol has no value)";

TEST_F(ExprParseTest, EveryFunctionComputesItsValueOrItsErrorKind) {
  const Case cases[] = {
      {"@ABS(-3)", "3"},
      {"@ABS(-2.7)", "2"},
      {"@ABS('A')", "65"},
      {"@ABS(1/0)", kDivide},
      {"@ABS(undefined)", kNoValue},
      {"@ABS(1e300*1e300)", "0x7FFFFFFFFFFFFFFF"},
      {"@ACS(1)", "0"},
      {"@ACS(2)", kFloat},
      {"@ASN(0)", "0"},
      {"@ASN(1.5)", kFloat},
      {"@AT2(1,1)", "0.78539816339744828"},
      {"@AT2(1,1/0)", kDivide},
      {"@ATN(0)", "0"},
      {"@CAT(\"ab\",\"cd\")", "\"abcd\""},
      {"@CAT(\"ab\",1)", kString},
      {"@CEL(1.5)", "2"},
      {"@COH(0)", "1"},
      {"@COH(1000)", kCannot},
      {"@COS(0)", "1"},
      {"@COS(1e308*10)", kFloat},
      {"@CPU(\"no-such-cpu\")", "0"},
      {"@CPU(\"TriCore\")", "1"},  // the default processor, any letter case
      {"@CPU(\"tc1796\")", "0"},
      {"@CVF(3)/2", "1.5"},
      {"@CVI(2.9)", "2"},
      {"@CVI(-2.9)", "0xFFFFFFFFFFFFFFFE"},
      {"@EXP(1)", "1"},
      {"@EXP(1/0)", "0"},
      {"@FLD(0xFFFF,0,4,4)", "0xFF0F"},
      {"@FLD(0,0xFF,12)", "255"},
      {"@FLD(0,0xFF,-1)", "255"},
      {"@FLD(1/0,1,1)", kDivide},
      {"@FLD(1,2)", kMissing},
      {"@FLR(-1.5)", "-2"},
      {"@FRACT(1.0)", "0x7FFFFFFF"},
      {"@FRACT(0.75)", "0x60000000"},
      {"@HI(0x12348000)", "0x1234"},
      {"@HI(-1)", "0xFFFF"},
      {"@HI(1,2)", kAdditional},
      {"@HIS(0x7FFF)", "0"},
      {"@HIS(0x8000)", "1"},
      {"@HIS(0xFFFF8000)", "0"},
      {"@HIS(1/0)", kDivide},
      {"@INT(2)", "1"},
      {"@INT(2.0)", "0"},
      {"@INT(1/0)", kDivide},
      {"@L10(100)", "2"},
      {"@L10(0)", kDivide},
      {"@L10(-1)", kFloat},
      {"@LEN(\"abc\")", "3"},
      {"@LEN(\"a\\0b\")", "1"},
      {"@LEN(12)", kString},
      {"@LNG(0x1234,0x15678)", "0x12345678"},
      {"@LO(0x12348000)", "0x8000"},
      {"@LO(-1)", "0xFFFF"},
      {"@LO()", kMissing},
      {"@LOG(1)", "0"},
      {"@LOG(0)", kDivide},
      {"@LOG(-1)", kFloat},
      {"@LOS(0x12348000)", "0xFFFFFFFFFFFF8000"},
      {"@LOS(0x7FFF)", "0x7FFF"},
      {"@LSB(0x1234)", "52"},
      {"@LST()", "1"},
      {"@LUN(0xC0000000)", "-0.5"},
      {"@MAX(3)", "3"},
      {"@MAX(1,2.5,2)", "2.5"},
      {"@MAX(1,undefined)", kNoValue},
      {"@MAX(1,2,3,4,5,6,7,8,9,10)", "10"},
      {"@MIN()", kMissing},
      {"@MIN(1,-2.5)", "-2.5"},
      {"@MSB(0x1234)", "18"},
      {"@POS(\"abcabc\",\"c\",3)", "5"},
      {"@POS(\"abc\",\"x\")", "3"},
      {"@POS(\"abc\",\"\",2)", "2"},
      {"@POS(\"abc\",\"a\",4)", kCannot},
      {"@POS(\"abc\",\"a\",-1)", kCannot},
      {"@POS(\"abc\",\"a\",1.0)", kInteger},
      {"@POS(1,\"a\")", kString},
      {"@POW(-2,3)", "-8"},
      {"@POW(0,-1)", kDivide},
      {"@POW(-8,1/3.0)", kFloat},
      {"@POW(10,400)", kCannot},
      {"@RVB(1)", "0x8000"},
      {"@RVB(0x10001,1)", "0x10001"},
      {"@RVB(5,17)", kCannot},
      {"@RVB(5,1/0)", kCannot},
      {"@SCP(\"ab\",\"ab\")", "1"},
      {"@SCP(\"ab\",\"abc\")", "0"},
      {"@SCP(\"ab\",1)", kString},
      {"@SFRACT(-0.5)", "0xC000"},
      {"@SFRACT(0.25)", "0x2000"},
      {"@SGN(-0.0)", "0"},
      {"@SGN(-1e-300)", "0xFFFFFFFFFFFFFFFF"},
      {"@SGN(2)", "1"},
      {"@SIN(0)", "0"},
      {"@SIN(1e308*10)", kFloat},
      {"@SNH(0)", "0"},
      {"@SQT(4)", "2"},
      {"@SQT(-1)", kFloat},
      {"@SUB(\"abc\",1,1)", "\"b\""},
      {"@SUB(\"abc\",3,0)", "\"\""},
      {"@SUB(\"abc\",4,0)", "!!ERROR(substring start index exceeds string length)"},
      {"@SUB(\"abc\",-1,1)", "!!ERROR(substring start index exceeds string length)"},
      {"@SUB(\"abc\",1,5)", "!!ERROR(substring length exceeds string length)"},
      {"@SUB(\"abc\",1,-1)", "!!ERROR(substring length exceeds string length)"},
      {"@SUB(\"abc\",\"x\",1)", kInteger},
      {"@SUB(1,1,1)", kString},
      {"@TAN(0)", "0"},
      {"@TAN(1e308*10)", kFloat},
      {"@TNH(0)", "0"},
      {"@UNF(0xC000)", "-0.5"},
      {"@UNF(0x8000)", "-1"},
      {"@UNF(0x0080)", "0.00390625"},
      {"@XPN(0)", "1"},
      {"@XPN(1000)", kCannot},
      {"@VEKT()", "\"vekt\""},
      {"@VEKT(1)", kAdditional},
      {"\"a\" ? 2 : 3", "2"},
      {"(1/0) ? 2 : 3", kDivide},
      {"0 ? 1/0 : 3", "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Outcome got = parse(c.text);
    ASSERT_EQ(got.message, nullptr) << got.message;
    EXPECT_EQ(evaluated(got.tree), c.value);
  }
}

TEST_F(ExprParseTest, RandomValueLiesBetweenZeroAndOne) {
  for (int i = 0; i < 100; ++i) {
    OrbaExpression* value = parse("@RND()").tree->evaluate();
    ASSERT_EQ(value->getKind(), EK_double);
    EXPECT_GE(value->getDouble(), 0.0);
    EXPECT_LE(value->getDouble(), 1.0);
  }
}

TEST_F(ExprParseTest, TargetFunctionsAreTheirOwnNodeClass) {
  struct KindCase {
    const char* text;
    uint32_t kind;
  };
  const KindCase cases[] = {
      {"@HI(x)", EK_tricoreFunction},  {"@HIS(x)", EK_tricoreFunction},
      {"@LO(x)", EK_tricoreFunction},  {"@LOS(x)", EK_tricoreFunction},
      {"@VEKT()", EK_tricoreFunction}, {"@ABS(x)", EK_function},
      {"x ? 1 : 2", EK_function},      {"@CPU(\"a\")", EK_integer},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.text);
    OrbaExpression* tree = parse(c.text).tree;
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->getKind(), c.kind);
    // A copy stays in its class and shares the arguments.
    if (c.kind == EK_tricoreFunction || c.kind == EK_function) {
      OrbaExpression* copy = tree->clone();
      EXPECT_EQ(copy->getKind(), c.kind);
      for (int32_t i = 0; i < tree->getArgumentCount(); ++i)
        EXPECT_EQ(copy->getArgument(i), tree->getArgument(i));
      releaseTempExpression(copy);
    }
  }
}

TEST_F(ExprParseTest, BadArgumentIndexIsKind4) {
  OrbaExpression* tree = parse("@ABS(x)").tree;
  EXPECT_EQ(printed(tree->getArgument(1)), "!!ERROR(incorrect argument index)");
  EXPECT_EQ(printed(tree->getArgument(-1)), "!!ERROR(incorrect argument index)");
}

}  // namespace
