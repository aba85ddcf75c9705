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
      : strings_(_stringBuffer),
        errors_(_errorHandler),
        lines_(_lineState),
        options_(_orbaOptions),
        symbols_(_symbolTable),
        want_(want) {
    if (want & kOptions) {
      char* argv[] = {program_, nullptr};
      _orbaOptions = new OrbaOptions(1, argv);
    }
    if (want & kStrings) _stringBuffer = new StringBuffer();
    if (want & kErrors) _errorHandler = new ErrorHandler();
    if (want & kLines) {
      _lineState = new LineState();
      _lineState->addSourceFile("t.asm");
    }
    if (want & kSymbols) _symbolTable = new SymbolTable();
  }

  ~ScopedManagers() {
    if (want_ & kSymbols) delete _symbolTable;
    if (want_ & kLines) delete _lineState;
    if (want_ & kErrors) delete _errorHandler;
    if (want_ & kStrings) delete _stringBuffer;
    if (want_ & kOptions) delete _orbaOptions;
    _stringBuffer = strings_;
    _errorHandler = errors_;
    _lineState = lines_;
    _orbaOptions = options_;
    _symbolTable = symbols_;
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
