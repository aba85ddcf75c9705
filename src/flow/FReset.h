// The node of ".SECT name, RESET" in a section with the max attribute: from here on
// the section's contents start again at its beginning, so that the parts of a max
// section lie over one another.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class FReset : public FlowNode {
  VEKT_POOLED_CLASS(FReset)

 public:
  explicit FReset(LineInfo* line) : FlowNode(line, kReset) {}

  FlowNode* clone() const override;
  int32_t computeSize(Section*, uint32_t) override { return 0; }
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }
};
