#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "objlib/DebugInfoFixture.h"
#include "objlib/ios_typeops.h"

namespace {

enum Rule { SILENT, CODE, NONZERO, PLAIN };

struct WordGetter {
  const char* name;
  uint32_t kind;
  int word;
  Rule rule;
  int (*get)(void*, uint32_t*, IosErrorCode*);
};
struct WordSetter {
  const char* name;
  uint32_t kind;
  int word;
  int (*set)(void*, uint32_t, IosErrorCode*);
};
struct TyperefWordSetter {
  const char* name;
  uint32_t kind;
  int word;
  bool strict;
  int (*set)(TypeHandle, uint32_t, IosErrorCode*);
};
struct NameSetter {
  const char* name;
  uint32_t kind;
  int word;
  int (*set)(void*, StringHandle, IosErrorCode*);
};
struct TyperefNameSetter {
  const char* name;
  uint32_t kind;
  int word;
  bool strict;
  int (*set)(TypeHandle, StringHandle, IosErrorCode*);
};
struct NameGetter {
  const char* name;
  uint32_t kind;
  int word;
  int (*get)(void*, StringHandle*, IosErrorCode*);
};
struct RefSetter {
  const char* name;
  uint32_t kind;
  int word;
  int (*set)(void*, TyperefRef, IosErrorCode*);
};
struct TyperefRefSetter {
  const char* name;
  uint32_t kind;
  int word;
  int (*set)(TypeHandle, uint32_t, IosErrorCode*);
};

#define ROW4(fn, kind, word, extra) {#fn, kind, word, extra, fn},
#define ROW3(fn, kind, word) {#fn, kind, word, fn},
const WordGetter kWordGetters[] = {IOS_DETAIL_WORD_GETTERS(ROW4)};
const WordSetter kWordSetters[] = {IOS_DETAIL_WORD_SETTERS(ROW3)};
const TyperefWordSetter kTyperefWordSetters[] = {IOS_TYPEREF_WORD_SETTERS(ROW4)};
const NameGetter kNameGetters[] = {IOS_DETAIL_NAME_GETTERS(ROW3)};
const NameSetter kNameSetters[] = {IOS_DETAIL_NAME_SETTERS(ROW3)};
const TyperefNameSetter kTyperefNameSetters[] = {IOS_TYPEREF_NAME_SETTERS(ROW4)};
const RefSetter kRefSetters[] = {IOS_DETAIL_REF_SETTERS(ROW3)};
const TyperefRefSetter kTyperefRefSetters[] = {IOS_TYPEREF_REF_SETTERS(ROW3)};
#undef ROW4
#undef ROW3

IosErrorCode kindError(uint32_t kind) { return ios_detail_kind(kind)->not_this_kind; }
// A composite kind other than the given one.
uint32_t otherKind(uint32_t kind) {
  return kind == IOS_TYPEREF_ARRAY ? IOS_TYPEREF_BITFIELD : IOS_TYPEREF_ARRAY;
}

class TypeOps : public DebugInfoFile {
 protected:
  void* detail(uint32_t kind) {
    void* made = ios_typeref_detail_new(kind).detail;
    details_.push_back({kind, made});
    return made;
  }
  void TearDown() override {
    for (auto& [kind, made] : details_) ios_typeref_detail_free(kind, made);
    DebugInfoFile::TearDown();
  }
  TypeHandle handle(uint32_t id) { return TypeHandle{file_, 1, id}; }
  // A typeref of the kind that was interned after an equal one: it keeps its own
  // detail and stays in the store as interned.
  uint32_t internedTwin(uint32_t kind) {
    intern(typeref(kind));
    uint32_t twin = typeref(kind);
    intern(twin);
    return twin;
  }
  std::vector<std::pair<uint32_t, void*>> details_;
};

TEST_F(TypeOps, DetailWordsStartByTheirRuleAndReadBackWhatIsSet) {
  for (const WordGetter& g : kWordGetters) {
    void* d = detail(g.kind);
    IosErrorCode error = kNoCode;
    uint32_t value = 0xAAAA;
    int fresh = g.get(d, &value, &error);
    switch (g.rule) {
      case SILENT:
        EXPECT_EQ(fresh, -1) << g.name;
        EXPECT_EQ(error, kNoCode) << g.name;
        break;
      case CODE:
      case NONZERO:
        EXPECT_EQ(fresh, -1) << g.name;
        EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << g.name;
        break;
      case PLAIN:
        EXPECT_EQ(fresh, 0) << g.name;
        EXPECT_EQ(value, 0u) << g.name;
        break;
    }
    bool found = false;
    for (const WordSetter& s : kWordSetters) {
      if (s.kind != g.kind || s.word != g.word) continue;
      found = true;
      EXPECT_EQ(s.set(d, 21, nullptr), 0) << s.name;
      EXPECT_EQ(s.set(d, 22, nullptr), 0) << s.name;  // plain words overwrite
      EXPECT_EQ(g.get(d, &value, nullptr), 0) << g.name;
      EXPECT_EQ(value, 22u) << g.name;
      error = kNoCode;
      EXPECT_EQ(s.set(nullptr, 1, &error), 1) << s.name;
      EXPECT_EQ(error, kindError(s.kind)) << s.name;
    }
    EXPECT_TRUE(found) << g.name << " has no setter";
    error = kNoCode;
    EXPECT_EQ(g.get(nullptr, &value, &error), 1) << g.name;
    EXPECT_EQ(error, kindError(g.kind)) << g.name;
  }
}

TEST_F(TypeOps, TyperefWordSettersCheckTheTyperefFirst) {
  for (const TyperefWordSetter& s : kTyperefWordSetters) {
    uint32_t id = typeref(s.kind);
    EXPECT_EQ(s.set(handle(id), 33, nullptr), 0) << s.name;
    EXPECT_EQ(*ios_detail_word(record(id)->detail, s.word), 33u) << s.name;
    struct Case {
      const char* what;
      uint32_t typerefId;
      IosErrorCode error;
    };
    const Case cases[] = {
        {"no such typeref", 999, IOS_ERR_NO_TYPEREF},
        {"another kind", typeref(otherKind(s.kind)), kindError(s.kind)},
    };
    for (const Case& c : cases) {
      IosErrorCode error = kNoCode;
      EXPECT_EQ(s.set(handle(c.typerefId), 1, &error), 1) << s.name << ": " << c.what;
      EXPECT_EQ(error, c.error) << s.name << ": " << c.what;
    }
    IosErrorCode error = kNoCode;
    EXPECT_EQ(s.set(handle(internedTwin(s.kind)), 5, &error), s.strict ? 1 : 0) << s.name;
    EXPECT_EQ(error, s.strict ? IOS_ERR_INTERNAL : kNoCode) << s.name;
  }
}

TEST_F(TypeOps, NamesAreWrittenOnceAndReadBack) {
  for (const NameSetter& s : kNameSetters) {
    void* d = detail(s.kind);
    IosErrorCode error = kNoCode;
    EXPECT_EQ(s.set(d, {file_, 0}, &error), 1) << s.name;
    EXPECT_EQ(error, IOS_ERR_NO_STRING) << s.name;
    EXPECT_EQ(s.set(d, {file_, 3}, nullptr), 0) << s.name;
    error = kNoCode;
    EXPECT_EQ(s.set(d, {file_, 3}, &error), 1) << s.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << s.name;
    EXPECT_EQ(ios_detail_word(d, s.word)[1], 3u) << s.name;
    error = kNoCode;
    EXPECT_EQ(s.set(nullptr, {file_, 3}, &error), 1) << s.name;
    EXPECT_EQ(error, kindError(s.kind)) << s.name;
  }
  for (const NameGetter& g : kNameGetters) {
    void* d = detail(g.kind);
    IosErrorCode error = kNoCode;
    StringHandle name{};
    EXPECT_EQ(g.get(d, &name, &error), -1) << g.name;
    EXPECT_EQ(error, IOS_ERR_NO_PROPERTY) << g.name;
    ios_detail_word(d, g.word)[0] = file_;
    ios_detail_word(d, g.word)[1] = 4;
    EXPECT_EQ(g.get(d, &name, nullptr), 0) << g.name;
    EXPECT_EQ(name.file_id, file_) << g.name;
    EXPECT_EQ(name.object_id, 4u) << g.name;
  }
  for (const TyperefNameSetter& s : kTyperefNameSetters) {
    uint32_t id = typeref(s.kind);
    IosErrorCode error = kNoCode;
    EXPECT_EQ(s.set(handle(id), {file_, 0}, &error), 1) << s.name;
    EXPECT_EQ(error, IOS_ERR_NO_STRING) << s.name;
    EXPECT_EQ(s.set(handle(id), {file_, 3}, nullptr), 0) << s.name;
    error = kNoCode;
    EXPECT_EQ(s.set(handle(id), {file_, 3}, &error), 1) << s.name;
    EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS) << s.name;
    error = kNoCode;
    EXPECT_EQ(s.set(handle(typeref(otherKind(s.kind))), {file_, 3}, &error), 1) << s.name;
    EXPECT_EQ(error, kindError(s.kind)) << s.name;
    error = kNoCode;
    EXPECT_EQ(s.set(handle(internedTwin(s.kind)), {file_, 3}, &error), s.strict ? 1 : 0) << s.name;
    EXPECT_EQ(error, s.strict ? IOS_ERR_INTERNAL : kNoCode) << s.name;
  }
}

