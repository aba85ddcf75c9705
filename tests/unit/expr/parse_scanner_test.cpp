// The expression scanner on its own: which token, which text, which radix, and
// where the cursor is left; and the decoding of quoted literal characters.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/ExprScanner.h"
#include "expr/lex_util.h"
#include "util/LineInfo.h"
#include "util/StringBuffer.h"
#include "ScopedManagers.h"

namespace {

struct Token {
  int32_t code;
  const char* text;
  int32_t radix;  // checked for integers only
};

struct Case {
  const char* input;
  std::vector<Token> tokens;  // up to, not including, the end token
};

constexpr int32_t kDefaultRadix = 7;  // an unusual default shows when it is kept

std::vector<Token> scanAll(const char* input, std::deque<std::string>& texts) {
  ExprScanner scanner;
  scanner.reset(input, nullptr);
  std::vector<Token> tokens;
  for (int guard = 0; guard < 64; ++guard) {
    scanner.radix = kDefaultRadix;
    int32_t code = exprScan(&scanner);
    if (code == TK_END) break;
    texts.emplace_back(tokenText(&scanner));
    tokens.push_back({code, texts.back().c_str(), scanner.radix});
  }
  return tokens;
}

TEST(ExprScannerTest, LongestMatchDecidesTokenTextAndRadix) {
  const int32_t kAbs = TK_FUNCTION_FIRST;
  const int32_t kSin = TK_FUNCTION_FIRST + 38;
  const int32_t kVekt = TK_FUNCTION_LAST;
  const Case cases[] = {
      {"0x1F", {{TK_INTEGER, "1F", 16}}},
      {"0X1f", {{TK_INTEGER, "1f", 16}}},
      {"#077", {{TK_INTEGER, "077", 10}}},
      {"0b101", {{TK_INTEGER, "101", 2}}},
      {"077", {{TK_INTEGER, "077", kDefaultRadix}}},
      {"1e5", {{TK_FLOAT, "1e5", 0}}},
      {"1e5a", {{TK_INTEGER, "1e5a", kDefaultRadix}}},
      {"1E", {{TK_INTEGER, "1E", kDefaultRadix}}},
      {"0b12", {{TK_INTEGER, "0b12", kDefaultRadix}}},
      {"1.5e-3", {{TK_FLOAT, "1.5e-3", 0}}},
      {"1.", {{TK_FLOAT, "1.", 0}}},
      {".5", {{TK_FLOAT, ".5", 0}}},
      {".5e3", {{TK_FLOAT, ".5e3", 0}}},
      {".5x", {{TK_IDENTIFIER, ".5x", 0}}},
      {"1e+x", {{TK_INTEGER, "1e", kDefaultRadix}, {TK_PLUS, "+", 0}, {TK_IDENTIFIER, "x", 0}}},
      {"1.5e", {{TK_FLOAT, "1.5", 0}, {TK_IDENTIFIER, "e", 0}}},
      {"3N", {{TK_LOCAL_LABEL, "3N", 0}}},
      {"12p", {{TK_LOCAL_LABEL, "12p", 0}}},
      {"3x", {{TK_INTEGER, "3", kDefaultRadix}, {TK_IDENTIFIER, "x", 0}}},
      {"0x", {{TK_INTEGER, "0", kDefaultRadix}, {TK_IDENTIFIER, "x", 0}}},
      {".text @FOO @", {{TK_IDENTIFIER, ".text", 0}, {TK_IDENTIFIER, "@FOO", 0},
                        {TK_IDENTIFIER, "@", 0}}},
      {"@sin @ABS @ABSX @VeKt", {{kSin, "@sin", 0}, {kAbs, "@ABS", 0},
                                 {TK_IDENTIFIER, "@ABSX", 0}, {kVekt, "@VeKt", 0}}},
      {"@PCREL @RANGE", {{TK_IDENTIFIER, "@PCREL", 0}, {TK_IDENTIFIER, "@RANGE", 0}}},
      {"'ab' \"ab\"", {{TK_STRING, "ab", 0}, {TK_STRING, "ab", 0}}},
      {"\"it's\" 'say \"x\"'", {{TK_STRING, "it's", 0}, {TK_STRING, "say \"x\"", 0}}},
      {"\"a\"\"b\"", {{TK_STRING, "a\"\"b", 0}}},
      {"\"\"", {{TK_STRING, "", 0}}},
      {"\"\\x41\\101\\n\"", {{TK_STRING, "\\x41\\101\\n", 0}}},
      {"\"a\\qb\"", {}},
      {"\"a\\xG\"", {}},
      {"\"abc", {}},
      {"\"ab\"\"", {{TK_STRING, "ab", 0}}},
      {"\"a\nb\"", {}},
      {"&& & || | ++ + == != ! <= << < >= >> >",
       {{TK_LOGICAL_AND, "&&", 0}, {TK_AND, "&", 0}, {TK_LOGICAL_OR, "||", 0},
        {TK_OR, "|", 0}, {TK_CONCAT, "++", 0}, {TK_PLUS, "+", 0}, {TK_EQ, "==", 0},
        {TK_NE, "!=", 0}, {TK_NOT, "!", 0}, {TK_LE, "<=", 0}, {TK_SHL, "<<", 0},
        {TK_LT, "<", 0}, {TK_GE, ">=", 0}, {TK_SHR, ">>", 0}, {TK_GT, ">", 0}}},
      {": , ~ / [ ( - % ? ] ) * ^",
       {{TK_COLON, ":", 0}, {TK_COMMA, ",", 0}, {TK_TILDE, "~", 0}, {TK_SLASH, "/", 0},
        {TK_LBRACKET, "[", 0}, {TK_LPAREN, "(", 0}, {TK_MINUS, "-", 0},
        {TK_PERCENT, "%", 0}, {TK_QUESTION, "?", 0}, {TK_RBRACKET, "]", 0},
        {TK_RPAREN, ")", 0}, {TK_STAR, "*", 0}, {TK_XOR, "^", 0}}},
      {"5;x", {{TK_INTEGER, "5", kDefaultRadix}}},
      {"5 = 6", {{TK_INTEGER, "5", kDefaultRadix}}},
      {"1\n2", {{TK_INTEGER, "1", kDefaultRadix}}},
      {"\t\v\f\r 9", {{TK_INTEGER, "9", kDefaultRadix}}},
      {"# 1", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::deque<std::string> texts;
    std::vector<Token> got = scanAll(c.input, texts);
    ASSERT_EQ(got.size(), c.tokens.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].code, c.tokens[i].code) << "token " << i;
      EXPECT_STREQ(got[i].text, c.tokens[i].text) << "token " << i;
      if (got[i].code == TK_INTEGER) {
        EXPECT_EQ(got[i].radix, c.tokens[i].radix) << "token " << i;
      }
    }
  }
}

