#include <gtest/gtest.h>

#include <cstdint>

#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_typeref.h"

namespace {

// Blocks in use in the size-class pool that serves records of this size.
size_t inUse(size_t size) {
  BlockPool* pool = pool_find(size);
  return pool != nullptr ? pool->in_use : 0;
}

TEST(TypeRef, CompositeKindsGetARecordWithUnsetIdsAndSimpleCodesNone) {
  struct Case {
    uint32_t kind;
    bool record;
    uint32_t entryWords;
  };
  const Case cases[] = {
      {0, false, 0},    {127, false, 0},  {128, false, 0}, {129, true, 2},  {130, true, 3},
      {131, true, 0},   {132, true, 0},   {133, true, 0},  {134, true, 2},  {135, true, 2},
      {136, false, 0},  {137, true, 4},   {138, true, 0},  {139, false, 0}, {140, true, 0},
      {141, true, 0},   {142, false, 0},  {0xFFFFFFFF, false, 0},
  };
  for (const Case& c : cases) {
    size_t size = ios_typeref_detail_size(c.kind);
    size_t before = size != 0 ? inUse(size) : 0;
    IosTyperefKindDetail made = ios_typeref_detail_new(c.kind);
    EXPECT_EQ(made.kind, c.kind);
    EXPECT_EQ(made.detail != nullptr, c.record) << c.kind;
    EXPECT_EQ(ios_typeref_entry_words(c.kind), c.entryWords) << c.kind;
    if (made.detail == nullptr) continue;
    switch (c.kind) {
      case IOS_TYPEREF_ENUM:
        EXPECT_EQ(static_cast<IosTyperefEnum*>(made.detail)->id, IOS_TYPEREF_UNSET_ID);
        break;
      case IOS_TYPEREF_STRUCTURE:
      case IOS_TYPEREF_UNION:
        EXPECT_EQ(static_cast<IosTyperefStructure*>(made.detail)->id, IOS_TYPEREF_UNSET_ID);
        EXPECT_EQ(static_cast<IosTyperefStructure*>(made.detail)->words[0], 0u);
        break;
      case IOS_TYPEREF_MEMBER:
        for (uint32_t id : static_cast<IosTyperefMember*>(made.detail)->ids) {
          EXPECT_EQ(id, IOS_TYPEREF_UNSET_ID);
        }
        break;
      case IOS_TYPEREF_BITFIELD:
        EXPECT_EQ(static_cast<IosTyperefBitfield*>(made.detail)->word, 0u);
        EXPECT_EQ(static_cast<IosTyperefBitfield*>(made.detail)->id, IOS_TYPEREF_UNSET_ID);
        break;
      default:
        break;
    }
    ios_typeref_detail_free(c.kind, made.detail);
    EXPECT_EQ(inUse(size), before) << c.kind << ": the record went back to its pool";
  }
}

TEST(TypeRef, FreeingReturnsTheEntriesThatExistThenTheTableAndTheRecord) {
  struct Case {
    uint32_t kind;
    uint32_t entries;
    uint32_t cleared;  // id of an entry taken out before the free, 0 for none
  };
  const Case cases[] = {
      {IOS_TYPEREF_STRUCTURE, 5, 3},
      {IOS_TYPEREF_UNION, 2, 0},
      {IOS_TYPEREF_ARRAY, 3, 1},
      {IOS_TYPEREF_ENUM, 40, 40},
      {IOS_TYPEREF_FUNCTION, 0, 0},
  };
  for (const Case& c : cases) {
    size_t entrySize = ios_typeref_entry_words(c.kind) * sizeof(uint32_t);
    size_t before = inUse(entrySize);
    IosTyperefKindDetail made = ios_typeref_detail_new(c.kind);
    ASSERT_NE(made.detail, nullptr);
    for (uint32_t i = 1; i <= c.entries; ++i) {
      uint32_t id = 0;
      ASSERT_EQ(ios_typeref_entry_add(c.kind, made.detail, &id), 0);
      EXPECT_EQ(id, i);
    }
    if (c.cleared != 0) {
      // The owner of the entry took it out and returned it itself; its slot stays empty.
      IdTable* table = c.kind == IOS_TYPEREF_ENUM
                           ? static_cast<IosTyperefEnum*>(made.detail)->enumerators
                       : c.kind == IOS_TYPEREF_ARRAY
                           ? static_cast<IosTyperefArray*>(made.detail)->dimensions
                           : static_cast<IosTyperefStructure*>(made.detail)->members;
      pool_free(idtab_get(table, c.cleared - 1), entrySize);
      ASSERT_EQ(idtab_set(table, c.cleared - 1, nullptr), 0);
    }
    ios_typeref_detail_free(c.kind, made.detail);
    EXPECT_EQ(inUse(entrySize), before) << c.kind;
  }
}

TEST(TypeRef, EntriesGoOnlyIntoKindsWithATable) {
  IosTyperefKindDetail pointer = ios_typeref_detail_new(IOS_TYPEREF_POINTER);
  uint32_t id = 0;
  EXPECT_EQ(ios_typeref_entry_add(IOS_TYPEREF_POINTER, pointer.detail, &id), 1);
  EXPECT_EQ(ios_typeref_entry_add(IOS_TYPEREF_STRUCTURE, nullptr, &id), 1);
  ios_typeref_detail_free(IOS_TYPEREF_POINTER, pointer.detail);
  // A missing record or a kind without one frees nothing.
  ios_typeref_detail_free(IOS_TYPEREF_STRUCTURE, nullptr);
  ios_typeref_detail_free(5, nullptr);
}

}  // namespace
