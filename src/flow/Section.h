// A section of the output: its name, where it lies, what kind of contents it holds
// and its flow of items. Only what expressions and symbols use so far; the
// attributes and the layout state join it with the section directives.
#pragma once

#include <cstdint>
#include <vector>

class FlowNode;
class OrbaExpression;
class Symbol;

class Section {
 public:
  struct SectionFlags {
    bool isCode = false;
    bool isData = false;
    bool isDebug = false;
  };

  explicit Section(const char* name) : name_(name) {}
  virtual ~Section();
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  const char* name() const { return name_; }
  void setName(const char* name) { name_ = name; }
  // The expression of the section's start address.
  virtual OrbaExpression* baseExpression() const { return baseExpression_; }
  void setBaseExpression(OrbaExpression* expression) { baseExpression_ = expression; }

  // Appends the item to the section's flow (at the front when atEnd is false); the
  // section owns its items.
  void addNode(FlowNode* node, bool atEnd);
  const std::vector<FlowNode*>& flow() const { return flow_; }

  // The address of the instruction being laid out or emitted in this section.
  virtual int32_t instructionLocation() const { return locationCounter; }

  SectionFlags flags;
  uint8_t hasAddress = 0;  // the section has its final, fixed address
  // Set when @PCREL and @INPAGE must measure targets in this section from its base
  // address rather than from the section start.
  uint8_t noSectionRelativeEvaluation = 0;
  Symbol* sectionSymbol = nullptr;
  int32_t locationCounter = 0;
  // The block word of the current layout state; a symbol laid out in another block
  // is shifted by the distance the current pass has moved.
  uint32_t layoutBlock = 0;

 private:
  const char* name_;  // interned
  std::vector<FlowNode*> flow_;
  OrbaExpression* baseExpression_ = nullptr;
};

// The section that the parse opens for code before any section directive (a symbol in
// it has no section of its own) is reached through placeholderSection().
