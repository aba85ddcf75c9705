// The repeat blocks .DUP, .DUPA, .DUPC and .DUPF: their operands, their first
// iteration and the rule that decides every further one.
#include "preproc/RepeatBlocks.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <vector>

#include "expr/OrbaExpression.h"
#include "preproc/InputBuffer.h"
#include "preproc/MacroArguments.h"
#include "preproc/MacroPreprocessor.h"
#include "preproc/MppRecords.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

// The value of an operand that must be an integer (a floating-point value is cut
// toward zero); nothing after its diagnostic.
std::optional<int64_t> integerOperand(OrbaExpression* expression, LineInfo* line,
                                      const char* directive) {
  OrbaExpression* result = expression->evaluate();
  if (!result || result->isError()) {
    errorHandler()->report(E_mpp_cannot_evaluate_expression, line, directive);
    return std::nullopt;
  }
  if (result->getKind() != EK_integer && result->getKind() != EK_double) {
    errorHandler()->report(E_mpp_integer_expression_expected, line, directive);
    return std::nullopt;
  }
  return result->getInteger();
}

const char* loopSymbol(const MppConstruct& construct) {
  switch (construct.kind()) {
    case kMppDupaKind: return static_cast<const MppDupa&>(construct).symbol;
    case kMppDupcKind: return static_cast<const MppDupc&>(construct).symbol;
    case kMppDupfKind: return static_cast<const MppDupf&>(construct).symbol;
    default: return nullptr;
  }
}

// Every directive has its body collected whatever its operands gave, so that an
// erroneous one never lets its body through as ordinary lines.
void collectAndStart(MacroPreprocessor& preprocessor, InputBuffer& input, LineInfo* line,
                     MppConstruct* construct) {
  preprocessor.pendingConstruct = construct;
  preprocessor.definitionDepth = 1;
  preprocessor.blockStack.clear();
  preprocessor.collectBlockBody(input, line, kMppEndm);
  preprocessor.startRepeatExpansion(input, line);
}

// The loop symbol and the comma after it; null after a diagnostic.
const char* readLoopSymbol(InputBuffer& input, LineInfo* line, int32_t directive) {
  if (!isIdentifierClass(MacroPreprocessor::nextToken(input))) {
    errorHandler()->report(E_symbol_expected, line, MacroPreprocessor::tokenName(directive));
    return nullptr;
  }
  const char* symbol = input.tokenText();
  if (MacroPreprocessor::nextToken(input) != kMppComma) {
    errorHandler()->report(E_expected_comma, line);
    return nullptr;
  }
  return symbol;
}

}  // namespace

bool nextRepeatIteration(MppConstruct& repeat, int32_t radix, const char** value) {
  *value = nullptr;
  switch (repeat.kind()) {
    case kMppDupKind: {
      auto& dup = static_cast<MppDup&>(repeat);
      if (dup.count <= 0) return false;
      --dup.count;
      return true;
    }
    case kMppDupaKind: {
      auto& dupa = static_cast<MppDupa&>(repeat);
      if (dupa.nextIndex >= dupa.argumentCount) return false;
      *value = dupa.arguments[dupa.nextIndex++];
      return true;
    }
    case kMppDupcKind: {
      auto& dupc = static_cast<MppDupc&>(repeat);
      if (dupc.nextIndex >= dupc.length) return false;
      char character[2] = {dupc.text[dupc.nextIndex++], '\0'};
      *value = stringBuffer()->intern(character);
      return true;
    }
    case kMppDupfKind: {
      auto& dupf = static_cast<MppDupf&>(repeat);
      bool more = (dupf.step > 0 && dupf.current <= dupf.end) ||
                  (dupf.step < 0 && dupf.current >= dupf.end);
      if (!more) return false;
      char text[32];
      if (radix == 8)
        std::snprintf(text, sizeof text, "%" PRIo64, static_cast<uint64_t>(dupf.current));
      else if (radix == 16)
        std::snprintf(text, sizeof text, "0x%" PRIx64, static_cast<uint64_t>(dupf.current));
      else
        std::snprintf(text, sizeof text, "%" PRId64, dupf.current);
      *value = stringBuffer()->intern(text);
      // A loop whose end lies within one step of the range's edge would otherwise wrap
      // round and start again from the other end: a step of 0 ends it.
      if (__builtin_add_overflow(dupf.current, dupf.step, &dupf.current)) dupf.step = 0;
      return true;
    }
    default:
      break;
  }
  return false;
}

