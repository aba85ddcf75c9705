#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "objlib/StoreFileFixture.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_file_access.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

using FileAccess = OneStoreFile;

TEST_F(FileAccess, StringPropertiesReadBackWhatWasSet) {
  using Setter = int (*)(uint32_t, IosHandle, IosErrorCode*);
  using Getter = int (*)(uint32_t, IosHandle*, IosErrorCode*);
  struct Case {
    uint32_t property;
    Setter set;
    Getter get;  // the property's own entry point
  };
  const Case cases[] = {
      {1, ios_file_set_string1, ios_file_get_string1}, {2, ios_file_set_string2, ios_file_get_string2},
      {3, ios_file_set_string3, ios_file_get_string3}, {4, ios_file_set_string4, ios_file_get_string4},
      {5, ios_file_set_string5, ios_file_get_string5}, {6, ios_file_set_string6, ios_file_get_string6},
      {7, ios_file_set_string7, ios_file_get_string7}, {8, ios_file_set_string8, ios_file_get_string8},
      {9, ios_file_set_string9, ios_file_get_string9},
  };
  for (const Case& c : cases) {
    IosHandle string{};
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.get(file_, &string, &error), -1) << c.property;
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << c.property;
    ASSERT_EQ(c.set(file_, IosHandle{file_, 10 + c.property}, nullptr), 0);
    ASSERT_EQ(c.get(file_, &string, nullptr), 0) << c.property;
    EXPECT_EQ(string.object_id, 10 + c.property) << c.property;
    ASSERT_EQ(ios_file_get_string(file_, c.property, &string, nullptr), 0) << c.property;
    EXPECT_EQ(string.object_id, 10 + c.property) << c.property;
  }
  IosHandle string{};
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_file_set_string10(file_, IosHandle{file_, 0}, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STRING);
  ASSERT_EQ(ios_file_set_string10(file_, IosHandle{file_, 4}, nullptr), 0);
  ASSERT_EQ(ios_file_get_string10(file_, &string, nullptr), 0);
  EXPECT_EQ(string.object_id, 4u);
  EXPECT_EQ(ios_file_get_string(99, 1, &string, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_FILE);
}

