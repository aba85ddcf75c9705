// Attribute sets: how spec lists become attribute lists and queued conditions, how the
// lists are read from the end, printed and copied, and how the conditions are checked.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/OrbaOptions.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/nodes_fixture.h"
#include "isa/CandidateNodes.h"
#include "isa/IPAttribute.h"

namespace {

using Kind = AttributeSpecItem::ValueKind;
constexpr AttributeSpecItem kEnd = {ATTR_end, Kind::kNone, 0, nullptr};

// Condition builders handed to "when" and "warning" items: they see the operand array.
OrbaExpression* firstOperandIsNonZero(LineInfo*, OrbaExpression** operands, CandidateNodes*&) {
  return TEInteger::create(operands[0]->getInteger() != 0 ? 1 : 0);
}
OrbaExpression* alwaysFalse(LineInfo*, OrbaExpression**, CandidateNodes*&) { return TEInteger::create(0); }

// A condition that stays open until layout: it folds to itself and is not a value.
class OpenCondition : public OrbaExpression {
 public:
  void print(std::ostream& out, unsigned) const override { out << "open"; }
  OrbaExpression* evaluate() override { return this; }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override { return this; }
};

std::string printed(const IPAttribute& attribute) {
  std::ostringstream out;
  IPAttribute::print(out, attribute);
  return out.str();
}

class AttributeListTest : public ExprNodesTest {
 protected:
  OrbaExpression* operands_[3] = {TEInteger::create(7), TEInteger::create(0), TEInteger::create(-1)};
};

TEST_F(AttributeListTest, SpecListsBecomeListsInTheOrderOfTheirModes) {
  const AttributeSpecItem regD[] = {{ATTR_reg_d, Kind::kConstant, 3, nullptr}, kEnd};
  const AttributeSpecItem opImm[] = {{ATTR_op_imm, Kind::kNone, 0, nullptr}, kEnd};
  const AttributeSpecItem description[] = {{ATTR_pipelineUse, Kind::kConstant, 2, nullptr},
                                           {ATTR_instr_IP, Kind::kNone, 0, nullptr},
                                           kEnd};
  const AttributeSpecItem allBits[] = {{ATTR_opcodeformat, Kind::kConstant, 0xFFFFFFFFu, nullptr}, kEnd};
  const AttributeSpecItem operandRef[] = {{ATTR_is_target, Kind::kOperand, 2, nullptr}, kEnd};
  const AttributeSpecItem text[] = {{ATTR_prefInstr, Kind::kString, 0, "fast"}, kEnd};
  const AttributeSpecItem unnamed[] = {{ATTR_amode, Kind::kNone, 0, nullptr},
                                       {ATTR_category, Kind::kNone, 0, "x"},
                                       {ATTR_cpu, Kind::kNone, 0, nullptr},
                                       kEnd};
  const AttributeSpecItem onlyEnd[] = {kEnd};
  const AttributeSpecItem defaults[] = {{ATTR_default, Kind::kConstant, 1, nullptr},
                                        {ATTR_default, Kind::kOperand, 0, nullptr},
                                        kEnd};
  const AttributeSpecItem jump[] = {{ATTR_jump, Kind::kConstant, 5, nullptr}, kEnd};
  const AttributeSpecItem conditionalJump[] = {{ATTR_jumpConditional, Kind::kNone, 0, nullptr}, kEnd};

  struct Step {
    const AttributeSpecItem* spec;
    uint32_t mode;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* expected;
    bool lastAnswer;
    bool isDefault;
  };
  const Case cases[] = {
      {"operand list then description list: the later prints first",
       {{regD, 2}, {description, 1}},
       "IPAttribute([pipelineUse(2), instr_IP], [reg_d(3)])", false, false},
      {"mode 0 appends to the list that mode 2 opened",
       {{regD, 2}, {opImm, 0}},
       "IPAttribute([reg_d(3), op_imm])", false, false},
      {"a null spec still opens its list", {{nullptr, 2}, {regD, 1}}, "IPAttribute([reg_d(3)], [])", false, false},
      {"a list of only the terminator is one empty list", {{onlyEnd, 1}}, "IPAttribute([])", false, false},
      {"no list at all", {}, "IPAttribute()", false, false},
      {"constants are unsigned 32-bit", {{allBits, 1}}, "IPAttribute([opcodeformat(0xFFFFFFFF)])", false, false},
      {"an operand item takes the operand's expression", {{operandRef, 2}}, "IPAttribute([is_target(0xFFFFFFFFFFFFFFFF)])", false,
       false},
      {"a string item takes its text", {{text, 1}}, "IPAttribute([prefInstr(\"fast\")])", false, false},
      {"ids 10 to 13 without value show their kind marker",
       {{unnamed, 1}},
       "IPAttribute([amode(_none), category(**UNKNOWN KIND**), cpu])", false, false},
      {"default of any kind only sets the flag", {{defaults, 1}}, "IPAttribute([])", false, true},
      {"jump answers true and is stored with its value", {{jump, 2}}, "IPAttribute([jump(5)])", true, false},
      {"jumpConditional answers true", {{conditionalJump, 1}}, "IPAttribute([jumpConditional])", true, false},
  };
  for (const Case& c : cases) {
    IPAttribute attribute;
    bool answer = false;
    for (const Step& step : c.steps) answer = attribute.addNewAttributeList(step.spec, step.mode, line(1), operands_);
    EXPECT_EQ(printed(attribute), c.expected) << c.name;
    EXPECT_EQ(answer, c.lastAnswer) << c.name;
    EXPECT_EQ(attribute.isDefault, c.isDefault ? 1 : 0) << c.name;
    EXPECT_TRUE(attribute.whens.empty() && attribute.warnings.empty()) << c.name;
  }
}

TEST_F(AttributeListTest, ConditionItemsQueueTheBuildersResultAndStoreNoEntry) {
  const AttributeSpecItem spec[] = {
      {ATTR_when, Kind::kOperand, 0, "kernel instructions are not allowed", firstOperandIsNonZero},
      {ATTR_warning, Kind::kOperand, 0, "Instruction 'enable' is used", alwaysFalse},
      {ATTR_when, Kind::kConstant, 1, nullptr},  // an ordinary entry: only kind 11 is a condition
      kEnd};
  IPAttribute attribute;
  attribute.addNewAttributeList(spec, IPAttribute::kDescriptionList, line(3), operands_);

  EXPECT_EQ(printed(attribute), "IPAttribute([when(1)])");
  ASSERT_EQ(attribute.whens.size(), 1u);
  EXPECT_EQ(attribute.whens[0]->condition, TEInteger::create(1)) << "the builder saw operand 0";
  EXPECT_STREQ(attribute.whens[0]->message, "kernel instructions are not allowed");
  ASSERT_EQ(attribute.warnings.size(), 1u);
  EXPECT_EQ(attribute.warnings[0]->condition, TEInteger::create(0));
  EXPECT_STREQ(attribute.warnings[0]->message, "Instruction 'enable' is used");
}

// More lists than the set holds in place: growing must keep every list whole and in order.
TEST_F(AttributeListTest, AppendingAfterManyListsReachesTheLastList) {
  const AttributeSpecItem opImm[] = {{ATTR_op_imm, Kind::kNone, 0, nullptr}, kEnd};
  const AttributeSpecItem regA[] = {{ATTR_reg_a, Kind::kConstant, 10, nullptr}, kEnd};
  IPAttribute attribute;
  for (int i = 0; i < 40; ++i) attribute.addNewAttributeList(opImm, IPAttribute::kOperandList, line(1), operands_);
  attribute.addNewAttributeList(regA, IPAttribute::kAppendToCurrent, line(1), operands_);

  ASSERT_EQ(attribute.listCount(), 40u);
  for (size_t i = 0; i < attribute.listCount(); ++i) {
    std::span<IPAttr* const> entries = attribute.list(i);
    ASSERT_EQ(entries.size(), i + 1 == attribute.listCount() ? 2u : 1u) << i;
    EXPECT_EQ(entries[0]->id, ATTR_op_imm) << i;
  }
  ASSERT_NE(attribute.lookupFromEnd(0, 1), nullptr);
  EXPECT_EQ(attribute.lookupFromEnd(0, 1)->id, ATTR_reg_a);
  EXPECT_EQ(attribute.lookupFromEnd(1, 1), nullptr);
  EXPECT_TRUE(attribute.hasAttribute(ATTR_op_imm, 39));
  EXPECT_FALSE(attribute.hasAttribute(ATTR_reg_a, 1));
}

TEST_F(AttributeListTest, ListsAreReadCountingFromTheEnd) {
  const AttributeSpecItem first[] = {{ATTR_op_circ, Kind::kNone, 0, nullptr}, kEnd};
  const AttributeSpecItem second[] = {{ATTR_reg_d, Kind::kConstant, 4, nullptr}, kEnd};
  const AttributeSpecItem description[] = {{ATTR_opcodeformat, Kind::kConstant, 2, nullptr},
                                           {ATTR_instr_LS, Kind::kNone, 0, nullptr},
                                           kEnd};
  IPAttribute attribute;
  attribute.addNewAttributeList(first, IPAttribute::kOperandList, line(1), operands_);
  attribute.addNewAttributeList(second, IPAttribute::kOperandList, line(1), operands_);
  attribute.addNewAttributeList(description, IPAttribute::kDescriptionList, line(1), operands_);

  struct Lookup {
    size_t list, entry;
    uint32_t expected;  // ATTR_end: no entry
  };
  const Lookup lookups[] = {{0, 0, ATTR_opcodeformat}, {0, 1, ATTR_instr_LS}, {0, 2, ATTR_end},
                            {1, 0, ATTR_reg_d},        {2, 0, ATTR_op_circ}, {3, 0, ATTR_end}};
  for (const Lookup& l : lookups) {
    const IPAttr* found = attribute.lookupFromEnd(l.list, l.entry);
    EXPECT_EQ(found != nullptr ? found->id : ATTR_end, l.expected) << l.list << "," << l.entry;
  }

  struct Search {
    uint32_t id;
    size_t skip;
    bool expected;
  };
  const Search searches[] = {{ATTR_instr_LS, 0, true}, {ATTR_instr_LS, 1, false}, {ATTR_reg_d, 1, true},
                             {ATTR_op_circ, 2, true},  {ATTR_op_circ, 3, false},  {ATTR_NOP, 0, false}};
  for (const Search& s : searches)
    EXPECT_EQ(attribute.hasAttribute(s.id, s.skip), s.expected) << attributeName(s.id) << " skip " << s.skip;
}

TEST_F(AttributeListTest, CopyHasItsOwnEntriesAndListReferences) {
  const AttributeSpecItem regD[] = {{ATTR_reg_d, Kind::kConstant, 1, nullptr}, kEnd};
  const AttributeSpecItem when[] = {{ATTR_when, Kind::kOperand, 0, "m", alwaysFalse}, kEnd};
  const AttributeSpecItem opImm[] = {{ATTR_op_imm, Kind::kNone, 0, nullptr}, kEnd};
  IPAttribute original;
  original.addNewAttributeList(regD, IPAttribute::kOperandList, line(1), operands_);
  original.addNewAttributeList(when, IPAttribute::kDescriptionList, line(1), operands_);
  original.isDefault = 1;

  IPAttribute* copy = original.copy();
  EXPECT_EQ(printed(*copy), printed(original));
  ASSERT_EQ(copy->whens.size(), original.whens.size());
  EXPECT_NE(copy->whens[0], original.whens[0]) << "each set owns its condition records";
  EXPECT_EQ(copy->whens[0]->condition, original.whens[0]->condition) << "conditions are shared";
  EXPECT_EQ(copy->whens[0]->message, original.whens[0]->message);
  EXPECT_EQ(copy->isDefault, 1);
  EXPECT_NE(copy->lookupFromEnd(1, 0), original.lookupFromEnd(1, 0)) << "entries are new records";
  EXPECT_EQ(copy->lookupFromEnd(1, 0)->value, original.lookupFromEnd(1, 0)->value);

  copy->addNewAttributeList(opImm, IPAttribute::kAppendToCurrent, line(1), operands_);
  EXPECT_EQ(printed(*copy), "IPAttribute([op_imm], [reg_d(1)])");
  EXPECT_EQ(printed(original), "IPAttribute([], [reg_d(1)])");

  copy->clear();
  EXPECT_EQ(printed(*copy), "IPAttribute()");
  EXPECT_TRUE(copy->whens.empty() && copy->listCount() == 0);
  delete copy;
  EXPECT_EQ(printed(original), "IPAttribute([], [reg_d(1)])");
}

// Start-up builds the constant entries of the tables' lists once; the registry is put back
// as start-up made it when the test ends.
class PrebuiltListsTest : public AttributeListTest {
 protected:
  void TearDown() override { isa::prebuildAttributeLists(isa::attributeSpecLists(), isa::attributeSpecListCount()); }
};

TEST_F(PrebuiltListsTest, ConstantListsAreMadeOnceAndSharedWhileOperandValuesAreEachSetsOwn) {
  const AttributeSpecItem constant[] = {{ATTR_reg_d, Kind::kConstant, 3, nullptr},
                                        {ATTR_when, Kind::kOperand, 0, "m", alwaysFalse},
                                        {ATTR_default, Kind::kNone, 0, nullptr},
                                        {ATTR_prefInstr, Kind::kString, 0, "fast"},
                                        kEnd};
  const AttributeSpecItem withOperand[] = {{ATTR_op_imm, Kind::kNone, 0, nullptr},
                                           {ATTR_is_target, Kind::kOperand, 2, nullptr},
                                           kEnd};
  const AttributeSpecItem* lists[] = {constant, withOperand, constant};
  isa::prebuildAttributeLists(lists, 3);
  EXPECT_EQ(isa::prebuiltAttributeListCount(), 1u) << "a list with an operand's value is made per set";

  IPAttribute first, second;
  for (IPAttribute* attribute : {&first, &second}) {
    attribute->addNewAttributeList(withOperand, IPAttribute::kOperandList, line(1), operands_);
    attribute->addNewAttributeList(constant, IPAttribute::kDescriptionList, line(1), operands_);
  }
  const char* expected = "IPAttribute([reg_d(3), prefInstr(\"fast\")], [op_imm, is_target(0xFFFFFFFFFFFFFFFF)])";
  EXPECT_EQ(printed(first), expected);
  EXPECT_EQ(first.isDefault, 1);
  ASSERT_EQ(first.whens.size(), 1u);
  EXPECT_NE(first.whens[0], second.whens[0]) << "conditions are made for each set";
  for (size_t entry : {0u, 1u}) {
    EXPECT_EQ(first.lookupFromEnd(0, entry), second.lookupFromEnd(0, entry)) << entry << ": made once, shared";
    EXPECT_TRUE(first.lookupFromEnd(0, entry)->shared);
  }
  EXPECT_NE(first.lookupFromEnd(1, 1), second.lookupFromEnd(1, 1)) << "each set's own operand entry";
  EXPECT_EQ(first.lookupFromEnd(1, 1)->value, operands_[2]);

  IPAttribute* copy = first.copy();
  EXPECT_EQ(copy->lookupFromEnd(0, 0), first.lookupFromEnd(0, 0)) << "a copy shares the shared entries";
  EXPECT_NE(copy->lookupFromEnd(1, 1), first.lookupFromEnd(1, 1)) << "and copies the set's own";
  first.clear();
  delete copy;
  EXPECT_EQ(printed(second), expected) << "clearing sets leaves the shared entries whole";
}

TEST(AttributeNames, VocabularyRunsInIdOrder) {
  struct Case {
    uint32_t id;
    const char* name;
  };
  const Case cases[] = {
      {0, "_none"},          {1, "when"},         {8, "warning"},       {9, "default"},
      {13, "unit"},          {14, "**UNKNOWN ATTRIBUTE**"},           {100, "**UNKNOWN ATTRIBUTE**"},
      {101, "NOP"},          {104, "cycle_inf"},  {105, "cycle_info"},  {106, "cylce_info"},
      {120, "instr_add"},    {288, "instr_ld16a"}, {292, "instr_lda"},  {524, "instr_xort"},
      {525, "is_conditional_jump"},               {544, "opcodeformat"}, {545, "pipelineUse"},
      {551, "reg_qd"},       {552, "**UNKNOWN ATTRIBUTE**"},          {0xFFFFFFFFu, "**UNKNOWN ATTRIBUTE**"},
  };
  for (const Case& c : cases) EXPECT_STREQ(attributeName(c.id), c.name) << c.id;

  // Ids 101 upward are in byte order of their names, upper case first.
  for (uint32_t id = 102; id <= 551; ++id)
    EXPECT_LT(std::string(attributeName(id - 1)), std::string(attributeName(id))) << id;
}

TEST_F(AttributeListTest, WhenCasesStopAtTheFirstThatDoesNotHold) {
  OrbaExpression* open = new OpenCondition();
  OrbaExpression* error = TEError::kind5();
  OrbaExpression* one = TEInteger::create(1);
  OrbaExpression* zero = TEInteger::create(0);
  OrbaExpression* emptyText = TEString::create("", 0);
  OrbaExpression* text = TEString::create("x", 1);
  OrbaExpression* zeroPointZero = TEDouble::create(0.0);

  struct Condition {
    OrbaExpression* condition;
    const char* message;
  };
  struct Case {
    const char* name;
    std::vector<Condition> conditions;
    bool errorStops;
    bool expected;
    const char* expectedMessage;
  };
  const Case cases[] = {
      {"no conditions hold trivially", {}, false, true, nullptr},
      {"true constants hold", {{one, "a"}, {text, "b"}}, false, true, nullptr},
      {"integer 0 fails with its message", {{one, "a"}, {zero, "b"}, {zero, "c"}}, false, false, "b"},
      {"a message-less failure gives null", {{zero, nullptr}, {zero, "c"}}, false, false, nullptr},
      {"the empty string fails", {{emptyText, "e"}}, false, false, "e"},
      {"0.0 fails", {{zeroPointZero, "d"}}, false, false, "d"},
      {"an open condition is not certainly true", {{one, "a"}, {open, "s"}}, false, false, "s"},
      {"an error holds while building", {{error, "x"}, {zero, "z"}}, false, false, "z"},
      {"an error fails without message in layout", {{error, "x"}, {zero, "z"}}, true, false, nullptr},
  };
  for (const Case& c : cases) {
    IPAttribute attribute;
    for (const Condition& condition : c.conditions)
      attribute.whens.push_back(new IPWhen(condition.condition, condition.message));
    const char* message = "untouched";
    EXPECT_EQ(attribute.findFirstUnsatisfiedCase(&message, c.errorStops), c.expected) << c.name;
    if (!c.expected) {
      if (c.expectedMessage == nullptr)
        EXPECT_EQ(message, nullptr) << c.name;
      else
        EXPECT_STREQ(message, c.expectedMessage) << c.name;
    }
  }
}

TEST_F(AttributeListTest, WarningsThatHoldAreReportedAsW230AtTheLine) {
  IPAttribute attribute;
  attribute.warnings = {new IPWarning(TEInteger::create(1), "holds"),
                        new IPWarning(TEInteger::create(0), "does not hold"),
                        new IPWarning(TEError::kind5(), "error is skipped"),
                        new IPWarning(new OpenCondition(), "not constant"),
                        new IPWarning(TEInteger::create(1), nullptr)};
  LineInfo* at = line(12);
  attribute.issueConditionalWarnings(at);

  std::vector<std::string> texts;
  for (ErrorHandler::ErrorIter it(*runState().errorHandler); !it.isDone(); it.next()) {
    EXPECT_EQ(it.current()->position, at);
    texts.push_back(it.current()->text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"W230: holds", "W230: not constant"}));
}

using AttributeListDeathTest = AttributeListTest;

// An internal error reads the options before it ends the program; made in the child only.
void useDefaultOptions() {
  static char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().orbaOptions = new OrbaOptions(1, argv);
}

TEST_F(AttributeListDeathTest, UnknownListModeIsAnInternalError) {
  IPAttribute attribute;
  EXPECT_EXIT((useDefaultOptions(), attribute.addNewAttributeList(nullptr, 3, line(1), operands_)), testing::ExitedWithCode(2),
              "S901: assertion failed at \"IPAttribute\", line 135: unknown argument to "
              "IPAttribute::addNewAttributeList\\(\\)");
}

TEST_F(AttributeListDeathTest, AppendingWithoutAnOpenListIsAnInternalError) {
  const AttributeSpecItem opImm[] = {{ATTR_op_imm, Kind::kNone, 0, nullptr}, kEnd};
  IPAttribute attribute;
  EXPECT_EXIT((useDefaultOptions(),
               attribute.addNewAttributeList(opImm, IPAttribute::kAppendToCurrent, line(1), operands_)),
              testing::ExitedWithCode(2), "S901: .*without an open list");
}

}  // namespace
