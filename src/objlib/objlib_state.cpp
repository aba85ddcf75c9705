#include "objlib/objlib_state.h"

#include <cstdlib>

#include "objlib/exprlib.h"
#include "util/RunState.h"

ObjlibProcessState::~ObjlibProcessState() { std::free(scratch_words); }

ObjlibProcessState& objlib_state() { return runPart<ObjlibProcessState>(); }

void objlib_state_reset() {
  ObjlibProcessState& state = objlib_state();
  for (int32_t i = 0; i <= state.expr_stack_top && i < EXPR_STACK_CAPACITY; ++i) {
    expr_release(state.expr_stack[i]);
  }
  std::free(state.scratch_words);
  state.scratch_words = nullptr;
  state.scratch_word_count = 0;
  state.scratch_released = false;
  for (ExprNode*& entry : state.expr_stack) entry = nullptr;
  state.expr_stack_top = -1;
  state.current_expr_context = nullptr;
}
