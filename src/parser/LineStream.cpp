#include "parser/LineStream.h"

#include <exception>
#include <utility>

#include "flow/SymbolTable.h"
#include "preproc/LineState.h"
#include "preproc/OrbaPreprocessor.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

LineStream::LineStream(OrbaPreprocessor& preprocessor, const char* fileName)
    : preprocessor_(preprocessor),
      lines_(lineState()),
      otherSymbols_(new SymbolTable()),
      preprocessorSettings_(orbaOptions()->parseControlled()) {
  errorHandler()->beginStream(&LineStream::finishFromHandler, this);
  enterPreprocessor();
  preprocessor_.startSource(fileName);
  leavePreprocessor();
}

LineStream::~LineStream() {
  if (std::uncaught_exceptions() == 0) {
    finish();
  } else if (!finished_) {
    // An exception on its way to the run's handler: reading on could throw again
    // inside a destructor, which ends the program at once. The rest of the input
    // stays unread, and the error handler must not come back to a stream that is
    // gone when it reports the exception. One thrown during a stay of the
    // preprocessor left its table with the run: the run gets its own back, and the
    // preprocessor's goes as finish() would have let it go.
    if (insidePreprocessor_) leavePreprocessor();
    delete otherSymbols_;
    otherSymbols_ = nullptr;
    errorHandler()->endStream();
  }
}

void LineStream::enterPreprocessor() {
  RunState& run = runState();
  std::swap(run.symbolTable, otherSymbols_);
  parserSettings_ = run.orbaOptions->parseControlled();
  run.orbaOptions->setParseControlled(preprocessorSettings_);
  run.errorHandler->setPreprocessorStage(true);
  insidePreprocessor_ = true;
}

void LineStream::leavePreprocessor() {
  insidePreprocessor_ = false;
  RunState& run = runState();
  run.errorHandler->setPreprocessorStage(false);
  preprocessorSettings_ = run.orbaOptions->parseControlled();
  run.orbaOptions->setParseControlled(parserSettings_);
  std::swap(run.symbolTable, otherSymbols_);
}

bool LineStream::readTurns() {
  if (inputDone_) return false;
  enterPreprocessor();
  for (int turn = 0; !inputDone_; ++turn) {
    if (turn >= kTurnsPerStay && (turn >= kMostTurnsPerStay || !preprocessor_.holdsLines())) break;
    inputDone_ = !preprocessor_.readMore();
  }
  leavePreprocessor();
  return !inputDone_;
}

LineInfo* LineStream::settledAfter(LineInfo* line) {
  for (;;) {
    LineInfo* next = line ? line->next.get() : lines_->first();
    if (next && (next != lines_->last() || inputDone_)) return next;
    if (inputDone_) return nullptr;
    readTurns();
  }
}

bool LineStream::preprocessorHoldsLines() const { return !finished_ && preprocessor_.holdsLines(); }

bool LineStream::preprocessorHoldsLine(const LineInfo& line) const {
  return !finished_ && preprocessor_.holdsLines() && preprocessor_.holdsLine(line);
}

void LineStream::finish() {
  if (finished_) return;
  finished_ = true;
  while (readTurns()) {
  }
  enterPreprocessor();
  preprocessor_.finishSource();
  leavePreprocessor();
  // The preprocessor's symbols go with its table; the parser's stay.
  delete otherSymbols_;
  otherSymbols_ = nullptr;
  errorHandler()->endStream();
}

void LineStream::finishFromHandler(void* stream) { static_cast<LineStream*>(stream)->finish(); }
