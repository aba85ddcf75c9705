#include "objlib/ieee695/ieee_stream.h"

#include <cstdlib>
#include <new>

#include "objlib/ios_pool.h"

namespace {

// One block write; a short write marks the stream so that the run can report it.
bool write_block(IeeeStream* stream, uint32_t count) {
  if (count == 0 || stream->handle == nullptr) return true;
  if (std::fwrite(stream->buffer, 1, count, stream->handle) != count) {
    stream->write_failed = true;
    return false;
  }
  return true;
}

void refill(IeeeStream* stream) {
  stream->fill = 0;
  stream->limit =
      static_cast<uint32_t>(std::fread(stream->buffer, 1, IEEE_STREAM_BLOCK, stream->handle));
}

bool writing(const IeeeStream* stream) { return stream != nullptr && stream->mode != 0; }
bool reading(const IeeeStream* stream) { return stream != nullptr && stream->mode == 0; }

// The n value bytes of a number after its count byte, most significant first.
int read_number_bytes(IeeeStream* stream, uint32_t count, uint64_t* out) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t byte = 0;
    if (ieee_stream_get_byte(stream, &byte) == 0) {
      *out = value;
      return 0;
    }
    value = (value << 8) | byte;
  }
  *out = value;
  return 1;
}

// A number whose first byte was already taken.
int finish_number(IeeeStream* stream, uint8_t first, uint64_t* out) {
  if (first < 0x80) {
    *out = first;
    return 1;
  }
  if (first == 0x80) {
    *out = 0;
    return 0;
  }
  if (first <= 0x88) return read_number_bytes(stream, first - 0x80u, out);
  ieee_stream_unget_byte(stream);
  *out = 0;
  return 0;
}

}  // namespace

IeeeStream* ieee_stream_alloc() { return static_cast<IeeeStream*>(pool_alloc(sizeof(IeeeStream))); }

IeeeStream* ieee_stream_open(FILE* handle, uint32_t mode) {
  if (handle == nullptr) return nullptr;
  IeeeStream* stream = ieee_stream_alloc();
  if (stream == nullptr) return nullptr;
  stream->handle = handle;
  stream->mode = mode;
  stream->limit = mode != 0 ? IEEE_STREAM_BLOCK : 0;
  return stream;
}

IeeeStream* ieee_stream_open_write(FILE* handle) { return ieee_stream_open(handle, 1); }

IeeeStream* ieee_stream_open_discard() {
  IeeeStream* stream = ieee_stream_alloc();
  if (stream == nullptr) return nullptr;
  stream->mode = 1;
  stream->limit = IEEE_STREAM_BLOCK;
  return stream;
}

int ieee_stream_close(IeeeStream** slot) {
  if (slot == nullptr || *slot == nullptr) return 1;
  IeeeStream* stream = *slot;
  bool ok = true;
  if (stream->mode != 0) {
    if (stream->fill != stream->limit) ok = write_block(stream, stream->fill);
    if (stream->handle != nullptr && std::fflush(stream->handle) != 0) ok = false;
    ok = ok && !stream->write_failed;
  }
  pool_free(stream, sizeof(IeeeStream));
  *slot = nullptr;
  return ok ? 1 : 0;
}

int ieee_stream_put_byte(IeeeStream* stream, uint8_t byte) {
  if (!writing(stream)) return 0;
  stream->buffer[stream->fill++] = byte;
  ++stream->position;
  if (stream->fill == IEEE_STREAM_BLOCK) {
    stream->fill = 0;
    if (!write_block(stream, IEEE_STREAM_BLOCK)) return 0;
  }
  return 1;
}

int ieee_stream_get_byte(IeeeStream* stream, uint8_t* out) {
  if (out != nullptr) *out = 0;
  if (!reading(stream)) return 0;
  if (stream->fill == stream->limit) refill(stream);
  if (stream->limit == 0) {
    stream->at_end = true;
    return 0;
  }
  stream->at_end = false;
  if (out != nullptr) *out = stream->buffer[stream->fill];
  ++stream->fill;
  ++stream->position;
  return 1;
}

