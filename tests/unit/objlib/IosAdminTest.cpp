#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_strtab.h"

namespace {

// Each test starts from a process without an admin, as a fresh run does.
class IosStore : public ::testing::Test {
 protected:
  void SetUp() override { ios_admin_release(); }
  void TearDown() override { ios_admin_release(); }

  uint32_t createFile() {
    uint32_t id = 0;
    EXPECT_EQ(ios_file_create(&id, nullptr), 0);
    return id;
  }
};

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

TEST_F(IosStore, EveryOperationFailsWithNoAdminBeforeInit) {
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
  };
  uint32_t id = 0;
  IosFile* file = nullptr;
  ExprLibContext* context = nullptr;
  IosHandle handle{};
  const char* text = nullptr;
  const Case cases[] = {
      {"create", [&](IosErrorCode* e) { return ios_file_create(&id, e); }},
      {"create_sized", [&](IosErrorCode* e) { return ios_file_create_sized(4, &id, e); }},
      {"delete", [&](IosErrorCode* e) { return ios_file_delete(1, e); }},
      {"get_file", [&](IosErrorCode* e) { return ios_get_file(1, &file, e); }},
      {"expr_context", [&](IosErrorCode* e) { return ios_file_get_expr_context(1, &context, e); }},
      {"strtab_add", [&](IosErrorCode* e) { return ios_strtab_add(1, "a", &handle, e); }},
      {"get_string", [&](IosErrorCode* e) { return ios_get_string({1, 1}, nullptr, e); }},
      {"string_text", [&](IosErrorCode* e) { return ios_string_get_text({1, 1}, &text, e); }},
      {"set_tool_name", [&](IosErrorCode* e) { return ios_file_set_tool_name(1, {1, 1}, e); }},
      {"get_tool_name", [&](IosErrorCode* e) { return ios_file_get_tool_name(1, &handle, e); }},
      {"set_mau_size", [&](IosErrorCode* e) { return ios_file_set_mau_size(1, 8, e); }},
      {"set_misrac", [&](IosErrorCode* e) { return ios_file_set_misrac_text(1, "M", e); }},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.call(&error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_ADMIN) << c.name;
    EXPECT_EQ(c.call(nullptr), 1) << c.name << " without an error pointer";
  }
}

