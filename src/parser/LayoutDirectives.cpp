// Layout directives: .ALIGN pads to a boundary, .SPACE reserves storage, .ORG opens a
// nameless section.
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/FAlign.h"
#include "flow/FStorage.h"
#include "flow/Section.h"
#include "parser/DirectiveOperands.h"
#include "parser/Directives.h"
#include "parser/SectionOperations.h"
#include "parser/SymbolDefinitions.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

struct RunOriginAttributes {
  std::vector<SectionAttribute> attributes;
};
std::vector<SectionAttribute>& originAttributes() { return runPart<RunOriginAttributes>().attributes; }

}  // namespace

bool directiveAlign(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  LineInfo* line = statement.line;
  OrbaExpression* alignment = scanExpression(parser.scanner(), line);
  if (!alignment) return false;
  // The value is the node's to check when the section is laid out.
  if (!line->section) return true;
  auto* node = new FAlign(line, alignment, line->section);
  line->section->addNode(node, true);
  // Before any section the node opens the default section: its fill and rounding
  // are that section's.
  node->codeSection = line->section->isCode() ? 1 : 0;
  node->powerOfTwo = line->section->flags.powerOfTwoAlignment() ? 1 : 0;
  return true;
}

bool directiveSpace(OrbaParser& parser, Statement& statement) {
  LineInfo* line = statement.line;
  OrbaExpression* size = scanExpression(parser.scanner(), line);
  if (!size) return false;
  // The size must be known where the directive stands: nothing after it may change
  // what comes before it.
  if (hasForwardReference(size)) {
    errorHandler()->report(E_no_forward_reference_allowed, line);
    releaseTempExpression(size);
    return false;
  }
  typePendingLabelAsObject(line->section);
  if (line->section) line->section->addNode(new FStorage(line, size, line->section), true);
  return true;
}

bool directiveOrg(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  std::vector<SectionAttribute>& attributes = originAttributes();
  attributes.clear();

  OrbaExpression* address = nullptr;
  int32_t next = scanner.peek();
  if (next != kTokComma && next != kTokEndOfLine) {
    address = scanExpression(scanner, line);
    if (!address) return false;
  }
  int32_t type = 0;
  if (scanner.peek() == kTokComma) {
    scanner.scan();
    type = scanSectionType(scanner);
    if (type == 0) {
      errorHandler()->report(E_expected_token, line, "<type>");
      return false;
    }
    if (!scanSectionAttributeList(scanner, line, attributes)) return false;
  }
  openNamelessSection(line, address, type, attributes);
  if (statement.current) *statement.current = line->section;
  return true;
}
