// Growable text buffers of the object library. The producers build texts in them and
// value holders own one each. Growth keeps the capacity a multiple of the capacity it
// started from (2c, 3c, ... until the text fits with room for a NUL), so a record
// that grows a little at a time does not reallocate on every step.
//
// The text is not kept NUL-terminated as such: the C-string appends copy their NUL,
// the byte appends and the length setters do not, and strbuf_c_str writes one before
// handing the text out.
#pragma once

#include <cstddef>
#include <cstdint>

struct StrBuf {
  char* base;  // null only for a buffer made without storage
  char* end;   // one past the last character
  uint32_t capacity;
};

inline constexpr int32_t STRBUF_MIN_CAPACITY = 10;

// A new empty buffer of capacity max(n, 10); null when memory is short.
StrBuf* strbuf_new(int32_t capacity);
// A new buffer holding the text; null on failure.
StrBuf* strbuf_from_string(const char* text);
// A new buffer with the source's characters; null for a null source, one without
// storage, or when memory is short.
StrBuf* strbuf_dup(StrBuf* source);
// Gives back the storage and the header; null is ignored.
void strbuf_free(StrBuf* buffer);

// 0 on success, -1 for a null buffer or when memory is short (the buffer unchanged).
int strbuf_append(StrBuf* buffer, const char* text);
int strbuf_append_bytes(StrBuf* buffer, const void* bytes, int32_t count);
int strbuf_append_int(StrBuf* buffer, int32_t value);
int strbuf_assign(StrBuf* buffer, const char* text);
int strbuf_clear(StrBuf* buffer);
// Grows so that the capacity exceeds length + extra; the length stays.
int strbuf_reserve(StrBuf* buffer, int32_t extra);
// Longer: blanks fill the new positions. Shorter: only the end moves.
int strbuf_set_length(StrBuf* buffer, int32_t length);
// Stores the character at the index, filling any gap before it with blanks.
void strbuf_put_char(StrBuf* buffer, int32_t index, char character);
// Writes a NUL at the end and returns the text; null without storage.
char* strbuf_c_str(StrBuf* buffer);
// Characters as values 0..255, or -1 for an empty buffer; pop also shortens it.
int strbuf_pop_char(StrBuf* buffer);
int strbuf_first_char(const StrBuf* buffer);
int strbuf_last_char(const StrBuf* buffer);

// Readers for buffers embedded in other records (a zeroed StrBuf is empty).
const char* strbuf_text(const StrBuf* buffer);
size_t strbuf_length(const StrBuf* buffer);
// Gives back the storage of an embedded buffer and leaves it zeroed.
void strbuf_release(StrBuf* buffer);
