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
#include "objlib/ios_asm_section_ops.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_debugops.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_function.h"
#include "objlib/ios_group.h"
#include "objlib/ios_lineinfo.h"
#include "objlib/ios_section.h"

namespace {

// What `text` makes of each record of the module's debug part, read back by the codec:
// the part runs from the first BB to the data or trailer part; an empty text leaves a
// record out.
template <typename Text>
std::vector<std::string> debug_part(const Bytes& module, Text text) {
  std::vector<std::string> out;
  IeeeReader reader(module);
  IeeeRecord record{};
  uint8_t next = 0;
  bool in_part = false;
  while (ieee_stream_peek_byte(reader.stream, &next) != 0) {
    int ok = ieee_record_transfer(&record, reader.stream);
    EXPECT_EQ(ok, 1) << "record at " << record.start_offset;
    if (ok == 0) break;
    if (record.type == IEEE_BB) in_part = true;
    if (record.type == IEEE_SB || record.type == IEEE_ME) in_part = false;
    std::string line = in_part ? text(record) : std::string();
    if (!line.empty()) out.push_back(line);
    ieee_record_clear(&record);
  }
  ieee_record_clear(&record);
  return out;
}

// A record of the debug part as the codec reads it back, written as a short token:
// "BB1", "BE1", "NN33", "AT33", "AS-N33" (letter and index), "TY257".
std::vector<std::string> debug_records(const Bytes& module) {
  return debug_part(module, [](const IeeeRecord& record) {
    std::string token;
    switch (record.type) {
      case IEEE_BB:
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
        break;
    }
    return token;
  });
}

// A value run as read back: hex bytes without the record byte that ends the run.
std::string value_hex(const IosValue& holder) {
  std::string out;
  size_t length = ieee_buf_length(holder.text);
  if (length != 0 && ieee_buf_bytes(holder.text)[length - 1] >= 0xE0) --length;
  char byte[4];
  for (size_t i = 0; i < length; ++i) {
    std::snprintf(byte, sizeof byte, "%s%02X", out.empty() ? "" : " ", ieee_buf_bytes(holder.text)[i]);
    out += byte;
  }
  return "[" + out + "]";
}

std::string name_of(const StrBuf* name) {
  return ieee_buf_length(name) == 0 ? "-" : std::string(reinterpret_cast<const char*>(ieee_buf_bytes(name)), ieee_buf_length(name));
}

// The debug part's records with their fields: "BB11 .text [01 01 D2 01]", "BE [0C]",
// "NN33 name", "AT33 0 0 0 [..]" (unset numbers as "-"), "AS-N33 [..]", and TY items with letter entries as
// the letter and its index ("TY257 N33 90 T27 9").
std::vector<std::string> debug_lines(const Bytes& module) {
  return debug_part(module, [](const IeeeRecord& record) {
    const IeeeBody& b = *record.body;
    std::string line;
    switch (record.type) {
      case IEEE_BB:
        line = "BB" + std::to_string(b.bb.block_type) + " " + name_of(b.bb.name) + " " + value_hex(b.bb.value);
        break;
      case IEEE_BE:
        line = "BE " + value_hex(b.be.value);
        break;
      case IEEE_NN:
        line = "NN" + std::to_string(b.name.index) + " " + name_of(b.name.name);
        break;
      case IEEE_AT:
        line = "AT" + std::to_string(b.at.index);
        for (uint64_t n : b.at.numbers) line += n == IEEE_UNSET ? " -" : " " + std::to_string(n);
        line += " " + value_hex(b.at.value);
        break;
      case IEEE_AS:
        line = std::string("AS-") + static_cast<char>(b.as.letter - 0x80) + std::to_string(b.as.index) + " " +
               value_hex(b.as.value);
        break;
      case IEEE_TY: {
        line = "TY" + std::to_string(b.ty.type_index);
        const IeeeItemList* items = b.ty.items;
        for (uint32_t i = 0; items != nullptr && i < items->count; ++i) {
          uint32_t item = items->items[i];
          if (i + 1 < items->count && ~item >= 0xC1 && ~item <= 0xDA) {
            line += " " + std::string(1, static_cast<char>('A' + (~item - 0xC1))) + std::to_string(items->items[++i]);
          } else {
            line += " " + std::to_string(item);
          }
        }
        break;
      }
      default:
        break;
    }
    return line;
  });
}

class IeeeDebugPart : public DebugInfoFile {
 protected:
  void SetUp() override {
    DebugInfoFile::SetUp();
    ieee_process_state_reset();
    ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
    ASSERT_EQ(ios_file_set_string5(file_, IosHandle{file_, name("TRI")}, nullptr), 0);
    ASSERT_EQ(ios_section_create(file_, nullptr, &text_, nullptr), 0);
    ASSERT_EQ(ios_section_set_name(text_, IosHandle{file_, name(".text")}, nullptr), 0);
    ASSERT_EQ(ios_section_set_size(text_, 0, nullptr), 0);
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

  // A name operand of the kind that generated names take: "S" and a string id.
  ExprNode* generated(const char* text) {
    std::string spelt = "S" + std::to_string(name(text));
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_node(context_, &node), 0);
    ExprValueObject* value = expr_new_value(context_);
    EXPECT_NE(value, nullptr);
    EXPECT_EQ(expr_value_set_text(context_, value, spelt.c_str()), 0);
    node->value_type = EXPR_TYPE_STRING;
    node->width = static_cast<uint16_t>(spelt.size() + 1);
    node->payload.string = value;
    return node;
  }
  // operand + 4, taking over the operand's reference.
  ExprNode* plus4(ExprNode* operand) {
    ExprNode* four = integer(4);
    ExprNode* sum = nullptr;
    EXPECT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, operand, four), 0);
    expr_release(operand);
    expr_release(four);
    return sum;
  }

  Bytes write(int* result, uint32_t* error) {
    FILE* out = std::tmpfile();
    *result = ieee_write_module("m", out, file_, error);
    Bytes bytes = ieee_file_bytes(out);
    std::fclose(out);
    return bytes;
  }

  IosHandle text_{0, 0};
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
  // Through the record filler, and through the block fillers by name.
  const std::pair<IeeeFillCallback, IeeeFillCallback> fillers[] = {{ieee_fill_record, ieee_fill_record},
                                                                   {ieee_fill_block_begin, ieee_fill_block_end}};
  for (const auto& [begin_fill, end_fill] : fillers)
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    FILE* out = std::tmpfile();
    IeeeWriter* writer = ieee_writer_new(out, "m", file_);
    ASSERT_NE(writer, nullptr);
    ieee_prepare_module(writer);
    writer->current_part = 4;
    IeeeDebugBlock* block = ieee_block_new(writer, c.kind);
    uint32_t error = 0;
    EXPECT_EQ(ieee_block_begin(writer, block, begin_fill, &error), c.begin);
    EXPECT_EQ(error, c.code);
    error = 0;
    EXPECT_EQ(ieee_block_end(writer, end_fill, &error), c.end);
    EXPECT_EQ(error, c.code);
    ieee_writer_free(writer);
    std::fclose(out);
  }
}

