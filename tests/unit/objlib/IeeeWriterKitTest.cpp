#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/ieee695/ieee_kit.h"
#include "objlib/ieee695/ieee_access.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"

namespace {

// A writer over a temporary file for a store file with three sections.
class IeeeWriterKit : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ieee_process_state_reset();
    for (int i = 0; i < 3; ++i) {
      IosHandle section{0, 0};
      ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
    }
    out_ = std::tmpfile();
    writer_ = ieee_writer_new(out_, "m", file_);
    ieee_prepare_module(writer_);
  }
  void TearDown() override {
    ieee_writer_free(writer_);
    std::fclose(out_);
    ieee_process_state_reset();
    OneStoreFile::TearDown();
  }
  Bytes output() {
    ieee_stream_close(&writer_->stream);
    return ieee_file_bytes(out_);
  }

  FILE* out_ = nullptr;
  IeeeWriter* writer_ = nullptr;
};

// A block record's kind becomes the block type of its BB record.
uint32_t fill_block(IeeeWriter* writer, uint32_t*) {
  if (writer->current->type == IEEE_BB) {
    writer->current->body->bb.block_type = writer->current_block->kind;
    writer->current->body->bb.size = 0;
  }
  return 0;
}

TEST_F(IeeeWriterKit, BlocksNestAndCloseInnermostFirst) {
  uint32_t error = 0;
  IeeeDebugBlock* outer = ieee_block_new(writer_, 1);
  outer->words[0] = 77;
  ASSERT_EQ(ieee_block_begin(writer_, outer, fill_block, &error), 0);
  IeeeDebugBlock* inner = ieee_block_new(writer_, 6);
  EXPECT_EQ(inner->words[0], 77u);  // starts as a copy of the open block
  EXPECT_EQ(writer_->current_block, outer);
  ASSERT_EQ(ieee_block_begin(writer_, inner, fill_block, &error), 0);
  EXPECT_EQ(ieee_block_top(writer_), inner);
  ASSERT_EQ(ieee_block_end(writer_, fill_block, &error), 0);
  EXPECT_EQ(writer_->current_block, inner);
  EXPECT_EQ(ieee_block_top(writer_), outer);
  ASSERT_EQ(ieee_block_end(writer_, fill_block, &error), 0);
  EXPECT_EQ(ieee_block_top(writer_), nullptr);
  // Closing with an empty stack writes nothing.
  EXPECT_EQ(ieee_block_end(writer_, fill_block, &error), 0);
  EXPECT_EQ(writer_->current_block, nullptr);
  // Block type 1 carries a name (empty) after its size; type 6 as well.
  EXPECT_EQ(output(), (Bytes{0xF8, 0x01, 0x00, 0x00, 0xF8, 0x06, 0x00, 0x00, 0xF9, 0xF9}));
  // Start offsets and lengths of the closed blocks, innermost first.
  EXPECT_EQ(writer_->block_table, (std::vector<uint32_t>{4, 5, 0, 10}));
}

TEST_F(IeeeWriterKit, AnEncodedExpressionNamesTheSectionOfItsLastSectionVariable) {
  struct Case {
    Bytes bytes;
    uint32_t section;  // 0 none
  };
  const Case cases[] = {
      {{0xD2, 0x03}, 3},
      {{0xD0, 0x01, 0x04, 0xA5}, 1},
      {{0xCC, 0x02}, 2},
      {{0x82, 0xD2, 0x03, 0xD8, 0x21}, 0},  // D2 03 lies inside a number
      {{0xD2, 0x01, 0xCC, 0x02}, 2},
      {{0xD2, 0x09}, 0},  // no such section
      {{0xD2}, 0},
      {{}, 0},
  };
  for (const Case& c : cases) {
    writer_->current_section = nullptr;
    StrBuf* bytes = ieee_buf_new(0);
    ieee_buf_append_bytes(bytes, c.bytes.data(), c.bytes.size());
    IeeeSectionEntry* entry = ieee_expression_section(writer_, bytes);
    EXPECT_EQ(entry != nullptr ? entry->index : 0u, c.section);
    ieee_buf_free(bytes);
  }
}

TEST_F(IeeeWriterKit, PeekingAtARecordCodeTakesNothing) {
  struct Case {
    Bytes bytes;
    uint32_t code;
  };
  const Case cases[] = {{{0xE1}, 0xE1}, {{0xDF, 0xE1}, 0}, {{0x05}, 0}, {{}, 0}};
  for (const Case& c : cases) {
    IeeeReader reader(c.bytes);
    EXPECT_EQ(ieee_peek_record_code(reader.stream), c.code);
    EXPECT_EQ(reader.rest(), c.bytes);
  }
  EXPECT_EQ(ieee_peek_record_code(nullptr), 0u);
}

