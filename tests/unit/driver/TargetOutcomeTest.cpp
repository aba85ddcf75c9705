// Generic jumps that differ from one assembled before only in their target take the kept
// outcome of that jump: over many jumps of every generic kind, with targets behind and
// ahead, near and far (so that layout takes the short form, the long form or the
// expansion), undefined names and names with a value of their own, the object and the list
// file must come out byte for byte as the full expansion of every jump makes them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "isa/InstructionMatcherShapes.h"
#include "util/OrbaFactory.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Assembled {
  int status = 0;
  std::string object;
  std::string list;
  uint64_t taken = 0;
};

// Assembles the source with the kept outcomes on or off, the list file alongside, or only
// checks it.
Assembled assemble(const std::string& source, bool kept, bool check = false) {
  // Named for the process: test runs of other build trees share the temporary folder.
  const std::string base = testing::TempDir() + "target_outcome_" + std::to_string(getpid());
  const std::string input = base + ".asm";
  const std::string object = base + ".o";
  const std::string list = base + ".lst";
  std::ofstream(input, std::ios::binary) << source;
  std::remove(object.c_str());
  std::remove(list.c_str());
  std::vector<std::string> words = {"vekt", "--list-file=" + list, "-o", object, input};
  if (check) words = {"vekt", "--check", input};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  Assembled made;
  {
    TriCoreFactory factory;
    TriCoreAssembler assembler(static_cast<int>(words.size()), argv.data(), &factory);
    isa::targetOutcomes().enabled = kept;
    made.status = assembler.run();
    made.taken = isa::targetOutcomes().taken;
  }
  made.object = readFile(object);
  made.list = readFile(list);
  for (const std::string& path : {input, object, list}) std::remove(path.c_str());
  return made;
}

// Jumps of every generic kind, in the order drawn, to labels spread over a section with
// blocks of reserved space between them: a target can lie within a short form's reach,
// within the long form's, or beyond both.
std::string jumpSource(uint32_t seed) {
  std::mt19937 random(seed);
  const char* kinds[] = {
      " jne d1,d2,%",  " jeq d3,#5,%",   " jge.u d4,d5,%", " jlt d1,#-3,%", " jne.a a2,a3,%", " jz.a a3,%",
      " jnz.a a4,%",   " loop a2,%",     " jz.t d1:3,%",   " jnz.t d2:31,%", " jeq d15,#0,%",  " jned d6,#2,%",
      " jge d7,d8,%",  " jne d1, d2, %", " jne d1,d2,%  ; far or near",
  };
  const char* odd[] = {"ext_fn", "ahead_value", "L0"};
  std::ostringstream text;
  text << " .SDECL \".text\",CODE\n .SECT \".text\"\n";
  text << "L0:\nahead_value .SET L0+4\n";
  const uint32_t labels = 120;
  for (uint32_t line = 0; line < 1500; ++line) {
    if (line % 12 == 0 && line > 0) text << "L" << line / 12 << ":\n";
    if (random() % 40 == 0) text << " .SPACE " << (random() % 2 ? 200 : 20000) << "\n";
    std::string target;
    switch (random() % 8) {
      case 0:
        target = odd[random() % 3];
        break;
      case 1:
      case 2:
        target = std::string("L").append(std::to_string(random() % labels));
        break;
      default:
        // Near the jump, before or after it.
        target = std::string("L").append(std::to_string((line / 12 + random() % 3) % labels));
        break;
    }
    std::string statement = kinds[random() % std::size(kinds)];
    statement.replace(statement.find('%'), 1, target);
    text << statement << "\n";
  }
  return text.str();
}

TEST(TargetOutcomeTest, JumpsComeOutAsTheirFullExpansionMakesThem) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    const std::string source = jumpSource(seed);
    const Assembled full = assemble(source, false);
    const Assembled kept = assemble(source, true);
    EXPECT_EQ(full.taken, 0u);
    // Most jumps repeat the text of one before them but for the target.
    EXPECT_GT(kept.taken, 500u);
    EXPECT_EQ(kept.status, full.status);
    ASSERT_FALSE(full.object.empty());
    EXPECT_TRUE(kept.object == full.object) << "the objects differ";
    ASSERT_FALSE(full.list.empty());
    EXPECT_EQ(kept.list, full.list);
  }
}

// A check decides a generic jump without its lines: the kept outcome serves it as well.
TEST(TargetOutcomeTest, CheckedJumpsTakeTheKeptOutcome) {
  const std::string source = jumpSource(4) + " jne d1,d2,\n jne d1,d2,L0+\n";
  const Assembled full = assemble(source, false, true);
  const Assembled kept = assemble(source, true, true);
  EXPECT_EQ(full.taken, 0u);
  EXPECT_GT(kept.taken, 500u);
  EXPECT_NE(full.status, 0);
  EXPECT_EQ(kept.status, full.status);
}

}  // namespace
