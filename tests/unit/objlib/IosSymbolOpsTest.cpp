// Symbol operations of the store for the library's clients, on a store file filled
// through the same calls the object writer uses.
#include <gtest/gtest.h>

#include <vector>

#include "StoreFileFixture.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_section.h"
#include "objlib/ios_symbol_ops.h"

namespace {

std::vector<int> events;
int noteEvent(int event) {
  events.push_back(event);
  return 0;
}

class SymbolOps : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ASSERT_EQ(ios_scope_get_global(file_, &scope_, nullptr), 0);
    events.clear();
    previousHook_ = mmi_set_hook(noteEvent);
  }
  void TearDown() override {
    mmi_set_hook(previousHook_);
    OneStoreFile::TearDown();
  }

  uint32_t symbol() {
    IosSymbol record{};
    EXPECT_EQ(ios_symbol_create(file_, scope_.object_id, &record, nullptr), 0);
    EXPECT_EQ(record.file_id, file_);
    return record.symbol_id;
  }
  std::vector<uint32_t> members() {
    uint32_t count = 0;
    ios_scope_count_symbols(scope_, &count, nullptr);
    std::vector<uint32_t> ids;
    for (uint32_t i = 0; i < count; ++i) {
      IosHandle member{};
      ios_scope_get_symbol(scope_, i, &member, nullptr);
      ids.push_back(member.object_id);
    }
    return ids;
  }
  int64_t value(uint32_t id) {
    uint32_t words[2] = {};
    EXPECT_EQ(ios_symbol_get_value64(file_, id, words, nullptr), 0);
    return static_cast<int64_t>((uint64_t{words[1]} << 32) | words[0]);
  }

  IosHandle scope_{};
  IosHookFunction previousHook_ = nullptr;
};

TEST_F(SymbolOps, CreatedSymbolsGetNewIdsAndSlots) {
  uint32_t first = symbol();
  uint32_t second = symbol();
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 2u);
  EXPECT_EQ(members(), (std::vector<uint32_t>{1, 2}));
  ExprSlotRef a{};
  ExprSlotRef b{};
  ios_symbol_get_slot(IosHandle{file_, first}, &a, nullptr);
  ios_symbol_get_slot(IosHandle{file_, second}, &b, nullptr);
  EXPECT_NE(a.index, b.index);
  EXPECT_EQ(a.context, context_);
}

TEST_F(SymbolOps, ValueIsWriteOnceAndSignExtended) {
  uint32_t id = symbol();
  EXPECT_EQ(ios_symbol_set_value64(file_, id, 0xFFFFFFFEu, 0xFFFFFFFFu, nullptr), 0);
  EXPECT_EQ(value(id), -2);
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_symbol_set_value64(file_, id, 5, 0, &error), 1);
  EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS);
  EXPECT_EQ(value(id), -2);
}

TEST_F(SymbolOps, ValueOfAnExpressionIsEvaluatedInPlace) {
  uint32_t id = symbol();
  ExprNode* sum = nullptr;
  ExprNode* a = integer(40);
  ExprNode* b = integer(2);
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, a, b), 0);
  expr_release(a);
  expr_release(b);
  ASSERT_EQ(ios_symbol_set_value_expr(IosHandle{file_, id}, sum, nullptr), 0);
  expr_release(sum);
  EXPECT_EQ(value(id), 42);
  // An expression that does not reduce to a value reads as {0, 0}.
  uint32_t open = symbol();
  ExprNode* reference = nullptr;
  ASSERT_EQ(objexpr_make_slot_ref(context_, &reference, 999, context_), 0);
  ASSERT_EQ(ios_symbol_set_value_expr(IosHandle{file_, open}, reference, nullptr), 0);
  expr_release(reference);
  uint32_t unreduced[2] = {7, 7};
  EXPECT_EQ(ios_symbol_get_value64(file_, open, unreduced, nullptr), 0);
  EXPECT_EQ(unreduced[0], 0u);
  EXPECT_EQ(unreduced[1], 0u);
  uint32_t empty = symbol();
  uint32_t words[2] = {7, 7};
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_symbol_get_value64(file_, empty, words, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

TEST_F(SymbolOps, AnAliasReadsItsTargetAndLeavesItsScope) {
  uint32_t a = symbol();
  uint32_t b = symbol();
  uint32_t c = symbol();
  ASSERT_EQ(ios_symbol_set_value64(file_, b, 1234, 0, nullptr), 0);
  ASSERT_EQ(ios_symbol_make_alias(file_, 0, file_, a, file_, b, nullptr), 0);
  EXPECT_EQ(value(a), 1234);
  EXPECT_EQ(members(), (std::vector<uint32_t>{b, c}));
  IosHandle resolved{};
  EXPECT_EQ(ios_symbol_resolve(file_, a, &resolved, nullptr), 0);
  EXPECT_EQ(resolved.object_id, b);
  // An alias of an alias answers for the end of the chain.
  ASSERT_EQ(ios_symbol_make_alias(file_, 0, file_, c, file_, a, nullptr), 0);
  EXPECT_EQ(ios_symbol_resolve(file_, c, &resolved, nullptr), 0);
  EXPECT_EQ(resolved.object_id, b);
  EXPECT_EQ(value(c), 1234);
  // A deleted end of the chain gives 4 everywhere.
  ASSERT_EQ(ios_symbol_delete(file_, b, nullptr), 0);
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_symbol_resolve(file_, c, &resolved, &error), 1);
  EXPECT_EQ(error, IOS_ERR_DELETED);
  EXPECT_EQ(resolved.object_id, 0u);
  EXPECT_TRUE(members().empty());
  EXPECT_TRUE(events.empty());
}