// Each entry of an assembler-section record opens a function-like block in the scope
// block (its name, no stack space, type index 0, its start; its end in BE); each record
// that names a section opens a module-section block in the assembler-module block
// (kind, section index, section base; the section's size in BE).
TEST_F(IeeeDebugPart, AssemblerSectionRecordsGiveTheirBlocks) {
  IosDebugHandle m = module("one");
  IosDebugHandle named{}, unnamed{};
  ASSERT_EQ(ios_asm_section_create(m, &named, nullptr), 0);
  ASSERT_EQ(ios_asm_section_set_name(named, text_, nullptr), 0);
  ASSERT_EQ(ios_asm_section_set_kind_code(named, nullptr), 0);
  ExprNode* start = integer(0x10);
  ExprNode* end = integer(0x20);
  ASSERT_EQ(ios_asm_section_add_entry(named, IosHandle{file_, name("entry")}, start, end, nullptr), 0);
  expr_release(start);
  expr_release(end);
  ASSERT_EQ(ios_asm_section_create(m, &unnamed, nullptr), 0);
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  const std::vector<std::string> expected = {
      "BB1 one []", "BE []", "BB3 one []", "BB6 entry [00 00 10]", "BE [20]", "BE []",
      // No input file name recorded and the tool type unspecified; the record without
      // a section has no block.
      "BB10 one [00 00]", "BB11 .text [01 01 D2 01]", "BE [00]", "BE []"};
  EXPECT_EQ(debug_lines(bytes), expected);
}

