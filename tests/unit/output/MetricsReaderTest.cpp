#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "output/MetricsAdmin.h"

namespace {

TEST(MetricsReaderTest, CountLineTakesTheNameColumnThenTheCount) {
  struct Case {
    const char* line;
    const char* name;
    uint32_t count;
  };
  const Case cases[] = {
      {"\t_none        12 (100.00%)", "_none", 12},
      {"\t_none4000000000 (1.00%)", "_none", 4000000000u},
      {"\t_none", "_none", 0},
      {"\t_no", "_no", 0},
      {"ab   7", "ab", 7},
      {"\tNo information available", "No in", 0},
      // A tab before another blank counts 8: deeper than a row's own tab, so the
      // line continues the row before it.
      {"\t              3 ()", "", 3},
      {"\t            42", "", 42},
      {"\t\tx 5", "", 0},
      // Eight single blanks are still a row.
      {"        _none  9", "_none", 9},
      // "%lu" semantics: a sign is read, and the count keeps its low 32 bits.
      {"_none-1", "_none", 4294967295u},
      {"_none4294967297", "_none", 1},
      {"", "", 0},
  };
  MetricsAdmin admin;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string name = "stale";
    uint32_t count = 99;
    admin.parseCountLine(c.line, name, count);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(count, c.count);
  }
}

TEST(MetricsReaderTest, AmodeLineYieldsOneMaskPerOperandInTheLastParentheses) {
  constexpr uint64_t kSeen = uint64_t{1} << 63;
  struct Case {
    const char* line;
    bool record;
    std::vector<uint64_t> masks;
  };
  const Case cases[] = {
      {"\t_none        10 ()", false, {}},
      {"\t_none        10", false, {}},
      {"\t_none         1 ( )", true, {0}},
      {"\t_none         2 (, , )", true, {0, 0, 0}},
      {"\t_none         2 (reg, imm)", true, {kSeen, kSeen}},
      {"\t_none         2 (reg,,)", true, {kSeen, 0, 0}},
      {"(a) x (b, c)", true, {kSeen, kSeen}},
      {"x (", true, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::unique_ptr<MetricsAdmin::Amode> record = MetricsAdmin::parseAmodeLine(c.line);
    ASSERT_EQ(record != nullptr, c.record);
    if (!record) continue;
    EXPECT_EQ(record->masks, c.masks);
    EXPECT_EQ(record->useCount, 1u);
  }
}

struct Totals {
  uint32_t total, used, category, unit, parallelBlocks, inParallel, generic, inGeneric;
  std::vector<uint32_t> amodeUses;
  bool operator==(const Totals&) const = default;
};

Totals totalsOf(const MetricsAdmin& admin) {
  Totals totals{admin.total,          admin.mnemonicCounts[0], admin.categoryCounts[0], admin.unitCounts[0],
                admin.parallelBlocks, admin.inParallel,        admin.generic,           admin.inGeneric,
                {}};
  for (const auto& [mnemonic, record] : admin.amodes()) totals.amodeUses.push_back(record->useCount);
  return totals;
}

void PrintTo(const Totals& t, std::ostream* os) {
  *os << "total " << t.total << " used " << t.used << " category " << t.category << " unit " << t.unit
      << " parallel " << t.parallelBlocks << "/" << t.inParallel << " generic " << t.generic << "/"
      << t.inGeneric << " amodes " << t.amodeUses.size();
}

TEST(MetricsReaderTest, ReportTextsAddUpByBlock) {
  struct Case {
    const char* what;
    const char* text;
    Totals expected;
  };
  const Case cases[] = {
      {"the total is rebuilt from the rows, not read",
       "\nMETRICS REPORT\n\nInstruction usage\n\n\tTotal instruction count: 99\n\n\t_none         5 (100.00%)\n",
       {5, 5, 0, 0, 0, 0, 0, 0, {}}},
      {"titles match without regard to case",
       "INSTRUCTION USAGE\n\n\tTotal instruction count: 99\n\n\t_none  5\nExecution UNITS\n\t_none  2\n",
       {5, 5, 0, 2, 0, 0, 0, 0, {}}},
      {"a title with a trailing blank is no title",
       "Instruction usage \n\n\tTotal instruction count: 99\n\n\t_none  5\n",
       {0, 0, 0, 0, 0, 0, 0, 0, {}}},
      {"the empty report adds nothing",
       "\nMETRICS REPORT\n\nNo instructions used in the source file\n\n",
       {0, 0, 0, 0, 0, 0, 0, 0, {}}},
      {"rows of the unused list are ignored",
       "Instructions not used\n\n\tThe following instructions are not used:\n\t_none  7\n",
       {0, 0, 0, 0, 0, 0, 0, 0, {}}},
      {"addressing rows merge by combination under the row's count",
       "Addressing modes per instruction\n\n\t_none         2 (, , )\n\t              1 ( )\n"
       "\t              4 (, , )\n\t              8 ()\n",
       {0, 0, 0, 0, 0, 0, 0, 0, {6, 1}}},
      {"the parallel block reads two totals and passes over a breakdown up to a blank line",
       "Parallel instructions\n\n\tTotal parallel blocks:  2 ( 25.00%)\n\tTotal instructions:    4 ( 40.00%)\n"
       "\tPer mnemonic\n\theading\n\t_none  9\n\n"
       "Instruction categories\n\n\t_none         3 ( 10.00%)\n",
       {0, 0, 3, 0, 2, 4, 0, 0, {}}},
      {"generic totals are the numbers after the last colon of two lines",
       "Generic instructions\n\n\tTotal generic instructions: 3\n\tTotal: instructions: 7\n",
       {0, 0, 0, 0, 0, 0, 3, 7, {}}},
      {"lines without a number count 0",
       "Generic instructions\n\tnothing here\n\tTotal: none\nParallel instructions\n\tx\n",
       {0, 0, 0, 0, 0, 0, 0, 0, {}}},
      {"a report cut short keeps what it had",
       "Parallel instructions\n\n\tTotal parallel blocks: 6",
       {0, 0, 0, 0, 6, 0, 0, 0, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MetricsAdmin admin;
    std::istringstream in(c.text);
    admin.readMetrics(in);
    EXPECT_EQ(totalsOf(admin), c.expected);
  }
}

TEST(MetricsReaderTest, MergingAWrittenReportWithItselfDoublesEveryCount) {
  MetricsAdmin written;
  written.total = 10;
  written.mnemonicCounts[0] = 10;
  written.categoryCounts[0] = 6;
  written.unitCounts[0] = 4;
  written.parallelBlocks = 2;
  written.inParallel = 4;
  written.generic = 3;
  written.inGeneric = 7;
  for (auto [operands, uses] : {std::pair{3u, 7u}, std::pair{2u, 3u}}) {
    auto record = std::make_unique<MetricsAdmin::Amode>(operands);
    for (uint64_t& mask : record->masks) mask = 1;
    record->useCount = uses;
    written.addAmode(0, std::move(record));
  }
  std::string report;
  written.writeReport(report);

  MetricsAdmin merged;
  for (int copy = 0; copy < 2; ++copy) {
    std::istringstream in(report);
    merged.readMetrics(in);
  }
  EXPECT_EQ(totalsOf(merged), (Totals{20, 20, 12, 8, 4, 8, 6, 14, {14, 6}}));
}

}  // namespace
