// Macros of the macro preprocessor (.MACRO, .PMACRO, macro calls), the start and
// the end of every expansion, and the nesting limit they share with the repeat
// blocks.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
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

uint64_t MacroPreprocessor::certainCallLines(const MppMacro* macro, uint32_t depth, bool& readWhole) {
  uint64_t total = macro->lineCount;
  auto known = certainLines.find(macro);
  if (known != certainLines.end()) {
    if (known->second.lines == 0) certainLinesUnknown = true;  // a cycle
    readWhole = known->second.whole;
    return known->second.lines;
  }
  // Marked as being counted only once a call is met: most bodies hold none, and
  // their count needs no entry.
  bool marked = false;
  const std::string& body = macro->body;
  const char* prefix = commentPrefix();
  size_t prefixLength = prefix ? std::strlen(prefix) : 0;
  std::string name;
  size_t start = 0;
  bool whole = true;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string_view text(body.data() + start, end - start);
    start = end + 1;
    // The closing line ends every body; stopping there still reads it whole.
    bool last = start >= body.size();
    if (text.empty()) continue;
    size_t at = text.find_first_not_of(" \t");
    if (at == std::string_view::npos) continue;
    bool comment =
        prefixLength != 0 && text.substr(at, prefixLength) == std::string_view(prefix, prefixLength);
    if (comment) continue;
    size_t tokenEnd = at;
    while (tokenEnd < text.size() &&
           (std::isalnum(static_cast<unsigned char>(text[tokenEnd])) || text[tokenEnd] == '_'))
      ++tokenEnd;
    // A label, a directive, or a name that substitution or a define may change.
    bool plain = at != 0 && tokenEnd != at &&
                 (tokenEnd == text.size() || text[tokenEnd] == ' ' || text[tokenEnd] == '\t');
    if (plain) {
      name.assign(text.data() + at, tokenEnd - at);
      plain = lookupDefine(name.c_str()) == nullptr;
    }
    if (!plain) {
      whole = last;
      break;
    }
    const MppMacro* callee = findMacro(name.c_str());
    if (!callee || callee->lineCount <= 1 || callee->body.empty()) continue;  // a statement
    // Deep enough for any chain that doubles past the total, and clear of the
    // nesting limit, at which a call is refused and its chain ends.
    if (depth + 1 >= 64 ||
        expansionStack.size() + depth + 1 >= static_cast<size_t>(kMaxExpansionDepth)) {
      certainLinesUnknown = true;
      whole = false;
      break;
    }
    if (!marked) {
      certainLines[macro] = CertainCount{0, false};
      marked = true;
    }
    bool calleeWhole = false;
    uint64_t lines = certainCallLines(callee, depth + 1, calleeWhole);
    total = lines > UINT64_MAX - total ? UINT64_MAX : total + lines;
    if (!calleeWhole) {
      whole = false;
      break;
    }
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
  uint64_t certain = certainCallLines(macro, 0, readWhole);
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
