#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "objlib/StoreFileFixture.h"
#include "objlib/expr_eval.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"
#include "objlib/objlib_state.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class IosSymbolStore : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ASSERT_EQ(ios_scope_get_global(file_, &global_, nullptr), 0);
    ASSERT_EQ(ios_scope_create(file_, IosHandle{0, 0}, &local_, nullptr), 0);
  }

  IosHandle symbol(IosHandle scope) {
    IosHandle made{};
    EXPECT_EQ(ios_symbol_create_with_slot(file_, scope, ExprSlotRef{0, nullptr}, &made, nullptr), 0);
    return made;
  }

  IosHandle global_{};
  IosHandle local_{};
};

TEST_F(IosSymbolStore, LookupsFailWithTheStoreCodes) {
  IosHandle live = symbol(global_);
  IosHandle deleted = symbol(global_);
  ASSERT_EQ(ios_symbol_set_deleted(deleted, nullptr), 0);
  IosHandle dangling = symbol(global_);
  ASSERT_EQ(ios_symbol_set_alias(dangling, 77, nullptr), 0);
  IosHandle loopA = symbol(global_);
  IosHandle loopB = symbol(global_);
  ASSERT_EQ(ios_symbol_set_alias(loopA, loopB.object_id, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_alias(loopB, loopA.object_id, nullptr), 0);
  struct Case {
    const char* name;
    IosHandle handle;
    IosErrorCode expected;
  };
  const Case cases[] = {
      {"unknown file", {file_ + 3, live.object_id}, IOS_ERR_NO_FILE},
      {"symbol id 0", {file_, 0}, IOS_ERR_NO_SYMBOL},
      {"never made", {file_, 500}, IOS_ERR_NO_SYMBOL},
      {"deleted", deleted, IOS_ERR_DELETED},
      {"alias to nothing", dangling, IOS_ERR_NO_SYMBOL},
      {"alias loop", loopA, IOS_ERR_NO_SYMBOL},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_get_symbol(c.handle, nullptr, &error), 1) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
    error = NOT_SET;
    EXPECT_EQ(ios_symbol_set_size(c.handle, 4, &error), 1) << c.name;
    EXPECT_EQ(error, c.expected) << c.name << " (setter)";
  }
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_get_scope(IosHandle{file_, 42}, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SCOPE);
  error = NOT_SET;
  IosHandle made{};
  EXPECT_EQ(ios_symbol_create_with_slot(file_, IosHandle{file_, 42}, ExprSlotRef{0, nullptr}, &made, &error),
            1);
  EXPECT_EQ(error, IOS_ERR_NO_SCOPE);
}

TEST_F(IosSymbolStore, AliasChainsEndAtTheLastRecord) {
  IosHandle first = symbol(global_);
  IosHandle second = symbol(global_);
  IosHandle third = symbol(global_);
  ASSERT_EQ(ios_symbol_set_alias(first, second.object_id, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_alias(second, third.object_id, nullptr), 0);
  IosSymbol* record = nullptr;
  ASSERT_EQ(ios_get_symbol(first, &record, nullptr), 0);
  EXPECT_EQ(record->symbol_id, third.object_id);
  ASSERT_EQ(ios_symbol_set_deleted(third, nullptr), 0);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_get_symbol(first, &record, &error), 1);
  EXPECT_EQ(error, IOS_ERR_DELETED);
  EXPECT_EQ(record->symbol_id, third.object_id) << "the last record taken is handed out";
}

