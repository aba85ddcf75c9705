// Macros of the macro preprocessor (.MACRO, .PMACRO, macro calls), the start and
// the end of every expansion, and the nesting limit they share with the repeat
// blocks.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <strings.h>
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "preproc/InputBuffer.h"
#include "preproc/MacroArguments.h"
#include "preproc/MacroPreprocessor.h"
#include "preproc/RepeatBlocks.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"

namespace {

// The name of a .MACRO line without a label.
constexpr char kUnnamedMacro[] = "---No name!";

// The integer value of a preprocessor symbol (.SET, .EQU) for %NAME and ?NAME.
bool preprocessorSymbolValue(std::string_view name, int64_t* value) {
  if (!runState().symbolTable || !symbolTable()->current) return false;
  std::string key(name);
  Symbol* symbol = symbolTable()->current->lookup(key.c_str());
  if (!symbol || !symbol->valueExpression) return false;
  SymbolValueVisit visit(symbol);
  if (!visit.value()) return false;
  OrbaExpression* result = visit.value()->evaluate();
  if (!result || result->isError()) return false;
  if (result->getKind() != EK_integer && result->getKind() != EK_double) return false;
  *value = result->getInteger();
  return true;
}

int32_t sourceDepth(const InputBuffer& input) {
  int32_t depth = 0;
  for (InputBuffer::InputSource* source = input.top(); source; source = source->outer) ++depth;
  return depth;
}

// Pops the expansion's text source and whatever was opened above it.
void popExpansionSources(InputBuffer& input, const MppExpand& expansion) {
  for (int32_t depth = sourceDepth(input); depth >= expansion.sourceDepth; --depth)
    if (!input.popSource()) break;
}

}  // namespace

bool MacroPreprocessor::checkExpansionDepth(LineInfo* line) {
  // Once a chain of expansions has hit the limit, nothing more of it expands: a
  // macro that calls itself twice would otherwise run 2^1000 expansions.
  if (nestingLimitReached) return false;
  if (expansionStack.size() < static_cast<size_t>(kMaxExpansionDepth)) return true;
  errorHandler()->report(E_mpp_macro_nesting_too_deep, line, kMaxExpansionDepth);
  nestingLimitReached = true;
  return false;
}

void MacroPreprocessor::expandBody(InputBuffer& input, LineInfo* line, MppExpand* expansion,
                                   const char* label) {
  // A report below may end the run: until the stack holds the expansion, this does.
  std::unique_ptr<MppExpand> owned(expansion);
  BodySubstitution::Settings settings;
  settings.caseSensitive = orbaOptions()->caseSensitive;
  settings.commentString = commentPrefix();
  settings.symbolValue = preprocessorSymbolValue;
  // The expansions open at once are bounded together too: a macro that passes its
  // argument on with a little more each time stays below the bound of one
  // expansion, but a thousand levels of it would hold gigabytes.
  size_t room = kMaxActiveExpansionText > input.textBytes() ? kMaxActiveExpansionText - input.textBytes() : 0;
  const std::string& text =
      bodySubstitution.expand(expansion->construct->body, *expansion, label, settings, room);
  if (bodySubstitution.truncated()) {
    if (room < BodySubstitution::kMaxExpansionLength) {
      char message[160];
      std::snprintf(message, sizeof message,
                    "macro expansions open at once longer than %zu characters: expansion skipped",
                    kMaxActiveExpansionText);
      errorHandler()->report(E_error, line, message);
      // As at the nesting limit, nothing more of this chain expands: a macro that calls
      // itself twice would otherwise go on with the second call at every level.
      nestingLimitReached = true;
    } else {
      errorHandler()->report(E_error, line, BodySubstitution::truncatedText());
    }
  }
  expansionStack.push_back(owned.release());
  input.pushText(text.data(), text.size());
  expansion->sourceDepth = sourceDepth(input);
}

bool MacroPreprocessor::handleMacro(InputBuffer& input, LineInfo* line, const char* label) {
  const char* name = label ? label : stringBuffer()->intern(kUnnamedMacro);
  std::vector<const char*> formals;
  splitMacroArguments(input.cursor(), commentPrefix(), formals, line);
  input.popSource();

  auto* macro = new MppMacro(name, formals);
  pendingConstruct = macro;
  definitionDepth = 1;
  blockStack.clear();
  MppMacro* existing = findMacro(name);
  if (existing && existing->scopeLevel == static_cast<int32_t>(macroScopes.size()) - 1) {
    if (label) errorHandler()->report(E_mpp_macro_redefinition, line, name);
    purgeMacro(existing);
  }
  registerMacro(macro);
  collectBlockBody(input, line, kMppEndm);
  return false;
}