TEST_F(SymbolOps, AliasingASymbolToItselfIsRefused) {
  uint32_t a = symbol();
  uint32_t b = symbol();
  ASSERT_EQ(ios_symbol_make_alias(file_, 0, file_, b, file_, a, nullptr), 0);
  struct Case {
    const char* what;
    uint32_t from;
    uint32_t to;
  };
  const Case cases[] = {{"itself", a, a}, {"its own alias", a, b}};
  for (const Case& c : cases) {
    events.clear();
    IosErrorCode error = IOS_ERR_NO_MEMORY;
    EXPECT_EQ(ios_symbol_make_alias(file_, 0, file_, c.from, file_, c.to, &error), 1) << c.what;
    EXPECT_EQ(error, IOS_ERR_INTERNAL) << c.what;
    EXPECT_EQ(events, std::vector<int>{1}) << c.what;
    IosHandle resolved{};
    EXPECT_EQ(ios_symbol_resolve(file_, c.from, &resolved, nullptr), 0) << c.what;
    EXPECT_EQ(resolved.object_id, a) << c.what;
  }
  EXPECT_EQ(members(), std::vector<uint32_t>{a});
}

TEST_F(SymbolOps, FailuresReportTheirCodeAndChangeNothing) {
  uint32_t live = symbol();
  uint32_t gone = symbol();
  ASSERT_EQ(ios_symbol_delete(file_, gone, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_value64(file_, live, 9, 0, nullptr), 0);
  uint32_t missing = 99;
  uint32_t noFile = 77;
  struct Case {
    const char* what;
    int (*call)(uint32_t file, uint32_t live, uint32_t gone, uint32_t missing, IosErrorCode* e);
    uint32_t file;
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"create in a missing scope",
       [](uint32_t f, uint32_t, uint32_t, uint32_t m, IosErrorCode* e) {
         IosSymbol r{};
         return ios_symbol_create(f, m, &r, e);
       },
       file_, 1, IOS_ERR_NO_SCOPE},
      {"create in a missing file",
       [](uint32_t f, uint32_t, uint32_t, uint32_t, IosErrorCode* e) {
         IosSymbol r{};
         return ios_symbol_create(f, 1, &r, e);
       },
       noFile, 1, IOS_ERR_NO_FILE},
      {"alias of a missing symbol",
       [](uint32_t f, uint32_t l, uint32_t, uint32_t m, IosErrorCode* e) {
         return ios_symbol_make_alias(f, 0, f, m, f, l, e);
       },
       file_, 1, IOS_ERR_NO_SYMBOL},
      {"alias to a deleted symbol",
       [](uint32_t f, uint32_t l, uint32_t g, uint32_t, IosErrorCode* e) {
         return ios_symbol_make_alias(f, 0, f, l, f, g, e);
       },
       file_, 1, IOS_ERR_INTERNAL},
      {"alias in a missing file",
       [](uint32_t f, uint32_t l, uint32_t, uint32_t, IosErrorCode* e) {
         return ios_symbol_make_alias(f, 0, 1, l, 1, l, e);
       },
       noFile, 1, IOS_ERR_NO_FILE},
      {"delete a deleted symbol",
       [](uint32_t f, uint32_t, uint32_t g, uint32_t, IosErrorCode* e) {
         return ios_symbol_delete(f, g, e);
       },
       file_, 1, IOS_ERR_DELETED},
      {"value twice",
       [](uint32_t f, uint32_t l, uint32_t, uint32_t, IosErrorCode* e) {
         return ios_symbol_set_value64(f, l, 1, 0, e);
       },
       file_, 1, IOS_ERR_VALUE_EXISTS},
      {"value of a missing symbol",
       [](uint32_t f, uint32_t, uint32_t, uint32_t m, IosErrorCode* e) {
         return ios_symbol_set_value64(f, m, 1, 0, e);
       },
       file_, 1, IOS_ERR_NO_SYMBOL},
      {"second value of a deleted symbol",
       [](uint32_t f, uint32_t, uint32_t g, uint32_t, IosErrorCode* e) {
         return ios_symbol_set_second_value(0, f, g, 1, e);
       },
       file_, 1, IOS_ERR_DELETED},
      {"name without a string",
       [](uint32_t f, uint32_t l, uint32_t, uint32_t, IosErrorCode* e) {
         return ios_symbol_set_name_handle(f, l, f, 0, e);
       },
       file_, 1, IOS_ERR_NO_STRING},
      {"scope of a missing symbol",
       [](uint32_t f, uint32_t, uint32_t, uint32_t m, IosErrorCode* e) {
         IosHandle s{};
         return ios_symbol_get_scope(f, m, &s, e);
       },
       file_, 1, IOS_ERR_NO_SYMBOL},
      {"kind of a missing scope",
       [](uint32_t f, uint32_t, uint32_t, uint32_t m, IosErrorCode* e) {
         uint32_t k = 0;
         return ios_scope_get_kind(f, m, &k, e);
       },
       file_, 1, IOS_ERR_NO_SCOPE},
      {"root scope before one is made",
       [](uint32_t f, uint32_t, uint32_t, uint32_t, IosErrorCode* e) {
         IosHandle s{};
         return ios_get_root_scope(f, &s, e);
       },
       file_, -1, IOS_ERR_NO_PROPERTY},
      {"section that does not exist",
       [](uint32_t f, uint32_t, uint32_t, uint32_t m, IosErrorCode* e) {
         IosHandle s{};
         return ios_section_resolve(f, m, &s, e);
       },
       file_, 1, IOS_ERR_NO_SECTION},
      {"symbol admin of a missing file",
       [](uint32_t f, uint32_t, uint32_t, uint32_t, IosErrorCode* e) {
         IosSymbolAdmin* a = nullptr;
         return ios_file_get_symbol_admin(f, &a, e);
       },
       noFile, 1, IOS_ERR_NO_FILE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = IOS_ERR_NO_MEMORY;
    EXPECT_EQ(c.call(c.file, live, gone, missing, &error), c.result) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_EQ(members(), std::vector<uint32_t>{live}) << c.what;
    EXPECT_EQ(value(live), 9) << c.what;
    uint32_t count = 0;
    ios_file_count_symbols(file_, &count, nullptr);
    EXPECT_EQ(count, 2u) << c.what;
  }
}

TEST_F(SymbolOps, NumbersAndTheirUnsetValues) {
  uint32_t id = symbol();
  uint32_t number = 5;
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_symbol_get_second_number(file_, id, &number, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_MEMORY);  // no code for an unset number
  EXPECT_EQ(ios_symbol_get_fourth_number(file_, id, &number, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_MEMORY);
  ASSERT_EQ(ios_symbol_set_other(IosHandle{file_, id}, 17, nullptr), 0);
  EXPECT_EQ(ios_symbol_get_second_number(file_, id, &number, nullptr), 0);
  EXPECT_EQ(number, 17u);
  ASSERT_EQ(ios_symbol_set_size(IosHandle{file_, id}, 64, nullptr), 0);
  EXPECT_EQ(ios_symbol_get_third_number(file_, id, &number, nullptr), 0);
  EXPECT_EQ(number, 64u);
  ASSERT_EQ(ios_symbol_set_info_byte(IosHandle{file_, id}, 0x12, nullptr), 0);
  EXPECT_EQ(ios_symbol_get_attribute(file_, id, &number, nullptr), 0);
  EXPECT_EQ(number, 0x12u);
  EXPECT_EQ(ios_symbol_set_number(file_, id, 3, nullptr), 0);
  EXPECT_EQ(ios_symbol_set_number(file_, id, 4, nullptr), 0);  // no write-once test
  ASSERT_EQ(ios_symbol_get_section_number(IosHandle{file_, id}, &number, nullptr), 0);
  EXPECT_EQ(number, 4u);
  EXPECT_EQ(ios_symbol_set_name_handle(file_, id, file_, 3, nullptr), 0);
  EXPECT_EQ(ios_symbol_set_name_handle(file_, id, file_, 4, nullptr), 0);
  IosHandle name{};
  ios_symbol_get_name(IosHandle{file_, id}, &name, nullptr);
  EXPECT_EQ(name.object_id, 4u);
  IosHandle scope{};
  EXPECT_EQ(ios_symbol_get_scope(file_, id, &scope, nullptr), 0);
  EXPECT_EQ(scope.object_id, scope_.object_id);
}

TEST_F(SymbolOps, SecondValueOnlyWithASecondSlot) {
  uint32_t id = symbol();
  EXPECT_EQ(ios_symbol_set_second_value(0, file_, id, -3, nullptr), 0);  // no slot: nothing
  ExprSlotRef second{};
  ASSERT_EQ(ios_entry_array_push(context_, &second, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_second_slot(IosHandle{file_, id}, second, nullptr), 0);
  EXPECT_EQ(ios_symbol_set_second_value(0, file_, id, -3, nullptr), 0);
  EXPECT_EQ(ios_symbol_set_second_value(0, file_, id, -4, nullptr), 0);  // overwrites
  ExprNode* held = context_->slots.entries[second.index].expr;
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->width, 32);
  EXPECT_EQ(held->value_type, EXPR_TYPE_SIGNED);
  EXPECT_EQ(expr_value_bytes(held)[0], 0xFC);
  EXPECT_EQ(expr_value_bytes(held)[7], 0xFF);
}

TEST_F(SymbolOps, RootScopeIsMadeOnce) {
  IosHandle first{};
  ASSERT_EQ(ios_create_root_scope(file_, &first, nullptr), 0);
  IosHandle second{};
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_create_root_scope(file_, &second, &error), 1);
  EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS);
  EXPECT_NE(second.object_id, first.object_id);
  IosHandle root{};
  ASSERT_EQ(ios_get_root_scope(file_, &root, nullptr), 0);
  EXPECT_EQ(root.object_id, first.object_id);
  uint32_t kind = 0;
  EXPECT_EQ(ios_scope_get_kind(file_, second.object_id, &kind, nullptr), 0);
  EXPECT_EQ(kind, 1u);
  EXPECT_EQ(ios_scope_get_kind(file_, scope_.object_id, &kind, nullptr), 0);
  EXPECT_EQ(kind, 2u);
}

