#include "parser/PlainStatementCache.h"

#include <cstring>

#include "isa/IPAttribute.h"

PlainStatementCache::~PlainStatementCache() {
  entries_.forEach([](Entry& entry) { IPAttribute::release(entry.attributes); });
}

bool PlainStatementCache::keep(uint64_t key, const char* text, size_t length, const ControlState* state,
                               const Section* section, IPAttribute& attributes, uint32_t image, uint8_t bits,
                               uint16_t cycles, size_t consumed) {
  if (length > kTextRoom || consumed > length) return false;
  if (tags_.empty()) tags_.resize(kSlots);
  const size_t slot = slotOf(key);
  Entry& entry = entries_.at(slot);
  tags_[slot] = tag(key);
  IPAttribute::release(entry.attributes);
  entry.state = state;
  entry.section = section;
  entry.attributes = attributes.copy();
  entry.image = image;
  entry.generation = generation_;
  entry.consumed = static_cast<uint8_t>(consumed);
  entry.cycles = cycles;
  entry.bits = bits;
  entry.textLength = static_cast<uint8_t>(length);
  std::memcpy(entry.text, text, length);
  return true;
}
