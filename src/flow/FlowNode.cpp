#include "flow/FlowNode.h"

#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "util/LineInfo.h"

void FlowNode::assignBase(const FlowNode& other) {
  size = other.size;
  layoutSize = other.layoutSize;
  cycles = other.cycles;
  kind = other.kind;
}

void FlowNode::emit(ObjectWriter& writer) {
  if (line && writer.section) line->setCodeAddress(static_cast<int32_t>(writer.section->currentLocation()));
}
