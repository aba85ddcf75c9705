// Growable text buffer of the object library (the producers build their string
// tables in it). The held text is always followed by a NUL inside the capacity.
#pragma once

#include <cstddef>

struct StrBuf {
  char* start;  // null while nothing has been appended
  char* end;    // the NUL behind the held text
  size_t capacity;
};

// Appends a NUL-terminated text, growing the buffer; 0, or -1 for a null buffer or
// text, or when the buffer cannot grow.
int strbuf_append(StrBuf* buffer, const char* text);
// The held text; "" for an empty buffer.
const char* strbuf_text(const StrBuf* buffer);
// Length of the held text without its NUL.
size_t strbuf_length(const StrBuf* buffer);
// Returns the storage to the pools and leaves the buffer empty.
void strbuf_release(StrBuf* buffer);
