#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "output/MetricsAdmin.h"

namespace {

struct AmodeRow {
  std::vector<uint64_t> masks;
  uint32_t useCount;
};

struct Counters {
  uint32_t total = 0;
  uint32_t used = 0;
  uint32_t category = 0;
  uint32_t unit = 0;
  uint32_t parallelBlocks = 0;
  uint32_t inParallel = 0;
  uint32_t generic = 0;
  uint32_t inGeneric = 0;
  std::vector<AmodeRow> amodes = {};
};

void fill(MetricsAdmin& admin, const Counters& counters) {
  admin.total = counters.total;
  admin.mnemonicCounts[0] = counters.used;
  admin.categoryCounts[0] = counters.category;
  admin.unitCounts[0] = counters.unit;
  admin.parallelBlocks = counters.parallelBlocks;
  admin.inParallel = counters.inParallel;
  admin.generic = counters.generic;
  admin.inGeneric = counters.inGeneric;
  for (const AmodeRow& row : counters.amodes) {
    auto record = std::make_unique<MetricsAdmin::Amode>(static_cast<uint32_t>(row.masks.size()));
    record->masks = row.masks;
    record->useCount = row.useCount;
    admin.addAmode(0, std::move(record));
  }
}

const std::string kTitle = "\nMETRICS REPORT\n";
const std::string kEmpty = kTitle + "\nNo instructions used in the source file\n\n";

TEST(MetricsReportTest, NameColumnHoldsTheLongestName) {
  // "_none" is the longest name: a narrower column would lose counts on reading.
  EXPECT_EQ(MetricsAdmin().nameColumnWidth(), 5);
}

TEST(MetricsReportTest, ReportShowsEachBlockAsItsCountersAllow) {
  struct Case {
    const char* what;
    Counters counters;
    std::string expected;
  };
  const Case cases[] = {
      {"an empty administration", {}, kEmpty},
      {"total 0 hides every other counter",
       {.total = 0, .used = 5, .category = 3, .parallelBlocks = 2, .generic = 1},
       kEmpty},
      {"usage rows with their shares; no addressing records gives the plain count",
       {.total = 10, .used = 10, .category = 0, .unit = 4},
       kTitle +
           "\nInstruction usage\n\n\tTotal instruction count: 10\n\n"
           "\t_none        10 (100.00%)\n"
           "\nAddressing modes per instruction\n\n"
           "\t_none        10 ()\n"
           "\nInstruction categories\n\n\tNo information available\n"
           "\nExecution units\n\n\t_none         4 ( 40.00%)\n"
           "\n"},
      {"an unused catch-all mnemonic gives the empty unused list and a bare addressing title",
       {.total = 10, .used = 0, .category = 1},
       kTitle +
           "\nInstruction usage\n\n\tTotal instruction count: 10\n\n"
           "\nInstructions not used\n\n\tThe following instructions are not used:\n\n"
           "\nAddressing modes per instruction\n\n"
           "\nInstruction categories\n\n\t_none         1 ( 10.00%)\n"
           "\nExecution units\n\n\tNo information available\n"
           "\n"},
      {"addressing records: separators between known operands, later records indented past the name",
       {.total = 20,
        .used = 20,
        .amodes = {{{1, 2, 4}, 2}, {{}, 1}, {{0, 8}, 5}, {{1, 0, 1}, 12}}},
       kTitle +
           "\nInstruction usage\n\n\tTotal instruction count: 20\n\n"
           "\t_none        20 (100.00%)\n"
           "\nAddressing modes per instruction\n\n"
           "\t_none         2 (, , )\n"
           "\t              1 ()\n"
           "\t              5 ()\n"
           "\t             12 (, )\n"
           "\nInstruction categories\n\n\tNo information available\n"
           "\nExecution units\n\n\tNo information available\n"
           "\n"},
      {"parallel share counts a block once in place of its instructions; generic totals follow",
       {.total = 10, .used = 10, .parallelBlocks = 2, .inParallel = 4, .generic = 3, .inGeneric = 7},
       kTitle +
           "\nInstruction usage\n\n\tTotal instruction count: 10\n\n"
           "\t_none        10 (100.00%)\n"
           "\nAddressing modes per instruction\n\n\t_none        10 ()\n"
           "\nInstruction categories\n\n\tNo information available\n"
           "\nExecution units\n\n\tNo information available\n"
           "\n"
           "Parallel instructions\n\n"
           "\tTotal parallel blocks:          2 ( 25.00%)\n"
           "\tTotal instructions:             4 ( 40.00%)\n\n"
           "Generic instructions\n\n"
           "\tTotal generic instructions:          3\n"
           "\tTotal instructions:                  7\n\n"},
      {"a share of 1000 percent or more widens its field",
       {.total = 2, .used = 25, .category = 4000000000u},
       kTitle +
           "\nInstruction usage\n\n\tTotal instruction count: 2\n\n"
           "\t_none        25 (1250.00%)\n"
           "\nAddressing modes per instruction\n\n\t_none        25 ()\n"
           "\nInstruction categories\n\n\t_none4000000000 (200000000000.00%)\n"
           "\nExecution units\n\n\tNo information available\n"
           "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MetricsAdmin admin;
    fill(admin, c.counters);
    std::string report;
    admin.writeReport(report);
    EXPECT_EQ(report, c.expected);
  }
}

TEST(MetricsReportTest, EqualCombinationsMergeAndOthersKeepTheirOrder) {
  MetricsAdmin admin;
  fill(admin, {.amodes = {{{1, 1}, 2}, {{1}, 1}, {{1, 1}, 3}, {{}, 4}, {{}, 1}, {{1, 2}, 6}}});
  std::vector<std::pair<std::vector<uint64_t>, uint32_t>> kept;
  for (const auto& [mnemonic, record] : admin.amodes()) kept.emplace_back(record->masks, record->useCount);
  const std::vector<std::pair<std::vector<uint64_t>, uint32_t>> expected = {
      {{1, 1}, 5}, {{1}, 1}, {{}, 5}, {{1, 2}, 6}};
  EXPECT_EQ(kept, expected);
}

}  // namespace
