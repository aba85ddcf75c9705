#include "objlib/expr_slots.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "objlib/expr_eval.h"
#include "objlib/expr_values.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_pool.h"
#include "objlib/ios_section.h"
#include "objlib/objlib_state.h"

namespace {

bool validSlot(const ExprLibContext* context, uint32_t index) {
  return context != nullptr && index != 0 && index < context->slots.next_index &&
         index < context->slots.capacity && context->slots.entries != nullptr;
}

ExprDependantEntry* findEntry(const ExprLibContext* owner, const ExprLibContext* importer) {
  if (owner->dependants == nullptr) return nullptr;
  for (uint32_t id = 1; id <= owner->dependants->highest_id; ++id) {
    auto* entry = static_cast<ExprDependantEntry*>(idtab_get(owner->dependants, id - 1));
    if (entry != nullptr && entry->context == importer) return entry;
  }
  return nullptr;
}

void freeEntry(ExprDependantEntry* entry) {
  if (entry == nullptr) return;
  idtab_delete(entry->records);
  pool_destroy(entry->pool);
  pool_free(entry, sizeof *entry);
}

// The importer's entry in the owner's table, made when missing; null out of memory.
ExprDependantEntry* entryFor(ExprLibContext* owner, ExprLibContext* importer) {
  if (ExprDependantEntry* found = findEntry(owner, importer)) return found;
  if (owner->dependants == nullptr) {
    owner->dependants = idtab_new();
    if (owner->dependants == nullptr) return nullptr;
  }
  auto* entry = static_cast<ExprDependantEntry*>(pool_alloc(sizeof(ExprDependantEntry)));
  if (entry == nullptr) return nullptr;
  entry->context = importer;
  entry->records = idtab_new();
  entry->pool = pool_create(sizeof(ExprDependantRecord));
  if (entry->records == nullptr || entry->pool == nullptr ||
      idtab_append(owner->dependants, entry) != 0) {
    freeEntry(entry);
    return nullptr;
  }
  return entry;
}

ExprDependantRecord* recordOf(const ExprDependantEntry* entry, uint32_t index) {
  if (entry->records == nullptr || index >= entry->records->capacity) return nullptr;
  return static_cast<ExprDependantRecord*>(entry->records->slots[index]);
}

ExprDependantRecord* recordFor(ExprDependantEntry* entry, uint32_t index) {
  if (ExprDependantRecord* found = recordOf(entry, index)) return found;
  auto* record = static_cast<ExprDependantRecord*>(pool_block_alloc_zeroed(entry->pool));
  if (record == nullptr) return nullptr;
  if (idtab_set(entry->records, index, record) != 0) {
    pool_free_block(record, entry->pool);
    return nullptr;
  }
  return record;
}

struct SlotVisit {
  const ExprLibContext* context;
  uint32_t index;
};

bool onPath(const std::vector<SlotVisit>& path, const ExprLibContext* context, uint32_t index) {
  for (const SlotVisit& visit : path) {
    if (visit.context == context && visit.index == index) return true;
  }
  return false;
}

void storeAndRefresh(ExprLibContext* context, uint32_t index, ExprNode* expression,
                     std::vector<SlotVisit>& path);

// Every dependant slot of slot i follows its expression (or is emptied with it).
void refreshDependants(ExprLibContext* context, uint32_t index, std::vector<SlotVisit>& path) {
  if (context->dependants == nullptr) return;
  ExprNode* expression = expr_slot_expression(context, index);
  for (uint32_t id = 1; id <= context->dependants->highest_id; ++id) {
    auto* entry = static_cast<ExprDependantEntry*>(idtab_get(context->dependants, id - 1));
    if (entry == nullptr) continue;
    ExprDependantRecord* record = recordOf(entry, index);
    if (record == nullptr || !validSlot(record->context, record->slot_index)) continue;
    if (onPath(path, record->context, record->slot_index) ||
        path.size() >= EXPR_SLOT_CHAIN_LIMIT) {
      context->error = EXPR_ERR_WRONG_KIND;  // a cycle: leave the rest as it stands
      continue;
    }
    ExprNode* derived = nullptr;
    if (expression != nullptr &&
        ios_location_derive(record->context, expression, &derived, nullptr) != 0) {
      context->error = EXPR_ERR_NO_MEMORY;
      continue;
    }
    storeAndRefresh(record->context, record->slot_index, derived, path);
    expr_release(derived);
  }
}

void storeAndRefresh(ExprLibContext* context, uint32_t index, ExprNode* expression,
                     std::vector<SlotVisit>& path) {
  ExprSlot& slot = context->slots.entries[index];
  // The new reference first: storing the node already there must not free it.
  if (expression != nullptr) ++expression->ref_count;
  ExprNode* old = slot.expr;
  slot.expr = expression;
  expr_release(old);
  path.push_back(SlotVisit{context, index});
  refreshDependants(context, index, path);
  path.pop_back();
}

// ---- Rewriting ----

struct Rewriter {
  ExprRewriteFn rewrite;
  void* argument;
};

int rewriteAt(const Rewriter& rewriter, ExprNode** place, uint32_t depth);

int rewriteChildren(const Rewriter& rewriter, ExprNode* node, uint32_t depth) {
  if (node->kind == EXPR_CONVERT || node->kind == EXPR_VALUE || node->kind == EXPR_SLOT_REF) {
    return 0;
  }
  if (node->kind == EXPR_DEFERRED) {
    if (node->payload.deferred.operand == nullptr) return 0;
    return rewriteAt(rewriter, &node->payload.deferred.operand, depth + 1);
  }
  std::vector<ExprLink*> links;
  for (ExprLink* link = node->payload.operands.head; link != nullptr; link = link->next) {
    links.push_back(link);
  }
  for (size_t i = links.size(); i-- > 0;) {
    if (int status = rewriteAt(rewriter, &links[i]->operand, depth + 1)) return status;
  }
  return 0;
}

int rewriteAt(const Rewriter& rewriter, ExprNode** place, uint32_t depth) {
  ExprNode* node = *place;
  if (node == nullptr) return 0;
  if (depth > EXPR_EVAL_DEPTH_LIMIT) {
    node->context->error = EXPR_ERR_WRONG_KIND;
    return 1;
  }
  int replaced = 0;
  if (int status = rewriter.rewrite(place, rewriter.argument, &replaced)) return status;
  if (replaced != 0) return rewriteAt(rewriter, place, depth + 1);
  return rewriteChildren(rewriter, *place, depth);
}

// Resolution keeps the slots it expanded on the way down, so that a reference back to
// one of them is seen as the cycle it is instead of being expanded forever.
int resolveAt(ExprNode** place, std::vector<SlotVisit>& path, uint32_t depth) {
  ExprNode* node = *place;
  if (node == nullptr) return 0;
  if (depth > EXPR_EVAL_DEPTH_LIMIT) {
    node->context->error = EXPR_ERR_WRONG_KIND;
    return 1;
  }
  if (node->kind == EXPR_SLOT_REF) {
    ExprSlotRef slot = node->payload.slot;
    if (!validSlot(slot.context, slot.index)) return 0;
    ExprNode* held = expr_slot_expression(slot.context, slot.index);
    if (held == nullptr) return 0;
    if (onPath(path, slot.context, slot.index)) {
      node->context->error = EXPR_ERR_WRONG_KIND;
      return 1;
    }
    ExprNode* copy = expr_copy(held);
    if (copy == nullptr) {
      node->context->error = EXPR_ERR_NO_MEMORY;
      return 1;
    }
    *place = copy;
    expr_release(node);
    path.push_back(SlotVisit{slot.context, slot.index});
    int status = resolveAt(place, path, depth + 1);
    path.pop_back();
    return status;
  }
  if (node->kind == EXPR_CONVERT || node->kind == EXPR_VALUE) return 0;
  if (node->kind == EXPR_DEFERRED) {
    return resolveAt(&node->payload.deferred.operand, path, depth + 1);
  }
  std::vector<ExprLink*> links;
  for (ExprLink* link = node->payload.operands.head; link != nullptr; link = link->next) {
    links.push_back(link);
  }
  for (size_t i = links.size(); i-- > 0;) {
    if (int status = resolveAt(&links[i]->operand, path, depth + 1)) return status;
  }
  return 0;
}

int visitAt(ExprNode* node, ExprVisitFn visit, void* argument, uint32_t depth) {
  if (node == nullptr || node->kind == EXPR_CONVERT || depth > EXPR_EVAL_DEPTH_LIMIT) return 0;
  if (node->kind == EXPR_VALUE || node->kind == EXPR_SLOT_REF) return visit(node, argument);
  if (node->kind == EXPR_DEFERRED) {
    return visitAt(node->payload.deferred.operand, visit, argument, depth + 1);
  }
  std::vector<ExprNode*> operands;
  for (ExprLink* link = node->payload.operands.head; link != nullptr; link = link->next) {
    operands.push_back(link->operand);
  }
  for (size_t i = operands.size(); i-- > 0;) {
    if (int result = visitAt(operands[i], visit, argument, depth + 1)) return result;
  }
  return 0;
}

}  // namespace

