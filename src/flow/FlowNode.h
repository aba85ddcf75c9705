// One item of a section's contents. Only the label item exists so far: the one a
// location-counter reference in an expression places at the section's end.
#pragma once

#include <cstdint>

struct LineInfo;
class Symbol;

class FlowNode {
 public:
  explicit FlowNode(LineInfo* line) : line(line) {}
  virtual ~FlowNode() = default;
  FlowNode(const FlowNode&) = delete;
  FlowNode& operator=(const FlowNode&) = delete;

  LineInfo* line;
  uint8_t type = 0;
};

class FLabel : public FlowNode {
 public:
  // The type byte the statement parser gives every label node.
  static constexpr uint8_t kLabelType = 18;

  FLabel(LineInfo* line, Symbol* symbol) : FlowNode(line), symbol(symbol) { type = kLabelType; }

  Symbol* symbol;
};
