// The nodes of the floating-point (.FLOAT, .DOUBLE) and fixed-point fraction (.FRACT,
// .SFRACT, .ACCUM) data directives. They take numbers only and never relocate.
#pragma once

#include <cstdint>

#include "flow/FConstant.h"
#include "util/MemoryPools.h"

class FFloat : public FDataNode {
  VEKT_POOLED_CLASS(FFloat)

 public:
  enum Directive { kFloat, kDouble };
  static constexpr uint32_t kFloatCode = 88;
  static constexpr uint32_t kDoubleCode = 83;

  FFloat(LineInfo* line, const char* directive, uint32_t directiveId, uint8_t width)
      : FDataNode(line, FlowNode::kFloat, directive, directiveId), width(width) {}
  static FFloat* create(Directive directive, LineInfo* line);

  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  virtual void assign(const FFloat& other);

  uint8_t width;  // 32 single, 64 double precision
};

class FFract : public FDataNode {
  VEKT_POOLED_CLASS(FFract)

 public:
  enum Directive { kFract, kSfract, kAccum };
  static constexpr uint32_t kFractCode = 89;
  static constexpr uint32_t kSfractCode = 103;
  static constexpr uint32_t kAccumCode = 73;

  FFract(LineInfo* line, const char* directive, uint32_t directiveId, uint8_t integerBits,
         uint8_t width)
      : FDataNode(line, FlowNode::kFract, directive, directiveId), integerBits(integerBits), width(width) {}
  static FFract* create(Directive directive, LineInfo* line);

  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  virtual void assign(const FFract& other);

  // Integer bits before the binary point: the value is divided by 2^integerBits and
  // encoded as a fraction of width bits.
  uint8_t integerBits;
  uint8_t width;
};
