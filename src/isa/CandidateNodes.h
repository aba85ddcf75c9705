// The expression nodes that the encoder makes for one candidate: the check nodes wrapped
// around its operands, the conditions of its "when" and "warning" items, the copies of
// operand values. Nothing outside the candidate points at them, so they go when the
// candidate goes. A copy of the candidate shares them; the last holder gives them back.
#pragma once

#include <cstdint>

#include "util/InlineVector.h"
#include "util/MemoryPools.h"

class OrbaExpression;

class CandidateNodes {
  VEKT_POOLED_CLASS(CandidateNodes)

 public:
  // A new set with one holder.
  static CandidateNodes* make() { return new CandidateNodes(); }
  // One more holder; returns the set.
  CandidateNodes* retain() {
    ++holders_;
    return this;
  }
  // Drops the holder's claim and clears its pointer; the last claim deletes every node.
  static void release(CandidateNodes*& nodes);

  // Takes the node into the set and returns it; a null set is made at the first node that
  // is taken. Null and shared nodes (interned integers and strings, line nodes) are
  // returned untaken, so most candidates never make a set.
  static OrbaExpression* keep(CandidateNodes*& nodes, OrbaExpression* node);
  // Makes the set (made when null) hold a claim on another set as long as it lives: a
  // candidate on the operands parsed for its statement, which all its candidates share.
  static void dependOn(CandidateNodes*& nodes, CandidateNodes* other);

  // When the set is the only one that claims the set it depends on, besides that set's
  // maker, it takes the nodes over and lets go of it: one set less for every statement
  // of a single candidate. The maker keeps an empty set.
  static void takeOverDependency(CandidateNodes* nodes);

  size_t size() const { return nodes_.size(); }
  uint32_t holders() const { return holders_; }

  CandidateNodes(const CandidateNodes&) = delete;
  CandidateNodes& operator=(const CandidateNodes&) = delete;

 private:
  CandidateNodes() = default;
  ~CandidateNodes();

  uint32_t holders_ = 1;
  CandidateNodes* other_ = nullptr;
  // A jump keeps up to four nodes a set: the operand checks of a form, or the parsed
  // target with them once a sole form takes the statement's set over.
  InlineVector<OrbaExpression*, 4> nodes_;
};
