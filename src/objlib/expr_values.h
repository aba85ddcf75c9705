// Value leaves of every value type, conversions between the numeric types, range-
// checked readers, deep copies, field accessors and the user-operator table of the
// relocation-expression library, for the library's clients (record fillers, value
// holders). Failures leave their code in the context's error field.
#pragma once

#include <cstdint>

#include "objlib/exprlib.h"

struct StrBuf;

// Codes of this part of the library, beside those of exprlib.h.
inline constexpr uint32_t EXPR_ERR_WRONG_KIND = 1;
inline constexpr uint32_t EXPR_ERR_DOES_NOT_FIT = 2;
inline constexpr uint32_t EXPR_ERR_WIDTH_TOO_LARGE = 3;

// ---- Constructors: 0, or 1 with the context's error set and *node untouched ----

int expr_new_integer32(ExprLibContext* context, ExprNode** node, int32_t value);
int expr_new_signed8(ExprLibContext* context, ExprNode** node, int8_t value);
int expr_new_unsigned32(ExprLibContext* context, ExprNode** node, uint32_t value);
int expr_new_unsigned16(ExprLibContext* context, ExprNode** node, uint16_t value);
int expr_new_unsigned8(ExprLibContext* context, ExprNode** node, uint8_t value);
// Integers of width bits from little-endian bytes. (width + 1) / 8 bytes are copied,
// so a width that is not a multiple of 8 loses its top bits below the next byte;
// a signed value whose last copied byte is negative is sign-filled. 3 when the width
// exceeds the context's integer bits.
int expr_new_signed_bits(ExprLibContext* context, ExprNode** node, const uint8_t* bytes,
                         uint32_t width);
int expr_new_unsigned_bits(ExprLibContext* context, ExprNode** node, const uint8_t* bytes,
                           uint32_t width);
int expr_new_double(ExprLibContext* context, ExprNode** node, double value);
// A fraction of byte_count bytes; 3 when that exceeds the integer size, 13 when the
// value saturates.
int expr_new_fraction(ExprLibContext* context, ExprNode** node, double value,
                      uint32_t byte_count);
// A string value with a copy of the buffer's text.
int ieee_make_expression_node(ExprLibContext* context, ExprNode** node, StrBuf* text);

// ---- Writing values into existing nodes ----

// Kind 0 with the 64-bit value; bytes 8 and up 0xFF only for a negative high word
// without the unsigned flag. Type and width stay. Returns 0.
int expr_set_integer64(ExprNode* node, uint32_t low, uint32_t high, int unsigned_flag);
// The source's value, type, width and tag into the destination, whose old payload
// (operands, child, text) is given back first; error 1 and nothing changed for a
// source that is not a value leaf.
int expr_assign_value(ExprNode* destination, const ExprNode* source);
// A deep copy in the source's context with one reference; null when memory runs out.
ExprNode* expr_copy(const ExprNode* node);
// A new operand list for the destination (its old one given back) whose links name
// the source's operands (one more reference each), or copies of them.
int expr_share_operands(const ExprNode* source, ExprNode* destination);
int expr_copy_operands(const ExprNode* source, ExprNode* destination);

// ---- Conversions ----

// The fraction's value as a double in the destination (kind 0, type 4, width 64).
int expr_fraction_to_double(ExprNode* destination, const ExprNode* fraction);
// The integer's value as a double in the destination's value bytes; its type and
// width stay.
int expr_integer_to_double(ExprNode* destination, const ExprNode* integer);
// The double as a fraction of the integer size (saturating with error 13).
int expr_double_to_fraction(ExprNode* destination, const ExprNode* value);
// The double, truncated, as an integer of the destination's type; error 11 when it
// is negative for an unsigned destination or outside the integer's range.
int expr_double_to_integer(ExprNode* destination, const ExprNode* value);

// ---- Readers: the out value is written before the range test (error 2) ----

int expr_get_int32(const ExprNode* node, uint32_t* value);
int expr_get_uint32(const ExprNode* node, uint32_t* value);
int expr_get_int64(const ExprNode* node, uint32_t words[2]);

// ---- Location references: 1 for a node that is not one ----

int expr_get_location_ref(const ExprNode* node, ExprSlotRef* slot);
int expr_set_location_ref(ExprNode* node, uint32_t index, ExprLibContext* slot_context);

// ---- User operators ----

// Appends an entry; the table grows by 100 entries at a time.
int expr_add_user_operator(ExprLibContext* context, int32_t kind, ExprOperatorHandler handler,
                           uintptr_t argument);
int expr_clear_user_operators(ExprLibContext* context);
int expr_evaluate_node(ExprNode* node);

// ---- Field accessors and tests (the node must exist) ----

int32_t expr_get_kind(const ExprNode* node);
uint32_t expr_get_type(const ExprNode* node);
uint16_t expr_get_width(const ExprNode* node);
ExprLibContext* expr_get_context(const ExprNode* node);
uint32_t expr_get_int_size(const ExprNode* node);
int expr_get_tag(const ExprNode* node, uint32_t* tag);
int expr_set_tag(ExprNode* node, uint32_t tag);
int expr_get_double(const ExprNode* node, double* value);
unsigned char* expr_value_bytes_at(uintptr_t node_address);
const char* expr_get_string(const ExprNode* node);
ExprNode* expr_get_operand(const ExprNode* node, uint32_t index);
// Replaces the operand without touching reference counts; 1 when the list is shorter.
int expr_set_operand(ExprNode* node, uint32_t index, ExprNode* operand);
int expr_count_links(const ExprLink* head, uint32_t* count);
int expr_collect_operands(const ExprNode* node, ExprNode** operands);
int expr_free_operand_links(ExprNode* node);
int expr_release_operands(ExprNode* node);
void expr_set_error(ExprLibContext* context, uint32_t code);
int expr_is_value(const ExprNode* node);
int expr_is_location_ref(const ExprNode* node);
int expr_is_fraction(const ExprNode* node);
int expr_is_string(const ExprNode* node);
// A value leaf of types 0 to 4: untyped, signed and unsigned integers, doubles.
int expr_is_numeric(const ExprNode* node);
int expr_kind_checks_operands(int32_t kind);
int expr_is_unary(int32_t kind);
