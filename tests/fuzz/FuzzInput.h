// Reads a fuzz input as a stream of choices; past its end every read gives 0, so a
// target never reads out of bounds whatever the input's length.
#pragma once

#include <cstddef>
#include <cstdint>

struct Input {
  const uint8_t* data;
  size_t size;
  size_t position;

  bool empty() const { return position >= size; }
  uint8_t byte() { return position < size ? data[position++] : 0; }
  uint64_t word() {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | byte();
    return value;
  }
};
