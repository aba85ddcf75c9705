#include <gtest/gtest.h>

#include <functional>

#include "objlib/DebugInfoFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_lineinfo.h"
#include "objlib/ios_section.h"

namespace {

class ModuleLines : public DebugInfoFile {
 protected:
  void SetUp() override {
    DebugInfoFile::SetUp();
    ASSERT_EQ(ios_module_create(file_, &module_, nullptr), 0);
  }
  IosLineBlockHandle block(uint32_t nameId = 1) {
    IosLineBlockHandle made{};
    EXPECT_EQ(ios_line_block_create(module_, {file_, nameId}, &made, nullptr), 0);
    return made;
  }
  IosDebugHandle module_{};
};

TEST_F(ModuleLines, BlocksAndTheirItemsReadBackInOrder) {
  IosLineBlockHandle first = block(), second = block();
  EXPECT_EQ(first.block_id, 1u);
  EXPECT_EQ(second.block_id, 2u);
  EXPECT_EQ(second.module_id, module_.record_id);
  struct Item {
    int64_t address;
    uint32_t a, b;
    ExprNode* nodes[3];  // of the line, the delta and the special's second expression
  };
  Item items[] = {{0x10, 1, 4, {}}, {0x14, 2, 5, {}}, {0x20, 3, 6, {}}};
  for (Item& item : items) {
    for (ExprNode*& node : item.nodes) node = integer(item.address);
    IosLineItemHandle line{}, delta{}, special{};
    ASSERT_EQ(ios_line_add(second, item.nodes[0], item.a, item.b, &line, nullptr), 0);
    ASSERT_EQ(ios_delta_add(second, item.nodes[1], item.b, item.a, &delta, nullptr), 0);
    ASSERT_EQ(ios_special_add(second, item.nodes[0], item.nodes[2], item.b, &special, nullptr), 0);
    // Each table numbers its items on its own.
    EXPECT_EQ(line.item_id, delta.item_id);
    EXPECT_EQ(line.item_id, special.item_id);
  }
  for (uint32_t id = 1; id <= 3; ++id) {
    const Item& item = items[id - 1];
    IosLineItemHandle handle{file_, 1, module_.record_id, second.block_id, id};
    ExprNode* expression = nullptr;
    ExprNode* expression2 = nullptr;
    uint32_t a = 0, b = 0;
    ASSERT_EQ(ios_get_line(handle, &expression, &a, &b, nullptr), 0);
    EXPECT_EQ(expression, item.nodes[0]);
    EXPECT_EQ(a, item.a);
    EXPECT_EQ(b, item.b);
    ASSERT_EQ(ios_get_delta(handle, &expression, &a, &b, nullptr), 0);
    EXPECT_EQ(expression, item.nodes[1]);
    EXPECT_EQ(a, item.b);
    ASSERT_EQ(ios_get_special(handle, &expression, &expression2, &b, nullptr), 0);
    EXPECT_EQ(expression, item.nodes[0]);
    EXPECT_EQ(expression2, item.nodes[2]);
    EXPECT_EQ(item.nodes[0]->ref_count, 3);
    EXPECT_EQ(b, item.b);
  }
  IosLineItemHandle none{file_, 1, module_.record_id, first.block_id, 1};
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_get_line(none, nullptr, nullptr, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_LINE);
}

TEST_F(ModuleLines, MissingRecordsAnswerTheirKindsCode) {
  IosLineBlockHandle made = block();
  IosLineBlockHandle noBlock{file_, 1, module_.record_id, 7};
  IosLineItemHandle item0{file_, 1, module_.record_id, made.block_id, 0};
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"module", [&](IosErrorCode* e) { return ios_line_block_create({file_, 1, 5}, {file_, 1}, nullptr, e); },
       IOS_ERR_NO_MODULE},
      {"line block of add", [&](IosErrorCode* e) { return ios_line_add(noBlock, nullptr, 0, 0, nullptr, e); },
       IOS_ERR_NO_LINE_BLOCK},
      {"line block of attach", [&](IosErrorCode* e) { return ios_line_block_attach(noBlock, 3, e); },
       IOS_ERR_NO_LINE_BLOCK},
      {"line block of name", [&](IosErrorCode* e) { return ios_line_block_get_name(noBlock, nullptr, e); },
       IOS_ERR_NO_LINE_BLOCK},
      {"line block of section",
       [&](IosErrorCode* e) { return ios_line_block_get_section(noBlock, nullptr, e); },
       IOS_ERR_NO_LINE_BLOCK},
      {"line block 0",
       [&](IosErrorCode* e) { return ios_delta_add({file_, 1, module_.record_id, 0}, nullptr, 0, 0, nullptr, e); },
       IOS_ERR_NO_LINE_BLOCK},
      {"line id 0", [&](IosErrorCode* e) { return ios_get_line(item0, nullptr, nullptr, nullptr, e); },
       IOS_ERR_NO_LINE},
      {"delta id 0", [&](IosErrorCode* e) { return ios_delta_set_field6(item0, 1, e); }, IOS_ERR_NO_DELTA},
      {"special id 0", [&](IosErrorCode* e) { return ios_get_special(item0, nullptr, nullptr, nullptr, e); },
       IOS_ERR_NO_SPECIAL},
      {"special expression of id 0",
       [&](IosErrorCode* e) { return ios_special_set_expression2(item0, nullptr, e); }, IOS_ERR_NO_SPECIAL},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.call(&error), 1) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

