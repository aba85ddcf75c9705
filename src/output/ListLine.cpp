#include "output/ListLine.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "flow/DataEncoder.h"
#include "flow/Section.h"
#include "isa/FSimpleRun.h"
#include "parser/LineFlags.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace listing {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int32_t kCodeWidth = 8;

// The counters a line keeps in its spare words: units placed without code (the
// reserved bytes), the cycles, and the repeat count.
constexpr int kReservedWord = 0;
constexpr int kCyclesWord = 1;
constexpr int kRepeatWord = 2;

template <typename... Args>
void appendFormat(std::string& out, const char* format, Args... args) {
  char field[48];
  int length = std::snprintf(field, sizeof field, format, args...);
  if (length > 0) out.append(field, std::min(static_cast<size_t>(length), sizeof field - 1));
}

// The value in upper-case hex digits, at least minDigits of them with leading zeros
// (printf's "%.NX").
void appendHex(std::string& out, uint64_t value, int32_t minDigits) {
  char digits[16];
  int32_t count = 0;
  do {
    digits[count++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  if (count < minDigits) out.append(static_cast<size_t>(minDigits - count), '0');
  while (count > 0) out.push_back(digits[--count]);
}

// The value in decimal, right-aligned in width columns with its sign, '+' for a
// positive one when plus is set (printf's "%Nd" and "%+Nd").
void appendDecimal(std::string& out, int64_t value, int32_t width, bool plus) {
  char digits[24];
  int32_t count = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char sign = value < 0 ? '-' : plus ? '+' : 0;
  int32_t length = count + (sign ? 1 : 0);
  if (length < width) out.append(static_cast<size_t>(width - length), ' ');
  if (sign) out.push_back(sign);
  while (count > 0) out.push_back(digits[--count]);
}

// Hex digits per addressable unit: a whole number of bytes' digits, at most a row.
int32_t digitsPerUnit(int32_t unitBits) {
  if (unitBits <= 0) return kCodeWidth;
  int32_t digits = ((unitBits + 7) / 4) & ~1;
  return std::clamp(digits, 2, kCodeWidth);
}

bool dataRemains(std::string_view data, size_t cursor) {
  for (; cursor < data.size(); ++cursor)
    if (data[cursor] != kEndOfCodeMark) return true;
  return false;
}

// Fills the 8-character code column of one row from the data text at cursor.
void appendCodeColumn(std::string_view data, size_t& cursor, int32_t unitDigits, std::string& out) {
  int32_t width = 0;
  while (cursor < data.size() && data[cursor] == kEndOfCodeMark) ++cursor;
  if (cursor < data.size() && data[cursor] == kTextEntryMark) {
    size_t start = ++cursor;
    while (cursor < data.size() && static_cast<unsigned char>(data[cursor]) >= 0x20) ++cursor;
    size_t length = std::min<size_t>(cursor - start, kCodeWidth);
    out.append(data.substr(start, length));
    width = static_cast<int32_t>(length);
  } else {
    while (width + unitDigits <= kCodeWidth) {
      while (cursor < data.size() && data[cursor] == kEndOfCodeMark) ++cursor;
      if (cursor >= data.size() || data[cursor] == kTextEntryMark) break;
      if (data[cursor] == '\n') {
        ++cursor;
        break;
      }
      int32_t taken = 0;
      while (taken < unitDigits && cursor < data.size() && static_cast<unsigned char>(data[cursor]) >= 0x20) {
        out.push_back(data[cursor++]);
        ++taken;
      }
      // A stray control byte would stop the row from ever filling.
      if (taken == 0) ++cursor;
      width += taken;
    }
  }
  out.append(static_cast<size_t>(kCodeWidth - width), ' ');
}

int64_t addressOf(const Section* section, int64_t offset) {
  return section ? section->addressOf(offset) : offset;
}

}  // namespace

int32_t reservedCount(const LineInfo& line) { return static_cast<int16_t>(line.extra(kReservedWord)); }
int32_t repeatCount(const LineInfo& line) { return static_cast<int16_t>(line.extra(kRepeatWord)); }
uint16_t lineCycles(const LineInfo& line) { return line.extra(kCyclesWord); }
bool isEquate(const LineInfo& line) { return line.flags[1] & lineflag::kEquateOrSet; }
bool isAlignmentFill(const LineInfo& line) { return line.flags[1] & lineflag::kUnlistedGroup; }
bool isExpansionLine(const LineInfo& line) { return line.variant() >= 0; }
bool isPrimaryExpansion(const LineInfo& line) { return line.flags[2] & lineflag::kGenericMark; }

void readLineCode(const LineInfo& line, LineCode& code) {
  const LineExtras& extras = line.extras();
  const uint32_t kept = extras.codeBytes ? extras.codeByteCount : 0;
  // The markers of kept bytes follow them, from the buffer's capacity on.
  const uint8_t* keptMarkers = kept > 0 ? extras.codeBytes + listingCapacity(kept) : nullptr;
  const uint32_t made = listedRunBytes(line, code.made);
  if (made == 0) {
    code.count = kept;
    code.bytes = extras.codeBytes;
    code.markers = keptMarkers;
  } else if (kept == 0) {
    code.count = made;
    code.bytes = code.made;
    code.markers = code.noMarkers;
  } else {
    code.count = kept + made;
    code.joined.assign(extras.codeBytes, extras.codeBytes + kept);
    code.joined.insert(code.joined.end(), code.made, code.made + made);
    code.joined.insert(code.joined.end(), keptMarkers, keptMarkers + kept);
    code.joined.insert(code.joined.end(), code.noMarkers, code.noMarkers + made);
    code.bytes = code.joined.data();
    code.markers = code.joined.data() + code.count;
  }
}

uint32_t codeByteCount(const LineInfo& line) {
  uint8_t bytes[32];
  return line.extras().codeByteCount + listedRunBytes(line, bytes);
}

void appendLineBytes(const LineInfo& line, int32_t unitBits, bool showRelocations, std::string& text) {
  LineCode code;
  readLineCode(line, code);
  const uint32_t count = code.count;
  const uint8_t* masks = code.markers;
  for (uint32_t index = 0; index < count; ++index) {
    uint8_t byte = code.bytes[index];
    uint8_t mask = masks[index];
    if (unitBits == 1) {
      if (showRelocations && mask != 0) {
        text.push_back('r');
      } else {
        if (byte > 0xF) text.push_back(kHexDigits[byte >> 4]);
        text.push_back(kHexDigits[byte & 0xF]);
      }
    } else if (!showRelocations) {
      text.push_back(kHexDigits[byte >> 4]);
      text.push_back(kHexDigits[byte & 0xF]);
    } else {
      // A nibble counts as relocated when most of its bits are.
      text.push_back(__builtin_popcount(mask >> 4) >= 2 ? 'r' : kHexDigits[byte >> 4]);
      text.push_back(__builtin_popcount(mask & 0xF) >= 2 ? 'r' : kHexDigits[byte & 0xF]);
    }
  }
  if (count > 0) text.push_back(kEndOfCodeMark);
  int32_t reserved = reservedCount(line);
  if (reserved > 0) {
    // More than one byte: the start address stands alone, a closing row gives the end.
    if (reserved > 1) text.push_back('\n');
    text.push_back(kTextEntryMark);
    text.append("RESERVED");
  }
  if (repeatCount(line) > 0) {
    text.push_back(kTextEntryMark);
    text.append("REPEATS");
  }
}

int32_t formatListLine(const ListEntry& entry, const RowLayout& layout, std::string& out) {
  out.clear();
  const ControlState& state = *entry.state;
  const LineInfo* line = entry.line;
  const bool cyclesColumn = state.listing(ControlState::kListCycleCount);
  const bool wrap = state.listing(ControlState::kListWrapLines);
  const int32_t unitDigits = digitsPerUnit(entry.unitBits);
  const bool equate = line && isEquate(*line);
  const std::string_view data = equate ? std::string_view() : entry.data;
  const bool hasTextEntry = data.find(kTextEntryMark) != std::string_view::npos;
  const bool expansionCopy = line && isExpansionLine(*line) && !isPrimaryExpansion(*line);
  size_t cursor = 0;

  if (layout.leftMargin > 0) out.append(static_cast<size_t>(layout.leftMargin), ' ');
  if (equate) {
    if (state.listing(ControlState::kListEquateValues) && entry.equateValue)
      appendFormat(out, "  %08" PRIX64 "   ", static_cast<uint64_t>(*entry.equateValue));
    else
      out.append(13, ' ');
  } else {
    bool showAddress = !data.empty() ||
                       (line && ((line->flags[2] & lineflag::kDefinesLabel) ||
                                 (line->flags[1] & lineflag::kSectionSwitched)));
    if (showAddress && line && line->codeAddress() >= 0) {
      appendHex(out, static_cast<uint64_t>(addressOf(entry.section, line->codeAddress())), 4);
      out.push_back(' ');
    } else {
      out.append(5, ' ');
    }
    appendCodeColumn(data, cursor, unitDigits, out);
  }

  if (cyclesColumn) {
    if (entry.lineCycles == 0) {
      out.append(8, ' ');
    } else {
      // Three places: a count of three digits or more keeps its first two.
      char field[32];
      std::snprintf(field, sizeof field, " %2" PRIu64, entry.lineCycles);
      out.append(field, 3);
      if (entry.runningCycles == 0)
        out.append(5, ' ');
      else
        appendFormat(out, " %4" PRIu64, entry.runningCycles % 10000);
    }
  }

  int64_t number = entry.lineNumber;
  bool generated = line && (expansionCopy || (line->flags[0] & lineflag::kMacroExpansion) || isAlignmentFill(*line));
  if (!generated || number != 0) {
    appendDecimal(out, number, 6, generated);
    out.push_back(' ');
  } else {
    out.append("     + ");
  }

  const std::string_view text = entry.text;
  const int32_t maxText = layout.pageWidth - layout.leftMargin - (cyclesColumn ? 28 : 20);
  const int32_t tabWidth = state.layoutValue2 > 0 ? state.layoutValue2 : 8;
  size_t textPos = 0;
  bool rowEndedByLineFeed = false;
  int32_t column = 0;

  if (line) {
    std::string_view prefix = state.commentPrefix ? state.commentPrefix : "";
    bool commented = !prefix.empty() && text.substr(0, prefix.size()) == prefix;
    bool keepSource = (line->flags[3] & lineflag::kSplit) && !(line->flags[0] & lineflag::kMacroDefinition);
    if (!commented && (expansionCopy || (line->flags[0] & lineflag::kInactiveRegion) || keepSource)) {
      out.append(prefix);
      out.push_back(' ');
      column = static_cast<int32_t>(prefix.size()) + 1;
    }
  }

  // Copies text up to the end of the row; the row's first character always goes.
  auto copyRowText = [&]() {
    bool wroteAny = false;
    rowEndedByLineFeed = false;
    while (textPos < text.size()) {
      char c = text[textPos];
      if (c == '\n') {
        ++textPos;
        ++number;
        rowEndedByLineFeed = true;
        return;
      }
      if (c == '\r' || c == kEndOfCodeMark) {
        ++textPos;
        continue;
      }
      if (wroteAny && column >= maxText) return;
      if (c == '\t') {
        int32_t blanks = tabWidth - column % tabWidth;
        if (maxText > column) blanks = std::min(blanks, maxText - column);
        else blanks = 1;
        out.append(static_cast<size_t>(blanks), ' ');
        column += blanks;
      } else {
        out.push_back(c);
        ++column;
      }
      ++textPos;
      wroteAny = true;
    }
  };

  copyRowText();
  out.push_back('\n');
  int32_t rows = 1;

  while (dataRemains(data, cursor) || (wrap && textPos < text.size())) {
    out.append(hasTextEntry ? "  |  " : "     ");
    appendCodeColumn(data, cursor, unitDigits, out);
    if (cyclesColumn) out.append(8, ' ');
    if (rowEndedByLineFeed && data.empty()) {
      appendDecimal(out, number, 6, false);
      out.push_back(' ');
    } else {
      out.append(7, ' ');
    }
    column = 0;
    if (wrap) copyRowText();
    out.push_back('\n');
    ++rows;
  }

  if (line && hasTextEntry && rows > 1) {
    int64_t offset = line->codeAddress() >= 0 ? line->codeAddress() : 0;
    int64_t last = offset + int64_t{repeatCount(*line)} * codeByteCount(*line) + reservedCount(*line) - 1;
    appendFormat(out, "%4.4" PRIX64 "\n", static_cast<uint64_t>(addressOf(entry.section, last)));
    ++rows;
  }
  return rows;
}

}  // namespace listing
