// The node of .MISRAC: hands the module's MISRA-C settings text to the object file.
// It takes no place in its section.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class FMisraC : public FlowNode {
  VEKT_POOLED_CLASS(FMisraC)

 public:
  FMisraC(LineInfo* line, const char* rules) : FlowNode(line, kMisraC), rules(rules) {}

  FlowNode* clone() const override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }
  virtual void assign(const FMisraC& other);

  // The settings text as the line scanner gave it (interned); the parser refuses
  // an empty one, which the object file has no form for.
  const char* rules;
};
