#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "objlib/exprlib.h"
#include "ExprContextFixture.h"
#include "objlib/ios_pool.h"

namespace {

class ExprRelease : public ExprContextTest {
 protected:
  ExprNode* string(const std::string& characters) { return text(characters.c_str()); }

  size_t stringValueCount() const {
    size_t count = 0;
    for (ExprValueObject* value = context_->values; value != nullptr; value = value->next) {
      ++count;
    }
    return count;
  }
};

TEST_F(ExprRelease, ReleasingTheRootFreesEveryNodeOfTheTree) {
  struct Case {
    const char* name;
    std::function<ExprNode*()> build;
    uint32_t nodes;
  };
  const Case cases[] = {
      {"integer", [&] { return integer(1); }, 1},
      {"sum", [&] { return op(EXPR_ADD, {integer(1), integer(2)}); }, 3},
      {"nested", [&] { return op(EXPR_SUB, {op(EXPR_NEG, {integer(1)}), op(EXPR_MUL,
                                            {integer(2), integer(3)})}); }, 6},
      {"conditional",
       [&] { return op(EXPR_COND, {op(EXPR_LT, {integer(1), integer(2)}), integer(3),
                                   integer(4)}); }, 6},
      {"range check",
       [&] { return op(EXPR_RANGE_CHECK, {integer(0), integer(5), integer(1)}); }, 4},
      {"conversion", [&] { return op(EXPR_CONVERT, {op(EXPR_ABS, {integer(-1)})}); }, 3},
      {"deferred",
       [&] {
         ExprNode* operand = op(EXPR_ADD, {integer(1), integer(2)});
         ExprNode* node = nullptr;
         EXPECT_EQ(objexpr_make_deferred(context_, &node, 6, operand), 0);
         expr_release(operand);
         return node;
       }, 4},
      {"strings under an operator of string type",
       [&] { return op(EXPR_MAX, {string("a"), string(std::string(100, 'b'))}); }, 3},
      {"list", [&] { return op(EXPR_LIST, {integer(1), string("x"), integer(3)}); }, 4},
      {"user operator", [&] { return op(300, {integer(1), op(EXPR_TRUE, {})}); }, 3},
  };
  for (const Case& c : cases) {
    ExprNode* root = c.build();
    ASSERT_NE(root, nullptr) << c.name;
    EXPECT_EQ(root->ref_count, 1) << c.name;
    EXPECT_EQ(expr_live_node_count(context_), c.nodes) << c.name;
    EXPECT_EQ(expr_release(root), 0) << c.name;
    EXPECT_EQ(expr_live_node_count(context_), 0u) << c.name;
    EXPECT_EQ(stringValueCount(), 0u) << c.name;
  }
}

TEST_F(ExprRelease, OperatorOfStringTypeIsNotMistakenForAStringValue) {
  ExprNode* node = op(EXPR_MIN, {string("left"), string("right")});
  EXPECT_EQ(node->value_type, EXPR_TYPE_STRING);
  EXPECT_EQ(stringValueCount(), 2u);
  expr_release(node);
  EXPECT_EQ(stringValueCount(), 0u);
}

TEST_F(ExprRelease, SharedNodeIsFreedByItsLastHolder) {
  ExprNode* shared = op(EXPR_ADD, {integer(1), integer(2)});
  ExprNode* first = nullptr;
  ExprNode* second = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &first, EXPR_NEG, 1, shared), 0);
  ASSERT_EQ(objexpr_make_operator(context_, &second, EXPR_BIT_NOT, 1, shared), 0);
  expr_release(shared);
  EXPECT_EQ(shared->ref_count, 2);
  expr_release(first);
  EXPECT_EQ(shared->ref_count, 1);
  EXPECT_EQ(expr_live_node_count(context_), 4u);
  expr_release(second);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
}

