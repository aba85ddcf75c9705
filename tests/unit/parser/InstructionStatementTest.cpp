// Instruction statements as the parse leaves them: which flow node each kind of statement
// becomes, and the lines a generic instruction adds to the line list.
#include <string>
#include <vector>

#include "ParseFixture.h"
#include "flow/FGeneric.h"
#include "isa/CycleCounts.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/FSimpleRun.h"

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
    for (LineInfo* line = lines[index]->next; line && line->variant() >= 0; line = line->next) texts.push_back(line->text.get());
    return texts;
  }
};

constexpr int kLabel = FlowNode::kLabel;
constexpr int kSimpleRun = FlowNode::kSimpleRun;
constexpr int kInstruction = FlowNode::kInstruction;
constexpr int kGeneric = FlowNode::kGeneric;

TEST_F(InstructionStatementTest, EachStatementBecomesTheNodeOfItsForms) {
  struct Case {
    const char* statement;
    std::vector<int> kinds;
  };
  const Case cases[] = {
      // One form, every field written: the finished bits, an entry of a run.
      {" add d0,d1,d2", {kSimpleRun}},
      // Two widths, all fields known: the smaller one is the choice already.
      {" mov d0,#1", {kSimpleRun}},
      // A constant that the short form's field cannot hold rules that form out: the long
      // form, complete, is the choice already.
      {" mov d0,#100", {kSimpleRun}},
      // A value that layout settles keeps every form.
      {" mov d0,#(lab-lab)", {kInstruction}},
      // A target that layout places: every form stays.
      {" j lab", {kInstruction}},
      // A generic instruction with a hardware form: while its expansions wait, the
      // hardware form's node stands for the generic.
      {" jeq d0,#3,lab", {kInstruction}},
  };
  for (const Case& c : cases) {
    FreshRun fresh(*this);
    parse({" .SDECL \".text\",CODE", " .SECT \".text\"", c.statement, "lab:"});
    std::vector<int> expected = c.kinds;
    expected.push_back(kLabel);
    EXPECT_EQ(kinds(), expected) << c.statement;
    EXPECT_TRUE(diagnostics().empty()) << c.statement;
  }
}

TEST_F(InstructionStatementTest, GenericStatementInsertsItsExpansionAfterItsLine) {
  parse({" .SDECL \".text\",CODE", " .SECT \".text\"", " jeq d0,#3,lab", "lab:"});
  // The statement's own line is the hardware alternative, and its node stands for the
  // generic: the expansion's lines wait until layout asks for them. The expansion holds
  // two instructions, which bounds its size from below.
  FlowNode* standIn = lines[2]->section->firstNode();
  ASSERT_EQ(standIn->kind, kInstruction);
  EXPECT_EQ(standIn->waitingExpansions(), 2);
  EXPECT_EQ(lines[2]->variant(), 0);
  EXPECT_TRUE(generatedAfter(2).empty());
  // Layout makes the generic in the stand-in's place, with the stand-in as its hardware
  // form and a copy of the line in front of the statement's line.
  FGeneric* generic = standIn->becomeGeneric(*lines[2]->section);
  ASSERT_NE(generic, nullptr);
  ASSERT_EQ(generic->kind, kGeneric);
  EXPECT_EQ(lines[2]->section->firstNode(), generic);
  ASSERT_EQ(generic->groups.size(), 1u);
  EXPECT_EQ(generic->groups.front()->nodes.first(), standIn);
  EXPECT_TRUE(generic->rewritesDeferred());
  EXPECT_TRUE(generatedAfter(2).empty());
  generic->buildDeferredRewrites();
  EXPECT_EQ(generic->line, lines[2]->previous);
  EXPECT_FALSE(generic->rewritesDeferred());
  std::vector<std::string> texts = generatedAfter(2);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].rfind("\tjne\td0,#3,__T", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "\tj\tlab\n");
  EXPECT_EQ(texts[2].rfind("__T", 0), 0u);
  EXPECT_EQ(lines[2]->variant(), 0);
  // The generated lines' nodes are the generic's second group: the inverted jump, the
  // long jump and the label after them, whatever the section met since.
  ASSERT_EQ(generic->groups.size(), 2u);
  std::vector<int> expansion;
  for (FlowNode* node = generic->groups[1]->nodes.first(); node; node = node->nextNode())
    expansion.push_back(node->kind);
  EXPECT_EQ(expansion, (std::vector<int>{kInstruction, kInstruction, kLabel}));
  EXPECT_EQ(kinds(), (std::vector<int>{kGeneric, kLabel}));
  EXPECT_TRUE(diagnostics().empty());
}

