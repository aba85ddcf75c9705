// Start-up of the matcher: its pools, the operand value tables and the constant entries of
// the attribute lists.
#include <cstring>

#include "isa/FormScreening.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcher.h"
#include "util/MemoryPools.h"
#include "util/hashtab.h"

namespace isa {

namespace {

MemPool* pools[4] = {};
bool ready = false;

// The tables hold StateValuePair records and are looked up by a pair that carries the state
// only: the state alone is hashed and compared, which the walk does for every named operand.
uint32_t stateHash(const void* key) {
  return static_cast<const StateValuePair*>(key)->state * 0x9E3779B1u >> 8;
}

int sameState(const void* entry, const void* key) {
  return static_cast<const StateValuePair*>(entry)->state == static_cast<const StateValuePair*>(key)->state ? 0 : 1;
}

}  // namespace

void initMatchModule() {
  if (ready) return;
  static const char* const names[4] = {"match", "match::admin", "match::expr", "match::parse"};
  for (int i = 0; i < 4; ++i)
    if (!pools[i]) pools[i] = MemoryPools::instance().registerPool(names[i], &pools[i]);
  // Each table is complete before the next is made.
  const ValueTableSource* sources = valueTableSources();
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    Hashtab* table = hashtab_create(nullptr, 2);
    table->hashFn = stateHash;
    table->compareFn = sameState;
    sources[t].target->table = table;
    for (uint32_t i = 0; i < sources[t].count; ++i)
      hashtab_add_if_absent(table, const_cast<StateValuePair*>(&sources[t].pairs[i]));
  }
  prebuildAttributeLists(attributeSpecLists(), attributeSpecListCount());
  prepareFormScreening();
  ready = true;
}

void releaseMatchModule() {
  if (!ready) return;
  const ValueTableSource* sources = valueTableSources();
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    hashtab_free(sources[t].target->table);
    sources[t].target->table = nullptr;
  }
  forgetPrebuiltAttributeLists();
  forgetFormScreening();
  ready = false;
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
  StateValuePair key{state, 0};
  const auto* pair = static_cast<const StateValuePair*>(hashtab_lookup(table.table, &key));
  return pair ? static_cast<int32_t>(pair->value) : -1;
}

}  // namespace isa
