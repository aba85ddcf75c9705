// The one sink of all diagnostics: formats catalog messages, applies the per-line
// warning controls, keeps positioned diagnostics until the end of the run and
// prints them ordered by line, and ends the program on fatal and internal ones.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <unordered_map>
#include <vector>

#include "util/MessageCatalog.h"
#include "util/OutputFile.h"

struct LineInfo;

class ErrorLine {
 public:
  ErrorLine(char severity, int32_t id, const LineInfo* position, const char* text);
  virtual ~ErrorLine() = default;
  static void* operator new(size_t size);
  static void operator delete(void* block);

  char severity;
  int32_t id;
  bool promoted = false;
  // Set once written to the console: a fatal message after the end-of-run print
  // must not print the run's diagnostics a second time.
  bool printed = false;
  const LineInfo* position;
  const char* text;  // interned
  // Where a walk in line order meets the record among those of its line number: the
  // stage in the top bit (the preprocessor's first), then the order they came in.
  uint64_t order = 0;
};

class ErrorHandler {
 public:
  // Keyed by line number, and within a line number by stage (see recordKey).
  using RecordMap = std::multimap<uint64_t, ErrorLine*>;

  ErrorHandler();
  virtual ~ErrorHandler();

  // Returns the formatted text, interned; nothing is recorded.
  virtual const char* formatMessage(int32_t id, ...);
  virtual void report(int32_t id, const LineInfo* position, ...);
  virtual void vreport(int32_t id, const LineInfo* position, va_list args);
  virtual void reportWithoutLocation(int32_t id, ...);

  // Records a text that formatMessage made earlier; the identifier comes from its number.
  void reportText(const char* text, const LineInfo* position);
  const char* vformat(int32_t id, va_list args);
  void record(int32_t id, const LineInfo* position, const char* text);

  // Counts the diagnostic against the error limit, then writes it as writeLine does;
  // past the limit F013 ends the run instead.
  void printLine(FILE* stream, ErrorLine* line);
  // Writes the diagnostic as one row, uncounted: the list file shows every
  // diagnostic under its line, and only the console output ends at the limit.
  void writeLine(FILE* stream, const ErrorLine* line) const;
  void printRecorded(FILE* stream);
  bool hasErrorAt(const LineInfo* position) const;
  // The records kept at the line, in the order the walk in line order meets them:
  // found among those of the line alone, however many lines share its number.
  void recordsAt(const LineInfo* position, std::vector<const ErrorLine*>& found) const;
  // Whether any diagnostic is kept at the line (it must stay while they are).
  bool hasRecordAt(const LineInfo* position) const { return byPosition_.count(position) != 0; }
  void resetCounts();
  FILE* outputStream();
  // With a name, sends the diagnostics to that file from now on (a file that cannot be
  // made leaves them on standard error); without one, puts the open file in place.
  void openErrorFile(const char* name);
  // Puts the error file in place at the end of the run; F004 on standard error when
  // it could not be written.
  void finishErrorFile();
  // Drops the error file unwritten and sends the diagnostics to standard error: the
  // run is about to refuse an output that is also read.
  void abandonErrorFile();
  void summaryHook(FILE* stream);

  // A streamed run parses each line as soon as the preprocessor has made it. Its
  // diagnostics keep the order of a run that preprocesses the whole source first: the
  // preprocessor's come before the parser's at the same line number; the unpositioned
  // ones found after the preprocessor wait until it is done; a fatal one found after it
  // lets it finish first (finishPreprocessing) and then ends the run; a fatal one of the
  // preprocessor prints none of what the later stages recorded.
  void beginStream(void (*finishPreprocessing)(void* context), void* context);
  // Whether the diagnostics from now on are the preprocessor's.
  void setPreprocessorStage(bool preprocessor) { preprocessorStage_ = preprocessor; }
  // The preprocessor is done: the held diagnostics are printed.
  void endStream();

  bool errorFlag() const { return errorFlag_; }
  int32_t errorLimit() const { return errorLimit_; }
  void setErrorLimit(int32_t limit) { errorLimit_ = limit; }
  int32_t errorCount() const { return errorCount_; }
  int32_t warningCount() const { return warningCount_; }
  int32_t promotedCount() const { return promotedCount_; }
  // Grows with every diagnostic kept or written: equal before and after a step when the
  // step reported nothing.
  size_t diagnosticStamp() const {
    return records_.size() + static_cast<size_t>(errorCount_) + static_cast<size_t>(warningCount_);
  }

  // Walks the kept records in line order.
  class ErrorIter {
   public:
    explicit ErrorIter(const ErrorHandler& handler);
    virtual ~ErrorIter() = default;
    virtual void first();
    virtual void next();
    virtual bool isDone() const;
    virtual ErrorLine* current() const;
    void seek(const LineInfo* position);

   private:
    const RecordMap& records_;
    RecordMap::const_iterator it_;
  };

 private:
  [[noreturn]] void endWithFatalStatus();
  uint64_t recordKey(uint32_t lineNumber, bool laterStage) const {
    return (uint64_t{lineNumber} << 1) | (laterStage ? 1 : 0);
  }
  bool laterStage() const { return !preprocessorStage_; }
  // A diagnostic that could not be written to the error file goes to standard error
  // instead, and F004 ends the run.
  void errorFileFailed(const ErrorLine* line);

  // Past the error limit: the records that the end-of-run print can never reach.
  // It prints in key order and stops at the first record after the error one past
  // the limit, so a record behind the error two past the limit (counted among the
  // preprocessor's alone for one of the preprocessor's, which a fatal message of the
  // preprocessor prints without the later stages') is never printed. Without a list
  // file, which shows every diagnostic, such a record is not kept: a macro chain that
  // draws an error at every call would keep millions. The keys of the first errors,
  // kErrorsKept at most for each.
  using RecordMark = std::pair<uint64_t, uint64_t>;  // key, order
  bool unreachable(const RecordMark& mark, bool later) const;
  void noteError(const RecordMark& mark, bool later);
  void dropUnreachable();
  size_t errorsKept() const { return static_cast<size_t>(errorLimit_) + 2; }
  std::set<RecordMark> firstErrors_;
  std::set<RecordMark> firstPreprocessorErrors_;

  const char* errorFileName_ = nullptr;
  OutputFile errorFile_{OutputRole::kError};
  bool errorFileOpen_ = false;
  RecordMap records_;
  // The same records by the line they belong to: many lines can share a line number
  // (macro bodies, repeat blocks, generated lines), but a line holds a few records.
  // A record keeps the line number its line had when it was recorded.
  std::unordered_multimap<const LineInfo*, std::pair<uint32_t, const ErrorLine*>> byPosition_;
  uint64_t recordCount_ = 0;  // records kept so far: the order of the next
  int32_t errorCount_ = 0;
  int32_t errorLimit_ = 42;
  int32_t warningCount_ = 0;
  int32_t promotedCount_ = 0;
  bool errorFlag_ = false;
  std::vector<char> formatBuffer_;  // reused by every vformat; grows to the longest text
  // The stream (beginStream): while it runs, what the stages after the preprocessor
  // found without a position waits here.
  bool streaming_ = false;
  bool preprocessorStage_ = true;
  void (*finishPreprocessing_)(void*) = nullptr;
  void* finishContext_ = nullptr;
  std::vector<ErrorLine*> heldUnpositioned_;
};