TEST_F(IeeeWriterKit, NameEntriesByLetterAcceptOnlyTheirLetter) {
  EXPECT_EQ(ieee_find_name_entry_by_letter(writer_, 0xC9, 32), nullptr);
  EXPECT_EQ(ieee_find_name_entry_by_letter(writer_, 0xD2, 32), nullptr);
  ieee_name_entry_mark(nullptr);
}

TEST_F(IeeeWriterKit, SectionEntriesTakeTheNextIndexOrReplaceOne) {
  struct Case {
    const char* name;
    uint32_t index;
    uint32_t section_id;
    bool made;
    size_t entries;  // after the call
  };
  const Case cases[] = {
      {"index 0", 0, 1, false, 3},
      {"past the next index", 5, 1, false, 3},
      {"the next index", 4, 2, true, 4},
      {"a taken index", 2, 3, true, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IeeeSectionEntry* entry = ieee_new_section_entry(writer_, c.index, IosHandle{file_, c.section_id});
    EXPECT_EQ(entry != nullptr, c.made);
    EXPECT_EQ(writer_->sections.size(), c.entries);
    if (entry == nullptr) continue;
    EXPECT_EQ(writer_->sections[c.index - 1].get(), entry);
    EXPECT_EQ(ieee_find_cached_record(writer_, IosHandle{file_, c.section_id}), entry);
    const uint32_t letters[4] = {0xCC, 0xD2, 0xD0, 0xD3};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(entry->records[i]->letter, letters[i]);
      EXPECT_EQ(entry->records[i]->index, c.index);
    }
  }
}

TEST_F(IeeeWriterKit, TheBlockStackTopIsTheInnermostOpenBlock) {
  uint32_t error = 0;
  EXPECT_EQ(ieee_block_stack_top(nullptr), nullptr);
  EXPECT_EQ(ieee_block_stack_top(&writer_->open_blocks), nullptr);
  IeeeDebugBlock* outer = ieee_block_new(writer_, 1);
  ASSERT_EQ(ieee_block_begin(writer_, outer, fill_block, &error), 0);
  IeeeDebugBlock* inner = ieee_block_new(writer_, 6);
  ASSERT_EQ(ieee_block_begin(writer_, inner, fill_block, &error), 0);
  EXPECT_EQ(ieee_block_stack_top(&writer_->open_blocks), inner);
  ASSERT_EQ(ieee_block_end(writer_, fill_block, &error), 0);
  EXPECT_EQ(ieee_block_stack_top(&writer_->open_blocks), outer);
}

TEST_F(IeeeWriterKit, APairTiesALetterRecordToItsReference) {
  IeeeLetterRecord* record = ieee_letter_record(writer_, 0xCE, 40);
  ASSERT_NE(record, nullptr);
  ieee_record_set_pair(record, 7, 9);
  EXPECT_EQ(record->reference, 7u);
  EXPECT_EQ(record->reference_value, 9u);
  ieee_record_set_pair(nullptr, 1, 2);
  IdTable* table = idtab_new();
  ASSERT_NE(table, nullptr);
  ieee_free_id_table(&table);
  EXPECT_EQ(table, nullptr);
  ieee_free_id_table(&table);
}

TEST(IeeeProducerUtilities, IdTableItemsAreVisitedInIndexOrder) {
  int a = 1;
  int b = 2;
  struct Case {
    const char* name;
    std::vector<void*> items;  // null: a null table
    bool table;
  };
  const Case cases[] = {
      {"no table", {}, false},
      {"an empty table", {}, true},
      {"items with a gap", {&a, nullptr, &b}, true},
      {"one item", {&b}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IdTable* table = c.table ? idtab_new() : nullptr;
    for (size_t i = 0; i < c.items.size(); ++i) ASSERT_EQ(idtab_set(table, static_cast<uint32_t>(i), c.items[i]), 0);
    std::vector<void*> seen;
    ieee_idtab_for_each(
        table, [](void* item, void* argument) { static_cast<std::vector<void*>*>(argument)->push_back(item); }, &seen);
    EXPECT_EQ(seen, c.items);
    idtab_delete(table);
  }
}

}  // namespace
