// Error nodes: a failed evaluation returns one of these instead of reporting, and
// the consumer that needs the value reports it at its own source position.
#pragma once

#include "expr/OrbaExpression.h"

class TEError : public OrbaExpression {
 public:
  // Kinds 0 to 17 give the one shared node of the kind; any other kind a new node.
  static TEError* create(uint32_t kind);
  // Always a new node; kind 18 carries a text that replaces the kind's text.
  static TEError* make(uint32_t kind, const char* text = nullptr);
  // Empties the table of shared nodes when the expression pool is replaced.
  static void forgetShared();
  // The text of the node's error kind.
  static const char* kindText(const OrbaExpression* error);
  static const char* kindText(uint32_t kind, const char* extra);

  // Shortcuts to the shared node of one kind each.
  static TEError* kind4() { return create(ERR_argumentIndex); }
  static TEError* kind5() { return create(ERR_cannotEvaluate); }
  static TEError* kind7() { return create(ERR_range); }
  static TEError* kind8() { return create(ERR_divideByZero); }
  static TEError* kind9() { return create(ERR_floatingPoint); }
  static TEError* kind10() { return create(ERR_expectedInteger); }
  static TEError* kind11() { return create(ERR_expectedString); }
  static TEError* kind12() { return create(ERR_missingArguments); }
  static TEError* kind13() { return create(ERR_additionalArguments); }
  static TEError* kind14() { return create(ERR_substringStart); }
  static TEError* kind15() { return create(ERR_substringLength); }
  static TEError* kind16() { return create(ERR_symbolHasNoValue); }
  static TEError* kind17() { return create(ERR_locationCounterInPreprocessor); }

  TEError(uint32_t kind, const char* extra) : kind_(kind), extra_(extra) {}
  // Shared nodes stay for the whole run.
  static void* operator new(size_t size) noexcept { return OrbaExpression::operator new(size); }
  static void operator delete(void*, size_t) {}

  bool isShared() const override { return true; }
  bool isError() const override { return true; }
  const char* getErrorExtra() const override { return extra_; }
  uint32_t getErrorKind() const override { return kind_; }
  uint32_t getKind() const override { return EK_error; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override { return this; }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override;
  ExprNode* toObject(ObjectFile*, bool) override { return nullptr; }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

 private:
  uint32_t kind_;
  const char* extra_;
};