// ---- The directives ----

bool MacroPreprocessor::handleDup(InputBuffer& input, LineInfo* line, const char* label) {
  const char* directive = tokenName(kMppDup);
  OrbaExpression* expression = parseExpression(input, line);
  input.popSource();
  int64_t count = 0;
  if (!expression) {
    reportMissingExpression(line);
    errorHandler()->report(E_mpp_cannot_evaluate_expression, line, directive);
  } else {
    count = integerOperand(expression, line, directive).value_or(0);
  }
  collectAndStart(*this, input, line, new MppDup(label, count));
  return false;
}

bool MacroPreprocessor::handleDupa(InputBuffer& input, LineInfo* line, const char* label) {
  std::vector<const char*> items;
  const char* symbol = readLoopSymbol(input, line, kMppDupa);
  if (symbol) splitMacroArguments(input.cursor(), commentPrefix(), items, line);
  input.popSource();
  collectAndStart(*this, input, line, new MppDupa(label, symbol, items));
  return false;
}

bool MacroPreprocessor::handleDupc(InputBuffer& input, LineInfo* line, const char* label) {
  const char* text = nullptr;
  const char* symbol = readLoopSymbol(input, line, kMppDupc);
  if (symbol) {
    if (scanString(input) != kMppString) {
      errorHandler()->report(E_string_expression_expected, line);
    } else {
      text = input.tokenText();
      if (!expectToken(input, kMppNewline)) errorHandler()->report(E_no_end_of_line, line);
    }
  }
  input.popSource();
  collectAndStart(*this, input, line, new MppDupc(label, symbol, text));
  return false;
}

bool MacroPreprocessor::handleDupf(InputBuffer& input, LineInfo* line, const char* label) {
  const char* directive = tokenName(kMppDupf);
  ErrorHandler* errors = errorHandler();
  OrbaExpression* start = nullptr;
  OrbaExpression* end = nullptr;
  OrbaExpression* step = nullptr;
  bool startOmitted = false;
  bool stepOmitted = false;
  // Parsing stops at the first operand that is missing.
  const char* symbol = readLoopSymbol(input, line, kMppDupf);
  if (symbol) {
    if (peekToken(input) == kMppComma) {
      startOmitted = true;
    } else if (!(start = parseExpression(input, line))) {
      reportMissingExpression(line);
    }
  }
  if (start || startOmitted) {
    if (nextToken(input) != kMppComma) {
      errors->report(E_expected_comma, line);
    } else if (!(end = parseExpression(input, line))) {
      reportMissingExpression(line);
    }
  }
  if (end) {
    int32_t token = peekToken(input);
    if (token == kMppComma) {
      nextToken(input);
      if (!(step = parseExpression(input, line))) reportMissingExpression(line);
    } else if (expectToken(input, kMppNewline)) {
      stepOmitted = true;
    } else {
      errors->report(E_no_end_of_line, line);
    }
  }
  input.popSource();

  MppConstruct* construct = nullptr;
  if (end && (start || startOmitted) && (step || stepOmitted)) {
    std::optional<int64_t> first = startOmitted ? 1 : integerOperand(start, line, directive);
    std::optional<int64_t> last = first ? integerOperand(end, line, directive) : std::nullopt;
    std::optional<int64_t> increment =
        !last ? std::nullopt : stepOmitted ? 1 : integerOperand(step, line, directive);
    if (increment) construct = new MppDupf(label, symbol, *first, *last, *increment);
  }
  collectAndStart(*this, input, line, construct);
  return false;
}

