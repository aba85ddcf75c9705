#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "objlib/DebugInfoFixture.h"
#include "objlib/ios_file_access.h"
#include "objlib/ios_typeops.h"
#include "objlib/ios_typetable.h"

namespace {

using TypeIntern = DebugInfoFile;

TEST_F(TypeIntern, FreshStoreHoldsTyperefZeroAndNumbersNewOnesFromOne) {
  IosTyperef* zero = record(0);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->kind, 0u);
  EXPECT_EQ(zero->detail, nullptr);
  EXPECT_EQ(typeref(5), 1u);
  EXPECT_EQ(typeref(IOS_TYPEREF_POINTER), 2u);
  IosTyperef* missing = record(1);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(ios_typeref_find(store_->typerefs, 3, &missing, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_TYPEREF);
  EXPECT_EQ(missing, nullptr);
}

TEST_F(TypeIntern, SimpleKindsInternToTheirCodeOutsideTheTable) {
  uint32_t simple = typeref(5);
  EXPECT_EQ(intern(simple), 5u);
  EXPECT_EQ(record(simple)->state, uint32_t{IOS_TYPEREF_DONE});
  EXPECT_EQ(typeCount(), 0u);
}

TEST_F(TypeIntern, EqualStructuresShareOneIdAndTheFirstIsTheFirstTypeId) {
  uint32_t a = structure("point", {});
  uint32_t b = structure("point", {});
  uint32_t c = structure("pixel", {});
  EXPECT_EQ(intern(a), IOS_FIRST_TYPE_ID);
  EXPECT_EQ(intern(b), IOS_FIRST_TYPE_ID);
  EXPECT_EQ(intern(c), IOS_FIRST_TYPE_ID + 1);
  EXPECT_EQ(typeCount(), 2u);
  // Interning again answers the same id and adds nothing.
  EXPECT_EQ(intern(a), IOS_FIRST_TYPE_ID);
  EXPECT_EQ(typeCount(), 2u);
}

TEST_F(TypeIntern, StructuresWithEqualMembersShareAnIdAndDifferentMembersDoNot) {
  struct Case {
    const char* name;
    uint32_t memberWord4;  // the member's word 4 in the second structure
    bool shared;
  };
  const Case cases[] = {{"same member words", 8, true}, {"member word 4 differs", 16, false}};
  for (const Case& c : cases) {
    SetUp();
    uint32_t m1 = typeref(IOS_TYPEREF_MEMBER);
    setWords(m1, 0, {1, 5, file_, name("x"), 8});
    uint32_t m2 = typeref(IOS_TYPEREF_MEMBER);
    setWords(m2, 0, {1, 5, file_, name("x"), c.memberWord4});
    uint32_t s1 = structure("s", {m1});
    uint32_t s2 = structure("s", {m2});
    EXPECT_EQ(intern(s1) == intern(s2), c.shared) << c.name;
  }
}

TEST_F(TypeIntern, SelfReferencingStructureTakesTheReservedId) {
  // struct node { struct node* next; }
  uint32_t pointer = typeref(IOS_TYPEREF_POINTER);
  uint32_t member = typeref(IOS_TYPEREF_MEMBER);
  uint32_t node = structure("node", {member});
  setWords(pointer, 0, {0, node});
  setWords(member, 0, {0, pointer, file_, name("next")});
  uint32_t nodeId = intern(node);
  // The structure reserved the first id when its pointer led back to it; the
  // pointer and the member came after.
  EXPECT_EQ(nodeId, IOS_FIRST_TYPE_ID);
  EXPECT_EQ(typeCount(), 3u);
  IosType* pointerType = nullptr;
  ASSERT_EQ(ios_type_lookup(store_->table, intern(pointer), &pointerType, nullptr), 0);
  EXPECT_EQ(ios_detail_word(pointerType->detail, 0)[0], 1u);
  EXPECT_EQ(ios_detail_word(pointerType->detail, 0)[1], nodeId);
  IosType* nodeType = nullptr;
  ASSERT_EQ(ios_type_lookup(store_->table, nodeId, &nodeType, nullptr), 0);
  EXPECT_EQ(nodeType->kind, uint32_t{IOS_TYPEREF_STRUCTURE});
  EXPECT_EQ(nodeType->type_id, nodeId);
  EXPECT_EQ(record(node)->state, uint32_t{IOS_TYPEREF_DONE});
}

TEST_F(TypeIntern, TwoEqualRecursiveStructuresEachGetTheirOwnReservedId) {
  // Reserved types are stored without a search, so equal cycles are not merged.
  uint32_t ids[2];
  for (uint32_t& id : ids) {
    uint32_t pointer = typeref(IOS_TYPEREF_POINTER);
    uint32_t node = structure("node", {pointer});
    setWords(pointer, 0, {0, node});
    id = intern(node);
  }
  EXPECT_NE(ids[0], ids[1]);
}

TEST_F(TypeIntern, ResolvedReferencesAreLeftAlone) {
  uint32_t s = structure("s", {});
  addEntry(s, 1, 7);
  uint32_t f = typeref(IOS_TYPEREF_FUNCTION);
  setWords(f, 2, {1, 9});
  ASSERT_NE(intern(s), 0u);
  ASSERT_NE(intern(f), 0u);
  IosType* type = nullptr;
  ASSERT_EQ(ios_type_lookup(store_->table, intern(s), &type, nullptr), 0);
  const auto* entry = static_cast<uint32_t*>(idtab_get(ios_detail_list(type->kind, type->detail), 0));
  EXPECT_EQ(entry[0], 1u);
  EXPECT_EQ(entry[1], 7u);
}

TEST_F(TypeIntern, KindsWithoutDetailFailWithoutCodeAndEndDone) {
  for (uint32_t kind : {128u, 136u, 139u, 142u}) {
    uint32_t id = typeref(kind);
    IosErrorCode error = kNoCode;
    TypeHandle type{};
    EXPECT_EQ(ios_typeref_intern_by_id(&type, &error, file_, 1, id), 1) << kind;
    EXPECT_EQ(error, kNoCode) << kind;
    EXPECT_EQ(record(id)->state, uint32_t{IOS_TYPEREF_DONE}) << kind;
  }
}

TEST_F(TypeIntern, MemberWalkReportsTheFirstFailureAndStillInternsTheRest) {
  uint32_t good = typeref(IOS_TYPEREF_POINTER);
  setWords(good, 0, {1, 5});
  uint32_t s = structure("s", {77, good});  // typeref 77 does not exist
  IosErrorCode error = kNoCode;
  EXPECT_EQ(intern(s, &error), 0u);
  EXPECT_EQ(error, IOS_ERR_NO_TYPEREF);
  // The later member was interned and rewritten all the same.
  const auto* entry =
      static_cast<uint32_t*>(idtab_get(ios_detail_list(IOS_TYPEREF_STRUCTURE, record(s)->detail), 1));
  EXPECT_EQ(entry[0], 1u);
  EXPECT_EQ(entry[1], intern(good));
}

TEST_F(TypeIntern, FunctionTypeReportsAFailedResultEvenWhenParametersSucceed) {
  uint32_t f = typeref(IOS_TYPEREF_FUNCTION);
  setWords(f, 2, {0, 55});  // no such typeref
  uint32_t p = typeref(9);
  addEntry(f, 0, p);
  IosErrorCode error = kNoCode;
  EXPECT_EQ(intern(f, &error), 0u);
  EXPECT_EQ(error, IOS_ERR_NO_TYPEREF);
  EXPECT_EQ(record(p)->state, uint32_t{IOS_TYPEREF_DONE});
}

TEST_F(TypeIntern, MissingEntryStopsTheWalkWithCode2) {
  uint32_t s = structure("s", {});
  IdTable* list = ios_detail_list(IOS_TYPEREF_STRUCTURE, record(s)->detail);
  ASSERT_EQ(idtab_set(list, 1, nullptr), 0);  // slot 0 never filled
  IosErrorCode error = kNoCode;
  EXPECT_EQ(intern(s, &error), 0u);
  EXPECT_EQ(error, IOS_ERR_NO_PROPERTY);
}

TEST_F(TypeIntern, EqualityComparesTheWordsEachKindNames) {
  struct Case {
    const char* name;
    uint32_t kind;
    int word;
    bool compared;
  };
  const Case cases[] = {
      {"array element", IOS_TYPEREF_ARRAY, 1, true},
      {"array name", IOS_TYPEREF_ARRAY, 3, false},
      {"enum word 2", IOS_TYPEREF_ENUM, 2, true},
      {"pointer word 3", IOS_TYPEREF_POINTER, 3, true},
      {"reference target", IOS_TYPEREF_REFERENCE, 1, true},
      {"typedef target", IOS_TYPEREF_TYPEDEF, 1, true},
      {"structure word 0", IOS_TYPEREF_STRUCTURE, 0, true},
      {"union word 0", IOS_TYPEREF_UNION, 0, true},
      {"function result", IOS_TYPEREF_FUNCTION, 3, true},
      {"function word 4", IOS_TYPEREF_FUNCTION, 4, true},
      {"function word 5", IOS_TYPEREF_FUNCTION, 5, false},
      {"qualifier word 2", IOS_TYPEREF_QUALIFIER, 2, true},
      {"member word 6", IOS_TYPEREF_MEMBER, 6, true},
      {"bitfield word 1", IOS_TYPEREF_BITFIELD, 1, true},
  };
  for (const Case& c : cases) {
    uint32_t a = typeref(c.kind);
    uint32_t b = typeref(c.kind);
    EXPECT_EQ(ios_typeref_equal(c.kind, record(a)->detail, c.kind, record(b)->detail), 1) << c.name;
    setWords(b, c.word, {*ios_detail_word(record(b)->detail, c.word) + 1});
    EXPECT_EQ(ios_typeref_equal(c.kind, record(a)->detail, c.kind, record(b)->detail),
              c.compared ? 0 : 1)
        << c.name;
  }
  EXPECT_EQ(ios_typeref_equal(5, nullptr, 5, nullptr), 1);
  EXPECT_EQ(ios_typeref_equal(5, nullptr, 6, nullptr), 0);
  EXPECT_EQ(ios_typeref_equal(136, nullptr, 136, nullptr), 0);
}

TEST_F(TypeIntern, NamesCompareByTextAndAbsentOnlyEqualsAbsent) {
  uint32_t a = name("int"), b = name("int"), c = name("long");
  EXPECT_EQ(ios_string_ids_equal(file_, a, file_, b), 1);
  EXPECT_EQ(ios_string_ids_equal(file_, a, file_, c), 0);
  EXPECT_EQ(ios_string_ids_equal(file_, 0, file_, 0), 1);
  EXPECT_EQ(ios_string_ids_equal(file_, a, file_, 0), 0);
  EXPECT_EQ(ios_string_ids_equal(file_, 99, file_, 0), 1);  // a failed lookup has no text
}

TEST_F(TypeIntern, FreeingTheFileReleasesEveryTypeAndTyperef) {
  // Run under the sanitizer build this shows leaks; here it must simply not fail.
  uint32_t pointer = typeref(IOS_TYPEREF_POINTER);
  uint32_t node = structure("node", {pointer});
  setWords(pointer, 0, {0, node});
  ASSERT_NE(intern(node), 0u);
  EXPECT_EQ(ios_file_delete(file_, nullptr), 0);
}

}  // namespace

