#include "output/MetricsAdmin.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// The vocabularies: each holds only the catch-all entry, number 0.
const char* const kMnemonicNames[] = {"_none"};
const char* const kCategoryNames[] = {"_none"};
const char* const kUnitNames[] = {"_none"};

template <size_t N>
size_t longestName(const char* const (&names)[N]) {
  size_t longest = 0;
  for (const char* name : names) longest = std::max(longest, std::strlen(name));
  return longest;
}

// The report's fields, appended in place.
void appendText(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendText(std::string& out, const char* format, ...) {
  char field[64];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(field, sizeof field, format, args);
  va_end(args);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof field) {
    out.append(field, static_cast<size_t>(length));
    return;
  }
  // Only a percentage of an absurd merge outgrows the field.
  std::string wide(static_cast<size_t>(length) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(wide.data(), wide.size(), format, args);
  va_end(args);
  out.append(wide.data(), static_cast<size_t>(length));
}

void appendName(std::string& out, const char* name, int width) {
  // Padded to the column, never cut: the reader finds the count after the column.
  out += name;
  size_t length = std::strlen(name);
  if (length < static_cast<size_t>(width)) out.append(static_cast<size_t>(width) - length, ' ');
}

void appendCount(std::string& out, uint32_t count) { appendText(out, "%10u", count); }

void appendPercentage(std::string& out, uint32_t part, uint32_t whole) {
  appendText(out, "%*.2f%%", 6, static_cast<double>(part) * 100.0 / static_cast<double>(whole));
}

// "\t<name><count> (<percentage>)" for a count of every instruction, or the
// placeholder line when nothing is known.
void appendShareRow(std::string& out, const char* name, int width, uint32_t count, uint32_t total) {
  if (count == 0) {
    out += "\tNo information available\n";
    return;
  }
  out += '\t';
  appendName(out, name, width);
  appendCount(out, count);
  out += " (";
  appendPercentage(out, count, total);
  out += ")\n";
}

}  // namespace

MetricsAdmin::MetricsAdmin()
    : mnemonicCounts(std::size(kMnemonicNames), 0),
      categoryCounts(std::size(kCategoryNames), 0),
      unitCounts(std::size(kUnitNames), 0),
      // Wide enough for every name, so that a written report reads back whole.
      nameColumnWidth_(static_cast<int32_t>(
          std::max({longestName(kMnemonicNames), longestName(kCategoryNames), longestName(kUnitNames)}))) {}

void MetricsAdmin::addAmode(int32_t mnemonic, std::unique_ptr<Amode> record) {
  auto [first, last] = amodes_.equal_range(mnemonic);
  for (auto it = first; it != last; ++it) {
    if (it->second->sameCombination(*record)) {
      it->second->useCount += record->useCount;
      return;
    }
  }
  amodes_.emplace_hint(last, mnemonic, std::move(record));
}

void MetricsAdmin::writeReport(std::string& out) const {
  const int width = nameColumnWidth_;
  out += "\nMETRICS REPORT\n";
  if (total == 0) {
    out += "\nNo instructions used in the source file\n\n";
    return;
  }

  out += "\nInstruction usage\n\n";
  appendText(out, "\tTotal instruction count: %u\n\n", total);
  const uint32_t used = mnemonicCounts[0];
  if (used != 0) {
    out += '\t';
    appendName(out, kMnemonicNames[0], width);
    appendCount(out, used);
    out += " (";
    appendPercentage(out, used, total);
    out += ")\n";
  } else {
    // The catch-all entry is never listed as unused: the list is empty.
    out += "\nInstructions not used\n\n\tThe following instructions are not used:\n\n";
  }

  out += "\nAddressing modes per instruction\n\n";
  if (used != 0) {
    out += '\t';
    appendName(out, kMnemonicNames[0], width);
    auto [first, last] = amodes_.equal_range(0);
    if (first == last) {
      appendCount(out, used);
      out += " ()\n";
    }
    for (auto it = first; it != last; ++it) {
      if (it != first) {
        out += '\t';
        out.append(static_cast<size_t>(width), ' ');
      }
      appendCount(out, it->second->useCount);
      out += " (";
      bool firstOperand = true;
      for (uint64_t mask : it->second->masks) {
        if (mask == 0) continue;
        // No operand-kind names exist yet: only the separators show the operands.
        if (!firstOperand) out += ", ";
        firstOperand = false;
      }
      out += ")\n";
    }
  }

  out += "\nInstruction categories\n\n";
  appendShareRow(out, kCategoryNames[0], width, categoryCounts[0], total);
  out += "\nExecution units\n\n";
  appendShareRow(out, kUnitNames[0], width, unitCounts[0], total);
  out += '\n';

  if (parallelBlocks != 0) {
    out += "Parallel instructions\n\n\tTotal parallel blocks: ";
    appendCount(out, parallelBlocks);
    out += " (";
    // A block stands for the instructions in it: the share is of the issue slots.
    appendPercentage(out, parallelBlocks, total - inParallel + parallelBlocks);
    out += ")\n\tTotal instructions:    ";
    appendCount(out, inParallel);
    out += " (";
    appendPercentage(out, inParallel, total);
    out += ")\n\n";
  }
  if (generic != 0) {
    out += "Generic instructions\n\n\tTotal generic instructions: ";
    appendCount(out, generic);
    out += "\n\tTotal instructions:         ";
    appendCount(out, inGeneric);
    out += "\n\n";
  }
}
