// Two modes, chosen by the first byte. The first drives the expression builders and
// release with arbitrary sequences of calls and checks that every reference is
// accounted for: once the caller has released all it holds, no node of the context may
// be left alive. The second builds trees of signed integers under the integer
// operators, evaluates them, and holds every value and every error against plain
// two's-complement arithmetic of the context's integer width.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzInput.h"
#include "objlib/expr_eval.h"
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

// Integers of the context's width (8 to 16 bytes), kept in 128 bits with the bits
// above the width clear.
using Wide = unsigned __int128;

struct Model {
  uint32_t bytes;

  Wide mask(Wide value) const {
    return bytes == 16 ? value : value & ((Wide{1} << (8 * bytes)) - 1);
  }
  bool negative(Wide value) const { return (value >> (8 * bytes - 1) & 1) != 0; }
  // The value read as signed; the 128-bit pattern of the sign-extended number.
  Wide extend(Wide value) const {
    return negative(value) && bytes < 16 ? value | ~((Wide{1} << (8 * bytes)) - 1) : value;
  }
  __int128 signedValue(Wide value) const { return static_cast<__int128>(extend(value)); }
  Wide minimum() const { return Wide{1} << (8 * bytes - 1); }

  // The expected value of kind over a and b (and c), or the error the library gives.
  uint32_t apply(int32_t kind, Wide a, Wide b, Wide c, Wide* result) const {
    __int128 sa = signedValue(a);
    __int128 sb = signedValue(b);
    switch (kind) {
      case EXPR_ADD: *result = mask(a + b); return 0;
      case EXPR_SUB: *result = mask(a - b); return 0;
      case EXPR_MUL: *result = mask(a * b); return 0;
      case EXPR_BIT_AND: *result = a & b; return 0;
      case EXPR_BIT_OR: *result = a | b; return 0;
      case EXPR_BIT_XOR: *result = a ^ b; return 0;
      case EXPR_BIT_NOT: *result = mask(~a); return 0;
      case EXPR_NEG: *result = mask(Wide{0} - a); return 0;
      case EXPR_ABS: *result = negative(a) ? mask(Wide{0} - a) : a; return 0;
      case EXPR_DIV:
      case EXPR_REM: {
        if (b == 0) return EXPR_ERR_DIVIDE_BY_ZERO;
        bool overflow = a == minimum() && mask(b + 1) == 0;  // the minimum over -1
        if (kind == EXPR_DIV) {
          *result = overflow ? a : mask(static_cast<Wide>(sa / sb));
        } else {
          *result = overflow ? 0 : mask(static_cast<Wide>(sa % sb));
        }
        return 0;
      }
      case EXPR_SHL:
      case EXPR_SHR:
      case EXPR_SAR: {
        // The count is the low 32 bits of the second operand, read as signed.
        auto count = static_cast<int32_t>(static_cast<uint32_t>(b));
        bool fill = kind == EXPR_SAR && negative(a);
        if (count < 0 || count >= static_cast<int32_t>(8 * bytes)) {
          *result = fill ? mask(~Wide{0}) : 0;
        } else if (kind == EXPR_SHL) {
          *result = mask(a << count);
        } else if (kind == EXPR_SHR) {
          *result = a >> count;
        } else {
          *result = mask(static_cast<Wide>(sa >> count));
        }
        return 0;
      }
      case EXPR_EQ: *result = a == b; return 0;
      case EXPR_NE: *result = a != b; return 0;
      case EXPR_LT: *result = sa < sb; return 0;
      case EXPR_GT: *result = sa > sb; return 0;
      case EXPR_LE: *result = sa <= sb; return 0;
      case EXPR_GE: *result = sa >= sb; return 0;
      case EXPR_LOGICAL_AND: *result = a != 0 && b != 0; return 0;
      case EXPR_LOGICAL_OR: *result = a != 0 || b != 0; return 0;
      case EXPR_LOGICAL_NOT: *result = a == 0; return 0;
      case EXPR_MIN: *result = sb < sa ? b : a; return 0;
      case EXPR_MAX: *result = sb < sa ? a : b; return 0;
      case EXPR_COND: *result = a != 0 ? b : c; return 0;
      default: std::abort();
    }
  }
};

