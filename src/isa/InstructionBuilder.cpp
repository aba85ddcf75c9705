// One candidate per hardware form of an accepting state: its encoding from the opcode
// template and the operands recovered along the accepted path, its attribute set and its
// "when" check. Nothing is reported here; the context tells the statement parser.
#include <cstring>
#include <vector>

#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"

namespace isa {

namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool startsComment(const char* text, const char* prefix) {
  return prefix && prefix[0] && text[0] == prefix[0] && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

void buildInstruction(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                      LineInfo* line, const char* commentPrefix) {
  const InstructionDescription& description = *alternative.description;
  auto* instruction = new IPInstruction();
  auto* attributes = new IPAttribute();
  auto* encoding = new Encoding(description.bits & 0xFF, description.opcode);
  std::vector<OrbaExpression*> operands(description.operandCount, nullptr);
  instruction->cycles = description.cycles;
  instruction->alignment = static_cast<int32_t>(description.alignment);
  instruction->alternative = &alternative;

  const char* text = context.match->text;
  uint32_t length = context.match->matchedLength;
  while (length > 0 && (isWhiteSpace(text[length - 1]) || startsComment(text + length - 1, commentPrefix))) --length;

  context.failed = false;
  uint32_t c = path.count;
  OperandWalk walk{instruction, path.states, c, text, length, operands.empty() ? nullptr : operands.data(),
                   context, attributes, 2, encoding, line};
  evaluateOperandEncodings(walk, alternative.elements, alternative.elementCount);
  if (context.failed) {
    delete attributes;
    delete encoding;
    delete instruction;
    return;
  }
  // The TriCore options give no alignment hook, so the form keeps its own alignment.
  if (attributes->addNewAttributeList(description.spec, IPAttribute::kDescriptionList, line, walk.operands))
    context.isJump = true;
  instruction->attributes = attributes;
  instruction->encoding = encoding;

  const char* message = nullptr;
  bool holds = attributes->findFirstUnsatisfiedCase(&message, false);
  // A case that stops with a message is decided again, and reported, after layout.
  if (!holds && !message) {
    delete instruction;
    return;
  }
  context.candidates.push_back(instruction);
  context.found = true;
}

void InstructionBuilder::acceptForm(const MatchAlternative& alternative, const MatchPath& path) {
  // Generic forms are expanded into source lines elsewhere.
  if (alternative.kind != kHardwareForm) return;
  buildInstruction(alternative, path, context_, line_, commentPrefix_);
}

}  // namespace isa
