// A run of constant bytes that the assembler generates for a byte-addressed section of
// its own (the debug information): consecutive constants go into the run that ends the
// section, and the run goes into the image in one copy, where one data item per value
// would each keep its expressions until the object is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class FBytes : public FlowNode {
  VEKT_POOLED_CLASS(FBytes)

 public:
  explicit FBytes(LineInfo* line) : FlowNode(line, kBytes) {}

  void append(const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); }

  void releaseData() override;
  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  // E252 in a section without image, F008 when the run passes the section's size.
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  std::vector<uint8_t> bytes;
};
