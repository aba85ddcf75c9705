// A store file with its debug root, and helpers that build typerefs word by word.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "objlib/StoreFileFixture.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"

// Written into error slots before a call, so that a call that stores nothing shows.
inline constexpr IosErrorCode kNoCode = static_cast<IosErrorCode>(999);

class DebugInfoFile : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    IosHandle root{};
    ASSERT_EQ(ios_file_get_debug_root(file_, &root, nullptr), 0);
    ASSERT_EQ(ios_get_type_store(&store_, nullptr, file_), 0);
  }

  uint32_t typeref(uint32_t kind) {
    TypeHandle made{};
    EXPECT_EQ(ios_typetable_add_entry(store_, kind, &made), 0);
    return made.type_id;
  }
  IosTyperef* record(uint32_t id) {
    IosTyperef* found = nullptr;
    EXPECT_EQ(ios_typeref_find(store_->typerefs, id, &found, nullptr), 0);
    return found;
  }
  // Words of a typeref's detail, from word `first` on.
  void setWords(uint32_t id, int first, std::initializer_list<uint32_t> words) {
    for (uint32_t w : words) *ios_detail_word(record(id)->detail, first++) = w;
  }
  // Appends an entry of the kind's list whose first two words are given.
  void addEntry(uint32_t id, uint32_t a, uint32_t b) {
    IosTyperef* r = record(id);
    const IosDetailKind* row = ios_detail_kind(r->kind);
    IdTable* list = ios_detail_list(r->kind, r->detail);
    ASSERT_EQ(ios_typetable_set_entry(&list, list->highest_id, a, b, nullptr, row->entry_words), 0);
  }
  uint32_t name(const char* text) {
    IosHandle made{};
    EXPECT_EQ(ios_strtab_add(file_, text, &made, nullptr), 0);
    return made.object_id;
  }
  // Interns and answers the type id, or 0 on failure.
  uint32_t intern(uint32_t id, IosErrorCode* error = nullptr) {
    TypeHandle type{};
    if (ios_typeref_intern_by_id(&type, error, file_, 1, id) != 0) return 0;
    return type.type_id;
  }
  uint32_t typeCount() { return store_->table->types->highest_id; }
  // A structure named `text` with the given member references {0, typeref id}.
  uint32_t structure(const char* text, std::initializer_list<uint32_t> members) {
    uint32_t id = typeref(IOS_TYPEREF_STRUCTURE);
    setWords(id, 0, {4, file_, name(text)});
    for (uint32_t m : members) addEntry(id, 0, m);
    return id;
  }

  IosTypeStore* store_ = nullptr;
};