// Only layout, the list file and the metrics read a generic's lines: a run that checks the
// source alone writes no lines for it, and keeps no instruction node at all.
TEST_F(InstructionStatementTest, ACheckOnlyRunKeepsNeitherTheGenericNorItsLines) {
  struct Case {
    const char* run;
    bool checkOnly;
    bool listFile;
    bool metrics;
    bool kept;      // the section's flow keeps the generic
    bool deferred;  // the lines wait for layout
    size_t generatedLines;
    size_t groups;  // of the generic: the hardware form, then the expansion
  };
  const Case cases[] = {
      {"full assembly", false, false, false, true, true, 3, 2},
      {"full assembly with metrics", false, false, true, true, false, 3, 2},
      {"check only", true, false, false, false, false, 0, 0},
      {"check with a list file", true, true, false, true, true, 3, 2},
  };
  for (const Case& c : cases) {
    FreshRun fresh(*this);
    orbaOptions()->checkOnly = c.checkOnly;
    orbaOptions()->listFileWanted = c.listFile;
    orbaOptions()->metrics = c.metrics;
    parse({" .SDECL \".text\",CODE", " .SECT \".text\"", " jeq d0,#3,lab", "lab:"});
    EXPECT_TRUE(diagnostics().empty()) << c.run;
    if (!c.kept) {
      // Nor a label node: the label only stands last until the next node comes.
      EXPECT_TRUE(kinds().empty()) << c.run;
      ASSERT_NE(lines[2]->section->lastNode(), nullptr) << c.run;
      EXPECT_EQ(lines[2]->section->lastNode()->kind, kLabel) << c.run;
      // Without lines the statement's line stays the only one of its statement.
      EXPECT_TRUE(generatedAfter(2).empty()) << c.run;
      EXPECT_EQ(lines[2]->variant(), -1) << c.run;
      EXPECT_EQ(lines[2]->previous, lines[1]) << c.run;
      continue;
    }
    // Lines that wait leave the hardware form's node standing for the generic, which
    // layout makes when it needs the lines.
    const int kept = c.deferred ? kInstruction : kGeneric;
    ASSERT_EQ(kinds(), (std::vector<int>{kept, kLabel})) << c.run;
    FlowNode* first = lines[2]->section->firstNode();
    EXPECT_EQ(first->waitingExpansions() >= 0, c.deferred) << c.run;
    if (c.deferred) {
      EXPECT_TRUE(generatedAfter(2).empty()) << c.run;
    }
    auto* generic = c.deferred ? first->becomeGeneric(*lines[2]->section) : static_cast<FGeneric*>(first);
    ASSERT_NE(generic, nullptr) << c.run;
    EXPECT_EQ(generic->rewritesDeferred(), c.deferred) << c.run;
    generic->buildDeferredRewrites();
    EXPECT_EQ(generic->groups.size(), c.groups) << c.run;
    ASSERT_FALSE(generic->groups.empty()) << c.run;
    FlowNode* hardware = generic->groups.front()->nodes.first();
    ASSERT_NE(hardware, nullptr) << c.run;
    EXPECT_EQ(hardware->kind, kInstruction) << c.run;
    EXPECT_EQ(hardware->line, lines[2]) << c.run;
    EXPECT_EQ(generatedAfter(2).size(), c.generatedLines) << c.run;
    EXPECT_EQ(lines[2]->variant(), 0) << c.run;
    EXPECT_EQ(generic->line, lines[2]->previous) << c.run;
  }
}

