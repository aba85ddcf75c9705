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
  InlineVector(const InlineVector& other) { assign(other.data_, other.size_); }
  InlineVector(InlineVector&& other) noexcept { take(other); }
  InlineVector& operator=(const InlineVector& other) {
    if (this != &other) {
      size_ = 0;
      assign(other.data_, other.size_);
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
    if (size_ == capacity_) grow(capacity_ * 2);
    data_[size_++] = value;
  }
  void pop_back() { --size_; }
  // Empties the array; the storage stays for the next elements.
  void clear() { size_ = 0; }
  // Empties the array and gives heap storage back.
  void reset() {
    releaseStorage();
    data_ = inline_;
    capacity_ = N;
    size_ = 0;
  }
  void reserve(size_t capacity) {
    if (capacity > capacity_) grow(capacity);
  }

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](size_t index) { return data_[index]; }
  const T& operator[](size_t index) const { return data_[index]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  bool operator==(const InlineVector& other) const {
    if (size_ != other.size_) return false;
    for (size_t i = 0; i < size_; ++i)
      if (!(data_[i] == other.data_[i])) return false;
    return true;
  }

 private:
  bool onHeap() const { return data_ != inline_; }
  void releaseStorage() {
    if (onHeap()) std::free(data_);
  }
  void grow(size_t capacity) {
    if (capacity > UINT32_MAX) mem_out_of_memory();
    if (onHeap()) {
      data_ = static_cast<T*>(xrealloc(data_, capacity * sizeof(T)));
    } else {
      T* heap = static_cast<T*>(xrealloc(nullptr, capacity * sizeof(T)));
      if (size_) std::memcpy(static_cast<void*>(heap), inline_, size_ * sizeof(T));
      data_ = heap;
    }
    capacity_ = static_cast<uint32_t>(capacity);
  }
  void assign(const T* values, size_t count) {
    reserve(count);
    if (count) std::memcpy(static_cast<void*>(data_), values, count * sizeof(T));
    size_ = static_cast<uint32_t>(count);
  }
  // Takes the other's elements (and its heap storage) and leaves it empty.
  void take(InlineVector& other) {
    if (other.onHeap()) {
      data_ = other.data_;
      capacity_ = other.capacity_;
      size_ = other.size_;
    } else {
      data_ = inline_;
      capacity_ = N;
      size_ = other.size_;
      if (size_) std::memcpy(static_cast<void*>(inline_), other.inline_, size_ * sizeof(T));
    }
    other.data_ = other.inline_;
    other.capacity_ = N;
    other.size_ = 0;
  }

  T* data_ = inline_;
  uint32_t size_ = 0;
  uint32_t capacity_ = N;
  T inline_[N];
};
