// Hash tables that the library's clients make for their own keys.
#pragma once

#include "util/hashtab.h"

// A zeroed table from the heap with the two callbacks stored. Never null: without
// memory the process ends with status 2 after a message on the error stream.
Hashtab* hashtab_calloc(HashtabHashFn hash, HashtabCompareFn compare);
