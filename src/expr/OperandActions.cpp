#include "expr/OperandActions.h"

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"

namespace {

// A value that is not known yet may turn out non-zero.
bool mayBeNonZero(OrbaExpression* operand) {
  if (!operand) return false;
  if (!isConstantValue(operand)) return true;
  return operand->getInteger() != 0;
}

bool checkOn(const LineInfo* position, int defectSwitch) {
  if (!position || !position->controlState) return false;
  // A state without the TriCore switches has every check off.
  auto* state = dynamic_cast<const TriCoreControlState*>(position->controlState.get());
  return state && state->defectSwitch[defectSwitch] == 1;
}

void warnIf(bool condition, int32_t id, const LineInfo* position) {
  if (condition) errorHandler()->report(id, position);
}

}  // namespace

OrbaExpression* reportOperandCor10(const LineInfo* position, OrbaExpression* operand) {
  if (mayBeNonZero(operand))
    warnIf(checkOn(position, TriCoreControlState::kTc112Cor10), W_TC112_COR10, position);
  return TEInteger::create(1);
}

OrbaExpression* reportOperandDefect(const LineInfo* position, OrbaExpression* operand) {
  if (mayBeNonZero(operand)) {
    warnIf(checkOn(position, TriCoreControlState::kDmuTc001), W_DMU_TC001, position);
    warnIf(checkOn(position, TriCoreControlState::kTc113Lfi2), W_TC113_LFI2, position);
    warnIf(checkOn(position, TriCoreControlState::kTc113Lfi3), W_TC113_LFI3, position);
    warnIf(checkOn(position, TriCoreControlState::kTc113Cpu15), W_TC113_CPU15, position);
  }
  return TEInteger::create(1);
}

OrbaExpression* reportOldSwapSyntax(const LineInfo* position) {
  errorHandler()->report(W_old_swap_syntax, position);
  return TEInteger::create(1);
}

OrbaExpression* cor10CheckEnabled() { return TEInteger::create(0); }
