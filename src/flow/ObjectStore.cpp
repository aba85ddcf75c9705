#include "flow/ObjectStore.h"

#include <cstdlib>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"

void reportObjectStoreFailure(uint32_t status, const char* text) {
  // Memory is the host's limit, not a fault of the store: the same F005 as anywhere else.
  if (status == ObjectStore::kNoMemory) errorHandler()->reportWithoutLocation(F_out_of_memory);
  errorHandler()->reportWithoutLocation(F_ioslib_error, text ? text : "");
  std::abort();
}

void reportObjectStoreError(const ObjectStore& store, uint32_t status) {
  reportObjectStoreFailure(status, store.statusText(status));
  // A fatal message ends the run; this is reached only when the handler returns.
  std::abort();
}
