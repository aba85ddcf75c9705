#include "expr/TEString.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/MemoryPools.h"
#include "util/c-memory.h"

namespace {

MemPool* textPool() {
  static const size_t poolSlot = nextPoolSlot();
  MemPool*& pool = runState().poolHandle(poolSlot);
  if (!pool) pool = MemoryPools::instance().registerPool("TEString", &pool);
  return pool;
}

// The text of every empty string; never written.
const char emptyText[1] = {'\0'};

// Keyed by every byte of the text, so texts that differ only behind a NUL byte
// stay apart.
struct InternedStrings {
  std::unordered_map<std::string_view, TEString*> table;
};
std::unordered_map<std::string_view, TEString*>& internedStrings() { return runPart<InternedStrings>().table; }

}  // namespace

TEString* TEString::create(const char* text, uint32_t length) {
  char* copy = const_cast<char*>(emptyText);
  if (length != 0) {
    copy = static_cast<char*>(mem_pool_alloc(textPool(), size_t{length} + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
  }
  auto* node = new TEString(copy, length);
  if (!node && length != 0) MemoryPools::free(textPool(), copy, size_t{length} + 1);
  return node;
}

void TEString::forgetInterned() {
  internedStrings().clear();
  fixedTexts() = FixedTexts{};
}

TEString* TEString::intern(const char* text, uint32_t length) {
  auto& table = internedStrings();
  auto found = table.find(std::string_view(text, length));
  if (found != table.end()) return found->second;
  TEString* node = create(text, length);
  if (node) table.emplace(std::string_view(node->text_, node->length_), node);
  return node;
}

TEString* TEString::internNewFixed(const char* text) {
  TEString* node = intern(text, static_cast<uint32_t>(std::strlen(text)));
  if (!node) return nullptr;
  FixedTexts& fixed = fixedTexts();
  std::vector<FixedText>& slots = fixed.table;
  if (2 * (fixed.count + 1) > slots.size()) {
    std::vector<FixedText> grown(std::max<size_t>(64, slots.size() * 2), FixedText{nullptr, nullptr});
    slots.swap(grown);
    fixed.slots = slots.data();
    fixed.mask = slots.size() - 1;
    for (const FixedText& entry : grown) {
      if (!entry.text) continue;
      size_t index = fixedHome(entry.text, fixed.mask);
      while (slots[index].text) index = (index + 1) & fixed.mask;
      slots[index] = entry;
    }
  }
  size_t index = fixedHome(text, fixed.mask);
  while (slots[index].text) index = (index + 1) & fixed.mask;
  slots[index] = FixedText{text, node};
  ++fixed.count;
  return node;
}

TEString::~TEString() {
  if (length_ != 0 && text_ != emptyText) MemoryPools::free(textPool(), text_, size_t{length_} + 1);
}

void TEString::print(std::ostream& out, unsigned) const {
  out << '"';
  out.write(text_, length_);
  out << '"';
}
