#include "objlib/ieee695/ieee_value.h"

#include <cstring>

#include "objlib/exprlib.h"
#include "objlib/ios_pool.h"

namespace {

// Storage sizes are multiples of 4 so that they fall on the pools' size classes.
size_t storage_size(size_t capacity) { return (capacity + 3) & ~size_t{3}; }

// Grows so that the capacity exceeds the needed length: the smallest multiple of the
// old capacity, at least twice it, above the length.
int buf_reserve(StrBuf* buffer, size_t needed) {
  if (buffer->capacity > needed && buffer->base != nullptr) return 0;
  size_t step = buffer->capacity != 0 ? buffer->capacity : IEEE_BUF_MIN_CAPACITY;
  size_t capacity = buffer->capacity != 0 ? 2 * buffer->capacity : IEEE_BUF_MIN_CAPACITY;
  while (capacity <= needed) {
    if (capacity > SIZE_MAX / 2 - step) return -1;
    capacity += step;
  }
  auto* storage = static_cast<char*>(pool_alloc(storage_size(capacity)));
  if (storage == nullptr) return -1;
  size_t held = ieee_buf_length(buffer);
  if (held != 0) std::memcpy(storage, buffer->base, held);
  if (buffer->base != nullptr) pool_free(buffer->base, storage_size(buffer->capacity));
  buffer->base = storage;
  buffer->end = storage + held;
  buffer->capacity = capacity;
  return 0;
}

}  // namespace

StrBuf* ieee_buf_new(int64_t capacity) {
  size_t wanted = capacity < static_cast<int64_t>(IEEE_BUF_MIN_CAPACITY)
                      ? IEEE_BUF_MIN_CAPACITY
                      : static_cast<size_t>(capacity);
  auto* buffer = static_cast<StrBuf*>(pool_alloc(sizeof(StrBuf)));
  if (buffer == nullptr) return nullptr;
  auto* storage = static_cast<char*>(pool_alloc(storage_size(wanted)));
  if (storage == nullptr) {
    pool_free(buffer, sizeof(StrBuf));
    return nullptr;
  }
  buffer->base = storage;
  buffer->end = storage;
  buffer->capacity = wanted;
  return buffer;
}

StrBuf* ieee_buf_from_string(const char* text) {
  size_t length = std::strlen(text);
  StrBuf* buffer = ieee_buf_new(static_cast<int64_t>(length + 1));
  if (buffer == nullptr) return nullptr;
  if (ieee_buf_append_bytes(buffer, text, length) != 0) {
    ieee_buf_free(buffer);
    return nullptr;
  }
  *buffer->end = '\0';
  return buffer;
}

StrBuf* ieee_buf_dup(const StrBuf* source) {
  if (source == nullptr) return nullptr;
  size_t length = ieee_buf_length(source);
  StrBuf* copy = ieee_buf_new(static_cast<int64_t>(length));
  if (copy == nullptr) return nullptr;
  if (length != 0 && ieee_buf_append_bytes(copy, source->base, length) != 0) {
    ieee_buf_free(copy);
    return nullptr;
  }
  return copy;
}

void ieee_buf_free(StrBuf* buffer) {
  if (buffer == nullptr) return;
  if (buffer->base != nullptr) pool_free(buffer->base, storage_size(buffer->capacity));
  pool_free(buffer, sizeof(StrBuf));
}

int ieee_buf_append_bytes(StrBuf* buffer, const void* bytes, size_t count) {
  if (buffer == nullptr || (bytes == nullptr && count != 0)) return -1;
  size_t held = ieee_buf_length(buffer);
  if (count > SIZE_MAX / 2 - held) return -1;
  if (buf_reserve(buffer, held + count) != 0) return -1;
  if (count != 0) std::memcpy(buffer->end, bytes, count);
  buffer->end += count;
  return 0;
}

int ieee_buf_put_byte(StrBuf* buffer, uint8_t byte) {
  return ieee_buf_append_bytes(buffer, &byte, 1);
}

int ieee_buf_append_buf(StrBuf* destination, const StrBuf* source) {
  if (destination == nullptr) return -1;
  if (source == nullptr || ieee_buf_length(source) == 0) return 0;
  return ieee_buf_append_bytes(destination, source->base, ieee_buf_length(source));
}

char* ieee_buf_terminate(StrBuf* buffer) {
  if (buffer == nullptr || buffer->base == nullptr) return nullptr;
  *buffer->end = '\0';
  return buffer->base;
}

int ieee_buf_assign(StrBuf* destination, const StrBuf* source) {
  if (destination == nullptr) return -1;
  if (destination == source) return 0;
  destination->end = destination->base;
  return ieee_buf_append_buf(destination, source);
}