TEST_F(ExprRelease, SecondReleaseOfAFreedNodeIsRefused) {
  ExprNode* keep = integer(1);  // keeps the pool's chunk alive
  ExprNode* node = op(EXPR_NEG, {integer(2)});
  ASSERT_EQ(expr_release(node), 0);
  EXPECT_EQ(expr_live_node_count(context_), 1u);
  EXPECT_EQ(expr_release(node), 1);
  EXPECT_EQ(expr_live_node_count(context_), 1u);
  expr_release(keep);
}

TEST_F(ExprRelease, LastReleaseReturnsThePoolChunksAndBuildersWorkAfterwards) {
  std::vector<ExprNode*> nodes;
  for (int i = 0; i < 2000; ++i) nodes.push_back(op(EXPR_NEG, {integer(i)}));
  EXPECT_GT(pool_chunk_count(context_->node_pool), 1u);
  for (ExprNode* node : nodes) expr_release(node);
  EXPECT_EQ(expr_live_node_count(context_), 0u);
  EXPECT_EQ(pool_chunk_count(context_->node_pool), 0u);
  EXPECT_EQ(context_->link_pool->in_use, 0u);
  ExprNode* again = op(EXPR_ADD, {integer(1), integer(2)});
  EXPECT_EQ(expr_live_node_count(context_), 3u);
  expr_release(again);
}

TEST_F(ExprRelease, DeepTreesReleaseWithoutRecursion) {
  struct Case {
    int32_t kind;
  };
  const Case cases[] = {{EXPR_NEG}, {EXPR_CONVERT}, {EXPR_DEFERRED}, {EXPR_ADD}};
  for (const Case& c : cases) {
    ExprNode* node = integer(0);
    for (int depth = 0; depth < 200000; ++depth) {
      if (c.kind == EXPR_ADD) {
        ASSERT_EQ(objexpr_make_operator(context_, &node, c.kind, 2, node, integer(depth)), 0);
        expr_release(expr_operand(node, 1));
      } else {
        ASSERT_EQ(objexpr_make_operator(context_, &node, c.kind, 1, node), 0);
      }
    }
    expr_release(node);
    EXPECT_EQ(expr_live_node_count(context_), 0u) << c.kind;
  }
}

TEST(ExprContextFree, FreesNodesThatAreStillReferenced) {
  uint64_t before = expr_live_node_total();
  ExprLibContext* context = nullptr;
  ASSERT_EQ(expr_context_new(&context, 8), 0);
  ExprNode* left = nullptr;
  ExprNode* sum = nullptr;
  ASSERT_EQ(objexpr_make_integer(context, &left, 1), 0);
  ASSERT_EQ(objexpr_make_operator(context, &sum, EXPR_ADD, 2, left, left), 0);
  for (int i = 0; i < 3; ++i) {
    ExprNode* text = nullptr;
    ASSERT_EQ(expr_new_node(context, &text), 0);
    ExprValueObject* value = expr_new_value(context);
    ASSERT_EQ(expr_value_set_text(context, value, std::string(200, 'v').c_str()), 0);
    text->value_type = EXPR_TYPE_STRING;
    text->payload.string = value;
  }
  EXPECT_EQ(expr_live_node_count(context), 5u);
  EXPECT_EQ(expr_live_node_total(), before + 5);
  // The leak checker of the sanitizer build confirms that the texts went too.
  expr_context_free(context);
  EXPECT_EQ(expr_live_node_total(), before);
}

TEST(ExprContextFree, ContextsAreCountedAcrossTheProcess) {
  uint64_t before = expr_live_node_total();
  std::vector<ExprLibContext*> contexts(250);
  for (ExprLibContext*& context : contexts) {
    ASSERT_EQ(expr_context_new(&context, 8), 0);
    ExprNode* node = nullptr;
    ASSERT_EQ(objexpr_make_integer(context, &node, 1), 0);
  }
  EXPECT_EQ(contexts[249]->registry_index, contexts[0]->registry_index + 249);
  EXPECT_EQ(expr_live_node_total(), before + 250);
  for (ExprLibContext* context : contexts) expr_context_free(context);
  EXPECT_EQ(expr_live_node_total(), before);
}

}  // namespace
