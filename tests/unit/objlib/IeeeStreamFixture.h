// Streams over temporary files for the IEEE-695 codec tests: write through a
// stream and collect the bytes, or read a byte table back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "objlib/ieee695/ieee_stream.h"
#include "objlib/ieee695/ieee_state.h"

using Bytes = std::vector<uint8_t>;

inline Bytes ieee_file_bytes(FILE* file) {
  std::fflush(file);
  std::rewind(file);
  Bytes bytes;
  int c = 0;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  return bytes;
}

// Runs the writer over a write stream and returns the bytes that reached the file.
// The writer's result goes to *result when asked.
inline Bytes ieee_written(const std::function<int(IeeeStream*)>& writer, int* result = nullptr) {
  FILE* file = std::tmpfile();
  IeeeStream* stream = ieee_stream_open_write(file);
  int outcome = writer(stream);
  if (result != nullptr) *result = outcome;
  ieee_stream_close(&stream);
  Bytes bytes = ieee_file_bytes(file);
  std::fclose(file);
  return bytes;
}

// A read stream over the bytes; the file goes with the reader.
struct IeeeReader {
  FILE* file = nullptr;
  IeeeStream* stream = nullptr;
  explicit IeeeReader(const Bytes& bytes) {
    file = std::tmpfile();
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    stream = ieee_stream_open(file, 0);
  }
  ~IeeeReader() {
    ieee_stream_close(&stream);
    std::fclose(file);
  }
  IeeeReader(const IeeeReader&) = delete;
  IeeeReader& operator=(const IeeeReader&) = delete;
  // The bytes not yet taken.
  Bytes rest() {
    Bytes bytes;
    uint8_t byte = 0;
    while (ieee_stream_get_byte(stream, &byte) != 0) bytes.push_back(byte);
    return bytes;
  }
};

inline Bytes ieee_buf_to_bytes(const StrBuf* buffer) {
  if (buffer == nullptr || buffer->base == nullptr) return {};
  return Bytes(ieee_buf_bytes(buffer), ieee_buf_bytes(buffer) + ieee_buf_length(buffer));
}

inline StrBuf* ieee_test_text(const std::string& text) {
  return ieee_buf_from_string(text.c_str());
}
