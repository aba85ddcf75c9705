#include "util/assertion.h"

#include <cstdio>
#include <cstdlib>

void vektAssertFailed(const char* expression, const char* file, int line, const char* function) {
  std::fflush(stdout);
  std::fprintf(stderr, "vekt: %s:%d: %s: Assertion `%s' failed.\n", file, line, function,
               expression);
  std::fflush(stderr);
  std::abort();
}
