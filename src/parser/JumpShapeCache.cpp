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

const JumpShapeCache::Entry* JumpShapeCache::find(const Key& key) const {
  if (entries_.empty()) return nullptr;
  const Entry& entry = entries_[key.hash & (kSlots - 1)];
  const auto afterLength = static_cast<size_t>(key.length - key.split.end);
  if (!entry.shape || entry.hash != key.hash || entry.generation != key.generation || entry.state != key.state ||
      entry.section != key.section || entry.beforeLength != key.split.from || entry.afterLength != afterLength ||
      std::memcmp(entry.text, key.text, key.split.from) != 0 ||
      std::memcmp(entry.text + key.split.from, key.text + key.split.end, afterLength) != 0 ||
      std::memcmp(entry.symbolFlags, key.symbolFlags, 3) != 0 || entry.symbolPlace != key.symbolPlace)
    return nullptr;
  return &entry;
}

bool JumpShapeCache::seenBefore(const Key& key) {
  if (entries_.empty()) entries_.resize(kSlots);
  Entry& entry = slotOf(key.hash);
  if (entry.hash == key.hash) return true;
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
  Entry& entry = slotOf(key.hash);
  entry.hash = key.hash;
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
