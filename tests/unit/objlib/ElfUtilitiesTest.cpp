#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/elf_context.h"
#include "objlib/elf_symtab.h"
#include "objlib/elf_utilities.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section_ops.h"
#include "objlib/ios_symbol.h"

namespace {

int compareInts(const void* left, const void* right) {
  int a = *static_cast<const int*>(left), b = *static_cast<const int*>(right);
  return a < b ? -1 : (a > b ? 1 : 0);
}

TEST(ElfTableSort, ShortAndLongTablesSortAlike) {
  struct Case {
    std::vector<int> keys;
  };
  std::vector<int> fifteen, fourteen, descending, sixty;
  for (int i = 0; i < 15; ++i) fifteen.push_back((i * 7) % 15);
  for (int i = 0; i < 14; ++i) fourteen.push_back((i * 5) % 14);
  for (int i = 100; i > 0; --i) descending.push_back(i);
  for (int i = 0; i < 60; ++i) sixty.push_back((i * 37) % 61);
  const Case cases[] = {{fourteen}, {fifteen}, {descending}, {sixty}, {{}}, {{3}}};
  for (const Case& c : cases) {
    std::vector<int> keys = c.keys;
    IdTable* table = idtab_new();
    for (int& key : keys) ASSERT_EQ(idtab_append(table, &key), 0);
    elf_table_sort(table, compareInts);
    std::vector<int> sorted;
    for (uint32_t id = 1; id <= table->highest_id; ++id)
      sorted.push_back(*static_cast<int*>(idtab_get(table, id - 1)));
    std::vector<int> expected = c.keys;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected) << c.keys.size();
    idtab_delete(table);
  }
}

class ValueToU64 : public OneStoreFile {};

TEST_F(ValueToU64, GivesTheLowEightBytes) {
  struct Case {
    int64_t value;
    uint64_t expected;
  };
  const Case cases[] = {{0, 0}, {0x123456789A, 0x123456789A}, {-1, ~uint64_t{0}}};
  for (const Case& c : cases) {
    ExprNode* node = integer(c.value);
    uint64_t value = 7;
    EXPECT_EQ(expr_value_to_u64(node, &value), 0);
    EXPECT_EQ(value, c.expected);
    expr_release(node);
  }
}

// An error code that no operation stores: a getter that leaves it shows it gave none.
constexpr IosErrorCode kNoCode = static_cast<IosErrorCode>(IOS_ERROR_CODE_COUNT);