// ---- Context fields ----

IdTable* expr_context_init_slots(ExprLibContext* context) {
  if (context == nullptr) return nullptr;
  auto* entries = static_cast<ExprSlot*>(pool_alloc(EXPR_FIRST_SLOT_CAPACITY * sizeof(ExprSlot)));
  IdTable* dependants = idtab_new();
  IdTable* second = idtab_new();
  if (entries == nullptr || dependants == nullptr || second == nullptr) {
    pool_free(entries, EXPR_FIRST_SLOT_CAPACITY * sizeof(ExprSlot));
    idtab_delete(dependants);
    idtab_delete(second);
    context->error = EXPR_ERR_NO_MEMORY;
    return nullptr;
  }
  ExprSlotTable& table = context->slots;
  for (uint32_t index = 0; index < table.next_index && index < table.capacity; ++index) {
    expr_release(table.entries[index].expr);
  }
  pool_free(table.entries, size_t{table.capacity} * sizeof(ExprSlot));
  expr_free_dependants(context);
  table = ExprSlotTable{1, EXPR_FIRST_SLOT_CAPACITY, entries};
  context->dependants = dependants;
  context->slot_table2 = second;
  return second;
}

uint32_t expr_get_error(const ExprLibContext* context) {
  return context != nullptr ? context->error : 0;
}

