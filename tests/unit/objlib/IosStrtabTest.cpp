#include <gtest/gtest.h>

#include <string>

#include "objlib/StoreFileFixture.h"
#include "objlib/ios_strtab.h"

namespace {

class IosStrtab : public OneStoreFile {};

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

TEST_F(IosStrtab, TextsGetConsecutiveIdsAndPrivateCopies) {
  struct Case {
    std::string text;
    uint32_t id;
  };
  const Case cases[] = {
      {"abc", 1}, {"abc", 2}, {"", 3}, {std::string(63, 'a'), 4}, {std::string(64, 'b'), 5},
      {std::string(1000, 'c'), 6}, {"TC1V1.6.X", 7},
  };
  for (const Case& c : cases) {
    std::string source = c.text;
    IosHandle handle{};
    ASSERT_EQ(ios_strtab_add(file_, source.c_str(), &handle, nullptr), 0);
    EXPECT_EQ(handle.file_id, file_);
    EXPECT_EQ(handle.object_id, c.id);
    if (!source.empty()) source[0] = '#';
  }
  for (const Case& c : cases) {
    IosString* record = nullptr;
    ASSERT_EQ(ios_get_string(IosHandle{file_, c.id}, &record, nullptr), 0);
    EXPECT_EQ(record->length, c.text.size() + 1) << c.id;
    const char* text = nullptr;
    ASSERT_EQ(ios_string_get_text(IosHandle{file_, c.id}, &text, nullptr), 0);
    EXPECT_EQ(std::string(text), c.text) << c.id;
  }
}

TEST_F(IosStrtab, LookupsOfMissingStringsFail) {
  IosHandle handle{};
  ASSERT_EQ(ios_strtab_add(file_, "x", &handle, nullptr), 0);
  uint32_t otherFile = 0;
  ASSERT_EQ(ios_file_create(&otherFile, nullptr), 0);
  struct Case {
    IosHandle handle;
    IosErrorCode error;
  };
  const Case cases[] = {
      {{file_, 0}, IOS_ERR_NO_STRING},
      {{file_, 2}, IOS_ERR_NO_STRING},
      {{file_, UINT32_MAX}, IOS_ERR_NO_STRING},
      {{otherFile, 1}, IOS_ERR_NO_STRING},  // string ids are per file
      {{otherFile + 1, 1}, IOS_ERR_NO_FILE},
      {{0, 1}, IOS_ERR_NO_FILE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_get_string(c.handle, nullptr, &error), 1);
    EXPECT_EQ(error, c.error) << c.handle.file_id << ":" << c.handle.object_id;
    const char* text = nullptr;
    error = NOT_SET;
    EXPECT_EQ(ios_string_get_text(c.handle, &text, &error), 1);
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(IosStrtab, AddingToAMissingFileFailsWithoutAnId) {
  IosErrorCode error = NOT_SET;
  IosHandle handle{9, 9};
  EXPECT_EQ(ios_strtab_add(file_ + 1, "a", &handle, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_FILE);
  EXPECT_EQ(handle.object_id, 9u);
  error = NOT_SET;
  EXPECT_EQ(ios_strtab_add(file_, nullptr, &handle, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
  ASSERT_EQ(ios_strtab_add(file_, "first", &handle, nullptr), 0);
  EXPECT_EQ(handle.object_id, 1u);
}

TEST_F(IosStrtab, StringsGoWithTheirFile) {
  IosHandle handle{};
  ASSERT_EQ(ios_strtab_add(file_, std::string(200, 'q').c_str(), &handle, nullptr), 0);
  ASSERT_EQ(ios_file_delete(file_, nullptr), 0);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_get_string(handle, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_FILE);
}

}  // namespace
