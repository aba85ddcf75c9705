#include "isa/ExpressionOperandParser.h"

#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"

namespace isa {

uint32_t ExpressionOperandParser::parse(const char* text, const LineInfo* line, void** expression,
                                        const char** error) {
  ExprScanner scanner;
  scanner.reset(text, const_cast<LineInfo*>(line));
  const char* message = nullptr;
  OrbaExpression* result = parseExpressionAt(&scanner, &message, false);
  *expression = result;
  *error = message;
  // A failed parse leaves the cursor where it began: nothing was consumed.
  if (message || !result) return 0;
  return static_cast<uint32_t>(scanner.cursor - text);
}

}  // namespace isa
