#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/ListLine.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

using listing::appendLineBytes;
using listing::formatListLine;

constexpr uint32_t kY = ControlState::kListCycleCount;
constexpr uint32_t kW = ControlState::kListWrapLines;
constexpr uint32_t kV = ControlState::kListEquateValues;

// A line record with code bytes laid out as the object writer leaves them: the
// bytes, then from the count rounded up to 8 one relocation mask per byte.
struct LineSetup {
  std::vector<uint8_t> bytes = {};
  std::vector<uint8_t> masks = {};
  int16_t reserved = 0;
  int16_t repeat = 0;
  int32_t address = -1;
  uint8_t flags[4] = {0, 0, 0, 0};
  int16_t variant = -1;
};

class LineRecord {
 public:
  explicit LineRecord(const LineSetup& setup) {
    uint32_t count = static_cast<uint32_t>(setup.bytes.size());
    uint32_t capacity = (count + 7u) & ~7u;
    storage_.assign(2 * capacity, 0);
    for (uint32_t i = 0; i < count; ++i) {
      storage_[i] = setup.bytes[i];
      if (i < setup.masks.size()) storage_[capacity + i] = setup.masks[i];
    }
    line_.extrasForUpdate().codeBytes = count ? storage_.data() : nullptr;
    line_.extrasForUpdate().codeByteCount = count;
    line_.setExtra(0, static_cast<uint16_t>(setup.reserved));
    line_.setExtra(2, static_cast<uint16_t>(setup.repeat));
    line_.setCodeAddress(setup.address);
    for (int i = 0; i < 4; ++i) line_.flags[i] = setup.flags[i];
    line_.setVariant(setup.variant);
  }
  LineInfo& line() { return line_; }

 private:
  std::vector<uint8_t> storage_;
  LineInfo line_;
};

TEST(ListLineBytes, CodeTextShowsDigitsRelocationsAndTextEntries) {
  struct Case {
    const char* what;
    LineSetup setup;
    int32_t unitBits;
    bool showRelocations;
    std::string expected;
  };
  const Case cases[] = {
      {"plain bytes in upper-case hex, then the end mark", {.bytes = {0x82, 0xAF}}, 8, true, "82AF\x02"},
      {"a nibble with two or more relocated bits shows r",
       {.bytes = {0x91, 0x00, 0x00, 0x20}, .masks = {0x0F, 0xFF, 0x00, 0xF0}},
       8,
       true,
       "9rrr00r0\x02"},
      {"a nibble with a single relocated bit keeps its digit", {.bytes = {0x91}, .masks = {0x11}}, 8, true, "91\x02"},
      {"without the r letter relocated bytes show their digits",
       {.bytes = {0x91, 0x00}, .masks = {0xFF, 0xFF}},
       8,
       false,
       "9100\x02"},
      {"unit width 1: one digit per byte, r for any mask bit", {.bytes = {0x1, 0x0, 0x1}, .masks = {0, 0x01, 0}}, 1, true, "1r1\x02"},
      {"one reserved byte is a text entry", {.reserved = 1}, 8, true, "\x01RESERVED"},
      {"more reserved bytes start a row of their own", {.reserved = 8}, 8, true, "\n\x01RESERVED"},
      {"a repeat count adds REPEATS after the code", {.bytes = {0xAA}, .repeat = 3}, 8, true, "AA\x02\x01REPEATS"},
      {"no bytes, nothing reserved: no text at all", {}, 8, true, ""},
  };
  for (const Case& c : cases) {
    LineRecord record(c.setup);
    std::string text;
    appendLineBytes(record.line(), c.unitBits, c.showRelocations, text);
    EXPECT_EQ(text, c.expected) << c.what;
  }
}