TEST_F(TypeOps, ReferencesAreStoredAsGivenOrUnresolved) {
  for (const RefSetter& s : kRefSetters) {
    void* d = detail(s.kind);
    EXPECT_EQ(s.set(d, {1, 140}, nullptr), 0) << s.name;
    EXPECT_EQ(ios_detail_word(d, s.word)[0], 1u) << s.name;
    EXPECT_EQ(ios_detail_word(d, s.word)[1], 140u) << s.name;
  }
  for (const TyperefRefSetter& s : kTyperefRefSetters) {
    uint32_t id = typeref(s.kind);
    setWords(id, s.word, {1, 1});
    EXPECT_EQ(s.set(handle(id), 17, nullptr), 0) << s.name;
    EXPECT_EQ(ios_detail_word(record(id)->detail, s.word)[0], 0u) << s.name;
    EXPECT_EQ(ios_detail_word(record(id)->detail, s.word)[1], 17u) << s.name;
    IosErrorCode error = kNoCode;
    EXPECT_EQ(s.set(handle(typeref(otherKind(s.kind))), 17, &error), 1) << s.name;
    EXPECT_EQ(error, kindError(s.kind)) << s.name;
  }
  TyperefRef none = ios_detail_ref_a(nullptr);
  EXPECT_EQ(none.resolved, 1u);
  EXPECT_EQ(none.id, 0u);
  none = ios_detail_ref_b(nullptr);
  EXPECT_EQ(none.resolved, 1u);
}