// Consecutive fixed-size instructions share one run node; anything with a node of its own
// ends the run, and each instruction keeps its own line and bits as an entry.
TEST_F(InstructionStatementTest, ConsecutiveFixedSizeInstructionsShareOneRun) {
  struct Case {
    const char* name;
    std::vector<const char*> body;
    std::vector<int> kinds;
    std::vector<uint32_t> entries;      // of each run, in order
    std::vector<uint32_t> entryLines;   // line numbers of the entries, all runs in order
  };
  const Case cases[] = {
      {"three in a row", {" add d0,d1,d2", " mov d0,#1", " xor d1,d2"}, {kSimpleRun}, {3}, {3, 4, 5}},
      {"a comment line between",
       {" add d0,d1,d2", "; note", " mov d0,#100"},
       {kSimpleRun},
       {2},
       {3, 5}},
      // Without a list file the run is lean and the label one of its entries.
      {"a label joins the run", {" add d0,d1,d2", "mid:", " mov d0,#1"}, {kSimpleRun}, {2}, {3, 5}},
      {"a jump splits",
       {" add d0,d1,d2", " j lab", " mov d0,#1", " add d1,d2,d3"},
       {kSimpleRun, kInstruction, kSimpleRun},
       {1, 2},
       {3, 5, 6}},
  };
  for (const Case& c : cases) {
    FreshRun fresh(*this);
    std::vector<const char*> source = {" .SDECL \".text\",CODE", " .SECT \".text\""};
    source.insert(source.end(), c.body.begin(), c.body.end());
    source.push_back("lab:");
    parse(source);
    std::vector<int> expected = c.kinds;
    expected.push_back(kLabel);
    EXPECT_EQ(kinds(), expected) << c.name;
    EXPECT_TRUE(diagnostics().empty()) << c.name;
    std::vector<uint32_t> entries;
    std::vector<uint32_t> entryLines;
    for (FlowNode* node = lines[2]->section->firstNode(); node; node = node->nextNode()) {
      if (node->kind != kSimpleRun) continue;
      const auto& run = static_cast<const FSimpleRun&>(*node);
      entries.push_back(run.entryCount());
      uint32_t lastLine = 0;
      for (FSimpleRun::Cursor cursor(run); !cursor.isDone(); cursor.next()) {
        const FSimpleRun::Item& entry = cursor.item();
        entryLines.push_back(entry.lineNumber());
        lastLine = entry.lineNumber();
        EXPECT_TRUE(entry.bits == 16 || entry.bits == 32) << c.name;
      }
      // A run with lines stands at its last instruction's line; a lean run at none.
      if (run.isLean())
        EXPECT_EQ(run.line, nullptr) << c.name;
      else
        EXPECT_EQ(run.line->lineNumber, lastLine) << c.name;
    }
    EXPECT_EQ(entries, c.entries) << c.name;
    EXPECT_EQ(entryLines, c.entryLines) << c.name;
  }
}

// A run counts its entries in 15 bits beside a flag of mixed control states: the
// instruction after the most a run holds starts the next run, and neither the count
// nor the flag spills into the other.
TEST_F(InstructionStatementTest, ARunHoldsAtMostItsLimitAndKeepsItsControlStates) {
  struct Case {
    const char* name;
    uint32_t instructions;
    bool controlInside;  // a control line after the first instruction
    std::vector<uint32_t> entries;
    std::vector<bool> oneControlState;
  };
  const uint32_t limit = FSimpleRun::kMaxEntries;
  const Case cases[] = {
      {"one short of the limit", limit - 1, false, {limit - 1}, {true}},
      {"the limit and three more", limit + 3, false, {limit, 3}, {true, true}},
      {"a control inside, past the limit", limit + 3, true, {limit, 3}, {false, true}},
      {"a control inside a short run", 4, true, {4}, {false}},
  };
  for (const Case& c : cases) {
    FreshRun fresh(*this);
    // Only a run with lines tells control states apart (a lean run holds lines that
    // select no defect check): the list file keeps the lines.
    orbaOptions()->listFileWanted = true;
    std::vector<const char*> source = {" .SDECL \".text\",CODE", " .SECT \".text\""};
    for (uint32_t index = 0; index < c.instructions; ++index) {
      source.push_back(" add d0,d1,d2");
      if (index == 0 && c.controlInside) source.push_back(" $HW_ONLY");
    }
    parse(source);
    EXPECT_TRUE(diagnostics().empty()) << c.name;
    std::vector<uint32_t> entries;
    std::vector<bool> oneControlState;
    uint32_t expectedLine = 3;
    for (FlowNode* node = lines[2]->section->firstNode(); node; node = node->nextNode()) {
      ASSERT_EQ(node->kind, kSimpleRun) << c.name;
      const auto& run = static_cast<const FSimpleRun&>(*node);
      entries.push_back(run.entryCount());
      oneControlState.push_back(run.oneControlState());
      for (FSimpleRun::Cursor cursor(run); !cursor.isDone(); cursor.next()) {
        ASSERT_EQ(cursor.item().lineNumber(), expectedLine) << c.name;
        expectedLine += expectedLine == 3 && c.controlInside ? 2 : 1;
      }
    }
    EXPECT_EQ(entries, c.entries) << c.name;
    EXPECT_EQ(oneControlState, c.oneControlState) << c.name;
    orbaOptions()->listFileWanted = false;
  }
}

