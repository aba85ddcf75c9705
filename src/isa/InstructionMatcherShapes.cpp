#include "isa/InstructionMatcherShapes.h"

#include <limits>
#include <vector>

#include "isa/ConditionBuilders.h"
#include "isa/IPAttribute.h"
#include "isa/PostEncode.h"
#include "util/RunState.h"

namespace isa {

namespace {

uint32_t operandBits(const PatternItem& item) {
  uint32_t bits = 0;
  for (int32_t index : {item.operandIndex, item.secondIndex})
    if (index >= 0) bits |= index < 32 ? 1u << index : ~0u;
  return bits;
}

// Whether a spec list lets the operands in `constantOperands` reach nothing: no attribute
// takes one as its value and no condition may read one. With `dropsOnly`, only what could
// drop the form or report counts: an attribute's value and a warning's reading are its own.
bool specIsBlind(const AttributeSpecItem* spec, uint32_t constantOperands, bool dropsOnly) {
  for (const AttributeSpecItem* item = spec; item != nullptr && item->id != ATTR_end; ++item) {
    if (item->builder && conditions::reportsWhenBuilt(item->builder)) return false;
    if (item->kind != AttributeSpecItem::kOperand) continue;
    const bool condition = item->id == ATTR_when || item->id == ATTR_warning;
    if (!condition) {
      if (!dropsOnly && item->argument < 32 && (constantOperands & (1u << item->argument)) != 0) return false;
      if (!dropsOnly && item->argument >= 32) return false;
      continue;
    }
    if (dropsOnly && item->id == ATTR_warning) continue;
    if ((item->argument & AttributeSpecItem::kReadsKnown) == 0) return false;
    if ((item->argument & AttributeSpecItem::kReadMask & constantOperands) != 0) return false;
  }
  return true;
}

bool slotIsBlind(const PatternItem& item, uint32_t constantOperands, bool dropsOnly) {
  const auto* slot = static_cast<const OperandSlot*>(item.node);
  for (uint32_t k = 0; k < slot->count; ++k)
    if (!specIsBlind(slot->names[k].record->spec, constantOperands, dropsOnly)) return false;
  return true;
}

// Every expression operand of the elements, nested forms included.
bool collectExpressionOperands(const PatternElement* elements, uint32_t count, uint32_t& operands) {
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    switch (item.kind) {
      case kItemExpression:
        operands |= operandBits(item);
        break;
      case kItemSequence: {
        const auto* sequence = static_cast<const OperandSequence*>(item.node);
        if (!collectExpressionOperands(sequence->elements, sequence->count, operands)) return false;
        break;
      }
      case kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        for (uint32_t k = 0; k < choice->count; ++k) {
          const OperandSequence* sequence = choice->choices[k].sequence;
          if (sequence && !collectExpressionOperands(sequence->elements, sequence->count, operands)) return false;
        }
        break;
      }
      case kItemLiteral:
      case kItemSlot:
        break;
      default:
        return false;
    }
  }
  return true;
}

bool elementsLeaveBuildAlone(const PatternElement* elements, uint32_t count, uint32_t constantOperands) {
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    if (!specIsBlind(item.spec, constantOperands, true)) return false;
    switch (item.kind) {
      case kItemExpression:
        for (const auto* t = static_cast<const OperandTransform*>(item.node); t && t->kind != transform::kEnd; ++t)
          if (t->kind == transform::kConvert) return false;
        break;
      case kItemSlot:
        if (!slotIsBlind(item, constantOperands, true)) return false;
        break;
      case kItemSequence: {
        const auto* sequence = static_cast<const OperandSequence*>(item.node);
        if (!specIsBlind(sequence->description->spec, constantOperands, true) ||
            !elementsLeaveBuildAlone(sequence->elements, sequence->count, constantOperands))
          return false;
        break;
      }
      case kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        for (uint32_t k = 0; k < choice->count; ++k) {
          const OperandSequence* sequence = choice->choices[k].sequence;
          if (sequence && (!specIsBlind(sequence->description->spec, constantOperands, true) ||
                           !elementsLeaveBuildAlone(sequence->elements, sequence->count, constantOperands)))
            return false;
        }
        break;
      }
      default:
        break;
    }
  }
  return true;
}

