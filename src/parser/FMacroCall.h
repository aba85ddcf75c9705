// The node of a listed macro-call line: it keeps the call's place in the flow for
// the list file and takes no place in the section.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class FMacroCall : public FlowNode {
  VEKT_POOLED_CLASS(FMacroCall)

 public:
  explicit FMacroCall(LineInfo* line) : FlowNode(line, kMacroCall) {}

  FlowNode* clone() const override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }
};
