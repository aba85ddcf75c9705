// A jump record measures the distance to a label of its own section itself in layout, without
// lending the shared forms. Near, at the edges of a form's reach and one step past them, far,
// backward and forward, the object, the list file, the diagnostics and the status must come
// out byte for byte as the lent forms make them, and a jump that reaches is written from the
// measured distance; a target in another section is left to the forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/InProcessRun.h"
#include "isa/InstructionMatcherShapes.h"

namespace {

InProcessRun assemble(const std::string& source, bool direct, bool withList = true) {
  return runInProcess(source, {"--error-limit=0"}, &isa::directJumpLayout, direct, withList);
}

// Three jumps of the statement to the target make its shape and a record; the fourth, after
// `space` bytes, is the one measured. Backward, the label stands first; forward, after
// `after` bytes behind the fourth jump.
std::string jumpSource(const char* statement, bool backward, int space, int after) {
  std::string text = " .SDECL \".text\",CODE\n .SDECL \".other\",CODE\n .SECT \".other\"\nM0:\n nop\n";
  text += " .SECT \".text\"\n";
  if (backward) text += "T:\n";
  for (int i = 0; i < 3; ++i) text += std::string(" ") + statement + "\n";
  if (space > 0) text += " .SPACE " + std::to_string(space) + "\n";
  text += std::string(" ") + statement + "\n";
  if (!backward) {
    if (after > 0) text += " .SPACE " + std::to_string(after) + "\n";
    text += "T:\n nop\n";
  }
  return text;
}

TEST(JumpRecordLayoutTest, MeasuredDistanceMatchesTheLentForms) {
  struct Case {
    const char* name;
    const char* statement;
    bool backward;
    int space;       // bytes before the measured jump
    int after;       // bytes between the measured jump and a forward target
    bool direct;     // the record measures itself
    uint64_t emits;  // records written from the measured distance: those that reach
  };
  // "jne" reaches -32768..32766 bytes with its one hardware form; "j" -256..254 with its
  // short form and much further with its long one. The three jumps before the measured one
  // take 12 bytes with "jne", 6 with "j" when near.
  const Case cases[] = {
      {"jne near backward", "jne d1,d2,T", true, 100, 0, true, 2},
      {"jne backward at the edge", "jne d1,d2,T", true, 32756, 0, true, 2},
      {"jne backward past the edge", "jne d1,d2,T", true, 32758, 0, true, 1},
      {"jne backward odd distance", "jne d1,d2,T", true, 32755, 0, true, 1},
      {"jne far backward", "jne d1,d2,T", true, 70000, 0, true, 1},
      {"jne near forward", "jne d1,d2,T", false, 0, 100, true, 2},
      {"jne forward at the edge", "jne d1,d2,T", false, 0, 32762, true, 1},
      {"jne forward past the edge", "jne d1,d2,T", false, 0, 32764, true, 0},
      {"jne far forward", "jne d1,d2,T", false, 0, 70000, true, 0},
      {"j near backward", "j T", true, 100, 0, true, 2},
      {"j short form at the edge", "j T", true, 250, 0, true, 2},
      {"j short form past the edge", "j T", true, 252, 0, true, 1},
      {"j far backward", "j T", true, 70000, 0, true, 1},
      {"j near forward", "j T", false, 0, 100, true, 2},
      {"j far forward", "j T", false, 0, 70000, true, 0},
      {"jne other section", "jne d1,d2,M0", true, 100, 0, false, 0},
      {"j other section", "j M0", true, 100, 0, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = jumpSource(c.statement, c.backward, c.space, c.after);
    const InProcessRun lent = assemble(source, false);
    const InProcessRun direct = assemble(source, true);
    EXPECT_EQ(lent.taken, 0u);
    EXPECT_EQ(lent.emitted, 0u);
    EXPECT_EQ(direct.status, lent.status);
    EXPECT_EQ(direct.errors, lent.errors);
    EXPECT_TRUE(direct.object == lent.object) << "the objects differ";
    EXPECT_EQ(direct.list, lent.list);
    if (c.direct)
      EXPECT_GT(direct.taken, 0u);
    else
      EXPECT_EQ(direct.taken, 0u);
    EXPECT_EQ(direct.emitted, c.emits);
    // Without a list file the bytes are written from the shape's word.
    const InProcessRun lentBare = assemble(source, false, false);
    const InProcessRun bare = assemble(source, true, false);
    EXPECT_TRUE(bare.object == lentBare.object) << "the objects without a list file differ";
    EXPECT_EQ(bare.errors, lentBare.errors);
    EXPECT_EQ(bare.emitted, c.emits);
  }
}

}  // namespace
