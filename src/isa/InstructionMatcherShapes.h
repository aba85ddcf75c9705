// Statements that differ only in the values of their constant operands ("mov d1,#11", "mov
// d1,#12") walk the automaton alike and offer the same forms. What the forms do with the
// value is in the tables: a range that rules the form out, and the field runs that place the
// bits. When nothing else of a form can see the value, the statement parser keeps the
// outcome of one full match and works out the next values of the same shape from these.
#pragma once

#include <cstdint>

#include "isa/InstructionTables.h"

namespace isa {

// What one form does with the statement's constant operands, in the order of the text.
struct ConstantOperandForm {
  static constexpr uint32_t kMostOperands = 3;
  uint32_t count = 0;
  int64_t low[kMostOperands] = {};  // the range the form takes each value in
  int64_t high[kMostOperands] = {};
  const OperandFieldMap* fields[kMostOperands] = {};
};

// Whether building the form lets its constant operands reach nothing but their range checks
// and their fields: a flat pattern of at most kMostOperands expression operands, a range as
// their only check, and no list or condition that reads one. Fills `form` when so.
bool constantReachesOnlyItsField(const MatchAlternative& alternative, ConstantOperandForm& form);

// Whether the form's build reports nothing and keeps or drops it whatever the constant is:
// no condition that reports while it is built, none that reads the constant, and no
// conversion of the constant.
bool constantLeavesBuildAlone(const MatchAlternative& alternative);

// The bits the form's field takes the value to, in an image of `bits` bits (at most 32):
// false when a run leaves the low word or the field constrains the value's bits and the
// value does not meet the constraint.
bool placeConstant(const OperandFieldMap& fields, uint32_t bits, int64_t value, uint32_t& image);

// Whether the generic form's conditions and its expansion's entries read none of its
// expression operands and nothing of its build reports: what it generates then depends on
// an expression operand only through the operand's text.
bool expressionsLeaveGenericAlone(const MatchAlternative& alternative);

// The bits of the image that the field's runs cover; false as for placeConstant.
bool constantFieldMask(const OperandFieldMap& fields, uint32_t bits, uint32_t& mask);

// Whether statements of one constant shape take the outcome the parser kept (on by default,
// off only where a test compares them with the full match), and how many of the run did.
struct ConstantShapes {
  bool enabled = true;
  uint64_t taken = 0;
};
ConstantShapes& constantShapes();

// Whether a generic jump takes the outcome kept for a statement that differs from it only in
// its target (on by default, off only where a test compares them with the full expansion),
// and how many of the run did.
struct TargetOutcomes {
  bool enabled = true;
  uint64_t taken = 0;
};
TargetOutcomes& targetOutcomes();

// Whether a generic jump that differs from one matched before only in its target shares
// that jump's forms in a record of its own (on by default, off only where a test compares
// them with the jump's own forms), and how many of the run did.
struct JumpRecords {
  bool enabled = true;
  uint64_t taken = 0;
};
JumpRecords& jumpRecords();

// Whether a jump record measures its target's distance in layout itself where it can, rather
// than lending the shared forms (on by default, off only where a test compares the two), and
// how many layout calls of the run it answered; likewise how many records it encoded from the
// measured distance at emission.
struct DirectJumpLayout {
  bool enabled = true;
  uint64_t taken = 0;
  uint64_t emitted = 0;
  // Jumps written as lean entries at the parse, and of those the ones made records again.
  uint64_t entries = 0;
  uint64_t remade = 0;
};
DirectJumpLayout& directJumpLayout();

}  // namespace isa
