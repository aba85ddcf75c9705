// Conditional assembly: .IF, .ELIF, .ELSE and .ENDIF over a stack of levels, the
// top one saying whether the line being read is processed.
#include "expr/OrbaExpression.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "preproc/MacroPreprocessor.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

// The value of a condition; false after E152 or E157.
bool conditionValue(OrbaExpression* expression, LineInfo* line, const char* directive) {
  ErrorHandler* errors = errorHandler();
  OrbaExpression* value = expression->evaluate();
  bool result = false;
  uint32_t kind = value ? value->getKind() : EK_error;
  if (!value || value->isError()) {
    errors->report(E_mpp_cannot_evaluate_expression, line, directive);
  } else if (kind == EK_integer || kind == EK_double) {
    // A floating-point value counts by its part before the point.
    result = value->getInteger() != 0;
  } else {
    errors->report(E_mpp_integer_expression_expected, line, directive);
  }
  if (value && value != expression) releaseTempExpression(value);
  return result;
}

}  // namespace

void MacroPreprocessor::openConditional(LineInfo* line) {
  auto* level = new MppIfState(conditionTop->active, conditionTop->taken, line);
  conditionStack.push_back(conditionTop);
  openIfLines_.insert(line);
  conditionTop = level;
  if (!expansionStack.empty()) ++expansionStack.back()->openConditionals;
}

void MacroPreprocessor::closeConditional() {
  if (conditionStack.empty()) return;
  openIfLines_.erase(conditionTop->openingLine);
  delete conditionTop;
  conditionTop = conditionStack.back();
  conditionStack.pop_back();
}

bool MacroPreprocessor::handleIf(InputBuffer& input, LineInfo* line) {
  ErrorHandler* errors = errorHandler();
  OrbaExpression* expression = parseExpression(input, line);
  if (!expression) {
    reportMissingExpression(line);
  } else if (!expectToken(input, kMppNewline)) {
    errors->report(E_no_end_of_line, line);
    releaseTempExpression(expression);
    expression = nullptr;
  }
  openConditional(line);
  if (!conditionTop->active) {
    // Inside an inactive region no branch of the block can be taken.
    conditionTop->taken = true;
  } else if (!expression) {
    conditionTop->active = false;
    conditionTop->taken = false;
  } else {
    conditionTop->active = conditionValue(expression, line, tokenName(kMppIf));
    conditionTop->taken = conditionTop->active;
  }
  if (expression) releaseTempExpression(expression);
  return true;
}

namespace {

// W156 when a branch or the end of a block lies in another file than its .IF.
void checkSameFile(const MppIfState* level, const LineInfo* line) {
  const LineInfo* opening = level->openingLine;
  if (!opening || opening->sourceFile == line->sourceFile) return;
  const char* fileName = lineState()->sourceFile(static_cast<int32_t>(opening->sourceFile));
  errorHandler()->report(W_mpp_if_else_files, line, MacroPreprocessor::tokenName(kMppIf),
                         fileName ? fileName : "", opening->lineNumberSigned());
}

}  // namespace

bool MacroPreprocessor::handleElif(InputBuffer& input, LineInfo* line) {
  ErrorHandler* errors = errorHandler();
  if (conditionStack.empty()) {
    errors->report(E_mpp_unexpected_elif, line, tokenName(kMppElif), tokenName(kMppIf));
    return true;
  }
  OrbaExpression* expression = parseExpression(input, line);
  if (!expression) {
    reportMissingExpression(line);
  } else if (!expectToken(input, kMppNewline)) {
    errors->report(E_no_end_of_line, line);
    releaseTempExpression(expression);
    expression = nullptr;
  }
  checkSameFile(conditionTop, line);
  if (conditionTop->taken) {
    conditionTop->active = false;
  } else if (!expression) {
    conditionTop->active = false;
    conditionTop->taken = false;
  } else {
    conditionTop->active = conditionValue(expression, line, tokenName(kMppElif));
    conditionTop->taken = conditionTop->active;
  }
  if (expression) releaseTempExpression(expression);
  return true;
}

bool MacroPreprocessor::closesOpenConditional(InputBuffer& input, LineInfo* line, int32_t directive) {
  ErrorHandler* errors = errorHandler();
  if (conditionStack.empty()) {
    errors->report(E_mpp_unexpected_elif, line, tokenName(directive), tokenName(kMppIf));
    return false;
  }
  if (!expectToken(input, kMppNewline)) {
    errors->report(E_no_end_of_line, line);
    return false;
  }
  checkSameFile(conditionTop, line);
  return true;
}

bool MacroPreprocessor::handleElse(InputBuffer& input, LineInfo* line) {
  if (!closesOpenConditional(input, line, kMppElse)) return true;
  conditionTop->active = !conditionTop->taken;
  return true;
}

bool MacroPreprocessor::handleEndif(InputBuffer& input, LineInfo* line) {
  if (!closesOpenConditional(input, line, kMppEndif)) return true;
  closeConditional();
  if (!expansionStack.empty() && expansionStack.back()->openConditionals > 0)
    --expansionStack.back()->openConditionals;
  return true;
}
