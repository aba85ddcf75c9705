// Reading METRICS REPORT texts back for the merge mode. The reader is lenient by
// design: reports may come from older runs or be edited by hand, so a malformed
// line never fails; it counts 0 or is taken as a row of the block it stands in.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "output/MetricsAdmin.h"

namespace {

enum class Mode { kNone, kUsage, kNotUsed, kAddressingModes, kCategories, kUnits, kParallel, kGeneric };

struct Title {
  const char* text;
  Mode mode;
};

const Title kTitles[] = {
    {"instruction usage", Mode::kUsage},
    {"instructions not used", Mode::kNotUsed},
    {"addressing modes per instruction", Mode::kAddressingModes},
    {"instruction categories", Mode::kCategories},
    {"execution units", Mode::kUnits},
    {"parallel instructions", Mode::kParallel},
    {"generic instructions", Mode::kGeneric},
};

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The whole line must be the title: a stray blank makes it an ordinary row.
bool isTitle(const std::string& line, const char* title) {
  size_t index = 0;
  for (; index < line.size(); ++index)
    if (title[index] == '\0' || lowerAscii(line[index]) != title[index]) return false;
  return title[index] == '\0';
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A decimal number as "%lu" reads it (blanks and a sign allowed before it); 0 when
// there is none. Counts are 32 bits wide: larger numbers keep their low bits.
uint32_t readCount(const char* text) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  return end == text ? 0 : static_cast<uint32_t>(value);
}

uint32_t countAfterLastColon(const std::string& line) {
  size_t colon = line.rfind(':');
  return colon == std::string::npos ? 0 : readCount(line.c_str() + colon + 1);
}

}  // namespace

bool MetricsAdmin::readMetricsFile(const char* path) {
  std::ifstream in(path);
  if (!in) return false;
  readMetrics(in);
  return true;
}

void MetricsAdmin::readMetrics(std::istream& in) {
  Mode mode = Mode::kNone;
  std::string line;
  std::string name;
  uint32_t count = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    bool titled = false;
    for (const Title& title : kTitles) {
      if (!isTitle(line, title.text)) continue;
      mode = title.mode;
      titled = true;
      break;
    }
    if (titled) {
      // The total is rebuilt from the rows: skip the blank line, the total and the
      // blank line after it.
      if (mode == Mode::kUsage)
        for (int skipped = 0; skipped < 3 && std::getline(in, line); ++skipped) {
        }
      continue;
    }
    switch (mode) {
      case Mode::kNone:
      case Mode::kNotUsed:
        break;
      case Mode::kUsage:
        parseCountLine(line, name, count);
        mnemonicCounts[0] += count;
        total += count;
        break;
      case Mode::kAddressingModes:
        parseCountLine(line, name, count);
        if (std::unique_ptr<Amode> record = parseAmodeLine(line)) {
          record->useCount = count;
          addAmode(0, std::move(record));
        }
        break;
      case Mode::kCategories:
        parseCountLine(line, name, count);
        categoryCounts[0] += count;
        break;
      case Mode::kUnits:
        parseCountLine(line, name, count);
        unitCounts[0] += count;
        break;
      case Mode::kParallel:
        readParallelSection(in, line);
        break;
      case Mode::kGeneric:
        generic += countAfterLastColon(line);
        if (std::getline(in, line)) inGeneric += countAfterLastColon(line);
        break;
    }
  }
}

void MetricsAdmin::parseCountLine(const std::string& line, std::string& name, uint32_t& count) const {
  name.clear();
  size_t position = 0;
  int indentation = 0;
  // The indentation looks one character ahead: a tab before text counts 1, a tab
  // before another blank 8, so a row's own tab is 1 and a continuation is deeper.
  while (position < line.size() && isBlank(line[position])) {
    bool tabFollows = position + 1 < line.size() && line[position + 1] == '\t';
    indentation += tabFollows ? 8 : 1;
    ++position;
  }
  if (indentation > 8) {
    count = readCount(line.c_str() + position);
    return;
  }
  const size_t width = static_cast<size_t>(nameColumnWidth_);
  const size_t nameLength = std::min(width, line.size() - position);
  name.assign(line, position, nameLength);
  while (!name.empty() && isBlank(name.back())) name.pop_back();
  position += nameLength;
  count = position < line.size() ? readCount(line.c_str() + position) : 0;
}

std::unique_ptr<MetricsAdmin::Amode> MetricsAdmin::parseAmodeLine(const std::string& line) {
  size_t open = line.rfind('(');
  if (open == std::string::npos) return nullptr;
  if (open + 1 < line.size() && line[open + 1] == ')') return nullptr;

  uint32_t operandCount = 1;
  for (size_t i = open + 1; i < line.size(); ++i)
    if (line[i] == ',') ++operandCount;
  auto record = std::make_unique<Amode>(operandCount);

  constexpr uint64_t kSeen = uint64_t{1} << 63;
  uint32_t operand = 0;
  size_t itemLength = 0;
  for (size_t i = open + 1; i < line.size(); ++i) {
    char c = line[i];
    if (isBlank(c) || c == ')' || c == ',') {
      if (itemLength != 0 && operand < operandCount) record->masks[operand] |= kSeen;
      itemLength = 0;
      if (c == ',') ++operand;
    } else {
      ++itemLength;
    }
  }
  return record;
}

void MetricsAdmin::readParallelSection(std::istream& in, const std::string& firstLine) {
  parallelBlocks += countAfterLastColon(firstLine);
  std::string line;
  if (!std::getline(in, line)) return;
  inParallel += countAfterLastColon(line);
  if (!std::getline(in, line) || line.empty()) return;
  // A per-mnemonic breakdown may follow under its own heading; it adds nothing to
  // the totals, but its rows must not be taken for rows of another block.
  std::getline(in, line);
  std::string name;
  uint32_t count = 0;
  while (std::getline(in, line) && !line.empty()) parseCountLine(line, name, count);
}
