// One candidate per hardware form of an accepting state: its encoding from the opcode
// template and the operands recovered along the accepted path, its attribute set and its
// "when" check. Nothing is reported here; the context tells the statement parser.
#include <cstring>
#include <memory>

#include "isa/CandidateNodes.h"
#include "isa/FormScreening.h"
#include "isa/GenericExpansion.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"

namespace isa {

namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool startsComment(const char* text, const char* prefix) {
  return prefix && prefix[0] && text[0] == prefix[0] && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Forms name a few operands; a longer operand array goes to the heap.
constexpr uint32_t kOperandRoom = 16;

}  // namespace

uint32_t trimmedMatchLength(BuildContext& context, const char* commentPrefix) {
  const char* text = context.match->text;
  uint32_t length = context.match->matchedLength;
  uint64_t offer = context.matcher ? context.matcher->offerNumber() : 0;
  if (offer != 0 && context.trimmedOffer == offer && context.trimmedText == text && context.trimmedFrom == length)
    return context.trimmedLength;
  context.trimmedOffer = offer;
  context.trimmedText = text;
  context.trimmedFrom = length;
  while (length > 0 && (isWhiteSpace(text[length - 1]) || startsComment(text + length - 1, commentPrefix))) --length;
  context.trimmedLength = length;
  return length;
}

void buildInstruction(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                      LineInfo* line, const char* commentPrefix) {
  const InstructionDescription& description = *alternative.description;
  const char* text = context.match->text;
  uint32_t length = trimmedMatchLength(context, commentPrefix);
  if (formIsScreenedOut(alternative, path, context.matcher, text, length, line)) {
    // As the build of a form that its conditions drop leaves the context.
    context.failed = false;
    context.isJump = false;
    return;
  }

  auto* instruction = new IPInstruction();
  auto* attributes = new IPAttribute();
  attributes->setBuilding(true);
  auto* encoding = new Encoding(description.bits & 0xFF, description.opcode);
  OrbaExpression* operandRoom[kOperandRoom] = {};
  std::unique_ptr<OrbaExpression*[]> operandHeap;
  OrbaExpression** operands = description.operandCount ? operandRoom : nullptr;
  if (description.operandCount > kOperandRoom) {
    operandHeap.reset(new OrbaExpression*[description.operandCount]());
    operands = operandHeap.get();
  }
  instruction->cycles = description.cycles;
  instruction->alignment = static_cast<int32_t>(description.alignment);
  instruction->alternative = &alternative;

  context.failed = false;
  uint32_t c = path.count;
  OperandWalk walk{instruction, path.states, c, text, length, operands,
                   context, attributes, 2, encoding, line, attributes->nodeSet()};
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
  bool holds = !attributes->dropIsCertain() && attributes->findFirstUnsatisfiedCase(&message, false);
  // A case that stops with a message is decided again, and reported, after layout.
  if (!holds && !message) {
    delete instruction;
    return;
  }
  attributes->setBuilding(false);
  // The candidate outlives the statement's parse: it takes a claim on the operands parsed,
  // and its operand fields on the nodes made for it, as its conditions have.
  if (context.matcher) CandidateNodes::dependOn(attributes->nodeSet(), context.matcher->statementNodes());
  if (attributes->nodes()) encoding->nodes = attributes->nodes()->retain();
  instruction->attributes = IPAttribute::share(attributes);
  context.candidates.push_back(instruction);
  context.found = true;
}

void InstructionBuilder::acceptForm(const MatchAlternative& alternative, const MatchPath& path) {
  if (alternative.kind == kGenericForm)
    expandInstructionLine(alternative, path, context_, line_);
  else if (alternative.kind == kHardwareForm) {
    if (context_.offered) context_.offered->push_back(&alternative);
    buildInstruction(alternative, path, context_, line_, commentPrefix_);
  }
}

}  // namespace isa
