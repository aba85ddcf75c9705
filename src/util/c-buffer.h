// CBuffer: a growable text buffer that is NUL-terminated when read out, and the
// two routines that format the head of an option's help entry.
#pragma once

#include <cstddef>

struct CBuffer {
  char* begin;  // heap block of size bytes
  char* end;    // one past the last character of the text
  size_t size;
};

void buf_reset(CBuffer* b);
void buf_append(CBuffer* b, const char* text);
// Doubles the block, keeping the text.
void buf_grow(CBuffer* b);
const char* buf_text(CBuffer* b);
char* buf_end(CBuffer* b);

inline void buf_append_char(CBuffer* b, char c) {
  *b->end++ = c;
  if (b->end == b->begin + b->size) buf_grow(b);
}

// What the help head of one option shows; the option parser fills it from its
// record, so that this layer does not depend on the option table.
struct OptionHelpHead {
  const char* shortForm = "";
  const char* longForm = "";
  const char* argumentText = "";
  int type = 0;             // value type code of the record (1..4 take an argument)
  bool flagLetter = false;  // a boolean child of a flags option
  const char* optional = nullptr;        // OPT attribute, null when absent
  const char* separatorShort = "";       // SEPS attribute
  const char* separatorLong = "=";       // SEPL attribute
  const char* multiple = nullptr;        // MUL attribute, null when absent
};

// Formats the head into the buffer and returns its text.
const char* buf_format_option(CBuffer* b, const OptionHelpHead& option, size_t width);
void buf_append_option_arg(CBuffer* b, const OptionHelpHead& option);
