#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "objlib/DebugInfoFixture.h"
#include "objlib/ios_typequery.h"

namespace {

constexpr uint32_t kKinds[] = {IOS_TYPEREF_ARRAY,     IOS_TYPEREF_ENUM,      IOS_TYPEREF_POINTER,
                               IOS_TYPEREF_REFERENCE, IOS_TYPEREF_TYPEDEF,   IOS_TYPEREF_STRUCTURE,
                               IOS_TYPEREF_UNION,     IOS_TYPEREF_FUNCTION,  IOS_TYPEREF_QUALIFIER,
                               IOS_TYPEREF_MEMBER,    IOS_TYPEREF_BITFIELD};

// Every typed getter as one call shape: (type id, error) -> result.
struct Getter {
  const char* name;
  uint32_t kind;
  std::function<int(uint32_t file, uint32_t type, IosErrorCode*)> call;
};

std::vector<Getter> allGetters() {
  std::vector<Getter> getters;
#define IOS_WORD_CASE(fn, kind, word, rule)                                              \
  getters.push_back({#fn, kind, [](uint32_t file, uint32_t type, IosErrorCode* error) { \
                       uint32_t value[2] = {};                                         \
                       return fn(file, 1, type, value, error);                         \
                     }});
#define IOS_REF_CASE(fn, kind, word)                                                     \
  getters.push_back({#fn, kind, [](uint32_t file, uint32_t type, IosErrorCode* error) { \
                       TypeHandle handle{};                                            \
                       return fn(file, 1, type, &handle, error);                       \
                     }});
  IOS_TYPE_WORD_GETTERS(IOS_WORD_CASE)
  IOS_TYPE_REF_GETTERS(IOS_REF_CASE)
#undef IOS_WORD_CASE
#undef IOS_REF_CASE
  return getters;
}

class TypeQuery : public DebugInfoFile {
 protected:
  // One interned type of each composite kind, with the words its kind starts with.
  void SetUp() override {
    DebugInfoFile::SetUp();
    for (uint32_t kind : kKinds) typeOf_[kind] = intern(typeref(kind));
  }
  std::map<uint32_t, uint32_t> typeOf_;
};

TEST_F(TypeQuery, EveryGetterRefusesAnotherKindWithItsOwnKindsCode) {
  for (const Getter& g : allGetters()) {
    IosErrorCode expected = ios_detail_kind(g.kind)->not_this_kind;
    for (uint32_t kind : kKinds) {
      IosErrorCode error = kNoCode;
      int result = g.call(file_, typeOf_[kind], &error);
      if (kind == g.kind) {
        EXPECT_NE(result, 1) << g.name;
        continue;
      }
      EXPECT_EQ(result, 1) << g.name << " on kind " << kind;
      EXPECT_EQ(error, expected) << g.name << " on kind " << kind;
    }
  }
}

