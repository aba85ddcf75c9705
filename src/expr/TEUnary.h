// Unary operator nodes: logical not, complement, negation and unary plus.
#pragma once

#include "expr/OrbaExpression.h"

class TEUnary : public OrbaExpression {
 public:
  TEUnary(int32_t op, OrbaExpression* operand) : op_(op), operand_(operand) {}

  // The operator's text before the operand in print.
  static const char* operatorText(int32_t op);

  OrbaExpression* operand() const { return operand_; }

  bool hasOperands() const override { return true; }
  bool isRelocatable() const override;
  int32_t getArgumentCount() const override { return 1; }
  OrbaExpression* getArgument(int32_t index) const override;
  int32_t getOperator() const override { return op_; }
  bool isInSection(const Section* section) const override;
  bool hasWeakReference() const override;
  uint32_t countSymbolReferences() const override;
  void replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) override;
  OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression) override;
  uint32_t getKind() const override { return EK_unary; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override;
  OrbaExpression* clone() override { return new TEUnary(op_, operand_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;
  ExprNode* toObject(ObjectFile* context, bool warn) override;

  // Each is given the operator code and the evaluated operand.
  virtual OrbaExpression* foldNot(int32_t op, OrbaExpression* value);
  virtual OrbaExpression* foldComplement(int32_t op, OrbaExpression* value);
  virtual OrbaExpression* foldSign(int32_t op, OrbaExpression* value);

 private:
  int32_t op_;
  OrbaExpression* operand_;
};
