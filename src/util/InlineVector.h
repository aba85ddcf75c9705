// A growable array of plain values whose first N elements live inside the object. The
// records of a candidate hold a handful of operand fields, runs, lists and conditions each;
// keeping those in the record spares the heap on every statement, and only a list that
// outgrows its room moves to the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "util/c-memory.h"

template <typename T, size_t N>
class InlineVector {
  static_assert(std::is_trivially_copyable_v<T>, "elements are moved as bytes");
  static_assert(N > 0);

 public:
  InlineVector() = default;
  InlineVector(std::initializer_list<T> values) { assign(values.begin(), values.size()); }
  InlineVector(const InlineVector& other) { assign(other.data(), other.size_); }
  InlineVector(InlineVector&& other) noexcept { take(other); }
  InlineVector& operator=(const InlineVector& other) {
    if (this != &other) {
      size_ = 0;
      assign(other.data(), other.size_);
    }
    return *this;
  }
  InlineVector& operator=(InlineVector&& other) noexcept {
    if (this != &other) {
      releaseStorage();
      take(other);
    }
    return *this;
  }
  InlineVector& operator=(std::initializer_list<T> values) {
    size_ = 0;
    assign(values.begin(), values.size());
    return *this;
  }
  ~InlineVector() { releaseStorage(); }

  void push_back(const T& value) {
    if (size_ == capacity_) grow(size_t{capacity_} * 2);
    data()[size_++] = value;
  }
  void pop_back() { --size_; }
  void clear() { size_ = 0; }
  void reset() {
    releaseStorage();
    capacity_ = N;
    size_ = 0;
  }
  void reserve(size_t capacity) {
    if (capacity > capacity_) grow(capacity);
  }

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return onHeap() ? storage_.heap : storage_.items; }
  const T* data() const { return onHeap() ? storage_.heap : storage_.items; }
  T& operator[](size_t index) { return data()[index]; }
  const T& operator[](size_t index) const { return data()[index]; }
  T& back() { return data()[size_ - 1]; }
  const T& back() const { return data()[size_ - 1]; }
  T* begin() { return data(); }
  T* end() { return data() + size_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }

  bool operator==(const InlineVector& other) const {
    if (size_ != other.size_) return false;
    const T* mine = data();
    const T* theirs = other.data();
    for (size_t i = 0; i < size_; ++i)
      if (!(mine[i] == theirs[i])) return false;
    return true;
  }

 private:
  // The elements live in the object until the capacity passes N; the heap pointer then
  // takes the room they had, so that a record pays no pointer for its inline elements.
  bool onHeap() const { return capacity_ > N; }
  void releaseStorage() {
    if (onHeap()) std::free(storage_.heap);
  }
  void grow(size_t capacity) {
    if (capacity > UINT32_MAX) mem_out_of_memory();
    if (onHeap()) {
      storage_.heap = static_cast<T*>(xrealloc(storage_.heap, capacity * sizeof(T)));
    } else {
      T* heap = static_cast<T*>(xrealloc(nullptr, capacity * sizeof(T)));
      if (size_) std::memcpy(static_cast<void*>(heap), storage_.items, size_ * sizeof(T));
      storage_.heap = heap;
    }
    capacity_ = static_cast<uint32_t>(capacity);
  }
  void assign(const T* values, size_t count) {
    reserve(count);
    if (count) std::memcpy(static_cast<void*>(data()), values, count * sizeof(T));
    size_ = static_cast<uint32_t>(count);
  }
  void take(InlineVector& other) {
    // The storage moves as bytes: the inline elements, or the heap pointer with its capacity.
    std::memcpy(static_cast<void*>(&storage_), &other.storage_, sizeof storage_);
    capacity_ = other.capacity_;
    size_ = other.size_;
    other.capacity_ = N;
    other.size_ = 0;
  }

  union Storage {
    T items[N];
    T* heap;
  } storage_;
  uint32_t size_ = 0;
  uint32_t capacity_ = N;
};
