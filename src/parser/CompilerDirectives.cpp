// The compiler-record directives: the compiler's name, version and command line, the
// MISRA-C settings, the module name and call-graph records with stack usage. Each
// becomes a node that takes no place in its section; the object output carries it
// into the object file.
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "flow/FCalls.h"
#include "flow/FCompilerInfo.h"
#include "flow/FMisraC.h"
#include "flow/FName.h"
#include "flow/Section.h"
#include "parser/CompilerRecords.h"
#include "parser/DirectiveOperands.h"
#include "parser/Directives.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

void appendNode(LineInfo* line, FlowNode* node) {
  if (line->section) line->section->addNode(node, true);
}

// The once rule of a kind: the node while the kind is open, else the warning.
template <typename Node>
bool recordOnce(bool& open, int32_t warningId, LineInfo* line, const char* text, const char* directive) {
  if (!open) {
    errorHandler()->report(warningId, line, directive);
    return false;
  }
  appendNode(line, new Node(line, text));
  open = false;
  return true;
}

// The directives that take one string literal.
bool textDirective(OrbaParser& parser, Statement& statement,
                   bool (*record)(LineInfo*, const char*, const char*)) {
  if (rejectLabel(statement)) return false;
  const char* text = scanStringLiteral(parser.scanner(), statement.line);
  if (!text) return false;
  return record(statement.line, text, statementName(statement));
}

// The values of the .CALLS being read; kept between statements so that a line
// rarely allocates.
struct RunCallsValues {
  std::vector<OrbaExpression*> values;
};
std::vector<OrbaExpression*>& callsValues() { return runPart<RunCallsValues>().values; }

// A value whose verdict cannot change (it refers to no symbol) is judged now, so that
// a wrong one is reported where the source is checked; 0 takes its place, as the
// object output would record it. The others are judged when the node is written.
OrbaExpression* checkedStackUsage(OrbaExpression* value, LineInfo* line) {
  uint32_t bytes = 0;
  if (value->countSymbolReferences() != 0 || FCalls::stackUsageBytes(value, &bytes)) return value;
  errorHandler()->report(E_calls_invalid_stack_usage, line);
  return TEInteger::create(0);
}

}  // namespace

CompilerRecordState& compilerRecordState() { return runPart<CompilerRecordState>(); }

bool recordCompilerVersion(LineInfo* line, const char* text, const char* directive) {
  return recordOnce<FCompilerVers>(compilerRecordState().versionOpen, W_multiple_compiler_data_ignored, line,
                                   text, directive);
}

bool recordCompilerName(LineInfo* line, const char* text, const char* directive) {
  return recordOnce<FCompilerName>(compilerRecordState().nameOpen, W_multiple_compiler_data_ignored, line, text,
                                   directive);
}

bool recordCompilerInvocation(LineInfo* line, const char* text, const char* directive) {
  return recordOnce<FCompilerInvoc>(compilerRecordState().invocationOpen, W_multiple_compiler_data_ignored,
                                    line, text, directive);
}

bool recordMisraC(LineInfo* line, const char* text, const char* directive) {
  CompilerRecordState& state = compilerRecordState();
  // The object file has no form for empty settings; a later, proper .MISRAC may
  // still give them.
  if (state.misraOpen && (!text || !*text)) {
    errorHandler()->report(E_invalid_arguments, line, directive);
    return false;
  }
  return recordOnce<FMisraC>(state.misraOpen, W_multiple_misra_c_ignored, line, text, directive);
}

bool recordModuleName(LineInfo* line, const char* text, const char* directive) {
  return recordOnce<FName>(compilerRecordState().moduleNameOpen, W_multiple_compiler_data_ignored, line, text,
                           directive);
}

bool createCallsNode(LineInfo* line, const char* caller, const char* callee,
                     const std::vector<OrbaExpression*>& values) {
  auto* node = new FCalls(line, caller, callee);
  node->values = values;
  appendNode(line, node);
  ++compilerRecordState().callRecordCount;
  return true;
}

bool directiveCompilerVersion(OrbaParser& parser, Statement& statement) {
  return textDirective(parser, statement, recordCompilerVersion);
}

bool directiveCompilerName(OrbaParser& parser, Statement& statement) {
  return textDirective(parser, statement, recordCompilerName);
}

bool directiveCompilerInvocation(OrbaParser& parser, Statement& statement) {
  return textDirective(parser, statement, recordCompilerInvocation);
}

bool directiveMisrac(OrbaParser& parser, Statement& statement) {
  return textDirective(parser, statement, recordMisraC);
}

bool directiveName(OrbaParser& parser, Statement& statement) {
  return textDirective(parser, statement, recordModuleName);
}

bool directiveCalls(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  std::vector<OrbaExpression*>& values = callsValues();
  values.clear();

  const char* caller = scanStringLiteral(scanner, line);
  if (!caller) return false;
  if (!expectToken(scanner, kTokComma, ",", line)) return false;
  const char* callee = scanStringLiteral(scanner, line);
  if (!callee) return false;

  // Every value is read, so that the whole line is checked, but the call graph has
  // places for the first two only.
  bool extraValues = false;
  if (scanner.peek() == kTokComma) {
    scanner.scan();
    for (;;) {
      OrbaExpression* value = scanExpression(scanner, line);
      if (!value) return false;
      if (values.size() < FCalls::kStackUsageSlots)
        values.push_back(value);
      else
        extraValues = true;
      if (scanner.peek() != kTokComma) break;
      scanner.scan();
    }
  }
  for (OrbaExpression*& value : values) value = checkedStackUsage(value, line);
  if (extraValues) errorHandler()->report(W_additional_arguments, line, statementName(statement));
  return createCallsNode(line, caller, callee, values);
}