TEST_F(TypeOps, ListsAddedByHandleInternAndReadBackByType) {
  uint32_t e = typeref(IOS_TYPEREF_ENUM);
  ASSERT_EQ(ios_typeref_add_enum_entry(handle(e), {file_, name("red")}, 1, nullptr), 0);
  ASSERT_EQ(ios_typeref_add_enum_entry(handle(e), {file_, 0}, 2, nullptr), 0);
  EXPECT_NE(idtab_get(ios_detail_list(IOS_TYPEREF_ENUM, record(e)->detail), 0), nullptr);
  uint32_t a = typeref(IOS_TYPEREF_ARRAY);
  ASSERT_EQ(ios_typeref_set_array_type(handle(a), e, nullptr), 0);
  ASSERT_EQ(ios_typeref_add_array_dim(handle(a), 0, 9, nullptr), 0);
  ASSERT_EQ(ios_typeref_add_array_dim(handle(a), 0, 4, nullptr), 0);
  uint32_t arrayType = intern(a);
  uint32_t enumType = intern(e);
  uint32_t count = 0;
  ASSERT_EQ(ios_type_array_dim_count(handle(arrayType), &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  uint32_t dim[2] = {};
  ASSERT_EQ(ios_type_array_dim(handle(arrayType), 1, dim, nullptr), 0);
  EXPECT_EQ(dim[1], 4u);
  StringHandle enumerator{};
  uint32_t value = 0;
  ASSERT_EQ(ios_type_enum_entry(handle(enumType), 1, &enumerator, &value, nullptr), 0);
  EXPECT_EQ(enumerator.object_id, 0u);
  EXPECT_EQ(value, 2u);
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {"dimension count of a simple type",
       [&](IosErrorCode* x) { return ios_type_array_dim_count(handle(5), &count, x); }, -1,
       IOS_ERR_NO_PROPERTY},
      {"dimension count of an enum",
       [&](IosErrorCode* x) { return ios_type_array_dim_count(handle(enumType), &count, x); }, 1,
       IOS_ERR_TYPEREF_NOT_ARRAY},
      {"dimension past the list",
       [&](IosErrorCode* x) { return ios_type_array_dim(handle(arrayType), 2, dim, x); }, 1,
       IOS_ERR_INTERNAL},
      {"dimension of a type past the table",
       [&](IosErrorCode* x) { return ios_type_array_dim(handle(IOS_FIRST_TYPE_ID + 50), 0, dim, x); }, 1,
       IOS_ERR_NO_TYPE},
      {"enumerator of an array",
       [&](IosErrorCode* x) { return ios_type_enum_entry(handle(arrayType), 0, nullptr, nullptr, x); }, 1,
       IOS_ERR_TYPEREF_NOT_ENUM},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.call(&error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

TEST_F(TypeOps, MembersAndParametersAppendUnresolvedReferences) {
  uint32_t member = typeref(IOS_TYPEREF_MEMBER);
  uint32_t s = typeref(IOS_TYPEREF_STRUCTURE);
  ASSERT_EQ(ios_typeref_add_struct_member(handle(s), member, nullptr), 0);
  uint32_t count = 0;
  ASSERT_EQ(ios_struct_detail_member_count(record(s)->detail, &count, nullptr), 0);
  EXPECT_EQ(count, 1u);
  uint32_t f = typeref(IOS_TYPEREF_FUNCTION);
  ASSERT_EQ(ios_typeref_add_functype_param(handle(f), 7, {file_, name("x")}, nullptr), 0);
  ASSERT_EQ(ios_typeref_add_functype_param(handle(f), 8, {file_, 0}, nullptr), 0);
  TyperefRef param{};
  ASSERT_EQ(ios_functype_detail_param_ref(record(f)->detail, 1, &param, nullptr), 0);
  EXPECT_EQ(param.resolved, 0u);
  EXPECT_EQ(param.id, 8u);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_functype_detail_param_ref(record(f)->detail, 2, &param, &error), -1);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
  error = kNoCode;
  EXPECT_EQ(ios_typeref_add_union_member(handle(internedTwin(IOS_TYPEREF_UNION)), 1, &error), 1);
  EXPECT_EQ(error, IOS_ERR_INTERNAL);
  EXPECT_EQ(ios_typeref_add_struct_member(handle(internedTwin(IOS_TYPEREF_STRUCTURE)), 1, nullptr), 0);
}

TEST_F(TypeOps, InternedFunctionTypeTakesItsNameOnce) {
  uint32_t type = intern(typeref(IOS_TYPEREF_FUNCTION));
  ASSERT_EQ(ios_type_set_functype_name(handle(type), {file_, 2}, nullptr), 0);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_type_set_functype_name(handle(type), {file_, 2}, &error), 1);
  EXPECT_EQ(error, IOS_ERR_VALUE_EXISTS);
  IosType* record = nullptr;
  ASSERT_EQ(ios_type_find(handle(type), &record, nullptr), 0);
  StringHandle read{};
  ASSERT_EQ(ios_functype_detail_get_name(record->detail, &read, nullptr), 0);
  EXPECT_EQ(read.object_id, 2u);
}

}  // namespace
