#include "util/LineInfo.h"

#include "util/ControlState.h"

// Line records are many and small: they come from their own pool.
VEKT_POOLED_CLASS_IMPL(LineInfo, "LineInfo")

LineInfo::~LineInfo() {
  if (ownsControlState) delete controlState;
}
