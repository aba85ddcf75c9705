// The CPU functional-defect checks over laid-out code: short sources are assembled through
// the instruction tables into flow nodes (the first, smallest form taken where layout would
// choose), scanned with one defect switch on, and the warnings compared by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/DefectChecks.h"
#include "isa/ExpressionOperandParser.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionMatcher.h"
#include "isa/OperandEvaluation.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

// A section of code written in a small notation, one entry per line:
//   "name:"        a label;  "name:debug" a label that only debug information refers to
//   "?statement"   an instruction for which layout chose no form
//   "*generic"     a generic instruction for which layout chose no expansion
//   "+statement"   a generic instruction whose chosen expansion is that instruction
//   anything else  an instruction; of several forms the first (smallest) is chosen
class CodeFlow {
 public:
  explicit CodeFlow(const char* controls) {
    std::string list = controls ? controls : "";
    for (size_t start = 0; start < list.size();) {
      size_t comma = list.find(',', start);
      std::string control = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      int32_t index = defectSwitchOfControl(control.c_str());
      EXPECT_GE(index, 0) << control;
      if (index >= 0) state_.defectSwitch[index] = 1;
      start = comma == std::string::npos ? list.size() : comma + 1;
    }
  }
  ~CodeFlow() {
    for (IPInstruction* candidate : context_.candidates) delete candidate;
  }

  void add(const std::string& entry) {
    LineInfo* line = newLine();
    if (!entry.empty() && entry.back() == ':') return label(line, entry.substr(0, entry.size() - 1), false);
    if (entry.size() > 6 && entry.compare(entry.size() - 6, 6, ":debug") == 0)
      return label(line, entry.substr(0, entry.size() - 6), true);
    if (entry[0] == '*') return section.addNode(new FGeneric(line), true);
    if (entry[0] == '+') {
      auto* generic = new FGeneric(line);
      generic->addRewrite(instruction(entry.substr(1), line, true));
      generic->selected = 0;
      return section.addNode(generic, true);
    }
    if (entry[0] == '?') return section.addNode(instruction(entry.substr(1), line, false), true);
    section.addNode(instruction(entry, line, true), true);
  }

  // The warnings W8nn reported, as "line Wnnn", in line order.
  std::vector<std::string> defectWarnings() const {
    std::vector<std::string> found;
    ErrorHandler::ErrorIter records(*errorHandler());
    for (records.first(); !records.isDone(); records.next()) {
      const ErrorLine* record = records.current();
      if (std::strncmp(record->text, "W8", 2) != 0) continue;
      for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].get() == record->position) found.push_back(std::to_string(i + 1) + " " + std::string(record->text, 4));
    }
    std::sort(found.begin(), found.end());
    return found;
  }

 private:
  LineInfo* newLine() {
    LineInfo& line = *lines_.emplace_back(new LineInfo());
    line.lineNumber = static_cast<uint32_t>(lines_.size());
    line.controlState = &state_;
    line.section = &section;
    return &line;
  }

  void label(LineInfo* line, const std::string& name, bool debugOnly) {
    Symbol* symbol = symbolTable()->referenceSymbol(stringBuffer()->intern(name.c_str()), line);
    if (debugOnly)
      symbol->flags[2] = static_cast<uint8_t>((symbol->flags[2] & ~Symbol::kProgramReferenced) | Symbol::kDebugReferenced);
    section.addNode(new FLabel(line, symbol), true);
  }

  FlowNode* instruction(const std::string& statement, LineInfo* line, bool choose) {
    std::vector<IPInstruction*> room = std::move(context_.candidates);
    context_ = isa::BuildContext{};
    context_.candidates = std::move(room);
    isa::MatchContext match;
    context_.matcher = &matcher_;
    context_.match = &match;
    builder_.setStatement(line, ";");
    isa::MatchOptions options;
    options.commentPrefix = ";";
    options.genericsAllowed = false;
    matcher_.matchStatement(statement.c_str(), line, options, match);
    std::vector<IPInstruction*> candidates = std::move(context_.candidates);
    context_.candidates.clear();
    EXPECT_FALSE(candidates.empty()) << "no form for " << statement;
    if (candidates.size() == 1 && candidates[0]->encoding && candidates[0]->encoding->operands.empty() && choose) {
      auto* simple = new FSimple(line, *candidates[0]);
      delete candidates[0];
      return simple;
    }
    auto* node = new FInstruction(line, std::move(candidates));
    node->selected = choose && !node->candidates.empty() ? 0 : -1;
    return node;
  }

  std::deque<std::unique_ptr<LineInfo>> lines_;  // from the line arena, which links need
  TriCoreControlState state_;
  isa::ExpressionOperandParser parser_;
  isa::BuildContext context_;
  isa::InstructionBuilder builder_{context_, nullptr, nullptr};
  isa::InstructionMatcher matcher_{parser_, builder_};

 public:
  Section section{"code"};  // last: its nodes go before the matcher that made them
};

