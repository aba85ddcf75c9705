#include "objlib/ios_hashtab.h"

#include <cstdlib>
#include <unistd.h>

Hashtab* hashtab_calloc(HashtabHashFn hash, HashtabCompareFn compare) {
  auto* table = static_cast<Hashtab*>(std::calloc(1, sizeof(Hashtab)));
  if (table == nullptr) {
    static const char text[] = "hashtab_calloc: Cannot allocate memory.\n";
    ssize_t written = write(STDERR_FILENO, text, sizeof text - 1);
    (void)written;
    std::exit(2);
  }
  table->hashFn = hash;
  table->compareFn = compare;
  return table;
}
