#include "util/ErrorHandler.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/RunSettings.h"
#include "util/OrbaState.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"
#include "util/assertion.h"
#include "util/interrupt.h"

namespace {

constexpr uint32_t kNoLineNumber = 0xFFFFFFFFu;
constexpr size_t kInitialFormatCapacity = 256;

struct ProgramPrefix {
  std::string text;
};

MemPool*& errorLinePool() {
  static const size_t poolSlot = nextPoolSlot();
  return runState().poolHandle(poolSlot);
}

// "vekt " in front of every diagnostic line; built once, on the first line printed.
const char* programPrefix() {
  std::string& prefix = runPart<ProgramPrefix>().text;
  if (prefix.empty()) prefix = std::string(orbaOptions()->programName) + " ";
  return prefix.c_str();
}

bool isSeverityLetter(char letter) {
  return letter == 'F' || letter == 'E' || letter == 'W' || letter == 'I' || letter == 'S';
}

// A text whose number the catalog does not know still carries its letter; such
// a record is printed and counted by that letter rather than lost.
char severityOf(int32_t id, const char* text) {
  char severity = messages::severity(id);
  if (severity != 0) return severity;
  return isSeverityLetter(text[0]) ? text[0] : 'E';
}

}  // namespace

ErrorLine::ErrorLine(char severity, int32_t id, const LineInfo* position, const char* text)
    : severity(severity), id(id), position(position), text(text) {}

void* ErrorLine::operator new(size_t size) {
  MemPool*& handle = errorLinePool();
  if (!handle) handle = MemoryPools::instance().registerPool("ErrorLine", &handle);
  return mem_pool_alloc(handle, size);
}

void ErrorLine::operator delete(void* block) {
  // Once the registry has gone, the block's memory went with its pool.
  if (MemPool* handle = errorLinePool()) MemoryPools::free(handle, block, sizeof(ErrorLine));
}

ErrorHandler::ErrorHandler() = default;

// The kept records stay in their pool, which the tear-down destroys after the
// handler; deleting them here could touch a pool that is already gone.
ErrorHandler::~ErrorHandler() { openErrorFile(nullptr); }

const char* ErrorHandler::formatMessage(int32_t id, ...) {
  va_list args;
  va_start(args, id);
  const char* text = vformat(id, args);
  va_end(args);
  return text;
}

void ErrorHandler::report(int32_t id, const LineInfo* position, ...) {
  va_list args;
  va_start(args, position);
  vreport(id, position, args);
  va_end(args);
}

void ErrorHandler::vreport(int32_t id, const LineInfo* position, va_list args) {
  record(id, position, vformat(id, args));
}

void ErrorHandler::reportWithoutLocation(int32_t id, ...) {
  va_list args;
  va_start(args, id);
  const char* text = vformat(id, args);
  va_end(args);
  record(id, nullptr, text);
}

void ErrorHandler::reportText(const char* text, const LineInfo* position) {
  if (!text) return;
  uint32_t number = 0;
  bool numbered = text[0] != '\0';
  for (int digit = 1; numbered && digit <= 3; ++digit) {
    if (text[digit] < '0' || text[digit] > '9') numbered = false;
    else number = number * 10 + static_cast<uint32_t>(text[digit] - '0');
  }
  int32_t id = numbered ? messages::indexOfNumber(number) : 0;
  // Callers may hand in texts they built themselves; the record must outlive them.
  record(id, position, stringBuffer()->intern(text));
}

const char* ErrorHandler::vformat(int32_t id, va_list args) {
  const MessageRecord& message = messages::record(id);
  VEKT_ASSERT(message.severity != 0);
  if (formatBuffer_.size() < kInitialFormatCapacity) formatBuffer_.resize(kInitialFormatCapacity);

  int headLength = std::snprintf(formatBuffer_.data(), formatBuffer_.size(), "%c%03u: ",
                                 message.severity, message.number);
  va_list retry;
  va_copy(retry, args);
  size_t room = formatBuffer_.size() - static_cast<size_t>(headLength);
  int bodyLength = std::vsnprintf(formatBuffer_.data() + headLength, room, message.text, args);
  if (bodyLength < 0) {
    formatBuffer_[static_cast<size_t>(headLength)] = '\0';
  } else if (static_cast<size_t>(bodyLength) >= room) {
    formatBuffer_.resize(static_cast<size_t>(headLength) + static_cast<size_t>(bodyLength) + 1);
    std::vsnprintf(formatBuffer_.data() + headLength, static_cast<size_t>(bodyLength) + 1,
                   message.text, retry);
  }
  va_end(retry);
  return stringBuffer()->intern(formatBuffer_.data());
}

