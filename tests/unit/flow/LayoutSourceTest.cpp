// Layout of parsed source: the section sizes and label values the optimiser settles
// for real instruction, data and reset nodes.
#include <cstring>

#include "expr/OrbaExpression.h"
#include "flow/OrbaOptimizer.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "parser/ParseFixture.h"

namespace {

class LayoutSourceTest : public ParseTest {
 protected:
  Section* sectionNamed(const char* name) const {
    for (Section* section : runState().sectionAdmin->sections())
      if (section->getName() && std::strcmp(section->getName(), name) == 0) return section;
    return nullptr;
  }
};

TEST_F(LayoutSourceTest, SectionSizesFollowTheFormsThatFit) {
  struct Case {
    const char* name;
    std::vector<const char*> source;
    const char* section;
    uint32_t size;
  };
  const Case cases[] = {
      // The 16-bit jump cannot reach 300 bytes on: the 32-bit form is taken.
      {"far jump", {" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", " j L1", " .SPACE 300", "L1:"}, ".text.t", 0x130},
      {"near jump", {" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", " j L1", " .SPACE 10", "L1:"}, ".text.t", 0xC},
      {"backward jump", {" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", "L0:", " .SPACE 300", " j L0"}, ".text.t",
       0x130},
      // Too far for the conditional jump's 15-bit displacement: the generic expands
      // to the inverted jump over a long jump.
      {"far generic jump",
       {" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", " jeq d0,#3,far", " .SPACE 40000", "far:"},
       ".text.t",
       8 + 40000},
      {"near generic jump",
       {" .SDECL \".text.t\",CODE", " .SECT \".text.t\"", " jeq d0,#3,near", " .SPACE 400", "near:"},
       ".text.t",
       4 + 400},
      // The parts of a max section lie over one another: the largest decides.
      {"max section",
       {" .SDECL \"m.sec\",DATA,max", " .SECT \"m.sec\"", " .BYTE 1,2,3", " .SECT \"m.sec\",RESET", " .BYTE 4"},
       "m.sec",
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each source gets managers and sections of its own, gone before the next.
    ScopedManagers fresh{ScopedManagers::kAll};
    SectionAdmin* saved = runState().sectionAdmin;
    runState().sectionAdmin = new SectionAdmin();
    runState().placeholderSection = nullptr;
    parse(c.source);
    EXPECT_TRUE(diagnostics().empty());
    OrbaOptimizer optimizer;
    optimizer.run();
    Section* section = sectionNamed(c.section);
    EXPECT_NE(section, nullptr);
    if (section) {
      EXPECT_TRUE(section->laidOut);
      EXPECT_EQ(section->size, c.size);
    }
    delete runState().sectionAdmin;
    runState().sectionAdmin = saved;
    runState().placeholderSection = nullptr;
  }
}

}  // namespace
