// .MESSAGE, .WARNING and .FAIL report the source's own messages; .END ends the
// source; .RADIX and .comment_prefix change the control state of the lines after.
#include <string>
#include <vector>

#include "expr/ExprReport.h"
#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "flow/Section.h"
#include "parser/Directives.h"
#include "parser/ExpressionEntry.h"
#include "parser/LineFlags.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

// One or more expressions separated by commas; false after the diagnostic of the
// first one that does not parse.
bool readOperands(Scanner& scanner, LineInfo* line, std::vector<OrbaExpression*>& operands) {
  for (;;) {
    const char* message = nullptr;
    OrbaExpression* operand = parseExpression(scanner, &message);
    if (!operand) {
      reportExpressionFailure(line, message);
      return false;
    }
    operands.push_back(operand);
    if (scanner.peek() != kTokComma) return true;
    scanner.scan();
  }
}

// Each operand's value (a string without its quotes, anything else printed) and one
// blank after it; an operand in error adds only the blank, after its own diagnostic.
void reportUserMessage(int32_t id, LineInfo* line, const std::vector<OrbaExpression*>& operands) {
  std::string text;
  for (OrbaExpression* operand : operands) {
    OrbaExpression* value = operand->evaluate();
    if (!value) {
      reportExpressionError(ERR_cannotEvaluate, TEError::kindText(ERR_cannotEvaluate, nullptr),
                            E_expression_error, line);
    } else if (value->isError()) {
      reportExpressionError(value->getErrorKind(), TEError::kindText(value), E_expression_error, line);
    } else if (value->getKind() == EK_string) {
      text.append(value->getString(), value->getStringLength());
    } else {
      text.append(exprToString(value));
    }
    text.push_back(' ');
  }
  errorHandler()->report(id, line, text.c_str());
}

bool messageDirective(OrbaParser& parser, Statement& statement, int32_t id) {
  if (rejectLabel(statement)) return false;
  std::vector<OrbaExpression*> operands;
  if (!readOperands(parser.scanner(), statement.line, operands)) return false;
  reportUserMessage(id, statement.line, operands);
  return true;
}

}  // namespace

bool directiveMessage(OrbaParser& parser, Statement& statement) {
  return messageDirective(parser, statement, I_message_info);
}

bool directiveWarning(OrbaParser& parser, Statement& statement) {
  return messageDirective(parser, statement, W_message_warning);
}

bool directiveFail(OrbaParser& parser, Statement& statement) {
  return messageDirective(parser, statement, E_message_error);
}

bool directiveEnd(OrbaParser& /*parser*/, Statement& statement) {
  if (rejectLabel(statement)) return false;
  statement.line->flags[3] |= lineflag::kEndReached;
  return true;
}

bool directiveRadix(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  LineInfo* line = statement.line;
  const char* message = nullptr;
  OrbaExpression* operand = parseExpression(parser.scanner(), &message);
  if (!operand) {
    reportExpressionFailure(line, message);
    return false;
  }
  // Only a number gives a radix; a float counts by its integer part.
  OrbaExpression* value = operand->evaluate();
  if (!value || value->isError() || (value->getKind() != EK_integer && value->getKind() != EK_double)) {
    errorHandler()->report(E_integer_expression_expected, line, ".RADIX");
    return false;
  }
  int64_t radix = value->getInteger();
  if (radix != 2 && radix != 8 && radix != 10 && radix != 16) {
    errorHandler()->report(E_expected_radix_expression, line);
    return false;
  }
  ControlState* state = copyLineControlState(line);
  state->radix = static_cast<int16_t>(radix);
  giveLineControlState(line, state);
  // As a control's, the line is read by nothing after its statement.
  lineLetGo(line);
  return true;
}

bool directiveCommentPrefix(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  // As a control's, the line is read by nothing after its statement.
  lineLetGo(statement.line);
  Scanner& scanner = parser.scanner();
  if (scanner.scan() != kTokString) {
    errorHandler()->report(E_expected_token, statement.line, "<string>");
    return false;
  }
  ControlState* state = copyLineControlState(statement.line);
  state->commentPrefix = scanner.internToken();
  giveLineControlState(statement.line, state);
  return true;
}
