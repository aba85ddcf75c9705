// Byte arithmetic of the expression library: shifts, negation, addition and
// multiplication on the little-endian value bytes of nodes; operations on fractions
// held as most-significant-first byte arrays; packing and unpacking of bit fields;
// and small word-array helpers. None of them fails on its input: results wider than
// the value are cut off, and shift counts and field widths of any size are taken.
#pragma once

#include <cstddef>
#include <cstdint>

#include "objlib/exprlib.h"

// ---- Value arithmetic: the destination becomes a value leaf; all return 0 ----

int expr_shift_right(ExprNode* destination, const ExprNode* value, uint32_t count,
                     int arithmetic);
int expr_shift_left(ExprNode* destination, const ExprNode* value, uint32_t count);
int expr_negate(ExprNode* destination, const ExprNode* value);
int expr_add(ExprNode* destination, const ExprNode* a, const ExprNode* b);
// The product keeps the product of the operand widths as its width, at most the
// context's integer bits.
int expr_multiply(ExprNode* destination, const ExprNode* a, const ExprNode* b);

// ---- Fractions: byte 0 is the most significant; width in bits ----

int expr_fraction_is_min(const uint8_t* bytes, uint32_t width);
int expr_fraction_set_max(uint8_t* bytes, uint32_t width);
// Adds one unit of the last byte. Only a positive value can overflow: it saturates to
// the largest fraction with error 13 in the context and returns 1. A negative value
// that reaches zero is simply zero.
int expr_fraction_increment(ExprLibContext* context, uint8_t* bytes, uint32_t width);
int expr_fraction_greater(const uint8_t* a, uint32_t width_a, const uint8_t* b,
                          uint32_t width_b);
void bytes_shift_left(uint8_t* bytes, int32_t length, int32_t count);
void bytes_shift_right(uint8_t* bytes, int32_t length, int32_t count);
// Adds the addend byte by byte from the last byte towards byte 0, with carry.
void bytes_add(uint8_t* bytes, int32_t length, const uint8_t* addend, int32_t addend_length);

// ---- Bit fields: order 1 puts field 0 in the low bits, order 2 in the high bits;
// a count of 0 means as many fields as fit. Each returns the field count. ----

enum FieldOrder : int {
  FIELDS_LOW_FIRST = 1,
  FIELDS_HIGH_FIRST = 2,
};

uint32_t fields_unpack64(uint32_t low, uint32_t high, uint32_t width, int order, uint32_t count,
                         uint32_t* fields);
uint32_t fields_unpack32(int32_t value, uint32_t width, int order, uint32_t count,
                         uint32_t* fields);
uint32_t fields_unpack16(int16_t value, uint32_t width, int order, uint32_t count,
                         uint32_t* fields);
uint32_t fields_unpack8(int8_t value, uint32_t width, int order, uint32_t count,
                        uint32_t* fields);
uint64_t fields_pack64(uint32_t width, int order, const uint32_t* fields, uint32_t count);
uint32_t fields_pack32(uint32_t width, int order, const uint32_t* fields, uint32_t count);
uint8_t fields_pack8(uint32_t width, int order, const uint32_t* fields, uint32_t count);
// How many fields of width a make one of width b ({b / a, 1}) or how many of width b
// one of width a splits into ({1, a / b}); {-1, -1} when neither divides. With the
// flag clear, a width of 1 on either side counts as a whole. Returns 0.
int fields_ratio(uint32_t width_a, uint32_t width_b, int32_t* join, int32_t* split, int flag);
// Joins groups or splits fields from the input width to the output width; the number
// of fields handled (0 when the widths do not divide).
uint32_t fields_repack(uint32_t count, uint32_t in_width, const uint32_t* in,
                       uint32_t out_width, uint32_t* out, int order, int flag);

// ---- Word arrays ----

uint32_t* words_reverse(uint32_t count, uint32_t a, uint32_t b, uint32_t* words);
void words_fill(uint32_t* words, uint32_t value, uint32_t count);
int words_compare(const uint32_t* a, const uint32_t* b, uint32_t count);
uint32_t words_copy(uint32_t* destination, const uint32_t* source, uint32_t count);
// A buffer of count words; one released buffer of the same size is reused.
uint32_t* scratch_words_alloc(uint32_t count);
uint32_t* scratch_words_realloc(uint32_t* words, uint32_t count);
void scratch_words_free(uint32_t* words);
