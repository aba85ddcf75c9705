#include "isa/ExpressionOperandParser.h"

#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/TEInteger.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

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

bool isScannerBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Most operands are a plain decimal number, perhaps with a sign, that the operand's comma
// or bracket or the end of the line (its line feed or the end of the text) follows. The parser would make the number's node, and
// fold the sign into it, and stop in front of that character; this does the same without
// setting the parser up. Anything else, and any radix but ten, goes to the parser.
bool readPlainNumber(const char* text, const LineInfo* line, OrbaExpression** result, uint32_t* length) {
  if (line == nullptr || line->controlState == nullptr || line->controlState->radix != 10) return false;
  const char* p = text;
  while (isScannerBlank(*p)) ++p;
  char sign = 0;
  if (*p == '-' || *p == '+' || *p == '~') sign = *p++;
  const char* digits = p;
  uint64_t value = 0;
  // Nine digits cannot overflow; a leading zero is left to the parser.
  while (*p >= '0' && *p <= '9' && p - digits < 10) value = value * 10 + static_cast<uint64_t>(*p++ - '0');
  size_t count = static_cast<size_t>(p - digits);
  if (count == 0 || count > 9 || (digits[0] == '0' && count > 1)) return false;
  if (*p != ',' && *p != ']' && *p != '\n' && *p != '\0') return false;
  uint64_t folded = sign == '-' ? 0 - value : sign == '~' ? ~value : value;
  *result = TEInteger::create(static_cast<int64_t>(folded));
  *length = static_cast<uint32_t>(p - text);
  return *result != nullptr;
}

}  // namespace

uint32_t ExpressionOperandParser::parse(const char* text, const LineInfo* line, void** expression,
                                        const char** error) {
  OrbaExpression* number = nullptr;
  uint32_t numberLength = 0;
  if (readPlainNumber(text, line, &number, &numberLength)) {
    *expression = number;
    *error = nullptr;
    return numberLength;
  }
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

bool ExpressionOperandParser::errorNamesStatement(const char* error) const {
  return error == expressionTooDeepText();
}

}  // namespace isa