TEST_F(TypeQuery, LookupFailuresComeBeforeTheKindCheck) {
  struct Case {
    const char* name;
    uint32_t typeId;
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"simple type code", 5, -1, IOS_ERR_NO_PROPERTY},
      {"past the end of the table", IOS_FIRST_TYPE_ID + 500, 1, IOS_ERR_NO_TYPE},
      {"just past the last type", IOS_FIRST_TYPE_ID + 11, 1, IOS_ERR_NO_TYPE},
  };
  for (const Getter& g : allGetters()) {
    for (const Case& c : cases) {
      IosErrorCode error = kNoCode;
      EXPECT_EQ(g.call(file_, c.typeId, &error), c.result) << g.name << ": " << c.name;
      EXPECT_EQ(error, c.error) << g.name << ": " << c.name;
    }
  }
  uint32_t other = 0;
  ASSERT_EQ(ios_file_create(&other, nullptr), 0);
  IosErrorCode error = kNoCode;
  uint32_t value = 0;
  EXPECT_EQ(ios_struct_get_field0(other, 1, IOS_FIRST_TYPE_ID, &value, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

TEST_F(TypeQuery, UnsetWordsFollowTheirGettersRule) {
  using WordGetter = int (*)(uint32_t, uint32_t, uint32_t, uint32_t*, IosErrorCode*);
  struct Case {
    const char* name;
    WordGetter get;
    uint32_t kind;
    int result;
    IosErrorCode error;
    uint32_t value;  // when the result is 0
  };
  const Case cases[] = {
      {"member word 4 silent", ios_member_get_field4, IOS_TYPEREF_MEMBER, -1, kNoCode, 0},
      {"member word 6 silent", ios_member_get_field6, IOS_TYPEREF_MEMBER, -1, kNoCode, 0},
      {"qualifier word 2 coded", ios_qualifier_get_field2, IOS_TYPEREF_QUALIFIER, -1,
       IOS_ERR_NO_PROPERTY, 0},
      {"union without members", ios_union_get_list, IOS_TYPEREF_UNION, 0, kNoCode, 0},
      {"nameless structure", ios_struct_get_pair1, IOS_TYPEREF_STRUCTURE, -1, IOS_ERR_NO_PROPERTY, 0},
      {"nameless enum id", ios_enum_get_field1, IOS_TYPEREF_ENUM, -1, IOS_ERR_NO_PROPERTY, 0},
      {"pointer word 3 zero", ios_pointer_get_field3, IOS_TYPEREF_POINTER, -1, IOS_ERR_NO_PROPERTY, 0},
      {"bitfield word 0 plain", ios_bitfield_get_field0, IOS_TYPEREF_BITFIELD, 0, kNoCode, 0},
      {"bitfield word 1 silent", ios_bitfield_get_field1, IOS_TYPEREF_BITFIELD, -1, kNoCode, 0},
      {"function word 5 silent", ios_functype_get_field5, IOS_TYPEREF_FUNCTION, -1, kNoCode, 0},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    uint32_t value[2] = {0xAAAAu, 0xAAAAu};
    EXPECT_EQ(c.get(file_, 1, typeOf_[c.kind], value, &error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(value[0], c.result == 0 ? c.value : 0xAAAAu) << c.name;
  }
}

TEST_F(TypeQuery, SetWordsAndReferencesReadBack) {
  uint32_t s = structure("point", {});
  setWords(s, 0, {12});
  uint32_t p = typeref(IOS_TYPEREF_POINTER);
  setWords(p, 0, {0, s});
  uint32_t pointerType = intern(p);
  uint32_t structType = intern(s);
  TypeHandle target{};
  ASSERT_EQ(ios_pointer_get_target(file_, 1, pointerType, &target, nullptr), 0);
  EXPECT_EQ(target.file_id, file_);
  EXPECT_EQ(target.root_id, 1u);
  EXPECT_EQ(target.type_id, structType);
  uint32_t pair[2] = {};
  ASSERT_EQ(ios_struct_get_pair1(file_, 1, structType, pair, nullptr), 0);
  EXPECT_EQ(pair[0], file_);
  EXPECT_EQ(ios_string_ids_equal(file_, pair[1], file_, name("point")), 1);
  uint32_t word = 0;
  ASSERT_EQ(ios_struct_get_field0(file_, 1, structType, &word, nullptr), 0);
  EXPECT_EQ(word, 12u);
}

TEST_F(TypeQuery, ListEntriesReadByIndex) {
  uint32_t f = typeref(IOS_TYPEREF_FUNCTION);
  addEntry(f, 1, 5);  // unnamed parameter of simple type 5
  IosType* type = nullptr;
  ASSERT_EQ(ios_type_lookup(store_->table, intern(f), &type, nullptr), 0);
  StringHandle paramName{7, 7};
  uint32_t id = 0;
  ASSERT_EQ(ios_functype_list_entry(type->detail, 0, &paramName, &id, nullptr), 0);
  EXPECT_EQ(id, 5u);
  EXPECT_EQ(paramName.object_id, 0u);
  struct Case {
    const char* name;
    int result;
    IosErrorCode error;
    std::function<int(IosErrorCode*)> call;
  };
  IosType* structType = nullptr;
  ASSERT_EQ(ios_type_lookup(store_->table, typeOf_[IOS_TYPEREF_STRUCTURE], &structType, nullptr), 0);
  const Case cases[] = {
      {"parameter past the list", 1, IOS_ERR_INTERNAL,
       [&](IosErrorCode* e) { return ios_functype_list_entry(type->detail, 1, nullptr, &id, e); }},
      {"member past the list", -1, IOS_ERR_NO_PROPERTY,
       [&](IosErrorCode* e) { return ios_struct_list_entry(structType->detail, 0, nullptr, e); }},
      {"structure without detail", 1, IOS_ERR_TYPEREF_NOT_STRUCTURE,
       [&](IosErrorCode* e) { return ios_struct_list_entry(nullptr, 0, nullptr, e); }},
      {"union without detail", 1, IOS_ERR_TYPEREF_NOT_UNION,
       [&](IosErrorCode* e) { return ios_union_list_entry(nullptr, 0, nullptr, e); }},
      {"enum without detail", 1, IOS_ERR_INTERNAL,
       [&](IosErrorCode* e) { return ios_enum_list_entry(nullptr, 0, nullptr, nullptr, e); }},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.call(&error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

}  // namespace
