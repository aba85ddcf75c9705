// What the tables of repeated statements key an instruction statement by, read in one
// pass over its text: every statement comes this way, so the text is walked once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "isa/InstructionMatcherShapes.h"

class ControlState;

// The most characters of a statement text that the tables of repeated statements, shapes
// and jumps key by. A longer statement goes the long way every time.
constexpr size_t kStatementTextRoom = 46;

// A plain number of a statement: up to nine decimal digits without a leading zero, or "0x"
// and up to eight hexadecimal digits, after a character that ends no name, before a comma,
// a bracket, a blank, a comment or the end of the text. A sign in front of the digits is
// the number's when the operand starts there.
struct ConstantToken {
  uint8_t from = 0;  // the sign, or the digits when there is none
  uint8_t digits = 0;
  uint8_t end = 0;
  int64_t value = 0;
};

// The plain numbers of a statement, in text order.
struct ConstantTokens {
  static constexpr uint32_t kMost = isa::ConstantOperandForm::kMostOperands;
  uint32_t count = 0;
  ConstantToken token[kMost];
};

struct StatementText {
  // The statement text to the end of the line, or to the end of the prefix of the comment
  // after it: matching reads no further into a comment than its prefix, so statements that
  // differ only in their comments are one. `commentAt` is where the comment starts, the
  // length when there is none. Never more than kStatementTextRoom.
  uint8_t length = 0;
  uint8_t commentAt = 0;
  // Its plain numbers; `numbersFit` is false when there are more than a shape holds.
  ConstantTokens tokens;
  bool numbersFit = true;
  // The text without the digits of its numbers, made only when there are numbers that
  // fit (else `shapeLength` is 0).
  uint8_t shapeLength = 0;
  char shape[kStatementTextRoom];

  // Reads the statement at `position` under the comment prefix (null: none); false when
  // its text does not fit kStatementTextRoom. Reads no character past the text's end (a
  // NUL or a line feed) and none past kStatementTextRoom + 1 from `position`. Every
  // instruction statement comes this way: the pass is inline.
  bool read(const char* position, const char* commentPrefix);
};

// Where a statement's target stands: the name at the end of the statement text (before
// blanks and the comment), after a comma or a blank, starting with a letter or an
// underscore.
struct TargetSplit {
  uint8_t from = 0;
  uint8_t end = 0;

  // Finds the target in the first `commentAt` characters of `text`; false when none ends it.
  bool find(const char* text, uint8_t commentAt);
  uint32_t length() const { return static_cast<uint32_t>(end - from); }
};

// A target's name as a NUL-ended text; the room holds the longest target a statement that
// fits the tables can have.
struct TargetName {
  char text[kStatementTextRoom + 1];

  // False, with an empty name, when the target does not fit the room.
  bool copy(const char* statement, const TargetSplit& split);
};

