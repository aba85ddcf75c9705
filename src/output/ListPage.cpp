#include "output/ListPage.h"

#include <algorithm>
#include <cstring>

#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace listing {

namespace {

// No option or control sets it yet; a state that has it separates pages with a
// form feed rather than blank rows.
constexpr uint32_t kListFormFeed = ControlState::kListFurther1;

// The title row keeps "Page" in this many columns from the right edge.
constexpr int32_t kPageColumnWidth = 9;

void writeBlanks(FILE* out, int32_t count) {
  for (; count > 0; --count) std::fputc(' ', out);
}

}  // namespace

void ListPageState::takeSettings(const ControlState& state) {
  ControlState::PageLayout layout = state.getPageLayout();
  width = layout.width;
  length = layout.length;
  topMargin = layout.topMargin;
  bottomMargin = layout.bottomMargin;
  leftMargin = layout.leftMargin;
  title = layout.title;
  subtitle = layout.subtitle;
  keepTogether = layout.layoutValue1;
}

ListPager::ListPager(FILE* out, const char* banner) : out_(out), banner_(banner ? banner : "") {}

void ListPager::newPage(const ControlState& state) {
  if (page.pageNumber != 0) {
    if (state.listFlags & kListFormFeed) {
      std::fputc('\f', out_);
    } else {
      for (; page.linesOnPage < page.length; ++page.linesOnPage) std::fputc('\n', out_);
    }
  }
  ++page.pageNumber;
  page.linesOnPage = 0;
  for (int32_t row = 0; row < page.topMargin; ++row, ++page.linesOnPage) std::fputc('\n', out_);

  const int32_t room = std::max(page.width - page.leftMargin, 0);
  writeBlanks(out_, page.leftMargin);
  size_t bannerLength = std::strlen(banner_);
  std::fwrite(banner_, 1, std::min(bannerLength, static_cast<size_t>(room)), out_);
  if (bannerLength > static_cast<size_t>(room) || bannerLength == 0) std::fputc('\n', out_);
  ++page.linesOnPage;

  // A title is followed by one blank before "Page"; without a title only the title's
  // own columns are filled, so "Page" then stands one column further left.
  const int32_t titleWidth = std::max(room - kPageColumnWidth, 0);
  writeBlanks(out_, page.leftMargin);
  if (page.title)
    std::fprintf(out_, "%-*.*s ", titleWidth, titleWidth, page.title);
  else
    writeBlanks(out_, titleWidth);
  std::fprintf(out_, "Page %3d\n", page.pageNumber);
  ++page.linesOnPage;

  if (page.title && page.subtitle) {
    std::fprintf(out_, "%-*.*s\n", room, room, page.subtitle);
    ++page.linesOnPage;
  }
  std::fputc('\n', out_);
  ++page.linesOnPage;

  writeBlanks(out_, page.leftMargin);
  std::fputs("ADDR CODE    ", out_);
  if (state.listing(ControlState::kListCycleCount)) std::fputs("  CYCLES", out_);
  std::fputs("  LINE SOURCE LINE\n", out_);
  ++page.linesOnPage;
}

void ListPager::writeSplit(const ControlState& state, std::string_view text) {
  size_t from = 0;
  while (from < text.size()) {
    size_t lineEnd = text.find('\n', from);
    if (lineEnd == std::string_view::npos) {
      std::fwrite(text.data() + from, 1, text.size() - from, out_);
      return;
    }
    std::fwrite(text.data() + from, 1, lineEnd + 1 - from, out_);
    from = lineEnd + 1;
    ++page.linesOnPage;
    if (page.full()) newPage(state);
  }
}

void ListPager::writeEntry(const ControlState& state, std::string_view rows, int32_t rowCount, bool lineEntry) {
  const int32_t usable = page.length - page.bottomMargin;
  if (lineEntry && page.pagingOn() && page.linesOnPage + rowCount > usable && rowCount < page.keepTogether)
    newPage(state);
  if (!page.pagingOn() || page.linesOnPage + rowCount <= usable) {
    std::fwrite(rows.data(), 1, rows.size(), out_);
    page.linesOnPage += rowCount;
    if (page.full()) newPage(state);
    return;
  }
  writeSplit(state, rows);
}

void ListPager::writeEndText(const ControlState& state, std::string_view text) {
  if (page.full() && page.keepTogether > 1) newPage(state);
  if (!page.full()) {
    std::fwrite(text.data(), 1, text.size(), out_);
    ++page.linesOnPage;
    if (page.full()) newPage(state);
    return;
  }
  writeSplit(state, text);
}

void ListPager::writeDiagnostics(const LineInfo& line, const ControlState& state) {
  ErrorHandler* handler = errorHandler();
  // Asked of the line's own records: the lines of one expansion share a line number,
  // and a walk of all the records of that number for each of them grows with the
  // square of the expansion.
  handler->recordsAt(&line, diagnostics_);
  recordsRead_ += diagnostics_.size();
  for (const ErrorLine* record : diagnostics_) {
    if (page.full()) newPage(state);
    handler->writeLine(out_, record);
    ++page.linesOnPage;
    if (page.full()) newPage(state);
  }
}

}  // namespace listing