// A function block carries its stack space (0 unknown), its type index as a plain
// number and its start address; a lexical block the same with the space its
// stack-usage record gives and type index 0.
TEST_F(IeeeDebugPart, FunctionBlocksCarryStackSpaceTypeAndStart) {
  IosDebugHandle m = module("one");
  IosDebugHandle function{}, block{}, usage{};
  ASSERT_EQ(ios_module_add_function(file_, 1, m.record_id, &function, nullptr), 0);
  ASSERT_EQ(ios_function_set_name(function, StringHandle{file_, name("main")}, nullptr), 0);
  ASSERT_EQ(ios_function_set_type(function, TypeHandle{file_, 1, 5}, nullptr), 0);
  ASSERT_EQ(ios_function_set_field10(function, 1, nullptr), 0);
  using Setter = int (*)(IosDebugHandle, ExprNode*, IosErrorCode*);
  auto set = [&](Setter setter, IosDebugHandle owner, int64_t value) {
    ExprNode* node = integer(value);
    EXPECT_EQ(setter(owner, node, nullptr), 0);
    expr_release(node);
  };
  set(ios_function_set_expression_a, function, 0x100);
  set(ios_function_set_expression_b, function, 0x180);
  ASSERT_EQ(ios_function_add_block(function, &block, nullptr), 0);
  set(ios_lexical_block_set_expression_a, block, 0x110);
  set(ios_lexical_block_set_expression_b, block, 0x120);
  ASSERT_EQ(ios_lexical_block_add_stack_usage(block, &usage, nullptr), 0);
  set(ios_stack_usage_set_expression, usage, 24);
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  // Built-in type 5 has the format's index 0x1B.
  const std::vector<std::string> expected = {
      "BB1 one []", "BE []", "BB3 one []", "BB4 main [00 1B 82 01 00]", "BB6 - [18 00 82 01 10]",
      "BE [82 01 20]", "BE [82 01 80]", "BE []"};
  EXPECT_EQ(debug_lines(bytes), expected);
}

// A reader of the debug part that knows only the format's block layouts: each BB and BE
// record is taken apart field by field as the standard lays it out for its block type,
// and any byte that does not fit makes the whole read fail.
class StandardBlockReader {
 public:
  explicit StandardBlockReader(const Bytes& bytes) : bytes_(bytes) {}

  // The blocks of the part that starts at offset, one line each; empty with the
  // reason in `fault` when a record does not follow its layout.
  std::vector<std::string> read(size_t offset) {
    at_ = offset;
    std::vector<std::string> lines;
    std::vector<uint64_t> open;
    while (fault.empty()) {
      if (at_ >= bytes_.size()) return failed("the part runs past the module");
      uint8_t code = bytes_[at_];
      if (open.empty() && code != 0xF8) break;
      ++at_;
      std::string line;
      if (code == 0xF8) {
        uint64_t type = 0, size = 0;
        std::string name;
        if (!number(&type) || !number(&size)) return failed("BB head");
        line = "BB" + std::to_string(type);
        if (type != 0 && !id(&name)) return failed(line + " name");
        if (type != 0) line += " " + (name.empty() ? std::string("-") : name);
        if (!blockBegin(type, &line)) return failed(line);
        open.push_back(type);
      } else if (code == 0xF9) {
        line = "BE" + std::to_string(open.back());
        if (!blockEnd(open.back(), &line)) return failed(line);
        open.pop_back();
      } else {
        return failed("a record of type " + std::to_string(code) + " inside a block");
      }
      if (at_ < bytes_.size() && bytes_[at_] < 0xE0) return failed(line + ": bytes left after the record");
      lines.push_back(line);
    }
    if (!fault.empty()) lines.clear();
    return lines;
  }

