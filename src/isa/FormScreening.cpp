#include "isa/FormScreening.h"

#include <vector>

#include "expr/OrbaExpression.h"
#include "isa/CandidateNodes.h"
#include "isa/ConditionBuilders.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"
#include "isa/PostEncode.h"

namespace isa {

namespace {

// Operands screening can hold; forms with more are built as they are.
constexpr uint32_t kScreenedOperands = 16;

bool queuesConditions(const AttributeSpecItem* spec) {
  for (const AttributeSpecItem* item = spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->kind == AttributeSpecItem::kOperand && (item->id == ATTR_when || item->id == ATTR_warning)) return true;
  return false;
}

bool reports(const AttributeSpecItem* spec) {
  for (const AttributeSpecItem* item = spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->builder != nullptr && conditions::reportsWhenBuilt(item->builder)) return true;
  return false;
}

bool leavesTrace(const PatternElement* elements, uint32_t count);

bool sequenceLeavesTrace(const OperandSequence* sequence) {
  return sequence != nullptr &&
         (queuesConditions(sequence->description->spec) || leavesTrace(sequence->elements, sequence->count));
}

// Whether building these elements could leave something behind when the candidate is
// dropped, or put a condition ahead of the description's: a syntax failure noted by an
// operand that must be a number, a condition queued by an element's own list or by the
// list of a register or mnemonic it names.
bool leavesTrace(const PatternElement* elements, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    if (queuesConditions(item.spec)) return true;
    switch (item.kind) {
      case kItemExpression:
        for (const auto* t = static_cast<const OperandTransform*>(item.node); t && t->kind != transform::kEnd; ++t)
          if (t->kind == transform::kMustBeInteger) return true;
        break;
      case kItemSlot: {
        const auto* slot = static_cast<const OperandSlot*>(item.node);
        for (uint32_t k = 0; k < slot->count; ++k)
          if (queuesConditions(slot->names[k].record->spec)) return true;
        break;
      }
      case kItemSequence:
        if (sequenceLeavesTrace(static_cast<const OperandSequence*>(item.node))) return true;
        break;
      case kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        for (uint32_t k = 0; k < choice->count; ++k)
          if (sequenceLeavesTrace(choice->choices[k].sequence)) return true;
        break;
      }
      default:
        break;
    }
  }
  return false;
}

// Whether an operand is written by more than one element: screening reads each value where
// it is written, which must then be its last value.
bool writesAnOperandTwice(const PatternElement* elements, uint32_t count) {
  uint32_t written = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    for (int32_t index : {item.operandIndex, item.secondIndex}) {
      if (index < 0) continue;
      if (index >= 32 || (written & (1u << index)) != 0) return true;
      written |= 1u << index;
    }
  }
  return false;
}

// The description's first "when" item, when screening may decide it.
const AttributeSpecItem* firstCondition(const InstructionDescription& description) {
  for (const AttributeSpecItem* item = description.spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->id == ATTR_when && item->kind == AttributeSpecItem::kOperand) return item;
  return nullptr;
}

const AttributeSpecItem* nextCondition(const AttributeSpecItem* item) {
  for (++item; item->id != ATTR_end; ++item)
    if (item->id == ATTR_when && item->kind == AttributeSpecItem::kOperand) return item;
  return nullptr;
}

std::vector<bool>& screenable() {
  static std::vector<bool> forms;
  return forms;
}

// What the leading conditions say once their operands are known.
enum class Verdict { Undecided, Holds, Drops };

