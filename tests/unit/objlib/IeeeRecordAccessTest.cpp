#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_expr.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ieee695/ieee_access.h"
#include "objlib/ieee695/ieee_record.h"
#include "objlib/elf_context.h"
#include "objlib/ios_pool.h"
#include "FullStream.h"

namespace {

using F = IeeeField;

// Each numeric field lands in the member its record type names.
TEST(IeeeRecordAccess, NumericFieldsReadAndSetTheirOwnMember) {
  struct Case {
    uint32_t type;
    IeeeField field;
    uint64_t value;
    int64_t read_back;  // after the cut to the field's width
    uint64_t (*member)(const IeeeBody&);
  };
  const Case cases[] = {
      {IEEE_AS, F::Letter, 0x1C7, 0x1C7, [](const IeeeBody& b) -> uint64_t { return b.as.letter; }},
      {IEEE_AS, F::Index, 1ull << 40, 1ll << 40, [](const IeeeBody& b) { return b.as.index; }},
      {IEEE_E3, F::Letter, 0xC3, 0xC3, [](const IeeeBody& b) -> uint64_t { return b.e3.letter; }},
      {IEEE_LR, F::Parity, 1, 1, [](const IeeeBody& b) -> uint64_t { return uint64_t(b.lr.parity); }},
      {IEEE_LR, F::ItemKind, 0xFFFF, -1, [](const IeeeBody& b) -> uint64_t { return uint16_t(b.lr.item_kind); }},
      {IEEE_LR, F::Count, 7, 7, [](const IeeeBody& b) { return b.lr.count; }},
      {IEEE_LR, F::Letter, 0xD2, 0xD2, [](const IeeeBody& b) -> uint64_t { return b.lr.letter; }},
      {IEEE_LR, F::Index, 9, 9, [](const IeeeBody& b) { return b.lr.index; }},
      {IEEE_LR, F::ValueKind, 0x10002, 2, [](const IeeeBody& b) -> uint64_t { return b.lr.value_kind; }},
      {IEEE_SB, F::Number, 3, 3, [](const IeeeBody& b) { return b.number.number; }},
      {IEEE_RE, F::Number, 4, 4, [](const IeeeBody& b) { return b.number.number; }},
      {IEEE_ST, F::Section, 5, 5, [](const IeeeBody& b) { return b.st.section; }},
      {IEEE_ST, F::Trailing, 6, 6, [](const IeeeBody& b) { return b.st.trailing; }},
      {IEEE_SA, F::Section, 1, 1, [](const IeeeBody& b) { return b.sa.section; }},
      {IEEE_SA, F::Alignment, 8, 8, [](const IeeeBody& b) { return b.sa.alignment; }},
      {IEEE_SA, F::PageSize, 256, 256, [](const IeeeBody& b) { return b.sa.page_size; }},
      {IEEE_NI, F::Letter, 0xC9, 0xC9, [](const IeeeBody& b) -> uint64_t { return b.name.letter; }},
      {IEEE_NX, F::Index, 33, 33, [](const IeeeBody& b) { return b.name.index; }},
      {IEEE_NN, F::Index, 34, 34, [](const IeeeBody& b) { return b.name.index; }},
      {IEEE_FC, F::Index, 35, 35, [](const IeeeBody& b) { return b.name.index; }},
      {IEEE_CO, F::Number, 37, 37, [](const IeeeBody& b) { return b.co.number; }},
      {IEEE_AD, F::BitsPerMau, 8, 8, [](const IeeeBody& b) { return b.ad.bits_per_mau; }},
      {IEEE_AD, F::MausPerAddress, 4, 4, [](const IeeeBody& b) { return b.ad.maus_per_address; }},
      {IEEE_AD, F::Order, 0xCD, 0xCD, [](const IeeeBody& b) -> uint64_t { return b.ad.order; }},
      {IEEE_LD, F::Count, 127, 127, [](const IeeeBody& b) { return b.ld.count; }},
      {IEEE_AT, F::Letter, 0xD8, 0xD8, [](const IeeeBody& b) -> uint64_t { return b.at.letter; }},
      {IEEE_AT, F::Index, 40, 40, [](const IeeeBody& b) { return b.at.index; }},
      {IEEE_TY, F::TypeIndex, 300, 300, [](const IeeeBody& b) { return b.ty.type_index; }},
      {IEEE_WX, F::Letter, 0xD8, 0xD8, [](const IeeeBody& b) -> uint64_t { return b.wx.letter; }},
      {IEEE_WX, F::Index, 41, 41, [](const IeeeBody& b) { return b.wx.index; }},
      {IEEE_BB, F::BlockType, 6, 6, [](const IeeeBody& b) { return b.bb.block_type; }},
      {IEEE_BB, F::Size, 12, 12, [](const IeeeBody& b) { return b.bb.size; }},
      {IEEE_FB, F::First, 2, 2, [](const IeeeBody& b) { return b.fb.first; }},
      {IEEE_FB, F::Second, 16, 16, [](const IeeeBody& b) { return b.fb.second; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.type << " field " << int(c.field));
    IeeeBody body{};
    EXPECT_EQ(ieee_body_set_number(&body, c.type, c.field, c.value), 0);
    EXPECT_EQ(ieee_body_get_number(&body, c.type, c.field), c.read_back);
    EXPECT_EQ(c.member(body), static_cast<uint64_t>(c.read_back) & (c.read_back < 0 ? 0xFFFF : ~0ull));
  }
}

// Whatever the field, a null body gives the kind's default and takes no value.
TEST(IeeeRecordAccess, ANullBodyGivesDefaultsAndTakesNothing) {
  ieee_for_each_field(
      [](const IeeeFieldInfo& info, void*) {
        SCOPED_TRACE(testing::Message() << std::hex << info.type << " field " << int(info.field));
        int64_t expected = info.kind == IeeeFieldKind::U32 ? 0 : -1;
        EXPECT_EQ(ieee_body_get_number(nullptr, info.type, info.field), expected);
        EXPECT_EQ(ieee_body_set_number(nullptr, info.type, info.field, 1), -1);
        IosValue value = ieee_body_get_value(nullptr, info.type, info.field);
        EXPECT_EQ(value.text, nullptr);
        EXPECT_EQ(value.expression, nullptr);
        EXPECT_EQ(value.number1, 0xFFFFFFFFu);
        EXPECT_EQ(value.number2, 0xFFFFFFFFu);
        EXPECT_EQ(ieee_body_set_value(nullptr, info.type, info.field, &value), -1);
        EXPECT_EQ(ieee_body_set_encoded(nullptr, info.type, info.field, value), -1);
        const uint64_t numbers[1] = {1};
        EXPECT_EQ(ieee_body_set_numbers(nullptr, info.type, info.field, numbers, 1), -1);
        EXPECT_EQ(ieee_body_copy_data(nullptr, info.type, info.field, numbers, 1), -1);
        EXPECT_EQ(ieee_body_tail(nullptr, info.type, info.field), nullptr);
        EXPECT_EQ(ieee_body_field_address(nullptr, info.type, info.field), nullptr);
        // Every field lies inside the body.
        EXPECT_LE(info.offset + 1u, sizeof(IeeeBody));
        EXPECT_TRUE(ieee_record_type_known(info.type));
      },
      nullptr);
  IeeeBody body{};
  EXPECT_EQ(ieee_body_get_number(&body, IEEE_ME, F::Index), -1);
  EXPECT_EQ(ieee_body_set_number(&body, IEEE_SB, F::Letter, 1), -1);
  EXPECT_EQ(ieee_body_field_address(&body, IEEE_SB, F::Name), nullptr);
}

TEST(IeeeRecordAccess, WordRunsAndInlineDataKeepToTheirCapacity) {
  struct Case {
    uint32_t type;
    IeeeField field;
    uint32_t count;
    int result;
  };
  const Case runs[] = {
      {IEEE_DT, F::DateTime, 6, 0}, {IEEE_DT, F::DateTime, 7, -1}, {IEEE_AT, F::Numbers, 3, 0},
      {IEEE_AT, F::Numbers, 4, -1}, {IEEE_AT, F::Extra, 2, 0},      {IEEE_AT, F::Extra, 3, -1},
      {IEEE_SB, F::Number, 1, -1},
  };
  const uint64_t values[7] = {2026, 12, 10, 7, 40, 59, 99};
  for (const Case& c : runs) {
    IeeeBody body{};
    EXPECT_EQ(ieee_body_set_numbers(&body, c.type, c.field, values, c.count), c.result) << int(c.field);
  }
  IeeeBody body{};
  ASSERT_EQ(ieee_body_set_numbers(&body, IEEE_DT, F::DateTime, values, 6), 0);
  EXPECT_EQ(body.dt.fields[0], 2026u);
  EXPECT_EQ(body.dt.fields[5], 59u);
  // The second and third AT numbers make the third present.
  body = IeeeBody{};
  ASSERT_EQ(ieee_body_set_numbers(&body, IEEE_AT, F::Extra, values, 2), 0);
  EXPECT_EQ(body.at.numbers[0], 0u);
  EXPECT_EQ(body.at.numbers[1], 2026u);
  EXPECT_EQ(body.at.numbers[2], 12u);
  EXPECT_EQ(body.at.third_present, 1u);

  const Case data[] = {
      {IEEE_LD, F::Data, IEEE_LD_DATA_BYTES, 0}, {IEEE_LD, F::Data, IEEE_LD_DATA_BYTES + 1, -1},
      {IEEE_LR, F::Data, IEEE_LR_DATA_BYTES, 0}, {IEEE_LR, F::Data, IEEE_LR_DATA_BYTES + 1, -1},
      {IEEE_LD, F::Count, 1, -1},
  };
  std::vector<uint8_t> bytes(256);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  for (const Case& c : data) {
    IeeeBody target{};
    EXPECT_EQ(ieee_body_copy_data(&target, c.type, c.field, bytes.data(), c.count), c.result) << c.count;
  }
  body = IeeeBody{};
  ASSERT_EQ(ieee_body_copy_data(&body, IEEE_LD, F::Data, bytes.data(), 3), 0);
  EXPECT_EQ(0, std::memcmp(body.ld.data, bytes.data(), 3));
  EXPECT_EQ(body.ld.data[3], 0);
}

TEST(IeeeRecordAccess, HoldersAreCopiedOrTakenOverAsEncodedBytes) {
  IeeeBody body{};
  ios_value_init(&body.as.value);
  IosValue source{};
  ios_value_init(&source);
  source.text = ieee_buf_from_string("ab");
  ASSERT_EQ(ieee_body_set_value(&body, IEEE_AS, F::Value, &source), 0);
  EXPECT_NE(body.as.value.text, source.text);
  EXPECT_EQ(ieee_buf_to_bytes(body.as.value.text), (Bytes{'a', 'b'}));
  IosValue shared = ieee_body_get_value(&body, IEEE_AS, F::Value);
  EXPECT_EQ(shared.text, body.as.value.text);
  ios_value_clear(&body.as.value);

  body = IeeeBody{};
  ASSERT_EQ(ieee_body_set_encoded(&body, IEEE_LR, F::Expression, source), 0);
  EXPECT_EQ(body.lr.expression.text, source.text);
  EXPECT_EQ(body.lr.value_kind, 2u);
  EXPECT_EQ(ieee_body_set_encoded(&body, IEEE_LR, F::Count, source), -1);
  ios_value_clear(&source);
}

TEST(IeeeRecordAccess, TailsAreNullWhenEmpty) {
  IeeeBody body{};
  EXPECT_EQ(ieee_body_tail(&body, IEEE_ST, F::Types), nullptr);
  body.st.types[0] = 0xC1;
  EXPECT_EQ(ieee_body_tail(&body, IEEE_ST, F::Types), body.st.types);
  body = IeeeBody{};
  EXPECT_EQ(ieee_body_tail(&body, IEEE_TY, F::Items), nullptr);
  IeeeItemList list{0, 0, nullptr};
  body.ty.items = &list;
  EXPECT_EQ(ieee_body_tail(&body, IEEE_TY, F::Items), nullptr);
  uint32_t items[1] = {5};
  list = IeeeItemList{1, 1, items};
  EXPECT_EQ(ieee_body_tail(&body, IEEE_TY, F::Items), items);
}

// A body set field by field is what the codec writes, and reads back the same.
TEST(IeeeRecordAccess, BodiesSetByFieldGoThroughTheCodecBothWays) {
  struct Case {
    uint32_t type;
    std::vector<std::pair<IeeeField, uint64_t>> fields;
    Bytes bytes;
  };
  const Case cases[] = {
      {IEEE_SA, {{F::Section, 1}, {F::Alignment, 4}, {F::PageSize, 0x100}}, {0xE7, 0x01, 0x04, 0x82, 0x01, 0x00}},
      {IEEE_SB, {{F::Number, 2}}, {0xE5, 0x02}},
      {IEEE_AD, {{F::BitsPerMau, 8}, {F::MausPerAddress, 4}, {F::Order, 0xCD}}, {0xEC, 0x08, 0x04, 0xCD}},
      {IEEE_FB, {{F::First, 1}, {F::Second, 16}}, {0xFB, 0x01, 0x10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.type);
    IeeeRecord record{};
    ASSERT_NE(ieee_record_init(&record, c.type), nullptr);
    for (const auto& [field, value] : c.fields) ASSERT_EQ(ieee_body_set_number(record.body, c.type, field, value), 0);
    int ok = 0;
    EXPECT_EQ(ieee_written([&](IeeeStream* stream) { return ieee_record_transfer(&record, stream); }, &ok), c.bytes);
    EXPECT_EQ(ok, 1);
    ieee_record_clear(&record);
    IeeeReader reader(c.bytes);
    ASSERT_EQ(ieee_record_transfer(&record, reader.stream), 1);
    EXPECT_EQ(record.type, c.type);
    for (const auto& [field, value] : c.fields) {
      EXPECT_EQ(ieee_body_get_number(record.body, c.type, field), static_cast<int64_t>(value));
    }
    ieee_record_clear(&record);
  }
}

TEST(IeeeByteBuffers, AssignReplacesAndTerminateEndsTheBytes) {
  struct Case {
    Bytes before;
    bool source_null;
    Bytes source;
    int result;
    Bytes after;
  };
  const Case cases[] = {
      {{1, 2, 3}, false, {9}, 0, {9}},
      {{}, false, {4, 5}, 0, {4, 5}},
      {{1, 2}, false, {}, 0, {}},
      {{1, 2}, true, {}, 0, {}},
      {{}, false, Bytes(25, 7), 0, Bytes(25, 7)},  // grows past the first capacity
  };
  for (const Case& c : cases) {
    StrBuf* destination = ieee_buf_new(0);
    ieee_buf_append_bytes(destination, c.before.data(), c.before.size());
    StrBuf* source = nullptr;
    if (!c.source_null) {
      source = ieee_buf_new(0);
      ieee_buf_append_bytes(source, c.source.data(), c.source.size());
    }
    EXPECT_EQ(ieee_buf_assign(destination, source), c.result);
    EXPECT_EQ(ieee_buf_to_bytes(destination), c.after);
    char* start = ieee_buf_terminate(destination);
    ASSERT_EQ(start, destination->base);
    EXPECT_EQ(start[c.after.size()], '\0');
    EXPECT_LT(ieee_buf_length(destination), destination->capacity);
    ieee_buf_free(source);
    ieee_buf_free(destination);
  }
  EXPECT_EQ(ieee_buf_assign(nullptr, nullptr), -1);
  EXPECT_EQ(ieee_buf_terminate(nullptr), nullptr);
  StrBuf bare{nullptr, nullptr, 0};
  EXPECT_EQ(ieee_buf_terminate(&bare), nullptr);
  EXPECT_EQ(ieee_make_u64(0x89ABCDEF, 0x01234567), 0x0123456789ABCDEFull);
}

class IeeeFold : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ieee_process_state_reset();
    writer_ = ieee_writer_new(nullptr, "m", file_);
  }
  void TearDown() override {
    ieee_writer_free(writer_);
    ieee_process_state_reset();
    OneStoreFile::TearDown();
  }
  IeeeWriter* writer_ = nullptr;
};

TEST_F(IeeeFold, AListFoldsLeftIntoOneExpression) {
  struct Case {
    std::vector<int64_t> operands;
    Bytes encoding;  // empty: no expression
  };
  const Case cases[] = {
      {{}, {}},
      {{5}, {0x05}},
      {{1, 2}, {0x01, 0x02, 0xAC}},
      {{1, 2, 3}, {0x01, 0x02, 0xAC, 0x03, 0xAC}},
  };
  for (const Case& c : cases) {
    ExprNode* list = nullptr;
    ASSERT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 0), 0);
    for (int64_t value : c.operands) {
      ExprNode* operand = integer(value);
      ASSERT_EQ(expr_add_operand(list, operand), 0);
      expr_release(operand);
    }
    ExprNode* folded = ieee_fold_expressions(list);
    expr_release(list);
    if (c.encoding.empty()) {
      EXPECT_EQ(folded, nullptr);
      continue;
    }
    ASSERT_NE(folded, nullptr);
    StrBuf* bytes = ieee_buf_new(0);
    ASSERT_EQ(ieee_encode_expression(writer_, bytes, folded), 0);
    EXPECT_EQ(ieee_buf_to_bytes(bytes), c.encoding);
    ieee_buf_free(bytes);
    expr_release(folded);
  }
  EXPECT_EQ(ieee_fold_expressions(nullptr), nullptr);
}

}  // namespace