  std::string fault;

 private:
  std::vector<std::string> failed(const std::string& why) {
    if (fault.empty()) fault = why + " at " + std::to_string(at_);
    return {};
  }
  bool more() const { return at_ < bytes_.size(); }
  bool startsNumber() const { return more() && bytes_[at_] <= 0x88 && bytes_[at_] != 0x80; }
  bool number(uint64_t* value) {
    if (!startsNumber()) return false;
    uint8_t head = bytes_[at_++];
    if (head < 0x80) {
      *value = head;
      return true;
    }
    *value = 0;
    for (uint8_t i = 0; i < head - 0x80; ++i) {
      if (!more()) return false;
      *value = (*value << 8) | bytes_[at_++];
    }
    return true;
  }
  bool startsId() const { return more() && (bytes_[at_] < 0x80 || bytes_[at_] == 0xDE || bytes_[at_] == 0xDF); }
  bool id(std::string* text) {
    if (!startsId()) return false;
    uint8_t head = bytes_[at_++];
    size_t length = head;
    if (head == 0xDE || head == 0xDF) {
      length = 0;
      for (int i = head == 0xDE ? 1 : 2; i > 0; --i) {
        if (!more()) return false;
        length = (length << 8) | bytes_[at_++];
      }
    }
    if (bytes_.size() - at_ < length) return false;
    text->assign(bytes_.begin() + static_cast<ptrdiff_t>(at_), bytes_.begin() + static_cast<ptrdiff_t>(at_ + length));
    at_ += length;
    return true;
  }
  // A postfix expression up to the next record: numbers, section letters with their
  // index, plus and minus; exactly one value must be left.
  bool expression(std::string* text) {
    std::vector<std::string> stack;
    while (more() && bytes_[at_] < 0xE0) {
      uint8_t byte = bytes_[at_];
      uint64_t value = 0;
      if (startsNumber()) {
        number(&value);
        stack.push_back(std::to_string(value));
      } else if (byte == 0xD0 || byte == 0xD2 || byte == 0xCC) {
        ++at_;
        if (!number(&value)) return false;
        stack.push_back(std::string(1, static_cast<char>(byte - 0x80)) + std::to_string(value));
      } else if (byte == 0xA5 || byte == 0xA6) {
        ++at_;
        if (stack.size() < 2) return false;
        std::string right = stack.back();
        stack.pop_back();
        stack.back() += (byte == 0xA5 ? "+" : "-") + right;
      } else {
        return false;
      }
    }
    if (stack.size() != 1) return false;
    *text = stack.front();
    return true;
  }
  // Up to six numbers of a date, when present.
  bool date(std::string* line) {
    for (int i = 0; i < 6 && startsNumber(); ++i) {
      uint64_t value = 0;
      number(&value);
      *line += (i == 0 ? " date=" : ".") + std::to_string(value);
    }
    return true;
  }
  bool blockBegin(uint64_t type, std::string* line) {
    uint64_t a = 0, b = 0;
    std::string text;
    switch (type) {
      case 0:
      case 1:
      case 2:
      case 3:
        return true;
      case 4:
      case 6:
        // Stack space, the function's type index, its start.
        if (!number(&a) || !number(&b) || !expression(&text)) return false;
        *line += " stack=" + std::to_string(a) + " type=" + std::to_string(b) + " start=" + text;
        return true;
      case 5:
        return date(line);
      case 10:
        // Input file name, tool type, then a version and a date when present.
        if (!id(&text) || !number(&a)) return false;
        *line += " input=" + (text.empty() ? std::string("-") : text) + " tool=" + std::to_string(a);
        if (startsId()) {
          id(&text);
          *line += " version=" + text;
        }
        return date(line);
      case 11:
        // Section type, section index, the section's offset.
        if (!number(&a) || !number(&b) || !expression(&text)) return false;
        *line += " type=" + std::to_string(a) + " index=" + std::to_string(b) + " offset=" + text;
        return true;
      default:
        return false;
    }
  }
  bool blockEnd(uint64_t type, std::string* line) {
    std::string text;
    if (type == 4 || type == 6) {
      if (!expression(&text)) return false;
      *line += " end=" + text;
    } else if (type == 11) {
      if (!expression(&text)) return false;
      *line += " size=" + text;
    }
    return true;
  }