const int32_t kModelKinds[] = {
    EXPR_ADD, EXPR_SUB, EXPR_MUL, EXPR_BIT_AND, EXPR_BIT_OR, EXPR_BIT_XOR, EXPR_BIT_NOT,
    EXPR_NEG, EXPR_ABS, EXPR_DIV, EXPR_REM, EXPR_SHL, EXPR_SHR, EXPR_SAR, EXPR_EQ,
    EXPR_NE, EXPR_LT, EXPR_GT, EXPR_LE, EXPR_GE, EXPR_LOGICAL_AND, EXPR_LOGICAL_OR,
    EXPR_LOGICAL_NOT, EXPR_MIN, EXPR_MAX, EXPR_COND};

uint32_t operandCount(int32_t kind) {
  switch (kind) {
    case EXPR_BIT_NOT:
    case EXPR_NEG:
    case EXPR_ABS:
    case EXPR_LOGICAL_NOT:
      return 1;
    case EXPR_COND:
      return 3;
    default:
      return 2;
  }
}

Wide valueOf(const ExprNode* node, uint32_t bytes) {
  Wide value = 0;
  const unsigned char* raw = expr_value_bytes(node);
  for (uint32_t i = bytes; i-- > 0;) value = value << 8 | raw[i];
  return value;
}

// A tree node of the model: the library's node and the value it must reduce to, or
// the error its evaluation must end with.
struct Built {
  ExprNode* node;
  Wide value;
  uint32_t error;
};

void checkArithmetic(Input& input) {
  ExprLibContext* context = nullptr;
  uint32_t bytes = 8 + input.byte() % 9;
  if (expr_context_new(&context, bytes) != 0) return;
  const Model model{bytes};
  Built held[MAX_HELD];
  size_t count = 0;
  while (!input.empty()) {
    uint8_t choice = input.byte();
    if (choice < 64 || count == 0) {
      // A leaf: a few bytes of the input, sign-extended, so that small, negative and
      // extreme values all occur.
      uint64_t word = input.word();
      int64_t value = choice % 4 == 0   ? static_cast<int8_t>(word)
                      : choice % 4 == 1 ? static_cast<int64_t>(word)
                      : choice % 4 == 2 ? INT64_MIN >> (word % 64)
                                        : static_cast<int16_t>(word);
      ExprNode* node = nullptr;
      if (objexpr_make_integer(context, &node, value) != 0) std::abort();
      Built leaf{node, model.mask(static_cast<Wide>(static_cast<__int128>(value))), 0};
      if (count < MAX_HELD) {
        held[count++] = leaf;
      } else {
        expr_release(node);
      }
      continue;
    }
    int32_t kind = kModelKinds[choice % (sizeof kModelKinds / sizeof kModelKinds[0])];
    uint32_t operands = operandCount(kind);
    ExprNode* nodes[3] = {};
    Built* parts[3] = {};
    for (uint32_t i = 0; i < operands; ++i) {
      parts[i] = &held[input.byte() % count];
      nodes[i] = parts[i]->node;
    }
    ExprNode* node = nullptr;
    if (objexpr_make_operator_n(context, &node, kind, operands, nodes) != 0) std::abort();
    Built made{node, 0, 0};
    if (kind == EXPR_COND) {
      // Only the chosen branch is evaluated, so only its error counts.
      made.error = parts[0]->error;
      if (made.error == 0) made.error = (parts[0]->value != 0 ? parts[1] : parts[2])->error;
    } else {
      for (uint32_t i = 0; i < operands && made.error == 0; ++i) made.error = parts[i]->error;
    }
    if (made.error == 0) {
      made.error = model.apply(kind, parts[0]->value, parts[1] != nullptr ? parts[1]->value : 0,
                               parts[2] != nullptr ? parts[2]->value : 0, &made.value);
    }
    if (count < MAX_HELD) {
      held[count++] = made;
    } else {
      expr_release(node);
    }
  }
  // Evaluation reduces each tree in place, shared subtrees included, so every node
  // is checked as it stands.
  for (size_t i = 0; i < count; ++i) {
    context->error = EXPR_ERR_NONE;
    int status = expr_evaluate(held[i].node);
    if (held[i].error != 0) {
      if (status != 1 || context->error != held[i].error) std::abort();
    } else {
      if (status != 0 || held[i].node->kind != EXPR_VALUE) std::abort();
      if (held[i].node->value_type != EXPR_TYPE_SIGNED) std::abort();
      if (valueOf(held[i].node, bytes) != held[i].value) std::abort();
    }
  }
  while (count != 0) expr_release(held[--count].node);
  if (expr_live_node_count(context) != 0) std::abort();
  expr_context_free(context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size, 0};
  if (input.byte() % 2 == 1) {
    checkArithmetic(input);
    return 0;
  }
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
