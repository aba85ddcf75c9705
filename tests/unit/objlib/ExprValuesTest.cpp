// Value leaves, conversions, readers and copies of the expression library, and the
// value holders built on them, in the expression context of a store file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "StoreFileFixture.h"
#include "objlib/expr_arith.h"
#include "objlib/expr_values.h"
#include "objlib/ios_strbuf.h"
#include "objlib/ios_value.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes valueBytes(const ExprNode* node, size_t count) {
  const unsigned char* bytes = expr_value_bytes(node);
  return Bytes(bytes, bytes + count);
}

class ExprValues : public OneStoreFile {
 protected:
  ExprNode* fraction(const Bytes& bytes) {
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_fraction(context_, &node, 0.0, static_cast<uint32_t>(bytes.size())), 0);
    std::memcpy(expr_value_bytes(node), bytes.data(), bytes.size());
    return node;
  }
};

TEST_F(ExprValues, IntegerConstructorsFillEveryValueByte) {
  struct Case {
    const char* what;
    int (*make)(ExprLibContext*, ExprNode**);
    uint32_t type;
    uint16_t width;
    Bytes bytes;
  };
  const Case cases[] = {
      {"integer32 -2", [](ExprLibContext* c, ExprNode** n) { return expr_new_integer32(c, n, -2); },
       2, 32, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"integer32 0x12345678",
       [](ExprLibContext* c, ExprNode** n) { return expr_new_integer32(c, n, 0x12345678); }, 2, 32,
       {0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0}},
      {"signed8 -1", [](ExprLibContext* c, ExprNode** n) { return expr_new_signed8(c, n, -1); }, 2,
       8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"unsigned32 0xFFFFFFFE",
       [](ExprLibContext* c, ExprNode** n) { return expr_new_unsigned32(c, n, 0xFFFFFFFEu); }, 3, 32,
       {0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
      {"unsigned16", [](ExprLibContext* c, ExprNode** n) { return expr_new_unsigned16(c, n, 0xBEEF); },
       3, 16, {0xEF, 0xBE, 0, 0, 0, 0, 0, 0}},
      {"unsigned8", [](ExprLibContext* c, ExprNode** n) { return expr_new_unsigned8(c, n, 0x80); }, 3,
       8, {0x80, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    ExprNode* node = nullptr;
    ASSERT_EQ(c.make(context_, &node), 0) << c.what;
    EXPECT_EQ(node->kind, EXPR_VALUE) << c.what;
    EXPECT_EQ(node->ref_count, 1) << c.what;
    EXPECT_EQ(node->value_type, c.type) << c.what;
    EXPECT_EQ(node->width, c.width) << c.what;
    EXPECT_EQ(valueBytes(node, 8), c.bytes) << c.what;
    expr_release(node);
  }
}

TEST_F(ExprValues, BitConstructorsCopyWidthPlusOneOverEightBytes) {
  struct Case {
    bool isSigned;
    uint32_t width;
    Bytes expected;
  };
  const uint8_t source[8] = {0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8};
  const Case cases[] = {
      {true, 3, {0, 0, 0, 0, 0, 0, 0, 0}},  // nothing copied, no sign fill
      {true, 7, {0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {true, 12, {0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},  // one byte only
      {true, 15, {0x81, 0x92, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {true, 16, {0x81, 0x92, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {false, 16, {0x81, 0x92, 0, 0, 0, 0, 0, 0}},
      {false, 64, {0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8}},
  };
  for (const Case& c : cases) {
    ExprNode* node = nullptr;
    int status = c.isSigned ? expr_new_signed_bits(context_, &node, source, c.width)
                            : expr_new_unsigned_bits(context_, &node, source, c.width);
    ASSERT_EQ(status, 0) << c.width;
    EXPECT_EQ(node->width, c.width);
    EXPECT_EQ(node->value_type, c.isSigned ? 2u : 3u);
    EXPECT_EQ(valueBytes(node, 8), c.expected) << c.width;
    expr_release(node);
  }
}

TEST_F(ExprValues, ConstructorFailuresSetTheErrorAndLeaveTheOutParameter) {
  struct Case {
    const char* what;
    int (*make)(ExprLibContext*, ExprNode**);
    uint32_t error;
  };
  static const uint8_t bytes[16] = {};
  const Case cases[] = {
      {"signed width 65",
       [](ExprLibContext* c, ExprNode** n) { return expr_new_signed_bits(c, n, bytes, 65); }, 3},
      {"unsigned width 65",
       [](ExprLibContext* c, ExprNode** n) { return expr_new_unsigned_bits(c, n, bytes, 65); }, 3},
      {"fraction of 9 bytes",
       [](ExprLibContext* c, ExprNode** n) { return expr_new_fraction(c, n, 0.5, 9); }, 3},
      {"fraction of 1.0",
       [](ExprLibContext* c, ExprNode** n) { return expr_new_fraction(c, n, 1.0, 2); }, 13},
  };
  for (const Case& c : cases) {
    ExprNode* sentinel = reinterpret_cast<ExprNode*>(0x1234);
    ExprNode* node = sentinel;
    context_->error = 0;
    uint32_t live = expr_live_node_count(context_);
    EXPECT_EQ(c.make(context_, &node), 1) << c.what;
    EXPECT_EQ(context_->error, c.error) << c.what;
    EXPECT_EQ(node, sentinel) << c.what;
    EXPECT_EQ(expr_live_node_count(context_), live) << c.what;
  }
}

TEST_F(ExprValues, FractionsReadAsDoublesWithoutChangingTheSource) {
  struct Case {
    Bytes bytes;
    double expected;
  };
  const Case cases[] = {
      {{0x80, 0x00}, -1.0}, {{0x40, 0x00}, 0.5},   {{0xC0, 0x00}, -0.5},
      {{0x00, 0x00}, 0.0},  {{0x60, 0x00}, 0.75},  {{0xFF, 0xFF}, -1.0 / 32768.0},
      {{0x80}, -1.0},       {{0x7F, 0xFF}, 32767.0 / 32768.0},
  };
  for (const Case& c : cases) {
    ExprNode* source = fraction(c.bytes);
    ExprNode* destination = integer(5);
    EXPECT_EQ(expr_fraction_to_double(destination, source), 0);
    EXPECT_EQ(destination->value_type, EXPR_TYPE_DOUBLE);
    EXPECT_EQ(destination->width, 64);
    double value = 0;
    expr_get_double(destination, &value);
    EXPECT_DOUBLE_EQ(value, c.expected);
    EXPECT_EQ(valueBytes(source, c.bytes.size()), c.bytes);  // not negated in place
    expr_release(source);
    expr_release(destination);
  }
}

TEST_F(ExprValues, IntegerToDoubleKeepsTheSource) {
  struct Case {
    int64_t value;
    double expected;
  };
  const Case cases[] = {{-2, -2.0}, {0, 0.0}, {1000, 1000.0}, {INT64_MIN, -9223372036854775808.0}};
  for (const Case& c : cases) {
    ExprNode* source = integer(c.value);
    Bytes before = valueBytes(source, 8);
    ExprNode* destination = nullptr;
    expr_new_double(context_, &destination, 7.0);
    EXPECT_EQ(expr_integer_to_double(destination, source), 0);
    double value = 0;
    expr_get_double(destination, &value);
    EXPECT_DOUBLE_EQ(value, c.expected) << c.value;
    EXPECT_EQ(valueBytes(source, 8), before) << c.value;
    expr_release(source);
    expr_release(destination);
  }
}

TEST_F(ExprValues, ConversionsIntoAnOperatorGiveItsOperandsBack) {
  ExprNode* sum = nullptr;
  ExprNode* a = integer(1);
  ExprNode* b = integer(2);
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, a, b), 0);
  expr_release(a);
  expr_release(b);
  uint32_t live = expr_live_node_count(context_);
  ExprNode* source = integer(-8);
  EXPECT_EQ(expr_integer_to_double(sum, source), 0);
  EXPECT_EQ(sum->kind, EXPR_VALUE);
  EXPECT_EQ(expr_live_node_count(context_), live + 1 - 2);
  double value = 0;
  expr_get_double(sum, &value);
  EXPECT_DOUBLE_EQ(value, -8.0);
  expr_release(source);
  expr_release(sum);
}

TEST_F(ExprValues, DoubleToIntegerTruncatesWithinTheRange) {
  struct Case {
    double value;
    uint32_t destinationType;
    int status;
    uint32_t error;
    Bytes bytes;
  };
  const Case cases[] = {
      {-2.7, 2, 0, 0, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {300.9, 3, 0, 0, {0x2C, 0x01, 0, 0, 0, 0, 0, 0}},
      {-1.0, 3, 1, 11, {0x09, 0, 0, 0, 0, 0, 0, 0}},
      {18446744073709551616.0, 3, 1, 11, {0x09, 0, 0, 0, 0, 0, 0, 0}},
      {9223372036854775808.0, 2, 1, 11, {0x09, 0, 0, 0, 0, 0, 0, 0}},
      {-9223372036854775808.0, 2, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0x80}},
  };
  for (const Case& c : cases) {
    ExprNode* source = nullptr;
    expr_new_double(context_, &source, c.value);
    ExprNode* destination = c.destinationType == 3 ? nullptr : integer(9);
    if (c.destinationType == 3) expr_new_unsigned8(context_, &destination, 9);
    context_->error = 0;
    EXPECT_EQ(expr_double_to_integer(destination, source), c.status) << c.value;
    EXPECT_EQ(context_->error, c.error) << c.value;
    EXPECT_EQ(valueBytes(destination, 8), c.bytes) << c.value;
    EXPECT_EQ(destination->value_type, c.destinationType);
    expr_release(source);
    expr_release(destination);
  }
}

TEST_F(ExprValues, ReadersCheckTheHigherBytes) {
  struct Case {
    Bytes bytes;
    int int32Status;
    uint32_t int32Value;
    int uint32Status;
  };
  const Case cases[] = {
      {{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 0xFFFFFFFE, 1},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, 0, 0xFFFFFFFF, 0},
      {{0, 0, 0, 0, 1, 0, 0, 0}, 1, 0, 1},
      {{0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0}, 0, 0x12345678, 0},
  };
  for (const Case& c : cases) {
    ExprNode* node = integer(0);
    std::memcpy(expr_value_bytes(node), c.bytes.data(), 8);
    uint32_t value = 0xDEAD;
    context_->error = 0;
    EXPECT_EQ(expr_get_int32(node, &value), c.int32Status);
    EXPECT_EQ(value, c.int32Value);  // written before the test
    EXPECT_EQ(context_->error, c.int32Status != 0 ? 2u : 0u);
    context_->error = 0;
    EXPECT_EQ(expr_get_uint32(node, &value), c.uint32Status);
    EXPECT_EQ(context_->error, c.uint32Status != 0 ? 2u : 0u);
    uint32_t words[2] = {};
    EXPECT_EQ(expr_get_int64(node, words), 0);
    expr_release(node);
  }
}

TEST_F(ExprValues, SetInteger64FillsBeyondEightBytesOnlyForNegativeSigned) {
  ExprLibContext* wide = nullptr;
  ASSERT_EQ(expr_context_new(&wide, 12), 0);
  struct Case {
    uint32_t high;
    int unsignedFlag;
    uint8_t fill;
  };
  const Case cases[] = {{0x80000000u, 0, 0xFF}, {0x80000000u, 1, 0x00}, {0x7FFFFFFFu, 0, 0x00}};
  for (const Case& c : cases) {
    ExprNode* node = nullptr;
    ASSERT_EQ(objexpr_make_integer(wide, &node, 1), 0);
    EXPECT_EQ(expr_set_integer64(node, 0x11223344u, c.high, c.unsignedFlag), 0);
    Bytes bytes = valueBytes(node, 12);
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[7], c.high >> 24);
    for (int i = 8; i < 12; ++i) EXPECT_EQ(bytes[i], c.fill);
    uint32_t words[2] = {};
    wide->error = 0;
    EXPECT_EQ(expr_get_int64(node, words), 0);
    EXPECT_EQ(words[0], 0x11223344u);
    EXPECT_EQ(words[1], c.high);
    expr_release(node);
  }
  expr_context_free(wide);
}

TEST_F(ExprValues, NumericTestCoversTypesZeroToFour) {
  struct Case {
    uint32_t type;
    int numeric;
  };
  const Case cases[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 0}, {6, 0}};
  for (const Case& c : cases) {
    ExprNode* node = integer(1);
    node->value_type = c.type;
    EXPECT_EQ(expr_is_numeric(node), c.numeric) << c.type;
    node->value_type = EXPR_TYPE_SIGNED;
    expr_release(node);
  }
  ExprNode* sum = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, integer(1), integer(2)), 0);
  EXPECT_EQ(expr_is_numeric(sum), 0);  // not a value
  EXPECT_EQ(expr_is_value(sum), 0);
  expr_release(expr_operand(sum, 0));
  expr_release(expr_operand(sum, 1));
  expr_release(sum);
}

TEST_F(ExprValues, KindTablesFollowTheirMasks) {
  std::vector<int32_t> checks;
  std::vector<int32_t> unary;
  for (int32_t kind = -1; kind < 40; ++kind) {
    if (expr_kind_checks_operands(kind) != 0) checks.push_back(kind);
    if (expr_is_unary(kind) != 0) unary.push_back(kind);
  }
  EXPECT_EQ(checks, (std::vector<int32_t>{5, 6, 8, 9, 10, 12, 14, 17, 18, 19, 20, 21, 22, 23, 24,
                                          25, 26, 27, 28}));
  EXPECT_EQ(unary, (std::vector<int32_t>{7, 15, 16}));
}

TEST_F(ExprValues, CopyOfAnOperatorSharesNothing) {
  ExprNode* a = integer(1);
  ExprNode* b = nullptr;
  expr_new_double(context_, &b, 2.5);
  StrBuf* text = strbuf_from_string("name");
  ExprNode* c = nullptr;
  ASSERT_EQ(ieee_make_expression_node(context_, &c, text), 0);
  EXPECT_EQ(c->width, 5);
  EXPECT_STREQ(expr_get_string(c), "name");
  strbuf_free(text);
  ExprNode* list = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 0), 0);
  for (ExprNode* operand : {a, b, c}) {
    expr_add_operand(list, operand);
    expr_release(operand);
  }
  uint32_t before = expr_live_node_count(context_);
  ExprNode* copy = expr_copy(list);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(expr_live_node_count(context_), before + 4);
  EXPECT_EQ(copy->ref_count, 1);
  EXPECT_EQ(expr_operand_count(copy), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    ExprNode* original = expr_operand(list, i);
    ExprNode* copied = expr_operand(copy, i);
    EXPECT_NE(copied, original);
    EXPECT_EQ(copied->value_type, original->value_type);
    EXPECT_EQ(copied->ref_count, 1);
  }
  EXPECT_NE(expr_get_string(expr_operand(copy, 2)), expr_get_string(c));
  EXPECT_STREQ(expr_get_string(expr_operand(copy, 2)), "name");
  expr_release(copy);
  EXPECT_EQ(expr_live_node_count(context_), before);
  expr_release(list);
}

TEST_F(ExprValues, CopiesOfWrappersAreFreedWithTheirHolder) {
  ExprNode* convert = nullptr;
  ExprNode* inner = integer(4);
  ASSERT_EQ(objexpr_make_operator(context_, &convert, EXPR_CONVERT, 1, inner), 0);
  expr_release(inner);
  ExprNode* deferred = nullptr;
  ASSERT_EQ(objexpr_make_deferred(context_, &deferred, 77, convert), 0);
  expr_release(convert);
  uint32_t before = expr_live_node_count(context_);
  ExprNode* copy = expr_copy(deferred);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->kind, EXPR_DEFERRED);
  EXPECT_EQ(copy->payload.deferred.tag, 77u);
  ExprNode* convertCopy = copy->payload.deferred.operand;
  EXPECT_EQ(convertCopy->kind, EXPR_CONVERT);
  EXPECT_EQ(convertCopy->payload.held->ref_count, 1);
  expr_release(copy);
  EXPECT_EQ(expr_live_node_count(context_), before);
  expr_release(deferred);
}

TEST_F(ExprValues, AssignValueRefusesOperatorsAndReplacesOldOperands) {
  ExprNode* sum = nullptr;
  ExprNode* one = integer(1);
  ExprNode* two = integer(2);
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, one, two), 0);
  expr_release(one);
  expr_release(two);
  ExprNode* target = integer(5);
  context_->error = 0;
  EXPECT_EQ(expr_assign_value(target, sum), 1);
  EXPECT_EQ(context_->error, 1u);
  EXPECT_EQ(valueBytes(target, 1), Bytes{5});
  uint32_t before = expr_live_node_count(context_);
  ExprNode* value = nullptr;
  expr_new_unsigned16(context_, &value, 0x1234);
  expr_set_tag(value, 9);
  EXPECT_EQ(expr_assign_value(sum, value), 0);  // the operands go
  EXPECT_EQ(expr_live_node_count(context_), before + 1 - 2);
  EXPECT_EQ(sum->kind, EXPR_VALUE);
  EXPECT_EQ(sum->value_type, EXPR_TYPE_UNSIGNED);
  EXPECT_EQ(sum->width, 16);
  uint32_t tag = 0;
  expr_get_tag(sum, &tag);
  EXPECT_EQ(tag, 9u);
  EXPECT_EQ(valueBytes(sum, 3), (Bytes{0x34, 0x12, 0}));
  expr_release(value);
  expr_release(sum);
  expr_release(target);
}

