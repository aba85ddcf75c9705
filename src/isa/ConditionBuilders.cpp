#include "isa/ConditionBuilders.h"

#include "util/ErrorHandler.h"
#include "util/RunSettings.h"
#include "util/OrbaState.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/TEUnary.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace isa::conditions {

namespace {

struct OptionFlags {
  bool coreTc131 = false;
  bool coreTc16 = false;
  bool coreTc16x = false;
  bool userMode1 = false;
  bool kernelMode = true;
  bool mmuPresent = false;
  bool fpuPresent = true;
};

// Read when the line is matched, so that controls act on the lines after them. Only the
// TriCore options have these flags; other options leave the defaults.
OptionFlags optionFlags() {
  OptionFlags flags;
  if (const RunSettings* options = orbaOptions(); options->targetSelected) {
    flags.coreTc131 = options->coreTc131;
    flags.coreTc16 = options->coreTc16;
    flags.coreTc16x = options->coreTc16x;
    flags.userMode1 = options->userMode1;
    flags.kernelMode = options->kernelMode;
    flags.mmuPresent = options->mmuPresent;
    flags.fpuPresent = options->fpuPresent;
  }
  return flags;
}

OrbaExpression* flagIsSet(bool flag) { return TEBinary::create(TEInteger::create(flag ? 1 : 0), OP_equal, 1); }

OrbaExpression* join(int32_t op, OrbaExpression* left, OrbaExpression* right) {
  if (OrbaExpression* folded = foldBinaryOperation(op, left, right)) return folded;
  return new TEBinary(op, left, right);
}

// A missing operand means the form's pattern stored nothing where the table expects a
// value: the condition cannot hold.
OrbaExpression* never() { return TEInteger::create(0); }

// Index of the "$CPU_TC023" switch in the TriCore control state.
constexpr int kCpuTc023Switch = 3;

}  // namespace

OrbaExpression* kernelMode(LineInfo*, OrbaExpression**) { return flagIsSet(optionFlags().kernelMode); }

OrbaExpression* userMode1OrKernel(LineInfo*, OrbaExpression**) {
  const OptionFlags options = optionFlags();
  return flagIsSet(options.userMode1 || options.kernelMode);
}

OrbaExpression* mmuPresent(LineInfo*, OrbaExpression**) { return flagIsSet(optionFlags().mmuPresent); }

OrbaExpression* fpuPresent(LineInfo*, OrbaExpression**) { return flagIsSet(optionFlags().fpuPresent); }

OrbaExpression* coreTc131OrNewer(LineInfo*, OrbaExpression**) {
  const OptionFlags options = optionFlags();
  OrbaExpression* tc131 = flagIsSet(options.coreTc131);
  OrbaExpression* tc16 = flagIsSet(options.coreTc16 || options.coreTc16x);
  return join(OP_logicalOr, tc131, tc16);
}

OrbaExpression* coreTc16OrNewer(LineInfo*, OrbaExpression**) {
  const OptionFlags options = optionFlags();
  return flagIsSet(options.coreTc16 || options.coreTc16x);
}

OrbaExpression* coreTc16x(LineInfo*, OrbaExpression**) { return flagIsSet(optionFlags().coreTc16x); }

OrbaExpression* notCoreTc16(LineInfo*, OrbaExpression**) {
  return TEBinary::create(TEInteger::create(optionFlags().coreTc16 ? 1 : 0), OP_equal, 0);
}

OrbaExpression* genericsEnabled(LineInfo*, OrbaExpression**) {
  return TEBinary::create(TEInteger::create(orbaOptions()->optimizeGenerics ? 0 : 1), OP_equal, 0);
}

OrbaExpression* oldSwapSyntax(LineInfo* location, OrbaExpression**) {
  errorHandler()->report(W_old_swap_syntax, location);
  return TEBinary::create(TEInteger::create(1), OP_notEqual, 0);
}

OrbaExpression* operandEquals(OrbaExpression* operand, int64_t value) {
  return operand ? TEBinary::create(operand, OP_equal, value) : never();
}

OrbaExpression* operandDiffers(OrbaExpression* operand, int64_t value) {
  return operand ? TEBinary::create(operand, OP_notEqual, value) : never();
}

OrbaExpression* operandsDiffer(OrbaExpression* left, OrbaExpression* right, int64_t offset) {
  if (!left || !right) return never();
  OrbaExpression* shifted = offset ? TEBinary::create(right, OP_add, offset) : right;
  return join(OP_notEqual, left, shifted);
}

OrbaExpression* baseRegisterIsOther(OrbaExpression* base) {
  OrbaExpression* condition = operandDiffers(base, 0);
  for (int64_t dedicated : {1, 8, 9}) condition = join(OP_logicalAnd, condition, operandDiffers(base, dedicated));
  return condition;
}

OrbaExpression* offsetAbove32767(OrbaExpression* offset) {
  return offset ? TEBinary::create(offset, OP_greaterEqual, 32768) : never();
}

OrbaExpression* noCpuTc023(LineInfo* location, OrbaExpression* mnemonicSecond, OrbaExpression* target) {
  OrbaExpression* calli = join(OP_logicalAnd, operandEquals(mnemonicSecond, 0), operandEquals(target, 11));
  const auto* control = location ? dynamic_cast<const TriCoreControlState*>(location->controlState) : nullptr;
  bool checkOn = control && control->defectSwitch[kCpuTc023Switch] == 1;
  OrbaExpression* hit = join(OP_logicalAnd, calli, flagIsSet(checkOn));
  return new TEUnary(OP_logicalNot, hit);
}

}  // namespace isa::conditions