namespace statementtext {

// What each byte is to the pass over a statement.
namespace textclass {
constexpr uint8_t kEnd = 0x01;  // NUL or line feed
constexpr uint8_t kQuote = 0x02;
constexpr uint8_t kSemicolon = 0x04;
constexpr uint8_t kDigit = 0x08;
constexpr uint8_t kName = 0x10;        // a character that continues a name
constexpr uint8_t kEndsNumber = 0x20;  // a comma, a bracket, a blank or the end
constexpr uint8_t kSpecial = kEnd | kQuote | kSemicolon | kDigit;

struct Table {
  uint8_t of[256] = {};
  constexpr Table() {
    for (int c = 0; c < 256; ++c) {
      uint8_t bits = 0;
      if (c == 0 || c == '\n') bits |= kEnd | kEndsNumber;
      if (c == '"' || c == '\'') bits |= kQuote;
      if (c == ';') bits |= kSemicolon;
      if (c >= '0' && c <= '9') bits |= kDigit | kName;
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.') bits |= kName;
      if (c == ',' || c == ']' || c == ' ' || c == '\t') bits |= kEndsNumber;
      of[c] = bits;
    }
  }
};
inline constexpr Table kTable;

inline uint8_t of(char c) { return kTable.of[static_cast<unsigned char>(c)]; }
}  // namespace textclass

inline int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace statementtext

// A quote leaves the rest of the text whole: the prefix may stand inside a string. Only
// the prefix ";" is cut at, a character that no operand reads on from; another prefix may
// begin with an operator.
inline bool StatementText::read(const char* position, const char* commentPrefix) {
  using namespace statementtext;
  constexpr size_t kRoom = kStatementTextRoom;
  const bool cutAtSemicolon = commentPrefix && commentPrefix[0] == ';' && commentPrefix[1] == '\0';
  bool quoted = false;
  tokens.count = 0;
  numbersFit = true;
  shapeLength = 0;
  size_t i = 0;
  for (;;) {
    // Most characters are none of the kinds below: the loop only counts them.
    uint8_t kind = textclass::of(position[i]);
    while (!(kind & textclass::kSpecial)) {
      if (i >= kRoom) return false;
      kind = textclass::of(position[++i]);
    }
    if (kind & textclass::kEnd) {
      length = commentAt = static_cast<uint8_t>(i);
      break;
    }
    if (i >= kRoom) return false;
    const char c = position[i];
    if (kind & textclass::kQuote) {
      quoted = true;
    } else if (kind & textclass::kSemicolon) {
      if (cutAtSemicolon && !quoted) {
        commentAt = static_cast<uint8_t>(i);
        length = static_cast<uint8_t>(i + 1);
        break;
      }
    } else if (i == 0 || !(textclass::of(position[i - 1]) & textclass::kName)) {
      // A number starts here: its digits stop at a character that is no digit, never at
      // the end of the text or the comment, so the end is found by reading on.
      size_t end = i;
      uint64_t value = 0;
      bool wellFormed;
      if (c == '0' && (position[i + 1] == 'x' || position[i + 1] == 'X')) {
        end = i + 2;
        for (int digit; end <= kRoom && (digit = hexDigitValue(position[end])) >= 0; ++end)
          value = value * 16 + static_cast<uint64_t>(digit);
        const size_t count = end - (i + 2);
        wellFormed = count >= 1 && count <= 8;
      } else {
        while (end <= kRoom && (textclass::of(position[end]) & textclass::kDigit))
          value = value * 10 + static_cast<uint64_t>(position[end++] - '0');
        const size_t count = end - i;
        wellFormed = count <= 9 && (count == 1 || c != '0');
      }
      if (end > kRoom) return false;
      // The comment's ";" ends a number only where the text is cut there.
      const char after = position[end];
      const bool ends = (textclass::of(after) & textclass::kEndsNumber) ||
                        (after == ';' && cutAtSemicolon && !quoted);
      if (wellFormed && ends) {
        if (tokens.count == ConstantTokens::kMost) {
          numbersFit = false;
        } else {
          ConstantToken& token = tokens.token[tokens.count++];
          token.digits = static_cast<uint8_t>(i);
          token.end = static_cast<uint8_t>(end);
          token.from = static_cast<uint8_t>(i);
          token.value = static_cast<int64_t>(value);
          const char sign = i > 0 ? position[i - 1] : '\0';
          if (sign == '-' || sign == '+' || sign == '~') {
            token.from = static_cast<uint8_t>(i - 1);
            if (sign == '-') token.value = static_cast<int64_t>(0 - value);
            if (sign == '~') token.value = static_cast<int64_t>(~value);
          }
        }
      }
      // The character after the digits is no digit: it is read as any other.
      i = end;
      continue;
    }
    ++i;
  }
  // The shape, of a statement that has one: the text without the digits of its numbers.
  // Digits that make no number stay, as any other text. The shape is never longer than
  // the text, which fits the room.
  if (tokens.count == 0 || !numbersFit) return true;
  uint8_t made = 0;
  uint8_t from = 0;
  for (uint32_t k = 0; k < tokens.count; ++k) {
    const ConstantToken& token = tokens.token[k];
    std::memcpy(shape + made, position + from, token.digits - from);
    made = static_cast<uint8_t>(made + token.digits - from);
    from = token.end;
  }
  std::memcpy(shape + made, position + from, length - from);
  shapeLength = static_cast<uint8_t>(made + length - from);
  return true;
}

// When a statement table's entries go stale. A control state is never changed once a
// later line takes it, but a state that goes may leave its address to another, and a
// directive or control may change the run's settings: the entries count only while the
// statements go on under the state they were kept in, with no directive between.
class StatementStaleness {
 public:
  // The statements go on under `state`: another state than the last one's makes every
  // entry stale.
  void enterState(const ControlState* state) {
    if (state == state_) return;
    state_ = state;
    ++generation_;
  }
  // A directive or control ran: every entry is stale.
  void invalidate() { ++generation_; }
  // Moves whenever the entries go stale.
  uint32_t generation() const { return generation_; }

 protected:
  const ControlState* state_ = nullptr;
  uint32_t generation_ = 0;
};
