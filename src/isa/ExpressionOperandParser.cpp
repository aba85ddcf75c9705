#include "isa/ExpressionOperandParser.h"

#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/TEInteger.h"

namespace isa {

namespace {

// A sign or complement before a number ("#-5", "[a2]-4") is the number's own: the walk then
// sees a constant, as it does for an unsigned one, and writes its bits at once. The nodes
// folded away were made by this parse alone and go back at once. The arithmetic is that of
// the unary node: two's complement, wrapping.
OrbaExpression* foldSignedNumber(OrbaExpression* expression) {
  if (!expression || expression->getKind() != EK_unary) return expression;
  int32_t op = expression->getOperator();
  if (op != OP_negate && op != OP_plus && op != OP_complement) return expression;
  OrbaExpression* operand = foldSignedNumber(expression->getArgument(0));
  if (!operand || operand->getKind() != EK_integer) return expression;
  auto bits = static_cast<uint64_t>(operand->getInteger());
  uint64_t folded = op == OP_negate ? 0 - bits : op == OP_complement ? ~bits : bits;
  releaseTempExpression(expression);
  return TEInteger::create(static_cast<int64_t>(folded));
}

}  // namespace

uint32_t ExpressionOperandParser::parse(const char* text, const LineInfo* line, void** expression,
                                        const char** error) {
  ExprScanner scanner;
  scanner.reset(text, const_cast<LineInfo*>(line));
  const char* message = nullptr;
  OrbaExpression* result = parseExpressionAt(&scanner, &message, false);
  *expression = message ? result : foldSignedNumber(result);
  *error = message;
  // A failed parse leaves the cursor where it began: nothing was consumed.
  if (message || !result) return 0;
  return static_cast<uint32_t>(scanner.cursor - text);
}

}  // namespace isa
