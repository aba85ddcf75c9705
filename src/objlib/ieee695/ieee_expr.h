// Encoding of store expressions as IEEE-695 postfix expression bytes: numbers,
// variables standing for store references, and function codes.
#pragma once

#include <cstdint>

#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_value.h"

struct ExprNode;
struct ExprSlotRef;
struct IeeeWriter;
struct IeeeLetterRecord;

// Single bytes of the encoding: the letters N and T, and the codes 0xB6, 0xB7 and
// 0xB8 of a condition. 0, or -1 as ieee_buf_put_byte.
int ieee_put_letter_n(StrBuf* buffer);
int ieee_put_letter_t(StrBuf* buffer);
int ieee_put_code_b6(StrBuf* buffer);
int ieee_put_code_b7(StrBuf* buffer);
int ieee_put_code_b8(StrBuf* buffer);
// Function code of an operator kind; 0 for a kind without one.
uint32_t ieee_operator_code(int32_t kind);
// Appends a number: 0-127 as one byte, larger values with a count byte and their
// significant bytes, negative values as their 32-bit pattern. 0 or -1 as appends do.
int ieee_encode_number(StrBuf* buffer, int64_t value);
// Appends the encoding of the node and everything below it. 0, or -1 when the buffer
// could not grow (the encoding is then incomplete and must not be used).
int ieee_encode_expression(IeeeWriter* writer, StrBuf* buffer, const ExprNode* node);
// Appends the encoding of a value held as a base slot + an unsigned offset, as the
// tree of that sum would be encoded. 0, or -1 as above.
int ieee_encode_section_offset(IeeeWriter* writer, StrBuf* buffer, const ExprSlotRef& base, uint32_t offset);
// The letter record that stands for a store reference (slot index); null when none.
IeeeLetterRecord* ieee_encode_operand_refs(IeeeWriter* writer, uint32_t slot_index);
// Appends the encoding of the target's expression to its byte run, made when missing
// (with capacity 10); nothing for a target without expression. 0, or -1 when the
// bytes cannot be had. The writer resolves references (the current one by default).
int ieee_encode_expression_buffer(IosValue* target, IeeeWriter* writer = ieee_current_writer());
// Fills the value of the record under construction from the expression of the
// record argument (the writer's letter record). 0, or 1 with class 8 when there is
// no expression or the record has no value, 5 when the bytes cannot be had.
uint32_t ieee_value_from_expression(IeeeWriter* writer, uint32_t* error);
// Gives the letter record the byte buffer as its value bytes; the buffer it held goes
// back to the pools. A null record or buffer changes nothing.
void ios_set_attached_list(IeeeLetterRecord* record, StrBuf* buffer);
// Encodes the holder's expression into its byte run (made when missing). 0 on
// success, 1 with error 8 when there is no expression, 1 with error 5 when the bytes
// cannot be had.
int ieee_value_encode(IeeeWriter* writer, IosValue* value, uint32_t* error);
// Folds the operands of a list node into one expression: the first, then a kind-28
// node over the result so far and each further operand, made in the current writer's
// expression context. A single operand is returned as it is (one reference more);
// an empty list, or a failed step, gives null. The caller owns the result.
ExprNode* ieee_fold_expressions(const ExprNode* list);
