#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_asm_section_ops.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_file_access.h"
#include "objlib/ios_group.h"
#include "objlib/ios_strtab.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class AsmSectionOps : public OneStoreFile {
 protected:
  IosDebugHandle module() {
    IosHandle root{};
    EXPECT_EQ(ios_file_get_debug_root(file_, &root, nullptr), 0);
    IosDebugHandle made{};
    EXPECT_EQ(ios_module_create(file_, &made, nullptr), 0);
    return made;
  }
  IosDebugHandle record(const IosDebugHandle& owner) {
    IosDebugHandle made{};
    EXPECT_EQ(ios_asm_section_create(owner, &made, nullptr), 0);
    return made;
  }
};

TEST_F(AsmSectionOps, WalkGivesTheModulesOwnRecordsInIdOrder) {
  IosDebugHandle first = module();
  IosDebugHandle second = module();
  for (const IosDebugHandle& owner : {first, second, first, second, first}) record(owner);
  std::vector<uint32_t> ids;
  for (uint32_t position = 0; position < 3; ++position) {
    IosDebugHandle found{};
    ASSERT_EQ(ios_module_asm_section_walk(first, position, &found, nullptr), 0) << position;
    EXPECT_EQ(found.root_id, first.record_id);
    ids.push_back(found.record_id);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 3}));
  struct Case {
    IosDebugHandle module;
    uint32_t position;
    IosErrorCode error;
  };
  const Case cases[] = {
      {first, 3, IOS_ERR_NO_ASM_SECTION},   // p equal to the count
      {second, 2, IOS_ERR_NO_ASM_SECTION},
      {IosDebugHandle{file_, 1, 9}, 0, IOS_ERR_NO_MODULE},
  };
  for (const Case& c : cases) {
    IosDebugHandle untouched{7, 7, 7};
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_module_asm_section_walk(c.module, c.position, &untouched, &error), 1);
    EXPECT_EQ(error, c.error) << c.position;
    EXPECT_EQ(untouched.record_id, 7u);
  }
}

