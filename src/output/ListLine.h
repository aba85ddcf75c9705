// One list-file entry as text: the address, code, cycles and line-number columns in
// front of the source text, and the rows that long code or long text continue on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ControlState;
class Section;
struct LineInfo;

namespace listing {

// Marks inside the collected code text; they never reach the list file.
inline constexpr char kTextEntryMark = '\x01';  // an upper-case word follows
inline constexpr char kEndOfCodeMark = '\x02';  // the code bytes of one line end here

// What the list file reads of a line record besides its flags.
int32_t reservedCount(const LineInfo& line);
int32_t repeatCount(const LineInfo& line);
uint16_t lineCycles(const LineInfo& line);
bool isEquate(const LineInfo& line);
bool isAlignmentFill(const LineInfo& line);
bool isExpansionLine(const LineInfo& line);
bool isPrimaryExpansion(const LineInfo& line);

// The code bytes a line shows and behind each its marker (0 constant, 0xFF filled by
// the object store): those the line collected, then its instruction's in a run.
struct LineCode {
  const uint8_t* bytes = nullptr;
  const uint8_t* markers = nullptr;
  uint32_t count = 0;
  uint8_t made[32] = {};     // the bytes of an instruction of a run
  uint8_t noMarkers[32] = {};
  std::vector<uint8_t> joined;  // bytes, then markers, of a line that has both kinds
};
void readLineCode(const LineInfo& line, LineCode& code);
uint32_t codeByteCount(const LineInfo& line);

// Appends the line's code as hex digits ('r' for relocated digits when
// showRelocations), then the end-of-code mark, then RESERVED and REPEATS entries.
// unitBits is the addressable-unit width of the line's section.
void appendLineBytes(const LineInfo& line, int32_t unitBits, bool showRelocations, std::string& text);

// The page values one entry needs.
struct RowLayout {
  int32_t pageWidth = 132;
  int32_t leftMargin = 0;
};

// One entry: a source line (line set) or a gap of source text between listed lines.
struct ListEntry {
  const LineInfo* line = nullptr;
  const Section* section = nullptr;       // null: offsets are addresses
  int32_t unitBits = 8;                   // the section's addressable-unit width
  const ControlState* state = nullptr;    // the list letters, comment prefix, tab width
  std::string_view text;                  // the source text to show
  std::string_view data;                  // code text from appendLineBytes
  int64_t lineNumber = 0;
  uint64_t lineCycles = 0;
  uint64_t runningCycles = 0;             // the section's total, this line included
  const int64_t* equateValue = nullptr;   // the value an equate line shows with 'v'
};

// Replaces out with the rows of the entry; returns the number of rows.
int32_t formatListLine(const ListEntry& entry, const RowLayout& layout, std::string& out);

}  // namespace listing
