#include "expr/TEInteger.h"

#include <ostream>
#include <unordered_map>

namespace {

std::unordered_map<int64_t, TEInteger*>& internedIntegers() {
  static auto* table = new std::unordered_map<int64_t, TEInteger*>();
  return *table;
}

}  // namespace

void TEInteger::forgetInterned() { internedIntegers().clear(); }

TEInteger* TEInteger::create(int64_t value) {
  auto& table = internedIntegers();
  auto found = table.find(value);
  if (found != table.end()) return found->second;
  auto* node = new TEInteger(value);
  if (node) table.emplace(value, node);
  return node;
}

void TEInteger::print(std::ostream& out, unsigned) const {
  if (value_ >= 0 && value_ <= 255) {
    out << std::dec << value_;
  } else {
    out << "0x" << std::hex << std::uppercase << static_cast<uint64_t>(value_);
  }
  out << std::dec << std::nouppercase;
}
