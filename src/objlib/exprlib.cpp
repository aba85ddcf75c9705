#include "objlib/exprlib.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "objlib/expr_slots.h"
#include "objlib/ios_pool.h"
#include "util/RunState.h"

namespace {

// Marks a node block that went back to its pool, so that a second release of the
// same node is refused while the block has not been handed out again.
constexpr int32_t KIND_FREED = -1;

constexpr uint32_t REGISTRY_STEP = 100;

// The registry of live contexts.
struct ContextRegistry {
  ExprLibContext** registry = nullptr;
  uint32_t registryCapacity = 0;
  uint32_t registryNext = 0;
  uint32_t registryLive = 0;
  uint64_t liveNodeTotal = 0;
  ~ContextRegistry() { std::free(registry); }
};
ContextRegistry& contextRegistry() { return runPart<ContextRegistry>(); }


size_t roundUp(size_t value, size_t step) { return (value + step - 1) / step * step; }

size_t nodeBlockSize(uint32_t int_width) {
  size_t payload = roundUp(int_width, 8);
  if (payload < sizeof(ExprPayload)) payload = sizeof(ExprPayload);
  return offsetof(ExprNode, payload) + payload;
}

bool registryAdd(ExprLibContext* context) {
  if (contextRegistry().registryNext == contextRegistry().registryCapacity) {
    uint32_t capacity = contextRegistry().registryCapacity + REGISTRY_STEP;
    auto* grown =
        static_cast<ExprLibContext**>(std::realloc(contextRegistry().registry, capacity * sizeof(ExprLibContext*)));
    if (grown == nullptr) return false;
    contextRegistry().registry = grown;
    contextRegistry().registryCapacity = capacity;
  }
  context->registry_index = contextRegistry().registryNext;
  contextRegistry().registry[contextRegistry().registryNext++] = context;
  ++contextRegistry().registryLive;
  return true;
}

void registryRemove(ExprLibContext* context) {
  if (contextRegistry().registry == nullptr || context->registry_index >= contextRegistry().registryNext ||
      contextRegistry().registry[context->registry_index] != context) {
    return;
  }
  contextRegistry().registry[context->registry_index] = nullptr;
  if (--contextRegistry().registryLive == 0) {
    std::free(contextRegistry().registry);
    contextRegistry().registry = nullptr;
    contextRegistry().registryCapacity = 0;
    contextRegistry().registryNext = 0;
  }
}

int fail(ExprLibContext* context, ExprErrorCode code) {
  context->error = code;
  return 1;
}

bool isLive(const ExprNode* node) { return node->kind != KIND_FREED && node->ref_count > 0; }

void unlinkValue(ExprLibContext* context, ExprValueObject* value) {
  if (value->previous != nullptr) value->previous->next = value->next;
  if (value->next != nullptr) value->next->previous = value->previous;
  if (context->values == value) context->values = value->next;
  pool_free(value->text, value->size);
  pool_free_block(value, context->value_pool);
}

// Returns the node's own block (and its string value) to the context's pools; the
// operands are the caller's business.
void freeNode(ExprNode* node) {
  ExprLibContext* context = node->context;
  if (node->kind == EXPR_VALUE && node->value_type == EXPR_TYPE_STRING &&
      node->payload.string != nullptr) {
    unlinkValue(context, node->payload.string);
  }
  node->kind = KIND_FREED;
  node->ref_count = 0;
  pool_free_block(node, context->node_pool);
  --context->live_nodes;
  --contextRegistry().liveNodeTotal;
}

bool holdsOperandList(int32_t kind) {
  return kind != EXPR_VALUE && kind != EXPR_SLOT_REF && kind != EXPR_CONVERT &&
         kind != EXPR_DEFERRED;
}

bool acceptableOperand(const ExprLibContext* context, const ExprNode* operand) {
  return operand != nullptr && operand->context == context && isLive(operand);
}

void writeInteger(ExprNode* node, uint64_t bits, unsigned char extension) {
  unsigned char* bytes = expr_value_bytes(node);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  for (uint32_t i = 8; i < node->context->int_width; ++i) bytes[i] = extension;
  node->width = 64;
}

}  // namespace

