#include "objlib/objlib_state.h"

#include <cstdlib>

#include "objlib/exprlib.h"

namespace {
ObjlibProcessState& stateRecord() {
  static ObjlibProcessState state;
  return state;
}
}  // namespace

ObjlibProcessState& objlib_state() { return stateRecord(); }

void objlib_state_reset() {
  ObjlibProcessState& state = stateRecord();
  for (int32_t i = 0; i <= state.expr_stack_top && i < EXPR_STACK_CAPACITY; ++i) {
    expr_release(state.expr_stack[i]);
  }
  std::free(state.scratch_words);
  state = ObjlibProcessState{};
}