void ieee_stream_unget_byte(IeeeStream* stream) {
  if (!reading(stream)) return;
  // Nothing was taken, or the last get found the end: there is no byte to give back,
  // and re-reading the last block would hand out a byte twice.
  if (stream->at_end) {
    stream->at_end = false;
    return;
  }
  if (stream->position == 0) return;
  if (stream->fill == 0) {
    // The byte lies in the previous block, which was a full one.
    long back = static_cast<long>(stream->limit) + static_cast<long>(IEEE_STREAM_BLOCK);
    if (std::fseek(stream->handle, -back, SEEK_CUR) != 0) return;
    refill(stream);
    stream->fill = stream->limit;
  }
  if (stream->fill > 0) {
    --stream->fill;
    --stream->position;
  }
}

int ieee_stream_peek_byte(IeeeStream* stream, uint8_t* out) {
  if (ieee_stream_get_byte(stream, out) == 0) {
    ieee_stream_unget_byte(stream);
    return 0;
  }
  ieee_stream_unget_byte(stream);
  return 1;
}

int ieee_read_record_type(IeeeStream* stream, uint32_t* type) {
  uint8_t byte = 0;
  int got = ieee_stream_get_byte(stream, &byte);
  if (type != nullptr) *type = byte;
  if (got != 0 && ieee_is_record_byte(byte)) return 1;
  ieee_stream_unget_byte(stream);
  return 0;
}

int ieee_read_number(IeeeStream* stream, uint64_t* out) {
  uint64_t scratch = 0;
  if (out == nullptr) out = &scratch;
  *out = 0;
  uint8_t byte = 0;
  if (ieee_stream_get_byte(stream, &byte) == 0) {
    ieee_stream_unget_byte(stream);
    return 0;
  }
  return finish_number(stream, byte, out);
}

int ieee_write_number(IeeeStream* stream, uint64_t value) {
  if (!writing(stream)) return 0;
  if (value < 0x80) return ieee_stream_put_byte(stream, static_cast<uint8_t>(value));
  // Four value bytes are the widest the writer puts; the unset value is their
  // all-ones pattern, anything else beyond 32 bits would come out as a wrong value.
  if (value > 0xFFFFFFFFu && value != IEEE_UNSET) return 0;
  auto low = static_cast<uint32_t>(value);
  uint32_t count = 4;
  while (count > 1 && (low >> ((count - 1) * 8)) == 0) --count;
  int result = ieee_stream_put_byte(stream, static_cast<uint8_t>(0x80 + count));
  for (uint32_t i = count; i-- > 0;) {
    result = ieee_stream_put_byte(stream, static_cast<uint8_t>(low >> (i * 8)));
  }
  return result;
}

int ieee_read_variable(IeeeStream* stream, IeeeVariable* out) {
  if (out == nullptr || stream == nullptr) return 0;
  uint8_t letter = 0;
  if (ieee_stream_get_byte(stream, &letter) == 0 || !ieee_is_letter(letter)) {
    ieee_stream_unget_byte(stream);
    return 0;
  }
  out->letter = letter;
  out->index = 0;
  if (letter == 0xC7) return 1;
  uint8_t first = 0xFF;
  if (ieee_stream_get_byte(stream, &first) == 0) {
    ieee_stream_unget_byte(stream);
    return 0;
  }
  return finish_number(stream, first, &out->index);
}

int ieee_write_variable(IeeeStream* stream, IeeeVariable variable) {
  if (!writing(stream)) return 0;
  if (ieee_stream_put_byte(stream, static_cast<uint8_t>(variable.letter)) == 0) return 0;
  if (variable.letter == 0xC7) return 1;
  return ieee_write_number(stream, variable.index);
}

