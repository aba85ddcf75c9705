// The line and directive dispatcher of the macro preprocessor, with the label
// check, .UNDEF, .SET and the C line markers.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "preproc/MacroPreprocessor.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool MacroPreprocessor::processLine(InputBuffer& input, const char* text, size_t length,
                                    LineInfo* line) {
  // Most lines are a statement for the parser: the token loop would find no more.
  if (isActive() && plainStatement(text, length)) {
    line->flags[0] |= lineflag::kAssemble;
    return true;
  }
  input.pushText(text, length);
  InputBuffer::InputSource* source = input.top();

  // The label field.
  int32_t first = nextToken(input);
  int32_t directive = first;
  // The first name is interned only when it is a label or may name a macro: most
  // lines start with an instruction, which is neither.
  const char* firstStart = nullptr;
  const char* firstEnd = nullptr;
  const char* label = nullptr;
  bool colon = false;
  if (isIdentifierClass(first)) {
    firstStart = source->tokenStart;
    firstEnd = source->tokenEnd ? source->tokenEnd : source->cursor;
    bool firstColumn = source->blankRuns == 0;
    int32_t next = peekToken(input);
    if (next == kMppEqu || next == kMppMacro || next == kMppSet) {
      label = stringBuffer()->internRange(firstStart, firstEnd);
      directive = nextToken(input);
    } else if (next == kMppColon) {
      label = stringBuffer()->internRange(firstStart, firstEnd);
      colon = true;
      nextToken(input);
      directive = nextToken(input);
    } else if (next != kMppHash && firstColumn && first == kMppIdentifier) {
      label = stringBuffer()->internRange(firstStart, firstEnd);
      directive = nextToken(input);
    }
  }
  checkLabelField(line, directive, label != nullptr, colon);

  const bool active = isActive();
  uint8_t& flags = line->flags[0];
  bool result = true;
  // Only the conditional directives, .INCLUDE and .COMMENT run in an inactive
  // region; an empty line is not marked there either.
  bool skipped = !active && !(directive == kMppNewline && !label);
  switch (directive) {
    case kMppIf:
      flags |= lineflag::kConditionalDirective;
      result = handleIf(input, line);
      skipped = !isActive();
      break;
    case kMppElif:
    case kMppElse:
    case kMppEndif:
      flags |= lineflag::kConditionalDirective;
      if (directive == kMppElif) result = handleElif(input, line);
      else if (directive == kMppElse) result = handleElse(input, line);
      else result = handleEndif(input, line);
      break;
    case kMppInclude:
      result = handleInclude(input, line);
      break;
    case kMppComment:
      flags |= lineflag::kCommentOnly;
      break;
    default:
      if (!active) break;
      switch (directive) {
        case kMppUndef:
          result = undefineDirective(input, line);
          break;
        case kMppSet:
          line->flags[1] |= lineflag::kEquateOrSet;
          result = setDirective(input, line, label);
          flags |= lineflag::kAssemble;
          break;
        case kMppRadix:
          flags |= lineflag::kAssemble;
          result = handleRadix(input, line);
          break;
        case kMppPmacro:
          result = handlePmacro(input, line);
          break;
        case kMppMacro:
          flags |= lineflag::kMacroDefinition;
          result = handleMacro(input, line, label);
          break;
        case kMppEqu:
          line->flags[1] |= lineflag::kEquateOrSet;
          flags |= lineflag::kAssemble;
          result = handleEqu(input, line, label);
          break;
        case kMppEndm:
        case kMppExitm:
          flags |= lineflag::kBodyEnd;
          result = handleBlockEnd(input, line, directive);
          break;
        case kMppEnd:
          line->flags[2] |= lineflag::kLastLine;
          flags |= lineflag::kAssemble;
          result = handleEnd(input, line);
          break;
        case kMppDup:
        case kMppDupa:
        case kMppDupc:
        case kMppDupf:
          flags |= lineflag::kMacroCall | lineflag::kMacroDefinition;
          if (directive == kMppDup) result = handleDup(input, line, label);
          else if (directive == kMppDupa) result = handleDupa(input, line, label);
          else if (directive == kMppDupc) result = handleDupc(input, line, label);
          else result = handleDupf(input, line, label);
          break;
        case kMppDefine:
          result = handleDefine(input, line);
          break;
        case kMppCommentPrefix:
          flags |= lineflag::kAssemble;
          result = handleCommentPrefix(input, line);
          break;
        case kMppNewline:
          // A line of a label alone, or an empty line.
          if (label) {
            defineLabel(label, line);
            flags |= lineflag::kAssemble;
          }
          break;
        case kMppHash:
          result = handleLineMarker(input, line);
          break;
        case kMppIdentifier:
        case kMppReserved:
          if (label)
            result = handleMacroCall(input, line, label, input.tokenText());
          else
            result = handleMacroCall(input, line, nullptr,
                                     mayBeMacro(*firstStart) ? stringBuffer()->internRange(firstStart, firstEnd) : nullptr);
          break;
        default:
          // A comment alone, kept for the list file, is an empty line all the same.
          if (!(label == nullptr && directive == kMppCharacter && isCommentStart(input)))
            flags |= lineflag::kAssemble;
          break;
      }
      break;
  }
  if (skipped) flags |= lineflag::kInactiveRegion;
  if (result) input.popSource();
  return true;
}

