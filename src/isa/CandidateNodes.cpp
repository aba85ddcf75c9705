#include "isa/CandidateNodes.h"

#include "expr/OrbaExpression.h"

VEKT_POOLED_CLASS_IMPL(CandidateNodes, "CandidateNodes")

void CandidateNodes::release(CandidateNodes*& nodes) {
  if (!nodes) return;
  if (--nodes->holders_ == 0) delete nodes;
  nodes = nullptr;
}

OrbaExpression* CandidateNodes::keep(CandidateNodes*& nodes, OrbaExpression* node) {
  if (!node || node->isShared()) return node;
  if (!nodes) nodes = make();
  nodes->nodes_.push_back(node);
  return node;
}

void CandidateNodes::dependOn(CandidateNodes*& nodes, CandidateNodes* other) {
  if (!other || other == nodes) return;
  if (!nodes) nodes = make();
  if (nodes->other_ == other) return;
  CandidateNodes::release(nodes->other_);
  nodes->other_ = other->retain();
}

void CandidateNodes::takeOverDependency(CandidateNodes* nodes) {
  if (!nodes || !nodes->other_) return;
  CandidateNodes* other = nodes->other_;
  if (other->holders_ != 2 || other->other_) return;
  for (OrbaExpression* node : other->nodes_) nodes->nodes_.push_back(node);
  other->nodes_.clear();
  release(nodes->other_);
}

CandidateNodes::~CandidateNodes() {
  // A node never owns its operands, so the order of deletion does not matter: the nodes
  // here may point into the other set, never the other way round.
  for (OrbaExpression* node : nodes_) delete node;
  release(other_);
}