TEST_F(IosSymbolStore, ScopesKeepTheirMembersInOrder) {
  IosHandle again{};
  ASSERT_EQ(ios_scope_get_global(file_, &again, nullptr), 0);
  EXPECT_EQ(again.object_id, global_.object_id);
  IosHandle second{};
  ASSERT_EQ(ios_scope_create(file_, IosHandle{file_, 0}, &second, nullptr), 0);
  uint32_t count = 0;
  ASSERT_EQ(ios_scope_list_count(file_, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  IosHandle listed{};
  ASSERT_EQ(ios_scope_list_get(1, file_, &listed, nullptr), 0);
  EXPECT_EQ(listed.object_id, second.object_id);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_scope_list_get(2, file_, &listed, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SCOPE);

  IosHandle a = symbol(local_);
  IosHandle b = symbol(global_);
  IosHandle c = symbol(local_);
  EXPECT_EQ(a.object_id, 1u);
  ASSERT_EQ(ios_scope_count_symbols(local_, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  IosHandle member{};
  ASSERT_EQ(ios_scope_get_symbol(local_, 1, &member, nullptr), 0);
  EXPECT_EQ(member.object_id, c.object_id);
  uint32_t binding = 0;
  ASSERT_EQ(ios_symbol_get_binding(b, &binding, nullptr), 0);
  EXPECT_EQ(binding, uint32_t{IOS_SCOPE_GLOBAL});
  ASSERT_EQ(ios_symbol_get_binding(a, &binding, nullptr), 0);
  EXPECT_EQ(binding, uint32_t{IOS_SCOPE_LIST});
}

TEST_F(IosSymbolStore, GlobalScopeHandleIsUnsetUntilMade) {
  uint32_t other = 0;
  ASSERT_EQ(ios_file_create(&other, nullptr), 0);
  IosHandle scope{};
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_scope_get_global_handle(other, &scope, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  ASSERT_EQ(ios_scope_get_global(other, &scope, nullptr), 0);
  IosHandle handle{};
  ASSERT_EQ(ios_scope_get_global_handle(other, &handle, nullptr), 0);
  EXPECT_EQ(handle.object_id, scope.object_id);
}

TEST_F(IosSymbolStore, WriteOnceSettersRefuseASecondValue) {
  IosHandle section{};
  ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
  struct Case {
    const char* name;
    std::function<int(IosHandle, IosErrorCode*)> first;
    std::function<int(IosHandle, IosErrorCode*)> again;  // succeeds
    std::function<int(IosHandle, IosErrorCode*)> other;  // fails with 6
  };
  const IosHandle name{file_, 1};
  const Case cases[] = {
      {"name", [&](IosHandle s, IosErrorCode* e) { return ios_symbol_set_name(s, name, e); },
       nullptr,
       [&](IosHandle s, IosErrorCode* e) { return ios_symbol_set_name(s, IosHandle{file_, 2}, e); }},
      {"section",
       [&](IosHandle s, IosErrorCode* e) { return ios_symbol_set_section(s, section, e); }, nullptr,
       [&](IosHandle s, IosErrorCode* e) { return ios_symbol_set_section(s, section, e); }},
      {"section number",
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_section_number(s, 3, e); },
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_section_number(s, 3, e); },
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_section_number(s, 4, e); }},
      {"mau", [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_mau(s, 8, e); },
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_mau(s, 8, e); },
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_mau(s, 16, e); }},
      {"other", [](IosHandle s, IosErrorCode* e) { return ios_symbol_init_other(s, e); },
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_init_other(s, e); },
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_other(s, 5, e); }},
      {"type keeps three bits",
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_type(s, 9, e); }, nullptr,
       [](IosHandle s, IosErrorCode* e) { return ios_symbol_set_type(s, 2, e); }},
  };
  for (const Case& c : cases) {
    IosHandle target = symbol(global_);
    EXPECT_EQ(c.first(target, nullptr), 0) << c.name;
    if (c.again) {
      EXPECT_EQ(c.again(target, nullptr), 0) << c.name << " again";
    }
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.other(target, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
  }
  IosHandle target = symbol(global_);
  uint32_t type = 0;
  ASSERT_EQ(ios_symbol_set_type(target, 9, nullptr), 0);
  ASSERT_EQ(ios_symbol_get_type(target, &type, nullptr), 0);
  EXPECT_EQ(type, 1u);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_symbol_set_name(target, IosHandle{file_, 0}, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STRING);
  error = NOT_SET;
  EXPECT_EQ(ios_symbol_set_section(target, IosHandle{file_, 0}, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_SECTION);
  IosHandle fresh = symbol(global_);
  error = NOT_SET;
  EXPECT_EQ(ios_symbol_get_type(fresh, &type, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

TEST_F(IosSymbolStore, SectionNumberFallsBackToTheSection) {
  IosHandle section{};
  ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
  IosHandle target = symbol(global_);
  ASSERT_EQ(ios_symbol_set_section(target, section, nullptr), 0);
  uint32_t number = 0;
  EXPECT_EQ(ios_symbol_get_section_number(target, &number, nullptr), -1);
  ASSERT_EQ(ios_section_set_number(section, 9, nullptr), 0);
  ASSERT_EQ(ios_symbol_get_section_number(target, &number, nullptr), 0);
  EXPECT_EQ(number, 9u);
  ASSERT_EQ(ios_symbol_set_section_number(target, 2, nullptr), 0);
  ASSERT_EQ(ios_symbol_get_section_number(target, &number, nullptr), 0);
  EXPECT_EQ(number, 2u);
}

TEST_F(IosSymbolStore, ValueExpressionIsWriteOnceAndFoundBySlot) {
  IosHandle target = symbol(global_);
  ExprNode* value = nullptr;
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_symbol_get_section_expr(target, &value, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  ExprNode* node = nullptr;
  ASSERT_EQ(objexpr_make_integer(context_, &node, 0x100), 0);
  ASSERT_EQ(ios_symbol_set_value_expr(target, node, nullptr), 0);
  error = NOT_SET;
  EXPECT_EQ(ios_symbol_set_value_expr(target, node, &error), 1);
  EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS);
  EXPECT_EQ(node->ref_count, 2);
  expr_release(node);
  ASSERT_EQ(ios_symbol_get_section_expr(target, &value, nullptr), 0);
  EXPECT_EQ(value, node);

  ExprSlotRef slot{};
  ASSERT_EQ(ios_symbol_get_slot(target, &slot, nullptr), 0);
  IosHandle found{};
  ASSERT_EQ(ios_symbol_find_by_slot(file_, slot.index, &found, nullptr), 0);
  EXPECT_EQ(found.object_id, target.object_id);
  error = NOT_SET;
  EXPECT_EQ(ios_symbol_find_by_slot(file_, slot.index + 100, &found, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_EXPRESSION_SYMBOL);
}

// A value held as section + offset answers every reader as the tree of that sum does:
// the value query, an evaluation through a reference to the symbol, and the setters
// that refuse a second value; the pair's tree is made only when a reader asks for it.
TEST_F(IosSymbolStore, SectionOffsetAnswersAsItsSum) {
  struct Case {
    const char* name;
    int64_t sectionAddress;  // -1: none
    uint32_t offset;
    int64_t evaluated;  // -1: the evaluation fails (the section has no address)
  };
  const Case cases[] = {
      {"placed section", 0x1000, 0x24, 0x1024},
      {"offset 0", 0xA0000000, 0, 0xA0000000},
      {"largest offset", 0, 0xFFFFFFFFu, 0xFFFFFFFF},
      {"section without address", -1, 8, -1},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    IosHandle section{};
    ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
    ExprSlotRef address{};
    ASSERT_EQ(ios_section_get_address_slot(section, &address, nullptr), 0);
    if (c.sectionAddress >= 0) {
      ExprNode* value = nullptr;
      ASSERT_EQ(objexpr_make_integer(context_, &value, c.sectionAddress), 0);
      ASSERT_EQ(ios_section_set_address_expr(section, value, nullptr), 0);
      expr_release(value);
    }
    IosHandle label = symbol(global_);
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(ios_symbol_set_section_offset(label, c.offset, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_SECTION) << c.name;
    ASSERT_EQ(ios_symbol_set_section(label, section, nullptr), 0);
    ASSERT_EQ(ios_symbol_set_section_offset(label, c.offset, nullptr), 0) << c.name;
    error = NOT_SET;
    EXPECT_EQ(ios_symbol_set_section_offset(label, c.offset, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
    ExprNode* other = nullptr;
    ASSERT_EQ(objexpr_make_integer(context_, &other, 1), 0);
    error = NOT_SET;
    EXPECT_EQ(ios_symbol_set_value_expr(label, other, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
    expr_release(other);

    uint32_t offset = 0;
    ExprSlotRef base{};
    ASSERT_EQ(ios_symbol_get_section_offset(label, &offset, &base, nullptr), 0) << c.name;
    EXPECT_EQ(offset, c.offset) << c.name;
    EXPECT_EQ(base.index, address.index) << c.name;
    EXPECT_EQ(base.context, address.context) << c.name;
    const uint32_t nodesBefore = expr_live_node_count(context_);

    // The tree a reader gets: the section's address slot + the offset, kept from now on.
    ExprNode* value = nullptr;
    ASSERT_EQ(ios_symbol_get_section_expr(label, &value, nullptr), 0) << c.name;
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->kind, EXPR_ADD) << c.name;
    ASSERT_EQ(expr_operand_count(value), 2u);
    ExprNode* left = expr_operand(value, 0);
    ExprNode* right = expr_operand(value, 1);
    EXPECT_EQ(left->kind, EXPR_SLOT_REF) << c.name;
    EXPECT_EQ(left->payload.slot.index, address.index) << c.name;
    int64_t constant = -1;
    ASSERT_EQ(expr_evaluate_integer(right, &constant), 0);
    EXPECT_EQ(constant, int64_t{c.offset}) << c.name;
    ExprNode* again = nullptr;
    ASSERT_EQ(ios_symbol_get_section_expr(label, &again, nullptr), 0);
    EXPECT_EQ(again, value) << c.name;
    EXPECT_EQ(ios_symbol_get_section_offset(label, &offset, &base, &error), -1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << c.name;
    EXPECT_EQ(expr_live_node_count(context_), nodesBefore + 3) << c.name;
    // An evaluation through a reference to a symbol reads its value from its slot,
    // the tree made above or a pair that no reader has asked for yet.
    IosHandle unread = symbol(global_);
    ASSERT_EQ(ios_symbol_set_section(unread, section, nullptr), 0);
    ASSERT_EQ(ios_symbol_set_section_offset(unread, c.offset, nullptr), 0);
    for (IosHandle held : {label, unread}) {
      ExprSlotRef slot{};
      ASSERT_EQ(ios_symbol_get_slot(held, &slot, nullptr), 0);
      ExprNode* reference = nullptr;
      ASSERT_EQ(objexpr_make_slot_ref(context_, &reference, slot.index, context_), 0);
      int64_t evaluated = -1;
      if (expr_evaluate_integer(reference, &evaluated) != 0) evaluated = -1;
      EXPECT_EQ(evaluated, c.evaluated) << c.name << " symbol " << held.object_id;
      expr_release(reference);
    }

  }
}

// The cost is counted, not timed: each symbol adds one item to five tables (symbols,
// slot map, scope members, expression slots, strings), and growing by doubling copies
// fewer items than twice those added; a table that grew by a fixed step would copy
// billions. The look-ups copy nothing.
TEST_F(IosSymbolStore, HundredThousandSymbolsCostLinearWork) {
  constexpr uint32_t kCount = 100000;
  constexpr uint64_t kItemsAdded = 5 * uint64_t{kCount};
  objlib_state().moved_items = 0;
  for (uint32_t i = 0; i < kCount; ++i) {
    IosHandle made = symbol(i % 2 == 0 ? global_ : local_);
    IosHandle name{};
    std::string text = "s" + std::to_string(i);
    ASSERT_EQ(ios_strtab_add(file_, text.c_str(), &name, nullptr), 0);
    ASSERT_EQ(ios_symbol_set_name(made, name, nullptr), 0);
    ASSERT_EQ(ios_symbol_set_type(made, IOS_SYMBOL_OBJECT, nullptr), 0);
  }
  const uint64_t movedWhileAdding = objlib_state().moved_items;
  EXPECT_LT(movedWhileAdding, 2 * kItemsAdded);
  uint64_t sum = 0;
  for (IosHandle scope : {global_, local_}) {
    uint32_t count = 0;
    ASSERT_EQ(ios_scope_count_symbols(scope, &count, nullptr), 0);
    EXPECT_EQ(count, kCount / 2);
    for (uint32_t i = 0; i < count; ++i) {
      IosHandle member{};
      ASSERT_EQ(ios_scope_get_symbol(scope, i, &member, nullptr), 0);
      ExprSlotRef slot{};
      ASSERT_EQ(ios_symbol_get_slot(member, &slot, nullptr), 0);
      IosHandle back{};
      ASSERT_EQ(ios_symbol_find_by_slot(file_, slot.index, &back, nullptr), 0);
      sum += back.object_id;
    }
  }
  EXPECT_EQ(sum, uint64_t{kCount} * (kCount + 1) / 2);
  EXPECT_EQ(objlib_state().moved_items, movedWhileAdding);
}

}  // namespace
