#include <gtest/gtest.h>

#include <string>

#include "util/strpool.h"

namespace {

TEST(StrpoolTest, ConcatenationsInternLikeWholeTexts) {
  strpool_init();
  strpool_init();  // a second call keeps the pool and its texts
  std::string thirty(30, 'a');
  std::string sixty(60, 'b');
  struct Case {
    const char* a;
    const char* b;
    const char* whole;  // null: the result is null
  };
  const Case cases[] = {
      {"--core", "=tc1.6", "--core=tc1.6"},
      {nullptr, "-D", "-D"},
      {"-D", nullptr, "-D"},
      {"", "", ""},
      {nullptr, nullptr, nullptr},
      {thirty.c_str(), sixty.c_str(), nullptr},  // checked below
  };
  for (const Case& c : cases) {
    const char* joined = strpool_intern_concat(c.a, c.b);
    if (!c.a && !c.b) {
      EXPECT_EQ(joined, nullptr);
      continue;
    }
    std::string whole = c.whole ? c.whole : thirty + sixty;
    SCOPED_TRACE(whole);
    EXPECT_EQ(joined, whole);
    EXPECT_EQ(strpool_intern(whole.c_str()), joined);
    EXPECT_EQ(strpool_intern_concat(c.a, c.b), joined);
  }
  // The pool holds a copy, not the argument.
  char text[] = "value";
  const char* stored = strpool_intern(text);
  EXPECT_NE(stored, text);
  text[0] = 'V';
  EXPECT_STREQ(stored, "value");
}

}  // namespace
