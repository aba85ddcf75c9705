// Builds random expression trees (values of every type, operators of every kind,
// slot references, deferred values, user operators) and evaluates them in place.
// Checks: no memory error; every reference is accounted for once the caller has
// released what it holds; and, for 8-byte integers, the evaluator's arithmetic
// agrees with the machine's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzInput.h"
#include "objlib/expr_arith.h"
#include "objlib/expr_eval.h"
#include "objlib/exprlib.h"

namespace {

constexpr size_t MAX_HELD = 64;
constexpr uint32_t SLOTS = 8;

int resolveByEvaluating(uint32_t tag, ExprNode* operand) {
  if (tag % 3 == 0) return 1;
  if (tag % 3 == 1) return 0;
  return expr_evaluate(operand);
}

void ignoreReport(uint32_t, ExprNode*) {}

// User operators: one reduces its operands and leaves itself, one refuses.
int reduceOperands(ExprNode* node, uintptr_t) {
  for (uint32_t i = 0; i < expr_operand_count(node); ++i) {
    if (expr_evaluate(expr_operand(node, i)) != 0) return 1;
  }
  return 0;
}
int refuse(ExprNode* node, uintptr_t) {
  node->context->error = EXPR_ERR_NOT_REDUCIBLE;
  return 1;
}

int32_t pickKind(uint8_t choice) {
  if (choice < 35) return choice;
  return 256 + choice % 4;
}

void expectMachineArithmetic(ExprLibContext* context, Input& input) {
  static const int32_t kinds[] = {EXPR_ADD, EXPR_SUB,    EXPR_MUL, EXPR_DIV, EXPR_REM,
                                  EXPR_BIT_AND, EXPR_BIT_OR, EXPR_BIT_XOR, EXPR_SHL,
                                  EXPR_SHR, EXPR_SAR, EXPR_LT, EXPR_GE, EXPR_EQ};
  int32_t kind = kinds[input.byte() % (sizeof kinds / sizeof kinds[0])];
  auto a = static_cast<int64_t>(input.word());
  auto b = static_cast<int64_t>(input.word());
  if (input.byte() % 2 == 0) b = static_cast<int8_t>(b);  // small counts and divisors too
  ExprNode* left = nullptr;
  ExprNode* right = nullptr;
  ExprNode* node = nullptr;
  if (objexpr_make_integer(context, &left, a) != 0) return;
  if (objexpr_make_integer(context, &right, b) != 0) std::abort();
  if (objexpr_make_operator(context, &node, kind, 2, left, right) != 0) std::abort();
  expr_release(left);
  expr_release(right);

  uint64_t x = static_cast<uint64_t>(a);
  uint64_t y = static_cast<uint64_t>(b);
  auto count = static_cast<int32_t>(static_cast<uint32_t>(y));
  bool outside = count < 0 || count >= 64;
  bool fails = (kind == EXPR_DIV || kind == EXPR_REM) && b == 0;
  uint64_t expected = 0;
  switch (kind) {
    case EXPR_ADD: expected = x + y; break;
    case EXPR_SUB: expected = x - y; break;
    case EXPR_MUL: expected = x * y; break;
    case EXPR_DIV:
      if (!fails) expected = b == -1 ? 0 - x : static_cast<uint64_t>(a / b);
      break;
    case EXPR_REM:
      if (!fails) expected = b == -1 ? 0 : static_cast<uint64_t>(a % b);
      break;
    case EXPR_BIT_AND: expected = x & y; break;
    case EXPR_BIT_OR: expected = x | y; break;
    case EXPR_BIT_XOR: expected = x ^ y; break;
    case EXPR_SHL: expected = outside ? 0 : x << count; break;
    case EXPR_SHR: expected = outside ? 0 : x >> count; break;
    case EXPR_SAR:
      expected = outside ? (a < 0 ? ~uint64_t{0} : 0) : static_cast<uint64_t>(a >> count);
      break;
    case EXPR_LT: expected = a < b ? 1 : 0; break;
    case EXPR_GE: expected = a >= b ? 1 : 0; break;
    default: expected = a == b ? 1 : 0; break;
  }
  int status = expr_evaluate(node);
  if (fails) {
    if (status != 1 || context->error != EXPR_ERR_DIVIDE_BY_ZERO) std::abort();
  } else {
    if (status != 0 || node->kind != EXPR_VALUE) std::abort();
    if (expr_integer_low64(node, nullptr) != expected) std::abort();
  }
  expr_release(node);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size, 0};
  ExprLibContext* context = nullptr;
  if (expr_context_new(&context, 1 + input.byte() % 16) != 0) return 0;
  ExprNode* held[MAX_HELD];
  size_t count = 0;

