#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "PreprocFixture.h"
#include "preproc/LineState.h"
#include "preproc/MacroArguments.h"
#include "util/StringBuffer.h"

namespace {

using Items = std::vector<std::optional<std::string>>;  // nullopt: an omitted item

class MacroArgumentsTest : public PreprocTest {
 protected:
  // The items of the text, the text left after the list, and the diagnostics.
  Items split(const char* text, const char* commentString, std::string* rest) {
    LineInfo* line = lineState()->appendLine(text, 0, 1, 0);
    const char* cursor = text;
    std::vector<const char*> items;
    splitMacroArguments(cursor, commentString, items, line);
    *rest = cursor;
    Items result;
    for (const char* item : items) {
      if (item) {
        // Items are interned: equal texts are one pointer.
        EXPECT_EQ(item, stringBuffer()->intern(item));
        result.emplace_back(item);
      } else {
        result.emplace_back(std::nullopt);
      }
    }
    return result;
  }
};

TEST_F(MacroArgumentsTest, ItemsQuotesOmissionsAndTheEndOfTheList) {
  struct Case {
    const char* text;
    Items items;
    std::string rest;  // where the cursor stops
    std::vector<std::string> diagnostics = {};
    const char* commentString = ";";
  };
  const std::string e214 = "E214: unterminated string literal";
  const std::string e172 = "E172: additional characters found after instruction or directive";
  const Case cases[] = {
      {"", {}, ""},
      {"  \t\n", {}, ""},
      {" ; only a comment\n", {}, "; only a comment\n"},
      {" a, b ,c\n", {"a", "b", "c"}, "\n"},
      // A formal list a, an empty item, and a quoted x,y.
      {"a,,'x,y'\n", {"a", std::nullopt, "x,y"}, "\n"},
      {"'',b\n", {"", "b"}, "\n"},
      {",b\n", {std::nullopt, "b"}, "\n"},
      {"a,\n", {"a", std::nullopt}, "\n"},
      {"a(b,c)\n", {"a(b", "c)"}, "\n"},
      {"\"\"\"x\"\n", {"\"x"}, "\n"},
      {"'''' ,''\n", {"'", ""}, "\n"},
      {"\"a b\" ; note\n", {"a b"}, "; note\n"},
      {"a b  ;c\n", {"a b"}, ";c\n"},
      {"a\\,b\n", {"a\\", "b"}, "\n"},
      // Only the first character decides whether an item is quoted.
      {"1, \"a,b\"\n", {"1", "\"a", "b\""}, "\n"},
      {"'abc\n", {"abc"}, "\n", {e214}},
      {"\"abc", {"abc"}, "", {e214}},
      {"'a'b\n", {"a"}, "b\n", {e172}},
      {"'a' 'b'\n", {"a"}, "'b'\n", {e172}},
      {"a //c\n", {"a"}, "//c\n", {}, "//"},
      {"a /b\n", {"a /b"}, "\n", {}, "//"},
      {"a ;b\n", {"a ;b"}, "\n", {}, nullptr},
  };
  for (const Case& c : cases) {
    std::string rest;
    size_t before = recordedTexts().size();
    EXPECT_EQ(split(c.text, c.commentString, &rest), c.items) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
    std::vector<std::string> texts = recordedTexts();
    std::vector<std::string> diagnostics;
    for (size_t i = before; i < texts.size(); ++i) diagnostics.push_back(texts[i]);
    EXPECT_EQ(diagnostics, c.diagnostics) << c.text;
  }
}

}  // namespace
