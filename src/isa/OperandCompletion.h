// Completing a candidate's operand fields once its location is known. The build writes
// the bits of constant operands at once; every other field waits in the Encoding as an
// OperandEncoding. At output the encoder evaluates each of them at the instruction's
// location, checks the value against its range and its condition bits, and puts the bits
// of the known values into the image. A field whose value is still unknown is left to a
// relocation.
#pragma once

#include <cstdint>

class Encoding;
class ExpressionValidator;
class IPInstruction;
struct LineInfo;

namespace isa {

struct FieldCompletion {
  uint32_t errors = 0;  // fields reported for a value outside their range or condition bits
  // The image bits of the fields whose value is still unknown, in the layout of
  // Encoding::image (the last word holds bits 0..31).
  uint32_t unknownBits[8] = {};
};

// Whether every deferred field whose value is known fits: inside the bounds of its @RANGE
// check and meeting its condition bits. An unknown value fits for now, and so does one
// outside @WRANGE bounds. Reports nothing and changes nothing: layout asks this of every
// candidate to choose among them.
bool operandFieldsFit(const Encoding& encoding, ExpressionValidator& validator);

// Completes every deferred field of the encoding, reporting at the statement's line:
// E218/E219 for a value outside its @RANGE bounds (the field keeps 0 bits), W220/W221 for
// one outside @WRANGE bounds (the value is kept), E287 for a value that misses its
// condition bits (the value is kept). @PCREL and @INPAGE measure from the location that
// the section of each check gives.
FieldCompletion completeOperandFields(Encoding& encoding, const LineInfo* line, ExpressionValidator& validator);

// The output of a chosen candidate: its fields completed as above, then the W230 warnings
// of its attribute set.
FieldCompletion completeCandidate(IPInstruction& candidate, const LineInfo* line, ExpressionValidator& validator);

}  // namespace isa
