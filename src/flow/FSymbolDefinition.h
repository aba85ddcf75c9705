// The nodes that keep a symbol definition (.EQU, .SET) or declaration (.EXTERN) at
// its place in the flow, so that the symbol reaches the object file there. They take
// no place in the section.
#pragma once

#include <cstdint>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;
class Symbol;

class FEquSet : public FlowNode {
  VEKT_POOLED_CLASS(FEquSet)

 public:
  // Debug variable kind of an equate and the object-store operator that carries its
  // binding and value.
  static constexpr uint32_t kDebugVariableKind = 16;
  static constexpr int32_t kValueListOperator = 33;

  FEquSet(LineInfo* line, Symbol* symbol, OrbaExpression* value)
      : FlowNode(line, kEquSet), symbol(symbol), value(value) {}

  FlowNode* clone() const override;
  int32_t computeSize(Section*, uint32_t) override { return 0; }
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }
  virtual void assign(const FEquSet& other);

  // The binding code of the debug record: 1 for an equate, 2 for a .SET symbol, else 0.
  static int64_t bindingCode(const Symbol* symbol);

  Symbol* symbol;
  OrbaExpression* value;

 private:
  void writeDebugVariable(ObjectWriter& writer);
};

class FExtern : public FlowNode {
  VEKT_POOLED_CLASS(FExtern)

 public:
  FExtern(LineInfo* line, Symbol* symbol) : FlowNode(line, kExtern), symbol(symbol) {}

  FlowNode* clone() const override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }

  Symbol* symbol;
};
