// The target's address functions and operand checks: evaluation against the
// location of the instruction, and the object-file form of every function call.
// The node classes themselves are declared in TEFunction.h.
#pragma once

#include "expr/TEFunction.h"

// Relocation function codes that the object file receives for the halves.
enum TargetRelocation : uint32_t {
  RELOC_HIS = 6,
  RELOC_LO = 7,
  RELOC_LOS = 8,
};

// @PCREL(target, section, offset, span): the displacement from the instruction to
// the target, as the field of that span holds it.
OrbaExpression* evaluatePcRelativeCall(const TEFunction::Arguments& arguments);
// @INPAGE(target, section, offset, page size): the target when it lies in the
// instruction's page, error 5 otherwise.
OrbaExpression* evaluateInPageCall(const TEFunction::Arguments& arguments);

// The diagnostic of an @RANGE or @WRANGE call whose evaluation found its value outside
// the bounds: E218/E219 (W220/W221 for @WRANGE) with the bounds, at the line that its
// fourth argument names. The object conversion and the instruction encoder share it, so
// both say the same. `value` receives the evaluated first argument. False, with nothing
// reported, for another call or arguments that do not describe a check.
bool reportRangeDiagnostic(const TEFunction& call, OrbaExpression*& value);

// The offset of a defined, non-weak label of the section that @PCREL measures without a
// node; false wherever @PCREL would take the general way.
bool labelOffsetInSection(Symbol* label, const Section& section, int64_t& offset);
// A byte distance as a pc-relative field of the span holds it (@PCREL's last step).
int64_t fieldDisplacement(int64_t distance, int64_t span);
