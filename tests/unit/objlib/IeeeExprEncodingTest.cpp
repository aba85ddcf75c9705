#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "IeeeStreamFixture.h"
#include "StoreFileFixture.h"
#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_expr.h"

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

}  // namespace
