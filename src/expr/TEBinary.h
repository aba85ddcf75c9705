// Binary operator nodes and constant folding.
#pragma once

#include <utility>
#include <vector>

#include "expr/OrbaExpression.h"

class TEBinary : public OrbaExpression {
 public:
  // left op constant, folded at once when left is an integer or folding applies.
  static OrbaExpression* create(OrbaExpression* left, int32_t op, int64_t constant);

  TEBinary(int32_t op, OrbaExpression* left, OrbaExpression* right)
      : op_(op), left_(left), right_(right) {}

  // The operator's text between the operands in print, with its blanks.
  static const char* operatorText(int32_t op);

  OrbaExpression* left() const { return left_; }
  OrbaExpression* right() const { return right_; }

  bool hasOperands() const override { return true; }
  bool isRelocatable() const override;
  int32_t getArgumentCount() const override { return 2; }
  OrbaExpression* getArgument(int32_t index) const override;
  int32_t getOperator() const override { return op_; }
  bool isInSection(const Section* section) const override;
  bool hasWeakReference() const override;
  uint32_t countSymbolReferences() const override;
  void replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) override;
  OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression) override;
  uint32_t getKind() const override { return EK_binary; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override;
  OrbaExpression* clone() override { return new TEBinary(op_, left_, right_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;
  ExprNode* toObject(ObjectFile* context, bool warn) override;

 private:
  int32_t op_;
  OrbaExpression* left_;
  OrbaExpression* right_;
};

// Folds two constant leaves: a new constant, an error node, or null when the kinds
// of the operands do not fold (fractions, symbols, composite nodes, errors).
OrbaExpression* foldBinaryOperation(int32_t op, OrbaExpression* left, OrbaExpression* right);
OrbaExpression* foldIntegerOperation(int32_t op, int64_t a, int64_t b);
OrbaExpression* foldDoubleOperation(int32_t op, double a, double b);
OrbaExpression* foldStringOperation(int32_t op, OrbaExpression* a, OrbaExpression* b);
// The integer view of an integer or string leaf; failed is set for a string longer
// than 32 bytes and for any other kind.
int64_t stringToInteger(const OrbaExpression* expression, uint32_t kind, bool& failed);

// Scans (condition, result) pairs in order; at the first condition that does not
// hold, stores its result and returns false. True when every condition holds.
bool findFirstUnsatisfiedCase(const std::vector<std::pair<OrbaExpression*, const char*>>& cases,
                              const char*& result, bool errorStops);
