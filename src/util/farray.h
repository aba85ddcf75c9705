// FArray: an array of fixed-size elements that grows on access; elements never
// stored read as zero.
#pragma once

#include <cstddef>
#include <cstdint>

struct FArray {
  size_t elemSize;
  size_t capacity;  // elements allocated; never 0 for a usable array
  size_t count;     // one more than the highest index ever accessed
  void* data;
};

void* farray_at(FArray* a, uint32_t index);
void* farray_set(FArray* a, uint32_t index, const void* value);
