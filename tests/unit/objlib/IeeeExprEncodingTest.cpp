#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/DebugInfoFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_expr.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"

namespace {

class IeeeExprEncoding : public OneStoreFile {
 protected:
  ExprNode* op(int32_t kind, std::initializer_list<ExprNode*> operands) {
    ExprNode* node = nullptr;
    std::vector<ExprNode*> list(operands);
    EXPECT_EQ(objexpr_make_operator_n(context_, &node, kind, static_cast<uint32_t>(list.size()), list.data()), 0)
        << kind;
    for (ExprNode* operand : list) expr_release(operand);
    return node;
  }
  ExprNode* name(const char* text) {
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_node(context_, &node), 0);
    node->value_type = EXPR_TYPE_STRING;
    node->payload.string = expr_new_value(context_);
    EXPECT_EQ(expr_value_set_text(context_, node->payload.string, text), 0);
    return node;
  }
};

TEST_F(IeeeExprEncoding, OperatorsWriteTheirOperandsThenTheirCodes) {
  struct Case {
    const char* name;
    std::function<ExprNode*()> build;
    Bytes bytes;
  };
  auto a = [this] { return integer(1); };
  auto b = [this] { return integer(2); };
  auto c = [this] { return integer(3); };
  const Case cases[] = {
      {"127", [&] { return integer(127); }, {0x7F}},
      {"128", [&] { return integer(128); }, {0x81, 0x80}},
      {"256", [&] { return integer(256); }, {0x82, 0x01, 0x00}},
      {"-1", [&] { return integer(-1); }, {0x84, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"2^40", [&] { return integer(int64_t{1} << 40); }, {0x86, 0x01, 0, 0, 0, 0, 0}},
      {"a+b", [&] { return op(EXPR_ADD, {a(), b()}); }, {0x01, 0x02, 0xA5}},
      {"a-b", [&] { return op(EXPR_SUB, {a(), b()}); }, {0x01, 0x02, 0xA6}},
      {"a>=b", [&] { return op(EXPR_GE, {a(), b()}); }, {0x01, 0x02, 0xAC, 0xA4}},
      {"a<=b", [&] { return op(EXPR_LE, {a(), b()}); }, {0x01, 0x02, 0xAD, 0xA4}},
      {"a<b", [&] { return op(EXPR_LT, {a(), b()}); }, {0x01, 0x02, 0xAC}},
      {"~a", [&] { return op(EXPR_BIT_NOT, {a()}); }, {0x01, 0xA4}},
      {"c?a:b", [&] { return op(EXPR_COND, {c(), a(), b()}); }, {0x03, 0xB6, 0x01, 0xB7, 0x02, 0xB8}},
      {"range check", [&] { return op(EXPR_RANGE_CHECK, {a(), b(), c()}); }, {0x02, 0x01, 0x03, 0xB5}},
      {"(a+b)*c", [&] { return op(EXPR_MUL, {op(EXPR_ADD, {a(), b()}), c()}); }, {0x01, 0x02, 0xA5, 0x03, 0xA8}},
      {"S12", [&] { return name("S12"); }, {0xCE, 0x0C}},
      {"T5 without types", [&] { return name("T5"); }, {}},
      {"other name", [&] { return name("x"); }, {}},
      {"true", [&] { return op(EXPR_TRUE, {}); }, {0xA1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExprNode* node = c.build();
    ASSERT_NE(node, nullptr);
    StrBuf* buffer = ieee_buf_new(0);
    EXPECT_EQ(ieee_encode_expression(nullptr, buffer, node), 0);
    EXPECT_EQ(ieee_buf_to_bytes(buffer), c.bytes);
    ieee_buf_free(buffer);
    expr_release(node);
  }
}

TEST_F(IeeeExprEncoding, FunctionCodesOfTheKinds) {
  struct Case {
    int32_t kind;
    uint32_t code;
  };
  const Case cases[] = {{2, 0xA1}, {3, 0xA0}, {4, 0},     {5, 0xA5},  {9, 0xB0},  {17, 0xB1}, {18, 0x90},
                        {21, 0xA6}, {25, 0xAD}, {26, 0xAC}, {30, 0},   {33, 0},    {34, 0xB5}, {415, 0x9F},
                        {446, 0xBE}, {447, 0xBF}, {999, 0}};
  for (const Case& c : cases) EXPECT_EQ(ieee_operator_code(c.kind), c.code) << c.kind;
}

TEST_F(IeeeExprEncoding, AValueWithoutAnExpressionIsAnObligatedFieldMissing) {
  IosValue value{};
  ios_value_init(&value);
  uint32_t error = 0;
  EXPECT_EQ(ieee_value_encode(nullptr, &value, &error), 1);
  EXPECT_EQ(error, 8u);
  value.expression = integer(300);
  EXPECT_EQ(ieee_value_encode(nullptr, &value, &error), 0);
  EXPECT_EQ(ieee_buf_to_bytes(value.text), (Bytes{0x82, 0x01, 0x2C}));
  ios_value_clear(&value);
}

TEST_F(IeeeExprEncoding, SingleBytePutsAppendTheirByte) {
  struct Case {
    int (*put)(StrBuf*);
    uint8_t byte;
  };
  const Case cases[] = {{ieee_put_letter_n, 0xCE}, {ieee_put_letter_t, 0xD4}, {ieee_put_code_b6, 0xB6},
                        {ieee_put_code_b7, 0xB7}, {ieee_put_code_b8, 0xB8}};
  for (const Case& c : cases) {
    StrBuf* buffer = ieee_buf_new(0);
    ASSERT_EQ(ieee_buf_put_byte(buffer, 0x01), 0);
    EXPECT_EQ(c.put(buffer), 0);
    EXPECT_EQ(ieee_buf_to_bytes(buffer), (Bytes{0x01, c.byte})) << int(c.byte);
    ieee_buf_free(buffer);
  }
}

TEST_F(IeeeExprEncoding, AHoldersExpressionIsAppendedToItsBytes) {
  struct Case {
    const char* name;
    bool expression;
    Bytes before;  // none: the holder has no buffer yet
    Bytes after;
  };
  const Case cases[] = {
      {"no expression", false, {}, {}},
      {"no buffer yet", true, {}, {0x82, 0x01, 0x2C}},
      {"bytes already there", true, {0xBE}, {0xBE, 0x82, 0x01, 0x2C}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IosValue value{};
    ios_value_init(&value);
    if (!c.before.empty()) {
      value.text = ieee_buf_new(0);
      ieee_buf_append_bytes(value.text, c.before.data(), c.before.size());
    }
    if (c.expression) value.expression = integer(300);
    EXPECT_EQ(ieee_encode_expression_buffer(&value, nullptr), 0);
    EXPECT_EQ(value.text != nullptr, c.expression || !c.before.empty());
    EXPECT_EQ(ieee_buf_to_bytes(value.text), c.after);
    ios_value_clear(&value);
  }
}

// A writer over a file whose debug information holds one interned type.
class IeeeTypeNames : public DebugInfoFile {
 protected:
  void SetUp() override {
    DebugInfoFile::SetUp();
    ieee_process_state_reset();
    type_ = intern(structure("s", {}));
    ASSERT_NE(type_, 0u);
    out_ = std::tmpfile();
    writer_ = ieee_writer_new(out_, "m", file_);
    ieee_prepare_module(writer_);
  }
  void TearDown() override {
    ieee_writer_free(writer_);
    std::fclose(out_);
    ieee_process_state_reset();
    DebugInfoFile::TearDown();
  }
  ExprNode* name(const std::string& text) {
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_node(context_, &node), 0);
    node->value_type = EXPR_TYPE_STRING;
    node->payload.string = expr_new_value(context_);
    EXPECT_EQ(expr_value_set_text(context_, node->payload.string, text.c_str()), 0);
    return node;
  }

  uint32_t type_ = 0;
  FILE* out_ = nullptr;
  IeeeWriter* writer_ = nullptr;
};

TEST_F(IeeeTypeNames, TypeNamesEncodeAsTAndTheirTypeIndex) {
  struct Case {
    std::string text;
    Bytes bytes;
  };
  const Case cases[] = {
      {"T1", {0xD4, 0x01}},
      {"T8", {0xD4, 0x02}},  // built-in code 8 is the format's type 2
      {"T" + std::to_string(type_), {0xD4, 0x82, 0x01, 0x01}},  // the file's first type
      {"T" + std::to_string(type_ + 1), {}},  // no such type
      {"T-1", {}},
      {"Tx", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ExprNode* node = name(c.text);
    StrBuf* buffer = ieee_buf_new(0);
    EXPECT_EQ(ieee_encode_expression(writer_, buffer, node), 0);
    EXPECT_EQ(ieee_buf_to_bytes(buffer), c.bytes);
    ieee_buf_free(buffer);
    expr_release(node);
  }
}

TEST_F(IeeeTypeNames, TypeRecordsStandForBuiltInAndOwnTypes) {
  struct Case {
    const char* name;
    uint32_t type_id;
    bool found;
    uint64_t index;
    uint32_t stands_for;  // the type id of the record found
  };
  const Case cases[] = {
      {"built-in code 1", 1, true, 1, 1},
      {"built-in code 14 shares the index of code 13", 14, true, 16, 13},
      {"a code without an index of its own", 2, true, 0, 0},
      {"the file's type", type_, true, 257, type_},
      {"an unknown type", type_ + 5, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IeeeTypeRecord* record = ieee_find_type_record(writer_, TypeHandle{file_, 1, c.type_id});
    ASSERT_EQ(record != nullptr, c.found);
    if (!c.found) continue;
    EXPECT_EQ(record->letter, 0xD4u);
    EXPECT_EQ(record->index, c.index);
    EXPECT_EQ(record->type.type_id, c.stands_for);
    // The same type finds the same record again.
    EXPECT_EQ(ieee_find_type_record(writer_, TypeHandle{file_, 1, c.type_id}), record);
  }
  // A built-in pointer index stands for a pointer to the built-in type 32 below it.
  IeeeTypeRecord* pointer = ieee_new_type_record(writer_, 34, TypeHandle{file_, 1, 0});
  ASSERT_NE(pointer, nullptr);
  EXPECT_EQ(pointer->type.type_id, static_cast<uint32_t>(IOS_TYPEREF_POINTER));
  EXPECT_EQ(pointer->pointee, 8u);
  // A record at a negative index keeps it sign-extended, and the index names one record.
  IeeeTypeRecord* negative = ieee_type_record_at(writer_, -1, 1, 2, 3);
  ASSERT_NE(negative, nullptr);
  EXPECT_EQ(negative->index, ~uint64_t{0});
  EXPECT_EQ(ieee_type_record_at(writer_, -1, 4, 5, 6), negative);
  EXPECT_EQ(negative->type.type_id, 6u);
}

// Fills an AS record from its argument's expression.
uint32_t fill_from_argument(IeeeWriter* writer, uint32_t* error) {
  IeeeLetterRecord* argument = writer->letter_cache;
  writer->current->body->as.letter = argument->letter;
  writer->current->body->as.index = argument->index;
  return ieee_value_from_expression(writer, error);
}

TEST_F(IeeeTypeNames, ARecordValueIsFilledFromItsArgumentsExpression) {
  struct Case {
    const char* name;
    int64_t value;  // -1: no expression
    int result;
    uint32_t error;
    Bytes bytes;
  };
  const Case cases[] = {
      {"a number", 5, 0, 0, {0xE2, 0xCE, 0x28, 0x05}},
      {"a type name", 1, 0, 0, {0xE2, 0xCE, 0x29, 0xD4, 0x01}},
      {"no expression", -1, 1, 8, {}},
  };
  uint64_t index = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IeeeLetterRecord* argument = ieee_letter_record(writer_, 0xCE, index);
    ASSERT_NE(argument, nullptr);
    if (c.value >= 0) argument->value.expression = c.value == 1 ? name("T1") : integer(c.value);
    uint64_t before = writer_->stream->position;
    uint32_t error = 0;
    IeeeVariable variable{0xCE, index};
    EXPECT_EQ(ieee_emit_record(writer_, IEEE_AS, &variable, fill_from_argument, &error), c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(writer_->stream->position - before, c.bytes.size());
    ++index;
  }
  ieee_stream_close(&writer_->stream);
  Bytes bytes = ieee_file_bytes(out_);
  EXPECT_EQ(bytes, (Bytes{0xE2, 0xCE, 0x28, 0x05, 0xE2, 0xCE, 0x29, 0xD4, 0x01}));
}

}  // namespace
