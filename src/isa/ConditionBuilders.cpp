#include "isa/ConditionBuilders.h"

#include <utility>

#include "util/RunSettings.h"
#include "util/OrbaState.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/OperandActions.h"
#include "expr/TEUnary.h"
#include "isa/CandidateNodes.h"
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
  bool warnAccessInterruptEnable = false;
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
    flags.warnAccessInterruptEnable = options->warnAccessInterruptEnable;
  }
  return flags;
}

// The option flags are constants by the time a line is matched: these fold at once.
OrbaExpression* flagIsSet(bool flag) { return TEInteger::create(flag ? 1 : 0); }

OrbaExpression* join(int32_t op, OrbaExpression* left, OrbaExpression* right, CandidateNodes*& made) {
  if (OrbaExpression* folded = foldBinaryOperation(op, left, right)) return CandidateNodes::keep(made, folded);
  return CandidateNodes::keep(made, new TEBinary(op, left, right));
}

// operand op constant, folded when the operand is a constant.
OrbaExpression* compare(OrbaExpression* operand, int32_t op, int64_t constant, CandidateNodes*& made) {
  // Register numbers are integers: their comparisons, the most frequent, fold here as the
  // integer fold would.
  if (operand->getKind() == EK_integer && (op == OP_equal || op == OP_notEqual || op == OP_greaterEqual)) {
    int64_t value = operand->getInteger();
    bool holds = op == OP_equal ? value == constant : op == OP_notEqual ? value != constant : value >= constant;
    return TEInteger::create(holds ? 1 : 0);
  }
  return CandidateNodes::keep(made, TEBinary::create(operand, op, constant));
}

// A missing operand means the form's pattern stored nothing where the table expects a
// value: the condition cannot hold.
OrbaExpression* never() { return TEInteger::create(0); }

// Index of the "$CPU_TC023" switch in the TriCore control state.
constexpr int kCpuTc023Switch = 3;

// Any instance of the operand actions' templates.
template <int... N>
bool isOperandAction(Builder builder, std::integer_sequence<int, N...>) {
  return ((builder == &operandDefect<N> || builder == &circularOffsetCor10<N> ||
           builder == &circularOffsetCor10ThenDefect<N>) ||
          ...);
}

// An action answers the integer 1, which the condition compares with 0.
OrbaExpression* actionHolds(OrbaExpression* answer, CandidateNodes*& made) {
  return compare(answer, OP_notEqual, 0, made);
}

}  // namespace

bool reportsWhenBuilt(Builder builder) {
  return builder == &oldSwapSyntax || builder == &defectAlways ||
         isOperandAction(builder, std::make_integer_sequence<int, kActionOperandLimit>{});
}

OrbaExpression* kernelMode(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  return flagIsSet(optionFlags().kernelMode);
}

OrbaExpression* userMode1OrKernel(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  const OptionFlags options = optionFlags();
  return flagIsSet(options.userMode1 || options.kernelMode);
}

OrbaExpression* mmuPresent(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  return flagIsSet(optionFlags().mmuPresent);
}

OrbaExpression* fpuPresent(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  return flagIsSet(optionFlags().fpuPresent);
}

OrbaExpression* coreTc131OrNewer(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  const OptionFlags options = optionFlags();
  return flagIsSet(options.coreTc131 || options.coreTc16 || options.coreTc16x);
}

OrbaExpression* coreTc16OrNewer(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  const OptionFlags options = optionFlags();
  return flagIsSet(options.coreTc16 || options.coreTc16x);
}

OrbaExpression* coreTc16x(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  return flagIsSet(optionFlags().coreTc16x);
}

OrbaExpression* notCoreTc16(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  return flagIsSet(!optionFlags().coreTc16);
}

OrbaExpression* genericsEnabled(LineInfo*, OrbaExpression**, CandidateNodes*&) {
  return flagIsSet(orbaOptions()->optimizeGenerics);
}

