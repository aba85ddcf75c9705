// Jump chains of one code section: a jump whose target is an unconditional jump is sent
// to that jump's own target (chains collapse), and a jump whose target lies far away is
// sent to a nearer unconditional jump to the same place (chains are made), so that it can
// keep a short form. Only operands change; no node is added or removed.
//
// The layout records the jumps of a section in its initial pass, the optimiser plans the
// chains after it, the relax passes keep the offsets current, and the chains are checked
// once more when the layout is final.
#pragma once

#include <cstdint>
#include <vector>

class FlowNode;
class Section;
class Symbol;

// What the chains need of the target's jump instructions. The instruction nodes live in a
// higher layer; it installs its implementation before layout runs.
class JumpInstructions {
 public:
  virtual ~JumpInstructions() = default;
  // Whether the node is a jump to a symbol: the symbol and whether the jump is conditional.
  virtual bool jumpTarget(FlowNode* instruction, bool& conditional, Symbol*& target) = 0;
  // Makes every operand of every form name `to` where it named `from`. Expressions are
  // copied along the way: nodes that others may share, and the values of the symbols
  // named, are never changed.
  virtual void retargetOperands(FlowNode* instruction, Symbol* from, Symbol* to) = 0;
  // Whether the selected form, placed at offset in section, still holds its operands when
  // they name `label` in place of `from`. A value not yet known counts as held.
  virtual bool reaches(FlowNode* instruction, Section* section, int64_t offset, Symbol* from,
                       Symbol* label) = 0;
};

// The implementation the chains use; null until one is installed.
void installJumpInstructions(JumpInstructions* instructions);
JumpInstructions* jumpInstructions();

// Whether the node is a jump whose target is a symbol; false for every node while no
// implementation is installed.
bool jumpTargetOf(FlowNode* instruction, bool& conditional, Symbol*& target);

class Jump {
 public:
  virtual ~Jump() = default;

  // Whether the instruction, at its current offset, holds its operands with label as its
  // target.
  bool reachesLabel(Section* section, Symbol* label) const;

  // The offset a label's value stands for: an integer value, or the integer added to the
  // section base. hasTargetValue tells whether the symbol has a value at all.
  static int64_t targetValue(const Symbol* symbol);
  static bool hasTargetValue(const Symbol* symbol);

  // The label the chains send other jumps to: the first that stands before the jump in
  // the flow; null when none does.
  Symbol* entryLabel() const { return labels.empty() ? nullptr : labels.front(); }
  bool hasLabel(const Symbol* symbol) const;

  uint32_t index = 0;            // in the chain set's jumps
  std::vector<Symbol*> labels;   // the labels directly in front of the jump, in flow order
  Symbol* target = nullptr;      // as written; after collapsing, the final target
  Symbol* currentTarget = nullptr;  // what the operands name now
  FlowNode* instruction = nullptr;
  int32_t next = -1;  // the jump that serves as intermediate; -1 none
  int64_t offset = 0;
  bool conditional = false;
};

class JumpChainSet {
 public:
  explicit JumpChainSet(Section* section) : section(section) {}
  virtual ~JumpChainSet();
  JumpChainSet(const JumpChainSet&) = delete;
  JumpChainSet& operator=(const JumpChainSet&) = delete;

  Jump* addJump(const std::vector<Symbol*>& labels, int64_t offset, FlowNode* instruction, bool conditional,
                Symbol* target);
  // For the initial layout pass: when the node is a jump to a symbol, records it at the
  // offset with the labels that stand directly in front of it in the flow. Returns
  // whether a jump was recorded.
  bool recordJump(FlowNode* instruction, int64_t offset);

  // After the initial pass: collapse the chains, sort the jumps, make new chains.
  void planChains();
  // Makes every jump's operands name its planned target.
  void retarget();
  // With the final offsets: a jump that reaches its target directly drops its
  // intermediate; one that does not takes the farthest unconditional jump to the same
  // place, in the target's direction, that it reaches.
  void checkChains();

  // The steps of planChains.
  void collapseChains();
  void sortJumps();

  Section* section;
  std::vector<Jump*> jumps;  // owned, in flow order
  std::vector<Jump*> sorted;  // by target, then by offset
  std::vector<Jump*> conditionalJumps;
  std::vector<Jump*> unconditionalJumps;

 private:
  // Whether the jump's target is a label of this section with a value.
  bool targetsOwnSection(const Jump& jump) const;
  bool samePlace(const Jump& jump, const Jump& other) const;
  void makeConditionalChains();
  void makeUnconditionalChains();
};