TEST_F(ExprValues, OperandListsCanBeSharedCopiedAndReleased) {
  ExprNode* source = nullptr;
  ExprNode* left = integer(3);
  ExprNode* right = integer(4);
  ASSERT_EQ(objexpr_make_operator(context_, &source, EXPR_MUL, 2, left, right), 0);
  ExprNode* shared = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &shared, EXPR_LIST, 0), 0);
  EXPECT_EQ(expr_share_operands(source, shared), 0);
  EXPECT_EQ(expr_get_operand(shared, 0), left);
  EXPECT_EQ(left->ref_count, 3);
  ExprNode* copied = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &copied, EXPR_LIST, 0), 0);
  EXPECT_EQ(expr_copy_operands(source, copied), 0);
  EXPECT_NE(expr_get_operand(copied, 1), right);
  ExprNode* collected[2] = {};
  expr_collect_operands(copied, collected);
  EXPECT_EQ(collected[1], expr_get_operand(copied, 1));
  uint32_t links = 0;
  expr_count_links(copied->payload.operands.head, &links);
  EXPECT_EQ(links, 2u);
  EXPECT_EQ(expr_set_operand(copied, 2, left), 1);
  EXPECT_EQ(expr_release_operands(shared), 0);
  EXPECT_EQ(left->ref_count, 2);
  EXPECT_EQ(expr_operand_count(shared), 0u);
  expr_release(shared);
  expr_release(copied);
  expr_release(source);
  expr_release(left);
  expr_release(right);
}

