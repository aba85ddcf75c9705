#include <gtest/gtest.h>

#include <functional>

#include "objlib/DebugInfoFixture.h"
#include "objlib/ios_typetable.h"

namespace {

class TypeTables : public DebugInfoFile {
 protected:
  void SetUp() override {
    DebugInfoFile::SetUp();
    ASSERT_EQ(ios_typetable_create(file_, &key_, nullptr), 0);
    ASSERT_EQ(ios_find_typetable(key_, &table_, nullptr), 0);
  }
  IosType* type(uint32_t typeId) {
    IosType* found = nullptr;
    EXPECT_EQ(ios_type_lookup(store_->table, typeId, &found, nullptr), 0);
    return found;
  }
  IosTypeEntry* entryRecord(uint32_t id) {
    IosFile* file = nullptr;
    EXPECT_EQ(ios_get_file(file_, &file, nullptr), 0);
    return static_cast<IosTypeEntry*>(idtab_get(file->debug_root->type_entries.table, id - 1));
  }
  // A member typeref of the given typeref's type.
  uint32_t member(uint32_t of) {
    uint32_t m = typeref(IOS_TYPEREF_MEMBER);
    setWords(m, 0, {0, of});
    return m;
  }

  IosDebugHandle key_{};
  IosTypeTable* table_ = nullptr;
};

TEST_F(TypeTables, SimpleTypeEntersAsOneAdminRecordNamingItsCode) {
  IosDebugHandle entry{};
  ASSERT_EQ(ios_typetable_enter_simple_type(key_, file_, 1, typeref(5), &entry, nullptr), 0);
  EXPECT_EQ(entry.record_id, 1u);
  IosTypeEntry* record = entryRecord(1);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->type.file_id, file_);
  EXPECT_EQ(record->type.root_id, 1u);
  EXPECT_EQ(record->type.type_id, 5u);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_typetable_enter_simple_type(key_, file_, 1, structure("s", {}), &entry, &error), 1);
  EXPECT_EQ(error, IOS_ERR_TYPEREF_NOT_SIMPLE);
}

TEST_F(TypeTables, CompositeTypeEnteredTwiceIsListedOnceWithTwoAdminRecords) {
  uint32_t s = structure("s", {});
  IosDebugHandle first{}, second{};
  ASSERT_EQ(ios_typetable_enter_type(key_, file_, 1, s, &first, nullptr), 0);
  ASSERT_EQ(ios_typetable_enter_type(key_, file_, 1, s, &second, nullptr), 0);
  EXPECT_EQ(first.record_id, 1u);
  EXPECT_EQ(second.record_id, 2u);
  EXPECT_EQ(idtab_count(table_->entered), 1u);
  EXPECT_EQ(ios_item_id(idtab_get(table_->entered, 0)), intern(s));
}

TEST_F(TypeTables, LookupFailuresHaveTheirCodes) {
  struct Case {
    const char* name;
    std::function<int(IosErrorCode*)> call;
    IosErrorCode error;
  };
  uint32_t s = structure("s", {});
  const Case cases[] = {
      {"no such type table",
       [&](IosErrorCode* e) { return ios_find_typetable({file_, 1, 9}, nullptr, e); },
       IOS_ERR_NO_TYPETABLE},
      {"pointer target of a structure",
       [&](IosErrorCode* e) { return ios_typeref_set_pointer_target(file_, 1, s, 1, e); },
       IOS_ERR_TYPEREF_NOT_POINTER},
      {"pointer target of no typeref",
       [&](IosErrorCode* e) { return ios_typeref_set_pointer_target(file_, 1, 99, 1, e); },
       IOS_ERR_NO_TYPEREF},
      {"enter into no table",
       [&](IosErrorCode* e) { return ios_typetable_enter_type({file_, 1, 9}, file_, 1, s, nullptr, e); },
       IOS_ERR_NO_TYPETABLE},
      {"admin record without admin",
       [&](IosErrorCode* e) { return ios_typetable_admin_add_type(nullptr, nullptr, e, {}); },
       IOS_ERR_INTERNAL},
  };
  for (const Case& c : cases) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.call(&error), 1) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

TEST_F(TypeTables, PointerTargetIsStoredUnresolved) {
  uint32_t p = typeref(IOS_TYPEREF_POINTER);
  uint32_t s = structure("s", {});
  ASSERT_EQ(ios_typeref_set_pointer_target(file_, 1, p, s, nullptr), 0);
  EXPECT_EQ(ios_detail_word(record(p)->detail, 0)[0], 0u);
  EXPECT_EQ(ios_detail_word(record(p)->detail, 0)[1], s);
  // Entering the pointer interns the target through it and walks into it.
  ASSERT_EQ(ios_typetable_enter_type(key_, file_, 1, p, nullptr, nullptr), 0);
  EXPECT_EQ(type(intern(s))->visits, 1u);
}

TEST_F(TypeTables, WalkVisitsParametersAfterASimpleResultType) {
  uint32_t param = structure("param", {});
  uint32_t f = typeref(IOS_TYPEREF_FUNCTION);
  setWords(f, 2, {1, 5});
  addEntry(f, 0, param);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_typetable_enter_type(key_, file_, 1, f, nullptr, &error), 0);
  EXPECT_EQ(type(intern(param))->visits, 1u);
  EXPECT_EQ(error, kNoCode);
}

TEST_F(TypeTables, SimpleMembersAndRepeatedVisitsAreNoFailures) {
  // struct { int a; int b; }: both members stop at the simple type.
  uint32_t s = structure("s", {member(typeref(5)), member(typeref(6))});
  uint32_t id = intern(s);
  struct Step {
    int result;
    uint32_t visits;
    uint32_t listed;
  };
  // The first visit walks; the second lists the structure and, walking on, its two
  // members; from the third on the walk stops at the structure.
  const Step steps[] = {{0, 1, 0}, {0, 2, 3}, {1, 3, 3}, {1, 4, 3}};
  for (const Step& step : steps) {
    IosErrorCode error = kNoCode;
    EXPECT_EQ(ios_typeref_mark_reachable_top(key_, file_, 1, id, 0, &error), step.result);
    EXPECT_EQ(error, kNoCode);
    EXPECT_EQ(type(id)->visits, step.visits);
    EXPECT_EQ(idtab_count(table_->types), step.listed);
  }
  EXPECT_EQ(ios_typeref_mark_reachable(key_, file_, 1, 5, 0, nullptr), 1);
}

TEST_F(TypeTables, WalkReportsTheFirstFailureAndVisitsTheRest) {
  uint32_t broken = typeref(IOS_TYPEREF_POINTER);
  setWords(broken, 0, {1, IOS_FIRST_TYPE_ID + 400});  // resolved to a type that is not there
  uint32_t later = structure("later", {});
  uint32_t s = structure("s", {member(broken), member(later)});
  uint32_t id = intern(s);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_typeref_mark_reachable_top(key_, file_, 1, id, 0, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_TYPE);
  EXPECT_EQ(type(intern(later))->visits, 1u);
}

}  // namespace
