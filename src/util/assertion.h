// Assertion failures of the utility layer and the manager accessors: printed the
// way the C runtime prints a failed assert, then the process aborts.
#pragma once

[[noreturn]] void vektAssertFailed(const char* expression, const char* file, int line,
                                   const char* function);

#define VEKT_ASSERT(expr) \
  ((expr) ? (void)0 : vektAssertFailed(#expr, __FILE__, __LINE__, __func__))