// The run as Encoding::orBits places it when it stays inside the low word.
bool runFitsLowWord(const OperandMapping& run, uint32_t bits) {
  return run.length >= 1 && run.length <= 32 && run.source + run.length <= 32 && run.destination + run.length <= bits &&
         run.destination + run.length <= 32;
}

}  // namespace

ConstantShapes& constantShapes() { return runPart<ConstantShapes>(); }

namespace {

// What the judgements below came to for each form of the tables. They read nothing but
// the form's kind, description and pattern (constant tables), and a source of many shapes
// asks them again for every shape it keeps, each time over every form the walk offered.
// An entry, found by the form's number, counts for an alternative of the same kind,
// description and pattern: the walk's alternatives are copies of the tables' own.
struct ShapeJudgements {
  static constexpr int8_t kUnjudged = -1;
  struct Entry {
    uint32_t kind = 0;
    const InstructionDescription* description = nullptr;
    const PatternElement* elements = nullptr;
    uint32_t elementCount = 0;
    int8_t reachesOnlyItsField = kUnjudged;
    int8_t leavesBuildAlone = kUnjudged;
    ConstantOperandForm form;
  };
  std::vector<Entry> entries;

  // The entry of the alternative, emptied when it held another; null for an alternative
  // whose number lies outside the tables.
  Entry* of(const MatchAlternative& alternative) {
    if (entries.empty()) entries.resize(matchAlternativeCount());
    if (alternative.form >= entries.size()) return nullptr;
    Entry& entry = entries[alternative.form];
    if (entry.kind != alternative.kind || entry.description != alternative.description ||
        entry.elements != alternative.elements || entry.elementCount != alternative.elementCount) {
      entry = Entry{};
      entry.kind = alternative.kind;
      entry.description = alternative.description;
      entry.elements = alternative.elements;
      entry.elementCount = alternative.elementCount;
    }
    return &entry;
  }
};

bool judgeReachesOnlyItsField(const MatchAlternative& alternative, ConstantOperandForm& form);
bool judgeLeavesBuildAlone(const MatchAlternative& alternative);

}  // namespace

bool constantReachesOnlyItsField(const MatchAlternative& alternative, ConstantOperandForm& form) {
  ShapeJudgements::Entry* entry = runPart<ShapeJudgements>().of(alternative);
  if (!entry) return judgeReachesOnlyItsField(alternative, form);
  if (entry->reachesOnlyItsField == ShapeJudgements::kUnjudged) {
    entry->form = ConstantOperandForm{};
    entry->reachesOnlyItsField = judgeReachesOnlyItsField(alternative, entry->form) ? 1 : 0;
  }
  form = entry->form;
  return entry->reachesOnlyItsField == 1;
}

bool constantLeavesBuildAlone(const MatchAlternative& alternative) {
  ShapeJudgements::Entry* entry = runPart<ShapeJudgements>().of(alternative);
  if (!entry) return judgeLeavesBuildAlone(alternative);
  if (entry->leavesBuildAlone == ShapeJudgements::kUnjudged)
    entry->leavesBuildAlone = judgeLeavesBuildAlone(alternative) ? 1 : 0;
  return entry->leavesBuildAlone == 1;
}

