// Lays out every section at addresses, settles sizes and shortens jump chains.
#pragma once

#include <cstdint>

#include "flow/FlowNode.h"

class FGeneric;
class FlowWalker;
class JumpChainSet;
class Section;

class OrbaOptimizer {
 public:
  // Relax iterations over the code sections before a section may only grow: a
  // program whose choices keep flipping back and forth would never settle
  // otherwise. Growing sizes move every label one way only, so the passes after
  // the cap settle; kMaxGrowthPasses ends them whatever happens.
  static constexpr uint32_t kMaxRelaxPasses = 32;
  static constexpr uint32_t kMaxGrowthPasses = 256;

  // What one pass over a section found.
  struct PassResult {
    bool changed = false;  // a label moved or a choice changed
    bool failed = false;   // some node could not be sized
  };

  virtual ~OrbaOptimizer() = default;

  // Lays out every section of the run once the parse is done: non-code sections in
  // one pass, code sections first optimistically, then again until stable. Sizes,
  // laidOut and label values are final afterwards.
  void run();
  // Lays out the debug sections made after the main layout.
  void layoutDebugSections();

  // One layout pass over the section's flow from the walker's position (the walker
  // must have been reset). With a chain set and jump-chain optimisation on at a
  // jump's line, the initial pass records the jump and the relax passes keep its
  // offset current. growOnly: a node that would shrink below its size of the
  // previous pass settles on its largest fitting form instead.
  static PassResult relaxSection(FlowWalker& walker, int32_t mode, JumpChainSet* chains = nullptr,
                                 bool growOnly = false);

  // Number of relax iterations the last run made (the passes over code sections
  // after the first one).
  uint32_t relaxIterations() const { return relaxIterations_; }

 private:
  // Lays out a section once in the given mode and updates its size.
  static PassResult layOutSection(Section& section, int32_t mode, JumpChainSet* chains, bool growOnly);

  uint32_t relaxIterations_ = 0;
};

// The section's size after a pass that ended at endOffset: the end, or for a "max"
// section the largest end ever reached.
void updateSectionSize(Section& section, int32_t endOffset);

// Whether layout chooses the section's instruction forms by size: else each takes its
// largest, and a generic its largest rewrite.
bool instructionSizeOptimisation(const Section& section);
