#include "util/InputGate.h"

#include "util/RunState.h"

namespace {

struct InputGate {
  InputPathFilter filter = nullptr;
};

}  // namespace

void setInputPathFilter(InputPathFilter filter) { runPart<InputGate>().filter = filter; }

bool inputPathAllowed(const char* path) {
  const InputPathFilter filter = runPart<InputGate>().filter;
  return !filter || filter(path);
}
