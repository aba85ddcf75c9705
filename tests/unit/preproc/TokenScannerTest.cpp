#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "PreprocFixture.h"
#include "preproc/InputBuffer.h"
#include "preproc/MacroPreprocessor.h"
#include "preproc/MppToken.h"

namespace {

using Token = std::pair<int32_t, std::string>;

class TokenScannerTest : public PreprocTest {
 protected:
  // Every token of the text up to the end of text (999, not listed), with its text.
  std::vector<Token> scan(const std::string& text) {
    InputBuffer input(&includePath_);
    input.pushText(text.data(), text.size());
    std::vector<Token> tokens;
    // A token consumes at least one byte, so the text's length bounds the loop.
    for (size_t guard = 0; guard <= text.size(); ++guard) {
      int32_t code = MacroPreprocessor::nextToken(input);
      if (code == kMppEndOfText) {
        EXPECT_EQ(input.cursor(), input.lineBufferStart() + text.size() + 1);
        blankRuns_ = input.blankRuns();
        return tokens;
      }
      tokens.emplace_back(code, input.tokenText());
    }
    ADD_FAILURE() << "no end of text";
    return tokens;
  }

  std::vector<const char*> includePath_;
  int32_t blankRuns_ = 0;
};

TEST_F(TokenScannerTest, TokensTheirTextsAndBlankRuns) {
  struct Case {
    std::string text;
    std::vector<Token> tokens;
    int32_t blankRuns;
  };
  const Case cases[] = {
      // Keywords in any letter case; digits are single characters.
      {"  .dup 3\n", {{kMppDup, ".dup"}, {kMppCharacter, "3"}, {kMppNewline, "\n"}}, 2},
      {"LAB: x", {{kMppIdentifier, "LAB"}, {kMppColon, ":"}, {kMppIdentifier, "x"}}, 1},
      // One run however long, of blanks, tabs, vertical tabs and form feeds.
      {"a  b\t \tc\v\f", {{2, "a"}, {2, "b"}, {2, "c"}}, 3},
      {".previous", {{kMppReserved, ".previous"}}, 0},
      {".PREVIOUSLY", {{kMppIdentifier, ".PREVIOUSLY"}}, 0},
      {".Comment_Prefix .COMMENT .comment_",
       {{kMppCommentPrefix, ".Comment_Prefix"}, {kMppComment, ".COMMENT"},
        {kMppIdentifier, ".comment_"}},
       2},
      {".DEFINEX .ENDMX .eNdIf .Compiler_Invocation .word",
       {{2, ".DEFINEX"}, {2, ".ENDMX"}, {kMppEndif, ".eNdIf"},
        {kMppReserved, ".Compiler_Invocation"}, {kMppReserved, ".word"}},
       4},
      {".if.else", {{kMppIdentifier, ".if.else"}}, 0},
      {"DUP dup", {{2, "DUP"}, {2, "dup"}}, 1},
      // Names: letters, digits, '_' and '.'; an at sign only starts one.
      {"x.y_1.z9", {{2, "x.y_1.z9"}}, 0},
      {"@@x . @", {{2, "@"}, {2, "@x"}, {2, "."}, {2, "@"}}, 2},
      {"_9a", {{2, "_9a"}}, 0},
      {"#,:\\", {{kMppHash, "#"}, {kMppComma, ","}, {kMppColon, ":"}, {kMppBackslash, "\\"}}, 0},
      {"123", {{1, "1"}, {1, "2"}, {1, "3"}}, 0},
      {"\"a\"", {{1, "\""}, {2, "a"}, {1, "\""}}, 0},
      // Line ends: LF, CR LF and a lone CR.
      {"a\r\nb\rc\n",
       {{2, "a"}, {kMppNewline, "\r\n"}, {2, "b"}, {kMppNewline, "\r"}, {2, "c"},
        {kMppNewline, "\n"}},
       0},
      {std::string("\x01\x08\x0e\x1f", 4),
       {{kMppControl, "\x01"}, {kMppControl, "\x08"}, {kMppControl, "\x0e"},
        {kMppControl, "\x1f"}},
       0},
      {"\xE9{\x1B\x7F",
       {{1, "\xE9"}, {1, "{"}, {kMppControl, "\x1B"}, {1, "\x7F"}}, 0},
      {"\t\v\f ", {}, 1},
      // Strings: raw contents, doubled quotes kept, the longest string wins.
      {"'abc'", {{kMppString, "abc"}}, 0},
      {"'it''s'", {{kMppString, "it''s"}}, 0},
      {"'''", {{kMppString, ""}, {1, "'"}}, 0},
      {"'a''b'c'", {{kMppString, "a''b"}, {2, "c"}, {1, "'"}}, 0},
      {"'ab'' ", {{kMppString, "ab"}, {1, "'"}}, 1},
      {"''", {{kMppString, ""}}, 0},
      // A string that does not close is a quote character and what follows.
      {"'abc", {{1, "'"}, {2, "abc"}}, 0},
      {"'a\rb'", {{kMppString, "a\rb"}}, 0},
      {"'a\nb'", {{1, "'"}, {2, "a"}, {kMppNewline, "\n"}, {2, "b"}, {1, "'"}}, 0},
      // Escapes: a valid one is part of the string, an invalid one fails it.
      {"'a\\qb'", {{1, "'"}, {2, "a"}, {kMppBackslash, "\\"}, {2, "qb"}, {1, "'"}}, 0},
      {"'\\x41\\X4f\\7\\n\\?\\\\'", {{kMppString, "\\x41\\X4f\\7\\n\\?\\\\"}}, 0},
      {"'\\''", {{kMppString, "\\'"}}, 0},
      {"'\\\"'", {{kMppString, "\\\""}}, 0},
      {"'\\xg'", {{1, "'"}, {kMppBackslash, "\\"}, {2, "xg"}, {1, "'"}}, 0},
      {"'\\8'", {{1, "'"}, {kMppBackslash, "\\"}, {1, "8"}, {1, "'"}}, 0},
      {"'\\N'", {{1, "'"}, {kMppBackslash, "\\"}, {2, "N"}, {1, "'"}}, 0},
      // After a string, a failing longer attempt falls back to it.
      {"'a''\\q'",
       {{kMppString, "a"}, {1, "'"}, {kMppBackslash, "\\"}, {2, "q"}, {1, "'"}},
       0},
      {"'x'\\", {{kMppString, "x"}, {kMppBackslash, "\\"}}, 0},
      {"'\\", {{1, "'"}, {kMppBackslash, "\\"}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(scan(c.text), c.tokens);
    EXPECT_EQ(blankRuns_, c.blankRuns);
  }
}

TEST_F(TokenScannerTest, ANewlineCountsOnceInAFileAndNotInAText) {
  struct Case {
    const char* what;
    const char* bytes;
    bool file;
    int32_t line;  // after the newline token
  };
  const Case cases[] = {
      {"LF in a file", "x\n", true, 2},
      {"CR LF in a file", "x\r\n", true, 2},
      {"LF in a text", "x\n", false, 1},
      {"CR LF in a text", "x\r\n", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = writeFile("t.asm", c.bytes);
    InputBuffer input(&includePath_);
    ASSERT_TRUE(input.openFile(path.c_str(), 1));
    ASSERT_TRUE(input.startLine());
    if (!c.file) input.pushText(c.bytes, std::string(c.bytes).size());
    EXPECT_EQ(MacroPreprocessor::nextToken(input), kMppIdentifier);
    // A look at the newline does not read it.
    const char* before = input.cursor();
    EXPECT_EQ(MacroPreprocessor::peekToken(input), kMppNewline);
    EXPECT_EQ(input.cursor(), before);
    EXPECT_EQ(input.top()->line, 1);
    EXPECT_EQ(MacroPreprocessor::nextToken(input), kMppNewline);
    EXPECT_EQ(input.top()->line, c.line);
    EXPECT_EQ(MacroPreprocessor::nextToken(input), kMppEndOfText);
  }
}

TEST_F(TokenScannerTest, ACtrlZIsNoTokenInAFileButAControlCharacterInAText) {
  struct Case {
    const char* what;
    bool file;
    std::vector<int32_t> tokens;  // up to the newline
  };
  // A Ctrl-Z at the start, between a backslash and the newline, and in a run of blanks.
  const char bytes[] = "\x1a" "a \x1a b\\\x1a\n";
  const Case cases[] = {
      {"file", true, {kMppIdentifier, kMppIdentifier, kMppBackslash, kMppNewline}},
      {"text",
       false,
       {kMppControl, kMppIdentifier, kMppControl, kMppIdentifier, kMppBackslash, kMppControl,
        kMppNewline}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = writeFile("t.asm", bytes);
    InputBuffer input(&includePath_);
    ASSERT_TRUE(input.openFile(path.c_str(), 1));
    ASSERT_TRUE(input.startLine());
    if (!c.file) input.pushText(bytes, sizeof bytes - 1);
    std::vector<int32_t> tokens;
    for (int32_t code = 0; code != kMppNewline && code != kMppEndOfText;) {
      code = MacroPreprocessor::nextToken(input);
      tokens.push_back(code);
    }
    EXPECT_EQ(tokens, c.tokens);
  }
}

TEST_F(TokenScannerTest, NextAndPeekClearTheTokenEndOfAStringBefore) {
  InputBuffer input(&includePath_);
  input.pushText("'s' x", 5);
  EXPECT_EQ(MacroPreprocessor::nextToken(input), kMppString);
  EXPECT_STREQ(input.tokenText(), "s");
  EXPECT_NE(input.top()->tokenEnd, nullptr);
  // The blank run before x counts, also when only looked at.
  EXPECT_EQ(MacroPreprocessor::peekToken(input), kMppIdentifier);
  EXPECT_EQ(input.top()->tokenEnd, nullptr);
  EXPECT_EQ(input.blankRuns(), 1);
  EXPECT_EQ(MacroPreprocessor::nextToken(input), kMppIdentifier);
  EXPECT_STREQ(input.tokenText(), "x");
}

TEST(TokenNames, MessagesNameTokensByTheirDisplayText) {
  struct Case {
    int32_t code;
    const char* name;
  };
  const Case cases[] = {
      {kMppCharacter, "character"},   {kMppIdentifier, "identifier"},
      {kMppReserved, "reserved identifier"}, {kMppString, "string"},
      {kMppColon, ":"},               {kMppHash, "#"},
      {kMppComma, ","},               {kMppBackslash, "\\"},
      {kMppNewline, "newline"},       {kMppControl, "control character"},
      {kMppIf, ".IF"},                {kMppEndif, ".ENDIF"},
      {kMppComment, ".COMMENT"},      {kMppCommentPrefix, ".COMMENT_PREFIX"},
      {kMppDup, ".DUP"},              {kMppUndef, ".UNDEF"},
      {kMppEndOfText, "EOFILE"},      {4, "**UNKNOWN**"},
      {17, "**UNKNOWN**"},            {0, "**UNKNOWN**"},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(MacroPreprocessor::tokenName(c.code), c.name) << c.code;
}

TEST(TokenCodes, TheIdentifierClassIsNamesAndTheKeywordsThatAreAlsoStatements) {
  const int32_t names[] = {kMppIdentifier, kMppReserved, kMppCommentPrefix, kMppEnd,
                           kMppEqu,        kMppRadix,    kMppSet};
  for (int32_t code = 0; code <= 1000; ++code) {
    bool expected = std::find(std::begin(names), std::end(names), code) != std::end(names);
    EXPECT_EQ(isIdentifierClass(code), expected) << code;
  }
}

}  // namespace
