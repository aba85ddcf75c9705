// The table of repeated plain statements: statements whose text, control state and section
// decide everything about them (one fixed form chosen at once, integer operands alone,
// nothing reported, no jump). The next statement of the same text under the same state in
// the same section takes the kept outcome instead of walking the automaton.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "parser/StatementText.h"
#include "util/PagedSlots.h"
#include "util/StringBuffer.h"

class ControlState;
class IPAttribute;
class Section;

class PlainStatementCache : public StatementStaleness {
 public:
  // The most characters of a text a slot holds: a slot takes one cache line.
  static constexpr size_t kTextRoom = 27;
  // A source repeats a few shapes often, and the table stays small enough to be looked up
  // at the cost of a cache line.
  static constexpr size_t kSlots = 4096;

  // What a statement came to. Its hash is not kept, as the text, state and section decide
  // it, and the tags beside the slots hold bits of it.
  struct alignas(64) Entry {
    const ControlState* state = nullptr;
    const Section* section = nullptr;
    IPAttribute* attributes = nullptr;  // a claim on a shared set; null when the slot is free
    uint32_t image = 0;                 // bits 0..31; the rest of the image is 0
    uint32_t generation = 0;
    uint16_t cycles = 0;
    uint8_t bits = 0;
    uint8_t consumed = 0;  // never past the text
    uint8_t textLength = 0;
    char text[kTextRoom] = {};
  };

  PlainStatementCache() = default;
  ~PlainStatementCache();
  PlainStatementCache(const PlainStatementCache&) = delete;
  PlainStatementCache& operator=(const PlainStatementCache&) = delete;

  // The key of a statement text under a state in a section.
  static uint64_t key(const char* text, size_t length, const ControlState* state, const Section* section) {
    uint64_t hash = hashBytes(text, length);
    hash ^= reinterpret_cast<uintptr_t>(state) * 0x9E3779B97F4A7C15ull;
    hash ^= reinterpret_cast<uintptr_t>(section) * 0xC2B2AE3D27D4EB4Full;
    return hash ^ (hash >> 29);
  }

  // The entry kept for the text under the state in the section, or null. Every statement
  // that fits asks: the tags answer most misses without reading a slot.
  const Entry* find(uint64_t key, const char* text, size_t length, const ControlState* state,
                    const Section* section) const {
    if (length > kTextRoom || tags_.empty()) return nullptr;
    const size_t slot = slotOf(key);
    if (tags_[slot] != tag(key)) return nullptr;
    const Entry& entry = *entries_.find(slot);
    if (entry.generation != generation_ || entry.state != state ||
        entry.section != section || entry.textLength != length || std::memcmp(entry.text, text, length) != 0)
      return nullptr;
    return &entry;
  }

  // Keeps what the statement came to, in place of what its slot held, with a claim of its
  // own on `attributes` (a shared set). False, with nothing kept, when the text does not
  // fit a slot or `consumed` reaches past it.
  bool keep(uint64_t key, const char* text, size_t length, const ControlState* state, const Section* section,
            IPAttribute& attributes, uint32_t image, uint8_t bits, uint16_t cycles, size_t consumed);

 private:
  // The tag of a slot: bits of the key above those that choose the slot, never 0, which
  // marks a free slot.
  static uint32_t tag(uint64_t key) { return static_cast<uint32_t>(key >> 12) | 1; }
  static size_t slotOf(uint64_t key) { return key & (kSlots - 1); }

  // A page of slots at a time, at the first statement kept in it: the parsers of
  // generated lines never keep one, and a small source a few.
  PagedSlots<Entry, kSlots, 64> entries_;
  // Beside the slots, by slot: the tags answer most misses without reading a slot, which
  // is seldom in the cache.
  std::vector<uint32_t> tags_;
};
static_assert(sizeof(PlainStatementCache::Entry) == 64);
