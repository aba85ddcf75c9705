#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "objlib/DebugInfoFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ios_debugops.h"
#include "objlib/ios_function.h"
#include "objlib/ios_lineinfo.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_typeops.h"
#include "objlib/ios_typetable.h"

namespace {

class DebugRecords : public DebugInfoFile {
 protected:
  void SetUp() override {
    DebugInfoFile::SetUp();
    ASSERT_EQ(ios_module_create(file_, &module_, nullptr), 0);
    ASSERT_EQ(ios_variable_create_flagged(file_, 1, 0, &variable_, nullptr), 0);
  }
  ExprNode* list() {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_operator(context_, &node, EXPR_LIST, 0), 0);
    return node;
  }
  IosDebugHandle module_{};
  IosDebugHandle variable_{};
};

TEST_F(DebugRecords, WriteOnceSettersAcceptTheSameValueAndStrictOnesNothing) {
  IosDebugHandle table{};
  ASSERT_EQ(ios_typetable_create(file_, &table, nullptr), 0);
  ExprNode* node = list();
  struct Case {
    const char* name;
    std::function<int(uint32_t value, IosErrorCode*)> set;
    bool strict;
  };
  const Case cases[] = {
      {"module word 5", [&](uint32_t v, IosErrorCode* e) { return ios_module_set_word5(module_, v, e); },
       false},
      {"variable word 15",
       [&](uint32_t v, IosErrorCode* e) { return ios_variable_set_word15(variable_, v, e); }, false},
      {"variable word 5",
       [&](uint32_t v, IosErrorCode* e) { return ios_variable_set_word5(variable_, v, e); }, true},
      {"variable type",
       [&](uint32_t v, IosErrorCode* e) { return ios_variable_set_type(variable_, {file_, 1, v}, e); },
       true},
      {"type table symbol",
       [&](uint32_t v, IosErrorCode* e) { return ios_typetable_bind_symbol(table, file_, v, e); }, true},
      {"module expression",
       [&](uint32_t, IosErrorCode* e) { return ios_module_set_expression(module_, node, e); }, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.set(7, nullptr), 0) << c.name;
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.set(7, &error), c.strict ? 1 : 0) << c.name;
    EXPECT_EQ(error, c.strict ? IOS_ERR_VALUE_EXISTS : kNoCode) << c.name;
    error = kNoCode;
    EXPECT_EQ(c.set(8, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << c.name;
  }
  uint32_t word = 0;
  ASSERT_EQ(ios_module_get_word5(module_, &word, nullptr), 0);
  EXPECT_EQ(word, 7u);
  IosDebugHandle bound{};
  ASSERT_EQ(ios_typetable_by_symbol_index(file_, 0, 0, 6, &bound, nullptr), 0);
  EXPECT_EQ(bound.record_id, table.record_id);
  EXPECT_EQ(ios_typetable_by_symbol_index(file_, 0, 0, 5, &bound, nullptr), -1);
}

TEST_F(DebugRecords, AllOnesMinusOneAlsoCountsAsUnset) {
  ASSERT_EQ(ios_module_set_word5(module_, 0xFFFFFFFEu, nullptr), 0);
  EXPECT_EQ(ios_module_set_word5(module_, 3, nullptr), 0);
  uint32_t field = 0xFFFFFFFEu;
  EXPECT_EQ(ios_set_once(&field, 4, 0xFFFFFFFFu, nullptr), 0);
  EXPECT_EQ(field, 4u);
  uint32_t out = 0;
  EXPECT_EQ(ios_take_unless_unset(0xFFFFFFFFu, &out, 0xFFFFFFFFu), -1);
  EXPECT_EQ(ios_take_unless_unset(9, &out, 0xFFFFFFFFu), 0);
  EXPECT_EQ(out, 9u);
}

TEST_F(DebugRecords, RefusedStoresChangeNothing) {
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    IosErrorCode error;
  };
  uint32_t s = structure("s", {});
  IosDebugHandle table{};
  ASSERT_EQ(ios_typetable_create(file_, &table, nullptr), 0);
  ExprNode* value = integer(4);
  const Case cases[] = {
      {"type id 0", [&](IosErrorCode* e) { return ios_variable_set_type(variable_, {file_, 1, 0}, e); },
       IOS_ERR_NO_TYPE},
      {"value node as module expression",
       [&](IosErrorCode* e) { return ios_module_set_expression(module_, value, e); }, IOS_ERR_INTERNAL},
      {"null module expression",
       [&](IosErrorCode* e) { return ios_module_set_expression(module_, nullptr, e); }, IOS_ERR_NO_EXPRESSION},
      {"typedef target of a structure",
       [&](IosErrorCode* e) { return ios_typedef_set_target(file_, 1, s, 0, 0, 130, e); },
       IOS_ERR_TYPEREF_NOT_TYPEDEF},
      {"typedef target of no typeref",
       [&](IosErrorCode* e) { return ios_typedef_set_target(file_, 1, 90, 0, 0, 130, e); }, IOS_ERR_NO_TYPEREF},
      {"symbol id 0", [&](IosErrorCode* e) { return ios_typetable_bind_symbol(table, file_, 0, e); },
       IOS_ERR_NO_SYMBOL},
      {"no such type table",
       [&](IosErrorCode* e) { return ios_typetable_bind_symbol({file_, 1, 8}, file_, 1, e); },
       IOS_ERR_NO_TYPETABLE},
      {"no such module",
       [&](IosErrorCode* e) { return ios_module_add_function(file_, 1, 9, nullptr, e); }, IOS_ERR_NO_MODULE},
      {"no such variable",
       [&](IosErrorCode* e) { return ios_variable_add_lifetime(file_, 1, 9, nullptr, e); }, IOS_ERR_NO_VARIABLE},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.call(&error), 1) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_variable_get_type(variable_, nullptr, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  EXPECT_EQ(value->ref_count, 1);
  error = kNoCode;
  EXPECT_EQ(ios_module_get_expression(module_, nullptr, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

TEST_F(DebugRecords, FreshVariableWordsAreUnsetByTheirRule) {
  using Get = std::function<int(IosErrorCode*)>;
  struct Case {
    const char* name;
    Get get;
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"flags", [&](IosErrorCode* e) { return ios_variable_get_flags(variable_, nullptr, e); }, -1,
       IOS_ERR_NO_PROPERTY},
      {"word 5", [&](IosErrorCode* e) { return ios_variable_get_word5(variable_, nullptr, e); }, -1,
       IOS_ERR_NO_PROPERTY},
      {"word 10", [&](IosErrorCode* e) { return ios_variable_get_word10(variable_, nullptr, e); }, -1,
       IOS_ERR_NO_PROPERTY},
      {"word 11", [&](IosErrorCode* e) { return ios_variable_get_word11(variable_, nullptr, e); }, -1,
       IOS_ERR_NO_PROPERTY},
      {"word 12", [&](IosErrorCode* e) { return ios_variable_get_word12(variable_, nullptr, e); }, -1, kNoCode},
      {"word 14", [&](IosErrorCode* e) { return ios_variable_get_word14(variable_, nullptr, e); }, -1,
       IOS_ERR_NO_PROPERTY},
      {"word 15", [&](IosErrorCode* e) { return ios_variable_get_word15(variable_, nullptr, e); }, -1, kNoCode},
      {"word 16", [&](IosErrorCode* e) { return ios_variable_get_word16(variable_, nullptr, e); }, -1, kNoCode},
      {"word 17", [&](IosErrorCode* e) { return ios_variable_get_word17(variable_, nullptr, e); }, 0, kNoCode},
      {"name", [&](IosErrorCode* e) { return ios_variable_get_pair(variable_, nullptr, e); }, -1,
       IOS_ERR_NO_PROPERTY},
      {"module word 12", [&](IosErrorCode* e) { return ios_module_get_word12(module_, nullptr, e); }, 1,
       IOS_ERR_INTERNAL},
      {"module word 5", [&](IosErrorCode* e) { return ios_module_get_word5(module_, nullptr, e); }, -1, kNoCode},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.get(&error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

TEST_F(DebugRecords, RecordsMadeInsideModulesAndVariablesAreListed) {
  IosDebugHandle function{}, lifetime{}, a{}, b{};
  ASSERT_EQ(ios_module_add_function(file_, 1, module_.record_id, &function, nullptr), 0);
  ASSERT_EQ(ios_variable_add_lifetime(file_, 1, variable_.record_id, &lifetime, nullptr), 0);
  ASSERT_EQ(ios_module_add_variable_4096(file_, 1, module_.record_id, &a, nullptr), 0);
  ASSERT_EQ(ios_module_add_variable_16384(file_, 1, module_.record_id, &b, nullptr), 0);
  IosModule* module = nullptr;
  ASSERT_EQ(ios_get_module(module_, &module, nullptr), 0);
  EXPECT_EQ(ios_item_id(idtab_get(module->functions, 0)), function.record_id);
  IosVariable* variable = nullptr;
  ASSERT_EQ(ios_get_variable(variable_, &variable, nullptr), 0);
  EXPECT_EQ(ios_item_id(idtab_get(variable->lifetimes, 0)), lifetime.record_id);
  uint32_t flags = 0, count = 0;
  ASSERT_EQ(ios_variable_get_flags(a, &flags, nullptr), 0);
  EXPECT_EQ(flags, 4096u);
  ASSERT_EQ(ios_variable_get_flags(b, &flags, nullptr), 0);
  EXPECT_EQ(flags, 16384u);
  ASSERT_EQ(ios_module_variable_count(module_, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  // A fresh lifetime made this way starts with its all-ones words unset.
  for (auto get : {ios_lifetime_get_field3, ios_lifetime_get_field12, ios_lifetime_get_field14,
                   ios_lifetime_get_field15}) {
    EXPECT_EQ(get(lifetime, nullptr, nullptr), -1);
  }
}

TEST_F(DebugRecords, MembersOfInternedTypesReadAsTypeHandles) {
  uint32_t inner = structure("inner", {});
  uint32_t outer = structure("outer", {inner});
  uint32_t outerType = intern(outer);
  TypeHandle member{9, 9, 9};
  ASSERT_EQ(ios_struct_member(file_, 1, outerType, 0, &member, nullptr), 0);
  EXPECT_EQ(member.file_id, file_);
  EXPECT_EQ(member.type_id, intern(inner));
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_union_member(file_, 1, outerType, 0, &member, &error), 1);
  EXPECT_EQ(error, IOS_ERR_TYPEREF_NOT_UNION);
  error = kNoCode;
  EXPECT_EQ(ios_struct_member(file_, 1, outerType, 1, &member, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  uint32_t f = typeref(IOS_TYPEREF_FUNCTION);
  addEntry(f, 1, 5);
  TyperefRef entry{};
  IosHandle owner{};
  ASSERT_EQ(ios_functype_entry(file_, 1, intern(f), 0, &entry, &owner, nullptr), 0);
  EXPECT_EQ(entry.id, 5u);
  EXPECT_EQ(owner.file_id, file_);
  error = kNoCode;
  EXPECT_EQ(ios_functype_entry(file_, 1, intern(f), 1, &entry, &owner, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
  error = kNoCode;
  EXPECT_EQ(ios_type_use(nullptr, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_TYPE);
}

TEST_F(DebugRecords, TypeTableEntriesAndCounts) {
  TypeHandle typedefRef{}, kind2{};
  ASSERT_EQ(ios_typetable_add_typedef(file_, 1, 0, 0, &typedefRef, nullptr), 0);
  ASSERT_EQ(ios_typetable_add_kind2(file_, 1, 0, 0, &kind2, nullptr), 0);
  EXPECT_EQ(record(typedefRef.type_id)->kind, uint32_t{IOS_TYPEREF_TYPEDEF});
  EXPECT_EQ(record(kind2.type_id)->kind, 2u);
  ASSERT_EQ(ios_typedef_set_target(file_, 1, typedefRef.type_id, 0, 0, 131, nullptr), 0);
  EXPECT_EQ(ios_detail_word(record(typedefRef.type_id)->detail, 0)[1], 131u);
  uint32_t count = 9;
  ASSERT_EQ(ios_typetable_count(file_, 0, &count, nullptr), 0);
  EXPECT_EQ(count, 0u);
  uint32_t other = 0;
  ASSERT_EQ(ios_file_create(&other, nullptr), 0);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_typetable_count(other, 0, &count, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

}  // namespace

namespace {

// Blocks in use in every size-class pool.
std::vector<size_t> blocksInUse() {
  std::vector<size_t> counts;
  for (size_t size = 4; size <= POOL_LARGEST_CLASS; size += 4) {
    BlockPool* pool = pool_find(size);
    counts.push_back(pool != nullptr ? pool->in_use : 0);
  }
  return counts;
}

TEST_F(DebugRecords, FreeingTheDebugRootGivesBackEveryBlockOfItsRecords) {
  uint32_t file = 0;
  IosHandle root{};
  ASSERT_EQ(ios_file_create(&file, nullptr), 0);
  std::vector<size_t> before = blocksInUse();
  ASSERT_EQ(ios_file_get_debug_root(file, &root, nullptr), 0);
  IosTypeStore* store = nullptr;
  ASSERT_EQ(ios_get_type_store(&store, nullptr, file), 0);
  // A recursive structure with a function type, an array and an enum beside it.
  TypeHandle s{}, m{}, p{}, f{}, a{}, e{};
  for (auto [kind, out] : {std::pair{IOS_TYPEREF_STRUCTURE, &s}, {IOS_TYPEREF_MEMBER, &m},
                           {IOS_TYPEREF_POINTER, &p}, {IOS_TYPEREF_FUNCTION, &f},
                           {IOS_TYPEREF_ARRAY, &a}, {IOS_TYPEREF_ENUM, &e}}) {
    ASSERT_EQ(ios_typetable_add_entry(store, kind, out), 0);
  }
  ASSERT_EQ(ios_typeref_add_struct_member(s, m.type_id, nullptr), 0);
  ASSERT_EQ(ios_typeref_set_member_type(m, p.type_id, nullptr), 0);
  ASSERT_EQ(ios_typeref_set_pointer_target(file, 1, p.type_id, s.type_id, nullptr), 0);
  ASSERT_EQ(ios_typeref_add_functype_param(f, s.type_id, {file, 0}, nullptr), 0);
  ASSERT_EQ(ios_typeref_add_array_dim(a, 0, 3, nullptr), 0);
  ASSERT_EQ(ios_typeref_add_enum_entry(e, {file, 0}, 1, nullptr), 0);
  for (TypeHandle top : {s, f, a, e}) {
    TypeHandle type{};
    ASSERT_EQ(ios_typeref_intern_by_id(&type, nullptr, file, 1, top.type_id), 0);
  }
  IosDebugHandle table{}, module{}, function{}, block{}, variable{}, usage{};
  ASSERT_EQ(ios_typetable_create(file, &table, nullptr), 0);
  ASSERT_EQ(ios_typetable_enter_type(table, file, 1, f.type_id, nullptr, nullptr), 0);
  ASSERT_EQ(ios_module_create(file, &module, nullptr), 0);
  ASSERT_EQ(ios_module_add_function(file, 1, module.record_id, &function, nullptr), 0);
  ASSERT_EQ(ios_function_add_block(function, &block, nullptr), 0);
  ASSERT_EQ(ios_lexical_block_add_variable_a(block, &variable, nullptr), 0);
  ASSERT_EQ(ios_lexical_block_add_stack_usage(block, &usage, nullptr), 0);
  ASSERT_EQ(ios_variable_add_lifetime(file, 1, variable.record_id, nullptr, nullptr), 0);
  IosLineBlockHandle lines{};
  ASSERT_EQ(ios_line_block_create(module, {file, 0}, &lines, nullptr), 0);
  ASSERT_EQ(ios_line_add(lines, nullptr, 1, 2, nullptr, nullptr), 0);
  ASSERT_EQ(ios_line_block_attach(lines, 1, nullptr), 0);
  IosFile* record = nullptr;
  ASSERT_EQ(ios_get_file(file, &record, nullptr), 0);
  ios_debug_root_free(record->debug_root);
  record->debug_root = nullptr;
  EXPECT_EQ(blocksInUse(), before);
}

}  // namespace

namespace {

TEST_F(DebugRecords, TypeTableTripleIsTheHandleOfItsBoundSymbol) {
  IosDebugHandle table{};
  ASSERT_EQ(ios_typetable_create(file_, &table, nullptr), 0);
  uint32_t triple[3] = {9, 9, 9};
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_typetable_get_triple(table, triple, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  EXPECT_EQ(triple[2], 9u);
  ASSERT_EQ(ios_typetable_bind_symbol(table, file_, 7, nullptr), 0);
  ASSERT_EQ(ios_typetable_get_triple(table, triple, nullptr), 0);
  EXPECT_EQ(triple[0], file_);
  EXPECT_EQ(triple[1], 1u);
  EXPECT_EQ(triple[2], 7u);
  error = kNoCode;
  EXPECT_EQ(ios_typetable_get_triple({file_, 1, table.record_id + 1}, triple, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_TYPETABLE);
}

TEST_F(DebugRecords, RecordWordsReadATypesUseCountAndKind) {
  EXPECT_EQ(ios_record_word3(nullptr), 0u);
  EXPECT_EQ(ios_record_word4(nullptr), 0u);
  uint32_t id = intern(structure("s", {}));
  IosType* type = nullptr;
  ASSERT_EQ(ios_type_lookup(store_->table, id, &type, nullptr), 0);
  uint32_t uses = ios_record_word3(type);
  ASSERT_EQ(ios_type_use(type, nullptr), 0);
  ASSERT_EQ(ios_type_use(type, nullptr), 0);
  EXPECT_EQ(ios_record_word3(type), uses + 2);
  EXPECT_EQ(ios_record_word4(type), uint32_t{IOS_TYPEREF_STRUCTURE});
}

// Each admin freed on its own gives back what its records held, stays empty
// through a second free and the root's free, and takes no new record.
TEST_F(DebugRecords, FreeingOneAdminEmptiesItAndRefusesNewRecords) {
  struct Case {
    const char* name;
    IosDebugFamily IosDebugRoot::*admin;
    std::function<void(IosDebugFamily*)> free;
    std::function<int(uint32_t, IosErrorCode*)> create;  // a record with tables of its own
  };
  const Case cases[] = {
      // The lifetimes live in an admin of their own, freed beside so that the
      // count shows only what the variables held.
      {"variables", &IosDebugRoot::variables,
       [](IosDebugFamily* admin) {
         ios_free_variable_admin(admin);
         auto* root = reinterpret_cast<IosDebugRoot*>(reinterpret_cast<char*>(admin) -
                                                      offsetof(IosDebugRoot, variables));
         ios_free_record_admin(&root->lifetimes, [](void* record) {
           ios_lifetime_release(static_cast<IosLifetime*>(record));
         });
       },
       [](uint32_t file, IosErrorCode* error) {
         IosDebugHandle variable{};
         int status = ios_variable_create_flagged(file, 1, 0, &variable, error);
         if (status == 0)
           status = ios_variable_add_lifetime(file, 1, variable.record_id, nullptr, nullptr);
         return status;
       }},
      {"type tables", &IosDebugRoot::typetables, ios_free_table_admin,
       [](uint32_t file, IosErrorCode* error) { return ios_typetable_create(file, nullptr, error); }},
      {"functions", &IosDebugRoot::functions, ios_function_admin_free,
       [](uint32_t file, IosErrorCode* error) {
         IosDebugHandle function{};
         return ios_function_create(file, 1, &function, error);
       }},
  };
  // The admin's own pool header goes back with it: measured on an empty admin.
  auto freshAdmin = [](IosDebugFamily IosDebugRoot::*member, IosFile** file) {
    uint32_t id = 0;
    IosHandle root{};
    EXPECT_EQ(ios_file_create(&id, nullptr), 0);
    EXPECT_EQ(ios_file_get_debug_root(id, &root, nullptr), 0);
    EXPECT_EQ(ios_get_file(id, file, nullptr), 0);
    return std::pair{id, &((*file)->debug_root->*member)};
  };
  auto dropRoot = [](IosFile* file) {
    ios_debug_root_free(file->debug_root);
    file->debug_root = nullptr;
  };
  for (const Case& c : cases) {
    IosFile* emptyFile = nullptr;
    auto [emptyId, empty] = freshAdmin(c.admin, &emptyFile);
    std::vector<size_t> beforeEmpty = blocksInUse();
    c.free(empty);
    std::vector<size_t> afterEmpty = blocksInUse();
    dropRoot(emptyFile);

    IosFile* record = nullptr;
    auto [file, admin] = freshAdmin(c.admin, &record);
    std::vector<size_t> before = blocksInUse();
    ASSERT_EQ(c.create(file, nullptr), 0) << c.name;
    ASSERT_EQ(c.create(file, nullptr), 0) << c.name;
    c.free(admin);
    std::vector<size_t> after = blocksInUse();
    for (size_t i = 0; i < after.size(); ++i)
      EXPECT_EQ(after[i] + (beforeEmpty[i] - afterEmpty[i]), before[i]) << c.name << " class " << i;
    EXPECT_EQ(admin->pool, nullptr) << c.name;
    EXPECT_EQ(admin->table, nullptr) << c.name;
    c.free(admin);
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.create(file, &error), 1) << c.name;
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << c.name;
    dropRoot(record);
  }
}

// The lexical-block admin gives back its blocks' tables, its table and both pools,
// and a second free or a null admin does nothing.
TEST_F(DebugRecords, FreeingTheLexicalBlockAdminGivesBackItsBlocks) {
  ios_lexical_block_admin_free(nullptr);
  ios_function_admin_free(nullptr);
  struct Case {
    const char* name;
    int children;  // nested blocks under one top block
  };
  const Case cases[] = {{"no blocks", -1}, {"one block", 0}, {"nested blocks", 3}};
  auto freshAdmin = [](IosFile** file) {
    uint32_t id = 0;
    IosHandle root{};
    EXPECT_EQ(ios_file_create(&id, nullptr), 0);
    EXPECT_EQ(ios_file_get_debug_root(id, &root, nullptr), 0);
    EXPECT_EQ(ios_get_file(id, file, nullptr), 0);
    return std::pair{id, &(*file)->debug_root->lexical_blocks};
  };
  auto dropRoot = [](IosFile* file) {
    ios_debug_root_free(file->debug_root);
    file->debug_root = nullptr;
  };
  // What an empty admin's pools take, so the loop below sees only its records.
  IosFile* emptyFile = nullptr;
  IosLexicalBlockAdmin* empty = freshAdmin(&emptyFile).second;
  std::vector<size_t> beforeEmpty = blocksInUse();
  ios_lexical_block_admin_free(empty);
  std::vector<size_t> afterEmpty = blocksInUse();
  dropRoot(emptyFile);
  for (const Case& c : cases) {
    IosFile* record = nullptr;
    auto [file, admin] = freshAdmin(&record);
    std::vector<size_t> before = blocksInUse();
    if (c.children >= 0) {
      IosDebugHandle block{};
      ASSERT_EQ(ios_lexical_block_create(file, 1, &block, nullptr), 0) << c.name;
      for (int i = 0; i < c.children; ++i) {
        IosDebugHandle child{};
        ASSERT_EQ(ios_lexical_block_add_child(block, &child, nullptr), 0) << c.name;
        block = child;
      }
    }
    ios_lexical_block_admin_free(admin);
    std::vector<size_t> after = blocksInUse();
    for (size_t i = 0; i < after.size(); ++i)
      EXPECT_EQ(after[i] + (beforeEmpty[i] - afterEmpty[i]), before[i]) << c.name << " class " << i;
    EXPECT_EQ(admin->blocks, nullptr) << c.name;
    EXPECT_EQ(admin->block_pool, nullptr) << c.name;
    EXPECT_EQ(admin->contents_pool, nullptr) << c.name;
    ios_lexical_block_admin_free(admin);
    EXPECT_EQ(blocksInUse(), after) << c.name;
    dropRoot(record);
  }
}

}  // namespace