TEST_F(FileAccess, SectionOrderTablesStartEmptyAndCollectNewSections) {
  IosHandle before{};
  ASSERT_EQ(ios_section_create(file_, nullptr, &before, nullptr), 0);
  ASSERT_EQ(ios_file_start_section_order(file_, nullptr), 0);
  uint32_t count = 9;
  ASSERT_EQ(ios_file_section_count(file_, &count, nullptr), 0);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(ios_file_section2_count(file_, &count, nullptr), 0);
  EXPECT_EQ(count, 0u);
  IosHandle made{};
  ASSERT_EQ(ios_section_create(file_, nullptr, &made, nullptr), 0);
  IosHandle section{};
  ASSERT_EQ(ios_file_section_at(file_, 0, &section, nullptr), 0);
  EXPECT_EQ(section.object_id, made.object_id);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_file_section_at(file_, 1, &section, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SECTION);
  error = NOT_SET;
  EXPECT_EQ(ios_file_section2_at(file_, 0, &section, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SECTION);
}

TEST_F(FileAccess, StringTextsCanBeAddedReservedAndTakenOver) {
  IosHandle empty{}, bytes{}, reserved{};
  ASSERT_EQ(ios_strtab_add_bytes(file_, nullptr, 0, &empty, nullptr), 0);
  ASSERT_EQ(ios_strtab_add_bytes(file_, "ab\0c", 4, &bytes, nullptr), 0);
  ASSERT_EQ(ios_strtab_reserve(file_, 3, &reserved, nullptr), 0);
  EXPECT_EQ(bytes.object_id, empty.object_id + 1);
  uint32_t count = 0;
  ASSERT_EQ(ios_strtab_count(file_, &count, nullptr), 0);
  EXPECT_EQ(count, reserved.object_id);

  const char* text = nullptr;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_string_text_of(empty, &text, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  ASSERT_EQ(ios_string_text_of(reserved, &text, nullptr), 0);
  EXPECT_EQ(std::string(text, 3), std::string(3, '\0'));

  char* taken = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(ios_string_take_text(bytes, &taken, &length, nullptr), 0);
  EXPECT_EQ(std::string(taken, length), std::string("ab\0c", 4));
  // The record no longer owns the text, so freeing the table leaves it alone.
  EXPECT_EQ(ios_string_text_of(bytes, &text, nullptr), -1);
  ios_string_text_free(taken, length);

  IosHandle found{};
  ASSERT_EQ(ios_string_at(file_, bytes.object_id - 1, &found, nullptr), 0);
  EXPECT_EQ(found.object_id, bytes.object_id);
  error = NOT_SET;
  EXPECT_EQ(ios_string_at(file_, count, &found, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STRING);
}

TEST_F(FileAccess, SettingATextOnlyFillsAStringWithoutOne) {
  IosHandle donor{}, textless{}, texted{};
  ASSERT_EQ(ios_strtab_add(file_, "moved", &donor, nullptr), 0);
  ASSERT_EQ(ios_strtab_add_bytes(file_, nullptr, 0, &textless, nullptr), 0);
  ASSERT_EQ(ios_strtab_add(file_, "kept", &texted, nullptr), 0);
  char* text = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(ios_string_take_text(donor, &text, &length, nullptr), 0);
  struct Case {
    const char* name;
    IosHandle string;
    char* text;
    int status;
    IosErrorCode error;
    const char* after;  // the string's text afterwards, null for none
  };
  const Case cases[] = {
      {"string with a text", texted, text, 1, IOS_ERR_INTERNAL, "kept"},
      {"no such string", IosHandle{file_, 40}, text, 1, IOS_ERR_NO_STRING, nullptr},
      {"no such file", IosHandle{99, 1}, text, 1, IOS_ERR_NO_FILE, nullptr},
      {"null text", textless, nullptr, 1, IOS_ERR_INTERNAL, nullptr},
      {"string without a text", textless, text, 0, NOT_SET, "moved"},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_string_set_text(c.string, c.text, length, &error), c.status) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    const char* now = nullptr;
    int found = ios_string_text_of(c.string, &now, nullptr);
    if (c.after == nullptr) {
      EXPECT_NE(found, 0) << c.name;
    } else {
      ASSERT_EQ(found, 0) << c.name;
      EXPECT_STREQ(now, c.after) << c.name;
    }
  }
  // The string owns the text now: it goes with the table and can be taken again.
  char* again = nullptr;
  ASSERT_EQ(ios_string_take_text(textless, &again, &length, nullptr), 0);
  EXPECT_EQ(again, text);
  ios_string_text_free(again, length);
}

TEST_F(FileAccess, WordsAndDebugRootAnswerUnsetUntilSet) {
  uint32_t word = 0;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_file_get_aux_word(file_, &word, &error), -1);
  EXPECT_EQ(error, NOT_SET);
  EXPECT_EQ(ios_file_get_mode(file_, &word, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  ASSERT_EQ(ios_file_set_flag_two(file_, nullptr), 0);
  ASSERT_EQ(ios_file_get_mode(file_, &word, nullptr), 0);
  EXPECT_EQ(word, 2u);
  error = NOT_SET;
  EXPECT_EQ(ios_file_get_word41(file_, &word, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  ASSERT_EQ(ios_file_start_section_order(file_, nullptr), 0);
  ASSERT_EQ(ios_file_get_word41(file_, &word, nullptr), 0);
  EXPECT_EQ(word, 1u);
  IosDebugRoot* root = nullptr;
  error = NOT_SET;
  EXPECT_EQ(ios_file_get_debug_root_record(file_, &root, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  EXPECT_EQ(ios_file_free_debug_root(file_, nullptr), 0);
}

TEST_F(FileAccess, FreeingTheAdminEndsEveryFile) {
  uint32_t second = 0;
  ASSERT_EQ(ios_file_create(&second, nullptr), 0);
  EXPECT_EQ(ios_admin_file_count(nullptr), second);
  ios_admin_free();
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_admin_file_count(&error), 0u);
  EXPECT_EQ(error, IOS_ERR_NO_ADMIN);
  ios_strtab_free(nullptr);
  ios_heap_free(nullptr);
}

}  // namespace
