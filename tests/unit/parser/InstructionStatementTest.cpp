// Instruction statements as the parse leaves them: which flow node each kind of statement
// becomes, and the lines a generic instruction adds to the line list.
#include <string>
#include <vector>

#include "ParseFixture.h"
#include "flow/FGeneric.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"

namespace {

class InstructionStatementTest : public ParseTest {
 protected:
  // The kinds of the nodes of the section ".text", in order.
  std::vector<int> kinds() {
    std::vector<int> found;
    Section* text = nullptr;
    for (LineInfo* line : lines)
      if (line->section && line->section != placeholderSection()) text = line->section;
    if (!text) return found;
    for (FlowNode* node = text->firstNode(); node; node = node->nextNode()) found.push_back(node->kind);
    return found;
  }
  // The texts of the lines after line `number` that a generic expansion added.
  std::vector<std::string> generatedAfter(size_t index) {
    std::vector<std::string> texts;
    for (LineInfo* line = lines[index]->next; line && line->variant >= 0; line = line->next) texts.push_back(line->text);
    return texts;
  }
};

constexpr int kLabel = FlowNode::kLabel;
constexpr int kSimple = FlowNode::kSimple;
constexpr int kInstruction = FlowNode::kInstruction;
constexpr int kGeneric = FlowNode::kGeneric;

TEST_F(InstructionStatementTest, EachStatementBecomesTheNodeOfItsForms) {
  struct Case {
    const char* statement;
    std::vector<int> kinds;
  };
  const Case cases[] = {
      // One form, every field written: the finished bits.
      {" add d0,d1,d2", {kSimple}},
      // Two widths, all fields known: the smaller one is the choice already.
      {" mov d0,#1", {kSimple}},
      // A target that layout places: every form stays.
      {" j lab", {kInstruction}},
      // A generic instruction with a hardware form: the generic holds both.
      {" jeq d0,#3,lab", {kGeneric}},
  };
  for (const Case& c : cases) {
    lines.clear();
    ScopedManagers fresh(ScopedManagers::kAll);
    delete _sectionAdmin;
    _sectionAdmin = new SectionAdmin();
    _placeholderSection = nullptr;
    parse({" .SDECL \".text\",CODE", " .SECT \".text\"", c.statement, "lab:"});
    std::vector<int> expected = c.kinds;
    expected.push_back(kLabel);
    EXPECT_EQ(kinds(), expected) << c.statement;
    EXPECT_TRUE(diagnostics().empty()) << c.statement;
  }
}

TEST_F(InstructionStatementTest, GenericStatementInsertsItsExpansionAfterItsLine) {
  parse({" .SDECL \".text\",CODE", " .SECT \".text\"", " jeq d0,#3,lab", "lab:"});
  // The statement's own line is the hardware alternative; a copy in front stands for
  // the generic.
  std::vector<std::string> texts = generatedAfter(2);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].rfind("\tjne\td0,#3,__T", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "\tj\tlab\n");
  EXPECT_EQ(texts[2].rfind("__T", 0), 0u);
  EXPECT_EQ(lines[2]->variant, 0);
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(InstructionStatementTest, HardwareOnlyControlStopsExpansion) {
  parse({" .SDECL \".text\",CODE", " .SECT \".text\"", " $HW_ONLY", " jeq d0,#3,lab", "lab:"});
  EXPECT_TRUE(generatedAfter(3).empty());
  EXPECT_EQ(kinds(), (std::vector<int>{kInstruction, kLabel}));
}

}  // namespace