struct Case {
  const char* behaviour;
  const char* controls;  // the $CPU_TC controls switched on, comma-separated
  std::vector<std::string> source;
  std::vector<std::string> expected;  // "line Wnnn", sorted
  bool userMode1 = false;
};

class DefectChecks : public testing::Test {
 protected:
  void SetUp() override { isa::initMatchModule(); }

  void run(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.behaviour);
      ScopedManagers managers(ScopedManagers::kAll);
      orbaOptions()->userMode1 = c.userMode1;
      CodeFlow flow(c.controls);
      for (const std::string& entry : c.source) flow.add(entry);
      isa::scanSectionForDefects(flow.section);
      std::vector<std::string> expected = c.expected;
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(flow.defectWarnings(), expected);
    }
  }
};

TEST_F(DefectChecks, NeighboursOfContextAndSystemInstructions) {
  run({
      {"ld16.a right before ldlcx", "$CPU_TC013", {"ld16.a a2,[a3]", "ldlcx 0"}, {"2 W800"}},
      {"a NOP between keeps ldlcx apart", "$CPU_TC013", {"ld16.a a2,[a3]", "nop", "ldlcx 0"}, {}},
      {"st16.a two back from stlcx", "$CPU_TC013", {"st.a [a3],a2", "add d0,d1,d2", "stlcx 0"}, {"3 W800"}},
      {"three back is far enough", "$CPU_TC013", {"ld16.a a2,[a3]", "add d0,d1,d2", "add d3,d4,d5", "ldlcx 0"}, {}},
      {"a 32-bit address load is harmless", "$CPU_TC013", {"ld.a a2,[a3]4", "ldlcx 0"}, {}},
      {"an unchosen form is no NOP", "$CPU_TC013", {"ld16.a a2,[a3]", "?nop", "ldlcx 0"}, {"3 W800"}},
      {"the switch off checks nothing", nullptr, {"ld16.a a2,[a3]", "ldlcx 0", "rslcx"}, {}},
      {"rslcx last in the section", "$CPU_TC069", {"nop", "rslcx"}, {"2 W814"}},
      {"rslcx followed by a NOP", "$CPU_TC069", {"rslcx", "nop"}, {}},
      {"rslcx followed by another instruction", "$CPU_TC069", {"rslcx", "add d0,d1,d2"}, {"1 W814"}},
      {"stlcx then a load", "$CPU_TC082", {"stlcx 0", "ld.w d0,[a2]4"}, {"1 W821"}},
      {"stucx then an add", "$CPU_TC082", {"stucx 0", "add d0,d1,d2"}, {}},
      {"disable last in the section", "$CPU_TC083", {"nop", "disable"}, {"2 W822"}},
      {"disable followed by a NOP", "$CPU_TC083", {"disable", "nop"}, {}},
      {"mtcr first in the section", "$CPU_TC105", {"mtcr #0xfe04,d0"}, {"1 W827"}},
      {"mtcr after dsync", "$CPU_TC105", {"dsync", "mtcr #0xfe04,d0"}, {}},
      {"mtcr after a label", "$CPU_TC105", {"dsync", "here:", "mtcr #0xfe04,d0"}, {"3 W827"}},
      {"mtcr after a multiply", "$CPU_TC106", {"mul d0,d1,d2", "mtcr #0xfe04,d0"}, {"2 W828"}},
      {"mtcr after rstv", "$CPU_TC106", {"rstv", "mtcr #0xfe04,d0"}, {"2 W828"}},
      {"mtcr after an add", "$CPU_TC106", {"add d0,d1,d2", "mtcr #0xfe04,d0"}, {}},
      {"every switched-on check reports", "$CPU_TC105,$CPU_TC106", {"mul d0,d1,d2", "mtcr #0xfe04,d0"},
       {"2 W827", "2 W828"}},
  });
}

