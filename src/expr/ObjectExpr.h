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

struct ExprLibContext;
struct ExprNode;
struct LineInfo;
class ObjectFile;
class Symbol;

// Operator kinds of the object library that the conversion builds.
enum ObjectOperator : int32_t {
  OBJ_add = 5,
  OBJ_bitAnd = 6,
  OBJ_bitNot = 7,
  OBJ_divide = 8,
  OBJ_logicalAnd = 9,
  OBJ_logicalOr = 10,
  OBJ_remainder = 12,
  OBJ_multiply = 14,
  OBJ_negate = 15,
  OBJ_logicalNot = 16,
  OBJ_bitOr = 17,
  OBJ_shiftLeft = 18,
  OBJ_shiftRight = 19,
  OBJ_subtract = 21,
  OBJ_bitXor = 22,
  OBJ_equal = 23,
  OBJ_notEqual = 24,
  OBJ_lessEqual = 25,
  OBJ_greaterEqual = 26,
  OBJ_greater = 27,
  OBJ_less = 28,
  OBJ_if = 29,          // condition, then, else
  OBJ_rangeCheck = 34,  // violation, value, severity: a link-time diagnostic
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