void MacroPreprocessor::defineLabel(const char* label, LineInfo* line) {
  if (!label || isDigit(*label)) return;
  symbolTable()->deferLabelDefinition(label, line);
}

bool MacroPreprocessor::checkLabelField(LineInfo* line, int32_t directive, bool labelGiven,
                                        bool colon) {
  if (isIdentifierClass(directive)) return true;
  ErrorHandler* errors = errorHandler();
  switch (directive) {
    case kMppMacro:
      if (colon) {
        errors->report(E_no_colon_allowed, line, tokenName(directive));
        return false;
      }
      if (!labelGiven) {
        errors->report(E_symbol_expected, line, tokenName(directive));
        return false;
      }
      return true;
    case kMppComment:
    case kMppDefine:
    case kMppElif:
    case kMppElse:
    case kMppEndif:
    case kMppEndm:
    case kMppExitm:
    case kMppIf:
    case kMppInclude:
    case kMppPmacro:
    case kMppUndef:
      if (labelGiven) {
        errors->report(E_no_label_allowed, line, tokenName(directive));
        return false;
      }
      return true;
    default:
      return true;
  }
}

bool MacroPreprocessor::undefineDirective(InputBuffer& input, LineInfo* line) {
  ErrorHandler* errors = errorHandler();
  const char* directive = tokenName(kMppUndef);
  bool expectingName = true;
  bool handledName = false;
  // Each turn reads a token; the newline of the line ends it at the latest.
  for (;;) {
    int32_t code = nextToken(input);
    if (code == kMppNewline) {
      if (expectingName) errors->report(E_symbol_expected, line, directive);
      break;
    }
    if (code == kMppComma) {
      if (expectingName) errors->report(E_symbol_expected, line, directive);
      expectingName = true;
      continue;
    }
    if (isIdentifierClass(code)) {
      if (!expectingName) errors->report(E_expected_comma, line);
      const char* name = input.tokenText();
      MppDefine* define = lookupDefine(name);
      if (!define) {
        errors->report(E_mpp_symbol_not_defined, line, name, tokenName(kMppDefine),
                       tokenName(kMppMacro));
      } else if (define->fixed) {
        errors->report(E_define_is_fixed, line, name);
      } else {
        removeDefine(name, define);
      }
      handledName = true;
      expectingName = false;
      continue;
    }
    // A comment ends the list as the newline does.
    if ((code == kMppCharacter || code == kMppHash) && isCommentStart(input)) {
      if (expectingName) errors->report(E_symbol_expected, line, directive);
      break;
    }
    if (expectingName) errors->report(E_symbol_expected, line, directive);
    else errors->report(E_no_end_of_line, line);
    break;
  }
  if (!handledName) errors->report(E_symbol_expected, line, directive);
  return true;
}

