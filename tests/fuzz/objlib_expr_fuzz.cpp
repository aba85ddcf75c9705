// Drives the expression builders and release with arbitrary sequences of calls and
// checks that every reference is accounted for: once the caller has released all it
// holds, no node of the context may be left alive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzInput.h"
#include "objlib/expr_print.h"
#include "objlib/exprlib.h"

namespace {

constexpr size_t MAX_HELD = 64;

int32_t pickKind(uint8_t choice) {
  // Mostly the built-in kinds, with their neighbours and a few user kinds.
  if (choice < 40) return choice;
  if (choice < 48) return 250 + (choice - 40);
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size, 0};
  ExprLibContext* context = nullptr;
  if (expr_context_new(&context, 8 + input.byte() % 9) != 0) return 0;
  ExprNode* held[MAX_HELD];
  size_t count = 0;
  bool mayHoldCycles = false;

  auto push = [&](ExprNode* node) {
    if (count < MAX_HELD) {
      held[count++] = node;
    } else {
      expr_release(node);
    }
  };

  while (!input.empty()) {
    uint8_t operation = input.byte() % 8;
    ExprNode* made = nullptr;
    switch (operation) {
      case 0:
        if (objexpr_make_integer(context, &made, static_cast<int64_t>(input.word())) == 0) {
          push(made);
        }
        break;
      case 1:
        if (objexpr_make_unsigned(context, &made, input.word()) == 0) push(made);
        break;
      case 2:
        if (objexpr_make_slot_ref(context, &made, input.byte(), context) == 0) push(made);
        break;
      case 3: {
        int32_t kind = pickKind(input.byte());
        uint32_t operandCount = input.byte() % 5;
        ExprNode* operands[4];
        if (count == 0 && operandCount != 0) break;
        for (uint32_t i = 0; i < operandCount; ++i) operands[i] = held[input.byte() % count];
        size_t target = count != 0 ? input.byte() % count : 0;
        ExprNode* previous = count != 0 ? held[target] : nullptr;
        ExprNode* node = previous;
        if (objexpr_make_operator_n(context, &node, kind, operandCount, operands) != 0) break;
        bool takenOver = false;
        for (uint32_t i = 0; i < operandCount; ++i) takenOver |= operands[i] == previous;
        if (takenOver) {
          held[target] = node;
        } else {
          push(node);
        }
        break;
      }
      case 4:
        if (count >= 2) {
          mayHoldCycles = true;
          ExprNode* node = held[input.byte() % count];
          expr_add_operand(node, held[input.byte() % count]);
        }
        break;
      case 5:
        if (count != 0) {
          size_t index = input.byte() % count;
          expr_release(held[index]);
          held[index] = held[--count];
        }
        break;
      case 6:
        if (count != 0 &&
            objexpr_make_deferred(context, &made, input.byte(), held[input.byte() % count]) == 0) {
          push(made);
        }
        break;
      case 7:
        if (count != 0) {
          char buffer[32];
          expr_format(held[input.byte() % count], buffer, sizeof buffer);
        }
        break;
    }
  }
  while (count != 0) expr_release(held[--count]);
  // Operands appended by hand can close a cycle, which only the context frees.
  if (!mayHoldCycles && expr_live_node_count(context) != 0) std::abort();
  expr_context_free(context);
  return 0;
}