namespace {

bool judgeReachesOnlyItsField(const MatchAlternative& alternative, ConstantOperandForm& form) {
  if (alternative.kind != kHardwareForm || !alternative.description) return false;
  uint32_t constantOperands = 0;
  form.count = 0;
  for (uint32_t i = 0; i < alternative.elementCount; ++i) {
    const PatternItem& item = *alternative.elements[i].item;
    if (item.kind == kItemExpression) {
      if (form.count == ConstantOperandForm::kMostOperands) return false;
      constantOperands |= operandBits(item);
      ++form.count;
    } else if (item.kind != kItemLiteral && item.kind != kItemSlot) {
      return false;
    }
  }
  if (form.count == 0 || !specIsBlind(alternative.description->spec, constantOperands, false)) return false;
  uint32_t operand = 0;
  for (uint32_t i = 0; i < alternative.elementCount; ++i) {
    const PatternItem& item = *alternative.elements[i].item;
    if (!specIsBlind(item.spec, constantOperands, false)) return false;
    if (item.kind == kItemSlot && !slotIsBlind(item, constantOperands, false)) return false;
    if (item.kind != kItemExpression) continue;
    int64_t low = std::numeric_limits<int64_t>::min();
    int64_t high = std::numeric_limits<int64_t>::max();
    bool ranged = false;
    for (const auto* t = static_cast<const OperandTransform*>(item.node); t && t->kind != transform::kEnd; ++t) {
      switch (t->kind) {
        case transform::kRange:
          if (ranged) break;
          ranged = true;
          low = t->a;
          high = t->b;
          break;
        case transform::kRelocation:
        case transform::kMustBeInteger:
          break;
        default:
          return false;
      }
    }
    form.low[operand] = low;
    form.high[operand] = high;
    form.fields[operand] = item.fields;
    ++operand;
  }
  return true;
}

bool judgeLeavesBuildAlone(const MatchAlternative& alternative) {
  if (alternative.kind != kHardwareForm || !alternative.description) return false;
  uint32_t constantOperands = 0;
  if (!collectExpressionOperands(alternative.elements, alternative.elementCount, constantOperands)) return false;
  return specIsBlind(alternative.description->spec, constantOperands, true) &&
         elementsLeaveBuildAlone(alternative.elements, alternative.elementCount, constantOperands);
}

}  // namespace

TargetOutcomes& targetOutcomes() { return runPart<TargetOutcomes>(); }

JumpRecords& jumpRecords() { return runPart<JumpRecords>(); }

DirectJumpLayout& directJumpLayout() { return runPart<DirectJumpLayout>(); }

bool expressionsLeaveGenericAlone(const MatchAlternative& alternative) {
  const GenericDescription* generic = alternative.generic;
  if (alternative.kind != kGenericForm || !generic) return false;
  for (const ExpansionTemplate* entry = generic->templates; entry && entry->marker != 0; ++entry)
    if (entry->condition) return false;
  uint32_t expressionOperands = 0;
  if (!collectExpressionOperands(alternative.elements, alternative.elementCount, expressionOperands)) return false;
  return specIsBlind(generic->spec, expressionOperands, true) &&
         elementsLeaveBuildAlone(alternative.elements, alternative.elementCount, expressionOperands);
}

bool placeConstant(const OperandFieldMap& fields, uint32_t bits, int64_t value, uint32_t& image) {
  if (fields.mask && fields.expect && fields.mask->kind == 1 && fields.expect->kind == 1 &&
      (static_cast<uint32_t>(value) & fields.mask->value) != fields.expect->value)
    return false;
  const auto bitsOfValue = static_cast<uint64_t>(value);
  uint32_t placed = 0;
  for (uint32_t i = 0; i < fields.fieldCount; ++i) {
    const OperandMapping& run = fields.mappings[i];
    if (!runFitsLowWord(run, bits)) return false;
    placed |= static_cast<uint32_t>((bitsOfValue >> run.source) & ((uint64_t{1} << run.length) - 1))
              << run.destination;
  }
  image = placed;
  return true;
}

bool constantFieldMask(const OperandFieldMap& fields, uint32_t bits, uint32_t& mask) {
  uint32_t covered = 0;
  for (uint32_t i = 0; i < fields.fieldCount; ++i) {
    const OperandMapping& run = fields.mappings[i];
    if (!runFitsLowWord(run, bits)) return false;
    covered |= static_cast<uint32_t>((uint64_t{1} << run.length) - 1) << run.destination;
  }
  mask = covered;
  return true;
}

}  // namespace isa
