// Reporting around the error handler for the expression language and its users:
// evaluation failures by error kind, parse failures with the offending token
// quoted, and the messages that the source itself asks for.
#pragma once

#include <cstdint>
#include <vector>

class OrbaExpression;
struct LineInfo;

// Reports an evaluation failure of the given TEError kind at the position; kinds
// without a message of their own use the fallback identifier.
void reportExpressionError(uint32_t errorKind, const char* kindText, int32_t fallbackId,
                           const LineInfo* position);

// Where a statement or operand failed to parse: the token in the source line (null
// at the end of the line), the message identifier (0: no failure) and an optional
// argument text that comes before the quoted token.
struct ParseError {
  const char* token = nullptr;
  int32_t id = 0;
  const char* argument = nullptr;
};

// The formatted diagnostic text of the failure, not yet recorded; null for none.
const char* parseErrorText(const ParseError& error);

// The token at the start of the text in double quotes, cut after 40 characters;
// null when no token starts there. The text lives until the next call.
const char* quoteToken(const char* text);

// The user's own error and warning: every argument evaluated and written followed
// by one blank. Both answer 1.
int32_t reportUserError(const LineInfo* position, const std::vector<OrbaExpression*>& arguments);
int32_t reportUserWarning(const LineInfo* position,
                          const std::vector<OrbaExpression*>& arguments);

// 'T'/'t' and 'F'/'f' first, else the text read as an unsigned number (automatic
// base) compared with 0.
bool parseBoolText(const char* text);
