// The binding operations of a symbol table scope: global, local, weak, external.
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

// What an earlier binding or definition that conflicts is called in E169, and which
// of the symbol's lines it was made at.
struct Conflict {
  const char* word;
  bool atDefinition;
};

constexpr Conflict kLocal = {"local", false};
constexpr Conflict kSet = {"set", true};
constexpr Conflict kEquate = {"equate", true};
constexpr Conflict kGlobal = {"global", false};
constexpr Conflict kExternal = {"external", false};
constexpr Conflict kWeak = {"weak", false};

int lineNumberOf(const LineInfo* line) { return line ? line->lineNumberSigned() : 0; }

// A symbol may be bound without a binding directive (a label made global by its
// section, a symbol the assembler made); the conflict then names the line the
// symbol was defined at.
int conflictLine(const Symbol* symbol, const Conflict& conflict) {
  if (conflict.atDefinition) return lineNumberOf(symbol->definitionLine);
  return lineNumberOf(symbol->bindingLine ? symbol->bindingLine : symbol->definitionLine);
}

Symbol* refuse(const char* directiveWord, const Symbol* symbol, const Conflict& conflict, const LineInfo* line) {
  errorHandler()->report(E_multiple_symbol_attribute, line, directiveWord, symbol->name, conflict.word,
                         conflictLine(symbol, conflict));
  return nullptr;
}

Symbol* bind(Symbol* symbol, int byte, uint8_t bit, LineInfo* line) {
  symbol->flags[byte] |= bit;
  symbol->bindingLine = line;
  return symbol;
}

// The symbol of the name in this scope only; made (and entered) when absent, with
// nothing set, so that every check passes. One probe serves both.
Symbol* findOrMake(SymbolTable::LocalSymbolTable& scope, const char* name, bool interned) {
  scope.owner->enterDeferredLabels();
  SymbolNames::Probe probe = scope.symbols.probeForInsert(name, SymbolNames::hashName(name));
  if (probe.found) return probe.found;
  Symbol* symbol = Symbol::create(interned ? name : stringBuffer()->intern(name), static_cast<int16_t>(scope.scopeId));
  if (symbol) scope.symbols.insert(probe, symbol);
  return symbol;
}

}  // namespace

Symbol* SymbolTable::LocalSymbolTable::declareGlobal(const char* name, LineInfo* line, bool interned) {
  Symbol* symbol = findOrMake(*this, name, interned);
  if (!symbol) return nullptr;
  if (symbol->isLocal()) return refuse("global", symbol, kLocal, line);
  if (symbol->isSet()) return refuse("global", symbol, kSet, line);
  if (symbol->isExternal()) return refuse("global", symbol, kExternal, line);
  if (symbol->isGlobal()) return symbol;
  return bind(symbol, 0, Symbol::kGlobal, line);
}

Symbol* SymbolTable::LocalSymbolTable::declareLocal(const char* name, LineInfo* line, bool interned) {
  Symbol* symbol = findOrMake(*this, name, interned);
  if (!symbol) return nullptr;
  if (symbol->isGlobal()) return refuse("local", symbol, kGlobal, line);
  if (symbol->isSet()) return refuse("local", symbol, kSet, line);
  if (symbol->isExternal()) return refuse("local", symbol, kExternal, line);
  if (symbol->isWeak()) return refuse("local", symbol, kWeak, line);
  if (symbol->isLocal()) return symbol;
  return bind(symbol, 1, Symbol::kLocal, line);
}

Symbol* SymbolTable::LocalSymbolTable::declareWeak(const char* name, LineInfo* line, bool interned) {
  Symbol* symbol = findOrMake(*this, name, interned);
  if (!symbol) return nullptr;
  if (symbol->isLocal()) return refuse("weak", symbol, kLocal, line);
  if (symbol->isSet()) return refuse("weak", symbol, kSet, line);
  if (symbol->isWeak()) return symbol;
  return bind(symbol, 1, Symbol::kWeak, line);
}

Symbol* SymbolTable::LocalSymbolTable::declareExternal(const char* name, LineInfo* line, bool interned) {
  Symbol* symbol = findOrMake(*this, name, interned);
  if (!symbol) return nullptr;
  if (symbol->isLocal()) return refuse("external", symbol, kLocal, line);
  if (symbol->isSet()) return refuse("external", symbol, kSet, line);
  if (symbol->isEquate()) return refuse("external", symbol, kEquate, line);
  if (symbol->isGlobal()) return refuse("external", symbol, kGlobal, line);
  if (symbol->isExternal()) return symbol;
  if (symbol->isDefined()) {
    errorHandler()->report(E_multiple_defined_symbol, line, symbol->name, lineNumberOf(symbol->definitionLine));
    return nullptr;
  }
  return bind(symbol, 0, Symbol::kExternal, line);
}
