#include "preproc/LineState.h"

#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

const char* fileNameOfCurrentState(int32_t index) { return lineState()->fileName(index); }

}  // namespace

LineState::LineState() { _sourceNameLookup = fileNameOfCurrentState; }

LineState::~LineState() {
  LineInfo* line = first_;
  while (line) {
    LineInfo* next = line->next;
    delete line;
    line = next;
  }
}

void LineState::append(LineInfo* line) {
  line->previous = last_;
  line->next = nullptr;
  if (last_)
    last_->next = line;
  else
    first_ = line;
  last_ = line;
}

void LineState::insertLineInfo(LineInfo* anchor, LineInfo* line) {
  LineInfo* after = anchor->next;
  anchor->next = line;
  line->next = after;
  if (after)
    after->previous = line;
  else
    last_ = line;
  line->previous = anchor;
}

uint32_t LineState::addSourceFile(const char* name) {
  files_.emplace_back(name);
  return static_cast<uint32_t>(files_.size() - 1);
}

const char* LineState::fileName(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= files_.size()) return nullptr;
  return files_[index].c_str();
}
