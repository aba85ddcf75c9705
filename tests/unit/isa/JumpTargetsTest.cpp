// The jump chains' view of instruction nodes: which statements jump where, and operands
// sent to another label on copies, so that shared nodes and symbol values stay as written.
#include <memory>
#include <string>
#include <vector>

#include "expr/TEBinary.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "expr/functions.h"
#include "flow/JumpChains.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/CandidateNodes.h"
#include "isa/FInstruction.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/JumpTargets.h"
#include "parser/ParseFixture.h"
#include "util/StringBuffer.h"

namespace {

class JumpTargetsTest : public ParseTest {
 protected:
  JumpTargetsTest() { isa::installJumpTargets(); }
  ~JumpTargetsTest() override { installJumpInstructions(nullptr); }

  Symbol* symbolNamed(const char* name) {
    Symbol* made = Symbol::create(runState().stringBuffer->intern(name), 0);
    runState().symbolTable->current->symbols.add(made);
    return made;
  }

  // The first node of the section of the statement's line that is an instruction node,
  // looking into a generic's hardware group.
  FInstruction* instructionOf(size_t lineIndex) {
    for (FlowNode* node = lines[lineIndex]->section->firstNode(); node; node = node->nextNode()) {
      if (node->line != lines[lineIndex]) continue;
      if (node->kind == FlowNode::kInstruction) return static_cast<FInstruction*>(node);
    }
    return nullptr;
  }