  const Bytes& bytes_;
  size_t at_ = 0;
};

// The offset of part n from its part-offset assignment (AS W n) in the module head.
size_t part_offset(const Bytes& module, uint8_t part) {
  for (size_t i = 0; i + 8 <= module.size(); ++i) {
    if (module[i] == 0xE2 && module[i + 1] == 0xD7 && module[i + 2] == part && module[i + 3] == 0x84) {
      return (size_t{module[i + 4]} << 24) | (size_t{module[i + 5]} << 16) | (size_t{module[i + 6]} << 8) |
             module[i + 7];
    }
  }
  return 0;
}

// Two modules with a global function holding a lexical block and with assembler
// sections, written through the library and read back by the format's block layouts.
TEST_F(IeeeDebugPart, BlocksFollowTheStandardLayouts) {
  struct Case {
    const char* name;
    const char* input;    // the file's source name, null for none
    const char* version;  // the tool's version, null for none
    std::string input_line;
  };
  const std::string long_name(200, 'a');
  const Case cases[] = {
      {"nothing recorded", nullptr, nullptr, " input=- tool=0"},
      {"source name and version", "prog.asm", "2.1", " input=prog.asm tool=0 version=2.1"},
      {"a source name of 200 characters", long_name.c_str(), nullptr, " input=" + long_name + " tool=0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (c.input != nullptr) {
      ASSERT_EQ(ios_file_set_string3(file_, IosHandle{file_, name(c.input)}, nullptr), 0);
    }
    if (c.version != nullptr) {
      ASSERT_EQ(ios_file_set_tool_version(file_, IosHandle{file_, name(c.version)}, nullptr), 0);
    }
    using Setter = int (*)(IosDebugHandle, ExprNode*, IosErrorCode*);
    auto set = [&](Setter setter, IosDebugHandle owner, int64_t value) {
      ExprNode* node = integer(value);
      EXPECT_EQ(setter(owner, node, nullptr), 0);
      expr_release(node);
    };
    auto assembler_section = [&](IosDebugHandle in, const char* entry, int64_t start, int64_t end) {
      IosDebugHandle record{};
      ASSERT_EQ(ios_asm_section_create(in, &record, nullptr), 0);
      ASSERT_EQ(ios_asm_section_set_name(record, text_, nullptr), 0);
      ASSERT_EQ(ios_asm_section_set_kind_code(record, nullptr), 0);
      ExprNode* from = integer(start);
      ExprNode* to = integer(end);
      ASSERT_EQ(ios_asm_section_add_entry(record, IosHandle{file_, name(entry)}, from, to, nullptr), 0);
      expr_release(from);
      expr_release(to);
    };
    IosDebugHandle one = module("one");
    IosDebugHandle function{}, block{}, usage{};
    ASSERT_EQ(ios_module_add_function(file_, 1, one.record_id, &function, nullptr), 0);
    ASSERT_EQ(ios_function_set_name(function, StringHandle{file_, name("main")}, nullptr), 0);
    ASSERT_EQ(ios_function_set_type(function, TypeHandle{file_, 1, 5}, nullptr), 0);
    ASSERT_EQ(ios_function_set_field10(function, 1, nullptr), 0);
    set(ios_function_set_expression_a, function, 0x100);
    set(ios_function_set_expression_b, function, 0x180);
    ASSERT_EQ(ios_function_add_block(function, &block, nullptr), 0);
    set(ios_lexical_block_set_expression_a, block, 0x110);
    set(ios_lexical_block_set_expression_b, block, 0x120);
    ASSERT_EQ(ios_lexical_block_add_stack_usage(block, &usage, nullptr), 0);
    set(ios_stack_usage_set_expression, usage, 24);
    assembler_section(one, "start", 0x10, 0x20);
    IosDebugHandle two = module("two");
    assembler_section(two, "entry", 0x30, 0x40);

    int result = -1;
    uint32_t error = 99;
    Bytes bytes = write(&result, &error);
    ASSERT_EQ(result, 0) << error;
    size_t offset = part_offset(bytes, 4);
    ASSERT_NE(offset, 0u);
    StandardBlockReader reader(bytes);
    std::vector<std::string> blocks = reader.read(offset);
    EXPECT_EQ(reader.fault, "");
    // Built-in type 5 has the format's type index 0x1B (27); the lexical block and the
    // assembler-section entries have none.
    const std::vector<std::string> expected = {
        "BB1 one", "BE1", "BB3 one",
        "BB4 main stack=0 type=27 start=256", "BB6 - stack=24 type=0 start=272", "BE6 end=288", "BE4 end=384",
        "BB6 start stack=0 type=0 start=16", "BE6 end=32", "BE3",
        "BB10 one" + c.input_line, "BB11 .text type=1 index=1 offset=R1", "BE11 size=0", "BE10",
        "BB0", "BE0",
        "BB1 two", "BE1", "BB3 two", "BB6 entry stack=0 type=0 start=48", "BE6 end=64", "BE3",
        "BB10 two" + c.input_line, "BB11 .text type=1 index=1 offset=R1", "BE11 size=0", "BE10"};
    EXPECT_EQ(blocks, expected);
  }
}

