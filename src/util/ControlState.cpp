#include "util/ControlState.h"

#include "util/OrbaState.h"
#include "util/RunSettings.h"

ControlState::ControlState() {
  if (!_orbaOptions) return;
  allWarningsOff = _orbaOptions->allWarningsOff;
  suppressedWarnings.insert(_orbaOptions->suppressedWarnings.begin(), _orbaOptions->suppressedWarnings.end());
  warningsAsErrors = _orbaOptions->allWarningsAsErrors;
  promotedWarnings.insert(_orbaOptions->promotedWarnings.begin(), _orbaOptions->promotedWarnings.end());
}
