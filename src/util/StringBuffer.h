// Interns texts so that each distinct text is stored once for the whole run and
// names can be compared as pointers.
#pragma once

#include <cstddef>
#include <cstdint>

struct MemPool;

// The hash of a text of that many bytes, as the intern table spreads its texts.
uint32_t hashBytes(const char* text, size_t length);

class StringBuffer {
 public:
  StringBuffer();
  ~StringBuffer();
  StringBuffer(const StringBuffer&) = delete;
  StringBuffer& operator=(const StringBuffer&) = delete;

  // The one stored copy of an equal text; text must not be null.
  const char* intern(const char* text);
  // The interned copy of the bytes [from, to), up to a NUL byte among them.
  const char* internRange(const char* from, const char* to);
  // A copy of the bytes [from, to), up to a NUL byte among them, kept for the run but
  // not interned: line texts are nearly all distinct, and hashing each one into the
  // table would cost a probe and a slot per line for nothing.
  const char* copyRange(const char* from, const char* to);
  const char* copy(const char* text);

 private:
  // Every source line passes through here: each slot keeps its text's hash and
  // length, so that probing compares texts only on a full match and growing the
  // table never hashes a text again.
  struct Slot {
    const char* text = nullptr;
    uint32_t hash = 0;
    uint32_t length = 0;
  };

  const char* internBytes(const char* text, size_t length);
  char* copyBytes(const char* text, size_t length);
  void grow();

  MemPool* pool_;
  Slot* slots_ = nullptr;  // slotCount_ of them, a power of two
  size_t slotCount_ = 0;
  size_t used_ = 0;
};
