// The hand-off from the preprocessor to the parser: the parser asks for the next line
// and the preprocessor reads on until that line is settled (the preprocessor makes no
// further change to it). Each side keeps what it would have had if the whole source
// had been preprocessed before the parse: its own symbol table, the run settings of
// the command line for the preprocessor, and the order of the diagnostics.
#pragma once

#include "preproc/LineState.h"
#include "util/LineInfo.h"
#include "util/RunSettings.h"

class OrbaPreprocessor;
class SymbolTable;

class LineStream {
 public:
  // Opens the source with the preprocessor. The run's symbol table is the parser's
  // from here on; the preprocessor gets a table of its own.
  LineStream(OrbaPreprocessor& preprocessor, const char* fileName);
  ~LineStream();
  LineStream(const LineStream&) = delete;
  LineStream& operator=(const LineStream&) = delete;

  // The line after `line` (the first line when null) once it is settled; null when
  // the input is done and there is none. Nearly every call finds the line made
  // already: only the last line made sends the preprocessor on.
  LineInfo* lineAfter(LineInfo* line) {
    LineInfo* next = line ? line->next.get() : lines_->first();
    // The preprocessor may still add to the last line it made (its END mark, a split,
    // a diagnostic read with the next line).
    if (next && next != lines_->last()) return next;
    return settledAfter(line);
  }
  // Reads the rest of the input and finishes the preprocessor (idempotent).
  void finish();
  bool finished() const { return finished_; }
  // Whether the parse may let go of the lines it is done with: nothing reads them
  // after the parse (no list file). Set by the run.
  bool letsGoOfLines() const { return letGo_; }
  void setLetsGoOfLines(bool letGo) { letGo_ = letGo; }
  // Whether the preprocessor may still come back to lines it made.
  bool preprocessorHoldsLines() const;
  // Whether it may still come back to this line, which the parse has passed.
  bool preprocessorHoldsLine(const LineInfo& line) const;

 private:
  // The preprocessor reads a few dozen lines in one stay in its own world, where a
  // stay per line cost as much as reading the line; it stops where it holds no line
  // if it can, so that the lines the parse passed need not wait for it.
  static constexpr int kTurnsPerStay = 64;
  static constexpr int kMostTurnsPerStay = 16 * kTurnsPerStay;
  LineInfo* settledAfter(LineInfo* line);
  // A stay of the preprocessor in its own world; false when the input is done.
  bool readTurns();
  void enterPreprocessor();
  void leavePreprocessor();
  static void finishFromHandler(void* stream);

  OrbaPreprocessor& preprocessor_;
  LineState* lines_;
  // The table the preprocessor does not use at the moment: its own while the parser
  // runs, the parser's while the preprocessor reads. Owned while it is the former.
  SymbolTable* otherSymbols_;
  RunSettings::ParseControlled preprocessorSettings_;
  RunSettings::ParseControlled parserSettings_;
  bool inputDone_ = false;
  bool finished_ = false;
  bool letGo_ = false;
  bool insidePreprocessor_ = false;  // between enterPreprocessor and leavePreprocessor
};