int expr_context_new(ExprLibContext** context, uint32_t int_width) {
  if (context == nullptr) return 1;
  if (int_width == 0) int_width = EXPR_DEFAULT_INT_WIDTH;
  if (int_width > EXPR_LARGEST_INT_WIDTH) return 1;
  auto* made = static_cast<ExprLibContext*>(std::calloc(1, sizeof(ExprLibContext)));
  if (made == nullptr) return 1;
  made->int_width = int_width;
  made->extra_width = int_width > 8 ? int_width - 8 : 0;
  made->slots.next_index = 1;
  made->slots.capacity = EXPR_FIRST_SLOT_CAPACITY;
  made->slots.entries =
      static_cast<ExprSlot*>(pool_alloc(EXPR_FIRST_SLOT_CAPACITY * sizeof(ExprSlot)));
  made->node_pool = pool_create(nodeBlockSize(int_width));
  made->link_pool = pool_create(sizeof(ExprLink));
  made->value_pool = pool_create(sizeof(ExprValueObject));
  made->scratch = static_cast<unsigned char*>(pool_alloc(int_width));
  if (made->slots.entries == nullptr || made->node_pool == nullptr ||
      made->link_pool == nullptr || made->value_pool == nullptr || made->scratch == nullptr ||
      !registryAdd(made)) {
    made->registry_index = UINT32_MAX;  // never entered
    expr_context_free(made);
    return 1;
  }
  *context = made;
  return 0;
}

void expr_context_free(ExprLibContext* context) {
  if (context == nullptr) return;
  // Nodes and value objects go with their pools; only the texts live elsewhere.
  for (ExprValueObject* value = context->values; value != nullptr; value = value->next) {
    pool_free(value->text, value->size);
  }
  pool_destroy(context->node_pool);
  pool_destroy(context->link_pool);
  pool_destroy(context->value_pool);
  pool_free(context->slots.entries, size_t{context->slots.capacity} * sizeof(ExprSlot));
  pool_free(context->user_operators.entries,
            size_t{context->user_operators.capacity} * sizeof(ExprUserOperator));
  pool_free(context->scratch, context->int_width);
  expr_free_dependants(context);
  // No owner may re-derive into a context that is gone.
  ContextRegistry& contexts = contextRegistry();
  for (uint32_t i = 0; i < contexts.registryNext; ++i) {
    ExprLibContext* owner = contexts.registry[i];
    if (owner != nullptr && owner != context) expr_forget_importer(owner, context);
  }
  contextRegistry().liveNodeTotal -= context->live_nodes;
  registryRemove(context);
  std::free(context);
}

