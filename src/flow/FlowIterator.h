// The two iterator interfaces behind every walk over sections, flows and symbols.
// A concrete iterator is a small object made by its user and deleted through the
// virtual destructor.
#pragma once

template <typename T>
class ForwardIterator {
 public:
  virtual void first() = 0;
  virtual void next() = 0;
  virtual bool isDone() const = 0;
  virtual T current() const = 0;
  virtual ~ForwardIterator() = default;
};

template <typename T>
class BidirectionalIterator {
 public:
  virtual bool first() = 0;
  virtual void last() = 0;
  virtual void next() = 0;
  virtual void prev() = 0;
  virtual bool isDone() const = 0;
  virtual T current() const = 0;
  virtual ~BidirectionalIterator() = default;
};
