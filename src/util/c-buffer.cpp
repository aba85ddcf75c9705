#include "util/c-buffer.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "util/assertion.h"
#include "util/c-memory.h"

void buf_reset(CBuffer* b) { b->end = b->begin; }

void buf_grow(CBuffer* b) {
  size_t used = static_cast<size_t>(b->end - b->begin);
  b->size *= 2;
  b->begin = static_cast<char*>(xrealloc(b->begin, b->size));
  b->end = b->begin + used;
}

void buf_append(CBuffer* b, const char* text) {
  // Growth would move the block under the text being appended.
  uintptr_t at = reinterpret_cast<uintptr_t>(text);
  uintptr_t begin = reinterpret_cast<uintptr_t>(b->begin);
  if (at >= begin && at < begin + b->size) {
    vektAssertFailed("str < b->begin || str >= b->begin + b->size", "c-buffer.c", __LINE__,
                     __func__);
  }
  size_t length = std::strlen(text);
  size_t used = static_cast<size_t>(b->end - b->begin);
  if (used + length >= b->size) {
    size_t size = b->size;
    while (used + length >= size) size *= 2;
    b->begin = static_cast<char*>(xrealloc(b->begin, size));
    b->size = size;
    b->end = b->begin + used;
  }
  std::memcpy(b->end, text, length + 1);
  b->end += length;
}

const char* buf_text(CBuffer* b) {
  *b->end = '\0';
  return b->begin;
}

char* buf_end(CBuffer* b) {
  *b->end = '\0';
  return b->end;
}

void buf_append_option_arg(CBuffer* b, const OptionHelpHead& option) {
  // Only strings, flags, integers and option files take an argument.
  if (option.type < 1 || option.type > 4) return;
  if (option.optional) buf_append(b, "[");
  buf_append(b, *option.longForm ? option.separatorLong : option.separatorShort);
  buf_append(b, option.argumentText);
  if (option.multiple && *option.multiple) {
    buf_append(b, option.multiple);
    buf_append(b, "...");
  }
  if (option.optional) buf_append(b, "]");
}

const char* buf_format_option(CBuffer* b, const OptionHelpHead& option, size_t width) {
  buf_reset(b);
  buf_append(b, option.shortForm);
  if (option.flagLetter) {
    if (!*option.shortForm) {
      buf_append(b, "   ");
    } else {
      char upper[3] = {'/', static_cast<char>(std::toupper(static_cast<unsigned char>(option.shortForm[0]))), '\0'};
      buf_append(b, upper);
    }
  }
  size_t length = static_cast<size_t>(b->end - b->begin);
  for (; length < width; ++length) buf_append_char(b, ' ');
  buf_append_char(b, ' ');
  if (option.flagLetter) buf_append(b, "+/-");
  buf_append(b, option.longForm);
  buf_append_option_arg(b, option);
  return buf_text(b);
}