int expr_new_node(ExprLibContext* context, ExprNode** node) {
  if (context == nullptr) return 1;
  if (node == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  auto* made = static_cast<ExprNode*>(pool_alloc_block(context->node_pool));
  if (made == nullptr) return fail(context, EXPR_ERR_NO_MEMORY);
  std::memset(made, 0, context->node_pool->block_size);
  made->context = context;
  made->ref_count = 1;
  ++context->live_nodes;
  ++contextRegistry().liveNodeTotal;
  *node = made;
  return 0;
}

ExprValueObject* expr_new_value(ExprLibContext* context) {
  if (context == nullptr) return nullptr;
  // The records' pool goes when a client frees the records; a new one is made then.
  if (context->value_pool == nullptr) context->value_pool = pool_create(sizeof(ExprValueObject));
  if (context->value_pool == nullptr) {
    context->error = EXPR_ERR_NO_MEMORY;
    return nullptr;
  }
  auto* value = static_cast<ExprValueObject*>(pool_alloc_block(context->value_pool));
  if (value == nullptr) {
    context->error = EXPR_ERR_NO_MEMORY;
    return nullptr;
  }
  std::memset(value, 0, sizeof *value);
  value->next = context->values;
  if (context->values != nullptr) context->values->previous = value;
  context->values = value;
  return value;
}

int expr_value_set_text(ExprLibContext* context, ExprValueObject* value, const char* text) {
  if (context == nullptr) return 1;
  if (value == nullptr || text == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(pool_alloc(size));
  if (copy == nullptr) return fail(context, EXPR_ERR_NO_MEMORY);
  std::memcpy(copy, text, size);
  pool_free(value->text, value->size);
  value->text = copy;
  value->size = size;
  return 0;
}

int expr_kind_operand_count(int32_t kind) {
  if (kind >= EXPR_USER_FIRST) return EXPR_ANY_OPERANDS;
  switch (kind) {
    case EXPR_TRUE:
    case EXPR_FALSE:
    case EXPR_PLACEHOLDER:
      return 0;
    case EXPR_ABS:
    case EXPR_BIT_NOT:
    case EXPR_NEG:
    case EXPR_LOGICAL_NOT:
    case EXPR_CONVERT:
    case EXPR_DEFERRED:
      return 1;
    case EXPR_ADD:
    case EXPR_BIT_AND:
    case EXPR_DIV:
    case EXPR_LOGICAL_AND:
    case EXPR_LOGICAL_OR:
    case EXPR_MAX:
    case EXPR_REM:
    case EXPR_MIN:
    case EXPR_MUL:
    case EXPR_BIT_OR:
    case EXPR_SHL:
    case EXPR_SHR:
    case EXPR_SAR:
    case EXPR_SUB:
    case EXPR_BIT_XOR:
    case EXPR_EQ:
    case EXPR_NE:
    case EXPR_LE:
    case EXPR_GE:
    case EXPR_GT:
    case EXPR_LT:
      return 2;
    case EXPR_COND:
    case EXPR_RANGE_CHECK:
      return 3;
    case EXPR_LIST:
      return EXPR_ANY_OPERANDS;
    default:
      return EXPR_NOT_AN_OPERATOR;  // values, slot references, unknown kinds
  }
}

int expr_add_operand(ExprNode* node, ExprNode* operand) {
  if (node == nullptr || !isLive(node)) return 1;
  ExprLibContext* context = node->context;
  int limit = expr_kind_operand_count(node->kind);
  if (limit == EXPR_NOT_AN_OPERATOR && node->kind != EXPR_VALUE &&
      node->kind != EXPR_SLOT_REF) {
    return fail(context, EXPR_ERR_NO_HANDLER);
  }
  // Values and slot references keep their payload for other things, and kinds 31 and
  // 32 hold their operand directly: a list link there would overwrite it.
  if (!holdsOperandList(node->kind) || !acceptableOperand(context, operand) ||
      operand == node) {
    return fail(context, EXPR_ERR_BAD_OPERANDS);
  }
  if (limit >= 0 && expr_operand_count(node) >= static_cast<uint32_t>(limit)) {
    return fail(context, EXPR_ERR_BAD_OPERANDS);
  }
  auto* link = static_cast<ExprLink*>(pool_alloc_block(context->link_pool));
  if (link == nullptr) return fail(context, EXPR_ERR_NO_MEMORY);
  link->next = nullptr;
  link->operand = operand;
  ExprOperandList& list = node->payload.operands;
  if (list.tail != nullptr) {
    list.tail->next = link;
  } else {
    list.head = link;
  }
  list.tail = link;
  ++operand->ref_count;
  return 0;
}

int objexpr_make_operator_n(ExprLibContext* context, ExprNode** node, int32_t kind,
                            uint32_t count, ExprNode* const* operands) {
  if (context == nullptr) return 1;
  if (node == nullptr || (count != 0 && operands == nullptr)) {
    return fail(context, EXPR_ERR_BAD_OPERANDS);
  }
  int limit = expr_kind_operand_count(kind);
  if (limit == EXPR_NOT_AN_OPERATOR) return fail(context, EXPR_ERR_NO_HANDLER);
  bool holdsDirectly = !holdsOperandList(kind);
  // Zero operands leave the list to be filled by expr_add_operand; kinds that hold
  // their operand directly cannot be filled later.
  if ((limit >= 0 && count != 0 && count != static_cast<uint32_t>(limit)) ||
      (holdsDirectly && count != 1)) {
    return fail(context, EXPR_ERR_BAD_OPERANDS);
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!acceptableOperand(context, operands[i])) return fail(context, EXPR_ERR_BAD_OPERANDS);
  }

  // Everything is allocated before any reference moves, so a failure changes nothing.
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  if (!holdsDirectly) {
    ExprOperandList& list = made->payload.operands;
    for (uint32_t i = 0; i < count; ++i) {
      auto* link = static_cast<ExprLink*>(pool_alloc_block(context->link_pool));
      if (link == nullptr) {
        for (ExprLink* built = list.head; built != nullptr;) {
          ExprLink* next = built->next;
          pool_free_block(built, context->link_pool);
          built = next;
        }
        freeNode(made);
        return fail(context, EXPR_ERR_NO_MEMORY);
      }
      link->next = nullptr;
      link->operand = operands[i];
      if (list.tail != nullptr) {
        list.tail->next = link;
      } else {
        list.head = link;
      }
      list.tail = link;
    }
  }

  made->kind = kind;
  made->value_type = count != 0 ? operands[0]->value_type : EXPR_TYPE_UNTYPED;
  if (kind == EXPR_CONVERT) made->payload.held = operands[0];
  if (kind == EXPR_DEFERRED) made->payload.deferred = ExprDeferred{0, operands[0]};

  // The node the caller held is taken over once; a second mention of it is a
  // further holder and counts like any other.
  ExprNode* previous = *node;
  bool takenOver = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (!takenOver && operands[i] == previous) {
      takenOver = true;
    } else {
      ++operands[i]->ref_count;
    }
  }
  *node = made;
  return 0;
}

