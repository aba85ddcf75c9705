#include "expr/TEInteger.h"

#include <algorithm>
#include <iterator>
#include <ostream>
#include <unordered_map>

namespace {

std::unordered_map<int64_t, TEInteger*>& internedIntegers() {
  static auto* table = new std::unordered_map<int64_t, TEInteger*>();
  return *table;
}

}  // namespace

TEInteger* TEInteger::smallIntegers_[TEInteger::kSmallCount] = {};

TEInteger* TEInteger::createInterned(int64_t value) {
  auto& table = internedIntegers();
  auto found = table.find(value);
  TEInteger* node = found != table.end() ? found->second : nullptr;
  if (!node) {
    node = new TEInteger(value);
    if (node) table.emplace(value, node);
  }
  uint64_t index = static_cast<uint64_t>(value) - static_cast<uint64_t>(kSmallLowest);
  if (node && index < static_cast<uint64_t>(kSmallCount)) smallIntegers_[index] = node;
  return node;
}

void TEInteger::forgetInterned() {
  internedIntegers().clear();
  std::fill(std::begin(smallIntegers_), std::end(smallIntegers_), nullptr);
}

void TEInteger::print(std::ostream& out, unsigned) const {
  if (value_ >= 0 && value_ <= 255) {
    out << std::dec << value_;
  } else {
    out << "0x" << std::hex << std::uppercase << static_cast<uint64_t>(value_);
  }
  out << std::dec << std::nouppercase;
}
