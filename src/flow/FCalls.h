// The node of .CALLS: one call-graph record with stack-usage values for the object
// file, either the caller's own values (no callee) or those of a call from the
// caller to the callee. It takes no place in its section.
#pragma once

#include <cstdint>
#include <vector>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;

class FCalls : public FlowNode {
  VEKT_POOLED_CLASS(FCalls)

 public:
  // The call graph keeps this many stack-usage values per function and per call.
  static constexpr uint32_t kStackUsageSlots = 2;

  FCalls(LineInfo* line, const char* caller, const char* callee)
      : FlowNode(line, kCalls), caller(caller), callee(callee) {}

  // Empties the value list; the expressions are shared and stay.
  void releaseData() override;
  FlowNode* clone() const override;
  // Records the values when the caller is a symbol of the module; a value that
  // cannot be a stack usage is E229 and goes out as 0.
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }
  virtual void assign(const FCalls& other);

  // The bytes a stack-usage value stands for: false when it does not come to an
  // integer from 0 to 0xFFFFFFFF (an error, a float, a string, an address, a
  // negative or too large number).
  static bool stackUsageBytes(OrbaExpression* value, uint32_t* bytes);

  // Interned names; callee is empty when the values are the caller's own.
  const char* caller;
  const char* callee;
  // At most kStackUsageSlots values, in directive order, unevaluated.
  std::vector<OrbaExpression*> values;
};
