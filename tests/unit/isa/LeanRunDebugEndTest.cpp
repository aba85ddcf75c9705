// A source that switches the assembler's debug information on late ($DEBUG "a" after the
// code) has already written its fixed instructions as lean runs and let go of their
// lines. Each section still ends at its closing label, placed after its last
// instruction with that line's control state: the object, the diagnostics and the status
// must come out byte for byte as when every line is kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/InProcessRun.h"
#include "isa/FSimpleRun.h"

namespace {

InProcessRun assemble(const std::string& source, bool lean, const std::vector<std::string>& options) {
  std::vector<std::string> words = {"--error-limit=0"};
  words.insert(words.end(), options.begin(), options.end());
  return runInProcess(source, words, &leanEntries, lean, false);
}

TEST(LeanRunDebugEndTest, LateDebugEndsEachSectionAsWhenLinesAreKept) {
  struct Case {
    const char* name;
    std::string source;
  };
  const std::string text = " .SDECL \".text\",CODE\n .SECT \".text\"\n";
  const std::string second = " .SDECL \".text.b\",CODE\n .SECT \".text.b\"\n";
  const Case cases[] = {
      {"one instruction", text + " nop\n $DEBUG \"a\"\n"},
      {"a run of several", text + " nop\n add d1,d2\n mov d3,#1\n $DEBUG \"a\"\n"},
      {"two sections", text + " nop\n add d1,d2\n" + second + " nop\n $DEBUG \"a\"\n"},
      {"two sections, the first taken up again", text + " nop\n" + second + " add d1,d2\n .SECT \".text\"\n"
                                                     " mov d3,#1\n nop\n $DEBUG \"a\"\n"},
      {"labels in the run", text + "A: nop\n add d1,d2\nB: mov d3,#1\n nop\n $DEBUG \"a\"\n"},
      {"a label on the last line", text + " nop\nB: add d1,d2\n $DEBUG \"a\"\n"},
      {"a lean jump last", text + "W: nop\n jne d1,d2,W\n jne d1,d2,W\n jne d1,d2,W\nL0: add d1,d2\n jne d1,d2,L0\n"
                                  " add d1,d2\n jne d1,d2,L0\n jne d1,d2,L0\n $DEBUG \"a\"\n"},
      {"a control between the code and $DEBUG", text + " nop\n add d1,d2\n $CPU_TC013 OFF\n $DEBUG \"a\"\n"},
      {"the last lines from a macro", "two .MACRO\n nop\n add d1,d2\n .ENDM\n" + text + " two\n $DEBUG \"a\"\n"},
      {"the last lines from a repeat block", text + " nop\n .DUP 3\n add d1,d2\n .ENDM\n $DEBUG \"a\"\n"},
      {"an empty section after the run", text + " nop\n" + second + " $DEBUG \"a\"\n"},
  };
  const std::vector<std::string> optionSets[] = {{"--emit-locals"}, {"-gl"}, {"--emit-locals=s"}, {}};
  for (const Case& c : cases) {
    for (const std::vector<std::string>& options : optionSets) {
      SCOPED_TRACE(std::string(c.name) + (options.empty() ? "" : " " + options[0]));
      const InProcessRun kept = assemble(c.source, false, options);
      const InProcessRun lean = assemble(c.source, true, options);
      EXPECT_EQ(kept.taken, 0u);
      EXPECT_GT(lean.taken, 0u);
      EXPECT_EQ(lean.status, kept.status);
      EXPECT_EQ(lean.errors, kept.errors);
      EXPECT_FALSE(kept.object.empty());
      EXPECT_TRUE(lean.object == kept.object) << "the objects differ";
    }
  }
}

}  // namespace
