// The macro preprocessor's set-up with its predefined macros, its scopes of
// defines and macros, and its line loop.
#include "preproc/MacroPreprocessor.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "flow/SymbolTable.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"

namespace {

// The version texts that the banner shows (the driver keeps the same three, out of this
// layer's reach); __VERSION__, __REVISION__ and __BUILD__ are read from them.
constexpr char kVersionText[] = "?.?";
constexpr char kRevisionText[] = "0";
constexpr char kBuildText[] = "341";

// Parts that cannot be read count 0.
int versionNumber() {
  int major = 0;
  int minor = 0;
  std::sscanf(kVersionText, "%d.%d", &major, &minor);
  return major * 1000 + minor;
}

int revisionNumber() {
  int revision = -1;
  std::sscanf(kRevisionText, "%d", &revision);
  return revision;
}

int buildNumber() {
  int a = 0;
  int b = 0;
  int c = 0;
  std::sscanf(kBuildText, "%d.%d.%d", &a, &b, &c);
  return (a * 1000 + b) * 1000 + c;
}

const char* intern(const char* text) { return stringBuffer()->intern(text); }

const char* internNumber(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return intern(text);
}

// The longest CPU name that still makes a CPU macro.
constexpr size_t kLongestCpuName = 22;

bool isBlankOrNewline(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

}  // namespace

MacroPreprocessor::MacroPreprocessor() {
  currentControlState_ = controlState_.get();
  conditionTop = new MppIfState(true, false, nullptr);
  defineScopes.reserve(4);
  macroScopes.reserve(4);
  pushScope();
  definePredefinedMacros();
  defineCommandLineMacros();
}

MacroPreprocessor::~MacroPreprocessor() { releaseConstructs(); }

// ---- Defines and scopes ----

MppDefine* MacroPreprocessor::lookupDefine(const char* name) const {
  if (!name || !mayBeDefined(*name)) return nullptr;
  if (innerDefines_ == 0 && !defineScopes.empty()) {
    const auto& outermost = defineScopes.front();
    auto found = outermost.find(name);
    return found != outermost.end() ? found->second : nullptr;
  }
  for (auto scope = defineScopes.rbegin(); scope != defineScopes.rend(); ++scope) {
    if (scope->empty()) continue;
    auto found = scope->find(name);
    if (found != scope->end() && found->second) return found->second;
  }
  return nullptr;
}

void MacroPreprocessor::insertDefine(const char* name, MppDefine* define) {
  define->scopeLevel = static_cast<int32_t>(defineScopes.size()) - 1;
  addInitial(defineInitials_, *name);
  MppDefine*& entry = defineScopes.back()[name];
  if (!entry && define->scopeLevel > 0) ++innerDefines_;
  entry = define;
}

void MacroPreprocessor::removeDefine(const char* name, MppDefine* define) {
  if (!define) return;
  auto level = static_cast<size_t>(define->scopeLevel);
  if (level < defineScopes.size() && defineScopes[level].erase(name) && level > 0)
    --innerDefines_;
  delete define;
}

void MacroPreprocessor::pushScope() {
  defineScopes.emplace_back(0, SymbolTable::NameHash(), SymbolTable::NameEqual());
  macroScopes.emplace_back();
}

void MacroPreprocessor::popScope() {
  if (defineScopes.empty()) {
    errorHandler()->reportWithoutLocation(S_should_not_happen, "MacroPreprocessor", __LINE__,
                                          "empty define stack");
  } else {
    for (auto& entry : defineScopes.back()) delete entry.second;
    if (defineScopes.size() > 1) innerDefines_ -= defineScopes.back().size();
    defineScopes.pop_back();
  }
  if (macroScopes.empty()) {
    errorHandler()->reportWithoutLocation(S_should_not_happen, "MacroPreprocessor", __LINE__,
                                          "empty macro stack");
  } else {
    for (auto& entry : macroScopes.back()) delete entry.second;
    if (macroScopes.size() > 1) innerMacros_ -= macroScopes.back().size();
    macroScopes.pop_back();
  }
}

MppMacro* MacroPreprocessor::findMacro(const char* name) const {
  if (!name || !mayBeMacro(*name)) return nullptr;
  if (innerMacros_ == 0 && !macroScopes.empty()) {
    const auto& outermost = macroScopes.front();
    auto found = outermost.find(name);
    return found != outermost.end() ? found->second : nullptr;
  }
  for (auto scope = macroScopes.rbegin(); scope != macroScopes.rend(); ++scope) {
    if (scope->empty()) continue;
    auto found = scope->find(name);
    if (found != scope->end()) return found->second;
  }
  return nullptr;
}

void MacroPreprocessor::registerMacro(MppMacro* macro) {
  macro->scopeLevel = static_cast<int32_t>(macroScopes.size()) - 1;
  if (macro->name) addInitial(macroInitials_, *macro->name);
  MppMacro*& entry = macroScopes.back()[macro->name];
  if (!entry && macro->scopeLevel > 0) ++innerMacros_;
  entry = macro;
}

void MacroPreprocessor::purgeMacro(MppMacro* macro) {
  if (!macro) return;
  auto level = static_cast<size_t>(macro->scopeLevel);
  if (level >= macroScopes.size()) return;
  auto& scope = macroScopes[level];
  auto found = scope.find(macro->name);
  if (found == scope.end() || found->second != macro) return;
  scope.erase(found);
  if (level > 0) --innerMacros_;
  delete macro;
}

bool MacroPreprocessor::isRegistered(const MppMacro* macro) const {
  auto level = static_cast<size_t>(macro->scopeLevel);
  if (level >= macroScopes.size()) return false;
  auto found = macroScopes[level].find(macro->name);
  return found != macroScopes[level].end() && found->second == macro;
}

int32_t MacroPreprocessor::countGivenArguments() const {
  if (expansionStack.empty()) return 0;
  int32_t count = 0;
  for (const MppMacroArgument* argument : expansionStack.back()->arguments)
    if (argument->value) ++count;
  return count;
}

// ---- Predefined macros ----

void MacroPreprocessor::defineMacro(const char* name, const char* value, bool fixed) {
  name = intern(name);
  if (MppDefine* existing = lookupDefine(name)) {
    if (existing->fixed) {
      errorHandler()->reportWithoutLocation(E_define_is_fixed, name);
      return;
    }
    removeDefine(name, existing);
  }
  insertDefine(name, new MppDefine(value ? intern(value) : nullptr, nullptr, fixed));
}

void MacroPreprocessor::definePredefinedMacros() {
  const char* one = intern("1");
  const char* zero = intern("0");
  defineMacro("__TRI__", one, true);
  defineMacro("__ZELKOVA__", one, true);
  defineMacro("__VERSION__", internNumber(versionNumber()), true);
  defineMacro("__REVISION__", internNumber(revisionNumber()), true);
  defineMacro("__BUILD__", internNumber(buildNumber()), true);
  if (isMacroPreprocessor() != 1) return;

  const RunSettings* settings = orbaOptions();
  auto flag = [&](bool on) { return on ? one : zero; };
  defineMacro("__CORE_TC13__", flag(settings->coreTc13), false);
  defineMacro("__CORE_TC131__", flag(settings->coreTc131), false);
  defineMacro("__CORE_TC16__", flag(settings->coreTc16), false);
  defineMacro("__CORE_TC16X__", flag(settings->coreTc16x), false);
  defineMacro("__TC131__", flag(settings->coreTc131), false);
  defineMacro("__TC16__", flag(settings->coreTc16), false);
  defineMacro("__FPU__", flag(settings->fpuPresent), false);
  defineMacro("__MMU__", flag(settings->mmuPresent), false);
  defineMacro("__UM_USER_1__", flag(settings->userMode1), false);
  defineMacro("__UM_KERNEL__", flag(settings->kernelMode), false);
  defineMacro("__VEKT__", one, true);
  for (const char* macro : settings->defectMacros) defineMacro(macro, one, false);

  // A CPU name of any length is read whole; only names of 6 to 22 characters
  // announce themselves.
  const char* cpu = settings->cpuName;
  size_t cpuLength = cpu ? std::strlen(cpu) : 0;
  if (cpuLength > 5 && cpuLength <= kLongestCpuName) {
    std::string name = "__CPU_";
    for (size_t i = 0; i < cpuLength; ++i)
      name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(cpu[i]))));
    name += "__";
    defineMacro(name.c_str(), one, false);
  }
}

