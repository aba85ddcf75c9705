// The object library's relocation-expression builders as the expression nodes use
// them. The node files do not include the library header itself: its node-kind enum
// shares a name with the expression kinds, so only ObjectExpr.cpp sees both worlds.
//
// Every builder returns a node with one reference owned by the caller, or null. The
// "take" builders consume the references of the operands they are given (also on
// failure), so a conversion never has to release its intermediate nodes by hand.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "objlib/exprlib.h"

struct LineInfo;
class ObjectFile;
class Symbol;

// Operator kinds of the object library that the conversion builds, under the names
// the conversion uses.
enum ObjectOperator : int32_t {
  OBJ_add = EXPR_ADD,
  OBJ_bitAnd = EXPR_BIT_AND,
  OBJ_bitNot = EXPR_BIT_NOT,
  OBJ_divide = EXPR_DIV,
  OBJ_logicalAnd = EXPR_LOGICAL_AND,
  OBJ_logicalOr = EXPR_LOGICAL_OR,
  OBJ_remainder = EXPR_REM,
  OBJ_multiply = EXPR_MUL,
  OBJ_negate = EXPR_NEG,
  OBJ_logicalNot = EXPR_LOGICAL_NOT,
  OBJ_bitOr = EXPR_BIT_OR,
  OBJ_shiftLeft = EXPR_SHL,
  OBJ_shiftRight = EXPR_SHR,
  OBJ_subtract = EXPR_SUB,
  OBJ_bitXor = EXPR_BIT_XOR,
  OBJ_equal = EXPR_EQ,
  OBJ_notEqual = EXPR_NE,
  OBJ_lessEqual = EXPR_LE,
  OBJ_greaterEqual = EXPR_GE,
  OBJ_greater = EXPR_GT,
  OBJ_less = EXPR_LT,
  OBJ_if = EXPR_COND,                // condition, then, else
  OBJ_rangeCheck = EXPR_RANGE_CHECK,  // violation, value, severity: a link-time diagnostic
};

// What the object writer, which sits above the expression language, lends the
// conversion while it runs.
struct ObjectExprHooks {
  // Makes sure the symbol has its object-file symbol and returns a reference node to
  // it in the context; null when the symbol cannot be referenced.
  ExprNode* (*symbolReference)(ExprLibContext* context, Symbol* symbol) = nullptr;
  // The source position of an emitting node's context, for the truncation warnings.
  const LineInfo* (*contextPosition)(const ObjectFile* context) = nullptr;
};

void setObjectExprHooks(const ObjectExprHooks& hooks);

// The expression context of the object file being written; null outside the object
// output, and every builder then gives null.
ExprLibContext* objectExprContext();
void setObjectExprContext(ExprLibContext* context);

// The line of the flow node being emitted: where function calls report the
// evaluation errors that only show when the object file is written.
const LineInfo* objectSourcePosition();
void setObjectSourcePosition(const LineInfo* position);

// The position of a conversion's context (null when unknown).
const LineInfo* objectContextPosition(const ObjectFile* context);

// Whether a builder of the library that returned status made its node. A builder that
// failed for want of memory ends the run as running out of memory does anywhere else:
// its caller would take the missing node for an expression the object file cannot hold.
bool objectNodeMade(ExprLibContext* context, int status);

ExprNode* objectInteger(int64_t value);
ExprNode* objectSymbolReference(Symbol* symbol);
// An operator node over the operands; null when any operand is null.
ExprNode* objectTake(int32_t kind, std::initializer_list<ExprNode*> operands);
// The relocation-function node with its function code over the operand.
ExprNode* objectTakeRelocation(uint32_t functionCode, ExprNode* operand);
// An operator node whose operands are appended later (the IF node).
ExprNode* objectOpenOperator(int32_t kind);
// Appends the operand; false (and node and operand released) when it fails.
bool objectTakeAppend(ExprNode* node, ExprNode* operand);
// The node with one more reference, for a caller that puts it in several places.
ExprNode* objectShare(ExprNode* node);
// Drops one reference; null is allowed.
void objectRelease(ExprNode* node);