namespace {

using TypeInternIndex = DebugInfoFile;

// A detail written after its type is interned must be found under its new
// structure, and no longer under the old one.
TEST_F(TypeInternIndex, ATypeChangedAfterInterningMergesByItsNewStructure) {
  struct Case {
    const char* name;
    uint32_t kind;
    std::function<void(uint32_t)> shapeOld;  // on a fresh typeref: the structure as interned
    std::function<void(void*)> change;       // on the interned detail
    std::function<void(uint32_t)> shapeNew;  // on a fresh typeref: the changed structure
  };
  uint32_t b = 0;
  const Case cases[] = {
      {"word setter", IOS_TYPEREF_STRUCTURE,
       [&](uint32_t id) { setWords(id, 0, {4, file_, name("a")}); },
       [&](void* detail) { EXPECT_EQ(ios_struct_detail_set_field0(detail, 9, nullptr), 0); },
       [&](uint32_t id) { setWords(id, 0, {9, file_, name("a")}); }},
      {"name setter", IOS_TYPEREF_STRUCTURE, [&](uint32_t id) { setWords(id, 0, {4, 0, 0}); },
       [&](void* detail) {
         b = name("b");
         EXPECT_EQ(ios_struct_detail_set_name(detail, {file_, b}, nullptr), 0);
       },
       [&](uint32_t id) { setWords(id, 0, {4, file_, name("b")}); }},
      {"list entry", IOS_TYPEREF_UNION, [&](uint32_t id) { setWords(id, 0, {4, 0, 0}); },
       [&](void* detail) {
         EXPECT_EQ(ios_union_detail_set_member_entry(detail, 0, 1, 5, nullptr), 0);
       },
       [&](uint32_t id) {
         setWords(id, 0, {4, 0, 0});
         addEntry(id, 1, 5);
       }},
  };
  for (const Case& c : cases) {
    SetUp();
    uint32_t first = typeref(c.kind);
    c.shapeOld(first);
    ASSERT_EQ(intern(first), IOS_FIRST_TYPE_ID) << c.name;
    IosType* type = nullptr;
    ASSERT_EQ(ios_type_lookup(store_->table, IOS_FIRST_TYPE_ID, &type, nullptr), 0);
    c.change(type->detail);
    uint32_t changed = typeref(c.kind);
    c.shapeNew(changed);
    EXPECT_EQ(intern(changed), IOS_FIRST_TYPE_ID) << c.name;
    uint32_t old = typeref(c.kind);
    c.shapeOld(old);
    EXPECT_EQ(intern(old), IOS_FIRST_TYPE_ID + 1) << c.name;
    EXPECT_EQ(typeCount(), 2u) << c.name;
  }
}

// Many distinct types and their repeats: each repeat finds its first, whatever
// the number of types already interned.
TEST_F(TypeInternIndex, RepeatsAmongManyTypesFindTheirFirst) {
  constexpr uint32_t kCount = 300;
  std::vector<uint32_t> ids;
  for (uint32_t round = 0; round < 2; ++round) {
    for (uint32_t i = 0; i < kCount; ++i) {
      uint32_t pointer = typeref(IOS_TYPEREF_POINTER);
      setWords(pointer, 0, {1, i % 7, i, 0});
      uint32_t id = intern(pointer);
      if (round == 0) ids.push_back(id);
      else EXPECT_EQ(id, ids[i]) << i;
    }
  }
  EXPECT_EQ(typeCount(), kCount);
}


// ---- Names without text, and texts that change after interning ----

class TypeInternNames : public DebugInfoFile {
 protected:
  enum class Textless { EmptyBytes, ReservedNothing, TextTaken };

