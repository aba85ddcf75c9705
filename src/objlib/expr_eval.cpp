#include "objlib/expr_eval.h"

#include <algorithm>
#include <cstring>

#include "objlib/expr_arith.h"
#include "objlib/ios_pool.h"
#include "util/RunState.h"

namespace {

constexpr uint32_t FIRST_USER_OPERATOR_CAPACITY = 100;

// Nesting of the evaluation in progress; slot references and user operators re-enter
// the dispatch, so a cycle among them shows here as depth.
struct EvaluationState {
  uint32_t evaluationDepth = 0;
};
EvaluationState& evaluationState() { return runPart<EvaluationState>(); }

class DepthGuard {
 public:
  DepthGuard() { ++evaluationState().evaluationDepth; }
  ~DepthGuard() { --evaluationState().evaluationDepth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
};

int fail(ExprLibContext* context, ExprErrorCode code) {
  context->error = code;
  return 1;
}

bool isValue(const ExprNode* node) { return node->kind == EXPR_VALUE; }

bool isBinaryKind(int32_t kind) {
  switch (kind) {
    case EXPR_ADD:
    case EXPR_BIT_AND:
    case EXPR_DIV:
    case EXPR_LOGICAL_AND:
    case EXPR_LOGICAL_OR:
    case EXPR_REM:
    case EXPR_MUL:
      return true;
    default:
      return kind >= EXPR_BIT_OR && kind <= EXPR_LT;
  }
}

// The bitwise and logical kinds cannot stay symbolic: their operands must be integers.
bool needsIntegerOperands(int32_t kind) {
  return kind == EXPR_BIT_AND || kind == EXPR_BIT_OR || kind == EXPR_BIT_XOR ||
         kind == EXPR_LOGICAL_AND || kind == EXPR_LOGICAL_OR || kind == EXPR_BIT_NOT ||
         kind == EXPR_LOGICAL_NOT;
}

int dispatch(ExprNode* node);

// The first operands of a list node; false when one is missing.
bool operands(const ExprNode* node, ExprNode** out, uint32_t count) {
  const ExprLink* link = node->payload.operands.head;
  for (uint32_t i = 0; i < count; ++i) {
    if (link == nullptr) return false;
    out[i] = link->operand;
    link = link->next;
  }
  return true;
}

// Evaluates an operand of node. Once it returns, node may have been rewritten by an
// evaluation that came back to it through a cycle; *changed tells the handler to stop.
int evaluateOperand(ExprNode* node, ExprNode* operand, bool* changed) {
  int32_t kind = node->kind;
  int status = dispatch(operand);
  *changed = node->kind != kind;
  return status;
}

void releaseLinks(ExprLibContext* context, ExprLink* links) {
  while (links != nullptr) {
    ExprLink* next = links->next;
    ExprNode* operand = links->operand;
    pool_free_block(links, context->link_pool);
    expr_release(operand);
    links = next;
  }
}

void clearPayload(ExprNode* node) {
  size_t size = std::max<size_t>(expr_value_capacity(node->context), sizeof(ExprPayload));
  std::memset(expr_value_bytes(node), 0, size);
}

// Work space of one result: the context's scratch, or a small buffer for contexts
// whose integers are narrower than a double.
struct ResultSpace {
  explicit ResultSpace(ExprLibContext* context) {
    result.bytes = context->int_width >= 8 ? context->scratch : small;
    result.value_type = EXPR_TYPE_UNTYPED;
    result.width = 0;
  }
  unsigned char small[16] = {};
  ExprResult result;
};

// Rewrites a list node into the computed value and drops its operands.
void commitResult(ExprNode* node, const ExprResult& result, uint32_t flag) {
  ExprLibContext* context = node->context;
  ExprLink* links = node->payload.operands.head;
  clearPayload(node);
  std::memcpy(expr_value_bytes(node), result.bytes, expr_value_capacity(context));
  node->kind = EXPR_VALUE;
  node->value_type = result.value_type;
  node->width = result.width;
  node->flag = flag;
  releaseLinks(context, links);
}

// Rewrites a list node into a copy of one of its operands' values.
int commitCopy(ExprNode* node, const ExprNode* source, uint32_t flag) {
  ExprLink* links = node->payload.operands.head;
  if (expr_copy_value(node, source) != 0) return 1;
  node->flag = flag;
  releaseLinks(node->context, links);
  return 0;
}

int handleValue(ExprNode*) { return 0; }

int handleSlotRef(ExprNode* node) {
  ExprLibContext* context = node->context;
  ExprSlotRef slot = node->payload.slot;
  ExprLibContext* slotContext = slot.context;
  ExprNode* stored = expr_slot_expression(slotContext, slot.index);
  if (stored == nullptr) return fail(context, EXPR_ERR_EMPTY_SLOT);
  // Held for the duration: the evaluation may reach code that replaces the slot.
  ++stored->ref_count;
  int status = dispatch(stored);
  if (status != 0 && slotContext != context) context->error = slotContext->error;
  if (status == 0 && node->kind != EXPR_SLOT_REF) {
    expr_release(stored);
    return 0;
  }
  if (status == 0) {
    status = isValue(stored) ? expr_copy_value(node, stored) : fail(context, EXPR_ERR_NOT_REDUCIBLE);
  }
  expr_release(stored);
  return status;
}

int handleTruth(ExprNode* node) {
  ExprLibContext* context = node->context;
  bool truth = node->kind == EXPR_TRUE;
  clearPayload(node);
  std::memset(expr_value_bytes(node), truth ? 0xFF : 0x00, context->int_width);
  node->kind = EXPR_VALUE;
  node->value_type = EXPR_TYPE_SIGNED;
  // Counted in bytes, unlike every other width.
  node->width = static_cast<uint16_t>(context->int_width);
  return 0;
}

int handleNotReducible(ExprNode* node) { return fail(node->context, EXPR_ERR_NOT_REDUCIBLE); }

int handleUnary(ExprNode* node) {
  ExprLibContext* context = node->context;
  int32_t kind = node->kind;
  ExprNode* operand = nullptr;
  if (!operands(node, &operand, 1)) return fail(context, EXPR_ERR_BAD_OPERANDS);
  bool changed = false;
  if (evaluateOperand(node, operand, &changed) != 0) return 1;
  if (changed) return 0;
  if (!isValue(operand)) return needsIntegerOperands(kind) ? fail(context, EXPR_ERR_TYPE_UNDEFINED) : 0;
  ResultSpace space(context);
  if (expr_arith_unary(context, kind, operand, &space.result) != 0) return 1;
  commitResult(node, space.result, operand->flag);
  return 0;
}

int handleBinary(ExprNode* node) {
  ExprLibContext* context = node->context;
  int32_t kind = node->kind;
  ExprNode* pair[2] = {};
  if (!operands(node, pair, 2)) return fail(context, EXPR_ERR_BAD_OPERANDS);
  bool changed = false;
  if (evaluateOperand(node, pair[0], &changed) != 0) return 1;
  if (changed) return 0;
  if (evaluateOperand(node, pair[1], &changed) != 0) return 1;
  if (changed) return 0;
  if (!isValue(pair[0]) || !isValue(pair[1])) {
    return needsIntegerOperands(kind) ? fail(context, EXPR_ERR_TYPE_UNDEFINED) : 0;
  }
  if (needsIntegerOperands(kind) && (!expr_is_integer_type(pair[0]->value_type) ||
                                     !expr_is_integer_type(pair[1]->value_type))) {
    return fail(context, EXPR_ERR_TYPE_UNDEFINED);
  }
  ResultSpace space(context);
  if (expr_arith_binary(context, kind, pair[0], pair[1], &space.result) != 0) return 1;
  commitResult(node, space.result, pair[0]->flag | pair[1]->flag);
  return 0;
}

// Evaluates both operands of a comparison-like node and orders them; *done is set
// when the node is to be left as it is.
int orderOperands(ExprNode* node, ExprNode** pair, int* order, bool* done) {
  ExprLibContext* context = node->context;
  *done = false;
  if (!operands(node, pair, 2)) return fail(context, EXPR_ERR_BAD_OPERANDS);
  bool changed = false;
  if (evaluateOperand(node, pair[0], &changed) != 0) return 1;
  if (!changed && evaluateOperand(node, pair[1], &changed) != 0) return 1;
  if (changed || !isValue(pair[0]) || !isValue(pair[1])) {
    *done = true;
    return 0;
  }
  return expr_compare_values(pair[0], pair[1], order);
}

int handleMinMax(ExprNode* node) {
  ExprNode* pair[2] = {};
  int order = 0;
  bool done = false;
  int32_t kind = node->kind;
  if (orderOperands(node, pair, &order, &done) != 0) return 1;
  if (done) return 0;
  // Equal operands give the second for the maximum and the first for the minimum.
  const ExprNode* chosen = kind == EXPR_MAX ? (order == 1 ? pair[0] : pair[1])
                                            : (order == 1 ? pair[1] : pair[0]);
  return commitCopy(node, chosen, pair[0]->flag | pair[1]->flag);
}

int handleCompare(ExprNode* node) {
  ExprNode* pair[2] = {};
  int order = 0;
  bool done = false;
  int32_t kind = node->kind;
  if (orderOperands(node, pair, &order, &done) != 0) return 1;
  if (done) return 0;
  // Order 2 is an unordered pair of doubles: only "not equal" holds.
  bool truth = false;
  switch (kind) {
    case EXPR_EQ:
      truth = order == 0;
      break;
    case EXPR_NE:
      truth = order != 0;
      break;
    case EXPR_LE:
      truth = order == -1 || order == 0;
      break;
    case EXPR_GE:
      truth = order == 0 || order == 1;
      break;
    case EXPR_GT:
      truth = order == 1;
      break;
    default:
      truth = order == -1;
      break;
  }
  ResultSpace space(node->context);
  std::memset(space.result.bytes, 0, expr_value_capacity(node->context));
  space.result.bytes[0] = truth ? 1 : 0;
  space.result.value_type = EXPR_TYPE_SIGNED;
  space.result.width = 8;
  commitResult(node, space.result, pair[0]->flag | pair[1]->flag);
  return 0;
}

int handleConditional(ExprNode* node) {
  ExprNode* parts[3] = {};
  if (!operands(node, parts, 3)) return fail(node->context, EXPR_ERR_BAD_OPERANDS);
  bool changed = false;
  if (evaluateOperand(node, parts[0], &changed) != 0) return 1;
  if (changed || !isValue(parts[0])) return 0;
  // Only the chosen branch is evaluated: the other may well not reduce.
  ExprNode* chosen = expr_is_true(parts[0]) ? parts[1] : parts[2];
  if (evaluateOperand(node, chosen, &changed) != 0) return 1;
  if (changed || !isValue(chosen)) return 0;
  return commitCopy(node, chosen, parts[0]->flag | chosen->flag);
}

int handleConvert(ExprNode* node) {
  ExprLibContext* context = node->context;
  ExprNode* held = node->payload.held;
  if (held == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  bool changed = false;
  if (evaluateOperand(node, held, &changed) != 0) return 1;
  if (changed || !isValue(held)) return 0;
  ResultSpace space(context);
  if (expr_convert_value(context, held, node->value_type, &space.result) != 0) return 1;
  clearPayload(node);
  std::memcpy(expr_value_bytes(node), space.result.bytes, expr_value_capacity(context));
  node->kind = EXPR_VALUE;
  node->value_type = space.result.value_type;
  node->width = space.result.width;
  node->flag = held->flag;
  expr_release(held);
  return 0;
}

int handleDeferred(ExprNode* node) {
  ExprLibContext* context = node->context;
  if (context->resolver == nullptr) return fail(context, EXPR_ERR_NO_RESOLVER);
  ExprDeferred deferred = node->payload.deferred;
  if (deferred.operand == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  if (context->resolver(deferred.tag, deferred.operand) != 0) {
    if (context->error == EXPR_ERR_NONE) context->error = EXPR_ERR_NOT_REDUCIBLE;
    return 1;
  }
  if (node->kind != EXPR_DEFERRED) return 0;
  if (!isValue(deferred.operand)) return fail(context, EXPR_ERR_NOT_REDUCIBLE);
  if (expr_copy_value(node, deferred.operand) != 0) return 1;
  expr_release(deferred.operand);
  return 0;
}

int handleRangeCheck(ExprNode* node) {
  ExprLibContext* context = node->context;
  ExprNode* parts[3] = {};  // violation, value, code
  if (!operands(node, parts, 3)) return fail(context, EXPR_ERR_BAD_OPERANDS);
  bool changed = false;
  if (evaluateOperand(node, parts[0], &changed) != 0) return 1;
  if (changed) return 0;
  const ExprNode* violation = parts[0];
  bool passed = isValue(violation) && expr_is_integer_type(violation->value_type) &&
                !expr_is_true(violation);
  if (passed) {
    if (evaluateOperand(node, parts[1], &changed) != 0) return 1;
    if (changed || !isValue(parts[1])) return 0;
    return commitCopy(node, parts[1], parts[0]->flag | parts[1]->flag);
  }
  // The code is a constant that the builder put there; it is read, not evaluated.
  uint32_t code = 0;
  const ExprNode* codeNode = parts[2];
  if (isValue(codeNode) && expr_is_integer_type(codeNode->value_type)) {
    const unsigned char* bytes = expr_value_bytes(codeNode);
    for (uint32_t i = 8; i < context->int_width; ++i) {
      if (bytes[i] != 0) context->error = EXPR_ERR_OPERAND_TRUNCATED;
    }
    code = static_cast<uint32_t>(expr_integer_low64(codeNode, nullptr));
  }
  if (context->report != nullptr) context->report(code, parts[1]);
  // The node keeps its operands, so a second evaluation fails the same way.
  return fail(context, EXPR_ERR_RANGE_CHECK);
}

constexpr ExprOpTable makeTable() {
  struct Row {
    int32_t kind;
    ExprOpHandler handler;
    uint32_t lastType;  // handlers for value types 0 to lastType
  };
  constexpr Row rows[] = {
      {EXPR_VALUE, handleValue, 6},           {EXPR_SLOT_REF, handleSlotRef, 6},
      {EXPR_TRUE, handleTruth, 6},            {EXPR_FALSE, handleTruth, 6},
      {EXPR_ABS, handleUnary, 5},             {EXPR_ADD, handleBinary, 5},
      {EXPR_BIT_AND, handleBinary, 3},        {EXPR_BIT_NOT, handleUnary, 3},
      {EXPR_DIV, handleBinary, 4},            {EXPR_LOGICAL_AND, handleBinary, 3},
      {EXPR_LOGICAL_OR, handleBinary, 3},     {EXPR_MAX, handleMinMax, 6},
      {EXPR_REM, handleBinary, 4},            {EXPR_MIN, handleMinMax, 6},
      {EXPR_MUL, handleBinary, 5},            {EXPR_NEG, handleUnary, 5},
      {EXPR_LOGICAL_NOT, handleUnary, 3},     {EXPR_BIT_OR, handleBinary, 3},
      {EXPR_SHL, handleBinary, 3},            {EXPR_SHR, handleBinary, 3},
      {EXPR_SAR, handleBinary, 3},            {EXPR_SUB, handleBinary, 5},
      {EXPR_BIT_XOR, handleBinary, 3},        {EXPR_EQ, handleCompare, 6},
      {EXPR_NE, handleCompare, 6},            {EXPR_LE, handleCompare, 6},
      {EXPR_GE, handleCompare, 6},            {EXPR_GT, handleCompare, 6},
      {EXPR_LT, handleCompare, 6},            {EXPR_COND, handleConditional, 5},
      {EXPR_PLACEHOLDER, handleNotReducible, 6}, {EXPR_CONVERT, handleConvert, 6},
      {EXPR_DEFERRED, handleDeferred, 6},     {EXPR_LIST, handleNotReducible, 6},
      {EXPR_RANGE_CHECK, handleRangeCheck, 6},
  };
  ExprOpTable table{};
  for (const Row& row : rows) {
    for (uint32_t type = 0; type <= row.lastType; ++type) table.handlers[row.kind][type] = row.handler;
  }
  return table;
}

int dispatchUser(ExprNode* node) {
  const ExprUserOperators& users = node->context->user_operators;
  for (uint32_t i = 0; i < users.count; ++i) {
    if (users.entries[i].kind == node->kind) {
      return users.entries[i].handler(node, users.entries[i].argument);
    }
  }
  return fail(node->context, EXPR_ERR_NO_HANDLER);
}

int dispatch(ExprNode* node) {
  if (node == nullptr || node->ref_count <= 0) return 1;
  ExprLibContext* context = node->context;
  int32_t kind = node->kind;
  if (kind == EXPR_VALUE && node->value_type <= EXPR_TYPE_STRING) return 0;
  DepthGuard guard;
  if (evaluationState().evaluationDepth > EXPR_EVAL_DEPTH_LIMIT) return fail(context, EXPR_ERR_NOT_REDUCIBLE);
  if (kind >= EXPR_USER_FIRST) return dispatchUser(node);
  if (isBinaryKind(kind)) {
    ExprNode* pair[2] = {};
    if (!operands(node, pair, 2)) return fail(context, EXPR_ERR_BAD_OPERANDS);
    if (!expr_types_compatible(pair[0], pair[1])) return fail(context, EXPR_ERR_TYPE_MISMATCH);
  }
  ExprOpHandler handler = expr_op_handler(kind, node->value_type);
  if (handler == nullptr) return fail(context, EXPR_ERR_NO_HANDLER);
  return handler(node);
}

}  // namespace

const ExprOpTable expr_op_table = makeTable();

ExprOpHandler expr_op_handler(int32_t kind, uint32_t value_type) {
  if (kind < 0 || kind >= EXPR_BUILTIN_KIND_COUNT || value_type >= EXPR_OP_TYPE_COLUMNS) {
    return nullptr;
  }
  return expr_op_table.handlers[kind][value_type];
}

int expr_evaluate(ExprNode* node) { return dispatch(node); }

int expr_evaluate_integer(ExprNode* node, int64_t* value) {
  if (node == nullptr || value == nullptr) return 1;
  if (expr_evaluate(node) != 0) return 1;
  ExprLibContext* context = node->context;
  if (!isValue(node)) return fail(context, EXPR_ERR_NOT_REDUCIBLE);
  if (!expr_is_integer_type(node->value_type)) return fail(context, EXPR_ERR_TYPE_UNDEFINED);
  bool fits = true;
  *value = static_cast<int64_t>(expr_integer_low64(node, &fits));
  if (!fits) context->error = EXPR_ERR_OPERAND_TRUNCATED;
  return 0;
}

int expr_register_operator(ExprLibContext* context, int32_t kind, ExprOperatorHandler handler,
                           uintptr_t argument) {
  if (context == nullptr) return 1;
  if (kind < EXPR_USER_FIRST || handler == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  ExprUserOperators& users = context->user_operators;
  if (users.count == users.capacity) {
    uint32_t capacity = users.capacity == 0 ? FIRST_USER_OPERATOR_CAPACITY : users.capacity * 2;
    auto* grown = static_cast<ExprUserOperator*>(pool_alloc(capacity * sizeof(ExprUserOperator)));
    if (grown == nullptr) return fail(context, EXPR_ERR_NO_MEMORY);
    if (users.count != 0) std::memcpy(grown, users.entries, users.count * sizeof(ExprUserOperator));
    pool_free(users.entries, users.capacity * sizeof(ExprUserOperator));
    users.entries = grown;
    users.capacity = capacity;
  }
  users.entries[users.count++] = ExprUserOperator{kind, handler, argument};
  return 0;
}

void expr_set_resolver(ExprLibContext* context, ExprResolver resolver) {
  if (context != nullptr) context->resolver = resolver;
}

void expr_set_range_report(ExprLibContext* context, ExprRangeReport report) {
  if (context != nullptr) context->report = report;
}

int expr_copy_value(ExprNode* node, const ExprNode* source) {
  ExprLibContext* context = node->context;
  if (!isValue(source)) return fail(context, EXPR_ERR_NOT_REDUCIBLE);
  // The string's copy is made first, so that a shortage leaves the node untouched.
  ExprValueObject* text = nullptr;
  if (source->value_type == EXPR_TYPE_STRING) {
    text = expr_new_value(context);
    if (text == nullptr) return fail(context, EXPR_ERR_NO_MEMORY);
    const ExprValueObject* original = source->payload.string;
    const char* characters = original != nullptr && original->text != nullptr ? original->text : "";
    if (expr_value_set_text(context, text, characters) != 0) return 1;
  }
  clearPayload(node);
  unsigned char* target = expr_value_bytes(node);
  const unsigned char* bytes = expr_value_bytes(source);
  uint32_t capacity = expr_value_capacity(context);
  switch (source->value_type) {
    case EXPR_TYPE_STRING:
      node->payload.string = text;
      break;
    case EXPR_TYPE_DOUBLE:
      std::memcpy(target, bytes, 8);
      break;
    case EXPR_TYPE_FRACT:
      std::memcpy(target, bytes,
                  std::min<uint32_t>(source->width / 8,
                                     std::min(capacity, expr_value_capacity(source->context))));
      break;
    default: {
      // A slot of another context may hold integers of another width.
      uint32_t own = source->context->int_width;
      uint32_t wanted = context->int_width;
      uint32_t common = std::min(own, wanted);
      std::memcpy(target, bytes, common);
      bool negative = source->value_type <= EXPR_TYPE_SIGNED && (bytes[own - 1] & 0x80) != 0;
      if (wanted > own) std::memset(target + own, negative ? 0xFF : 0x00, wanted - own);
      break;
    }
  }
  node->kind = EXPR_VALUE;
  node->value_type = source->value_type;
  node->width = source->width;
  node->flag = source->flag;
  return 0;
}