  auto push = [&](ExprNode* node) {
    if (count < MAX_HELD) {
      held[count++] = node;
    } else {
      expr_release(node);
    }
  };
  auto pick = [&]() { return held[input.byte() % count]; };

  while (!input.empty()) {
    ExprNode* made = nullptr;
    switch (input.byte() % 14) {
      case 0:
        if (objexpr_make_integer(context, &made, static_cast<int64_t>(input.word())) == 0) {
          push(made);
        }
        break;
      case 1:
        if (objexpr_make_unsigned(context, &made, input.word()) == 0) push(made);
        break;
      case 2: {
        if (expr_new_node(context, &made) != 0) break;
        uint64_t bits = input.word();
        made->value_type = EXPR_TYPE_DOUBLE;
        made->width = 64;
        std::memcpy(expr_value_bytes(made), &bits, sizeof bits);
        push(made);
        break;
      }
      case 3: {
        if (expr_new_node(context, &made) != 0) break;
        uint32_t bytes = input.byte() % (expr_value_capacity(context) + 1);
        made->value_type = EXPR_TYPE_FRACT;
        made->width = static_cast<uint16_t>(bytes * 8);
        for (uint32_t i = 0; i < bytes; ++i) expr_value_bytes(made)[i] = input.byte();
        push(made);
        break;
      }
      case 4: {
        if (expr_new_node(context, &made) != 0) break;
        char text[4] = {};
        for (uint32_t i = 0, length = input.byte() % 4; i < length; ++i) {
          text[i] = static_cast<char>(input.byte() | 1);
        }
        ExprValueObject* value = expr_new_value(context);
        if (value == nullptr || expr_value_set_text(context, value, text) != 0) std::abort();
        made->value_type = EXPR_TYPE_STRING;
        made->payload.string = value;
        push(made);
        break;
      }
      case 5:
        if (objexpr_make_slot_ref(context, &made, input.byte() % (SLOTS + 1), context) == 0) {
          push(made);
        }
        break;
      case 6: {
        int32_t kind = pickKind(input.byte());
        int wanted = expr_kind_operand_count(kind);
        uint32_t operandCount = wanted >= 0 ? static_cast<uint32_t>(wanted) : input.byte() % 4;
        if (count == 0 && operandCount != 0) break;
        ExprNode* operands[4];
        for (uint32_t i = 0; i < operandCount; ++i) operands[i] = pick();
        if (objexpr_make_operator_n(context, &made, kind, operandCount, operands) != 0) break;
        if (kind == EXPR_CONVERT) made->value_type = input.byte() % 8;
        push(made);
        break;
      }
      case 7:
        if (count != 0) {
          ExprSlot& slot = context->slots.entries[1 + input.byte() % SLOTS];
          ExprNode* stored = pick();
          ++stored->ref_count;  // the slot's own reference, taken before the old one goes
          expr_release(slot.expr);
          slot.expr = stored;
        }
        break;
      case 8:
        if (count != 0) expr_evaluate(pick());
        break;
      case 9:
        if (count != 0) {
          int64_t value = 0;
          ExprNode* node = pick();
          if (expr_evaluate_integer(node, &value) == 0 &&
              (node->kind != EXPR_VALUE || !expr_is_integer_type(node->value_type))) {
            std::abort();
          }
        }
        break;
      case 10:
        if (count != 0 && objexpr_make_deferred(context, &made, input.byte(), pick()) == 0) {
          push(made);
        }
        break;
      case 11: {
        uint8_t choice = input.byte();
        expr_set_resolver(context, choice & 1 ? resolveByEvaluating : nullptr);
        expr_set_range_report(context, choice & 2 ? ignoreReport : nullptr);
        break;
      }
      case 12:
        expr_register_operator(context, 256 + input.byte() % 4,
                               input.byte() % 2 ? reduceOperands : refuse, 0);
        break;
      case 13:
        if (count != 0) {
          size_t index = input.byte() % count;
          expr_release(held[index]);
          held[index] = held[--count];
        }
        break;
    }
    if (context->int_width == 8 && input.byte() % 16 == 0) expectMachineArithmetic(context, input);
  }
  while (count != 0) expr_release(held[--count]);
  for (uint32_t i = 0; i <= SLOTS; ++i) {
    expr_release(context->slots.entries[i].expr);
    context->slots.entries[i].expr = nullptr;
  }
  if (expr_live_node_count(context) != 0) std::abort();
  expr_context_free(context);
  return 0;
}
