// An instruction statement that keeps every form that matched it: layout chooses one per
// offset (the smallest that fits). The node owns its candidates and, through them, the
// expression nodes made for their operands and conditions.
#pragma once

#include <cstdint>
#include <vector>

#include "flow/FlowNode.h"
#include "util/InlineVector.h"
#include "util/MemoryPools.h"

class ExpressionValidator;
class FlowWalker;
class IPInstruction;
struct KeptErrors;

class FInstruction : public FlowNode {
  VEKT_POOLED_CLASS(FInstruction)

 public:
  // Takes the candidates; they are sorted: fewer bits first, at equal width a default form
  // first.
  FInstruction(LineInfo* line, std::vector<IPInstruction*> candidates);
  ~FInstruction() override;

  void releaseData() override;
  FlowNode* clone() const override;
  void followToSection(const Section& from, Section& to) override;
  bool isInstruction() const override { return true; }
  void dump(std::ostream& out) const override;
  const char* failureText() const override;
  // Units of the chosen form at the offset, its alignment padding included; -1 while no
  // form is chosen. Cached once the section is laid out.
  int32_t computeSize(Section* section, uint32_t offset) override;
  // Aligns, encodes the chosen form into the section image and hands its relocations to
  // the object store; with no form, reports why none fits.
  void emit(ObjectWriter& writer) override;
  uint16_t getCycles() const override;
  // The layout pass's entry: mode 0 sizeInstructionInitial, 1 sizeInstructionRelax, 2
  // chooseInstructionForm; fresh forgets every earlier choice and exclusion first.
  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool fresh) override;

  // The layout's choices. Each stores the node's size in the walker's nodeSize, puts the
  // chosen form's alignment padding in padding, and returns the chosen form's index or -1.
  // With keepOffset the operands are checked at the walker's offset rather than after the
  // padding.
  //
  // Final choice without relaxation: the forms are tried from the last (the widest) back
  // and the first that fits is kept for the rest of the run.
  int chooseInstructionForm(bool keepOffset, int32_t& padding, FlowWalker& walker, bool& chosen);
  // Initial pass: the smallest form not excluded, without looking at the operands.
  int sizeInstructionInitial(bool keepOffset, int32_t& padding, FlowWalker& walker, bool& changed);
  // Relax pass: the current form stays while it fits; otherwise the smallest fitting
  // form is chosen afresh. Forms that cannot fit are excluded for good.
  int sizeInstructionRelax(bool keepOffset, int32_t& padding, FlowWalker& walker, bool& changed);
  // Back to no choice: no form excluded, every form usable.
  void forgetChoice();

  // The candidate layout chose, null before.
  IPInstruction* selectedCandidate() const {
    return selected >= 0 && static_cast<size_t>(selected) < candidates.size() ? candidates[selected] : nullptr;
  }

  // Diagnostics that layout stores when no candidate fits: a failed condition's text, or
  // another reason; null while none is kept. Few nodes ever keep one, so the texts live
  // beside the nodes, in a table of the run.
  const char* whenError() const;
  const char* otherError() const;
  void setWhenError(const char* text);
  void setOtherError(const char* text);

  // Owned. Nearly every statement keeps one or two forms: they live in the node.
  InlineVector<IPInstruction*, 2> candidates;
  int8_t selected = -1;
  uint8_t excludedCount = 0;  // candidates excluded for good by the relax passes
  uint8_t fixed = 0;          // the choice is final
  uint8_t keepsErrors = 0;    // the run's table holds texts of the node

 private:
  // The node's entry of the run's table, made when it has none.
  KeptErrors& errorsToKeep();
};

// Checks one form for layout at the validator's place: its "when" conditions, then every
// operand field. 0 does not fit, 1 fits, 2 undecided; also left in the validator, with
// the failure's text when it is 0.
int validateInstructionForm(IPInstruction& form, ExpressionValidator& validator);

// Orders candidates for layout: fewer bits first, at equal width a default form first,
// null last.
void sortCandidates(std::vector<IPInstruction*>& candidates);
