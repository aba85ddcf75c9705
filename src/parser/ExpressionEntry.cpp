#include "parser/ExpressionEntry.h"

#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "parser/LineScanner.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"

OrbaExpression* parseExpression(Scanner& scanner, const char** message) {
  ExprScanner stream;
  stream.reset(scanner.textStart, scanner.line);
  stream.cursor = scanner.cursor;
  stream.commentPrefix = scanner.commentPrefix;
  const char* text = nullptr;
  OrbaExpression* result = parseOperandExpression(&stream, &text);
  // The expression scanner read past any look-ahead the line scanner kept.
  scanner.peekPosition = nullptr;
  if (message) *message = text;
  if (text || !result) return nullptr;
  scanner.tokenStart = nullptr;
  scanner.tokenEnd = nullptr;
  scanner.cursor = stream.cursor;
  return result;
}

void reportExpressionFailure(const LineInfo* line, const char* message) {
  if (message)
    errorHandler()->report(E_invalid_expression, line, message);
  else
    errorHandler()->report(E_expected_expression, line);
}

bool packCharacters(const char* text, uint32_t length, uint64_t* value, uint32_t maxCount) {
  uint64_t packed = 0;
  uint32_t count = length < maxCount ? length : maxCount;
  for (uint32_t i = 0; i < count; ++i) packed = (packed << 8) | static_cast<uint8_t>(text[i]);
  *value = packed;
  return length > maxCount;
}

bool isStringExpression(const OrbaExpression* expression) {
  return expression && expression->getKind() == EK_string;
}
