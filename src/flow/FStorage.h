// The node of .SPACE: reserves units at its place in the section, as zero data in a
// section with an image and as a plain move of the location elsewhere.
#pragma once

#include <cstdint>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;

class FStorage : public FlowNode {
  VEKT_POOLED_CLASS(FStorage)

 public:
  static constexpr int32_t kSpaceCode = 105;

  // Takes the unit width of the section the node is made for (8 without one).
  FStorage(LineInfo* line, OrbaExpression* sizeExpression, const Section* section);

  FlowNode* clone() const override;
  // The units reserved: negative for a negative size, 0 when the size is not an
  // absolute integer, at most INT32_MAX (a larger size passes every section's bound).
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  virtual int32_t directiveCode() const { return directiveId; }
  virtual const char* directiveName() const { return directive; }
  virtual void assign(const FStorage& other);

  // The units the size expression asks for, in 64 bits; 0 when it has no absolute
  // integer value.
  int64_t requestedUnits() const;

  OrbaExpression* sizeExpression;  // shared
  int32_t mauBits;
  int32_t itemBits = 8;
  const char* directive = ".SPACE";
  int32_t directiveId = kSpaceCode;
};