void MacroPreprocessor::defineCommandLineMacros() {
  for (const char* option : orbaOptions()->defines) {
    if (!option) continue;
    const char* equals = std::strchr(option, '=');
    const char* name;
    const char* value;
    if (equals) {
      name = stringBuffer()->internRange(option, equals);
      value = intern(equals + 1);
    } else {
      name = intern(option);
      value = intern("1");
    }
    if (MppDefine* existing = lookupDefine(name)) {
      if (existing->fixed) {
        errorHandler()->reportWithoutLocation(E_define_is_fixed, name);
        continue;
      }
      removeDefine(name, existing);
    }
    insertDefine(name, new MppDefine(value, nullptr, false));
  }
}

// ---- The line loop ----

void MacroPreprocessor::openSource(const char* fileName) {
  startSource(fileName);
  while (readMore()) {
  }
  if (runState().symbolTable) symbolTable()->resetAfterPreprocessing();
  finishSource();
}

void MacroPreprocessor::startSource(const char* fileName) {
  const RunSettings* settings = orbaOptions();
  input_ = std::make_unique<InputBuffer>(&settings->includeDirectories);
  InputBuffer& input = *input_;
  if (!input.openFile(fileName, 1)) errorHandler()->reportWithoutLocation(F_cannot_open, fileName);
  const std::vector<const char*>& headerFiles = settings->includeFiles;
  for (auto name = headerFiles.rbegin(); name != headerFiles.rend(); ++name)
    if (!input.openInclude(*name, false))
      errorHandler()->reportWithoutLocation(F_cannot_open, *name);
  lineText_.clear();
  substitutedText_.clear();
  lastLine_ = nullptr;
  more_ = input.top() != nullptr;
}

