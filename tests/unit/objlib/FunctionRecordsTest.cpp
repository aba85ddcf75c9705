#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "objlib/DebugInfoFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_function.h"

namespace {

class FunctionRecords : public DebugInfoFile {
 protected:
  IosDebugHandle function() {
    IosDebugHandle made{};
    EXPECT_EQ(ios_function_create(file_, 1, &made, nullptr), 0);
    return made;
  }
  IosDebugHandle lifetime() {
    IosDebugHandle made{};
    EXPECT_EQ(ios_lifetime_create(file_, 1, &made, nullptr), 0);
    return made;
  }
  IosDebugHandle usage() {
    IosDebugHandle made{};
    EXPECT_EQ(ios_stack_usage_create(file_, 1, &made, nullptr), 0);
    return made;
  }
  IosDebugHandle block() {
    IosDebugHandle made{};
    EXPECT_EQ(ios_lexical_block_create(file_, 1, &made, nullptr), 0);
    return made;
  }
  // A new record of the kind the accessor reads.
  IosDebugHandle make(const char* family) {
    std::string name = family;
    if (name.rfind("function", 0) == 0) return function();
    if (name.rfind("lifetime", 0) == 0) return lifetime();
    if (name.rfind("stack_usage", 0) == 0) return usage();
    return block();
  }
  ExprNode* list() {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_operator(context_, &node, EXPR_LIST, 0), 0);
    return node;
  }
  uint32_t flagsOf(IosDebugHandle variable) {
    IosVariable* record = nullptr;
    EXPECT_EQ(ios_get_variable(variable, &record, nullptr), 0);
    return record->flags;
  }
};

enum Rule { ONCE_ALL_ONES, ONCE_ZERO, OVERWRITE };

