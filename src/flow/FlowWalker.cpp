#include "flow/FlowWalker.h"

#include "expr/OrbaExpression.h"
#include "flow/FAlign.h"
#include "flow/FlowNode.h"
#include "flow/Section.h"
#include "util/RunState.h"

namespace {
struct LayoutLine {
  LineInfo* line = nullptr;
};
}  // namespace

LineInfo*& currentLayoutLine() { return runPart<LayoutLine>().line; }

void FlowWalker::reset() {
  offset = 0;
  previousOffset = 0;
  nodeSize = 0;
  previousNodeSize = 0;
  position = flow ? flow->first() : nullptr;
  ++pass;
  currentLayoutLine() = nullptr;
  if (section && section->walker == this) section->layoutBlock = pass;
}

FlowNode::LayoutChoice FlowNode::layOut(FlowWalker& walker, int32_t /*mode*/, bool /*fresh*/) {
  int32_t units = computeSize(walker.section, static_cast<uint32_t>(walker.offset));
  walker.nodeSize = units > 0 ? units : 0;
  return {};
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