int expr_clear_error(ExprLibContext* context) {
  if (context != nullptr) context->error = 0;
  return 0;
}

int expr_free_value_records(ExprLibContext* context) {
  if (context == nullptr) return 1;
  for (ExprValueObject* value = context->values; value != nullptr;) {
    ExprValueObject* next = value->next;
    pool_free(value->text, value->size);
    value = next;
  }
  context->values = nullptr;
  pool_destroy(context->value_pool);
  context->value_pool = nullptr;
  return 0;
}

void expr_free_dependants(ExprLibContext* context) {
  if (context == nullptr) return;
  if (context->dependants != nullptr) {
    for (uint32_t id = 1; id <= context->dependants->highest_id; ++id) {
      freeEntry(static_cast<ExprDependantEntry*>(idtab_get(context->dependants, id - 1)));
    }
    idtab_delete(context->dependants);
    context->dependants = nullptr;
  }
  idtab_delete(context->slot_table2);
  context->slot_table2 = nullptr;
}

void expr_forget_importer(ExprLibContext* owner, const ExprLibContext* importer) {
  if (owner == nullptr || owner->dependants == nullptr) return;
  IdTable* table = owner->dependants;
  for (uint32_t id = 1; id <= table->highest_id; ++id) {
    auto* entry = static_cast<ExprDependantEntry*>(idtab_get(table, id - 1));
    if (entry != nullptr && entry->context == importer) {
      freeEntry(entry);
      idtab_set(table, id - 1, nullptr);
    }
  }
}

// ---- Slots ----

int expr_slot_set(uint32_t index, ExprLibContext* context, ExprNode* expression) {
  if (!validSlot(context, index)) return 0;
  std::vector<SlotVisit> path;
  storeAndRefresh(context, index, expression, path);
  return 0;
}

int expr_slot_refresh_dependants(ExprLibContext* context, uint32_t index) {
  if (!validSlot(context, index) || context->dependants == nullptr) return 0;
  std::vector<SlotVisit> path{SlotVisit{context, index}};
  refreshDependants(context, index, path);
  return 0;
}

