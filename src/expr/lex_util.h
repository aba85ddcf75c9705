// Literal decoding shared by the expression language and the statement parser.
#pragma once

#include <cstdint>

struct ExprScanner;

// Decodes one character of a quoted literal's body: a backslash escape, a doubled
// quote or a plain byte. *position is left on the last byte consumed (the caller
// steps one further); end is the closing quote. An unknown escape reports E121 at
// the scanner's line and yields the escape character.
int32_t decodeLiteralChar(const ExprScanner* scanner, const char** position, const char* end,
                          uint8_t quote);

// Reads an unsigned number: optional blanks and sign; radix 0 picks 16 after "0x",
// 8 after a leading 0, else 10; radix 16 skips an optional "0x". *end is left after
// the last digit (at text when there is none). An overflow sets *overflow, returns
// all ones and still consumes the remaining digits.
uint64_t parseUnsigned64(const char* text, const char** end, int radix, bool* overflow);
