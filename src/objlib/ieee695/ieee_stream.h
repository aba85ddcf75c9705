// Buffered byte stream of IEEE-695 input and output, and the field codec built on
// it: numbers, variables, name strings and expression byte runs.
//
// Every field operation looks at the stream's mode and either writes or reads, so
// one record routine serves both directions. Results are 1 for success and 0 for
// failure; a null stream always fails without touching anything.
#pragma once

#include <cstdint>
#include <cstdio>

#include "objlib/ieee695/ieee_value.h"

inline constexpr uint32_t IEEE_STREAM_BLOCK = 16384;

struct IeeeStream {
  FILE* handle;
  uint32_t mode;  // non-zero writing, 0 reading
  uint32_t fill;
  uint32_t limit;
  uint64_t position;  // bytes put or taken since the stream was made
  bool write_failed;  // a block write of the handle came up short
  bool at_end;        // the last get found the end of the input
  uint8_t buffer[IEEE_STREAM_BLOCK];
};

// A variable: a letter 0xC0-0xDA and an index (none for 0xC7).
struct IeeeVariable {
  uint32_t letter;
  uint64_t index;
};

// A zeroed stream block from the pools (pool_free with its size gives it back); null
// when out of memory.
IeeeStream* ieee_stream_alloc();
// A new stream on the handle, writing for mode 1 and reading for mode 0; null for a
// null handle or out of memory.
IeeeStream* ieee_stream_open(FILE* handle, uint32_t mode);
IeeeStream* ieee_stream_open_write(FILE* handle);
// A write stream without a file: it counts what it is given and drops it. Records are
// tried on one before they are written.
IeeeStream* ieee_stream_open_discard();
// Writes what is pending (write mode), flushes the handle and frees the stream held
// in the slot; the slot becomes null. 1, or 0 when any block write of the stream
// failed (the stream is freed all the same). An empty slot gives 1.
int ieee_stream_close(IeeeStream** slot);

int ieee_stream_put_byte(IeeeStream* stream, uint8_t byte);
int ieee_stream_get_byte(IeeeStream* stream, uint8_t* out);
void ieee_stream_unget_byte(IeeeStream* stream);
// Looks at the next byte without taking it; 0 at the end of the input.
int ieee_stream_peek_byte(IeeeStream* stream, uint8_t* out);

int ieee_read_record_type(IeeeStream* stream, uint32_t* type);
int ieee_read_number(IeeeStream* stream, uint64_t* out);
// Values of 2^32 and more cannot be written, except the all-ones "unset" value,
// which is written like 0xFFFFFFFF.
int ieee_write_number(IeeeStream* stream, uint64_t value);
int ieee_read_variable(IeeeStream* stream, IeeeVariable* out);
int ieee_write_variable(IeeeStream* stream, IeeeVariable variable);
int ieee_read_string(IeeeStream* stream, StrBuf** out);
int ieee_write_string(IeeeStream* stream, StrBuf* text);
int ieee_read_expression(IeeeStream* stream, IosValue* out);
int ieee_write_value(IeeeStream* stream, const IosValue& value);

// True when the byte starts a number (optional numbers are present then).
inline bool ieee_starts_number(uint8_t byte) { return byte <= 0x88; }
inline bool ieee_is_letter(uint8_t byte) { return byte >= 0xC0 && byte <= 0xDA; }
inline bool ieee_is_record_byte(uint8_t byte) { return byte >= 0xE0; }
