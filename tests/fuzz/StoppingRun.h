// What lets a target run arbitrary source text through the preprocessor or the whole
// assembler within one process: a fatal or internal message unwinds to the target
// instead of ending the process, and a run that makes too many lines or messages ends
// the same way, so that each input stays small and quick.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "preproc/LineState.h"
#include "util/ErrorHandler.h"
#include "util/MessageCatalog.h"

struct FatalStop {};

inline bool isFatal(int32_t id) {
  char severity = messages::severity(id);
  return severity == 'F' || severity == 'S';
}

// Records what a run records, but a fatal or internal message unwinds to the
// target instead of ending the process.
class StoppingErrorHandler : public ErrorHandler {
 public:
  // A run stops after so many messages too: a recursion that reports at every
  // level would otherwise spend the time in the error records, not in the code
  // under test.
  static constexpr int32_t kMaxReports = 500;

  void vreport(int32_t id, const LineInfo* position, va_list args) override {
    if (isFatal(id) || ++reports_ > kMaxReports) throw FatalStop();
    ErrorHandler::vreport(id, position, args);
  }
  void reportWithoutLocation(int32_t id, ...) override {
    if (isFatal(id)) throw FatalStop();
    va_list args;
    va_start(args, id);
    const char* text = vformat(id, args);
    va_end(args);
    record(id, nullptr, text);
  }

 private:
  int32_t reports_ = 0;
};

// A repeat block may legitimately run for billions of iterations; past a bound
// the input is ended the way a fatal message ends it.
class BoundedLineState : public LineState {
 public:
  explicit BoundedLineState(size_t maxLines) : maxLines_(maxLines) {}
  LineInfo* appendLine(const char* text, int32_t fileId, int32_t line, int32_t bias) override {
    count();
    return LineState::appendLine(text, fileId, line, bias);
  }
  LineInfo* insertRangeAfter(LineInfo* anchor, const char* from, const char* to, int32_t fileId,
                             int32_t line, int32_t bias) override {
    count();
    return LineState::insertRangeAfter(anchor, from, to, fileId, line, bias);
  }
  LineInfo* insertLineAfter(LineInfo* anchor, const char* text, int32_t fileId, int32_t line,
                            int32_t bias) override {
    count();
    return LineState::insertLineAfter(anchor, text, fileId, line, bias);
  }

 private:
  void count() {
    if (++lines_ > maxLines_) throw FatalStop();
  }
  size_t maxLines_;
  size_t lines_ = 0;
};
