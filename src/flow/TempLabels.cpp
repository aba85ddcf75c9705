#include "flow/TempLabels.h"

#include <cstdio>
#include <string>

#include "util/OrbaState.h"
#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/StringBuffer.h"
#include "util/RunState.h"

namespace {

// Shared with generic instruction expansion, which numbers its labels the same way.
struct TempLabelCounter {
  unsigned long tempLabelCounter = 4294967295UL;
  bool takenEarly = false;
};
TempLabelCounter& tempLabelCounterState() { return runPart<TempLabelCounter>(); }

}  // namespace

void writeTempLabelName(char* out) {
  unsigned long number = tempLabelCounterState().tempLabelCounter--;
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  char* p = out;
  *p++ = '_';
  *p++ = '_';
  *p++ = 'T';
  while (count > 0) *p++ = digits[--count];
  *p = '\0';
}

const char* makeTempLabelName() {
  char name[kTempLabelNameRoom];
  writeTempLabelName(name);
  return stringBuffer()->intern(name);
}

void noteSymbolName(const char* name) {
  // The names compare ignoring letter case, so the letter counts in either case.
  if (!name || name[0] != '_' || name[1] != '_' || (name[2] != 'T' && name[2] != 't')) return;
  TempLabelCounter& state = tempLabelCounterState();
  if (state.takenEarly) return;
  const char* digits = name + 3;
  if (*digits < '0' || *digits > '9') return;
  unsigned long long number = 0;
  for (const char* p = digits; *p; ++p) {
    if (*p < '0' || *p > '9') return;
    // A number longer than any given out is no generated label's.
    if (p - digits >= 10) return;
    number = number * 10 + static_cast<unsigned long long>(*p - '0');
  }
  // A leading zero spells no name that is given out; counting it keeps the answer safe.
  if (number <= state.tempLabelCounter || digits[0] == '0') state.takenEarly = true;
}

bool isTempLabelName(const char* name) {
  if (!name || name[0] != '_' || name[1] != '_' || (name[2] != 'T' && name[2] != 't')) return false;
  const char* digits = name + 3;
  if (*digits < '0' || *digits > '9') return false;
  while (*digits >= '0' && *digits <= '9') ++digits;
  return *digits == '\0';
}

bool refuseTempLabelName(const char* name, const LineInfo* line) {
  if ((line && line->variant() >= 0) || !isTempLabelName(name)) return false;
  std::string text = std::string("\"") + name + "\" is reserved for labels the assembler generates";
  errorHandler()->report(E_error, line, text.c_str());
  return true;
}

bool tempLabelNameTakenEarly() { return tempLabelCounterState().takenEarly; }

unsigned long* freeTempLabelNumber() {
  TempLabelCounter& state = tempLabelCounterState();
  return state.takenEarly ? nullptr : &state.tempLabelCounter;
}

unsigned long nextTempLabelNumber() { return tempLabelCounterState().tempLabelCounter; }

void setNextTempLabelNumber(unsigned long number) { tempLabelCounterState().tempLabelCounter = number; }

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
  if (symbol) symbol->addReference(line);
  return symbol;
}
