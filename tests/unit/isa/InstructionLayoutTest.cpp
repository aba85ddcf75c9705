// Instruction nodes during layout and output: which form each pass takes at an offset,
// what is kept when none fits, and the bytes and relocations the chosen form becomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flow/FlowFixture.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "expr/functions.h"
#include "flow/FLabel.h"
#include "flow/FlowWalker.h"
#include "flow/OrbaOptimizer.h"
#include "isa/FInstruction.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "parser/ParseFixture.h"

namespace {

// Lays a section out the way the layout passes do, as far as instructions and labels
// are concerned: an initial pass, then relax passes until nothing changes. Returns the
// section size.
uint32_t layOutSection(Section& section, int* passes = nullptr) {
  FlowWalker walker(&section, &section.flow());
  bool changed = true;
  int pass = 0;
  for (; changed && pass < 16; ++pass) {
    changed = false;
    walker.reset();
    for (FlowNode* node = section.firstNode(); node; node = node->nextNode()) {
      walker.nodeSize = 0;
      if (node->kind == FlowNode::kLabel) {
        Symbol* symbol = static_cast<FLabel*>(node)->symbol;
        OrbaExpression* before = symbol->valueExpression;
        symbol->valueExpression = TEInteger::create(walker.offset);
        if (!before || before->getInteger() != walker.offset) changed = true;
      } else if (node->kind == FlowNode::kInstruction) {
        FlowNode::LayoutChoice choice = node->layOut(walker, pass == 0 ? 0 : 1, false);
        changed = changed || choice.changed;
      } else {
        int32_t units = node->computeSize(&section, static_cast<uint32_t>(walker.offset));
        walker.nodeSize = units > 0 ? units : 0;
      }
      walker.offset += walker.nodeSize;
    }
  }
  if (passes) *passes = pass;
  section.size = static_cast<uint32_t>(walker.offset);
  section.laidOut = 1;
  return section.size;
}

class ParsedLayoutTest : public ParseTest {
 protected:
  Section* text() {
    for (LineInfo* line : lines)
      if (line->section && line->section != placeholderSection()) return line->section;
    return nullptr;
  }
  FInstruction* firstInstruction() {
    for (FlowNode* node = text()->firstNode(); node; node = node->nextNode())
      if (node->kind == FlowNode::kInstruction) return static_cast<FInstruction*>(node);
    return nullptr;
  }
};

TEST_F(ParsedLayoutTest, JumpTakesTheSmallestFormThatReachesItsTarget) {
  struct Case {
    const char* space;    // the gap between the jump and its target
    bool backward;        // the target stands before the jump
    uint32_t bits;        // of the chosen form
    uint32_t sectionSize;
    std::vector<uint8_t> bytes;  // the jump as the section image holds it
  };
  const Case cases[] = {
      {" .SPACE 10", false, 16, 0xC, {0x3C, 0x06}},
      {" .SPACE 300", false, 32, 0x130, {0x1D, 0x00, 0x98, 0x00}},
      // A 16-bit jump reaches 254 bytes ahead.
      {" .SPACE 252", false, 16, 0xFE, {0x3C, 0x7F}},
      {" .SPACE 254", false, 32, 0x102, {0x1D, 0x00, 0x81, 0x00}},
      {" .SPACE 200", true, 16, 0xCA, {0x3C, 0x9C}},
  };
  for (const Case& c : cases) {
    FreshRun fresh(*this);
    if (c.backward)
      parse({" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", "L1:", c.space, " j L1"});
    else
      parse({" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", " j L1", c.space, "L1:"});
    ASSERT_TRUE(diagnostics().empty()) << c.space;
    FInstruction* jump = firstInstruction();
    ASSERT_NE(jump, nullptr) << c.space;
    Section& section = *text();
    EXPECT_EQ(layOutSection(section), c.sectionSize) << c.space;
    ASSERT_NE(jump->selectedCandidate(), nullptr) << c.space;
    EXPECT_EQ(jump->selectedCandidate()->encoding->bits, c.bits) << c.space;

    // Written: the jump's bytes land at its offset, in memory order.
    std::vector<uint8_t> image(section.size, 0xEE);
    section.image = image.data();
    section.writing = 1;
    section.locationCounter = c.backward ? static_cast<int32_t>(section.size - c.bytes.size()) : 0;
    const uint32_t at = static_cast<uint32_t>(section.locationCounter);
    RecordingWriter writer;
    writer.section = &section;
    jump->emit(writer);
    section.image = nullptr;
    EXPECT_EQ(section.locationCounter, static_cast<int32_t>(at + c.bytes.size())) << c.space;
    for (size_t i = 0; i < c.bytes.size(); ++i) EXPECT_EQ(image[at + i], c.bytes[i]) << c.space << " byte " << i;
    EXPECT_TRUE(diagnostics().empty()) << c.space;
  }
}

TEST_F(ParsedLayoutTest, OptimizerSizesSectionsByTheFormsThatReach) {
  struct Case {
    std::vector<const char*> body;
    uint32_t sectionSize;
  };
  const Case cases[] = {
      {{" j L1", " .SPACE 10", "L1:"}, 0xC},
      {{" j L1", " .SPACE 300", "L1:"}, 0x130},
      // A generic conditional jump: the hardware form nearby, a long jump far away.
      {{" jeq d0,#3,far", " .SPACE 10", "far:"}, 0xE},
      {{" jeq d0,#3,far", " .SPACE 40000", "far:"}, 40008},
  };
  for (const Case& c : cases) {
    FreshRun fresh(*this);
    std::vector<const char*> source{" .SDECL \".text.t\",CODE", " .SECT \".text.t\""};
    source.insert(source.end(), c.body.begin(), c.body.end());
    parse(source);
    ASSERT_TRUE(diagnostics().empty()) << c.body[0];
    OrbaOptimizer optimizer;
    optimizer.run();
    EXPECT_EQ(text()->size, c.sectionSize) << c.body[0] << " / " << c.body[1];
    EXPECT_TRUE(diagnostics().empty()) << c.body[0];
  }
}

TEST_F(ParsedLayoutTest, FinalChoiceWithoutRelaxationTakesTheWidestFormThatFits) {
  parse({" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", " j L1", " .SPACE 10", "L1:"});
  FInstruction* jump = firstInstruction();
  ASSERT_NE(jump, nullptr);
  FlowWalker walker(text(), &text()->flow());
  walker.reset();
  int32_t padding = -1;
  bool chosen = false;
  int index = jump->chooseInstructionForm(false, padding, walker, chosen);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(index, jump->selected);
  EXPECT_EQ(jump->selectedCandidate()->encoding->bits, 32);
  EXPECT_EQ(walker.nodeSize, 4);
  EXPECT_EQ(padding, 0);
  EXPECT_EQ(jump->fixed, 1);
}

// Hand-made forms whose one operand field holds a symbol's value through a range check:
// a 16-bit form with 4 bits (-8..7) and a 32-bit form with 16 bits.
class FormChoiceTest : public FlowTest {
 protected:
  FormChoiceTest() {
    code = section(".text");
    code->flags.set(0, Section::SectionFlags::kCodeBit, true);
    value = symbol("value");
    value->flags[0] |= Symbol::kEquate;
    statement = line(3, code);
  }

