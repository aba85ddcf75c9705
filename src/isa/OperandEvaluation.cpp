#include "isa/OperandEvaluation.h"

#include <cstring>

#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "isa/ConditionBuilders.h"
#include "isa/FormScreening.h"
#include "isa/IPAttribute.h"

namespace isa {

namespace {

bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool readsExpressions(const PatternElement* elements, uint32_t count);

bool sequenceReadsExpressions(const OperandSequence* sequence) {
  return sequence != nullptr && readsExpressions(sequence->elements, sequence->count);
}

// Whether walking these elements could note a syntax failure: only an expression operand,
// here or inside an operand sequence, notes one.
bool readsExpressions(const PatternElement* elements, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const PatternItem& item = *elements[i].item;
    switch (item.kind) {
      case kItemExpression:
        return true;
      case kItemSequence:
        if (sequenceReadsExpressions(static_cast<const OperandSequence*>(item.node))) return true;
        break;
      case kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        for (uint32_t k = 0; k < choice->count; ++k)
          if (sequenceReadsExpressions(choice->choices[k].sequence)) return true;
        break;
      }
      default:
        break;
    }
  }
  return false;
}

// Whether building the conditions of the spec list reports something.
bool reportsWhileBuilding(const AttributeSpecItem* spec) {
  for (const AttributeSpecItem* item = spec; item != nullptr && item->id != ATTR_end; ++item)
    if (item->builder && conditions::reportsWhenBuilt(item->builder)) return true;
  return false;
}

// A candidate whose check is sure to drop it may stop its walk before element `next`, when
// the rest of the walk and the description's list leave no trace: no syntax failure noted,
// no warning reported, no jump marked.
bool mayStopBefore(const OperandWalk& walk, const PatternElement* elements, uint32_t next) {
  if (walk.listKind != IPAttribute::kOperandList || !walk.attributes || !walk.attributes->dropIsCertain()) return false;
  if (!walk.instruction || !walk.instruction->alternative || formMayMarkJump(*walk.instruction->alternative))
    return false;
  return !readsExpressions(elements, next) && !reportsWhileBuilding(walk.instruction->alternative->description->spec);
}

}  // namespace

bool matchTextBackward(const char* text, uint32_t& textLeft, uint32_t& statesLeft, const char* patternText) {
  // Kept in locals: the counters are references that every text read could alias.
  uint32_t p = textLeft, c = statesLeft;
  size_t k = std::strlen(patternText);
  // Most names and punctuation stand in the text as written, with no blank in them or
  // before them: one step per character.
  if (k > 0 && k <= p && k <= c) {
    size_t i = 0;
    while (i < k && !isWhiteSpace(text[p - 1 - i]) && lower(text[p - 1 - i]) == lower(patternText[k - 1 - i])) ++i;
    if (i == k) {
      textLeft = p - static_cast<uint32_t>(k);
      statesLeft = c - static_cast<uint32_t>(k);
      return true;
    }
  }
  while (k > 0) {
    if (isWhiteSpace(patternText[k - 1])) {
      // A blank run of the pattern is one automaton step over the text's whole run.
      while (k > 0 && isWhiteSpace(patternText[k - 1])) --k;
      while (p > 0 && isWhiteSpace(text[p - 1])) --p;
      if (c == 0) break;
      --c;
      continue;
    }
    if (p > 0 && isWhiteSpace(text[p - 1])) {
      while (p > 0 && isWhiteSpace(text[p - 1])) --p;
      continue;
    }
    if (p == 0 || c == 0 || lower(text[p - 1]) != lower(patternText[k - 1])) return false;
    --p, --k, --c;
  }
  if (k > 0) return false;
  textLeft = p;
  statesLeft = c;
  return true;
}

