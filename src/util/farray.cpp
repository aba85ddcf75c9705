#include "util/farray.h"

#include <cstring>

#include "util/c-memory.h"

void* farray_at(FArray* a, uint32_t index) {
  if (index >= a->capacity) {
    size_t capacity = a->capacity ? a->capacity : 1;
    while (capacity <= index) capacity *= 2;
    if (capacity > SIZE_MAX / a->elemSize) mem_out_of_memory();
    a->data = xrealloc(a->data, capacity * a->elemSize);
    std::memset(static_cast<char*>(a->data) + a->capacity * a->elemSize, 0,
                (capacity - a->capacity) * a->elemSize);
    a->capacity = capacity;
  }
  if (index >= a->count) a->count = static_cast<size_t>(index) + 1;
  return static_cast<char*>(a->data) + static_cast<size_t>(index) * a->elemSize;
}

void* farray_set(FArray* a, uint32_t index, const void* value) {
  void* element = farray_at(a, index);
  std::memcpy(element, value, a->elemSize);
  return element;
}