// A delta whose address names a section is followed by the attribute record of the
// delta number like any other.
TEST_F(IeeeDebugPart, ADeltaAtASectionAddressKeepsItsDeltaNumber) {
  const int64_t at = 8;
  IosDebugHandle m = module("one");
  variable(m, "v", &at);
  IosLineBlockHandle lines{};
  ASSERT_EQ(ios_line_block_create(m, StringHandle{file_, name("a.c")}, &lines, nullptr), 0);
  IosSection* section = nullptr;
  ASSERT_EQ(ios_get_section(text_, &section, nullptr), 0);
  ExprNode* base = nullptr;
  ASSERT_EQ(objexpr_make_slot_ref(context_, &base, section->address_slot.index, context_), 0);
  ExprNode* address = plus4(base);
  IosLineItemHandle item{};
  ASSERT_EQ(ios_delta_add(lines, address, 3, 7, &item, nullptr), 0);
  expr_release(address);
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  const std::vector<std::string> expected = {
      "BB1 one []", "BE []", "BB3 one []", "NN33 v", "AT33 0 0 0 [08]", "AS-N33 [08]", "BE []",
      // The delta's second number is the line, its first the number its AT carries.
      "BB5 a.c []", "AS-Q7 [D2 01 04 A5]", "AT7 0 3 - []", "BE []"};
  EXPECT_EQ(debug_lines(bytes), expected);
}

