#include "isa/JumpTargets.h"

#include <memory>
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEBinary.h"
#include "expr/TEFunction.h"
#include "expr/TESymbol.h"
#include "expr/TEUnary.h"
#include "expr/functions.h"
#include "flow/ExpressionValidator.h"
#include "flow/FlowWalker.h"
#include "flow/JumpChains.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/CandidateNodes.h"
#include "isa/FInstruction.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/OperandCompletion.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

namespace isa {

namespace {

bool isOperandCheck(int32_t code) {
  return code == FN_PCREL || code == FN_INPAGE || code == FN_PAGESIZE || code == FN_RANGE || code == FN_WRANGE;
}

// The symbol an attribute's operand names: a reference, or the first argument of an
// operand check, through any nesting of checks.
Symbol* namedSymbol(const OrbaExpression* expression) {
  // Checks nest a few levels deep; the bound keeps a malformed tree from looping.
  for (int depth = 0; expression && depth < 64; ++depth) {
    uint32_t kind = expression->getKind();
    if (kind == EK_symbol) return expression->getSymbol();
    if (kind != EK_function && kind != EK_tricoreFunction) return nullptr;
    const auto* call = static_cast<const TEFunction*>(expression);
    if (!isOperandCheck(call->code()) || call->arguments().empty()) return nullptr;
    expression = call->arguments()[0];
  }
  return nullptr;
}

// The attribute with the id in the latest list that has one.
const IPAttr* findFromEnd(const IPAttribute& attributes, uint32_t id) {
  for (size_t list = attributes.listCount(); list-- > 0;)
    for (const IPAttr* entry : attributes.list(list))
      if (entry && entry->id == id) return entry;
  return nullptr;
}

// The target a jump attribute names: its value when that is an operand; a constant value
// is the position of the target's field among the form's operand fields (the tables' way,
// which keeps the attribute set the same for every target).
const OrbaExpression* targetExpression(const IPInstruction& form, const IPAttr& attribute) {
  const OrbaExpression* value = attribute.value;
  if (!value || value->getKind() != EK_integer) return value;
  int64_t field = value->getInteger();
  if (!form.encoding || field < 0 || static_cast<uint64_t>(field) >= form.encoding->operands.size()) return nullptr;
  return form.encoding->operands[static_cast<size_t>(field)]->expression;
}

OrbaExpression* kept(CandidateNodes*& made, OrbaExpression* node) { return CandidateNodes::keep(made, node); }

class TriCoreJumps : public JumpInstructions {
 public:
  bool jumpTarget(FlowNode* node, bool& conditional, Symbol*& target) override {
    if (node->kind != FlowNode::kInstruction) return false;
    for (const IPInstruction* form : static_cast<FInstruction*>(node)->candidates) {
      if (!form || !form->attributes) continue;
      const IPAttr* attribute = findFromEnd(*form->attributes, ATTR_jumpConditional);
      bool isConditional = attribute != nullptr;
      if (!attribute) attribute = findFromEnd(*form->attributes, ATTR_jump);
      if (!attribute) continue;
      Symbol* symbol = namedSymbol(targetExpression(*form, *attribute));
      // A name the symbol checks made external is no label of ours.
      if (!symbol || symbol->isAutoExternal()) continue;
      conditional = isConditional;
      target = symbol;
      return true;
    }
    return false;
  }

  void retargetOperands(FlowNode* node, Symbol* from, Symbol* to) override {
    if (node->kind != FlowNode::kInstruction) return;
    for (IPInstruction* form : static_cast<FInstruction*>(node)->candidates) {
      if (!form || !form->encoding) continue;
      Encoding& encoding = *form->encoding;
      for (OperandEncoding* field : encoding.operands)
        if (field->expression) field->expression = retargetedCopy(field->expression, from, to, encoding.nodes);
    }
  }

  bool reaches(FlowNode* node, Section* section, int64_t offset, Symbol* from, Symbol* label) override {
    if (node->kind != FlowNode::kInstruction || !section) return false;
    IPInstruction* form = static_cast<FInstruction*>(node)->selectedCandidate();
    if (!form || !form->encoding) return false;
    Encoding& encoding = *form->encoding;

    // The fields name the label for the check only: the original expressions go back
    // exactly as they were, and the nodes made for the check go with it.
    CandidateNodes* made = nullptr;
    std::vector<OrbaExpression*>& saved = savedExpressions_;
    saved.clear();
    for (OperandEncoding* field : encoding.operands) {
      saved.push_back(field->expression);
      if (field->expression) field->expression = retargetedCopy(field->expression, from, label, made);
    }
    // The operand checks measure from the section's location now: put it at the jump.
    int32_t* location = !section->writing && section->walker ? &section->walker->offset : &section->locationCounter;
    int32_t savedLocation = *location;
    *location = static_cast<int32_t>(offset);
    bool fits = operandFieldsFit(encoding, validator());
    *location = savedLocation;
    for (size_t index = 0; index < encoding.operands.size(); ++index) encoding.operands[index]->expression = saved[index];
    CandidateNodes::release(made);
    return fits;
  }

 private:
  ExpressionValidator& validator() {
    if (!validator_) validator_.reset(orbaFactory()->createExpressionValidator());
    return *validator_;
  }

  // Made on first use and kept: the layout passes have validators of their own.
  std::unique_ptr<ExpressionValidator> validator_;
  std::vector<OrbaExpression*> savedExpressions_;
};

}  // namespace

OrbaExpression* retargetedCopy(OrbaExpression* expression, Symbol* from, Symbol* to, CandidateNodes*& made) {
  if (!expression) return nullptr;
  switch (expression->getKind()) {
    case EK_symbol:
      return expression->getSymbol() == from ? kept(made, TESymbol::create(to)) : expression;
    case EK_unary: {
      auto* unary = static_cast<TEUnary*>(expression);
      OrbaExpression* operand = retargetedCopy(unary->operand(), from, to, made);
      if (operand == unary->operand()) return expression;
      return kept(made, new TEUnary(unary->getOperator(), operand));
    }
    case EK_binary: {
      OrbaExpression* left = expression->getArgument(0);
      OrbaExpression* right = expression->getArgument(1);
      OrbaExpression* newLeft = retargetedCopy(left, from, to, made);
      OrbaExpression* newRight = retargetedCopy(right, from, to, made);
      if (newLeft == left && newRight == right) return expression;
      // Not folded: the operands keep naming the label, whose value layout still moves.
      return kept(made, new TEBinary(expression->getOperator(), newLeft, newRight));
    }
    case EK_function:
    case EK_tricoreFunction: {
      auto* call = static_cast<TEFunction*>(expression);
      TEFunction::Arguments arguments = call->arguments();
      bool changed = false;
      for (OrbaExpression*& argument : arguments) {
        OrbaExpression* copy = retargetedCopy(argument, from, to, made);
        changed |= copy != argument;
        argument = copy;
      }
      if (!changed) return expression;
      if (expression->getKind() == EK_tricoreFunction)
        return kept(made, TETricoreFunction::create(call->code(), arguments.data(), arguments.size()));
      return kept(made, TEFunction::create(call->code(), arguments));
    }
    default:
      // Values, and wrappers the encoder never puts around a jump target.
      return expression;
  }
}

void installJumpTargets() {
  installJumpInstructions(&runPart<TriCoreJumps>());
}

}  // namespace isa