bool MacroPreprocessor::handlePmacro(InputBuffer& input, LineInfo* line) {
  ErrorHandler* errors = errorHandler();
  const char* directive = tokenName(kMppPmacro);
  bool nameExpected = true;
  // Every token consumes input; the end of the text ends the loop.
  for (;;) {
    int32_t token = nextToken(input);
    if (isIdentifierClass(token)) {
      if (!nameExpected) errors->report(E_expected_comma, line);
      const char* name = input.tokenText();
      MppMacro* macro = findMacro(name);
      if (!macro)
        errors->report(W_mpp_macro_not_defined, line, name);
      else if (macro == pendingConstruct)
        errors->report(W_mpp_purge_macro_being_defined, line);
      else if (macro->activeExpansions != 0)
        errors->report(E_mpp_purge_macro_being_expanded, line);
      else
        purgeMacro(macro);
      nameExpected = false;
    } else if (token == kMppComma) {
      if (nameExpected) errors->report(E_symbol_expected, line, directive);
      nameExpected = true;
    } else {
      bool lineEnds = token == kMppNewline || token == kMppEndOfText ||
                      ((token == kMppCharacter || token == kMppHash) && isCommentStart(input));
      if (nameExpected)
        errors->report(E_symbol_expected, line, directive);
      else if (!lineEnds)
        errors->report(E_no_end_of_line, line);
      return true;
    }
  }
}

