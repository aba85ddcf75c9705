#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/c-buffer.h"
#include "util/c-memory.h"

namespace {

CBuffer makeBuffer(size_t size) {
  CBuffer b;
  b.begin = static_cast<char*>(xcalloc(size, 1));
  b.end = b.begin;
  b.size = size;
  return b;
}

TEST(CBufferTest, AppendGrowsByDoublingWhileTheTextAndItsNulDoNotFit) {
  struct Case {
    size_t size;
    std::vector<const char*> appends;
    const char* text;
    size_t finalSize;
  };
  const Case cases[] = {
      {4, {"abc"}, "abc", 4},
      {4, {"abcd"}, "abcd", 8},
      {4, {"ab", "c"}, "abc", 4},
      {4, {"ab", "cd"}, "abcd", 8},
      {4, {"abcdefghijklmnopq"}, "abcdefghijklmnopq", 32},
      {1, {""}, "", 1},
      {60, {"dEGiMnPqrVwXyZ"}, "dEGiMnPqrVwXyZ", 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    CBuffer b = makeBuffer(c.size);
    for (const char* text : c.appends) buf_append(&b, text);
    EXPECT_STREQ(buf_text(&b), c.text);
    EXPECT_EQ(b.size, c.finalSize);
    EXPECT_EQ(static_cast<size_t>(b.end - b.begin), std::strlen(c.text));
    std::free(b.begin);
  }
}

TEST(CBufferTest, ResetGivesEmptyTextAndCharsGrowTheBuffer) {
  CBuffer b = makeBuffer(4);
  buf_append(&b, "abc");
  buf_reset(&b);
  EXPECT_STREQ(buf_text(&b), "");
  for (char c : std::string("hello, world")) buf_append_char(&b, c);
  EXPECT_STREQ(buf_text(&b), "hello, world");
  EXPECT_EQ(b.size, 16u);
  EXPECT_EQ(*buf_end(&b), '\0');
  EXPECT_EQ(buf_end(&b), b.begin + 12);
  std::free(b.begin);
}

TEST(CBufferDeathTest, AppendingTextOfTheSameBufferIsAnAssertion) {
  EXPECT_DEATH(
      {
        CBuffer b = makeBuffer(8);
        buf_append(&b, "abc");
        buf_append(&b, buf_text(&b) + 1);
      },
      "c-buffer.c.*str < b->begin \\|\\| str >= b->begin \\+ b->size");
}

TEST(CBufferTest, OptionHelpHeadShowsFormsAndArgument) {
  struct Case {
    const char* name;
    OptionHelpHead option;
    size_t width;
    const char* text;
  };
  auto head = [](const char* shortForm, const char* longForm, int type) {
    OptionHelpHead option;
    option.shortForm = shortForm;
    option.longForm = longForm;
    option.type = type;
    return option;
  };
  OptionHelpHead flagLetter = head("x", "--example", 0);
  flagLetter.flagLetter = true;
  OptionHelpHead flagNoShort = head("", "--example", 0);
  flagNoShort.flagLetter = true;
  OptionHelpHead define = head("-D", "--define", 1);
  define.argumentText = "<symbol>[=<value>]";
  define.multiple = "";
  OptionHelpHead optional = head("-g", "--debug-info", 2);
  optional.argumentText = "<flags>";
  optional.optional = "";
  OptionHelpHead shortOnly = head("-I", "", 1);
  shortOnly.argumentText = "<dir>";
  shortOnly.separatorShort = "";
  OptionHelpHead multiple = head("-S", "--silicon-bug", 1);
  multiple.argumentText = "<arg>";
  multiple.multiple = ",";
  OptionHelpHead alias = head("-a", "--alias", 5);
  alias.argumentText = "--expansion";
  const Case cases[] = {
      {"flag letter", flagLetter, 6, "x/X    +/---example"},
      {"flag letter without short form", flagNoShort, 6, "       +/---example"},
      {"string with bare MUL", define, 4, "-D   --define=<symbol>[=<value>]"},
      {"optional argument", optional, 2, "-g --debug-info[=<flags>]"},
      {"short form only uses SEPS", shortOnly, 0, "-I <dir>"},
      {"MUL text is repeated", multiple, 0, "-S --silicon-bug=<arg>,..."},
      {"alias shows no argument", alias, 0, "-a --alias"},
      {"width already reached", head("--long", "", 0), 3, "--long "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CBuffer b = makeBuffer(4);
    buf_append(&b, "stale");
    EXPECT_STREQ(buf_format_option(&b, c.option, c.width), c.text);
    std::free(b.begin);
  }
}

}  // namespace