void setOperandValue(int32_t index, OrbaExpression** operands, uint32_t kind, uint32_t value, const char* text,
                     bool accumulate) {
  if (index == -1 || !operands) return;
  OrbaExpression* result = nullptr;
  switch (kind) {
    case RegisterRecord::kInteger:
      if (accumulate && operands[index] && operands[index]->getKind() == EK_integer)
        result = TEInteger::create(operands[index]->getInteger() + static_cast<int64_t>(value));
      else
        result = TEInteger::create(static_cast<int64_t>(value));
      break;
    // Text values are the shared nodes of their texts: a candidate never writes to them.
    case RegisterRecord::kText:
      result = TEString::internFixed(text ? text : "");
      break;
    case 8: {
      char character = static_cast<char>(value & 0xFF);
      result = TEString::intern(&character, 1);
      break;
    }
    default:
      result = TEInteger::create(0);
      break;
  }
  operands[index] = result;
}

bool evaluateSlotOperand(OperandWalk& walk, const PatternItem& item) {
  const auto* slot = static_cast<const OperandSlot*>(item.node);
  if (walk.c == 0) encodingFault(__LINE__, "operand walk ran out of path");
  int32_t index = lookupValue(*slot->values, walk.states[walk.c - 1]);
  // The value tables hold every state at which a name of the slot can end; a missing entry
  // is a broken table, not a user error.
  if (index < 0 || static_cast<uint32_t>(index) >= slot->count)
    encodingFault(__LINE__, "no operand value for the matched state");
  const RegisterRecord& record = *slot->names[index].record;
  if (item.fields) placeValueFields(walk.encoding, item.fields, record.valueKind, record.value);
  if (walk.instruction) {
    walk.instruction->cycles += record.reserved[0];
    if (static_cast<int32_t>(record.reserved[1]) > walk.instruction->alignment)
      walk.instruction->alignment = static_cast<int32_t>(record.reserved[1]);
  }
  bool result = false;
  if (walk.attributes) {
    result = walk.attributes->addNewAttributeList(item.spec, walk.listKind, walk.line, walk.operands);
    if (!result)
      result = walk.attributes->addNewAttributeList(record.spec, IPAttribute::kAppendToCurrent, walk.line, walk.operands);
  }
  if (item.secondIndex != -1 && walk.operands && record.secondKind == RegisterRecord::kInteger)
    walk.operands[item.secondIndex] = TEInteger::create(static_cast<int64_t>(record.second.number));
  else if (item.secondIndex != -1)
    setOperandValue(item.secondIndex, walk.operands, record.secondKind, record.second.number,
                    record.secondKind == RegisterRecord::kText ? record.second.text : nullptr, false);
  if (item.operandIndex != -1 && walk.operands && record.name[0])
    walk.operands[item.operandIndex] = TEString::internFixed(record.name);
  if (!matchTextBackward(walk.text, walk.p, walk.c, record.name, record.nameLength)) walk.context.failed = true;
  return result;
}

void evaluateOperandEncodings(OperandWalk& walk, const PatternElement* elements, uint32_t elementCount) {
  bool result = false;
  for (uint32_t i = elementCount; i >= 1; --i) {
    const PatternItem& item = *elements[i - 1].item;
    bool jump = false;
    switch (item.kind) {
      case kItemLiteral:
        if (!matchTextBackward(walk.text, walk.p, walk.c, static_cast<const char*>(item.node), item.textLength))
          walk.context.failed = true;
        break;
      case kItemSequenceChoice: {
        const auto* choice = static_cast<const SequenceChoice*>(item.node);
        if (walk.c == 0) encodingFault(__LINE__, "operand walk ran out of path");
        int32_t index = lookupValue(*choice->values, walk.states[walk.c - 1]);
        if (index < 0 || static_cast<uint32_t>(index) >= choice->count)
          encodingFault(__LINE__, "no sequence for the matched state");
        jump = evaluateNestedForm(walk, item, choice->choices[index].sequence);
        break;
      }
      case kItemExpression:
        jump = evaluateExpressionOperand(walk, item);
        break;
      case kItemSequence:
        jump = evaluateNestedForm(walk, item, nullptr);
        break;
      case kItemSlot:
        jump = evaluateSlotOperand(walk, item);
        break;
      default:
        break;
    }
    if (walk.context.failed) break;
    result = result || jump;
    if (mayStopBefore(walk, elements, i - 1)) {
      walk.context.failed = true;
      break;
    }
  }
  walk.context.isJump = result;
}

}  // namespace isa