TEST(IeeeElfField, FieldsGoOutInTheContextsByteOrderAndShortWritesFail) {
  struct Case {
    const char* what;
    uint32_t byteOrder;
    uint32_t value;
    uint32_t size;
    std::vector<uint8_t> bytes;  // empty: the write fails
  };
  const Case cases[] = {
      {"word, least significant first", 1, 0x12345678u, 4, {0x78, 0x56, 0x34, 0x12}},
      {"word, most significant first", 2, 0x12345678u, 4, {0x12, 0x34, 0x56, 0x78}},
      {"half word, most significant first", 2, 0xABCDu, 2, {0xAB, 0xCD}},
      {"byte", 2, 0x7Fu, 1, {0x7F}},
      {"no field of three bytes", 1, 0x123456u, 3, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    ElfContext context;
    context.stream = stream;
    context.byte_order = c.byteOrder;
    ObjLibErrorClass error = OBJLIB_ERR_NONE;
    int result = ieee_elf_put_field(&context, c.value, c.size, &error);
    std::rewind(stream);
    std::vector<uint8_t> written(8);
    written.resize(std::fread(written.data(), 1, written.size(), stream));
    std::fclose(stream);
    EXPECT_EQ(result, c.bytes.empty() ? 1 : 0);
    EXPECT_EQ(error, c.bytes.empty() ? OBJLIB_ERR_FILE_IO : OBJLIB_ERR_NONE);
    EXPECT_EQ(written, c.bytes);
  }
}

TEST(IeeeElfField, AFullDeviceIsAFileError) {
  std::FILE* full = openFullStream();
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  ElfContext context;
  context.stream = full;
  context.byte_order = 1;
  ObjLibErrorClass error = OBJLIB_ERR_NONE;
  EXPECT_EQ(ieee_elf_put_field(&context, 1, 4, &error), 1);
  EXPECT_EQ(error, OBJLIB_ERR_FILE_IO);
  std::fclose(full);
}

TEST(IeeeSmallSteps, DifferenceIsFirstMinusSecondAndABlockGoesBackToThePools) {
  EXPECT_EQ(ieee_step_difference(10, 3), 7);
  EXPECT_EQ(ieee_step_difference(3, 10), -7);
  EXPECT_EQ(ieee_step_zero(), 0);
  EXPECT_EQ(ieee_free_block(nullptr, 16), nullptr);
  EXPECT_EQ(ieee_free_block(pool_alloc(16), 16), nullptr);
}
