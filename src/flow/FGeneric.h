// A generic instruction: the expansions the matcher generated for the statement, each a
// group of ordinary nodes made from generated lines, and, when the statement also matched
// hardware forms, a group holding that one instruction. Layout chooses one group; the
// node's size, cycles and bytes are those of the chosen group.
#pragma once

#include <cstddef>
#include <cstdint>

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

  // The rewrite groups in order, owned. Nearly every generic holds one group (its
  // hardware form while the expansions wait unbuilt), so the first lives in the node
  // itself and only further ones are allocated.
  class RewriteGroups {
   public:
    template <typename Group>
    class Iterator {
     public:
      Iterator(const RewriteGroups* groups, size_t index) : groups_(groups), index_(index) {}
      Group* operator*() const { return const_cast<Group*>(groups_->at(index_)); }
      Iterator& operator++() {
        ++index_;
        return *this;
      }
      bool operator!=(const Iterator& other) const { return index_ != other.index_; }

     private:
      const RewriteGroups* groups_;
      size_t index_;
    };

    RewriteGroups() = default;
    ~RewriteGroups() { clear(); }
    RewriteGroups(const RewriteGroups&) = delete;
    RewriteGroups& operator=(const RewriteGroups&) = delete;

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    Rewrite* operator[](size_t index) { return const_cast<Rewrite*>(at(index)); }
    const Rewrite* operator[](size_t index) const { return at(index); }
    Rewrite* front() { return (*this)[0]; }
    const Rewrite* front() const { return at(0); }
    Rewrite* back() { return (*this)[count_ - 1]; }
    const Rewrite* back() const { return at(count_ - 1); }
    Iterator<Rewrite> begin() { return {this, 0}; }
    Iterator<Rewrite> end() { return {this, count_}; }
    Iterator<const Rewrite> begin() const { return {this, 0}; }
    Iterator<const Rewrite> end() const { return {this, count_}; }

    // A fresh group at the end.
    Rewrite* add();
    // Frees every group (not their nodes).
    void clear();

   private:
    const Rewrite* at(size_t index) const { return index == 0 ? &first_ : more_[index - 1]; }

    Rewrite first_;
    Rewrite** more_ = nullptr;  // groups after the first
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;  // of more_
  };

  explicit FGeneric(LineInfo* line) : FlowNode(line, kGeneric) {}
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
  void followToSection(const Section& from, Section& to) override;
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
  RewriteGroups groups;
};
