// Expression operands of a form: the walk steps back over the expression that the matcher
// parsed, the operand's transforms wrap it in its checks, and its bits go into the encoding
// now or after layout.
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "isa/CandidateNodes.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"  // before PostEncode.h: it names the callback type
#include "isa/PostEncode.h"

namespace isa {

namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A string operand stands for its bytes, the first the most significant.
OrbaExpression* packString(OrbaExpression* value) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(value->getString());
  uint32_t length = value->getStringLength();
  if (length > 32) length = 32;
  uint64_t packed = 0;
  for (uint32_t i = 0; i < length; ++i) packed = (packed << 8) | bytes[i];
  return TEInteger::create(static_cast<int64_t>(packed));
}

}  // namespace

bool findParsedOperand(const InstructionMatcher* matcher, uint16_t state, const char* text, uint32_t textLeft,
                       InstructionMatcher::ParsedExpression& parsed) {
  // Blanks that the walk skipped after the expression are not part of it.
  uint32_t end = textLeft;
  while (end > 0 && isWhiteSpace(text[end - 1])) --end;
  return matcher && (matcher->findExpression(state, text + end, parsed) ||
                     matcher->findExpression(state, text + textLeft, parsed));
}

bool evaluateExpressionOperand(OperandWalk& walk, const PatternItem& item) {
  if (walk.c == 0) encodingFault(__LINE__, "operand walk ran out of path");
  InstructionMatcher::ParsedExpression parsed;
  if (!findParsedOperand(walk.context.matcher, walk.states[walk.c - 1], walk.text, walk.p, parsed))
    encodingFault(__LINE__, "no parsed expression for the matched state");
  walk.p = static_cast<uint32_t>(parsed.start - walk.text);
  --walk.c;

  const auto* transforms = static_cast<const OperandTransform*>(item.node);
  bool haveDefault = false, mustBeInteger = false;
  int64_t defaultValue = 0;
  for (const OperandTransform* t = transforms; t && t->kind != transform::kEnd; ++t) {
    if (t->kind == transform::kDefault) haveDefault = true, defaultValue = t->a;
    if (t->kind == transform::kMustBeInteger) mustBeInteger = true;
  }

  auto* value = static_cast<OrbaExpression*>(parsed.expression);
  if (parsed.length > 0) {
    if (mustBeInteger && (!value || value->getKind() != EK_integer)) {
      noteSyntaxExpectedNumber(walk.context.match->failure, parsed.start);
      walk.context.failed = true;
      return false;
    }
  } else if (!haveDefault) {
    noteSyntaxExpectedExpression(walk.context.match->failure, parsed.start);
    walk.context.failed = true;
    return false;
  } else {
    value = TEInteger::create(defaultValue);
  }
  if (!value) {
    // The text was read but gave no tree: the parser's message is the failure.
    if (parsed.error) noteSyntaxErrorText(walk.context.match->failure, parsed.start, parsed.error);
    walk.context.failed = true;
    return false;
  }
  if (value->getKind() == EK_string) value = packString(value);

  TransformOutputs outputs;
  value = applyOperandTransforms(value, transforms, outputs, walk.line, &walk.made);

  if (item.secondIndex != -1 && walk.operands && value) {
    // The tables give no operand with a callback a value slot: the callback acts only
    // through the operand's field. A check node is never changed once made and its copy
    // would share its operands: the field and the conditions share the node itself.
    uint32_t kind = value->getKind();
    walk.operands[item.secondIndex] = kind == EK_function || kind == EK_tricoreFunction
                                          ? value
                                          : CandidateNodes::keep(walk.made, value->clone());
  }
  if (walk.encoding && item.fields)
    walk.encoding->addOperand(walk.line, item.fields->fieldCount, item.fields->mappings, value, transforms,
                              item.fields->mask, item.fields->expect, outputs.relocFunction[0],
                              outputs.relocFunction[1], outputs.relocFunction[2], outputs.transformFlag,
                              outputs.callback);
  bool result = false;
  if (walk.attributes) result = walk.attributes->addNewAttributeList(item.spec, walk.listKind, walk.line, walk.operands);
  if (item.operandIndex != -1 && walk.operands)
    walk.operands[item.operandIndex] = TEString::intern(parsed.start, parsed.length);
  return result;
}

}  // namespace isa