void ErrorHandler::record(int32_t id, const LineInfo* position, const char* text) {
  const char severity = severityOf(id, text);
  const ControlState* state = position ? position->controlState.get() : nullptr;

  bool promoted = false;
  if (severity == 'W' && state) {
    promoted = state->warningsAsErrors || state->promotedWarnings.count(id) != 0;
    bool suppressed = state->allWarningsOff || state->suppressedWarnings.count(id) != 0;
    if (suppressed && !promoted) return;
  }

  const bool fatal = severity == 'F' || severity == 'S';
  if (fatal && streaming_ && laterStage()) {
    // The preprocessor would have read the whole source before this stage began.
    streaming_ = false;
    preprocessorStage_ = true;
    if (finishPreprocessing_) finishPreprocessing_(finishContext_);
    preprocessorStage_ = false;
    endStream();
  }
  if (!position) {
    ErrorLine* line = new ErrorLine(severity, id, nullptr, text);
    if (streaming_ && laterStage()) {
      line->promoted = promoted;
      heldUnpositioned_.push_back(line);
      return;
    }
    printLine(outputStream(), line);
    delete line;
  } else {
    bool duplicate = false;
    auto [from, to] = byPosition_.equal_range(position);
    for (auto it = from; it != to && !duplicate; ++it) {
      const ErrorLine* kept = it->second.second;
      duplicate = it->second.first == position->lineNumber && kept->id == id &&
                  (kept->text == text || std::strcmp(kept->text, text) == 0);
    }
    const uint64_t order = (laterStage() ? uint64_t{1} << 63 : 0) | recordCount_;
    const RecordMark mark{recordKey(position->lineNumber, laterStage()), order};
    if (!duplicate && !unreachable(mark, laterStage())) {
      ErrorLine* line = new ErrorLine(severity, id, position, text);
      line->promoted = promoted;
      line->order = order;
      ++recordCount_;
      // A multimap puts it after the records of the same line number: they print in the
      // order they came.
      records_.emplace(mark.first, line);
      byPosition_.emplace(position, std::make_pair(position->lineNumber, line));
      if (severity == 'E' || promoted) noteError(mark, laterStage());
    }
  }

  if (severity == 'E' || promoted) {
    errorFlag_ = true;
  } else if (fatal) {
    if (streaming_) {
      // The preprocessor ends the run before any later stage would have begun.
      for (auto entry = records_.begin(); entry != records_.end();)
        entry = (entry->first & 1) ? records_.erase(entry) : std::next(entry);
      for (ErrorLine* held : heldUnpositioned_) delete held;
      heldUnpositioned_.clear();
      streaming_ = false;
    }
    if (id != F_too_many_errors) printRecorded(outputStream());
    endWithFatalStatus();
  }
}

bool ErrorHandler::unreachable(const RecordMark& mark, bool later) const {
  if (errorLimit_ == 0) return false;
  const std::set<RecordMark>& errors = later ? firstErrors_ : firstPreprocessorErrors_;
  return errors.size() >= errorsKept() && mark > *errors.rbegin();
}

void ErrorHandler::noteError(const RecordMark& mark, bool later) {
  // The list file shows every diagnostic under its line.
  // Only a streamed run lets go of lines: elsewhere the records may be read per line.
  if (errorLimit_ == 0 || !streaming_ || (runState().orbaOptions && runState().orbaOptions->listFileWanted))
    return;
  bool moved = false;
  for (std::set<RecordMark>* errors : {&firstErrors_, later ? nullptr : &firstPreprocessorErrors_}) {
    if (!errors) continue;
    errors->insert(mark);
    if (errors->size() > errorsKept()) {
      errors->erase(std::prev(errors->end()));
      moved = true;
    }
  }
  if (moved) dropUnreachable();
}

void ErrorHandler::dropUnreachable() {
  if (records_.empty() || firstErrors_.size() < errorsKept()) return;
  const uint64_t firstKey = firstErrors_.rbegin()->first;
  for (auto entry = std::prev(records_.end());;) {
    const bool last = entry == records_.begin();
    auto before = last ? entry : std::prev(entry);
    if (entry->first < firstKey) break;
    ErrorLine* line = entry->second;
    const bool later = (line->order >> 63) != 0;
    if (unreachable(RecordMark{entry->first, line->order}, later)) {
      auto [from, to] = byPosition_.equal_range(line->position);
      for (auto it = from; it != to; ++it)
        if (it->second.second == line) {
          byPosition_.erase(it);
          break;
        }
      records_.erase(entry);
      delete line;
    }
    if (last) break;
    entry = before;
  }
}

void ErrorHandler::endWithFatalStatus() {
  // The diagnostics that explain the end are in the error file: it goes in place.
  finishErrorFile();
  markFatalExit();
  std::exit(2);
}

void ErrorHandler::errorFileFailed(const ErrorLine* line) {
  abandonErrorFile();
  if (line) writeLine(stderr, line);
  reportWithoutLocation(F_write_error, errorFileName_ ? errorFileName_ : "");
}

