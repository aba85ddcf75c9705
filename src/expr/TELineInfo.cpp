#include "expr/TELineInfo.h"

#include <cstdint>
#include <ostream>
#include <vector>

#include "util/OrbaState.h"
#include "util/LineInfo.h"

#include "expr/TEError.h"
#include "util/RunState.h"

namespace {

// The node of every line that has one: open addressing over a power-of-two array kept at
// most half full. Lines come and go by the million; a node map would allocate per line.
class LineNodes {
 public:
  TELineInfo* find(const LineInfo* line) {
    // The forms of one statement ask for the same line one after the other.
    if (line == last_.line) return last_.node;
    if (slots_.empty()) return nullptr;
    for (size_t i = home(line);; i = (i + 1) & mask_) {
      if (slots_[i].line == line) {
        last_ = slots_[i];
        return last_.node;
      }
      if (!slots_[i].line) return nullptr;
    }
  }
  void add(const LineInfo* line, TELineInfo* node) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    size_t i = home(line);
    while (slots_[i].line) i = (i + 1) & mask_;
    slots_[i] = {line, node};
    ++count_;
  }
  void clear() {
    last_ = {nullptr, nullptr};
    slots_.clear();
    count_ = 0;
    mask_ = 0;
  }

 private:
  struct Slot {
    const LineInfo* line;
    TELineInfo* node;
  };
  size_t home(const LineInfo* line) const {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(line) >> 3) * 0x9E3779B97F4A7C15ull >> 20) & mask_;
  }
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : 2 * old.size(), Slot{nullptr, nullptr});
    mask_ = slots_.size() - 1;
    count_ = 0;
    for (const Slot& slot : old)
      if (slot.line) add(slot.line, slot.node);
  }

  std::vector<Slot> slots_;
  Slot last_{nullptr, nullptr};
  size_t mask_ = 0;
  size_t count_ = 0;
};

LineNodes& internedLines() { return runPart<LineNodes>(); }

}  // namespace

void TELineInfo::forgetInterned() { internedLines().clear(); }

TELineInfo* TELineInfo::create(const LineInfo* line) {
  LineNodes& table = internedLines();
  if (TELineInfo* node = table.find(line)) return node;
  auto* node = new TELineInfo(line);
  if (node) table.add(line, node);
  return node;
}

OrbaExpression* TELineInfo::evaluate() { return TEError::make(ERR_cannotEvaluate); }

void TELineInfo::print(std::ostream& out, unsigned) const {
  out << "LineInfo[" << line_->lineNumberSigned() << ',';
  if (const char* name = sourceFileName(static_cast<int32_t>(line_->sourceFile))) out << name;
  out << ']';
}
