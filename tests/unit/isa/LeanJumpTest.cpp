// A jump back to a label of the run of fixed instructions it joins is an entry of that
// run, its bytes written at the parse. Whatever a later line does to the target (a .WEAK
// that asks for a relocation and so an expansion) or to the section's choice of forms, the
// object, the diagnostics and the status must come out byte for byte as the jump records
// make them; the jumps a later line changed are made records again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/InProcessRun.h"
#include "isa/InstructionMatcherShapes.h"

namespace {

InProcessRun assemble(const std::string& source, bool entries, const std::vector<std::string>& options) {
  std::vector<std::string> words = {"--error-limit=0"};
  words.insert(words.end(), options.begin(), options.end());
  return runInProcess(source, words, &isa::directJumpLayout, entries, false);
}

// A jump is matched in full the first two times its text but for the target is met with
// a target that stands alike (defined before, referenced before or not), and stands as a
// node of its own; after that such jumps are records, or entries where their target is a
// label of their run. The head meets both kinds twice.
const char* const kHead =
    " .SDECL \".text\",CODE\n .SECT \".text\"\nW: nop\n jne d1,d2,W\n jne d1,d2,W\n jne d1,d2,W\n"
    "V: nop\n jne d1,d2,V\n j W\n j W\n j W\n";
// The head's last jump to W is an entry of its own.
constexpr uint64_t kHeadEntries = 1;

std::string adds(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += " add d1,d2\n";
  return text;
}

TEST(LeanJumpTest, EntriesWriteWhatTheRecordsWrite) {
  struct Case {
    const char* name;
    std::string body;
    std::vector<std::string> options;
    uint64_t entries;  // jumps of the body written as run entries
    uint64_t remade;   // of those, made records again once the parse is done
  };
  const std::string loop = "L0: add d1,d2\n jne d1,d2,L0\n add d1,d2\n jne d1,d2,L0\n jne d1,d2,L0\n";
  const std::string macro = " .MACRO back lab\n add d1,d2\n jne d1,d2,lab\n .ENDM\n";
  const Case cases[] = {
      {"backward in one run", loop + adds(2), {}, 3, 0},
      {"a label on the jump's own line", "L0: add d1,d2\n jne d1,d2,L0\nL1: jne d1,d2,L1\nL2: jne d1,d2,L2\n", {}, 3, 0},
      {"a label joining the run with the jump", " nop\n jne d1,d2,Q\n add d1,d2\nL0:\n jne d1,d2,L0\n jne d1,d2,L0\nQ: nop\n",
       {}, 2, 0},
      {"weak after the jumps", loop + " add d1,d2\n .WEAK L0\n add d1,d2\n", {}, 3, 3},
      // The remade jumps take another size: every lean jump of their run is remade, those to
      // L0 across them too.
      {"weak target among others", loop + "L1: add d1,d2\n jne d1,d2,L1\n jne d1,d2,L0\nM: jne d1,d2,L1\n .WEAK L1\n",
       {}, 6, 6},
      {"weak after, labels in front of a remade jump", loop + "M:\nN: jne d1,d2,L0\n add d1,d2\n .WEAK L0\n", {}, 4, 4},
      {"weak after, the remade jump ends the run", loop + " .WEAK L0\n", {}, 3, 3},
      {"global after the jumps", loop + " .GLOBAL L0\n", {}, 3, 0},
      {"largest forms", loop, {"-OS"}, 3, 4},
      {"plain jumps", loop + " add d1,d2\n .WEAK L0\n", {"-OG"}, 3, 3},
      {"plain jumps that stay", loop, {"-OG"}, 3, 0},
      {"out of reach in the run", "L0: add d1,d2\n jne d1,d2,L0\n" + adds(17000) + " jne d1,d2,L0\n jne d1,d2,L0\n",
       {}, 1, 0},
      {"two forms, the short one reaching", "L0: add d1,d2\n j L0\n j L0\n j L0\n", {}, 3, 0},
      {"two forms, the long one past the short reach",
       "L0: add d1,d2\n j L0\n j L0\n" + adds(140) + " j L0\n j L0\n" + adds(20) + " j L0\n", {}, 5, 0},
      {"two forms, weak after", "L0: add d1,d2\n j L0\n" + adds(140) + " j L0\n j L0\n .WEAK L0\n", {}, 3, 3},
      {"two forms, largest forms", "L0: add d1,d2\n j L0\n j L0\n j L0\n", {"-OS"}, 3, 4},
      {"a generic whose forms are lent", "L0: add d1,d2\n jeq d15,#0,L0\n jeq d15,#0,L0\n jeq d15,#0,L0\n"
                                         " jeq d15,#0,L0\n jeq d15,#0,L0\n",
       {}, 0, 0},
      {"forward stays a record", " jne d1,d2,Q\n jne d1,d2,Q\n add d1,d2\nQ: add d1,d2\n", {}, 0, 0},
      {"jumps from a macro's lines", macro + "L0: add d1,d2\n back L0\n back L0\n back L0\n back L0\n back L0\n .WEAK L0\n",
       {}, 0, 0},
      {"another section between", loop + " .SDECL \".b\",CODE\n .SECT \".b\"\nL8: nop\n jne d1,d2,L8\n jne d1,d2,L8\n"
                                         " jne d1,d2,L8\n jne d1,d2,L8\nL9: nop\n jne d1,d2,L9\n jne d1,d2,L9\n jne d1,d2,L9\n"
                                         " .SECT \".text\"\n jne d1,d2,L0\n .WEAK L9\n",
       {}, 6, 3},
      {"redefined after", loop + "L0: nop\n", {}, 3, 0},
      // A target control changes the settings the records read after the parse: every lean
      // jump before it, the head's too, goes back to its record. A control that changes
      // nothing, and a defect switch, which only the lines after it read, leave them.
      {"$HW_ONLY after the jumps", loop + " $HW_ONLY\n", {}, 3, 4},
      {"a core control after the jumps", loop + " $TC16\n", {}, 3, 4},
      {"an older core after the jumps", loop + " $TC13\n", {"--core=tc1.6"}, 3, 4},
      {"$NO_FPU after the jumps", loop + " $NO_FPU\n", {}, 3, 4},
      {"$MMU after the jumps", loop + " $MMU\n", {}, 3, 4},
      {"$CASE OFF after the jumps", loop + " $CASE OFF\n", {}, 3, 4},
      {"$FPU that changes nothing", loop + " $FPU\n", {}, 3, 0},
      {"a defect switch after the jumps", loop + " $CPU_TC065 ON\n", {}, 3, 0},
      {"jumps on both sides of $HW_ONLY", loop + " $HW_ONLY\nL1: add d1,d2\n jne d1,d2,L1\n jne d1,d2,L1\n"
                                              " jne d1,d2,L1\n jne d1,d2,L1\n",
       {}, 3, 4},
      {"a defect switch, then $HW_ONLY",
       "L1: lea a2,[a3]8\nL2: sub d3,d4\n jge d2,#1,L2\n jge d2,#1,L2\nL4:\n jge d2,#1,L4\n $CPU_TC065 ON\n"
       " jnz d15,L4\n $HW_ONLY\n",
       {}, 1, 2},
      {"loops, a defect switch, then $HW_ONLY",
       " loop32 a2,L3\nL4: loop32 a2,L4\n jge d2,#1,L4\nL5: loop32 a2,L5\n jge d2,#1,L5\nL9: lea a2,[a3]8\n"
       " jge d2,#1,L9\n $CPU_TC065 ON\n loop32 a2,L9\n $HW_ONLY\n",
       {}, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = kHead + c.body;
    const InProcessRun records = assemble(source, false, c.options);
    const InProcessRun entries = assemble(source, true, c.options);
    EXPECT_EQ(records.entries, 0u);
    EXPECT_EQ(entries.status, records.status);
    EXPECT_EQ(entries.errors, records.errors);
    EXPECT_TRUE(entries.object == records.object) << "the objects differ";
    EXPECT_EQ(entries.entries, kHeadEntries + c.entries);
    EXPECT_EQ(entries.remade, c.remade);
  }
}

// A target control changes the settings for the lines parsed after it: whatever is built
// after the parse for a jump before it (its own forms, its expansion) is built under the
// settings of the jump's parse. The jumps before a control at the end come out as they do
// without it, lean or not, with a list file or without.
TEST(LeanJumpTest, ALaterTargetControlLeavesTheJumpsBeforeIt) {
  struct Case {
    const char* name;
    std::string body;
    const char* control;
  };
  const std::string far = "L0: add d1,d2\n jge d2,#1,L0\n jge d2,#1,L0\n jge d2,#1,L0\n" + adds(17000) +
                          " jge d2,#1,L0\n jge d2,#1,L0\n jge d2,#1,L0\n";
  const std::string d15 = "L0: add d1,d2\n jeq d15,#0,L0\n jeq d15,#0,L0\n jeq d15,#0,L0\n jeq d15,#0,L0\n";
  const Case cases[] = {
      {"a defect switch, then $HW_ONLY",
       "L1: lea a2,[a3]8\nL2: sub d3,d4\n jge d2,#1,L2\n jge d2,#1,L2\nL4:\n jge d2,#1,L4\n $CPU_TC065 ON\n"
       " jnz d15,L4\n",
       " $HW_ONLY\n"},
      {"loops, a defect switch, then $HW_ONLY",
       " loop32 a2,L3\nL4: loop32 a2,L4\n jge d2,#1,L4\nL5: loop32 a2,L5\n jge d2,#1,L5\nL9: lea a2,[a3]8\n"
       " jge d2,#1,L9\n $CPU_TC065 ON\n loop32 a2,L9\n",
       " $HW_ONLY\n"},
      {"expansions taken, then $HW_ONLY", far, " $HW_ONLY\n"},
      {"short forms of d15, then $TC16", d15, " $TC16\n"},
      {"expansions taken, then $TC16", far, " $TC16\n"},
      {"expansions taken, then $NO_FPU", far, " $NO_FPU\n"},
  };
  for (const Case& c : cases) {
    for (const bool entries : {true, false}) {
      for (const bool list : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (entries ? ", entries" : ", records") + (list ? ", list" : ""));
        const std::string source = kHead + c.body;
        const InProcessRun without = runInProcess(source, {}, &isa::directJumpLayout, entries, list);
        const InProcessRun with = runInProcess(source + c.control, {}, &isa::directJumpLayout, entries, list);
        EXPECT_EQ(with.status, 0);
        EXPECT_EQ(with.status, without.status);
        EXPECT_EQ(with.errors, without.errors);
        EXPECT_FALSE(with.object.empty());
        EXPECT_TRUE(with.object == without.object) << "the objects differ";
      }
    }
  }
}

// With a list file every jump stays a record: the list shows its line.
TEST(LeanJumpTest, ListFileKeepsRecords) {
  const std::string source = std::string(kHead) + "L0: add d1,d2\n jne d1,d2,L0\n jne d1,d2,L0\n jne d1,d2,L0\n";
  const InProcessRun run = runInProcess(source, {}, &isa::directJumpLayout, true, true);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.entries, 0u);
}

}  // namespace