TEST_F(ExprValues, UserOperatorTableGrowsByAHundred) {
  auto handler = [](ExprNode*, uintptr_t) { return 0; };
  for (int32_t i = 0; i < 101; ++i) {
    ASSERT_EQ(expr_add_user_operator(context_, 256 + i, handler, static_cast<uintptr_t>(i)), 0);
  }
  EXPECT_EQ(context_->user_operators.count, 101u);
  EXPECT_EQ(context_->user_operators.capacity, 200u);
  for (uint32_t i = 0; i < 101; ++i) {
    EXPECT_EQ(context_->user_operators.entries[i].kind, static_cast<int32_t>(256 + i));
    EXPECT_EQ(context_->user_operators.entries[i].argument, i);
  }
  EXPECT_EQ(expr_clear_user_operators(context_), 0);
  EXPECT_EQ(context_->user_operators.capacity, 0u);
  EXPECT_EQ(context_->user_operators.entries, nullptr);
}

TEST_F(ExprValues, LocationReferencesOnlyOnKindOne) {
  ExprNode* reference = nullptr;
  ASSERT_EQ(objexpr_make_slot_ref(context_, &reference, 3, context_), 0);
  ExprSlotRef slot{};
  EXPECT_EQ(expr_get_location_ref(reference, &slot), 0);
  EXPECT_EQ(slot.index, 3u);
  EXPECT_EQ(expr_set_location_ref(reference, 5, context_), 0);
  EXPECT_EQ(reference->payload.slot.index, 5u);
  EXPECT_EQ(expr_is_location_ref(reference), 1);
  ExprNode* value = integer(1);
  context_->error = 0;
  EXPECT_EQ(expr_get_location_ref(value, &slot), 1);
  EXPECT_EQ(expr_set_location_ref(value, 5, context_), 1);
  EXPECT_EQ(context_->error, 0u);
  expr_release(value);
  expr_release(reference);
}

