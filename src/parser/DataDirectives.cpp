// Data directives: each reads its operands as expressions and appends one data node
// that holds them unevaluated to the line's section.
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "flow/FConstant.h"
#include "flow/FFloatData.h"
#include "flow/Section.h"
#include "parser/DirectiveOperands.h"
#include "parser/Directives.h"
#include "parser/ExpressionEntry.h"
#include "parser/SymbolDefinitions.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

// The operands of the directive being read; kept between statements so that a line
// of data rarely allocates.
struct RunOperandList {
  std::vector<OrbaExpression*> operands;
};
std::vector<OrbaExpression*>& operandList() { return runPart<RunOperandList>().operands; }

// Comma-separated operands in which an empty operand is the integer 0: no operand at
// all gives one 0, a trailing comma a last 0.
bool scanNumericOperands(Scanner& scanner, const LineInfo* line, std::vector<OrbaExpression*>& operands) {
  operands.clear();
  for (;;) {
    int32_t next = scanner.peek();
    if (next == kTokEndOfLine) {
      operands.push_back(TEInteger::create(0));
      return true;
    }
    if (next == kTokComma) {
      operands.push_back(TEInteger::create(0));
      scanner.scan();
      continue;
    }
    OrbaExpression* operand = scanExpression(scanner, line);
    if (!operand) {
      operands.clear();
      return false;
    }
    operands.push_back(operand);
    if (scanner.peek() != kTokComma) return true;
    scanner.scan();
  }
}

// A string operand of .HALF or .WORD becomes the integer of its first characters.
void packStringOperands(std::vector<OrbaExpression*>& operands, uint32_t characters, const LineInfo* line) {
  for (OrbaExpression*& operand : operands) {
    if (!isStringExpression(operand)) continue;
    uint64_t value = 0;
    bool truncated = packCharacters(operand->getString(), operand->getStringLength(), &value, characters);
    releaseTempExpression(operand);
    operand = TEInteger::create(static_cast<int64_t>(value));
    if (truncated) errorHandler()->report(W_string_value_truncated, line, static_cast<int>(characters));
  }
}

// The label right before the data becomes a data object; then the node goes in.
bool appendData(LineInfo* line, FDataNode* node, const std::vector<OrbaExpression*>& operands) {
  for (OrbaExpression* operand : operands) node->addValue(operand);
  typePendingLabelAsObject(line->section);
  if (line->section) line->section->addNode(node, true);
  return true;
}

bool constantDirective(OrbaParser& parser, Statement& statement, FConstant::Directive directive) {
  std::vector<OrbaExpression*>& operands = operandList();
  if (!scanNumericOperands(parser.scanner(), statement.line, operands)) return false;
  if (directive == FConstant::kHalf) packStringOperands(operands, 2, statement.line);
  if (directive == FConstant::kWord) packStringOperands(operands, 4, statement.line);
  return appendData(statement.line, FConstant::create(directive, statement.line), operands);
}

bool floatDirective(OrbaParser& parser, Statement& statement, FFloat::Directive directive) {
  std::vector<OrbaExpression*>& operands = operandList();
  if (!scanNumericOperands(parser.scanner(), statement.line, operands)) return false;
  return appendData(statement.line, FFloat::create(directive, statement.line), operands);
}

bool fractDirective(OrbaParser& parser, Statement& statement, FFract::Directive directive) {
  std::vector<OrbaExpression*>& operands = operandList();
  if (!scanNumericOperands(parser.scanner(), statement.line, operands)) return false;
  return appendData(statement.line, FFract::create(directive, statement.line), operands);
}

// .ASCII and .ASCIIZ: every operand must be there; each must be a text (E238, and an
// empty text in its place), and .ASCIIZ ends each with a zero.
bool textDirective(OrbaParser& parser, Statement& statement, FConstant::Directive directive) {
  Scanner& scanner = parser.scanner();
  std::vector<OrbaExpression*>& operands = operandList();
  operands.clear();
  for (;;) {
    OrbaExpression* operand = scanExpression(scanner, statement.line);
    if (!operand) return false;
    operands.push_back(operand);
    if (scanner.peek() != kTokComma) break;
    scanner.scan();
  }
  FConstant* node = FConstant::create(directive, statement.line);
  for (OrbaExpression* operand : operands) node->addOperand(operand);
  typePendingLabelAsObject(statement.line->section);
  if (statement.line->section) statement.line->section->addNode(node, true);
  return true;
}

}  // namespace

bool directiveByte(OrbaParser& parser, Statement& statement) {
  return constantDirective(parser, statement, FConstant::kByte);
}

bool directiveHalf(OrbaParser& parser, Statement& statement) {
  return constantDirective(parser, statement, FConstant::kHalf);
}

bool directiveWord(OrbaParser& parser, Statement& statement) {
  return constantDirective(parser, statement, FConstant::kWord);
}

bool directiveAscii(OrbaParser& parser, Statement& statement) {
  return textDirective(parser, statement, FConstant::kAscii);
}

bool directiveAsciiz(OrbaParser& parser, Statement& statement) {
  return textDirective(parser, statement, FConstant::kAsciiz);
}

bool directiveFloat(OrbaParser& parser, Statement& statement) {
  return floatDirective(parser, statement, FFloat::kFloat);
}

bool directiveDouble(OrbaParser& parser, Statement& statement) {
  return floatDirective(parser, statement, FFloat::kDouble);
}

bool directiveFract(OrbaParser& parser, Statement& statement) {
  return fractDirective(parser, statement, FFract::kFract);
}

bool directiveSfract(OrbaParser& parser, Statement& statement) {
  return fractDirective(parser, statement, FFract::kSfract);
}

bool directiveAccum(OrbaParser& parser, Statement& statement) {
  return fractDirective(parser, statement, FFract::kAccum);
}
