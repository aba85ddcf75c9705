// Interns texts so that each distinct text is stored once for the whole run and
// names can be compared as pointers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/c-memory.h"

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
  // Every label and name passes through here, and the table is probed at random: a
  // slot is 8 bytes, the interned text's offset in the store and its hash, so that
  // probing compares texts only on a full hash match and growing the table never
  // hashes a text again. Offset 0 is an empty slot.
  struct Slot {
    uint32_t offset = 0;
    uint32_t hash = 0;
  };
  // The interned texts, each behind its length (4 bytes) and followed by a NUL, in
  // one range that never moves.
  static constexpr size_t kMaxInternedBytes = size_t{1} << 32;

  const char* internBytes(const char* text, size_t length);
  char* copyBytes(const char* text, size_t length);
  void grow();

  MemPool* pool_;
  MemRange interned_;
  size_t internedUsed_ = 0;
  Slot* slots_ = nullptr;  // slotCount_ of them, a power of two
  // The texts interned last, by the low bits of their hash: a name is interned again a
  // few lines after its first time (the preprocessor's label, then the parser's), and
  // this small table answers without a probe into the large one, whose slot and text
  // have left the cache by then.
  static constexpr size_t kRecentSlots = 1024;
  Slot recent_[kRecentSlots] = {};
  size_t slotCount_ = 0;
  size_t used_ = 0;
};