Verdict decide(const AttributeSpecItem& item, OrbaExpression** operands, uint32_t operandCount, LineInfo* line) {
  if ((item.argument & AttributeSpecItem::kReadsKnown) == 0 || item.builder == nullptr) return Verdict::Undecided;
  for (uint32_t reads = item.argument & ~AttributeSpecItem::kReadsKnown; reads != 0; reads &= reads - 1) {
    auto index = static_cast<uint32_t>(__builtin_ctz(reads));
    if (index >= operandCount || operands[index] == nullptr) return Verdict::Undecided;
  }
  CandidateNodes* made = nullptr;
  OrbaExpression* condition = item.builder(line, operands, made);
  Verdict verdict = Verdict::Undecided;
  if (condition != nullptr && condition->getKind() == EK_integer) {
    if (condition->getInteger() != 0) verdict = Verdict::Holds;
    else if (item.extra == nullptr) verdict = Verdict::Drops;
  }
  CandidateNodes::release(made);
  return verdict;
}

}  // namespace

void prepareFormScreening() {
  std::vector<bool>& forms = screenable();
  forms.assign(matchAlternativeCount(), false);
  // A jump mark of a dropped form would still reach the statement.
  if (attributeListsMarkJumps()) return;
  for (uint32_t i = 0; i < matchAlternativeCount(); ++i) {
    const MatchAlternative& alternative = matchAlternatives()[i];
    if (alternative.kind != kHardwareForm) continue;
    const InstructionDescription& description = *alternative.description;
    const AttributeSpecItem* first = firstCondition(description);
    if (alternative.form >= forms.size()) continue;
    forms[alternative.form] = first != nullptr && (first->argument & AttributeSpecItem::kReadsKnown) != 0 &&
               description.operandCount <= kScreenedOperands && !reports(description.spec) &&
               !leavesTrace(alternative.elements, alternative.elementCount) &&
               !writesAnOperandTwice(alternative.elements, alternative.elementCount);
  }
}

void forgetFormScreening() { std::vector<bool>().swap(screenable()); }

bool formIsScreenedOut(const MatchAlternative& alternative, const MatchPath& path, const InstructionMatcher* matcher,
                       const char* text, uint32_t length, LineInfo* line) {
  const std::vector<bool>& forms = screenable();
  if (alternative.form >= forms.size() || !forms[alternative.form]) return false;
  // A form made elsewhere than in the tables is built as it is.
  if (matchAlternatives()[alternative.form].elements != alternative.elements) return false;

  const InstructionDescription& description = *alternative.description;
  OrbaExpression* operands[kScreenedOperands] = {};
  const AttributeSpecItem* condition = firstCondition(description);
  uint32_t p = length, c = path.count;
  // The build's walk, reading values only: from the last element back, as far as the
  // conditions need it. Anything it cannot follow leaves the form to the build.
  for (uint32_t i = alternative.elementCount; i >= 1; --i) {
    const PatternItem& item = *alternative.elements[i - 1].item;
    switch (item.kind) {
      case kItemLiteral:
        if (!matchTextBackward(text, p, c, static_cast<const char*>(item.node))) return false;
        break;
      case kItemExpression: {
        InstructionMatcher::ParsedExpression parsed;
        if (c == 0 || !findParsedOperand(matcher, path.states[c - 1], text, p, parsed)) return false;
        p = static_cast<uint32_t>(parsed.start - text);
        --c;
        break;
      }
      case kItemSlot: {
        const auto* slot = static_cast<const OperandSlot*>(item.node);
        if (c == 0) return false;
        int32_t value = lookupValue(*slot->values, path.states[c - 1]);
        if (value < 0 || static_cast<uint32_t>(value) >= slot->count) return false;
        const RegisterRecord& record = *slot->names[value].record;
        setOperandValue(item.secondIndex, operands, record.secondKind, record.second.number,
                        record.secondKind == RegisterRecord::kText ? record.second.text : nullptr, false);
        if (!matchTextBackward(text, p, c, record.name)) return false;
        break;
      }
      default:
        return false;
    }
    while (condition != nullptr) {
      Verdict verdict = decide(*condition, operands, description.operandCount, line);
      if (verdict == Verdict::Drops) return true;
      if (verdict == Verdict::Undecided) break;
      condition = nextCondition(condition);
    }
    if (condition == nullptr) return false;
  }
  return false;
}

}  // namespace isa
