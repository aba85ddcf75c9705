// Start-up of the matcher: its pools, the operand value tables and the constant entries of
// the attribute lists.
#include <cstring>

#include "isa/FormScreening.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcher.h"
#include "util/MemoryPools.h"
#include "util/RunState.h"

namespace isa {

namespace {

struct MatchModuleState {
  MemPool* pools[4] = {};
  bool ready = false;
};
MatchModuleState& matchModuleState() { return runPart<MatchModuleState>(); }

// The value tables are shared by the runs of the process; a run that ended released them.
bool valueTablesBuilt() { return valueTableSourceCount() == 0 || valueTableSources()[0].target->table; }

}  // namespace

void initMatchModule() {
  MatchModuleState& state = matchModuleState();
  if (state.ready && valueTablesBuilt()) return;
  if (state.ready) releaseMatchModule();
  MemPool** pools = state.pools;
  static const char* const names[4] = {"match", "match::admin", "match::expr", "match::parse"};
  for (int i = 0; i < 4; ++i)
    if (!pools[i]) pools[i] = MemoryPools::instance().registerPool(names[i], &pools[i]);
  // Each table is complete before the next is made.
  const ValueTableSource* sources = valueTableSources();
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    auto* table = new StateValueIndex(sources[t].count);
    for (uint32_t i = 0; i < sources[t].count; ++i) table->add(sources[t].pairs[i]);
    delete sources[t].target->table;  // another run's, still standing
    sources[t].target->table = table;
  }
  prebuildAttributeLists(attributeSpecLists(), attributeSpecListCount());
  prepareFormScreening();
  state.ready = true;
}

void releaseMatchModule() {
  MatchModuleState& state = matchModuleState();
  if (!state.ready) return;
  const ValueTableSource* sources = valueTableSources();
  for (uint32_t t = 0; t < valueTableSourceCount(); ++t) {
    delete sources[t].target->table;
    sources[t].target->table = nullptr;
  }
  forgetPrebuiltAttributeLists();
  forgetFormScreening();
  state.ready = false;
}

bool matchModuleReady() { return matchModuleState().ready && valueTablesBuilt(); }

MemPool* matchPool(int which) {
  MemPool** pools = matchModuleState().pools;
  if (!pools[which]) pools[which] = MemoryPools::instance().registerPool(
                         which == 0 ? "match" : which == 1 ? "match::admin" : which == 2 ? "match::expr" : "match::parse",
                         &pools[which]);
  return pools[which];
}

}  // namespace isa
