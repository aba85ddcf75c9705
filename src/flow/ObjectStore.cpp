#include "flow/ObjectStore.h"

#include <cstdlib>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"

void reportObjectStoreError(const ObjectStore& store, uint32_t status) {
  errorHandler()->reportWithoutLocation(F_ioslib_error, store.statusText(status));
  // A fatal message ends the run; this is reached only when the handler returns.
  std::abort();
}
