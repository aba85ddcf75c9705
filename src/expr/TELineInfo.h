// Source-line reference leaf; one node per line record, kept for the whole run.
#pragma once

#include "expr/OrbaExpression.h"

class TELineInfo : public OrbaExpression {
 public:
  // The interned node of the line record.
  static TELineInfo* create(const LineInfo* line);
  // Empties the interning table when the expression pool is replaced.
  static void forgetInterned();

  static void* operator new(size_t size) noexcept { return OrbaExpression::operator new(size); }
  static void operator delete(void*, size_t) {}

  const LineInfo* lineInfo() const { return line_; }

  bool isShared() const override { return true; }
  bool isValue() const override { return true; }
  uint32_t getKind() const override { return EK_lineInfo; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override { return 0; }
  OrbaExpression* clone() override { return create(line_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

 private:
  explicit TELineInfo(const LineInfo* line) : line_(line) {}
  const LineInfo* line_;
};
