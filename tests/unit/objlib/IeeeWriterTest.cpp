#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_record.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"
#include "FullStream.h"

namespace {

// One record as the codec reads it back, with the fields the tests look at.
struct Decoded {
  uint64_t offset;
  uint32_t type;
  uint32_t letter;
  uint64_t index;
  Bytes value;  // AS value run without the record byte that ends it
  Bytes data;   // LD data
  std::string text;  // CO text
};

std::vector<Decoded> decode(const Bytes& module) {
  std::vector<Decoded> records;
  IeeeReader reader(module);
  IeeeRecord record{};
  uint8_t next = 0;
  while (ieee_stream_peek_byte(reader.stream, &next) != 0) {
    int ok = ieee_record_transfer(&record, reader.stream);
    EXPECT_EQ(ok, 1) << "record at " << record.start_offset;
    if (ok == 0) break;
    Decoded d{record.start_offset, record.type, 0, 0, {}, {}, {}};
    if (record.type == IEEE_CO) {
      Bytes text = ieee_buf_to_bytes(record.body->co.text);
      d.text.assign(text.begin(), text.end());
    }
    if (record.type == IEEE_AS) {
      d.letter = record.body->as.letter;
      d.index = record.body->as.index;
      d.value = ieee_buf_to_bytes(record.body->as.value.text);
      if (!d.value.empty() && d.value.back() >= 0xE0) d.value.pop_back();
    }
    if (record.type == IEEE_LD) d.data.assign(record.body->ld.data, record.body->ld.data + record.body->ld.count);
    records.push_back(d);
    ieee_record_clear(&record);
  }
  ieee_record_clear(&record);
  return records;
}

std::vector<uint32_t> types(const std::vector<Decoded>& records) {
  std::vector<uint32_t> out;
  for (const Decoded& d : records) out.push_back(d.type);
  return out;
}

// The offset that part-offset assignment n holds.
uint64_t part_offset(const std::vector<Decoded>& records, uint32_t part) {
  for (const Decoded& d : records) {
    if (d.type == IEEE_AS && d.letter == 0xD7 && d.index == part) {
      uint64_t value = 0;
      ieee_decode_number(d.value.data(), d.value.size(), &value);
      return value;
    }
  }
  return ~uint64_t{0};
}

class IeeeModule : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ieee_process_state_reset();
    ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
    ASSERT_EQ(ios_file_set_string5(file_, text("TRI"), nullptr), 0);
  }
  void TearDown() override {
    ieee_process_state_reset();
    OneStoreFile::TearDown();
  }


  IosHandle section(const char* name, const Bytes& contents, uint32_t mau = 8) {
    IosHandle handle{0, 0};
    EXPECT_EQ(ios_section_create(file_, nullptr, &handle, nullptr), 0);
    EXPECT_EQ(ios_section_set_name(handle, text(name), nullptr), 0);
    EXPECT_EQ(ios_section_set_alignment(handle, 1, nullptr), 0);
    if (mau != 8) {
      EXPECT_EQ(ios_section_set_mau_size(handle, mau, nullptr), 0);
    }
    EXPECT_EQ(ios_section_set_size(handle, static_cast<uint32_t>(contents.size()), nullptr), 0);
    EXPECT_EQ(ios_section_create_image(handle, nullptr, nullptr), 0);
    if (!contents.empty()) {
      IosHandle data{0, 0};
      uint32_t* words = nullptr;
      EXPECT_EQ(ios_section_add_data(handle, 0, 0, &data, nullptr), 0);
      EXPECT_EQ(ios_data_get_buffer(data, &words, nullptr), 0);
      for (size_t i = 0; i < contents.size(); ++i) words[i] = contents[i];
      EXPECT_EQ(ios_section_merge_data(handle, data, nullptr), 0);
    }
    return handle;
  }

  // A global symbol; defined at offset in the section when one is given.
  IosHandle symbol(const char* name, const IosHandle* in, uint32_t offset, bool weak) {
    IosHandle scope{0, 0};
    IosHandle handle{0, 0};
    EXPECT_EQ(ios_scope_get_global(file_, &scope, nullptr), 0);
    EXPECT_EQ(ios_symbol_create_with_slot(file_, scope, ExprSlotRef{0, nullptr}, &handle, nullptr), 0);
    EXPECT_EQ(ios_symbol_set_name(handle, text(name), nullptr), 0);
    if (weak) {
      EXPECT_EQ(ios_symbol_set_weak(handle, nullptr), 0);
    }
    if (in != nullptr) {
      EXPECT_EQ(ios_symbol_set_section(handle, *in, nullptr), 0);
      IosSymbol* record = nullptr;
      EXPECT_EQ(ios_get_symbol(handle, &record, nullptr), 0);
      ExprNode* value = integer(offset);
      EXPECT_EQ(ios_location_set(record->slot, value, nullptr), 0);
      expr_release(value);
    }
    return handle;
  }

  Bytes write(int* result, uint32_t* error) {
    FILE* out = std::tmpfile();
    *result = ieee_write_module("m", out, file_, error);
    Bytes bytes = ieee_file_bytes(out);
    std::fclose(out);
    EXPECT_EQ(ieee_process_state().current_writer, nullptr);
    return bytes;
  }

  std::vector<Decoded> written() {
    int result = -1;
    uint32_t error = 99;
    Bytes bytes = write(&result, &error);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(error, 0u);
    return decode(bytes);
  }
};

