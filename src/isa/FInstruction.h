// An instruction statement that keeps every form that matched it: layout chooses one per
// offset (the smallest that fits). The node owns its candidates and, through them, the
// expression nodes made for their operands and conditions.
#pragma once

#include <cstdint>
#include <vector>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class IPInstruction;

class FInstruction : public FlowNode {
  VEKT_POOLED_CLASS(FInstruction)

 public:
  // Takes the candidates; they are sorted: fewer bits first, at equal width a default form
  // first.
  FInstruction(LineInfo* line, std::vector<IPInstruction*> candidates);
  ~FInstruction() override;

  void releaseData() override;
  FlowNode* clone() const override;
  bool isInstruction() const override { return true; }
  void dump(std::ostream& out) const override;
  const char* failureText() const override { return whenError ? whenError : otherError; }

  // The candidate layout chose, null before.
  IPInstruction* selectedCandidate() const {
    return selected >= 0 && static_cast<size_t>(selected) < candidates.size() ? candidates[selected] : nullptr;
  }

  std::vector<IPInstruction*> candidates;  // owned
  int8_t selected = -1;
  // Diagnostics that layout stores when no candidate fits: a failed condition's text, or
  // another reason.
  const char* whenError = nullptr;
  const char* otherError = nullptr;
};

// Orders candidates for layout: fewer bits first, at equal width a default form first,
// null last.
void sortCandidates(std::vector<IPInstruction*>& candidates);
