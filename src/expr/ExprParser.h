// The expression parser: one left-to-right pass with one token of look-ahead over
// the token stream of ExprScanner, building the tree through the semantic actions.
// It raises no diagnostic; it hands back at most one message text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "expr/ExprScanner.h"
#include "util/RunState.h"

class OrbaExpression;

// How deep constructs may nest (parentheses, prefix operators, @-function arguments,
// conditional arms, substrings) and how high a parsed tree may grow; the whole
// expression is the first level. Every later walk over a tree recurses, and relies
// on this bound instead of checking its own.
inline constexpr int32_t kMaxExpressionDepth = 256;
// The message of a parse that the bound refuses; the parser hands back this very pointer.
const char* expressionTooDeepText();

// The run's parse state, reached through exprParseState(). Parses may nest (an expression parsed while
// another is being parsed) but never interleave.
struct ExprParseState {
  static constexpr int kRecoverySets = 8;

  ExprScanner* scanner = nullptr;
  // Where the last accepted token and the one before it ended.
  const char* currentEnd = nullptr;
  const char* previousEnd = nullptr;
  int32_t defaultRadix = 10;
  // Once set, no further token is scanned.
  bool errorFlag = false;
  // The first message stored; its presence fails the parse.
  const char* message = nullptr;
  OrbaExpression* result = nullptr;

  int32_t currentToken = TK_END;
  int32_t currentClass = 0;
  // How many open constructs await each token class, and how many accept each
  // recovery set.
  uint32_t classCounters[kExprTokenClasses] = {};
  uint32_t setCounters[kRecoverySets] = {};
  int32_t nesting = 0;
  // Open nesting levels, over all active parses: they share one stack.
  int32_t depth = 0;

  // Semantic-action state: operands folded away are kept while a copied .SET value
  // may share them; the location counter is an error in preprocessor conditions.
  bool keep = false;
  bool preprocessor = false;
  // Open argument lists: their arguments one after another, and where each begins.
  std::vector<OrbaExpression*> arguments;
  std::vector<size_t> argumentBases;
};

// Reached for every token: inline, without a call.
inline ExprParseState& exprParseState() { return runPart<ExprParseState>(); }


// Parses one expression at the stream's cursor. On success the cursor moves behind
// the expression and the tree is returned (null for an empty expression) with a
// null message; on failure the cursor stays, the message text is returned through
// the out-parameter and the result is null. The preprocessor flag makes the
// location counter an error node.
OrbaExpression* parseExpressionAt(ExprScanner* stream, const char** message, bool preprocessor);
// The directive parser's entry: parseExpressionAt without the preprocessor flag.
OrbaExpression* parseOperandExpression(ExprScanner* stream, const char** message);

// The start rule over the state set up by the entry; leaves the tree in the state.
void exprParseStart();
// The token source of the parser; -1 once the error flag is set.
int32_t exprNextToken();
// -1: stop (error flag); 0: a token is dropped; a token code: that terminal is missing.
void exprParseError(int32_t code);
