#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "isa/InstructionTables.h"
#include "parser/LineScanner.h"

namespace {

struct Token {
  int32_t code;
  std::string text;
  bool operator==(const Token& other) const { return code == other.code && text == other.text; }
};

std::ostream& operator<<(std::ostream& out, const Token& token) {
  return out << token.code << " \"" << token.text << "\"";
}

// Every token of the text up to the end of the line, with the text it spans.
std::vector<Token> tokens(const char* text, const char* prefix = ";", bool peekFirst = false) {
  Scanner scanner;
  scanner.reset(text, nullptr, prefix);
  std::vector<Token> found;
  for (size_t guard = 0; guard <= std::string(text).size() + 1; ++guard) {
    int32_t peeked = peekFirst ? scanner.peek() : 0;
    int32_t code = scanner.scan();
    if (peekFirst && peeked != kTokEndOfLine) {
      EXPECT_EQ(peeked, code) << text;
    }
    if (code == kTokEndOfLine) break;
    found.push_back({code, std::string(scanner.tokenStart, scanner.tokenTextEnd())});
  }
  return found;
}

TEST(LineScanner, CutsTextIntoTheTokensOfTheStatementLanguage) {
  struct Case {
    const char* text;
    std::vector<Token> expected;
  };
  const Case cases[] = {
      {"label add d0,d1,#5",
       {{kTokIdentifier, "label"}, {kTokMnemonic, "add"}, {kTokIdentifier, "d0"}, {kTokComma, ","},
        {kTokIdentifier, "d1"}, {kTokComma, ","}, {kTokOther, "#"}, {kTokNumber, "5"}}},
      {"label: (x)", {{kTokIdentifier, "label"}, {kTokColon, ":"}, {kTokOpenParen, "("},
                      {kTokIdentifier, "x"}, {kTokCloseParen, ")"}}},
      // A number token only marks where a number starts.
      {"0x1F", {{kTokNumber, "0"}, {kTokIdentifier, "x1F"}}},
      {"1.5", {{kTokNumber, "1"}, {kTokIdentifier, ".5"}}},
      {"123abc", {{kTokNumber, "123"}, {kTokIdentifier, "abc"}}},
      {".5 @ @1.x", {{kTokIdentifier, ".5"}, {kTokIdentifier, "@"}, {kTokIdentifier, "@1.x"}}},
      {"a@b", {{kTokIdentifier, "a"}, {kTokIdentifier, "@b"}}},
      // Keywords in any letter case, and only as whole words.
      {"ADD Add.B add", {{kTokMnemonic, "ADD"}, {kTokMnemonic, "Add.B"}, {kTokMnemonic, "add"}}},
      {".WORDX .WORD.X ONX ld.wx add.x",
       {{kTokIdentifier, ".WORDX"}, {kTokIdentifier, ".WORD.X"}, {kTokIdentifier, "ONX"},
        {kTokIdentifier, "ld.wx"}, {kTokIdentifier, "add.x"}}},
      {".comment_prefix .COMMENT_PREFIX .text",
       {{kTokCommentPrefix, ".comment_prefix"}, {kTokCommentPrefix, ".COMMENT_PREFIX"},
        {kTokIdentifier, ".text"}}},
      {"at Global LOCAL off On reset",
       {{kTokAt, "at"}, {kTokGlobalWord, "Global"}, {kTokLocalWord, "LOCAL"}, {kTokOff, "off"},
        {kTokOn, "On"}, {kTokReset, "reset"}}},
      {"add16.a and.and32.t ftoq3132 nop16 cmov32",
       {{kTokMnemonic, "add16.a"}, {kTokMnemonic, "and.and32.t"}, {kTokMnemonic, "ftoq3132"},
        {kTokMnemonic, "nop16"}, {kTokIdentifier, "cmov32"}}},
      // Controls: the longest name wins, and no delimiter is needed after it.
      {"$case $Case $CASE", {{kTokCase, "$case"}, {kTokCase, "$Case"}, {kTokCase, "$CASE"}}},
      {"$LISTING", {{kTokList, "$LIST"}, {kTokIdentifier, "ING"}}},
      {"$TC16XY", {{kTokTc16x, "$TC16X"}, {kTokIdentifier, "Y"}}},
      {"$TC112_COR17 $tc112_cor1", {{54, "$TC112_COR17"}, {kTokTc112First, "$tc112_cor1"}}},
      {"$LIS", {{kTokOther, "$"}, {kTokIdentifier, "LIS"}}},
      {"$$CASE", {{kTokOther, "$"}, {kTokCase, "$CASE"}}},
      {"$1", {{kTokOther, "$"}, {kTokNumber, "1"}}},
      // Quoted literals keep their raw text between the quotes.
      {"\"\" ''", {{kTokString, ""}, {kTokString, ""}}},
      {"\"ab\"\"cd\"", {{kTokString, "ab\"\"cd"}}},
      {"'say \"hi\"'", {{kTokString, "say \"hi\""}}},
      {"\"\\x41\" \"\\101\" \"\\x4\"", {{kTokString, "\\x41"}, {kTokString, "\\101"}, {kTokString, "\\x4"}}},
      {"\"ab\"\"", {{kTokString, "ab"}, {kTokOther, "\""}}},
      {"\"\\xG\"", {{kTokOther, "\""}, {kTokOther, "\\"}, {kTokIdentifier, "xG"}, {kTokOther, "\""}}},
      {"\"\\q\"", {{kTokOther, "\""}, {kTokOther, "\\"}, {kTokIdentifier, "q"}, {kTokOther, "\""}}},
      {"\"abc", {{kTokOther, "\""}, {kTokIdentifier, "abc"}}},
      {"\"a\nb\"", {{kTokOther, "\""}, {kTokIdentifier, "a"}, {kTokIdentifier, "b"}, {kTokOther, "\""}}},
      // Bytes that begin no token come back one at a time.
      {"#+[\x7f\xff", {{kTokOther, "#"}, {kTokOther, "+"}, {kTokOther, "["}, {kTokOther, "\x7f"},
                       {kTokOther, "\xff"}}},
  };
  ScopedManagers managers(ScopedManagers::kStrings);
  for (const Case& c : cases) {
    EXPECT_EQ(tokens(c.text), c.expected) << c.text;
    // A look-ahead before every scan changes nothing.
    EXPECT_EQ(tokens(c.text, ";", true), c.expected) << c.text;
  }
}

TEST(LineScanner, CountsRunsOfBlanksFromTheFirstColumn) {
  struct Case {
    const char* text;
    std::vector<int32_t> runsAfterEachToken;  // the count once each token is scanned
  };
  const Case cases[] = {
      {"label add d0", {0, 1, 2}},
      {"  add\t \td0 ,d1", {1, 2, 3, 3}},
      {"   ", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    Scanner scanner;
    scanner.reset(c.text, nullptr, ";");
    std::vector<int32_t> runs;
    while (scanner.peek() != kTokEndOfLine) {
      scanner.scan();
      runs.push_back(scanner.blankRuns);
    }
    EXPECT_EQ(runs, c.runsAfterEachToken) << c.text;
    EXPECT_EQ(scanner.scan(), kTokEndOfLine);
    EXPECT_EQ(scanner.blankRuns, std::string(c.text).empty() ? 0 : runs.empty() ? 1 : runs.back()) << c.text;
  }
}

TEST(LineScanner, LookAheadEndsTheStatementWhereTheCommentBegins) {
  struct Case {
    const char* text;
    const char* prefix;
    int32_t peeked;   // the look-ahead at the text
    int32_t scanned;  // a scan at the same place
  };
  const Case cases[] = {
      {"; a comment", ";", kTokEndOfLine, kTokOther},
      {"// a comment", "//", kTokEndOfLine, kTokOther},
      {"/ not a comment", "//", kTokOther, kTokOther},
      {"; no comment now", "//", kTokOther, kTokOther},
      // A prefix that begins a token of another kind is never seen there.
      {"rem word", "rem", kTokIdentifier, kTokIdentifier},
      {"; comment", "", kTokOther, kTokOther},
      {"; comment", nullptr, kTokOther, kTokOther},
  };
  for (const Case& c : cases) {
    Scanner scanner;
    scanner.reset(c.text, nullptr, c.prefix);
    EXPECT_EQ(scanner.peek(), c.peeked) << c.text;
    EXPECT_EQ(scanner.cursor, scanner.textStart) << c.text;
    Scanner fresh;
    fresh.reset(c.text, nullptr, c.prefix);
    EXPECT_EQ(fresh.scan(), c.scanned) << c.text;
  }
}

TEST(LineScanner, AtTheEndOfTheTextEveryScanFindsTheEnd) {
  Scanner scanner;
  scanner.reset(nullptr, nullptr, ";");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(scanner.scan(), kTokEndOfLine);
  EXPECT_EQ(*scanner.cursor, '\0');
}

TEST(LineScanner, SectionAttributesNeedNoDelimiter) {
  struct Case {
    const char* text;
    std::vector<int32_t> codes;
    std::string rest;  // the text left at the cursor
  };
  const Case cases[] = {
      {" \tLinkOnce(", {kAttrLinkOnce}, "("},
      {"abs1", {0, 0, 0, 0}, ""},
      {"abs1 rom", {0, 0, 0, 0, kAttrRom}, ""},
      {"romx", {kAttrRom}, "x"},
      {"clear,noclear", {kAttrClear, 0, kAttrNoClear}, ""},
      {"ABS18 abs24 cluster concat init max noread protect",
       {kAttrAbs18, kAttrAbs24, kAttrCluster, kAttrConcat, kAttrInit, kAttrMax, kAttrNoRead, kAttrProtect},
       ""},
      // A line feed is no blank here.
      {"\nrom", {0, kAttrRom}, ""},
  };
  for (const Case& c : cases) {
    Scanner scanner;
    scanner.reset(c.text, nullptr, ";");
    std::vector<int32_t> codes;
    for (size_t i = 0; i < c.codes.size(); ++i) codes.push_back(scanSectionAttribute(scanner));
    EXPECT_EQ(codes, c.codes) << c.text;
    EXPECT_EQ(std::string(scanner.cursor), c.rest) << c.text;
  }
  Scanner scanner;
  scanner.reset("", nullptr, ";");
  EXPECT_EQ(scanSectionAttribute(scanner), 0);
  EXPECT_EQ(*scanner.cursor, '\0');
}

TEST(LineScanner, KnowsEveryKeywordByItsOwnCode) {
  // Each control and directive comes back as its own code from its own name, in any case.
  for (int32_t code = kTokControlFirst; code <= kTokDirectiveLast; ++code) {
    const char* name = keywordName(code);
    ASSERT_NE(name, nullptr) << code;
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& text : {std::string(name), lower}) {
      Scanner scanner;
      scanner.reset(text.c_str(), nullptr, ";");
      EXPECT_EQ(scanner.scan(), code) << text;
      EXPECT_EQ(scanner.scan(), kTokEndOfLine) << text;
    }
  }
  EXPECT_EQ(keywordName(kTokMnemonic), nullptr);
  EXPECT_EQ(mnemonicCount(), 759u);
}


TEST(LineScanner, KnowsEveryMnemonicOfTheFormsAndNoOtherName) {
  // The mnemonic of every form, in any case and with its width where it has one.
  size_t mnemonics = 0;
  for (uint32_t a = 0; a < isa::matchAlternativeCount(); ++a) {
    const char* name = isa::formInfo()[isa::matchAlternatives()[a].form].firstMnemonic;
    if (!name || !*name) continue;
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& text : {std::string(name), upper}) {
      EXPECT_EQ(lookupWord(text.c_str(), static_cast<uint32_t>(text.size())), kTokMnemonic) << text;
      ++mnemonics;
    }
  }
  EXPECT_GT(mnemonics, 400u);
  struct Case {
    const char* word;
    int32_t code;
  };
  const Case cases[] = {
      {"add16", kTokMnemonic}, {"LD32.W", kTokMnemonic}, {"LD.W32", kTokIdentifier}, {"ld16.w", kTokMnemonic}, {"xor.lt.u", kTokMnemonic},
      {"L0", kTokIdentifier}, {"L12345", kTokIdentifier}, {"d1", kTokIdentifier}, {"a15", kTokIdentifier},
      {"sp", kTokIdentifier}, {"add.", kTokIdentifier}, {"add1", kTokIdentifier}, {"adds.hu16", kTokIdentifier},
      {"x", kTokIdentifier}, {"msubadrs.hx", kTokIdentifier}, {"abcdefghijklmnopqrstuvwx", kTokIdentifier},
      {"abcdefghijklmnopqrstuvwxy", kTokIdentifier}, {"GLOBAL", kTokGlobalWord}, {"reset", kTokReset},
  };
  for (const Case& c : cases)
    EXPECT_EQ(lookupWord(c.word, static_cast<uint32_t>(std::string(c.word).size())), c.code) << c.word;
  // Labels of the kind a long source numbers: none is taken for a keyword.
  for (uint32_t number = 0; number < 200000; number += 7) {
    const std::string label = "L" + std::to_string(number);
    ASSERT_EQ(lookupWord(label.c_str(), static_cast<uint32_t>(label.size())), kTokIdentifier) << label;
  }
}

}  // namespace
