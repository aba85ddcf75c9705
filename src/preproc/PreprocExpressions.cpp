// Expressions of the macro preprocessor: the expression entry of its directives,
// the end-of-statement check, and the @-functions that a line's text is evaluated
// for before it is dispatched.
#include <cstdio>
#include <cstring>
#include <string>

#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "preproc/InputBuffer.h"
#include "preproc/MacroPreprocessor.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"

namespace {

// The codes of the expression-mode scanner beside the shared ones.
enum ExpressionToken : int32_t {
  kLeftParenthesis = 9,
  kRightParenthesis = 10,
  kAtArg = 19,
  kAtCnt = 20,
  kAtDef = 21,
  kAtMac = 23,
  kAtMxp = 24,
};

bool isBlankOrReturn(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// True when the text begins with the prefix; false when either is null or empty.
bool beginsWith(const char* text, const char* prefix) {
  if (!text || !prefix || *text != *prefix || !*prefix) return false;
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool isOctal(char c) { return c >= '0' && c <= '7'; }
bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

struct AtFunction {
  const char* name;
  int32_t code;
};
constexpr AtFunction kAtFunctions[] = {
    {"ARG", kAtArg}, {"CNT", kAtCnt}, {"DEF", kAtDef}, {"MAC", kAtMac}, {"MXP", kAtMxp},
};

bool isNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.' || c == '@';
}
bool isNamePart(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }

// A name alone between the parentheses of a call: its end, with the cursor behind
// the closing parenthesis; null for anything else.
const char* nameArgument(const char* text, const char** name, const char** after) {
  while (isBlankOrReturn(*text)) ++text;
  if (!isNameStart(*text)) return nullptr;
  *name = text;
  const char* end = text + 1;
  while (isNamePart(*end) && *end != '@') ++end;
  const char* close = end;
  while (isBlankOrReturn(*close)) ++close;
  if (*close != ')') return nullptr;
  *after = close + 1;
  return end;
}

const char* atFunctionName(int32_t code) {
  switch (code) {
    case kAtArg: return "@ARG";
    case kAtCnt: return "@CNT";
    case kAtDef: return "@DEF";
    case kAtMac: return "@MAC";
    default: return "@MXP";
  }
}

}  // namespace

// ---- Quoted strings and the comment prefix ----

const char* MacroPreprocessor::quotedStringEnd(const char* quote) {
  const char kind = *quote;
  const char* scan = quote + 1;
  // Each turn moves on by at least one byte; the NUL ends it.
  for (;;) {
    char c = *scan;
    if (c == '\0' || c == '\n') return nullptr;
    if (c == kind) {
      if (scan[1] == kind) {
        scan += 2;
        continue;
      }
      return scan + 1;
    }
    if (c == '\\') {
      char next = scan[1];
      if (next == '"' || next == '\'' || next == '?' || next == '\\' || next == 'a' ||
          next == 'b' || next == 'f' || next == 'n' || next == 'r' || next == 't' || next == 'v') {
        scan += 2;
      } else if (isOctal(next)) {
        scan += 2;
        for (int digits = 1; digits < 3 && isOctal(*scan); ++digits) ++scan;
      } else if ((next == 'x' || next == 'X') && isHex(scan[2])) {
        scan += 3;
        while (isHex(*scan)) ++scan;
      } else {
        ++scan;
      }
      continue;
    }
    ++scan;
  }
}


const char* MacroPreprocessor::commentPrefix() const {
  return currentControlState_->commentPrefix;
}

const char* MacroPreprocessor::statementSeparator() const {
  return currentControlState_->secondCommentText;
}

bool MacroPreprocessor::isCommentStart(InputBuffer& input, const char* text) const {
  if (!text) text = input.top() ? input.top()->tokenStart : nullptr;
  return beginsWith(text, commentPrefix());
}

// ---- Expressions and the end of a statement ----

OrbaExpression* MacroPreprocessor::parseExpression(InputBuffer& input, LineInfo* line) {
  InputBuffer::InputSource* source = input.top();
  if (!source) return nullptr;
  const char* start = source->cursor;
  // The expression ends where a comment begins, outside quotes.
  const char* prefix = commentPrefix();
  const char* text = start;
  std::string bounded;
  if (prefix && *prefix && std::strcmp(prefix, ";") != 0) {
    const char* scan = start;
    while (*scan) {
      if (*scan == '"' || *scan == '\'') {
        const char* end = quotedStringEnd(scan);
        scan = end ? end : scan + 1;
        continue;
      }
      if (beginsWith(scan, prefix)) {
        bounded.assign(start, static_cast<size_t>(scan - start));
        text = bounded.c_str();
        break;
      }
      ++scan;
    }
  }
  ExprScanner scanner;
  scanner.reset(text, line);
  const char* message = nullptr;
  OrbaExpression* expression = parseExpressionAt(&scanner, &message, true);
  expressionReported = false;
  if (message == expressionTooDeepText()) {
    // The same message as everywhere else an expression nests too deep.
    errorHandler()->report(E_error, line, message);
    expressionReported = true;
  }
  if (message || !expression) return nullptr;
  source->cursor = start + (scanner.cursor - text);
  return expression;
}

void MacroPreprocessor::reportMissingExpression(LineInfo* line) {
  if (!expressionReported) errorHandler()->report(E_expected_expression, line);
  expressionReported = false;
}

bool MacroPreprocessor::expectToken(InputBuffer& input, int32_t code) {
  InputBuffer::InputSource* source = input.top();
  int32_t found = nextToken(input);
  if (code == kMppNewline && (found == kMppHash || found == kMppCharacter) &&
      isCommentStart(input)) {
    // The comment runs to the end of the line.
    const char* cursor = source->cursor;
    while (*cursor && *cursor != '\n' && *cursor != '\r') ++cursor;
    if (*cursor != '\n' && *cursor != '\r') {
      source->cursor = cursor;
      return false;
    }
    source->cursor = cursor + (cursor[0] == '\r' && cursor[1] == '\n' ? 2 : 1);
    input.countNewline(source);
    return true;
  }
  return found == code;
}

bool MacroPreprocessor::nextIsString(InputBuffer& input, int32_t& code) {
  code = scanString(input);
  return code == kMppString;
}

// ---- @-functions ----

int32_t MacroPreprocessor::scanExpressionToken(InputBuffer& input) {
  InputBuffer::InputSource* source = input.top();
  const char* at = source->cursor;
  while (isBlankOrReturn(*at)) ++at;
  source->tokenStart = at;
  char c = *at;
  if (c == '\0') {
    source->cursor = at + 1;
    return kMppEndOfText;
  }
  source->cursor = at + 1;
  switch (c) {
    case '\n': return kMppNewline;
    case '(': return kLeftParenthesis;
    case ')': return kRightParenthesis;
    case '@':
      for (const AtFunction& function : kAtFunctions) {
        if (upper(at[1]) == function.name[0] && upper(at[2]) == function.name[1] &&
            upper(at[3]) == function.name[2]) {
          source->cursor = at + 4;
          return function.code;
        }
      }
      return kMppCharacter;
    case '"':
    case '\'': {
      const char* end = quotedStringEnd(at);
      if (!end) return kMppCharacter;
      source->tokenStart = at + 1;
      source->tokenEnd = end - 1;
      source->cursor = end;
      return kMppString;
    }
    default:
      return kMppCharacter;
  }
}

int32_t MacroPreprocessor::nextExpressionToken(InputBuffer& input) {
  InputBuffer::InputSource* source = input.top();
  source->tokenStart = nullptr;
  source->tokenEnd = nullptr;
  return scanExpressionToken(input);
}

bool MacroPreprocessor::evaluateAtFunctions(InputBuffer& input, LineInfo* line, const char* in,
                                            size_t length, std::string& out) {
  if (!std::memchr(in, '@', length)) return false;
  out.clear();
  input.pushText(in, length);
  InputBuffer::InputSource* source = input.top();
  ErrorHandler* errors = errorHandler();
  const bool keepComments = orbaOptions()->listFileWanted;

  // Each turn consumes a token; the NUL that ends the text ends it.
  for (;;) {
    const char* before = source->cursor;
    int32_t code = nextExpressionToken(input);
    if (code == kMppEndOfText) break;
    if (code == kMppCharacter && isCommentStart(input)) {
      const char* cursor = source->cursor;
      while (*cursor && *cursor != '\n') ++cursor;
      if (*cursor == '\n') ++cursor;
      source->cursor = cursor;
      if (keepComments) out.append(before, static_cast<size_t>(cursor - before));
      else out.push_back('\n');
      break;
    }
    if (code == kMppNewline) {
      out.push_back('\n');
      continue;
    }
    if (code < kAtArg || code > kAtMxp) {
      out.append(before, static_cast<size_t>(source->cursor - before));
      continue;
    }

    // A call: the name, "(", an optional argument, ")".
    const char* nameStart = source->tokenStart;
    const char* afterName = source->cursor;
    const char* name = atFunctionName(code);
    OrbaExpression* argument = nullptr;
    bool readable = nextExpressionToken(input) == kLeftParenthesis;
    bool empty = false;
    Symbol* named = nullptr;  // the symbol a name alone stands for
    if (readable) {
      const char* afterParenthesis = source->cursor;
      const char* argumentName = nullptr;
      const char* afterCall = nullptr;
      const char* nameEnd = (code == kAtDef || code == kAtMac)
                                ? nameArgument(afterParenthesis, &argumentName, &afterCall)
                                : nullptr;
      if (nameEnd) {
        // Asked by name: a .SET symbol is not replaced by its value here.
        named = symbolTable()->referenceSymbol(
            stringBuffer()->internRange(argumentName, nameEnd), line);
        source->cursor = afterCall;
      } else if (nextExpressionToken(input) == kRightParenthesis) {
        empty = true;
      } else {
        source->cursor = afterParenthesis;
        argument = parseExpression(input, line);
        readable = argument && nextExpressionToken(input) == kRightParenthesis;
        if (!readable && argument) {
          releaseTempExpression(argument);
          argument = nullptr;
        }
      }
    }
    if (!readable) {
      errors->report(E_function_invalid_argument, line, name);
      source->cursor = afterName;
      out.append(before, static_cast<size_t>(afterName - before));
      continue;
    }
    out.append(before, static_cast<size_t>(nameStart - before));

    bool result = false;
    bool inExpansionText = !expansionStack.empty();
    switch (code) {
      case kAtArg:
        if (!inExpansionText) {
          errors->report(W_not_in_macro_expansion, line, name);
        } else if (empty) {
          errors->report(E_int_string_expression_expected, line);
        } else {
          OrbaExpression* value = argument->evaluate();
          const MppExpand* expansion = expansionStack.back();
          uint32_t kind = value ? value->getKind() : EK_error;
          if (kind == EK_integer) {
            int64_t position = value->getInteger();
            result = position >= 1 && position <= static_cast<int64_t>(expansion->arguments.size()) &&
                     expansion->arguments[static_cast<size_t>(position - 1)]->value;
          } else if (kind == EK_string) {
            std::string wanted(value->getString(), value->getStringLength());
            const MppMacroArgument* found =
                expansion->findArgumentRecord(wanted.c_str(), orbaOptions()->caseSensitive);
            result = found && found->value;
          } else {
            errors->report(E_int_string_expression_expected, line);
          }
          if (value && value != argument) releaseTempExpression(value);
        }
        break;
      case kAtCnt:
        if (!inExpansionText) {
          errors->report(W_not_in_macro_expansion, line, name);
        } else if (!empty) {
          errors->report(E_function_argument_count, line, name);
        } else {
          char count[32];
          int16_t radix = currentControlState_->radix;
          unsigned given = static_cast<unsigned>(countGivenArguments());
          if (radix == 8) std::snprintf(count, sizeof count, "%o", given);
          else if (radix == 16) std::snprintf(count, sizeof count, "0x%x", given);
          else std::snprintf(count, sizeof count, "%u", given);
          out += count;
          if (argument) releaseTempExpression(argument);
          continue;
        }
        break;
      case kAtDef:
      case kAtMac:
        if (empty) {
          errors->report(E_function_argument_count, line, name);
        } else if (named || argument->getKind() == EK_symbol) {
          Symbol* symbol = named ? named : argument->getSymbol();
          result = code == kAtDef ? symbol->isDefined() : findMacro(symbol->name) != nullptr;
        } else if (code == kAtDef && argument->getKind() == EK_string) {
          std::string wanted(argument->getString(), argument->getStringLength());
          result = lookupDefine(wanted.c_str()) != nullptr;
        } else {
          errors->report(E_function_invalid_argument, line, name);
        }
        break;
      default:  // @MXP
        if (!empty) errors->report(E_function_argument_count, line, name);
        else result = inExpansionText;
        break;
    }
    if (argument) releaseTempExpression(argument);
    out.push_back(result ? '1' : '0');
  }
  input.popSource();
  return true;
}
