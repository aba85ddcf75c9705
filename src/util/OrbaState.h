// The process-wide managers. Each is created by the start-up in a fixed order and
// reached only through its accessor, which stops the program when it is still missing.
#pragma once

#include <cstdint>

#include "util/assertion.h"

class DwarfAdmin;
class ErrorHandler;
class DependencyHandler;
class InstructionParser;
class LineState;
class MetricsAdmin;
class OrbaPreprocessor;
class SectionAdmin;
class StringBuffer;
class SymbolTable;
class OrbaFactory;
class RunSettings;
class Section;

extern DwarfAdmin* _dwarfAdmin;
extern ErrorHandler* _errorHandler;
extern DependencyHandler* _dependencyHandler;
extern InstructionParser* _instructionParser;
extern LineState* _lineState;
extern MetricsAdmin* _metricsAdmin;
extern OrbaPreprocessor* _preProcessor;
extern SectionAdmin* _sectionAdmin;
extern StringBuffer* _stringBuffer;
extern SymbolTable* _symbolTable;
extern OrbaFactory* _orbaFactory;
extern RunSettings* _orbaOptions;

// The accessors keep the line numbers that the assertion text has always shown.
#define VEKT_STATE_ACCESSOR(type, member, fn, line)                    \
  inline type* fn() {                                                  \
    if (!member) vektAssertFailed(#member, "OrbaState", line, #fn);    \
    return member;                                                     \
  }

VEKT_STATE_ACCESSOR(DwarfAdmin, _dwarfAdmin, dwarfAdmin, 322)
VEKT_STATE_ACCESSOR(ErrorHandler, _errorHandler, errorHandler, 328)
VEKT_STATE_ACCESSOR(DependencyHandler, _dependencyHandler, dependencyHandler, 334)
VEKT_STATE_ACCESSOR(InstructionParser, _instructionParser, instructionParser, 340)
VEKT_STATE_ACCESSOR(LineState, _lineState, lineState, 346)
VEKT_STATE_ACCESSOR(MetricsAdmin, _metricsAdmin, metricsAdmin, 352)
VEKT_STATE_ACCESSOR(OrbaPreprocessor, _preProcessor, preProcessor, 358)
VEKT_STATE_ACCESSOR(SectionAdmin, _sectionAdmin, sectionAdmin, 364)
VEKT_STATE_ACCESSOR(StringBuffer, _stringBuffer, stringBuffer, 370)
VEKT_STATE_ACCESSOR(SymbolTable, _symbolTable, symbolTable, 376)
VEKT_STATE_ACCESSOR(OrbaFactory, _orbaFactory, orbaFactory, 382)
VEKT_STATE_ACCESSOR(RunSettings, _orbaOptions, orbaOptions, 388)

#undef VEKT_STATE_ACCESSOR

// The name of a source file by its index in the line state's table. The line state
// installs the lookup, so that the layers below it can name files without knowing it.
using SourceNameLookup = const char* (*)(int32_t index);
extern SourceNameLookup _sourceNameLookup;
inline const char* sourceFileName(int32_t index) {
  if (!_sourceNameLookup) vektAssertFailed("_lineState", "OrbaState", 346, "lineState");
  return _sourceNameLookup(index);
}

// Run-wide state that a subsystem keeps between calls. Each record is defined and
// stored by its subsystem; this is the one place that reaches it.
struct ObjectExprState;
ObjectExprState& objectExprState();
struct ExprParseState;
ExprParseState& exprParseState();
namespace opt {
struct ParseState;
}
opt::ParseState& optionParseState();

// The section of the lines before the first section directive; null until the
// section administration makes one.
extern Section* _placeholderSection;
inline Section* placeholderSection() { return _placeholderSection; }