TEST_F(SymbolOps, FileLevelGetters) {
  IosSymbolAdmin* admin = nullptr;
  ASSERT_EQ(ios_file_get_symbol_admin(file_, &admin, nullptr), 0);
  EXPECT_NE(admin, nullptr);
  ExprLibContext* context = nullptr;
  IosErrorCode error = IOS_ERR_NO_MEMORY;
  EXPECT_EQ(ios_file_get_expr_context_of(file_, &context, &error), 0);
  EXPECT_EQ(context, context_);
  EXPECT_EQ(error, IOS_ERR_NO_MEMORY);
  EXPECT_EQ(ios_file_get_symbol_log_flag(file_, nullptr), 0u);
  EXPECT_EQ(ios_file_get_symbol_log_flag(4242, nullptr), 0u);
  IdTable* log = nullptr;
  EXPECT_EQ(ios_file_get_symbol_log(file_, &log, nullptr), 0);
  EXPECT_NE(log, nullptr);
}

}  // namespace

namespace {

TEST_F(SymbolOps, WideValuesReportBitsBeyondSixtyFourInTheContext) {
  uint32_t wideFile = 0;
  ASSERT_EQ(ios_file_create_sized(12, &wideFile, nullptr), 0);
  IosHandle global{};
  ASSERT_EQ(ios_scope_get_global(wideFile, &global, nullptr), 0);
  IosSymbol record{};
  ASSERT_EQ(ios_symbol_create(wideFile, global.object_id, &record, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_value64(wideFile, record.symbol_id, 1, 0x80000000u, nullptr), 0);
  ExprNode* held = nullptr;
  ASSERT_EQ(ios_symbol_get_section_expr(IosHandle{wideFile, record.symbol_id}, &held, nullptr), 0);
  EXPECT_EQ(expr_value_bytes(held)[11], 0xFF);  // sign-extended past 64 bits
  ExprLibContext* wide = held->context;
  wide->error = 0;
  uint32_t words[2] = {};
  EXPECT_EQ(ios_symbol_get_value64(wideFile, record.symbol_id, words, nullptr), 0);
  EXPECT_EQ(wide->error, 0u);
  expr_value_bytes(held)[9] = 0x00;
  EXPECT_EQ(ios_symbol_get_value64(wideFile, record.symbol_id, words, nullptr), 0);
  EXPECT_EQ(words[0], 1u);
  EXPECT_EQ(words[1], 0x80000000u);
  EXPECT_EQ(wide->error, 2u);
}

}  // namespace