void ErrorHandler::printLine(FILE* stream, ErrorLine* line) {
  if (errorLimit_ != 0 && errorCount_ > errorLimit_) {
    // At the limit again, so that the report below prints instead of recursing.
    errorCount_ = errorLimit_;
    reportWithoutLocation(F_too_many_errors, errorLimit_);
    return;
  }

  if (line->severity == 'E') {
    ++errorCount_;
  } else if (line->severity == 'W') {
    if (line->promoted) ++promotedCount_;
    else ++warningCount_;
  }
  writeLine(stream, line);
  bool flushed = std::fflush(stream) == 0;
  if (errorFileOpen_ && stream == errorFile_.stream() && (!flushed || std::ferror(stream))) errorFileFailed(line);
}

void ErrorHandler::writeLine(FILE* stream, const ErrorLine* line) const {
  char letter = line->severity == 'W' && line->promoted ? 'E' : line->severity;
  const char* text = line->text;
  std::fputs(programPrefix(), stream);
  if (text[0] != '\0') {
    std::fputc(letter != line->severity ? letter : text[0], stream);
    ++text;
  }
  const LineInfo* position = line->position;
  const char* colon = std::strchr(text, ':');
  if (position && position->lineNumber != kNoLineNumber && colon) {
    std::fwrite(text, 1, static_cast<size_t>(colon + 1 - text), stream);
    const char* fileName = sourceFileName(static_cast<int32_t>(position->sourceFile));
    std::fprintf(stream, " [\"%s\" %d]", fileName ? fileName : "", position->lineNumberSigned());
    text = colon + 1;
  }
  std::fputs(text, stream);
  std::fputc('\n', stream);
}

void ErrorHandler::printRecorded(FILE* stream) {
  for (auto& entry : records_) {
    ErrorLine* line = entry.second;
    if (line->printed) continue;
    line->printed = true;
    printLine(stream, line);
  }
}

bool ErrorHandler::hasErrorAt(const LineInfo* position) const {
  if (!position) return false;
  auto [from, to] = byPosition_.equal_range(position);
  for (auto it = from; it != to; ++it) {
    if (it->second.first != position->lineNumber) continue;
    const ErrorLine* kept = it->second.second;
    char severity = kept->severity;
    if (severity == 'E' || severity == 'F' || severity == 'S' || kept->promoted) return true;
  }
  return false;
}

void ErrorHandler::recordsAt(const LineInfo* position, std::vector<const ErrorLine*>& found) const {
  found.clear();
  if (!position) return;
  auto [from, to] = byPosition_.equal_range(position);
  for (auto it = from; it != to; ++it)
    if (it->second.first == position->lineNumber) found.push_back(it->second.second);
  std::sort(found.begin(), found.end(),
            [](const ErrorLine* a, const ErrorLine* b) { return a->order < b->order; });
}

void ErrorHandler::resetCounts() {
  errorCount_ = 0;
  warningCount_ = 0;
  promotedCount_ = 0;
}

FILE* ErrorHandler::outputStream() { return errorFileOpen_ ? errorFile_.stream() : stderr; }

void ErrorHandler::openErrorFile(const char* name) {
  if (errorFileOpen_) errorFile_.commit();
  errorFileOpen_ = false;
  errorFileName_ = name;
  if (!name) return;
  // A file that cannot be made is no error: the diagnostics stay on standard error.
  errorFileOpen_ = errorFile_.open(name, "w") != nullptr;
}

void ErrorHandler::finishErrorFile() {
  if (!errorFileOpen_) return;
  errorFileOpen_ = false;
  if (!errorFile_.commit()) reportWithoutLocation(F_write_error, errorFileName_ ? errorFileName_ : "");
}

void ErrorHandler::abandonErrorFile() {
  errorFile_.discard();
  errorFileOpen_ = false;
}

void ErrorHandler::summaryHook(FILE*) {}

void ErrorHandler::beginStream(void (*finishPreprocessing)(void*), void* context) {
  streaming_ = true;
  preprocessorStage_ = true;
  finishPreprocessing_ = finishPreprocessing;
  finishContext_ = context;
}

void ErrorHandler::endStream() {
  streaming_ = false;
  finishPreprocessing_ = nullptr;
  finishContext_ = nullptr;
  std::vector<ErrorLine*> held;
  held.swap(heldUnpositioned_);
  for (ErrorLine* line : held) {
    printLine(outputStream(), line);
    delete line;
  }
}

ErrorHandler::ErrorIter::ErrorIter(const ErrorHandler& handler)
    : records_(handler.records_), it_(handler.records_.begin()) {}

void ErrorHandler::ErrorIter::first() { it_ = records_.begin(); }

void ErrorHandler::ErrorIter::next() {
  if (it_ != records_.end()) ++it_;
}

bool ErrorHandler::ErrorIter::isDone() const { return it_ == records_.end(); }

ErrorLine* ErrorHandler::ErrorIter::current() const {
  return it_ == records_.end() ? nullptr : it_->second;
}

void ErrorHandler::ErrorIter::seek(const LineInfo* position) {
  if (!position) {
    first();
    return;
  }
  it_ = records_.lower_bound(uint64_t{position->lineNumber} << 1);
}
