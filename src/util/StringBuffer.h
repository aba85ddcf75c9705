// Interns texts so that each distinct text is stored once for the whole run and
// names can be compared as pointers.
#pragma once

#include <cstddef>

struct MemPool;
struct Hashtab;

class StringBuffer {
 public:
  StringBuffer();
  ~StringBuffer();
  StringBuffer(const StringBuffer&) = delete;
  StringBuffer& operator=(const StringBuffer&) = delete;

  // The one stored copy of an equal text; text must not be null.
  const char* intern(const char* text);
  // The interned copy of the bytes [from, to).
  const char* internRange(const char* from, const char* to);

 private:
  MemPool* pool_;
  Hashtab* table_;
  char* scratch_;
  size_t scratchCapacity_;
};
