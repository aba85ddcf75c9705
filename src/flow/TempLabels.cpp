#include "flow/TempLabels.h"

#include <cstdio>

#include "util/OrbaState.h"
#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/LineInfo.h"
#include "util/StringBuffer.h"
#include "util/RunState.h"

namespace {

// Shared with generic instruction expansion, which numbers its labels the same way.
struct TempLabelCounter {
  unsigned long tempLabelCounter = 4294967295UL;
};
TempLabelCounter& tempLabelCounterState() { return runPart<TempLabelCounter>(); }

}  // namespace

const char* makeTempLabelName() {
  char name[32];
  std::snprintf(name, sizeof name, "%s%lu", "__T", tempLabelCounterState().tempLabelCounter--);
  return stringBuffer()->intern(name);
}

Symbol* defineTempLabel(const char* name, LineInfo* line) {
  SymbolTable::LocalSymbolTable* scope = symbolTable()->current;
  if (!scope) return nullptr;
  Symbol* symbol = scope->defineSymbol(name, line);
  if (symbol && line) symbol->section = line->section;
  return symbol;
}

Symbol* makeGeneratedLabel(LineInfo* line) {
  Symbol* symbol = defineTempLabel(makeTempLabelName(), line);
  if (!symbol) return nullptr;
  symbol->flags[0] = static_cast<uint8_t>((symbol->flags[0] | Symbol::kInternal) & ~Symbol::kGlobal);
  symbol->flags[1] |= Symbol::kLocal;
  if (line && line->section) line->section->addNode(new FLabel(line, symbol), true);
  return symbol;
}

Symbol* makeLocationCounterLabel(LineInfo* line) {
  Symbol* symbol = makeGeneratedLabel(line);
  if (symbol) symbol->references.push_back(line);
  return symbol;
}
