#include "flow/FlowWalker.h"

#include "expr/OrbaExpression.h"
#include "flow/FAlign.h"
#include "flow/FlowNode.h"
#include "flow/Section.h"

LineInfo* currentLayoutLine = nullptr;

void FlowWalker::reset() {
  offset = 0;
  previousOffset = 0;
  nodeSize = 0;
  previousNodeSize = 0;
  position = flow ? flow->first() : nullptr;
  ++pass;
  currentLayoutLine = nullptr;
}

uint32_t alignmentPadding(const Section* section, uint32_t offset, uint32_t alignment) {
  int64_t a = alignment == 0 ? 1 : alignment;
  if (section->flags.powerOfTwoAlignment()) a = roundUpToPowerOfTwo(a);
  int64_t address = offset;
  if (section->hasAddress && section->baseExpression()) {
    OrbaExpression* base = section->baseExpression()->evaluate();
    if (base && base->getKind() == EK_integer) address += base->getInteger();
  }
  int64_t remainder = address % a;
  if (remainder < 0) remainder += a;
  return remainder == 0 ? 0 : static_cast<uint32_t>(a - remainder);
}