// ---- Expansion ----

bool MacroPreprocessor::countRepeatedLines(const MppConstruct& construct, LineInfo* line) {
  // Iterations as an unsigned 64-bit count, saturated; the product with the lines
  // of the body is checked for overflow below.
  uint64_t iterations = 0;
  switch (construct.kind()) {
    case kMppDupKind: {
      int64_t count = static_cast<const MppDup&>(construct).count;
      iterations = count > 0 ? static_cast<uint64_t>(count) : 0;
      break;
    }
    case kMppDupaKind: {
      const auto& dupa = static_cast<const MppDupa&>(construct);
      iterations = dupa.argumentCount - std::min(dupa.nextIndex, dupa.argumentCount);
      break;
    }
    case kMppDupcKind: {
      const auto& dupc = static_cast<const MppDupc&>(construct);
      iterations = dupc.length - std::min(dupc.nextIndex, dupc.length);
      break;
    }
    case kMppDupfKind: {
      const auto& dupf = static_cast<const MppDupf&>(construct);
      auto span = [](int64_t from, int64_t to) {
        return static_cast<uint64_t>(to) - static_cast<uint64_t>(from);
      };
      uint64_t steps = 0;
      if (dupf.step > 0 && dupf.current <= dupf.end)
        steps = span(dupf.current, dupf.end) / static_cast<uint64_t>(dupf.step);
      else if (dupf.step < 0 && dupf.current >= dupf.end)
        steps = span(dupf.end, dupf.current) / (0 - static_cast<uint64_t>(dupf.step));
      else
        break;
      // The whole range at step 1 has one iteration more than 64 bits count.
      iterations = steps == UINT64_MAX ? steps : steps + 1;
      break;
    }
    default:
      return true;
  }
  uint64_t lines = 0;
  if (__builtin_mul_overflow(iterations, static_cast<uint64_t>(construct.lineCount), &lines))
    lines = UINT64_MAX;
  return reserveExpansionLines(lines, line, "repeat block");
}

bool MacroPreprocessor::reserveExpansionLines(uint64_t lines, LineInfo* line, const char* skipped) {
  uint64_t left = static_cast<uint64_t>(kMaxExpansionLines - expansionLines);
  if (lines <= left) {
    expansionLines += static_cast<int64_t>(lines);
    return true;
  }
  char text[160];
  std::snprintf(text, sizeof text,
                "%s skipped: lines made by expansions would exceed %" PRId64 " in total", skipped,
                kMaxExpansionLines);
  errorHandler()->report(E_error, line, text);
  // As at the nesting limit, the rest of the chain expands no more: macros that call
  // the one below twice would otherwise try again at every call still to come.
  if (!expansionStack.empty()) nestingLimitReached = true;
  return false;
}

void MacroPreprocessor::startRepeatExpansion(InputBuffer& input, LineInfo* line) {
  MppConstruct* construct = pendingConstruct;
  if (!construct || !construct->isRepeat()) return;
  pendingConstruct = nullptr;
  if (!checkExpansionDepth(line) || construct->lineCount <= 1) {
    delete construct;
    return;
  }
  if (!countRepeatedLines(*construct, line)) {
    delete construct;
    return;
  }
  const char* value = nullptr;
  int32_t radix = line->controlState ? line->controlState->radix : 10;
  // The number is drawn before the first iteration is asked for: a block with a body
  // uses one even when it yields no iteration, and then opens no scope.
  const auto number = static_cast<int32_t>(++expansionCounter);
  if (!nextRepeatIteration(*construct, radix, &value)) {
    delete construct;
    return;
  }
  auto* expansion = new MppExpand(MppExpand::kRepeat, construct);
  pushScope();
  expansion->number = number;
  const char* label = construct->label;
  construct->label = nullptr;
  if (construct->kind() != kMppDupKind) expansion->addArgument(loopSymbol(*construct), value);
  expandBody(input, line, expansion, label);
}
