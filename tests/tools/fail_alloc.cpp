// Preloaded into a program (LD_PRELOAD), makes one of its allocations fail as when memory
// is exhausted, so that a test can walk every place that asks for memory: the calls of
// malloc, calloc, realloc, posix_memalign, aligned_alloc and of mmap for anonymous memory
// are numbered from 1 at the start of the process, and the one numbered
// VEKT_FAIL_ALLOCATION fails; the others go on to the C library. With
// VEKT_COUNT_ALLOCATIONS set, the number of calls goes to standard error at exit, as
// "allocations N".
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

struct Settings {
  bool read = false;
  long failing = 0;  // 0: none
  bool counting = false;
};

Settings settings;
long calls = 0;

bool failsNow() {
  // getenv does not allocate: reading the settings inside the first call is safe.
  if (!settings.read) {
    settings.read = true;
    if (const char* text = std::getenv("VEKT_FAIL_ALLOCATION")) settings.failing = std::atol(text);
    settings.counting = std::getenv("VEKT_COUNT_ALLOCATIONS") != nullptr;
  }
  ++calls;
  if (calls != settings.failing) return false;
  errno = ENOMEM;
  return true;
}

__attribute__((destructor)) void reportCount() {
  if (!settings.counting) return;
  char text[64];
  int length = std::snprintf(text, sizeof text, "allocations %ld\n", calls);
  if (length > 0) {
    ssize_t written = write(STDERR_FILENO, text, static_cast<size_t>(length));
    (void)written;
  }
}

}  // namespace

extern "C" {

void* malloc(size_t size) noexcept { return failsNow() ? nullptr : __libc_malloc(size); }

void* calloc(size_t count, size_t size) noexcept { return failsNow() ? nullptr : __libc_calloc(count, size); }

void* realloc(void* pointer, size_t size) noexcept {
  // A realloc to size 0 frees; it is no request for memory.
  if (size != 0 && failsNow()) return nullptr;
  return __libc_realloc(pointer, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) noexcept {
  if (failsNow()) return ENOMEM;
  void* made = __libc_memalign(alignment, size);
  if (!made) return ENOMEM;
  *result = made;
  return 0;
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
  return failsNow() ? nullptr : __libc_memalign(alignment, size);
}

void* mmap(void* address, size_t length, int protection, int flags, int descriptor, off_t offset) noexcept {
  if ((flags & MAP_ANONYMOUS) && failsNow()) return MAP_FAILED;
  long made = syscall(SYS_mmap, address, length, protection, flags, descriptor, offset);
  return reinterpret_cast<void*>(made);
}

}  // extern "C"
