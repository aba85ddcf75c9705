#include "objlib/ieee695/ieee_state.h"

#include "util/RunState.h"

IeeeProcessState& ieee_process_state() { return runPart<IeeeProcessState>(); }

void ieee_process_state_reset() { ieee_process_state() = IeeeProcessState{}; }
