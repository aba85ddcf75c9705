// Applies a relocation function of the object file to an expression; everything
// else about the value is the inner expression's.
#pragma once

#include "expr/OrbaExpression.h"

class TERelocation : public OrbaExpression {
 public:
  // function is the relocation function code that the object file receives.
  TERelocation(OrbaExpression* inner, uint8_t function, uint8_t flag1 = 0, uint8_t flag2 = 0)
      : inner_(inner), flags_{function, flag1, flag2} {}

  OrbaExpression* inner() const { return inner_; }
  uint8_t function() const { return flags_[0]; }

  bool hasOperands() const override { return true; }
  bool isRelocatable() const override;
  int32_t getArgumentCount() const override { return 1; }
  OrbaExpression* getArgument(int32_t index) const override;
  bool isInSection(const Section* section) const override;
  bool hasWeakReference() const override;
  uint32_t countSymbolReferences() const override;
  void replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) override;
  OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression) override;
  uint32_t getKind() const override { return EK_relocation; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override;
  OrbaExpression* clone() override;
  ExprNode* toObject(ObjectFile* context, bool warn) override;
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

 private:
  OrbaExpression* inner_;
  uint8_t flags_[3];
};
