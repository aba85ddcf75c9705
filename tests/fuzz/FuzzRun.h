// A run of its own for one fuzz input: the input starts from the state a fresh run has,
// and its managers, parts and pools go when it is done, as at the end of a program run.
#pragma once

#include "driver/OrbaOptions.h"
#include "flow/SectionAdmin.h"
#include "flow/SymbolTable.h"
#include "isa/InstructionParser.h"
#include "output/DwarfAdmin.h"
#include "output/MetricsAdmin.h"
#include "preproc/LineState.h"
#include "preproc/OrbaPreprocessor.h"
#include "util/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/RunState.h"
#include "util/StringBuffer.h"

class FuzzRun {
 public:
  FuzzRun() = default;
  // In the order the assembler's tear-down takes; the factory is the caller's.
  ~FuzzRun() {
    RunState& state = run_.state();
    release(state.dwarfAdmin);
    release(state.instructionParser);
    release(state.lineState);
    release(state.metricsAdmin);
    release(state.preProcessor);
    release(state.sectionAdmin);
    release(state.stringBuffer);
    release(state.symbolTable);
    state.orbaFactory = nullptr;
    release(state.orbaOptions);
    release(state.errorHandler);
    release(state.dependencyHandler);
  }
  FuzzRun(const FuzzRun&) = delete;
  FuzzRun& operator=(const FuzzRun&) = delete;

 private:
  template <typename T>
  static void release(T*& manager) {
    delete manager;
    manager = nullptr;
  }
  ScopedRun run_;
};
