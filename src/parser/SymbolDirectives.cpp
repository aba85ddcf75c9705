// Symbol directives: the bindings (.GLOBAL, .LOCAL, .WEAK, .EXTERN), .LOAD, and the
// value, size, type and alias of a symbol (.EQU, .SET, .ALIAS, .SIZE, .TYPE).
#include <vector>

#include "flow/FLoad.h"
#include "flow/FSymbolDefinition.h"
#include "flow/Section.h"
#include "flow/SymbolTable.h"
#include "isa/GenericExpansion.h"
#include "parser/DirectiveOperands.h"
#include "parser/Directives.h"
#include "parser/SymbolDefinitions.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace {

// The names of the binding statement being read; all are bound only once the whole
// list has been read. Kept between statements, so that it rarely allocates.
struct RunBindingNames {
  std::vector<const char*> names;
};
std::vector<const char*>& bindingNames() { return runPart<RunBindingNames>().names; }

// Names separated by commas; a comma always asks for another name.
bool scanNameList(Scanner& scanner, const LineInfo* line, std::vector<const char*>& names) {
  for (;;) {
    const char* name = scanName(scanner, line);
    if (!name) return false;
    names.push_back(name);
    if (scanner.peek() != kTokComma) return true;
    scanner.scan();
  }
}

SymbolTable::LocalSymbolTable* moduleScope() {
  SymbolTable* table = symbolTable();
  auto found = table->scopes.find(0);
  return found != table->scopes.end() ? found->second : table->current;
}

using Declare = Symbol* (SymbolTable::LocalSymbolTable::*)(const char*, LineInfo*, bool);

// Reads the name list and binds each name in scope; a refused name is skipped and
// the others are still bound.
bool bindNames(OrbaParser& parser, Statement& statement, SymbolTable::LocalSymbolTable* scope, Declare declare,
               bool externNodes) {
  std::vector<const char*>& names = bindingNames();
  names.clear();
  LineInfo* line = statement.line;
  if (!scanNameList(parser.scanner(), line, names)) return false;
  // The scanned names are interned already.
  for (const char* name : names) {
    if (isa::refuseGeneratedLabelName(name, line)) continue;
    Symbol* symbol = (scope->*declare)(name, line, true);
    // The node keeps the external symbol in the object file even when nothing uses it.
    if (symbol && externNodes && line->section) line->section->addNode(new FExtern(line, symbol), true);
  }
  return true;
}

// The name that .EQU and .SET define: the label, or the first operand.
const char* definedName(Scanner& scanner, const Statement& statement) {
  if (statement.label) return statement.label;
  return scanName(scanner, statement.line);
}

bool colonRefused(const Statement& statement) {
  if (!statement.label || !statement.labelColon) return false;
  errorHandler()->report(E_no_colon_allowed, statement.line, statementName(statement));
  return true;
}

// .EQU and .SET: "name .EQU value" or ".EQU name value"; in the second form a comma
// may stand between name and value, as the preprocessor reads the same line.
bool readDefinition(OrbaParser& parser, const Statement& statement, const char** name, OrbaExpression** value) {
  if (colonRefused(statement)) return false;
  Scanner& scanner = parser.scanner();
  *name = definedName(scanner, statement);
  if (!*name) return false;
  if (!statement.label && scanner.peek() == kTokComma) scanner.scan();
  *value = scanExpression(scanner, statement.line);
  return *value != nullptr;
}

bool labelRequired(const Statement& statement) {
  if (statement.label) return true;
  errorHandler()->report(E_label_expected, statement.line, statementName(statement));
  return false;
}

}  // namespace

bool directiveGlobal(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  return bindNames(parser, statement, moduleScope(), &SymbolTable::LocalSymbolTable::declareGlobal, false);
}

bool directiveLocal(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  return bindNames(parser, statement, symbolTable()->current, &SymbolTable::LocalSymbolTable::declareLocal, false);
}

bool directiveWeak(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  return bindNames(parser, statement, moduleScope(), &SymbolTable::LocalSymbolTable::declareWeak, false);
}

bool directiveExtern(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  Scanner& scanner = parser.scanner();
  if (scanner.peek() == kTokOpenParen) {
    // Names in parentheses before the list are read and have no effect.
    scanner.scan();
    std::vector<const char*>& names = bindingNames();
    names.clear();
    if (!scanNameList(scanner, statement.line, names)) return false;
    if (!expectToken(scanner, kTokCloseParen, ")", statement.line)) return false;
  }
  return bindNames(parser, statement, moduleScope(), &SymbolTable::LocalSymbolTable::declareExternal, true);
}

bool directiveLoad(OrbaParser& parser, Statement& statement) {
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  const char* fileName = scanStringLiteral(scanner, line);
  if (!fileName) return false;
  OrbaExpression* size = nullptr;
  if (scanner.peek() == kTokComma) {
    scanner.scan();
    size = scanExpression(scanner, line);
    if (!size) return false;
  }
  if (line->section) line->section->addNode(new FLoad(line, fileName, size, line->section), true);
  return true;
}

bool directiveEqu(OrbaParser& parser, Statement& statement) {
  const char* name = nullptr;
  OrbaExpression* value = nullptr;
  if (!readDefinition(parser, statement, &name, &value)) return false;
  return defineEquate(statement.line, statement.label, statement.label ? nullptr : name, value);
}

bool directiveSet(OrbaParser& parser, Statement& statement) {
  const char* name = nullptr;
  OrbaExpression* value = nullptr;
  if (!readDefinition(parser, statement, &name, &value)) return false;
  return defineSetSymbol(statement.line, statement.label, statement.label ? nullptr : name, value,
                         statementName(statement));
}

bool directiveAlias(OrbaParser& parser, Statement& statement) {
  if (!labelRequired(statement) || colonRefused(statement)) return false;
  const char* target = scanName(parser.scanner(), statement.line);
  if (!target) return false;
  return defineAlias(statement.line, statement.label, target);
}

bool directiveSize(OrbaParser& parser, Statement& statement) {
  if (rejectLabel(statement)) return false;
  Scanner& scanner = parser.scanner();
  const char* name = scanName(scanner, statement.line);
  if (!name || !expectToken(scanner, kTokComma, ",", statement.line)) return false;
  OrbaExpression* size = scanExpression(scanner, statement.line);
  if (!size) return false;
  return setSymbolSize(statement.line, name, size);
}

bool directiveType(OrbaParser& parser, Statement& statement) {
  if (!labelRequired(statement)) return false;
  const char* word = scanName(parser.scanner(), statement.line);
  if (!word) return false;
  return applySymbolType(statement.line, word);
}
