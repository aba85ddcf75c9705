#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "flow/FlowFixture.h"
#include "flow/Section.h"
#include "output/ObjectFile.h"

namespace {

// What the summary prints before the first section line, whatever sections follow.
const std::string kHeader =
    "\nSection summary:\n\n"
    "Name                              Size        Cycles    Address       \n"
    "----------------------------------------------------------------------\n";
const std::string kTypeHeader =
    "\nSection summary per section type:\n\n"
    "Type               Size        Cycles\n"
    "----------------------------------------\n";

struct SectionSpec {
  const char* name;
  int32_t type;
  uint32_t size;
  uint64_t cycles;
  bool debug;        // hidden from the listing
  bool placeholder;  // the section current before any section directive
};

class SectionSummaryTest : public FlowTest {
 protected:
  // The summary as printed to a stream.
  static std::string summary() {
    char* text = nullptr;
    size_t length = 0;
    FILE* stream = open_memstream(&text, &length);
    printSectionSummary(stream);
    std::fclose(stream);
    std::string printed(text, length);
    std::free(text);
    return printed;
  }
};

TEST_F(SectionSummaryTest, ListsSectionsThenTotalsPerTypeInTypeOrder) {
  struct Case {
    const char* what;
    std::vector<SectionSpec> sections;
    std::string expected;
  };
  const Case cases[] = {
      {"no sections at all print nothing", {}, ""},
      {"the placeholder alone gives the header and no line",
       {{"placeholder", Section::kCode, 8, 3, false, true}},
       kHeader},
      {"sections without a type are listed but not totalled",
       {{"a", Section::kNoType, 4, 0, false, false}, {"b", Section::kNoType, 2, 0, false, false}},
       kHeader + "a                                 0x000004    -         -             \n" +
           "b                                 0x000002    -         -             \n"},
      {"totals are summed per type, code before data whatever the section order",
       {{"placeholder", Section::kCode, 100, 100, false, true},
        {".data.x", Section::kData, 0x10, 0, false, false},
        {".text.a", Section::kCode, 0x130, 5, false, false},
        {".text.b", Section::kCode, 0x4, 2, false, false}},
       kHeader + ".data.x                           0x000010    -         -             \n" +
           ".text.a                           0x000130    000005    -             \n" +
           ".text.b                           0x000004    000002    -             \n" + kTypeHeader +
           "code               0x000134    000007\n" + "data               0x000010    -     \n"},
      {"a hidden debug section still counts towards its type",
       {{".debug_info", Section::kDebug, 0x20, 0, true, false}, {".text", Section::kCode, 2, 0, false, false}},
       kHeader + ".text                             0x000002    -         -             \n" + kTypeHeader +
           "code               0x000002    -     \n" + "debug              0x000020    -     \n"},
      {"an unknown type name is cut; a large cycle total widens its column",
       {{"odd", 7, 1, 0, false, false},
        {"c1", Section::kRomData, 3, 999999, false, false},
        {"c2", Section::kRomData, 3, 2, false, false}},
       kHeader + "odd                               0x000001    -         -             \n" +
           "c1                                0x000003    999999    -             \n" +
           "c2                                0x000003    000002    -             \n" + kTypeHeader +
           "**UNKNOWN SE...    0x000001    -     \n" + "romdata            0x000006    1000001\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    delete runState().sectionAdmin;
    runState().sectionAdmin = new SectionAdmin();
    runState().placeholderSection = nullptr;
    for (const SectionSpec& spec : c.sections) {
      Section* made = section(spec.name);
      made->type = spec.type;
      made->size = spec.size;
      made->cycles = spec.cycles;
      if (spec.debug) made->flags.bytes[0] |= Section::SectionFlags::kDebugBit;
      if (spec.placeholder) runState().placeholderSection = made;
    }
    EXPECT_EQ(summary(), c.expected);
  }
}

}  // namespace