TEST_F(DefectChecks, JumpsAndLoops) {
  run({
      {"ji through the address register just loaded", "$CPU_TC048", {"ld.a a2,[a3]4", "ji a2"}, {"2 W809"}},
      {"ji through another register", "$CPU_TC048", {"ld.a a2,[a3]4", "ji a4"}, {}},
      {"one integer instruction between", "$CPU_TC048", {"ld.a a2,[a3]4", "add d0,d1,d2", "ji a2"}, {"3 W809"}},
      {"a NOP between", "$CPU_TC048", {"ld.a a2,[a3]4", "nop", "ji a2"}, {}},
      {"a load between is no integer instruction", "$CPU_TC048", {"ld.a a2,[a3]4", "ld.w d0,[a4]4", "ji a2"}, {}},
      {"ji through the second register of a pair", "$CPU_TC048", {"ld.da a2/a3,[a4]0", "ji a3"}, {"2 W809"}},
      {"ji through the base a post-increment moved", "$CPU_TC048", {"ld.a a5,[a2+]4", "ji a2"}, {"2 W809"}},
      {"calli through the base a pre-increment moved", "$CPU_TC048", {"ld.a a5,[+a2]4", "calli a2"},
       {"2 W809"}},
      {"ret before the first label", "$CPU_TC048", {"add d0,d1,d2", "ret"}, {"2 W809"}},
      {"ret first after the label", "$CPU_TC048", {"start:", "ret"}, {"2 W809"}},
      {"ret second after the label, a NOP first", "$CPU_TC048", {"start:", "nop", "ret"}, {}},
      {"ret second after the label", "$CPU_TC048", {"start:", "add d0,d1,d2", "ret"}, {"3 W809"}},
      {"later rets", "$CPU_TC048", {"start:", "add d0,d1,d2", "add d0,d1,d2", "ret"}, {}},
      {"jump right after a label", "$CPU_TC065", {"target:", "j target"}, {"2 W812"}},
      {"jump after an instruction", "$CPU_TC065", {"target:", "nop", "j target"}, {}},
      {"a label only debug information names is not there", "$CPU_TC065",
       {"target:", "nop", "marker:debug", "j target"}, {}},
      {"loop after a data jump", "$CPU_TC070", {"back:", "jeq d0,d1,back", "loop a2,back"}, {"3 W815"}},
      {"loop after an address jump", "$CPU_TC070", {"back:", "jz.a a3,back", "loop a2,back"}, {"3 W815"}},
      {"loop after a NOP after a data jump", "$CPU_TC070", {"back:", "jne d0,d1,back", "nop", "loop a2,back"},
       {"4 W815"}},
      {"loop after a NOP after an address jump", "$CPU_TC070",
       {"back:", "jz.a a3,back", "nop", "loop a2,back"}, {}},
      {"loopu right after a label", "$CPU_TC071", {"back:", "loopu back"}, {"2 W816"}},
      {"loopu after an instruction", "$CPU_TC071", {"back:", "nop", "loopu back"}, {}},
      {"loop right after writing its register", "$CPU_TC072", {"back:", "mov.aa a2,a3", "loop a2,back"},
       {"3 W817"}},
      {"loop right after lea of its register", "$CPU_TC072", {"back:", "lea a2,[a3]4", "loop a2,back"}, {"3 W817"}},
      {"loop after writing another register", "$CPU_TC072", {"back:", "mov.aa a4,a3", "loop a2,back"}, {}},
      {"data jump then a call", "$CPU_TC094", {"back:", "jne d0,d1,back", "calla 0x100"}, {"2 W823"}},
      {"data jump then syscall", "$CPU_TC094", {"back:", "jge d0,d1,back", "syscall #5"}, {"2 W823"}},
      {"address jump then a call", "$CPU_TC094", {"back:", "jz.a a2,back", "calla 0x100"}, {}},
      {"loop over nothing but its label", "$CPU_TC096", {"back:", "loop a2,back"}, {"2 W825"}},
      {"loop over one instruction", "$CPU_TC096", {"back:", "add d0,d1,d2", "loop a2,back"}, {"3 W825"}},
      {"loop over an integer then a load/store instruction", "$CPU_TC096",
       {"back:", "add d0,d1,d2", "ld.w d3,[a4]4", "loop a2,back"}, {"4 W825"}},
      {"loop over a load/store then an integer instruction", "$CPU_TC096",
       {"back:", "ld.w d3,[a4]4", "add d0,d1,d2", "loop a2,back"}, {}},
      {"loop to another label", "$CPU_TC096", {"back:", "there:", "add d0,d1,d2", "loop a2,back"}, {}},
      {"loop over three NOPs", "$CPU_TC096", {"back:", "nop", "nop", "nop", "loop a2,back"}, {}},
      {"loop to the location counter minus a number", "$CPU_TC096,$CPU_TC116", {"nop", "loop a2,*-2"},
       {"2 W831"}},
      {"loop body loads through the loop register", "$CPU_TC116", {"back:", "ld.w d0,[a2]4", "loop a2,back"},
       {"3 W832"}},
      {"loop body loads through another register", "$CPU_TC116", {"back:", "ld.w d0,[a3]4", "loop a2,back"}, {}},
      {"loop body returns, restoring a11", "$CPU_TC116", {"back:", "ret", "loop a11,back"}, {"3 W832"}},
      {"loop body calls, writing a10", "$CPU_TC116", {"back:", "calla 0x100", "loop a10,back"}, {"3 W832"}},
      {"a second load/store instruction ends the walk", "$CPU_TC116",
       {"back:", "ld.w d0,[a3]4", "ld.w d1,[a4]4", "ld.w d2,[a2]4", "loop a2,back"}, {}},
      {"an inner loop's body is walked again", "$CPU_TC116",
       {"outer:", "add d0,d1,d2", "inner:", "loop a4,inner", "ld.w d0,[a2]4", "loop a2,outer"}, {"6 W832"}},
      {"loop whose label follows it", "$CPU_TC116", {"loop a2,ahead", "ahead:", "ld.w d0,[a2]4"}, {"1 W832"}},
      {"loop whose label is missing", "$CPU_TC116", {"ld.w d0,[a2]4", "loop a2,nowhere"}, {}},
  });
}