bool MacroPreprocessor::readMore() {
  if (!input_ || !more_) return false;
  more_ = readTurn(*input_);
  if (!more_) reportOpenConditionals();
  return more_;
}

void MacroPreprocessor::finishSource() {
  if (runState().symbolTable) releaseConstructs();
  input_.reset();
}

MacroPreprocessor::LinePosition MacroPreprocessor::takeLinePosition(InputBuffer& input) {
  LinePosition position;
  InputBuffer::InputSource* top = input.top();
  if (!top && input.endReached) {
    position.fileId = input.endFileId;
    position.line = input.endLine;
  } else {
    position.fileId = input.fileIdOverride != -1 ? input.fileIdOverride : (top ? top->fileId : -1);
    InputBuffer::InputSource* file = input.innermostFileSource();
    position.line = file ? file->line : 0;
    position.startOffset = file ? file->lineOffset : -1;
  }
  position.bias = input.lineBias;
  if (expansionStack.empty()) {
    inExpansion = false;
    frozenLine = 0;
  } else {
    inExpansion = true;
    if (frozenLine == 0) frozenLine = position.line - 1;
    position.line = frozenLine;
  }
  return position;
}

LineInfo* MacroPreprocessor::appendLine(const char* text, const LinePosition& position) {
  LineInfo* line = lineState()->appendLine(text, position.fileId, position.line, position.bias);
  line->controlState = currentControlState_;
  if (inExpansion) line->flags[0] |= lineflag::kMacroExpansion;
  return line;
}

bool MacroPreprocessor::hasStartMarker(const InputBuffer::InputSource& source) {
  return source.kind == InputBuffer::kFileSource && source.started;
}

uint32_t MacroPreprocessor::consumedBytes(InputBuffer& input, const LineRead& read) {
  if (read.consumedLength != 0 || !input.top()) return read.consumedLength;
  return static_cast<uint32_t>(input.cursor() - input.lineBufferStart()) - read.startInBuffer;
}

void MacroPreprocessor::readLines(InputBuffer& input) {
  lineText_.clear();
  substitutedText_.clear();
  lastLine_ = nullptr;
  // Each turn reads a line, or retires a source; the end of the input ends it.
  bool more = input.top() != nullptr;
  while (more) more = readTurn(input);
  reportOpenConditionals();
}

