// The small directives of the macro preprocessor: .DEFINE, .INCLUDE, .EQU, .RADIX,
// .COMMENT_PREFIX and .END.
#include <cstring>

#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "preproc/InputBuffer.h"
#include "preproc/MacroPreprocessor.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t MacroPreprocessor::scanString(InputBuffer& input) {
  InputBuffer::InputSource* source = input.top();
  source->tokenStart = nullptr;
  source->tokenEnd = nullptr;
  const char* at = source->cursor;
  while (*at == ' ' || *at == '\t' || *at == '\v' || *at == '\f' || *at == '\r') ++at;
  if (*at != '"' && *at != '\'') return kMppEndOfText;
  const char* end = quotedStringEnd(at);
  if (!end) return kMppEndOfText;
  source->tokenStart = at + 1;
  source->tokenEnd = end - 1;
  source->cursor = end;
  return kMppString;
}

ControlState* MacroPreprocessor::copyControlStateFor(LineInfo* line) {
  ControlState* copy = orbaFactory()->copyControlState(currentControlState_);
  controlStateCopies_.emplace_back(copy);
  currentControlState_ = copy;
  line->controlState = copy;
  return copy;
}

bool MacroPreprocessor::handleDefine(InputBuffer& input, LineInfo* line) {
  ErrorHandler* errors = errorHandler();
  if (!isIdentifierClass(nextToken(input))) {
    errors->report(E_symbol_expected, line, tokenName(kMppDefine));
    return true;
  }
  const char* name = input.tokenText();
  if (lookupDefine(name)) {
    errors->report(E_define_exists, line, name);
    return true;
  }
  if (scanString(input) != kMppString) {
    errors->report(E_string_expression_expected, line);
    return true;
  }
  insertDefine(name, new MppDefine(input.tokenText(), line, false));
  if (!expectToken(input, kMppNewline)) errors->report(E_no_end_of_line, line);
  return true;
}

bool MacroPreprocessor::handleInclude(InputBuffer& input, LineInfo* line) {
  // An include in an inactive region is opened and read all the same (its lines are
  // skipped), so a source names the same files and dependencies whichever branch runs.
  ErrorHandler* errors = errorHandler();
  InputBuffer::InputSource* source = input.top();
  const char* at = source->cursor;
  while (isSpace(*at)) ++at;
  char closing;
  switch (*at) {
    case '<': closing = '>'; break;
    case '"': closing = '"'; break;
    case '\'': closing = '\''; break;
    default:
      errors->report(E_expected_include_filename, line);
      return true;
  }
  const char* nameStart = at + 1;
  const char* nameEnd = nameStart;
  while (*nameEnd && *nameEnd != '\n' && *nameEnd != closing) ++nameEnd;
  if (*nameEnd != closing) {
    errors->report(E_missing_include_delimiter, line);
    return true;
  }
  const char* name = stringBuffer()->internRange(nameStart, nameEnd);
  // The rest of the line goes with its text source; the file is read next.
  input.popSource();
  // Without a position, as for the input file and the -H files: the message names
  // the file, and it ends the run at once.
  if (!input.openInclude(name, false)) errors->reportWithoutLocation(F_cannot_open, name);
  return false;
}

bool MacroPreprocessor::handleRadix(InputBuffer& input, LineInfo* line) {
  ErrorHandler* errors = errorHandler();
  const char* directive = tokenName(kMppRadix);
  OrbaExpression* expression = parseExpression(input, line);
  if (!expression) {
    reportMissingExpression(line);
    return true;
  }
  if (!expectToken(input, kMppNewline)) errors->report(E_no_end_of_line, line);
  OrbaExpression* value = expression->evaluate();
  uint32_t kind = value ? value->getKind() : EK_error;
  int64_t radix = 0;
  if (!value || value->isError()) {
    errors->report(E_mpp_cannot_evaluate_expression, line, directive);
  } else if (kind != EK_integer && kind != EK_double) {
    errors->report(E_mpp_integer_expression_expected, line, directive);
  } else {
    radix = value->getInteger();
    if (radix != 2 && radix != 8 && radix != 10 && radix != 16) {
      errors->report(E_expected_radix_expression, line);
      radix = 0;
    }
  }
  if (value && value != expression) releaseTempExpression(value);
  releaseTempExpression(expression);
  if (radix != 0 && radix != currentControlState_->radix) copyControlStateFor(line)->radix = static_cast<int16_t>(radix);
  return true;
}

bool MacroPreprocessor::handleCommentPrefix(InputBuffer& input, LineInfo* line) {
  if (scanString(input) != kMppString) {
    errorHandler()->report(E_string_expression_expected, line);
    return true;
  }
  const char* prefix = input.tokenText();
  const char* secondText = prefix[0] != ';' ? stringBuffer()->intern(";") : nullptr;
  // The same prefix again needs no copy, which the run would keep to its end.
  if (std::strcmp(currentControlState_->commentPrefix, prefix) != 0 ||
      currentControlState_->secondCommentText != secondText) {
    ControlState* state = copyControlStateFor(line);
    state->commentPrefix = prefix;
    state->secondCommentText = secondText;
  }
  if (!expectToken(input, kMppNewline)) errorHandler()->report(E_no_end_of_line, line);
  return true;
}

bool MacroPreprocessor::handleEnd(InputBuffer&, LineInfo*) {
  endReached = true;
  return true;
}

bool MacroPreprocessor::handleEqu(InputBuffer& input, LineInfo* line, const char* label) {
  ErrorHandler* errors = errorHandler();
  const char* name = label;
  if (!name) {
    if (isIdentifierClass(nextToken(input))) name = input.tokenText();
    if (peekToken(input) == kMppComma) nextToken(input);
    if (!name) {
      errors->report(E_symbol_expected, line, tokenName(kMppEqu));
      return true;
    }
  }
  OrbaExpression* value = parseExpression(input, line);
  if (!value) {
    reportMissingExpression(line);
    return true;
  }
  if (Symbol* symbol = symbolTable()->current->defineSymbol(name, line)) {
    symbol->flags[0] |= Symbol::kEquate;
    symbol->flags[2] &= static_cast<uint8_t>(~Symbol::kRelocatable);
    symbol->valueExpression = value;
    noteSymbolValueChange();
  }
  if (!expectToken(input, kMppNewline)) errors->report(E_no_end_of_line, line);
  return true;
}
