// A write stream held in memory that refuses every byte as a full disk does, so that
// tests of failed writes need no device of the machine.
#pragma once

#include <cerrno>
#include <cstdio>
#include <sys/types.h>

inline std::FILE* openFullStream() {
  cookie_io_functions_t functions{};
  // No byte taken: the stream marks the error and reports the write short, buffered
  // or not.
  functions.write = [](void*, const char*, size_t) -> ssize_t {
    errno = ENOSPC;
    return 0;
  };
  return fopencookie(nullptr, "w", functions);
}
