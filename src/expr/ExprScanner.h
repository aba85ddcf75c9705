// The token stream that the line scanner and the expression scanner share, and the
// expression scanner itself: one token per call, longest match, no allocation.
#pragma once

#include <cstdint>

struct LineInfo;

struct ExprScanner {
  const char* textStart = nullptr;
  // Text of the current token; for prefixed and quoted literals it starts after
  // the prefix or the opening quote.
  const char* tokenStart = nullptr;
  // Set only for prefixed integers and quoted literals; otherwise the text ends at
  // the cursor.
  const char* tokenEnd = nullptr;
  const char* cursor = nullptr;
  const char* marker = nullptr;
  LineInfo* line = nullptr;
  // In: the default radix; out: the radix of an integer token.
  int32_t radix = 10;
  // Open @-function argument lists.
  int32_t callDepth = 0;
  uint32_t limit = 0;
  // Where the line's comment begins no token starts; null when nothing marks it.
  const char* commentPrefix = nullptr;

  void reset(const char* text, LineInfo* lineInfo) {
    textStart = text;
    tokenStart = nullptr;
    tokenEnd = nullptr;
    cursor = text;
    marker = text;
    line = lineInfo;
    callDepth = 0;
    limit = 0;
    commentPrefix = nullptr;
  }
};

// Token codes passed between scanner and parser; the class of a token is its code
// minus ExprTokenBase.
enum ExprToken : int32_t {
  ExprTokenBase = 256,
  TK_END = 256,
  TK_AND = 257,          // &
  TK_COLON = 258,        // :
  TK_COMMA = 259,        // ,
  TK_TILDE = 260,        // ~
  TK_SLASH = 261,        // /
  TK_EQ = 262,           // ==
  TK_GE = 263,           // >=
  TK_GT = 264,           // >
  TK_IDENTIFIER = 265,
  TK_LOGICAL_AND = 266,  // &&
  TK_LBRACKET = 267,     // [
  TK_LE = 268,           // <=
  TK_LOGICAL_OR = 269,   // ||
  TK_LPAREN = 270,       // (
  TK_LT = 271,           // <
  TK_MINUS = 272,        // -
  TK_PERCENT = 273,      // %
  TK_NE = 274,           // !=
  TK_NOT = 275,          // !
  TK_OR = 276,           // |
  TK_PLUS = 277,         // +
  TK_CONCAT = 278,       // ++
  TK_QUESTION = 279,     // ?
  TK_RBRACKET = 280,     // ]
  TK_RPAREN = 281,       // )
  TK_SHL = 282,          // <<
  TK_SHR = 283,          // >>
  TK_STAR = 284,         // *
  TK_STRING = 285,
  TK_FLOAT = 286,
  TK_INTEGER = 287,
  TK_XOR = 288,          // ^
  TK_FUNCTION_FIRST = 289,
  TK_FUNCTION_LAST = 335,
  TK_LOCAL_LABEL = 336,
  TK_LAST = 336,
};

inline constexpr int32_t kExprTokenClasses = TK_LAST - ExprTokenBase + 1;

// Recognises one token from the cursor and moves the cursor past it. Text that
// begins no token comes back as TK_END; at the terminating NUL the cursor stays.
int32_t exprScan(ExprScanner* scanner);

// The current token's text in the run's scratch buffer, NUL-terminated;
// valid until the next call. Returns its length through the optional out-parameter.
const char* tokenText(const ExprScanner* scanner, uint32_t* length = nullptr);
