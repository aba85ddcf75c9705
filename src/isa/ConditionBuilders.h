// The conditions behind the "when" and "warning" items of the instruction tables. Each one
// builds an expression over the operand values of the form being matched; the generated
// tables point to instantiations of the templates below with the operand positions of
// their form. Option conditions read the option flags at the time the line is matched and
// fold at once; operand conditions fold when the operands are known integers and otherwise
// stay a tree that the readers of the condition list decide on.
#pragma once

#include <cstdint>

class OrbaExpression;
struct LineInfo;

namespace isa::conditions {

OrbaExpression* kernelMode(LineInfo* location, OrbaExpression** operands);
OrbaExpression* userMode1OrKernel(LineInfo* location, OrbaExpression** operands);
OrbaExpression* mmuPresent(LineInfo* location, OrbaExpression** operands);
OrbaExpression* fpuPresent(LineInfo* location, OrbaExpression** operands);
// The cores that have a form: TC1.3.1 and newer, TC1.6 and newer, TC1.6.X only.
OrbaExpression* coreTc131OrNewer(LineInfo* location, OrbaExpression** operands);
OrbaExpression* coreTc16OrNewer(LineInfo* location, OrbaExpression** operands);
OrbaExpression* coreTc16x(LineInfo* location, OrbaExpression** operands);
// Forms that the TC1.6 core encodes differently; TC1.6.X keeps them.
OrbaExpression* notCoreTc16(LineInfo* location, OrbaExpression** operands);
OrbaExpression* genericsEnabled(LineInfo* location, OrbaExpression** operands);
// The older swap.w operand order (data register first) stays accepted, with W716 at the
// line each time the condition is built; always holds.
OrbaExpression* oldSwapSyntax(LineInfo* location, OrbaExpression** operands);

OrbaExpression* operandEquals(OrbaExpression* operand, int64_t value);
OrbaExpression* operandDiffers(OrbaExpression* operand, int64_t value);
// left != right + offset.
OrbaExpression* operandsDiffer(OrbaExpression* left, OrbaExpression* right, int64_t offset);
OrbaExpression* baseRegisterIsOther(OrbaExpression* base);
OrbaExpression* offsetAbove32767(OrbaExpression* offset);
// Holds unless the line has the CPU_TC.023 check on and the instruction is calli a11.
OrbaExpression* noCpuTc023(LineInfo* location, OrbaExpression* mnemonicSecond, OrbaExpression* target);

template <int N, int64_t Value>
OrbaExpression* operandIs(LineInfo*, OrbaExpression** operands) {
  return operandEquals(operands[N], Value);
}

// The base register of the four forms with a dedicated base (a0, a1, a8, a9) ...
template <int Base, int64_t Register>
OrbaExpression* baseRegisterIs(LineInfo*, OrbaExpression** operands) {
  return operandEquals(operands[Base], Register);
}

// ... and of the fifth form, which takes every other one.
template <int Base>
OrbaExpression* baseRegisterIsOther(LineInfo*, OrbaExpression** operands) {
  return baseRegisterIsOther(operands[Base]);
}

// A target register that the addressing mode updates would be overwritten.
template <int Target, int Base>
OrbaExpression* targetIsNotBase(LineInfo*, OrbaExpression** operands) {
  return operandsDiffer(operands[Target], operands[Base], 0);
}

template <int Target, int Pair>
OrbaExpression* targetIsNotPairIndex(LineInfo*, OrbaExpression** operands) {
  return operandsDiffer(operands[Target], operands[Pair], 1);
}

template <int Offset>
OrbaExpression* offsetAbove32767(LineInfo*, OrbaExpression** operands) {
  return offsetAbove32767(operands[Offset]);
}

template <int Mnemonic, int Target>
OrbaExpression* noCpuTc023(LineInfo* location, OrbaExpression** operands) {
  return noCpuTc023(location, operands[Mnemonic], operands[Target]);
}

}  // namespace isa::conditions
