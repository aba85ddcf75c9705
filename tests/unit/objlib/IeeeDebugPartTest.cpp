#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "DebugInfoFixture.h"
#include "IeeeStreamFixture.h"
#include "objlib/ieee695/ieee_kit.h"
#include "objlib/ieee695/ieee_record.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_debugops.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_function.h"
#include "objlib/ios_lineinfo.h"
#include "objlib/ios_section.h"

namespace {

// A record of the debug part as the codec reads it back, written as a short token:
// "BB1", "BE1", "NN33", "AT33", "AS-N33" (letter and index), "TY257".
std::vector<std::string> debug_records(const Bytes& module) {
  std::vector<std::string> out;
  IeeeReader reader(module);
  IeeeRecord record{};
  uint8_t next = 0;
  bool in_part = false;
  while (ieee_stream_peek_byte(reader.stream, &next) != 0) {
    int ok = ieee_record_transfer(&record, reader.stream);
    EXPECT_EQ(ok, 1) << "record at " << record.start_offset;
    if (ok == 0) break;
    std::string token;
    switch (record.type) {
      case IEEE_BB:
        in_part = true;
        token = "BB" + std::to_string(record.body->bb.block_type);
        break;
      case IEEE_BE:
        token = "BE";
        break;
      case IEEE_NN:
        token = "NN" + std::to_string(record.body->name.index);
        break;
      case IEEE_AT:
        token = "AT" + std::to_string(record.body->at.index);
        break;
      case IEEE_AS:
        token = std::string("AS-") + static_cast<char>(record.body->as.letter - 0x80) +
                std::to_string(record.body->as.index);
        break;
      case IEEE_TY: {
        token = "TY" + std::to_string(record.body->ty.type_index) + ":";
        const IeeeItemList* items = record.body->ty.items;
        for (uint32_t i = 0; items != nullptr && i < items->count; ++i) {
          token += (i == 0 ? "" : ",") + std::to_string(items->items[i]);
        }
        break;
      }
      default:
        // The debug part ends where the data or trailer part begins.
        if (in_part) in_part = record.type != IEEE_SB && record.type != IEEE_ME;
        break;
    }
    if (in_part && !token.empty()) out.push_back(token);
    ieee_record_clear(&record);
  }
  ieee_record_clear(&record);
  return out;
}

class IeeeDebugPart : public DebugInfoFile {
 protected:
  void SetUp() override {
    DebugInfoFile::SetUp();
    ieee_process_state_reset();
    ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
    ASSERT_EQ(ios_file_set_string5(file_, IosHandle{file_, name("TRI")}, nullptr), 0);
    IosHandle section{0, 0};
    ASSERT_EQ(ios_section_create(file_, nullptr, &section, nullptr), 0);
    ASSERT_EQ(ios_section_set_name(section, IosHandle{file_, name(".text")}, nullptr), 0);
    ASSERT_EQ(ios_section_set_size(section, 0, nullptr), 0);
  }
  void TearDown() override {
    ieee_process_state_reset();
    DebugInfoFile::TearDown();
  }

  IosDebugHandle module(const char* text) {
    IosDebugHandle made{};
    EXPECT_EQ(ios_module_create(file_, &made, nullptr), 0);
    EXPECT_EQ(ios_module_set_name(made, IosHandle{file_, name(text)}, nullptr), 0);
    return made;
  }
  // A module variable, named when a name is given, located when a location is.
  IosDebugHandle variable(IosDebugHandle in, const char* text, const int64_t* location) {
    IosDebugHandle made{};
    EXPECT_EQ(ios_module_add_variable(in, &made, nullptr), 0);
    if (text != nullptr) {
      EXPECT_EQ(ios_variable_set_name(made, IosHandle{file_, name(text)}, nullptr), 0);
    }
    if (location != nullptr) {
      ExprNode* node = integer(*location);
      EXPECT_EQ(ios_variable_set_expression(made, node, nullptr), 0);
      expr_release(node);
    }
    return made;
  }
  void lifetime(IosDebugHandle of, int64_t location) {
    IosDebugHandle made{};
    ASSERT_EQ(ios_variable_add_lifetime(of.file_id, of.root_id, of.record_id, &made, nullptr), 0);
    ExprNode* node = integer(location);
    ASSERT_EQ(ios_lifetime_set_expression_a(made, node, nullptr), 0);
    expr_release(node);
  }

