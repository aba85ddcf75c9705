#include "util/ControlState.h"

#include "util/MessageCatalog.h"
#include "driver/OptionTable.h"
#include "util/OrbaState.h"
#include "driver/c-opt.h"

namespace {

// The option without a number stands for every warning (the parser gives -1);
// numbers that no message has are ignored.
void readWarningSet(uint32_t record, bool& all, std::set<int32_t>& ids) {
  uint32_t count = opt_count(record);
  for (uint32_t i = 0; i < count && !all; ++i) {
    int32_t number = opt_get_int_at(record, i);
    if (number == -1) {
      all = true;
    } else if (number >= 0) {
      if (int32_t id = messages::indexOfNumber(static_cast<uint32_t>(number))) ids.insert(id);
    }
  }
}

}  // namespace

ControlState::ControlState() {
  if (!_orbaOptions) return;
  readWarningSet(opt::EH_SUPPRESS, allWarningsOff, suppressedWarnings);
  if (!warningsAsErrors) readWarningSet(opt::EH_ERRWARN, warningsAsErrors, promotedWarnings);
}
