// Byte buffers and value holders of the IEEE-695 codec.
//
// Names, texts and expression byte runs travel as StrBuf byte buffers whose
// capacity always stays above their length, so a closing NUL always fits. A field
// value of a record is an IosValue: an encoded byte run, an expression, or a plain
// number held in its two words (first word low).
#pragma once

#include <cstddef>
#include <cstdint>

#include "objlib/ios_strbuf.h"
#include "objlib/ios_value.h"

struct ExprNode;

inline constexpr size_t IEEE_BUF_MIN_CAPACITY = 10;

// A new empty buffer of capacity max(capacity, 10); null when out of memory.
StrBuf* ieee_buf_new(int64_t capacity);
// A new buffer holding a copy of the text; null when out of memory.
StrBuf* ieee_buf_from_string(const char* text);
// A new buffer with the same bytes; null for a null source or out of memory.
StrBuf* ieee_buf_dup(const StrBuf* source);
// Returns storage and header to the pools; null is ignored.
void ieee_buf_free(StrBuf* buffer);
// Appends bytes; 0, or -1 for a null buffer or when it cannot grow (then the
// buffer is unchanged).
int ieee_buf_append_bytes(StrBuf* buffer, const void* bytes, size_t count);
// Appends one byte; 0 or -1 as above.
int ieee_buf_put_byte(StrBuf* buffer, uint8_t byte);
// Appends the source's bytes to the destination: -1 for a null destination or a
// failed growth, 0 otherwise (a null source appends nothing).
int ieee_buf_append_buf(StrBuf* destination, const StrBuf* source);
// Stores a 0 byte after the bytes (the capacity always leaves room) and returns the
// start; null for a null buffer or one without storage.
char* ieee_buf_terminate(StrBuf* buffer);
// Empties the destination and appends the source's bytes: -1 for a null destination
// or a failed growth (the destination is then empty), 0 otherwise.
int ieee_buf_assign(StrBuf* destination, const StrBuf* source);
// Number of bytes held; 0 for null.
inline size_t ieee_buf_length(const StrBuf* buffer) {
  return buffer != nullptr && buffer->base != nullptr
             ? static_cast<size_t>(buffer->end - buffer->base)
             : 0;
}
inline const uint8_t* ieee_buf_bytes(const StrBuf* buffer) {
  return reinterpret_cast<const uint8_t*>(buffer->base);
}

inline constexpr uint32_t IEEE_UNSET32 = 0xFFFFFFFFu;
inline constexpr uint64_t IEEE_UNSET = ~uint64_t{0};

inline uint64_t ieee_value_number(const IosValue& value) {
  return (uint64_t{value.number2} << 32) | value.number1;
}
inline void ieee_value_set_number(IosValue* value, uint64_t number) {
  value->number1 = static_cast<uint32_t>(number);
  value->number2 = static_cast<uint32_t>(number >> 32);
}
