// An operand whose value exists only once its instruction is encoded: a callback
// of the encoder makes it from the argument field.
#pragma once

#include "expr/OrbaExpression.h"

class TEPostEncode : public OrbaExpression {
 public:
  // Given the context and the address of the argument field, returns the expression
  // that stands for the value.
  using Callback = OrbaExpression* (*)(void* context, OrbaExpression** argument);

  TEPostEncode(Callback callback, void* context, OrbaExpression* argument)
      : callback_(callback), context_(context), argument_(argument) {}

  bool hasOperands() const override { return true; }
  bool isRelocatable() const override { return false; }
  int32_t getArgumentCount() const override { return 1; }
  OrbaExpression* getArgument(int32_t index) const override;
  bool isInSection(const Section* section) const override;
  bool hasWeakReference() const override;
  uint32_t countSymbolReferences() const override;
  void replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) override;
  OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression) override;
  uint32_t getKind() const override { return EK_postEncode; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override;
  OrbaExpression* clone() override { return new TEPostEncode(callback_, context_, argument_); }
  // The value does not exist before encoding; reaching these is an internal error.
  ExprNode* toObject(ObjectFile* context, bool warn) override;
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

 private:
  // The callback's expression; null when there is none.
  OrbaExpression* resolved() const;
  [[noreturn]] static void notInObjectFile(int line);

  Callback callback_;
  void* context_;
  OrbaExpression* argument_;
};
