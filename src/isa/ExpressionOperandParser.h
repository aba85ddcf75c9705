// Reads the expression operands of the instruction walk with the expression parser.
#pragma once

#include "isa/InstructionMatcher.h"

namespace isa {

class ExpressionOperandParser : public OperandParser {
 public:
  uint32_t parse(const char* text, const LineInfo* line, void** expression, const char** error) override;
  // An operand nested deeper than the expression parser's bound.
  bool errorNamesStatement(const char* error) const override;
};

}  // namespace isa
