// Compiler-record directives: not handled yet, each reports its keyword as unsupported.
#include "parser/Directives.h"

bool directiveCalls(OrbaParser& parser, Statement& statement) {
  return parser.unsupportedStatement(statement.line, statementName(statement));
}

bool directiveCompilerInvocation(OrbaParser& parser, Statement& statement) {
  return parser.unsupportedStatement(statement.line, statementName(statement));
}

bool directiveCompilerName(OrbaParser& parser, Statement& statement) {
  return parser.unsupportedStatement(statement.line, statementName(statement));
}

bool directiveCompilerVersion(OrbaParser& parser, Statement& statement) {
  return parser.unsupportedStatement(statement.line, statementName(statement));
}

bool directiveMisrac(OrbaParser& parser, Statement& statement) {
  return parser.unsupportedStatement(statement.line, statementName(statement));
}

bool directiveName(OrbaParser& parser, Statement& statement) {
  return parser.unsupportedStatement(statement.line, statementName(statement));
}