TEST_F(InstructionStatementTest, HardwareOnlyControlStopsExpansion) {
  parse({" .SDECL \".text\",CODE", " .SECT \".text\"", " $HW_ONLY", " jeq d0,#3,lab", "lab:"});
  EXPECT_TRUE(generatedAfter(3).empty());
  EXPECT_EQ(kinds(), (std::vector<int>{kInstruction, kLabel}));
}

}  // namespace

namespace {

// An entry of a run as the walks over it see it.
struct SeenEntry {
  uint32_t image, bits, lineNumber, sourceFile;
  bool expansion;
  const IPAttribute* attributes;
  uint16_t cycles;
  bool operator==(const SeenEntry&) const = default;
};

}  // namespace

// Without a list file the instructions go into lean runs, which keep no lines: a walk
// over them sees every entry as a run with lines shows it, however the line numbers,
// source files and expansion marks of the lines step from one to the next.
TEST_F(InstructionStatementTest, ALeanRunShowsItsEntriesAsARunWithLines) {
  struct Line {
    int32_t number;
    int32_t file;
    bool expansion;
  };
  struct Case {
    const char* name;
    std::vector<Line> lines;
  };
  const Case cases[] = {
      {"consecutive lines", {{3, 0, false}, {4, 0, false}, {5, 0, false}}},
      {"one line twice and back", {{3, 0, false}, {3, 0, false}, {2, 0, false}}},
      {"steps at the edge of a short row", {{100, 0, false}, {163, 0, false}, {100, 0, false}, {164, 0, false}}},
      {"steps past it", {{100, 0, false}, {36, 0, false}, {1000, 0, false}, {5, 0, false}}},
      {"another file", {{3, 0, false}, {4, 1, false}, {5, 1, false}, {6, 0, false}}},
      {"expansion lines", {{3, 0, false}, {9, 0, true}, {10, 0, true}, {4, 0, false}}},
      {"no line number", {{3, 0, false}, {-1, 0, true}, {4, 0, false}}},
  };
  const char* statements[] = {" add d0,d1,d2", " mov d1,#1", " ld.w d4,[a2]8", " nop", " sub d4,d4"};
  for (const Case& c : cases) {
    std::vector<SeenEntry> seen[2];
    uint64_t cycles[2] = {0, 0};
    for (bool listed : {true, false}) {
      FreshRun fresh(*this);
      orbaOptions()->listFileWanted = listed;
      LineInfo* first = runState().lineState->appendLine(" .SDECL \".text\",CODE\n", 0, 1, 0);
      LineInfo* second = runState().lineState->appendLine(" .SECT \".text\"\n", 0, 2, 0);
      for (LineInfo* line : {first, second}) line->flags[0] |= lineflag::kAssemble;
      for (size_t index = 0; index < c.lines.size(); ++index) {
        const Line& spec = c.lines[index];
        const std::string text = std::string(statements[index % std::size(statements)]) + "\n";
        LineInfo* line = runState().lineState->appendLine(text.c_str(), spec.file, spec.number, 0);
        line->flags[0] |= lineflag::kAssemble;
        if (spec.expansion) line->flags[0] |= lineflag::kMacroExpansion;
      }
      OrbaParser parser;
      parser.parse();
      EXPECT_TRUE(diagnostics().empty()) << c.name;
      for (FlowNode* node = second->section->firstNode(); node; node = node->nextNode()) {
        ASSERT_EQ(node->kind, kSimpleRun) << c.name;
        const auto& run = static_cast<const FSimpleRun&>(*node);
        EXPECT_EQ(run.isLean(), !listed) << c.name;
        // Counted on the run's core, as the section totals are.
        static_cast<FSimpleRun*>(node)->assignCore(isa::coreCodeOf(*orbaOptions()));
        cycles[listed] += run.totalCycles();
        for (FSimpleRun::Cursor cursor(run); !cursor.isDone(); cursor.next()) {
          const FSimpleRun::Item& item = cursor.item();
          EXPECT_EQ(item.line != nullptr, listed) << c.name;
          seen[listed].push_back({item.image, item.bits, item.lineNumber(), item.sourceFile(), item.expansion(),
                                  run.attributesOf(item), run.cyclesOf(item)});
        }
      }
      orbaOptions()->listFileWanted = false;
    }
    EXPECT_EQ(seen[0].size(), c.lines.size()) << c.name;
    EXPECT_TRUE(seen[0] == seen[1]) << c.name;
    EXPECT_EQ(cycles[0], cycles[1]) << c.name;
    EXPECT_GT(cycles[0], 0u) << c.name;
  }
}
