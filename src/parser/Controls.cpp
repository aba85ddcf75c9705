// Assembler controls: not handled yet, each reports its keyword as unsupported.
#include "parser/Directives.h"

bool controlStatement(OrbaParser& parser, Statement& statement) {
  return parser.unsupportedStatement(statement.line, statementName(statement));
}
