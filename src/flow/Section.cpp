#include "flow/Section.h"

#include "flow/FlowNode.h"


Section::~Section() {
  for (FlowNode* node : flow_) delete node;
}

void Section::addNode(FlowNode* node, bool atEnd) {
  if (atEnd)
    flow_.push_back(node);
  else
    flow_.insert(flow_.begin(), node);
}