TEST_F(IeeeModule, AFileWithoutSectionsWritesTheHeadTheFirstTwoPartsAndTheEnd) {
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0);
  // Module begin without a module name, then 8 bits a MAU, 1 MAU an address, little end.
  const Bytes head{0xE0, 0x03, 'T', 'R', 'I', 0xEC, 0x08, 0x01, 0xCC};
  ASSERT_GE(bytes.size(), head.size() + 64);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + head.size()), head);
  std::vector<Decoded> records = decode(bytes);
  const std::vector<uint32_t> expected{IEEE_MB, IEEE_AD, IEEE_AS, IEEE_AS, IEEE_AS, IEEE_AS, IEEE_AS,
                                       IEEE_AS, IEEE_AS, IEEE_AS, IEEE_CO, IEEE_CO, IEEE_DT, IEEE_CO,
                                       IEEE_CO, IEEE_CO, IEEE_ME};
  EXPECT_EQ(types(records), expected);
  // Every assignment is E2 D7 n 84 and four offset bytes.
  for (uint32_t n = 0; n < 8; ++n) {
    size_t at = head.size() + 8 * n;
    EXPECT_EQ(Bytes(bytes.begin() + at, bytes.begin() + at + 4), (Bytes{0xE2, 0xD7, uint8_t(n), 0x84})) << n;
  }
  EXPECT_EQ(part_offset(records, 0), records[10].offset);
  EXPECT_EQ(part_offset(records, 1), records[13].offset);
  for (uint32_t n : {2u, 3u, 4u, 5u, 6u}) EXPECT_EQ(part_offset(records, n), 0u) << n;
  EXPECT_EQ(part_offset(records, 7), records.back().offset);
}

