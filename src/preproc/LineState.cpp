#include "preproc/LineState.h"

#include <cstring>

#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

const char* fileNameOfCurrentState(int32_t index) { return lineState()->sourceFile(index); }

}  // namespace

LineState::LineState() { runState().sourceNameLookup = fileNameOfCurrentState; }

LineState::~LineState() {
  LineInfo* line = first_;
  while (line) {
    LineInfo* next = line->next;
    delete line;
    line = next;
  }
}

LineInfo* LineState::makeLine(const char* storedText, int32_t fileId, int32_t line,
                              int32_t bias) {
  return orbaFactory()->createLineInfo(storedText, static_cast<uint32_t>(fileId),
                                       static_cast<uint32_t>(line), static_cast<uint32_t>(bias));
}

void LineState::linkAtTail(LineInfo* line) {
  line->previous = last_;
  line->next = nullptr;
  if (last_)
    last_->next = line;
  else
    first_ = line;
  last_ = line;
}

void LineState::linkBefore(LineInfo* anchor, LineInfo* line) {
  LineInfo* before = anchor->previous;
  anchor->previous = line;
  line->previous = before;
  if (before)
    before->next = line;
  else
    first_ = line;
  line->next = anchor;
}

void LineState::linkAfter(LineInfo* anchor, LineInfo* line) {
  LineInfo* after = anchor->next;
  anchor->next = line;
  line->next = after;
  if (after)
    after->previous = line;
  else
    last_ = line;
  line->previous = anchor;
}

LineInfo* LineState::appendRange(const char* from, const char* to, int32_t fileId, int32_t line,
                                 int32_t bias) {
  LineInfo* record = makeLine(storeRange(from, to), fileId, line, bias);
  linkAtTail(record);
  return record;
}

LineInfo* LineState::appendRangeNamed(const char* from, const char* to, const char* fileName,
                                      int32_t line, int32_t bias) {
  return appendRange(from, to, sourceFileId(fileName), line, bias);
}

LineInfo* LineState::appendLine(const char* text, int32_t fileId, int32_t line, int32_t bias) {
  LineInfo* record = makeLine(store(text), fileId, line, bias);
  linkAtTail(record);
  return record;
}

LineInfo* LineState::appendLineNamed(const char* text, const char* fileName, int32_t line,
                                     int32_t bias) {
  return appendLine(text, sourceFileId(fileName), line, bias);
}

LineInfo* LineState::insertRangeBefore(LineInfo* anchor, const char* from, const char* to,
                                       int32_t fileId, int32_t line, int32_t bias) {
  if (!anchor) return appendRange(from, to, fileId, line, bias);
  LineInfo* record = makeLine(storeRange(from, to), fileId, line, bias);
  linkBefore(anchor, record);
  return record;
}

LineInfo* LineState::insertRangeBeforeNamed(LineInfo* anchor, const char* from, const char* to,
                                            const char* fileName, int32_t line, int32_t bias) {
  return insertRangeBefore(anchor, from, to, sourceFileId(fileName), line, bias);
}

LineInfo* LineState::insertLine(LineInfo* anchor, const char* text, int32_t fileId, int32_t line,
                                int32_t bias) {
  if (!anchor) return appendLine(text, fileId, line, bias);
  LineInfo* record = makeLine(store(text), fileId, line, bias);
  linkBefore(anchor, record);
  return record;
}

LineInfo* LineState::insertLineSharingText(LineInfo* anchor, const char* keptText, int32_t fileId,
                                            int32_t line, int32_t bias) {
  LineInfo* record = makeLine(keptText, fileId, line, bias);
  if (anchor)
    linkBefore(anchor, record);
  else
    linkAtTail(record);
  return record;
}

LineInfo* LineState::insertLineNamed(LineInfo* anchor, const char* text, const char* fileName,
                                     int32_t line, int32_t bias) {
  return insertLine(anchor, text, sourceFileId(fileName), line, bias);
}

LineInfo* LineState::insertRangeAfter(LineInfo* anchor, const char* from, const char* to,
                                      int32_t fileId, int32_t line, int32_t bias) {
  if (!anchor) return appendRange(from, to, fileId, line, bias);
  LineInfo* record = makeLine(storeRange(from, to), fileId, line, bias);
  linkAfter(anchor, record);
  return record;
}

LineInfo* LineState::insertRangeAfterNamed(LineInfo* anchor, const char* from, const char* to,
                                           const char* fileName, int32_t line, int32_t bias) {
  return insertRangeAfter(anchor, from, to, sourceFileId(fileName), line, bias);
}

LineInfo* LineState::insertLineAfter(LineInfo* anchor, const char* text, int32_t fileId,
                                     int32_t line, int32_t bias) {
  if (!anchor) return appendLine(text, fileId, line, bias);
  LineInfo* record = makeLine(store(text), fileId, line, bias);
  linkAfter(anchor, record);
  return record;
}

LineInfo* LineState::insertLineAfterNamed(LineInfo* anchor, const char* text,
                                          const char* fileName, int32_t line, int32_t bias) {
  return insertLineAfter(anchor, text, sourceFileId(fileName), line, bias);
}

int32_t LineState::sourceFileId(const char* fileName) {
  if (!fileName) return -1;
  const char* name = intern(fileName);
  auto [entry, added] = fileIds_.try_emplace(name, static_cast<int32_t>(fileNames_.size()));
  if (added) fileNames_.push_back(name);
  return entry->second;
}

const char* LineState::sourceFile(int32_t id) const {
  if (id < 0 || id >= fileCount()) return nullptr;
  return fileNames_[static_cast<size_t>(id)];
}

int32_t LineState::findSourceFile(const char* fileName) {
  if (!fileName) return -1;
  auto entry = fileIds_.find(intern(fileName));
  return entry == fileIds_.end() ? -1 : entry->second;
}

const char* LineState::internRange(const char* from, const char* to) {
  // The string buffer copies the range; its interning stops at an embedded NUL.
  return from ? stringBuffer()->internRange(from, to) : nullptr;
}

const char* LineState::intern(const char* text) {
  return text ? stringBuffer()->intern(text) : nullptr;
}

// Line texts go to the line arena's text store, where a record refers to them by a
// 32-bit offset.
const char* LineState::storeRange(const char* from, const char* to) {
  return from ? lineArena().storeText(from, static_cast<size_t>(to - from)) : nullptr;
}

const char* LineState::store(const char* text) {
  return text ? lineArena().storeText(text, std::strlen(text)) : nullptr;
}

void LineState::setLineText(const char* text, LineInfo* line) { line->text = store(text); }

void LineState::removeLine(LineInfo* line) {
  LineInfo* before = line->previous;
  LineInfo* after = line->next;
  if (before)
    before->next = after;
  else
    first_ = after;
  if (after)
    after->previous = before;
  else
    last_ = before;
  delete line;
}