// ---- Value holders ----

TEST_F(ExprValues, ValueHoldersOwnCopiesOfTheirParts) {
  IosValue source;
  ios_value_init(&source);
  EXPECT_EQ(source.number1, IOS_VALUE_UNSET);
  source.text = strbuf_from_string("label");
  source.expression = integer(12);
  source.number1 = 4;
  IosValue copy;
  ios_value_init(&copy);
  copy.number2 = 99;
  EXPECT_EQ(ios_value_copy(&copy, &source), &copy);
  ASSERT_NE(copy.text, nullptr);
  EXPECT_NE(copy.text, source.text);
  EXPECT_STREQ(strbuf_c_str(copy.text), "label");
  ASSERT_NE(copy.expression, nullptr);
  EXPECT_NE(copy.expression, source.expression);
  EXPECT_EQ(valueBytes(copy.expression, 1), Bytes{12});
  EXPECT_EQ(copy.number1, 4u);
  EXPECT_EQ(copy.number2, IOS_VALUE_UNSET);
  uint32_t live = expr_live_node_count(context_);
  ios_value_clear(&copy);
  EXPECT_EQ(expr_live_node_count(context_), live - 1);
  EXPECT_EQ(copy.text, nullptr);
  // A copy onto itself clears first, and so ends empty.
  EXPECT_EQ(ios_value_copy(&source, &source), &source);
  EXPECT_EQ(source.text, nullptr);
  EXPECT_EQ(source.expression, nullptr);
  EXPECT_EQ(source.number1, IOS_VALUE_UNSET);
  EXPECT_EQ(source.number2, IOS_VALUE_UNSET);
}

TEST(ValueSlots, InitSetsKeyAndClearsTheLastTwoWords) {
  uint32_t record[4] = {1, 2, 3, 4};
  ios_slot_init(record, 9);
  EXPECT_EQ(record[0], 9u);
  EXPECT_EQ(record[1], 2u);
  EXPECT_EQ(record[2], 0u);
  EXPECT_EQ(record[3], 0u);
  uint32_t entry[4] = {1, 2, 3, 4};
  ios_slot_init_entry(entry, 7);
  EXPECT_EQ(entry[0], 7u);
  EXPECT_EQ(entry[1], 2u);
}

}  // namespace