bool MacroPreprocessor::readTurn(InputBuffer& input) {
  InputBuffer::InputSource* top = input.top();
  if (!top) return false;
  if (top->kind == InputBuffer::kFileSource && top->cursor == top->lineEnd) top->loadLine();
  if (endReached) {
    bool more = true;
    skipAfterEnd(input, lastLine_, more);
    return more;
  }
  if (expansionStack.empty() && !top->started) {
    top->started = true;
    if (top->kind == InputBuffer::kFileSource) {
      LinePosition position = takeLinePosition(input);
      LineInfo* marker = appendLine(nullptr, position);
      marker->flags[3] |= lineflag::kStartOfFile;
      lastLine_ = marker;
    }
  }
  return readLogicalLine(input, lastLine_);
}

bool MacroPreprocessor::readLogicalLine(InputBuffer& input, LineInfo*& lastLine) {
  LinePosition position = takeLinePosition(input);
  LineRead read;
  ErrorHandler* errors = errorHandler();
  if (!getLine(input, lineText_, read)) {
    if (read.pendingDiagnostic) errors->reportText(read.pendingDiagnostic, lastLine);
    if (input.top() && hasStartMarker(*input.top())) {
      LineInfo* marker = appendLine(nullptr, position);
      marker->flags[3] |= lineflag::kEndOfFile;
      lastLine = marker;
    }
    return input.popSource() != 0;
  }

  uint32_t consumed = consumedBytes(input, read);
  InputBuffer::InputSource* top = input.top();
  if (!inExpansion && top && top->kind == InputBuffer::kFileSource)
    top->lineOffset += static_cast<int32_t>(consumed);

  // Blank and comment lines keep their place in the list but carry no text.
  const char* stored = lineText_.c_str();
  if (!read.pendingDiagnostic && !read.multiStatement && !inExpansion) {
    const char* first = stored;
    while (isBlankOrNewline(*first)) ++first;
    if (*first == '\0' || isCommentStart(input, first)) stored = nullptr;
  }
  LineInfo* line = appendLine(stored, position);
  if (!inExpansion && position.startOffset >= 0) {
    line->setSourceRange(static_cast<uint32_t>(position.startOffset),
                            static_cast<uint32_t>(position.startOffset) + consumed);
  }
  if (read.pendingDiagnostic) errors->reportText(read.pendingDiagnostic, line);
  if (!conditionTop->openingLine && conditionStack.empty()) conditionTop->openingLine = line;
  lastLine = line;

  const char* dispatched = lineText_.data();
  size_t length = lineText_.size();
  if (evaluateAtFunctions(input, line, lineText_.data(), lineText_.size(), substitutedText_)) {
    line->text = lineState()->storeRange(substitutedText_.data(),
                                         substitutedText_.data() + substitutedText_.size());
    dispatched = substitutedText_.data();
    length = substitutedText_.size();
  }

  if (!read.multiStatement) {
    processLine(input, dispatched, length, line);
    // A handler may have made further lines already; the last one made closes.
    lineState()->last()->flags[2] |= endReached ? lineflag::kLastLine : 0;
    lastLine = lineState()->last();
    return true;
  }
  dispatchStatements(input, line, line->text ? line->text : "", position);
  lastLine = lineState()->last();
  return true;
}

void MacroPreprocessor::dispatchStatements(InputBuffer& input, LineInfo* line, const char* text,
                                           const LinePosition& position) {
  line->flags[0] &= static_cast<uint8_t>(~lineflag::kAssemble);
  line->flags[2] &= static_cast<uint8_t>(~lineflag::kLastLine);
  line->flags[3] |= lineflag::kSplit;
  // The statement lines follow the split line in order; each is dispatched as soon
  // as it is made, so that what it does applies to the next one. Text after the
  // last newline belongs to no statement.
  LineInfo* previous = line;
  const char* statement = text;
  while (const char* newline = std::strchr(statement, '\n')) {
    LineInfo* part = lineState()->insertRangeAfter(previous, statement, newline + 1,
                                                   position.fileId, position.line, position.bias);
    part->controlState = currentControlState_;
    if (inExpansion) part->flags[0] |= lineflag::kMacroExpansion;
    part->copySourceRange(*line);
    processLine(input, statement, static_cast<size_t>(newline + 1 - statement), part);
    part->flags[2] |= endReached ? lineflag::kLastLine : 0;
    previous = part;
    statement = newline + 1;
  }
}

