#include "parser/JumpShapeCache.h"

#include <cstring>

#include "isa/JumpRecord.h"
#include "parser/LineScanner.h"
#include "util/StringBuffer.h"

namespace {

// Directives that place data, space or alignment in the section, or give a symbol a value:
// nothing a jump's forms are built from. A symbol's value is judged at every jump.
bool leavesJumpsAlone(int directive) {
  switch (directive) {
    case kTokAccum:
    case kTokAlign:
    case kTokAscii:
    case kTokAsciiz:
    case kTokByte:
    case kTokDouble:
    case kTokEqu:
    case kTokFloat:
    case kTokFract:
    case kTokHalf:
    case kTokSet:
    case kTokSfract:
    case kTokSpace:
    case kTokWord:
      return true;
    default:
      return false;
  }
}

}  // namespace

void JumpShapeCache::directiveRan(int directive) {
  if (!leavesJumpsAlone(directive)) ++generation_;
}

bool JumpShapeCache::Key::make() {
  if (split.from > split.end || split.end > length) return false;
  uint64_t mixed = hashBytes(text, split.from);
  mixed = (mixed ^ hashBytes(text + split.end, static_cast<size_t>(length - split.end))) * 0x9E3779B97F4A7C15ull;
  mixed ^= reinterpret_cast<uintptr_t>(state) * 0xC2B2AE3D27D4EB4Full;
  mixed ^= reinterpret_cast<uintptr_t>(section) * 0x165667B19E3779F9ull;
  mixed ^= generation * 0xFF51AFD7ED558CCDull;
  mixed ^= mixed >> 29;
  // Jumps of one text whose targets stand differently have slots of their own: forward
  // and backward jumps mix in most code.
  const uint64_t symbolClass = (uint64_t{symbolFlags[0]} | uint64_t{symbolFlags[1]} << 8 |
                                uint64_t{symbolFlags[2]} << 16 | uint64_t{symbolPlace} << 24) +
                               1;
  mixed ^= symbolClass * 0xD6E8FEB86659FD93ull;
  hash = mixed ^ (mixed >> 32);
  return true;
}

JumpShapeCache::Entry* JumpShapeCache::slotWith(uint64_t hash) {
  const size_t set = setOf(hash);
  for (size_t way = 0; way < kWays; ++way)
    if (entries_[set + way].hash == hash) return &entries_[set + way];
  return nullptr;
}

bool JumpShapeCache::holds(const Entry& entry, const Key& key) {
  if (key.split.from > key.split.end || key.split.end > key.length) return false;
  const auto afterLength = static_cast<size_t>(key.length - key.split.end);
  return entry.shape && entry.generation == key.generation && entry.state == key.state &&
         entry.section == key.section && entry.beforeLength == key.split.from && entry.afterLength == afterLength &&
         std::memcmp(entry.text, key.text, key.split.from) == 0 &&
         std::memcmp(entry.text + key.split.from, key.text + key.split.end, afterLength) == 0 &&
         std::memcmp(entry.symbolFlags, key.symbolFlags, 3) == 0 && entry.symbolPlace == key.symbolPlace;
}

const JumpShapeCache::Entry* JumpShapeCache::find(const Key& key) {
  if (entries_.empty()) return nullptr;
  const Entry* slot = slotWith(key.hash);
  if (!slot || slot->hash != key.hash || !holds(*slot, key)) return nullptr;
  last_ = slot;
  return slot;
}

bool JumpShapeCache::seenBefore(const Key& key) {
  if (entries_.empty()) {
    entries_.resize(kSlots);
    nextVictim_.resize(kSlots / kWays);
  }
  if (slotWith(key.hash)) return true;
  // A free slot of the set, else the one whose turn it is.
  const size_t set = setOf(key.hash);
  size_t way = 0;
  while (way < kWays && (entries_[set + way].hash != 0 || entries_[set + way].shape)) ++way;
  if (way == kWays) {
    uint8_t& victim = nextVictim_[set / kWays];
    way = victim;
    victim = static_cast<uint8_t>((victim + 1) % kWays);
  }
  Entry& entry = entries_[set + way];
  entry = Entry{};
  entry.hash = key.hash;
  return false;
}

bool JumpShapeCache::keep(const Key& key, isa::JumpShape* shape, const uint16_t* states, uint32_t stateCount,
                          uint32_t consumedBeyond) {
  if (entries_.empty() || key.split.from > key.split.end || key.split.end > key.length) return false;
  const size_t beforeLength = key.split.from;
  const size_t afterLength = key.length - key.split.end;
  if (beforeLength + afterLength > kStatementTextRoom || stateCount == 0 || stateCount > kMostStates) return false;
  Entry* slot = slotWith(key.hash);
  if (!slot) return false;
  Entry& entry = *slot;
  entry.shape = shape;
  entry.state = key.state;
  entry.section = key.section;
  entry.generation = key.generation;
  entry.beforeLength = static_cast<uint8_t>(beforeLength);
  entry.afterLength = static_cast<uint8_t>(afterLength);
  std::memcpy(entry.text, key.text, beforeLength);
  std::memcpy(entry.text + beforeLength, key.text + key.split.end, afterLength);
  entry.stateCount = static_cast<uint8_t>(stateCount);
  for (uint32_t i = 0; i < stateCount; ++i) entry.states[i] = states[i];
  for (int i = 0; i < 3; ++i) entry.symbolFlags[i] = key.symbolFlags[i];
  entry.symbolPlace = key.symbolPlace;
  entry.consumedBeyond = consumedBeyond;
  return true;
}