OrbaExpression* oldSwapSyntax(LineInfo* location, OrbaExpression**, CandidateNodes*& made) {
  return actionHolds(reportOldSwapSyntax(location), made);
}

OrbaExpression* defectOfOperand(LineInfo* location, OrbaExpression* operand, CandidateNodes*& made) {
  return actionHolds(reportOperandDefect(location, operand), made);
}

OrbaExpression* defectAlways(LineInfo* location, OrbaExpression**, CandidateNodes*& made) {
  return defectOfOperand(location, TEInteger::create(1), made);
}

OrbaExpression* cor10OfOffset(LineInfo* location, OrbaExpression* offset, CandidateNodes*& made) {
  return actionHolds(reportOperandCor10(location, offset), made);
}

OrbaExpression* cor10OfOffsetThenDefect(LineInfo* location, OrbaExpression* offset, CandidateNodes*& made) {
  OrbaExpression* cor10 = cor10OfOffset(location, offset, made);
  return join(OP_logicalAnd, cor10, defectAlways(location, nullptr, made), made);
}

OrbaExpression* operandEquals(OrbaExpression* operand, int64_t value, CandidateNodes*& made) {
  return operand ? compare(operand, OP_equal, value, made) : never();
}

OrbaExpression* operandDiffers(OrbaExpression* operand, int64_t value, CandidateNodes*& made) {
  return operand ? compare(operand, OP_notEqual, value, made) : never();
}

OrbaExpression* operandsDiffer(OrbaExpression* left, OrbaExpression* right, int64_t offset, CandidateNodes*& made) {
  if (!left || !right) return never();
  OrbaExpression* shifted = offset ? compare(right, OP_add, offset, made) : right;
  return join(OP_notEqual, left, shifted, made);
}

OrbaExpression* baseRegisterIsOther(OrbaExpression* base, CandidateNodes*& made) {
  // A register operand is a number: the answer is one integer, not a chain of folds.
  if (base && base->getKind() == EK_integer) {
    int64_t number = base->getInteger();
    return flagIsSet(number != 0 && number != 1 && number != 8 && number != 9);
  }
  OrbaExpression* condition = operandDiffers(base, 0, made);
  for (int64_t dedicated : {1, 8, 9})
    condition = join(OP_logicalAnd, condition, operandDiffers(base, dedicated, made), made);
  return condition;
}

OrbaExpression* offsetAbove32767(OrbaExpression* offset, CandidateNodes*& made) {
  return offset ? compare(offset, OP_greaterEqual, 32768, made) : never();
}

OrbaExpression* interruptEnableAccess(OrbaExpression* mnemonicSecond, int64_t instruction, CandidateNodes*& made) {
  OrbaExpression* wanted = compare(flagIsSet(optionFlags().warnAccessInterruptEnable), OP_equal, 1, made);
  return join(OP_logicalAnd, wanted, operandEquals(mnemonicSecond, instruction, made), made);
}

OrbaExpression* noCpuTc023(LineInfo* location, OrbaExpression* mnemonicSecond, OrbaExpression* target,
                           CandidateNodes*& made) {
  OrbaExpression* calli =
      join(OP_logicalAnd, operandEquals(mnemonicSecond, 0, made), operandEquals(target, 11, made), made);
  const auto* control = location ? dynamic_cast<const TriCoreControlState*>(location->controlState.get()) : nullptr;
  bool checkOn = control && control->defectSwitch[kCpuTc023Switch] == 1;
  OrbaExpression* hit = join(OP_logicalAnd, calli, flagIsSet(checkOn), made);
  // A constant is negated here: evaluating a negation node makes a new integer each time.
  if (hit->getKind() == EK_integer) return TEInteger::create(hit->getInteger() == 0 ? 1 : 0);
  return CandidateNodes::keep(made, new TEUnary(OP_logicalNot, hit));
}

}  // namespace isa::conditions
