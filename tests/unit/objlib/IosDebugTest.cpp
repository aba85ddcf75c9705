#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class IosDebugStore : public OneStoreFile {
 protected:
  IosDebugHandle module() {
    IosHandle root{};
    EXPECT_EQ(ios_file_get_debug_root(file_, &root, nullptr), 0);
    IosDebugHandle made{};
    EXPECT_EQ(ios_module_create(file_, &made, nullptr), 0);
    return made;
  }
};

TEST_F(IosDebugStore, RootIsMadeOnceAndFamiliesNeedIt) {
  IosDebugFamily* family = nullptr;
  using Getter = int (*)(uint32_t, IosDebugFamily**, IosErrorCode*);
  const Getter getters[] = {ios_debug_get_typetables, ios_debug_get_modules,
                            ios_get_variable_admin};
  for (Getter get : getters) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(get(file_, &family, &error), -1);
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  }
  IosErrorCode error = NOT_SET;
  IosDebugHandle made{};
  EXPECT_EQ(ios_module_create(file_, &made, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
  IosHandle first{}, second{};
  ASSERT_EQ(ios_file_get_debug_root(file_, &first, nullptr), 0);
  ASSERT_EQ(ios_file_get_debug_root(file_, &second, nullptr), 0);
  EXPECT_EQ(first.object_id, 1u);
  EXPECT_EQ(second.object_id, first.object_id);
  for (Getter get : getters) EXPECT_EQ(get(file_, &family, nullptr), 0);
}

TEST_F(IosDebugStore, LookupsFailWithTheirFamilysCode) {
  module();
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    IosErrorCode expected;
  };
  const Case cases[] = {
      {"type table", [&](IosErrorCode* e) { return ios_get_typetable({file_, 1, 9}, nullptr, e); },
       IOS_ERR_NO_TYPETABLE},
      {"module", [&](IosErrorCode* e) { return ios_get_module({file_, 1, 9}, nullptr, e); },
       IOS_ERR_NO_MODULE},
      {"module id 0", [&](IosErrorCode* e) { return ios_get_module({file_, 1, 0}, nullptr, e); },
       IOS_ERR_NO_MODULE},
      {"variable", [&](IosErrorCode* e) { return ios_get_variable({file_, 1, 9}, nullptr, e); },
       IOS_ERR_NO_VARIABLE},
      {"add variable to no module",
       [&](IosErrorCode* e) { return ios_module_add_variable({file_, 1, 9}, nullptr, e); },
       IOS_ERR_NO_MODULE},
      {"unknown file", [&](IosErrorCode* e) { return ios_get_module({file_ + 1, 1, 1}, nullptr, e); },
       IOS_ERR_NO_FILE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.call(&error), 1) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
  }
}

