// The object library side of the relocation tests. The library header is kept out
// of the test files: its node-kind enum shares a name with the expression kinds.
#include "flow/Symbol.h"
#include "objlib/exprlib.h"

ExprLibContext* relocNewContext() {
  ExprLibContext* context = nullptr;
  return expr_context_new(&context, 8) == 0 ? context : nullptr;
}

void relocFreeContext(ExprLibContext* context) { expr_context_free(context); }

uint32_t relocLiveNodes(const ExprLibContext* context) { return expr_live_node_count(context); }

uint64_t relocLiveTotal() { return expr_live_node_total(); }

ExprNode* relocSymbolReference(ExprLibContext* context, Symbol* symbol) {
  ExprNode* node = nullptr;
  if (objexpr_make_slot_ref(context, &node, symbol->objectSymbolId, context) != 0) return nullptr;
  return node;
}

void relocRelease(ExprNode* node) { expr_release(node); }
