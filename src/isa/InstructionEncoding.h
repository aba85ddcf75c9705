// Turning a chosen instruction form into bytes of the section image: the opcode with
// the bits of every operand whose value is known, stored in the section's byte order;
// every operand whose value is left to the linker becomes a relocation of the object
// store. Also the per-operand questions layout asks while it chooses a form.
#pragma once

#include <cstdint>

#include "flow/ExpressionValidator.h"

class IPAttribute;
class IPInstruction;
class ObjectWriter;
class OperandEncoding;
class OrbaExpression;
class Section;
struct LineInfo;

namespace isa {

// Whether the operand's value must go to the object file as a relocation (it refers to
// a symbol that only the linker places). Memoised in the operand.
bool operandNeedsRelocation(OperandEncoding& operand, const Section* section);

// The number of instruction bits the operand's fields cover.
uint8_t operandFieldWidth(const OperandEncoding& operand);

// What the validator needs of the operand: its accepted types, condition bits and value
// function.
ExpressionValidator::Operand validatorOperand(const OperandEncoding& operand);

// The expression a relocation carries: without the range check around it, and without
// the page or distance check under that.
OrbaExpression* stripRangeWrapper(OrbaExpression* expression);
// The relocation type that a @HIS/@LO/@LOS half calls for in a form of the given
// opcode format; the expression then is the half's argument. Otherwise both stay.
OrbaExpression* refineRelocationKind(OrbaExpression* expression, uint32_t& relocationType,
                                     const IPAttribute* attributes);

// Whether an operand of the form is a constant, fixed before layout and link, that the
// validator refuses: no layout can choose the form then.
bool constantOperandRulesOut(IPInstruction& form, Section* section, ExpressionValidator& validator);

// Encodes the form at the current location of the writer's section and advances its
// location counter by the form's units. E253 for a section without image, E139 for a
// value that no relocation can carry, W220/W221 for a value outside @WRANGE bounds, E287
// for missed condition bits, all at the line.
void encodeInstruction(ObjectWriter& writer, IPInstruction& form, LineInfo* line);
// As encodeInstruction for a form whose one operand with a value is `targetField`, given
// that value as the field holds it: no expression is evaluated. False, with nothing
// written, where the general way must judge the value (no image, a condition refused).
bool encodeWithTargetValue(ObjectWriter& writer, IPInstruction& form, uint32_t targetField, int64_t value,
                           LineInfo* line);
// The form's bits as one word with `field` holding value (its low bits, as the field takes
// them), for a form of 16 or 32 bits whose field lies inside them; false for any other.
bool formWordWithField(const IPInstruction& form, uint32_t field, int64_t value, uint32_t& word);

}  // namespace isa