  // A fresh statement line for each case, so that its diagnostics stand apart.
  void nextStatement(uint32_t number) { statement = line(number, code); }
  // The diagnostics recorded at line `number`, as "E135: text".
  static std::vector<std::string> reportedAt(uint32_t number) {
    std::vector<std::string> found;
    const std::string suffix = "@" + std::to_string(number);
    for (const std::string& text : diagnostics())
      if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        found.push_back(text.substr(0, text.size() - suffix.size()));
    return found;
  }

  IPInstruction* form(uint8_t bits, int64_t low, int64_t high, uint8_t fieldBits, uint8_t relocationType = 0) {
    auto* made = new IPInstruction();
    made->encoding = new Encoding(bits, nullptr);
    made->encoding->image[7] = bits == 16 ? 0x0042u : 0x00000043u;
    OrbaExpression* arguments[] = {TESymbol::create(value), TEInteger::create(low), TEInteger::create(high)};
    OrbaExpression* checked = TEFunction::create(FN_RANGE, arguments, 3);
    const OperandMapping field{fieldBits, 0, static_cast<uint8_t>(bits - fieldBits)};
    made->encoding->operands.push_back(new OperandEncoding(&checked, nullptr, 1, &field, nullptr, nullptr,
                                                           relocationType, 0, 0, false, nullptr, statement));
    made->cycles = bits;
    return made;
  }

