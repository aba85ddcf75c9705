// Writes the list file: the source re-read file by file, each listed line with its
// address, code, cycles and line number, the text between listed lines, the
// diagnostics under their lines, page headers, and the section summary at the end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/OutputFile.h"

class ControlState;
class Section;
struct LineInfo;

namespace listing {
class ListPager;
}

class ListManager {
 public:
  // banner: the program's version line, newline included, that heads every page.
  explicit ListManager(const char* banner = "");
  virtual ~ListManager();
  ListManager(const ListManager&) = delete;
  ListManager& operator=(const ListManager&) = delete;

  // The whole pass over the line list; F003 when the list file cannot be made.
  void generate();

 protected:
  // Lists one line and the source text in front of it that no line covered.
  virtual void listLine(LineInfo* line, Section* section);

 private:
  // A source file the pass is in, held whole, and where the enclosing file's
  // listing stood when it was entered.
  struct SourceRecord {
    std::vector<char> bytes;
    uint32_t savedPosition = 0;
    int64_t savedLineNumber = 0;
  };

  void pushSource(LineInfo* line);
  void popSource(LineInfo* line);
  // Bytes [start, end) of the current source file; end 0 is the file's end. Empty
  // when the range is empty or lies outside the file.
  std::string_view readSourceRange(LineInfo* line, uint32_t start, uint32_t end);
  void settleSectionAddress(LineInfo* line);
  const ControlState& stateOf(const LineInfo* line) const;
  void writeSummary(const ControlState& state);
  // The integer values of the equate and set lines, for the letter v.
  void collectEquateValues();

  const char* banner_;
  OutputFile output_{OutputRole::kList};
  FILE* out_ = nullptr;
  std::unique_ptr<listing::ListPager> pager_;
  std::vector<SourceRecord> sources_;
  std::unique_ptr<ControlState> defaultState_;
  uint32_t lastPosition_ = 0;
  int64_t lastLineNumber_ = 0;
  // Running cycle totals per section for the cycles column; the sections' own
  // totals come from the flow.
  std::unordered_map<const Section*, uint64_t> runningCycles_;
  std::unordered_map<const LineInfo*, int64_t> equateValues_;
  std::string dataBytes_;
  std::string rows_;
};

// The list file's name: --list-file, else the object file's name with ".lst", else
// the input file's base name with ".lst"; interned.
const char* listFileName();
