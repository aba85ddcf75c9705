#include "expr/TEFract.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "util/c-memory.h"

void encodeFraction(uint8_t* bytes, double value, int32_t bits) {
  const int32_t count = (bits + 7) / 8;
  if (count <= 0) return;
  auto setLargest = [&] {
    bytes[0] = 0x7F;
    std::memset(bytes + 1, 0xFF, count - 1);
  };
  if (value >= 1.0) {
    setLargest();
    return;
  }
  if (value <= -1.0) {
    bytes[0] = 0x80;
    std::memset(bytes + 1, 0x00, count - 1);
    return;
  }
  std::memset(bytes, 0, count);
  double magnitude = std::fabs(value);
  // The first byte gives up its top bit to the sign.
  for (int32_t index = 0; index < count && magnitude != 0.0; ++index) {
    for (int bit = index == 0 ? 6 : 7; bit >= 0 && magnitude != 0.0; --bit) {
      magnitude *= 2.0;
      if (magnitude >= 1.0) {
        bytes[index] |= static_cast<uint8_t>(1u << bit);
        magnitude -= 1.0;
      }
    }
  }
  if (magnitude >= 0.5) {
    int32_t index = count - 1;
    while (index >= 0 && ++bytes[index] == 0) --index;
    // A carry into the sign bit saturates; a negative value is still negated below.
    if (bytes[0] & 0x80) setLargest();
  }
  if (value < 0.0) {
    bool allZero = true;
    for (int32_t index = 0; index < count; ++index) allZero = allZero && bytes[index] == 0;
    if (!allZero) {
      for (int32_t index = 0; index < count; ++index) bytes[index] = ~bytes[index];
      for (int32_t index = count - 1; index >= 0 && ++bytes[index] == 0; --index) {
      }
    }
  }
}

void TEFract::fract_value::allocate(int32_t bits) {
  bits_ = bits < 0 ? 0 : bits;
  int32_t count = byteCount();
  bytes_ = static_cast<uint8_t*>(xcalloc(count > 0 ? count : 1, 1));
}

TEFract::fract_value::fract_value(double value, int32_t bits) {
  allocate(bits);
  encodeFraction(bytes_, value, bits_);
}

TEFract::fract_value::fract_value(int64_t value, int32_t bits) {
  allocate(bits);
  auto pattern = static_cast<uint64_t>(value);
  for (int32_t index = byteCount() - 1, shift = 0; index >= 0; --index, shift += 8)
    bytes_[index] = shift < 64 ? static_cast<uint8_t>(pattern >> shift) : 0;
}

TEFract::fract_value::fract_value(const uint8_t* bytes, int32_t bits) {
  allocate(bits);
  if (bytes) std::memcpy(bytes_, bytes, byteCount());
}

TEFract::fract_value::fract_value(const fract_value& other) : fract_value(other.bytes_, other.bits_) {}

TEFract::fract_value::~fract_value() { std::free(bytes_); }

int64_t TEFract::fract_value::code() const {
  uint64_t result = 0;
  for (int32_t index = 0; index < byteCount(); ++index) result = (result << 8) | bytes_[index];
  return static_cast<int64_t>(result);
}

double TEFract::fract_value::toDouble() const {
  double result = 0.0;
  double weight = 1.0;
  for (int32_t index = 0; index < byteCount(); ++index) {
    for (int bit = 7; bit >= 0; --bit) {
      bool set = bytes_[index] & (1u << bit);
      if (index == 0 && bit == 7) {
        if (set) result = -1.0;
      } else if (set) {
        result += weight;
      }
      weight /= 2.0;
    }
  }
  return result;
}

void TEFract::print(std::ostream& out, unsigned) const { out << value_.toDouble(); }
