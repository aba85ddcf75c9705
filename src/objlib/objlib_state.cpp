#include "objlib/objlib_state.h"

#include <cstdlib>

#include "objlib/exprlib.h"
#include "util/RunState.h"

namespace {
// The state lives in the run, so a second run in the same process starts clean.
ObjlibProcessState& stateRecord() { return runPart<ObjlibProcessState>(); }
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