TEST_F(AsmSectionOps, WordsKindAndRemoval) {
  IosDebugHandle owner = module();
  IosDebugHandle made = record(owner);
  uint32_t value = 5;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_asm_section_get_kind(made, &value, &error), -1);
  EXPECT_EQ(error, NOT_SET);
  EXPECT_EQ(value, 5u);
  ASSERT_EQ(ios_asm_section_set_kind_data(made, nullptr), 0);
  ASSERT_EQ(ios_asm_section_get_kind(made, &value, nullptr), 0);
  EXPECT_EQ(value, uint32_t{IOS_ASM_SECTION_DATA});
  ASSERT_EQ(ios_asm_section_set_word_a(made, 1, nullptr), 0);
  ASSERT_EQ(ios_asm_section_set_word_a(made, 2, nullptr), 0);
  ASSERT_EQ(ios_asm_section_set_word_b(made, 3, nullptr), 0);
  ASSERT_EQ(ios_asm_section_get_word_a(made, &value, nullptr), 0);
  EXPECT_EQ(value, 2u);
  ASSERT_EQ(ios_asm_section_get_word_b(made, &value, nullptr), 0);
  EXPECT_EQ(value, 3u);

  ASSERT_EQ(ios_asm_section_remove(made, nullptr), 0);
  EXPECT_EQ(ios_get_asm_section(made, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_ASM_SECTION);
  error = NOT_SET;
  EXPECT_EQ(ios_asm_section_set_word_a(IosDebugHandle{file_, 8, 1}, 1, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_MODULE);
}

TEST_F(AsmSectionOps, EntryListsTheTextAndBothExpressions) {
  IosDebugHandle made = record(module());
  struct Case {
    const char* text;
  };
  const Case cases[] = {{"main"}, {""}};
  uint32_t index = 0;
  for (const Case& c : cases) {
    IosHandle string{};
    ASSERT_EQ(ios_strtab_add(file_, c.text, &string, nullptr), 0);
    ExprNode* x = integer(4);
    ExprNode* y = integer(8);
    ASSERT_EQ(ios_asm_section_add_entry(made, string, x, y, nullptr), 0);
    EXPECT_EQ(x->ref_count, 2u);
    ExprNode* entry = nullptr;
    ASSERT_EQ(ios_asm_section_entry_at(made, index++, &entry, nullptr), 0);
    EXPECT_EQ(entry->kind, EXPR_LIST);
    const ExprLink* link = entry->payload.operands.head;
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->operand->value_type, uint32_t{EXPR_TYPE_STRING});
    EXPECT_STREQ(link->operand->payload.string->text, c.text);
    ASSERT_NE(link->next, nullptr);
    EXPECT_EQ(link->next->operand, x);
    ASSERT_NE(link->next->next, nullptr);
    EXPECT_EQ(link->next->next->operand, y);
    expr_release(x);
    expr_release(y);
  }
  uint32_t count = 0;
  ASSERT_EQ(ios_asm_section_entry_count(made, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
}

TEST_F(AsmSectionOps, SectionReaderGivesTheRecordsSection) {
  IosDebugHandle owner = module();
  IosHandle section = sectionOfSize(4);
  IosDebugHandle named = record(owner);
  IosDebugHandle unnamed = record(owner);
  ASSERT_EQ(ios_asm_section_set_name(named, section, nullptr), 0);
  struct Case {
    const char* name;
    IosDebugHandle record;
    int status;
    IosErrorCode error;
    IosHandle section;  // the out handle afterwards
  };
  const IosHandle untouched{77, 77};
  const Case cases[] = {
      {"names a section", named, 0, NOT_SET, section},
      {"names none", unnamed, -1, IOS_ERR_NO_PROPERTY, untouched},
      {"no such record", IosDebugHandle{file_, owner.record_id, 9}, 1, IOS_ERR_NO_ASM_SECTION,
       untouched},
      {"no such module", IosDebugHandle{file_, 8, 1}, 1, IOS_ERR_NO_MODULE, untouched},
  };
  for (const Case& c : cases) {
    IosHandle out = untouched;
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_asm_section_get_section(c.record, &out, &error), c.status) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(out.file_id, c.section.file_id) << c.name;
    EXPECT_EQ(out.object_id, c.section.object_id) << c.name;
  }
}

TEST_F(AsmSectionOps, ExpressionReaderGivesTheEntrysTextAsANewStringAndItsOperands) {
  IosDebugHandle made = record(module());
  struct Case {
    const char* text;
    int64_t x, y;
  };
  const Case cases[] = {{"main", 4, 8}, {"", 12, 16}};
  std::vector<ExprNode*> operands;
  for (const Case& c : cases) {
    IosHandle string{};
    ASSERT_EQ(ios_strtab_add(file_, c.text, &string, nullptr), 0);
    operands.push_back(integer(c.x));
    operands.push_back(integer(c.y));
    ASSERT_EQ(ios_asm_section_add_entry(made, string, operands[operands.size() - 2],
                                        operands.back(), nullptr),
              0);
  }
  for (uint32_t index = 0; index < 2; ++index) {
    uint32_t before = 0;
    ASSERT_EQ(ios_strtab_count(file_, &before, nullptr), 0);
    IosHandle string{};
    ExprNode* second = nullptr;
    ExprNode* third = nullptr;
    ASSERT_EQ(ios_asm_section_get_expression(made, index, &string, &second, &third, nullptr), 0);
    // The text is entered anew, after every string the file had.
    EXPECT_EQ(string.file_id, file_);
    EXPECT_EQ(string.object_id, before + 1);
    const char* text = nullptr;
    ASSERT_EQ(ios_string_text_of(string, &text, nullptr), 0);
    EXPECT_STREQ(text, cases[index].text);
    EXPECT_EQ(second, operands[2 * index]);
    EXPECT_EQ(third, operands[2 * index + 1]);
  }
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_asm_section_get_expression(made, 2, nullptr, nullptr, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_EXPRESSION);
  error = NOT_SET;
  EXPECT_EQ(ios_asm_section_get_expression(IosDebugHandle{file_, made.root_id, 5}, 0, nullptr,
                                           nullptr, nullptr, &error),
            1);
  EXPECT_EQ(error, IOS_ERR_NO_ASM_SECTION);
  for (ExprNode* node : operands) expr_release(node);
}

}  // namespace