TEST(ListLineFormat, EntryRowsHaveTheirColumnsInPlace) {
  struct Case {
    const char* what;
    bool gap;  // an entry of source text without a line
    LineSetup setup;
    const char* data;  // null: taken from appendLineBytes of the setup
    const char* text;
    int64_t number;
    uint64_t cycles;
    uint64_t running;
    uint32_t letters;
    int32_t width;
    int32_t leftMargin;
    int32_t unitBits;
    std::string expected;
  };
  const Case cases[] = {
      {"an instruction row: address, code, cycles, number, text with its tab",
       false, {.bytes = {0x82, 0x10}, .address = 0}, nullptr, "\tmov d0,#1\n", 5, 1, 1, kY | kW, 132, 0, 8,
       "0000 8210      1    1     5         mov d0,#1\n"},
      {"without y the cycles column is gone",
       false, {.bytes = {0x82, 0x10}, .address = 0x1A}, nullptr, "nop\n", 12, 1, 1, kW, 132, 0, 8,
       "001A 8210        12 nop\n"},
      {"nine bytes take three rows of 8, 8 and 2 digits",
       false, {.bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9}, .address = 0}, nullptr, ".byte 1\n", 3, 0, 0, kW, 132, 0, 8,
       "0000 01020304     3 .byte 1\n"
       "     05060708       \n"
       "     09             \n"},
      {"reserving 8 bytes: address row, RESERVED row, closing row with the last address",
       false, {.reserved = 8, .address = 6}, nullptr, " .SPACE 8\n", 7, 0, 0, kY | kW, 132, 0, 8,
       "0006                      7  .SPACE 8\n"
       "  |  RESERVED               \n"
       "000D\n"},
      {"reserving one byte fits on one row",
       false, {.reserved = 1, .address = 6}, nullptr, " .SPACE 1\n", 7, 0, 0, kW, 132, 0, 8,
       "0006 RESERVED     7  .SPACE 1\n"},
      {"a line cycle count of three digits keeps its first two",
       false, {.bytes = {0x00, 0x00}, .address = 0}, nullptr, "x\n", 1, 100, 100, kY | kW, 132, 0, 8,
       "0000 0000     10  100     1 x\n"},
      {"the running total shows modulo 10000",
       false, {.bytes = {0x00, 0x00}, .address = 0}, nullptr, "x\n", 1, 2, 123456, kY | kW, 132, 0, 8,
       "0000 0000      2 3456     1 x\n"},
      {"a left margin indents the first row only",
       false, {.bytes = {1, 2, 3, 4, 5}, .address = 0}, nullptr, "x\n", 1, 0, 0, kW, 132, 4, 8,
       "    0000 01020304     1 x\n"
       "     05             \n"},
      {"a tab at text column 3 advances to column 8",
       false, {}, nullptr, "abc\tx\n", 2, 0, 0, kW, 132, 0, 8,
       "                  2 abc     x\n"},
      {"a line without bytes that is no label shows no address",
       false, {.address = 0x40}, nullptr, "; note\n", 9, 0, 0, kW, 132, 0, 8,
       "                  9 ; note\n"},
      {"a label line shows its address without bytes",
       false, {.address = 0x40, .flags = {0, 0, 0x01, 0}}, nullptr, "here:\n", 9, 0, 0, kW, 132, 0, 8,
       "0040              9 here:\n"},
      {"long text wraps at page width - 20 with w",
       false, {}, nullptr, "0123456789012345678901234\n", 1, 0, 0, kW, 40, 0, 8,
       "                  1 01234567890123456789\n"
       "                    01234\n"},
      {"without w only the first row of text is written",
       false, {}, nullptr, "0123456789012345678901234\n", 1, 0, 0, 0, 40, 0, 8,
       "                  1 01234567890123456789\n"},
      {"a gap numbers each of its lines",
       true, {}, "", "a\nb\n", 3, 0, 0, kY | kW, 132, 0, 8,
       "                          3 a\n"
       "                          4 b\n"},
      {"a gap without w writes its first line only",
       true, {}, "", "a\nb\n", 3, 0, 0, 0, 132, 0, 8,
       "                  3 a\n"},
      {"a macro expansion line marks its number with +",
       false, {.flags = {0x10, 0, 0, 0}}, nullptr, "nop\n", 7, 0, 0, kW, 132, 0, 8,
       "                 +7 nop\n"},
      {"a generated line without a number shows a lone +",
       false, {.flags = {0, 0x08, 0, 0}}, nullptr, "fill\n", 0, 0, 0, kW, 132, 0, 8,
       "                  + fill\n"},
      {"a skipped line is shown as a comment",
       false, {.flags = {0x40, 0, 0, 0}}, nullptr, "nop\n", 4, 0, 0, kW, 132, 0, 8,
       "                  4 ; nop\n"},
      {"a skipped line that is a comment already is not prefixed again",
       false, {.flags = {0x40, 0, 0, 0}}, nullptr, ";x\n", 4, 0, 0, kW, 132, 0, 8,
       "                  4 ;x\n"},
      {"an equate line without v leaves address and code blank",
       false, {.bytes = {0x12}, .address = 0, .flags = {0, 0x01, 0, 0}}, nullptr, "A .EQU 5\n", 2, 0, 0, kW, 132, 0, 8,
       "                  2 A .EQU 5\n"},
      {"16-bit units are taken four digits at a time; a short last unit still shows",
       false, {.address = 0}, "0102030405\x02", "x\n", 1, 0, 0, kW, 132, 0, 16,
       "0000 01020304     1 x\n"
       "     05             \n"},
      {"an address past four digits and a number past six take the room they need",
       false, {.bytes = {0x00, 0x00}, .address = 0x12345}, nullptr, "x\n", 1234567, 0, 0, kW, 132, 0, 8,
       "12345 0000    1234567 x\n"},
      {"a macro expansion number past six digits keeps its +",
       false, {.flags = {0x10, 0, 0, 0}}, nullptr, "nop\n", 1234567, 0, 0, kW, 132, 0, 8,
       "             +1234567 nop\n"},
      {"folded expansion code runs on across end marks",
       false, {.address = 0}, "8210\x02" "0B100000\x02", "gen\n", 1, 0, 0, kW, 132, 0, 8,
       "0000 82100B10     1 gen\n"
       "     0000           \n"},
  };
  for (const Case& c : cases) {
    LineRecord record(c.setup);
    ControlState state;
    state.listFlags = c.letters;
    std::string data;
    if (c.data) data = c.data;
    else appendLineBytes(record.line(), c.unitBits, true, data);
    listing::ListEntry entry;
    entry.line = c.gap ? nullptr : &record.line();
    entry.state = &state;
    entry.unitBits = c.unitBits;
    entry.text = c.text;
    entry.data = data;
    entry.lineNumber = c.number;
    entry.lineCycles = c.cycles;
    entry.runningCycles = c.running;
    std::string out;
    int32_t rows = formatListLine(entry, listing::RowLayout{c.width, c.leftMargin}, out);
    EXPECT_EQ(out, c.expected) << c.what;
    int32_t newlines = 0;
    for (char ch : out) newlines += ch == '\n';
    EXPECT_EQ(rows, newlines) << c.what;
  }
}

