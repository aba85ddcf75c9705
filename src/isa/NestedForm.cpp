// Operand sequences: an operand that is a small form of its own (an addressing mode, an
// absolute address) is built into a sub-encoding, whose bits and deferred fields then move
// into the instruction's encoding through the item's field list.
#include <vector>

#include "expr/TEString.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"

namespace isa {

bool evaluateNestedForm(OperandWalk& walk, const PatternItem& item, const OperandSequence* sequence) {
  if (!sequence) sequence = static_cast<const OperandSequence*>(item.node);
  const InstructionDescription& description = *sequence->description;
  uint32_t startP = walk.p;

  if (walk.instruction) {
    walk.instruction->cycles += description.cycles;
    if (static_cast<int32_t>(description.alignment) > walk.instruction->alignment)
      walk.instruction->alignment = static_cast<int32_t>(description.alignment);
  }
  // Small arrays on the stack: a sequence names at most a few operands.
  OrbaExpression* local[8] = {};
  std::vector<OrbaExpression*> heap;
  OrbaExpression** operands = local;
  if (description.operandCount > 8) {
    heap.assign(description.operandCount, nullptr);
    operands = heap.data();
  }
  // The sequence's attributes go into one list of their own, which its items append to.
  if (walk.attributes && walk.listKind == IPAttribute::kOperandList)
    walk.attributes->addNewAttributeList(nullptr, IPAttribute::kOperandList, walk.line, operands);
  Encoding* sub = walk.encoding ? new Encoding(description.bits, description.opcode) : nullptr;

  OperandWalk inner{walk.instruction, walk.states, walk.c, walk.text, walk.p,
                    description.operandCount ? operands : nullptr,
                    walk.context, walk.attributes, 0, sub, walk.line, walk.made};
  evaluateOperandEncodings(inner, sequence->elements, sequence->count);
  bool failed = walk.context.failed;

  bool result = false;
  if (walk.attributes) {
    result = walk.attributes->addNewAttributeList(description.spec, IPAttribute::kAppendToCurrent, walk.line, operands);
    if (!result)
      result = walk.attributes->addNewAttributeList(item.spec, IPAttribute::kAppendToCurrent, walk.line, operands);
  }

  if (sub) {
    uint32_t count = item.fields ? item.fields->fieldCount : 0;
    const OperandMapping* triples = item.fields ? item.fields->mappings : nullptr;
    for (uint32_t t = 0; t < count; ++t)
      walk.encoding->orImageBits(*sub, triples[t].length, triples[t].source, triples[t].destination);
    for (OperandEncoding* field : sub->operands) {
      field->remapBits(count, triples);
      walk.encoding->operands.push_back(field);
    }
    sub->operands.clear();
    delete sub;
  }
  if (item.operandIndex != -1 && walk.operands && !failed && walk.p <= startP)
    walk.operands[item.operandIndex] = TEString::intern(walk.text + walk.p, startP - walk.p);
  walk.context.failed = failed;
  return result;
}

}  // namespace isa
