#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "util/MessageCatalog.h"

namespace {

// Length of the printf conversion at text (text[0] == '%'), 0 when there is none.
size_t conversionLength(const char* text) {
  size_t length = 1;
  if (text[length] == '%') return 2;
  while (text[length] && std::strchr("-+ #0", text[length])) ++length;
  while (text[length] >= '0' && text[length] <= '9') ++length;
  if (text[length] == '.') {
    ++length;
    while (text[length] >= '0' && text[length] <= '9') ++length;
  }
  while (text[length] == 'l' || text[length] == 'h') ++length;
  return text[length] && std::strchr("diouxXcsp", text[length]) ? length + 1 : 0;
}

// The --diag title of a record: the prefix and the text, every conversion a placeholder.
// Returns an empty string when the explanation does not match.
std::string checkTitle(int32_t id) {
  const MessageRecord& record = messages::record(id);
  const char* title = record.explanation;
  if (title[0] != '\x03') return "does not open with 0x03";
  ++title;
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%c%03u: ", record.severity, record.number);
  if (std::strncmp(title, prefix, std::strlen(prefix)) != 0) return "prefix differs";
  title += std::strlen(prefix);

  for (const char* text = record.text; *text;) {
    size_t length = text[0] == '%' ? conversionLength(text) : 0;
    if (text[0] == '%' && length == 0) return "text has a malformed conversion";
    if (length == 2 && text[1] == '%') {
      if (*title++ != '%') return "literal percent differs";
    } else if (length > 0) {
      if (*title++ != '\x10') return std::string("no placeholder for ") + std::string(text, length);
      const char* name = title;
      while (*title && *title != '\x11' && static_cast<unsigned char>(*title) >= ' ') ++title;
      if (*title != '\x11' || title == name) return "placeholder not closed or empty";
      ++title;
    } else {
      if (*title++ != *text) return std::string("title differs at: ") + text;
      length = 1;
    }
    text += length;
  }
  if (title[0] != '\x04' || title[1] != '\n') return "title not closed by 0x04 and a newline";
  return "";
}

// The description may use only the markup the --diag renderer knows of the catalog.
std::string checkDescription(const char* explanation) {
  const char* description = std::strchr(explanation, '\x04') + 2;
  if (std::strlen(description) < 10) return "description missing";
  bool inPlaceholder = false;
  for (const char* byte = description; *byte; ++byte) {
    unsigned char value = static_cast<unsigned char>(*byte);
    if (value == 0x10) {
      if (inPlaceholder) return "nested placeholder";
      inPlaceholder = true;
    } else if (value == 0x11) {
      if (!inPlaceholder) return "unopened placeholder";
      inPlaceholder = false;
    } else if (value < ' ' && value != '\n' && value != '\t') {
      return "unexpected control byte";
    }
  }
  return inPlaceholder ? "placeholder not closed" : "";
}

TEST(MessageCatalog, EveryTitleIsPrefixAndTextWithPlaceholders) {
  for (int32_t id = 1; id <= messages::count(); ++id) {
    SCOPED_TRACE(testing::Message() << "identifier " << id << " text " << messages::text(id));
    ASSERT_NE(messages::explanation(id), nullptr);
    EXPECT_EQ(checkTitle(id), "");
    EXPECT_EQ(checkDescription(messages::explanation(id)), "");
  }
}

TEST(MessageCatalog, EveryRecordIsEnabledWithSeverityAndThreeDigitNumber) {
  for (int32_t id = 1; id <= messages::count(); ++id) {
    const MessageRecord& record = messages::record(id);
    SCOPED_TRACE(testing::Message() << "identifier " << id);
    EXPECT_NE(std::strchr("FEWIS", record.severity), nullptr);
    EXPECT_NE(record.severity, 0);
    EXPECT_EQ(record.enabled, 1);
    EXPECT_LT(record.number, 1000u);
  }
}

TEST(MessageCatalog, NumbersAreUniqueAndLeadBackToTheirIdentifier) {
  std::set<uint32_t> seen;
  for (int32_t id = 1; id <= messages::count(); ++id) {
    uint32_t number = messages::number(id);
    EXPECT_TRUE(seen.insert(number).second) << "number " << number << " used twice";
    EXPECT_EQ(messages::indexOfNumber(number), id) << "number " << number;
  }
}

TEST(MessageCatalog, IdentifiersArePositionsCountedFromOne) {
  struct Case {
    int32_t id;
    int32_t position;
    char severity;
    uint32_t number;
  };
  const Case cases[] = {
      {F_cannot_open, 1, 'F', 1},
      {F_too_many_errors, 11, 'F', 13},
      {E_command_line, 12, 'E', 100},
      {E_multiple_defined_symbol, 80, 'E', 168},
      {E_no_section_active, 91, 'W', 179},  // the severity field counts, not the prefix
      {W_additional_input_ignored, 155, 'W', 244},
      {E_absolute_section_misaligned, 201, 'W', 290},
      {W_CPU_TC013, 238, 'W', 800},
      {S_should_not_happen, 267, 'S', 901},
      {S_unhandled_exception, 270, 'S', 904},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "position " << c.position);
    EXPECT_EQ(c.id, c.position);
    EXPECT_EQ(messages::severity(c.id), c.severity);
    EXPECT_EQ(messages::number(c.id), c.number);
  }
  EXPECT_EQ(messages::count(), 270);
  EXPECT_EQ(MSG_count, 271);
}

TEST(MessageCatalog, NumberLookupFindsOnlyExistingNumbers) {
  struct Case {
    uint32_t number;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 0},      {1, F_cannot_open}, {6, 0},   {179, E_no_section_active},
      {200, 0},    {999, 0},           {1000, 0}, {904, S_unhandled_exception},
      {0xFFFFFFFFu, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(messages::indexOfNumber(c.number), c.expected) << c.number;
}

TEST(MessageCatalog, IdentifiersOutsideTheCatalogReadAsEmptyRecords) {
  for (int32_t id : {0, -1, static_cast<int32_t>(MSG_count), 100000}) {
    const MessageRecord& record = messages::record(id);
    EXPECT_EQ(record.severity, 0) << id;
    EXPECT_EQ(record.number, 0u) << id;
    EXPECT_EQ(record.text, nullptr) << id;
  }
}

}  // namespace