  Bytes write(int* result, uint32_t* error) {
    FILE* out = std::tmpfile();
    *result = ieee_write_module("m", out, file_, error);
    Bytes bytes = ieee_file_bytes(out);
    std::fclose(out);
    return bytes;
  }
};

TEST_F(IeeeDebugPart, ModulesNestTheirBlocksAndNameEveryLifetimeOfAVariable) {
  const int64_t at16 = 16;
  IosDebugHandle first = module("one");
  IosDebugHandle counter = variable(first, "counter", &at16);
  for (int64_t l : {20, 24, 28}) lifetime(counter, l);
  IosDebugHandle second = module("two");
  variable(second, "flag", &at16);
  variable(second, "nowhere", nullptr);
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  const std::vector<std::string> expected = {
      // Module one: types block, scope block with one variable named four times under
      // the same N, the empty separator block.
      "BB1", "BE", "BB3",
      "NN33", "AT33", "AS-N33", "NN33", "AT33", "AS-N33", "NN33", "AT33", "AS-N33", "NN33", "AT33", "AS-N33",
      "BE", "BB0", "BE",
      // Module two: the next variables take the next numbers; one without a location
      // has no address assignment. No separator after the last module.
      "BB1", "BE", "BB3", "NN34", "AT34", "AS-N34", "NN35", "AT35", "BE"};
  EXPECT_EQ(debug_records(bytes), expected);
}

TEST_F(IeeeDebugPart, AFileWithoutModulesOrSectionsWritesNoDebugPart) {
  int result = -1;
  uint32_t error = 99;
  EXPECT_TRUE(debug_records(write(&result, &error)).empty());
  EXPECT_EQ(result, 0);
}

TEST_F(IeeeDebugPart, AFunctionOpensItsBlockWithItsParametersAndLexicalBlocks) {
  IosDebugHandle m = module("one");
  IosDebugHandle function{};
  ASSERT_EQ(ios_module_add_function(file_, 1, m.record_id, &function, nullptr), 0);
  ASSERT_EQ(ios_function_set_name(function, StringHandle{file_, name("main")}, nullptr), 0);
  ASSERT_EQ(ios_function_set_field10(function, 3, nullptr), 0);
  IosDebugHandle parameter{}, block{}, inner{};
  ASSERT_EQ(ios_function_add_parameter(function, &parameter, nullptr), 0);
  ASSERT_EQ(ios_variable_set_name(parameter, IosHandle{file_, name("argc")}, nullptr), 0);
  ExprNode* node = integer(4);
  ASSERT_EQ(ios_variable_set_expression(parameter, node, nullptr), 0);
  expr_release(node);
  ASSERT_EQ(ios_function_add_block(function, &block, nullptr), 0);
  ASSERT_EQ(ios_lexical_block_add_variable_a(block, &inner, nullptr), 0);
  ASSERT_EQ(ios_variable_set_name(inner, IosHandle{file_, name("i")}, nullptr), 0);
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  const std::vector<std::string> expected = {"BB1", "BE",  "BB3",  "BB6",  "NN33", "AT33", "AS-N33", "BB6",
                                             "NN34", "AT34", "BE", "BE", "BE"};
  EXPECT_EQ(debug_records(bytes), expected);
}

// The first line block of a module opens a block of kind 5 after the scope block; its
// attached blocks nest before its own lines, deltas and specials. A delta with a
// number is followed by its attribute record.
TEST_F(IeeeDebugPart, LineBlocksNestBeforeTheirLinesDeltasAndSpecials) {
  const int64_t at = 8;
  IosDebugHandle m = module("one");
  variable(m, "v", &at);
  IosLineBlockHandle outer{}, inner{};
  ASSERT_EQ(ios_line_block_create(m, StringHandle{file_, name("a.c")}, &outer, nullptr), 0);
  ASSERT_EQ(ios_line_block_create(m, StringHandle{file_, name("b.h")}, &inner, nullptr), 0);
  ASSERT_EQ(ios_line_block_attach(outer, inner.block_id, nullptr), 0);
  IosLineItemHandle item{};
  ASSERT_EQ(ios_line_add(inner, integer(2), 20, 0, &item, nullptr), 0);
  ASSERT_EQ(ios_line_add(outer, integer(4), 10, 0, &item, nullptr), 0);
  ASSERT_EQ(ios_delta_add(outer, integer(6), 1, 2, &item, nullptr), 0);
  ASSERT_EQ(ios_delta_add(outer, integer(7), 0, 5, &item, nullptr), 0);
  ASSERT_EQ(ios_special_add(outer, integer(12), nullptr, 3, &item, nullptr), 0);
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  const std::vector<std::string> expected = {"BB1", "BE", "BB3", "NN33", "AT33", "AS-N33", "BE",
                                             "BB5", "BB5", "AS-H20", "BE", "AS-H10", "AS-Q2", "AT2",
                                             "AS-Q5", "AS-U3", "BE"};
  EXPECT_EQ(debug_records(bytes), expected);
}

// The first type table's types go into one block of kind 2 before the modules; a
// member type is left out there.
TEST_F(IeeeDebugPart, GlobalTypesComeFirstWithoutMemberTypes) {
  uint32_t bits = typeref(IOS_TYPEREF_BITFIELD);
  setWords(bits, 0, {1, 5});
  uint32_t field = typeref(IOS_TYPEREF_MEMBER);
  uint32_t bits_type = intern(bits);
  uint32_t field_type = intern(field);
  ASSERT_NE(bits_type, 0u);
  ASSERT_NE(field_type, 0u);
  IosDebugHandle table{};
  ASSERT_EQ(ios_typetable_create(file_, &table, nullptr), 0);
  IosTypeTable* record = nullptr;
  ASSERT_EQ(ios_get_typetable(table, &record, nullptr), 0);
  for (uint32_t id : {field_type, bits_type}) {
    ASSERT_EQ(ios_idtab_append(record->types, ios_id_item(id), nullptr), 0);
  }
  module("one");
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  // The bitfield is the first interned type: index 257, items "g", signed, 5 bits.
  const std::vector<std::string> expected = {"BB2", "TY257:103,1,5", "BE", "BB1", "BE"};
  EXPECT_EQ(debug_records(bytes), expected);
}

// Object kind 4 closes the part with a block of section bases: one R assignment for
// each section without an address. (The data part then assigns R once more.)
TEST_F(IeeeDebugPart, ObjectKindFourAddsTheSectionBasesBlock) {
  module("one");
  IosFile* file = nullptr;
  ASSERT_EQ(ios_get_file(file_, &file, nullptr), 0);
  file->kind_word = 4;
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  const std::vector<std::string> expected = {"BB1", "BE", "BB0", "AS-R1", "BE", "AS-R1"};
  EXPECT_EQ(debug_records(bytes), expected);
}

// A variable without a name cannot be written: its NN record fails with 8, and the
// module fails with it instead of hiding the failure behind later records.
TEST_F(IeeeDebugPart, ANamelessVariableFailsTheModule) {
  const int64_t at = 8;
  IosDebugHandle m = module("one");
  variable(m, nullptr, &at);
  variable(m, "later", &at);
  int result = -1;
  uint32_t error = 99;
  write(&result, &error);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(error, 8u);
}

TEST_F(IeeeDebugPart, BlockRecordsOfKindsWithoutFieldsAndOfUnknownKinds) {
  struct Case {
    uint32_t kind;
    int begin;
    int end;
    uint32_t code;
  };
  const Case cases[] = {{7, 0, 0, 0}, {9, 0, 0, 0}, {12, 1, 1, 8}, {40, 1, 1, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    FILE* out = std::tmpfile();
    IeeeWriter* writer = ieee_writer_new(out, "m", file_);
    ASSERT_NE(writer, nullptr);
    ieee_prepare_module(writer);
    writer->current_part = 4;
    IeeeDebugBlock* block = ieee_block_new(writer, c.kind);
    uint32_t error = 0;
    EXPECT_EQ(ieee_block_begin(writer, block, ieee_fill_record, &error), c.begin);
    EXPECT_EQ(error, c.code);
    error = 0;
    EXPECT_EQ(ieee_block_end(writer, ieee_fill_record, &error), c.end);
    EXPECT_EQ(error, c.code);
    ieee_writer_free(writer);
    std::fclose(out);
  }
}

}  // namespace