// A generated name in a variable's address gets its NN record before the variable's
// attribute record, and both the attribute and the assignment name it by that number.
TEST_F(IeeeDebugPart, GeneratedNamesInAnAddressGetTheirNameRecords) {
  IosDebugHandle m = module("one");
  IosDebugHandle v = variable(m, "v", nullptr);
  ExprNode* address = plus4(generated("gen"));
  ASSERT_EQ(ios_variable_set_expression(v, address, nullptr), 0);
  expr_release(address);
  IosDebugHandle life{};
  ASSERT_EQ(ios_variable_add_lifetime(v.file_id, v.root_id, v.record_id, &life, nullptr), 0);
  address = plus4(generated("later"));
  ASSERT_EQ(ios_lifetime_set_expression_a(life, address, nullptr), 0);
  expr_release(address);
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  const std::vector<std::string> expected = {
      "BB1 one []", "BE []", "BB3 one []",
      "NN33 v", "NN34 gen", "AT33 0 0 0 [CE 22 04 A5]", "AS-N33 [CE 22 04 A5]",
      "NN33 v", "NN35 later", "AT33 0 0 0 [CE 23 04 A5]", "AS-N33 [CE 23 04 A5]", "BE []"};
  EXPECT_EQ(debug_lines(bytes), expected);
}

// TY items of every typeref kind that has them, written from the global type table.
TEST_F(IeeeDebugPart, TypeRecordsOfEveryKind) {
  struct Case {
    uint32_t kind;
    std::vector<std::pair<int, std::vector<uint32_t>>> words;  // {first word, words}
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // list entries {a, b}
    std::vector<std::string> names;  // the NN records that come first
    std::string expected;  // without the type index
  };
  const uint32_t member = typeref(IOS_TYPEREF_MEMBER);
  setWords(member, 0, {1, 5, file_, name("x"), 2});
  setWords(member, 6, {32});
  const Case cases[] = {
      // Name, "Z", element type, the first dimension's bound.
      {IOS_TYPEREF_ARRAY, {{0, {1, 5, file_, name("arr")}}}, {{0, 9}}, {"NN33 arr"}, "N33 90 T27 9"},
      // Name, "N", 0 and the size in MAUs.
      {IOS_TYPEREF_ENUM, {{0, {file_, name("colour"), 32}}}, {}, {"NN34 colour"}, "N34 78 0 4"},
      // "P" for a mode-2 pointer, then its target.
      {IOS_TYPEREF_POINTER, {{0, {1, 5}}, {3, {2}}}, {}, {}, "80 T27"},
      // A typedef of built-in type 2 is "g", 0, 1; of another type "T" and that type.
      {IOS_TYPEREF_TYPEDEF, {{0, {1, 2, file_, name("byte")}}}, {}, {"NN35 byte"}, "N35 103 0 1"},
      {IOS_TYPEREF_TYPEDEF, {{0, {1, 5, file_, name("word")}}}, {}, {"NN36 word"}, "N36 84 T27"},
      // Name, "S", size in MAUs, then each member: name, type, offset, size in MAUs.
      {IOS_TYPEREF_STRUCTURE, {{0, {64, file_, name("pt")}}}, {{0, member}}, {"NN37 pt", "NN38 x"}, "N37 83 8 N38 T27 2 4"},
      {IOS_TYPEREF_UNION, {{0, {32, file_, name("u")}}}, {}, {"NN39 u"}, "N39 85 4"},
      // Name, "X", result type, the unset attribute as 0, no parameters.
      {IOS_TYPEREF_FUNCTION, {{0, {file_, name("f"), 1, 5}}}, {}, {"NN40 f"}, "N40 88 T27 0 0"},
      // "n", qualified type, qualifier.
      {IOS_TYPEREF_QUALIFIER, {{0, {1, 5, 1}}}, {}, {}, "110 T27 1"},
      // "g", signed, bits.
      {IOS_TYPEREF_BITFIELD, {{0, {1, 5}}}, {}, {}, "103 1 5"},
  };
  IosDebugHandle table{};
  ASSERT_EQ(ios_typetable_create(file_, &table, nullptr), 0);
  IosTypeTable* global_table = nullptr;
  ASSERT_EQ(ios_get_typetable(table, &global_table, nullptr), 0);
  std::vector<uint32_t> types;
  for (const Case& c : cases) {
    uint32_t id = typeref(c.kind);
    for (const auto& [first, words] : c.words) {
      int at = first;
      for (uint32_t w : words) *ios_detail_word(record(id)->detail, at++) = w;
    }
    for (const auto& [a, b] : c.entries) addEntry(id, a, b);
    uint32_t type = intern(id);
    ASSERT_NE(type, 0u) << c.kind;
    types.push_back(type);
    ASSERT_EQ(ios_idtab_append(global_table->types, ios_id_item(type), nullptr), 0);
  }
  module("one");
  int result = -1;
  uint32_t error = 99;
  Bytes bytes = write(&result, &error);
  ASSERT_EQ(result, 0) << error;
  std::vector<std::string> expected = {"BB2 - []"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    expected.insert(expected.end(), cases[i].names.begin(), cases[i].names.end());
    // Interned types are numbered from 257 in type-id order.
    expected.push_back("TY" + std::to_string(257 + types[i] - types.front()) + " " + cases[i].expected);
  }
  expected.insert(expected.end(), {"BE []", "BB1 one []", "BE []"});
  EXPECT_EQ(debug_lines(bytes), expected);
}

