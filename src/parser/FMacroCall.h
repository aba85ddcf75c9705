// The node of a macro-call or repeat-block line: it keeps the call's place in the flow,
// for the list file's address and for the line row that the code of the expansion
// falls under, and takes no place in the section.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class FMacroCall : public FlowNode {
  VEKT_POOLED_CLASS(FMacroCall)

 public:
  FMacroCall(LineInfo* line, bool givesRow, bool listed)
      : FlowNode(line, kMacroCall), givesRow(givesRow), listed(listed) {}

  FlowNode* clone() const override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }

  // Whether the line program has a row for the call: line information was on at its
  // line. A node made only for the list file has none, so that the object is the
  // same with and without a list file.
  bool givesRow;
  // Whether the list file shows the line. A line placed after a section's last
  // statement passes over a call that is a node for its row alone, so that it goes,
  // and is listed, as without line information.
  bool listed;
};
