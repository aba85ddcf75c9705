// Section directives: .SDECL declares a section, .SECT switches to one by name,
// .PREVIOUS returns to the one before.
#include <vector>

#include "parser/DirectiveOperands.h"
#include "parser/Directives.h"
#include "parser/SectionOperations.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

// The attributes of the declaration being read; kept between statements so that
// reading them allocates only while a longer list than before turns up.
struct RunDeclarationAttributes {
  std::vector<SectionAttribute> attributes;
};
std::vector<SectionAttribute>& declarationAttributes() { return runPart<RunDeclarationAttributes>().attributes; }

// The line's section is what the loop carries on; the frame's variable follows it.
void followLineSection(const Statement& statement) {
  if (statement.current) *statement.current = statement.line->section;
}

}  // namespace

bool directivePrevious(OrbaParser&, Statement& statement) {
  if (rejectLabel(statement)) return false;
  if (!selectPreviousSection(statement.line, statementName(statement))) return false;
  followLineSection(statement);
  return true;
}

bool directiveSdecl(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  std::vector<SectionAttribute>& attributes = declarationAttributes();
  attributes.clear();

  const char* name = scanStringLiteral(scanner, line);
  if (!name || !expectToken(scanner, kTokComma, ",", line)) return false;
  int32_t type = scanSectionType(scanner);
  if (type == 0) {
    errorHandler()->report(E_expected_token, line, "<type>");
    return false;
  }
  if (!scanSectionAttributeList(scanner, line, attributes)) return false;
  OrbaExpression* address = nullptr;
  if (scanner.peek() == kTokAt) {
    scanner.scan();
    address = scanExpression(scanner, line);
    if (!address) return false;
  }
  return declareSection(line, name, type, attributes, address);
}

bool directiveSect(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  const char* name = scanStringLiteral(scanner, line);
  if (!name) return false;
  int32_t reset = 0;
  if (scanner.peek() == kTokComma) {
    scanner.scan();
    if (!expectToken(scanner, kTokReset, "RESET", line)) return false;
    reset = kTokReset;
  }
  if (!selectSection(line, name, reset)) return false;
  followLineSection(statement);
  return true;
}