TEST_F(FunctionRecords, WordFieldsAreWriteOnceByTheirRule) {
  using Get = int (*)(IosDebugHandle, uint32_t*, IosErrorCode*);
  using Set = int (*)(IosDebugHandle, uint32_t, IosErrorCode*);
  struct Case {
    const char* name;
    Get get;
    Set set;
    Rule rule;
  };
  const Case cases[] = {
#define IOS_WORD_CASE(getter, setter, record, member, rule) {#getter, ios_##getter, ios_##setter, rule},
      IOS_FUNCTION_LEVEL_WORDS(IOS_WORD_CASE)
#undef IOS_WORD_CASE
  };
  for (const Case& c : cases) {
    IosDebugHandle record = make(c.name);
    IosErrorCode error = kNoCode;
    uint32_t value = 0;
    // Unset: all-ones words answer without a code, zero words with 2.
    EXPECT_EQ(c.get(record, &value, &error), -1) << c.name;
    EXPECT_EQ(error, c.rule == ONCE_ALL_ONES ? kNoCode : IOS_ERR_NO_PROPERTY) << c.name;
    EXPECT_EQ(c.set(record, 7, nullptr), 0) << c.name;
    error = kNoCode;
    EXPECT_EQ(c.set(record, 7, &error), c.rule == ONCE_ALL_ONES ? 0 : 1) << c.name;
    EXPECT_EQ(error, c.rule == ONCE_ALL_ONES ? kNoCode : IOS_ERR_VALUE_EXISTS) << c.name;
    error = kNoCode;
    EXPECT_EQ(c.set(record, 8, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
    EXPECT_EQ(c.get(record, &value, nullptr), 0) << c.name;
    EXPECT_EQ(value, 7u) << c.name;
  }
}

TEST_F(FunctionRecords, ExpressionFieldsTakeOneReferenceOnce) {
  using Get = int (*)(IosDebugHandle, ExprNode**, IosErrorCode*);
  using Set = int (*)(IosDebugHandle, ExprNode*, IosErrorCode*);
  struct Case {
    const char* name;
    Get get;
    Set set;
    bool listOnly;
  };
  const Case cases[] = {
#define IOS_EXPRESSION_CASE(getter, setter, record, member, list) \
  {#getter, ios_##getter, ios_##setter, list},
      IOS_FUNCTION_LEVEL_EXPRESSIONS(IOS_EXPRESSION_CASE)
#undef IOS_EXPRESSION_CASE
  };
  for (const Case& c : cases) {
    IosDebugHandle record = make(c.name);
    IosErrorCode error = kNoCode;
    ExprNode* held = nullptr;
    EXPECT_EQ(c.get(record, &held, &error), -1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << c.name;
    EXPECT_EQ(c.set(record, nullptr, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_EXPRESSION) << c.name;
    ExprNode* value = integer(3);
    if (c.listOnly) {
      error = kNoCode;
      EXPECT_EQ(c.set(record, value, &error), 1) << c.name;
      EXPECT_EQ(error, IOS_ERR_INTERNAL) << c.name;
      EXPECT_EQ(value->ref_count, 1) << c.name;
    }
    ExprNode* node = c.listOnly ? list() : value;
    EXPECT_EQ(c.set(record, node, nullptr), 0) << c.name;
    EXPECT_EQ(node->ref_count, 2) << c.name;
    error = kNoCode;
    EXPECT_EQ(c.set(record, node, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
    EXPECT_EQ(c.get(record, &held, nullptr), 0) << c.name;
    EXPECT_EQ(held, node) << c.name;
  }
}

TEST_F(FunctionRecords, ClearingReleasesAndAllowsANewStore) {
  IosDebugHandle f = function();
  ExprNode* node = list();
  ASSERT_EQ(ios_function_set_expression_c(f, node, nullptr), 0);
  ASSERT_EQ(ios_function_clear_expression_c(f, nullptr), 0);
  EXPECT_EQ(node->ref_count, 1);
  EXPECT_EQ(ios_function_set_expression_c(f, node, nullptr), 0);
}

TEST_F(FunctionRecords, NamesTypesAndScopesRefuseNoneAndASecondStore) {
  IosDebugHandle f = function();
  IosDebugHandle l = lifetime();
  struct Case {
    const char* name;
    std::function<int(uint32_t id, IosErrorCode*)> set;
    IosErrorCode none;
  };
  const Case cases[] = {
      {"function name", [&](uint32_t id, IosErrorCode* e) { return ios_function_set_name(f, {file_, id}, e); },
       IOS_ERR_NO_STRING},
      {"function type",
       [&](uint32_t id, IosErrorCode* e) { return ios_function_set_type(f, {file_, 1, id}, e); },
       IOS_ERR_NO_TYPE},
      {"lifetime scope",
       [&](uint32_t id, IosErrorCode* e) { return ios_lifetime_set_scope(l, {file_, 1, id}, e); },
       IOS_ERR_NO_SCOPE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.set(0, &error), 1) << c.name;
    EXPECT_EQ(error, c.none) << c.name;
    EXPECT_EQ(c.set(3, nullptr), 0) << c.name;
    error = kNoCode;
    EXPECT_EQ(c.set(3, &error), 1) << c.name;  // even the same value
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
  }
  StringHandle name{};
  ASSERT_EQ(ios_function_get_name(f, &name, nullptr), 0);
  EXPECT_EQ(name.object_id, 3u);
  IosDebugHandle scope{};
  ASSERT_EQ(ios_lifetime_get_scope(l, &scope, nullptr), 0);
  EXPECT_EQ(scope.record_id, 3u);
}

TEST_F(FunctionRecords, MissingRecordsAnswerTheirKindsCode) {
  IosDebugHandle none{file_, 1, 9};
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"function", [&](IosErrorCode* e) { return ios_function_set_field10(none, 1, e); }, 1,
       IOS_ERR_NO_FUNCTION},
      {"lifetime", [&](IosErrorCode* e) { return ios_lifetime_set_field3(none, 1, e); }, 1,
       IOS_ERR_NO_LIFETIME},
      {"stack usage", [&](IosErrorCode* e) { return ios_stack_usage_set_field3(none, 1, e); }, 1,
       IOS_ERR_NO_STACK_USAGE},
      {"lexical block getter",
       [&](IosErrorCode* e) { return ios_lexical_block_get_expression_a(none, nullptr, e); }, 1,
       IOS_ERR_NO_LEXICAL_BLOCK},
      {"lexical block adder",
       [&](IosErrorCode* e) { return ios_lexical_block_add_child(none, nullptr, e); }, 1,
       IOS_ERR_NO_LEXICAL_BLOCK},
      {"lexical block id 0",
       [&](IosErrorCode* e) { return ios_lexical_block_stack_usage_count({file_, 1, 0}, nullptr, e); }, 1,
       IOS_ERR_NO_LEXICAL_BLOCK},
      {"file without debug root",
       [&](IosErrorCode* e) {
         uint32_t other = 0;
         ios_file_create(&other, nullptr);
         return ios_get_function({other, 1, 1}, nullptr, e);
       },
       -1, IOS_ERR_NO_PROPERTY},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.call(&error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
  IosLexicalBlock* found = reinterpret_cast<IosLexicalBlock*>(this);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_find_lexical_block(none, &found, &error), 0);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(error, kNoCode);
}

TEST_F(FunctionRecords, FunctionListsCollectTypesVariablesAndBlocks) {
  IosDebugHandle f = function();
  ASSERT_EQ(ios_function_add_type(f, 130, nullptr), 0);
  ASSERT_EQ(ios_function_add_type(f, 5, nullptr), 0);
  uint32_t count = 0;
  ASSERT_EQ(ios_function_type_count(f, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  TypeHandle type{};
  ASSERT_EQ(ios_function_type_at(f, 1, &type, nullptr), 0);
  EXPECT_EQ(type.type_id, 5u);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_function_type_at(f, 2, &type, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_TYPE);
  error = kNoCode;
  EXPECT_EQ(ios_function_stack_usage_at(f, 0, nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STACK_USAGE);

  IosDebugHandle parameter{}, local{}, other{};
  ASSERT_EQ(ios_function_add_parameter(f, &parameter, nullptr), 0);
  ASSERT_EQ(ios_function_add_variable_a(f, &local, nullptr), 0);
  ASSERT_EQ(ios_function_add_variable_b(f, &other, nullptr), 0);
  EXPECT_EQ(flagsOf(parameter), IOS_VARIABLE_PARAMETER);
  EXPECT_EQ(flagsOf(local), IOS_VARIABLE_LOCAL);
  EXPECT_EQ(flagsOf(other), IOS_VARIABLE_PARAMETER);
  IosFunction* record = nullptr;
  ASSERT_EQ(ios_get_function(f, &record, nullptr), 0);
  EXPECT_EQ(idtab_count(record->parameters), 1u);
  EXPECT_EQ(ios_block_contents_variable_count(record->body), 2u);
  EXPECT_EQ(ios_item_id(idtab_get(record->body->variables, 1)), other.record_id);

  // Blocks share one numbering, made alone or inside a function.
  IosDebugHandle inner{};
  ASSERT_EQ(ios_function_add_block(f, &inner, nullptr), 0);
  EXPECT_EQ(inner.record_id, 1u);
  EXPECT_EQ(block().record_id, 2u);
  EXPECT_EQ(ios_item_id(idtab_get(record->body->children, 0)), 1u);
}

TEST_F(FunctionRecords, BlocksNestAndKeepTheirStackUsage) {
  IosDebugHandle outer = block();
  IosDebugHandle child{}, first{}, second{};
  ASSERT_EQ(ios_lexical_block_add_child(outer, &child, nullptr), 0);
  EXPECT_EQ(child.record_id, 2u);
  ASSERT_EQ(ios_lexical_block_add_stack_usage(child, &first, nullptr), 0);
  ASSERT_EQ(ios_lexical_block_add_stack_usage(child, &second, nullptr), 0);
  uint32_t count = 0;
  ASSERT_EQ(ios_lexical_block_stack_usage_count(child, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  IosDebugHandle at{};
  ASSERT_EQ(ios_lexical_block_stack_usage_at(child, 1, &at, nullptr), 0);
  EXPECT_EQ(at.record_id, second.record_id);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_lexical_block_stack_usage_at(child, 2, &at, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_STACK_USAGE);
  IosDebugHandle variable{};
  ASSERT_EQ(ios_lexical_block_add_variable_a(child, &variable, nullptr), 0);
  EXPECT_EQ(flagsOf(variable), IOS_VARIABLE_LOCAL);
}

TEST_F(FunctionRecords, StackUsageWord3DecidesWhetherWord4IsUnset) {
  IosDebugHandle u = usage();
  ASSERT_EQ(ios_stack_usage_set_field3(u, 5, nullptr), 0);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_stack_usage_set_field4(u, 9, &error), 1);  // word 4 now holds 0
  EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS);
  ASSERT_EQ(ios_stack_usage_set_field3(u, 0, nullptr), 0);
  EXPECT_EQ(ios_stack_usage_set_field4(u, 9, nullptr), 0);
  const uint32_t pair[2] = {1, 2}, again[2] = {3, 4};
  ASSERT_EQ(ios_stack_usage_set_pair8(u, pair, nullptr), 0);
  ASSERT_EQ(ios_stack_usage_set_pair8(u, again, nullptr), 0);
  uint32_t read[2] = {};
  ASSERT_EQ(ios_stack_usage_get_pair8(u, read, nullptr), 0);
  EXPECT_EQ(read[0], 3u);
  EXPECT_EQ(read[1], 4u);
}

TEST_F(FunctionRecords, FirstRecordOfEachTableHasIdOne) {
  EXPECT_EQ(function().record_id, 1u);
  EXPECT_EQ(function().record_id, 2u);
  EXPECT_EQ(lifetime().record_id, 1u);
  EXPECT_EQ(usage().record_id, 1u);
  EXPECT_EQ(block().record_id, 1u);
}

}  // namespace
