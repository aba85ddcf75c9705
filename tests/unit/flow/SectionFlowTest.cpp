#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "FlowFixture.h"
#include "expr/OrbaExpression.h"
#include "flow/FAlign.h"
#include "flow/FLabel.h"
#include "flow/FlowNode.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"

namespace {

// A node of any kind code, with or without an address.
class KindNode : public FlowNode {
 public:
  KindNode(LineInfo* line, uint8_t code, bool address = true) : FlowNode(line, kAlign), address_(address) {
    kind = code;
  }
  FlowNode* clone() const override { return nullptr; }
  void dump(std::ostream& out) const override { out << "KindNode\n"; }
  bool hasAddress() const override { return address_; }

 private:
  bool address_;
};

class SectionFlowTest : public FlowTest {};

// The kinds of the nodes in flow order, walked forwards and backwards.
std::vector<int> forwards(const Section& section) {
  std::vector<int> kinds;
  for (Section::FlowIter it(section); !it.isDone(); it.next()) kinds.push_back(it.current()->kind);
  return kinds;
}

std::vector<int> backwards(const Section& section) {
  std::vector<int> kinds;
  Section::BidirectionalFlowIterator it(section);
  for (it.last(); !it.isDone(); it.prev()) kinds.push_back(it.current()->kind);
  return kinds;
}

TEST_F(SectionFlowTest, NodesAppendAndPrependInOrderAndWalkBothWays) {
  Section text(".text");
  text.addNode(new KindNode(line(1), 2), true);
  text.addNode(new KindNode(line(2), 3), true);
  text.addNode(new KindNode(line(3), 1), false);
  text.addNode(new KindNode(line(4), 4), true);
  EXPECT_EQ(forwards(text), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(backwards(text), (std::vector<int>{4, 3, 2, 1}));
  EXPECT_EQ(text.nodeCount(), 4u);
  EXPECT_EQ(text.firstNode()->kind, 1);
  EXPECT_EQ(text.lastNode()->kind, 4);
  EXPECT_EQ(text.firstNode()->previousNode(), nullptr);
  EXPECT_EQ(text.lastNode()->nextNode(), nullptr);
}

TEST_F(SectionFlowTest, BidirectionalIteratorEndsAreDoneAndStayOnTheirNode) {
  Section empty(".empty");
  Section::BidirectionalFlowIterator none(empty);
  EXPECT_TRUE(none.first());
  EXPECT_TRUE(none.isDone());
  none.last();
  EXPECT_TRUE(none.isDone());

  Section text(".text");
  for (uint8_t code : {5, 6, 7}) text.addNode(new KindNode(line(code), code), true);
  Section::BidirectionalFlowIterator it(text);
  it.first();
  it.prev();  // before the first node: done, and still there
  EXPECT_TRUE(it.isDone());
  EXPECT_EQ(it.current()->kind, 5);
  it.next();  // done: next does nothing
  EXPECT_TRUE(it.isDone());
  EXPECT_EQ(it.current()->kind, 5);

  it.last();
  EXPECT_FALSE(it.isDone());
  EXPECT_EQ(it.current()->kind, 7);
  it.next();  // past the last node
  EXPECT_TRUE(it.isDone());
  it.prev();  // back from the end lands on the last node again
  EXPECT_FALSE(it.isDone());
  EXPECT_EQ(it.current()->kind, 7);
  it.prev();
  EXPECT_EQ(it.current()->kind, 6);
}

TEST_F(SectionFlowTest, ForwardWalkReachesNodesAppendedDuringTheWalk) {
  Section text(".text");
  text.addNode(new KindNode(line(1), 1), true);
  std::vector<int> seen;
  for (Section::FlowIter it(text); !it.isDone(); it.next()) {
    seen.push_back(it.current()->kind);
    if (it.current()->kind < 3) text.addNode(new KindNode(line(2), it.current()->kind + 1), true);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST_F(SectionFlowTest, LastLabelSurvivesOnlyKindsThatAreNotContents) {
  struct Case {
    uint8_t kind;
    bool keeps;
  };
  const Case cases[] = {
      {4, true},  {5, true},  {FlowNode::kCalls, true}, {FlowNode::kEquSet, true}, {FlowNode::kExtern, true},
      {19, true}, {FlowNode::kMisraC, true}, {FlowNode::kName, true}, {26, true}, {28, true},
      {FlowNode::kCompilerName, true}, {FlowNode::kCompilerVers, true}, {FlowNode::kCompilerInvoc, true},
      {FlowNode::kAlign, false}, {FlowNode::kConstant, false}, {FlowNode::kInstruction, false},
      {FlowNode::kStorage, false}, {FlowNode::kAlias, false}, {FlowNode::kMacroCall, false},
      {FlowNode::kError, false}, {FlowNode::kSimple, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    Section text(".text");
    auto* label = new FLabel(line(1), nullptr);
    text.addNode(label, true);
    EXPECT_EQ(text.lastLabel(), label);
    text.addNode(new KindNode(line(2), c.kind, false), true);
    EXPECT_EQ(text.lastLabel(), c.keeps ? label : nullptr);
  }
}

TEST_F(SectionFlowTest, NodeWithAddressOnThePlaceholderOpensTheDefaultSectionOnce) {
  Section* placeholder = section("");
  placeholder->userSection = 0;
  runState().placeholderSection = placeholder;
  LineInfo* equate = line(3, placeholder);
  LineInfo* first = line(4, placeholder);
  LineInfo* second = line(5, placeholder);

  placeholder->addNode(new KindNode(equate, FlowNode::kEquSet, false), true);
  EXPECT_EQ(placeholder->nodeCount(), 1u);
  EXPECT_TRUE(diagnostics().empty());

  placeholder->addNode(new KindNode(first, FlowNode::kConstant), true);
  Section* opened = first->section;
  ASSERT_NE(opened, placeholder);
  EXPECT_EQ(opened->nodeCount(), 1u);
  EXPECT_EQ(placeholder->nodeCount(), 1u);
  EXPECT_EQ(std::string(opened->getName()).rfind("__sect_", 0), 0u);
  EXPECT_EQ(runState().sectionAdmin->sections().back(), opened);
  EXPECT_EQ(opened->line, first);
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{"W179: no active section, default section activated@4"}));

  // The next line already belongs to the opened section.
  second->section = opened;
  opened->addNode(new KindNode(second, FlowNode::kConstant), true);
  EXPECT_EQ(diagnostics().size(), 1u);
  EXPECT_EQ(opened->nodeCount(), 2u);
}

TEST_F(SectionFlowTest, DefaultSectionFollowsTheLinesOfAGenericExpansion) {
  Section* placeholder = section("");
  runState().placeholderSection = placeholder;
  LineInfo* statement = line(1, placeholder);
  statement->flags[2] |= 0x04;
  LineInfo* expanded[2] = {line(1, placeholder), line(1, placeholder)};
  LineInfo* after = line(2, placeholder);
  statement->next = expanded[0];
  expanded[0]->next = expanded[1];
  expanded[1]->next = after;
  expanded[0]->setVariant(0);
  expanded[1]->setVariant(1);
  placeholder->addNode(new KindNode(statement, FlowNode::kGeneric), true);
  EXPECT_NE(statement->section, placeholder);
  EXPECT_EQ(expanded[0]->section, statement->section);
  EXPECT_EQ(expanded[1]->section, statement->section);
  EXPECT_EQ(after->section, placeholder);
}

TEST_F(SectionFlowTest, SectionsAreNumberedAndGetTheirSectionSymbol) {
  Section* text = section(".text");
  Section* data = section(".data");
  auto* nameless = new Section(line(9));
  runState().sectionAdmin->registerSection(nameless);
  auto* nameless2 = new Section(line(10));
  runState().sectionAdmin->registerSection(nameless2);

  EXPECT_EQ(data->number, text->number + 1);
  EXPECT_EQ(nameless->number, text->number + 2);
  ASSERT_NE(text->sectionSymbol, nullptr);
  EXPECT_EQ(std::string(text->sectionSymbol->name), "_R[" + std::to_string(text->number) + "]");
  EXPECT_EQ(text->sectionSymbol->section, text);
  EXPECT_TRUE(text->sectionSymbol->isInternal());
  EXPECT_TRUE(text->sectionSymbol->countsAsReference());
  ASSERT_NE(text->baseExpression(), nullptr);
  EXPECT_EQ(text->baseExpression()->getSymbol(), text->sectionSymbol);
  EXPECT_EQ(runState().symbolTable->scopes.at(0)->lookup(text->sectionSymbol->name), text->sectionSymbol);

  // Nameless sections count on their own, in steps of one.
  unsigned first = std::stoul(std::string(nameless->getName()).substr(7), nullptr, 16);
  unsigned second = std::stoul(std::string(nameless2->getName()).substr(7), nullptr, 16);
  EXPECT_EQ(std::string(nameless->getName()).size(), 11u);
  EXPECT_EQ(second, first + 1);

  EXPECT_EQ(text->mauBits, 8);
  EXPECT_EQ(text->userSection, 1);
  EXPECT_EQ(text->byteOrder, Section::kLittleEndian);
  EXPECT_EQ(text->fillLength, 2u);
  EXPECT_EQ(text->getDisplayName(), text->getName());
}

TEST_F(SectionFlowTest, SectionIteratorWalksTheListAsItWasWhenMade) {
  Section* text = section(".text");
  std::unique_ptr<SectionAdmin::SectionIter> it(runState().sectionAdmin->createIterator());
  Section* later = section(".data");
  std::vector<Section*> seen;
  for (it->first(); !it->isDone(); it->next()) seen.push_back(it->current());
  EXPECT_EQ(seen, std::vector<Section*>{text});

  runState().sectionAdmin->unlink(text);
  EXPECT_EQ(runState().sectionAdmin->sections(), std::vector<Section*>{later});
}

}  // namespace
