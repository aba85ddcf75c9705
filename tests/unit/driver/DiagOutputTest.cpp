// Which messages a --diag selection names, and the layout of the text form.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/DiagOutput.h"
#include "util/MessageCatalog.h"

namespace {

std::vector<uint32_t> selectedNumbers(const char* list, std::string* unknown) {
  std::vector<uint32_t> numbers;
  diag_select(
      list,
      [](int32_t id, void* context) {
        static_cast<std::vector<uint32_t>*>(context)->push_back(messages::number(id));
      },
      &numbers, unknown);
  return numbers;
}

TEST(DiagSelect, ItemsNameNumbersCodesAndRanges) {
  struct Case {
    const char* list;
    std::vector<uint32_t> numbers;
    const char* unknown;
  } cases[] = {
      {"208,144", {208, 144}, ""},
      {"E208,w144", {208, 144}, ""},
      {"-5", {1, 2, 3, 4, 5}, ""},
      {"F001-F004", {1, 2, 3, 4}, ""},
      {"902-", {902, 903, 904}, ""},
      {"500-600", {}, ""},
      {"600-500", {}, ""},
      {"", {}, ""},
      {"1,,4", {1, 4}, ""},
      {"5000", {}, "5000"},
      {"1,E999,4", {1}, "E999"},
      {"X1-5", {}, "X1"},
      {"1-X5", {}, "X5"},
      {"E208:", {}, "E208:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    std::string unknown;
    EXPECT_EQ(selectedNumbers(c.list, &unknown), c.numbers);
    EXPECT_EQ(unknown, c.unknown);
  }
}

const char kHtmlHead[] =
    "<html>\n<head>\n<style>\n<!--\n"
    ".diag { background: #ddd; border: solid thin black; margin: 6px; padding: 6px; }\n"
    "body  { background: #aaa; margin: 0px; }\n"
    "code  { color: #00f; }\n"
    "i     { color: #f00; }\n"
    "pre   { color: #080; margin-left: 1em; }\n"
    "-->\n</style>\n</head>\n<body>\n";

TEST(DiagDescribe, FormatsAndErrors) {
  const std::string f001Text =
      "F001: cannot open \"<file>\"\n\nThe assembler cannot open the <file> for reading.\n";
  struct Case {
    const char* argument;
    std::string text;   // the whole description
    const char* error;  // empty: none
  } cases[] = {
      {"F001", f001Text, ""},
      {"t:F001", f001Text, ""},
      {"H:f001",
       std::string(kHtmlHead) +
           "\n<div class=diag>\n<h4><code>F001: cannot open &quot;<i>file</i>&quot;</code></h4>\n"
           "<p>The assembler cannot open the <i>file</i> for reading.</p>\n</div>\n"
           "\n</body>\n</html>\n",
       ""},
      {"RTF:1",
       "{\\rtf1\\ansi\\deff0\n{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}\n"
       "{\\pard \\fs20\n"
       "\\f1 F001: cannot open \"\\i file\\i0 \"\\f0 \n"
       "\\par \\par {The assembler cannot open the \\i file\\i0  for reading.}\n}}\n",
       ""},
      {"E218",
       "E218: expression out of range (<low> and <high> decimal)\n\n"
       "The value of the expression must lie between <low> and <high>.\n",
       ""},
      {"pdf:1", "", "unsupported output format"},
      {"5000", "", "unknown diagnostic: \"5000\""},
      {"h:123456789012345678901234567890123456789012345",
       std::string(kHtmlHead) + "\n</body>\n</html>\n",
       "unknown diagnostic: \"123456789012345678901234567890123456789\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    std::string error;
    EXPECT_EQ(diag_describe(c.argument, &error), c.text);
    EXPECT_EQ(error, c.error);
  }
}

TEST(DiagDescribe, TextLinesWrapAt78Columns) {
  std::string error;
  std::istringstream text(diag_describe("all", &error));
  ASSERT_EQ(error, "");
  int titles = 0;
  for (std::string line; std::getline(text, line);) {
    EXPECT_LE(line.size(), 78u) << line;
    if (line.size() > 5 && line[4] == ':' && line[0] >= 'A' && line[0] <= 'Z') ++titles;
  }
  EXPECT_EQ(titles, static_cast<int>(messages::count()));
}

}  // namespace
