// Fresh process-wide managers for one test, put back as they were afterwards: the
// library code under test reaches them through the OrbaState accessors.
#pragma once

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "flow/SymbolTable.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"

class ScopedManagers {
 public:
  enum Want : unsigned {
    kStrings = 1,      // string buffer
    kErrors = 2,       // error handler
    kLines = 4,        // line state with the source file "t.asm"
    kOptions = 8,      // options of a bare "vekt" command line
    kSymbols = 16,     // symbol table (made last: it reads the options)
    kExpressions = kStrings | kErrors | kLines,
    kAll = kStrings | kErrors | kLines | kOptions | kSymbols,
  };

  explicit ScopedManagers(unsigned want)
      : strings_(runState().stringBuffer),
        errors_(runState().errorHandler),
        lines_(runState().lineState),
        options_(runState().orbaOptions),
        symbols_(runState().symbolTable),
        want_(want) {
    if (want & kOptions) {
      char* argv[] = {program_, nullptr};
      runState().orbaOptions = new OrbaOptions(1, argv);
    }
    if (want & kStrings) runState().stringBuffer = new StringBuffer();
    if (want & kErrors) runState().errorHandler = new ErrorHandler();
    if (want & kLines) {
      runState().lineState = new LineState();
      runState().lineState->addSourceFile("t.asm");
    }
    if (want & kSymbols) runState().symbolTable = new SymbolTable();
  }

  ~ScopedManagers() {
    if (want_ & kSymbols) delete runState().symbolTable;
    if (want_ & kLines) delete runState().lineState;
    if (want_ & kErrors) delete runState().errorHandler;
    if (want_ & kStrings) delete runState().stringBuffer;
    if (want_ & kOptions) delete runState().orbaOptions;
    runState().stringBuffer = strings_;
    runState().errorHandler = errors_;
    runState().lineState = lines_;
    runState().orbaOptions = options_;
    runState().symbolTable = symbols_;
  }

  ScopedManagers(const ScopedManagers&) = delete;
  ScopedManagers& operator=(const ScopedManagers&) = delete;

 private:
  StringBuffer* strings_;
  ErrorHandler* errors_;
  LineState* lines_;
  RunSettings* options_;
  SymbolTable* symbols_;
  unsigned want_;
  char program_[5] = "vekt";
};