MacroPreprocessor::BodyLine MacroPreprocessor::bodyLineKind(const MppMacro& macro, std::string_view text,
                                                            std::string_view& label,
                                                            std::string_view& operation) const {
  label = {};
  operation = {};
  const size_t size = text.size();
  auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
  auto skipBlanks = [&](size_t at) {
    while (at < size && isBlank(text[at])) ++at;
    return at;
  };
  const char* prefix = commentPrefix();
  const std::string_view comment(prefix ? prefix : "");
  auto commentAt = [&](size_t at) { return !comment.empty() && text.substr(at, comment.size()) == comment; };
  // A name of the directive scanner: a letter, '_' or '.', then letters, digits, '_'
  // and '.'. Empty when none starts there.
  auto nameAt = [&](size_t at) {
    size_t end = at;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (end < size && (std::isalpha(byte(end)) || text[end] == '_' || text[end] == '.')) {
      ++end;
      while (end < size && (std::isalnum(byte(end)) || text[end] == '_' || text[end] == '.')) ++end;
    }
    return text.substr(at, end - at);
  };

  size_t at = skipBlanks(0);
  if (at == size || commentAt(at)) return BodyLine::kNothing;
  // A separator may split the line, a backslash at its end joins the next one, a
  // carriage return ends it early.
  const char* separator = statementSeparator();
  if ((separator && *separator && text.find(separator) != std::string_view::npos) ||
      text.back() == '\\' || text.find('\r') != std::string_view::npos)
    return BodyLine::kOpaque;

  // An assembler control is the parser's alone, whatever follows it, except $CASE,
  // which changes how the names of the lines after it compare.
  if (text[at] == '$') {
    std::string_view control = nameAt(at + 1);
    if (control.empty() || (control.size() == 4 && strncasecmp(control.data(), "CASE", 4) == 0))
      return BodyLine::kOpaque;
    for (const char* formal : macro.formals)
      if (formal && std::strlen(formal) == control.size() &&
          (orbaOptions()->caseSensitive ? std::strncmp(formal, control.data(), control.size()) == 0
                                        : strncasecmp(formal, control.data(), control.size()) == 0))
        return BodyLine::kOpaque;
    return BodyLine::kStatement;
  }

  // The label field and the operation, found as the dispatcher finds them.
  std::string_view first = nameAt(at);
  if (first.empty()) return BodyLine::kOpaque;
  const int32_t firstCode = keywordCode(first.data(), first.size());
  size_t next = skipBlanks(at + first.size());
  operation = first;
  // A label joined to a bare "@" ("l\@:") stays one label: the backslash only joins
  // the two texts, and the "@" is no name an argument could replace.
  const size_t joined = at + first.size();
  if (joined + 2 < size && text[joined] == '\\' && text[joined + 1] == '@' && text[joined + 2] == ':')
    next = joined + 2;
  if (next < size && text[next] == ':') {
    label = first;
    operation = nameAt(skipBlanks(next + 1));
    if (operation.empty()) next = skipBlanks(next + 1);
  } else {
    std::string_view second = nameAt(next);
    int32_t secondCode = keywordCode(second.data(), second.size());
    if (secondCode == kMppEqu || secondCode == kMppMacro || secondCode == kMppSet ||
        (at == 0 && firstCode == kMppIdentifier)) {
      label = first;
      operation = second;
    }
  }
  if (!label.empty() && keywordCode(label.data(), label.size()) != kMppIdentifier) return BodyLine::kOpaque;
  if (!operation.empty()) next = static_cast<size_t>(operation.data() - text.data());
  const size_t after = next + operation.size();
  // A name that runs into an operator or a backslash may be joined to more.
  if (after < size && !isBlank(text[after]) && !commentAt(after)) return BodyLine::kOpaque;

  // Names that an argument or a local label's suffix could replace.
  const bool caseSensitive = orbaOptions()->caseSensitive;
  std::string name;
  auto replaceable = [&](std::string_view candidate, bool asOperation) {
    if (candidate.empty()) return false;
    name.assign(candidate);
    for (const char* formal : macro.formals)
      if (formal && (caseSensitive ? std::strcmp(formal, name.c_str()) == 0
                                   : strcasecmp(formal, name.c_str()) == 0))
        return true;
    return asOperation && macro.localNames.count(name.c_str()) != 0;
  };
  if (replaceable(label, false) || replaceable(operation, true)) return BodyLine::kOpaque;

  const size_t rest = skipBlanks(after);
  const bool alone = rest == size || commentAt(rest);
  switch (keywordCode(operation.data(), operation.size())) {
    case kMppIdentifier:
    case kMppReserved:
      if (operation.empty()) return alone ? BodyLine::kStatement : BodyLine::kOpaque;
      return BodyLine::kName;
    case kMppSet:
    case kMppEqu:
      return BodyLine::kStatement;
    case kMppIf:
      return label.empty() ? BodyLine::kIf : BodyLine::kOpaque;
    case kMppElif:
      return label.empty() ? BodyLine::kElif : BodyLine::kOpaque;
    // Anything after them leaves the level open.
    case kMppElse:
      return label.empty() && alone ? BodyLine::kElse : BodyLine::kOpaque;
    case kMppEndif:
      return label.empty() && alone ? BodyLine::kEndif : BodyLine::kOpaque;
    case kMppDup:
      return BodyLine::kRepeat;
    case kMppDupa:
    case kMppDupc:
    case kMppDupf: {
      // The loop symbol names what each iteration replaces in the block's lines.
      std::string_view symbol = nameAt(rest);
      if (symbol.empty() || keywordCode(symbol.data(), symbol.size()) != kMppIdentifier ||
          replaceable(symbol, false))
        return BodyLine::kOpaque;
      operation = symbol;
      return BodyLine::kLoop;
    }
    case kMppRadix:
      // The radix of numbers is nothing the count reads.
      return label.empty() ? BodyLine::kStatement : BodyLine::kOpaque;
    case kMppEndm:
      return label.empty() ? BodyLine::kEnd : BodyLine::kOpaque;
    case kMppExitm:
      return label.empty() ? BodyLine::kExit : BodyLine::kOpaque;
    default:
      return BodyLine::kOpaque;
  }
}

void MacroPreprocessor::readBodyShape(MppMacro& macro) const {
  const char* prefix = commentPrefix();
  const char* separator = statementSeparator();
  const bool caseSensitive = orbaOptions()->caseSensitive;
  if (macro.shapeRead && macro.shapeCaseSensitive == caseSensitive &&
      macro.shapePrefix == (prefix ? prefix : "") && macro.shapeSeparator == (separator ? separator : ""))
    return;
  macro.shapeRead = true;
  macro.shapeCaseSensitive = caseSensitive;
  macro.shapePrefix = prefix ? prefix : "";
  macro.shapeSeparator = separator ? separator : "";
  macro.shape.clear();
  StringBuffer* strings = stringBuffer();
  auto intern = [strings](std::string_view name) {
    return name.empty() ? nullptr : strings->internRange(name.data(), name.data() + name.size());
  };
  const std::string& body = macro.body;
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string_view label;
    std::string_view operation;
    BodyLine kind = bodyLineKind(macro, std::string_view(body.data() + start, end - start), label, operation);
    start = end + 1;
    if (kind == BodyLine::kNothing) continue;
    macro.shape.push_back({static_cast<uint8_t>(kind), intern(label), intern(operation)});
    // Nothing after such a line is read.
    if (kind == BodyLine::kOpaque || (kind == BodyLine::kEnd && start >= body.size())) break;
  }
}

