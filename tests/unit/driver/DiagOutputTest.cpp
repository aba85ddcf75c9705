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

TEST(DiagDescribe, FormatsAndErrors) {
  struct Case {
    const char* argument;
    const char* prefix;  // start of the result
    const char* error;   // null: none
  } cases[] = {
      {"F001", "F001: cannot open \"<file>\"\n\nThe assembler", nullptr},
      {"t:F001", "F001: cannot open", nullptr},
      {"H:f001", "<html>\n<head>\n", nullptr},
      {"RTF:1", "{\\rtf1\\ansi\\deff0\n", nullptr},
      {"pdf:1", "", "unsupported output format"},
      {"5000", "", "unknown diagnostic: \"5000\""},
      {"h:123456789012345678901234567890123456789012345", "<html>",
       "unknown diagnostic: \"123456789012345678901234567890123456789\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const char* error = nullptr;
    std::string text = diag_describe(c.argument, &error);
    EXPECT_EQ(text.substr(0, std::string(c.prefix).size()), c.prefix);
    if (c.error)
      EXPECT_STREQ(error, c.error);
    else
      EXPECT_EQ(error, nullptr);
  }
}

TEST(DiagDescribe, TextLinesWrapAt78Columns) {
  const char* error = nullptr;
  std::istringstream text(diag_describe("all", &error));
  ASSERT_EQ(error, nullptr);
  int titles = 0;
  for (std::string line; std::getline(text, line);) {
    if (line.find(' ') != std::string::npos) EXPECT_LE(line.size(), 78u) << line;
    if (line.size() > 5 && line[4] == ':' && line[0] >= 'A' && line[0] <= 'Z') ++titles;
  }
  EXPECT_GE(titles, messages::count() / 2);
}

}  // namespace
