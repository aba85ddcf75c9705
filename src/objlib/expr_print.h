// Readable text of an ExprNode tree, for dumps and tests.
//
// Every node prints in prefix form, "(" name operands... ")", operands separated by
// one blank:
//   (int -5) (uint 7)        integer values in decimal; an integer whose bytes beyond
//                            the eighth are not the extension of the first eight
//                            prints all its bytes, most significant first: (int 0x01..)
//   (double 0.5)             "%.17g"
//   (fract 0x4000)           the width/8 bytes, most significant first
//   (str "a\"b")             with \" \\ and \xHH escapes
//   (value)                  an untyped value
//   (slot 3)                 slot reference by slot index
//   (add (slot 3) (int 4))   operators by name: abs add and not div land lor max rem
//                            min mul neg lnot or shl shr sar sub xor eq ne le ge gt lt
//                            cond true false placeholder list range
//   (convert int X)          the target type: untyped untyped1 int uint double fract str
//   (deferred 6 X)           the tag, then the operand
//   (user 300 X Y)           user operators by kind
// A null node prints as (null); trees deeper than 256 levels print (...) below that.
// Shared operands print once per use, so a small shared graph can stand for a huge
// text: printing stops at the length asked for and ends the text with "...".
#pragma once

#include <cstddef>
#include <string>

struct ExprNode;

inline constexpr size_t EXPR_TEXT_LIMIT = 1 << 20;

// Writes at most capacity - 1 characters and a NUL (nothing when capacity is 0);
// returns the number of characters written.
size_t expr_format(const ExprNode* node, char* buffer, size_t capacity);
// The text, cut at EXPR_TEXT_LIMIT characters.
std::string expr_to_text(const ExprNode* node);