uint64_t MacroPreprocessor::certainCallLines(MppMacro* macro, uint32_t depth, bool sure, bool& readWhole) {
  uint64_t total = macro->lineCount;
  auto known = certainLines.find(macro);
  if (known != certainLines.end()) {
    if (known->second.lines == 0 && sure) certainLinesUnknown = true;  // a cycle
    readWhole = known->second.whole;
    return known->second.lines;
  }
  // Marked as being counted only once a call is met: most bodies hold none.
  bool marked = false;
  readBodyShape(*macro);
  // The conditions ('i') and repeat blocks ('d') open at the line, innermost last,
  // and the loop symbols of those open, which the lines of the block may not name.
  std::string open;
  uint32_t repeats = 0;
  std::vector<const char*> loops;
  const bool caseSensitive = orbaOptions()->caseSensitive;
  auto loopSymbol = [&](const char* name) {
    for (const char* symbol : loops)
      if (symbol && name && (caseSensitive ? std::strcmp(symbol, name) == 0 : strcasecmp(symbol, name) == 0))
        return true;
    return false;
  };
  // Whether the lines reached are sure to be read: not after an .EXITM of the body
  // itself (in a repeat block it leaves the iteration alone). A repeat block refused
  // at the total ends the chain, but the total is passed then anyway, as when a call
  // counted here is refused.
  bool reached = true;
  bool whole = false;
  for (const MppMacro::ShapeLine& line : macro->shape) {
    auto kind = static_cast<BodyLine>(line.kind);
    // A define replaces the name before the line is read.
    if ((line.label && mayBeDefined(*line.label) && lookupDefine(line.label)) ||
        (line.operation && mayBeDefined(*line.operation) && lookupDefine(line.operation)))
      break;
    if (!loops.empty() && (loopSymbol(line.label) || loopSymbol(line.operation))) break;
    MppMacro* callee = nullptr;
    if (kind == BodyLine::kName && mayBeMacro(*line.operation)) callee = findMacro(line.operation);
    bool stop = false;
    switch (kind) {
      case BodyLine::kNothing:
      case BodyLine::kStatement:
      case BodyLine::kName:
        break;
      case BodyLine::kIf:
        open.push_back('i');
        break;
      case BodyLine::kElif:
      case BodyLine::kElse:
      case BodyLine::kEndif:
        stop = open.empty() || open.back() != 'i';
        if (!stop && kind == BodyLine::kEndif) open.pop_back();
        break;
      case BodyLine::kRepeat:
        // Clear of the nesting limit, at which the block is refused and its chain ends.
        stop = expansionStack.size() + depth + repeats + 1 >= static_cast<size_t>(kMaxExpansionDepth);
        open.push_back('d');
        ++repeats;
        loops.push_back(nullptr);
        break;
      case BodyLine::kLoop:
        stop = expansionStack.size() + depth + repeats + 1 >= static_cast<size_t>(kMaxExpansionDepth);
        open.push_back('d');
        ++repeats;
        loops.push_back(line.operation);
        break;
      case BodyLine::kEnd:
        if (open.empty()) {
          // The closing line ends every body.
          whole = true;
          stop = true;
        } else if (open.back() == 'd') {
          open.pop_back();
          --repeats;
          loops.pop_back();
        } else {
          stop = true;
        }
        break;
      case BodyLine::kExit:
        if (repeats == 0) reached = false;
        break;
      case BodyLine::kOpaque:
        stop = true;
        break;
    }
    if (stop) break;
    if (!callee || callee->lineCount <= 1 || callee->body.empty()) continue;  // a statement
    // A call the body is sure to reach adds its lines to the body's, whether or not
    // the body itself is sure to be expanded.
    const bool reachedCall = reached && open.empty();
    const bool calleeSure = sure && reachedCall;
    uint32_t level = depth + repeats + 1;
    // Deep enough for any chain that doubles past the total, and clear of the
    // nesting limit, at which a call is refused and its chain ends.
    if (level >= 64 || expansionStack.size() + level >= static_cast<size_t>(kMaxExpansionDepth)) {
      if (calleeSure) certainLinesUnknown = true;
      break;
    }
    if (!marked) {
      certainLines[macro] = CertainCount{0, false};
      marked = true;
    }
    bool calleeWhole = false;
    uint64_t lines = certainCallLines(callee, level, calleeSure, calleeWhole);
    if (reachedCall) total = lines > UINT64_MAX - total ? UINT64_MAX : total + lines;
    if (!calleeWhole) break;
  }
  if (marked) certainLines[macro] = CertainCount{total, whole};
  readWhole = whole;
  return total;
}

