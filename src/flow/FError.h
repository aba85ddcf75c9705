// The node that stands in the flow for an instruction statement that failed to
// assemble: it keeps the formatted diagnostic and reports it when its section is
// written, at the statement's line.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class FError : public FlowNode {
  VEKT_POOLED_CLASS(FError)

 public:
  // text: an interned, fully formatted message with its "E123: " prefix.
  FError(LineInfo* line, const char* text) : FlowNode(line, kError), text(text) {}

  FlowNode* clone() const override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  const char* failureText() const override { return text; }

  const char* text;
};