// The attribute fillers by name: the variable's type index and address, or the
// lifetime's attribute number and address.
TEST_F(IeeeDebugPart, AttributeFillersReadTheVariableOrItsLifetime) {
  const int64_t at = 8;
  IosDebugHandle m = module("one");
  IosDebugHandle v = variable(m, "v", &at);
  ASSERT_EQ(ios_variable_set_type(v, TypeHandle{file_, 1, 5}, nullptr), 0);
  IosDebugHandle life{};
  ASSERT_EQ(ios_variable_add_lifetime(v.file_id, v.root_id, v.record_id, &life, nullptr), 0);
  ExprNode* node = integer(12);
  ASSERT_EQ(ios_lifetime_set_expression_a(life, node, nullptr), 0);
  expr_release(node);
  ASSERT_EQ(ios_lifetime_set_field3(life, 7, nullptr), 0);
  struct Case {
    bool lifetime;
    uint32_t (*fill)(IeeeWriter*, uint32_t*);
    uint64_t numbers[3];
    std::string value;
  };
  const Case cases[] = {{false, ieee_fill_type_attribute, {27, 0, 0}, "[08]"},
                        {true, ieee_fill_lifetime_attribute, {0, 7, 0}, "[0C]"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lifetime);
    FILE* out = std::tmpfile();
    IeeeWriter* writer = ieee_writer_new(out, "m", file_);
    ASSERT_NE(writer, nullptr);
    ieee_prepare_module(writer);
    writer->current_part = 4;
    IeeeDebugBlock* block = ieee_block_new(writer, 3);
    const uint32_t variable_words[3] = {v.file_id, v.root_id, v.record_id};
    const uint32_t lifetime_words[3] = {life.file_id, life.root_id, life.record_id};
    for (uint32_t n = 0; n < 3; ++n) {
      *ieee_block_word(block, IEEE_SLOT_VARIABLE + n) = variable_words[n];
      *ieee_block_word(block, IEEE_SLOT_LIFETIME + n) = c.lifetime ? lifetime_words[n] : 0;
    }
    writer->open_blocks.push_back(block);
    writer->current = ieee_record_init(writer->scratch, IEEE_AT);
    writer->letter_cache = ieee_letter_record(writer, 0xCE, 40);
    uint32_t error = 0;
    EXPECT_EQ(c.fill(writer, &error), 0u);
    EXPECT_EQ(error, 0u);
    const IeeeBodyAT& body = writer->current->body->at;
    EXPECT_EQ(body.letter, 0xCEu);
    EXPECT_EQ(body.index, 40u);
    for (int n = 0; n < 3; ++n) EXPECT_EQ(body.numbers[n], c.numbers[n]) << n;
    EXPECT_EQ(value_hex(body.value), c.value);
    ieee_record_clear(writer->scratch);
    writer->current = nullptr;
    ieee_writer_free(writer);
    std::fclose(out);
  }
}

}  // namespace
