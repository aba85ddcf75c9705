#include "objlib/ios_strbuf.h"

#include <cstdio>
#include <cstring>

#include "objlib/ios_pool.h"

namespace {

size_t storageSize(uint32_t capacity) { return (size_t{capacity} + 3) / 4 * 4; }

char* newStorage(uint32_t capacity) {
  if (capacity == 0) return nullptr;
  return static_cast<char*>(pool_alloc(storageSize(capacity)));
}

void freeStorage(char* storage, uint32_t capacity) {
  if (storage != nullptr) pool_free(storage, storageSize(capacity));
}

// Makes the capacity exceed needed, by whole multiples of the current capacity; the
// buffer is unchanged when memory is short.
bool growFor(StrBuf* buffer, size_t needed) {
  if (buffer->capacity > needed) return true;
  // A zeroed buffer has no capacity to multiply; it starts from the smallest one.
  uint64_t step = buffer->capacity != 0 ? buffer->capacity : STRBUF_MIN_CAPACITY;
  uint64_t capacity = buffer->capacity != 0 ? 2 * step : step;
  while (capacity <= needed) capacity += step;
  if (capacity > UINT32_MAX - 3) return false;
  char* storage = newStorage(static_cast<uint32_t>(capacity));
  if (storage == nullptr) return false;
  size_t length = strbuf_length(buffer);
  if (length != 0) std::memcpy(storage, buffer->base, length);
  freeStorage(buffer->base, buffer->capacity);
  buffer->base = storage;
  buffer->end = storage + length;
  buffer->capacity = static_cast<uint32_t>(capacity);
  return true;
}

int appendRaw(StrBuf* buffer, const char* bytes, size_t count, bool withNul) {
  size_t length = strbuf_length(buffer);
  if (count > UINT32_MAX || !growFor(buffer, length + count)) return -1;
  if (count != 0) std::memcpy(buffer->end, bytes, count);
  buffer->end += count;
  if (withNul) *buffer->end = '\0';
  return 0;
}

}  // namespace

StrBuf* strbuf_new(int32_t capacity) {
  if (capacity < STRBUF_MIN_CAPACITY) capacity = STRBUF_MIN_CAPACITY;
  auto* buffer = static_cast<StrBuf*>(pool_alloc(sizeof(StrBuf)));
  if (buffer == nullptr) return nullptr;
  char* storage = newStorage(static_cast<uint32_t>(capacity));
  if (storage == nullptr) {
    pool_free(buffer, sizeof(StrBuf));
    return nullptr;
  }
  *buffer = StrBuf{storage, storage, static_cast<uint32_t>(capacity)};
  return buffer;
}

StrBuf* strbuf_from_string(const char* text) {
  if (text == nullptr) return nullptr;
  size_t length = std::strlen(text);
  if (length > INT32_MAX - 8) return nullptr;
  StrBuf* buffer = strbuf_new(static_cast<int32_t>((length + 1 + 3) / 4 * 4));
  if (buffer == nullptr) return nullptr;
  if (strbuf_append(buffer, text) != 0) {
    strbuf_free(buffer);
    return nullptr;
  }
  return buffer;
}

StrBuf* strbuf_dup(StrBuf* source) {
  if (source == nullptr || source->end < source->base) return nullptr;
  if (source->base == nullptr) return nullptr;
  *source->end = '\0';
  size_t length = strbuf_length(source);
  StrBuf* copy = strbuf_new(static_cast<int32_t>(length));
  if (copy == nullptr) return nullptr;
  if (strbuf_append_bytes(copy, source->base, static_cast<int32_t>(length)) != 0) {
    strbuf_free(copy);
    return nullptr;
  }
  return copy;
}

void strbuf_free(StrBuf* buffer) {
  if (buffer == nullptr) return;
  freeStorage(buffer->base, buffer->capacity);
  pool_free(buffer, sizeof(StrBuf));
}

int strbuf_append(StrBuf* buffer, const char* text) {
  if (buffer == nullptr || text == nullptr) return -1;
  return appendRaw(buffer, text, std::strlen(text), true);
}

int strbuf_append_bytes(StrBuf* buffer, const void* bytes, int32_t count) {
  if (buffer == nullptr || bytes == nullptr || count < 0) return -1;
  return appendRaw(buffer, static_cast<const char*>(bytes), static_cast<size_t>(count), false);
}

int strbuf_append_int(StrBuf* buffer, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return strbuf_append(buffer, text);
}

int strbuf_assign(StrBuf* buffer, const char* text) {
  if (buffer == nullptr || text == nullptr) return -1;
  // The text may lie inside the buffer: copy from it before the end moves.
  size_t length = std::strlen(text);
  if (!growFor(buffer, length)) return -1;
  std::memmove(buffer->base, text, length);
  buffer->end = buffer->base + length;
  *buffer->end = '\0';
  return 0;
}

int strbuf_clear(StrBuf* buffer) {
  if (buffer == nullptr) return -1;
  buffer->end = buffer->base;
  return 0;
}

int strbuf_reserve(StrBuf* buffer, int32_t extra) {
  if (buffer == nullptr || extra < 0) return -1;
  return growFor(buffer, strbuf_length(buffer) + static_cast<size_t>(extra)) ? 0 : -1;
}

int strbuf_set_length(StrBuf* buffer, int32_t length) {
  if (buffer == nullptr || length < 0) return -1;
  size_t current = strbuf_length(buffer);
  size_t wanted = static_cast<size_t>(length);
  if (wanted > current) {
    if (!growFor(buffer, wanted)) return -1;
    std::memset(buffer->end, ' ', wanted - current);
  }
  buffer->end = buffer->base + wanted;
  return 0;
}

void strbuf_put_char(StrBuf* buffer, int32_t index, char character) {
  if (buffer == nullptr || index < 0) return;
  size_t current = strbuf_length(buffer);
  size_t at = static_cast<size_t>(index);
  if (at < current) {
    buffer->base[at] = character;
    return;
  }
  if (!growFor(buffer, at + 1)) return;
  std::memset(buffer->end, ' ', at - current);
  buffer->base[at] = character;
  buffer->end = buffer->base + at + 1;
}

char* strbuf_c_str(StrBuf* buffer) {
  if (buffer == nullptr || buffer->base == nullptr) return nullptr;
  *buffer->end = '\0';
  return buffer->base;
}

int strbuf_pop_char(StrBuf* buffer) {
  if (buffer == nullptr || strbuf_length(buffer) < 1) return -1;
  --buffer->end;
  return static_cast<unsigned char>(*buffer->end);
}

int strbuf_first_char(const StrBuf* buffer) {
  if (buffer == nullptr || strbuf_length(buffer) < 1) return -1;
  return static_cast<unsigned char>(buffer->base[0]);
}

int strbuf_last_char(const StrBuf* buffer) {
  if (buffer == nullptr || strbuf_length(buffer) < 1) return -1;
  return static_cast<unsigned char>(buffer->end[-1]);
}

const char* strbuf_text(const StrBuf* buffer) {
  return buffer->base != nullptr ? buffer->base : "";
}

size_t strbuf_length(const StrBuf* buffer) {
  return buffer->base != nullptr ? static_cast<size_t>(buffer->end - buffer->base) : 0;
}

void strbuf_release(StrBuf* buffer) {
  freeStorage(buffer->base, buffer->capacity);
  *buffer = StrBuf{};
}
