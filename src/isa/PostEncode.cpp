#include "isa/PostEncode.h"

#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TESection.h"
#include "expr/TEUnary.h"
#include "expr/functions.h"
#include "flow/Symbol.h"
#include "isa/CandidateNodes.h"
#include "isa/InstructionTables.h"
#include "util/LineInfo.h"

namespace {

// The tables store kind-9 and kind-10 functions untyped; both have the callback's shape.
PostEncodeCallback callbackOf(const OperandTransform& entry) {
  return reinterpret_cast<PostEncodeCallback>(entry.function);
}

Section* sectionOf(const LineInfo* line) { return line != nullptr ? line->section.get() : nullptr; }

// Hands a node made here to the candidate's set, when there is one.
OrbaExpression* made(CandidateNodes** nodes, OrbaExpression* node) {
  return nodes ? CandidateNodes::keep(*nodes, node) : node;
}

OrbaExpression* rangeCheck(int32_t code, OrbaExpression* value, const OperandTransform& entry, LineInfo* line,
                           CandidateNodes** nodes) {
  OrbaExpression* arguments[] = {value, TEInteger::create(entry.a), TEInteger::create(entry.b),
                                 TELineInfo::create(line)};
  return made(nodes, TEFunction::create(code, arguments, 4));
}

// @PCREL and @INPAGE: the value against the instruction's own section.
OrbaExpression* sectionCheck(int32_t code, OrbaExpression* value, const OperandTransform& entry, LineInfo* line,
                             CandidateNodes** nodes) {
  OrbaExpression* arguments[] = {value, made(nodes, TESection::create(sectionOf(line))),
                                 TEInteger::create(entry.a), TEInteger::create(entry.b)};
  return made(nodes, TEFunction::create(code, arguments, 4));
}

bool withinBounds(const OrbaExpression* value, const OperandTransform& entry) {
  if (value->getKind() != EK_integer) return false;
  int64_t v = value->getInteger();
  return entry.a <= v && v <= entry.b;
}

}  // namespace

bool isRangeExemptSymbol(const OrbaExpression* expression) {
  if (expression == nullptr || expression->getKind() != EK_symbol) return false;
  const Symbol* symbol = expression->getSymbol();
  return symbol != nullptr && (symbol->flags[0] & Symbol::kBinding6) != 0;
}

void moveSectionChecks(OrbaExpression* value, const Section& from, Section& to) {
  // Each check holds what it wraps as its first argument; a list of transforms may wrap
  // the value more than once, and the walk ends at the value.
  for (OrbaExpression* check = value; check && check->getKind() == EK_function; check = check->getArgument(0)) {
    const int32_t code = check->getOperator();
    if (code == FN_PCREL || code == FN_INPAGE) {
      OrbaExpression* place = check->getArgument(1);
      if (place && place->getKind() == EK_section && static_cast<TESection*>(place)->section() == &from)
        static_cast<TESection*>(place)->moveTo(&to);
    } else if (code != FN_RANGE && code != FN_WRANGE && code != FN_PAGESIZE) {
      return;
    }
  }
}

OrbaExpression* negateOperand(LineInfo*, OrbaExpression** argument) {
  return new TEUnary(OP_negate, *argument);
}

OrbaExpression* applyOperandTransforms(OrbaExpression* value, const OperandTransform* transforms,
                                       TransformOutputs& outputs, LineInfo* line, CandidateNodes** nodes) {
  if (value != nullptr && transforms != nullptr) {
    // Decided once: a wrapper built below is never a symbol.
    const bool exempt = isRangeExemptSymbol(value);
    const OperandTransform* entry = transforms;
    if (entry->kind == transform::kConvert) {
      if (PostEncodeCallback convert = callbackOf(*entry)) {
        OrbaExpression* converted = convert(line, &value);
        if (converted != value) made(nodes, converted);
        value = converted;
      }
      ++entry;
    }
    bool rangeDone = false;
    bool pcRelativeDone = false;
    bool pageDone = false;
    bool pageSizeDone = false;
    bool relocationSeen = false;
    // A list ends with kind 0; a null value from a conversion ends the walk as well.
    for (; entry->kind != transform::kEnd && value != nullptr; ++entry) {
      switch (entry->kind) {
        case transform::kRange:
        case transform::kWarnRange:
          if (rangeDone) break;
          rangeDone = true;
          if (exempt || withinBounds(value, *entry)) break;
          value = rangeCheck(entry->kind == transform::kRange ? FN_RANGE : FN_WRANGE, value, *entry, line, nodes);
          break;
        case transform::kPcRelative:
          if (pageDone || pageSizeDone) break;
          value = sectionCheck(FN_PCREL, value, *entry, line, nodes);
          pcRelativeDone = true;
          break;
        case transform::kInPage:
          if (pcRelativeDone || pageSizeDone) break;
          value = sectionCheck(FN_INPAGE, value, *entry, line, nodes);
          pageDone = true;
          break;
        case transform::kPageSize: {
          if (pcRelativeDone || pageDone) break;
          OrbaExpression* arguments[] = {value, TEInteger::create(entry->a)};
          value = made(nodes, TEFunction::create(FN_PAGESIZE, arguments, 2));
          pageSizeDone = true;
          break;
        }
        case transform::kCallback:
          outputs.callback = callbackOf(*entry);
          break;
        case transform::kRelocation:
          if (relocationSeen) break;
          relocationSeen = true;
          outputs.relocFunction[0] = static_cast<uint32_t>(entry->a);
          outputs.relocFunction[1] = static_cast<uint32_t>(entry->b);
          outputs.relocFunction[2] = static_cast<uint32_t>(static_cast<uint64_t>(entry->b) >> 32);
          break;
        case transform::kDeferred:
          outputs.transformFlag = true;
          break;
        default:
          break;
      }
    }
  }
  // Without a relocation the field has no way to be completed later than now.
  if (outputs.relocFunction[0] == 0) outputs.transformFlag = false;
  return value;
}
