// Value arithmetic of the relocation-expression library.
//
// Integers (types 0-3) are int_width bytes, least significant first, and wrap modulo
// 2^(8 * int_width); doubles are IEEE binary64 in the first 8 bytes; fractions are
// width/8 bytes, most significant first, the signed bytes divided by 2^(width - 1);
// strings compare as unsigned characters. The operations below read value nodes
// (kind 0) and form their result in an ExprResult, so that a failure leaves every
// node as it was; the evaluator then writes the result into the operator node.
#pragma once

#include <cstddef>
#include <cstdint>

#include "objlib/exprlib.h"

// Where an operation leaves its value. bytes holds at least expr_value_capacity()
// bytes of the result's context; the evaluator supplies it.
struct ExprResult {
  uint32_t value_type;
  uint16_t width;
  unsigned char* bytes;
};

// Bytes that any value of the context occupies in a node: the integer width, and at
// least the 8 bytes of a double.
inline uint32_t expr_value_capacity(const ExprLibContext* context) {
  return context->int_width > 8 ? context->int_width : 8;
}

// Types 0 to 3: the arithmetic reads their value bytes as integers.
inline bool expr_is_integer_type(uint32_t type) { return type <= EXPR_TYPE_UNSIGNED; }

// Result type of two operands: their type when they agree; otherwise signed when
// either is a value of type 0, 1, 2 or 4, else unsigned. Returns 0.
int expr_result_type(uint32_t* type, const ExprNode* a, const ExprNode* b);
// Doubles, fractions and strings go only with their own type; the other types go
// with each other.
bool expr_types_compatible(const ExprNode* a, const ExprNode* b);
// A value node that is a signed integer with its top bit set, a double below 0.0 or a
// fraction with its first bit set; unsigned integers and strings never are.
bool expr_is_negative(const ExprNode* value);
// True for a non-zero integer, a double other than 0.0, a fraction with a non-zero
// byte within its width, or a non-empty string.
bool expr_is_true(const ExprNode* value);

// Evaluate both operands in place and compare them; 0 when either evaluation fails or
// either does not become a value.
int expr_value_equal(ExprNode* a, ExprNode* b);
int expr_value_greater(ExprNode* a, ExprNode* b);
// Orders two value nodes of compatible types: -1, 0 or 1 through *order. Fails with
// EXPR_ERR_TYPE_MISMATCH for incompatible types.
int expr_compare_values(const ExprNode* a, const ExprNode* b, int* order);

// Writes the negation of a fraction into the destination, which takes the source's
// type and width; -1.0 gives the largest value. Returns 0.
int expr_negate_value(ExprNode* destination, const ExprNode* source);
// Makes the node a fraction of byte_count bytes from the double. 1.0 or more
// saturates to the largest value and below -1.0 to -1.0, both failing with
// EXPR_ERR_FRACT_RANGE.
int expr_set_fract_from_double(ExprNode* node, uint32_t byte_count, double value);
// The value of a fraction node as a double (at most its first 20 bytes count).
double expr_fract_to_double(const ExprNode* value);

// Integer value bytes: the low 64 bits, and whether the further bytes are only the
// extension of those 64 bits (sign extension for signed types, zeros for unsigned).
uint64_t expr_integer_low64(const ExprNode* value, bool* fits);

// Binary operators on two value nodes: addition, subtraction, multiplication,
// division, remainder (kinds 5, 21, 14, 8, 12), bitwise and/or/xor (6, 17, 22), logical
// and/or (9, 10) and shifts (18, 19, 20). Failures: EXPR_ERR_DIVIDE_BY_ZERO,
// EXPR_ERR_FRACT_DIVISION, EXPR_ERR_TYPE_UNDEFINED for a type the operator does not
// take, EXPR_ERR_TYPE_MISMATCH for incompatible operands; EXPR_ERR_OPERAND_TRUNCATED is
// recorded without failing.
int expr_arith_binary(ExprLibContext* context, int32_t kind, const ExprNode* a,
                      const ExprNode* b, ExprResult* result);
// Unary operators on a value node: absolute value (4), bitwise not (7), negation (15)
// and logical not (16).
int expr_arith_unary(ExprLibContext* context, int32_t kind, const ExprNode* a,
                     ExprResult* result);
// Converts a value node to target type 2, 3, 4 or 5: EXPR_ERR_TYPE_UNDEFINED for other
// types, EXPR_ERR_OUT_OF_RANGE when the value does not fit the target,
// EXPR_ERR_FRACT_RANGE (with the saturated result written) for fractions.
int expr_convert_value(ExprLibContext* context, const ExprNode* source, uint32_t target,
                       ExprResult* result);
