// Start-up of the matcher: its pools and the operand value tables.
#include <cstring>

#include "isa/InstructionMatcher.h"
#include "util/MemoryPools.h"
#include "util/hashtab.h"

namespace isa {

namespace {

MemPool* pools[4] = {};
bool ready = false;

}  // namespace

void initMatchModule() {
  if (ready) return;
  static const char* const names[4] = {"match", "match::admin", "match::expr", "match::parse"};
  for (int i = 0; i < 4; ++i)
    if (!pools[i]) pools[i] = MemoryPools::instance().registerPool(names[i], &pools[i]);
  // Each table is complete before the next is made; keys are the first two bytes of a pair,
  // the low half of its state number.
  const ValueTableSource* sources = valueTableSources();
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    Hashtab* table = hashtab_create(nullptr, 2);
    sources[t].target->table = table;
    for (uint32_t i = 0; i < sources[t].count; ++i)
      hashtab_add_if_absent(table, const_cast<StateValuePair*>(&sources[t].pairs[i]));
  }
  ready = true;
}

bool matchModuleReady() { return ready; }

MemPool* matchPool(int which) {
  if (!pools[which]) pools[which] = MemoryPools::instance().registerPool(
                         which == 0 ? "match" : which == 1 ? "match::admin" : which == 2 ? "match::expr" : "match::parse",
                         &pools[which]);
  return pools[which];
}

int32_t lookupValue(const OperandValueTable& table, uint16_t state) {
  if (!table.table) return -1;
  // The key is compared as the first two bytes of a stored pair.
  StateValuePair key{state, 0};
  const auto* pair = static_cast<const StateValuePair*>(hashtab_lookup(table.table, &key));
  return pair ? static_cast<int32_t>(pair->value) : -1;
}

}  // namespace isa
