// Start-up of the matcher: its pools, the operand value tables and the constant entries of
// the attribute lists.
#include <cstring>

#include "isa/FormScreening.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcher.h"
#include "util/MemoryPools.h"

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
  // Each table is complete before the next is made.
  const ValueTableSource* sources = valueTableSources();
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    auto* table = new StateValueIndex(sources[t].count);
    for (uint32_t i = 0; i < sources[t].count; ++i) table->add(sources[t].pairs[i]);
    sources[t].target->table = table;
  }
  prebuildAttributeLists(attributeSpecLists(), attributeSpecListCount());
  prepareFormScreening();
  ready = true;
}

void releaseMatchModule() {
  if (!ready) return;
  const ValueTableSource* sources = valueTableSources();
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    delete sources[t].target->table;
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

}  // namespace isa
