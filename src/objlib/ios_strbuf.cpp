#include "objlib/ios_strbuf.h"

#include <cstdint>
#include <cstring>

#include "objlib/ios_pool.h"

namespace {
constexpr size_t FIRST_CAPACITY = 16;
}  // namespace

int strbuf_append(StrBuf* buffer, const char* text) {
  if (buffer == nullptr || text == nullptr) return -1;
  size_t added = std::strlen(text);
  size_t held = strbuf_length(buffer);
  if (buffer->capacity <= held + added) {
    // An empty buffer has no capacity to double; give it a first size instead.
    size_t step = buffer->capacity != 0 ? buffer->capacity : FIRST_CAPACITY;
    size_t capacity = buffer->capacity != 0 ? 2 * buffer->capacity : FIRST_CAPACITY;
    while (capacity <= held + added) {
      if (capacity > SIZE_MAX - step) return -1;
      capacity += step;
    }
    auto* storage = static_cast<char*>(pool_alloc(capacity));
    if (storage == nullptr) return -1;
    if (buffer->start != nullptr) std::memcpy(storage, buffer->start, held);
    pool_free(buffer->start, buffer->capacity);
    buffer->start = storage;
    buffer->end = storage + held;
    buffer->capacity = capacity;
  }
  std::memcpy(buffer->end, text, added + 1);
  buffer->end += added;
  return 0;
}

const char* strbuf_text(const StrBuf* buffer) {
  return buffer->start != nullptr ? buffer->start : "";
}

size_t strbuf_length(const StrBuf* buffer) {
  return buffer->start != nullptr ? static_cast<size_t>(buffer->end - buffer->start) : 0;
}

void strbuf_release(StrBuf* buffer) {
  pool_free(buffer->start, buffer->capacity);
  *buffer = StrBuf{};
}
