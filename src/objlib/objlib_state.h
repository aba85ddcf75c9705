// The object library's own process-wide state, kept together in one record so that
// a run can find all of it in one place and reset it: the installed event hook, the
// expression stack with the context the library builds in, and the cached scratch
// word buffer. Everything runs on one thread; nothing here is locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "objlib/ios_hook.h"

struct ExprLibContext;
struct ExprNode;

inline constexpr int32_t EXPR_STACK_CAPACITY = 104;

struct ObjlibProcessState {
  IosHookFunction hook = nullptr;
  // Expressions handed over by a reader; the library only takes them off.
  ExprNode* expr_stack[EXPR_STACK_CAPACITY] = {};
  int32_t expr_stack_top = -1;  // -1: empty
  ExprLibContext* current_expr_context = nullptr;
  // One buffer of scratch words is kept for reuse once released.
  uint32_t* scratch_words = nullptr;
  size_t scratch_word_count = 0;
  bool scratch_released = false;

  ObjlibProcessState() = default;
  ObjlibProcessState& operator=(const ObjlibProcessState&) = default;
  ~ObjlibProcessState() { std::free(scratch_words); }
};

ObjlibProcessState& objlib_state();
// Frees what the state holds and returns it to its start values.
void objlib_state_reset();
