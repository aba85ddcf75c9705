#include "expr/TEString.h"

#include <cstring>
#include <ostream>
#include <string_view>
#include <unordered_map>

#include "util/MemoryPools.h"
#include "util/c-memory.h"

namespace {

MemPool* textPool() {
  static MemPool* pool = nullptr;
  if (!pool) pool = MemoryPools::instance().registerPool("TEString", &pool);
  return pool;
}

// Registered at static initialisation, as the pool list has always shown it.
[[maybe_unused]] MemPool* const registeredTextPool = textPool();

char emptyText[1] = {'\0'};

// Keyed by every byte of the text, so texts that differ only behind a NUL byte
// stay apart.
std::unordered_map<std::string_view, TEString*>& internedStrings() {
  static auto* table = new std::unordered_map<std::string_view, TEString*>();
  return *table;
}

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

void TEString::forgetInterned() { internedStrings().clear(); }

TEString* TEString::intern(const char* text, uint32_t length) {
  auto& table = internedStrings();
  auto found = table.find(std::string_view(text, length));
  if (found != table.end()) return found->second;
  TEString* node = create(text, length);
  if (node) table.emplace(std::string_view(node->text_, node->length_), node);
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
