// The pass that reads what the tables of repeated statements key a statement by: its
// length to the comment, its plain numbers and its shape without them, and its target.
// Texts that do not fit the tables' room are refused without a character read past it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "parser/StatementText.h"

namespace {

// The numbers as "value@from" in text order, "!" when more than a shape holds.
std::string describeNumbers(const StatementText& text) {
  std::string made;
  for (uint32_t i = 0; i < text.tokens.count; ++i) {
    if (i) made += ' ';
    made += std::to_string(text.tokens.token[i].value) + "@" + std::to_string(text.tokens.token[i].from);
  }
  if (!text.numbersFit) made += "!";
  return made;
}

TEST(StatementText, ReadsLengthCommentNumbersAndShape) {
  struct Case {
    const char* text;
    const char* prefix;
    bool fits;
    int length;
    int commentAt;
    const char* numbers;
    const char* shape;
  };
  const Case cases[] = {
      {" add d1,d2", ";", true, 10, 10, "", ""},
      {" add d1,d2\n more", ";", true, 10, 10, "", ""},
      // The text ends after the comment's prefix: comments differ, statements do not.
      {" mov d1,#5 ; five", ";", true, 12, 11, "5@9", " mov d1,# ;"},
      {" mov d1,#5; five", ";", true, 11, 10, "5@9", " mov d1,#;"},
      // Another prefix is not cut at: it may begin with an operator.
      {" mov d1,#5 # five", "#", true, 17, 17, "5@9", " mov d1,# # five"},
      {" mov d1,#5 ; five", nullptr, true, 17, 17, "5@9", " mov d1,# ; five"},
      // A quote keeps the rest whole.
      {" x \";\" ; c", ";", true, 10, 10, "", ""},
      {" mov d1,#-7", ";", true, 11, 11, "-7@9", " mov d1,#-"},
      {" mov d1,#~0", ";", true, 11, 11, "-1@9", " mov d1,#~"},
      {" mov d1,#+3", ";", true, 11, 11, "3@9", " mov d1,#+"},
      {" mov d1,#0x1F", ";", true, 13, 13, "31@9", " mov d1,#"},
      // Not numbers: a leading zero, ten digits, nine hexadecimal digits, digits inside a
      // name, hexadecimal without digits, digits before a letter.
      {" mov d1,#012", ";", true, 12, 12, "", ""},
      {" mov d1,#1234567890", ";", true, 19, 19, "", ""},
      {" mov d1,#0x123456789", ";", true, 20, 20, "", ""},
      {" ld.w d15,[a2]x4", ";", true, 16, 16, "", ""},
      {" mov d1,#0x", ";", true, 11, 11, "", ""},
      {" mov d1,#4k", ";", true, 11, 11, "", ""},
      {" insert d1,d2,#1,#2,#3", ";", true, 22, 22, "1@15 2@18 3@21", " insert d1,d2,#,#,#"},
      // A fourth number does not fit a shape: no shape is made.
      {" x #1,#2,#3,#4", ";", true, 14, 14, "1@4 2@7 3@10!", ""},
      // The room: 46 characters fit, 47 do not, wherever the 47th stands.
      {"1234567890123456789012345678901234567890abcdef", ";", true, 46, 46, "", ""},
      {"1234567890123456789012345678901234567890abcdefg", ";", false, 0, 0, "", ""},
      {" mov d1,#1                                    7", ";", false, 0, 0, "", ""},
      {" mov d1,#                                    47", ";", false, 0, 0, "", ""},
      {" mov d1,#                                    0x47", ";", false, 0, 0, "", ""},
      {" mov d1,#                                    ;", ";", true, 46, 45, "", ""},
      {" mov d1,#                                     ;", ";", false, 0, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StatementText text;
    ASSERT_EQ(text.read(c.text, c.prefix), c.fits);
    if (!c.fits) continue;
    EXPECT_EQ(text.length, c.length);
    EXPECT_EQ(text.commentAt, c.commentAt);
    EXPECT_EQ(describeNumbers(text), c.numbers);
    EXPECT_EQ(std::string(text.shape, text.shapeLength), c.shape);
  }
}

// Each text fills a buffer of exactly the room and one character more, with no end: the
// pass must refuse it from what it read inside the buffer (an address check of the build
// reports any read past it).
TEST(StatementText, RefusesAnUnendedTextWithoutReadingPastTheRoom) {
  const char* fillers[] = {"a", " ", "1", "0x1", "#1,", "\"", ";", "~9"};
  constexpr size_t kBuffer = kStatementTextRoom + 1;
  for (const char* filler : fillers) {
    SCOPED_TRACE(filler);
    auto buffer = std::make_unique<char[]>(kBuffer);
    for (size_t i = 0; i < kBuffer; ++i) buffer[i] = filler[i % std::strlen(filler)];
    StatementText text;
    EXPECT_EQ(text.read(buffer.get(), ","), false);
  }
}

TEST(StatementText, FindsTheTargetAtTheEndAndCopiesItsName) {
  struct Case {
    const char* text;
    bool found;
    const char* target;
  };
  const Case cases[] = {
      {" jne d1,d2,L10", true, "L10"},
      {" j _start   ", true, "_start"},
      {" jne d1,d2,L10 ; back", true, "L10"},
      {" j 100", false, ""},
      {" jne d1,d2,L10+4", false, ""},
      {" add d1,d2", true, "d2"},
      {" j abcdefghijabcdefghijabcdefghijabcdefghijabc", true, "abcdefghijabcdefghijabcdefghijabcdefghijabc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StatementText text;
    ASSERT_TRUE(text.read(c.text, ";"));
    TargetSplit split;
    ASSERT_EQ(split.find(c.text, text.commentAt), c.found);
    if (!c.found) continue;
    TargetName name;
    ASSERT_TRUE(name.copy(c.text, split));
    EXPECT_STREQ(name.text, c.target);
  }
}

// A split wider than the room is refused, not copied over the name's end.
TEST(StatementText, RefusesATargetNameWiderThanTheRoom) {
  struct Case {
    uint8_t from;
    uint8_t end;
    bool copied;
  };
  const Case cases[] = {{0, kStatementTextRoom, true}, {0, kStatementTextRoom + 1, false}, {5, 4, false},
                        {3, 3, true}};
  const std::string text(200, 'x');
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.end));
    TargetSplit split;
    split.from = c.from;
    split.end = c.end;
    TargetName name;
    EXPECT_EQ(name.copy(text.c_str(), split), c.copied);
    EXPECT_EQ(std::strlen(name.text), c.copied ? static_cast<size_t>(c.end - c.from) : 0u);
  }
}

}  // namespace
