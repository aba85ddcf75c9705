#include "parser/ConstantShapeCache.h"

#include <cstring>
#include <utility>

#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "isa/InstructionEncoding.h"
#include "util/StringBuffer.h"

bool ShapeRegime::within(const isa::ConstantOperandForm& form, const int64_t* values) {
  for (uint32_t i = 0; i < form.count; ++i)
    if (values[i] < form.low[i] || values[i] > form.high[i]) return false;
  return true;
}

bool ShapeRegime::takes(const int64_t* values) const {
  if (!attributes || !within(chosen, values)) return false;
  for (uint8_t i = 0; i < passedOverCount; ++i) {
    bool inside = true;
    for (uint32_t k = 0; k < chosen.count && inside; ++k)
      inside = values[k] >= passedOver[i][k][0] && values[k] <= passedOver[i][k][1];
    if (inside) return false;
  }
  return true;
}

bool ShapeRegime::image(const int64_t* values, uint32_t& out) const {
  uint32_t placed = 0;
  for (uint32_t i = 0; i < chosen.count; ++i) {
    uint32_t bitsOfValue = 0;
    if (chosen.fields[i] && !isa::placeConstant(*chosen.fields[i], bits, values[i], bitsOfValue)) return false;
    placed |= bitsOfValue;
  }
  out = base | placed;
  return true;
}

bool ShapeRegime::judge(const std::vector<IPInstruction*>& candidates, const IPInstruction& chosen,
                        const std::vector<const MatchAlternative*>& offered, const int64_t* values, uint32_t count,
                        ShapeRegime& regime) {
  regime = ShapeRegime{};
  size_t chosenAt = 0;
  while (chosenAt < candidates.size() && candidates[chosenAt] != &chosen) ++chosenAt;
  if (chosenAt == candidates.size() || chosenAt > kMostPassedOver || !chosen.encoding) return false;
  for (size_t i = 0; i < chosenAt; ++i) {
    isa::ConstantOperandForm form;
    const MatchAlternative* alternative = candidates[i]->alternative;
    if (!alternative || !isa::constantReachesOnlyItsField(*alternative, form) || form.count != count) return false;
    // The form was passed over for its ranges: values inside them may take the form.
    if (within(form, values)) return false;
    for (uint32_t k = 0; k < form.count; ++k) {
      regime.passedOver[i][k][0] = form.low[k];
      regime.passedOver[i][k][1] = form.high[k];
    }
  }
  regime.passedOverCount = static_cast<uint8_t>(chosenAt);
  if (!chosen.alternative || !isa::constantReachesOnlyItsField(*chosen.alternative, regime.chosen) ||
      regime.chosen.count != count || !within(regime.chosen, values))
    return false;
  for (const MatchAlternative* alternative : offered) {
    bool judged = false;
    for (size_t i = 0; i <= chosenAt && !judged; ++i) judged = candidates[i]->alternative == alternative;
    if (!judged && !isa::constantLeavesBuildAlone(*alternative)) return false;
  }
  const uint32_t image = chosen.encoding->image[7];
  regime.bits = chosen.encoding->bits;
  uint32_t mask = 0;
  for (uint32_t i = 0; i < regime.chosen.count; ++i) {
    uint32_t fieldMask = 0;
    if (regime.chosen.fields[i] && !isa::constantFieldMask(*regime.chosen.fields[i], regime.bits, fieldMask))
      return false;
    mask |= fieldMask;
  }
  regime.base = image & ~mask;
  uint32_t rebuilt = 0;
  if (!regime.image(values, rebuilt) || rebuilt != image) return false;
  regime.cycles = static_cast<uint16_t>(chosen.cycles);
  return true;
}

ConstantShapeCache::~ConstantShapeCache() {
  entries_.forEach([](Entry& entry) { releaseRegimes(entry); });
}

void ConstantShapeCache::releaseRegimes(Entry& entry) {
  for (ShapeRegime& regime : entry.regimes) {
    IPAttribute::release(regime.attributes);
    regime = ShapeRegime{};
  }
  entry.nextRegime = 0;
}

