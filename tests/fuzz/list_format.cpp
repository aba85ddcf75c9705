// List rows from arbitrary source text and code text: every entry ends, counts
// the rows it writes, and keeps its rows within the page width.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "output/ListLine.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Eight bytes of settings, then the code text up to the first NUL, then the source text.
  if (size < 8) return 0;
  ControlState state;
  state.listFlags = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                    (static_cast<uint32_t>(data[2]) << 16);
  state.layoutValue2 = static_cast<int16_t>(data[3] % 17);  // tab width, 0 meaning the default
  listing::RowLayout layout;
  layout.pageWidth = 40 + data[4];
  layout.leftMargin = data[5] % (layout.pageWidth - 39);
  LineInfo line;
  line.flags[0] = data[6];
  line.flags[1] = static_cast<uint8_t>(data[7] & 0x7F);
  line.flags[2] = static_cast<uint8_t>(data[7] & 0x8F);
  line.setVariant((data[7] & 0x10) ? 0 : -1);
  line.setCodeAddress((data[7] & 0x20) ? 0x100 : -1);
  line.setExtra(0, (data[7] & 0x40) ? 9 : 0);

  std::string_view rest(reinterpret_cast<const char*>(data + 8), size - 8);
  size_t split = rest.find('\0');
  std::string_view code = split == std::string_view::npos ? rest : rest.substr(0, split);
  std::string_view text = split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

  listing::ListEntry entry;
  entry.line = (data[7] & 0x80) ? nullptr : &line;
  entry.state = &state;
  entry.unitBits = 1 + data[4] % 64;
  entry.text = text;
  entry.data = code;
  entry.lineNumber = data[5];
  entry.lineCycles = data[6];
  entry.runningCycles = data[6] * 1000u;
  std::string out;
  int32_t rows = listing::formatListLine(entry, layout, out);

  if (rows < 1 || out.empty() || out.back() != '\n') abort();
  if (static_cast<size_t>(rows) != static_cast<size_t>(std::count(out.begin(), out.end(), '\n'))) abort();
  if (static_cast<size_t>(rows) > code.size() + text.size() + 2) abort();
  // A row may pass the width only by the first character of its text and the
  // comment prefix in front of it.
  const size_t widest = static_cast<size_t>(std::max(layout.pageWidth, layout.leftMargin + 28 + 3));
  size_t rowStart = 0;
  for (size_t at = out.find('\n'); at != std::string::npos; at = out.find('\n', rowStart)) {
    if (at - rowStart > widest) abort();
    rowStart = at + 1;
  }
  return 0;
}
