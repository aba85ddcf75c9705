#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "output/ListPage.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

using listing::ListPager;

constexpr char kBanner[] = "BANNER v1\n";

// Runs the pager on an in-memory stream and returns what it wrote.
template <typename Work>
std::string written(Work work) {
  char* text = nullptr;
  size_t length = 0;
  FILE* stream = open_memstream(&text, &length);
  work(stream);
  std::fclose(stream);
  std::string result(text, length);
  std::free(text);
  return result;
}

std::vector<std::string> rowsOf(const std::string& text) {
  std::vector<std::string> rows;
  size_t from = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    rows.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return rows;
}

TEST(ListPageHeader, HeaderRowsKeepTheirColumns) {
  struct Case {
    const char* what;
    const char* title;
    const char* subtitle;
    int32_t width;
    int32_t leftMargin;
    bool cycles;
    const char* banner;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"no title: only the title columns are blank, Page ends one short of the width", nullptr, nullptr, 40, 0, true, kBanner,
       {"BANNER v1", std::string(31, ' ') + "Page   1", "", "ADDR CODE      CYCLES  LINE SOURCE LINE"}},
      {"a title and its blank put Page at the width's last nine columns", "Title", nullptr, 40, 0, true, kBanner,
       {"BANNER v1", std::string("Title") + std::string(27, ' ') + "Page   1", "",
        "ADDR CODE      CYCLES  LINE SOURCE LINE"}},
      {"a long title is cut so that Page keeps its place", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij", nullptr, 40, 0,
       true, kBanner,
       {"BANNER v1", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde Page   1", "", "ADDR CODE      CYCLES  LINE SOURCE LINE"}},
      {"a subtitle follows the title row, padded to the width", "T", "Sub", 40, 0, true, kBanner,
       {"BANNER v1", std::string("T") + std::string(31, ' ') + "Page   1", std::string("Sub") + std::string(37, ' '), "",
        "ADDR CODE      CYCLES  LINE SOURCE LINE"}},
      {"a subtitle without a title is not printed", nullptr, "Sub", 40, 0, true, kBanner,
       {"BANNER v1", std::string(31, ' ') + "Page   1", "", "ADDR CODE      CYCLES  LINE SOURCE LINE"}},
      {"without y the cycles title is gone", nullptr, nullptr, 40, 0, false, kBanner,
       {"BANNER v1", std::string(31, ' ') + "Page   1", "", "ADDR CODE      LINE SOURCE LINE"}},
      {"a left margin indents every header row but the subtitle", "T", "S", 44, 4, false, kBanner,
       {"    BANNER v1", std::string("    T") + std::string(31, ' ') + "Page   1", std::string("S") + std::string(39, ' '), "",
        "    ADDR CODE      LINE SOURCE LINE"}},
      {"a banner longer than the room is cut and still ends its row", nullptr, nullptr, 40, 0, false,
       "0123456789012345678901234567890123456789XYZ\n",
       {"0123456789012345678901234567890123456789", std::string(31, ' ') + "Page   1", "",
        "ADDR CODE      LINE SOURCE LINE"}},
  };
  for (const Case& c : cases) {
    ControlState state;
    state.listFlags = c.cycles ? uint32_t{ControlState::kListCycleCount} : 0u;
    std::string out = written([&](FILE* stream) {
      ListPager pager(stream, c.banner);
      pager.page.width = c.width;
      pager.page.leftMargin = c.leftMargin;
      pager.page.title = c.title;
      pager.page.subtitle = c.subtitle;
      pager.newPage(state);
      EXPECT_EQ(pager.page.linesOnPage, static_cast<int32_t>(c.expected.size())) << c.what;
    });
    EXPECT_EQ(rowsOf(out), c.expected) << c.what;
  }
}

TEST(ListPageHeader, PageNumberIsRightJustifiedInThreePlaces) {
  ControlState state;
  state.listFlags = 0;
  std::string out = written([&](FILE* stream) {
    ListPager pager(stream, kBanner);
    pager.page.width = 40;
    pager.page.length = 0;
    for (int page = 0; page < 7; ++page) pager.newPage(state);
  });
  std::vector<std::string> rows = rowsOf(out);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[rows.size() - 3], std::string(31, ' ') + "Page   7");
}

