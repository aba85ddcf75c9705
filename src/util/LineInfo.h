// One preprocessed or generated source line of the line list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/MemoryPools.h"

class ControlState;
class Section;

// The flag bits of a line record, each named once. A name is the mask of its bit
// within the byte of LineFlags that its group heading gives; a bit that the passes
// read under two meanings says both.
namespace lineflag {
// Byte 0.
inline constexpr uint8_t kAssemble = 0x01;         // handed on to the statement parser
inline constexpr uint8_t kMacroCall = 0x02;        // macro call or repeat directive
inline constexpr uint8_t kBodyEnd = 0x04;          // .ENDM or .EXITM
inline constexpr uint8_t kMacroDefinition = 0x08;  // .MACRO or repeat directive; collected body line
inline constexpr uint8_t kMacroExpansion = 0x10;   // made while an expansion's text was read
inline constexpr uint8_t kConditionalDirective = 0x20;  // .IF, .ELIF, .ELSE, .ENDIF
inline constexpr uint8_t kInactiveRegion = 0x40;   // inside an inactive conditional region
inline constexpr uint8_t kCommentOnly = 0x80;      // only a comment; also a .COMMENT block
// Byte 1.
inline constexpr uint8_t kEquateOrSet = 0x01;
inline constexpr uint8_t kControlLine = 0x02;
inline constexpr uint8_t kHllLine = 0x04;
inline constexpr uint8_t kUnlistedGroup = 0x08;    // also the remark line of an alignment fill
inline constexpr uint8_t kNeverListed1 = 0x10;
inline constexpr uint8_t kSectionSwitched = 0x20;  // the list file marks the switch
inline constexpr uint8_t kSectionDirective = 0x40;
inline constexpr uint8_t kListed = 0x80;           // the list pass wrote the line
// Byte 2.
inline constexpr uint8_t kDefinesLabel = 0x01;
inline constexpr uint8_t kLastLine = 0x02;         // the last line; before parsing, the .END
                                                   // line and every line after it
inline constexpr uint8_t kGenericLine = 0x04;
inline constexpr uint8_t kGenericMark = 0x08;      // the chosen hardware form of a generic
inline constexpr uint8_t kGeneratedListable = 0x10;  // a line of a generic's expansion
inline constexpr uint8_t kGenericAlternative = 0x20;  // a template line of an expansion
inline constexpr uint8_t kSectionSwitch = 0x40;
inline constexpr uint8_t kControlListedAnyway = 0x80;
// Byte 3.
inline constexpr uint8_t kNeverListed3 = 0x01;
inline constexpr uint8_t kStartOfFile = 0x02;      // the marker line of a file's start
inline constexpr uint8_t kEndOfFile = 0x04;        // the marker line of a file's end
inline constexpr uint8_t kEndReached = 0x08;
inline constexpr uint8_t kSplit = 0x10;            // held several statements, which follow it;
                                                   // the list shows its text as written
inline constexpr uint8_t kLineMarker = 0x20;       // a C line marker
inline constexpr uint8_t kGroupListed = 0x40;      // carries listing bytes
inline constexpr uint8_t kOwnsControlState = 0x80;  // the line deletes its control state
}  // namespace lineflag

// The four flag bytes of a line record, indexed by byte.
struct LineFlags {
  uint8_t bytes[4] = {0, 0, 0, 0};

  uint8_t& operator[](size_t index) { return bytes[index]; }
  uint8_t operator[](size_t index) const { return bytes[index]; }
};

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
  LineFlags flags;

  LineInfo() = default;
  LineInfo(const LineInfo&) = delete;
  LineInfo& operator=(const LineInfo&) = delete;
  ~LineInfo();

  // Clears all but where the line came from and who owns its control state.
  void clearFlags() {
    flags[0] &= lineflag::kMacroExpansion;
    flags[1] = 0;
    flags[2] = 0;
    flags[3] &= lineflag::kOwnsControlState;
  }
  bool active() const { return flags[0] & lineflag::kAssemble; }

  // Set when a control gave the line a control state of its own: the line deletes it.
  // Clearing the flags keeps it.
  bool ownsControlState() const { return flags[3] & lineflag::kOwnsControlState; }
  void setOwnsControlState(bool owns) {
    if (owns)
      flags[3] |= lineflag::kOwnsControlState;
    else
      flags[3] &= static_cast<uint8_t>(~lineflag::kOwnsControlState);
  }

  // The line's rarely used fields; all empty for most lines.
  const LineExtras& extras() const;
  LineExtras& extrasForUpdate();
  // Stores a copy of the bytes, at most kMaxPrinterControl of them; returns how many
  // were kept.
  static constexpr uint32_t kMaxPrinterControl = 0xFFFF;
  uint32_t setPrinterControl(const uint8_t* bytes, uint32_t count);
  int32_t lineNumberSigned() const { return static_cast<int32_t>(lineNumber); }
};