TEST_F(DefectChecks, AddressRegisterLoads) {
  run({
      {"load through the address just loaded", "$CPU_TC060", {"ld.a a2,[a3]4", "ld.w d0,[a2]4"}, {"1 W811"}},
      {"double load through the address just loaded", "$CPU_TC060", {"ld16.a a2,[a3]", "ld.d e0,[a2]4"},
       {"1 W811"}},
      {"load through another register", "$CPU_TC060", {"ld.a a2,[a3]4", "ld.w d0,[a4]4"}, {}},
      {"one integer instruction between", "$CPU_TC060", {"ld.a a2,[a3]4", "add d0,d1,d2", "ld.w d0,[a2]4"},
       {"1 W811"}},
      {"a multiply between takes longer", "$CPU_TC060", {"ld.a a2,[a3]4", "mul d0,d1,d2", "ld.w d0,[a2]4"}, {}},
      {"load into a10", "$CPU_TC081", {"ld.a a10,[a3]4"}, {"1 W820"}},
      {"load into sp", "$CPU_TC081", {"ld.a sp,[a3]4"}, {"1 W820"}},
      {"load into a11", "$CPU_TC081", {"ld.a a11,[a3]4"}, {}},
      {"pair load from a10", "$CPU_TC081", {"ld.da a10/a11,[a3]0"}, {"1 W820"}},
      {"pair load from a12", "$CPU_TC081", {"ld.da a12/a13,[a3]0"}, {}},
      {"lea into a10 loads nothing", "$CPU_TC081", {"lea a10,[a3]4"}, {}},
  });
}