int objexpr_make_operator(ExprLibContext* context, ExprNode** node, int32_t kind,
                          uint32_t count, ...) {
  if (context == nullptr) return 1;
  constexpr uint32_t ON_STACK = 16;
  ExprNode* stackOperands[ON_STACK] = {};
  ExprNode** operands = stackOperands;
  if (count > ON_STACK) {
    operands = static_cast<ExprNode**>(std::malloc(count * sizeof(ExprNode*)));
    if (operands == nullptr) return fail(context, EXPR_ERR_NO_MEMORY);
  }
  va_list arguments;
  va_start(arguments, count);
  for (uint32_t i = 0; i < count; ++i) operands[i] = va_arg(arguments, ExprNode*);
  va_end(arguments);
  int status = objexpr_make_operator_n(context, node, kind, count, operands);
  if (operands != stackOperands) std::free(operands);
  return status;
}

int objexpr_make_integer(ExprLibContext* context, ExprNode** node, int64_t value) {
  if (context == nullptr) return 1;
  if (node == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  made->value_type = EXPR_TYPE_SIGNED;
  writeInteger(made, static_cast<uint64_t>(value), value < 0 ? 0xFF : 0x00);
  *node = made;
  return 0;
}

int objexpr_make_unsigned(ExprLibContext* context, ExprNode** node, uint64_t value) {
  if (context == nullptr) return 1;
  if (node == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  made->value_type = EXPR_TYPE_UNSIGNED;
  writeInteger(made, value, 0x00);
  *node = made;
  return 0;
}

int objexpr_make_slot_ref(ExprLibContext* context, ExprNode** node, uint32_t slot_index,
                          ExprLibContext* slot_context) {
  if (context == nullptr) return 1;
  if (node == nullptr || slot_context == nullptr) return fail(context, EXPR_ERR_BAD_OPERANDS);
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  made->kind = EXPR_SLOT_REF;
  made->payload.slot = ExprSlotRef{slot_index, slot_context};
  *node = made;
  return 0;
}

namespace {

bool inSlotTable(const ExprLibContext* context, uint32_t index) {
  return context != nullptr && index != 0 && index < context->slots.capacity &&
         context->slots.entries != nullptr;
}

}  // namespace

bool expr_slot_located(const ExprLibContext* context, uint32_t index) {
  if (!inSlotTable(context, index)) return false;
  const ExprSlot& slot = context->slots.entries[index];
  return slot.expr == nullptr && slot.base != EXPR_NO_BASE && slot.base != 0;
}

ExprNode* expr_slot_expression(ExprLibContext* context, uint32_t index) {
  if (!inSlotTable(context, index)) return nullptr;
  if (!expr_slot_located(context, index)) return context->slots.entries[index].expr;
  const ExprSlot located = context->slots.entries[index];
  ExprNode* base = nullptr;
  ExprNode* offset = nullptr;
  ExprNode* sum = nullptr;
  int failed = objexpr_make_slot_ref(context, &base, located.base, context) != 0 ||
               objexpr_make_integer(context, &offset, static_cast<int64_t>(located.offset)) != 0 ||
               objexpr_make_operator(context, &sum, EXPR_ADD, 2, base, offset) != 0;
  expr_release(base);
  expr_release(offset);
  if (failed) return nullptr;
  // From now on the slot is an ordinary one: its tree is what every reader sees.
  ExprSlot& slot = context->slots.entries[index];
  slot.expr = sum;
  slot.base = EXPR_NO_BASE;
  slot.offset = 0;
  return sum;
}

int objexpr_make_deferred(ExprLibContext* context, ExprNode** node, uint32_t tag,
                          ExprNode* operand) {
  if (context == nullptr) return 1;
  if (node == nullptr || !acceptableOperand(context, operand)) {
    return fail(context, EXPR_ERR_BAD_OPERANDS);
  }
  ExprNode* made = nullptr;
  if (expr_new_node(context, &made) != 0) return 1;
  made->kind = EXPR_DEFERRED;
  made->payload.deferred = ExprDeferred{tag, operand};
  ++operand->ref_count;
  *node = made;
  return 0;
}

int expr_release(ExprNode* node) {
  if (node == nullptr) return 0;
  if (!isLive(node)) return 1;
  ExprLibContext* context = node->context;
  // Operands still to be released wait on a chain made of the dead nodes' own
  // links, so deep trees need neither recursion nor extra memory.
  ExprLink* pending = nullptr;
  ExprNode* current = node;
  for (;;) {
    while (current != nullptr && isLive(current)) {
      if (--current->ref_count > 0) break;
      ExprNode* held = nullptr;
      if (current->kind == EXPR_CONVERT) {
        held = current->payload.held;
      } else if (current->kind == EXPR_DEFERRED) {
        held = current->payload.deferred.operand;
      } else if (holdsOperandList(current->kind) && current->payload.operands.head != nullptr) {
        current->payload.operands.tail->next = pending;
        pending = current->payload.operands.head;
      }
      freeNode(current);
      current = held;
    }
    if (pending == nullptr) break;
    ExprLink* link = pending;
    pending = link->next;
    current = link->operand;
    pool_free_block(link, context->link_pool);
  }
  return 0;
}

void expr_drop_payload(ExprNode* node) {
  if (node == nullptr || !isLive(node)) return;
  ExprLibContext* context = node->context;
  if (node->kind == EXPR_VALUE && node->value_type == EXPR_TYPE_STRING &&
      node->payload.string != nullptr) {
    unlinkValue(context, node->payload.string);
  } else if (node->kind == EXPR_CONVERT) {
    expr_release(node->payload.held);
  } else if (node->kind == EXPR_DEFERRED) {
    expr_release(node->payload.deferred.operand);
  } else if (holdsOperandList(node->kind)) {
    ExprLink* link = node->payload.operands.head;
    while (link != nullptr) {
      ExprLink* next = link->next;
      expr_release(link->operand);
      pool_free_block(link, context->link_pool);
      link = next;
    }
  }
  size_t payloadBytes = context->node_pool->block_size - offsetof(ExprNode, payload);
  std::memset(expr_value_bytes(node), 0, payloadBytes);
  node->kind = EXPR_VALUE;
}

uint32_t expr_operand_count(const ExprNode* node) {
  if (node == nullptr || !isLive(node)) return 0;
  if (node->kind == EXPR_CONVERT) return node->payload.held != nullptr ? 1 : 0;
  if (node->kind == EXPR_DEFERRED) return node->payload.deferred.operand != nullptr ? 1 : 0;
  if (!holdsOperandList(node->kind)) return 0;
  uint32_t count = 0;
  for (const ExprLink* link = node->payload.operands.head; link != nullptr; link = link->next) {
    ++count;
  }
  return count;
}

ExprNode* expr_operand(const ExprNode* node, uint32_t index) {
  if (node == nullptr || !isLive(node)) return nullptr;
  if (node->kind == EXPR_CONVERT) return index == 0 ? node->payload.held : nullptr;
  if (node->kind == EXPR_DEFERRED) return index == 0 ? node->payload.deferred.operand : nullptr;
  if (!holdsOperandList(node->kind)) return nullptr;
  const ExprLink* link = node->payload.operands.head;
  for (; link != nullptr && index != 0; --index) link = link->next;
  return link != nullptr ? link->operand : nullptr;
}

unsigned char* expr_value_bytes(ExprNode* node) {
  return reinterpret_cast<unsigned char*>(node) + offsetof(ExprNode, payload);
}

const unsigned char* expr_value_bytes(const ExprNode* node) {
  return reinterpret_cast<const unsigned char*>(node) + offsetof(ExprNode, payload);
}

uint32_t expr_live_node_count(const ExprLibContext* context) {
  return context != nullptr ? context->live_nodes : 0;
}

uint64_t expr_live_node_total() { return contextRegistry().liveNodeTotal; }
