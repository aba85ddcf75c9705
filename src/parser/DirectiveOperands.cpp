#include "parser/DirectiveOperands.h"

#include "parser/ExpressionEntry.h"
#include "parser/LineScanner.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"

bool expectToken(Scanner& scanner, int32_t code, const char* shown, const LineInfo* line) {
  if (scanner.scan() == code) return true;
  errorHandler()->report(E_expected_token, line, shown);
  return false;
}

const char* scanName(Scanner& scanner, const LineInfo* line) {
  scanner.scan();
  if (scanner.wordToken) return scanner.internToken();
  errorHandler()->report(E_expected_token, line, "<id>");
  return nullptr;
}

const char* scanStringLiteral(Scanner& scanner, const LineInfo* line) {
  if (scanner.scan() == kTokString) return scanner.internToken();
  errorHandler()->report(E_expected_token, line, "<string>");
  return nullptr;
}

OrbaExpression* scanExpression(Scanner& scanner, const LineInfo* line) {
  const char* message = nullptr;
  OrbaExpression* expression = parseExpression(scanner, &message);
  if (!expression) reportExpressionFailure(line, message);
  return expression;
}

int32_t scanSectionType(Scanner& scanner) {
  const char* end = scanner.cursor;
  int32_t code = matchSectionType(scanner.cursor, &end);
  scanner.tokenStart = scanner.cursor;
  scanner.tokenEnd = nullptr;
  scanner.cursor = end;
  return code;
}

bool scanSectionAttributeList(Scanner& scanner, const LineInfo* line, std::vector<SectionAttribute>& attributes) {
  while (scanner.peek() == kTokComma) {
    scanner.scan();
    int32_t code = scanSectionAttribute(scanner);
    if (code == 0) {
      errorHandler()->report(E_expected_token, line, "<section attribute>");
      return false;
    }
    const char* text = nullptr;
    if (code == kAttrLinkOnce || code == kAttrCluster) {
      if (!expectToken(scanner, kTokOpenParen, "(", line)) return false;
      text = scanStringLiteral(scanner, line);
      if (!text) return false;
      if (!expectToken(scanner, kTokCloseParen, ")", line)) return false;
    }
    attributes.push_back({code, text});
  }
  return true;
}
