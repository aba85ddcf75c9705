#include "expr/ExprReport.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/OrbaExpression.h"
#include "expr/TEError.h"

void reportExpressionError(uint32_t errorKind, const char* kindText, int32_t fallbackId,
                           const LineInfo* position) {
  ErrorHandler* handler = errorHandler();
  const char* text = nullptr;
  switch (errorKind) {
    case ERR_range: text = handler->formatMessage(E_range_error); break;
    case ERR_divideByZero: text = handler->formatMessage(E_divide_by_zero); break;
    case ERR_floatingPoint: text = handler->formatMessage(E_floating_point_exception); break;
    case ERR_expectedInteger: text = handler->formatMessage(E_expected_integer_expression); break;
    case ERR_expectedString: text = handler->formatMessage(E_string_expression_expected); break;
    case ERR_missingArguments:
    case ERR_additionalArguments:
      text = handler->formatMessage(E_invalid_expression, kindText != nullptr ? kindText : "");
      break;
    default: text = handler->formatMessage(fallbackId); break;
  }
  handler->reportText(text, position);
}

namespace {
// The quoted text lives until the next call.
struct QuotedToken {
  std::string text;
};
}  // namespace

const char* quoteToken(const char* text) {
  std::string& quoted = runPart<QuotedToken>().text;
  if (text == nullptr) return nullptr;
  auto at = [text](size_t i) { return static_cast<unsigned char>(text[i]); };
  auto isLetter = [](unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto isDigit = [](unsigned char c) { return c >= '0' && c <= '9'; };
  unsigned char first = at(0);
  size_t length = 0;
  if (isLetter(first) || first == '.' || first == '_') {
    while (isLetter(at(length)) || isDigit(at(length)) || at(length) == '_' || at(length) == '.')
      ++length;
  } else if (isDigit(first)) {
    while (isDigit(at(length))) ++length;
  } else if (first >= ' ' && first <= 0x7F) {
    length = 1;
  } else {
    return nullptr;
  }
  quoted.assign(1, '"');
  if (length > 40) {
    quoted.append(text, 40);
    quoted.append("\"...");
  } else {
    quoted.append(text, length);
    quoted.push_back('"');
  }
  return quoted.c_str();
}

const char* parseErrorText(const ParseError& error) {
  if (error.id == 0) return nullptr;
  ErrorHandler* handler = errorHandler();
  if (error.id == E_error) return handler->formatMessage(E_error, error.argument ? error.argument : "");
  const char* quoted = quoteToken(error.token);
  if (quoted == nullptr) return handler->formatMessage(E_unexpected_eol);
  if (error.argument == nullptr) return handler->formatMessage(error.id, quoted);
  return handler->formatMessage(error.id, error.argument, quoted);
}

namespace {

int32_t reportUserMessage(int32_t id, const LineInfo* position,
                          const std::vector<OrbaExpression*>& arguments) {
  std::string text;
  for (OrbaExpression* argument : arguments) {
    OrbaExpression* value = argument != nullptr ? argument->evaluate() : nullptr;
    if (value == nullptr) {
      reportExpressionError(ERR_cannotEvaluate, TEError::kindText(ERR_cannotEvaluate, nullptr),
                            E_expression_error, position);
    } else if (value->isError()) {
      reportExpressionError(value->getErrorKind(), TEError::kindText(value), E_expression_error,
                            position);
    } else if (value->getKind() == EK_string) {
      text.append(value->getString(), value->getStringLength());
    } else {
      text.append(exprToString(value));
    }
    text.push_back(' ');
  }
  errorHandler()->report(id, position, text.c_str());
  return 1;
}

}  // namespace

int32_t reportUserError(const LineInfo* position, const std::vector<OrbaExpression*>& arguments) {
  return reportUserMessage(E_message_error, position, arguments);
}

int32_t reportUserWarning(const LineInfo* position,
                          const std::vector<OrbaExpression*>& arguments) {
  return reportUserMessage(W_message_warning, position, arguments);
}

bool parseBoolText(const char* text) {
  if (text[0] == 'F' || text[0] == 'f') return false;
  if (text[0] == 'T' || text[0] == 't') return true;
  return std::strtoull(text, nullptr, 0) != 0;
}
