#include "isa/OperandEvaluation.h"

#include <cstring>

#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "isa/IPAttribute.h"

namespace isa {

namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool matchBackward(OperandWalk& walk, const char* patternText) {
  uint32_t savedP = walk.p, savedC = walk.c;
  size_t k = std::strlen(patternText);
  while (k > 0) {
    if (isWhiteSpace(patternText[k - 1])) {
      // A blank run of the pattern is one automaton step over the text's whole run.
      while (k > 0 && isWhiteSpace(patternText[k - 1])) --k;
      while (walk.p > 0 && isWhiteSpace(walk.text[walk.p - 1])) --walk.p;
      if (walk.c == 0) break;
      --walk.c;
      continue;
    }
    if (walk.p > 0 && isWhiteSpace(walk.text[walk.p - 1])) {
      while (walk.p > 0 && isWhiteSpace(walk.text[walk.p - 1])) --walk.p;
      continue;
    }
    if (walk.p == 0 || walk.c == 0 || lower(walk.text[walk.p - 1]) != lower(patternText[k - 1])) {
      walk.p = savedP;
      walk.c = savedC;
      return false;
    }
    --walk.p, --k, --walk.c;
  }
  if (k > 0) {
    walk.p = savedP;
    walk.c = savedC;
    return false;
  }
  return true;
}

void placeValueFields(Encoding* encoding, const OperandFieldMap* map, uint32_t valueKind, uint32_t value) {
  if (!encoding || !map || valueKind != RegisterRecord::kInteger || value == 0 || map->fieldCount == 0) return;
  for (uint32_t i = 0; i < map->fieldCount; ++i) {
    const OperandMapping& run = map->mappings[i];
    if (run.length == 0 || run.source >= 32) continue;
    // orBits refuses a run that leaves the value or the encoding.
    uint32_t length = run.source + run.length > 32 ? 32u - run.source : run.length;
    encoding->orBits(value, length, run.source, run.destination);
  }
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
    case RegisterRecord::kText:
      result = TEString::create(text ? text : "", text ? static_cast<uint32_t>(std::strlen(text)) : 0);
      break;
    case 8: {
      char character = static_cast<char>(value & 0xFF);
      result = TEString::create(&character, 1);
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
  if (item.secondIndex != -1)
    setOperandValue(item.secondIndex, walk.operands, record.secondKind, record.second.number,
                    record.secondKind == RegisterRecord::kText ? record.second.text : nullptr, false);
  if (item.operandIndex != -1 && walk.operands && record.name[0])
    walk.operands[item.operandIndex] = TEString::intern(record.name, static_cast<uint32_t>(std::strlen(record.name)));
  if (!matchBackward(walk, record.name)) walk.context.failed = true;
  return result;
}

void evaluateOperandEncodings(OperandWalk& walk, const PatternElement* elements, uint32_t elementCount) {
  bool result = false;
  for (uint32_t i = elementCount; i >= 1; --i) {
    const PatternItem& item = *elements[i - 1].item;
    bool jump = false;
    switch (item.kind) {
      case kItemLiteral:
        if (!matchBackward(walk, static_cast<const char*>(item.node))) walk.context.failed = true;
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
  }
  walk.context.isJump = result;
}

}  // namespace isa