int expr_slot_add_dependant(ExprLibContext* importer, uint32_t slot_index,
                            ExprLibContext* slot_context, uint32_t index,
                            ExprLibContext* context) {
  if (context == nullptr || importer == nullptr) return 1;
  ExprDependantEntry* entry = entryFor(context, importer);
  ExprDependantRecord* record = entry != nullptr ? recordFor(entry, index) : nullptr;
  if (record == nullptr) {
    context->error = EXPR_ERR_NO_MEMORY;
    return 1;
  }
  *record = ExprDependantRecord{slot_index, slot_context};
  return 0;
}

int expr_import_slot(ExprLibContext* importer, ExprSlotRef* imported, uint32_t index,
                     ExprLibContext* owner) {
  if (importer == nullptr || owner == nullptr || imported == nullptr) return 1;
  if (importer == owner) {
    *imported = ExprSlotRef{index, owner};
    return 0;
  }
  ExprDependantEntry* entry = entryFor(owner, importer);
  ExprDependantRecord* record = entry != nullptr ? recordFor(entry, index) : nullptr;
  if (record == nullptr) {
    importer->error = EXPR_ERR_NO_MEMORY;
    return 1;
  }
  if (record->slot_index != 0) {
    *imported = ExprSlotRef{record->slot_index, record->context};
    return 0;
  }
  ExprNode* derived = nullptr;
  ExprNode* held = validSlot(owner, index) ? expr_slot_expression(owner, index) : nullptr;
  if (held != nullptr && ios_location_derive(importer, held, &derived, nullptr) != 0) {
    importer->error = EXPR_ERR_NO_MEMORY;
    return 1;
  }
  ExprSlotRef made{};
  int status = ios_location_copy_value(importer, &made, derived);
  expr_release(derived);
  if (status != 0) return 1;
  *record = ExprDependantRecord{made.index, importer};
  *imported = made;
  return 0;
}

int ios_location_copy_value(ExprLibContext* context, ExprSlotRef* slot, ExprNode* expression) {
  if (context == nullptr || slot == nullptr) return 1;
  ExprSlotRef made{};
  if (ios_entry_array_push(context, &made, nullptr) != 0) return 1;
  if (expression != nullptr) ++expression->ref_count;
  context->slots.entries[made.index].expr = expression;
  *slot = made;
  return 0;
}

// ---- Expression stack ----

int expr_stack_pop(ExprNode** expression) {
  ObjlibProcessState& state = objlib_state();
  if (state.expr_stack_top < 0) {
    if (expression != nullptr) *expression = nullptr;
    return 0;
  }
  ExprNode* top = state.expr_stack[state.expr_stack_top];
  state.expr_stack[state.expr_stack_top--] = nullptr;
  if (expression != nullptr) {
    *expression = top;
  } else {
    expr_release(top);
  }
  return 1;
}

int expr_stack_collect(ExprNode** list) {
  if (list == nullptr) return 1;
  *list = nullptr;
  ExprLibContext* context = objlib_state().current_expr_context;
  if (context == nullptr) return 1;
  ExprNode* made = nullptr;
  if (objexpr_make_operator(context, &made, EXPR_LIST, 0) != 0) return 1;
  ExprNode* taken = nullptr;
  while (expr_stack_pop(&taken) == 1) {
    // The stack's reference moves to the list; one the list cannot take is dropped.
    expr_add_operand(made, taken);
    expr_release(taken);
  }
  if (expr_operand_count(made) == 0) {
    expr_release(made);
    return 0;
  }
  *list = made;
  return 0;
}

// ---- Walking and rewriting ----

int expr_rewrite(ExprNode** node, ExprRewriteFn rewrite, void* argument) {
  if (node == nullptr || rewrite == nullptr) return 1;
  return rewriteAt(Rewriter{rewrite, argument}, node, 0);
}

int expr_resolve_references(ExprNode** node) {
  if (node == nullptr) return 1;
  std::vector<SlotVisit> path;
  return resolveAt(node, path, 0);
}

int expr_visit(ExprNode* node, ExprVisitFn visit, void* argument) {
  if (visit == nullptr) return 0;
  return visitAt(node, visit, argument, 0);
}
