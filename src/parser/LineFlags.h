// The flag bits of a line record that the statement parser sets or tests, and the
// list-file filter that the parser shares with the list writer.
#pragma once

#include <cstdint>

struct LineInfo;

namespace lineflag {
// Byte 0.
inline constexpr uint8_t kAssemble = 0x01;
inline constexpr uint8_t kMacroCall = 0x02;
inline constexpr uint8_t kBodyEnd = 0x04;
inline constexpr uint8_t kMacroDefinition = 0x08;
inline constexpr uint8_t kMacroExpansion = 0x10;
inline constexpr uint8_t kConditionalDirective = 0x20;
inline constexpr uint8_t kInactiveRegion = 0x40;
inline constexpr uint8_t kCommentOnly = 0x80;
// Byte 1.
inline constexpr uint8_t kEquateOrSet = 0x01;
inline constexpr uint8_t kControlLine = 0x02;
inline constexpr uint8_t kHllLine = 0x04;
inline constexpr uint8_t kUnlistedGroup = 0x08;
inline constexpr uint8_t kNeverListed1 = 0x10;
inline constexpr uint8_t kSectionSwitched = 0x20;  // the list file marks the switch
inline constexpr uint8_t kSectionDirective = 0x40;
// Byte 2.
inline constexpr uint8_t kDefinesLabel = 0x01;
inline constexpr uint8_t kLastLine = 0x02;
inline constexpr uint8_t kGenericLine = 0x04;
inline constexpr uint8_t kGenericMark = 0x08;
inline constexpr uint8_t kGeneratedListable = 0x10;
inline constexpr uint8_t kGenericAlternative = 0x20;
inline constexpr uint8_t kSectionSwitch = 0x40;
inline constexpr uint8_t kControlListedAnyway = 0x80;
// Byte 3.
inline constexpr uint8_t kNeverListed3 = 0x01;
inline constexpr uint8_t kNotListedA = 0x02;
inline constexpr uint8_t kNotListedB = 0x04;
inline constexpr uint8_t kEndReached = 0x08;
inline constexpr uint8_t kLineMarker = 0x20;
inline constexpr uint8_t kGroupListed = 0x40;
}  // namespace lineflag

// Whether the list file shows the line, by its flags and the list flags of its
// control state; a line without a control state is not listed.
bool isListed(const LineInfo& line);