TEST_F(DefectChecks, CircularAddressing) {
  run({
      {"circular double load first in the section", "$CPU_TC104", {"ld.d e0,[a2/a3+c]0"}, {"1 W826"}},
      {"circular double load after a NOP", "$CPU_TC104", {"nop", "ld.d e0,[a2/a3+c]0"}, {}},
      {"circular word load is not a double load", "$CPU_TC104", {"ld.w d0,[a2/a3+c]0"}, {}},
      {"double load from a base register", "$CPU_TC104", {"ld.d e0,[a2]0"}, {}},
      {"circular load first in the section", "$CPU_TC108", {"ld.w d0,[a2/a3+c]0"}, {"1 W829"}},
      {"circular store after an add", "$CPU_TC108", {"add d0,d1,d2", "st.w [a2/a3+c]0,d0"}, {"2 W829"}},
      {"circular store after a NOP", "$CPU_TC108", {"nop", "st.w [a2/a3+c]0,d0"}, {}},
      {"circular word load after a byte store", "$CPU_TC109", {"st.b [a4]0,d1", "ld.w d0,[a2/a3+c]0"},
       {"2 W830"}},
      {"an integer instruction between", "$CPU_TC109", {"st.b [a4]0,d1", "add d5,d6,d7", "ld.w d0,[a2/a3+c]0"},
       {"3 W830"}},
      {"a NOP between", "$CPU_TC109", {"st.b [a4]0,d1", "nop", "ld.w d0,[a2/a3+c]0"}, {}},
      {"after a halfword store", "$CPU_TC109", {"st.h [a4]0,d1", "ld.w d0,[a2/a3+c]0"}, {}},
  });
}

TEST_F(DefectChecks, DivideAndSaturate) {
  run({
      {"two NOPs before dvinit", "$CPU_TC068", {"nop", "nop", "dvinit e0,d1,d2"}, {}},
      {"one NOP before dvinit at the start", "$CPU_TC068", {"nop", "dvinit e0,d1,d2"}, {"2 W813"}},
      {"no NOP two back", "$CPU_TC068", {"add d3,d4,d5", "nop", "dvinit.u e0,d1,d2"}, {"3 W813"}},
      {"user-1 mode after disable", "$CPU_TC068", {"disable", "nop", "nop", "dvinit e0,d1,d2"}, {}, true},
      {"user-1 mode without disable", "$CPU_TC068", {"nop", "nop", "dvinit e0,d1,d2"}, {"3 W813"}, true},
      {"user-1 mode, enable since disable", "$CPU_TC068",
       {"disable", "enable", "nop", "nop", "dvinit e0,d1,d2"}, {"5 W813"}, true},
      {"user-1 mode, label since disable", "$CPU_TC068", {"disable", "here:", "nop", "nop", "dvinit e0,d1,d2"},
       {"5 W813"}, true},
      {"sat.b then addsc.a", "$CPU_TC095", {"sat.b d0,d1", "addsc.a a2,a3,d4,#1"}, {"1 W824"}},
      {"sat.h then mtcr", "$CPU_TC095", {"sat.h d0,d1", "mtcr #0xfe04,d0"}, {"1 W824"}},
      {"sat.b then an add", "$CPU_TC095", {"sat.b d0,d1", "add d0,d1,d2"}, {}},
      {"sat.b last in the section", "$CPU_TC095", {"sat.b d0,d1"}, {}},
  });
}

TEST_F(DefectChecks, TheScannedNodes) {
  run({
      {"an empty section", "$CPU_TC069,$CPU_TC083", {}, {}},
      {"labels only", "$CPU_TC069", {"a:", "b:"}, {}},
      {"an unchosen instruction is not checked", "$CPU_TC069", {"?rslcx", "nop"}, {}},
      {"an unresolved generic instruction ends the scan", "$CPU_TC069", {"rslcx", "*generic", "rslcx"},
       {"1 W814"}},
      {"a chosen expansion takes the generic's place", "$CPU_TC069", {"rslcx", "+nop", "rslcx", "+nop"}, {}},
      {"an expansion's instruction is checked", "$CPU_TC069", {"nop", "+rslcx"}, {"2 W814"}},
  });
}

// The queries the checks are made of, on attribute sets made by hand.
class AttributeQueries : public testing::Test {
 protected:
  using Kind = AttributeSpecItem::ValueKind;
  void SetUp() override { isa::initMatchModule(); }
  ScopedManagers managers_{ScopedManagers::kAll};
};

