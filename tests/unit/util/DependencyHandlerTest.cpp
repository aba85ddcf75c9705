#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/DependencyHandler.h"

namespace {

TEST(DependencyHandlerTest, MakeWordQuotesSeparatorsAndDoublesDollars) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"t.asm", "t.asm"},
      {"", ""},
      {"my file.inc", "\"my file.inc\""},
      {"tab\there", "\"tab\there\""},
      {"c:\\src\\t.asm", "\"c:\\src\\t.asm\""},
      {"a#b", "\"a#b\""},
      {"a+b", "\"a+b\""},
      {"a=b", "\"a=b\""},
      {"a$b.inc", "a$$b.inc"},
      {"$$", "$$$$"},
      {"x:$y", "\"x:$$y\""},
      // Backslashes, quotes and other punctuation pass unchanged.
      {"dir\\a%b;c\"d", "dir\\a%b;c\"d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(makeWord(c.text), c.expected);
  }
}

TEST(DependencyHandlerTest, RecordsEachNameOnceInFirstUseOrder) {
  DependencyHandler handler;
  for (const char* name : {"t.asm", "a.inc", "t.asm", "b.inc", "a.inc", "A.inc"}) handler.addDependency(name);
  EXPECT_EQ(handler.files(), (std::vector<std::string>{"t.asm", "a.inc", "b.inc", "A.inc"}));
}

}  // namespace
