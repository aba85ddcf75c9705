// Encoding of store expressions as IEEE-695 postfix expression bytes: numbers,
// variables standing for store references, and function codes.
#pragma once

#include <cstdint>

#include "objlib/ieee695/ieee_value.h"

struct ExprNode;
struct IeeeWriter;
struct IeeeLetterRecord;

// Function code of an operator kind; 0 for a kind without one.
uint32_t ieee_operator_code(int32_t kind);
// Appends a number: 0-127 as one byte, larger values with a count byte and their
// significant bytes, negative values as their 32-bit pattern. 0 or -1 as appends do.
int ieee_encode_number(StrBuf* buffer, int64_t value);
// Appends the encoding of the node and everything below it. 0, or -1 when the buffer
// could not grow (the encoding is then incomplete and must not be used).
int ieee_encode_expression(IeeeWriter* writer, StrBuf* buffer, const ExprNode* node);
// The letter record that stands for a store reference (slot index); null when none.
IeeeLetterRecord* ieee_encode_operand_refs(IeeeWriter* writer, uint32_t slot_index);
// Encodes the holder's expression into its byte run (made when missing). 0 on
// success, 1 with error 8 when there is no expression, 1 with error 5 when the bytes
// cannot be had.
int ieee_value_encode(IeeeWriter* writer, IosValue* value, uint32_t* error);
// Folds the operands of a list node into one expression: the first, then a kind-28
// node over the result so far and each further operand, made in the current writer's
// expression context. A single operand is returned as it is (one reference more);
// an empty list, or a failed step, gives null. The caller owns the result.
ExprNode* ieee_fold_expressions(const ExprNode* list);