uint64_t ConstantShapeCache::key(const StatementText& text, const ControlState* state, const Section* section) {
  uint64_t hash = hashBytes(text.shape, text.shapeLength);
  hash ^= reinterpret_cast<uintptr_t>(state) * 0x9E3779B97F4A7C15ull;
  hash ^= reinterpret_cast<uintptr_t>(section) * 0xC2B2AE3D27D4EB4Full;
  hash ^= hash >> 29;
  for (uint32_t i = 0; i < text.tokens.count; ++i) hash = (hash ^ text.tokens.token[i].digits) * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 31);
}

const ConstantShapeCache::Entry* ConstantShapeCache::entryFor(uint64_t key, const StatementText& text,
                                                              const ControlState* state,
                                                              const Section* section) const {
  const Entry* slot = entries_.find(key & (kSlots - 1));
  if (!slot) return nullptr;
  const Entry& entry = *slot;
  const ConstantTokens& tokens = text.tokens;
  if (entry.key != key || entry.generation != generation_ || entry.state != state || entry.section != section ||
      entry.count != tokens.count || entry.textLength != text.shapeLength ||
      std::memcmp(entry.text, text.shape, text.shapeLength) != 0)
    return nullptr;
  for (uint32_t i = 0; i < tokens.count; ++i)
    if (entry.digits[i] != tokens.token[i].digits) return nullptr;
  return &entry;
}

ConstantShapeCache::Entry* ConstantShapeCache::entryFor(uint64_t key, const StatementText& text,
                                                        const ControlState* state, const Section* section) {
  return const_cast<Entry*>(std::as_const(*this).entryFor(key, text, state, section));
}

bool ConstantShapeCache::find(uint64_t key, const StatementText& text, const ControlState* state,
                              const Section* section, Outcome& out) const {
  const ConstantTokens& tokens = text.tokens;
  if (tokens.count == 0 || !text.numbersFit || text.shapeLength == 0) return false;
  const Entry* entry = entryFor(key, text, state, section);
  if (!entry) return false;
  int64_t values[ConstantTokens::kMost];
  for (uint32_t i = 0; i < tokens.count; ++i) values[i] = tokens.token[i].value;
  for (const ShapeRegime& regime : entry->regimes) {
    if (!regime.takes(values)) continue;
    // A field that refuses the value of the regime that takes it leaves the statement to
    // the walk: no later regime is asked.
    if (!regime.image(values, out.image)) return false;
    out.regime = &regime;
    out.consumed = tokens.token[tokens.count - 1].end + entry->consumedAfter;
    return true;
  }
  return false;
}

bool ConstantShapeCache::keep(uint64_t key, const StatementText& text, const ControlState* state,
                              const Section* section, const ShapeRegime& regime, IPAttribute& attributes,
                              uint32_t consumed) {
  const ConstantTokens& tokens = text.tokens;
  if (tokens.count == 0 || !text.numbersFit || text.shapeLength == 0 || text.shapeLength > kStatementTextRoom)
    return false;
  const ConstantToken& last = tokens.token[tokens.count - 1];
  if (consumed < last.end) return false;
  Entry* entry = entryFor(key, text, state, section);
  if (!entry) {
    entry = &entries_.at(key & (kSlots - 1));
    releaseRegimes(*entry);
    entry->key = key;
    entry->state = state;
    entry->section = section;
    entry->generation = generation_;
    entry->count = static_cast<uint8_t>(tokens.count);
    for (uint32_t i = 0; i < tokens.count; ++i) entry->digits[i] = tokens.token[i].digits;
    entry->textLength = text.shapeLength;
    std::memcpy(entry->text, text.shape, text.shapeLength);
  }
  entry->consumedAfter = consumed - last.end;
  size_t free = 0;
  while (free < kRegimes && entry->regimes[free].attributes) ++free;
  if (free == kRegimes) {
    free = entry->nextRegime;
    entry->nextRegime = static_cast<uint8_t>((free + 1) % kRegimes);
    IPAttribute::release(entry->regimes[free].attributes);
  }
  entry->regimes[free] = regime;
  entry->regimes[free].attributes = attributes.copy();
  return true;
}
