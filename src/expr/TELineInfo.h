// Source-line reference leaf, kept for the whole run; a node is shared, so that the
// forms of one statement asking for their line one after the other get one node.
#pragma once

#include "expr/OrbaExpression.h"

class TELineInfo : public OrbaExpression {
 public:
  // A node of the line record: the one made last when it was for this line.
  static TELineInfo* create(const LineInfo* line);
  // Forgets the node made last when the expression pool is replaced.
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
