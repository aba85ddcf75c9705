// Pages of the list file: the page header, where formatted entries and the end
// text break across pages, and the diagnostics written under their line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "util/ErrorHandler.h"

class ControlState;
struct LineInfo;

namespace listing {

struct ListPageState {
  int32_t pageNumber = 0;   // 0 before the first page
  int32_t linesOnPage = 0;  // rows on the current page, header included
  int32_t width = 132;
  int32_t length = 72;  // 0: no paging
  int32_t topMargin = 0;
  int32_t bottomMargin = 0;
  int32_t leftMargin = 0;
  const char* title = nullptr;
  const char* subtitle = nullptr;
  int32_t keepTogether = 4;  // entries of fewer rows are not split across pages

  void takeSettings(const ControlState& state);
  bool pagingOn() const { return length != 0; }
  bool full() const { return length != 0 && linesOnPage >= length - bottomMargin; }
};

class ListPager {
 public:
  // banner: the program's version line with its newline.
  ListPager(FILE* out, const char* banner);

  // Ends the current page and writes the next header; state decides the form
  // feed and the cycles title.
  void newPage(const ControlState& state);
  // Writes rowCount rows; a line entry that would be split and is short moves to
  // the next page whole, a gap entry never does.
  void writeEntry(const ControlState& state, std::string_view rows, int32_t rowCount, bool lineEntry);
  // The text after the last line, counted as one row.
  void writeEndText(const ControlState& state, std::string_view text);
  // The diagnostics recorded at the line, one row each.
  void writeDiagnostics(const LineInfo& line, const ControlState& state);
  // The records writeDiagnostics has looked at so far.
  size_t recordsRead() const { return recordsRead_; }

  ListPageState page;

 private:
  void writeSplit(const ControlState& state, std::string_view text);

  FILE* out_;
  const char* banner_;
  std::vector<const ErrorLine*> diagnostics_;  // the records of a line, reused
  size_t recordsRead_ = 0;
};

}  // namespace listing