TEST_F(IeeeModule, TheObjectVersionCommentFollowsTheFilesVersionText) {
  struct Case {
    const char* version;  // null: none set
    const char* comment;
  };
  const Case cases[] = {
      {"1.1", "Object version: 1.1"},
      {"1.2", "Object version: 1.2"},
      {"2.0", "Object version: 1.2"},
      {nullptr, "Object version: 1.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version != nullptr ? c.version : "none");
    TearDown();
    SetUp();
    if (c.version != nullptr) {
      ASSERT_EQ(ios_file_set_version_string(file_, text(c.version), nullptr), 0);
    }
    std::vector<Decoded> records = written();
    ASSERT_GT(records.size(), 10u);
    EXPECT_EQ(records[10].text, c.comment);
  }
}

TEST_F(IeeeModule, DataRecordsHoldAtMost127Units) {
  Bytes contents(300);
  for (size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<uint8_t>(i * 3);
  section(".data", contents);
  std::vector<Decoded> records = written();
  Bytes loaded;
  std::vector<size_t> counts;
  for (const Decoded& d : records) {
    if (d.type != IEEE_LD) continue;
    counts.push_back(d.data.size());
    loaded.insert(loaded.end(), d.data.begin(), d.data.end());
  }
  EXPECT_EQ(counts, (std::vector<size_t>{127, 127, 46}));
  EXPECT_EQ(loaded, contents);
}

TEST_F(IeeeModule, WeakNamesGetTheirOwnRecords) {
  struct Case {
    const char* name;
    bool defined;
    bool weak;
    std::vector<uint32_t> records;
  };
  const Case cases[] = {
      {"external", false, false, {IEEE_NX, IEEE_AT}},
      {"weak external", false, true, {IEEE_NX, IEEE_AT, IEEE_WX}},
      {"public", true, false, {IEEE_NI, IEEE_AT, IEEE_AS}},
      {"weak public", true, true, {IEEE_NI, IEEE_AT, IEEE_FC, IEEE_AS}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    IosHandle text_section = section(".text", {1, 2, 3, 4});
    symbol("s", c.defined ? &text_section : nullptr, 2, c.weak);
    std::vector<Decoded> records = written();
    uint64_t part3 = part_offset(records, 3);
    uint64_t part5 = part_offset(records, 5);
    std::vector<uint32_t> names;
    for (const Decoded& d : records) {
      if (d.offset >= part3 && d.offset < part5) names.push_back(d.type);
    }
    EXPECT_EQ(names, c.records);
  }
}

// A symbol whose value the store holds as section + offset is written as the tree
// of that sum is: its value records carry the same bytes, weak or not.
TEST_F(IeeeModule, SectionOffsetValueWritesAsItsSum) {
  struct Case {
    const char* name;
    bool weak;
    uint32_t offset;
  };
  const Case cases[] = {
      {"public", false, 2},
      {"weak public", true, 3},
      {"offset 0", false, 0},
      {"offset beyond one byte", false, 0x1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes files[2];
    for (bool pair : {false, true}) {
      TearDown();
      SetUp();
      IosHandle text_section = section(".text", {1, 2, 3, 4});
      IosHandle handle = symbol("s", nullptr, 0, c.weak);
      ASSERT_EQ(ios_symbol_set_section(handle, text_section, nullptr), 0);
      if (pair) {
        ASSERT_EQ(ios_symbol_set_section_offset(handle, c.offset, nullptr), 0);
      } else {
        ExprSlotRef address{};
        ASSERT_EQ(ios_section_get_address_slot(text_section, &address, nullptr), 0);
        ExprNode* base = nullptr;
        ASSERT_EQ(objexpr_make_slot_ref(context_, &base, address.index, address.context), 0);
        ExprNode* offset = integer(c.offset);
        ExprNode* sum = nullptr;
        ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, base, offset), 0);
        expr_release(base);
        expr_release(offset);
        ASSERT_EQ(ios_symbol_set_value_expr(handle, sum, nullptr), 0);
        expr_release(sum);
      }
      int result = -1;
      uint32_t error = 99;
      files[pair ? 1 : 0] = write(&result, &error);
      EXPECT_EQ(result, 0);
      EXPECT_EQ(error, 0u);
      uint32_t offset = 0;
      // The writer read the pair as it stands: no tree was made for it.
      EXPECT_EQ(ios_symbol_get_section_offset(handle, &offset, nullptr, nullptr), pair ? 0 : -1);
    }
    ASSERT_FALSE(files[0].empty());
    EXPECT_EQ(files[1], files[0]);
  }
}

TEST_F(IeeeModule, GapsBetweenDataRunsMoveTheLoadAddress) {
  IosHandle handle = section(".data", {1, 2, 3, 4, 0, 0, 0, 0, 9, 10, 11, 12, 0, 0});
  ASSERT_EQ(ios_section_add_plain_range(file_, handle.object_id, 0, 4, nullptr), 0);
  ASSERT_EQ(ios_section_add_plain_range(file_, handle.object_id, 8, 4, nullptr), 0);
  std::vector<Decoded> records = written();
  std::vector<Decoded> data;
  for (const Decoded& d : records) {
    if (d.offset >= part_offset(records, 5) && d.type != IEEE_ME) data.push_back(d);
  }
  ASSERT_EQ(data.size(), 5u);
  EXPECT_EQ(data[0].type, IEEE_SB);
  EXPECT_EQ(data[1].letter, 0xD0u);
  EXPECT_EQ(data[2].data, (Bytes{1, 2, 3, 4}));
  // P1 = P1 + 4, then the second run; the walk ends although the last run ends
  // before the section does.
  EXPECT_EQ(data[3].letter, 0xD0u);
  EXPECT_EQ(data[3].value, (Bytes{0xD0, 0x01, 0x04, 0xA5}));
  EXPECT_EQ(data[4].data, (Bytes{9, 10, 11, 12}));
}

TEST_F(IeeeModule, FailuresKeepThePlaceholdersAndReportTheirClass) {
  struct Case {
    const char* name;
    uint32_t mau;
    uint32_t error;
  };
  // MAUs wider than a data word cannot be loaded without losing bits.
  const Case cases[] = {{"64-bit MAU", 64, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    section(".wide", {1, 2}, c.mau);
    int result = -1;
    uint32_t error = 0;
    Bytes bytes = write(&result, &error);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(error, c.error);
    ASSERT_GE(bytes.size(), 17u);
    // The first part-offset assignment, after MB and AD, still holds its placeholder.
    EXPECT_EQ(Bytes(bytes.begin() + 9, bytes.begin() + 17),
              (Bytes{0xE2, 0xD7, 0x00, 0x84, 0xFE, 0xFE, 0xFE, 0xFE}));
  }
}

TEST_F(IeeeModule, AFullDiskIsAFileError) {
  FILE* full = openFullStream();
  ASSERT_NE(full, nullptr);
  section(".data", Bytes(100, 7));
  uint32_t error = 0;
  EXPECT_EQ(ieee_write_module("m", full, file_, &error), 1);
  EXPECT_EQ(error, 2u);
  std::fclose(full);
}

TEST_F(IeeeModule, ANullHandleWritesNothingAndSucceeds) {
  section(".data", Bytes(4, 1));
  uint32_t error = 99;
  EXPECT_EQ(ieee_write_module("m", nullptr, file_, &error), 0);
  EXPECT_EQ(error, 0u);
}

uint32_t fill_nothing(IeeeWriter* writer, uint32_t*) {
  writer->skip = 1;
  return 0;
}

TEST_F(IeeeModule, BlockNestingBeyondTheStackOrBelowItIsAProducerError) {
  FILE* out = std::tmpfile();
  IeeeWriter* writer = ieee_writer_new(out, "m", file_);
  ieee_prepare_module(writer);
  uint32_t error = 0;
  int source = 1;
  for (uint32_t i = 0; i < IEEE_BLOCK_DEPTH; ++i) {
    ASSERT_EQ(ieee_emit_record(writer, IEEE_BB, &source, fill_nothing, &error), 0) << i;
  }
  EXPECT_EQ(ieee_emit_record(writer, IEEE_BB, &source, fill_nothing, &error), 1);
  EXPECT_EQ(error, 5u);
  EXPECT_EQ(writer->block_depth, IEEE_BLOCK_DEPTH);
  for (uint32_t i = 0; i < IEEE_BLOCK_DEPTH; ++i) {
    ASSERT_EQ(ieee_emit_record(writer, IEEE_BE, &source, fill_nothing, &error), 0) << i;
  }
  EXPECT_EQ(writer->block_table.size(), 2 * size_t{IEEE_BLOCK_DEPTH});
  error = 0;
  EXPECT_EQ(ieee_emit_record(writer, IEEE_BE, &source, fill_nothing, &error), 1);
  EXPECT_EQ(error, 5u);
  // Without a record filler nothing is written and the error is 1.
  EXPECT_EQ(ieee_emit_record(writer, IEEE_ME, nullptr, nullptr, &error), 1);
  EXPECT_EQ(error, 1u);
  EXPECT_EQ(writer->current, nullptr);
  ieee_writer_free(writer);
  std::fclose(out);
}

TEST_F(IeeeModule, ALoadAddressMovesByAStepForwardOrBack) {
  section(".data", Bytes(32, 1));
  struct Case {
    uint64_t address;
    uint32_t part;  // the part being written; outside the data part no step can be filled
    int result;
    Bytes bytes;    // appended to the stream
    uint64_t load_address;
  };
  const Case cases[] = {
      {0, 5, 0, {}, 0},
      {16, 5, 0, {0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x10, 0xA5}, 16},
      {16, 5, 0, {}, 16},
      {0, 5, 0, {0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x10, 0xA6}, 0},
      {4, 5, 0, {0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x04, 0xA5}, 4},
      // A step that is not written leaves the entry where the module stands.
      {8, 2, 1, {}, 4},
  };
  FILE* out = std::tmpfile();
  IeeeWriter* writer = ieee_writer_new(out, "m", file_);
  ieee_prepare_module(writer);
  ASSERT_EQ(writer->sections.size(), 1u);
  IeeeSectionEntry* entry = writer->sections[0].get();
  Bytes expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    writer->current_part = c.part;
    uint32_t error = 0;
    uint64_t before = writer->stream->position;
    EXPECT_EQ(ieee_set_load_address(writer, entry, c.address, &error), c.result);
    EXPECT_EQ(writer->stream->position - before, c.bytes.size());
    EXPECT_EQ(entry->load_address, c.load_address);
    expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
  }
  ieee_stream_close(&writer->stream);
  Bytes bytes = ieee_file_bytes(out);
  // The refused step leaves nothing behind the steps that were written.
  EXPECT_EQ(bytes, expected);
  ieee_writer_free(writer);
  std::fclose(out);
}

// A move of the load address is a step from where the entry stands, whatever record
// the writer (or an earlier writer) wrote before it; only the module's own P right
// after SB gives the section's start.
TEST_F(IeeeModule, AMoveAfterSectionBeginIsAStepFromTheLoadAddress) {
  section(".data", Bytes(32, 1));
  struct Case {
    const char* name;
    bool earlier_writer;  // SB written by a writer freed before this one is made
    bool own_sb;          // SB written by this writer right before the move
    uint64_t from;
    uint64_t to;
    Bytes bytes;  // what this writer appends
  };
  const Bytes sb{0xE5, 0x01};
  const Bytes back8{0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x08, 0xA6};
  const Bytes ahead4{0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x04, 0xA5};
  auto join = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case cases[] = {
      {"after its own SB, back", false, true, 16, 8, join(sb, back8)},
      {"after its own SB, ahead", false, true, 0, 4, join(sb, ahead4)},
      {"first move after a freed writer's SB", true, false, 16, 8, back8},
      {"first move of a fresh writer", false, false, 16, 8, back8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.earlier_writer) {
      FILE* scratch = std::tmpfile();
      IeeeWriter* earlier = ieee_writer_new(scratch, "m", file_);
      ieee_prepare_module(earlier);
      earlier->current_part = 5;
      earlier->current_section = earlier->sections[0].get();
      uint32_t error = 0;
      ASSERT_EQ(ieee_emit_record(earlier, IEEE_SB, nullptr, ieee_fill_record, &error), 0);
      ieee_writer_free(earlier);
      std::fclose(scratch);
    }
    FILE* out = std::tmpfile();
    IeeeWriter* writer = ieee_writer_new(out, "m", file_);
    ieee_prepare_module(writer);
    ASSERT_EQ(writer->sections.size(), 1u);
    IeeeSectionEntry* entry = writer->sections[0].get();
    writer->current_part = 5;
    writer->current_section = entry;
    entry->load_address = c.from;
    uint32_t error = 0;
    if (c.own_sb) {
      ASSERT_EQ(ieee_emit_record(writer, IEEE_SB, nullptr, ieee_fill_record, &error), 0);
    }
    EXPECT_EQ(ieee_set_load_address(writer, entry, c.to, &error), 0);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(entry->load_address, c.to);
    ieee_stream_close(&writer->stream);
    EXPECT_EQ(ieee_file_bytes(out), c.bytes);
    ieee_writer_free(writer);
    std::fclose(out);
  }
}

// A step is carried as a signed 64-bit count of bytes: one that does not fit is
// refused before anything is written, and the entry keeps its load address.
TEST_F(IeeeModule, AStepBeyondTheNumberRangeIsRefused) {
  constexpr uint64_t P62 = uint64_t{1} << 62;
  constexpr uint64_t P63 = uint64_t{1} << 63;
  struct Case {
    const char* name;
    uint32_t mau;
    uint64_t from;
    uint64_t to;
    int result;
    uint32_t error;
    Bytes bytes;
  };
  const Case cases[] = {
      {"16-bit units, 2^62 ahead", 16, 0, P62, 1, 1, {}},
      {"16-bit units, 2^62 back", 16, P62, 0, 1, 1, {}},
      {"16-bit units, all the way", 16, 0, ~uint64_t{0}, 1, 1, {}},
      {"16-bit units, 2^62 - 1 ahead", 16, 0, P62 - 1, 0, 0,
       {0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x88, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA5}},
      {"32-bit units, 2^61 ahead", 32, 0, P62 / 2, 1, 1, {}},
      {"8-bit units, 2^63 ahead", 8, 0, P63, 1, 1, {}},
      {"8-bit units, 2^63 - 1 ahead", 8, 0, P63 - 1, 0, 0,
       {0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x88, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA5}},
      {"8-bit units, 2^63 - 1 back", 8, P63 - 1, 0, 0, 0,
       {0xE2, 0xD0, 0x01, 0xD0, 0x01, 0x88, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    section(".wide", Bytes(4, 1), c.mau);
    FILE* out = std::tmpfile();
    IeeeWriter* writer = ieee_writer_new(out, "m", file_);
    ieee_prepare_module(writer);
    ASSERT_EQ(writer->sections.size(), 1u);
    IeeeSectionEntry* entry = writer->sections[0].get();
    writer->current_part = 5;
    entry->load_address = c.from;
    uint32_t error = 0;
    EXPECT_EQ(ieee_set_load_address(writer, entry, c.to, &error), c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(entry->load_address, c.result == 0 ? c.to : c.from);
    ieee_stream_close(&writer->stream);
    EXPECT_EQ(ieee_file_bytes(out), c.bytes);
    ieee_writer_free(writer);
    std::fclose(out);
  }
}

TEST_F(IeeeModule, RelocationItemsAreLoadedInRunsInGapsAndAfterTheLastRun) {
  struct Item {
    uint32_t offset;
    uint32_t units;
  };
  struct Case {
    const char* name;
    std::vector<IosRange> runs;
    std::vector<Item> items;
    std::vector<std::string> records;  // of the data part
  };
  const Case cases[] = {
      {"inside a run", {{0, 12, 12}}, {{4, 4}}, {"SB", "AS D2 01", "LD 4", "LR", "LD 4"}},
      {"in a gap", {{0, 4, 4}, {8, 4, 4}}, {{5, 2}},
       {"SB", "AS D2 01", "LD 4", "AS D0 01 01 A5", "LR", "AS D0 01 01 A5", "LD 4"}},
      {"after the last run", {{0, 4, 4}}, {{4, 4}}, {"SB", "AS D2 01", "LD 4", "LR"}},
      {"after a gap behind the last run", {{0, 4, 4}}, {{10, 2}}, {"SB", "AS D2 01", "LD 4", "AS D0 01 06 A5", "LR"}},
      {"before the first run", {{8, 4, 4}}, {{0, 4}}, {"SB", "AS D2 01", "LR", "AS D0 01 04 A5", "LD 4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    IosHandle handle = section(".data", Bytes(12, 7));
    for (const IosRange& run : c.runs) {
      ASSERT_EQ(ios_section_add_plain_range(file_, handle.object_id, run.start, run.count, nullptr), 0);
    }
    for (const Item& item : c.items) {
      ExprNode* value = integer(0x55);
      ASSERT_EQ(ios_image_add_expression(handle, item.offset, item.units, value, nullptr), 0);
      expr_release(value);
    }
    std::vector<Decoded> records = written();
    std::vector<std::string> data;
    for (const Decoded& d : records) {
      if (d.offset < part_offset(records, 5) || d.type == IEEE_ME) continue;
      std::string text = d.type == IEEE_SB ? "SB" : d.type == IEEE_LR ? "LR" : d.type == IEEE_LD ? "LD" : "AS";
      if (d.type == IEEE_LD) text += " " + std::to_string(d.data.size());
      if (d.type == IEEE_AS) {
        for (uint8_t byte : d.value) {
          char hex[4];
          std::snprintf(hex, sizeof hex, " %02X", byte);
          text += hex;
        }
      }
      data.push_back(text);
    }
    EXPECT_EQ(data, c.records);
  }
}

TEST(IeeeProducerUtilities, PartsSortHeadFirstEndLastTheRestByOffset) {
  IeeePartSlot slots[] = {{7, 10}, {3, 50}, {8, 0}, {0, 20}, {5, 30}};
  std::sort(std::begin(slots), std::end(slots),
            [](const IeeePartSlot& a, const IeeePartSlot& b) { return ieee_part_compare(a, b) < 0; });
  std::vector<uint32_t> order;
  for (const IeeePartSlot& slot : slots) order.push_back(slot.part);
  EXPECT_EQ(order, (std::vector<uint32_t>{8, 0, 5, 3, 7}));
}

TEST(IeeeProducerUtilities, NumbersDecodeFromBytes) {
  struct Case {
    Bytes bytes;
    uint32_t used;
    uint64_t value;
  };
  const Case cases[] = {
      {{0x05}, 1, 5},
      {{0x80}, 1, 0},
      {{0x84, 0x12, 0x34, 0x56, 0x78}, 5, 0x12345678},
      {{0x88, 1, 2, 3, 4, 5, 6, 7, 8}, 9, 0x0102030405060708},
      {{0x89, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 0},  // no shift is defined past eight bytes
      {{0x83, 0x12}, 0, 0},
      {{}, 0, 0},
  };
  for (const Case& c : cases) {
    uint64_t value = 99;
    EXPECT_EQ(ieee_decode_number(c.bytes.data(), c.bytes.size(), &value), c.used);
    EXPECT_EQ(value, c.value);
  }
}

}  // namespace
