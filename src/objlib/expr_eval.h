// Evaluation of relocation-expression trees.
//
// expr_evaluate reduces a tree in place: every operator node whose operands reduce to
// values becomes a value node (kind 0) and drops its operand references. Callers that
// still need the symbolic tree keep their own copy. Built-in kinds dispatch through
// ExprOpTable by kind and by the node's value type; kinds 256 and up go to the
// operators registered in the context.
//
// Failures leave their code in the context's error field (ExprErrorCode) and leave
// the failing node as it was, apart from operands already reduced in place.
#pragma once

#include <cstdint>

#include "objlib/exprlib.h"

// Handler of one built-in kind and value type; 0 on success, 1 on failure.
using ExprOpHandler = int (*)(ExprNode* node);

inline constexpr uint32_t EXPR_OP_TYPE_COLUMNS = 10;

// Rows by kind 0-34, columns by value type 0-9; null where the combination has no
// handler.
struct ExprOpTable {
  ExprOpHandler handlers[EXPR_BUILTIN_KIND_COUNT][EXPR_OP_TYPE_COLUMNS];
};
extern const ExprOpTable expr_op_table;

// The handler for a kind and value type, or null (also for kinds and types outside
// the table).
ExprOpHandler expr_op_handler(int32_t kind, uint32_t value_type);

// Nesting that evaluation follows before it gives up with EXPR_ERR_NOT_REDUCIBLE;
// deeper trees are cycles through slots or operands in all practical input.
inline constexpr uint32_t EXPR_EVAL_DEPTH_LIMIT = 4000;

// Reduces the tree in place. 0 on success: the node is a value, or an operator left
// by a user operator with its operands reduced as far as they go. 1 on failure.
int expr_evaluate(ExprNode* node);

// Evaluates the tree and reads its integer: 0 with *value set when the node became
// an integer value; 1 otherwise, with EXPR_ERR_NOT_REDUCIBLE when evaluation succeeded
// but left an operator, EXPR_ERR_TYPE_UNDEFINED for a double, fraction or string.
// EXPR_ERR_OPERAND_TRUNCATED is recorded when the integer does not fit 64 bits.
int expr_evaluate_integer(ExprNode* node, int64_t* value);

// Registers a user operator for a kind of 256 and up; the first registration of a
// kind is the one used. Fails with EXPR_ERR_BAD_OPERANDS for a lower kind or a null
// handler, EXPR_ERR_NO_MEMORY when the table cannot grow.
int expr_register_operator(ExprLibContext* context, int32_t kind, ExprOperatorHandler handler,
                           uintptr_t argument);

// Installs (or, with null, removes) the resolver of deferred values and the report
// of failed range checks.
void expr_set_resolver(ExprLibContext* context, ExprResolver resolver);
void expr_set_range_report(ExprLibContext* context, ExprRangeReport report);

// Makes node a copy of the value node source (type, width, flag and value; a string
// gets its own copy of the text), extending integers to node's integer width. The
// node's previous payload is overwritten without being released: the caller has
// taken it out first. Fails with EXPR_ERR_NO_MEMORY for a string copy.
int expr_copy_value(ExprNode* node, const ExprNode* source);
