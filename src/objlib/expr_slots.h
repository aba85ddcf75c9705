// Location slots across contexts, the expression stack, and rewriting of trees.
//
// A context may import a slot of another context: the importer gets a slot of its
// own holding the expression as seen from it, and the owner records the importer as
// a dependant of that slot, so that storing a new expression in the owner's slot
// re-derives the importer's copy. A dependant may itself have dependants; a chain that
// comes back to a slot it passed through is a cycle, which is refused.
#pragma once

#include <cstdint>

#include "objlib/exprlib.h"
#include "objlib/ios_types.h"

struct BlockPool;
struct IdTable;

// The slot of an importer that follows slot i of the owner.
struct ExprDependantRecord {
  uint32_t slot_index;  // 0 = not imported yet
  ExprLibContext* context;
};

// One importer of an owner's slots: its records, by the owner's slot index.
struct ExprDependantEntry {
  ExprLibContext* context;
  IdTable* records;  // ExprDependantRecord* at index i
  BlockPool* pool;   // of the records
};

// Re-derivation passes through at most this many slots before it counts as a cycle.
inline constexpr uint32_t EXPR_SLOT_CHAIN_LIMIT = 256;

// ---- Context fields ----

// A fresh slot table (slot 0 never handed out, capacity 1000) and fresh dependant
// tables; what the context held before is given back. Returns the second table.
IdTable* expr_context_init_slots(ExprLibContext* context);
uint32_t expr_get_error(const ExprLibContext* context);
int expr_clear_error(ExprLibContext* context);
// Gives back every string value record of the context with its text, and their pool.
// For the end of a context's use: string nodes must be gone by then.
int expr_free_value_records(ExprLibContext* context);
// Frees the dependant tables of a context (part of freeing the context).
void expr_free_dependants(ExprLibContext* context);
// Drops the importer's entry from the owner's table (the importer is being freed).
void expr_forget_importer(ExprLibContext* owner, const ExprLibContext* importer);

// ---- Slots ----

// Stores the expression in slot i (the slot takes a reference; null empties it) and
// re-derives every dependant slot. Returns 0; a cycle of dependants stops the
// re-derivation with error 1 in the context.
int expr_slot_set(uint32_t index, ExprLibContext* context, ExprNode* expression);
// Records {slot_index, slot_context} as the importer's slot that follows slot i of
// the context; an existing record is overwritten. 1 with error 4 out of memory.
int expr_slot_add_dependant(ExprLibContext* importer, uint32_t slot_index,
                            ExprLibContext* slot_context, uint32_t index,
                            ExprLibContext* context);
// The importer's slot that follows slot i of the owner, made on the first import.
int expr_import_slot(ExprLibContext* importer, ExprSlotRef* imported, uint32_t index,
                     ExprLibContext* owner);
// A new slot of the context holding the expression (one reference), handed back.
int ios_location_copy_value(ExprLibContext* context, ExprSlotRef* slot, ExprNode* expression);
// Re-derives the dependants of slot i of the context from its expression (store
// layer; ios_location_set calls it).
int expr_slot_refresh_dependants(ExprLibContext* context, uint32_t index);

// ---- Expression stack (ObjlibProcessState) ----

// 1 with the top expression (the caller takes the stack's reference), or 0 and null.
int expr_stack_pop(ExprNode** expression);
// A list node (kind 33) in the current context holding everything on the stack, top
// first; null when the stack held nothing.
int expr_stack_collect(ExprNode** list);

// ---- Walking and rewriting trees ----

// Called on a node's place in its parent; may store a replacement (the place holds one
// reference) and set *replaced, after which the new node is walked in turn.
using ExprRewriteFn = int (*)(ExprNode** place, void* argument, int* replaced);
using ExprVisitFn = int (*)(ExprNode* node, void* argument);

// Walks the tree through kind-32 children and operands (last to first), leaving kind
// 31 alone; the first non-zero callback result ends it. Replacements at one place
// nest at most EXPR_EVAL_DEPTH_LIMIT deep (error 1 beyond).
int expr_rewrite(ExprNode** node, ExprRewriteFn rewrite, void* argument);
// Replaces every reference to a slot that holds an expression by a copy of that
// expression, until none is left. A reference that comes back to a slot it was
// expanded from is a cycle: error 1 and 1, the tree as far as it was rewritten.
int expr_resolve_references(ExprNode** node);
// Calls the callback on every leaf (kinds 0 and 1) in rewrite order; the first
// non-zero result.
int expr_visit(ExprNode* node, ExprVisitFn visit, void* argument);