TEST(ListLineFormat, EquateValueWithVFillsAddressAndCodeColumns) {
  LineSetup setup;
  setup.flags[1] = 0x01;
  LineRecord record(setup);
  ControlState state;
  state.listFlags = kV | kW;
  int64_t value = 0x1234;
  listing::ListEntry entry;
  entry.line = &record.line();
  entry.state = &state;
  entry.text = "A .EQU 0x1234\n";
  entry.lineNumber = 2;
  entry.equateValue = &value;
  std::string out;
  formatListLine(entry, listing::RowLayout{132, 0}, out);
  EXPECT_EQ(out, "  00001234        2 A .EQU 0x1234\n");
}

// Text and data of any shape, and any page width, end in a bounded number of rows.
TEST(ListLineFormat, HostileInputStillEndsAndKeepsRowsWithinTheWidth) {
  struct Case {
    const char* what;
    std::string data;
    std::string text;
    int32_t width;
  };
  const Case cases[] = {
      {"control bytes in the data", std::string("\x03\x04\x05", 3), "x\n", 132},
      {"a text entry without text", "\x01", "x\n", 132},
      {"only end marks", "\x02\x02\x02", "x\n", 132},
      {"a width too small for any text", "AA", "abcdef\n", 1},
      {"tabs everywhere", "", "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\n", 40},
      {"carriage returns only", "", "\r\r\r\r", 40},
  };
  for (const Case& c : cases) {
    ControlState state;
    state.listFlags = kW | kY;
    listing::ListEntry entry;
    entry.state = &state;
    entry.text = c.text;
    entry.data = c.data;
    std::string out;
    int32_t rows = formatListLine(entry, listing::RowLayout{c.width, 0}, out);
    EXPECT_GE(rows, 1) << c.what;
    EXPECT_LE(rows, 64) << c.what;
  }
}

}  // namespace