TEST(ListPagePaging, EntriesBreakAcrossPagesAtThePageLength) {
  struct Case {
    const char* what;
    int32_t length;
    int32_t bottomMargin;
    bool formFeed;
    std::vector<int32_t> entryRows;  // one line entry of that many rows each
    std::vector<size_t> bannerRows;  // rows (from 0) on which a page header starts
    size_t totalRows;
  };
  const Case cases[] = {
      {"page length 20: 16 entries fill the first page, the next header is row 21", 20, 0, false,
       std::vector<int32_t>(17, 1), {0, 20}, 20 + 4 + 1},
      {"a 3-row entry that does not fit moves whole to the next page", 20, 0, false,
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3}, {0, 20}, 20 + 4 + 3},
      {"a 4-row entry is split at the page end", 20, 0, false,
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 4}, {0, 20}, 20 + 4 + 2},
      {"the bottom margin keeps rows free", 20, 4, false, std::vector<int32_t>(13, 1), {0, 20}, 20 + 4 + 1},
      {"page length 0: one header, no breaks", 0, 0, false, std::vector<int32_t>(100, 1), {0}, 4 + 100},
      {"a form feed replaces the padding rows", 20, 0, true, std::vector<int32_t>(18, 1), {0, 20}, 20 + 4 + 2},
  };
  for (const Case& c : cases) {
    ControlState state;
    state.listFlags = c.formFeed ? uint32_t{ControlState::kListFurther1} : 0u;
    std::string out = written([&](FILE* stream) {
      ListPager pager(stream, kBanner);
      pager.page.width = 40;
      pager.page.length = c.length;
      pager.page.bottomMargin = c.bottomMargin;
      pager.newPage(state);
      for (size_t entry = 0; entry < c.entryRows.size(); ++entry) {
        std::string rows;
        for (int32_t row = 0; row < c.entryRows[entry]; ++row)
          rows += "entry " + std::to_string(entry) + " row " + std::to_string(row) + "\n";
        pager.writeEntry(state, rows, c.entryRows[entry], true);
      }
    });
    if (c.formFeed) {
      // The form feed stands at the start of the next banner row instead of blank rows.
      EXPECT_NE(out.find("\fBANNER"), std::string::npos) << c.what;
      std::string padded;
      for (char ch : out)
        if (ch != '\f') padded += ch;
      EXPECT_EQ(rowsOf(padded).size(), 20u + 4u + 2u) << c.what;
      continue;
    }
    std::vector<std::string> rows = rowsOf(out);
    std::vector<size_t> banners;
    for (size_t row = 0; row < rows.size(); ++row)
      if (rows[row] == "BANNER v1") banners.push_back(row);
    EXPECT_EQ(banners, c.bannerRows) << c.what;
    EXPECT_EQ(rows.size(), c.totalRows) << c.what;
  }
}

TEST(ListPagePaging, GapEntriesAreSplitRatherThanMoved) {
  ControlState state;
  state.listFlags = 0;
  std::string out = written([&](FILE* stream) {
    ListPager pager(stream, kBanner);
    pager.page.width = 40;
    pager.page.length = 20;
    pager.newPage(state);
    for (int entry = 0; entry < 14; ++entry) pager.writeEntry(state, "line\n", 1, true);
    pager.writeEntry(state, "gap 1\ngap 2\ngap 3\n", 3, false);
  });
  std::vector<std::string> rows = rowsOf(out);
  ASSERT_EQ(rows.size(), 20u + 4u + 1u);
  EXPECT_EQ(rows[18], "gap 1");
  EXPECT_EQ(rows[19], "gap 2");
  EXPECT_EQ(rows[20], "BANNER v1");
  EXPECT_EQ(rows[24], "gap 3");
}

// The lines of one expansion share a line number; the diagnostics of each are found
// among its own records, not among all of that number: writing those of N lines with
// one record each looks at N records, not N times N.
TEST(ListPageDiagnostics, EachLineReadsItsOwnRecordsOnly) {
  ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines |
                          ScopedManagers::kOptions);
  constexpr size_t kLines = 3000;
  std::vector<LineInfo> lines(kLines);
  for (size_t i = 0; i < kLines; ++i) {
    lines[i].lineNumber = 7;
    const std::string name = std::string("s").append(std::to_string(i));
    errorHandler()->report(E_symbol_undefined, &lines[i], name.c_str());
  }
  ControlState state;
  size_t read = 0;
  std::string text = written([&](FILE* stream) {
    ListPager pager(stream, kBanner);
    pager.page.length = 0;
    for (const LineInfo& line : lines) pager.writeDiagnostics(line, state);
    read = pager.recordsRead();
  });
  EXPECT_EQ(read, kLines);
  std::vector<std::string> rows = rowsOf(text);
  ASSERT_EQ(rows.size(), kLines);
  EXPECT_EQ(rows.front(), "vekt E205: [\"t.asm\" 7] unknown symbol \"s0\"");
  EXPECT_EQ(rows.back(), "vekt E205: [\"t.asm\" 7] unknown symbol \"s2999\"");
}

}  // namespace
