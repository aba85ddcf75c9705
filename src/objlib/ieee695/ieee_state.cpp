#include "objlib/ieee695/ieee_state.h"

IeeeProcessState& ieee_process_state() {
  // The one home of this state until a run object holds it.
  static IeeeProcessState state{};
  return state;
}

void ieee_process_state_reset() { ieee_process_state() = IeeeProcessState{}; }
