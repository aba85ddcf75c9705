// Unit access inside the segments of a section image, shared by the image operations and
// the placement of one section into another: a unit of up to 8, 16, 32 or 64 bits is
// stored in 1, 2, 4 or 8 bytes, and a segment never written reads as zeros.
#pragma once

#include <cstdint>

#include "objlib/ios_image.h"

inline constexpr uint32_t IOS_LARGEST_UNIT_BITS = 64;

inline uint32_t ios_unit_bytes(uint32_t bits) {
  if (bits <= 8) return 1;
  if (bits <= 16) return 2;
  if (bits <= 32) return 4;
  return 8;
}

inline IosSegment* ios_segment_at(IosImage* image, uint32_t index) {
  return static_cast<IosSegment*>(ios_array_at(&image->segments, sizeof(IosSegment), index));
}

inline uint64_t ios_segment_read_unit(const IosSegment* segment, uint32_t element) {
  if (segment->buffer == nullptr) return 0;
  switch (ios_unit_bytes(segment->mau_size)) {
    case 1: return static_cast<const uint8_t*>(segment->buffer)[element];
    case 2: return static_cast<const uint16_t*>(segment->buffer)[element];
    case 4: return static_cast<const uint32_t*>(segment->buffer)[element];
    default: return static_cast<const uint64_t*>(segment->buffer)[element];
  }
}

inline void ios_segment_write_unit(IosSegment* segment, uint32_t element, uint64_t value) {
  switch (ios_unit_bytes(segment->mau_size)) {
    case 1: static_cast<uint8_t*>(segment->buffer)[element] = static_cast<uint8_t>(value); break;
    case 2: static_cast<uint16_t*>(segment->buffer)[element] = static_cast<uint16_t>(value); break;
    case 4: static_cast<uint32_t*>(segment->buffer)[element] = static_cast<uint32_t>(value); break;
    default: static_cast<uint64_t*>(segment->buffer)[element] = value; break;
  }
}
