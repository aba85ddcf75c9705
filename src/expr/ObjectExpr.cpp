#include "expr/ObjectExpr.h"

#include <vector>

#include "objlib/exprlib.h"
#include "util/OrbaState.h"
#include "util/c-memory.h"

struct ObjectExprState {
  ObjectExprHooks hooks;
  ExprLibContext* context = nullptr;
  const LineInfo* sourcePosition = nullptr;
};

ObjectExprState& objectExprState() { return runPart<ObjectExprState>(); }

namespace {

void releaseAll(std::initializer_list<ExprNode*> nodes) {
  for (ExprNode* node : nodes) expr_release(node);
}

}  // namespace

bool objectNodeMade(ExprLibContext* context, int status) {
  if (status == 0) return true;
  if (context && context->error == EXPR_ERR_NO_MEMORY) mem_out_of_memory();
  return false;
}

void setObjectExprHooks(const ObjectExprHooks& newHooks) { objectExprState().hooks = newHooks; }

ExprLibContext* objectExprContext() { return objectExprState().context; }
void setObjectExprContext(ExprLibContext* newContext) { objectExprState().context = newContext; }

const LineInfo* objectSourcePosition() { return objectExprState().sourcePosition; }
void setObjectSourcePosition(const LineInfo* position) { objectExprState().sourcePosition = position; }

const LineInfo* objectContextPosition(const ObjectFile* emitting) {
  const ObjectExprHooks& hooks = objectExprState().hooks;
  return hooks.contextPosition ? hooks.contextPosition(emitting) : nullptr;
}

ExprNode* objectInteger(int64_t value) {
  ExprLibContext* context = objectExprState().context;
  ExprNode* node = nullptr;
  if (!context || !objectNodeMade(context, objexpr_make_integer(context, &node, value))) return nullptr;
  return node;
}

ExprNode* objectSymbolReference(Symbol* symbol) {
  const ObjectExprHooks& hooks = objectExprState().hooks;
  ExprLibContext* context = objectExprState().context;
  if (!context || !hooks.symbolReference) return nullptr;
  return hooks.symbolReference(context, symbol);
}

ExprNode* objectTake(int32_t kind, std::initializer_list<ExprNode*> operands) {
  ExprLibContext* context = objectExprState().context;
  ExprNode* node = nullptr;
  bool complete = context != nullptr;
  for (ExprNode* operand : operands) complete = complete && operand != nullptr;
  if (complete) {
    std::vector<ExprNode*> list(operands);
    if (!objectNodeMade(context, objexpr_make_operator_n(context, &node, kind, static_cast<uint32_t>(list.size()),
                                                         list.data())))
      node = nullptr;
  }
  // The new node holds its own references now; the caller's go.
  releaseAll(operands);
  return node;
}

ExprNode* objectTakeRelocation(uint32_t functionCode, ExprNode* operand) {
  ExprLibContext* context = objectExprState().context;
  ExprNode* node = nullptr;
  if (context && operand && !objectNodeMade(context, objexpr_make_deferred(context, &node, functionCode, operand)))
    node = nullptr;
  expr_release(operand);
  return node;
}

ExprNode* objectOpenOperator(int32_t kind) {
  ExprLibContext* context = objectExprState().context;
  ExprNode* node = nullptr;
  if (!context || !objectNodeMade(context, objexpr_make_operator(context, &node, kind, 0))) return nullptr;
  return node;
}

bool objectTakeAppend(ExprNode* node, ExprNode* operand) {
  bool appended = node && operand && objectNodeMade(node->context, expr_add_operand(node, operand));
  expr_release(operand);
  if (!appended) expr_release(node);
  return appended;
}

ExprNode* objectShare(ExprNode* node) {
  if (node) ++node->ref_count;
  return node;
}

void objectRelease(ExprNode* node) { expr_release(node); }
