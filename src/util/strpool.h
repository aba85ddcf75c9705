// The option parser's string interning: one copy of every distinct text in an
// unregistered pool that lives until the process ends.
#pragma once

// Makes the pool at the first call; later calls do nothing.
void strpool_init();
const char* strpool_intern(const char* text);
// The interned a followed by b; either may be null (null when both are).
const char* strpool_intern_concat(const char* a, const char* b);
