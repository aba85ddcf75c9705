// An instruction whose bits are complete when its line is parsed: one form, no alignment
// and no operand field left to fill after layout. It keeps the finished image, the form's
// cycle count and its attribute set (conditions still checked by layout, warnings issued
// when the bytes are written).
#pragma once

#include <cstdint>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class Encoding;
class IPAttribute;
class IPInstruction;

class FSimple : public FlowNode {
  VEKT_POOLED_CLASS(FSimple)

 public:
  // Takes the candidate's attribute set; the candidate keeps its encoding.
  FSimple(LineInfo* line, IPInstruction& candidate);
  // An instruction whose image and cycle count are known: takes a claim on the attribute
  // set, which must be a shared one.
  FSimple(LineInfo* line, const IPAttribute& shared, const uint32_t (&image)[8], uint8_t bits, uint16_t cycles);
  ~FSimple() override;

  void releaseData() override;
  FlowNode* clone() const override;
  bool isInstruction() const override { return true; }
  int32_t computeSize(Section* section, uint32_t offset) override;
  // Outside the initial pass a failed condition makes the node unusable for good.
  LayoutChoice layOut(FlowWalker& walker, int32_t mode, bool fresh) override;
  // Stores the bytes at the section's location counter; an unusable node reports why.
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  IPAttribute* attr = nullptr;  // owned
  const char* message = nullptr;
  uint32_t data[8] = {};  // the encoding's words, the last holds bits 0..31
  uint8_t bits = 0;
  uint8_t usable = 1;

 private:
  explicit FSimple(LineInfo* line) : FlowNode(line, kSimple) {}
  void writeEncoding(ObjectWriter& writer, Section& section, uint32_t unitBits);
};
