#include "util/StringBuffer.h"

#include <cstring>

#include "util/MemoryPools.h"
#include "util/assertion.h"
#include "util/c-memory.h"

namespace {

constexpr size_t kInitialSlots = 1024;

}  // namespace

// Eight bytes at a time, then the tail; the final mix spreads the bits over the
// low end that the mask keeps.
uint32_t hashBytes(const char* text, size_t length) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ length;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    h = (h ^ word) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, text + i, length - i);
  h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 29;
  return static_cast<uint32_t>(h);
}

// Slots are plain data, and all bits zero is an empty slot: the table comes zero-filled.
StringBuffer::StringBuffer()
    : pool_(MemoryPools::instance().registerPool("StringBuffer")),
      slots_(static_cast<Slot*>(mem_table_alloc(kInitialSlots * sizeof(Slot)))),
      slotCount_(kInitialSlots) {
  mem_range_reserve(&interned_, kMaxInternedBytes);
  // Offset 0 marks an empty slot: the first text starts behind it.
  internedUsed_ = sizeof(uint32_t);
}

StringBuffer::~StringBuffer() {
  mem_table_free(slots_, slotCount_ * sizeof(Slot));
  mem_range_release(&interned_);
  MemoryPools::instance().destroyRegistered(pool_);
}

const char* StringBuffer::intern(const char* text) {
  VEKT_ASSERT(text);
  return internBytes(text, std::strlen(text));
}

const char* StringBuffer::internRange(const char* from, const char* to) {
  VEKT_ASSERT(from <= to);
  size_t length = static_cast<size_t>(to - from);
  if (const void* nul = std::memchr(from, '\0', length)) length = static_cast<const char*>(nul) - from;
  return internBytes(from, length);
}

const char* StringBuffer::copyRange(const char* from, const char* to) {
  VEKT_ASSERT(from <= to);
  size_t length = static_cast<size_t>(to - from);
  if (const void* nul = std::memchr(from, '\0', length)) length = static_cast<const char*>(nul) - from;
  return copyBytes(from, length);
}

const char* StringBuffer::copy(const char* text) {
  VEKT_ASSERT(text);
  return copyBytes(text, std::strlen(text));
}

char* StringBuffer::copyBytes(const char* text, size_t length) {
  char* copy = static_cast<char*>(mem_pool_alloc(pool_, length + 1));
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

const char* StringBuffer::internBytes(const char* text, size_t length) {
  // Texts are source lines and names: a length beyond 32 bits is no text of a source.
  VEKT_ASSERT(length < UINT32_MAX);
  uint32_t hash = hashBytes(text, length);
  Slot& recent = recent_[hash & (kRecentSlots - 1)];
  if (recent.offset != 0 && recent.hash == hash) {
    const char* stored = interned_.base + recent.offset;
    uint32_t storedLength;
    std::memcpy(&storedLength, stored - sizeof storedLength, sizeof storedLength);
    if (storedLength == length && std::memcmp(stored, text, length) == 0) return stored;
  }
  size_t mask = slotCount_ - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.offset == 0) {
      size_t offset = internedUsed_ + sizeof(uint32_t);
      size_t end = offset + length + 1;
      if (end > kMaxInternedBytes) mem_out_of_memory();
      mem_range_commit(&interned_, end);
      auto stored = static_cast<uint32_t>(length);
      std::memcpy(interned_.base + internedUsed_, &stored, sizeof stored);
      char* copy = interned_.base + offset;
      std::memcpy(copy, text, length);
      copy[length] = '\0';
      internedUsed_ = end;
      slot = {static_cast<uint32_t>(offset), hash};
      recent = slot;
      // At most three quarters full, so that a probe always ends at an empty slot.
      if (++used_ * 4 > slotCount_ * 3) grow();
      return copy;
    }
    if (slot.hash != hash) continue;
    const char* stored = interned_.base + slot.offset;
    uint32_t storedLength;
    std::memcpy(&storedLength, stored - sizeof storedLength, sizeof storedLength);
    if (storedLength == length && std::memcmp(stored, text, length) == 0) {
      recent = slot;
      return stored;
    }
  }
}

void StringBuffer::grow() {
  size_t largerCount = slotCount_ * 2;
  auto* larger = static_cast<Slot*>(mem_table_alloc(largerCount * sizeof(Slot)));
  size_t mask = largerCount - 1;
  for (size_t k = 0; k < slotCount_; ++k) {
    const Slot& slot = slots_[k];
    if (slot.offset == 0) continue;
    size_t i = slot.hash & mask;
    while (larger[i].offset != 0) i = (i + 1) & mask;
    larger[i] = slot;
  }
  mem_table_free(slots_, slotCount_ * sizeof(Slot));
  slots_ = larger;
  slotCount_ = largerCount;
}
