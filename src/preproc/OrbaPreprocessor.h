// The preprocessor frame, which is also the plain preprocessor: every text line of
// the input becomes one line to assemble. The macro preprocessor builds on it.
#pragma once

#include <cstdint>
#include <memory>

#include "util/ControlState.h"
#include "util/c-buffer.h"

class InputBuffer;
struct LineInfo;

class OrbaPreprocessor {
 public:
  OrbaPreprocessor();
  virtual ~OrbaPreprocessor();
  OrbaPreprocessor(const OrbaPreprocessor&) = delete;
  OrbaPreprocessor& operator=(const OrbaPreprocessor&) = delete;

  // Reads the input file ("-": the standard input) and everything it brings in into
  // the line state. A file that cannot be opened is F001.
  virtual void openSource(const char* fileName);
  virtual int isMacroPreprocessor() const { return 0; }
  // Turns everything the buffer delivers into lines: a backslash before the end of
  // a line joins the next one, carriage returns are dropped, and an invalid
  // character is left out and reported (E296, once per line). The lines are framed
  // by a start-of-file and an end-of-file marker.
  virtual void readLines(InputBuffer& input);

  // Reading in steps, for a parser that takes each line as it is made: startSource
  // opens the input as openSource does, each readMore makes at least one line or
  // retires a source and returns false once the input is done, and finishSource
  // releases what the reading kept (the caller settles the symbol table). This frame
  // reads everything at the start.
  virtual void startSource(const char* fileName) { openSource(fileName); }
  virtual bool readMore() { return false; }
  virtual void finishSource() {}
  // Whether the reading may still come back to a line it made (a conditional, an
  // expansion or a block body is open): until it says no, such lines stay.
  virtual bool holdsLines() const { return false; }
  // Whether the reading may still come back to this line, one that the parse has
  // passed: only such a line must stay while holdsLines says that some may.
  virtual bool holdsLine(const LineInfo& /*line*/) const { return holdsLines(); }

  ControlState* controlState() const { return controlState_.get(); }

 protected:
  // The control state of every line read; it outlives the lines, which the line
  // state deletes first.
  std::unique_ptr<ControlState> controlState_;

 private:
  CBuffer lineText_;  // the line being put together, reused for every line
};
