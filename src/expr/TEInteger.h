// Integer leaf. Nodes are shared and never freed: one node per value in a small range
// around zero; other values share a node while it is recent (compare them by value).
#pragma once

#include "expr/OrbaExpression.h"
#include "util/RunState.h"

class TEInteger : public OrbaExpression {
 public:
  // A shared node of the value (null only when the pool gives no block).
  static TEInteger* create(int64_t value) {
    // Register numbers, field values and small offsets make up most integers asked for:
    // their nodes are found by index, in front of the table of recent ones.
    // Unsigned, so that one compare bounds the index from both sides.
    uint64_t index = static_cast<uint64_t>(value) - static_cast<uint64_t>(kSmallLowest);
    TEInteger** small = smallIntegers();
    if (index < static_cast<uint64_t>(kSmallCount) && small[index]) return small[index];
    return createInterned(value);
  }
  // Forgets the shared nodes when the expression pool is replaced.
  static void forgetInterned();

  // A node of its own, shared with no other value (unary folds, validator transforms).
  explicit TEInteger(int64_t value) : value_(value) {}
  static void* operator new(size_t size) noexcept { return OrbaExpression::operator new(size); }
  static void operator delete(void*, size_t) {}

  bool isShared() const override { return true; }
  bool isValue() const override { return true; }
  int64_t getInteger() const override { return value_; }
  double getDouble() const override { return static_cast<double>(value_); }
  uint32_t getKind() const override { return EK_integer; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override { return this; }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override { return create(value_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;
  ExprNode* toObject(ObjectFile* context, bool warn) override;

 private:
  static constexpr int64_t kSmallLowest = -1024;
  static constexpr int64_t kSmallCount = 5120;
  struct SmallIntegers {
    TEInteger* nodes[kSmallCount] = {};
  };
  static TEInteger** smallIntegers() { return runPart<SmallIntegers>().nodes; }
  static TEInteger* createInterned(int64_t value);

  int64_t value_;
};
