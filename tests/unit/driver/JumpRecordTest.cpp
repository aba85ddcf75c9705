// Generic jumps that repeat the text of one before them but for the target share that
// jump's forms in a small record. Over jumps of every generic kind, with targets behind and
// ahead, near and far, undefined, external, in another section, with a value of their own,
// named after .GLOBAL or .EXTERN, with blanks and comments around them, the object, the
// list file, the diagnostics and the status must come out byte for byte as the jumps' own
// forms make them, in full runs and in checks.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "InProcessRun.h"
#include "isa/InstructionMatcherShapes.h"

namespace {

// Assembles the source with the jump records on or off and the options given.
InProcessRun assemble(const std::string& source, bool records, std::vector<std::string> options) {
  options.insert(options.begin(), "--error-limit=0");
  return runInProcess(source, options, &isa::jumpRecords, records);
}

struct SourceKind {
  const char* name;
  bool defects;      // a defect control, which makes the defect scan read every form
  bool bindings;     // .GLOBAL and .EXTERN between the jumps
  bool closingLabel;  // a label after the last jump of a section
  bool errors;        // jumps of short forms alone, many out of reach
  uint32_t leastTaken;  // jumps that repeat the text of one before them but for the target
};

// Jumps drawn at random over two code sections with blocks of reserved space between the
// labels: a target can lie within a short form's reach, within the long form's, beyond
// both, or in the other section.
std::string jumpSource(uint32_t seed, const SourceKind& kind) {
  std::mt19937 random(seed);
  const char* kinds[] = {
      " jne d1,d2,%",  " jeq d3,#5,%",    " jge.u d4,d5,%", " jlt d1,#-3,%",       " jne.a a2,a3,%",
      " jz.a a3,%",    " jnz.a a4,%",     " loop a2,%",     " jz.t d1:3,%",        " jnz.t d2:31,%",
      " jeq d15,#0,%", " jned d6,#2,%",   " jge d7,d8,%",   " jne d1, d2, %",      " jne d1,d2,%  ; near or far",
      " j %",          " j  %",           " jne d1,d2, %",  " jl %",               " call %",
      " jeq d15,d2,%", " j %  ; long or short",
  };
  // Short forms alone: a target out of their reach is an error.
  const char* shortOnly[] = {" jz d15,%", " jnz d2,%"};
  const char* odd[] = {"ext_fn", "ahead_value", "L0", "undefined_name", "M1", "back_value", "d3", "a2"};
  std::ostringstream text;
  if (kind.defects) text << "$CPU_TC013 ON\n";
  text << " .EXTERN ext_fn\n .SDECL \".text\",CODE\n .SDECL \".other\",CODE\n";
  text << " .SECT \".other\"\nM0:\n nop\nM1:\n nop\n";
  text << " .SECT \".text\"\nL0:\nback_value .SET L0+2\nahead_value .SET L0+4\n";
  const uint32_t labels = 100;
  bool other = false;
  for (uint32_t line = 0; line < 1200; ++line) {
    if (line % 12 == 0 && line > 0 && !other) text << "L" << line / 12 << ":\n";
    if (random() % 40 == 0) text << " .SPACE " << (random() % 2 ? 200 : 40000) << "\n";
    if (kind.bindings && random() % 50 == 0) text << (random() % 2 ? " .GLOBAL L" : " .EXTERN X") << random() % labels << "\n";
    if (random() % 150 == 0) {
      // A stretch in the other section, where the labels L are another section's.
      if (kind.closingLabel) text << "E" << line << ":\n";
      other = !other;
      text << (other ? " .SECT \".other\"\n" : " .SECT \".text\"\n");
    }
    std::string target;
    switch (random() % 10) {
      case 0:
        target = odd[random() % std::size(odd)];
        break;
      case 1:
      case 2:
        target = std::string("L").append(std::to_string(random() % labels));
        break;
      default:
        target = std::string("L").append(std::to_string((line / 12 + random() % 3) % labels));
        break;
    }
    std::string statement = kind.errors && random() % 4 == 0 ? shortOnly[random() % std::size(shortOnly)]
                                                              : kinds[random() % std::size(kinds)];
    statement.replace(statement.find('%'), 1, target);
    text << statement << "\n";
  }
  if (kind.closingLabel) text << "closing:\n";
  return text.str();
}

const SourceKind kKinds[] = {
    {"plain", false, false, false, false, 250},
    {"bindings", false, true, false, false, 100},
    {"closing labels", false, false, true, false, 250},
    {"defect checks", true, false, false, false, 250},
    {"errors", false, false, false, true, 0},
};

TEST(JumpRecordTest, JumpsComeOutAsTheirOwnFormsMakeThem) {
  const std::vector<std::vector<std::string>> optionSets = {{}, {"-g"}, {"--check"}, {"-OG"}};
  for (const SourceKind& kind : kKinds) {
    for (uint32_t seed : {1u, 2u}) {
      const std::string source = jumpSource(seed, kind);
      for (const std::vector<std::string>& options : optionSets) {
        SCOPED_TRACE(testing::Message() << kind.name << ", seed " << seed << ", options "
                                        << (options.empty() ? "none" : options.front()));
        const InProcessRun own = assemble(source, false, options);
        const InProcessRun shared = assemble(source, true, options);
        EXPECT_EQ(own.taken, 0u);
        EXPECT_EQ(shared.status, own.status);
        EXPECT_EQ(shared.errors, own.errors);
        EXPECT_TRUE(shared.object == own.object) << "the objects differ";
        EXPECT_EQ(shared.list, own.list);
        if (options.empty() && kind.errors) {
          EXPECT_FALSE(own.errors.empty());
        }
        EXPECT_GE(shared.taken, kind.leastTaken);
        if (options.empty() && !kind.errors) {
          ASSERT_FALSE(own.object.empty());
          ASSERT_FALSE(own.list.empty());
        }
      }
    }
  }
}

// The texts the repeated-statement tables key by run to 46 characters, longer than a
// slot of plain statements holds: jumps whose text or target name fill that room share
// their forms as well, and nothing is written beyond the room the target's name is read
// into (a sanitizer build catches that).
TEST(JumpRecordTest, LongTextsAndTargetNamesShareTheirForms) {
  struct Case {
    const char* statement;  // % stands for the target
    const char* name;       // the target's name, numbered per label
    bool shared;            // whether the text fits the room the tables key by
  };
  const Case cases[] = {
      {" jne d1,d2,%", "a_target_name_of_thirty_five_chars", true},
      {" jne.a a2,a3,%", "label_name_twenty_four__", true},
      {" jeq d3,#5,%", "t", true},
      {" jge.u d4,d5,%", "longer_than_a_plain_slot_", true},
      {" jne.a a2,a3,%", "label_name_thirty_eight_characters_", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    std::string source = " .SDECL \".text\",CODE\n .SECT \".text\"\n";
    for (int label = 0; label < 12; ++label) {
      std::string name = c.name;
      name += std::to_string(label);
      source += name;
      source += ":\n";
      for (int jump = 0; jump < 3; ++jump) {
        std::string statement = c.statement;
        statement.replace(statement.find('%'), 1, name);
        source += statement;
        source += "\n nop\n";
      }
    }
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, std::vector<std::string>{"--check"}}) {
      const InProcessRun own = assemble(source, false, options);
      const InProcessRun shared = assemble(source, true, options);
      EXPECT_EQ(own.status, 0) << own.errors;
      EXPECT_EQ(shared.status, own.status);
      EXPECT_EQ(shared.errors, own.errors);
      EXPECT_TRUE(shared.object == own.object) << "the objects differ";
      EXPECT_EQ(shared.list, own.list);
      EXPECT_EQ(shared.taken > 0, c.shared) << (options.empty() ? "full" : "check");
    }
  }
}

}  // namespace
