// The node a label definition leaves in its section's flow: it gives the label's
// symbol its value where it stands and pads the address when the label asks for an
// alignment.
#pragma once

#include <cstdint>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class ObjectWriter;
class Symbol;

class FLabel : public FlowNode {
  VEKT_POOLED_CLASS(FLabel)

 public:
  FLabel(LineInfo* line, Symbol* symbol) : FlowNode(line, kLabel), symbol(symbol) {}

  FlowNode* clone() const override;
  void followToSection(const Section& from, Section& to) override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  // Required alignment of the label's address in units; 0 or less is none.
  int32_t alignment = 0;
  // May be null; emit then does nothing.
  Symbol* symbol;
};

// Gives the label's symbol the value of offset in the section's layout pass. A value
// that already says so is kept: most labels do not move between passes, and a new
// expression per label and pass would be wasted.
void placeLabelSymbol(Symbol* symbol, int32_t offset, uint32_t pass);

// What writing a label without alignment does where it stands: the symbol goes to the
// object, the line gets its location, and a symbol still without a value takes the
// current location. A label that stands inside a run of instructions is written
// through this as its own node would be.
void emitLabelSymbol(ObjectWriter& writer, Symbol* symbol, LineInfo* line);