TEST_F(IosStore, FileIdsCountUpAndAreNeverReused) {
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  EXPECT_EQ(createFile(), 1u);
  EXPECT_EQ(createFile(), 2u);
  ASSERT_EQ(ios_file_delete(1, nullptr), 0);
  EXPECT_EQ(createFile(), 3u);

  struct Case {
    uint32_t id;
    int status;
    IosErrorCode error;
  };
  const Case cases[] = {
      {0, 1, IOS_ERR_NO_FILE}, {1, 1, IOS_ERR_NO_FILE}, {2, 0, NOT_SET},
      {3, 0, NOT_SET},         {4, 1, IOS_ERR_NO_FILE}, {UINT32_MAX, 1, IOS_ERR_NO_FILE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    IosFile* file = nullptr;
    EXPECT_EQ(ios_get_file(c.id, &file, &error), c.status) << c.id;
    EXPECT_EQ(error, c.error) << c.id;
    if (c.status == 0) {
      EXPECT_EQ(file->file_id, c.id);
    }
  }
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_file_delete(1, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_FILE);
}

TEST_F(IosStore, SecondInitKeepsTheFiles) {
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  uint32_t id = createFile();
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  EXPECT_EQ(ios_get_file(id, nullptr, nullptr), 0);
  EXPECT_EQ(createFile(), id + 1);
}

TEST_F(IosStore, ReleaseDeletesEveryFileAndStartsIdsAgain) {
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  uint32_t first = createFile();
  createFile();
  IosHandle string{};
  ASSERT_EQ(ios_strtab_add(first, "kept until release", &string, nullptr), 0);
  ios_admin_release();
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_get_file(first, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_ADMIN);
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  EXPECT_EQ(createFile(), 1u);
}

TEST_F(IosStore, ExpressionContextHasTheFilesIntegerWidth) {
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  struct Case {
    uint32_t requested;
    uint32_t width;
  };
  const Case cases[] = {{0, 8}, {8, 8}, {4, 4}, {12, 12}, {64, 64}};
  ExprLibContext* previous = nullptr;
  for (const Case& c : cases) {
    uint32_t id = 0;
    ASSERT_EQ(ios_file_create_sized(c.requested, &id, nullptr), 0) << c.requested;
    ExprLibContext* context = nullptr;
    ASSERT_EQ(ios_file_get_expr_context(id, &context, nullptr), 0);
    ASSERT_NE(context, nullptr);
    EXPECT_NE(context, previous);
    EXPECT_EQ(context->int_width, c.width) << c.requested;
    previous = context;
  }
  ExprLibContext* context = nullptr;
  ASSERT_EQ(ios_file_get_expr_context(createFile(), &context, nullptr), 0);
  EXPECT_EQ(context->int_width, 8u);
}

TEST_F(IosStore, FailedCreationLeavesNoFileBehind) {
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  uint32_t id = 77;
  IosErrorCode error = NOT_SET;
  // An integer width beyond what the context takes makes the creation fail part way.
  EXPECT_EQ(ios_file_create_sized(EXPR_LARGEST_INT_WIDTH + 1, &id, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_MEMORY);
  EXPECT_EQ(id, 77u);
  EXPECT_EQ(ios_get_file(1, nullptr, nullptr), 1);
  EXPECT_EQ(createFile(), 1u);
}

TEST_F(IosStore, StringPropertiesRefuseStringIdZeroAndReadBackWhenSet) {
  using Setter = int (*)(uint32_t, IosHandle, IosErrorCode*);
  using Getter = int (*)(uint32_t, IosHandle*, IosErrorCode*);
  struct Case {
    const char* name;
    Setter set;
    Getter get;
  };
  const Case cases[] = {
      {"string3", ios_file_set_string3, ios_file_get_string3},
      {"tool_name", ios_file_set_tool_name, ios_file_get_tool_name},
      {"tool_version", ios_file_set_tool_version, ios_file_get_tool_version},
      {"tool_invocation", ios_file_set_tool_invocation, ios_file_get_tool_invocation},
      {"compiler_name", ios_file_set_compiler_name, ios_file_get_compiler_name},
      {"compiler_version", ios_file_set_compiler_version, ios_file_get_compiler_version},
      {"compiler_invocation", ios_file_set_compiler_invocation,
       ios_file_get_compiler_invocation},
  };
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  uint32_t id = createFile();
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    IosHandle read{};
    EXPECT_EQ(c.get(id, &read, &error), -1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << c.name;

    error = NOT_SET;
    EXPECT_EQ(c.set(id, IosHandle{id, 0}, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_STRING) << c.name;
    EXPECT_EQ(c.get(id, &read, nullptr), -1) << c.name << " stays unset";

    // The string itself is not looked up, so any id above 0 is taken.
    EXPECT_EQ(c.set(id, IosHandle{id, 5}, nullptr), 0) << c.name;
    EXPECT_EQ(c.set(id, IosHandle{id, 6}, nullptr), 0) << c.name << " overwrites";
    error = NOT_SET;
    EXPECT_EQ(c.get(id, &read, &error), 0) << c.name;
    EXPECT_EQ(error, NOT_SET) << c.name;
    EXPECT_EQ(read.file_id, id);
    EXPECT_EQ(read.object_id, 6u) << c.name;

    EXPECT_EQ(c.get(id + 1, &read, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_FILE) << c.name;
  }
}

TEST_F(IosStore, IndexedStringSettersFillTheirOwnProperty) {
  using Setter = int (*)(uint32_t, IosHandle, IosErrorCode*);
  const Setter setters[IOS_FILE_STRING_COUNT] = {
      ios_file_set_string1, ios_file_set_string2, ios_file_set_string3,
      ios_file_set_string4, ios_file_set_string5, ios_file_set_string6,
      ios_file_set_string7, ios_file_set_string8, ios_file_set_string9,
  };
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  uint32_t id = createFile();
  for (uint32_t i = 0; i < IOS_FILE_STRING_COUNT; ++i) {
    ASSERT_EQ(setters[i](id, IosHandle{id, 10 + i}, nullptr), 0) << i + 1;
  }
  ASSERT_EQ(ios_file_set_version_string(id, IosHandle{id, 30}, nullptr), 0);
  IosFile* file = nullptr;
  ASSERT_EQ(ios_get_file(id, &file, nullptr), 0);
  for (uint32_t i = 0; i < IOS_FILE_STRING_COUNT; ++i) {
    EXPECT_EQ(file->strings[i].object_id, 10 + i) << i + 1;
  }
  EXPECT_EQ(file->version_string.object_id, 30u);
}

TEST_F(IosStore, WordSettersStoreTheirValues) {
  struct Case {
    const char* name;
    std::function<int(uint32_t)> set;
    uint32_t IosFile::*word;
    uint32_t expected;
  };
  const Case cases[] = {
      {"mau_size", [](uint32_t id) { return ios_file_set_mau_size(id, 8, nullptr); },
       &IosFile::mau_size, 8},
      {"aux_word", [](uint32_t id) { return ios_file_set_aux_word(id, 32, nullptr); },
       &IosFile::aux_word, 32},
      {"byte_order", [](uint32_t id) { return ios_file_set_byte_order(id, 7, nullptr); },
       &IosFile::byte_order, 7},
      {"little", [](uint32_t id) { return ios_file_set_little_endian(id, nullptr); },
       &IosFile::byte_order, IOS_BYTE_ORDER_LITTLE},
      {"big", [](uint32_t id) { return ios_file_set_big_endian(id, nullptr); },
       &IosFile::byte_order, IOS_BYTE_ORDER_BIG},
      {"kind_word", [](uint32_t id) { return ios_file_set_kind_word(id, nullptr); },
       &IosFile::kind_word, 3},
      {"kind", [](uint32_t id) { return ios_file_set_kind(id, 4, nullptr); },
       &IosFile::kind_word, 4},
      {"flag_one", [](uint32_t id) { return ios_file_set_flag_one(id, nullptr); },
       &IosFile::mode_word, IOS_MODE_ABSOLUTE},
      {"flag_two", [](uint32_t id) { return ios_file_set_flag_two(id, nullptr); },
       &IosFile::mode_word, IOS_MODE_RELOCATABLE},
      {"mode_word", [](uint32_t id) { return ios_file_set_mode_word(id, 9, nullptr); },
       &IosFile::mode_word, 9},
  };
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  for (const Case& c : cases) {
    uint32_t id = createFile();
    IosFile* file = nullptr;
    ASSERT_EQ(ios_get_file(id, &file, nullptr), 0);
    EXPECT_EQ(file->*c.word, 0u) << c.name;
    EXPECT_EQ(c.set(id), 0) << c.name;
    EXPECT_EQ(file->*c.word, c.expected) << c.name;
    EXPECT_EQ(c.set(id + 1), 1) << c.name << " on a missing file";
  }
}

TEST_F(IosStore, MisracTextIsCopiedReplacedAndCleared) {
  ASSERT_EQ(ios_admin_init(nullptr), 0);
  uint32_t id = createFile();
  const char* stored = nullptr;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_file_get_misrac_text(id, &stored, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);

  std::string source = "M0123";
  ASSERT_EQ(ios_file_set_misrac_text(id, source.c_str(), nullptr), 0);
  source[1] = 'X';  // the store keeps its own copy
  ASSERT_EQ(ios_file_get_misrac_text(id, &stored, nullptr), 0);
  EXPECT_STREQ(stored, "M0123");

  std::string longText(100, 'z');
  ASSERT_EQ(ios_file_set_misrac_text(id, longText.c_str(), nullptr), 0);
  ASSERT_EQ(ios_file_get_misrac_text(id, &stored, nullptr), 0);
  EXPECT_EQ(std::string(stored), longText);

  error = NOT_SET;
  EXPECT_EQ(ios_file_set_misrac_text(id, "", &error), 1);
  EXPECT_EQ(error, IOS_ERR_INVALID_MISRAC);
  ASSERT_EQ(ios_file_get_misrac_text(id, &stored, nullptr), 0);
  EXPECT_EQ(std::string(stored), longText);

  EXPECT_EQ(ios_file_set_misrac_text(id, nullptr, nullptr), 0);
  EXPECT_EQ(ios_file_get_misrac_text(id, &stored, nullptr), -1);
  // A file deleted with a text still set gives it back (checked by the leak checker).
  ASSERT_EQ(ios_file_set_misrac_text(id, "abc", nullptr), 0);
  EXPECT_EQ(ios_file_delete(id, nullptr), 0);
}

TEST(IosByteOrderText, NamesEachOrderInEachLetterCase) {
  struct Case {
    uint32_t order;
    uint32_t letterCase;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, "unknown"}, {1, 0, "little"}, {2, 0, "big"},    {0, 1, "UNKNOWN"},
      {1, 1, "LITTLE"},  {2, 1, "BIG"},    {0, 2, "Unknown"}, {1, 2, "Little"},
      {2, 2, "Big"},     {2, 7, "big"},    {3, 1, "UNKNOWN"}, {UINT32_MAX, 0, "unknown"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(ios_byte_order_text(c.order, c.letterCase), c.text)
        << c.order << "," << c.letterCase;
  }
}

}  // namespace
