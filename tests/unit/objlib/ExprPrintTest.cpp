#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "objlib/expr_print.h"
#include "objlib/exprlib.h"
#include "ExprContextFixture.h"

namespace {

class ExprPrint : public ExprContextTest {
 protected:
  ExprNode* slot(uint32_t index) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_slot_ref(context_, &node, index, context_), 0);
    return node;
  }
  ExprNode* value(uint32_t type, uint16_t width, std::vector<unsigned char> bytes) {
    ExprNode* node = nullptr;
    EXPECT_EQ(expr_new_node(context_, &node), 0);
    node->value_type = type;
    node->width = width;
    if (!bytes.empty()) std::memcpy(expr_value_bytes(node), bytes.data(), bytes.size());
    return node;
  }
};

TEST_F(ExprPrint, TreesPrintInPrefixForm) {
  struct Case {
    std::function<ExprNode*()> build;
    const char* text;
  };
  const Case cases[] = {
      {[&] { return op(EXPR_ADD, {slot(3), integer(4)}); }, "(add (slot 3) (int 4))"},
      {[&] { return integer(-5); }, "(int -5)"},
      {[&] { return integer(INT64_MIN); }, "(int -9223372036854775808)"},
      {[&] {
         ExprNode* node = nullptr;
         objexpr_make_unsigned(context_, &node, UINT64_MAX);
         return node;
       }, "(uint 18446744073709551615)"},
      {[&] { return op(EXPR_NEG, {op(EXPR_SUB, {slot(1), slot(2)})}); },
       "(neg (sub (slot 1) (slot 2)))"},
      {[&] { return op(EXPR_COND, {op(EXPR_LT, {slot(1), integer(0)}), integer(1),
                                   integer(2)}); },
       "(cond (lt (slot 1) (int 0)) (int 1) (int 2))"},
      {[&] { return op(EXPR_RANGE_CHECK, {op(EXPR_GT, {slot(9), integer(255)}), slot(9),
                                          integer(1)}); },
       "(range (gt (slot 9) (int 255)) (slot 9) (int 1))"},
      {[&] {
         ExprNode* operand = op(EXPR_SHR, {slot(4), integer(16)});
         ExprNode* node = nullptr;
         objexpr_make_deferred(context_, &node, 6, operand);
         expr_release(operand);
         return node;
       }, "(deferred 6 (shr (slot 4) (int 16)))"},
      {[&] {
         ExprNode* node = op(EXPR_CONVERT, {integer(1)});
         node->value_type = EXPR_TYPE_DOUBLE;
         return node;
       }, "(convert double (int 1))"},
      {[&] { return op(EXPR_LIST, {integer(1), integer(2), integer(3)}); },
       "(list (int 1) (int 2) (int 3))"},
      {[&] { return op(EXPR_COND, {}); }, "(cond)"},
      {[&] { return op(EXPR_TRUE, {}); }, "(true)"},
      {[&] { return op(300, {integer(1)}); }, "(user 300 (int 1))"},
      {[&] { return op(EXPR_BIT_AND, {op(EXPR_BIT_OR, {slot(1), op(EXPR_BIT_XOR,
                                      {slot(2), op(EXPR_BIT_NOT, {slot(3)})})}), integer(255)}); },
       "(and (or (slot 1) (xor (slot 2) (not (slot 3)))) (int 255))"},
      {[&] { return op(EXPR_LOGICAL_OR, {op(EXPR_LOGICAL_AND, {slot(1), slot(2)}),
                                         op(EXPR_LOGICAL_NOT, {slot(3)})}); },
       "(lor (land (slot 1) (slot 2)) (lnot (slot 3)))"},
      {[&] {
         double half = 0.5;
         std::vector<unsigned char> bytes(8);
         std::memcpy(bytes.data(), &half, 8);
         return value(EXPR_TYPE_DOUBLE, 64, bytes);
       }, "(double 0.5)"},
      {[&] { return value(EXPR_TYPE_FRACT, 16, {0x40, 0x00}); }, "(fract 0x4000)"},
      {[&] { return value(EXPR_TYPE_UNTYPED, 0, {}); }, "(value)"},
      {[&] { return text("a\"b\\c\n"); }, "(str \"a\\\"b\\\\c\\x0A\")"},
  };
  for (const Case& c : cases) {
    ExprNode* node = c.build();
    EXPECT_EQ(expr_to_text(node), c.text);
    expr_release(node);
  }
  EXPECT_EQ(expr_to_text(nullptr), "(null)");
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST(ExprPrintWide, IntegersBeyondSixtyFourBitsPrintAllTheirBytes) {
  ExprLibContext* context = nullptr;
  ASSERT_EQ(expr_context_new(&context, 12), 0);
  ExprNode* extended = nullptr;
  ASSERT_EQ(objexpr_make_integer(context, &extended, -2), 0);
  EXPECT_EQ(expr_to_text(extended), "(int -2)");
  expr_value_bytes(extended)[11] = 0x01;
  EXPECT_EQ(expr_to_text(extended), "(int 0x01FFFFFFFFFFFFFFFFFFFFFE)");
  expr_context_free(context);
}

TEST_F(ExprPrint, FormatMarksATextCutToTheBuffer) {
  ExprNode* node = op(EXPR_ADD, {slot(3), integer(4)});
  const std::string full = "(add (slot 3) (int 4))";
  struct Case {
    size_t capacity;
    std::string written;
  };
  const Case cases[] = {{64, full},
                        {full.size() + 1, full},
                        {full.size(), full.substr(0, full.size() - 4) + "..."},
                        {5, "(..."},
                        {3, ".."},
                        {1, ""}};
  for (const Case& c : cases) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(expr_format(node, buffer, c.capacity), c.written.size()) << c.capacity;
    EXPECT_EQ(std::string(buffer), c.written) << c.capacity;
  }
  EXPECT_EQ(expr_format(node, nullptr, 0), 0u);
  expr_release(node);
}

TEST_F(ExprPrint, SharedOperandsCannotBlowUpTheText) {
  // Each level uses the level below twice: 2^60 leaves if printed in full.
  ExprNode* node = integer(1);
  for (int level = 0; level < 60; ++level) {
    ASSERT_EQ(objexpr_make_operator(context_, &node, EXPR_ADD, 2, node, node), 0);
  }
  EXPECT_EQ(expr_live_node_count(context_), 61u);
  std::string text = expr_to_text(node);
  EXPECT_EQ(text.size(), EXPR_TEXT_LIMIT);
  EXPECT_EQ(text.substr(text.size() - 3), "...");
  expr_release(node);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST_F(ExprPrint, VeryDeepTreesAreCutShort) {
  ExprNode* node = integer(1);
  for (int depth = 0; depth < 1000; ++depth) {
    ASSERT_EQ(objexpr_make_operator(context_, &node, EXPR_NEG, 1, node), 0);
  }
  std::string text = expr_to_text(node);
  EXPECT_NE(text.find("(...)"), std::string::npos);
  EXPECT_EQ(text.find("(int 1)"), std::string::npos);
  expr_release(node);
}

}  // namespace
