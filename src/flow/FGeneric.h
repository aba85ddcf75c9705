// A generic instruction: the expansions the matcher generated for the statement, each a
// group of ordinary nodes made from generated lines, and, when the statement also matched
// hardware forms, a group holding that one instruction. Layout chooses one group; the
// node's size, cycles and bytes are those of the chosen group.
#pragma once

#include <cstdint>
#include <vector>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;

class FGeneric : public FlowNode {
  VEKT_POOLED_CLASS(FGeneric)

 public:
  static constexpr uint32_t kNoneSelected = 0xFFFFFFFFu;

  struct Rewrite {
    FlowList nodes;  // owned by the generic
    OrbaExpression* condition = nullptr;
    int16_t key = 0;
    uint8_t excluded = 0;
    uint8_t isDefault = 0;
  };

  explicit FGeneric(LineInfo* line) : FlowNode(line, kGeneric) { groups.reserve(5); }
  ~FGeneric() override;

  // Appends the node to the last group when that group has the node's line key, else to a
  // new group with that key.
  void addRewrite(FlowNode* node);

  bool isDefault(size_t group) const { return groups[group]->isDefault != 0; }
  void setDefault(size_t group, bool value) { groups[group]->isDefault = value ? 1 : 0; }
  bool isExcluded(size_t group) const { return groups[group]->excluded != 0; }
  // Keeps excludedCount.
  void setExcluded(size_t group, bool value);
  // The chosen group, null while none is.
  const Rewrite* selectedGroup() const {
    return selected < groups.size() ? groups[selected] : nullptr;
  }

  // A generic may keep its expansions unbuilt until layout finds that the hardware form
  // alone might not decide (see OrbaOptimizer); this builds them, once.
  bool rewritesDeferred() const { return deferredInstructions != kNotDeferred; }
  virtual void buildDeferredRewrites() {}

  void releaseData() override;
  FlowNode* clone() const override;
  bool isInstruction() const override { return true; }
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  uint16_t getCycles() const override;

  uint32_t selected = kNoneSelected;
  uint32_t excludedCount = 0;
  uint8_t hasHardwareGroup = 0;
  // Owned by the layout passes.
  uint8_t layoutState = 0;
  uint8_t layoutPending = 1;
  // While the expansions are unbuilt: how many of their lines hold an instruction, each
  // at least one halfword, so that none can be smaller than that.
  static constexpr uint16_t kNotDeferred = 0xFFFF;
  uint16_t deferredInstructions = kNotDeferred;
  std::vector<Rewrite*> groups;  // owned
};
