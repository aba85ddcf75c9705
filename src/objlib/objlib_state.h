// The client operations' state of the object library, one record per run (a part of
// the run's state): the expression stack with the context the library builds in, and
// the cached scratch word buffer. Everything runs on one thread; nothing is locked.
#pragma once

#include <cstddef>
#include <cstdint>


struct ExprLibContext;
struct ExprNode;

inline constexpr int32_t EXPR_STACK_CAPACITY = 104;

struct ObjlibProcessState {
  ~ObjlibProcessState();
  // Expressions handed over by a reader; the library only takes them off.
  ExprNode* expr_stack[EXPR_STACK_CAPACITY] = {};
  int32_t expr_stack_top = -1;  // -1: empty
  ExprLibContext* current_expr_context = nullptr;
  // One buffer of scratch words is kept for reuse once released.
  uint32_t* scratch_words = nullptr;
  size_t scratch_word_count = 0;
  bool scratch_released = false;
  // Items copied because a table or array of the store grew: growth by doubling keeps
  // it below twice the items added, so tests can check the cost without a clock.
  uint64_t moved_items = 0;
};

// The record of the run in progress.
ObjlibProcessState& objlib_state();
// Frees what the record holds and returns it to its start values.
void objlib_state_reset();
