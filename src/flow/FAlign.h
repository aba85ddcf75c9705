// The alignment node of ".ALIGN", the alias node of ".ALIAS", and the padding that
// every alignment in a section being written inserts.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;
class Symbol;

// Occupies as many bytes as bring the location to a multiple of its alignment.
class FAlign : public FlowNode {
  VEKT_POOLED_CLASS(FAlign)

 public:
  // Takes the code and power-of-two flags of the section the node is made for.
  FAlign(LineInfo* line, OrbaExpression* alignment, const Section* section);

  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  virtual void setFlag(uint8_t value) { flag = value; }
  // The alignment operand's value: -1 when it has an error; a text's first bytes
  // (at most 32) shifted together, low 32 bits; else its integer value.
  virtual int64_t getAlignment() const;
  virtual void assign(const FAlign& other);
  // The padding the node asks for at offset, in 64 bits: an alignment past 2^31 may
  // ask for more than a layout size holds.
  int64_t paddingAt(const Section* section, int64_t offset) const;

  // The bytes first: they fill the padding at the end of the base.
  uint8_t bufferFill = 0;
  uint8_t codeSection = 0;  // padding in a code section is the fill pattern
  uint8_t powerOfTwo = 0;
  uint8_t listRemark = 0;
  uint8_t flag = 0;
  OrbaExpression* alignment;
};

// Makes one symbol another name of a second one; takes no place in the section.
class FAlias : public FlowNode {
  VEKT_POOLED_CLASS(FAlias)

 public:
  FAlias(LineInfo* line, Symbol* alias) : FlowNode(line, kAlias), alias(alias) {}

  FlowNode* clone() const override;
  int32_t computeSize(Section*, uint32_t) override { return 0; }
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }

  virtual void assign(const FAlias& other);

  Symbol* alias;
};

// The remark that insertAlignment adds to the list before the padded line.
enum AlignmentRemark : int {
  kNoRemark = 0,
  kLabelAlignmentRemark = 1,
  kAlignmentRemark = 2,
  kInstructionAlignmentRemark = 3,
  kBufferAlignmentRemark = 4,
};

// Writes count units of padding at the current location of the section being
// written: the section's fill pattern when codeFill is set, else zero data in the
// section's image; advances the location counter by count.
void insertAlignment(ObjectWriter& writer, FlowNode& node, uint32_t count, int remarkKind, bool codeFill);

// The smallest power of two not below alignment (1 for alignments below 2).
int64_t roundUpToPowerOfTwo(int64_t alignment);