TEST_F(IosDebugStore, WriteOnceRecordsKeepTheFirstValue) {
  IosDebugHandle owner = module();
  IosDebugHandle variable{};
  ASSERT_EQ(ios_module_add_variable(owner, &variable, nullptr), 0);
  ExprNode* node = nullptr;
  ASSERT_EQ(objexpr_make_integer(context_, &node, 4), 0);
  ExprNode* list = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 0), 0);
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> first;
    std::function<int(IosErrorCode*)> other;
    IosErrorCode expected;
  };
  const Case cases[] = {
      {"module name", [&](IosErrorCode* e) { return ios_module_set_name(owner, {file_, 1}, e); },
       [&](IosErrorCode* e) { return ios_module_set_name(owner, {file_, 2}, e); },
       IOS_ERR_VALUE_EXISTS},
      {"variable name", [&](IosErrorCode* e) { return ios_variable_set_name(variable, {file_, 1}, e); },
       [&](IosErrorCode* e) { return ios_variable_set_name(variable, {file_, 2}, e); },
       IOS_ERR_VALUE_EXISTS},
      {"kind 16 then 32", [&](IosErrorCode* e) { return ios_variable_set_kind16(variable, e); },
       [&](IosErrorCode* e) { return ios_variable_set_kind32(variable, e); }, IOS_ERR_VALUE_EXISTS},
      {"value", [&](IosErrorCode* e) { return ios_variable_set_value(variable, 7, e); },
       [&](IosErrorCode* e) { return ios_variable_set_value(variable, 8, e); }, IOS_ERR_VALUE_EXISTS},
      {"expression", [&](IosErrorCode* e) { return ios_variable_set_expression(variable, node, e); },
       [&](IosErrorCode* e) { return ios_variable_set_expression(variable, node, e); },
       IOS_ERR_VALUE_EXISTS},
      {"value expression",
       [&](IosErrorCode* e) { return ios_variable_set_value_expression(variable, list, e); },
       [&](IosErrorCode* e) { return ios_variable_set_value_expression(variable, list, e); },
       IOS_ERR_VALUE_EXISTS},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.first(nullptr), 0) << c.name;
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(c.other(&error), 1) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
  }
  IosVariable* record = nullptr;
  ASSERT_EQ(ios_get_variable(variable, &record, nullptr), 0);
  EXPECT_EQ(record->kind, 16u);
  EXPECT_EQ(record->value, 7u);
  EXPECT_EQ(record->flags, IOS_VARIABLE_IN_MODULE);
  EXPECT_EQ(ios_variable_set_value(variable, 7, nullptr), 0) << "the same value again";
  EXPECT_EQ(node->ref_count, 2);

  IosDebugHandle fresh{};
  ASSERT_EQ(ios_module_add_variable(owner, &fresh, nullptr), 0);
  struct Refusal {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    IosErrorCode expected;
  };
  const Refusal refusals[] = {
      {"name id 0", [&](IosErrorCode* e) { return ios_variable_set_name(fresh, {file_, 0}, e); },
       IOS_ERR_NO_STRING},
      {"null expression",
       [&](IosErrorCode* e) { return ios_variable_set_expression(fresh, nullptr, e); },
       IOS_ERR_NO_EXPRESSION},
      {"null value expression",
       [&](IosErrorCode* e) { return ios_variable_set_value_expression(fresh, nullptr, e); },
       IOS_ERR_NO_EXPRESSION},
      {"value expression not a list",
       [&](IosErrorCode* e) { return ios_variable_set_value_expression(fresh, node, e); },
       IOS_ERR_INTERNAL},
  };
  for (const Refusal& r : refusals) {
    IosErrorCode error = NOT_SET;
    EXPECT_EQ(r.call(&error), 1) << r.name;
    EXPECT_EQ(error, r.expected) << r.name;
  }
  expr_release(node);
  expr_release(list);
  // The variable's own references keep both nodes alive.
  EXPECT_EQ(expr_live_node_count(context_), 2u);
}

TEST_F(IosDebugStore, ModuleListsItsVariablesInOrder) {
  IosDebugHandle owner = module();
  IosDebugHandle loose{};
  ASSERT_EQ(ios_variable_new(file_, 1, &loose, nullptr), 0);
  std::vector<uint32_t> made;
  for (int i = 0; i < 5; ++i) {
    IosDebugHandle variable{};
    ASSERT_EQ(ios_module_add_variable(owner, &variable, nullptr), 0);
    made.push_back(variable.record_id);
  }
  EXPECT_EQ(made.front(), 2u) << "ids count on from the loose variable";
  uint32_t count = 0;
  ASSERT_EQ(ios_module_count_variables(owner, &count, nullptr), 0);
  ASSERT_EQ(count, 5u);
  for (uint32_t i = 0; i < count; ++i) {
    IosDebugHandle listed{};
    ASSERT_EQ(ios_module_get_variable(owner, i, &listed, nullptr), 0);
    EXPECT_EQ(listed.record_id, made[i]);
  }
  IosHandle name{};
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_module_get_name(owner, &name, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

}  // namespace