int ieee_read_string(IeeeStream* stream, StrBuf** out) {
  if (out == nullptr) return 0;
  *out = nullptr;
  if (!reading(stream)) return 0;
  uint8_t first = 0xFF;
  uint32_t length = 0;
  if (ieee_stream_get_byte(stream, &first) != 0 && first < 0x80) {
    length = first;
  } else if (first == 0xDF && !stream->at_end) {
    uint8_t high = 0;
    uint8_t low = 0;
    if (ieee_stream_get_byte(stream, &high) != 0 && ieee_stream_get_byte(stream, &low) != 0) {
      length = high * 256u + low;
    }
  } else if (first == 0xDE && !stream->at_end) {
    uint8_t byte = 0;
    if (ieee_stream_get_byte(stream, &byte) != 0) length = byte;
  } else {
    ieee_stream_unget_byte(stream);
  }
  StrBuf* text = ieee_buf_new(length);
  if (text == nullptr) return 0;
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t byte = 0;
    if (ieee_stream_get_byte(stream, &byte) == 0) break;
    if (ieee_buf_put_byte(text, byte) != 0) {
      ieee_buf_free(text);
      return 0;
    }
  }
  *text->end = '\0';
  *out = text;
  return 1;
}

int ieee_write_string(IeeeStream* stream, StrBuf* text) {
  if (!writing(stream)) return 0;
  size_t length = ieee_buf_length(text);
  int result = 0;
  if (length < 128) {
    result = ieee_stream_put_byte(stream, static_cast<uint8_t>(length));
  } else if (length < 256) {
    result = ieee_stream_put_byte(stream, 0xDE) != 0 &&
             ieee_stream_put_byte(stream, static_cast<uint8_t>(length)) != 0;
  } else if (length <= 65535) {
    result = ieee_stream_put_byte(stream, 0xDF) != 0 &&
             ieee_stream_put_byte(stream, static_cast<uint8_t>(length >> 8)) != 0 &&
             ieee_stream_put_byte(stream, static_cast<uint8_t>(length & 0xFF)) != 0;
  } else {
    return 0;
  }
  if (result == 0) return 0;
  const uint8_t* bytes = length != 0 ? ieee_buf_bytes(text) : nullptr;
  for (size_t i = 0; i < length; ++i) result = ieee_stream_put_byte(stream, bytes[i]);
  return result;
}

int ieee_read_expression(IeeeStream* stream, IosValue* out) {
  if (out == nullptr) return 0;
  ios_value_init(out);
  if (!reading(stream)) return 0;
  StrBuf* bytes = ieee_buf_new(IEEE_BUF_MIN_CAPACITY);
  if (bytes == nullptr) return 0;
  int wellformed = 1;
  bool grown = true;
  uint8_t c = 0;
  bool have = ieee_stream_get_byte(stream, &c) != 0;
  while (have && grown) {
    if (ieee_is_record_byte(c)) {
      // The record byte that ends the run stays on the stream and also closes the run.
      ieee_stream_unget_byte(stream);
      grown = ieee_buf_put_byte(bytes, c) == 0;
      break;
    }
    grown = ieee_buf_put_byte(bytes, c) == 0;
    if (c == 0xBB || c == 0xBD || c == 0xBF) break;
    if (c >= 0x81 && c <= 0x88) {
      for (uint32_t i = 0; i < c - 0x80u && grown; ++i) {
        uint8_t byte = 0;
        ieee_stream_get_byte(stream, &byte);
        grown = ieee_buf_put_byte(bytes, byte) == 0;
      }
    } else if ((c >= 0x89 && c <= 0x8F) || (c >= 0xDB && c <= 0xDF)) {
      wellformed = 0;
    }
    have = ieee_stream_get_byte(stream, &c) != 0;
  }
  if (!grown) {
    ieee_buf_free(bytes);
    return 0;
  }
  if (ieee_buf_length(bytes) != 0) {
    out->text = bytes;
  } else {
    ieee_buf_free(bytes);
  }
  return wellformed;
}

int ieee_write_value(IeeeStream* stream, const IosValue& value) {
  if (!writing(stream)) return 0;
  if (value.text != nullptr) {
    size_t length = ieee_buf_length(value.text);
    if (length < 1) return 0;
    const uint8_t* bytes = ieee_buf_bytes(value.text);
    int result = 0;
    for (size_t i = 0; i < length; ++i) result = ieee_stream_put_byte(stream, bytes[i]);
    return result;
  }
  return ieee_write_number(stream, ieee_value_number(value));
}
