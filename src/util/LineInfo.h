// One preprocessed or generated source line of the line list.
#pragma once

#include <cstdint>

#include "util/MemoryPools.h"

class ControlState;
class Section;

// What few lines carry, kept beside the line rather than in every record.
struct LineExtras {
  // The listing bytes of a data line and behind them, at listingCapacity(count), their
  // markers; the buffer comes from the listing pool.
  uint8_t* codeBytes = nullptr;
  uint32_t codeByteCount = 0;
  // The $PRCTL bytes that the list file copies unchanged in front of the line. They
  // may hold NUL bytes, so the count, not a terminator, ends them.
  uint16_t printerControlCount = 0;
  const uint8_t* printerControl = nullptr;
};

struct LineInfo {
  VEKT_POOLED_CLASS(LineInfo)

 public:
  LineInfo* previous = nullptr;
  LineInfo* next = nullptr;
  ControlState* controlState = nullptr;
  Section* section = nullptr;
  const char* text = nullptr;
  uint32_t sourceFile = 0;        // index into the line state's table of source files
  uint32_t lineNumber = 0;        // -1 (all ones) when the line has no number
  int16_t variant = -1;
  uint16_t extra[3] = {0, 0, 0};
  int32_t codeAddress = -1;
  uint32_t sourceStart = 0;
  uint32_t sourceEnd = 0;
  uint8_t flags[4] = {0, 0, 0, 0};

  LineInfo() = default;
  LineInfo(const LineInfo&) = delete;
  LineInfo& operator=(const LineInfo&) = delete;
  ~LineInfo();

  // The first byte keeps only bit 4 and the fourth only bit 7.
  void clearFlags() {
    flags[0] &= 0x10;
    flags[1] = 0;
    flags[2] = 0;
    flags[3] &= 0x80;
  }
  bool active() const { return flags[0] & 0x01; }

  // Set when a control gave the line a control state of its own: the line deletes it.
  bool ownsControlState() const { return flags[3] & kOwnsControlState; }
  void setOwnsControlState(bool owns) {
    if (owns)
      flags[3] |= kOwnsControlState;
    else
      flags[3] &= static_cast<uint8_t>(~kOwnsControlState);
  }

  // The line's rarely used fields; all empty for most lines.
  const LineExtras& extras() const;
  LineExtras& extrasForUpdate();
  // Stores a copy of the bytes, at most kMaxPrinterControl of them; returns how many
  // were kept.
  static constexpr uint32_t kMaxPrinterControl = 0xFFFF;
  uint32_t setPrinterControl(const uint8_t* bytes, uint32_t count);
  int32_t lineNumberSigned() const { return static_cast<int32_t>(lineNumber); }

 private:
  // The one bit that clearing the flags keeps in the fourth byte.
  static constexpr uint8_t kOwnsControlState = 0x80;
};
