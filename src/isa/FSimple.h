// An instruction whose bits are complete when its line is parsed: one form, no alignment
// and no operand field left to fill after layout. It keeps the finished image, the form's
// cycle count and its attribute set (conditions still checked by layout, warnings issued
// when the bytes are written).
//
// Most of a program is such instructions, so the node holds only what nearly every one
// needs: an image of up to 32 bits, placed in the padding at the end of the base, and
// the attribute set. What few nodes need (the text of a failed condition, an image
// wider than 32 bits) lives in a table of the run, looked up only when the node says so.
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
  // An instruction of at most 32 bits whose image and cycle count are known: takes a
  // claim on the attribute set, which must be a shared one.
  FSimple(LineInfo* line, const IPAttribute& shared, uint32_t image, uint8_t bits, uint16_t cycles);
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

  uint8_t bitCount() const;
  // Word index of the image (0..7), the last holding bits 0..31.
  uint32_t word(uint32_t index) const;
  bool isUsable() const;
  // The diagnostic text kept by layout for a failed condition; null when none.
  const char* keptMessage() const;

  // Fields that only a few nodes need, kept by the run for the nodes marked kRare.
  struct Rare {
    const char* message = nullptr;
    uint32_t data[8] = {};  // the encoding's words, the last holds bits 0..31
    uint8_t bits = 0;
    uint8_t usable = 1;
  };
  static constexpr uint8_t kRare = 0xFF;

 private:
  explicit FSimple(LineInfo* line) : FlowNode(line, kSimple) {}
  void setImage(const uint32_t (&data)[8], uint8_t bits);
  // The node's entry in the run's table, made (from the node's own fields) on first use.
  Rare& rare();
  const Rare* rareEntry() const;
  void writeEncoding(ObjectWriter& writer, Section& section, uint32_t unitBits);

  // The first field fills the padding at the end of the base; image follows at the
  // next four-byte boundary inside it.
  uint8_t bits_ = 0;  // kRare when the bits, the image and the usability live in Rare
  uint32_t image_ = 0;  // bits 0..31

 public:
  IPAttribute* attr = nullptr;  // owned
};

// Shared by the fixed-size instruction node and the run of such instructions, so that
// both write an instruction's bytes the one way.
// The width of the section's addressable unit: 8 bits unless the section says otherwise.
uint32_t instructionUnitBits(const Section* section);
// The bytes of an image of at most 32 bits that fills units units, in the section's
// memory order; returns their count.
uint32_t instructionBytes(uint32_t image, uint8_t bits, uint32_t units, uint32_t unitBits, int32_t byteOrder,
                          uint8_t (&bytes)[32]);
// Stores the bytes at the section's location counter and moves the counter on by units;
// bytes past the section's end are the object store's error.
void placeInstructionBytes(ObjectWriter& writer, Section& section, const uint8_t* bytes, uint32_t byteCount,
                           uint32_t units, uint32_t unitBits);
