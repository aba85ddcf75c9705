// Function nodes: @-function calls, the conditional operator and the operand checks
// that the instruction encoder wraps around operands. A call is computed only when
// a consumer asks for its value; nothing is cached in the node.
#pragma once

#include "util/InlineVector.h"

#include "expr/OrbaExpression.h"
#include "util/MemoryPools.h"

class TEFunction : public OrbaExpression {
 public:
  // Calls take a few arguments (the operand checks four): kept in the node itself.
  using Arguments = InlineVector<OrbaExpression*, 4>;

  // A new node with a copy of the argument list; the arguments are shared.
  static TEFunction* create(int32_t code, const Arguments& arguments);
  static TEFunction* create(int32_t code, OrbaExpression* const* arguments, size_t count);

  TEFunction(int32_t code, OrbaExpression* const* arguments, size_t count) : code_(code) {
    arguments_.reserve(count);
    for (size_t i = 0; i < count; ++i) arguments_.push_back(arguments[i]);
  }

  int32_t code() const { return code_; }
  const Arguments& arguments() const { return arguments_; }

  bool hasOperands() const override { return true; }
  bool isRelocatable() const override;
  int32_t getArgumentCount() const override { return static_cast<int32_t>(arguments_.size()); }
  OrbaExpression* getArgument(int32_t index) const override;
  int32_t getOperator() const override { return code_; }
  bool isInSection(const Section* section) const override;
  bool hasWeakReference() const override;
  uint32_t countSymbolReferences() const override;
  void replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol) override;
  OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression) override;
  uint32_t getKind() const override { return EK_function; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override;
  OrbaExpression* clone() override;
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;
  ExprNode* toObject(ObjectFile* context, bool warn) override;

  // The evaluation families; each gets the function code first and returns a new
  // or shared result node, an error node on failure.
  virtual bool mathResultValid(int errorIndicator, int32_t code) const;
  virtual OrbaExpression* evaluateDouble2(int32_t code, OrbaExpression* first,
                                          OrbaExpression* second);
  virtual OrbaExpression* evaluateTrigonometric(int32_t code, OrbaExpression* argument);
  virtual OrbaExpression* evaluateNullary(int32_t code);
  virtual OrbaExpression* evaluatePower(int32_t code, OrbaExpression* first,
                                        OrbaExpression* second);
  virtual OrbaExpression* evaluateDouble1(int32_t code, OrbaExpression* argument);
  virtual OrbaExpression* evaluateMinMax(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluateString(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluateConditional(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluateBits(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluateTest(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluateRange(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluatePcRelative(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluateInPage(int32_t code, const Arguments& arguments);
  virtual OrbaExpression* evaluatePageOffset(int32_t code, const Arguments& arguments);

 protected:
  // The operand checks look at their first argument only.
  bool isOperandCheck() const;
  // An evaluation family called with a code it does not handle; never returns.
  [[noreturn]] static void invalidCode(int line);

  int32_t code_;
  Arguments arguments_;
};

// The target's own functions @HI, @HIS, @LO, @LOS and @VEKT, from a pool of their own.
class TETricoreFunction : public TEFunction {
  VEKT_POOLED_CLASS(TETricoreFunction)

 public:
  static TETricoreFunction* create(int32_t code, OrbaExpression* const* arguments, size_t count);

  using TEFunction::TEFunction;

  uint32_t getKind() const override { return EK_tricoreFunction; }
  OrbaExpression* evaluate() override;
  OrbaExpression* clone() override;
  OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression) override;
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

  // The object form with the relocation function of the half (@HIS, @LO, @LOS), for
  // operands that the encoder relocates itself.
  virtual ExprNode* toRelocationObject(ObjectFile* context);
};

// Helpers of the argument rules, shared with the target functions. Each returns
// null and fills the value, or returns the error node that is the call's result.
namespace exprargs {
OrbaExpression* evaluated(OrbaExpression* argument, OrbaExpression*& result);
OrbaExpression* numericValue(OrbaExpression* evaluatedArgument, double& value);
OrbaExpression* integerValue(OrbaExpression* evaluatedArgument, int64_t& value);
}  // namespace exprargs
