// Node kinds that the flow framework offers for targets whose directives make them: a
// filled block, a buffer and its end, a jump of the location to an offset, a block of
// nodes issued together, the source-file record and the end record. The TriCore parser
// never creates them; they size, write and copy themselves like every other kind.
#pragma once

#include <cstdint>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;

// `size` items of `itemBits` bits, each holding the fill value.
class FBlock : public FlowNode {
  VEKT_POOLED_CLASS(FBlock)

 public:
  FBlock(LineInfo* line, OrbaExpression* sizeExpression, OrbaExpression* fill, const char* directiveName,
         int32_t directiveCode, uint8_t mauBits, uint8_t itemBits, bool relocatable);

  FlowNode* clone() const override;
  // The item count times the units of one item; 0 for a count that is not a positive
  // integer or string.
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  int32_t directiveCode() const { return directiveCode_; }
  const char* directiveName() const { return directiveName_; }
  void assign(const FBlock& other);

  OrbaExpression* sizeExpression;  // shared
  OrbaExpression* fill;            // shared; null fills with 0
  uint8_t mauBits;
  uint8_t itemBits;
  uint8_t relocatable;

 private:
  const char* directiveName_;
  int32_t directiveCode_;
};

// The start of a buffer of `size` units; it takes no room itself. With mode 'R' the size
// must be a power of two.
class FBuffer : public FlowNode {
  VEKT_POOLED_CLASS(FBuffer)

 public:
  FBuffer(LineInfo* line, char mode, OrbaExpression* sizeExpression)
      : FlowNode(line, static_cast<Kind>(0)), mode(mode), sizeExpression(sizeExpression) {}

  FlowNode* clone() const override;
  // Records where the buffer starts and ends when it starts at offset; 0 units.
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  uint32_t endOffset() const { return end; }
  void assign(const FBuffer& other);

  char mode;
  OrbaExpression* sizeExpression;  // shared
  uint32_t start = 0;
  uint32_t end = 0;

 private:
  void place(uint32_t offset);
};

// The end of a buffer: zero units up to the buffer's end.
class FEndbuf : public FlowNode {
  VEKT_POOLED_CLASS(FEndbuf)

 public:
  FEndbuf(LineInfo* line, FBuffer* buffer) : FlowNode(line, static_cast<Kind>(0)), buffer(buffer) {}

  FlowNode* clone() const override;
  // The units up to the buffer's end; -1 when the end lies before the offset.
  int32_t computeSize(Section* section, uint32_t offset) override;
  // E105 when the buffer's contents ran past its end.
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  void assign(const FEndbuf& other);

  FBuffer* buffer;  // not owned
};

// Zero units up to an offset in the section.
class FOffset : public FlowNode {
  VEKT_POOLED_CLASS(FOffset)

 public:
  FOffset(LineInfo* line, OrbaExpression* offsetExpression)
      : FlowNode(line, static_cast<Kind>(0)), offsetExpression(offsetExpression) {}

  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  // E184 for an offset that is no integer, E185 for one behind the location.
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  OrbaExpression* offsetExpression;  // shared
};

// Nodes issued together; the block owns them.
class FParallel : public FlowNode {
  VEKT_POOLED_CLASS(FParallel)

 public:
  explicit FParallel(LineInfo* line) : FlowNode(line, kParallel) {}
  ~FParallel() override { releaseData(); }

  void releaseData() override;
  // A block with no children: they belong to the original.
  FlowNode* clone() const override;
  // The children sized one after the other; the block takes all their units.
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  // Its own count when set, else the sum of its children's.
  uint16_t getCycles() const override;

  void append(FlowNode* child) { children.append(child); }

  FlowList children;
};

// The name of the source file, for the object file's records.
class FSource : public FlowNode {
  VEKT_POOLED_CLASS(FSource)

 public:
  FSource(LineInfo* line, const char* fileName) : FlowNode(line, static_cast<Kind>(0)), fileName(fileName) {}

  FlowNode* clone() const override;
  bool hasAddress() const override { return false; }
  void dump(std::ostream& out) const override;
  void assign(const FSource& other);

  const char* fileName;  // interned
};

// The end of the program, with its start address when one is given.
class FEnd : public FlowNode {
  VEKT_POOLED_CLASS(FEnd)

 public:
  FEnd(LineInfo* line, OrbaExpression* startExpression)
      : FlowNode(line, static_cast<Kind>(0)), startExpression(startExpression) {}

  FlowNode* clone() const override;
  bool hasAddress() const override { return false; }
  void dump(std::ostream& out) const override;

  OrbaExpression* startExpression;  // shared; may be null
};
