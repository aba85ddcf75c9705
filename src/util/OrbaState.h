// The run's managers, kept in util/RunState.h. Each is created by the start-up in a
// fixed order and reached only through its accessor, which stops the program when it is
// still missing.
#pragma once

#include <cstdint>

#include "util/assertion.h"

#include "util/RunState.h"

// Each accessor names a fixed line in its assertion text, so that the message of a
// missing manager does not move when this header changes.
#define VEKT_STATE_ACCESSOR(type, member, fn, line)                    \
  inline type* fn() {                                                  \
    type* manager = runState().member;                                 \
    if (!manager) vektAssertFailed("_" #member, "OrbaState", line, #fn); \
    return manager;                                                    \
  }

VEKT_STATE_ACCESSOR(DwarfAdmin, dwarfAdmin, dwarfAdmin, 322)
VEKT_STATE_ACCESSOR(ErrorHandler, errorHandler, errorHandler, 328)
VEKT_STATE_ACCESSOR(DependencyHandler, dependencyHandler, dependencyHandler, 334)
VEKT_STATE_ACCESSOR(InstructionParser, instructionParser, instructionParser, 340)
VEKT_STATE_ACCESSOR(LineState, lineState, lineState, 346)
VEKT_STATE_ACCESSOR(MetricsAdmin, metricsAdmin, metricsAdmin, 352)
VEKT_STATE_ACCESSOR(OrbaPreprocessor, preProcessor, preProcessor, 358)
VEKT_STATE_ACCESSOR(SectionAdmin, sectionAdmin, sectionAdmin, 364)
VEKT_STATE_ACCESSOR(StringBuffer, stringBuffer, stringBuffer, 370)
VEKT_STATE_ACCESSOR(SymbolTable, symbolTable, symbolTable, 376)
VEKT_STATE_ACCESSOR(OrbaFactory, orbaFactory, orbaFactory, 382)
VEKT_STATE_ACCESSOR(RunSettings, orbaOptions, orbaOptions, 388)

#undef VEKT_STATE_ACCESSOR

// The name of a source file by its index in the line state's table. The line state
// installs the lookup, so that the layers below it can name files without knowing it.
using SourceNameLookup = const char* (*)(int32_t index);
inline const char* sourceFileName(int32_t index) {
  SourceNameLookup lookup = runState().sourceNameLookup;
  if (!lookup) vektAssertFailed("_lineState", "OrbaState", 346, "lineState");
  return lookup(index);
}

// Run-wide state that a subsystem keeps between calls. Each record is defined and
// stored by its subsystem; this is the one place that reaches it.
struct ObjectExprState;
ObjectExprState& objectExprState();
namespace opt {
struct ParseState;
}
opt::ParseState& optionParseState();

// The section of the lines before the first section directive; null until the
// section administration makes one.
inline Section* placeholderSection() { return runState().placeholderSection; }
