// The operand transforms of the instruction tables: range, PC-relative, page and page-size
// checks that wrap an operand expression in the function nodes which the expression
// language evaluates after layout, the relocation codes of the field, and the callback that
// computes the operand's value when it is encoded.
#pragma once

#include <cstdint>

class CandidateNodes;
class OrbaExpression;
class Section;
struct LineInfo;
struct OperandTransform;

// Computes an operand's value from the expression in the slot whenever it is asked for.
using PostEncodeCallback = OrbaExpression* (*)(LineInfo* context, OrbaExpression** argument);

// Transform kinds of an OperandTransform list; a list ends with kind 0, other kinds are
// passed over.
namespace transform {
constexpr uint32_t kEnd = 0;
constexpr uint32_t kRange = 1;          // @RANGE(value, a, b, line)
constexpr uint32_t kWarnRange = 2;      // @WRANGE(value, a, b, line)
constexpr uint32_t kPcRelative = 3;     // @PCREL(value, section, a, b)
constexpr uint32_t kInPage = 4;         // @INPAGE(value, section, a, b)
constexpr uint32_t kConvert = 9;        // honoured only as the first entry
constexpr uint32_t kCallback = 10;      // the operand's post-encode callback
constexpr uint32_t kDefault = 13;       // value of an operand left empty
constexpr uint32_t kRelocation = 16;    // relocation codes: low a, low b, high b
constexpr uint32_t kValueCode = 17;
constexpr uint32_t kPageSize = 18;      // @PAGESIZE(value, a)
constexpr uint32_t kMustBeInteger = 20;
constexpr uint32_t kDeferred = 21;      // the bits are never written at once
}  // namespace transform

// What a transform list says about the field beside the value. Start from a cleared record.
struct TransformOutputs {
  uint32_t relocFunction[3] = {0, 0, 0};
  bool transformFlag = false;  // cleared again when there is no relocation code
  PostEncodeCallback callback = nullptr;
};

// Applies the list to the value and returns the result; null value gives null, a null list
// the value unchanged. A constant already within a range check's bounds, and a range-exempt
// symbol, get no range node. Reports nothing: a range node carries the bounds and the line,
// and whoever evaluates it reports the range error. The nodes made on the way go to the set
// at `made` (CandidateNodes::keep) when it is given; otherwise they are the caller's.
OrbaExpression* applyOperandTransforms(OrbaExpression* value, const OperandTransform* transforms,
                                       TransformOutputs& outputs, LineInfo* line, CandidateNodes** made = nullptr);

// Makes the pc-relative and page checks that applyOperandTransforms wrapped around a
// value, and that name the section `from`, name `to`; the value itself is not looked into.
void moveSectionChecks(OrbaExpression* value, const Section& from, Section& to);

// A symbol reference whose symbol is exempt from range checks.
bool isRangeExemptSymbol(const OrbaExpression* expression);

// The one callback of the tables: the negation of the operand the statement wrote.
OrbaExpression* negateOperand(LineInfo* context, OrbaExpression** argument);