  // A string of the file whose record has no text.
  uint32_t textless(Textless how) {
    IosHandle made{};
    switch (how) {
      case Textless::EmptyBytes:
        EXPECT_EQ(ios_strtab_add_bytes(file_, nullptr, 0, &made, nullptr), 0);
        break;
      case Textless::ReservedNothing:
        EXPECT_EQ(ios_strtab_reserve(file_, 0, &made, nullptr), 0);
        break;
      case Textless::TextTaken: {
        made = IosHandle{file_, name("gone")};
        char* text = nullptr;
        uint32_t length = 0;
        EXPECT_EQ(ios_string_take_text(made, &text, &length, nullptr), 0);
        ios_string_text_free(text, length);
        break;
      }
    }
    return made.object_id;
  }
  // A typeref of the kind whose name (or, for enumerator, its one enumerator's name)
  // is the given string id; 0 leaves it without a name.
  uint32_t named(uint32_t kind, bool enumerator, uint32_t string_id) {
    uint32_t id = typeref(kind);
    if (enumerator) {
      IdTable* list = ios_detail_list(kind, record(id)->detail);
      EXPECT_EQ(ios_typetable_set_entry(&list, 0, file_, string_id, nullptr, 3), 0);
      static_cast<uint32_t*>(idtab_get(list, 0))[2] = 7;
    } else if (string_id != 0) {
      setWords(id, ios_detail_kind(kind)->name_word, {file_, string_id});
    }
    return id;
  }
};

TEST_F(TypeInternNames, ANameWithoutTextCountsAsNoName) {
  struct Case {
    const char* name;
    uint32_t kind;
    bool enumerator;
  };
  const Case cases[] = {
      {"structure", IOS_TYPEREF_STRUCTURE, false}, {"union", IOS_TYPEREF_UNION, false},
      {"enum", IOS_TYPEREF_ENUM, false},           {"enumerator", IOS_TYPEREF_ENUM, true},
      {"typedef", IOS_TYPEREF_TYPEDEF, false},     {"member", IOS_TYPEREF_MEMBER, false},
      {"function type", IOS_TYPEREF_FUNCTION, false},
  };
  const Textless ways[] = {Textless::EmptyBytes, Textless::ReservedNothing, Textless::TextTaken};
  for (const Case& c : cases) {
    for (Textless way : ways) {
      SetUp();
      uint32_t withTextless = named(c.kind, c.enumerator, textless(way));
      uint32_t withNone = named(c.kind, c.enumerator, 0);
      uint32_t first = intern(withTextless);
      EXPECT_GE(first, IOS_FIRST_TYPE_ID) << c.name << " way " << static_cast<int>(way);
      EXPECT_EQ(intern(withNone), first) << c.name << " way " << static_cast<int>(way);
      EXPECT_EQ(typeCount(), 1u) << c.name << " way " << static_cast<int>(way);
    }
  }
}

TEST_F(TypeInternNames, ANameWhoseTextChangesAfterInterningStillFindsItsEqual) {
  struct Case {
    const char* name;
    bool giveText;  // false: the first name's text is taken; true: a textless name gets one
  };
  const Case cases[] = {{"text taken", false}, {"text given", true}};
  for (const Case& c : cases) {
    SetUp();
    uint32_t firstName = c.giveText ? textless(Textless::ReservedNothing) : name("S");
    uint32_t first = named(IOS_TYPEREF_STRUCTURE, false, firstName);
    ASSERT_EQ(intern(first), IOS_FIRST_TYPE_ID) << c.name;
    uint32_t secondName = 0;
    if (c.giveText) {
      // The text comes from another string, which is how texts change hands.
      IosHandle donor{file_, name("T")};
      char* text = nullptr;
      uint32_t length = 0;
      ASSERT_EQ(ios_string_take_text(donor, &text, &length, nullptr), 0);
      ASSERT_EQ(ios_string_set_text(IosHandle{file_, firstName}, text, length, nullptr), 0)
          << c.name;
      secondName = name("T");
    } else {
      char* text = nullptr;
      uint32_t length = 0;
      ASSERT_EQ(ios_string_take_text(IosHandle{file_, firstName}, &text, &length, nullptr), 0);
      ios_string_text_free(text, length);
    }
    uint32_t second = named(IOS_TYPEREF_STRUCTURE, false, secondName);
    IosType* interned = nullptr;
    ASSERT_EQ(ios_type_lookup(store_->table, IOS_FIRST_TYPE_ID, &interned, nullptr), 0);
    ASSERT_EQ(ios_typeref_equal(interned->kind, interned->detail, record(second)->kind,
                                record(second)->detail),
              1)
        << c.name;
    EXPECT_EQ(intern(second), IOS_FIRST_TYPE_ID) << c.name;
    EXPECT_EQ(typeCount(), 1u) << c.name;
  }
}

TEST_F(TypeInternNames, ANameOfBytesWithoutItsNulEndsWithItsLength) {
  struct Case {
    const char* other;  // the second structure's name
    bool shared;
  };
  const Case cases[] = {{"abcd", true}, {"abcde", false}, {"abc", false}};
  for (const Case& c : cases) {
    SetUp();
    IosHandle bytes{};
    // Four bytes fill the text's block exactly: no NUL follows them.
    ASSERT_EQ(ios_strtab_add_bytes(file_, "abcd", 4, &bytes, nullptr), 0);
    uint32_t first = named(IOS_TYPEREF_STRUCTURE, false, bytes.object_id);
    uint32_t second = named(IOS_TYPEREF_STRUCTURE, false, name(c.other));
    EXPECT_EQ(intern(first), IOS_FIRST_TYPE_ID) << c.other;
    EXPECT_EQ(intern(second) == IOS_FIRST_TYPE_ID, c.shared) << c.other;
  }
}

// ---- Depth ----

TEST_F(TypeIntern, LongPointerChainsInternAndAreWalkedWithoutDeepRecursion) {
  // Far deeper than the machine's stack would allow one frame per reference.
  constexpr uint32_t kChain = 200000;
  uint32_t first = typeref(IOS_TYPEREF_POINTER);
  uint32_t previous = first;
  for (uint32_t i = 1; i < kChain; ++i) {
    uint32_t next = typeref(IOS_TYPEREF_POINTER);
    setWords(previous, 0, {0, next});
    previous = next;
  }
  setWords(previous, 0, {0, typeref(5)});
  // The deepest pointer is interned first, the head last.
  EXPECT_EQ(intern(first), IOS_FIRST_TYPE_ID + kChain - 1);
  EXPECT_EQ(typeCount(), kChain);
  IosType* deepest = nullptr;
  ASSERT_EQ(ios_type_lookup(store_->table, IOS_FIRST_TYPE_ID, &deepest, nullptr), 0);
  EXPECT_EQ(reinterpret_cast<TyperefRef*>(deepest->detail)->id, 5u);

  IosDebugHandle key{};
  ASSERT_EQ(ios_typetable_create(file_, &key, nullptr), 0);
  IosErrorCode error = kNoCode;
  ASSERT_EQ(ios_typetable_enter_type(key, file_, 1, first, nullptr, &error), 0);
  EXPECT_EQ(error, kNoCode);
  // The walk reached every type of the chain exactly once.
  uint32_t visitedOnce = 0;
  for (uint32_t id = 1; id <= typeCount(); ++id)
    visitedOnce += static_cast<IosType*>(idtab_get(store_->table->types, id - 1))->visits == 1;
  EXPECT_EQ(visitedOnce, kChain);
}

}  // namespace
