// The keyword dispatch of the statement frame and the helpers its handlers share.
#include "parser/Directives.h"

#include <array>

#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"

namespace {

using HandlerTable = std::array<KeywordHandler, kTokDirectiveLast + 1>;

constexpr HandlerTable makeHandlerTable() {
  HandlerTable table{};
  for (int32_t code = kTokControlFirst; code <= kTokControlLast; ++code) table[code] = controlStatement;
  table[kTokAccum] = directiveAccum;
  table[kTokAlias] = directiveAlias;
  table[kTokAlign] = directiveAlign;
  table[kTokAscii] = directiveAscii;
  table[kTokAsciiz] = directiveAsciiz;
  table[kTokByte] = directiveByte;
  table[kTokCalls] = directiveCalls;
  table[kTokCompilerInvocation] = directiveCompilerInvocation;
  table[kTokCompilerName] = directiveCompilerName;
  table[kTokCompilerVersion] = directiveCompilerVersion;
  table[kTokDouble] = directiveDouble;
  table[kTokEnd] = directiveEnd;
  table[kTokEqu] = directiveEqu;
  table[kTokExtern] = directiveExtern;
  table[kTokFail] = directiveFail;
  table[kTokFloat] = directiveFloat;
  table[kTokFract] = directiveFract;
  table[kTokGlobal] = directiveGlobal;
  table[kTokHalf] = directiveHalf;
  table[kTokLoad] = directiveLoad;
  table[kTokLocal] = directiveLocal;
  table[kTokMessage] = directiveMessage;
  table[kTokMisrac] = directiveMisrac;
  table[kTokName] = directiveName;
  table[kTokOrg] = directiveOrg;
  table[kTokPrevious] = directivePrevious;
  table[kTokRadix] = directiveRadix;
  table[kTokSdecl] = directiveSdecl;
  table[kTokSect] = directiveSect;
  table[kTokSet] = directiveSet;
  table[kTokSfract] = directiveSfract;
  table[kTokSize] = directiveSize;
  table[kTokSpace] = directiveSpace;
  table[kTokType] = directiveType;
  table[kTokWarning] = directiveWarning;
  table[kTokWeak] = directiveWeak;
  table[kTokWord] = directiveWord;
  table[kTokCommentPrefix] = directiveCommentPrefix;
  return table;
}

constexpr HandlerTable kHandlers = makeHandlerTable();

}  // namespace

KeywordHandler keywordHandler(int32_t code) {
  if (code < kTokControlFirst || code > kTokDirectiveLast) return nullptr;
  return kHandlers[static_cast<size_t>(code)];
}

const char* statementName(const Statement& statement) {
  const char* name = keywordName(statement.keyword);
  return name ? name : "";
}

bool rejectLabel(const Statement& statement) {
  if (!statement.label) return false;
  errorHandler()->report(E_no_label_allowed, statement.line, statementName(statement));
  return true;
}

ControlState* copyLineControlState(const LineInfo* line) {
  OrbaFactory* factory = orbaFactory();
  return line->controlState ? factory->copyControlState(line->controlState) : factory->createControlState();
}

void giveLineControlState(LineInfo* line, ControlState* state) {
  if (line->controlState == state) return;
  // A control that changed nothing (a title, a scope or a switch set again, as a
  // macro body does at every call) leaves its line on the state it had: a copy per
  // such line would be kept, with its line, to the end of the run.
  if (line->controlState && state->sameSettings(*line->controlState)) {
    delete state;
    return;
  }
  // A state the line owns was made for this line alone and handed on to no line
  // yet: nothing else refers to it.
  if (line->ownsControlState()) delete line->controlState;
  line->controlState = state;
  line->setOwnsControlState(true);
}
