// The bridge from the statement scanner to the expression language: operands are
// parsed at the scanner's cursor, in the radix of the line's control state, and end
// where the line's comment begins.
#pragma once

#include <cstdint>

class OrbaExpression;
struct LineInfo;
struct Scanner;

// Parses one expression at the cursor. On success the cursor stands right behind
// the expression (before a comma and any blank in front of it) and the tree is
// returned. On failure the cursor stays, null is returned and *message receives the
// parser's text, or null when there was no expression at all.
OrbaExpression* parseExpression(Scanner& scanner, const char** message);
// Reports a failed parseExpression at the line: E134 with the message, E113 without.
void reportExpressionFailure(const LineInfo* line, const char* message);

// The first maxCount characters of the text packed into an integer, the first one
// most significant; returns whether the text was longer than that.
bool packCharacters(const char* text, uint32_t length, uint64_t* value, uint32_t maxCount);
// Whether the expression is a string value.
bool isStringExpression(const OrbaExpression* expression);