  FInstruction* node(std::vector<IPInstruction*> forms) {
    auto* made = new FInstruction(statement, std::move(forms));
    code->addNode(made, true);
    return made;
  }

  Section* code;
  Symbol* value;
  LineInfo* statement;
};

TEST_F(FormChoiceTest, RelaxPassExcludesFormsWhoseFieldCannotHoldTheValue) {
  struct Case {
    const char* behaviour;
    int64_t value;  // the symbol's value; below INT64_MIN + 1 for none yet
    int expectedBits;  // 0: no form
    int excluded;
    const char* kept;  // the message kept for output
    bool initialPass = true;  // false: the relax pass chooses from nothing
  };
  const Case cases[] = {
      {"a small value takes the short form", 5, 16, 0, nullptr},
      {"a small value chosen afresh takes the short form", 5, 16, 0, nullptr, false},
      {"a value beyond 4 bits takes the long form", 100, 32, 1,
       "E218: expression out of range (-8 and 7 decimal)"},
      {"a value beyond both leaves no form", 40000, 0, 2, "E218: expression out of range (-32768 and 32767 decimal)"},
      {"an unknown value keeps the form with the wider field", INT64_MIN, 32, 0, nullptr},
  };
  for (const Case& c : cases) {
    FInstruction* instruction = node({form(32, -32768, 32767, 16), form(16, -8, 7, 4)});
    value->valueExpression = c.value == INT64_MIN ? nullptr : TEInteger::create(c.value);
    FlowWalker walker(code, &code->flow());
    walker.reset();
    int32_t padding = 0;
    bool changed = false;
    if (c.initialPass) {
      instruction->sizeInstructionInitial(false, padding, walker, changed);
      EXPECT_TRUE(changed) << c.behaviour;
      EXPECT_EQ(instruction->selectedCandidate()->encoding->bits, 16) << c.behaviour << ": initial pass trusts";
      walker.reset();
    }
    int index = instruction->sizeInstructionRelax(false, padding, walker, changed);
    if (c.expectedBits == 0) {
      EXPECT_EQ(index, -1) << c.behaviour;
      EXPECT_EQ(walker.nodeSize, 0) << c.behaviour;
      EXPECT_EQ(instruction->computeSize(code, 0), -1) << c.behaviour;
    } else {
      ASSERT_GE(index, 0) << c.behaviour;
      EXPECT_EQ(instruction->selectedCandidate()->encoding->bits, c.expectedBits) << c.behaviour;
      EXPECT_EQ(walker.nodeSize, c.expectedBits / 8) << c.behaviour;
      EXPECT_EQ(instruction->computeSize(code, 0), c.expectedBits / 8) << c.behaviour;
    }
    EXPECT_EQ(instruction->excludedCount, c.excluded) << c.behaviour;
    if (c.kept)
      EXPECT_STREQ(instruction->otherError(), c.kept) << c.behaviour;
    else
      EXPECT_EQ(instruction->otherError(), nullptr) << c.behaviour;
  }
}

TEST_F(FormChoiceTest, NoFormLeftIsReportedAtOutputWithTheKeptMessage) {
  struct Case {
    const char* kept;  // null: nothing kept
    const char* reported;
  };
  const Case cases[] = {
      {nullptr, "E135: no suitable instruction encoding available"},
      {"E218: expression out of range (-8 and 7 decimal)", "E218: expression out of range (-8 and 7 decimal)"},
  };
  uint32_t number = 10;
  for (const Case& c : cases) {
    nextStatement(++number);
    FInstruction* instruction = node({form(16, -8, 7, 4)});
    instruction->setOtherError(c.kept ? runState().stringBuffer->intern(c.kept) : nullptr);
    RecordingWriter writer;
    writer.section = code;
    instruction->emit(writer);
    EXPECT_EQ(reportedAt(number), std::vector<std::string>{c.reported});
  }
}

// A recording store that keeps the relocations too.
class RelocationStore : public RecordingStore {
 public:
  struct Relocation {
    uint32_t offset, units, type;
  };
  uint32_t imageAddRelocation(uint32_t, uint32_t, uint32_t offset, uint32_t units, ExprNode*, uint32_t type,
                              uint32_t*) override {
    relocations.push_back({offset, units, type});
    return 0;
  }
  std::vector<Relocation> relocations;
};

class RelocationWriter : public RecordingWriter {
 public:
  ObjectStore& store() override { return relocationStore; }
  RelocationStore relocationStore;
};

TEST_F(FormChoiceTest, OutputEncodesKnownFieldsAndRelocatesTheOthers) {
  struct Case {
    const char* behaviour;
    bool known;                  // the symbol has a value of its own
    uint8_t relocationType;
    std::vector<uint32_t> image;  // the four units written, little-endian
    size_t relocations;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"a known value goes into its field", true, 1, {0x43, 0x00, 0x34, 0x12}, 0, nullptr},
      {"an external value becomes a relocation over the instruction", false, 1, {0x43, 0x00, 0x00, 0x00}, 1,
       nullptr},
      {"an external value without relocation type is E139", false, 0, {0x43, 0x00, 0x00, 0x00}, 0,
       "E139: cannot emit expression in object file, replaced with integral value '0'"},
  };
  uint32_t number = 20;
  for (const Case& c : cases) {
    nextStatement(++number);
    value->valueExpression = c.known ? TEInteger::create(0x1234) : nullptr;
    FInstruction* instruction = node({form(32, -32768, 32767, 16, c.relocationType)});
    instruction->selected = 0;
    std::vector<uint8_t> image(8, 0xEE);
    code->image = image.data();
    code->size = 8;
    code->writing = 1;
    code->locationCounter = 2;
    RelocationWriter writer;
    writer.section = code;
    instruction->emit(writer);
    code->image = nullptr;
    EXPECT_EQ(std::vector<uint32_t>(image.begin() + 2, image.begin() + 6), c.image) << c.behaviour;
    EXPECT_EQ(image[1], 0xEEu) << c.behaviour;
    EXPECT_EQ(image[6], 0xEEu) << c.behaviour;
    EXPECT_EQ(code->locationCounter, 6) << c.behaviour;
    ASSERT_EQ(writer.relocationStore.relocations.size(), c.relocations) << c.behaviour;
    if (c.relocations) {
      EXPECT_EQ(writer.relocationStore.relocations[0].offset, 2u) << c.behaviour;
      EXPECT_EQ(writer.relocationStore.relocations[0].units, 4u) << c.behaviour;
      EXPECT_EQ(writer.relocationStore.relocations[0].type, c.relocationType) << c.behaviour;
    }
    if (c.diagnostic)
      EXPECT_EQ(reportedAt(number), std::vector<std::string>{c.diagnostic}) << c.behaviour;
    else
      EXPECT_TRUE(reportedAt(number).empty()) << c.behaviour;
  }
}

TEST_F(FormChoiceTest, InstructionInClearedSectionIsE253AndStillAdvances) {
  FInstruction* instruction = node({form(16, -8, 7, 4)});
  value->valueExpression = TEInteger::create(1);
  instruction->selected = 0;
  code->writing = 1;
  code->locationCounter = 4;
  RecordingWriter writer;
  writer.section = code;
  instruction->emit(writer);
  EXPECT_EQ(code->locationCounter, 6);
  EXPECT_EQ(diagnostics(),
            std::vector<std::string>{"E253: instruction cannot be encoded in uninitialized or cleared section@3"});
}

}  // namespace
