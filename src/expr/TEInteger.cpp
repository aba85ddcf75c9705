#include "expr/TEInteger.h"

#include <ostream>
#include "util/RunState.h"

namespace {

// The nodes of the values last asked for outside the small range, one slot per hash of
// the value: a value asked for again soon after (a label's address, an operand checked
// and then encoded) finds its node, and the table stays the same size however large the
// source. A value whose slot went to another gets a node of its own again.
struct RecentIntegers {
  static constexpr size_t kSlots = 4096;
  struct Slot {
    int64_t value = 0;
    TEInteger* node = nullptr;
  };
  Slot slots[kSlots];

  static size_t slotOf(int64_t value) {
    return static_cast<size_t>(static_cast<uint64_t>(value) * 0x9E3779B97F4A7C15ull >> 52);
  }
};
static_assert(RecentIntegers::kSlots == size_t{1} << (64 - 52));

RecentIntegers& recentIntegers() { return runPart<RecentIntegers>(); }

}  // namespace

TEInteger* TEInteger::createInterned(int64_t value) {
  uint64_t index = static_cast<uint64_t>(value) - static_cast<uint64_t>(kSmallLowest);
  if (index < static_cast<uint64_t>(kSmallCount)) {
    TEInteger* node = new TEInteger(value);
    smallIntegers()[index] = node;
    return node;
  }
  RecentIntegers::Slot& slot = recentIntegers().slots[RecentIntegers::slotOf(value)];
  if (slot.node && slot.value == value) return slot.node;
  TEInteger* node = new TEInteger(value);
  if (node) slot = {value, node};
  return node;
}

void TEInteger::forgetInterned() {
  for (RecentIntegers::Slot& slot : recentIntegers().slots) slot = {};
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
