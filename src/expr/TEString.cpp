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
  static MemPool* pool = nullptr;
  if (!pool) pool = MemoryPools::instance().registerPool("TEString", &pool);
  return pool;
}

// Made at start-up rather than with the first text, so that a lookup of the pool by
// name finds it before any text exists.
[[maybe_unused]] MemPool* const registeredTextPool = textPool();

char emptyText[1] = {'\0'};

// Keyed by every byte of the text, so texts that differ only behind a NUL byte
// stay apart.
std::unordered_map<std::string_view, TEString*>& internedStrings() {
  static auto* table = new std::unordered_map<std::string_view, TEString*>();
  return *table;
}

size_t fixedTextCount = 0;

}  // namespace

TEString* TEString::create(const char* text, uint32_t length) {
  char* copy = emptyText;
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

// Where the fixed texts' nodes are kept; the inline lookup reads them through its two members.
std::vector<TEString::FixedText>& TEString::fixedTexts() {
  static auto* slots = new std::vector<FixedText>();
  return *slots;
}

TEString::FixedText* TEString::fixedSlots_ = nullptr;
size_t TEString::fixedMask_ = 0;

void TEString::forgetInterned() {
  internedStrings().clear();
  fixedTexts().clear();
  fixedTextCount = 0;
  fixedSlots_ = nullptr;
  fixedMask_ = 0;
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
  std::vector<FixedText>& slots = fixedTexts();
  if (2 * (fixedTextCount + 1) > slots.size()) {
    std::vector<FixedText> grown(std::max<size_t>(64, slots.size() * 2), FixedText{nullptr, nullptr});
    slots.swap(grown);
    fixedSlots_ = slots.data();
    fixedMask_ = slots.size() - 1;
    for (const FixedText& entry : grown) {
      if (!entry.text) continue;
      size_t index = fixedHome(entry.text);
      while (slots[index].text) index = (index + 1) & fixedMask_;
      slots[index] = entry;
    }
  }
  size_t index = fixedHome(text);
  while (slots[index].text) index = (index + 1) & fixedMask_;
  slots[index] = FixedText{text, node};
  ++fixedTextCount;
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
