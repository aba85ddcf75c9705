// The node a label definition leaves in its section's flow: it gives the label's
// symbol its value where it stands and pads the address when the label asks for an
// alignment.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class Symbol;

class FLabel : public FlowNode {
  VEKT_POOLED_CLASS(FLabel)

 public:
  FLabel(LineInfo* line, Symbol* symbol) : FlowNode(line, kLabel), symbol(symbol) {}

  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  // Required alignment of the label's address in units; 0 or less is none.
  int32_t alignment = 0;
  // May be null; emit then does nothing.
  Symbol* symbol;
};
