// The preprocessor frame, which is also the plain preprocessor: every text line of
// the input becomes one line to assemble. The macro preprocessor builds on it.
#pragma once

#include <cstdint>
#include <memory>

#include "util/ControlState.h"
#include "util/c-buffer.h"

class InputBuffer;

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

  ControlState* controlState() const { return controlState_.get(); }

 protected:
  // The control state of every line read; it outlives the lines, which the line
  // state deletes first.
  std::unique_ptr<ControlState> controlState_;

 private:
  CBuffer lineText_;  // the line being put together, reused for every line
};

// The macro preprocessor, the default one. Its line loop and directives are still
// to come: until then it reads like the plain preprocessor, with the -H files
// ahead of the input. What is here already is its frame (input and -H files on
// the source stack) and its directive scanner (TokenScanner.cpp).
class MacroPreprocessor : public OrbaPreprocessor {
 public:
  MacroPreprocessor() = default;

  // Opens the input file and pushes the -H files above it, last first, so that the
  // first -H file is read first; a file that cannot be opened is F001.
  void openSource(const char* fileName) override;
  int isMacroPreprocessor() const override { return 1; }

  // Reads one token from the top source's line at its cursor and returns its code
  // (MppToken). Keywords match in any letter case. Sets the token start, and for a
  // string its end (the closing quote); counts blank runs and, in a file, newlines.
  static int32_t scanToken(InputBuffer& input);
  // scanToken with the token start and end cleared first.
  static int32_t nextToken(InputBuffer& input);
  // The code of the next token without reading it: the cursor and the line counter
  // stay where they were.
  static int32_t peekToken(InputBuffer& input);
  // The text a message shows for a token code; "**UNKNOWN**" for other codes.
  static const char* tokenName(int32_t code);
};
