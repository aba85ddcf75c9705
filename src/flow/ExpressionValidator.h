// Decides during layout whether an operand value fits an instruction operand. This
// is the part the expression language needs: the integer check against the
// operand's condition bits, after the operand's transform.
#pragma once

#include <cstdint>
#include <vector>

class OrbaExpression;

class ExpressionValidator {
 public:
  // Maps the operand value (as an integer node) to the value the field holds.
  using Transform = OrbaExpression* (*)(void* context, OrbaExpression* value);

  virtual ~ExpressionValidator() = default;

  // 1 when the value meets the condition bits (or there are none), 0 otherwise with
  // the failure's text and code kept in the result fields.
  virtual int checkInteger(int64_t value);

  // Multi-word values, low word first; only the low 64 bits take part.
  std::vector<uint32_t> mask;
  std::vector<uint32_t> pattern;
  Transform transform = nullptr;
  void* transformContext = nullptr;
  const char* resultText = nullptr;
  int32_t resultCode = 0;
};