bool MacroPreprocessor::handleMacroCall(InputBuffer& input, LineInfo* line, const char* label,
                                        const char* name) {
  if (label) defineLabel(label, line);
  MppMacro* macro = findMacro(name);
  if (!macro) {
    if (isActive()) line->flags[0] |= lineflag::kAssemble;
    return true;
  }

  line->flags[0] |= lineflag::kMacroCall;
  std::vector<const char*> actuals;
  splitMacroArguments(input.cursor(), commentPrefix(), actuals, line);
  input.popSource();
  // An empty body (only its .ENDM) expands to nothing and draws no number.
  if (macro->lineCount <= 1 || macro->body.empty() || !checkExpansionDepth(line)) return false;
  certainLines.clear();
  certainLinesUnknown = false;
  bool readWhole = false;
  uint64_t certain = certainCallLines(macro, 0, true, readWhole);
  if (!certainLinesUnknown && certain > static_cast<uint64_t>(kMaxExpansionLines - expansionLines)) {
    // Refused whole, at the call: its expansion would pass the total anyway.
    reserveExpansionLines(certain, line, "macro call");
    return false;
  }
  if (!reserveExpansionLines(macro->lineCount, line, "macro call")) return false;

  auto expansion = std::make_unique<MppExpand>(MppExpand::kMacroCall, macro);
  pushScope();
  expansion->number = static_cast<int32_t>(++expansionCounter);
  if (actuals.size() > macro->formals.size()) errorHandler()->report(W_mpp_macro_argument_count, line);
  for (size_t i = 0; i < macro->formals.size(); ++i)
    expansion->addArgument(macro->formals[i], i < actuals.size() ? actuals[i] : nullptr);
  expansion->formalCount = static_cast<int32_t>(macro->formals.size());
  expansion->actualCount = static_cast<int32_t>(actuals.size());
  ++macro->activeExpansions;
  expandBody(input, line, expansion.release(), label);
  return false;
}

bool MacroPreprocessor::handleBlockEnd(InputBuffer& input, LineInfo* line, int32_t directive) {
  if (!expectToken(input, kMppNewline)) errorHandler()->report(E_no_end_of_line, line);
  input.popSource();
  if (expansionStack.empty()) {
    errorHandler()->report(E_mpp_unexpected_endm, line, tokenName(directive));
    return false;
  }

  MppExpand* expansion = expansionStack.back();
  expansionStack.pop_back();
  popScope();
  MppConstruct* construct = expansion->construct;
  if (construct->kind() == kMppMacroKind) {
    --static_cast<MppMacro*>(construct)->activeExpansions;
  } else if (directive == kMppEndm) {
    const char* value = nullptr;
    int32_t radix = line->controlState ? line->controlState->radix : 10;
    if (nextRepeatIteration(*construct, radix, &value)) {
      // The record serves the next iteration: a new number, the new loop value.
      popExpansionSources(input, *expansion);
      pushScope();
      expansion->number = static_cast<int32_t>(++expansionCounter);
      if (!expansion->arguments.empty()) expansion->arguments.front()->value = value;
      expandBody(input, line, expansion, nullptr);
      return false;
    }
  }
  if (directive == kMppExitm)
    for (int32_t open = expansion->openConditionals; open > 0; --open) closeConditional();

  // The rest of the body after an .EXITM is dropped with the expansion's source.
  popExpansionSources(input, *expansion);
  if (construct->isRepeat()) delete construct;
  delete expansion;
  if (expansionStack.empty()) nestingLimitReached = false;
  return false;
}
