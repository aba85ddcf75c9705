// What the tables of repeated statements key an instruction statement by, read in one
// pass over its text: every statement comes this way, so the text is walked once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "isa/InstructionMatcherShapes.h"

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
  // NUL or a line feed) and none past kStatementTextRoom + 1 from `position`.
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