  static std::vector<std::string> operandTexts(const FInstruction& node) {
    std::vector<std::string> texts;
    for (const IPInstruction* form : node.candidates)
      for (const OperandEncoding* field : form->encoding->operands)
        if (field->expression) texts.push_back(exprToString(field->expression));
    return texts;
  }
};

TEST_F(JumpTargetsTest, RetargetedCopyRenamesOnlyThePathToTheTarget) {
  Symbol* a = symbolNamed("A");
  Symbol* b = symbolNamed("B");
  Symbol* equate = symbolNamed("E");
  equate->valueExpression = new TESymbol(a);  // E names A through its value
  OrbaExpression* shared = new TESymbol(a);
  OrbaExpression* four = TEInteger::create(4);
  OrbaExpression* pcrelArguments[] = {shared, four};
  struct Case {
    const char* name;
    OrbaExpression* expression;
    std::string copied;  // empty: the expression itself comes back
  } cases[] = {
      {"reference", shared, "B"},
      {"sum", new TEBinary(OP_add, shared, four), "(B + 4)"},
      {"check", TEFunction::create(FN_PCREL, pcrelArguments, 2), "@PCREL(B, 4)"},
      {"other symbol's value is not looked into", new TESymbol(equate), ""},
      {"no reference", new TEBinary(OP_add, four, four), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string before = exprToString(c.expression);
    CandidateNodes* made = nullptr;
    OrbaExpression* copy = isa::retargetedCopy(c.expression, a, b, made);
    if (c.copied.empty()) {
      EXPECT_EQ(copy, c.expression);
      EXPECT_EQ(made, nullptr);
    } else {
      EXPECT_NE(copy, c.expression);
      EXPECT_EQ(exprToString(copy), c.copied);
      EXPECT_NE(made, nullptr) << "new nodes go with the candidate";
    }
    EXPECT_EQ(exprToString(c.expression), before) << "the original is not touched";
    EXPECT_EQ(shared->getSymbol(), a);
    EXPECT_EQ(equate->valueExpression->getSymbol(), a);
    CandidateNodes::release(made);
  }
}

// A form whose attribute set has, for each entry, a list with that attribute on operand 0.
IPInstruction* formWith(const std::vector<uint32_t>& attributeIds, OrbaExpression* operand, LineInfo* line) {
  auto* form = new IPInstruction();
  form->encoding = new Encoding(32, nullptr);
  form->attributes = new IPAttribute();
  OrbaExpression* operands[] = {operand};
  for (uint32_t id : attributeIds) {
    // The item lists outlive the set, which keeps pointers into them.
    static std::vector<std::unique_ptr<AttributeSpecItem[]>> specs;
    specs.emplace_back(new AttributeSpecItem[2]{{id, AttributeSpecItem::kOperand, 0, nullptr},
                                                {ATTR_end, AttributeSpecItem::kNone, 0, nullptr}});
    form->attributes->addNewAttributeList(specs.back().get(), IPAttribute::kDescriptionList, line, operands);
  }
  return form;
}

TEST_F(JumpTargetsTest, JumpAttributeNamesTheTargetOfTheForm) {
  Symbol* label = symbolNamed("lab");
  Symbol* external = symbolNamed("ext");
  external->flags[2] |= Symbol::kAutoExternal;
  OrbaExpression* pcrelArguments[] = {new TESymbol(label), TEInteger::create(0)};
  OrbaExpression* nested[] = {TEFunction::create(FN_PCREL, pcrelArguments, 2), TEInteger::create(-256),
                              TEInteger::create(254)};
  LineInfo at;
  struct Case {
    const char* name;
    std::vector<std::pair<std::vector<uint32_t>, OrbaExpression*>> forms;
    bool jumps;
    bool conditional;
    Symbol* target;
  } cases[] = {
      {"plain reference", {{{ATTR_jump}, new TESymbol(label)}}, true, false, label},
      {"conditional through checks", {{{ATTR_jumpConditional}, TEFunction::create(FN_RANGE, nested, 3)}},
       true, true, label},
      {"conditional wins in any list", {{{ATTR_jumpConditional, ATTR_jump}, new TESymbol(label)}}, true, true,
       label},
      {"no jump attribute", {{{ATTR_is_jump}, new TESymbol(label)}}, false, false, nullptr},
      {"operand is no symbol", {{{ATTR_jump}, TEInteger::create(8)}}, false, false, nullptr},
      {"symbol made external", {{{ATTR_jump}, new TESymbol(external)}}, false, false, nullptr},
      {"a later form jumps",
       {{{ATTR_is_jump}, new TESymbol(label)}, {{ATTR_jumpConditional}, new TESymbol(label)}},
       true, true, label},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<IPInstruction*> forms;
    for (const auto& [ids, operand] : c.forms) forms.push_back(formWith(ids, operand, &at));
    FInstruction node(&at, forms);
    bool conditional = false;
    Symbol* target = nullptr;
    EXPECT_EQ(jumpTargetOf(&node, conditional, target), c.jumps);
    EXPECT_EQ(conditional, c.conditional);
    EXPECT_EQ(target, c.target);
  }
}

TEST_F(JumpTargetsTest, RetargetingChangesEveryFormButNotTheStatementsOperand) {
  parse({" .SDECL \".text\",CODE", " .SECT \".text\"", " j one", "one:", "two:"});
  FInstruction* node = instructionOf(2);
  ASSERT_NE(node, nullptr);
  auto& symbols = runState().symbolTable->current->symbols;
  Symbol* one = symbols.find(runState().stringBuffer->intern("one"));
  Symbol* two = symbols.find(runState().stringBuffer->intern("two"));

  std::vector<OrbaExpression*> originals;
  for (const IPInstruction* form : node->candidates)
    for (const OperandEncoding* field : form->encoding->operands) originals.push_back(field->expression);
  std::vector<std::string> before = operandTexts(*node);
  ASSERT_FALSE(before.empty());
  jumpInstructions()->retargetOperands(node, one, two);
  std::vector<std::string> after = operandTexts(*node);
  ASSERT_EQ(after.size(), before.size());
  for (size_t index = 0; index < after.size(); ++index) {
    EXPECT_EQ(after[index].find("one"), std::string::npos) << after[index];
    EXPECT_NE(after[index].find("two"), std::string::npos) << after[index];
  }
  // The trees the forms held before, which they share with the statement's operands, are
  // as they were.
  std::vector<std::string> originalTexts;
  for (OrbaExpression* expression : originals) originalTexts.push_back(exprToString(expression));
  EXPECT_EQ(originalTexts, before);
  // And back: the forms read as they did.
  jumpInstructions()->retargetOperands(node, two, one);
  EXPECT_EQ(operandTexts(*node), before);
}

TEST_F(JumpTargetsTest, SelectedFormReachesNearLabelsOnly) {
  parse({" .SDECL \".text\",CODE", " .SECT \".text\"", " j far", "far:", "near:"});
  FInstruction* node = instructionOf(2);
  ASSERT_NE(node, nullptr);
  Section* text = lines[2]->section;
  auto& symbols = runState().symbolTable->current->symbols;
  Symbol* far = symbols.find(runState().stringBuffer->intern("far"));
  Symbol* near = symbols.find(runState().stringBuffer->intern("near"));
  ASSERT_NE(text->baseExpression(), nullptr);
  // As layout leaves them: the section base plus the label's offset.
  far->valueExpression = new TEBinary(OP_add, text->baseExpression(), TEInteger::create(1000));
  near->valueExpression = new TEBinary(OP_add, text->baseExpression(), TEInteger::create(1100));
  std::vector<std::string> before = operandTexts(*node);

  struct Case {
    int8_t form;  // 0: the 16-bit form, 1: the 32-bit one
    int64_t offset;
    Symbol* label;
    bool reaches;
  } cases[] = {
      {0, 0, near, false}, {0, 900, near, true}, {0, 1000, far, true}, {1, 0, near, true}, {-1, 900, near, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.form) + " at " + std::to_string(c.offset) + " to " + c.label->name);
    node->selected = c.form;
    EXPECT_EQ(jumpInstructions()->reaches(node, text, c.offset, far, c.label), c.reaches);
    EXPECT_EQ(operandTexts(*node), before) << "the check leaves the forms as they were";
  }
}

}  // namespace
