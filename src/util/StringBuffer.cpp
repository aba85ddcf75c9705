#include "util/StringBuffer.h"

#include <cstdlib>
#include <cstring>

#include "util/MemoryPools.h"
#include "util/assertion.h"
#include "util/c-memory.h"
#include "util/hashtab.h"

namespace {
constexpr size_t kInitialScratch = 256;
}

StringBuffer::StringBuffer()
    : pool_(MemoryPools::instance().registerPool("StringBuffer")),
      table_(hashtab_create(nullptr, 0)),
      scratch_(static_cast<char*>(xcalloc(kInitialScratch, 1))),
      scratchCapacity_(kInitialScratch) {}

StringBuffer::~StringBuffer() {
  hashtab_free(table_);
  MemoryPools::instance().destroyRegistered(pool_);
  std::free(scratch_);
}

const char* StringBuffer::intern(const char* text) {
  VEKT_ASSERT(text);
  if (void* known = hashtab_lookup(table_, text)) return static_cast<const char*>(known);
  size_t bytes = std::strlen(text) + 1;
  char* copy = static_cast<char*>(mem_pool_alloc(pool_, bytes));
  std::memcpy(copy, text, bytes);
  hashtab_insert(table_, copy);
  return copy;
}

const char* StringBuffer::internRange(const char* from, const char* to) {
  VEKT_ASSERT(from <= to);
  size_t length = static_cast<size_t>(to - from);
  if (length + 1 > scratchCapacity_) {
    size_t capacity = scratchCapacity_;
    while (capacity < length + 1) capacity *= 2;
    scratch_ = static_cast<char*>(xrealloc(scratch_, capacity));
    scratchCapacity_ = capacity;
  }
  std::memcpy(scratch_, from, length);
  scratch_[length] = '\0';
  return intern(scratch_);
}
