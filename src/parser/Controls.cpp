// The dispatch of the assembler controls and the helpers their handlers share.
#include "parser/Controls.h"

#include "expr/OrbaExpression.h"
#include "flow/Section.h"
#include "parser/Directives.h"
#include "parser/LineFlags.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

bool runControl(OrbaParser& parser, Statement& statement) {
  int32_t code = statement.keyword;
  if ((code >= kTokDefectFirst && code <= kTokDefectLast) || (code >= kTokTc112First && code <= kTokTc113Last) ||
      code == kTokDmuTc001 || code == kTokPmiTc003 || code == kTokPmuTc004)
    return defectControl(parser, statement);
  switch (code) {
    case kTokCase:
      return caseControl(parser, statement);
    case kTokTc13:
    case kTokTc131:
    case kTokTc16:
    case kTokTc16x:
      return coreControl(parser, statement);
    case kTokFpu:
    case kTokNoFpu:
    case kTokMmu:
    case kTokHwOnly:
      return instructionGroupControl(parser, statement);
    case kTokList:
      return listControl(parser, statement);
    case kTokPage:
      return pageControl(parser, statement);
    case kTokTitle:
    case kTokStitle:
      return titleControl(parser, statement);
    case kTokPrctl:
      return printerControl(parser, statement);
    case kTokDebug:
      return debugControl(parser, statement);
    case kTokIdent:
      return identControl(parser, statement);
    case kTokWarningControl:
      return warningControl(parser, statement);
    case kTokObject:
      return objectControl(parser, statement);
    default:
      return parser.unsupportedStatement(statement.line, statementName(statement));
  }
}

}  // namespace

bool controlStatement(OrbaParser& parser, Statement& statement) {
  // Every control stands alone on its line.
  if (rejectLabel(statement)) return false;
  bool done = runControl(parser, statement);
  // Nothing of the assembly reads a control's line after its statement (a state of
  // its own or a diagnostic keeps it anyway): a macro that sets a control at every
  // call would otherwise keep a line per call.
  lineLetGo(statement.line);
  return done;
}

void markControlLine(LineInfo* line) { line->flags[1] |= lineflag::kControlLine; }

int32_t scanOnOff(Scanner& scanner, const LineInfo* line) {
  int32_t token = scanner.scan();
  if (token == kTokOn) return 1;
  if (token == kTokOff) return 0;
  errorHandler()->report(E_expected_token, line, "OFF");
  return -1;
}

int64_t evalAbsoluteInteger(OrbaExpression* expression, const LineInfo* line, const char* control) {
  if (!expression) return -1;
  OrbaExpression* value = expression->evaluate();
  if (value && !value->isError() && value->getKind() == EK_integer && isConstantValue(value))
    return value->getInteger();
  errorHandler()->report(E_absolute_integer_expression_expected, line, control);
  return -1;
}