TEST(ExprScannerTest, EndOfTextCanBeFetchedRepeatedlyWithoutReadingPastIt) {
  const char text[] = "1 ";
  ExprScanner scanner;
  scanner.reset(text, nullptr);
  EXPECT_EQ(exprScan(&scanner), TK_INTEGER);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(exprScan(&scanner), TK_END);
    EXPECT_EQ(scanner.cursor, text + 2);
  }
}

TEST(ExprScannerTest, ByteThatBeginsNoTokenIsSteppedOver) {
  const char text[] = "$1";
  ExprScanner scanner;
  scanner.reset(text, nullptr);
  EXPECT_EQ(exprScan(&scanner), TK_END);
  EXPECT_EQ(scanner.cursor, text + 1);
}

class DecodeLiteralTest : public testing::Test {
 protected:
  ScopedManagers managers_{ScopedManagers::kStrings | ScopedManagers::kErrors};

  // Decodes a literal body the way the string conversion does.
  std::vector<int32_t> decode(const std::string& body, char quote) {
    ExprScanner scanner;
    scanner.reset(body.c_str(), &line_);
    std::vector<int32_t> values;
    const char* end = body.data() + body.size();
    for (const char* position = body.data(); position < end; ++position)
      values.push_back(decodeLiteralChar(&scanner, &position, end, static_cast<uint8_t>(quote)) & 0xFF);
    return values;
  }

  int32_t errorsReported() const {
    ErrorHandler::ErrorIter records(*runState().errorHandler);
    records.first();
    return records.isDone() ? 0 : 1;
  }

  LineInfo line_;
};

TEST_F(DecodeLiteralTest, EscapesAndDoubledQuotesDecodeToOneByteEach) {
  struct DecodeCase {
    const char* body;
    char quote;
    std::vector<int32_t> bytes;
  };
  const DecodeCase cases[] = {
      {"\\n\\t\\0", '"', {10, 9, 0}},
      {"\\a\\b\\f\\r\\v\\?\\\\\\'\\\"", '"', {7, 8, 12, 13, 11, 63, 92, 39, 34}},
      {"\\101", '"', {65}},
      {"\\1018", '"', {65, '8'}},
      {"\\18", '"', {1, '8'}},
      {"\\777", '"', {255}},
      {"\\x41", '"', {65}},
      {"\\x414", '"', {65, '4'}},
      {"\\X4f", '"', {79}},
      {"\\x", '"', {0}},
      {"\\xg", '"', {0, 'g'}},
      {"a\"\"b", '"', {'a', '"', 'b'}},
      {"a''b", '\'', {'a', '\'', 'b'}},
      {"a'b", '"', {'a', '\'', 'b'}},
      {"\"", '"', {'"'}},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(decode(c.body, c.quote), c.bytes);
  }
  EXPECT_EQ(errorsReported(), 0);
}

TEST_F(DecodeLiteralTest, UnknownEscapeIsE121AndGivesTheCharacter) {
  EXPECT_EQ(decode("\\q", '"'), std::vector<int32_t>{'q'});
  ErrorHandler::ErrorIter records(*runState().errorHandler);
  records.first();
  ASSERT_FALSE(records.isDone());
  EXPECT_STREQ(records.current()->text, "E121: invalid escape character");
}

TEST(ParseUnsigned64Test, ReadsDigitsOfTheRadixAndFlagsOverflow) {
  struct NumberCase {
    const char* text;
    int radix;
    uint64_t value;
    size_t consumed;
    bool overflow;
  };
  const NumberCase cases[] = {
      {"123", 10, 123, 3, false},
      {"0x1f", 16, 31, 4, false},
      {"0x1f", 0, 31, 4, false},
      {"017", 0, 15, 3, false},
      {"12ab", 10, 12, 2, false},
      {"zz", 36, 1295, 2, false},
      {"-1", 10, UINT64_MAX, 2, false},
      {"18446744073709551615", 10, UINT64_MAX, 20, false},
      {"18446744073709551616", 10, UINT64_MAX, 20, true},
      {"999999999999999999999x", 10, UINT64_MAX, 21, true},
      {"12", 1, 0, 0, false},
      {"12", 37, 0, 0, false},
      {"", 10, 0, 0, false},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.text);
    const char* end = nullptr;
    bool overflow = false;
    EXPECT_EQ(parseUnsigned64(c.text, &end, c.radix, &overflow), c.value);
    EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed);
    EXPECT_EQ(overflow, c.overflow);
  }
}

}  // namespace