TEST_F(AttributeQueries, PairValuesComeFromTheNewestListHoldingTheFirstId) {
  const AttributeSpecItem kEnd = {ATTR_end, Kind::kNone, 0, nullptr};
  const AttributeSpecItem target[] = {{ATTR_is_target, Kind::kNone, 0, nullptr}, {ATTR_reg_a, Kind::kConstant, 4, nullptr},
                                      kEnd};
  const AttributeSpecItem base[] = {{ATTR_op_post, Kind::kNone, 0, nullptr}, {ATTR_ax_is_read, Kind::kNone, 0, nullptr},
                                    {ATTR_reg_a, Kind::kConstant, 7, nullptr}, kEnd};
  const AttributeSpecItem pair[] = {{ATTR_is_target, Kind::kNone, 0, nullptr}, {ATTR_reg_aa, Kind::kConstant, 2, nullptr},
                                    kEnd};
  const AttributeSpecItem text[] = {{ATTR_is_target, Kind::kNone, 0, nullptr}, {ATTR_reg_a, Kind::kString, 0, "a4"},
                                    kEnd};
  const AttributeSpecItem description[] = {{ATTR_pipelineUse, Kind::kConstant, 3, nullptr},
                                           {ATTR_pipelineUse, Kind::kConstant, 1, nullptr}, kEnd};
  const AttributeSpecItem lateTarget[] = {{ATTR_reg_a, Kind::kConstant, 9, nullptr}, {ATTR_is_target, Kind::kNone, 0, nullptr},
                                          kEnd};
  struct Case {
    const char* behaviour;
    std::vector<const AttributeSpecItem*> lists;  // in the order they are added
    uint32_t idA, idB;
    bool found;
    int64_t value;
  };
  const Case cases[] = {
      {"the pair of one operand", {base, target, description}, ATTR_is_target, ATTR_reg_a, true, 4},
      {"the register of another operand is not taken", {target, pair, description}, ATTR_is_target, ATTR_reg_a,
       false, 0},
      {"the pair register", {target, pair, description}, ATTR_is_target, ATTR_reg_aa, true, 2},
      {"a base register", {base, target, description}, ATTR_op_post, ATTR_reg_a, true, 7},
      {"a value that is no integer", {text, description}, ATTR_is_target, ATTR_reg_a, false, 0},
      {"the second id before the first in the list", {lateTarget}, ATTR_is_target, ATTR_reg_a, true, 9},
      {"no list holds the first id", {base, description}, ATTR_is_target, ATTR_reg_a, false, 0},
      {"no lists", {}, ATTR_is_target, ATTR_reg_a, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    IPAttribute attributes;
    for (const AttributeSpecItem* list : c.lists)
      attributes.addNewAttributeList(list, IPAttribute::kDescriptionList, nullptr, nullptr);
    int64_t value = -1;
    EXPECT_EQ(isa::findAttributePairValue(&attributes, c.idA, c.idB, value), c.found);
    if (c.found) {
      EXPECT_EQ(value, c.value);
    }
  }
  int64_t value = 0;
  EXPECT_FALSE(isa::findAttributePairValue(nullptr, ATTR_is_target, ATTR_reg_a, value));

  IPAttribute described;
  described.addNewAttributeList(base, IPAttribute::kDescriptionList, nullptr, nullptr);
  described.addNewAttributeList(description, IPAttribute::kDescriptionList, nullptr, nullptr);
  ASSERT_TRUE(isa::getPipelineUse(&described, value));
  EXPECT_EQ(value, 3) << "the first pipelineUse of the last list";
  IPAttribute undescribed;
  undescribed.addNewAttributeList(description, IPAttribute::kDescriptionList, nullptr, nullptr);
  undescribed.addNewAttributeList(base, IPAttribute::kDescriptionList, nullptr, nullptr);
  EXPECT_FALSE(isa::getPipelineUse(&undescribed, value)) << "only the last list is read";
  EXPECT_FALSE(isa::getPipelineUse(nullptr, value));
}

TEST_F(AttributeQueries, NodesWithoutAChosenFormHaveNoAttributes) {
  LineInfo line;
  auto* candidate = new IPInstruction();
  candidate->attributes = new IPAttribute();
  FInstruction unchosen(&line, {candidate});
  EXPECT_EQ(isa::instructionAttributes(&unchosen), nullptr);
  EXPECT_EQ(isa::selectedInstruction(&unchosen), nullptr);
  unchosen.selected = 0;
  EXPECT_EQ(isa::instructionAttributes(&unchosen), candidate->attributes);
  EXPECT_EQ(isa::selectedInstruction(&unchosen), candidate);
  FGeneric generic(&line);
  EXPECT_EQ(isa::instructionAttributes(&generic), nullptr);
  EXPECT_EQ(isa::selectedInstruction(&generic), nullptr);
  EXPECT_EQ(isa::instructionAttributes(nullptr), nullptr);
}

}  // namespace