bool MacroPreprocessor::setDirective(InputBuffer& input, LineInfo* line, const char* label) {
  ErrorHandler* errors = errorHandler();
  const char* name = label;
  if (!name) {
    int32_t code = nextToken(input);
    if (isIdentifierClass(code)) name = input.tokenText();
    else errors->report(E_symbol_expected, line, tokenName(kMppSet));
    if (peekToken(input) == kMppComma) nextToken(input);
    if (!name) return true;
  }
  OrbaExpression* value = parseExpression(input, line);
  if (!value) {
    reportMissingExpression(line);
    return true;
  }
  SymbolTable::LocalSymbolTable* scope = symbolTable()->current;
  Symbol* symbol = scope->lookup(name);
  bool assign = false;
  if (!symbol) {
    symbol = scope->defineSymbol(name, line);
    if (symbol) {
      symbol->flags[1] |= Symbol::kSet;
      symbol->flags[2] &= static_cast<uint8_t>(~Symbol::kRelocatable);
      assign = true;
    }
  } else if (symbol->isSet()) {
    assign = true;
  } else if (symbol->isDefined()) {
    errors->report(E_non_set_redefinition, line, tokenName(kMppSet));
  } else if (symbol->isUsed()) {
    errors->report(E_used_before_set, line, name);
  }
  if (assign) {
    symbol->valueExpression = value;
    noteSymbolValueChange();
  }
  if (!expectToken(input, kMppNewline)) errors->report(E_no_end_of_line, line);
  return true;
}

bool MacroPreprocessor::handleLineMarker(InputBuffer& input, LineInfo* line) {
  InputBuffer::InputSource* source = input.top();
  const char* hash = source->tokenStart;
  const char* scan = source->cursor;
  while (isWhiteSpace(*scan)) ++scan;
  if (!isDigit(*scan)) {
    if (std::strncmp(scan, "line", 4) != 0) {
      if (!isCommentStart(input, hash)) errorHandler()->report(E_cpp_unknown_directive, line);
      return true;
    }
    scan += 4;
  }
  line->flags[3] |= lineflag::kLineMarker;

  // A decimal line number, then optionally a file name in double quotes.
  while (isWhiteSpace(*scan)) ++scan;
  char* numberEnd = nullptr;
  errno = 0;
  long number = std::strtol(scan, &numberEnd, 10);
  if (numberEnd == scan || errno == ERANGE || number < INT32_MIN + 1 || number > INT32_MAX)
    return true;
  scan = numberEnd;
  while (isWhiteSpace(*scan)) ++scan;
  const char* fileName = nullptr;
  size_t nameLength = 0;
  if (*scan == '"') {
    const char* nameStart = scan + 1;
    const char* nameEnd = std::strchr(nameStart, '"');
    if (nameEnd && nameEnd > nameStart) {
      nameLength = static_cast<size_t>(nameEnd - nameStart);
      if (nameLength > kMaxMarkerFileName) {
        std::string reason = "file name of a line marker longer than " +
                             std::to_string(kMaxMarkerFileName) + " characters";
        errorHandler()->report(E_syntax_error, line, reason.c_str());
        return true;
      }
      fileName = nameStart;
    }
  }

  auto markerLine = static_cast<int32_t>(number - 1);
  int32_t physicalLine = line->lineNumberSigned() - input.lineBias;
  line->lineNumber = static_cast<uint32_t>(markerLine);
  input.lineBias = markerLine - physicalLine;
  if (fileName) {
    LineState* lines = lineState();
    int32_t fileId = lines->sourceFileId(lines->internRange(fileName, fileName + nameLength));
    line->sourceFile = static_cast<uint32_t>(fileId);
    input.fileIdOverride = fileId;
  }
  return true;
}