// Both record arrays hand out cleared records at consecutive indexes whose addresses
// lie one entry size apart while the array has room.
TEST(ElfWriterRecords, NextRecordsStepByTheEntrySize) {
  struct Case {
    const char* name;
    void (*reserve)(ElfContext*);
    int (*take)(ElfContext*, unsigned char**, uint32_t*);
    unsigned char* (*start)(ElfContext*);
    size_t entrySize;
  };
  const Case cases[] = {
      {"section headers", [](ElfContext* c) { c->section_headers.reserve(8); },
       [](ElfContext* c, unsigned char** at, uint32_t* index) {
         ElfSectionHeader* record = nullptr;
         int status = elf_next_section_record(c, &record, index);
         *at = reinterpret_cast<unsigned char*>(record);
         return status;
       },
       [](ElfContext* c) { return reinterpret_cast<unsigned char*>(c->section_headers.data()); },
       sizeof(ElfSectionHeader)},
      {"program headers", [](ElfContext* c) { c->program_headers.reserve(8); },
       [](ElfContext* c, unsigned char** at, uint32_t* index) {
         ElfProgramHeader* record = nullptr;
         int status = elf_next_program_record(c, &record, index);
         *at = reinterpret_cast<unsigned char*>(record);
         return status;
       },
       [](ElfContext* c) { return reinterpret_cast<unsigned char*>(c->program_headers.data()); },
       sizeof(ElfProgramHeader)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ElfContext context;
    c.reserve(&context);
    unsigned char* previous = nullptr;
    for (uint32_t expected = 0; expected < 5; ++expected) {
      unsigned char* at = nullptr;
      uint32_t index = 99;
      ASSERT_EQ(c.take(&context, &at, &index), 0);
      EXPECT_EQ(index, expected);
      EXPECT_EQ(at, c.start(&context) + expected * c.entrySize);
      if (previous != nullptr) {
        EXPECT_EQ(at - previous, static_cast<ptrdiff_t>(c.entrySize));
      }
      EXPECT_TRUE(std::all_of(at, at + c.entrySize, [](unsigned char b) { return b == 0; }));
      // Dirty the record, so that the next one shows it is cleared on its own.
      std::fill(at, at + c.entrySize, 0xA5);
      previous = at;
    }
  }
  EXPECT_EQ(elf_next_section_record(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(elf_next_program_record(nullptr, nullptr, nullptr), 1);
}

TEST(ElfWriterRecords, OnlyTheLastProgramRecordCanBeTakenBack) {
  struct Case {
    const char* name;
    uint32_t taken;
    int dropIndex;  // -1: an address outside the array
    int result;
    ObjLibErrorClass error;
    size_t left;
  };
  const Case cases[] = {
      {"the last record", 3, 2, 0, OBJLIB_ERR_NONE, 2},
      {"an earlier record", 3, 1, 1, OBJLIB_ERR_INTERNAL, 3},
      {"the first of one", 1, 0, 0, OBJLIB_ERR_NONE, 0},
      {"a foreign address", 2, -1, 1, OBJLIB_ERR_INTERNAL, 2},
      {"an empty array", 0, -1, 1, OBJLIB_ERR_INTERNAL, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ElfContext context;
    context.program_headers.reserve(4);
    for (uint32_t index = 0; index < c.taken; ++index)
      ASSERT_EQ(elf_next_program_record(&context, nullptr, nullptr), 0);
    ElfProgramHeader foreign{};
    const ElfProgramHeader* record =
        c.dropIndex < 0 ? &foreign : &context.program_headers[static_cast<size_t>(c.dropIndex)];
    ObjLibErrorClass error = OBJLIB_ERR_NONE;
    EXPECT_EQ(elf_drop_last_program_record(&context, record, &error), c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(context.program_headers.size(), c.left);
  }
  ObjLibErrorClass error = OBJLIB_ERR_NONE;
  EXPECT_EQ(elf_drop_last_program_record(nullptr, nullptr, &error), 1);
  EXPECT_EQ(error, OBJLIB_ERR_INTERNAL);
}

// After the null header, the section names come first and e_shstrndx names them.
TEST(ElfWriterRecords, StringTablesTakeTheNextTwoHeaders) {
  ElfContext context;
  ASSERT_EQ(elf_next_section_record(&context, nullptr, nullptr), 0);
  ASSERT_EQ(elf_create_string_tables(&context, nullptr), 0);
  EXPECT_EQ(context.section_names.header_index, 1u);
  EXPECT_EQ(context.symbol_names.header_index, 2u);
  EXPECT_EQ(context.e_shstrndx, 1u);
  ASSERT_EQ(context.section_headers.size(), 3u);
  for (const ElfStringTable* table : {&context.section_names, &context.symbol_names}) {
    EXPECT_EQ(context.section_headers[table->header_index].sh_type, 3u);
    EXPECT_EQ(table->bytes, std::vector<char>{'\0'});
  }
  ObjLibErrorClass error = OBJLIB_ERR_NONE;
  EXPECT_EQ(elf_create_string_tables(nullptr, &error), 1);
  EXPECT_EQ(error, OBJLIB_ERR_INTERNAL);
}

TEST(ElfWriterRecords, FreeingTheContextGivesEveryArrayBack) {
  ElfContext context;
  ASSERT_EQ(elf_next_section_record(&context, nullptr, nullptr), 0);
  ASSERT_EQ(elf_create_string_tables(&context, nullptr), 0);
  ASSERT_EQ(elf_next_program_record(&context, nullptr, nullptr), 0);
  uint32_t offset = 0;
  ASSERT_EQ(elf_strtab_add(&context.symbol_names, "start", &offset), 0);
  context.section_map.assign(4, 1);
  context.symbols.resize(2);
  context.symbol_map.assign(3, 1);
  context.section_symbol_map.assign(3, 1);
  context.extended_index.assign(3, 1);
  elf_free_context(&context);
  EXPECT_EQ(context.section_headers.capacity(), 0u);
  EXPECT_EQ(context.section_map.capacity(), 0u);
  EXPECT_EQ(context.program_headers.capacity(), 0u);
  EXPECT_EQ(context.symbols.capacity(), 0u);
  EXPECT_EQ(context.symbol_map.capacity(), 0u);
  EXPECT_EQ(context.section_symbol_map.capacity(), 0u);
  EXPECT_EQ(context.extended_index.capacity(), 0u);
  for (const ElfStringTable* table : {&context.section_names, &context.symbol_names}) {
    EXPECT_EQ(table->bytes.capacity(), 0u);
    EXPECT_TRUE(table->prefixed.empty());
    EXPECT_EQ(table->buckets.capacity(), 0u);
  }
  elf_free_context(nullptr);
}

// A name added again gets the offset of its first copy, whether or not a prefix stands
// before it, and only the same prefix makes it the same entry; more names than the first
// index holds keep their offsets through its growth, made step by step or ahead.
TEST(ElfWriterRecords, StringTableStoresEachNameOnceByItsPrefix) {
  for (bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "room made ahead" : "grown step by step");
    struct Case {
      const char* prefix;
      const char* name;
      uint32_t offset;
    };
    const Case cases[] = {
        {nullptr, ".text", 1}, {".rela", ".text", 12}, {nullptr, ".text", 1},   {".rela", ".text", 12},
        {".rel", ".text", 22}, {nullptr, "text", 28},  {".rela", ".data", 38}, {nullptr, ".data", 44},
    };
    ElfStringTable table{};
    elf_strtab_init(&table);
    for (const Case& c : cases) {
      table.pending_prefix = c.prefix;
      uint32_t offset = 0;
      ASSERT_EQ(elf_strtab_add(&table, c.name, &offset), 0);
      EXPECT_EQ(offset, c.offset) << (c.prefix ? c.prefix : "") << c.name;
    }
    std::vector<uint32_t> offsets;
    if (ahead) elf_strtab_expect(&table, 5000);
    for (int index = 0; index < 5000; ++index) {
      uint32_t offset = 0;
      ASSERT_EQ(elf_strtab_add(&table, ("sym" + std::to_string(index)).c_str(), &offset), 0);
      offsets.push_back(offset);
    }
    size_t size = table.bytes.size();
    for (int index = 0; index < 5000; ++index) {
      uint32_t offset = 0;
      ASSERT_EQ(elf_strtab_add(&table, ("sym" + std::to_string(index)).c_str(), &offset), 0);
      EXPECT_EQ(offset, offsets[index]) << index;
    }
    EXPECT_EQ(table.bytes.size(), size);
    uint32_t offset = 0;
    ASSERT_EQ(elf_strtab_add(&table, ".text", &offset), 0);
    EXPECT_EQ(offset, 1u);
  }
}

TEST(ElfWriterRecords, WordThreeIsStoredAndReturned) {
  struct Case {
    bool withRecord;
    uint32_t value;
  };
  const Case cases[] = {{true, 0x12345678}, {true, 0}, {false, 7}};
  for (const Case& c : cases) {
    uint32_t record[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(elf_record_set_word3(c.withRecord ? record : nullptr, c.value), c.value);
    const uint32_t expected[5] = {1, 2, 3, c.withRecord ? c.value : 4, 5};
    EXPECT_TRUE(std::equal(record, record + 5, expected)) << c.value;
  }
}

// Nodes and head share a size class here, so the class's count of blocks in use
// shows that all of them went back.
TEST(ElfWriterRecords, ListFreeReturnsEveryNodeAndTheHead) {
  struct Case {
    uint32_t nodes;
  };
  const Case cases[] = {{0}, {1}, {3}};
  ASSERT_EQ(sizeof(IosListNode), sizeof(IosCountedList));
  for (const Case& c : cases) {
    auto* list = static_cast<IosCountedList*>(pool_alloc(sizeof(IosCountedList)));
    ASSERT_NE(list, nullptr);
    BlockPool* pool = pool_find(sizeof(IosListNode));
    ASSERT_NE(pool, nullptr);
    size_t inUse = pool->in_use;
    int payloads[3] = {10, 20, 30};
    for (uint32_t index = 0; index < c.nodes; ++index)
      ASSERT_NE(ios_alloc_link8(list, &payloads[index]), nullptr);
    EXPECT_EQ(pool->in_use, inUse + c.nodes);
    elf_list_free(list);
    EXPECT_EQ(pool->in_use, inUse - 1) << c.nodes;
    EXPECT_EQ(payloads[2], 30);
  }
  elf_list_free(nullptr);
}

class ElfStoreReads : public OneStoreFile {
 protected:
  static constexpr uint32_t kMissing = 40;  // a section id that names nothing
};

TEST_F(ElfStoreReads, SectionWordsReadBackOrAreUnset) {
  using Getter = int (*)(uint32_t, uint32_t, uint32_t*, IosErrorCode*);
  using Setter = void (*)(IosHandle);
  struct Case {
    const char* name;
    Setter set;
    Getter get;
    int result;
    uint32_t value;  // when the result is 0
  };
  const Case cases[] = {
      {"number unset", nullptr, elf_section_get_number, -1, 0},
      {"number 5", [](IosHandle s) { ios_section_set_number(s, 5, nullptr); },
       elf_section_get_number, 0, 5},
      {"number 0", [](IosHandle s) { ios_section_set_number(s, 0, nullptr); },
       elf_section_get_number, 0, 0},
      {"info word unset", nullptr, elf_section_get_info_word, -1, 0},
      {"info word 16", [](IosHandle s) { ios_section_set_info_word(s, 16, nullptr); },
       elf_section_get_info_word, 0, 16},
      {"info word 0", [](IosHandle s) { ios_section_set_info_word(s, 0, nullptr); },
       elf_section_get_info_word, -1, 0},
      {"attr word 0x8003", [](IosHandle s) { ios_section_set_attr_word(s, 0x8003, nullptr); },
       elf_section_get_attr_word, 0, 0x8003},
      {"attr word 0", [](IosHandle s) { ios_section_set_attr_word(s, 0, nullptr); },
       elf_section_get_attr_word, -1, 0},
      {"attr word with the deleted bit",
       [](IosHandle s) { ios_section_set_attr_word(s, IOS_SECTION_DELETED_BIT | 3, nullptr); },
       elf_section_get_attr_word, 0, 3},
      {"marker unset", nullptr, elf_section_get_marker, 0, 0},
      {"marker set", [](IosHandle s) { ios_section_set_marker_flag(s, nullptr); },
       elf_section_get_marker, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IosHandle section = sectionOfSize(4, 8, false);
    if (c.set != nullptr) c.set(section);
    uint32_t value = 0xDEADBEEF;
    IosErrorCode error = kNoCode;
    EXPECT_EQ(c.get(file_, section.object_id, &value, &error), c.result);
    EXPECT_EQ(error, kNoCode);
    EXPECT_EQ(value, c.result == 0 ? c.value : 0xDEADBEEF);
    error = kNoCode;
    EXPECT_EQ(c.get(file_, kMissing, &value, &error), 1);
    EXPECT_EQ(error, IOS_ERR_NO_SECTION);
  }
}

TEST_F(ElfStoreReads, ImageEntriesByTableAndIndex) {
  IosHandle section = sectionOfSize(8);
  IosHandle bare = sectionOfSize(8, 8, false);
  ExprNode* relocated = integer(0x40);
  ExprNode* filled = integer(0x41);
  ASSERT_EQ(ios_image_add_expression(section, 0, 2, filled, nullptr), 0);
  ASSERT_EQ(ios_image_add_relocation(section, 2, 4, relocated, 17, 8, 9, nullptr), 0);
  ASSERT_EQ(ios_image_add_relocation(section, 6, 2, relocated, 18, 0, 0, nullptr), 0);
  struct Case {
    const char* name;
    uint32_t section;
    uint32_t table;
    uint32_t index;
    int result;
    IosErrorCode error;
    uint32_t offset = 0, units = 0, type = 0;
    ExprNode* expression = nullptr;
  };
  const Case cases[] = {
      {"first relocation", section.object_id, ELF_IMAGE_RELOCATIONS, 0, 0, kNoCode, 2, 4, 17,
       relocated},
      {"second relocation", section.object_id, ELF_IMAGE_RELOCATIONS, 1, 0, kNoCode, 6, 2, 18,
       relocated},
      {"expression entry", section.object_id, ELF_IMAGE_EXPRESSIONS, 0, 0, kNoCode, 0, 2, 0,
       filled},
      {"past the relocations", section.object_id, ELF_IMAGE_RELOCATIONS, 2, 1,
       IOS_ERR_INTERNAL},
      {"past the expressions", section.object_id, ELF_IMAGE_EXPRESSIONS, 1, 1,
       IOS_ERR_INTERNAL},
      {"unknown table", section.object_id, 2, 0, 1, IOS_ERR_INTERNAL},
      {"section without image", bare.object_id, ELF_IMAGE_RELOCATIONS, 0, 1, IOS_ERR_NO_IMAGE},
      {"no such section", kMissing, ELF_IMAGE_RELOCATIONS, 0, 1, IOS_ERR_NO_SECTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t offset = 99, units = 99, type = 99;
    ExprNode* expression = nullptr;
    IosErrorCode error = kNoCode;
    EXPECT_EQ(elf_section_image_entry(file_, c.section, c.table, c.index, &offset, &units,
                                      &expression, &type, &error),
              c.result);
    EXPECT_EQ(error, c.error);
    if (c.result == 0) {
      EXPECT_EQ(offset, c.offset);
      EXPECT_EQ(units, c.units);
      EXPECT_EQ(type, c.type);
      EXPECT_EQ(expression, c.expression);
    }
  }
  expr_release(relocated);
  expr_release(filled);

  struct CountCase {
    uint32_t section;
    int result;
    IosErrorCode error;
    uint32_t count;
  };
  const CountCase counts[] = {
      {section.object_id, 0, kNoCode, 2},
      {bare.object_id, 1, IOS_ERR_NO_IMAGE, 0},
      {kMissing, 1, IOS_ERR_NO_SECTION, 0},
  };
  for (const CountCase& c : counts) {
    uint32_t count = 0;
    IosErrorCode error = kNoCode;
    EXPECT_EQ(elf_section_image_count(file_, c.section, &count, &error), c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(count, c.count) << c.section;
  }
}

TEST_F(ElfStoreReads, MisracTextOrError2) {
  struct Case {
    const char* stored;  // null: none
    uint32_t file;       // 0: the fixture's file
    int result;
    IosErrorCode error;
  };
  const Case cases[] = {
      {nullptr, 0, -1, IOS_ERR_NO_PROPERTY},
      {"MISRA-C:2004,1.1,1.2", 0, 0, kNoCode},
      {"3.1,2.1", 0, 0, kNoCode},
      {nullptr, 9, 1, IOS_ERR_NO_FILE},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(ios_file_set_misrac_text(file_, c.stored, nullptr), 0);
    const char* text = nullptr;
    IosErrorCode error = kNoCode;
    EXPECT_EQ(elf_file_get_misrac(c.file != 0 ? c.file : file_, &text, &error), c.result);
    EXPECT_EQ(error, c.error);
    // Stored as given: only the writer reverses settings that do not start with 'M'.
    if (c.result == 0) {
      EXPECT_STREQ(text, c.stored);
    }
  }
}

TEST_F(ElfStoreReads, SymbolBySlotIndexFollowsAliasesAndSkipsTheDead) {
  IosHandle scope{};
  ASSERT_EQ(ios_scope_get_global(file_, &scope, nullptr), 0);
  IosHandle symbols[3]{};
  uint32_t slots[3] = {};
  for (int index = 0; index < 3; ++index) {
    ASSERT_EQ(ios_symbol_create_with_slot(file_, scope, ExprSlotRef{}, &symbols[index], nullptr),
              0);
    ExprSlotRef slot{};
    ASSERT_EQ(ios_symbol_get_slot(symbols[index], &slot, nullptr), 0);
    slots[index] = slot.index;
  }
  ASSERT_EQ(ios_symbol_set_alias(symbols[1], symbols[0].object_id, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_deleted(symbols[2], nullptr), 0);
  struct Case {
    const char* name;
    uint32_t file;  // 0: the fixture's file
    uint32_t index;
    int result;
    IosErrorCode error;
    uint32_t symbol;
  };
  const Case cases[] = {
      {"own symbol", 0, slots[0], 0, kNoCode, symbols[0].object_id},
      {"alias", 0, slots[1], 0, kNoCode, symbols[0].object_id},
      {"deleted symbol", 0, slots[2], -1, IOS_ERR_NO_PROPERTY, 0},
      {"index 0", 0, 0, -1, IOS_ERR_NO_PROPERTY, 0},
      {"past the table", 0, slots[2] + 100, -1, IOS_ERR_NO_PROPERTY, 0},
      {"no such file", 9, slots[0], 1, IOS_ERR_NO_FILE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IosHandle found{77, 77};
    IosErrorCode error = kNoCode;
    EXPECT_EQ(elf_symbol_by_index(&found, &error, c.file != 0 ? c.file : file_, c.index),
              c.result);
    EXPECT_EQ(error, c.error);
    if (c.result == 0) {
      EXPECT_EQ(found.file_id, file_);
      EXPECT_EQ(found.object_id, c.symbol);
    }
  }
}

}  // namespace
