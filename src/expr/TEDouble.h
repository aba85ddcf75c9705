// Floating-point leaf; not interned, every parse and fold makes a new node.
#pragma once

#include "expr/OrbaExpression.h"

class TEDouble : public OrbaExpression {
 public:
  static TEDouble* create(double value) { return new TEDouble(value); }
  explicit TEDouble(double value) : value_(value) {}

  bool isValue() const override { return true; }
  // Truncated toward zero; values outside the signed 64-bit range saturate.
  int64_t getInteger() const override;
  double getDouble() const override { return value_; }
  uint32_t getKind() const override { return EK_double; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override { return this; }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override { return new TEDouble(value_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

 private:
  double value_;
};
