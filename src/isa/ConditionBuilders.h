// The conditions behind the "when" and "warning" items of the instruction tables. Each one
// builds an expression over the operand values of the form being matched; the generated
// tables point to instantiations of the templates below with the operand positions of
// their form. Option conditions read the option flags at the time the line is matched and
// fold at once; operand conditions fold when the operands are known integers and otherwise
// stay a tree that the readers of the condition list decide on.
#pragma once

#include <cstdint>

class CandidateNodes;
class OrbaExpression;
struct LineInfo;

namespace isa::conditions {

using Builder = OrbaExpression* (*)(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);

// Whether the builder reports something each time it runs; every other builder only
// computes its condition, so not running it for a candidate that is dropped anyway leaves
// no trace.
bool reportsWhenBuilt(Builder builder);

// Every builder hands the nodes it makes to `made`; what it returns may be one of them, a
// shared constant or a folded value.
OrbaExpression* kernelMode(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
OrbaExpression* userMode1OrKernel(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
OrbaExpression* mmuPresent(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
OrbaExpression* fpuPresent(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
// The cores that have a form: TC1.3.1 and newer, TC1.6 and newer, TC1.6.X only.
OrbaExpression* coreTc131OrNewer(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
OrbaExpression* coreTc16OrNewer(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
OrbaExpression* coreTc16x(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
// Forms that the TC1.6 core encodes differently; TC1.6.X keeps them.
OrbaExpression* notCoreTc16(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
OrbaExpression* genericsEnabled(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
// The older swap.w operand order (data register first) stays accepted, with W716 at the
// line each time the condition is built; always holds.
OrbaExpression* oldSwapSyntax(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);

// Operand actions: while the condition is built they warn about a CPU functional defect at
// the line, when the line has that check on and the operand may be non-zero, and the
// condition always holds. The defect checks read the mnemonic's second value (which is 0
// for the loads that the defect leaves alone), the TC112_COR10 check the circular offset.
OrbaExpression* defectOfOperand(LineInfo* location, OrbaExpression* operand, CandidateNodes*& made);
OrbaExpression* defectAlways(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made);
OrbaExpression* cor10OfOffset(LineInfo* location, OrbaExpression* offset, CandidateNodes*& made);
// The TC112_COR10 check, then the defect checks as defectAlways.
OrbaExpression* cor10OfOffsetThenDefect(LineInfo* location, OrbaExpression* offset, CandidateNodes*& made);

OrbaExpression* operandEquals(OrbaExpression* operand, int64_t value, CandidateNodes*& made);
OrbaExpression* operandDiffers(OrbaExpression* operand, int64_t value, CandidateNodes*& made);
// left != right + offset.
OrbaExpression* operandsDiffer(OrbaExpression* left, OrbaExpression* right, int64_t offset, CandidateNodes*& made);
OrbaExpression* baseRegisterIsOther(OrbaExpression* base, CandidateNodes*& made);
OrbaExpression* offsetAbove32767(OrbaExpression* offset, CandidateNodes*& made);
// Holds when --warn-access-interrupt-enable is given and the mnemonic's second value is
// `instruction`: enable, disable and restore share their forms and are told apart so.
OrbaExpression* interruptEnableAccess(OrbaExpression* mnemonicSecond, int64_t instruction, CandidateNodes*& made);
// Holds unless the line has the CPU_TC.023 check on and the instruction is calli a11.
OrbaExpression* noCpuTc023(LineInfo* location, OrbaExpression* mnemonicSecond, OrbaExpression* target,
                           CandidateNodes*& made);

template <int N, int64_t Value>
OrbaExpression* operandIs(LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
  return operandEquals(operands[N], Value, made);
}

// The base register of the four forms with a dedicated base (a0, a1, a8, a9) ...
template <int Base, int64_t Register>
OrbaExpression* baseRegisterIs(LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
  return operandEquals(operands[Base], Register, made);
}

// ... and of the fifth form, which takes every other one.
template <int Base>
OrbaExpression* baseRegisterIsOther(LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
  return baseRegisterIsOther(operands[Base], made);
}

// A target register that the addressing mode updates would be overwritten.
template <int Target, int Base>
OrbaExpression* targetIsNotBase(LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
  return operandsDiffer(operands[Target], operands[Base], 0, made);
}

template <int Target, int Pair>
OrbaExpression* targetIsNotPairIndex(LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
  return operandsDiffer(operands[Target], operands[Pair], 1, made);
}

template <int Offset>
OrbaExpression* offsetAbove32767(LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
  return offsetAbove32767(operands[Offset], made);
}

template <int Second, int64_t Instruction>
OrbaExpression* interruptEnableAccess(LineInfo*, OrbaExpression** operands, CandidateNodes*& made) {
  return interruptEnableAccess(operands[Second], Instruction, made);
}

template <int Mnemonic, int Target>
OrbaExpression* noCpuTc023(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made) {
  return noCpuTc023(location, operands[Mnemonic], operands[Target], made);
}

// The operand positions an operand action may read: reportsWhenBuilt knows the actions by
// their instances below this bound.
constexpr int kActionOperandLimit = 16;

template <int N>
OrbaExpression* operandDefect(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made) {
  static_assert(N >= 0 && N < kActionOperandLimit);
  return defectOfOperand(location, operands[N], made);
}

template <int Offset>
OrbaExpression* circularOffsetCor10(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made) {
  static_assert(Offset >= 0 && Offset < kActionOperandLimit);
  return cor10OfOffset(location, operands[Offset], made);
}

template <int Offset>
OrbaExpression* circularOffsetCor10ThenDefect(LineInfo* location, OrbaExpression** operands, CandidateNodes*& made) {
  static_assert(Offset >= 0 && Offset < kActionOperandLimit);
  return cor10OfOffsetThenDefect(location, operands[Offset], made);
}

}  // namespace isa::conditions