TEST_F(ModuleLines, AttachedRecordsAreKeptAsIds) {
  IosLineBlockHandle made = block();
  ASSERT_EQ(ios_line_block_attach(made, 12, nullptr), 0);
  ASSERT_EQ(ios_line_block_attach(made, 4, nullptr), 0);
  IosLineInfo* info = nullptr;
  ASSERT_EQ(ios_module_get_line_info(module_, &info, nullptr), 0);
  auto* record = static_cast<IosLineBlock*>(idtab_get(info->blocks, made.block_id - 1));
  EXPECT_EQ(idtab_count(record->items), 2u);
  EXPECT_EQ(ios_item_id(idtab_get(record->items, 0)), 12u);
  EXPECT_EQ(ios_item_id(idtab_get(record->items, 1)), 4u);
}

TEST_F(ModuleLines, NameAndSectionOfABlock) {
  IosHandle section{};
  ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
  IosLineBlockHandle plain{}, placed{}, dangling{}, nameless{};
  ASSERT_EQ(ios_line_block_create(module_, {file_, 3}, &plain, nullptr), 0);
  ASSERT_EQ(ios_line_block_create_in_section(module_, {file_, 3}, section, &placed, nullptr), 0);
  ASSERT_EQ(ios_line_block_create_in_section(module_, {file_, 3}, {file_, section.object_id + 5},
                                             &dangling, nullptr),
            0);
  ASSERT_EQ(ios_line_block_create(module_, {file_, 0}, &nameless, nullptr), 0);
  struct Case {
    const char* name;
    IosLineBlockHandle block;
    int result;
    IosErrorCode error;
    uint32_t sectionId;
  };
  const Case cases[] = {
      {"no section", plain, -1, IOS_ERR_NO_PROPERTY, 99},
      {"a section", placed, 0, kNoCode, section.object_id},
      {"a section that is gone", dangling, 1, IOS_ERR_NO_SECTION, 0},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    IosHandle out{99, 99};
    EXPECT_EQ(ios_line_block_get_section(c.block, &out, &error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(out.object_id, c.sectionId) << c.name;
  }
  StringHandle name{};
  ASSERT_EQ(ios_line_block_get_name(plain, &name, nullptr), 0);
  EXPECT_EQ(name.object_id, 3u);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_line_block_get_name(nameless, &name, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

TEST_F(ModuleLines, SpecialExpressionIsReplacedWithoutLosingTheNodeItHolds) {
  IosLineBlockHandle made = block();
  ExprNode* first = integer(1);
  IosLineItemHandle special{};
  ASSERT_EQ(ios_special_add(made, nullptr, first, 0, &special, nullptr), 0);
  EXPECT_EQ(first->ref_count, 2);
  ASSERT_EQ(ios_special_set_expression2(special, first, nullptr), 0);
  EXPECT_EQ(first->ref_count, 2);
  ExprNode* second = integer(2);
  ASSERT_EQ(ios_special_set_expression2(special, second, nullptr), 0);
  EXPECT_EQ(first->ref_count, 1);
  EXPECT_EQ(second->ref_count, 2);
  ASSERT_EQ(ios_special_set_field7(special, 44, nullptr), 0);
  uint32_t word = 0;
  ExprNode* held = nullptr;
  ASSERT_EQ(ios_get_special(special, nullptr, &held, &word, nullptr), 0);
  EXPECT_EQ(held, second);
  EXPECT_EQ(word, 44u);
  IosLineItemHandle delta{};
  ASSERT_EQ(ios_delta_add(made, nullptr, 1, 2, &delta, nullptr), 0);
  ASSERT_EQ(ios_delta_set_field6(delta, 9, nullptr), 0);
  uint32_t a = 0;
  ASSERT_EQ(ios_get_delta(delta, nullptr, &a, nullptr, nullptr), 0);
  EXPECT_EQ(a, 9u);
}

}  // namespace
