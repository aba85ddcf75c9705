#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ScopedManagers.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "parser/ExpressionEntry.h"
#include "parser/LineScanner.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

TEST(ExpressionEntry, AnOperandEndsBehindItsLastTokenOrLeavesTheCursor) {
  struct Case {
    const char* text;
    const char* prefix;
    int16_t radix;
    const char* value;    // printed; null when the parse fails
    const char* message;  // the parser's text on failure
    const char* rest;     // the text at the cursor afterwards
  };
  const Case cases[] = {
      {"1, 2", ";", 10, "1", nullptr, ", 2"},
      {"1 +", ";", 10, nullptr, "unexpected character in expression", "1 +"},
      {"(1", ";", 10, nullptr, "unexpected character in expression", "(1"},
      {"", ";", 10, nullptr, nullptr, ""},
      {"  ; only a comment", ";", 10, nullptr, nullptr, "  ; only a comment"},
      {"1;2", ";", 10, "1", nullptr, ";2"},
      // The expression ends where the line's comment begins.
      {"8 // 2", "//", 10, "8", nullptr, " // 2"},
      {"8//2", "//", 10, "8", nullptr, "//2"},
      {"8 // 2", ";", 10, nullptr, "unexpected character in expression", "8 // 2"},
      {"8 / 2", "//", 10, "4", nullptr, ""},
      {"6 --1", "--", 10, "6", nullptr, " --1"},
      {"6 - -1", "--", 10, "7", nullptr, ""},
      // A prefix that begins like a number or a literal is part of that token.
      {"12", "1", 10, "12", nullptr, ""},
      {"\"a;b\"", ";", 10, "a;b", nullptr, ""},
      // Numbers take the radix of the line's control state.
      {"10", ";", 16, "16", nullptr, ""},
      {"10", ";", 2, "2", nullptr, ""},
  };
  ScopedManagers managers(ScopedManagers::kAll);
  for (const Case& c : cases) {
    ControlState state;
    state.radix = c.radix;
    LineInfo line;
    line.controlState = &state;
    Scanner scanner;
    scanner.reset(c.text, &line, c.prefix);
    // A look-ahead kept before the expression must not survive it.
    scanner.peek();
    const char* message = "unchanged";
    OrbaExpression* value = parseExpression(scanner, &message);
    if (c.value) {
      ASSERT_NE(value, nullptr) << c.text << ": " << (message ? message : "");
      OrbaExpression* folded = value->evaluate();
      std::string printed = folded->getKind() == EK_string ? std::string(folded->getString())
                                                            : exprToString(folded);
      EXPECT_EQ(printed, c.value) << c.text;
      EXPECT_EQ(message, nullptr) << c.text;
    } else {
      EXPECT_EQ(value, nullptr) << c.text;
      EXPECT_STREQ(message, c.message) << c.text;
    }
    EXPECT_STREQ(scanner.cursor, c.rest) << c.text;
    int32_t next = scanner.scan();
    if (*c.rest == ',') {
      EXPECT_EQ(next, kTokComma) << c.text;
    }
  }
}

TEST(ExpressionEntry, CharactersPackFirstOneMostSignificant) {
  struct Case {
    const char* text;
    uint32_t maxCount;
    uint64_t value;
    bool tooLong;
  };
  const Case cases[] = {
      {"ABCD", 4, 0x41424344u, false}, {"ABCDE", 4, 0x41424344u, true}, {"AB", 4, 0x4142u, false},
      {"", 4, 0, false},               {"AB", 2, 0x4142u, false},       {"ABC", 2, 0x4142u, true},
      {"\xff", 4, 255, false},         {"\xff\xff\xff\xff", 4, 0xFFFFFFFFu, false},
  };
  for (const Case& c : cases) {
    uint64_t value = 1234;
    bool tooLong = packCharacters(c.text, static_cast<uint32_t>(std::strlen(c.text)), &value, c.maxCount);
    EXPECT_EQ(value, c.value) << c.text << " " << c.maxCount;
    EXPECT_EQ(tooLong, c.tooLong) << c.text << " " << c.maxCount;
  }
}

TEST(ExpressionEntry, OnlyAStringValueIsAStringExpression) {
  ScopedManagers managers(ScopedManagers::kExpressions);
  EXPECT_FALSE(isStringExpression(nullptr));
  EXPECT_FALSE(isStringExpression(TEInteger::create(5)));
  EXPECT_TRUE(isStringExpression(TEString::create("x", 1)));
}

}  // namespace
