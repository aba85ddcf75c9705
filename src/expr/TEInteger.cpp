#include "expr/TEInteger.h"

#include <algorithm>
#include <iterator>
#include <ostream>
#include <vector>
#include "util/RunState.h"

namespace {

// Every value that an operand, an offset or a folded expression brings passes through
// here once per statement: open addressing over a power-of-two array kept at most half
// full, so that a lookup touches one or two slots and no node is allocated per value.
class IntegerNodes {
 public:
  TEInteger* find(int64_t value) const {
    if (slots_.empty()) return nullptr;
    for (size_t i = home(value);; i = (i + 1) & mask_) {
      if (!slots_[i].node) return nullptr;
      if (slots_[i].value == value) return slots_[i].node;
    }
  }
  void add(int64_t value, TEInteger* node) {
    if (2 * (count_ + 1) > slots_.size()) grow();
    size_t i = home(value);
    while (slots_[i].node) i = (i + 1) & mask_;
    slots_[i] = {value, node};
    ++count_;
  }
  void clear() {
    slots_.clear();
    count_ = 0;
    mask_ = 0;
  }

 private:
  struct Slot {
    int64_t value;
    TEInteger* node;
  };
  size_t home(int64_t value) const {
    return static_cast<size_t>(static_cast<uint64_t>(value) * 0x9E3779B97F4A7C15ull >> 32) & mask_;
  }
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 256 : 2 * old.size(), Slot{0, nullptr});
    mask_ = slots_.size() - 1;
    count_ = 0;
    for (const Slot& slot : old)
      if (slot.node) add(slot.value, slot.node);
  }

  std::vector<Slot> slots_;
  size_t mask_ = 0;
  size_t count_ = 0;
};

IntegerNodes& internedIntegers() { return runPart<IntegerNodes>(); }

}  // namespace

TEInteger* TEInteger::createInterned(int64_t value) {
  IntegerNodes& table = internedIntegers();
  TEInteger* node = table.find(value);
  if (!node) {
    node = new TEInteger(value);
    if (node) table.add(value, node);
  }
  uint64_t index = static_cast<uint64_t>(value) - static_cast<uint64_t>(kSmallLowest);
  if (node && index < static_cast<uint64_t>(kSmallCount)) smallIntegers()[index] = node;
  return node;
}

void TEInteger::forgetInterned() {
  internedIntegers().clear();
  runPart<SmallIntegers>() = SmallIntegers{};
}

void TEInteger::print(std::ostream& out, unsigned) const {
  if (value_ >= 0 && value_ <= 255) {
    out << std::dec << value_;
  } else {
    out << "0x" << std::hex << std::uppercase << static_cast<uint64_t>(value_);
  }
  out << std::dec << std::nouppercase;
}