void MacroPreprocessor::skipAfterEnd(InputBuffer& input, LineInfo*& lastLine, bool& more) {
  InputBuffer::InputSource* source = input.top();
  bool isFile = source->kind == InputBuffer::kFileSource;
  const char* end = source->lineEnd;
  const char* cursor = source->cursor;
  if (cursor < end && !isFile) end = cursor + std::strlen(cursor);
  if (isFile && source->fileExhausted()) {
    // Ctrl-Z bytes that end a file are no line of it.
    const char* after = cursor;
    while (after < end && static_cast<uint8_t>(*after) == InputBuffer::kCtrlZ) ++after;
    if (after == end) cursor = source->cursor = end;
  }
  if (cursor >= end) {
    // The source has nothing left: it ends as any source does.
    if (hasStartMarker(*source)) {
      LineInfo* marker = appendLine(nullptr, takeLinePosition(input));
      marker->flags[3] |= lineflag::kEndOfFile;
      lastLine = marker;
    }
    more = input.popSource() != 0;
    return;
  }
  LinePosition position = takeLinePosition(input);
  const auto* newline = static_cast<const char*>(std::memchr(cursor, '\n', static_cast<size_t>(end - cursor)));
  const char* stop = newline ? newline + 1 : end;
  source->cursor = stop;
  if (newline) input.countNewline(source);
  // The text stays for the parser, which warns about text after .END; blank and
  // comment lines have none, as before .END.
  const char* textEnd = stop;
  if (const void* nul = std::memchr(cursor, '\0', static_cast<size_t>(stop - cursor)))
    textEnd = static_cast<const char*>(nul);
  while (textEnd > cursor && (textEnd[-1] == '\n' || textEnd[-1] == '\r')) --textEnd;
  lineText_.clear();
  for (const char* byte = cursor; byte < textEnd; ++byte)
    if (!isFile || static_cast<uint8_t>(*byte) != InputBuffer::kCtrlZ) lineText_.push_back(*byte);
  const char* first = lineText_.c_str();
  while (isBlankOrNewline(*first)) ++first;
  const char* text = nullptr;
  if (*first != '\0' && !isCommentStart(input, first)) {
    lineText_.push_back('\n');
    text = lineText_.c_str();
  }
  LineInfo* line = appendLine(text, position);
  if (!inExpansion && isFile) {
    auto length = static_cast<uint32_t>(stop - cursor);
    line->setSourceRange(static_cast<uint32_t>(position.startOffset),
                            static_cast<uint32_t>(position.startOffset) + length);
    source->lineOffset += static_cast<int32_t>(length);
  }
  line->flags[2] |= lineflag::kLastLine;
  if (!conditionTop->openingLine && conditionStack.empty()) conditionTop->openingLine = line;
  lastLine = line;
}

void MacroPreprocessor::reportOpenConditionals() {
  while (!conditionStack.empty()) {
    errorHandler()->report(E_mpp_eof_in_if, conditionTop->openingLine, tokenName(kMppEndif),
                           tokenName(kMppIf));
    closeConditional();
  }
}

void MacroPreprocessor::releaseConstructs() {
  if (released) return;
  // A macro whose body was being collected is in its scope, which owns it, unless
  // the run stopped before it got there.
  if (pendingConstruct && !(pendingConstruct->kind() == kMppMacroKind &&
                            isRegistered(static_cast<MppMacro*>(pendingConstruct))))
    delete pendingConstruct;
  pendingConstruct = nullptr;
  while (!macroScopes.empty() || !defineScopes.empty()) popScope();
  for (MppIfState* level : conditionStack) delete level;
  conditionStack.clear();
  openIfLines_.clear();
  delete conditionTop;
  conditionTop = nullptr;
  // A repeat construct belongs to its running expansion; a macro to its scope.
  for (MppExpand* expansion : expansionStack) {
    if (expansion->kind == MppExpand::kRepeat) delete expansion->construct;
    delete expansion;
  }
  expansionStack.clear();
  MemoryPools& pools = MemoryPools::instance();
  for (const char* name : {"MppDefine", "MppDup", "MppDupa", "MppDupc", "MppDupf", "MppExpand",
                           "MppIfState", "MppMacro", "MppMacroArgument"})
    if (MemPool* pool = pools.find(name)) pools.destroyRegistered(pool);
  released = true;
}
