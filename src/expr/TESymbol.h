// Symbol reference leaf; its value is the symbol's value expression.
#pragma once

#include "expr/OrbaExpression.h"

class TESymbol : public OrbaExpression {
 public:
  static TESymbol* create(Symbol* symbol) { return new TESymbol(symbol); }
  explicit TESymbol(Symbol* symbol) : symbol_(symbol) {}

  bool isValue() const override { return true; }
  bool isRelocatable() const override;
  Symbol* getSymbol() const override { return symbol_; }
  bool isInSection(const Section* section) const override;
  bool hasWeakReference() const override;
  uint32_t countSymbolReferences() const override;
  void replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) override;
  OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression) override;
  uint32_t getKind() const override { return EK_symbol; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override;
  OrbaExpression* clone() override { return new TESymbol(symbol_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;
  ExprNode* toObject(ObjectFile* context, bool warn) override;

 private:
  Symbol* symbol_;
};

// A symbol's location value at the place, as a reference to it gives it (without the
// reference's unit): for callers that hold the symbol but no node naming it.
ExprValue& symbolLocationValue(Symbol* symbol, ExprValue& value, const ExprLocation& location, bool& error);

// The offset of a label value that reads "section symbol" or "section symbol + integer",
// the form layout gives labels; false for any other value.
bool sectionOffsetOfValue(const OrbaExpression* value, const Symbol* sectionSymbol, int64_t& offset);
